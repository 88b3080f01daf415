#ifndef MALVORANT_TELEMEDFLOWS_H
#define MALVORANT_TELEMEDFLOWS_H

#include "bridgeparts.h"
#include "qvlcomm.h"

#include <QHash>
#include <QString>
#include <QUrl>

class CQvlScheduler;
class PatientFlows;
class QmlItems;
class UiPublisher;
namespace qvltexts {
enum class Cause;
enum class Road;
} // namespace qvltexts

// The telemedicine upload: the upload button's decision, the request chain
// (a half-done case goes on in that case), its alerts, queueing, the case
// page and the account check with the account's state on the settings page.
class TelemedFlows
{
public:
    // A recording must hold this many records (20 s) to be read.
    static constexpr int kMinUploadRecords = 10000;
    // While the client is busy, a wanted account check is tried this often.
    static constexpr int kAccountCheckRetryMs = 250;

    // Why the account is not verified, as the settings page shows it.
    enum AccountProblem {
        AccountProblemUnknown = 0, // no check in this run
        AccountChecking = 1,
        AccountIncomplete = 2,     // user name, password or URL missing
        AccountCredentialsRefused = 3,
        AccountUnreachable = 4,
        AccountClockOutOfStep = 5,
        AccountRefused = 6         // any other fault of the service
    };

    // scheduler: told which recording the user's upload works on (may be null).
    TelemedFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                 PatientFlows& patients, CQvlComm& client, CQvlScheduler* scheduler);

    TelemedFlows(const TelemedFlows&) = delete;
    TelemedFlows& operator=(const TelemedFlows&) = delete;

    void uploadClicked(bool isLongClick);
    void continueQvlUpload(int fileId, bool completeNow);
    void continueQvlUpload2(bool networkProblem, int errorType);
    QString qvlUploadFile(int fileId);
    void queueFileUpload(int fileId, bool isQvlUpload);
    void openQvlWindow(const QString& qvlUrl);
    void updateQvlSettings(const QString& user, const QString& pwd, const QString& url);

    void qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse, bool clockOutOfSync);
    void qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse, bool accountVerified);
    void qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int fileId,
                             const QString& caseId);
    void qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int fileId,
                        const QString& caseId);
    void qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int fileId,
                           const QString& caseUrl);
    void qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int fileId,
                          const QString& caseId, const QString& status);
    void qvlRespFileChanged();
    void qvlRespBackgroundUploadFailed(int fileId, const QString& reason);

    // Puts the account's state on the settings page (when it is bound).
    void publishAccountState();
    AccountProblem accountProblem() const { return m_accountProblem; }

    // The recording of the request the user confirmed last, -1 for none.
    int requestFileId() const { return m_requestFileId; }
    // Whether a case address may be opened: http or https with a host.
    static bool isOpenableCaseUrl(const QUrl& url);

private:
    // A failed step of the user's upload: logged, and said why on screen;
    // caseOpen: the case exists, the rest may follow in it.
    void uploadFailed(int fileId, bool caseOpen, const char* where, bool hasNetworkError,
                      bool hasErrorResponse, const QString& lastError);
    void showUploadFailure(int fileId, qvltexts::Cause cause, qvltexts::Road road,
                           const QString& lastError);
    void failUpload(int fileId, bool caseOpen, const char* where, qvltexts::Cause cause,
                    const QString& lastError);
    // Checks the credentials stored now, at once or once the client is free.
    void startAccountCheck();
    QvlCredentials storedCredentials() const;
    void applyAccountAnswer(bool hasNetworkError, bool hasErrorResponse, bool accountVerified);
    void setForeground(int fileId);
    void setBusy(bool busy);
    void publishIfCurrent(int fileId);
    AccountProblem problemOf(bool hasNetworkError, bool hasErrorResponse) const;
    bool isWaitingForUpload(int fileId) const;
    void forgetSettledBackgroundFailures();

    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    PatientFlows& m_patients;
    CQvlComm& m_client;
    CQvlScheduler* m_scheduler = nullptr;
    bool m_completeNow = false;
    int m_requestFileId = -1;
    AccountProblem m_accountProblem = AccountProblemUnknown;
    // Per waiting recording, the cause of the background failure last shown:
    // each is shown once until its cause changes or the recording stops waiting.
    QHash<int, int> m_shownBackgroundFailures;
    // A check of the stored credentials waits for the client.
    bool m_accountCheckPending = false;
    bool m_accountCheckRetryArmed = false;
    // The case state is being asked for after AddFile ended without a clear
    // answer (the file is not sent again in this attempt), and that end's cause
    // (set with the flag).
    bool m_checkAfterUnclearEnd = false;
    QString m_unclearEndReason;
    qvltexts::Cause m_unclearEndCause{};
};

#endif
