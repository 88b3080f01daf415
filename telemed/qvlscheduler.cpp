#include "qvlscheduler.h"

#include "debuglog.h"
#include "fileecg.h"
#include "fileman.h"
#include "qvlcomm.h"
#include "settingsman.h"
#include "sqlexec.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

std::string str(const QString& text)
{
    return text.toUtf8().toStdString();
}

const char* flag(bool value)
{
    return value ? "true" : "false";
}

// A plain name inside the data folder, never a path elsewhere.
bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

} // namespace

CQvlScheduler::CQvlScheduler(CQvlCallbackInterface* owner, const QString& dataFolder,
                             QSqlDatabase* database, CSettingsMan* settings, CFileMan* fileMan,
                             const QString& applicationType, const QString& version,
                             const QString& build)
    : m_modifiedServicesTimer(this)
    , m_backgroundUploadTimer(this)
    , m_db(database)
    , m_settings(settings)
    , m_fileMan(fileMan)
    , m_owner(owner)
    , m_version(version)
    , m_build(build)
    , m_applicationType(applicationType)
    , m_dataFolder(dataFolder)
{
    debugLog(4, "entering CQvlScheduler constructor");
    if (m_settings)
        m_token = m_settings->modifiedToken;
    m_client = new CQvlComm(this, dataFolder, database, settings, applicationType, version, build);
    connect(&m_modifiedServicesTimer, &QTimer::timeout, this,
            &CQvlScheduler::modifiedServicesTimerExpired);
    connect(&m_backgroundUploadTimer, &QTimer::timeout, this,
            &CQvlScheduler::backgroundUploadTimerExpired);
    m_firstRun = true;
    m_modifiedServicesOperationInProgress = false;
    m_backgroundUploadInProgress = false;
    m_modifiedServicesTimer.setSingleShot(false);
    m_backgroundUploadTimer.setSingleShot(false);
    m_modifiedServicesTimer.start(kFirstPollMs);
    m_backgroundUploadTimer.start(kFirstUploadMs);
    rememberHalfDoneCases();
}

CQvlScheduler::~CQvlScheduler()
{
    m_modifiedServicesTimer.stop();
    m_backgroundUploadTimer.stop();
    delete m_client;
    m_client = nullptr;
}

bool CQvlScheduler::accountVerified() const
{
    return m_settings && m_settings->qvlAccountVerified != 0;
}

// ---------------------------------------------------------------- polling

void CQvlScheduler::modifiedServicesTimerExpired()
{
    if (m_firstRun) {
        m_firstRun = false;
        m_modifiedServicesTimer.setInterval(kIdleIntervalMs);
    }
    if (m_modifiedServicesOperationInProgress || m_backgroundUploadInProgress) {
        debugLogError(std::string("CQvlScheduler::modifiedServicesTimerExpired() but "
                                  "modifiedServicesOperationInProgress=")
                      + flag(m_modifiedServicesOperationInProgress)
                      + ", backgroundUploadInProgress=" + flag(m_backgroundUploadInProgress));
        return;
    }
    m_modifiedServicesOperationInProgress = true;
    if (!accountVerified() || !m_db) {
        m_modifiedServicesOperationInProgress = false;
        return;
    }
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select count(*) from ecgTable where qvlCaseStatus not in (0,7,8)"),
                  {}, "CQvlScheduler::modifiedServicesTimerExpired()")
        || !q.next() || q.value(0).toInt() == 0) {
        m_modifiedServicesOperationInProgress = false;
        return;
    }
    if (!m_client->getModifiedServices(m_token)) {
        debugLogError("QvlScheduler::timerExpired() getModifiedServices returns "
                      + m_client->getLastErrorStr());
        m_modifiedServicesOperationInProgress = false;
    }
}

void CQvlScheduler::qvlRespGetModifiedServices1(bool hasNetworkError, bool hasErrorResponse,
                                                QString qvlToken)
{
    debugLog(4, "CQvlScheduler::qvlRespGetModifiedServices1() qvlToken=" + str(qvlToken)
                    + ", hasNetworkError=" + flag(hasNetworkError)
                    + ", hasErrorResponse=" + flag(hasErrorResponse));
    if (hasNetworkError) {
        debugLogError("CQvlScheduler::qvlRespGetModifiedServices1() NetworkError="
                      + m_client->getLastErrorStr());
        return;
    }
    if (hasErrorResponse) {
        debugLogError("CQvlScheduler::qvlRespGetModifiedServices1() ErrorResponse="
                      + m_client->getLastErrorStr());
        return;
    }
    m_token = qvlToken;
    if (m_settings) {
        m_settings->modifiedToken = qvlToken;
        if (!m_settings->saveSettings(SettingsQvlService))
            debugLogError("CQvlScheduler::qvlRespGetModifiedServices1() the token could not be saved");
    }
}

void CQvlScheduler::qvlRespGetModifiedServices2(QString caseId, QString status)
{
    debugLog(4, "CQvlScheduler::qvlRespGetModifiedServices2() caseId=" + str(caseId)
                    + ", status=" + str(status));
    // Recordings without a case have an empty case id; an empty id names none of them.
    if (caseId.isEmpty() || !m_db || !m_fileMan)
        return;
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select ecgId from ecgTable where qvlCaseId=? order by ecgId"),
                  {caseId}, "CQvlScheduler::qvlRespGetModifiedServices2()")
        || !q.next()) {
        debugLog(2, "CQvlScheduler::qvlRespGetModifiedServices2() no recording with caseId="
                        + str(caseId));
        return;
    }
    const int ecgId = q.value(0).toInt();
    q.finish();
    QvlCaseProgress progress;
    if (m_fileMan->readQvlCase(ecgId, progress) && progress.status == QvlCaseQueued) {
        // Queued stays queued, or the upload would never take it up: only
        // that the service holds the file of its open case is kept.
        QvlCaseProgress reported = progress;
        reported.status = CFileMan::qvlCaseStatusOfWord(status);
        if (progress.caseUrl.isEmpty() && !progress.fileAdded && reported.serviceHasFile()
            && !m_fileMan->setQvlFileAdded(ecgId, caseId))
            debugLogError("CQvlScheduler::qvlRespGetModifiedServices2() the progress of ecgId="
                          + toStdString(ecgId) + " could not be stored");
        return;
    }
    if (!m_fileMan->setQvlCaseStatus(ecgId, status)) {
        debugLogError("CQvlScheduler::qvlRespGetModifiedServices2() the state of ecgId="
                      + toStdString(ecgId) + " could not be stored");
        return;
    }
    if (ecgId == m_fileMan->currentEcgId() && m_owner)
        m_owner->qvlRespFileChanged();
}

void CQvlScheduler::qvlRespGetModifiedServicesDone()
{
    debugLog(4, "CQvlScheduler::qvlRespGetModifiedServicesDone()");
    m_modifiedServicesOperationInProgress = false;
}

// ---------------------------------------------------------------- uploads

namespace {

// A case opened and its address still missing (the same rule as
// QvlCaseProgress::isHalfDone), and every queued recording.
const char* const kHalfDoneWhere =
    "coalesce(qvlCaseId,'')<>'' and coalesce(qvlCaseUrl,'')='' and qvlCaseStatus not in (0,7,8)";

} // namespace

void CQvlScheduler::rememberHalfDoneCases()
{
    if (!m_db)
        return;
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select ecgId from ecgTable where ") + QLatin1String(kHalfDoneWhere),
                  {}, "CQvlScheduler()"))
        return;
    while (q.next())
        m_resumable.insert(q.value(0).toInt());
}

void CQvlScheduler::backgroundUploadTimerExpired()
{
    m_backgroundUploadTimer.setInterval(kIdleIntervalMs);
    if (m_modifiedServicesOperationInProgress || m_backgroundUploadInProgress) {
        debugLogError(std::string("CQvlScheduler::backgroundUploadTimerExpired() but "
                                  "modifiedServicesOperationInProgress=")
                      + flag(m_modifiedServicesOperationInProgress)
                      + ", backgroundUploadInProgress=" + flag(m_backgroundUploadInProgress));
        return;
    }
    m_backgroundUploadInProgress = true;
    if (!accountVerified() || !m_db || !m_fileMan) {
        endChain();
        return;
    }
    // A recording that can never be sent leaves the queue, and the next one
    // is taken in the same tick.
    QSet<int> skipped;
    Candidate c;
    while (nextCandidate(skipped, c)) {
        QString reason;
        if (localReasonToDrop(c, reason)) {
            skipped.insert(c.ecgId);
            dropFromQueue(c, reason);
            continue;
        }
        m_lastAttemptId = c.ecgId;
        m_chainFileId = c.ecgId;
        if (startStep(c))
            m_backgroundUploadTimer.setInterval(kChainIntervalMs);
        else
            endChain();
        return;
    }
    endChain();
}

bool CQvlScheduler::nextCandidate(const QSet<int>& skipped, Candidate& next)
{
    QSqlQuery q(*m_db);
    if (!runQuery(q,
                  QStringLiteral("select ecgId, patientId, fileName, qvlCaseStatus, qvlCaseId, "
                                 "qvlCaseUrl, qvlFileAdded from ecgTable where qvlCaseStatus=9 or (")
                      + QLatin1String(kHalfDoneWhere) + QStringLiteral(") order by ecgId"),
                  {}, "CQvlScheduler::backgroundUploadTimerExpired()"))
        return false;
    QList<Candidate> all;
    while (q.next()) {
        Candidate c;
        c.ecgId = q.value(0).toInt();
        c.patientId = q.value(1).toInt();
        c.fileName = q.value(2).toString();
        c.progress.status = q.value(3).toInt();
        c.progress.caseId = q.value(4).toString();
        c.progress.caseUrl = q.value(5).toString();
        c.progress.fileAdded = q.value(6).toInt() != 0;
        if (skipped.contains(c.ecgId) || c.ecgId == m_foregroundFileId)
            continue;
        // Not queued: only a case this scheduler may finish on its own.
        if (c.progress.status != QvlCaseQueued && !m_resumable.contains(c.ecgId))
            continue;
        all.append(c);
    }
    if (all.isEmpty())
        return false;
    // Ascending ids, going on after the last one tried, then from the lowest.
    for (const Candidate& c : all) {
        if (c.ecgId > m_lastAttemptId) {
            next = c;
            return true;
        }
    }
    next = all.first();
    return true;
}

bool CQvlScheduler::localReasonToDrop(const Candidate& c, QString& reason)
{
    QSqlQuery q(*m_db);
    if (c.patientId <= 0
        || !runQuery(q, QStringLiteral("select patientId from patientTable where patientId=?"),
                     {c.patientId}, "CQvlScheduler::backgroundUploadTimerExpired()")
        || !q.next()) {
        reason = "The patient of the recording " + QString::number(c.ecgId) + " no longer exists";
        return true;
    }
    // Only the address is missing: the file is not needed any more.
    if (c.progress.isHalfDone() && c.progress.serviceHasFile())
        return false;
    QString folder = m_dataFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    const QFileInfo file(folder + c.fileName);
    if (!isPlainFileName(c.fileName) || !file.isFile() || !file.isReadable()) {
        reason = "Unable to load data for file=" + c.fileName;
        return true;
    }
    // A file that is no recording is set aside from the queue with its reason.
    const std::string refusal = CFileEcg::refusalOf(file.filePath().toStdString());
    if (!refusal.empty()) {
        reason = QStringLiteral("The ECG file can't be uploaded. ") + QString::fromStdString(refusal);
        return true;
    }
    return false;
}

void CQvlScheduler::dropFromQueue(const Candidate& c, const QString& reason)
{
    debugLogError("CQvlScheduler::backgroundUploadTimerExpired() ecgId=" + toStdString(c.ecgId)
                  + " leaves the upload queue: " + str(reason));
    m_resumable.remove(c.ecgId);
    if (!m_fileMan->setQvlCaseStatus(c.ecgId, QStringLiteral("CLEARED")))
        debugLogError("CQvlScheduler::backgroundUploadTimerExpired() the state of ecgId="
                      + toStdString(c.ecgId) + " could not be cleared");
    if (m_owner) {
        m_owner->qvlRespBackgroundUploadFailed(c.ecgId, reason);
        m_owner->qvlRespFileChanged();
    }
}

bool CQvlScheduler::startStep(const Candidate& c)
{
    if (!c.progress.isHalfDone()) {
        if (m_client->initiateCase(c.ecgId))
            return true;
        debugLogError("QvlScheduler::timerExpired() initiateCase returns "
                      + m_client->getLastErrorStr());
        tellOwnerFailed(c.ecgId, m_client->getLastError());
        return false;
    }
    // The case opened earlier: the address when the service has the file;
    // otherwise the service is asked first whether the case holds it (an
    // earlier AddFile may have arrived without its answer), and the file
    // goes only when it does not.
    m_resumable.insert(c.ecgId);
    const bool haveFile = c.progress.serviceHasFile();
    m_checkAfterUnclearEnd = false;
    const bool posted = haveFile ? m_client->getCaseUrl(c.ecgId, c.progress.caseId)
                                 : m_client->getCaseState(c.ecgId, c.progress.caseId);
    if (posted)
        return true;
    debugLogError(std::string("QvlScheduler::timerExpired() ")
                  + (haveFile ? "getCaseUrl" : "getCaseState") + " returns "
                  + m_client->getLastErrorStr());
    tellOwnerFailed(c.ecgId, m_client->getLastError());
    return false;
}

void CQvlScheduler::endChain()
{
    m_backgroundUploadInProgress = false;
    m_chainFileId = -1;
}

void CQvlScheduler::tellOwnerFailed(int fileId, const QString& reason)
{
    if (m_owner)
        m_owner->qvlRespBackgroundUploadFailed(fileId, reason);
}

void CQvlScheduler::chainFailed(const char* answer, int fileId, bool hasNetworkError,
                                bool tellOwner)
{
    debugLogError(std::string(answer) + (hasNetworkError ? " NetworkError=" : " ErrorResponse=")
                  + m_client->getLastErrorStr());
    endChain();
    if (tellOwner)
        tellOwnerFailed(fileId, m_client->getLastError());
}

void CQvlScheduler::qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse,
                                        int qvlFileId, QString qvlCaseId)
{
    debugLog(4, "CQvlScheduler::qvlRespInitiateCase() qvlFileId=" + toStdString(qvlFileId)
                    + ", qvlCaseId=" + str(qvlCaseId) + ", hasNetworkError="
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse));
    if (hasNetworkError || hasErrorResponse) {
        // No case was opened: the recording stays queued as it was.
        chainFailed("CQvlScheduler::qvlRespInitiateCase()", qvlFileId, hasNetworkError, true);
        return;
    }
    // The new case replaces an earlier one with its address and progress.
    if (!m_fileMan || !m_fileMan->setQvlCaseId(qvlFileId, qvlCaseId)) {
        debugLogError("CQvlScheduler::qvlRespInitiateCase() the case id of ecgId="
                      + toStdString(qvlFileId) + " could not be stored");
        endChain();
        tellOwnerFailed(qvlFileId, QStringLiteral("The case could not be stored"));
        return;
    }
    m_resumable.insert(qvlFileId);
    if (!m_client->addFile(qvlFileId, qvlCaseId)) {
        debugLogError("CQvlScheduler::qvlRespInitiateCase() addFile returns "
                      + m_client->getLastErrorStr());
        endChain();
        tellOwnerFailed(qvlFileId, m_client->getLastError());
    }
}

void CQvlScheduler::qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                   QString qvlCaseId)
{
    debugLog(4, "CQvlScheduler::qvlRespAddFile() qvlFileId=" + toStdString(qvlFileId)
                    + ", qvlCaseId=" + str(qvlCaseId) + ", hasNetworkError="
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse));
    if (hasNetworkError || hasErrorResponse) {
        if (CQvlComm::endedUnclear(hasNetworkError, hasErrorResponse, m_client->getLastError())) {
            // The service may have stored the file: it is asked, never sent
            // the file again blindly.
            debugLogError(std::string("CQvlScheduler::qvlRespAddFile() ")
                          + (hasNetworkError ? "NetworkError=" : "ErrorResponse=")
                          + m_client->getLastErrorStr() + ", asking for the case's state");
            m_checkAfterUnclearEnd = true;
            m_unclearEndReason = m_client->getLastError();
            if (m_client->getCaseState(qvlFileId, qvlCaseId))
                return;
            debugLogError("CQvlScheduler::qvlRespAddFile() getCaseState returns "
                          + m_client->getLastErrorStr());
            endChain();
            tellOwnerFailed(qvlFileId, m_unclearEndReason);
            return;
        }
        chainFailed("CQvlScheduler::qvlRespAddFile()", qvlFileId, hasNetworkError, true);
        return;
    }
    // Stored before the next request: after a restart only the address is asked for.
    if (!m_fileMan || !m_fileMan->setQvlFileAdded(qvlFileId, qvlCaseId))
        debugLogError("CQvlScheduler::qvlRespAddFile() the progress of ecgId="
                      + toStdString(qvlFileId) + " could not be stored");
    if (!m_client->getCaseUrl(qvlFileId, qvlCaseId)) {
        debugLogError("CQvlScheduler::qvlRespAddFile() getCaseUrl returns "
                      + m_client->getLastErrorStr());
        endChain();
        tellOwnerFailed(qvlFileId, m_client->getLastError());
    }
}

void CQvlScheduler::qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                      QString qvlCaseUrl)
{
    debugLog(4, "CQvlScheduler::qvlRespGetCaseUrl() qvlFileId=" + toStdString(qvlFileId)
                    + ", qvlCaseUrl=" + str(qvlCaseUrl) + ", hasNetworkError="
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse));
    if (hasNetworkError || hasErrorResponse) {
        chainFailed("CQvlScheduler::qvlRespGetCaseUrl()", qvlFileId, hasNetworkError, true);
        return;
    }
    endChain();
    if (!m_fileMan || !m_fileMan->setQvlCaseUrl(qvlFileId, qvlCaseUrl)) {
        debugLogError("CQvlScheduler::qvlRespGetCaseUrl() the address of ecgId="
                      + toStdString(qvlFileId) + " could not be stored");
        tellOwnerFailed(qvlFileId, QStringLiteral("The case address could not be stored"));
        return;
    }
    m_resumable.remove(qvlFileId);
    if (m_owner)
        m_owner->qvlRespFileChanged();
}

void CQvlScheduler::qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                     QString qvlCaseId, QString status)
{
    debugLog(4, "CQvlScheduler::qvlRespCaseState() qvlFileId=" + toStdString(qvlFileId)
                    + ", qvlCaseId=" + str(qvlCaseId) + ", status=" + str(status)
                    + ", hasNetworkError=" + flag(hasNetworkError)
                    + ", hasErrorResponse=" + flag(hasErrorResponse));
    const bool afterUnclearEnd = m_checkAfterUnclearEnd;
    m_checkAfterUnclearEnd = false;
    if (hasNetworkError || hasErrorResponse) {
        // Not known whether the case holds the file: asked again next time.
        debugLogError(std::string("CQvlScheduler::qvlRespCaseState() ")
                      + (hasNetworkError ? "NetworkError=" : "ErrorResponse=")
                      + m_client->getLastErrorStr());
        // The unclear end says why, unless the service refused the question
        // itself: refused credentials or clock are what the user must fix.
        const QString error = m_client->getLastError();
        const bool refused = CQvlComm::isAuthenticationFault(error) || CQvlComm::isClockFault(error);
        endChain();
        tellOwnerFailed(qvlFileId, afterUnclearEnd && !refused ? m_unclearEndReason : error);
        return;
    }
    if (CQvlComm::caseStateHoldsFile(status)) {
        if (!m_fileMan || !m_fileMan->setQvlFileAdded(qvlFileId, qvlCaseId))
            debugLogError("CQvlScheduler::qvlRespCaseState() the progress of ecgId="
                          + toStdString(qvlFileId) + " could not be stored");
        if (m_client->getCaseUrl(qvlFileId, qvlCaseId))
            return;
        debugLogError("CQvlScheduler::qvlRespCaseState() getCaseUrl returns "
                      + m_client->getLastErrorStr());
        endChain();
        tellOwnerFailed(qvlFileId, m_client->getLastError());
        return;
    }
    if (status == QLatin1String("CANCELLED") || status == QLatin1String("CLEARED")) {
        // The case is over at the service: the recording leaves the queue.
        endChain();
        m_resumable.remove(qvlFileId);
        if (m_fileMan && m_fileMan->setQvlCaseStatus(qvlFileId, status) && m_owner)
            m_owner->qvlRespFileChanged();
        tellOwnerFailed(qvlFileId, CQvlComm::caseClosedReason(qvlCaseId));
        return;
    }
    if (afterUnclearEnd) {
        // The file did not arrive; it goes at a later attempt, which asks again.
        endChain();
        tellOwnerFailed(qvlFileId, m_unclearEndReason);
        return;
    }
    if (m_client->addFile(qvlFileId, qvlCaseId))
        return;
    debugLogError("CQvlScheduler::qvlRespCaseState() addFile returns " + m_client->getLastErrorStr());
    endChain();
    tellOwnerFailed(qvlFileId, m_client->getLastError());
}

// ---------------------------------------------------------------- relayed

void CQvlScheduler::qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse,
                                     bool qvlAccountVerified)
{
    debugLog(4, std::string("CQvlScheduler::qvlRespCheckUser() hasNetworkError=")
                    + flag(hasNetworkError) + ", hasErrorResponse=" + flag(hasErrorResponse)
                    + ", qvlAccountVerified=" + flag(qvlAccountVerified));
    if (m_owner)
        m_owner->qvlRespCheckUser(hasNetworkError, hasErrorResponse, qvlAccountVerified);
}

void CQvlScheduler::qvlRespCheckNetwork(bool, bool, bool) {}

void CQvlScheduler::qvlRespFileChanged() {}
