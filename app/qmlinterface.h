#ifndef MALVORANT_QMLINTERFACE_H
#define MALVORANT_QMLINTERFACE_H

#include "appfolders.h"
#include "bridgeparts.h"
#include "dcmcallbackinterface.h"
#include "memorytrim.h"
#include "qvlcallbackinterface.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class CDbMan;
class CDcmComm;
class CDcmScheduler;
class CFileMan;
class CPatientMan;
class CSettingsMan;
class CQvlComm;
class CQvlScheduler;
class QmlItems;
class QmlChartPublisher;
class UiPublisher;
class EcgChart;
class ViewerSettings;
class LiveView;
class DeviceSelection;
class RecordingControl;
class PatientFlows;
class TelemedFlows;
class DicomFlows;
class DicomStatus;
class SettingsPages;
class UpdateAndTerms;
class ImportExport;
class PdfReportFlow;
class ReplaceQuestion;
class CRawStreamBt;
class CTonePlayer;
class BtLiveSource;
struct BtDeviceEntry;

// The one object behind the QML user interface, published as "cQmlInterface".
// Its constructor brings the program up and creates every manager; they live
// until the process ends. Its slots are the whole contract with the QML; each
// hands over to the unit that owns the concern.
class CQmlInterface : public QObject, public CDcmCallbackInterface, public CQvlCallbackInterface
{
    Q_OBJECT

public:
    explicit CQmlInterface(QObject* parent = nullptr);
    ~CQmlInterface() override;

    CQmlInterface(const CQmlInterface&) = delete;
    CQmlInterface& operator=(const CQmlInterface&) = delete;

    const AppFolders& folders() const { return m_folders; }
    const QString& appPath() const { return m_appPath; }
    // The list model given as model 1 or model 2 (any other number).
    QObject* dataModel(int idx) const { return idx == 1 ? m_dataModel1 : m_dataModel2; }
    bool firstUpdate() const;
    CDbMan* dbMan() const { return m_dbMan; }
    CSettingsMan* settingsMan() const { return m_settingsMan; }
    CPatientMan* patientMan() const { return m_patientMan; }
    CFileMan* fileMan() const { return m_fileMan; }
    CDcmComm* dcmComm() const { return m_dcmComm.get(); }
    CDcmScheduler* dcmScheduler() const { return m_dcmScheduler.get(); }
    CQvlComm* qvlComm() const { return m_qvlComm; }
    CQvlScheduler* qvlScheduler() const { return m_qvlScheduler; }
    QmlItems& items() const { return *m_items; }
    UiPublisher& publisher() const { return *m_publisher; }
    UpdateAndTerms& updateAndTerms() const { return *m_updateAndTerms; }
    LiveView& liveView() const { return *m_live; }
    RecordingControl& recordingControl() const { return *m_recording; }
    DeviceSelection& deviceSelection() const { return *m_devices; }
    CRawStreamBt* stream() const { return m_stream.get(); }
    CTonePlayer& tonePlayer() const { return *m_tone; }
    EcgChart& chart() const { return *m_chart; }
    ViewerSettings& viewer() const { return *m_viewer; }
    PatientFlows& patientFlows() const { return *m_patients; }
    DicomFlows& dicomFlows() const { return *m_dicom; }
    DicomStatus& dicomStatus() const { return *m_dicomStatus; }
    const ImportHandOver& importHandOver() const { return m_importHandOver; }

    // Bridge-side operations that other code calls (no QML caller).
    void selectNShowPatient(int patientId, int ecgId);
    void setHorizontalFlickableWidth(double speed);
    void setUiDataViewerSettings();
    void updateUiDataViewerSettings();
    bool checkForUpdateInstaller(const QString& folder, bool force);
    void writeServiceProperties();
    QString qvlUploadFile(int fileId);

    // Answers of the acquisition stream and its socket layer.
    void rawStreamRespDiscoverBt(int kind, QString text, int count, BtDeviceEntry table[5]);
    void rawStreamRespConnectBt(int error, QString text);
    void onConnectRetry();
    void winbluezAddDevice(QString name, quint64 address);
    void winbluezDisconnected();

    // Answers of the telemedicine client and scheduler.
    void qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse, bool clockOutOfSync) override;
    void qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse, bool accountVerified) override;
    void qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseId) override;
    void qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseId) override;
    void qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseUrl) override;
    void qvlRespGetModifiedServices1(bool hasNetworkError, bool hasErrorResponse, QString token) override;
    void qvlRespGetModifiedServices2(QString caseId, QString status) override;
    void qvlRespGetModifiedServicesDone() override;
    void qvlRespFileChanged() override;
    void qvlRespBackgroundUploadFailed(int fileId, QString reason) override;
    void qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int fileId, QString caseId,
                          QString status) override;

    // Answers of the DICOM front and its background sender.
    void dcmRespSendPacsFile(bool hasNetworkError, bool hasErrorResponse, bool isBackgroundUpload) override;
    void dcmRespLoadMwl(bool hasNetworkError, bool hasErrorResponse) override;
    void dcmRespLoadPacsList(bool hasNetworkError, bool hasErrorResponse) override;
    void dcmRespLoadFromPacs(bool hasNetworkError, bool hasErrorResponse) override;
    void dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse) override;
    void dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse) override;

public slots:
    // Start-up and log.
    void setAppPath(QString path);
    void setDataModel(QObject* model, int idx);
    void setFirstUpdate(bool firstUpdate);
    void postLogMessage(QString text);

    // Binders: QML items hand themselves over.
    void setMainWindowObject(QObject* item);
    void setMainWindowViewObject(QObject* item);
    void setUiDataObject(QObject* item);
    void setUiDefsObject(QObject* item);
    void setTopAreaObject(QObject* item);
    void setBottomAreaObject(QObject* item);
    void setEcgChartObject(QObject* item);
    void setGridChartObject(QObject* item);
    void setHorizontalFlickableObject(QObject* item);
    void setFileListDrawerObject(QObject* item);
    void setPatientListDrawerObject(QObject* item);
    void setPatientDrawerObject(QObject* item);
    void setPatientSelectionPopupObject(QObject* item);
    void setSettingsDrawerObject(QObject* item);
    void setToolsSettingsObject(QObject* item);
    void setExportObject(QObject* item);
    void setSplashScreenObject(QObject* item);
    void setBrowserDrawerObject(QObject* item);
    void setDcmDrawerObject(QObject* item);
    void setButtonSetObject(QObject* item);

    // Publishing the current patient, recording and display state.
    void setUiDataDisplayState(int displayState);
    void setUiDataPatient();
    void setUiDataFile();
    void setUiDataFilePosition(int filePos);
    void setUiDataFileQvl();
    void showFile();
    int getOsType();
    void onCloseInterferenceDrawer();
    void onCloseLeadWarnDrawer();

    // Live view.
    void updateStreamedEcg(QAbstractSeries* ecg0, QAbstractSeries* ecg1, QAbstractSeries* ecg2,
                           QAbstractSeries* ecg3, QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                           QAbstractSeries* cursor, QAbstractSeries* error, QAbstractSeries* marker);
    void streamStartStop(bool start);

    // Device discovery and selection.
    void refreshInputList(int inputType);
    void stopRefreshInputList(int inputType);
    void discoverDevices();
    void startDiscoveryTimer();
    void stopDiscoveryTimer();
    void setInputType(int inputType);
    void setInputChannel(int inputType, int index);
    void cancelConnecting();

    // ECG chart.
    void setSize(int width, int height);
    void initGrid(int gridIdx, QAbstractSeries* fine, QAbstractSeries* medium,
                  QAbstractSeries* coarse);
    void initEcg(QAbstractSeries* ecg0, QAbstractSeries* ecg1, QAbstractSeries* ecg2,
                 QAbstractSeries* ecg3, QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                 QAbstractSeries* cursor, QAbstractSeries* error, QAbstractSeries* marker);
    void updateStoredEcg(double posX, QAbstractSeries* ecg0, QAbstractSeries* ecg1,
                         QAbstractSeries* ecg2, QAbstractSeries* ecg3, QAbstractSeries* ecg4,
                         QAbstractSeries* ecg5, QAbstractSeries* cursor, QAbstractSeries* error,
                         QAbstractSeries* marker);
    void hideEcg(QAbstractSeries* ecg0, QAbstractSeries* ecg1, QAbstractSeries* ecg2,
                 QAbstractSeries* ecg3, QAbstractSeries* ecg4, QAbstractSeries* ecg5,
                 QAbstractSeries* cursor, QAbstractSeries* error, QAbstractSeries* marker);

    // Viewer settings.
    void setViewerParams(int ecgDisplayMode, double gain, double speed, bool powerFilterActive,
                         bool artifactFilterActive, bool showHeartRateActive,
                         bool playHeartBeatActive, bool showIndicatorHints);
    void updateViewerParams(int ecgDisplayMode, double gain, double speed, bool powerFilterActive,
                            bool artifactFilterActive, bool showHeartRateActive,
                            bool playHeartBeatActive, bool showIndicatorHints);
    int getUiDataEcgModeValue();
    double getUiDataGainValue();
    double getUiDataSpeedValue();

    // Recording, bookmarks and species presets.
    void recordStartStop(bool doStart);
    void recordingTimerExpired();
    void setBookmark(int filPos, int posX);
    void deleteBookmark();
    void onRecordSpeciesSelector(int species);
    void setSpeciesPicker(int setSpecies);

    // PDF report.
    void saveAsPdf(QUrl pdfUrl);
    // The user's answer to "Replace File" of a report or an export: true
    // writes it again over the file that is there, false keeps that file.
    void answerReplaceFile(bool replace);

    // Patients and recordings.
    void patientSelected(int patId);
    void setPatientCreatingNew(bool setPatientNew);
    void patientListDrawerOpened();
    void fileListDrawerOpened();
    int patientGetCurrentModelIndex();
    int fileGetCurrentModelIndex();
    void patientDrawerPopulateObject();
    void patientDrawerPopulateAge(qint64 ts);
    void patientDrawerPopulateBirthday(qint64 ts);
    void checkBirthdayInput(QString birthdayTextFieldMMYYYY);
    void checkAgeInput(QString ageTextFieldY, QString ageTextFieldM);
    QString getFirstEntryInBreedList(int speciesId);
    void testPatientsForEcgs(int patientId);
    // The patient's id, -1 when it could not be stored.
    int patientUpdated(int patId, QString patientName, QString patientId, QString patientFirst,
                       QString patientLast, int species, QString breed, int gender,
                       QString weightString, bool weightUnitIsPound, quint32 tsBirthdate);
    void patientDeleted(int patId);
    void fileSelectedLocal(int patientId, int ecgId);
    void fileDeletedLocal(int ecgId);
    void fileDeletedLocalIgnorePatient(int ecgId);
    void patientSelectionPending(QString patientName, QString extId, QString owner, QString species,
                                 QString breed, QString sex, QString age, QString weight,
                                 QString studyDate);
    void patientSelectionConfirmed(bool userHasConfirmed, bool isImportedEcg);
    void ecgPatientAssignment(int selectedIndex);
    void ecgPatientAssignmentFromImport(int patientId);
    void ecgPatientAssignmentAborted();
    bool storeImage(QString imgPath);
    void retrieveImages();

    // Telemedicine.
    void uploadClicked(bool isLongClick);
    void continueQvlUpload(int fileId, bool completeNow);
    void continueQvlUpload2(bool networkProblem, int errorType);
    void continueQvlUpload2(bool networkProblem);
    void queueFileUpload(int fileId, bool isQvlUpload);
    void openQvlWindow(QString qvlUrl);
    void updateQvlSettings(QString qvlUserName, QString qvlPwd, QString qvlUrl);

    // DICOM.
    void dcmLoadMwl(QString patName, QString patExteId, QString ownerFirst, QString ownerLast);
    void dcmLoadPacsList(QString patName, QString patExteId, QString ownerFirst, QString ownerLast);
    void dcmMwlItemSelected(int selectedRecordId);
    void dcmMwlItemSelectedForImport(int selectedRecordId);
    void dcmPacsItemSelected(int selectedIdx);
    void dcmContinueFileUpload(int fileId);
    void updateDcmSettingsGeneral(QString dcmModalityName, QString dcmModalityPort,
                                  QString dcmInstitutionName);
    void updateDcmSettingsMwl(QString dcmMwlTitle, QString dcmMwlIp, QString dcmMwlPort);
    void updateDcmSettingsPacs(QString dcmPacsTitle, QString dcmPacsIp, QString dcmPacsPort);

    // Settings pages.
    void getCurrentIpAddress();
    void updateUnclassifiedSettings(bool powerIs60Hz, int recordingTime, bool weightUnitIsPound);

    // Update check, terms of use and the end of start-up.
    void onCheckUpdate(bool force);
    void onCheckUpdate();
    void doUpdate(bool yes);
    void setupCompleted();
    void splashScreenTucAction(int tucAccepted);

    // Import and export.
    void exportEcg(QUrl exportUrl);
    void exportDcm(QUrl exportUrl);
    void getExportFileName();
    void importEcg(QUrl impurl);
    void importDcm(QUrl impurl);

private:
    void purgeOldLogFiles();
    void createUnits();
    void prepareToneIfOn();

    AppFolders m_folders;
    QString m_appPath;
    QObject* m_dataModel1 = nullptr;
    QObject* m_dataModel2 = nullptr;
    int m_dbFromVersion = 0;
    int m_dbToVersion = 0;
    CDbMan* m_dbMan = nullptr;
    CSettingsMan* m_settingsMan = nullptr;
    CPatientMan* m_patientMan = nullptr;
    CFileMan* m_fileMan = nullptr;
    // Ended before the managers they use; each waits a bounded time for its job.
    std::unique_ptr<CDcmComm> m_dcmComm;
    std::unique_ptr<CDcmScheduler> m_dcmScheduler;
    CQvlComm* m_qvlComm = nullptr;
    CQvlScheduler* m_qvlScheduler = nullptr;

    // The units, in the order they are made: each may use the ones above it.
    std::unique_ptr<QmlItems> m_items;
    std::unique_ptr<QmlChartPublisher> m_chartPublisher;
    std::unique_ptr<EcgChart> m_chart;
    std::unique_ptr<UiPublisher> m_publisher;
    std::unique_ptr<LiveView> m_live;
    std::unique_ptr<DeviceSelection> m_devices;
    std::unique_ptr<ViewerSettings> m_viewer;
    std::unique_ptr<RecordingControl> m_recording;
    std::unique_ptr<PatientFlows> m_patients;
    std::unique_ptr<TelemedFlows> m_telemed;
    std::unique_ptr<DicomStatus> m_dicomStatus;
    std::unique_ptr<DicomFlows> m_dicom;
    std::unique_ptr<SettingsPages> m_settingsPages;
    std::unique_ptr<UpdateAndTerms> m_updateAndTerms;
    std::unique_ptr<ImportExport> m_importExport;
    ImportHandOver m_importHandOver;
    std::unique_ptr<PdfReportFlow> m_report;
    std::unique_ptr<ReplaceQuestion> m_replaceQuestion;
    std::unique_ptr<CTonePlayer> m_tone;
    MemoryTrim m_memoryTrim;
    // Last: the stream reports to the device selection until it is gone.
    std::unique_ptr<CRawStreamBt> m_stream;
    std::unique_ptr<BtLiveSource> m_liveSource;
};

#endif
