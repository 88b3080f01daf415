#include "telemedflows.h"

#include "dbman.h"
#include "debuglog.h"
#include "fileman.h"
#include "patientman.h"
#include "qmlitems.h"
#include "qvlcomm.h"
#include "qvlscheduler.h"
#include "qvltexts.h"
#include "settingsman.h"
#include "systembrowser.h"
#include "uipublisher.h"
#include "uitexts.h"

#include <QTimer>

namespace P = qml::P;
namespace C = qml::C;

namespace {

std::string flag(bool value)
{
    return value ? "true" : "false";
}

const char* const kClientBusy =
    "Another request to Quorvale is still running, please try again in a moment.";
const char* const kNotVerified = "Invalid Quorvale credentials.";

} // namespace

TelemedFlows::TelemedFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                           PatientFlows& patients, CQvlComm& client, CQvlScheduler* scheduler)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_patients(patients),
      m_client(client), m_scheduler(scheduler)
{
}

// --- the upload chain ------------------------------------------------------

void TelemedFlows::uploadClicked(bool isLongClick)
{
    debugLog(4, "CQmlInterface::uploadClicked() isLongClick=" + flag(isLongClick));
    CFileMan& files = *m_engine.files;
    const int ecgId = files.currentEcgId();
    if (ecgId <= 0 || !files.isStoredFileOpen()) {
        debugLogError("CQmlInterface::uploadClicked() no stored recording is open");
        if (ecgId > 0 && !files.storedFileRefusal().isEmpty())
            m_items.invoke<C::QmlAlertBoxFileReadError>(uitexts::refusedRecording(files.storedFileRefusal()));
        return;
    }
    const int records = files.ecgBuffer().getRecordCount();
    if (records < kMinUploadRecords) {
        m_items.invoke<C::QmlAlertBoxQvlShortFileUpload>(records / 500 - 5);
        return;
    }
    // Only a finished upload is a duplicate; a half-done case is finished in
    // that case, and a cleared or cancelled one gets a new case.
    if (!files.currentQvlCaseId().isEmpty() && !files.currentQvlCaseUrl().isEmpty())
        m_items.invoke<C::QmlAlertBoxQvlFileAlreadyUploaded>(ecgId);
    else
        m_items.invoke<C::QmlAlertBoxQvlAskUpload>(ecgId);
}

void TelemedFlows::continueQvlUpload(int fileId, bool completeNow)
{
    debugLog(4, "CQmlInterface::continueQvlUpload() fileId=" + toStdString(fileId)
                    + ", completeNow=" + flag(completeNow));
    // A request of this client still out belongs to an earlier upload, whose
    // recording and choice stay as they are.
    if (m_client.requestInProgress()) {
        debugLogError("CQmlInterface::continueQvlUpload() a request is in progress");
        m_items.invoke<C::QmlAlertBoxQvlCommError>(QString::fromLatin1(kClientBusy));
        return;
    }
    if (m_scheduler && m_scheduler->backgroundUploadFileId() == fileId) {
        debugLogError("CQmlInterface::continueQvlUpload() the recording is being uploaded in the background");
        m_items.invoke<C::QmlAlertBoxQvlCommError>(QStringLiteral(
            "This recording is being uploaded in the background. Please try again in a moment."));
        return;
    }
    m_completeNow = completeNow;
    // The answer may come when another recording is on screen: the request
    // keeps the one the user confirmed. Its earlier case stays until the
    // service gives it a new one.
    m_requestFileId = fileId;
    m_shownBackgroundFailures.remove(fileId);
    setForeground(fileId);
    if (!m_client.checkNetwork())
        uploadFailed(fileId, false, "CQmlInterface::continueQvlUpload() checkNetwork returns ",
                     false, false, m_client.getLastError());
}

void TelemedFlows::continueQvlUpload2(bool networkProblem, int errorType)
{
    const int fileId = m_requestFileId > 0 ? m_requestFileId : m_engine.files->currentEcgId();
    const bool isQvlUpload = true;
    if (networkProblem) {
        debugLog(4, "CQmlInterface::continueQvlUpload() ####### no network available");
        setForeground(-1);
        if (errorType == 1)
            m_items.invoke<C::QmlAlertBoxNoNetworkSync>(fileId, isQvlUpload);
        else
            m_items.invoke<C::QmlAlertBoxNoNetwork>(fileId, isQvlUpload);
        return;
    }
    debugLog(4, "CQmlInterface::continueQvlUpload() ####### network is available");
    const QString text = qvlUploadFile(fileId);
    if (text.isEmpty())
        return;
    setForeground(-1);
    // Nothing was sent: the account, a request still out, or this computer.
    if (text == QLatin1String(kNotVerified) || text == QLatin1String(kClientBusy))
        m_items.invoke<C::QmlAlertBoxQvlCommError>(text);
    else
        uploadFailed(fileId, false, "CQmlInterface::continueQvlUpload() ", false, false, text);
}

QString TelemedFlows::qvlUploadFile(int fileId)
{
    debugLog(4, "CQmlInterface::qvlUploadFile() fileId=" + toStdString(fileId));
    if (m_engine.settings->qvlAccountVerified == 0) {
        debugLogError("CQmlInterface::qvlUploadFile() invalid qvl account");
        return QString::fromLatin1(kNotVerified);
    }
    // A case opened earlier and left without its address goes on: the file
    // only when the service does not have it yet, then the address.
    QvlCaseProgress progress;
    const bool halfDone = m_engine.files->readQvlCase(fileId, progress) && progress.isHalfDone();
    // No case is opened and no byte sent for a file that is no recording.
    if (!halfDone || !progress.serviceHasFile()) {
        const QString refusal = m_engine.files->refusalOfRecording(fileId);
        if (!refusal.isEmpty()) {
            debugLogError("CQmlInterface::qvlUploadFile() refused: " + refusal.toStdString());
            return QStringLiteral("The ECG file can't be uploaded. ") + refusal;
        }
    }
    const char* request = "initiateCase";
    bool posted = false;
    if (!halfDone) {
        posted = m_client.initiateCase(fileId);
    } else if (progress.serviceHasFile()) {
        request = "getCaseUrl";
        posted = m_client.getCaseUrl(fileId, progress.caseId);
    } else {
        // Whether an earlier AddFile arrived is asked first; the file goes only when not.
        request = "getCaseState";
        m_checkAfterUnclearEnd = false;
        posted = m_client.getCaseState(fileId, progress.caseId);
    }
    if (posted) {
        setBusy(true);
        return QString();
    }
    const QString text = m_client.requestInProgress() ? QString::fromLatin1(kClientBusy)
                                                      : m_client.getLastError();
    debugLogError(std::string("CQmlInterface::qvlUploadFile() ") + request + " returns "
                  + text.toStdString());
    return text;
}

void TelemedFlows::queueFileUpload(int fileId, bool isQvlUpload)
{
    debugLog(4, "CQmlInterface::queueFileUpload() fileId=" + toStdString(fileId)
                    + ", isQvlUpload=" + flag(isQvlUpload));
    if (isQvlUpload)
        m_shownBackgroundFailures.remove(fileId);
    if (!m_engine.files->queueForUpload(fileId, isQvlUpload)) {
        debugLogError("CQmlInterface::queueFileUpload() the recording could not be queued");
        const QString text = QStringLiteral("The recording could not be queued for a later upload.");
        if (isQvlUpload)
            m_items.invoke<C::QmlAlertBoxQvlCommError>(text);
        else
            m_items.invoke<C::QmlAlertBoxDcmCommError>(text);
        return;
    }
    publishIfCurrent(fileId);
}

void TelemedFlows::qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse,
                                       bool clockOutOfSync)
{
    debugLog(4, "CQmlInterface::qvlRespCheckNetwork() hasNetworkError=" + flag(hasNetworkError)
                    + ", hasErrorResponse=" + flag(hasErrorResponse)
                    + ", clockOutOfSync=" + flag(clockOutOfSync));
    // A rejected time stamp stops the upload whether it came as a transfer
    // error or as a fault; a fault alone does not.
    if (clockOutOfSync || !hasNetworkError) {
        continueQvlUpload2(clockOutOfSync, clockOutOfSync ? 1 : 0);
        return;
    }
    // Any other failed check says why: refused credentials are no missing network.
    const QString lastError = m_client.getLastError();
    const int fileId = m_requestFileId > 0 ? m_requestFileId : m_engine.files->currentEcgId();
    uploadFailed(fileId, false, "CQmlInterface::qvlRespCheckNetwork() NetworkError=",
                 hasNetworkError, hasErrorResponse, lastError);
    // As after a refused request of the chain: the account no longer counts as verified.
    if (qvltexts::causeOf(hasNetworkError, hasErrorResponse, lastError)
        == qvltexts::Cause::CredentialsRefused)
        qvlRespCheckUser(false, false, false);
}

void TelemedFlows::qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int fileId,
                                       const QString& caseId)
{
    debugLog(4, "CQmlInterface::qvlRespInitiateCase() qvlFileId=" + toStdString(fileId)
                    + ", qvlCaseId=" + caseId.toStdString() + ", hasNetworkError="
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse));
    if (hasNetworkError || hasErrorResponse) {
        uploadFailed(fileId, false,
                     hasNetworkError ? "CQmlInterface::qvlRespInitiateCase() NetworkError="
                                     : "CQmlInterface::qvlRespInitiateCase() ErrorResponse=",
                     hasNetworkError, hasErrorResponse, m_client.getLastError());
        return;
    }
    // A new case replaces the recording's earlier one as a whole.
    const bool stored = m_engine.files->setQvlCaseId(fileId, caseId);
    publishIfCurrent(fileId);
    if (!stored) {
        uploadFailed(fileId, false, "CQmlInterface::qvlRespInitiateCase() setQvlCaseId failed ",
                     false, false, QStringLiteral("The case of the recording could not be stored."));
        return;
    }
    if (!m_client.addFile(fileId, caseId))
        uploadFailed(fileId, true, "CQmlInterface::qvlRespInitiateCase() addFile returns ", false,
                     false, m_client.getLastError());
}

void TelemedFlows::qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int fileId,
                                  const QString& caseId)
{
    debugLog(4, "CQmlInterface::qvlRespAddFile() qvlFileId=" + toStdString(fileId)
                    + ", qvlCaseId=" + caseId.toStdString() + ", hasNetworkError="
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse));
    if (CQvlComm::endedUnclear(hasNetworkError, hasErrorResponse, m_client.getLastError())) {
        // The service may have stored the file: it is asked, the file is not sent again.
        debugLogError("CQmlInterface::qvlRespAddFile() ended unclear: " + m_client.getLastErrorStr());
        m_checkAfterUnclearEnd = true;
        m_unclearEndReason = m_client.getLastError();
        m_unclearEndCause = qvltexts::causeOf(hasNetworkError, hasErrorResponse, m_unclearEndReason);
        if (!m_client.getCaseState(fileId, caseId))
            failUpload(fileId, true, "CQmlInterface::qvlRespAddFile() getCaseState returns ",
                       m_unclearEndCause, m_unclearEndReason);
        return;
    }
    if (hasNetworkError || hasErrorResponse) {
        uploadFailed(fileId, true,
                     hasNetworkError ? "CQmlInterface::qvlRespAddFile() NetworkError="
                                     : "CQmlInterface::qvlRespAddFile() ErrorResponse=",
                     hasNetworkError, hasErrorResponse, m_client.getLastError());
        return;
    }
    // Stored before the address is asked for: a retry, or the next start,
    // does not send the file again.
    if (!m_engine.files->setQvlFileAdded(fileId, caseId))
        debugLogError("CQmlInterface::qvlRespAddFile() the progress could not be stored");
    if (!m_client.getCaseUrl(fileId, caseId))
        uploadFailed(fileId, true, "CQmlInterface::qvlRespAddFile() addFile returns ", false,
                     false, m_client.getLastError());
}

void TelemedFlows::qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int fileId,
                                    const QString& caseId, const QString& status)
{
    debugLog(4, "CQmlInterface::qvlRespCaseState() qvlFileId=" + toStdString(fileId)
                    + ", qvlCaseId=" + caseId.toStdString() + ", status=" + status.toStdString()
                    + ", hasNetworkError=" + flag(hasNetworkError)
                    + ", hasErrorResponse=" + flag(hasErrorResponse));
    const bool afterUnclearEnd = m_checkAfterUnclearEnd;
    m_checkAfterUnclearEnd = false;
    if (hasNetworkError || hasErrorResponse) {
        // The unclear end says why, unless the service refused the question
        // itself: refused credentials or clock are what the user must fix.
        const qvltexts::Cause stateCause =
            qvltexts::causeOf(hasNetworkError, hasErrorResponse, m_client.getLastError());
        if (afterUnclearEnd && stateCause != qvltexts::Cause::CredentialsRefused
            && stateCause != qvltexts::Cause::ClockOutOfStep)
            failUpload(fileId, true, "CQmlInterface::qvlRespCaseState() failed ",
                       m_unclearEndCause, m_unclearEndReason);
        else
            uploadFailed(fileId, true, "CQmlInterface::qvlRespCaseState() failed ",
                         hasNetworkError, hasErrorResponse, m_client.getLastError());
        return;
    }
    if (CQvlComm::caseStateHoldsFile(status)) {
        if (!m_engine.files->setQvlFileAdded(fileId, caseId))
            debugLogError("CQmlInterface::qvlRespCaseState() the progress could not be stored");
        if (!m_client.getCaseUrl(fileId, caseId))
            uploadFailed(fileId, true, "CQmlInterface::qvlRespCaseState() getCaseUrl returns ",
                         false, false, m_client.getLastError());
        return;
    }
    if (status == QLatin1String("CANCELLED") || status == QLatin1String("CLEARED")) {
        // Over at the service: a new upload opens a new case.
        m_engine.files->setQvlCaseStatus(fileId, status);
        publishIfCurrent(fileId);
        failUpload(fileId, false,
                   ("CQmlInterface::qvlRespCaseState() " + status.toStdString() + ": ").c_str(),
                   qvltexts::Cause::CaseClosed, CQvlComm::caseClosedReason(caseId));
        return;
    }
    if (afterUnclearEnd) {
        failUpload(fileId, true, "CQmlInterface::qvlRespCaseState() the file did not arrive ",
                   m_unclearEndCause, m_unclearEndReason);
        return;
    }
    if (!m_client.addFile(fileId, caseId))
        uploadFailed(fileId, true, "CQmlInterface::qvlRespCaseState() addFile returns ", false,
                     false, m_client.getLastError());
}

void TelemedFlows::qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int fileId,
                                     const QString& caseUrl)
{
    debugLog(4, "CQmlInterface::qvlRespGetCaseUrl() qvlFileId=" + toStdString(fileId)
                    + ", qvlCaseUrl=" + caseUrl.toStdString() + ", hasNetworkError="
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse));
    setBusy(false);
    if (hasNetworkError || hasErrorResponse) {
        uploadFailed(fileId, true,
                     hasNetworkError ? "CQmlInterface::qvlRespGetCaseUrl() NetworkError="
                                     : "CQmlInterface::qvlRespGetCaseUrl() ErrorResponse=",
                     hasNetworkError, hasErrorResponse, m_client.getLastError());
        return;
    }
    if (!m_engine.files->setQvlCaseUrl(fileId, caseUrl)) {
        uploadFailed(fileId, true, "CQmlInterface::qvlRespGetCaseUrl() setQvlCaseUrl failed ",
                     false, false, QStringLiteral("The address of the case could not be stored."));
        return;
    }
    setForeground(-1);
    m_shownBackgroundFailures.remove(fileId);
    publishIfCurrent(fileId);
    if (m_completeNow)
        openQvlWindow(caseUrl);
    else
        m_items.invoke<C::QmlAlertBoxQvlUploadCompleted>();
}

void TelemedFlows::uploadFailed(int fileId, bool caseOpen, const char* where,
                                bool hasNetworkError, bool hasErrorResponse,
                                const QString& lastError)
{
    failUpload(fileId, caseOpen, where,
               qvltexts::causeOf(hasNetworkError, hasErrorResponse, lastError), lastError);
}

void TelemedFlows::failUpload(int fileId, bool caseOpen, const char* where, qvltexts::Cause cause,
                              const QString& lastError)
{
    setBusy(false);
    setForeground(-1);
    // The client's text is for the log; the screen says why in plain words.
    debugLogError(where + lastError.toStdString());
    showUploadFailure(fileId, cause,
                      caseOpen ? qvltexts::Road::UploadInterrupted : qvltexts::Road::Upload,
                      lastError);
}

void TelemedFlows::showUploadFailure(int fileId, qvltexts::Cause cause, qvltexts::Road road,
                                     const QString& lastError)
{
    const qvltexts::Alert a = qvltexts::uploadFailure(
        cause, road, qvltexts::recordingName(*m_engine.db->database(), fileId), lastError);
    m_items.invoke<C::QmlAlertBoxQvlUploadFailed>(fileId, a.title, a.text, a.informativeText,
                                                  a.offerQueue);
}

void TelemedFlows::setForeground(int fileId)
{
    if (m_scheduler)
        m_scheduler->setForegroundUpload(fileId);
}

void TelemedFlows::setBusy(bool busy)
{
    m_items.set<P::BusyIndicatorRunning>(busy);
}

void TelemedFlows::publishIfCurrent(int fileId)
{
    if (fileId == m_engine.files->currentEcgId())
        m_publisher.publishFileQvl();
}

// --- the case page ---------------------------------------------------------

bool TelemedFlows::isOpenableCaseUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http"))
        && !url.host().isEmpty();
}

void TelemedFlows::openQvlWindow(const QString& qvlUrl)
{
    debugLog(4, "CQmlInterface::openQvlWindow()");
    const QUrl url(qvlUrl, QUrl::TolerantMode);
    if (!isOpenableCaseUrl(url)) {
        debugLogError("CQmlInterface::openQvlWindow() refused address " + qvlUrl.toStdString());
        m_items.invoke<C::QmlAlertBoxQvlCommError>(
            QStringLiteral("The address of the case page is not a web address."));
        return;
    }
    const QString headline =
        QStringLiteral("Complete Telemedicine Request for ") + m_engine.patients->patientName;
    // The main window loads the browser drawer when it opens the page; when
    // the drawer cannot exist (no web view here) the desktop's browser shows it.
    if (m_items.isBound(qml::Item::MainWindow)) {
        const bool showForwardBackwardButton = true;
        m_items.invoke<C::QmlOpenBrowser>(url, headline, showForwardBackwardButton);
        if (m_items.isBound(qml::Item::BrowserDrawer))
            return;
    }
    if (!platform::openInSystemBrowser(url)) {
        debugLogError("CQmlInterface::openQvlWindow() no browser took the address");
        m_items.invoke<C::QmlAlertBoxQvlCommError>(
            QStringLiteral("The case page could not be opened in a browser."));
    }
}

// --- account -----------------------------------------------------------------

void TelemedFlows::updateQvlSettings(const QString& user, const QString& pwd, const QString& url)
{
    debugLog(4, "CQmlInterface::updateQvlSettings() qvlUserName=" + user.toStdString()
                    + ", qvlUrl=" + url.toStdString());
    CSettingsMan& settings = *m_engine.settings;
    const bool changed =
        user != settings.qvlUserName || pwd != settings.qvlPwd || url != settings.qvlUrl;
    // Incomplete or changed credentials are not verified until the service says so.
    if (user.isEmpty() || pwd.isEmpty() || url.size() < 5 || changed)
        applyAccountAnswer(false, false, false);
    settings.qvlUserName = user;
    settings.qvlPwd = pwd;
    settings.qvlUrl = url;
    if (!settings.saveSettings(SettingsQvlService))
        debugLogError("CQmlInterface::updateQvlSettings() settings could not be saved");
    startAccountCheck();
}

void TelemedFlows::startAccountCheck()
{
    if (m_client.requestInProgress()) {
        // Another request of this client is out (an earlier check, or an
        // upload): the check of what is stored now follows once it is done.
        debugLog(2, "CQmlInterface::startAccountCheck() the client is busy, the check follows");
        m_accountCheckPending = true;
        m_accountProblem = AccountChecking;
        publishAccountState();
        if (!m_accountCheckRetryArmed) {
            m_accountCheckRetryArmed = true;
            QTimer::singleShot(kAccountCheckRetryMs, &m_client, [this]() {
                m_accountCheckRetryArmed = false;
                if (m_accountCheckPending)
                    startAccountCheck();
            });
        }
        return;
    }
    m_accountCheckPending = false;
    if (m_client.checkUser()) {
        m_accountProblem = AccountChecking;
    } else {
        debugLogError("CQmlInterface::updateQvlSettings() checkUser returns "
                      + m_client.getLastErrorStr());
        // Nothing was sent: the values themselves, or the way to the service.
        m_accountProblem = problemOf(true, false);
    }
    publishAccountState();
}

QvlCredentials TelemedFlows::storedCredentials() const
{
    const CSettingsMan& settings = *m_engine.settings;
    return {settings.qvlUserName, settings.qvlPwd, settings.qvlUrl};
}

void TelemedFlows::qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse,
                                    bool accountVerified)
{
    debugLog(4, "CQmlInterface::qvlRespCheckUser() qvlAccountVerified=" + flag(accountVerified)
                    + ", hasNetworkError=" + flag(hasNetworkError)
                    + ", hasErrorResponse=" + flag(hasErrorResponse));
    // An answer speaks only for the account its request carried: one about
    // credentials replaced meanwhile is dropped, and a check of those stored
    // now follows (or is already out).
    const CQvlComm* from = nullptr;
    if (m_client.answeringCommand() != QvlCmdNone)
        from = &m_client;
    else if (m_scheduler && m_scheduler->client()
             && m_scheduler->client()->answeringCommand() != QvlCmdNone)
        from = m_scheduler->client();
    if (from && from->answeredCredentials() != storedCredentials()) {
        debugLog(2, "CQmlInterface::qvlRespCheckUser() the answer is about credentials no longer "
                    "stored, dropped");
        if (from == &m_client && from->answeringCommand() == QvlCmdCheckUser)
            startAccountCheck();
        return;
    }
    if (from == &m_client && from->answeringCommand() == QvlCmdCheckUser && m_accountCheckPending)
        m_accountCheckPending = false;
    applyAccountAnswer(hasNetworkError, hasErrorResponse, accountVerified);
}

void TelemedFlows::applyAccountAnswer(bool hasNetworkError, bool hasErrorResponse,
                                      bool accountVerified)
{
    CSettingsMan& settings = *m_engine.settings;
    settings.qvlAccountVerified = accountVerified ? 1 : 0;
    m_accountProblem =
        accountVerified ? AccountProblemUnknown : problemOf(hasNetworkError, hasErrorResponse);
    // A check of newer credentials still to come: until then they are being checked.
    if (m_accountCheckPending && !accountVerified)
        m_accountProblem = AccountChecking;
    m_items.set<P::SetInitQvlAccountVerified>(accountVerified ? 1 : 0);
    m_items.set<P::QvlAccountVerified>(accountVerified);
    publishAccountState();
    if (!settings.saveSettings(SettingsQvlService))
        debugLogError("CQmlInterface::qvlRespCheckUser() settings could not be saved");
}

TelemedFlows::AccountProblem TelemedFlows::problemOf(bool hasNetworkError,
                                                     bool hasErrorResponse) const
{
    const CSettingsMan& settings = *m_engine.settings;
    if (settings.qvlUserName.isEmpty() || settings.qvlPwd.isEmpty() || settings.qvlUrl.size() < 5)
        return AccountIncomplete;
    // No flag: the service answered but did not confirm the account, or an
    // authentication fault of another request was relayed.
    if (!hasNetworkError && !hasErrorResponse)
        return AccountCredentialsRefused;
    const QString text = m_client.getLastError();
    if (CQvlComm::isAuthenticationFault(text))
        return AccountCredentialsRefused;
    if (CQvlComm::isClockFault(text))
        return AccountClockOutOfStep;
    return hasErrorResponse ? AccountRefused : AccountUnreachable;
}

void TelemedFlows::publishAccountState()
{
    if (!m_items.isBound(qml::Item::SettingsView))
        return;
    m_items.set<P::SetInitQvlAccountProblem>(int(m_accountProblem));
}

// --- the scheduler's notices --------------------------------------------------

void TelemedFlows::qvlRespFileChanged()
{
    forgetSettledBackgroundFailures();
    m_publisher.publishFileQvl();
}

bool TelemedFlows::isWaitingForUpload(int fileId) const
{
    QvlCaseProgress progress;
    return m_engine.files->readQvlCase(fileId, progress)
        && (progress.status == QvlCaseQueued || progress.isHalfDone());
}

void TelemedFlows::forgetSettledBackgroundFailures()
{
    for (auto it = m_shownBackgroundFailures.begin(); it != m_shownBackgroundFailures.end();) {
        if (isWaitingForUpload(it.key()))
            ++it;
        else
            it = m_shownBackgroundFailures.erase(it);
    }
}

void TelemedFlows::qvlRespBackgroundUploadFailed(int fileId, const QString& reason)
{
    debugLogError("CQmlInterface::qvlRespBackgroundUploadFailed() qvlFileId=" + toStdString(fileId)
                  + ", reason=" + reason.toStdString());
    publishIfCurrent(fileId);
    forgetSettledBackgroundFailures();
    const qvltexts::Cause cause = qvltexts::causeOf(reason);
    const auto shown = m_shownBackgroundFailures.constFind(fileId);
    if (shown != m_shownBackgroundFailures.constEnd() && *shown == int(cause))
        return;
    // A recording that left the queue is not waiting: its reason is shown
    // now and not remembered.
    const bool waiting = isWaitingForUpload(fileId);
    if (waiting)
        m_shownBackgroundFailures.insert(fileId, int(cause));
    showUploadFailure(fileId, cause,
                      waiting ? qvltexts::Road::BackgroundRetried : qvltexts::Road::BackgroundGivenUp,
                      reason);
}
