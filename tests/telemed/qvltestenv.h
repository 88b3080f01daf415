#ifndef MALVORANT_TESTS_QVLTESTENV_H
#define MALVORANT_TESTS_QVLTESTENV_H

#include "qvlcallbackinterface.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>

class CDbMan;
class CSettingsMan;

// Runs the event loop until done() holds or the time is up; unlike
// QTest::qWaitFor it never sleeps between events, so a long transfer that
// hops between the network thread and this one is not slowed down.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Every answer of the client as one line, e.g. "initiateCase(0,1,7,fault)".
class AnswerLog : public CQvlCallbackInterface
{
public:
    QStringList answers;
    // Called after each answer is recorded; may start the next request.
    std::function<void(const QString&)> onAnswer;

    void qvlRespCheckNetwork(bool net, bool err, bool clock) override;
    void qvlRespCheckUser(bool net, bool err, bool verified) override;
    void qvlRespInitiateCase(bool net, bool err, int fileId, QString caseId) override;
    void qvlRespAddFile(bool net, bool err, int fileId, QString caseId) override;
    void qvlRespGetCaseUrl(bool net, bool err, int fileId, QString url) override;
    void qvlRespGetModifiedServices1(bool net, bool err, QString token) override;
    void qvlRespGetModifiedServices2(QString caseId, QString status) override;
    void qvlRespGetModifiedServicesDone() override;
    void qvlRespFileChanged() override;
    void qvlRespCaseState(bool net, bool err, int fileId, QString caseId, QString status) override;

private:
    void push(const QString& line);
};

// A logger, a database with settings and a data folder, all in a temporary
// folder, or in the given one (which a later process may open again).
class QvlTestEnv
{
public:
    QvlTestEnv();
    ~QvlTestEnv();

    bool setUp(QString& error, const QString& root = QString());
    QString dataFolder() const; // ends with '/'
    QString logFolder() const;
    // The contents of every log file.
    QByteArray logText() const;

    CDbMan* db = nullptr;
    CSettingsMan* settings = nullptr;

    // Inserts a patient; values by column name (patientName, ownerFirst,
    // ownerLast, extId, species, sex, birthdate, breed, weight, weightUnit).
    int addPatient(const QVariantMap& values);
    // Inserts a recording row for the patient and, when content is not null,
    // its file in the data folder.
    int addRecording(int patientId, const QString& fileName,
                     const QByteArray& content = QByteArray());

private:
    QString root() const { return m_root.isEmpty() ? m_dir.path() : m_root; }

    QTemporaryDir m_dir;
    QString m_root;
};

#endif
