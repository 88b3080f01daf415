// Each recording's file reaches the telemedicine service once, in one case,
// through the background scheduler with its real client against the stand-in
// service with its store: AddFile cut after the service stored the file or
// answered later than the deadline, in the same run and after a restart, a
// case an earlier version left, and queued recordings whose case the status
// poll reports. Each test ends on the stand-in's store and the database.
#include "dbman.h"
#include "fileman.h"
#include "qvlcomm.h"
#include "qvlreplies.h"
#include "qvlscheduler.h"
#include "qvlservicestore.h"
#include "qvlstandin.h"
#include "qvltestenv.h"
#include "settingsman.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

#include "recordingbytes.h"
#include "schedulerrig.h"

#include <cstring>

namespace {

// The bridge's side as far as the scheduler needs it.
class Owner : public CQvlCallbackInterface
{
public:
    QStringList events;

    void qvlRespCheckNetwork(bool, bool, bool) override {}
    void qvlRespCheckUser(bool n, bool e, bool verified) override
    {
        events << QStringLiteral("checkUser(%1,%2,%3)").arg(int(n)).arg(int(e)).arg(int(verified));
    }
    void qvlRespInitiateCase(bool, bool, int, QString) override {}
    void qvlRespAddFile(bool, bool, int, QString) override {}
    void qvlRespGetCaseUrl(bool, bool, int, QString) override {}
    void qvlRespGetModifiedServices1(bool, bool, QString) override {}
    void qvlRespGetModifiedServices2(QString, QString) override {}
    void qvlRespGetModifiedServicesDone() override {}
    void qvlRespFileChanged() override { events << QStringLiteral("fileChanged"); }
    void qvlRespBackgroundUploadFailed(int fileId, QString) override
    {
        events << QStringLiteral("failed(%1)").arg(fileId);
    }
};

using Row = QvlCaseRow;

} // namespace

class TstQvlDelivery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void fileOnceAfterAnUnclearEnd_data();
    void fileOnceAfterAnUnclearEnd();
    void queuedCaseReportedByThePoll_data();
    void queuedCaseReportedByThePoll();
    void fileOnceAcrossAProgramRestart_data();
    void fileOnceAcrossAProgramRestart();

private:
    int addQueued(const QString& patientName, const QByteArray& content)
    {
        return addQueuedRecording(m_env, m_fileMan, m_fileHashes, "0900", patientName, content);
    }
    Row row(int ecgId) { return readCaseRow(m_env.db->database(), ecgId); }
    bool waitIdle(int timeoutMs = 30000) { return waitSchedulerIdle(m_scheduler, timeoutMs); }
    bool runUploadTick() { return ::runUploadTick(m_scheduler); }
    QByteArray hashOf(int ecgId) { return m_fileHashes.value(ecgId); }
    void restartScheduler();
    int fileAdded(int ecgId);

    QvlTestEnv m_env;
    QvlStandIn* m_server = nullptr;
    CFileMan* m_fileMan = nullptr;
    CQvlScheduler* m_scheduler = nullptr;
    Owner m_owner;
    QHash<int, QByteArray> m_fileHashes;
};

void TstQvlDelivery::initTestCase()
{
    QString error;
    QVERIFY2(m_env.setUp(error), qPrintable(error));
    m_server = new QvlStandIn(48, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->trust();
    m_server->setKeepRequests(false);
    m_env.settings->qvlUserName = "clinic";
    m_env.settings->qvlPwd = "secret";
    m_fileMan = new CFileMan(m_env.dataFolder(), m_env.db->database(), m_env.settings, 0, 0);
}

void TstQvlDelivery::cleanupTestCase()
{
    delete m_fileMan;
    m_fileMan = nullptr;
}

void TstQvlDelivery::init()
{
    QSqlQuery q(*m_env.db->database());
    QVERIFY(q.exec("delete from ecgTable"));
    m_env.settings->qvlUrl = m_server->url(true, QLatin1String(kPath));
    m_env.settings->qvlAccountVerified = 1;
    QVERIFY(m_env.settings->saveSettings(SettingsQvlService));
    m_owner.events.clear();
    QVERIFY(m_server->listenAgain());
    m_scheduler = nullptr;
    restartScheduler();
}

void TstQvlDelivery::cleanup()
{
    m_server->setOnRequest(nullptr);
    m_server->abortConnections();
    m_server->listenAgain();
    delete m_scheduler;
    m_scheduler = nullptr;
}

void TstQvlDelivery::restartScheduler()
{
    // A new start of the program over the same database.
    delete m_scheduler;
    m_scheduler = newDrivenScheduler(&m_owner, m_env, m_fileMan);
}

int TstQvlDelivery::fileAdded(int ecgId)
{
    QSqlQuery q(*m_env.db->database());
    q.prepare("select qvlFileAdded from ecgTable where ecgId=?");
    q.addBindValue(ecgId);
    return q.exec() && q.next() ? q.value(0).toInt() : -1;
}

void TstQvlDelivery::fileOnceAfterAnUnclearEnd_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("restart");
    for (const char* end : {"cut after stored (reset)", "cut after stored (closed)",
                            "reply slower than the deadline"}) {
        QTest::addRow("%s", end) << QString(end) << false;
        QTest::addRow("%s, restart", end) << QString(end) << true;
    }
    QTest::newRow("case of an earlier version") << "earlier version" << true;
}

// AddFile ends without a clear answer after the service stored the file:
// the client asks for the case's state and does not send the file again, in
// the same run or, when the service was gone for that question, after a
// restart; a case an earlier version left (no progress kept) is asked about
// too. The service holds exactly one copy, in one case.
void TstQvlDelivery::fileOnceAfterAnUnclearEnd()
{
    QFETCH(QString, end);
    QFETCH(bool, restart);
    QvlServiceStore store(m_server);
    bool goAfterAddFile = false;
    m_server->setOnRequest([&](const StandInRequest& r) {
        store.serve(r);
        if (goAfterAddFile && operationOf(r.body) == "AddFile")
            m_server->stopListening();
    });
    const QByteArray content = recordingBytes(300000, 31);
    const int rec = addQueued("Once", content);
    QVERIFY(rec > 0);
    const QByteArray sha = hashOf(rec);
    const bool earlier = end == "earlier version";
    if (earlier) {
        store.addCase("C-EARLIER", "RECEIVED").files.append({"earlier.ecg", sha, content.size()});
        QVERIFY(m_fileMan->setQvlCaseId(rec, "C-EARLIER"));
        QSqlQuery q(*m_env.db->database());
        QVERIFY(q.exec("update ecgTable set qvlFileAdded=0"));
    } else {
        goAfterAddFile = restart;
        if (end.contains("reset")) {
            store.nextAddFileEnd = QvlServiceStore::AddFileEnd::CutReset;
        } else if (end.contains("closed")) {
            store.nextAddFileEnd = QvlServiceStore::AddFileEnd::CutClosed;
        } else {
            m_scheduler->client()->setRequestDeadline(1000);
            store.slowMs = 3000;
            store.nextAddFileEnd = QvlServiceStore::AddFileEnd::Slow;
        }
        QVERIFY(runUploadTick());
        QCOMPARE(store.ops.count("AddFile"), 1);
        if (restart) {
            // Gone before it could be asked: the recording waits in its case.
            const Row waiting = row(rec);
            QCOMPARE(waiting.status, 1);
            QVERIFY(!waiting.caseId.isEmpty());
            QCOMPARE(fileAdded(rec), 0);
            QCOMPARE(m_owner.events, QStringList{QStringLiteral("failed(%1)").arg(rec)});
        }
    }
    if (restart) {
        QVERIFY(m_server->listenAgain());
        restartScheduler();
        QVERIFY(runUploadTick());
    }
    if (end.contains("slower"))
        QTest::qWait(2500); // the late answer has come and gone

    const Row done = row(rec);
    QCOMPARE(done.status, 3);
    QCOMPARE(fileAdded(rec), 1);
    QCOMPARE(store.cases.size(), 1);
    const QvlServiceStore::Case* c = store.find(done.caseId.toUtf8());
    QVERIFY(c);
    QCOMPARE(c->files.size(), 1);
    QCOMPARE(c->files.first().sha256, sha);
    QCOMPARE(store.copiesOf(sha), 1);
    QCOMPARE(store.ops.count("AddFile"), earlier ? 0 : 1);
    QCOMPARE(store.ops.count("InitiateCase"), earlier ? 0 : 1);
    QCOMPARE(done.caseUrl, "https://cases.example/view?case=" + done.caseId + "&lang=en");
}

void TstQvlDelivery::queuedCaseReportedByThePoll_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("serviceState");
    QTest::addColumn<QList<QByteArray>>("sent"); // at the tick after the poll
    QTest::newRow("case open, file not there")
        << "open" << QByteArray("STARTED")
        << QList<QByteArray>{"GetModifiedServices", "AddFile", "GetCaseURL"};
    QTest::newRow("case open, file there") << "open" << QByteArray("RECEIVED")
                                           << QList<QByteArray>{"GetCaseURL"};
    QTest::newRow("sent before, queued again")
        << "finished" << QByteArray("IN_PROCESS")
        << QList<QByteArray>{"InitiateCase", "AddFile", "GetCaseURL"};
}

// A queued recording whose case the status poll reports stays queued and is
// sent at the next upload tick, though this run did not see its case at start.
void TstQvlDelivery::queuedCaseReportedByThePoll()
{
    QFETCH(QString, before);
    QFETCH(QByteArray, serviceState);
    QFETCH(QList<QByteArray>, sent);
    QvlServiceStore store(m_server);
    m_server->setOnRequest([&](const StandInRequest& r) { store.serve(r); });
    const QByteArray content = recordingBytes(5000, 41);
    const int rec = addQueued("Polled", content);
    const QByteArray sha = hashOf(rec);
    QvlServiceStore::Case& c = store.addCase("C-Q", serviceState);
    if (serviceState != "STARTED")
        c.files.append({"q.ecg", sha, content.size()});
    QVERIFY(m_fileMan->setQvlCaseId(rec, "C-Q"));
    if (before == "finished")
        QVERIFY(m_fileMan->setQvlCaseUrl(rec, "https://cases.example/view?case=C-Q&lang=en"));
    QVERIFY(m_fileMan->queueForUpload(rec, true));

    m_scheduler->modifiedServicesTimerExpired();
    QVERIFY(waitIdle());
    QCOMPARE(store.ops, QList<QByteArray>{"GetModifiedServices"});
    QCOMPARE(row(rec).status, 9);

    store.ops.clear();
    QVERIFY(runUploadTick());
    QCOMPARE(store.ops, sent);
    const Row done = row(rec);
    QCOMPARE(done.status, 3);
    QCOMPARE(store.copiesOf(sha), before == "finished" ? 2 : 1);
    QCOMPARE(store.find(done.caseId.toUtf8())->files.size(), 1);
}

namespace {

// The child's recording, the same in both runs and in the parent.
QByteArray childRecording()
{
    return recordingBytes(250000, 97);
}

// child <root> <service url> start|start-slow|resume: one scheduler over the
// data of root, as one run of the program. "start" queues a recording and
// sends it once ("start-slow" with a deadline of 1 s); "resume" is the next
// start of the program. Exit 0 when the run ended as it should.
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
    const bool start = args[4].startsWith(QLatin1String("start"));
    if (start) {
        const int patient = env.addPatient({{"patientName", "Twice"}, {"species", 2}});
        const int id = env.addRecording(patient, QStringLiteral("%1_1_20240301_100000.ecg").arg(patient),
                                        childRecording());
        if (id <= 0 || !files.queueForUpload(id, true))
            return 5;
    }
    Owner owner;
    CQvlScheduler scheduler(&owner, env.dataFolder(), env.db->database(), env.settings, &files,
                            "MalvorantQml", "8.0.2", "078");
    scheduler.modifiedServicesTimer()->stop();
    scheduler.backgroundUploadTimer()->stop();
    if (args[4] == QLatin1String("start-slow"))
        scheduler.client()->setRequestDeadline(1000);
    scheduler.backgroundUploadTimerExpired();
    if (!waitUntil([&]() { return !scheduler.backgroundUploadInProgress(); }, 30000))
        return 6;
    // The first run ends with the upload failed, the second with it done.
    return owner.events.contains(start ? QStringLiteral("failed(1)") : QStringLiteral("fileChanged"))
        ? 0
        : 7;
}

} // namespace

void TstQvlDelivery::fileOnceAcrossAProgramRestart_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("line cut after the file was stored") << "cut";
    QTest::newRow("reply slower than the deadline") << "slow";
}

// The program ends after AddFile ended without a clear answer and the service
// went away before it could be asked; the next start asks and does not send
// the file again.
void TstQvlDelivery::fileOnceAcrossAProgramRestart()
{
    QFETCH(QString, end);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QvlServiceStore store(m_server);
    bool goAfterAddFile = true;
    m_server->setOnRequest([&](const StandInRequest& r) {
        store.serve(r);
        if (goAfterAddFile && operationOf(r.body) == "AddFile")
            m_server->stopListening();
    });
    if (end == "slow") {
        store.slowMs = 3000;
        store.nextAddFileEnd = QvlServiceStore::AddFileEnd::Slow;
    } else {
        store.nextAddFileEnd = QvlServiceStore::AddFileEnd::CutReset;
    }
    auto run = [&](const QString& mode, int* exitCode) {
        QProcess child;
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
    int code = -1;
    QVERIFY(run(end == "slow" ? "start-slow" : "start", &code));
    QCOMPARE(code, 0);
    QCOMPARE(store.ops, (QList<QByteArray>{"InitiateCase", "AddFile"}));
    goAfterAddFile = false;
    QVERIFY(m_server->listenAgain());
    QVERIFY(run("resume", &code));
    QCOMPARE(code, 0);
    QCOMPARE(store.ops, (QList<QByteArray>{"InitiateCase", "AddFile", "GetModifiedServices", "GetCaseURL"}));

    const QByteArray sha = QCryptographicHash::hash(childRecording(), QCryptographicHash::Sha256);
    QCOMPARE(store.cases.size(), 1);
    QCOMPARE(store.cases.first().files.size(), 1);
    QCOMPARE(store.copiesOf(sha), 1);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "childStore");
        db.setDatabaseName(root.path() + "/MalvorantData/zqr.sqlite3");
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("select qvlCaseStatus, qvlCaseId, qvlFileAdded from ecgTable"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 3);
        QCOMPARE(q.value(1).toByteArray(), store.cases.first().id);
        QCOMPARE(q.value(2).toInt(), 1);
        QVERIFY(!q.next());
    }
    QSqlDatabase::removeDatabase("childStore");
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "child") == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TstQvlDelivery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qvldelivery.moc"
