// The DICOM flows of the bridge against real peers on loopback: the settings
// saved and tested, a recording made from the simulated device given a
// worklist entry and sent to the PACS (read back there with pydicom), the
// PACS study list and a fetch, the busy rule and what each answer shows after
// a failure. The peers are DCMTK's wlmscpfs and dcmqrscp, or with
// MALVORANT_DICOM_PEER=orthanc Orthanc for both (its worklist plug-in serving
// the worklist); CTest runs the program once for each.

#include "appharness.h"
#include "dcetesthelpers.h"
#include "dcmcomm.h"
#include "dcmnetconfig.h"
#include "dcmquerytestutil.h"
#include "dicomrig.h"
#include "isolatedhome.h"
#include "liveview.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "recordingcontrol.h"
#include "screenclicks.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QJsonArray>
#include <QJsonDocument>
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
const char kGeneralEcg[] = "1.2.840.10008.5.1.4.1.1.9.1.2";

// The objects a PACS keeps under its storage folder, as pydicom reads them.
QJsonArray pacsObjects(const QString& storageFolder, QByteArray* error)
{
    const dcetest::ToolResult r = dcetest::runTool(
        dcetest::python(), {dcetest::script("app", "pacs_pydicom_objects.py"), storageFolder});
    if (!r.started || r.exitCode != 0) {
        *error = r.started ? r.err : QByteArray("python3 not found");
        return {};
    }
    return QJsonDocument::fromJson(r.out).array();
}

QJsonArray objectsOfPatient(const QJsonArray& objects, const QString& patientId)
{
    QJsonArray out;
    for (const QJsonValue& o : objects)
        if (o.toObject().value("PatientID").toString() == patientId)
            out.append(o);
    return out;
}

// The samples a recording's waveform holds: every record but the events,
// which it carries as annotations.
int waveformSamplesOf(const QString& ecgPath)
{
    int n = 0;
    for (const EcgFileRecord& r : dcetest::readRecords(ecgPath))
        if (r.type >= 0)
            ++n;
    return n;
}

} // namespace

class TstDicomFlows : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QTemporaryDir m_work;
    bool m_orthanc = false;
    ToolPeer m_worklistScp;
    ToolPeer m_qrScp;
    ToolPeer m_orthancPeer;
    quint16 m_localPort = 0;
    std::unique_ptr<QSignalSpy> m_commError;
    std::unique_ptr<QSignalSpy> m_uploadDone;
    std::unique_ptr<QSignalSpy> m_mwlDone;
    std::unique_ptr<QSignalSpy> m_pacsListDone;
    int m_sentEcgId = -1;
    int m_sentSamples = 0;
    int m_patientId = -1;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CDcmComm& comm() { return *bridge().dcmComm(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    // Orthanc is both worklist and PACS; otherwise wlmscpfs and dcmqrscp.
    ToolPeer& mwl() { return m_orthanc ? m_orthancPeer : m_worklistScp; }
    ToolPeer& pacs() { return m_orthanc ? m_orthancPeer : m_qrScp; }

    QVariant ui(Prop prop) { return m_app.bridge().items().read(prop); }
    bool busy() { return ui(Prop::BusyIndicatorRunning).toBool(); }

    static int count(const std::unique_ptr<QSignalSpy>& spy) { return int(spy->count()); }

    QVariant dbValue(const QString& sql, const QVariantList& values = {}) { return m_app.dbValue(sql, values); }

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

    // Records from the simulated device as the vet does: "New ECG" starts the
    // stream, the recording runs for the chosen seconds and ends by itself,
    // unassigned. Its ecgId, -1 when a step did not come.
    int recordFromDevice(int seconds)
    {
        settings().recordingSeconds = seconds;
        bridge().streamStartStop(true);
        if (!AppHarness::waitFor([&] { return ui(Prop::DisplayState).toInt() == 1 && ui(Prop::IsBtConnected).toBool()
                                              && bridge().liveView().isLeadInComplete(); }, 30000))
            return -1;
        bridge().recordStartStop(true);
        if (!bridge().recordingControl().isRecording())
            return -1;
        if (!AppHarness::waitFor([&] { return ui(Prop::DisplayState).toInt() == 4; }, 30000))
            return -1;
        return bridge().fileMan()->currentEcgId();
    }

    // An object as another maker's system writes it (a case of
    // dce_pydicom_make.py), stored on the PACS by that system.
    bool storeOtherMakersObject(const QString& name, QString* error)
    {
        const QString object = m_work.filePath(name + QStringLiteral(".dcm"));
        const dcetest::ToolResult made = dcetest::runTool(
            dcetest::python(), {dcetest::script("qd_dcmLib", "dce_pydicom_make.py"), object, name});
        if (made.exitCode != 0) {
            *error = QString::fromUtf8(made.err);
            return false;
        }
        return dicomrig::runTool(QStringLiteral("storescu"),
                                 {QStringLiteral("-aet"), QStringLiteral("OTHERCART"), QStringLiteral("-aec"),
                                  pacs().aeTitle(), QStringLiteral("127.0.0.1"), QString::number(pacs().port()),
                                  object},
                                 error)
            == 0;
    }

    void configure(quint16 mwlPort, quint16 pacsPort)
    {
        settings().dcmModalityName = QStringLiteral("MALVORANT");
        settings().dcmModalityPort = m_localPort;
        settings().dcmMwlIp = settings().dcmPacsIp = QStringLiteral("127.0.0.1");
        settings().dcmMwlTitle = mwl().aeTitle();
        settings().dcmPacsTitle = pacs().aeTitle();
        settings().dcmMwlPort = mwlPort;
        settings().dcmPacsPort = pacsPort;
        comm().updateConfig();
    }

private slots:
    void initTestCase()
    {
        m_orthanc = qEnvironmentVariable("MALVORANT_DICOM_PEER") == QLatin1String("orthanc");
        if (m_orthanc && !ToolPeer::orthancInstalled())
            QSKIP("Orthanc with its worklist plug-in is not installed (tools/install-deps)");
        qputenv("MALVORANT_DEVICE", "simulated");
        qputenv("MALVORANT_SIM_TIME_SCALE", "4");
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid() && m_work.isValid());
        QCOMPARE(DcmNetConfig::applyTimeout(kTimeout), kTimeout);
        AppHarness::warnings().clear();
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);
        QVERIFY(bridge().dcmComm());
        QVERIFY(bridge().dcmScheduler());

        m_localPort = dicomrig::freePort();
        if (m_orthanc) {
            QVERIFY(m_orthancPeer.startOrthanc(m_work.filePath("orthanc"), QStringLiteral("ORTHANC"),
                                               {ToolPeer::QrPeer{QStringLiteral("MALVORANT"), m_localPort}}));
        } else {
            QVERIFY(m_worklistScp.startWorklistScp(m_work.filePath("mwl")));
            QVERIFY(m_qrScp.startQrScp(m_work.filePath("pacs"), QStringLiteral("QRSCP"),
                                       {ToolPeer::QrPeer{QStringLiteral("MALVORANT"), m_localPort}}));
        }
        QVERIFY(dicomrig::writeKeysFile(
            mwl().worklistFolder() + QStringLiteral("/item1.wl"),
            querytest::worklistItem({QStringLiteral("PatientName=Lindqvist^Bella"),
                                     QStringLiteral("PatientID=WL-1"),
                                     QStringLiteral("StudyInstanceUID=") + kStudy})));

        QObject* bottom = bridge().items().object(Item::BottomArea);
        QVERIFY(bottom);
        m_commError = std::make_unique<QSignalSpy>(bottom, SIGNAL(qmlAlertBoxDcmCommError(QString)));
        m_uploadDone = std::make_unique<QSignalSpy>(bottom, SIGNAL(qmlAlertBoxDcmUploadCompleted()));
        QVERIFY(m_commError->isValid() && m_uploadDone->isValid());
        // Built now, as the bridge does when it first needs them, so their
        // signals can be watched from the start.
        QVERIFY(bridge().items().ensureBound(Item::PatientView));
        QVERIFY(bridge().items().ensureBound(Item::FileList));
        QObject* patients = bridge().items().object(Item::PatientView);
        QObject* list = bridge().items().object(Item::FileList);
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

        bridge().updateDcmSettingsPacs(pacs().aeTitle(), QStringLiteral("127.0.0.1"),
                                       QString::number(pacs().port()));
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), 2);
        QCOMPARE(settings().dicomPacsConfigStatus, 0);
        QVERIFY(!comm().isBusy()); // its test waits for the worklist's

        bridge().updateDcmSettingsMwl(mwl().aeTitle(), QStringLiteral("127.0.0.1"),
                                      QString::number(mwl().port()));
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
        QCOMPARE(settings().dcmPacsPort, int(pacs().port()));
        QCOMPARE(settings().dcmMwlTitle, mwl().aeTitle());
        // Stored, not only held: the settings table has the verified states.
        CSettingsMan reread(QStringLiteral("MalvorantQml"), bridge().dbMan()->database(), 1, 1);
        QCOMPARE(reread.dicomPacsConfigStatus, 1);
        QCOMPARE(reread.dcmMwlPort, int(mwl().port()));
        QCOMPARE(m_commError->count(), 0);
    }

    // The vet's path: the worklist loaded, a recording made from the device,
    // the worklist entry picked. The recording is given the entry's patient
    // and study and lands on the PACS without another click, once.
    void worklistEntryTakesTheRecordingToThePacs()
    {
        const int mwlDone = count(m_mwlDone);
        bridge().dcmLoadMwl(QString(), QString(), QString(), QString());
        QVERIFY(busy());
        QVERIFY(waitForAnswer());
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), 1);
        QCOMPARE(m_mwlDone->count(), mwlDone + 1);

        // The vet answers the species question: a dog. The worklist entry
        // names no species (wlmscpfs returns none), so the dog stays.
        bridge().onRecordSpeciesSelector(1);
        const int ecgId = recordFromDevice(2);
        QVERIFY(ecgId > 0);
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {ecgId}).toInt(), 0);
        QByteArray error;
        QCOMPARE(objectsOfPatient(pacsObjects(pacs().storageFolder(), &error), "WL-1").size(), 0);
        QVERIFY2(error.isEmpty(), error.constData());

        bridge().dcmMwlItemSelected(0);
        m_patientId = bridge().patientMan()->patientId;
        QCOMPARE(dbValue("select extId from patientTable where patientId=?", {m_patientId}).toString(),
                 QStringLiteral("WL-1"));
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {ecgId}).toInt(), m_patientId);
        QCOMPARE(bridge().fileMan()->currentEcgId(), ecgId);
        QCOMPARE(ui(Prop::DisplayState).toInt(), 0);
        QVERIFY(comm().isBusy());
        QCOMPARE(comm().command(), 0);
        const QString recorded = bridge().fileMan()->dataFolder() + bridge().fileMan()->currentFileName();
        const int samples = waveformSamplesOf(recorded);
        // Lead-in and two seconds at 500 per second at least.
        QVERIFY2(samples >= 2499 + 1000, qPrintable(QString::number(samples)));

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
        QCOMPARE(dbValue("select pacsStudyUuid from ecgTable where ecgId=?", {ecgId}).toString(),
                 QString::fromLatin1(kStudy));

        // Read back on the PACS: one object, under the worklist's patient and
        // study, with the recording's samples in six leads.
        const QJsonArray sent = objectsOfPatient(pacsObjects(pacs().storageFolder(), &error), "WL-1");
        QVERIFY2(error.isEmpty(), error.constData());
        QCOMPARE(sent.size(), 1);
        const QJsonObject object = sent.first().toObject();
        QCOMPARE(object.value("SOPClassUID").toString(), QString::fromLatin1(kGeneralEcg));
        QCOMPARE(object.value("PatientName").toString(), QStringLiteral("Lindqvist^Bella"));
        QCOMPARE(object.value("StudyInstanceUID").toString(), QString::fromLatin1(kStudy));
        QCOMPARE(object.value("InstitutionName").toString(), QStringLiteral("Clinic Nord"));
        QCOMPARE(object.value("PatientSpeciesDescription").toString(), QStringLiteral("Canine"));
        CFileEcg header;
        dcetest::readRecords(recorded, &header);
        QCOMPARE(header.speciesCode, 2);
        const QJsonArray groups = object.value("groups").toArray();
        QCOMPARE(groups.size(), 1);
        const QJsonObject group = groups.first().toObject();
        QCOMPARE(group.value("channels").toInt(), 6);
        QCOMPARE(group.value("samples").toInt(), samples);
        QCOMPARE(group.value("shape").toArray(), (QJsonArray{samples, 6}));
        // Lead II carries the device's beats, not a flat line.
        const int span = group.value("max").toArray().at(1).toInt() - group.value("min").toArray().at(1).toInt();
        QVERIFY2(span > 100, qPrintable(QString::number(span)));
        m_sentEcgId = ecgId;
        m_sentSamples = samples;
    }

    // "Search by Patient Name or ID" in the worklist: the ID finds the entry
    // as the name does, through the real patients view.
    void worklistSearchFindsByNameOrId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        QTest::newRow("by ID") << "WL-1" << 1;
        QTest::newRow("by name") << "Bella" << 1;
        QTest::newRow("neither") << "Nobody" << 0;
    }

    void worklistSearchFindsByNameOrId()
    {
        QFETCH(QString, text);
        QFETCH(int, rows);
        QVariant opened;
        QMetaObject::invokeMethod(m_window, "openView", Q_RETURN_ARG(QVariant, opened),
                                  Q_ARG(QVariant, QStringLiteral("patients")));
        QObject* loader = m_window->property("viewLoaders").toMap().value("patients").value<QObject*>();
        QObject* view = loader ? loader->property("item").value<QObject*>() : nullptr;
        QVERIFY(view);
        QVERIFY(view->property("worklistMode").toBool());
        QObject* search = m_window->findChild<QObject*>(QStringLiteral("patientSearch"));
        QObject* button = m_window->findChild<QObject*>(QStringLiteral("searchWorklist"));
        QVERIFY(search && button);
        // An old table must not answer for the search.
        QVERIFY(QSqlQuery(*bridge().dbMan()->database()).exec("delete from worklistTable"));
        search->setProperty("text", text);
        const int done = count(m_mwlDone);
        QMetaObject::invokeMethod(button, "clicked");
        QVERIFY(waitForAnswer());
        QCOMPARE(m_mwlDone->count(), done + 1);
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), 1);
        QVERIFY(AppHarness::waitFor([&] { return view->property("rowCount").toInt() == rows; }));
        search->setProperty("text", QString());
        view->setProperty("visible", false);
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
        // The recording as it was sent, every sample back.
        QCOMPARE(waveformSamplesOf(files.dataFolder() + files.currentFileName()), m_sentSamples);
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

    // A study whose fetch is answered while a recording runs: stored as sent,
    // not shown; the recording goes on undisturbed and ends waiting for its
    // patient, on the screen.
    void fetchAnsweredDuringARecordingIsStoredNotShown()
    {
        CFileMan& files = *bridge().fileMan();
        bool ok = false;
        files.deleteFile(m_patientId, files.currentEcgId(), &ok);
        QVERIFY(ok);
        // Untimed: it runs until stopped, however long the PACS takes.
        settings().recordingSeconds = 0;
        bridge().streamStartStop(true);
        QVERIFY(AppHarness::waitFor([&] { return ui(Prop::IsBtConnected).toBool()
                                                 && bridge().liveView().isLeadInComplete(); }, 30000));
        bridge().recordStartStop(true);
        QVERIFY(bridge().recordingControl().isRecording());
        const QVariantList shown{ui(Prop::PatientName), ui(Prop::PatientId), ui(Prop::FileName)};
        QSignalSpy chartInit(bridge().items().object(Item::EcgChart), SIGNAL(qmlInitEcgData()));
        QSignalSpy chartRefresh(bridge().items().object(Item::EcgChart), SIGNAL(qmlRefreshEcgData()));

        // The study's request went out before "New ECG"; its answer comes now.
        const qint64 studyTime = dbValue("select tsStudy from pacsTable where idx=0").toLongLong();
        const QString name = files.reserveNextFilename(m_patientId, 1, QString::fromLatin1(kStudy), studyTime);
        QVERIFY(!name.isEmpty());
        QVERIFY(comm().loadFromPacs(QString::fromLatin1(kStudy), files.dataFolder(), name));
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy() && !files.hasPendingReservation(); },
                                    kAnswerWaitMs));
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select pacsStatus from ecgTable where fileName=?", {name}).toInt(), 2);
        QCOMPARE(dbValue("select patientId from ecgTable where fileName=?", {name}).toInt(), m_patientId);
        QVERIFY(QFile::exists(files.dataFolder() + name));
        QVERIFY(bridge().recordingControl().isRecording());
        QCOMPARE(ui(Prop::DisplayState).toInt(), 2);
        QCOMPARE((QVariantList{ui(Prop::PatientName), ui(Prop::PatientId), ui(Prop::FileName)}), shown);
        QCOMPARE(chartInit.count(), 0);
        QCOMPARE(chartRefresh.count(), 0);

        // "Stop recording".
        bridge().streamStartStop(false);
        QCOMPARE(ui(Prop::DisplayState).toInt(), 4);
        QCOMPARE(files.currentPatientId(), 0);
        QVERIFY(files.currentFileName() != name);
        QCOMPARE(ui(Prop::FileName).toString(), files.currentFileName());
        QCOMPARE(dbValue("select count(*) from ecgTable where fileName=?", {name}).toInt(), 1);
    }

    // The worklist on the screens: "Select Patient & Save" for a recording
    // from the device and "Choose Existing Patient" for an imported file
    // open the worklist; the entry picked and confirmed takes each, under its
    // study, and each goes on to the PACS.
    void worklistEntriesChosenOnTheScreen()
    {
        const QString studyA = QStringLiteral("1.2.826.0.1.3680043.10.543.201");
        const QString studyB = QStringLiteral("1.2.826.0.1.3680043.10.543.202");
        QVERIFY(dicomrig::writeKeysFile(
            mwl().worklistFolder() + QStringLiteral("/item2.wl"),
            querytest::worklistItem({QStringLiteral("PatientName=Brenner^Luna"), QStringLiteral("PatientID=WL-2"),
                                     QStringLiteral("AccessionNumber=ACC2"), "StudyInstanceUID=" + studyA})));
        QVERIFY(dicomrig::writeKeysFile(
            mwl().worklistFolder() + QStringLiteral("/item3.wl"),
            querytest::worklistItem({QStringLiteral("PatientName=Okafor^Kiki"), QStringLiteral("PatientID=WL-3"),
                                     QStringLiteral("AccessionNumber=ACC3"), "StudyInstanceUID=" + studyB})));
        QCOMPARE(ui(Prop::DicomMwlConfigStatus).toInt(), 1);
        QCOMPARE(ui(Prop::DicomPacsConfigStatus).toInt(), 1);
        CFileMan& files = *bridge().fileMan();
        QObject* patients = bridge().items().object(Item::PatientView);
        QObject* bottom = bridge().items().object(Item::BottomArea);
        auto studyOf = [&](int ecgId) {
            return dbValue("select pacsStudyUuid from ecgTable where ecgId=?", {ecgId}).toString();
        };
        auto patientOf = [&](const char* extId) {
            return dbValue("select patientId from patientTable where extId=?", {QString::fromLatin1(extId)}).toInt();
        };
        // The worklist, asked for with the screen's button; the entry found by
        // the animal's name (the owner's is the family name of a DICOM name).
        auto pickEntry = [&](const QString& name) -> QQuickItem* {
            // The whole worklist: the search box emptied first.
            QObject* search = screen::find(m_window, "patientSearch");
            if (!search)
                return nullptr;
            search->setProperty("text", QString());
            if (!patients->property("worklistMode").toBool() || !screen::clickText(m_window, "Search Worklist")
                || !waitForAnswer())
                return nullptr;
            return screen::searchedRow(m_window, "patientSearch", "patientList", name);
        };

        // A recording from the device, then "Select Patient & Save".
        const int recorded = recordFromDevice(2);
        QVERIFY(recorded > 0);
        QVERIFY(QMetaObject::invokeMethod(bottom, "actionClicked"));
        QVERIFY(AppHarness::waitFor([&] { return patients->property("visible").toBool(); }));
        QCOMPARE(patients->property("title").toString(), QStringLiteral("Select from Worklist"));
        QVERIFY(screen::confirmRow(m_window, pickEntry(QStringLiteral("Luna"))));
        QVERIFY(!patients->property("visible").toBool());
        const int luna = patientOf("WL-2");
        QVERIFY(luna > 0);
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {recorded}).toInt(), luna);
        QCOMPARE(dbValue("select count(*) from ecgTable where patientId=?", {luna}).toInt(), 1);
        QCOMPARE(studyOf(recorded), studyA);
        QVERIFY(QFile::exists(files.dataFolder() + files.currentFileName()));
        QVERIFY(files.currentFileName().startsWith(QString::number(luna) + "_"));
        QCOMPARE(ui(Prop::DisplayState).toInt(), 0);
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy(); }, kAnswerWaitMs));
        QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {recorded}).toInt(), 2);

        // That recording, as a file from elsewhere, imported and given to another entry.
        const QString source = m_work.filePath("from-the-clinic.ecg");
        QVERIFY(QFile::copy(files.dataFolder() + files.currentFileName(), source));
        CFileEcg sourceHeader;
        const int records = int(dcetest::readRecords(source, &sourceHeader).size());
        // The entries name no species: Luna has her recording's.
        QVERIFY(sourceHeader.speciesCode != 0);
        QCOMPARE(dbValue("select species from patientTable where patientId=?", {luna}).toInt(),
                 sourceHeader.speciesCode);
        closeVisibleDialogs(m_window);
        QVERIFY(screen::importThroughTheDialog(m_window, source, [patients] { return patients; }));
        QCOMPARE(patients->property("title").toString(), QStringLiteral("New Patient ?"));
        QVERIFY(screen::click(screen::find(m_window, "existingPatientButton")));
        QVERIFY(screen::confirmRow(m_window, pickEntry(QStringLiteral("Kiki"))));
        QVERIFY(!patients->property("visible").toBool());
        QVERIFY(!ui(Prop::FromImport).toBool());
        const int kiki = patientOf("WL-3");
        QVERIFY(kiki > 0);
        QCOMPARE(dbValue("select count(*) from ecgTable where patientId=?", {kiki}).toInt(), 1);
        QCOMPARE(dbValue("select species from patientTable where patientId=?", {kiki}).toInt(),
                 sourceHeader.speciesCode);
        const int imported = files.currentEcgId();
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {imported}).toInt(), kiki);
        QCOMPARE(studyOf(imported), studyB);
        QCOMPARE(dbValue("select ecgTime from ecgTable where ecgId=?", {imported}).toLongLong(),
                 dbValue("select tsStudy from worklistTable where sUuid=?", {studyB}).toLongLong());
        QCOMPARE(int(dcetest::readRecords(files.dataFolder() + files.currentFileName()).size()), records);
        QVERIFY(bridge().importHandOver().sourcePath.isEmpty());
        QCOMPARE(dbValue("select count(*) from ecgTable where patientId=?", {luna}).toInt(), 1);
        QCOMPARE(ui(Prop::PatientId).toInt(), kiki);
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy(); }, kAnswerWaitMs));
        QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {imported}).toInt(), 2);
        closeVisibleDialogs(m_window);
        patients->setProperty("visible", false);
    }

    // A name in another alphabet: a query with such a key says it is UTF-8,
    // so worklist and PACS find the patient; a study stored in Latin-1 by
    // another system comes in as UTF-8, its patient and recording "Müller".
    void nonAsciiNameFoundAndFetched()
    {
        const QString mueller = QString::fromUtf8("Müller");
        QVERIFY(dicomrig::writeKeysFile(
            mwl().worklistFolder() + QStringLiteral("/item2.wl"),
            querytest::worklistItem({QStringLiteral("SpecificCharacterSet=ISO_IR 192"),
                                     QStringLiteral("PatientName=") + mueller + QStringLiteral("^Luna"),
                                     QStringLiteral("PatientID=WL-2"),
                                     QStringLiteral("StudyInstanceUID=1.2.826.0.1.3680043.10.543.78")})));
        bridge().dcmLoadMwl(QString(), QString(), QString(), mueller);
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), 1);
        QCOMPARE(dbValue("select ownerLast from worklistTable where idx=0").toString(), mueller);
        QCOMPARE(dbValue("select patientName from worklistTable where idx=0").toString(), QStringLiteral("Luna"));

        // Stored by another system in Latin-1.
        QString error;
        QVERIFY2(storeOtherMakersObject(QStringLiteral("latin1"), &error), qPrintable(error));

        bridge().dcmLoadPacsList(QString(), QString(), QString(), mueller);
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select count(*) from pacsTable").toInt(), 1);
        QCOMPARE(dbValue("select ownerLast from pacsTable where idx=0").toString(), mueller);
        QCOMPARE(dbValue("select patientName from pacsTable where idx=0").toString(), QStringLiteral("Bello"));

        CFileMan& files = *bridge().fileMan();
        bridge().dcmPacsItemSelected(0);
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        const int patientId = files.currentPatientId();
        QVERIFY(patientId > 0);
        QCOMPARE(dbValue("select ownerLast from patientTable where patientId=?", {patientId}).toString(), mueller);
        QCOMPARE(ui(Prop::PatientName).toString(), QStringLiteral("Bello"));
        CFileEcg header;
        QVERIFY(!dcetest::readRecords(files.dataFolder() + files.currentFileName(), &header).empty());
        QCOMPARE(QString::fromStdString(header.ownerLastName), mueller);
        QCOMPARE(QString::fromStdString(header.patientName), QStringLiteral("Bello"));
        QFile::remove(mwl().worklistFolder() + QStringLiteral("/item2.wl"));
    }

    // A spayed animal whose worklist entry has no owner surname and no
    // species: found by its name alone on the worklist, given the recording
    // (the new patient takes the recording's species), sent to the PACS as a
    // spayed female, and found there by its name alone.
    void ownerlessSpayedEntryFoundOnBothListsAndSent()
    {
        const QString study = QStringLiteral("1.2.826.0.1.3680043.10.543.90");
        const QString minkaItem = mwl().worklistFolder() + QStringLiteral("/item4.wl");
        const QString otherItem = mwl().worklistFolder() + QStringLiteral("/item5.wl");
        QVERIFY(dicomrig::writeKeysFile(
            minkaItem, querytest::worklistItem({QStringLiteral("PatientName=Minka"), QStringLiteral("PatientID=WL-4"),
                                                QStringLiteral("PatientSex=F"),
                                                QStringLiteral("PatientSexNeutered=ALTERED"),
                                                QStringLiteral("AccessionNumber=ACC4"), "StudyInstanceUID=" + study})));
        // Holds the name, but as its owner's: not what the search means.
        QVERIFY(dicomrig::writeKeysFile(
            otherItem, querytest::worklistItem({QStringLiteral("PatientName=Minkamann^Rex"),
                                                QStringLiteral("PatientID=WL-5"), QStringLiteral("AccessionNumber=ACC5"),
                                                QStringLiteral("StudyInstanceUID=1.2.826.0.1.3680043.10.543.91")})));
        bridge().dcmLoadMwl(QStringLiteral("Minka"), QString(), QString(), QString());
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), 1);
        QCOMPARE(dbValue("select extId || '|' || ownerLast || '|' || patientName || '|' || species "
                         "from worklistTable where idx=0").toString(),
                 QStringLiteral("WL-4||Minka|0"));
        // wlmscpfs does not return Patient's Sex Neutered: a female, no more.
        const int sex = m_orthanc ? 4 : 2;
        QCOMPARE(dbValue("select sex from worklistTable where idx=0").toInt(), sex);

        bridge().onRecordSpeciesSelector(1);
        const int ecgId = recordFromDevice(2);
        QVERIFY(ecgId > 0);
        bridge().dcmMwlItemSelected(0);
        const int patientId = bridge().patientMan()->patientId;
        QCOMPARE(dbValue("select extId || '|' || ownerLast || '|' || patientName || '|' || species || '|' || sex "
                         "from patientTable where patientId=?", {patientId}).toString(),
                 QStringLiteral("WL-4||Minka|2|%1").arg(sex));
        QCOMPARE(dbValue("select patientId from ecgTable where ecgId=?", {ecgId}).toInt(), patientId);
        QVERIFY(AppHarness::waitFor([&] { return !comm().isBusy(); }, kAnswerWaitMs));
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {ecgId}).toInt(), 2);

        QByteArray error;
        const QJsonArray sent = objectsOfPatient(pacsObjects(pacs().storageFolder(), &error), "WL-4");
        QVERIFY2(error.isEmpty(), error.constData());
        QCOMPARE(sent.size(), 1);
        const QJsonObject object = sent.first().toObject();
        QCOMPARE(object.value("PatientName").toString(), QStringLiteral("Minka"));
        QCOMPARE(object.value("PatientSex").toString(), QStringLiteral("F"));
        QCOMPARE(object.value("PatientSexNeutered").toString(),
                 m_orthanc ? QStringLiteral("ALTERED") : QStringLiteral("UNALTERED"));
        QCOMPARE(object.value("PatientSpeciesDescription").toString(), QStringLiteral("Canine"));
        QCOMPARE(object.value("StudyInstanceUID").toString(), study);

        // The PACS list, searched by the animal's name alone.
        bridge().dcmLoadPacsList(QStringLiteral("Minka"), QString(), QString(), QString());
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), 0);
        QCOMPARE(dbValue("select count(*) from pacsTable").toInt(), 1);
        QCOMPARE(dbValue("select extId || '|' || ownerLast || '|' || patientName || '|' || sUuid "
                         "from pacsTable where idx=0").toString(),
                 "WL-4||Minka|" + study);
        QFile::remove(minkaItem);
        QFile::remove(otherItem);
    }

    // A study the import refuses (a channel scale without finite values,
    // chest leads only) is refused by the fetch on the same road: the alert
    // says why, no recording or reservation stays.
    void fetchedStudyRefusedWithItsReason_data()
    {
        QTest::addColumn<QString>("name");   // the case of dce_pydicom_make.py
        QTest::addColumn<QString>("reason"); // a part of the alert
        QTest::newRow("values not finite") << "sensitivity_inf" << "not finite";
        QTest::newRow("chest leads only")
            << "v_leads_only"
            << "can't be read by this program. It holds only leads V1, V2, V3, V4, V5, V6; this program needs "
               "lead I, II or III, or two limb leads.";
    }

    void fetchedStudyRefusedWithItsReason()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QString error;
        QVERIFY2(storeOtherMakersObject(name, &error), qPrintable(error));
        // the study of this object, whatever else the PACS holds for the name
        DcmFileFormat object;
        QVERIFY(object.loadFile(QFile::encodeName(m_work.filePath(name + QStringLiteral(".dcm"))).constData()).good());
        OFString studyUid;
        QVERIFY(object.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, studyUid).good());
        bridge().dcmLoadPacsList(QString(), QString(), QString(), QStringLiteral("Other"));
        QVERIFY(waitForAnswer());
        const QVariant idx = dbValue("select idx from pacsTable where sUuid=?", {QString::fromLatin1(studyUid.c_str())});
        QVERIFY(idx.isValid());

        CFileMan& files = *bridge().fileMan();
        const int recordings = dbValue("select count(*) from ecgTable").toInt();
        const int errors = m_commError->count();
        bridge().dcmPacsItemSelected(idx.toInt());
        QVERIFY(waitForAnswer());
        QCOMPARE(m_commError->count(), errors + 1);
        const QString text = m_commError->last().at(0).toString();
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY(!files.hasPendingReservation());
        QCOMPARE(dbValue("select count(*) from ecgTable").toInt(), recordings);
        QCOMPARE(QDir(files.dataFolder()).entryList({QStringLiteral("dcm_*")}, QDir::Files), QStringList());
    }

    // A request while a job runs is refused with the busy text and no answer
    // follows; a background answer leaves the running job's indicator on.
    void busyRule()
    {
        dicomrig::SilentListener silent;
        QVERIFY(silent.start());
        configure(silent.port(), pacs().port());
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
        configure(mwl().port(), pacs().port());
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
        configure(toMwl ? port : mwl().port(), toMwl ? pacs().port() : port);

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
        const QString shown = m_commError->last().at(0).toString();
        if (job == QLatin1String("fetch") || job == QLatin1String("send")) {
            // In words the user can act on: the PACS refused, or is not there.
            QVERIFY2(shown.startsWith(peer == QLatin1String("down")
                                          ? "The ECG Storage refused the connection: check its address and port"
                                          : "The ECG Storage rejected the association"),
                     qPrintable(shown));
            QVERIFY2(!shown.contains(files.dataFolder()), qPrintable(shown));
        } else {
            QCOMPARE(shown, comm().getLastError());
        }
        QCOMPARE(m_uploadDone->count(), uploads);
        QCOMPARE(dbValue("select count(*) from worklistTable").toInt(), mwlRows);
        QCOMPARE(dbValue("select count(*) from pacsTable").toInt(), pacsRows);
        QVERIFY(!files.hasPendingReservation());
        QCOMPARE(m_mwlDone->count(), mwlDone + (toMwl ? 1 : 0));
        QCOMPARE(m_pacsListDone->count(), listDone);
        QCOMPARE(dbValue("select count(*) from ecgTable").toInt(), recordings);
        if (sendId > 0) {
            // Not sent, and left to the background send.
            QCOMPARE(dbValue("select pacsTs from ecgTable where ecgId=?", {sendId}).toLongLong(), 0);
            QCOMPARE(dbValue("select pacsStatus from ecgTable where ecgId=?", {sendId}).toInt(), 1);
            QVERIFY2(shown.endsWith("It will be sent automatically when the ECG Storage answers."), qPrintable(shown));
        }
        configure(mwl().port(), pacs().port());
    }

    void settingsEdgeCases()
    {
        // Worklist left empty: the PACS test runs at once and alone.
        bridge().updateDcmSettingsPacs(pacs().aeTitle(), QStringLiteral("127.0.0.1"),
                                       QString::number(pacs().port()));
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
        const QStringList qmlWarnings = AppHarness::qmlWarnings();
        QVERIFY2(qmlWarnings.isEmpty(), qPrintable(qmlWarnings.join('\n')));
    }
};

QTEST_MAIN(TstDicomFlows)
#include "tst_dicomflows.moc"
