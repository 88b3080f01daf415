#ifndef MALVORANT_TESTS_DCMFRONTTESTENV_H
#define MALVORANT_TESTS_DCMFRONTTESTENV_H

// Shared pieces of the DICOM front and background upload tests: a real store,
// recordings written as the program writes them, and an answer recorder.

#include "../store/storetestenv.h"

#include "dcmcallbackinterface.h"
#include "fileecg.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>
#include <functional>

namespace dcmtest {

// One answer as the bridge receives it.
struct Answer
{
    int slot = -1;
    bool hasNetworkError = false;
    bool hasErrorResponse = false;
    bool isBackgroundUpload = false;
};

// Records every answer; onSend runs inside each send answer (as the bridge's
// code would), before the caller goes on.
class AnswerRecorder : public CDcmCallbackInterface
{
public:
    QList<Answer> answers;
    std::function<void(const Answer&)> onSend;
    std::function<void(const Answer&)> onAnswer;

    void dcmRespSendPacsFile(bool net, bool err, bool background) override
    {
        add({0, net, err, background});
        if (onSend)
            onSend(answers.last());
    }
    void dcmRespLoadMwl(bool net, bool err) override { add({1, net, err, false}); }
    void dcmRespLoadPacsList(bool net, bool err) override { add({2, net, err, false}); }
    void dcmRespLoadFromPacs(bool net, bool err) override { add({3, net, err, false}); }
    void dcmRespTestMwlCredentials(bool net, bool err) override { add({4, net, err, false}); }
    void dcmRespTestPacsCredentials(bool net, bool err) override { add({5, net, err, false}); }

private:
    void add(const Answer& answer)
    {
        answers.append(answer);
        if (onAnswer)
            onAnswer(answer);
    }
};

// Writes a short recording (two seconds at 500 Hz) with the patient's texts in
// its header; extId becomes the DICOM Patient ID.
inline bool writeRecording(const QString& path, const QString& extId,
                           const QString& patientName = QStringLiteral("Rex"),
                           const QString& ownerLast = QStringLiteral("Smith"))
{
    CFileEcg file;
    file.patientName = patientName.toStdString();
    file.ownerLastName = ownerLast.toStdString();
    file.ownerFirstName = "Anna";
    file.extPatientId = extId.toStdString();
    file.recordingTime = 1700000000;
    file.genderCode = 1;
    file.speciesCode = 2;
    if (!file.createFile(path.toStdString()))
        return false;
    QList<EcgFileRecord> records;
    for (int i = 0; i < 1000; ++i) {
        const float v = float(std::sin(i * 0.05) * 100.0);
        records.append({v, v * 0.5f, v * 0.5f, std::int16_t(i % 400 == 0 ? 1 : 0), 0});
    }
    const bool ok = file.addData(records.constData(), int(records.size()));
    return file.close() && ok;
}

// Adds a patient row; gives its id.
inline int addPatient(StoreEnv& env, const QString& name, const QVariant& weight = 0,
                      int weightUnit = 0, const QString& breed = QString())
{
    env.exec(QStringLiteral("insert into patientTable (extId, patientName, ownerFirst, ownerLast, "
                            "species, breed, weight, weightUnit) values (?, ?, 'Anna', 'Smith', 2, ?, ?, ?)"),
             {QStringLiteral("P-") + name, name, breed, weight, weightUnit});
    return env.value(QStringLiteral("select max(patientId) from patientTable")).toInt();
}

// Adds a recording row of the patient (file written unless withFile is false);
// gives its ecgId. extId goes into the file's header. An object names its
// recording's patient, so each recording gets a patient of its own: a copy of
// patientId's row with extId as its external id (the Patient ID that tells
// the objects on a PACS apart).
inline int addRecording(StoreEnv& env, int patientId, const QString& extId, bool withFile = true,
                        int pacsStatus = 0, qint64 pacsTs = 0)
{
    if (patientId != 0 && env.value(QStringLiteral("select count(*) from patientTable where patientId=?"),
                                    {patientId}).toInt() == 1) {
        env.exec(QStringLiteral("insert into patientTable (extId, patientName, ownerFirst, ownerLast, species, "
                                "sex, birthdate, breed, weight, weightUnit) select ?, patientName, ownerFirst, "
                                "ownerLast, species, sex, birthdate, breed, weight, weightUnit from patientTable "
                                "where patientId=?"),
                 {extId, patientId});
        patientId = env.value(QStringLiteral("select max(patientId) from patientTable")).toInt();
    }
    const int next = env.value(QStringLiteral("select coalesce(max(ecgId),0)+1 from ecgTable")).toInt();
    const QString fileName = QStringLiteral("%1_%2_20260101_120000.ecg").arg(patientId).arg(next);
    if (withFile && !writeRecording(env.path(fileName), extId))
        return -1;
    env.exec(QStringLiteral("insert into ecgTable (ecgId, patientId, fileName, pacsStatus, pacsTs, "
                            "pacsStudyUuid) values (?, ?, ?, ?, ?, ?)"),
             {next, patientId, fileName, pacsStatus, pacsTs,
              QStringLiteral("1.2.826.0.1.3680043.10.999.%1").arg(next)});
    return next;
}

// The path of the recording's file.
inline QString recordingPath(StoreEnv& env, int ecgId)
{
    return env.path(env.value(QStringLiteral("select fileName from ecgTable where ecgId=?"), {ecgId}).toString());
}

// The DICOM settings of a PACS on loopback.
inline void configurePacs(CSettingsMan& settings, quint16 port, const QString& aeTitle,
                          const QString& localAeTitle = QStringLiteral("MALVORANT"))
{
    settings.dcmModalityName = localAeTitle;
    settings.dcmPacsIp = QStringLiteral("127.0.0.1");
    settings.dcmPacsPort = port;
    settings.dcmPacsTitle = aeTitle;
}

inline QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace dcmtest

#endif
