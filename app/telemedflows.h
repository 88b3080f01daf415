#ifndef MALVORANT_TELEMEDFLOWS_H
#define MALVORANT_TELEMEDFLOWS_H

#include "bridgeparts.h"

#include <QString>
#include <QUrl>

class CQvlComm;
class PatientFlows;
class QmlItems;
class UiPublisher;

// The telemedicine upload: the upload button's decision, the request chain,
// its alerts, queueing, the case page and the account check.
class TelemedFlows
{
public:
    // A recording must hold this many records (20 s) to be read.
    static constexpr int kMinUploadRecords = 10000;

    TelemedFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                 PatientFlows& patients, CQvlComm& client);

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
    void qvlRespFileChanged();
    void qvlRespBackgroundUploadFailed(int fileId, const QString& reason);

    // The recording of the request the user confirmed last, -1 for none.
    int requestFileId() const { return m_requestFileId; }
    // Whether a case address may be opened: http or https with a host.
    static bool isOpenableCaseUrl(const QUrl& url);

private:
    void chainFailed(const char* where, const QString& what);
    void setBusy(bool busy);
    void publishIfCurrent(int fileId);

    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    PatientFlows& m_patients;
    CQvlComm& m_client;
    bool m_completeNow = false;
    int m_requestFileId = -1;
    // The last background failure shown, so a recording that fails at every
    // tick for the same reason is shown once.
    int m_lastBackgroundFileId = -1;
    QString m_lastBackgroundReason;
};

#endif
