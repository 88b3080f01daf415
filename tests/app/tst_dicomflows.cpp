// The DICOM flows of the bridge against real peers on loopback: the settings
// saved and tested, a worklist entry given the pending recording and sent to
// the PACS, the PACS study list and a fetch, the busy rule and what each
// answer shows after a failure.

#include "appharness.h"
#include "dcmcomm.h"
#include "dcmnetconfig.h"
#include "dcmquerytestutil.h"
#include "dicomrig.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <memory>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using dicomrig::ToolPeer;
using qml::Item;
using qml::Prop;

namespace {

const int kTimeout = 3;          // seconds, every DICOM network wait of this program
const int kAnswerWaitMs = 20000;
const char kStudy[] = "1.2.826.0.1.3680043.10.543.77";

} // namespace

class TstDicomFlows : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QTemporaryDir m_work;
    ToolPeer m_mwl;
    ToolPeer m_pacs;
    quint16 m_localPort = 0;
    std::unique_ptr<QSignalSpy> m_commError;
    std::unique_ptr<QSignalSpy> m_uploadDone;
    std::unique_ptr<QSignalSpy> m_mwlDone;
    std::unique_ptr<QSignalSpy> m_pacsListDone;
    int m_sentEcgId = -1;
    int m_patientId = -1;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CDcmComm& comm() { return *bridge().dcmComm(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    QVariant ui(Prop prop) { return m_app.bridge().items().read(prop); }
    bool busy() { return ui(Prop::BusyIndicatorRunning).toBool(); }

    static int count(const std::unique_ptr<QSignalSpy>& spy) { return int(spy->count()); }

    QVariant dbValue(const QString& sql, const QVariantList& values = {})
    {
        QSqlQuery q(*bridge().dbMan()->database());
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec() || !q.next())
            return QVariant();
        return q.value(0);
    }

    // The answer has come: the front is free and the busy indicator off.
    bool waitForAnswer() { return AppHarness::waitFor([&] { return !comm().isBusy() && !busy(); }, kAnswerWaitMs); }

    // A recording of patient 0 just made, open and waiting for its patient.
    int makePendingRecording()
    {
        const int ecgId = m_app.makeRecording(0, 2, 100);
        if (ecgId > 0 && bridge().fileMan()->currentEcgId() != ecgId)
            bridge().fileMan()->selectFile(ecgId);
        return ecgId;
    }

    void configure(quint16 mwlPort, quint16 pacsPort)
    {
        settings().dcmModalityName = QStringLiteral("MALVORANT");
        settings().dcmModalityPort = m_localPort;
        settings().dcmMwlIp = settings().dcmPacsIp = QStringLiteral("127.0.0.1");
        settings().dcmMwlTitle = m_mwl.aeTitle();
        settings().dcmPacsTitle = m_pacs.aeTitle();
        settings().dcmMwlPort = mwlPort;
        settings().dcmPacsPort = pacsPort;
        comm().updateConfig();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid() && m_work.isValid());
        QCOMPARE(DcmNetConfig::applyTimeout(kTimeout), kTimeout);
        AppHarness::warnings().clear();
        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return bridge().updateAndTerms().setupCount() > 0; }));
        QVERIFY(bridge().dcmComm());
        QVERIFY(bridge().dcmScheduler());

        m_localPort = dicomrig::freePort();
        QVERIFY(m_mwl.startWorklistScp(m_work.filePath("mwl")));
        QVERIFY(dicomrig::writeKeysFile(
            m_mwl.worklistFolder() + QStringLiteral("/item1.wl"),
            querytest::worklistItem({QStringLiteral("PatientName=Lindqvist^Bella"),
                                     QStringLiteral("PatientID=WL-1"),
                                     QStringLiteral("StudyInstanceUID=") + kStudy})));
        QVERIFY(m_pacs.startQrScp(m_work.filePath("pacs"), QStringLiteral("QRSCP"),
                                  {ToolPeer::QrPeer{QStringLiteral("MALVORANT"), m_localPort}}));

        QObject* bottom = bridge().items().object(Item::BottomArea);
        QVERIFY(bottom);
        m_commError = std::make_unique<QSignalSpy>(bottom, SIGNAL(qmlAlertBoxDcmCommError(QString)));
        m_uploadDone = std::make_unique<QSignalSpy>(bottom, SIGNAL(qmlAlertBoxDcmUploadCompleted()));
        QVERIFY(m_commError->isValid() && m_uploadDone->isValid());
        QObject* patients = bridge().items().object(Item::PatientView);
        QObject* list = bridge().items().object(Item::FileList);
        QVERIFY(patients && list);
        m_mwlDone = std::make_unique<QSignalSpy>(patients, SIGNAL(qmlMwlRetrievalCompleted()));
        m_pacsListDone = std::make_unique<QSignalSpy>(list, SIGNAL(qmlPacsListRetrievalCompleted()));
        QVERIFY(m_mwlDone->isValid() && m_pacsListDone->isValid());
    }

    // Saved in the order the settings screen calls: PACS, then worklist.
    // The worklist test runs first, its answer starts the PACS test.
    void settingsSavedAndTested()
    {
        bridge().updateDcmSettingsGeneral(QStringLiteral("MALVORANT"), QString::number(m_localPort),
                                          QStringLiteral("Clinic Nord"));
        QCOMPARE(settings().dcmModalityPort, int(m_localPort));
        QCOMPARE(settings().dcmInstitutionName, QStringLiteral("Clinic Nord"));

        bridge().updateDcmSettingsPacs(m_pacs.aeTitle(), QStringLiteral("127.0.0.1"),
                                       QString::number(m_pacs.port()));
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), 2);
        QCOMPARE(settings().dicomPacsConfigStatus, 0);
        QVERIFY(!comm().isBusy()); // its test waits for the worklist's

        bridge().updateDcmSettingsMwl(m_mwl.aeTitle(), QStringLiteral("127.0.0.1"),
                                      QString::number(m_mwl.port()));
        QCOMPARE(ui(Prop::DicomMwlConfigStatus).toInt(), 2);
        QVERIFY(comm().isBusy());
        QCOMPARE(comm().command(), 4);

        QVERIFY(AppHarness::waitFor([&] { return ui(Prop::DicomMwlConfigStatus).toInt() == 1; },
                                    kAnswerWaitMs));
        QVERIFY(AppHarness::waitFor([&] { return ui(Prop::DicomPacsConfigStatus).toInt() == 1; },
                                    kAnswerWaitMs));
        QCOMPARE(comm().command(), 5);
        QCOMPARE(settings().dicomMwlConfigStatus, 1);
        QCOMPARE(settings().dicomPacsConfigStatus, 1);
        QCOMPARE(settings().dcmPacsPort, int(m_pacs.port()));
        QCOMPARE(settings().dcmMwlTitle, m_mwl.aeTitle());
        // Stored, not only held: the settings table has the verified states.
        CSettingsMan reread(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
        QCOMPARE(reread.dicomPacsConfigStatus, 1);
        QCOMPARE(reread.dcmMwlPort, int(m_mwl.port()));
        QCOMPARE(m_commError->count(), 0);
    }

    void worklistEntryTakesThePendingRecordingToThePacs()
    {
        const int mwlDone = count(m_mwlDone);
        bridge().dcmLoadMwl(QString(), QString(), QString(), QString());
        QVERIFY(busy());
        QVERIFY(waitForAnswer());
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), 1);
        QCOMPARE(m_mwlDone->count(), mwlDone + 1);

        const int ecgId = makePendingRecording();
        QVERIFY(ecgId > 0);
        const int stored = QDir(m_pacs.storageFolder()).entryList(QDir::Files).size();
        bridge().dcmMwlItemSelected(0);
        m_patientId = bridge().patientMan()->patientId;
        QCOMPARE(dbValue("select extId from patientTable where patientId=?", {m_patientId}).toString(),
                 QStringLiteral("WL-1"));
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {ecgId}).toInt(), m_patientId);
        QCOMPARE(bridge().fileMan()->currentEcgId(), ecgId);
        QCOMPARE(ui(Prop::DisplayState).toInt(), 0);
        QVERIFY(comm().isBusy());
        QCOMPARE(comm().command(), 0);

        // The answer marks the recording that was sent, even with another shown.
        const int other = makePendingRecording();
        QVERIFY(other > 0 && bridge().fileMan()->currentEcgId() == other);
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy(); }, kAnswerWaitMs));
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {ecgId}).toInt(), 2);
        QVERIFY(dbValue("select pacsTs from ecgTable where ecgId=?", {ecgId}).toLongLong() > 0);
        QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {other}).toInt(), 0);
        QCOMPARE(m_uploadDone->count(), 1);
        QVERIFY(!busy());
        const QStringList objects = QDir(m_pacs.storageFolder()).entryList(QDir::Files, QDir::Time);
        QCOMPARE(objects.size(), stored + 1);
        // On the PACS under the worklist's patient and study.
        QString dump;
        for (const QString& name : objects)
            dump += dicomrig::dumpDataset(QDir(m_pacs.storageFolder()).filePath(name));
        QVERIFY2(dump.contains(QStringLiteral("[WL-1]")), qPrintable(dump.left(2000)));
        QVERIFY(dump.contains(QStringLiteral("[") + kStudy + "]"));
        QCOMPARE(dbValue("select pacsStudyUuid from ecgTable where ecgId=?", {ecgId}).toString(),
                 QString::fromLatin1(kStudy));
        m_sentEcgId = ecgId;
    }

    void pacsStudyIsListedAndFetched()
    {
        QVERIFY(m_sentEcgId > 0);
        const int listDone = count(m_pacsListDone);
        bridge().dcmLoadPacsList(QString(), QStringLiteral("WL-1"), QString(), QString());
        QVERIFY(busy());
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select sUuid from pacsTable where idx=0").toString(), QString::fromLatin1(kStudy));
        QCOMPARE(m_pacsListDone->count(), listDone + 1);

        // Not stored here any more: fetched, stored as sent and shown.
        CFileMan& files = *bridge().fileMan();
        bool ok = false;
        files.deleteFile(m_patientId, m_sentEcgId, &ok);
        QVERIFY(ok);
        bridge().dcmPacsItemSelected(0);
        QVERIFY(busy());
        QVERIFY(files.hasPendingReservation());
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        QVERIFY(!files.hasPendingReservation());
        const int fetched = files.currentEcgId();
        QVERIFY(fetched > m_sentEcgId);
        QCOMPARE(files.currentPatientId(), m_patientId);
        QCOMPARE(files.currentPacsStatus(), 2);
        QCOMPARE(files.currentStudyUid(), QString::fromLatin1(kStudy));
        QVERIFY(QFile::exists(files.dataFolder() + files.currentFileName()));
        QVERIFY(dbValue("select fileSize from ecgTable where ecgId=?", {fetched}).toInt() > 0);
        QCOMPARE(ui(Prop::FilePacsStatus).toInt(), 2);
        QCOMPARE(ui(Prop::PatientId).toInt(), m_patientId);

        // Chosen again: shown from here, no request.
        files.selectNewestFile(0);
        bridge().dcmPacsItemSelected(0);
        QVERIFY(!comm().isBusy());
        QVERIFY(!busy());
        QCOMPARE(files.currentEcgId(), fetched);
    }

    // A request while a job runs is refused with the busy text and no answer
    // follows; a background answer leaves the running job's indicator on.
    void busyRule()
    {
        dicomrig::SilentListener silent;
        QVERIFY(silent.start());
        configure(silent.port(), m_pacs.port());
        const int rows = dbValue("select count(*) from worklistTable").toInt();
        const int errors = m_commError->count();
        const int mwlDone = count(m_mwlDone);

        // A study not stored here, so that choosing it needs the front.
        QVERIFY(QSqlQuery(*bridge().dbMan()->database())
                    .exec("update pacsTable set sUuid='1.2.826.0.1.3680043.10.543.99' where idx=0"));
        bridge().dcmLoadMwl(QString(), QString(), QString(), QString());
        QVERIFY(busy());
        bridge().dcmLoadPacsList(QString(), QString(), QString(), QString());
        QCOMPARE(m_commError->count(), errors + 1);
        QCOMPARE(m_commError->last().at(0).toString(), QStringLiteral("Dicom currently busy"));
        bridge().dcmPacsItemSelected(0);
        QCOMPARE(m_commError->count(), errors + 2);
        QCOMPARE(m_commError->last().at(0).toString(), QStringLiteral("Dicom currently busy"));
        QVERIFY(!bridge().fileMan()->hasPendingReservation());
        bridge().dcmRespSendPacsFile(false, false, true);
        QVERIFY(busy());
        QCOMPARE(comm().command(), 1);

        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), errors + 3);
        QVERIFY(!m_commError->last().at(0).toString().isEmpty());
        QCOMPARE(m_commError->last().at(0).toString(), comm().getLastError());
        // The table keeps its rows; the screen is told the retrieval ended.
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), rows);
        QCOMPARE(m_mwlDone->count(), mwlDone + 1);
        configure(m_mwl.port(), m_pacs.port());
    }

    // Each foreground job against a peer that is down or refuses: the alert
    // with the client's text, the indicator off, nothing stored or marked.
    void failedAnswers_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("peer");
        for (const char* job : {"worklist", "pacsList", "fetch", "send"}) {
            QTest::newRow(qPrintable(QString("%1 down").arg(job))) << job << "down";
            QTest::newRow(qPrintable(QString("%1 refused").arg(job))) << job << "refused";
        }
    }

    void failedAnswers()
    {
        QFETCH(QString, job);
        QFETCH(QString, peer);
        QTemporaryDir work;
        ToolPeer refusing;
        quint16 port = dicomrig::freePort();
        if (peer == QLatin1String("refused")) {
            QVERIFY(refusing.startStoreScp(work.path(), {QStringLiteral("--refuse")}));
            port = refusing.port();
        }
        const bool toMwl = job == QLatin1String("worklist");
        configure(toMwl ? port : m_mwl.port(), toMwl ? m_pacs.port() : port);

        CFileMan& files = *bridge().fileMan();
        const int errors = m_commError->count();
        const int uploads = m_uploadDone->count();
        const int mwlDone = count(m_mwlDone);
        const int listDone = count(m_pacsListDone);
        if (job == QLatin1String("send"))
            QVERIFY(makePendingRecording() > 0);
        const int recordings = dbValue("select count(*) from ecgTable").toInt();
        const int mwlRows = dbValue("select count(*) from worklistTable").toInt();
        const int pacsRows = dbValue("select count(*) from pacsTable").toInt();
        int sendId = -1;

        if (job == QLatin1String("worklist")) {
            bridge().dcmLoadMwl(QString(), QString(), QString(), QString());
        } else if (job == QLatin1String("pacsList")) {
            bridge().dcmLoadPacsList(QString(), QString(), QString(), QString());
        } else if (job == QLatin1String("fetch")) {
            // The row names a study not stored here (see busyRule).
            bridge().dcmPacsItemSelected(0);
            QVERIFY(files.hasPendingReservation());
        } else {
            sendId = files.currentEcgId();
            QVERIFY(sendId > 0);
            bridge().dcmContinueFileUpload(sendId);
        }
        QVERIFY(busy());
        QVERIFY(waitForAnswer());

        QCOMPARE(m_commError->count(), errors + 1);
        QVERIFY(!comm().getLastError().isEmpty());
        QCOMPARE(m_commError->last().at(0).toString(), comm().getLastError());
        QCOMPARE(m_uploadDone->count(), uploads);
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), mwlRows);
        QCOMPARE(dbValue("select count(*) from pacsTable").toInt(), pacsRows);
        QVERIFY(!files.hasPendingReservation());
        QCOMPARE(m_mwlDone->count(), mwlDone + (toMwl ? 1 : 0));
        QCOMPARE(m_pacsListDone->count(), listDone);
        QCOMPARE(dbValue("select count(*) from ecgTable").toInt(), recordings);
        if (sendId > 0)
            QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {sendId}).toInt(), 0);
        configure(m_mwl.port(), m_pacs.port());
    }

    void settingsEdgeCases()
    {
        // Worklist left empty: the PACS test runs at once and alone.
        bridge().updateDcmSettingsPacs(m_pacs.aeTitle(), QStringLiteral("127.0.0.1"),
                                       QString::number(m_pacs.port()));
        bridge().updateDcmSettingsMwl(QString(), QString(), QString());
        QCOMPARE(ui(Prop::DicomMwlConfigStatus).toInt(), 0);
        QCOMPARE(settings().dicomMwlConfigStatus, 0);
        QVERIFY(comm().isBusy());
        QCOMPARE(comm().command(), 5);
        QVERIFY(AppHarness::waitFor([&] { return ui(Prop::DicomPacsConfigStatus).toInt() == 1; },
                                    kAnswerWaitMs));

        // A worklist that is down: its test and the PACS test after it.
        bridge().updateDcmSettingsPacs(QStringLiteral("NOBODY"), QStringLiteral("127.0.0.1"),
                                       QString::number(dicomrig::freePort()));
        bridge().updateDcmSettingsMwl(QStringLiteral("NOBODY"), QStringLiteral("127.0.0.1"),
                                      QString::number(dicomrig::freePort()));
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy() && comm().command() == 5; },
                                    kAnswerWaitMs));
        QCOMPARE(ui(Prop::DicomMwlConfigStatus).toInt(), 0);
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), 0);
        QCOMPARE(settings().dicomPacsConfigStatus, 0);

        // Port texts that are not numbers store 0; incomplete PACS fields
        // clear the pending test.
        const int errors = m_commError->count();
        bridge().updateDcmSettingsPacs(QStringLiteral("PACS"), QString(), QStringLiteral("10x4"));
        QCOMPARE(settings().dcmPacsPort, 0);
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), 0);
        bridge().updateDcmSettingsGeneral(QStringLiteral("MALVORANT"), QStringLiteral("port"), QString());
        QCOMPARE(settings().dcmModalityPort, 0);
        bridge().updateDcmSettingsMwl(QString(), QString(), QString());
        QVERIFY(!comm().isBusy());
        QCOMPARE(m_commError->count(), errors);
    }

    // A worklist row that can't be read gives the recording to nobody.
    void unreadableWorklistEntryStops()
    {
        const int ecgId = makePendingRecording();
        QVERIFY(ecgId > 0);
        bridge().dcmMwlItemSelected(99);
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {ecgId}).toInt(), 0);
        QVERIFY(!comm().isBusy());
        QCOMPARE(bridge().fileMan()->currentEcgId(), ecgId);
    }

    void noQmlWarnings()
    {
        QStringList qmlWarnings;
        for (const QString& w : AppHarness::warnings())
            if (w.contains(QLatin1String("qrc:/")))
                qmlWarnings << w;
        QVERIFY2(qmlWarnings.isEmpty(), qPrintable(qmlWarnings.join('\n')));
    }
};

QTEST_MAIN(TstDicomFlows)
#include "tst_dicomflows.moc"
