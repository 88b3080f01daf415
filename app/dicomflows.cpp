#include "dicomflows.h"

#include "dbman.h"
#include "dcmcomm.h"
#include "dcmexportpatient.h"
#include "dcmscheduler.h"
#include "debuglog.h"
#include "fileman.h"
#include "patientflows.h"
#include "patientman.h"
#include "qmlitems.h"
#include "settingsman.h"
#include "uipublisher.h"

#include <QFile>
#include <QtDebug>

using namespace qml;

namespace {

const char* flagText(bool flag) { return flag ? "true" : "false"; }

void logAnswer(const char* slot, bool hasNetworkError, bool hasErrorResponse)
{
    debugLog(4, std::string("CQmlInterface::") + slot + "()  hasNetworkError="
                    + flagText(hasNetworkError) + ", hasErrorResponse=" + flagText(hasErrorResponse));
}

} // namespace

DicomFlows::DicomFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                       PatientFlows& patients, CDcmComm* comm, CDcmScheduler* scheduler)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_patients(patients),
      m_comm(comm), m_scheduler(scheduler)
{
}

void DicomFlows::alert(const QString& text)
{
    m_items.invoke<C::QmlAlertBoxDcmCommError>(text);
}

// --- queries ---------------------------------------------------------------

void DicomFlows::dcmLoadMwl(const QString& patName, const QString& patExtId,
                            const QString& ownerFirst, const QString& ownerLast)
{
    debugLog(2, "CQmlInterface::dcmLoadMwl()");
    if (m_comm->loadMwl(patName, patExtId, ownerFirst, ownerLast))
        m_items.set<P::BusyIndicatorRunning>(true);
    else
        alert(m_comm->getLastError());
}

void DicomFlows::dcmLoadPacsList(const QString& patName, const QString& patExtId,
                                 const QString& ownerFirst, const QString& ownerLast)
{
    debugLog(2, "CQmlInterface::dcmLoadPacsList()");
    if (m_comm->loadPacsList(patName, patExtId, ownerFirst, ownerLast))
        m_items.set<P::BusyIndicatorRunning>(true);
    else
        alert(m_comm->getLastError());
}

void DicomFlows::dcmRespLoadMwl(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespLoadMwl", hasNetworkError, hasErrorResponse);
    m_items.set<P::BusyIndicatorRunning>(false);
    if (hasNetworkError || hasErrorResponse) {
        debugLogError("CQmlInterface::dcmRespLoadMwl() ErrorResponse=" + m_comm->getLastErrorUtf8());
        alert(m_comm->getLastError());
    }
    // The worklist screen shows the table as it is, the old rows after a failure.
    m_items.invoke<C::QmlMwlRetrievalCompleted>();
}

void DicomFlows::dcmRespLoadPacsList(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespLoadPacsList", hasNetworkError, hasErrorResponse);
    m_items.set<P::BusyIndicatorRunning>(false);
    if (hasNetworkError || hasErrorResponse) {
        debugLogError("CQmlInterface::dcmRespLoadPacsList() ErrorResponse="
                      + m_comm->getLastErrorUtf8());
        alert(m_comm->getLastError());
        return;
    }
    m_items.invoke<C::QmlPacsListRetrievalCompleted>();
}

// --- worklist entry for the pending recording ------------------------------

void DicomFlows::dcmMwlItemSelected(int selectedRecordId)
{
    debugLog(2, "CQmlInterface::dcmMwlItemSelected() selectedIdx=" + toStdString(selectedRecordId));
    QString studyUid;
    std::int64_t studyTime = 0;
    const int patientId = m_engine.patients->createPatientfromDcm(selectedRecordId, true, studyUid,
                                                                  studyTime);
    if (patientId < 0) {
        // Nothing is given to a patient that does not exist.
        debugLogError("CQmlInterface::dcmMwlItemSelected() no patient from worklist entry "
                      + toStdString(selectedRecordId));
        m_items.invoke<C::QmlAlertBoxFileReadError>();
        return;
    }
    CFileMan& files = *m_engine.files;
    const bool forPacs = m_engine.settings->dicomPacsConfigStatus == 1;
    if (!files.assignPendingEcg(patientId, forPacs)) {
        debugLogError("CQmlInterface::dcmMwlItemSelected() assignment failed, patientId="
                      + toStdString(patientId));
        m_items.invoke<C::QmlAlertBoxFileWriteError>(false);
        m_patients.selectNShowPatient(patientId, -1);
        return;
    }
    const int ecgId = files.currentEcgId();
    m_publisher.setDisplayState(UiPublisher::ShowingFileAssigned);
    // The recording just assigned, even when an older study is dated later.
    m_patients.selectNShowPatient(patientId, ecgId);

    if (forPacs) {
        debugLog(2, "CQmlInterface::dcmMwlItemSelected starting upload to pacs");
        sendCurrentRecording(false);
    } else {
        debugLog(2, "CQmlInterface::dcmMwlItemSelected no upload to pacs, dcmPacsAccountVerified="
                        + toStdString(m_engine.settings->dicomPacsConfigStatus));
    }
}

void DicomFlows::dcmMwlItemSelectedForImport(int selectedRecordId)
{
    debugLog(2, "CQmlInterface::dcmMwlItemSelectedForImport() selectedIdx="
                    + toStdString(selectedRecordId));
    // Checked first: no patient is made for an import that is gone.
    if (!m_patients.hasImportToAssign()) {
        debugLogError("CQmlInterface::dcmMwlItemSelectedForImport() no imported recording waits");
        m_items.invoke<C::QmlAlertBoxFileReadError>();
        return;
    }
    QString studyUid;
    std::int64_t studyTime = 0;
    const int patientId = m_engine.patients->createPatientfromDcm(selectedRecordId, true, studyUid,
                                                                  studyTime);
    if (patientId < 0) {
        debugLogError("CQmlInterface::dcmMwlItemSelectedForImport() no patient from worklist entry "
                      + toStdString(selectedRecordId));
        m_items.invoke<C::QmlAlertBoxFileReadError>();
        return;
    }
    // The worklist's study time is the recording's start.
    m_patients.assignImportedRecording(patientId, studyUid, studyTime, "dcmMwlItemSelected");
}

// --- sending ---------------------------------------------------------------

bool DicomFlows::sendCurrentRecording(bool showBusy)
{
    CFileMan& files = *m_engine.files;
    const int ecgId = files.currentEcgId();
    const QString path = files.dataFolder() + files.currentFileName();
    // Breed and weight of the recording's own patient, whoever is shown.
    DcmExportPatient patient;
    loadExportPatient(CDbMan::threadDatabase(), files.currentFileName(), patient);
    if (ecgId < 0
        || !m_comm->sendPacsFile(path, files.currentStudyUid(), patient.breedDescription, patient.weight)) {
        alert(ecgId < 0 ? QStringLiteral("No recording to send") : m_comm->getLastError());
        return false;
    }
    m_sendEcgId = ecgId;
    if (showBusy)
        m_items.set<P::BusyIndicatorRunning>(true);
    return true;
}

void DicomFlows::dcmContinueFileUpload(int)
{
    debugLog(2, "CQmlInterface::dcmContinueFileUpload()");
    sendCurrentRecording(true);
}

void DicomFlows::dcmRespSendPacsFile(bool hasNetworkError, bool hasErrorResponse,
                                     bool isBackgroundUpload)
{
    logAnswer("dcmRespSendPacsFile", hasNetworkError, hasErrorResponse);
    const bool failed = hasNetworkError || hasErrorResponse;
    CFileMan& files = *m_engine.files;
    if (isBackgroundUpload) {
        // Belongs to no user request: a foreground job may still be running.
        if (!failed)
            m_items.set<P::FilePacsStatus>(files.currentPacsStatus());
        return;
    }
    m_items.set<P::BusyIndicatorRunning>(false);
    const int ecgId = m_sendEcgId;
    m_sendEcgId = -1;
    if (failed) {
        debugLogError("CQmlInterface::dcmRespSendPacsFile() ErrorResponse=" + m_comm->getLastErrorUtf8());
        alert(m_comm->getLastError());
        return;
    }
    // The recording that was sent, whichever is shown now.
    if (ecgId < 0 || !files.setPacsTs(ecgId))
        debugLogError("CQmlInterface::dcmRespSendPacsFile() could not mark ecgId=" + toStdString(ecgId));
    m_items.invoke<C::QmlAlertBoxDcmUploadCompleted>();
    m_items.set<P::FilePacsStatus>(files.currentPacsStatus());
}

// --- fetching a stored study -----------------------------------------------

void DicomFlows::dcmPacsItemSelected(int selectedIdx)
{
    debugLog(2, "CQmlInterface::dcmPacsItemSelected() selectedIdx=" + toStdString(selectedIdx));
    m_items.set<P::StreamRefreshTimerRunning>(false);
    m_publisher.setDisplayState(UiPublisher::ShowingFileAssigned);

    QString studyUid;
    std::int64_t studyTime = 0;
    const int patientId = m_engine.patients->createPatientfromDcm(selectedIdx, false, studyUid,
                                                                  studyTime);
    if (patientId < 0) {
        debugLogError("CQmlInterface::dcmPacsItemSelected() no patient from PACS entry "
                      + toStdString(selectedIdx));
        m_items.invoke<C::QmlAlertBoxFileReadError>();
        return;
    }
    CFileMan& files = *m_engine.files;
    const int ecgId = files.checkFileExists(patientId, 1, studyUid, studyTime);
    if (ecgId != -1) {
        m_patients.selectNShowPatient(patientId, ecgId);
        return;
    }
    if (m_comm->isBusy()) {
        // Checked first: the running fetch holds the one reservation.
        alert(QStringLiteral("Dicom currently busy"));
        m_patients.selectNShowPatient(patientId, -1);
        return;
    }
    const QString fileName = files.reserveNextFilename(patientId, 1, studyUid, studyTime);
    if (fileName.isEmpty()) {
        debugLogError("CQmlInterface::dcmPacsItemSelected() no file name could be reserved");
        m_items.invoke<C::QmlAlertBoxFileWriteError>(true);
        m_patients.selectNShowPatient(patientId, -1);
        return;
    }
    if (!m_comm->loadFromPacs(studyUid, files.dataFolder(), fileName)) {
        // No answer follows: the reservation would block every later fetch.
        files.releaseReservation();
        alert(m_comm->getLastError());
        m_patients.selectNShowPatient(patientId, -1);
        return;
    }
    m_fetchPatientId = patientId;
    m_items.set<P::BusyIndicatorRunning>(true);
}

void DicomFlows::dcmRespLoadFromPacs(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespLoadFromPacs", hasNetworkError, hasErrorResponse);
    m_items.set<P::BusyIndicatorRunning>(false);
    CFileMan& files = *m_engine.files;
    const int patientId = m_fetchPatientId;
    m_fetchPatientId = -1;
    if (hasNetworkError || hasErrorResponse) {
        files.releaseReservation();
        debugLogError("CQmlInterface::dcmRespLoadFromPacs() ErrorResponse=" + m_comm->getLastErrorUtf8());
        alert(m_comm->getLastError());
        return;
    }
    // Already on the PACS: the row is stored as sent.
    if (!files.setEntryCnt() || !files.commitNextFilename(true)) {
        files.releaseReservation();
        debugLogError("CQmlInterface::dcmRespLoadFromPacs() fetched file could not be stored");
        m_items.invoke<C::QmlAlertBoxFileWriteError>(true);
        return;
    }
    m_patients.selectNShowPatient(patientId, files.currentEcgId());
}

// --- settings and connection tests -----------------------------------------

void DicomFlows::saveDicomSettings()
{
    if (!m_engine.settings->saveSettings(0x40))
        debugLogError("CQmlInterface DICOM settings could not be saved");
}

void DicomFlows::updateConfigs()
{
    m_comm->updateConfig();
    if (m_scheduler)
        m_scheduler->updateConfig();
}

void DicomFlows::updateDcmSettingsGeneral(const QString& name, const QString& port,
                                          const QString& institution)
{
    debugLog(2, "CQmlInterface::updateDcmSettingsGeneral()");
    CSettingsMan& s = *m_engine.settings;
    s.dcmModalityName = name;
    s.dcmModalityPort = port.toInt(nullptr, 10);
    s.dcmInstitutionName = institution;
    saveDicomSettings();
    updateConfigs();
}

void DicomFlows::updateDcmSettingsMwl(const QString& title, const QString& ip, const QString& port)
{
    debugLog(2, "CQmlInterface::updateDcmSettingsMwl()");
    const bool complete = !title.isEmpty() && !ip.isEmpty() && !port.isEmpty();
    CSettingsMan& s = *m_engine.settings;
    s.dcmMwlTitle = title;
    s.dcmMwlIp = ip;
    s.dcmMwlPort = port.toInt(nullptr, 10);
    s.dicomMwlConfigStatus = 0;
    saveDicomSettings();
    if (complete) {
        m_items.set<P::DicomMwlConfigStatus>(2);
        updateConfigs();
        qDebug() << "starting MWL credentials check";
        // Its answer starts the PACS test.
        m_comm->testMwlCredentials();
        return;
    }
    m_items.set<P::DicomMwlConfigStatus>(0);
    if (m_pacsCheckPending)
        m_comm->testPacsCredentials();
}

void DicomFlows::updateDcmSettingsPacs(const QString& title, const QString& ip, const QString& port)
{
    debugLog(2, "CQmlInterface::updateDcmSettingsPacs()");
    const bool complete = !title.isEmpty() && !ip.isEmpty() && !port.isEmpty();
    CSettingsMan& s = *m_engine.settings;
    s.dcmPacsTitle = title;
    s.dcmPacsIp = ip;
    s.dcmPacsPort = port.toInt(nullptr, 10);
    s.dicomPacsConfigStatus = 0;
    saveDicomSettings();
    if (complete) {
        m_items.set<P::DicomPacsConfigStatus>(2);
        updateConfigs();
        qDebug() << "starting PACS credentials check";
        m_pacsCheckPending = true;
        return;
    }
    m_pacsCheckPending = false;
    m_items.set<P::DicomPacsConfigStatus>(0);
}

void DicomFlows::dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespTestMwlCredentials", hasNetworkError, hasErrorResponse);
    const int status = hasNetworkError || hasErrorResponse ? 0 : 1;
    m_engine.settings->dicomMwlConfigStatus = status;
    qDebug() << "end MWL credentials check, result=" << status;
    saveDicomSettings();
    m_items.set<P::DicomMwlConfigStatus>(status);
    m_comm->testPacsCredentials();
}

void DicomFlows::dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespTestPacsCredentials", hasNetworkError, hasErrorResponse);
    const int status = hasNetworkError || hasErrorResponse ? 0 : 1;
    m_engine.settings->dicomPacsConfigStatus = status;
    qDebug() << "end PACS credentials check, result=" << status;
    saveDicomSettings();
    m_items.set<P::DicomPacsConfigStatus>(status);
}
