#ifndef MALVORANT_QVLSCHEDULER_H
#define MALVORANT_QVLSCHEDULER_H

#include "fileman.h"
#include "qvlcallbackinterface.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class CQvlComm;
class CSettingsMan;
class QSqlDatabase;

// Telemedicine work that runs without the user: uploads the recordings queued
// for the service (state 9), one chain InitiateCase, AddFile, GetCaseURL at a
// time, resumes a half-done case (a case id and no address) in that case with
// what is still missing, and asks the service which open cases changed
// state. The chain's progress is stored with the recording, and before a file
// goes into a case opened earlier, or after AddFile ended without a clear
// answer, the service is asked whether the case holds it already: a file is
// sent at most once per case, across restarts too. The status poll never
// takes a recording out of the queue (state 9). It owns a client of its own and is that client's
// answer interface; towards its owner it passes on the account answer, the
// notice that a recording's case data changed, and the failures of
// background uploads. GUI thread only.
class CQvlScheduler : public QObject, public CQvlCallbackInterface
{
    Q_OBJECT

public:
    static constexpr int kFirstPollMs = 10000;
    static constexpr int kFirstUploadMs = 15000;
    static constexpr int kIdleIntervalMs = 300000;
    static constexpr int kChainIntervalMs = 60000;

    CQvlScheduler(CQvlCallbackInterface* owner, const QString& dataFolder, QSqlDatabase* database,
                  CSettingsMan* settings, CFileMan* fileMan, const QString& applicationType,
                  const QString& version, const QString& build);
    ~CQvlScheduler() override;

    CQvlScheduler(const CQvlScheduler&) = delete;
    CQvlScheduler& operator=(const CQvlScheduler&) = delete;

    QTimer* modifiedServicesTimer() { return &m_modifiedServicesTimer; }
    QTimer* backgroundUploadTimer() { return &m_backgroundUploadTimer; }
    CQvlComm* client() { return m_client; }
    bool modifiedServicesOperationInProgress() const { return m_modifiedServicesOperationInProgress; }
    bool backgroundUploadInProgress() const { return m_backgroundUploadInProgress; }
    QString token() const { return m_token; }

    // The recording the user's own upload is working on (-1: none): never
    // taken in the background meanwhile.
    void setForegroundUpload(int ecgId) { m_foregroundFileId = ecgId; }
    // The recording of the chain running in the background, -1 when none.
    int backgroundUploadFileId() const
    {
        return m_backgroundUploadInProgress ? m_chainFileId : -1;
    }

    void qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse,
                             bool clockOutOfSync) override;
    void qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse,
                          bool qvlAccountVerified) override;
    void qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                             QString qvlCaseId) override;
    void qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                        QString qvlCaseId) override;
    void qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                           QString qvlCaseUrl) override;
    void qvlRespGetModifiedServices1(bool hasNetworkError, bool hasErrorResponse,
                                     QString qvlToken) override;
    void qvlRespGetModifiedServices2(QString caseId, QString status) override;
    void qvlRespGetModifiedServicesDone() override;
    void qvlRespFileChanged() override;
    void qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                          QString qvlCaseId, QString status) override;

public slots:
    void modifiedServicesTimerExpired();
    void backgroundUploadTimerExpired();

private:
    struct Candidate
    {
        int ecgId = 0;
        int patientId = 0;
        QString fileName;
        QvlCaseProgress progress;
    };

    bool accountVerified() const;
    void rememberHalfDoneCases();
    bool nextCandidate(const QSet<int>& skipped, Candidate& next);
    bool localReasonToDrop(const Candidate& c, QString& reason);
    void dropFromQueue(const Candidate& c, const QString& reason);
    bool startStep(const Candidate& c);
    void endChain();
    void chainFailed(const char* answer, int fileId, bool hasNetworkError, bool tellOwner);
    void tellOwnerFailed(int fileId, const QString& reason);

    QTimer m_modifiedServicesTimer;
    QTimer m_backgroundUploadTimer;
    CQvlComm* m_client = nullptr;
    QSqlDatabase* m_db = nullptr;
    bool m_firstRun = true;
    CSettingsMan* m_settings = nullptr;
    CFileMan* m_fileMan = nullptr;
    CQvlCallbackInterface* m_owner = nullptr;
    QString m_version;
    QString m_build;
    QString m_applicationType;
    QString m_dataFolder;
    QString m_token;
    bool m_modifiedServicesOperationInProgress = false;
    bool m_backgroundUploadInProgress = false;

    // Half-done cases this scheduler finishes without being asked: those of
    // its own chains and those an earlier run left. One the user's upload
    // left in this run waits for the user (or the queue).
    QSet<int> m_resumable;
    // The recording the last chain was for; the next tick goes on with the
    // next higher id, so one that keeps failing does not hold up the rest.
    int m_lastAttemptId = 0;
    int m_chainFileId = -1;
    // The case state is being asked for after AddFile ended without a clear
    // answer (then the file is not sent again in this chain); its failure.
    bool m_checkAfterUnclearEnd = false;
    QString m_unclearEndReason;
    int m_foregroundFileId = -1;
};

#endif
