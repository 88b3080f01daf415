#include "qmlinterface.h"

#include "dbman.h"
#include "dcmcomm.h"
#include "dcmscheduler.h"
#include "debuglog.h"
#include "deviceselection.h"
#include "dicomflows.h"
#include "dicomstatus.h"
#include "ecgchart.h"
#include "fileman.h"
#include "importexport.h"
#include "liveview.h"
#include "patientflows.h"
#include "patientman.h"
#include "pdfreportflow.h"
#include "replacequestion.h"
#include "qmlchartpublisher.h"
#include "qmlitems.h"
#include "rawstreambt.h"
#include "qvlcomm.h"
#include "qvlscheduler.h"
#include "recordingcontrol.h"
#include "settingsman.h"
#include "settingspages.h"
#include "startfailure.h"
#include "telemedflows.h"
#include "toneplayer.h"
#include "uipublisher.h"
#include "updateandterms.h"
#include "viewersettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QQmlEngine>
#include <QXYSeries>
#include <QtDebug>

#include <cstdlib>
#include <vector>

CQmlInterface::CQmlInterface(QObject* parent)
    : QObject(parent)
{
    // Folders first: nothing can be logged or stored without them.
    if (!setUpAppFolders(m_folders)) {
        showStartFailure(QStringLiteral("The folder for the program's data could not be found or made "
                                        "in the public documents folder. The program stops."));
        std::exit(-1);
    }

    // Before the logger opens its files, so no open file is ever removed.
    purgeOldLogFiles();

    g_pDebugLog = new CDebugLog(1, false, m_folders.logFolder.toStdString(), kLogBaseName);

    qDebug().noquote() << "appDataLocation: " + m_folders.dataFolder;
    debugLog(2, "--------------- starting app --------------");
    debugLog(4, "entering CQmlInterface constructor");

    // Recordings and the database live there: a folder that takes nothing
    // would fail every recording and every change.
    if (!QFileInfo(m_folders.dataFolder).isWritable()) {
        const QString text = QStringLiteral("The data folder %1 is read-only: no recording or patient "
                                            "can be stored. The program stops without changing anything.")
                                 .arg(m_folders.dataFolderNative);
        debugLogError("CQmlInterface constructor " + text.toStdString());
        showStartFailure(text);
        std::exit(-1);
    }

    // The rest joins here, in this order, as it is built: update-installer
    // folder; chart meta types; acquisition stream (before the database).

    // The program never runs on without its database.
    m_dbMan = new CDbMan(m_folders.dataFolder, m_dbFromVersion, m_dbToVersion);
    if (!m_dbMan->isOk()) {
        debugLogError("CQmlInterface constructor database failed: " + m_dbMan->errorText().toStdString());
        showStartFailure(m_dbMan->errorText());
        std::exit(-1);
    }
    m_settingsMan = new CSettingsMan(QStringLiteral("MalvorantQml"), m_dbMan->database(),
                                     m_dbFromVersion, m_dbToVersion);
    if (!m_settingsMan->isOk()) {
        debugLogError("CQmlInterface constructor settings could not be written");
        showStartFailure(QStringLiteral("The settings could not be written to the database in %1. "
                                        "The program stops.")
                             .arg(m_folders.dataFolderNative));
        std::exit(-1);
    }

    m_patientMan = new CPatientMan(m_dbMan->database(), m_settingsMan, m_dbFromVersion,
                                   m_dbToVersion, 1);

    // Then the species analysis thresholds join here.

    m_patientMan->loadPatient(m_settingsMan->patientId);

    m_fileMan = new CFileMan(m_folders.dataFolder, m_dbMan->database(), m_settingsMan,
                             m_dbFromVersion, m_dbToVersion);
    // Recordings a previous run did not live to finish become pending again.
    m_fileMan->reconcileDataFolder();
    // Rows of an older release, and those a repair added, get the count of
    // their samples (bounded: the rest waits for the next start).
    m_fileMan->countMissingSamples(2000);
    m_fileMan->ecgBuffer().setFilterOptions(m_settingsMan->powerIs60Hz == 1 ? 2 : 1, true);

    m_qvlComm = new CQvlComm(this, m_folders.dataFolder, m_dbMan->database(), m_settingsMan,
                             QStringLiteral("MalvorantQml"), kAppVersion, kAppBuild);
    m_qvlScheduler = new CQvlScheduler(this, m_folders.dataFolder, m_dbMan->database(),
                                       m_settingsMan, m_fileMan, QStringLiteral("MalvorantQml"),
                                       kAppVersion, kAppBuild);

    const QString dcmVersion = QStringLiteral("%1 build: %2").arg(kAppVersion, kAppBuild);
    m_dcmComm = std::make_unique<CDcmComm>(this, m_dbMan->database(), m_settingsMan, 1, dcmVersion);
    m_dcmScheduler = std::make_unique<CDcmScheduler>(this, m_dbMan->database(), m_settingsMan,
                                                     m_fileMan, 1, dcmVersion);

    // Then: beat tone; display state; service properties file; viewer
    // defaults; the two beat analyses and the lead-in ring.

    createUnits();
    m_updateAndTerms->writeServiceProperties();
    debugLog(4, "leaving CQmlInterface constructor");
}

void CQmlInterface::createUnits()
{
    const EngineParts engine{&m_folders, m_dbMan, m_settingsMan, m_patientMan, m_fileMan,
                             &m_importHandOver};
    m_items = std::make_unique<QmlItems>();
    // The patient and recording views, the patient confirmation and the
    // terms are built when first needed, by the user or by a flow of the
    // bridge, not for the live view at start.
    for (const auto& [item, view] : {std::pair{qml::Item::PatientView, "patients"},
                                     std::pair{qml::Item::FileList, "recordings"},
                                     std::pair{qml::Item::PatientPopup, "patientPopup"},
                                     std::pair{qml::Item::SplashScreen, "splash"}}) {
        m_items->setBuiltOnDemand(item, [this, name = QString::fromLatin1(view)] {
            m_items->invoke<qml::C::QmlLoadView>(name);
        });
    }
    m_chartPublisher = std::make_unique<QmlChartPublisher>(*m_items);
    m_chart = std::make_unique<EcgChart>(m_settingsMan, m_fileMan, m_chartPublisher.get());
    m_publisher = std::make_unique<UiPublisher>(*m_items, engine, *m_chart);
    m_live = std::make_unique<LiveView>(*m_items, engine, *m_publisher, *m_chart);
    m_devices = std::make_unique<DeviceSelection>(*m_items, engine, *m_live);
    m_devices->setTimerParent(this);
    m_stream = std::make_unique<CRawStreamBt>(nullptr, m_devices.get(), m_devices.get());
    m_devices->setStream(m_stream.get());
    m_liveSource = std::make_unique<BtLiveSource>(m_stream.get());
    m_live->setSource(m_liveSource.get());
    m_live->setDeviceFinder([this] { m_devices->findDeviceAndStart(); });
    m_tone = std::make_unique<CTonePlayer>(
        [this] { return qmlEngine(m_items->object(qml::Item::MainWindow)); });
    m_tone->setSource(QStringLiteral("qrc:/beep.wav"));
    m_live->setTonePlayer(m_tone.get());
    m_live->loadSpeciesAnalysisParams(m_settingsMan->selectedSpecies);
    m_viewer = std::make_unique<ViewerSettings>(m_settingsMan, m_dbMan->database(), m_chart.get(),
                                                m_chartPublisher.get(), m_devices.get());
    m_live->setViewer(m_viewer.get());
    // The stored viewer values, once, before any screen binds.
    m_viewer->setViewerParams(m_viewer->storedParams());
    m_recording = std::make_unique<RecordingControl>(*m_items, engine, *m_publisher, *m_live,
                                                     *m_chart);
    m_live->setRecordingControl(m_recording.get());
    // Quitting (window closed, SIGTERM, logout) finishes a running recording.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                [this] { m_recording->finishOnQuit(); });
    m_patients = std::make_unique<PatientFlows>(*m_items, engine, *m_publisher, *m_live);
    m_telemed = std::make_unique<TelemedFlows>(*m_items, engine, *m_publisher, *m_patients,
                                               *m_qvlComm, m_qvlScheduler);
    m_dicomStatus = std::make_unique<DicomStatus>(*m_items, engine, m_dcmScheduler.get());
    m_dicom = std::make_unique<DicomFlows>(*m_items, engine, *m_publisher, *m_patients,
                                           m_dcmComm.get(), m_dcmScheduler.get(), *m_dicomStatus);
    // What the screen shows of the PACS queue follows the queue.
    m_publisher->setFileExtras([this] { m_dicom->publishPacsQueue(); });
    if (m_dcmScheduler)
        connect(m_dcmScheduler.get(), &CDcmScheduler::queueChanged, this,
                [this] { m_dicom->publishPacsQueue(); });
    m_patients->setPacsSender([this] { return m_dicom->sendCurrentRecording(false); });
    m_settingsPages = std::make_unique<SettingsPages>(*m_items, engine);
    m_updateAndTerms = std::make_unique<UpdateAndTerms>(*m_items, engine, *m_viewer, *m_patients,
                                                        *m_live);
    m_devices->setServicePropertiesWriter([this] { m_updateAndTerms->writeServiceProperties(); });
    m_replaceQuestion = std::make_unique<ReplaceQuestion>(*m_items);
    m_importExport = std::make_unique<ImportExport>(*m_items, engine, *m_patients, *m_replaceQuestion);
    m_report = std::make_unique<PdfReportFlow>(*m_items, engine, *m_publisher, *m_viewer, *m_chart,
                                               *m_replaceQuestion);
}

// The managers outlive the bridge and end with the process. Their addresses
// stay in a list that is never destroyed, so they remain reachable and a leak
// checker at exit sees them held, not lost.
static std::vector<const void*>& managersAfterBridge()
{
    static auto* kept = new std::vector<const void*>();
    return *kept;
}

CQmlInterface::~CQmlInterface()
{
    // The telemedicine client and scheduler answer to this bridge: no answer
    // may reach it once it is gone.
    delete m_qvlScheduler;
    delete m_qvlComm;
    if (m_dcmScheduler)
        disconnect(m_dcmScheduler.get(), nullptr, this, nullptr);
    for (const void* manager : {static_cast<const void*>(m_dbMan), static_cast<const void*>(m_settingsMan),
                                static_cast<const void*>(m_patientMan), static_cast<const void*>(m_fileMan)}) {
        if (manager)
            managersAfterBridge().push_back(manager);
    }
}

void CQmlInterface::purgeOldLogFiles()
{
    ::purgeOldLogFiles(m_folders.logFolder, QDateTime::currentDateTime(), kLogPurgeAgeSeconds);
}

void CQmlInterface::setAppPath(QString path)
{
    m_appPath = path;
}

void CQmlInterface::setDataModel(QObject* model, int idx)
{
    debugLog(4, "CQmlInterface::setDataModel() idx=" + toStdString(idx));
    if (idx == 1)
        m_dataModel1 = model;
    else
        m_dataModel2 = model;
}

void CQmlInterface::setFirstUpdate(bool firstUpdate)
{
    m_live->setFirstUpdate(firstUpdate);
}

bool CQmlInterface::firstUpdate() const
{
    return m_live->firstUpdate();
}

void CQmlInterface::postLogMessage(QString text)
{
    debugLog(2, "QML::" + text.toStdString());
}

// --- binders ---------------------------------------------------------------

using qml::Item;

void CQmlInterface::setMainWindowObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setMainWindowObject()");
    m_items->bind(Item::MainWindow, item);
    prepareToneIfOn();
    // The screens are built: what building them freed goes back once the
    // start-up has settled.
    m_memoryTrim.schedule();
}

void CQmlInterface::setMainWindowViewObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setMainWindowObject()");
    m_items->bind(Item::MainWindowView, item);
}

void CQmlInterface::setUiDataObject(QObject* item)
{
    m_publisher->uiDataBound(item);
}

void CQmlInterface::setUiDefsObject(QObject* item)
{
    m_publisher->uiDefsBound(item);
}

void CQmlInterface::setTopAreaObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setTopAreaObject()");
    m_items->bind(Item::TopArea, item);
}

void CQmlInterface::setBottomAreaObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setBottomAreaObject()");
    m_items->bind(Item::BottomArea, item);
}

void CQmlInterface::setEcgChartObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setEcgChartObject()");
    m_items->bind(Item::EcgChart, item);
}

void CQmlInterface::setGridChartObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setGridChartObject()");
    m_items->bind(Item::GridChart, item);
}

void CQmlInterface::setHorizontalFlickableObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setHorizontalFlickableObject()");
    m_items->bind(Item::Flickable, item);
    m_chart->setHorizontalFlickableWidth(m_chart->speed());
}

void CQmlInterface::setFileListDrawerObject(QObject* item)
{
    debugLog(4, "CQmlInterface::fileListDrawerOpened() patientName="
                    + m_patientMan->patientName.toStdString()
                    + ", patientId=" + toStdString(m_patientMan->patientId));
    m_items->bind(Item::FileList, item);
}

void CQmlInterface::setPatientListDrawerObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setPatientListDrawerObject()");
    m_items->bind(Item::PatientView, item);
}

void CQmlInterface::setPatientDrawerObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setPatientDrawerObject()");
    m_items->bind(Item::PatientView, item);
}

void CQmlInterface::setPatientSelectionPopupObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setSettingsDrawerObject()");
    m_items->bind(Item::PatientPopup, item);
}

void CQmlInterface::setSettingsDrawerObject(QObject* item)
{
    m_settingsPages->settingsViewBound(item);
    m_telemed->publishAccountState();
    m_dicomStatus->publish();
}

void CQmlInterface::setToolsSettingsObject(QObject* item)
{
    debugLog(4, "CQmlInterface::pQObjectToolsSettings()");
    m_items->bind(Item::ToolsView, item);
}

void CQmlInterface::setExportObject(QObject* item)
{
    debugLog(4, "CQmlInterface::pQObjectExportSettings()");
    m_items->bind(Item::ExportView, item);
}

void CQmlInterface::setSplashScreenObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setSplashScreenObject()");
    m_items->bind(Item::SplashScreen, item);
}

void CQmlInterface::setBrowserDrawerObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setBrowserDrawerObject()");
    m_items->bind(Item::BrowserDrawer, item);
}

void CQmlInterface::setDcmDrawerObject(QObject* item)
{
    debugLog(4, "CQmlInterface::setDcmDrawerObject()");
    m_items->bind(Item::DcmDrawer, item);
}

void CQmlInterface::setButtonSetObject(QObject*)
{
    debugLog(4, "CQmlInterface::setButtonSetObject()");
}

// --- publishing ------------------------------------------------------------

void CQmlInterface::setUiDataDisplayState(int displayState) { m_publisher->setDisplayState(displayState); }
void CQmlInterface::setUiDataPatient() { m_publisher->publishPatient(); }
void CQmlInterface::setUiDataFile() { m_publisher->publishFile(); }
void CQmlInterface::setUiDataFilePosition(int filePos) { m_publisher->publishFilePosition(filePos); }
void CQmlInterface::setUiDataFileQvl() { m_publisher->publishFileQvl(); }
void CQmlInterface::showFile() { m_publisher->showFile(); }

int CQmlInterface::getOsType()
{
    debugLog(4, "getOsType()");
    // 0 Windows, 1 iOS, 2 Android, 3 MacOS, 4 Linux; the screens are laid
    // out for the desktop program, which always answers 0.
    return 0;
}

void CQmlInterface::onCloseInterferenceDrawer() { m_live->onCloseInterferenceDrawer(); }
void CQmlInterface::onCloseLeadWarnDrawer() { m_live->onCloseLeadWarnDrawer(); }

// --- live view and device --------------------------------------------------

void CQmlInterface::updateStreamedEcg(QAbstractSeries* ecg0, QAbstractSeries* ecg1,
                                      QAbstractSeries* ecg2, QAbstractSeries* ecg3,
                                      QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                                      QAbstractSeries* cursor, QAbstractSeries* error,
                                      QAbstractSeries* marker)
{
    m_live->updateStreamedEcg(EcgSeries::from({ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, error, marker}));
}

void CQmlInterface::streamStartStop(bool start)
{
    m_live->streamStartStop(start);
    // The live view's first seconds build its shaders and analysis tables.
    if (start)
        m_memoryTrim.schedule();
}
void CQmlInterface::refreshInputList(int inputType) { m_devices->refreshInputList(inputType); }
void CQmlInterface::stopRefreshInputList(int inputType) { m_devices->stopRefreshInputList(inputType); }
void CQmlInterface::discoverDevices() { m_devices->discoverDevices(); }
void CQmlInterface::startDiscoveryTimer() { m_devices->startDiscoveryTimer(); }
void CQmlInterface::stopDiscoveryTimer() { m_devices->stopDiscoveryTimer(); }
void CQmlInterface::setInputType(int inputType) { m_devices->setInputType(inputType); }
void CQmlInterface::setInputChannel(int inputType, int index) { m_devices->setInputChannel(inputType, index); }
void CQmlInterface::cancelConnecting() { m_devices->cancelConnecting(); }

void CQmlInterface::rawStreamRespDiscoverBt(int kind, QString text, int count, BtDeviceEntry table[5])
{
    m_devices->rawStreamRespDiscoverBt(kind, text, count, table);
}

void CQmlInterface::rawStreamRespConnectBt(int error, QString text) { m_devices->rawStreamRespConnectBt(error, text); }
void CQmlInterface::onConnectRetry() { m_devices->onConnectRetry(); }
void CQmlInterface::winbluezAddDevice(QString name, quint64 address) { m_devices->winbluezAddDevice(name, address); }
void CQmlInterface::winbluezDisconnected() { m_devices->winbluezDisconnected(); }

// --- chart and viewer ------------------------------------------------------

void CQmlInterface::setSize(int width, int height) { m_chart->setSize(width, height); }

void CQmlInterface::initGrid(int gridIdx, QAbstractSeries* fine, QAbstractSeries* medium,
                             QAbstractSeries* coarse)
{
    m_chart->initGrid(gridIdx, qobject_cast<QXYSeries*>(fine), qobject_cast<QXYSeries*>(medium),
                      qobject_cast<QXYSeries*>(coarse));
}

void CQmlInterface::initEcg(QAbstractSeries* ecg0, QAbstractSeries* ecg1, QAbstractSeries* ecg2,
                            QAbstractSeries* ecg3, QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                            QAbstractSeries* cursor, QAbstractSeries* error, QAbstractSeries* marker)
{
    m_chart->initEcg(EcgSeries::from({ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, error, marker}));
    if (m_updateAndTerms->firstCheckPending())
        m_updateAndTerms->onCheckUpdate(false);
}

void CQmlInterface::updateStoredEcg(double posX, QAbstractSeries* ecg0, QAbstractSeries* ecg1,
                                    QAbstractSeries* ecg2, QAbstractSeries* ecg3,
                                    QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                                    QAbstractSeries* cursor, QAbstractSeries* error,
                                    QAbstractSeries* marker)
{
    m_chart->updateStoredEcg(posX, EcgSeries::from({ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, error, marker}));
}

void CQmlInterface::hideEcg(QAbstractSeries* ecg0, QAbstractSeries* ecg1, QAbstractSeries* ecg2,
                            QAbstractSeries* ecg3, QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                            QAbstractSeries* cursor, QAbstractSeries* error, QAbstractSeries* marker)
{
    m_chart->hideEcg(EcgSeries::from({ecg0, ecg1, ecg2, ecg3, ecg4, ecg5, cursor, error, marker}));
}

void CQmlInterface::setHorizontalFlickableWidth(double speed) { m_chart->setHorizontalFlickableWidth(speed); }

void CQmlInterface::setViewerParams(int ecgDisplayMode, double gain, double speed,
                                    bool powerFilterActive, bool artifactFilterActive,
                                    bool showHeartRateActive, bool playHeartBeatActive,
                                    bool showIndicatorHints)
{
    m_viewer->setViewerParams({ecgDisplayMode, gain, speed, powerFilterActive, artifactFilterActive,
                               showHeartRateActive, playHeartBeatActive, showIndicatorHints});
    prepareToneIfOn();
}

void CQmlInterface::updateViewerParams(int ecgDisplayMode, double gain, double speed,
                                       bool powerFilterActive, bool artifactFilterActive,
                                       bool showHeartRateActive, bool playHeartBeatActive,
                                       bool showIndicatorHints)
{
    m_viewer->updateViewerParams({ecgDisplayMode, gain, speed, powerFilterActive,
                                  artifactFilterActive, showHeartRateActive, playHeartBeatActive,
                                  showIndicatorHints});
    prepareToneIfOn();
}

// The sound library loads only once the beat tone is on.
void CQmlInterface::prepareToneIfOn()
{
    if (m_viewer->params().playHeartBeatActive)
        m_tone->prepare();
}

int CQmlInterface::getUiDataEcgModeValue() { return m_viewer->getUiDataEcgModeValue(); }
double CQmlInterface::getUiDataGainValue() { return m_viewer->getUiDataGainValue(); }
double CQmlInterface::getUiDataSpeedValue() { return m_viewer->getUiDataSpeedValue(); }
void CQmlInterface::setUiDataViewerSettings() { m_viewer->setUiDataViewerSettings(); }
void CQmlInterface::updateUiDataViewerSettings() { m_viewer->updateUiDataViewerSettings(); }

// --- recording and report --------------------------------------------------

void CQmlInterface::recordStartStop(bool doStart) { m_recording->recordStartStop(doStart); }
void CQmlInterface::recordingTimerExpired() { m_recording->recordingTimerExpired(); }
void CQmlInterface::setBookmark(int filPos, int posX) { m_recording->setBookmark(filPos, posX); }
void CQmlInterface::deleteBookmark() { m_recording->deleteBookmark(); }
void CQmlInterface::onRecordSpeciesSelector(int species) { m_recording->onRecordSpeciesSelector(species); }
void CQmlInterface::setSpeciesPicker(int setSpecies)
{
    m_recording->setSpeciesPicker(setSpecies);
    m_viewer->setUiDataViewerSettings();
}
void CQmlInterface::saveAsPdf(QUrl pdfUrl) { m_report->saveAsPdf(pdfUrl); }

void CQmlInterface::answerReplaceFile(bool replace)
{
    const auto agreed = m_replaceQuestion->answer(replace);
    if (!agreed)
        return;
    switch (agreed->kind) {
    case ReplaceQuestion::Kind::Pdf:
        m_report->saveAsPdf(agreed->folder, agreed->path);
        break;
    case ReplaceQuestion::Kind::ExportEcg:
        m_importExport->exportEcg(agreed->folder, agreed->path);
        break;
    case ReplaceQuestion::Kind::ExportDcm:
        m_importExport->exportDcm(agreed->folder, agreed->path);
        break;
    }
}

// --- patients and recordings -----------------------------------------------

void CQmlInterface::selectNShowPatient(int patientId, int ecgId) { m_patients->selectNShowPatient(patientId, ecgId); }
void CQmlInterface::patientSelected(int patId) { m_patients->patientSelected(patId); }
void CQmlInterface::setPatientCreatingNew(bool setPatientNew) { m_patients->setPatientCreatingNew(setPatientNew); }
void CQmlInterface::patientListDrawerOpened() { m_patients->patientListDrawerOpened(); }
void CQmlInterface::fileListDrawerOpened() { m_patients->fileListDrawerOpened(); }
int CQmlInterface::patientGetCurrentModelIndex() { return m_patients->patientGetCurrentModelIndex(); }
int CQmlInterface::fileGetCurrentModelIndex() { return m_patients->fileGetCurrentModelIndex(); }
void CQmlInterface::patientDrawerPopulateObject() { m_patients->patientDrawerPopulateObject(); }
void CQmlInterface::patientDrawerPopulateAge(qint64 ts) { m_patients->patientDrawerPopulateAge(ts); }
void CQmlInterface::patientDrawerPopulateBirthday(qint64 ts) { m_patients->patientDrawerPopulateBirthday(ts); }
void CQmlInterface::checkBirthdayInput(QString text) { m_patients->checkBirthdayInput(text); }
void CQmlInterface::checkAgeInput(QString years, QString months) { m_patients->checkAgeInput(years, months); }
QString CQmlInterface::getFirstEntryInBreedList(int speciesId) { return m_patients->getFirstEntryInBreedList(speciesId); }
void CQmlInterface::testPatientsForEcgs(int patientId) { m_patients->testPatientsForEcgs(patientId); }

int CQmlInterface::patientUpdated(int patId, QString patientName, QString patientId,
                                  QString patientFirst, QString patientLast, int species,
                                  QString breed, int gender, QString weightString,
                                  bool weightUnitIsPound, quint32 tsBirthdate)
{
    return m_patients->patientUpdated(patId, patientName, patientId, patientFirst, patientLast, species,
                               breed, gender, weightString, weightUnitIsPound, tsBirthdate);
}

void CQmlInterface::patientDeleted(int patId) { m_patients->patientDeleted(patId); }
void CQmlInterface::fileSelectedLocal(int patientId, int ecgId) { m_patients->fileSelectedLocal(patientId, ecgId); }
void CQmlInterface::fileDeletedLocal(int ecgId) { m_patients->fileDeletedLocal(ecgId); }
void CQmlInterface::fileDeletedLocalIgnorePatient(int ecgId) { m_patients->fileDeletedLocalIgnorePatient(ecgId); }

void CQmlInterface::patientSelectionPending(QString patientName, QString extId, QString owner,
                                            QString species, QString breed, QString sex,
                                            QString age, QString weight, QString studyDate)
{
    m_patients->patientSelectionPending(
        {patientName, extId, owner, species, breed, sex, age, weight, studyDate});
}

void CQmlInterface::patientSelectionConfirmed(bool userHasConfirmed, bool isImportedEcg)
{
    m_patients->patientSelectionConfirmed(userHasConfirmed, isImportedEcg);
}

void CQmlInterface::ecgPatientAssignment(int selectedIndex) { m_patients->ecgPatientAssignment(selectedIndex); }
void CQmlInterface::ecgPatientAssignmentFromImport(int patientId) { m_patients->ecgPatientAssignmentFromImport(patientId); }
void CQmlInterface::ecgPatientAssignmentAborted() { m_patients->ecgPatientAssignmentAborted(); }
bool CQmlInterface::storeImage(QString imgPath) { return m_patients->storeImage(imgPath); }
void CQmlInterface::retrieveImages() { m_patients->retrieveImages(); }

// --- telemedicine ----------------------------------------------------------

void CQmlInterface::uploadClicked(bool isLongClick) { m_telemed->uploadClicked(isLongClick); }
void CQmlInterface::continueQvlUpload(int fileId, bool completeNow) { m_telemed->continueQvlUpload(fileId, completeNow); }
void CQmlInterface::continueQvlUpload2(bool networkProblem, int errorType) { m_telemed->continueQvlUpload2(networkProblem, errorType); }
void CQmlInterface::continueQvlUpload2(bool networkProblem) { m_telemed->continueQvlUpload2(networkProblem, 0); }
QString CQmlInterface::qvlUploadFile(int fileId) { return m_telemed->qvlUploadFile(fileId); }
void CQmlInterface::queueFileUpload(int fileId, bool isQvlUpload) { m_telemed->queueFileUpload(fileId, isQvlUpload); }
void CQmlInterface::openQvlWindow(QString qvlUrl) { m_telemed->openQvlWindow(qvlUrl); }
void CQmlInterface::updateQvlSettings(QString user, QString pwd, QString url)
{
    m_telemed->updateQvlSettings(user, pwd, url);
    writeServiceProperties();
}

void CQmlInterface::qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse, bool clockOutOfSync)
{
    m_telemed->qvlRespCheckNetwork(hasNetworkError, hasErrorResponse, clockOutOfSync);
}

void CQmlInterface::qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse, bool accountVerified)
{
    m_telemed->qvlRespCheckUser(hasNetworkError, hasErrorResponse, accountVerified);
}

void CQmlInterface::qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseId)
{
    m_telemed->qvlRespInitiateCase(hasNetworkError, hasErrorResponse, fileId, caseId);
}

void CQmlInterface::qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseId)
{
    m_telemed->qvlRespAddFile(hasNetworkError, hasErrorResponse, fileId, caseId);
}

void CQmlInterface::qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseUrl)
{
    m_telemed->qvlRespGetCaseUrl(hasNetworkError, hasErrorResponse, fileId, caseUrl);
}

// The scheduler alone uses the modified-cases answers.
void CQmlInterface::qvlRespGetModifiedServices1(bool, bool, QString) {}
void CQmlInterface::qvlRespGetModifiedServices2(QString, QString) {}
void CQmlInterface::qvlRespGetModifiedServicesDone() {}
void CQmlInterface::qvlRespFileChanged() { m_telemed->qvlRespFileChanged(); }

void CQmlInterface::qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int fileId,
                                     QString caseId, QString status)
{
    m_telemed->qvlRespCaseState(hasNetworkError, hasErrorResponse, fileId, caseId, status);
}

void CQmlInterface::qvlRespBackgroundUploadFailed(int fileId, QString reason)
{
    m_telemed->qvlRespBackgroundUploadFailed(fileId, reason);
}

// --- DICOM -----------------------------------------------------------------

void CQmlInterface::dcmLoadMwl(QString patName, QString patExteId, QString ownerFirst, QString ownerLast)
{
    m_dicom->dcmLoadMwl(patName, patExteId, ownerFirst, ownerLast);
}

void CQmlInterface::dcmLoadPacsList(QString patName, QString patExteId, QString ownerFirst, QString ownerLast)
{
    m_dicom->dcmLoadPacsList(patName, patExteId, ownerFirst, ownerLast);
}

void CQmlInterface::dcmMwlItemSelected(int selectedRecordId) { m_dicom->dcmMwlItemSelected(selectedRecordId); }
void CQmlInterface::dcmMwlItemSelectedForImport(int selectedRecordId) { m_dicom->dcmMwlItemSelectedForImport(selectedRecordId); }
void CQmlInterface::dcmPacsItemSelected(int selectedIdx) { m_dicom->dcmPacsItemSelected(selectedIdx); }
void CQmlInterface::dcmContinueFileUpload(int fileId) { m_dicom->dcmContinueFileUpload(fileId); }

void CQmlInterface::updateDcmSettingsGeneral(QString name, QString port, QString institution)
{
    m_dicom->updateDcmSettingsGeneral(name, port, institution);
}

void CQmlInterface::updateDcmSettingsMwl(QString title, QString ip, QString port) { m_dicom->updateDcmSettingsMwl(title, ip, port); }
void CQmlInterface::updateDcmSettingsPacs(QString title, QString ip, QString port) { m_dicom->updateDcmSettingsPacs(title, ip, port); }

void CQmlInterface::dcmRespSendPacsFile(bool hasNetworkError, bool hasErrorResponse, bool isBackgroundUpload)
{
    m_dicom->dcmRespSendPacsFile(hasNetworkError, hasErrorResponse, isBackgroundUpload);
}

void CQmlInterface::dcmRespLoadMwl(bool hasNetworkError, bool hasErrorResponse) { m_dicom->dcmRespLoadMwl(hasNetworkError, hasErrorResponse); }
void CQmlInterface::dcmRespLoadPacsList(bool hasNetworkError, bool hasErrorResponse) { m_dicom->dcmRespLoadPacsList(hasNetworkError, hasErrorResponse); }
void CQmlInterface::dcmRespLoadFromPacs(bool hasNetworkError, bool hasErrorResponse) { m_dicom->dcmRespLoadFromPacs(hasNetworkError, hasErrorResponse); }
void CQmlInterface::dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse) { m_dicom->dcmRespTestMwlCredentials(hasNetworkError, hasErrorResponse); }
void CQmlInterface::dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse) { m_dicom->dcmRespTestPacsCredentials(hasNetworkError, hasErrorResponse); }

// --- settings, update, terms -----------------------------------------------

void CQmlInterface::getCurrentIpAddress() { m_settingsPages->getCurrentIpAddress(); }

void CQmlInterface::updateUnclassifiedSettings(bool powerIs60Hz, int recordingTime, bool weightUnitIsPound)
{
    m_settingsPages->updateUnclassifiedSettings(powerIs60Hz, recordingTime, weightUnitIsPound);
}

bool CQmlInterface::checkForUpdateInstaller(const QString& folder, bool force)
{
    return m_updateAndTerms->checkForUpdateInstaller(folder, force);
}

void CQmlInterface::onCheckUpdate(bool force) { m_updateAndTerms->onCheckUpdate(force); }
void CQmlInterface::onCheckUpdate() { m_updateAndTerms->onCheckUpdate(false); }
void CQmlInterface::doUpdate(bool yes) { m_updateAndTerms->doUpdate(yes); }
void CQmlInterface::writeServiceProperties() { m_updateAndTerms->writeServiceProperties(); }
void CQmlInterface::setupCompleted() { m_updateAndTerms->setupCompleted(); }
void CQmlInterface::splashScreenTucAction(int tucAccepted) { m_updateAndTerms->splashScreenTucAction(tucAccepted); }

// --- import and export -----------------------------------------------------

void CQmlInterface::exportEcg(QUrl exportUrl) { m_importExport->exportEcg(exportUrl); }
void CQmlInterface::exportDcm(QUrl exportUrl) { m_importExport->exportDcm(exportUrl); }
void CQmlInterface::getExportFileName() { m_importExport->getExportFileName(); }
void CQmlInterface::importEcg(QUrl impurl) { m_importExport->importEcg(impurl); }
void CQmlInterface::importDcm(QUrl impurl) { m_importExport->importDcm(impurl); }
