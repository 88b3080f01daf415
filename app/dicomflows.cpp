#include "dicomflows.h"

#include "dbman.h"
#include "dcmcomm.h"
#include "dcmexportpatient.h"
#include "dcmscheduler.h"
#include "debuglog.h"
#include "dicomstatus.h"
#include "dicomtexts.h"
#include "ecgbuffer.h"
#include "fileecg.h"
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
                       PatientFlows& patients, CDcmComm* comm, CDcmScheduler* scheduler,
                       DicomStatus& status)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_patients(patients),
      m_comm(comm), m_scheduler(scheduler), m_status(status)
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
    const int shownPatient = m_engine.patients->patientId;
    QString studyUid;
    std::int64_t studyTime = 0;
    const CFileEcg* pending = m_engine.files->currentPatientId() == 0
        ? m_engine.files->ecgBuffer().getFileEcg()
        : nullptr;
    const int patientId = m_engine.patients->createPatientfromDcm(
        selectedRecordId, true, studyUid, studyTime, pending ? pending->speciesCode : 0);
    if (patientId < 0) {
        // Nothing is given to a patient that does not exist.
        debugLogError("CQmlInterface::dcmMwlItemSelected() no patient from worklist entry "
                      + toStdString(selectedRecordId));
        m_items.invoke<C::QmlAlertBoxFileReadError>(QString());
        return;
    }
    CFileMan& files = *m_engine.files;
    // Marked for the PACS while one is configured, also while it does not
    // pass its test: the background sends it once it answers.
    const bool forPacs = CDcmScheduler::pacsConfigured(m_engine.settings);
    const bool sendNow = forPacs && m_engine.settings->dicomPacsConfigStatus == 1;
    if (!files.assignPendingEcg(patientId, forPacs)) {
        // The pending recording stays shown, waiting for its patient: showing
        // any other one would leave it behind unassigned.
        debugLogError("CQmlInterface::dcmMwlItemSelected() assignment failed, patientId="
                      + toStdString(patientId));
        if (shownPatient > 0 && shownPatient != patientId)
            m_engine.patients->loadPatient(shownPatient);
        m_items.invoke<C::QmlAlertBoxFileWriteError>(false);
        return;
    }
    const int ecgId = files.currentEcgId();
    m_publisher.setDisplayState(UiPublisher::ShowingFileAssigned);
    // The recording just assigned, even when an older study is dated later.
    m_patients.selectNShowPatient(patientId, ecgId);

    if (sendNow) {
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
        m_items.invoke<C::QmlAlertBoxFileReadError>(QString());
        return;
    }
    const int shownPatient = m_engine.patients->patientId;
    QString studyUid;
    std::int64_t studyTime = 0;
    const int patientId = m_engine.patients->createPatientfromDcm(
        selectedRecordId, true, studyUid, studyTime, m_patients.importHandOver().patient.species);
    if (patientId < 0) {
        debugLogError("CQmlInterface::dcmMwlItemSelectedForImport() no patient from worklist entry "
                      + toStdString(selectedRecordId));
        m_items.invoke<C::QmlAlertBoxFileReadError>(QString());
        return;
    }
    // The worklist's study time is the recording's start.
    if (!m_patients.assignImportedRecording(patientId, studyUid, studyTime, "dcmMwlItemSelected")
        && shownPatient > 0 && m_engine.patients->patientId != shownPatient)
        m_engine.patients->loadPatient(shownPatient);
}

// --- sending ---------------------------------------------------------------

bool DicomFlows::sendCurrentRecording(bool showBusy)
{
    CFileMan& files = *m_engine.files;
    const int ecgId = files.currentEcgId();
    const QString path = files.dataFolder() + files.currentFileName();
    if (ecgId < 0) {
        alert(QStringLiteral("No recording to send"));
        return false;
    }
    // Marked as being sent before it goes: the background leaves it alone,
    // and a recording the background is sending is not sent twice.
    if (m_scheduler && !m_scheduler->claimForeground(ecgId)) {
        debugLog(2, "CQmlInterface::sendCurrentRecording() ecgId=" + toStdString(ecgId)
                        + " is being sent in the background");
        publishPacsQueue();
        return true;
    }
    // Breed and weight of the recording's own patient, whoever is shown.
    DcmExportPatient patient;
    loadExportPatient(CDbMan::threadDatabase(), files.currentFileName(), patient);
    if (!m_comm->sendPacsFile(path, files.currentStudyUid(), patient.breedDescription, patient.weight)) {
        if (m_scheduler)
            m_scheduler->releaseForeground(ecgId);
        alert(m_comm->getLastError());
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
        publishPacsQueue();
        return;
    }
    m_items.set<P::BusyIndicatorRunning>(false);
    const int ecgId = m_sendEcgId;
    m_sendEcgId = -1;
    if (m_scheduler && ecgId > 0)
        m_scheduler->releaseForeground(ecgId);
    if (failed) {
        debugLogError("CQmlInterface::dcmRespSendPacsFile() ErrorResponse=" + m_comm->getLastErrorUtf8());
        const DcmFailure failure = m_comm->lastFailure();
        if (ecgId > 0 && dcmFailureIsRecordings(failure.kind)) {
            if (m_scheduler)
                m_scheduler->setAsideRecording(ecgId, failure);
        } else if (ecgId > 0 && !files.queueForUpload(ecgId, false)) {
            // Otherwise the background takes it once the PACS answers.
            debugLogError("CQmlInterface::dcmRespSendPacsFile() could not queue ecgId=" + toStdString(ecgId));
        }
        alert(dicomtexts::sendFailure(failure, m_comm->getLastError()));
        publishPacsQueue();
        return;
    }
    // The recording that was sent, whichever is shown now.
    if (ecgId < 0 || !files.setPacsTs(ecgId))
        debugLogError("CQmlInterface::dcmRespSendPacsFile() could not mark ecgId=" + toStdString(ecgId));
    m_items.invoke<C::QmlAlertBoxDcmUploadCompleted>();
    m_items.set<P::FilePacsStatus>(files.currentPacsStatus());
    publishPacsQueue();
}

void DicomFlows::publishPacsQueue()
{
    const int ecgId = m_engine.files->currentEcgId();
    const CDcmScheduler::QueueState state = m_scheduler ? m_scheduler->queueState(ecgId)
                                                        : CDcmScheduler::QueueState::None;
    const bool setAside = state == CDcmScheduler::QueueState::SetAside;
    const DcmFailure failure = setAside ? m_scheduler->setAsideFailure(ecgId) : DcmFailure();
    m_items.set<P::FilePacsQueue>(int(state));
    m_items.set<P::FilePacsQueueText>(
        setAside ? dicomtexts::failure(failure, QString(), dicomtexts::Server::Pacs) : QString());
    m_items.set<P::FilePacsQueueReason>(setAside ? dicomtexts::setAsideReason(failure) : QString());
}

// --- fetching a stored study -----------------------------------------------

void DicomFlows::keepShownPatient()
{
    // Choosing the study made its patient current; the recording still shown
    // is another's, and what acts on the shown recording takes its patient.
    const int owner = m_engine.files->currentPatientId();
    if (m_engine.files->currentEcgId() >= 0 && owner > 0 && owner != m_engine.patients->patientId)
        m_engine.patients->loadPatient(owner);
}

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
        m_items.invoke<C::QmlAlertBoxFileReadError>(QString());
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
        keepShownPatient();
        debugLogError("CQmlInterface::dcmRespLoadFromPacs() ErrorResponse=" + m_comm->getLastErrorUtf8());
        // Why, in words the user can act on; the details are in the log.
        alert(dicomtexts::failure(m_comm->lastFailure(), m_comm->getLastError(), dicomtexts::Server::Pacs));
        return;
    }
    // Storing the row makes it the current recording; while the live view
    // owns the screen (streaming, recording, or a new recording waiting for
    // its patient) the one current before stays so, and the study waits in
    // the recording list.
    const int shownEcg = files.currentEcgId();
    const bool live = m_publisher.isLiveView();
    // Already on the PACS: the row is stored as sent.
    if (!files.setEntryCnt() || !files.commitNextFilename(true)) {
        files.releaseReservation();
        debugLogError("CQmlInterface::dcmRespLoadFromPacs() fetched file could not be stored");
        m_items.invoke<C::QmlAlertBoxFileWriteError>(true);
        return;
    }
    if (live) {
        debugLog(2, "CQmlInterface::dcmRespLoadFromPacs() stored ecgId=" + toStdString(files.currentEcgId())
                        + ", not shown during the live view");
        if (shownEcg >= 0)
            files.selectFile(shownEcg);
        keepShownPatient();
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
    m_status.updateConfig();
    if (m_scheduler)
        m_scheduler->updateConfig();
}

void DicomFlows::testRefused(bool worklist)
{
    // The status would stay "running" until the next save: the test is
    // given to the status's own worker instead.
    debugLogError(std::string("CQmlInterface the ") + (worklist ? "worklist" : "PACS")
                  + " test was refused: " + m_comm->getLastErrorUtf8());
    if (worklist)
        m_items.set<P::DicomMwlConfigStatus>(0);
    else
        m_items.set<P::DicomPacsConfigStatus>(0);
    m_status.testHandedOver(worklist ? DicomStatus::Server::Worklist : DicomStatus::Server::Pacs);
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
        m_status.testStarted(DicomStatus::Server::Worklist);
        qDebug() << "starting MWL credentials check";
        // Its answer starts the PACS test.
        if (!m_comm->testMwlCredentials()) {
            testRefused(true);
            if (m_pacsCheckPending)
                testRefused(false);
        }
        return;
    }
    m_items.set<P::DicomMwlConfigStatus>(0);
    m_status.notConfigured(DicomStatus::Server::Worklist);
    if (m_pacsCheckPending && !m_comm->testPacsCredentials())
        testRefused(false);
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
        m_status.testStarted(DicomStatus::Server::Pacs);
        qDebug() << "starting PACS credentials check";
        m_pacsCheckPending = true;
        return;
    }
    m_pacsCheckPending = false;
    m_items.set<P::DicomPacsConfigStatus>(0);
    updateConfigs();
    m_status.notConfigured(DicomStatus::Server::Pacs);
    publishPacsQueue();
}

void DicomFlows::dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespTestMwlCredentials", hasNetworkError, hasErrorResponse);
    const int status = hasNetworkError || hasErrorResponse ? 0 : 1;
    m_engine.settings->dicomMwlConfigStatus = status;
    qDebug() << "end MWL credentials check, result=" << status;
    saveDicomSettings();
    m_items.set<P::DicomMwlConfigStatus>(status);
    m_status.testAnswered(DicomStatus::Server::Worklist, status == 1, m_comm->lastFailure(),
                          m_comm->getLastError());
    if (!m_comm->testPacsCredentials())
        testRefused(false);
}

void DicomFlows::dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse)
{
    logAnswer("dcmRespTestPacsCredentials", hasNetworkError, hasErrorResponse);
    const int status = hasNetworkError || hasErrorResponse ? 0 : 1;
    m_engine.settings->dicomPacsConfigStatus = status;
    qDebug() << "end PACS credentials check, result=" << status;
    saveDicomSettings();
    m_items.set<P::DicomPacsConfigStatus>(status);
    m_status.testAnswered(DicomStatus::Server::Pacs, status == 1, m_comm->lastFailure(),
                          m_comm->getLastError());
    publishPacsQueue();
}
