#include "fileman.h"

#include "debuglog.h"
#include "ecgrecords.h"
#include "fileecg.h"
#include "filesafety.h"
#include "localtime.h"
#include "settingsman.h"
#include "sqlexec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

// Start-up repair of what a run that ended abruptly left in the data folder.

namespace {

const char* const kWhere = "CFileMan::reconcileDataFolder()";

// The patient id a recording's name begins with; -1 when it has none.
int patientOfName(const QString& fileName)
{
    const int underscore = int(fileName.indexOf(QLatin1Char('_')));
    bool ok = false;
    const int id = underscore > 0 ? fileName.left(underscore).toInt(&ok) : -1;
    return ok ? id : -1;
}

// What the records of a recording file hold: every record counts, the
// samples beyond the lead-in are what makes it a recording, and type-45
// records after the last of them are its trailer (whole, or cut short by
// an end during the stop).
struct RecordScan
{
    int records = 0;
    int samples = 0;       // sample records of another type than the lead-in's
    int trailer = 0;       // records after the last such sample, when lead-in typed ones are among them
    bool complete = true;  // every record could be read
};

RecordScan scanRecords(CFileEcg& file)
{
    RecordScan scan;
    scan.records = file.getRecordCount();
    int after = 0;       // records after the last sample beyond the lead-in
    int leadInAfter = 0; // of them, lead-in typed ones
    for (int index = 0; index < scan.records;) {
        int count = 0;
        const EcgFileRecord* window = file.retDataSet(index, count);
        if (!window || count <= 0) {
            scan.complete = false;
            break;
        }
        for (int k = 0; k < count; ++k) {
            const int type = window[k].type;
            if (type >= 0 && type != ECG_SAMPLE_LEADIN) {
                ++scan.samples;
                after = 0;
                leadInAfter = 0;
            } else {
                ++after;
                leadInAfter += type == ECG_SAMPLE_LEADIN ? 1 : 0;
            }
        }
        index += count;
    }
    // Events keep their types in a trailer; events alone make none.
    scan.trailer = scan.samples > 0 && leadInAfter > 0 ? after : 0;
    return scan;
}

} // namespace

int CFileMan::reconcileDataFolder()
{
    debugLog(4, "CFileMan::reconcileDataFolder() dataFolder=" + m_dataFolder.toStdString());
    m_recovered = 0;
    if (m_live.pending || m_dataFolder.isEmpty()) {
        debugLogError(std::string(kWhere) + " refused while recording or without a data folder");
        return -1;
    }

    struct Row
    {
        int ecgId;
        int patientId;
        QString fileName;
        std::int64_t ecgTime;
    };
    QList<Row> rows;
    QSet<QString> named;
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select ecgId, patientId, fileName, ecgTime from ecgTable"), {},
                  kWhere))
        return -1;
    while (q.next()) {
        rows.append({q.value(0).toInt(), q.value(1).toInt(), q.value(2).toString(),
                     q.value(3).toLongLong()});
        named.insert(rows.back().fileName);
    }
    q.finish();

    // Recording files by the program's own naming; anything else in the
    // folder is not ours to adopt.
    static const QRegularExpression kRecordingName(
        QStringLiteral("^-?\\d+_\\d+_\\d{8}_\\d{6}\\.ecg$"));
    QStringList orphans;
    const QStringList files =
        QDir(m_dataFolder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : files) {
        if (!named.contains(name) && kRecordingName.match(name).hasMatch())
            orphans << name;
    }

    int repairs = 0;
    bool currentChanged = false;
    // A row whose file is missing, beside a file without a row that differs
    // only in its patient prefix: an assignment cut short after the rename.
    // A pending row whose file now carries a patient's id takes that patient
    // (the assignment is finished); any other row follows its file.
    for (const Row& row : rows) {
        if (!isPlainFileName(row.fileName) || QFileInfo::exists(filePath(row.fileName)))
            continue;
        const QString tail = nameAfterPatient(row.fileName);
        int match = -1;
        for (int i = 0; i < orphans.size() && match < 0 && !tail.isEmpty(); ++i) {
            if (nameAfterPatient(orphans[i]) == tail)
                match = i;
        }
        if (match < 0) {
            debugLogError(std::string(kWhere) + " the file " + row.fileName.toStdString()
                          + " of recording ecgId=" + toStdString(row.ecgId) + " is missing");
            continue;
        }
        const QString file = orphans[match];
        const int owner = patientOfName(file);
        PatientRecord patient;
        bool repaired = false;
        if (row.patientId == 0 && owner > 0
            && readPatientRecord(*m_db, owner, patient, kWhere) == RowRead::Found)
            repaired = finishAssignment(row.ecgId, row.ecgTime, owner, patient, file);
        if (!repaired) {
            QSqlQuery relink(*m_db);
            repaired = runQuery(relink, QStringLiteral("update ecgTable set fileName=? where ecgId=?"),
                                {file, row.ecgId}, kWhere)
                && relink.numRowsAffected() == 1;
            if (repaired)
                debugLogError(std::string(kWhere) + " re-linked recording ecgId=" + toStdString(row.ecgId)
                              + " from the missing " + row.fileName.toStdString() + " to "
                              + file.toStdString());
        }
        if (!repaired)
            continue;
        ++repairs;
        orphans.removeAt(match);
        currentChanged = currentChanged || row.ecgId == m_ecgId;
    }

    // A file without a row: a recording the program did not live to commit.
    int newest = -1;
    for (const QString& name : orphans) {
        int ecgId = -1;
        switch (adoptOrphan(name, ecgId)) {
        case Adoption::Adopted:
            ++repairs;
            ++m_recovered;
            newest = std::max(newest, ecgId);
            break;
        case Adoption::SetAside:
            ++repairs;
            break;
        case Adoption::Left:
            break;
        }
    }
    if (newest >= 0) {
        // The start shows the newest recording found again, waiting for its
        // patient (its file is opened when it is shown).
        currentChanged = true;
        if (!loadCurrent(QStringLiteral("ecgId=?"), newest, kWhere))
            clearCurrent();
        rememberCurrent();
    } else if (currentChanged && m_ecgId >= 0) {
        loadCurrent(QStringLiteral("ecgId=?"), m_ecgId, kWhere);
    }
    return repairs;
}

bool CFileMan::finishAssignment(int ecgId, std::int64_t ecgTime, int patientId, const PatientRecord& patient,
                                const QString& fileName)
{
    // As the assignment itself would have: the header from the patient's row,
    // the PACS mark when the PACS is set up.
    const bool queueForPacs = m_settings && m_settings->dicomPacsConfigStatus == 1;
    if (!writePatientHeader(fileName, patient, ecgTime, kWhere)
        || !storeAssignment(ecgId, patientId, fileName, patient, queueForPacs, kWhere)) {
        debugLogError(std::string(kWhere) + " unable to finish the assignment of recording ecgId="
                      + toStdString(ecgId) + " to patient " + toStdString(patientId));
        return false;
    }
    debugLogError(std::string(kWhere) + " finished the assignment of recording ecgId=" + toStdString(ecgId)
                  + " to patient " + toStdString(patientId) + " (" + fileName.toStdString()
                  + ") that the last run did not live to finish");
    return true;
}

bool CFileMan::setAside(const QString& fileName, const std::string& why)
{
    const QString folder = m_dataFolder + QLatin1String(kSetAsideFolder);
    QString target = folder + QLatin1Char('/') + fileName;
    for (int i = 1; QFileInfo::exists(target); ++i)
        target = folder + QLatin1Char('/') + fileName + QLatin1Char('.') + QString::number(i);
    if (!QDir().mkpath(folder) || !QFile::rename(filePath(fileName), target)) {
        debugLogError(std::string(kWhere) + " left " + fileName.toStdString() + " as it is (" + why
                      + "): it could not be moved to " + target.toStdString());
        return false;
    }
    if (!platform::syncFolder(bufferFolder()))
        debugLogError(std::string(kWhere) + " unable to sync the data folder");
    debugLogError(std::string(kWhere) + " moved " + fileName.toStdString() + " to "
                  + target.toStdString() + ": " + why + ", no recording to offer");
    return true;
}

CFileMan::Adoption CFileMan::adoptOrphan(const QString& fileName, int& ecgId)
{
    ecgId = -1;
    CFileEcg file;
    if (!file.openFileReadOnly(filePath(fileName).toStdString())) {
        // A header without a record: created, then the end came.
        const QFileInfo info(filePath(fileName));
        if (info.isFile() && info.size() < CFileEcg::kDataStartV2 + 16)
            return setAside(fileName, "it holds no record") ? Adoption::SetAside : Adoption::Left;
        // Read, but refused for its content: not offered as a recording.
        if (info.isFile() && info.isReadable() && !file.refusal().empty())
            return setAside(fileName, file.refusal()) ? Adoption::SetAside : Adoption::Left;
        debugLogError(std::string(kWhere) + " left " + fileName.toStdString()
                      + " as it is: it holds no readable records");
        return Adoption::Left;
    }
    const RecordScan scan = scanRecords(file);
    std::int64_t startTime = file.recordingTime;
    file.close();
    if (!scan.complete) {
        debugLogError(std::string(kWhere) + " left " + fileName.toStdString()
                      + " as it is: its records could not all be read");
        return Adoption::Left;
    }
    if (scan.samples == 0)
        return setAside(fileName, "it holds lead-in records only") ? Adoption::SetAside : Adoption::Left;
    if (startTime <= 0) {
        // The name's time text is the local time stamp written as if it were UTC.
        const QString tail = nameAfterPatient(fileName);
        const QString text = tail.mid(tail.indexOf(QLatin1Char('_'), 1) + 1, 15).remove(QLatin1Char('_'));
        startTime = CFileEcg::utcSecondsOf(text.toStdString());
        if (startTime <= 0)
            startTime = localTimeStampNow();
    }
    const QString studyUid = makeDicomUid(QString());
    const qint64 ts = localTimeStampNow();
    QSqlQuery q(*m_db);
    // Every record on the disk, as a stop counts them.
    const bool ok = !studyUid.isEmpty()
        && runQuery(q,
                    QStringLiteral("insert into ecgTable(patientId, ecgTime, fileSize, fileName, "
                                   "tsLastChanged, pacsStudyUuid, pacsTs, pacsStatus) "
                                   "values (0, ?, ?, ?, ?, ?, 0, 0)"),
                    {qint64(startTime), scan.records, fileName, ts, studyUid}, kWhere);
    if (!ok) {
        debugLogError(std::string(kWhere) + " unable to store a row for " + fileName.toStdString());
        return Adoption::Left;
    }
    ecgId = q.lastInsertId().toInt();
    m_nextRecordingId = std::max(m_nextRecordingId, ecgId + 1);
    const std::string ending = scan.trailer >= CFileEcg::kTrailerRecords
        ? "it was stopped"
        : scan.trailer > 0 ? "its stop was cut short after " + toStdString(scan.trailer) + " trailer records"
                           : "it was cut short while recording";
    debugLogError(std::string(kWhere) + " found " + fileName.toStdString() + " without a row: kept as "
                  "pending recording ecgId=" + toStdString(ecgId) + " with " + toStdString(scan.records)
                  + " records (" + toStdString(scan.samples) + " samples beyond the lead-in; " + ending + ")");
    return Adoption::Adopted;
}
