// The background PACS upload against a real database and real peers.
#include "dcmfronttestenv.h"
#include "dicomrig.h"

#include "dcmerrors.h"
#include "dcmnetconfig.h"
#include "dcmscheduler.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace dcmtest;
using dicomrig::SilentListener;
using dicomrig::StorePeer;
using dicomrig::ToolPeer;

namespace {
const int kTimeout = 3;
const int kWaitMs = 30000;

// Cuts the recording's file in the middle of its header.
void damageRecording(StoreEnv& env, int ecgId)
{
    QFile file(recordingPath(env, ecgId));
    QVERIFY(file.resize(100));
}
}

class TestDcmScheduler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void weightInKg_data();
    void weightInKg();
    void dueRecordings_data();
    void dueRecordings();
    void weightReachesThePacs();
    void queueGoesOnPastBadRecordings();
    void setAsideUntilSomethingChanges();
    void sharedFailuresKeepTheOrder_data();
    void sharedFailuresKeepTheOrder();
    void pacsStoppedAndStartedMidQueue();
    void eitherRoadSkipsWhatTheOtherSends();
    void failedMarkingIsNotResent();
    void tickWhileSendingIsRefused();

private:
    struct Background
    {
        StoreEnv env;
        AnswerRecorder answers;
        std::unique_ptr<CDcmScheduler> scheduler;
        explicit Background(int applicationType = 1) : env(applicationType)
        {
            env.settings->dicomPacsConfigStatus = 1;
            scheduler = std::make_unique<CDcmScheduler>(&answers, &env.database(), env.settings.get(),
                                                        env.files.get(), applicationType,
                                                        QStringLiteral("8.0.2 build: 078"));
        }
        void configure(quint16 port, const QString& aeTitle)
        {
            configurePacs(*env.settings, port, aeTitle);
            scheduler->updateConfig();
        }
        // One tick, and the run it starts until it ends.
        bool tick()
        {
            scheduler->backgroundUploadTimerExpired();
            return QTest::qWaitFor([this] { return !scheduler->isUploadInProgress(); }, kWaitMs);
        }
        int pacsStatus(int ecgId)
        {
            return env.value(QStringLiteral("select pacsStatus from ecgTable where ecgId=?"), {ecgId}).toInt();
        }
        qint64 pacsTs(int ecgId)
        {
            return env.value(QStringLiteral("select pacsTs from ecgTable where ecgId=?"), {ecgId}).toLongLong();
        }
        // The patient "Rex" with n recordings, "R1" to "Rn" in that order; their ecgIds.
        QList<int> addRecordings(int n)
        {
            const int patient = addPatient(env, QStringLiteral("Rex"));
            QList<int> ids;
            for (int i = 1; i <= n; ++i)
                ids << addRecording(env, patient, QStringLiteral("R%1").arg(i));
            return ids;
        }
        int backgroundAnswers() const
        {
            int n = 0;
            for (const Answer& a : answers.answers) {
                if (a.slot == 0 && a.isBackgroundUpload && !a.hasNetworkError && !a.hasErrorResponse)
                    ++n;
                else
                    return -1; // nothing else may arrive
            }
            return n;
        }
    };
};

void TestDcmScheduler::initTestCase()
{
    QCOMPARE(DcmNetConfig::applyTimeout(kTimeout), kTimeout);
}

void TestDcmScheduler::weightInKg_data()
{
    QTest::addColumn<QVariant>("weight");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("sent");

    QTest::newRow("pounds") << QVariant(22.05) << 1 << "10.0017";
    QTest::newRow("kilograms") << QVariant(22.05) << 0 << "22.05";
    QTest::newRow("whole kilograms") << QVariant(30) << 0 << "30";
    QTest::newRow("zero") << QVariant(0) << 0 << "";
    QTest::newRow("zero pounds") << QVariant(0.0) << 1 << "";
    QTest::newRow("none") << QVariant() << 0 << "";
    QTest::newRow("negative") << QVariant(-3) << 0 << "";
    QTest::newRow("not a number") << QVariant(std::numeric_limits<double>::quiet_NaN()) << 0 << "";
    QTest::newRow("text") << QVariant(QStringLiteral("heavy")) << 0 << "";
}

void TestDcmScheduler::weightInKg()
{
    QFETCH(QVariant, weight);
    QFETCH(int, unit);
    QFETCH(QString, sent);
    QCOMPARE(CDcmScheduler::weightInKg(weight, QVariant(unit)), sent);
}

void TestDcmScheduler::dueRecordings_data()
{
    QTest::addColumn<int>("applicationType");
    QTest::addColumn<int>("configStatus");
    QTest::addColumn<bool>("configured");
    // Rows as "patient:pacsStatus:pacsTs", the recordings expected sent in order.
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("sent");

    const QStringList mixed = {"0:0:0", "1:2:100", "1:0:0", "1:1:0", "1:1:50", "1:0:0"};
    QTest::newRow("type 1: every recording with a patient and no PACS time")
        << 1 << 1 << true << mixed << QList<int>{3, 4, 6};
    QTest::newRow("other type: only those marked for the PACS") << 2 << 1 << true << mixed << QList<int>{4};
    QTest::newRow("check running counts as configured") << 1 << 2 << true << mixed << QList<int>{3, 4, 6};
    // A failed test does not turn the PACS off: only a missing PACS does.
    QTest::newRow("last test failed: still sent") << 1 << 0 << true << mixed << QList<int>{3, 4, 6};
    QTest::newRow("no PACS configured: nothing") << 1 << 1 << false << mixed << QList<int>{};
    QTest::newRow("no patient: never") << 1 << 1 << true << QStringList{"0:1:0", "0:0:0"} << QList<int>{};
}

void TestDcmScheduler::dueRecordings()
{
    QFETCH(int, applicationType);
    QFETCH(int, configStatus);
    QFETCH(bool, configured);
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, sent);

    Background b(applicationType);
    StorePeer pacs;
    QVERIFY(pacs.start());
    b.configure(pacs.port(), configured ? pacs.aeTitle() : QString());
    b.env.settings->dicomPacsConfigStatus = configStatus;
    const int patient = addPatient(b.env, QStringLiteral("Rex"));
    QList<int> ids;
    for (const QString& row : rows) {
        const QStringList p = row.split(QLatin1Char(':'));
        const int owner = p[0].toInt() ? patient : 0;
        ids << addRecording(b.env, owner, QStringLiteral("ID%1").arg(ids.size() + 1), true,
                            p[1].toInt(), p[2].toLongLong());
    }
    QVERIFY(b.tick());

    QStringList expected;
    for (int id : sent)
        expected << QStringLiteral("ID%1").arg(id);
    QCOMPARE(pacs.storedPatientIds(), expected);
    QCOMPARE(b.backgroundAnswers(), int(sent.size()));
    for (int i = 0; i < ids.size(); ++i) {
        const int id = ids[i];
        if (sent.contains(id)) {
            QCOMPARE(b.pacsStatus(id), 2);
            QVERIFY(b.pacsTs(id) > 0);
        } else {
            // Untouched.
            const QStringList p = rows[i].split(QLatin1Char(':'));
            QCOMPARE(b.pacsStatus(id), p[1].toInt());
            QCOMPARE(b.pacsTs(id), p[2].toLongLong());
        }
    }
    // A later tick finds nothing more to send.
    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds().size(), sent.size());
}

void TestDcmScheduler::weightReachesThePacs()
{
    Background b;
    QTemporaryDir work;
    ToolPeer pacs;
    QVERIFY(pacs.startStoreScp(work.path()));
    b.configure(pacs.port(), pacs.aeTitle());
    const int pounds = addPatient(b.env, QStringLiteral("Rex"), 22.05, 1, QStringLiteral("Beagle"));
    const int none = addPatient(b.env, QStringLiteral("Tom"), 0, 0);
    addRecording(b.env, pounds, QStringLiteral("LB"));
    addRecording(b.env, none, QStringLiteral("NONE"));
    QVERIFY(b.tick());
    QCOMPARE(b.backgroundAnswers(), 2);

    QStringList dumps;
    for (const QString& name : filesIn(pacs.incomingFolder()))
        dumps << dicomrig::dumpDataset(pacs.incomingFolder() + QLatin1Char('/') + name);
    QCOMPARE(dumps.size(), 2);
    for (const QString& dump : dumps) {
        const QString weightLine = dump.section(QStringLiteral("(0010,1030)"), 1, 1).section(QLatin1Char('\n'), 0, 0);
        if (dump.contains(QStringLiteral("[LB]"))) {
            QVERIFY2(weightLine.contains(QStringLiteral("[10.0017]")), qPrintable(weightLine));
            QVERIFY(dump.contains(QStringLiteral("[Beagle]")));
        } else {
            // No weight is sent empty, never as 0 kg.
            QVERIFY2(!weightLine.contains(QRegularExpression(QStringLiteral("\\[[0-9.]+\\]"))),
                     qPrintable(weightLine));
        }
    }
    QCOMPARE(filesIn(b.env.dataFolder() + QStringLiteral("tmp")), QStringList());
}

void TestDcmScheduler::queueGoesOnPastBadRecordings()
{
    // Six recordings: the second has no file, the fourth the PACS refuses
    // for its content, the fifth is damaged. Those are set aside; the other
    // three land once each, in order.
    Background b;
    StorePeer pacs;
    pacs.refusePatientId(QStringLiteral("R4"), 0xC000);
    QVERIFY(pacs.start());
    b.configure(pacs.port(), pacs.aeTitle());
    const int patient = addPatient(b.env, QStringLiteral("Rex"));
    QList<int> ids;
    for (int i = 1; i <= 6; ++i)
        ids << addRecording(b.env, patient, QStringLiteral("R%1").arg(i), i != 2);
    damageRecording(b.env, ids[4]);

    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds(), (QStringList{"R1", "R3", "R6"}));
    QCOMPARE(b.backgroundAnswers(), 3);
    for (int i : {0, 2, 5})
        QCOMPARE(b.pacsStatus(ids[i]), 2);
    for (int i : {1, 3, 4}) {
        QCOMPARE(b.pacsStatus(ids[i]), 0);
        QCOMPARE(b.pacsTs(ids[i]), 0);
        QCOMPARE(b.scheduler->queueState(ids[i]), CDcmScheduler::QueueState::SetAside);
    }
    QCOMPARE(b.scheduler->setAsideIds(), (QList<int>{ids[1], ids[3], ids[4]}));
    QCOMPARE(b.scheduler->setAsideFailure(ids[1]).kind, DcmFailureKind::Recording);
    QCOMPARE(b.scheduler->setAsideFailure(ids[3]).kind, DcmFailureKind::ObjectRefused);
    QCOMPARE(b.scheduler->setAsideFailure(ids[3]).status, 0xC000u);
    QCOMPARE(b.scheduler->setAsideFailure(ids[4]).kind, DcmFailureKind::Recording);
    QCOMPARE(b.scheduler->queueState(ids[0]), CDcmScheduler::QueueState::None);
    // A set-aside recording costs no waiting: the queue keeps its pace.
    QCOMPARE(b.scheduler->intervalMs(), CDcmScheduler::kIntervalMs);

    // Nothing of them changed: later ticks leave them alone.
    QVERIFY(b.tick());
    QVERIFY(b.tick());
    QCOMPARE(pacs.received().size(), 4);
    QCOMPARE(b.backgroundAnswers(), 3);
    QCOMPARE(filesIn(b.env.dataFolder() + QStringLiteral("tmp")), QStringList());
}

void TestDcmScheduler::setAsideUntilSomethingChanges()
{
    Background b;
    StorePeer pacs;
    pacs.refusePatientId(QStringLiteral("R2"), 0xA900);
    QVERIFY(pacs.start());
    b.configure(pacs.port(), pacs.aeTitle());
    const int rex = addPatient(b.env, QStringLiteral("Rex"));
    const int tom = addPatient(b.env, QStringLiteral("Tom"));
    const int missing = addRecording(b.env, rex, QStringLiteral("R1"), false);
    const int refused = addRecording(b.env, tom, QStringLiteral("R2"));
    const int damaged = addRecording(b.env, rex, QStringLiteral("R3"));
    damageRecording(b.env, damaged);
    QVERIFY(b.tick());
    QCOMPARE(b.scheduler->setAsideIds(), (QList<int>{missing, refused, damaged}));

    // The recording changed: its file is there now.
    QVERIFY(writeRecording(recordingPath(b.env, missing), QStringLiteral("R1")));
    QCOMPARE(b.scheduler->queueState(missing), CDcmScheduler::QueueState::Waiting);
    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds(), QStringList{"R1"});
    QCOMPARE(b.scheduler->setAsideIds(), (QList<int>{refused, damaged}));

    // Its patient changed: the PACS takes it now.
    pacs.refusePatientId(QString(), 0);
    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds(), QStringList{"R1"});
    // (each recording has a patient of its own)
    b.env.exec(QStringLiteral("update patientTable set weight=31 where patientId="
                              "(select patientId from ecgTable where ecgId=?)"),
               {refused});
    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds(), (QStringList{"R1", "R2"}));
    QCOMPARE(b.pacsStatus(refused), 2);

    // New settings give it another chance; still damaged, it is set aside again.
    const int tries = pacs.received().size();
    b.scheduler->updateConfig();
    QCOMPARE(b.scheduler->setAsideIds(), QList<int>{});
    QVERIFY(b.tick());
    QCOMPARE(b.scheduler->setAsideIds(), QList<int>{damaged});
    QCOMPARE(pacs.received().size(), tries);
    QCOMPARE(b.backgroundAnswers(), 2);
}

void TestDcmScheduler::sharedFailuresKeepTheOrder_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("PACS out of resources") << "resources";
    QTest::newRow("temporary folder can't be written") << "folder";
}

void TestDcmScheduler::sharedFailuresKeepTheOrder()
{
    // A failure that is not the recording's: for two ticks nothing goes and
    // nothing is set aside, each tick waits longer; then all five land, once
    // each, in order.
    QFETCH(QString, fault);
    Background b;
    StorePeer pacs;
    QVERIFY(pacs.start());
    b.configure(pacs.port(), pacs.aeTitle());
    const QList<int> ids = b.addRecordings(5);

    const QString tmp = b.env.dataFolder() + QStringLiteral("tmp");
    auto breakIt = [&](bool broken) {
        if (fault == QLatin1String("resources")) {
            pacs.setStatus(broken ? 0xA700 : 0x0000);
        } else if (broken) {
            // A file where the folder belongs: nothing can be written there.
            QDir(tmp).removeRecursively();
            QFile blocker(tmp);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QFile::remove(tmp));
        }
    };
    breakIt(true);
    QVERIFY(b.tick());
    QCOMPARE(b.scheduler->intervalMs(), CDcmScheduler::kIntervalMs);
    QVERIFY(b.tick());
    QCOMPARE(b.scheduler->intervalMs(), 2 * CDcmScheduler::kIntervalMs);
    // The first recording kept its place: the PACS saw it at each tick and
    // refused it (out of resources), or saw nothing (no file could be made).
    const QStringList refused = pacs.storedPatientIds();
    QCOMPARE(refused, fault == QLatin1String("resources") ? QStringList({"R1", "R1"}) : QStringList());
    QCOMPARE(b.scheduler->setAsideIds(), QList<int>{});
    QCOMPARE(b.pacsStatus(ids[0]), 0);
    QCOMPARE(b.scheduler->queueState(ids[0]), CDcmScheduler::QueueState::Waiting);
    QCOMPARE(b.answers.answers.size(), 0);

    breakIt(false);
    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds().mid(refused.size()), (QStringList{"R1", "R2", "R3", "R4", "R5"}));
    QCOMPARE(b.backgroundAnswers(), 5);
    for (int id : ids)
        QCOMPARE(b.pacsStatus(id), 2);
    QCOMPARE(b.scheduler->intervalMs(), CDcmScheduler::kIntervalMs);
    QCOMPARE(filesIn(tmp), QStringList());
}

void TestDcmScheduler::pacsStoppedAndStartedMidQueue()
{
    Background b;
    StorePeer pacs;
    QVERIFY(pacs.start());
    const quint16 port = pacs.port();
    b.configure(port, pacs.aeTitle());
    const QList<int> ids = b.addRecordings(5);

    // The PACS goes away right after the second recording landed.
    b.answers.onSend = [&](const Answer&) {
        if (pacs.storedPatientIds().size() == 2)
            pacs.stop();
    };
    QVERIFY(b.tick());
    QCOMPARE(pacs.storedPatientIds(), (QStringList{"R1", "R2"}));
    QCOMPARE(b.pacsStatus(ids[2]), 0);
    // A network failure sets nothing aside: the same recording is next.
    QCOMPARE(b.scheduler->setAsideIds(), QList<int>{});
    QVERIFY(b.tick()); // still down
    QCOMPARE(b.backgroundAnswers(), 2);

    b.answers.onSend = nullptr;
    QVERIFY(pacs.start(QStringLiteral("STOREPEER"), port));
    QVERIFY(b.tick());
    // Nothing lost, nothing twice.
    QCOMPARE(pacs.storedPatientIds(), (QStringList{"R1", "R2", "R3", "R4", "R5"}));
    QCOMPARE(pacs.received().size(), 5);
    QCOMPARE(b.backgroundAnswers(), 5);
    for (int id : ids)
        QCOMPARE(b.pacsStatus(id), 2);
    QCOMPARE(filesIn(b.env.dataFolder() + QStringLiteral("tmp")), QStringList());
}

void TestDcmScheduler::failedMarkingIsNotResent()
{
    Background b;
    StorePeer pacs;
    QVERIFY(pacs.start());
    b.configure(pacs.port(), pacs.aeTitle());
    const QList<int> ids = b.addRecordings(2);
    const int first = ids[0];
    const int second = ids[1];
    b.env.breakWrites(QStringLiteral("ecgTable"), QStringLiteral("update"));

    QVERIFY(b.tick());
    // Both landed once; neither could be marked, and neither is sent again.
    QCOMPARE(pacs.storedPatientIds(), (QStringList{"R1", "R2"}));
    QCOMPARE(b.scheduler->setAsideIds(), (QList<int>{first, second}));
    QCOMPARE(b.backgroundAnswers(), 0);
    QVERIFY(b.tick());
    QCOMPARE(pacs.received().size(), 2);
}

void TestDcmScheduler::eitherRoadSkipsWhatTheOtherSends()
{
    Background b;
    SilentListener silent;
    QVERIFY(silent.start());
    b.configure(silent.port(), QStringLiteral("SILENT"));
    const QList<int> ids = b.addRecordings(2);
    const int first = ids[0];
    const int second = ids[1];

    // The screen sends the first: the background takes the second.
    QVERIFY(b.scheduler->claimForeground(first));
    QCOMPARE(b.scheduler->queueState(first), CDcmScheduler::QueueState::Sending);
    b.scheduler->backgroundUploadTimerExpired();
    QVERIFY(b.scheduler->isUploadInProgress());
    QCOMPARE(b.scheduler->currentEcgId(), second);
    QCOMPARE(b.scheduler->queueState(second), CDcmScheduler::QueueState::Sending);
    // ... and the screen may not send the second now.
    QVERIFY(!b.scheduler->claimForeground(second));
    QTRY_VERIFY_WITH_TIMEOUT(!b.scheduler->isUploadInProgress(), (kTimeout + 10) * 1000);
    QCOMPARE(b.scheduler->queueState(second), CDcmScheduler::QueueState::Waiting);

    // Released, the first is due again.
    b.scheduler->releaseForeground(first);
    QCOMPARE(b.scheduler->queueState(first), CDcmScheduler::QueueState::Waiting);
    QCOMPARE(silent.connectionCount(), 1);
}

void TestDcmScheduler::tickWhileSendingIsRefused()
{
    Background b;
    SilentListener silent;
    QVERIFY(silent.start());
    b.configure(silent.port(), QStringLiteral("SILENT"));
    const int first = b.addRecordings(2)[0];

    b.scheduler->backgroundUploadTimerExpired();
    QVERIFY(b.scheduler->isUploadInProgress());
    QCOMPARE(b.scheduler->currentEcgId(), first);
    b.scheduler->backgroundUploadTimerExpired();
    QVERIFY(b.scheduler->isUploadInProgress());
    QCOMPARE(b.scheduler->currentEcgId(), first);

    // The silent PACS frees the worker within the time-out; nothing is marked
    // or set aside, no answer goes to the bridge.
    QTRY_VERIFY_WITH_TIMEOUT(!b.scheduler->isUploadInProgress(), (kTimeout + 10) * 1000);
    QCOMPARE(b.pacsStatus(first), 0);
    QCOMPARE(b.scheduler->setAsideIds(), QList<int>{});
    QCOMPARE(b.answers.answers.size(), 0);
    QCOMPARE(silent.connectionCount(), 1);
}

QTEST_GUILESS_MAIN(TestDcmScheduler)
#include "tst_dcmscheduler.moc"
