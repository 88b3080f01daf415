// What the user sees when the DICOM servers fail, and how the work goes on,
// through the real main.qml and the bridge against DCMTK's wlmscpfs and
// dcmqrscp and our own peers on loopback: each server's test result in the
// DICOM settings, the PACS down while the settings are saved and back later,
// a failed send and the mark of a recording that waits, a send from the
// screen meeting a background tick, and the retrieval faults.

#include "appharness.h"
#include "dcmcomm.h"
#include "dcmnetconfig.h"
#include "dcmquerytestutil.h"
#include "dcmscheduler.h"
#include "dicomrig.h"
#include "dicomstatus.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QDirIterator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <memory>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using dicomrig::MovePeer;
using dicomrig::SilentListener;
using dicomrig::ToolPeer;
using qml::Item;
using qml::Prop;

namespace {

const int kTimeout = 3; // seconds, every DICOM network wait of this program
const int kWaitMs = 20000;
const char kWaiting[] = "ECG Storage: waiting to send";

// Every file under a folder, with its path relative to it.
QStringList filesUnder(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

// The SOP instances a dcmqrscp archive keeps of a study.
int objectsOfStudy(const QString& storageFolder, const QString& studyUid)
{
    int n = 0;
    QDirIterator it(storageFolder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        DcmFileFormat file;
        if (file.loadFile(QFile::encodeName(it.next()).constData()).bad())
            continue;
        OFString study;
        if (file.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, study).good()
            && QString::fromLatin1(study.c_str()) == studyUid)
            ++n;
    }
    return n;
}

QString studyOf(const QString& path)
{
    DcmFileFormat file;
    OFString uid;
    if (file.loadFile(QFile::encodeName(path).constData()).good())
        file.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, uid);
    return QString::fromLatin1(uid.c_str());
}

} // namespace

class TstDicomFaults : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QTemporaryDir m_work;
    ToolPeer m_worklistScp;
    ToolPeer m_qrScp;
    quint16 m_localPort = 0;
    int m_patientId = -1;
    std::unique_ptr<QSignalSpy> m_commError;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CDcmComm& comm() { return *bridge().dcmComm(); }
    CDcmScheduler& scheduler() { return *bridge().dcmScheduler(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    QVariant ui(Prop prop) { return bridge().items().read(prop); }

    QVariant dbValue(const QString& sql, const QVariantList& values = {}) { return m_app.dbValue(sql, values); }
    int pacsStatus(int ecgId) { return dbValue("select pacsStatus from ecgTable where ecgId=?", {ecgId}).toInt(); }
    QString studyUidOf(int ecgId)
    {
        return dbValue("select pacsStudyUuid from ecgTable where ecgId=?", {ecgId}).toString();
    }

    QObject* find(const char* name) { return m_window->findChild<QObject*>(QLatin1String(name)); }

    // Opens the settings at their DICOM section, as the title bar does.
    QObject* openSettings()
    {
        const QVariantMap loaders = m_window->property("viewLoaders").toMap();
        for (const QVariant& v : loaders) {
            QObject* loader = v.value<QObject*>();
            if (QObject* item = loader ? loader->property("item").value<QObject*>() : nullptr)
                item->setProperty("visible", false);
        }
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened),
                                  Q_ARG(QVariant, QStringLiteral("settings")));
        QObject* loader = m_window->property("viewLoaders").toMap().value("settings").value<QObject*>();
        QObject* view = loader ? loader->property("item").value<QObject*>() : nullptr;
        if (view)
            view->setProperty("openedAccordion", 7);
        return view;
    }

    // Types the DICOM settings into the section and presses Save.
    QObject* saveInSettings(const QString& mwlAe, quint16 mwlPort, const QString& pacsAe, quint16 pacsPort)
    {
        QObject* view = openSettings();
        if (!view)
            return nullptr;
        const QList<std::pair<const char*, QString>> fields = {
            {"dcmLocalAe", QStringLiteral("MALVORANT")}, {"dcmLocalPort", QString::number(m_localPort)},
            {"dcmInstName", QStringLiteral("Clinic Nord")},
            {"dcmMwlAe", mwlAe}, {"dcmMwlIp", mwlAe.isEmpty() ? QString() : QStringLiteral("127.0.0.1")},
            {"dcmMwlPort", mwlAe.isEmpty() ? QString() : QString::number(mwlPort)},
            {"dcmPacsAe", pacsAe}, {"dcmPacsIp", pacsAe.isEmpty() ? QString() : QStringLiteral("127.0.0.1")},
            {"dcmPacsPort", pacsAe.isEmpty() ? QString() : QString::number(pacsPort)}};
        for (const auto& [name, text] : fields) {
            QObject* field = find(name);
            if (!field)
                return nullptr;
            field->setProperty("text", text);
        }
        QMetaObject::invokeMethod(find("dcmSave"), "clicked");
        return view;
    }

    bool testsDone(QObject* view)
    {
        return AppHarness::waitFor([&] {
            return !comm().isBusy() && !bridge().dicomStatus().isRetesting()
                && view->property("dcmMwlTestState").toInt() != 2
                && view->property("dcmPacsTestState").toInt() != 2;
        }, kWaitMs);
    }

    // Lets the program run until the background upload is idle.
    bool backgroundIdle()
    {
        return AppHarness::waitFor([&] { return !scheduler().isUploadInProgress(); }, kWaitMs);
    }

    // A recording of two seconds waiting for its patient, then given to the
    // test's patient as the vet does.
    int assignedRecording()
    {
        const int ecgId = m_app.makeRecording(0, 2, 100);
        if (ecgId < 0)
            return -1;
        bridge().ecgPatientAssignment(m_patientId);
        return dbValue("select patientId from ecgTable where ecgId=?", {ecgId}).toInt() == m_patientId
            ? ecgId
            : -1;
    }

    // The shown recording's mark in the top area, empty when hidden.
    QString queueMark()
    {
        QObject* mark = find("pacsQueueMark");
        return mark && mark->property("visible").toBool() ? mark->property("text").toString() : QString();
    }

    // Stops the PACS and waits until its port refuses connections (a child
    // of dcmqrscp may hold it a moment longer).
    bool stopPacs()
    {
        m_qrScp.stop();
        return AppHarness::waitFor([&] { return !dicomrig::waitForListening(m_qrScp.lastPort(), 50); });
    }

    void configure(quint16 pacsPort, const QString& pacsAe)
    {
        settings().dcmModalityName = QStringLiteral("MALVORANT");
        settings().dcmModalityPort = m_localPort;
        settings().dcmPacsIp = QStringLiteral("127.0.0.1");
        settings().dcmPacsTitle = pacsAe;
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
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);

        m_localPort = dicomrig::freePort();
        QVERIFY(m_worklistScp.startWorklistScp(m_work.filePath("mwl")));
        QVERIFY(m_qrScp.startQrScp(m_work.filePath("pacs"), QStringLiteral("QRSCP"),
                                   {ToolPeer::QrPeer{QStringLiteral("MALVORANT"), m_localPort}}));
        QVERIFY(dicomrig::writeKeysFile(
            m_worklistScp.worklistFolder() + QStringLiteral("/item1.wl"),
            querytest::worklistItem({QStringLiteral("PatientName=Lindqvist^Bella"),
                                     QStringLiteral("PatientID=WL-1"),
                                     QStringLiteral("StudyInstanceUID=1.2.826.0.1.3680043.10.543.80")})));
        QObject* bottom = bridge().items().object(Item::BottomArea);
        QVERIFY(bottom);
        m_commError = std::make_unique<QSignalSpy>(bottom, SIGNAL(qmlAlertBoxDcmCommError(QString)));
        m_patientId = m_app.makePatient();
        QVERIFY(m_patientId > 0);
    }

    // Each server's last test with its reason, in the settings' own words,
    // after Save and when the settings are opened again.
    void testResultsShownInSettings_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("line");
        QTest::newRow("right values") << "none" << 1 << "Connection test passed";
        QTest::newRow("wrong AE title") << "title" << 3 << "Association rejected: check the AE title";
        QTest::newRow("wrong port") << "port" << 3 << "Connection refused: check the address and port";
        QTest::newRow("no answer") << "silent" << 3
                                   << "No answer: check the address and that the server is running";
        QTest::newRow("left empty") << "empty" << 0 << "Not configured";
    }

    void testResultsShownInSettings()
    {
        QFETCH(QString, fault);
        QFETCH(int, state);
        QFETCH(QString, line);
        SilentListener silent;
        QVERIFY(silent.start());
        QString mwlAe = m_worklistScp.aeTitle();
        QString pacsAe = m_qrScp.aeTitle();
        quint16 mwlPort = m_worklistScp.port();
        quint16 pacsPort = m_qrScp.port();
        if (fault == QLatin1String("title")) {
            mwlAe = pacsAe = QStringLiteral("NOSUCHAE");
        } else if (fault == QLatin1String("port")) {
            mwlPort = dicomrig::freePort();
            pacsPort = dicomrig::freePort();
        } else if (fault == QLatin1String("silent")) {
            mwlPort = pacsPort = silent.port();
        } else if (fault == QLatin1String("empty")) {
            mwlAe = pacsAe = QString();
        }
        const int errors = int(m_commError->count());
        QObject* view = saveInSettings(mwlAe, mwlPort, pacsAe, pacsPort);
        QVERIFY(view);
        if (fault != QLatin1String("empty"))
            QCOMPARE(view->property("dcmMwlTestText").toString(), QStringLiteral("Testing the connection\u2026"));
        QVERIFY(testsDone(view));
        for (const char* server : {"Mwl", "Pacs"}) {
            const QByteArray prefix = QByteArray("dcm") + server;
            QCOMPARE(view->property(prefix + "TestState").toInt(), state);
            QCOMPARE(view->property(prefix + "TestText").toString(), line);
            QCOMPARE(find(prefix + "TestLine")->property("text").toString(), line);
            QVERIFY(find(prefix + "TestLine")->property("visible").toBool());
        }
        QCOMPARE(ui(Prop::DicomMwlConfigStatus).toInt(), state == 1 ? 1 : 0);
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), state == 1 ? 1 : 0);
        // The PACS is off only when it is not configured.
        QCOMPARE(CDcmScheduler::pacsConfigured(&settings()), fault != QLatin1String("empty"));
        QCOMPARE(int(m_commError->count()), errors);

        // Shown again when the settings open again.
        view->setProperty("dcmPacsTestText", QString());
        view = openSettings();
        QCOMPARE(view->property("dcmPacsTestText").toString(), line);
    }

    // Saved while the front runs a user's query: the tests run on the
    // status's own worker, and their results show all the same.
    void savedWhileTheFrontIsBusy()
    {
        SilentListener silent;
        QVERIFY(silent.start());
        settings().dcmMwlTitle = QStringLiteral("SILENT");
        settings().dcmMwlIp = QStringLiteral("127.0.0.1");
        settings().dcmMwlPort = silent.port();
        comm().updateConfig();
        bridge().dcmLoadMwl(QString(), QString(), QString(), QString());
        QVERIFY(comm().isBusy());
        QObject* view = saveInSettings(m_worklistScp.aeTitle(), m_worklistScp.port(), m_qrScp.aeTitle(),
                                       m_qrScp.port());
        QVERIFY(view);
        QVERIFY(comm().isBusy()); // still the query
        QVERIFY(testsDone(view));
        QCOMPARE(view->property("dcmMwlTestState").toInt(), 1);
        QCOMPARE(view->property("dcmPacsTestState").toInt(), 1);
        QCOMPARE(settings().dicomMwlConfigStatus, 1);
        QCOMPARE(settings().dicomPacsConfigStatus, 1);
    }

    // A test that failed in the last run is run again at start, without a save.
    void failedTestRunsAgainAtStart()
    {
        settings().dicomMwlConfigStatus = 0;
        QVERIFY(settings().saveSettings(0x40));
        const EngineParts engine{&bridge().folders(), bridge().dbMan(), &settings(), bridge().patientMan(),
                                 bridge().fileMan(), nullptr};
        QmlItems items;
        DicomStatus atStart(items, engine, nullptr);
        QVERIFY(AppHarness::waitFor([&] { return settings().dicomMwlConfigStatus == 1; }, kWaitMs));
        QVERIFY(AppHarness::waitFor([&] { return !atStart.isRetesting(); }, kWaitMs));
        QCOMPARE(atStart.testLine(DicomStatus::Server::Worklist), QStringLiteral("Connection test passed"));
        CSettingsMan reread(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
        QCOMPARE(reread.dicomMwlConfigStatus, 1);
    }

    // The PACS is down while the settings are saved. Recordings made then are
    // marked and wait (the mark on screen); once the PACS is back, the next
    // background test passes and they reach it, once each, without saving again.
    void pacsDownWhileSavedThenBack()
    {
        QVERIFY(stopPacs());
        QObject* view = saveInSettings(m_worklistScp.aeTitle(), m_worklistScp.port(), m_qrScp.aeTitle(),
                                       m_qrScp.lastPort());
        QVERIFY(testsDone(view));
        QCOMPARE(view->property("dcmPacsTestState").toInt(), 3);
        QCOMPARE(settings().dicomPacsConfigStatus, 0);
        QCOMPARE(settings().dicomMwlConfigStatus, 1);

        QList<int> made;
        for (int i = 0; i < 2; ++i) {
            const int ecgId = assignedRecording();
            QVERIFY(ecgId > 0);
            made << ecgId;
            QVERIFY(!comm().isBusy()); // not sent from the screen: the PACS did not pass
            QCOMPARE(pacsStatus(ecgId), 1);
            QCOMPARE(ui(Prop::FilePacsQueue).toInt(), 1);
            QCOMPARE(queueMark(), QString::fromLatin1(kWaiting));
        }
        // A tick while it is still down: nothing goes, nothing is set aside.
        scheduler().backgroundUploadTimerExpired();
        QVERIFY(backgroundIdle());
        QCOMPARE(pacsStatus(made[0]), 1);
        QCOMPARE(scheduler().setAsideIds(), QList<int>{});
        bridge().dicomStatus().retestFailing();
        QVERIFY(testsDone(view));
        QCOMPARE(view->property("dcmPacsTestState").toInt(), 3);

        QVERIFY(m_qrScp.restart());
        // What the background timer does.
        bridge().dicomStatus().retestFailing();
        QVERIFY(AppHarness::waitFor([&] { return pacsStatus(made[0]) == 2 && pacsStatus(made[1]) == 2; },
                                    kWaitMs));
        QVERIFY(backgroundIdle());
        QCOMPARE(view->property("dcmPacsTestState").toInt(), 1);
        QCOMPARE(view->property("dcmPacsTestText").toString(), QStringLiteral("Connection test passed"));
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), 1);
        CSettingsMan reread(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
        QCOMPARE(reread.dicomPacsConfigStatus, 1);
        for (int ecgId : made)
            QCOMPARE(objectsOfStudy(m_qrScp.storageFolder(), studyUidOf(ecgId)), 1);
        QCOMPARE(ui(Prop::FilePacsQueue).toInt(), 0);
        QCOMPARE(ui(Prop::FilePacsStatus).toInt(), 2);
        QCOMPARE(queueMark(), QString());
    }

    // A send from the screen that fails says the ECG will go by itself, and
    // it does once the PACS answers.
    void failedSendSaysItWillBeSent()
    {
        QCOMPARE(settings().dicomPacsConfigStatus, 1);
        QVERIFY(stopPacs());
        const int errors = int(m_commError->count());
        const int ecgId = assignedRecording();
        QVERIFY(ecgId > 0);
        QVERIFY(comm().isBusy());
        QVERIFY(AppHarness::waitFor([&] { return m_commError->count() > errors; }, kWaitMs));
        const QString text = m_commError->last().at(0).toString();
        QVERIFY2(text.contains("The ECG Storage refused the connection: check its address and port"), qPrintable(text));
        QVERIFY2(text.endsWith("It will be sent automatically when the ECG Storage answers."), qPrintable(text));
        QVERIFY2(!text.contains(".dce"), qPrintable(text));
        QCOMPARE(pacsStatus(ecgId), 1);
        QCOMPARE(queueMark(), QString::fromLatin1(kWaiting));

        QVERIFY(m_qrScp.restart());
        scheduler().backgroundUploadTimerExpired();
        QVERIFY(AppHarness::waitFor([&] { return pacsStatus(ecgId) == 2; }, kWaitMs));
        QCOMPARE(objectsOfStudy(m_qrScp.storageFolder(), studyUidOf(ecgId)), 1);
        QCOMPARE(queueMark(), QString());
    }

    // A send from the screen and a background tick at the same moment: the
    // recording is marked as being sent, the tick skips it, one instance.
    void screenSendAndTickLeaveOneInstance()
    {
        QCOMPARE(settings().dicomPacsConfigStatus, 1);
        const int ecgId = assignedRecording();
        QVERIFY(ecgId > 0);
        QVERIFY(comm().isBusy());
        QCOMPARE(ui(Prop::FilePacsQueue).toInt(), 2);
        QCOMPARE(queueMark(), QStringLiteral("ECG Storage: sending\u2026"));
        scheduler().backgroundUploadTimerExpired();
        QVERIFY(!scheduler().isUploadInProgress() || scheduler().currentEcgId() != ecgId);
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy(); }, kWaitMs));
        QVERIFY(backgroundIdle());
        scheduler().backgroundUploadTimerExpired();
        QVERIFY(backgroundIdle());
        QCOMPARE(pacsStatus(ecgId), 2);
        QCOMPARE(objectsOfStudy(m_qrScp.storageFolder(), studyUidOf(ecgId)), 1);
    }

    // A recording the background can't send for itself is set aside, and the
    // screen says so with the reason.
    void damagedRecordingIsMarkedNotSent()
    {
        const int ecgId = m_app.makeRecording(m_patientId, 2, 100);
        QVERIFY(ecgId > 0);
        // Cut in the middle of its header.
        QVERIFY(QFile::resize(bridge().fileMan()->dataFolder() + bridge().fileMan()->currentFileName(), 100));
        scheduler().backgroundUploadTimerExpired();
        QVERIFY(backgroundIdle());
        QCOMPARE(scheduler().setAsideIds(), QList<int>{ecgId});
        QCOMPARE(ui(Prop::FilePacsQueue).toInt(), 3);
        // Why, beside the mark.
        const QString why = QStringLiteral("The ECG file can't be read or converted. It holds no ECG samples.");
        QCOMPARE(ui(Prop::FilePacsQueueText).toString(), why);
        QCOMPARE(queueMark(), QStringLiteral("ECG Storage: not sent \u2014 the ECG file can't be read"));
        QCOMPARE(pacsStatus(ecgId), 0);
    }

    // A fetch cut short keeps nothing in the data folder and says why in
    // words the user can act on.
    void retrievalFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("text");
        QTest::newRow("PACS refuses: this station is no destination")
            << "destination" << "The ECG Storage does not know this station's AE title \"MALVORANT\" as a destination";
        QTest::newRow("called AE title unknown to the PACS")
            << "called" << "The ECG Storage does not know the AE title \"NOSUCHAE\": check its AE title";
        QTest::newRow("connection broke mid-transfer")
            << "broken" << "The connection to the ECG Storage broke off before the end.";
        QTest::newRow("PACS answers with another AE title")
            << "title" << "The ECG Storage sent the study as \"ARCHIVE\", not as \"PACS\": enter \"ARCHIVE\"";
        QTest::newRow("PACS down") << "down" << "The ECG Storage refused the connection";
    }

    void retrievalFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString ecg = dir.filePath("ecg.dcm");
        QVERIFY(!dicomrig::writeEcgFile(ecg).isEmpty());
        const QString study = studyOf(ecg);
        QVERIFY(!study.isEmpty());

        ToolPeer stranger;
        MovePeer mover;
        if (fault == QLatin1String("destination")) {
            // An archive that holds the study but knows no MALVORANT.
            QVERIFY(stranger.startQrScp(dir.filePath("stranger"), QStringLiteral("QRSCP")));
            QCOMPARE(dicomrig::runTool("storescu", {"-aec", "QRSCP", "127.0.0.1",
                                                    QString::number(stranger.port()), ecg}), 0);
            configure(stranger.port(), QStringLiteral("QRSCP"));
        } else if (fault == QLatin1String("called")) {
            configure(m_qrScp.port(), QStringLiteral("NOSUCHAE"));
        } else if (fault == QLatin1String("down")) {
            configure(dicomrig::freePort(), QStringLiteral("PACS"));
        } else {
            mover.setMode(fault == QLatin1String("broken") ? MovePeer::Mode::AbortAfterStore
                                                           : MovePeer::Mode::Store);
            mover.setDestination(QStringLiteral("MALVORANT"), m_localPort, {ecg});
            QVERIFY(mover.start(fault == QLatin1String("title") ? QStringLiteral("ARCHIVE")
                                                                : QStringLiteral("PACS")));
            configure(mover.port(), QStringLiteral("PACS"));
        }

        QVERIFY(QSqlQuery(*bridge().dbMan()->database()).exec("delete from pacsTable"));
        QSqlQuery row(*bridge().dbMan()->database());
        row.prepare("insert into pacsTable (idx, extId, tsStudy, patientName, ownerFirst, ownerLast, "
                    "accno, sUuid, species, breed, sex, birthdate, weight, weightUnit) values "
                    "(0, 'F-1', 1700000000, 'Fetch', '', 'Owner', '', ?, 2, '', 1, 0, 0, 0)");
        row.addBindValue(study);
        QVERIFY(row.exec());
        CFileMan& files = *bridge().fileMan();
        const QStringList before = filesUnder(files.dataFolder());
        const int recordings = dbValue("select count(*) from ecgTable").toInt();
        const int errors = int(m_commError->count());

        bridge().dcmPacsItemSelected(0);
        QVERIFY(comm().isBusy());
        QVERIFY(AppHarness::waitFor([&] { return m_commError->count() > errors && !comm().isBusy(); },
                                    kWaitMs));
        const QString shown = m_commError->last().at(0).toString();
        QVERIFY2(shown.startsWith(text), qPrintable(shown));
        QCOMPARE(filesUnder(files.dataFolder()), before);
        QCOMPARE(dbValue("select count(*) from ecgTable").toInt(), recordings);
        QVERIFY(!files.hasPendingReservation());
        QVERIFY(!ui(Prop::BusyIndicatorRunning).toBool());
        configure(m_qrScp.port(), m_qrScp.aeTitle());
    }

    void noQmlWarnings()
    {
        const QStringList qmlWarnings = AppHarness::qmlWarnings();
        QVERIFY2(qmlWarnings.isEmpty(), qPrintable(qmlWarnings.join('\n')));
    }
};

QTEST_MAIN(TstDicomFaults)
#include "tst_dicomfaults.moc"
