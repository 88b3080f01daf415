// The background scheduler with its real client against the stand-in service
// on loopback: the upload chain over queued recordings, the failure of each
// step and its resumption, half-done cases of the user's upload and of an
// earlier run, a run killed right after the file went, recordings that can
// never be sent, state polling with its token, the two timers meeting, and a
// large upload cut off midway.
#include "dbman.h"
#include "fileman.h"
#include "localtime.h"
#include "qvlcomm.h"
#include "qvlreplies.h"
#include "qvlscheduler.h"
#include "qvlstandin.h"
#include "qvltestenv.h"
#include "settingsman.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

#include "recordingbytes.h"
#include "schedulerrig.h"

#include <csignal>
#include <cstring>

namespace {

// The bridge's side as far as the scheduler needs it: every call recorded,
// and the account answer stored the way the bridge stores it.
class Owner : public CQvlCallbackInterface
{
public:
    CSettingsMan* settings = nullptr;
    QStringList events;
    QStringList reasons;

    void qvlRespCheckNetwork(bool n, bool e, bool c) override
    {
        events << QStringLiteral("checkNetwork(%1,%2,%3)").arg(int(n)).arg(int(e)).arg(int(c));
    }
    void qvlRespCheckUser(bool n, bool e, bool verified) override
    {
        events << QStringLiteral("checkUser(%1,%2,%3)").arg(int(n)).arg(int(e)).arg(int(verified));
        settings->qvlAccountVerified = verified ? 1 : 0;
        settings->saveSettings(SettingsQvlService);
    }
    void qvlRespInitiateCase(bool, bool, int, QString) override { events << "initiateCase"; }
    void qvlRespAddFile(bool, bool, int, QString) override { events << "addFile"; }
    void qvlRespGetCaseUrl(bool, bool, int, QString) override { events << "getCaseUrl"; }
    void qvlRespGetModifiedServices1(bool, bool, QString) override { events << "modified1"; }
    void qvlRespGetModifiedServices2(QString, QString) override { events << "modified2"; }
    void qvlRespGetModifiedServicesDone() override { events << "modifiedDone"; }
    void qvlRespFileChanged() override { events << QStringLiteral("fileChanged"); }
    void qvlRespBackgroundUploadFailed(int fileId, QString reason) override
    {
        events << QStringLiteral("failed(%1)").arg(fileId);
        reasons << reason;
    }
};

using Row = QvlCaseRow;

struct Received
{
    QByteArray caseId;
    QByteArray fileName;
    QByteArray hash; // SHA-256 of the decoded file
    qint64 size = 0;
};

} // namespace

class TstQvlScheduler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void timersAtStart();
    void uploadChainInIdOrder();
    void failureMatrix_data();
    void failureMatrix();
    void cannotBeSent_data();
    void cannotBeSent();
    void badRecordingDoesNotHoldUpTheRest();
    void halfDoneCasesOfOthers();
    void restartAfterTheFileWent();
    void statePolling();
    void pollingFailures_data();
    void pollingFailures();
    void timersOverlap();
    void serviceStoppedMidUpload();
    void cleanupTestCase();

private:

    void serve(const StandInRequest& r);
    int addQueued(const QString& patientName, const QByteArray& content, int* patientId = nullptr)
    {
        return addQueuedRecording(m_env, m_fileMan, m_fileHashes, "0800", patientName, content,
                                  patientId);
    }
    Row row(int ecgId) { return readCaseRow(m_env.db->database(), ecgId); }
    bool waitIdle(int timeoutMs = 30000) { return waitSchedulerIdle(m_scheduler, timeoutMs); }
    bool runUploadTick() { return ::runUploadTick(m_scheduler); }
    QByteArray hashOf(int ecgId) { return m_fileHashes.value(ecgId); }

    QvlTestEnv m_env;
    QvlStandIn* m_server = nullptr;
    CFileMan* m_fileMan = nullptr;
    CQvlScheduler* m_scheduler = nullptr;
    Owner m_owner;
    QString m_goodUrl;

    // What the stand-in service does and saw.
    QList<QByteArray> m_ops;
    QList<Received> m_received;
    QByteArray m_faultOp;
    QString m_faultKind;
    QByteArray m_modifiedReply;
    int m_nextCase = 1;
    QHash<int, QByteArray> m_fileHashes;
};

void TstQvlScheduler::initTestCase()
{
    QString error;
    QVERIFY2(m_env.setUp(error), qPrintable(error));
    m_server = new QvlStandIn(43, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->trust();
    m_goodUrl = m_server->url(true, QLatin1String(kPath));
    m_env.settings->qvlUserName = "clinic";
    m_env.settings->qvlPwd = "secret";
    m_owner.settings = m_env.settings;
    m_fileMan = new CFileMan(m_env.dataFolder(), m_env.db->database(), m_env.settings, 0, 0);
}

void TstQvlScheduler::cleanupTestCase()
{
    delete m_fileMan;
    m_fileMan = nullptr;
}

void TstQvlScheduler::init()
{
    QSqlQuery q(*m_env.db->database());
    QVERIFY(q.exec("delete from ecgTable"));
    m_env.settings->qvlUrl = m_goodUrl;
    m_env.settings->qvlAccountVerified = 1;
    m_env.settings->modifiedToken.clear();
    QVERIFY(m_env.settings->saveSettings(SettingsQvlService));
    m_owner.events.clear();
    m_owner.reasons.clear();
    m_ops.clear();
    m_received.clear();
    m_faultOp.clear();
    m_faultKind.clear();
    m_modifiedReply = okReply("GetModifiedServices",
                              "<return><modifiedSinceToken>T-0</modifiedSinceToken></return>");
    m_server->setKeepRequests(false);
    m_server->setOnBodyProgress(nullptr);
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });
    QVERIFY(m_server->listenAgain());
    // The tests drive the timers by calling their slots.
    m_scheduler = newDrivenScheduler(&m_owner, m_env, m_fileMan);
}

void TstQvlScheduler::cleanup()
{
    m_server->abortConnections();
    m_server->listenAgain();
    delete m_scheduler;
    m_scheduler = nullptr;
}

void TstQvlScheduler::serve(const StandInRequest& r)
{
    const QByteArray op = operationOf(r.body);
    m_ops << op;
    m_server->setAction(QvlStandIn::Action::Reply);
    if (op == "AddFile") {
        Received got;
        got.caseId = elementOf(r.body, "caseId");
        got.fileName = elementOf(r.body, "filename");
        const QByteArray data = QByteArray::fromBase64(elementOf(r.body, "file"),
                                                       QByteArray::AbortOnBase64DecodingErrors);
        got.size = data.size();
        got.hash = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        m_received << got;
    }
    if (op == m_faultOp) {
        if (m_faultKind == "reset") {
            m_server->setAction(QvlStandIn::Action::Reset);
        } else if (m_faultKind == "time-out") {
            m_server->setAction(QvlStandIn::Action::Hang);
        } else if (m_faultKind == "fault") {
            m_server->setReply(500, soapFault("Server was unable to process request."));
        } else if (m_faultKind == "authentication") {
            m_server->setReply(500, soapFault(kAuthFault));
        } else if (m_faultKind == "clock skew") {
            m_server->setReply(500, soapFault(kClockFault));
        }
        if (m_faultKind != "down")
            return;
    }
    // "Service down" at a step: gone as soon as the step before it is answered.
    if (m_faultKind == "down"
        && ((op == "InitiateCase" && m_faultOp == "AddFile")
            || (op == "AddFile" && m_faultOp == "GetCaseURL")))
        m_server->stopListening();

    if (op == "InitiateCase") {
        m_server->setReply(200, okReply(op, "<return>C-" + QByteArray::number(m_nextCase++)
                                                + "</return>"));
    } else if (op == "AddFile") {
        m_server->setReply(200, okReply(op, "<return>true</return>"));
    } else if (op == "GetCaseURL") {
        m_server->setReply(200, okReply("GetCaseURL", "<return>https://cases.example/view?case="
                                                          + elementOf(r.body, "caseId")
                                                          + "&amp;lang=en</return>"));
    } else if (op == "GetModifiedServices") {
        m_server->setReply(200, m_modifiedReply);
    } else {
        m_server->setReply(200, okReply("Test", "<return>true</return>"));
    }
}

void TstQvlScheduler::timersAtStart()
{
    // A fresh scheduler: both timers repeat, polling first after 10 s, uploads after 15 s.
    CQvlScheduler fresh(&m_owner, m_env.dataFolder(), m_env.db->database(), m_env.settings,
                        m_fileMan, "MalvorantQml", "8.0.2", "078");
    QVERIFY(fresh.modifiedServicesTimer()->isActive());
    QVERIFY(fresh.backgroundUploadTimer()->isActive());
    QVERIFY(!fresh.modifiedServicesTimer()->isSingleShot());
    QVERIFY(!fresh.backgroundUploadTimer()->isSingleShot());
    QCOMPARE(fresh.modifiedServicesTimer()->interval(), 10000);
    QCOMPARE(fresh.backgroundUploadTimer()->interval(), 15000);
    fresh.modifiedServicesTimer()->stop();
    fresh.backgroundUploadTimer()->stop();

    // Not verified: nothing is sent, and the intervals still go to 300 s.
    const int rec = addQueued("Rex", recordingBytes(2000, 1));
    QVERIFY(m_fileMan->setQvlCaseId(addQueued("Open", recordingBytes(10, 2)), "C-OPEN"));
    QSqlQuery q(*m_env.db->database());
    m_env.settings->qvlAccountVerified = 0;
    fresh.modifiedServicesTimerExpired();
    fresh.backgroundUploadTimerExpired();
    QCOMPARE(fresh.modifiedServicesTimer()->interval(), 300000);
    QCOMPARE(fresh.backgroundUploadTimer()->interval(), 300000);
    QVERIFY(!fresh.modifiedServicesOperationInProgress());
    QVERIFY(!fresh.backgroundUploadInProgress());
    QTest::qWait(50);
    QVERIFY(m_ops.isEmpty());
    QCOMPARE(row(rec).status, 9);

    // Verified but nothing queued and no open case: still nothing sent.
    m_env.settings->qvlAccountVerified = 1;
    QVERIFY(q.exec("update ecgTable set qvlCaseStatus=8"));
    fresh.modifiedServicesTimerExpired();
    fresh.backgroundUploadTimerExpired();
    QTest::qWait(50);
    QVERIFY(m_ops.isEmpty());
    QCOMPARE(fresh.modifiedServicesTimer()->interval(), 300000);
    QCOMPARE(fresh.backgroundUploadTimer()->interval(), 300000);
}

void TstQvlScheduler::uploadChainInIdOrder()
{
    QList<int> recs;
    QList<QString> files;
    for (int i = 0; i < 3; ++i) {
        recs << addQueued(QStringLiteral("Dog %1").arg(i), recordingBytes(30000 + i * 7, 11 + i));
        QVERIFY(recs.last() > 0);
    }
    // Queued in another order than their ids: the ids decide.
    QVERIFY(m_fileMan->queueForUpload(recs[2], true));
    QVERIFY(m_fileMan->queueForUpload(recs[0], true));

    for (int i = 0; i < 3; ++i) {
        m_ops.clear();
        m_received.clear();
        m_owner.events.clear();
        m_scheduler->backgroundUploadTimerExpired();
        QVERIFY(m_scheduler->backgroundUploadInProgress());
        QCOMPARE(m_scheduler->backgroundUploadTimer()->interval(), 60000);
        QVERIFY(waitIdle());
        QCOMPARE(m_ops, (QList<QByteArray>{"InitiateCase", "AddFile", "GetCaseURL"}));
        const Row r = row(recs[i]);
        QCOMPARE(r.status, 3);
        QCOMPARE(r.caseId, QStringLiteral("C-%1").arg(m_nextCase - 1));
        QCOMPARE(r.caseUrl, QStringLiteral("https://cases.example/view?case=%1&lang=en").arg(r.caseId));
        QCOMPARE(m_received.size(), 1);
        QCOMPARE(m_received[0].caseId, r.caseId.toUtf8());
        QCOMPARE(m_received[0].hash, hashOf(recs[i]));
        QCOMPARE(m_owner.events, QStringList{"fileChanged"});
        for (int j = i + 1; j < 3; ++j)
            QCOMPARE(row(recs[j]).status, 9);
    }
    // Nothing left: the next tick sends nothing and goes back to 300 s.
    m_ops.clear();
    QVERIFY(runUploadTick());
    QCOMPARE(m_scheduler->backgroundUploadTimer()->interval(), 300000);
    QVERIFY(m_ops.isEmpty());
}

void TstQvlScheduler::failureMatrix_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("kind");
    for (const char* step : {"InitiateCase", "AddFile", "GetCaseURL"})
        for (const char* kind :
             {"down", "reset", "time-out", "fault", "authentication", "clock skew"})
            QTest::addRow("%s, %s", step, kind) << QString(step) << QString(kind);
}

void TstQvlScheduler::failureMatrix()
{
    QFETCH(QString, step);
    QFETCH(QString, kind);
    const QByteArray content = recordingBytes(25000, 7);
    const int rec = addQueued("Rex", content);
    QVERIFY(rec > 0);
    m_faultOp = step.toLatin1();
    m_faultKind = kind;
    if (kind == "time-out") {
        m_scheduler->client()->setTransferTimeout(1000);
        m_scheduler->client()->setRequestDeadline(1000);
    }
    if (kind == "down" && step == "InitiateCase")
        m_server->stopListening();

    QVERIFY(runUploadTick());
    QCOMPARE(m_scheduler->backgroundUploadTimer()->interval(), 60000);
    const Row failed = row(rec);
    QVERIFY(m_owner.events.contains(QStringLiteral("failed(%1)").arg(rec)));
    QVERIFY(!m_owner.reasons.isEmpty() && !m_owner.reasons.last().isEmpty());
    QVERIFY(!m_owner.events.contains("fileChanged"));
    const bool authAtStart = kind == "authentication" && step == "InitiateCase";
    QCOMPARE(m_owner.events.contains("checkUser(0,0,0)"), authAtStart);
    QCOMPARE(m_env.settings->qvlAccountVerified, authAtStart ? 0 : 1);
    QVERIFY(m_env.logText().contains("CQvlScheduler::qvlResp"));
    if (step == "InitiateCase") {
        QCOMPARE(failed.status, 9); // still queued, no case
        QVERIFY(failed.caseId.isEmpty());
    } else {
        QCOMPARE(failed.status, 1); // case open, no address
        QCOMPARE(failed.caseId, QStringLiteral("C-%1").arg(m_nextCase - 1));
        QVERIFY(failed.caseUrl.isEmpty());
    }

    if (authAtStart) {
        // The account is no longer verified: both timers leave the service alone.
        m_ops.clear();
        m_scheduler->modifiedServicesTimerExpired();
        QVERIFY(runUploadTick());
        QVERIFY(m_ops.isEmpty());
        m_env.settings->qvlAccountVerified = 1;
    }

    // The service is back: the next tick finishes the recording with the
    // case it has, sending only what is still missing.
    m_faultOp.clear();
    m_faultKind.clear();
    m_server->abortConnections();
    QVERIFY(m_server->listenAgain());
    m_ops.clear();
    m_received.clear();
    m_owner.events.clear();
    QVERIFY(runUploadTick());
    const Row done = row(rec);
    QCOMPARE(done.status, 3);
    QVERIFY(!done.caseUrl.isEmpty());
    QCOMPARE(m_owner.events, QStringList{"fileChanged"});
    if (step == "InitiateCase") {
        QCOMPARE(m_ops, (QList<QByteArray>{"InitiateCase", "AddFile", "GetCaseURL"}));
    } else {
        QCOMPARE(done.caseId, failed.caseId);
        // Whether the case holds the file is asked before it goes.
        if (step == "AddFile")
            QCOMPARE(m_ops, (QList<QByteArray>{"GetModifiedServices", "AddFile", "GetCaseURL"}));
        else
            QCOMPARE(m_ops, QList<QByteArray>{"GetCaseURL"}); // the file went once
    }
    if (step != "GetCaseURL") {
        QCOMPARE(m_received.size(), 1);
        QCOMPARE(m_received[0].caseId, done.caseId.toUtf8());
        QCOMPARE(m_received[0].hash, hashOf(rec));
    }
    // And the one after it finds nothing more to do.
    m_ops.clear();
    QVERIFY(runUploadTick());
    QVERIFY(m_ops.isEmpty());
    QCOMPARE(m_scheduler->backgroundUploadTimer()->interval(), 300000);
}

void TstQvlScheduler::cannotBeSent_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("patient deleted") << "patient deleted";
    QTest::newRow("never assigned") << "never assigned";
    QTest::newRow("file gone") << "file gone";
    QTest::newRow("file no recording") << "file no recording";
}

void TstQvlScheduler::cannotBeSent()
{
    QFETCH(QString, what);
    int patient = 0;
    const int bad = addQueued("Gone", recordingBytes(1000, 3), &patient);
    const int good = addQueued("Here", recordingBytes(1500, 4));
    QVERIFY(bad > 0 && good > bad);
    QSqlQuery q(*m_env.db->database());
    if (what == "patient deleted") {
        q.prepare("delete from patientTable where patientId=?");
        q.addBindValue(patient);
        QVERIFY(q.exec());
    } else if (what == "never assigned") {
        q.prepare("update ecgTable set patientId=0 where ecgId=?");
        q.addBindValue(bad);
        QVERIFY(q.exec());
    } else {
        q.prepare("select fileName from ecgTable where ecgId=?");
        q.addBindValue(bad);
        QVERIFY(q.exec() && q.next());
        const QString path = m_env.dataFolder() + q.value(0).toString();
        QVERIFY(QFile::remove(path));
        if (what == "file no recording") {
            // Arbitrary bytes without a header, whole records of them.
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(recordingBytes(1000 * 16, 3).mid(110000)) == 1000 * 16);
        }
    }

    // One tick: the bad one leaves the queue with its reason told, the good
    // one is sent in the same tick.
    QVERIFY(runUploadTick());
    QCOMPARE(row(bad).status, 0);
    QCOMPARE(row(good).status, 3);
    QCOMPARE(m_owner.events.first(), QStringLiteral("failed(%1)").arg(bad));
    QVERIFY(!m_owner.reasons.first().isEmpty());
    if (what == "file no recording")
        QVERIFY2(m_owner.reasons.first().startsWith("The ECG file can't be uploaded. It has no header and is not "
                                                    "laid out as an ECG recording"),
                 qPrintable(m_owner.reasons.first()));
    QCOMPARE(m_ops, (QList<QByteArray>{"InitiateCase", "AddFile", "GetCaseURL"}));
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(m_received[0].hash, hashOf(good));
    QVERIFY(m_env.logText().contains(
        QStringLiteral("ecgId=%1 leaves the upload queue").arg(bad).toUtf8()));
}

void TstQvlScheduler::badRecordingDoesNotHoldUpTheRest()
{
    // The service refuses the lowest queued recording every time; the others
    // are still sent, one per tick, and the refused one is tried again in turn.
    const int bad = addQueued("Refused", recordingBytes(1000, 5));
    const int second = addQueued("Fine", recordingBytes(1000, 6));
    const int third = addQueued("Fine too", recordingBytes(1000, 8));
    m_faultOp = "InitiateCase";
    m_faultKind = "fault";
    m_server->setOnRequest([this](const StandInRequest& r) {
        const bool refused = r.body.contains("<patientName>Refused</patientName>");
        m_faultOp = refused ? "InitiateCase" : "";
        serve(r);
    });
    QVERIFY(runUploadTick());
    QCOMPARE(row(bad).status, 9);
    QVERIFY(runUploadTick());
    QCOMPARE(row(second).status, 3);
    QVERIFY(runUploadTick());
    QCOMPARE(row(third).status, 3);
    m_ops.clear();
    QVERIFY(runUploadTick());
    QCOMPARE(m_ops, QList<QByteArray>{"InitiateCase"});
    QCOMPARE(row(bad).status, 9);
}

void TstQvlScheduler::halfDoneCasesOfOthers()
{
    // Cases opened and left without an address before this scheduler
    // started (an earlier run): one whose file went, one whose file did not.
    const int earlierSent = addQueued("Sent", recordingBytes(4000, 9));
    const int earlierOpen = addQueued("Open", recordingBytes(4100, 10));
    QVERIFY(m_fileMan->setQvlCaseId(earlierSent, "C-SENT"));
    QVERIFY(m_fileMan->setQvlFileAdded(earlierSent, "C-SENT"));
    QVERIFY(m_fileMan->setQvlCaseId(earlierOpen, "C-OPEN"));
    delete m_scheduler;
    m_scheduler = newDrivenScheduler(&m_owner, m_env, m_fileMan);
    // One the user's own upload left in this run waits for the user.
    const int userLeft = addQueued("Mine", recordingBytes(4200, 11));
    QVERIFY(m_fileMan->setQvlCaseId(userLeft, "C-MINE"));

    // Each earlier case is finished in its own case with what is missing.
    QVERIFY(runUploadTick());
    QCOMPARE(m_ops, QList<QByteArray>{"GetCaseURL"});
    QVERIFY(m_received.isEmpty());
    QCOMPARE(row(earlierSent).status, 3);
    m_ops.clear();
    QVERIFY(runUploadTick());
    QCOMPARE(m_ops, (QList<QByteArray>{"GetModifiedServices", "AddFile", "GetCaseURL"}));
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(m_received[0].caseId, QByteArray("C-OPEN"));
    QCOMPARE(m_received[0].hash, hashOf(earlierOpen));
    QCOMPARE(row(earlierOpen).status, 3);
    m_ops.clear();
    QVERIFY(runUploadTick());
    QVERIFY(m_ops.isEmpty());
    QCOMPARE(row(userLeft).status, 1);

    // Queued by the user: finished in its case, but never while the user's
    // own upload works on it.
    QVERIFY(m_fileMan->queueForUpload(userLeft, true));
    m_scheduler->setForegroundUpload(userLeft);
    QVERIFY(runUploadTick());
    QVERIFY(m_ops.isEmpty());
    m_scheduler->setForegroundUpload(-1);
    m_received.clear();
    m_scheduler->backgroundUploadTimerExpired();
    QCOMPARE(m_scheduler->backgroundUploadFileId(), userLeft);
    QVERIFY(waitIdle());
    QCOMPARE(m_scheduler->backgroundUploadFileId(), -1);
    QCOMPARE(m_ops, (QList<QByteArray>{"GetModifiedServices", "AddFile", "GetCaseURL"}));
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(m_received[0].caseId, QByteArray("C-MINE"));
    const Row done = row(userLeft);
    QCOMPARE(done.status, 3);
    QCOMPARE(done.caseId, QStringLiteral("C-MINE"));
}

namespace {

// The child's recording, the same in both runs and in the parent.
QByteArray childRecording()
{
    return recordingBytes(48000, 77);
}

void killAtStep(const char* step)
{
    if (std::strcmp(step, "qvlFileAdded") == 0)
        std::raise(SIGKILL);
}

// child <root> <service url> start|resume: one scheduler over the data of
// root; "start" queues a recording and dies as soon as the service's taking
// of the file is stored, "resume" is the next start of the program.
int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    QvlTestEnv env;
    QString error;
    if (!env.setUp(error, args[2]))
        return 3;
    env.settings->qvlUrl = args[3];
    env.settings->qvlUserName = "clinic";
    env.settings->qvlPwd = "secret";
    env.settings->qvlAccountVerified = 1;
    if (!env.settings->saveSettings(SettingsQvlService))
        return 4;
    CFileMan files(env.dataFolder(), env.db->database(), env.settings, 0, 0);
    if (args[4] == QLatin1String("start")) {
        const int patient = env.addPatient({{"patientName", "Kill"}, {"species", 2}});
        const int id = env.addRecording(patient, QStringLiteral("%1_1_20240301_080000.ecg").arg(patient),
                                        childRecording());
        if (id <= 0 || !files.queueForUpload(id, true))
            return 5;
        CFileMan::setStepHook(killAtStep);
    }
    Owner owner;
    owner.settings = env.settings;
    CQvlScheduler scheduler(&owner, env.dataFolder(), env.db->database(), env.settings, &files,
                            "MalvorantQml", "8.0.2", "078");
    scheduler.modifiedServicesTimer()->stop();
    scheduler.backgroundUploadTimer()->stop();
    scheduler.backgroundUploadTimerExpired();
    if (!waitUntil([&]() { return !scheduler.backgroundUploadInProgress(); }, 30000))
        return 6;
    return owner.events.contains(QStringLiteral("fileChanged")) ? 0 : 7;
}

} // namespace

void TstQvlScheduler::restartAfterTheFileWent()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    auto run = [&](const char* mode, int* exitCode) {
        QProcess child;
        // The child's own temporary folders go with root.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), root.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"child", root.path(), m_server->url(false, QLatin1String(kPath)), mode});
        const bool ended = waitUntil([&]() { return child.state() == QProcess::NotRunning; }, 60000);
        if (!ended)
            child.kill();
        child.waitForFinished(5000);
        *exitCode = child.exitStatus() == QProcess::CrashExit ? -1 : child.exitCode();
        return ended;
    };

    // Killed right after the service took the file and that was stored.
    int code = 0;
    QVERIFY(run("start", &code));
    QCOMPARE(code, -1);
    QCOMPARE(m_ops, (QList<QByteArray>{"InitiateCase", "AddFile"}));

    // The next start asks only for the address: the file went once.
    QVERIFY(run("resume", &code));
    QCOMPARE(code, 0);
    QCOMPARE(m_ops, (QList<QByteArray>{"InitiateCase", "AddFile", "GetCaseURL"}));
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(m_received[0].hash, QCryptographicHash::hash(childRecording(), QCryptographicHash::Sha256));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "childStore");
        db.setDatabaseName(root.path() + "/MalvorantData/zqr.sqlite3");
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("select qvlCaseStatus, qvlCaseId, qvlCaseUrl, qvlFileAdded from ecgTable"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 3);
        QCOMPARE(q.value(1).toByteArray(), m_received[0].caseId);
        QCOMPARE(q.value(2).toString(),
                 "https://cases.example/view?case=" + q.value(1).toString() + "&lang=en");
        QCOMPARE(q.value(3).toInt(), 1);
        QVERIFY(!q.next());
    }
    QSqlDatabase::removeDatabase("childStore");
}

void TstQvlScheduler::statePolling()
{
    const int a = addQueued("A", recordingBytes(100, 1));
    const int b = addQueued("B", recordingBytes(100, 2));
    const int c = addQueued("C", recordingBytes(100, 3));
    QVERIFY(m_fileMan->setQvlCaseId(a, "C-A"));
    QVERIFY(m_fileMan->setQvlCaseUrl(b, "https://cases.example/B"));
    QSqlQuery q(*m_env.db->database());
    QVERIFY(q.exec(QStringLiteral("update ecgTable set qvlCaseId='C-B' where ecgId=%1").arg(b)));
    QVERIFY(m_fileMan->setQvlCaseId(c, "C-C'x"));
    QVERIFY(m_fileMan->setQvlCaseStatus(c, "COMPLETED"));
    QCOMPARE(m_fileMan->selectFile(b), b);
    m_owner.events.clear();

    m_env.settings->modifiedToken = "T-saved";
    QVERIFY(m_env.settings->saveSettings(SettingsQvlService));
    delete m_scheduler;
    m_scheduler = newDrivenScheduler(&m_owner, m_env, m_fileMan);
    QCOMPARE(m_scheduler->token(), QStringLiteral("T-saved"));

    // An unknown case between two known ones is skipped; the current
    // recording's change is told, the other's is only stored.
    QStringList requests;
    m_server->setOnRequest([this, &requests](const StandInRequest& r) {
        requests << QString::fromUtf8(elementOf(r.body, "modifiedToken"));
        serve(r);
    });
    m_modifiedReply = okReply("GetModifiedServices",
                              "<return><modifiedSinceToken>T-1</modifiedSinceToken>"
                              "<services><caseId>C-B</caseId><status>IN_PROCESS</status></services>"
                              "<services><caseId>C-NONE</caseId><status>COMPLETED</status></services>"
                              "<services><caseId>C-C'x</caseId><status>NEEDS_ATTENTION</status></services>"
                              "<services><caseId>C-A</caseId><status>COMPLETED</status></services>"
                              "</return>");
    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(m_scheduler->modifiedServicesOperationInProgress());
    QCOMPARE(m_scheduler->modifiedServicesTimer()->interval(), 300000);
    QVERIFY(waitIdle());
    QCOMPARE(requests, QStringList{"T-saved"});
    QCOMPARE(row(a).status, 8);
    QCOMPARE(row(b).status, 5);
    QCOMPARE(row(c).status, 6);
    QCOMPARE(m_fileMan->currentQvlCaseStatus(), 5);
    QCOMPARE(m_owner.events, QStringList{"fileChanged"});
    QCOMPARE(m_scheduler->token(), QStringLiteral("T-1"));
    {
        // Saved, not only held.
        int from = -1;
        int to = -1;
        CSettingsMan reread(QStringLiteral("MalvorantQml"), m_env.db->database(), from, to);
        QCOMPARE(reread.modifiedToken, QStringLiteral("T-1"));
    }

    // The next poll sends the new token; an empty token from the service is kept too.
    m_modifiedReply = okReply("GetModifiedServices",
                              "<return><modifiedSinceToken></modifiedSinceToken></return>");
    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(waitIdle());
    QCOMPARE(requests, (QStringList{"T-saved", "T-1"}));
    QCOMPARE(m_scheduler->token(), QString());
    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(waitIdle());
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.last(), QString());

    // Every case closed: no poll at all.
    QVERIFY(q.exec("update ecgTable set qvlCaseStatus=7"));
    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(waitIdle());
    QCOMPARE(requests.size(), 3);
}

void TstQvlScheduler::pollingFailures_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"down", "reset", "time-out", "fault", "authentication", "clock skew"})
        QTest::newRow(kind) << QString(kind);
}

void TstQvlScheduler::pollingFailures()
{
    QFETCH(QString, kind);
    const int a = addQueued("A", recordingBytes(100, 1));
    QVERIFY(m_fileMan->setQvlCaseId(a, "C-A"));
    m_env.settings->modifiedToken = "T-keep";
    QVERIFY(m_env.settings->saveSettings(SettingsQvlService));
    delete m_scheduler;
    m_scheduler = newDrivenScheduler(&m_owner, m_env, m_fileMan);
    if (kind == "time-out")
        m_scheduler->client()->setTransferTimeout(1000);
    m_faultOp = "GetModifiedServices";
    m_faultKind = kind;
    if (kind == "down")
        m_server->stopListening();
    m_owner.events.clear();

    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(waitIdle());
    QCOMPARE(m_scheduler->token(), QStringLiteral("T-keep"));
    QCOMPARE(row(a).status, 1);
    QCOMPARE(m_owner.events.contains("checkUser(0,0,0)"), kind == "authentication");
    QCOMPARE(m_env.settings->qvlAccountVerified, kind == "authentication" ? 0 : 1);
    int from = -1;
    int to = -1;
    CSettingsMan reread(QStringLiteral("MalvorantQml"), m_env.db->database(), from, to);
    QCOMPARE(reread.modifiedToken, QStringLiteral("T-keep"));
    QVERIFY(m_env.logText().contains("CQvlScheduler::qvlRespGetModifiedServices1() "));
}

void TstQvlScheduler::timersOverlap()
{
    const int rec = addQueued("Rex", recordingBytes(3000, 2));
    QVERIFY(m_fileMan->setQvlCaseId(addQueued("Open", recordingBytes(10, 3)), "C-OPEN"));

    // An upload held at the service: the polling tick only logs.
    m_server->setOnRequest([this](const StandInRequest& r) {
        serve(r);
        m_server->setAction(QvlStandIn::Action::Hold);
    });
    m_scheduler->backgroundUploadTimerExpired();
    QVERIFY(waitUntil([this]() { return m_ops.size() == 1; }));
    m_scheduler->modifiedServicesTimerExpired();
    m_scheduler->backgroundUploadTimerExpired();
    QCOMPARE(m_scheduler->backgroundUploadTimer()->interval(), 300000);
    QTest::qWait(50);
    QCOMPARE(m_ops, QList<QByteArray>{"InitiateCase"});
    QByteArray log = m_env.logText();
    QVERIFY(log.contains("CQvlScheduler::modifiedServicesTimerExpired() but "
                         "modifiedServicesOperationInProgress=false, backgroundUploadInProgress=true"));
    QVERIFY(log.contains("CQvlScheduler::backgroundUploadTimerExpired() but "
                         "modifiedServicesOperationInProgress=false, backgroundUploadInProgress=true"));
    // The chain goes on undisturbed.
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });
    m_server->releaseHeld();
    QVERIFY(waitIdle());
    QCOMPARE(row(rec).status, 3);
    QCOMPARE(m_ops, (QList<QByteArray>{"InitiateCase", "AddFile", "GetCaseURL"}));

    // A poll held at the service: the upload tick only logs.
    const int next = addQueued("Max", recordingBytes(3000, 4));
    m_ops.clear();
    m_server->setOnRequest([this](const StandInRequest& r) {
        serve(r);
        m_server->setAction(QvlStandIn::Action::Hold);
    });
    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(waitUntil([this]() { return m_ops.size() == 1; }));
    m_scheduler->backgroundUploadTimerExpired();
    QTest::qWait(50);
    QCOMPARE(m_ops, QList<QByteArray>{"GetModifiedServices"});
    QCOMPARE(row(next).status, 9);
    QVERIFY(m_env.logText().contains("CQvlScheduler::backgroundUploadTimerExpired() but "
                                     "modifiedServicesOperationInProgress=true, "
                                     "backgroundUploadInProgress=false"));
    m_server->setOnRequest([this](const StandInRequest& r) { serve(r); });
    m_server->releaseHeld();
    QVERIFY(waitIdle());
    QVERIFY(runUploadTick());
    QCOMPARE(row(next).status, 3);
}

void TstQvlScheduler::serviceStoppedMidUpload()
{
    // A 30-minute recording: the header area and 900,000 records of 16 bytes.
    const QByteArray content = recordingBytes(110000 + 30 * 60 * 500 * 16, 2463534242u);
    const int rec = addQueued("Long", content);
    QVERIFY(rec > 0);
    // The service goes away with the file half received.
    m_server->goAwayMidBody(1000000);
    QVERIFY(runUploadTick());
    QVERIFY(m_server->wentAwayMidBody());
    const Row failed = row(rec);
    QCOMPARE(failed.status, 1);
    QVERIFY(!failed.caseId.isEmpty());
    QCOMPARE(m_owner.events, QStringList{QStringLiteral("failed(%1)").arg(rec)});
    QVERIFY(m_received.isEmpty()); // nothing complete arrived

    // Still down at the next tick: it fails again and stays.
    m_owner.events.clear();
    QVERIFY(runUploadTick());
    QCOMPARE(row(rec).status, 1);
    QCOMPARE(m_owner.events, QStringList{QStringLiteral("failed(%1)").arg(rec)});

    // Back again: asked first, the file arrives once, whole, in the same case.
    QVERIFY(m_server->listenAgain());
    m_ops.clear();
    QVERIFY(runUploadTick());
    QCOMPARE(m_ops, (QList<QByteArray>{"GetModifiedServices", "AddFile", "GetCaseURL"}));
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(m_received[0].caseId, failed.caseId.toUtf8());
    QCOMPARE(m_received[0].size, qint64(content.size()));
    QCOMPARE(m_received[0].hash, hashOf(rec));
    QCOMPARE(row(rec).status, 3);
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "child") == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TstQvlScheduler test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qvlscheduler.moc"
