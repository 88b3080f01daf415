// The DICOM request front and its worker against real peers on loopback.
#include "dcmfronttestenv.h"
#include "dcmquerytestutil.h"
#include "dicomrig.h"

#include "dcmcomm.h"
#include "dcmerrors.h"
#include "dcmnetconfig.h"
#include "dcmscheduler.h"
#include "dcmthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace dcmtest;
using dicomrig::SilentListener;
using dicomrig::StorePeer;
using dicomrig::ToolPeer;

namespace {
const int kTimeout = 3; // seconds, the network time-out of this test program
const int kAnswerWaitMs = 20000;
const char* const kExitChildVar = "MALVORANT_DCM_EXIT_CHILD";

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class TestDcmComm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void sendLandsOnPacs();
    void sentWeight_data();
    void sentWeight();
    void busyRuleAndOneAnswerPerRequest();
    void requestBeforeTheAnswerIsRefused();
    void answerStartsTheNextRequest();
    void sendFailureFlags_data();
    void sendFailureFlags();
    void aeTitleCheck_data();
    void aeTitleCheck();
    void settingsReachWorkerBetweenJobs();
    void worklistQueries();
    void pacsRoundTrip();
    void queryFailureFlags_data();
    void queryFailureFlags();
    void frontAndBackgroundSendSameRecording();
    void exitWithJobOnSilentPeer_data();
    void exitWithJobOnSilentPeer();

private:
    struct Front
    {
        StoreEnv env;
        AnswerRecorder answers;
        std::unique_ptr<CDcmComm> comm;
        Front()
        {
            comm = std::make_unique<CDcmComm>(&answers, &env.database(), env.settings.get(), 1,
                                              QStringLiteral("8.0.2 build: 078"));
        }
        void configure(quint16 port, const QString& aeTitle,
                       const QString& local = QStringLiteral("MALVORANT"))
        {
            configurePacs(*env.settings, port, aeTitle, local);
            comm->updateConfig();
        }
        QString tmpFolder() const { return env.dataFolder() + QStringLiteral("tmp"); }
    };
};

void TestDcmComm::initTestCase()
{
    QCOMPARE(DcmNetConfig::applyTimeout(kTimeout), kTimeout);
}

void TestDcmComm::sendLandsOnPacs()
{
    Front f;
    QTemporaryDir work;
    ToolPeer pacs;
    QVERIFY(pacs.startStoreScp(work.path()));
    f.configure(pacs.port(), pacs.aeTitle());

    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(f.env, ecgId);
    const QByteArray before = fileBytes(path);

    QVERIFY(f.comm->sendPacsFile(path, QStringLiteral("1.2.3.4"), QStringLiteral("Beagle"),
                                 QStringLiteral("12.5")));
    QVERIFY(f.comm->getLastError().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    const Answer a = f.answers.answers.first();
    QCOMPARE(a.slot, 0);
    QVERIFY2(!a.hasNetworkError && !a.hasErrorResponse, qPrintable(f.comm->getLastError()));
    QVERIFY(!a.isBackgroundUpload);

    const QStringList incoming = filesIn(pacs.incomingFolder());
    QCOMPARE(incoming.size(), 1);
    const QString dump = dicomrig::dumpDataset(pacs.incomingFolder() + QLatin1Char('/') + incoming.first());
    QVERIFY2(dump.contains(QStringLiteral("[EXT-1]")), qPrintable(dump.left(2000)));
    QVERIFY(dump.contains(QStringLiteral("[1.2.3.4]")));
    QVERIFY(dump.contains(QStringLiteral("[12.5]")));
    // The converted file was the job's own and is gone; the recording is untouched.
    QCOMPARE(filesIn(f.tmpFolder()), QStringList());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(f.comm->command(), int(DcmCmdSendPacsFile));
}

void TestDcmComm::sentWeight_data()
{
    QTest::addColumn<QString>("weight");
    QTest::addColumn<QString>("sent");
    QTest::newRow("kilograms") << "12.5" << "[12.5]";
    QTest::newRow("zero is no weight") << "0" << "";
    QTest::newRow("none") << "" << "";
    QTest::newRow("decimal comma is refused") << "12,5" << "";
    QTest::newRow("negative") << "-4" << "";
}

void TestDcmComm::sentWeight()
{
    QFETCH(QString, weight);
    QFETCH(QString, sent);
    Front f;
    QTemporaryDir work;
    ToolPeer pacs;
    QVERIFY(pacs.startStoreScp(work.path()));
    f.configure(pacs.port(), pacs.aeTitle());
    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(f.env, ecgId);
    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), weight));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QVERIFY2(!f.answers.answers.first().hasNetworkError && !f.answers.answers.first().hasErrorResponse,
             qPrintable(f.comm->getLastError()));
    const QStringList incoming = filesIn(pacs.incomingFolder());
    QCOMPARE(incoming.size(), 1);
    const QString dump = dicomrig::dumpDataset(pacs.incomingFolder() + QLatin1Char('/') + incoming.first());
    const QString line = dump.section(QStringLiteral("(0010,1030)"), 1, 1).section(QLatin1Char('\n'), 0, 0);
    if (sent.isEmpty())
        QVERIFY2(!line.contains(QLatin1Char('[')), qPrintable(line));
    else
        QVERIFY2(line.contains(sent), qPrintable(line));
}

void TestDcmComm::busyRuleAndOneAnswerPerRequest()
{
    Front f;
    SilentListener silent;
    QVERIFY(silent.start());
    f.configure(silent.port(), QStringLiteral("SILENT"));
    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(f.env, ecgId);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), QString()));
    QVERIFY(f.comm->isBusy());

    // Every request is refused while the send runs, and none is answered.
    QVERIFY(!f.comm->loadMwl(QStringLiteral("Rex"), QString(), QString(), QString()));
    QCOMPARE(f.comm->getLastError(), QStringLiteral("Dicom currently busy"));
    QVERIFY(!f.comm->loadPacsList(QString(), QString(), QString(), QString()));
    QVERIFY(!f.comm->loadFromPacs(QStringLiteral("1.2"), f.env.dataFolder(), QStringLiteral("x.ecg")));
    QVERIFY(!f.comm->testMwlCredentials());
    QVERIFY(!f.comm->testPacsCredentials());
    QVERIFY(!f.comm->sendPacsFile(path, QString(), QString(), QString()));
    QCOMPARE(f.comm->getLastError(), QStringLiteral("Dicom currently busy"));
    QCOMPARE(f.comm->command(), int(DcmCmdSendPacsFile));

    // The silent peer frees the worker within the time-out; the one answer
    // arrives in the send's own slot.
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QVERIFY(clock.elapsed() < (kTimeout + 5) * 1000);
    QCOMPARE(f.answers.answers.first().slot, 0);
    QVERIFY(f.answers.answers.first().hasNetworkError);
    QVERIFY(!f.answers.answers.first().hasErrorResponse);
    QVERIFY(!f.comm->getLastError().isEmpty());
    QVERIFY(f.comm->getLastError() != QStringLiteral("Dicom currently busy"));
    QVERIFY(silent.connectionCount() >= 1);
    QCOMPARE(filesIn(f.tmpFolder()), QStringList());

    // Idle again: the next request is accepted and answered in its own slot.
    QTest::qWait(200);
    QCOMPARE(f.answers.answers.size(), 1);
    QVERIFY(!f.comm->isBusy());
    QVERIFY(f.comm->testPacsCredentials());
    QVERIFY(f.comm->getLastError().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 5);
}

void TestDcmComm::requestBeforeTheAnswerIsRefused()
{
    // The job has ended but its answer has not gone out yet: a request then
    // must not start a job whose result the pending answer would read.
    Front f;
    f.configure(dicomrig::freePort(), QString()); // refused at once, no network
    QVERIFY(f.comm->testPacsCredentials());
    QThread::msleep(500); // no events: the job ends, its answer waits
    QVERIFY(f.comm->isBusy());
    QVERIFY(!f.comm->testMwlCredentials());
    QCOMPARE(f.comm->getLastError(), QStringLiteral("Dicom currently busy"));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.first().slot, 5);
    QVERIFY(f.answers.answers.first().hasNetworkError);
    QVERIFY(f.comm->getLastError().contains(QStringLiteral("PACS AE title is empty")));
    QVERIFY(!f.comm->isBusy());
    QVERIFY(f.comm->testMwlCredentials());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 4);
    QTest::qWait(100);
    QCOMPARE(f.answers.answers.size(), 2);
}

void TestDcmComm::answerStartsTheNextRequest()
{
    // The settings page's chain: the worklist test's answer starts the PACS test.
    Front f;
    f.configure(dicomrig::freePort(), QString());
    bool started = false;
    f.answers.onAnswer = [&](const Answer& a) {
        if (a.slot == DcmCmdTestMwlCredentials)
            started = f.comm->testPacsCredentials();
    };
    QVERIFY(f.comm->testMwlCredentials());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QVERIFY(started);
    QCOMPARE(f.answers.answers[0].slot, 4);
    QCOMPARE(f.answers.answers[1].slot, 5);
    QTest::qWait(100);
    QCOMPARE(f.answers.answers.size(), 2);
}

void TestDcmComm::sendFailureFlags_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<bool>("networkError");
    QTest::addColumn<QString>("text");

    QTest::newRow("peer down") << "down" << true << true << "Association Request Failed";
    QTest::newRow("association refused") << "refuse" << true << true << "Association Rejected";
    QTest::newRow("aborted during store") << "abort" << true << true << "Peer Aborted Association";
    QTest::newRow("time-out on a silent peer") << "silent" << true << true << "Association Request Failed";
    QTest::newRow("PACS silent after the association") << "freeze" << true << true << "Store Scu Failed";
    QTest::newRow("object refused by the PACS") << "refuseObject" << true << false << "Store Refused";
    QTest::newRow("recording file missing") << "storescp" << false << false << "ecgToDicomConversion1";
}

void TestDcmComm::sendFailureFlags()
{
    QFETCH(QString, peer);
    QFETCH(bool, withFile);
    QFETCH(bool, networkError);
    QFETCH(QString, text);

    Front f;
    QTemporaryDir work;
    ToolPeer tool;
    StorePeer store;
    SilentListener silent;
    quint16 port = 0;
    QString aeTitle = QStringLiteral("PACS");
    if (peer == QLatin1String("down")) {
        port = dicomrig::freePort();
    } else if (peer == QLatin1String("refuse")) {
        QVERIFY(tool.startStoreScp(work.path(), {QStringLiteral("--refuse")}));
        port = tool.port();
    } else if (peer == QLatin1String("abort")) {
        QVERIFY(tool.startStoreScp(work.path(), {QStringLiteral("--abort-during")}));
        port = tool.port();
    } else if (peer == QLatin1String("silent")) {
        QVERIFY(silent.start());
        port = silent.port();
    } else if (peer == QLatin1String("freeze")) {
        store.setMode(StorePeer::Mode::SilentAfterAssociation);
        QVERIFY(store.start());
        port = store.port();
    } else if (peer == QLatin1String("refuseObject")) {
        store.setStatus(0xA700);
        QVERIFY(store.start());
        port = store.port();
    } else {
        QVERIFY(tool.startStoreScp(work.path()));
        port = tool.port();
        aeTitle = tool.aeTitle();
    }
    f.configure(port, aeTitle);

    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"), withFile);
    const QString path = recordingPath(f.env, ecgId);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    // One time-out frees the worker, whichever phase the peer stalled in.
    QVERIFY2(clock.elapsed() < (kTimeout + 4) * 1000, qPrintable(QString::number(clock.elapsed())));
    const Answer a = f.answers.answers.first();
    QCOMPARE(a.slot, 0);
    QCOMPARE(a.hasNetworkError, networkError);
    QCOMPARE(a.hasErrorResponse, !networkError);
    QVERIFY2(f.comm->getLastError().contains(text), qPrintable(f.comm->getLastError()));
    QCOMPARE(filesIn(f.tmpFolder()), QStringList());
    if (tool.isRunning())
        QCOMPARE(filesIn(tool.incomingFolder()).size(), 0);
    QTest::qWait(100);
    QCOMPARE(f.answers.answers.size(), 1);
}

void TestDcmComm::aeTitleCheck_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("text");

    QTest::newRow("local empty") << "" << "PACS" << "local AE title is empty";
    QTest::newRow("local blanks") << "   " << "PACS" << "local AE title is empty";
    QTest::newRow("local 17 characters") << "ABCDEFGHIJKLMNOPQ" << "PACS" << "longer than 16";
    QTest::newRow("PACS empty") << "MALVORANT" << "" << "PACS AE title is empty";
    QTest::newRow("PACS 17 characters") << "MALVORANT" << "ABCDEFGHIJKLMNOPQ" << "longer than 16";
    QTest::newRow("PACS with a backslash") << "MALVORANT" << "PA\\CS" << "can't hold";
    QTest::newRow("local not ASCII") << QStringLiteral("MALV\u00d6RANT") << "PACS" << "can't hold";
}

void TestDcmComm::aeTitleCheck()
{
    QFETCH(QString, local);
    QFETCH(QString, remote);
    QFETCH(QString, text);

    Front f;
    SilentListener silent;
    QVERIFY(silent.start());
    f.configure(silent.port(), remote, local);
    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(f.env, ecgId);

    // Refused before any connection, for every job that talks to the PACS.
    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QVERIFY(f.answers.answers.first().hasNetworkError);
    QVERIFY2(f.comm->getLastError().contains(text), qPrintable(f.comm->getLastError()));
    QVERIFY(f.comm->testPacsCredentials());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QVERIFY(f.comm->getLastError().contains(text));
    QVERIFY(f.comm->loadFromPacs(QStringLiteral("1.2.3"), f.env.dataFolder(), QStringLiteral("f.ecg")));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 3, kAnswerWaitMs);
    QVERIFY(f.comm->getLastError().contains(text));
    QCOMPARE(silent.connectionCount(), 0);
    QCOMPARE(filesIn(f.tmpFolder()), QStringList());
}

void TestDcmComm::settingsReachWorkerBetweenJobs()
{
    Front f;
    SilentListener silent;
    QVERIFY(silent.start());
    QTemporaryDir work;
    ToolPeer pacs;
    QVERIFY(pacs.startStoreScp(work.path()));
    f.configure(silent.port(), QStringLiteral("SILENT"));
    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(f.env, ecgId);

    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), QString()));
    QTRY_VERIFY_WITH_TIMEOUT(silent.connectionCount() >= 1, kAnswerWaitMs);
    // New settings while the job runs: the job keeps its own.
    f.configure(pacs.port(), pacs.aeTitle());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QVERIFY(f.answers.answers.first().hasNetworkError);
    QCOMPARE(filesIn(pacs.incomingFolder()).size(), 0);

    // The next job works with the new ones.
    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QVERIFY2(!f.answers.answers.last().hasNetworkError && !f.answers.answers.last().hasErrorResponse,
             qPrintable(f.comm->getLastError()));
    QCOMPARE(filesIn(pacs.incomingFolder()).size(), 1);
}

void TestDcmComm::worklistQueries()
{
    Front f;
    QTemporaryDir work;
    ToolPeer mwl;
    QVERIFY(mwl.startWorklistScp(work.path()));
    QVERIFY(dicomrig::writeKeysFile(mwl.worklistFolder() + QStringLiteral("/item1.wl"),
                                    querytest::worklistItem({QStringLiteral("PatientName=Smith^Rex"),
                                                  QStringLiteral("PatientID=PID-7")})));
    f.env.settings->dcmModalityName = QStringLiteral("MALVORANT");
    f.env.settings->dcmMwlIp = QStringLiteral("127.0.0.1");
    f.env.settings->dcmMwlPort = mwl.port();
    f.env.settings->dcmMwlTitle = mwl.aeTitle();
    f.comm->updateConfig();

    // wlmscpfs matches Patient ID only as a whole value: an empty search.
    QVERIFY(f.comm->loadMwl(QString(), QString(), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 1);
    QVERIFY2(!f.answers.answers.last().hasNetworkError && !f.answers.answers.last().hasErrorResponse,
             qPrintable(f.comm->getLastError()));
    // Written on the worker's own connection, read here on the GUI's.
    QCOMPARE(f.env.value(QStringLiteral("select count(*) from worklistTable")).toInt(), 1);
    QCOMPARE(f.env.value(QStringLiteral("select extId from worklistTable")).toString(),
             QStringLiteral("PID-7"));
    QCOMPARE(f.env.value(QStringLiteral("select ownerLast from worklistTable")).toString(),
             QStringLiteral("Smith"));

    // The connection test queries with its fixed texts and answers in its slot.
    QVERIFY(f.comm->testMwlCredentials());
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 4);
    QVERIFY2(!f.answers.answers.last().hasNetworkError && !f.answers.answers.last().hasErrorResponse,
             qPrintable(f.comm->getLastError()));
    QCOMPARE(f.env.value(QStringLiteral("select count(*) from worklistTable")).toInt(), 0);
}

void TestDcmComm::pacsRoundTrip()
{
    // A recording sent by the front lands on the archive, is listed by the
    // PACS query and comes back by a fetch as a new recording file.
    Front f;
    QTemporaryDir work;
    ToolPeer pacs;
    const quint16 localPort = dicomrig::freePort();
    QVERIFY(pacs.startQrScp(work.path(), QStringLiteral("QRSCP"),
                            {ToolPeer::QrPeer{QStringLiteral("MALVORANT"), localPort}}));
    f.env.settings->dcmModalityPort = localPort;
    f.configure(pacs.port(), QStringLiteral("QRSCP"));

    const int patient = addPatient(f.env, QStringLiteral("Rex"));
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-9"));
    const QString path = recordingPath(f.env, ecgId);
    const QString study = QStringLiteral("1.2.826.0.1.3680043.10.999.%1").arg(ecgId);
    QVERIFY(f.comm->sendPacsFile(path, study, QStringLiteral("Beagle"), QStringLiteral("12")));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QVERIFY2(!f.answers.answers.last().hasNetworkError && !f.answers.answers.last().hasErrorResponse,
             qPrintable(f.comm->getLastError()));

    QVERIFY(f.comm->loadPacsList(QString(), QStringLiteral("EXT-9"), QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 2);
    QVERIFY2(!f.answers.answers.last().hasNetworkError && !f.answers.answers.last().hasErrorResponse,
             qPrintable(f.comm->getLastError()));
    QCOMPARE(f.env.value(QStringLiteral("select sUuid from pacsTable where idx=0")).toString(), study);

    QVERIFY(f.comm->loadFromPacs(study, f.env.dataFolder(), QStringLiteral("fetched.ecg")));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 3, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 3);
    QVERIFY2(!f.answers.answers.last().hasNetworkError && !f.answers.answers.last().hasErrorResponse,
             qPrintable(f.comm->getLastError()));
    CFileEcg fetched;
    QVERIFY(fetched.openFileReadOnly(f.env.path(QStringLiteral("fetched.ecg")).toStdString()));
    QCOMPARE(QString::fromStdString(fetched.extPatientId), QStringLiteral("EXT-9"));
    QCOMPARE(QString::fromStdString(fetched.patientName), QStringLiteral("Rex"));
    QCOMPARE(fetched.getRecordCount(), 1000);
    fetched.close();
    // Only the new recording stays; the fetched DICOM file is gone.
    for (const QString& name : filesIn(f.env.dataFolder()))
        QVERIFY2(!name.startsWith(QLatin1String("dcm_")), qPrintable(name));

    // A study the archive does not hold: no file arrives, an error response.
    QVERIFY(f.comm->loadFromPacs(QStringLiteral("1.2.3.999"), f.env.dataFolder(),
                                 QStringLiteral("none.ecg")));
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 4, kAnswerWaitMs);
    QCOMPARE(f.answers.answers.last().slot, 3);
    QVERIFY(f.answers.answers.last().hasErrorResponse);
    QVERIFY(!f.answers.answers.last().hasNetworkError);
    QVERIFY2(f.comm->getLastError().startsWith(QStringLiteral("Error loading DICOM file ")),
             qPrintable(f.comm->getLastError()));
    QVERIFY(!QFile::exists(f.env.path(QStringLiteral("none.ecg"))));
    for (const QString& name : filesIn(f.env.dataFolder()))
        QVERIFY2(!name.startsWith(QLatin1String("dcm_")), qPrintable(name));
}

void TestDcmComm::queryFailureFlags_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<int>("command");
    QTest::newRow("worklist down") << "down" << int(DcmCmdLoadMwl);
    QTest::newRow("worklist test, peer down") << "down" << int(DcmCmdTestMwlCredentials);
    QTest::newRow("PACS list, silent peer") << "silent" << int(DcmCmdLoadPacsList);
    QTest::newRow("PACS test, refused") << "refuse" << int(DcmCmdTestPacsCredentials);
    QTest::newRow("fetch, PACS down") << "down" << int(DcmCmdLoadFromPacs);
    QTest::newRow("fetch, silent peer") << "silent" << int(DcmCmdLoadFromPacs);
}

void TestDcmComm::queryFailureFlags()
{
    QFETCH(QString, peer);
    QFETCH(int, command);
    Front f;
    QTemporaryDir work;
    ToolPeer tool;
    SilentListener silent;
    quint16 port = 0;
    if (peer == QLatin1String("down")) {
        port = dicomrig::freePort();
    } else if (peer == QLatin1String("silent")) {
        QVERIFY(silent.start());
        port = silent.port();
    } else {
        QVERIFY(tool.startStoreScp(work.path(), {QStringLiteral("--refuse")}));
        port = tool.port();
    }
    f.env.settings->dcmMwlIp = QStringLiteral("127.0.0.1");
    f.env.settings->dcmMwlPort = port;
    f.env.settings->dcmMwlTitle = QStringLiteral("MWL");
    f.env.settings->dcmModalityPort = dicomrig::freePort();
    f.env.exec(QStringLiteral("insert into worklistTable (idx, extId, patientName, ownerFirst, "
                              "ownerLast, sUuid) values (0, 'OLD', 'Old', '', '', '1.2')"));
    f.configure(port, QStringLiteral("PACS"));

    QElapsedTimer clock;
    clock.start();
    bool accepted = false;
    switch (command) {
    case DcmCmdLoadMwl: accepted = f.comm->loadMwl(QString(), QString(), QString(), QString()); break;
    case DcmCmdTestMwlCredentials: accepted = f.comm->testMwlCredentials(); break;
    case DcmCmdLoadPacsList: accepted = f.comm->loadPacsList(QString(), QString(), QString(), QString()); break;
    case DcmCmdTestPacsCredentials: accepted = f.comm->testPacsCredentials(); break;
    default:
        accepted = f.comm->loadFromPacs(QStringLiteral("1.2.3"), f.env.dataFolder(), QStringLiteral("f.ecg"));
    }
    QVERIFY(accepted);
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 1, kAnswerWaitMs);
    QVERIFY2(clock.elapsed() < (2 * kTimeout + 4) * 1000, qPrintable(QString::number(clock.elapsed())));
    const Answer a = f.answers.answers.first();
    QCOMPARE(a.slot, command);
    QVERIFY2(a.hasNetworkError && !a.hasErrorResponse, qPrintable(f.comm->getLastError()));
    QVERIFY(!f.comm->getLastError().isEmpty());
    // A failed query keeps the rows the table had.
    QCOMPARE(f.env.value(QStringLiteral("select extId from worklistTable")).toString(), QStringLiteral("OLD"));
    for (const QString& name : filesIn(f.env.dataFolder()))
        QVERIFY2(!name.startsWith(QLatin1String("dcm_")), qPrintable(name));
}

void TestDcmComm::frontAndBackgroundSendSameRecording()
{
    // Both workers convert the same recording at the same time, each into a
    // file of its own; both objects land and nothing stays in tmp.
    Front f;
    QTemporaryDir work;
    ToolPeer pacs;
    QVERIFY(pacs.startStoreScp(work.path()));
    f.configure(pacs.port(), pacs.aeTitle());
    f.env.settings->dicomPacsConfigStatus = 1;
    const int patient = addPatient(f.env, QStringLiteral("Rex"), 20.0, 0);
    const int ecgId = addRecording(f.env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(f.env, ecgId);

    CDcmScheduler scheduler(&f.answers, &f.env.database(), f.env.settings.get(), f.env.files.get(), 1,
                            QStringLiteral("8.0.2 build: 078"));
    QVERIFY(f.comm->sendPacsFile(path, QString(), QString(), QStringLiteral("20")));
    scheduler.backgroundUploadTimerExpired();
    QTRY_COMPARE_WITH_TIMEOUT(f.answers.answers.size(), 2, kAnswerWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!scheduler.isUploadInProgress(), kAnswerWaitMs);
    int background = 0;
    for (const Answer& a : f.answers.answers) {
        QVERIFY(!a.hasNetworkError && !a.hasErrorResponse);
        background += a.isBackgroundUpload ? 1 : 0;
    }
    QCOMPARE(background, 1);
    QCOMPARE(filesIn(pacs.incomingFolder()).size(), 2);
    QCOMPARE(filesIn(f.tmpFolder()), QStringList());
    QCOMPARE(f.env.value(QStringLiteral("select pacsStatus from ecgTable where ecgId=?"), {ecgId}).toInt(), 2);
}

void TestDcmComm::exitWithJobOnSilentPeer_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("program quits, front never destroyed") << "quit";
    QTest::newRow("front and scheduler destroyed") << "destroy";
    QTest::newRow("query cut short") << "query";
    QTest::newRow("fetch cut short") << "fetch";
}

void TestDcmComm::exitWithJobOnSilentPeer()
{
    // A child process with the default time-outs (30 s) starts a job and a
    // background send to a silent peer and quits: it must end cleanly within
    // the exit wait, long before the network time-out, with no worker left
    // inside DCMTK while the process tears DCMTK down.
    QFETCH(QString, how);
    SilentListener silent;
    QVERIFY(silent.start());
    // The child ends as the program does, leaving its data folder: it goes
    // with this one.
    QTemporaryDir childTmp;
    QVERIFY(childTmp.isValid());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kExitChildVar), QString::number(silent.port()) + QLatin1Char(':') + how);
    environment.insert(QStringLiteral("TMPDIR"), childTmp.path());
    // The child keeps what it built to the end, as the program does; a leak
    // check under the sanitizer would overwrite its exit code.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(25000));
    const qint64 elapsed = clock.elapsed();
    const QString output = QString::fromLocal8Bit(child.readAll());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("jobs started")), qPrintable(output));
    QVERIFY2(elapsed < CDcmThread::kExitWaitMs + 8000, qPrintable(QString::number(elapsed)));
    const QRegularExpression took(QStringLiteral("exit took (\\d+) ms"));
    const QRegularExpressionMatch match = took.match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));
    const int exitMs = match.captured(1).toInt();
    // The jobs on the silent peer were cut short: the exit did not even need
    // its whole wait, let alone the network time-out.
    QVERIFY2(exitMs < CDcmThread::kExitWaitMs / 2, qPrintable(output));
    QVERIFY(silent.connectionCount() >= 1);
}

// The child of exitWithJobOnSilentPeer: the program's own way of ending.
static int exitChild(const QByteArray& setup)
{
    const QList<QByteArray> parts = setup.split(':');
    const quint16 port = quint16(parts.value(0).toUInt());
    const bool destroy = parts.value(1) == "destroy";
    const bool query = parts.value(1) == "query";
    const bool fetch = parts.value(1) == "fetch";
    int argc = 1;
    char name[] = "child";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    auto* env = new StoreEnv; // never destroyed, as in the program
    configurePacs(*env->settings, port, QStringLiteral("SILENT"));
    env->settings->dcmModalityPort = dicomrig::freePort();
    env->settings->dicomPacsConfigStatus = 1;
    const int patient = addPatient(*env, QStringLiteral("Rex"));
    const int ecgId = addRecording(*env, patient, QStringLiteral("EXT-1"));
    const QString path = recordingPath(*env, ecgId);
    auto* answers = new AnswerRecorder;
    auto* comm = new CDcmComm(answers, &env->database(), env->settings.get(), 1, QStringLiteral("8"));
    auto* scheduler = new CDcmScheduler(answers, &env->database(), env->settings.get(),
                                        env->files.get(), 1, QStringLiteral("8"));
    const bool accepted = query ? comm->testPacsCredentials()
        : fetch ? comm->loadFromPacs(QStringLiteral("1.2.3"), env->dataFolder(), QStringLiteral("f.ecg"))
                : comm->sendPacsFile(path, QString(), QString(), QString());
    if (!accepted)
        return 2;
    scheduler->backgroundUploadTimerExpired();
    if (!scheduler->isUploadInProgress())
        return 3;
    std::printf("jobs started\n");
    std::fflush(stdout);
    QElapsedTimer exitClock;
    // Long enough for the send to convert its recording and reach the peer,
    // also on a loaded machine.
    QTimer::singleShot(2000, &app, [&] {
        exitClock.start();
        QCoreApplication::quit();
    });
    const int rc = app.exec();
    if (destroy) {
        delete scheduler;
        delete comm;
    }
    std::printf("exit took %lld ms\n", static_cast<long long>(exitClock.elapsed()));
    std::fflush(stdout);
    return rc;
}

int main(int argc, char** argv)
{
    const QByteArray childSetup = qgetenv(kExitChildVar);
    if (!childSetup.isEmpty())
        return exitChild(childSetup);
    QCoreApplication app(argc, argv);
    TestDcmComm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dcmcomm.moc"
