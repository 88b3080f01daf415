#ifndef MALVORANT_TELEMEDFLOWS_H
#define MALVORANT_TELEMEDFLOWS_H

#include "bridgeparts.h"

#include <QString>

class PatientFlows;
class QmlItems;
class UiPublisher;

// The telemedicine upload: the upload button's decision, the request chain,
// its alerts, queueing, the case page and the account check.
class TelemedFlows
{
public:
    TelemedFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                 PatientFlows& patients);

    TelemedFlows(const TelemedFlows&) = delete;
    TelemedFlows& operator=(const TelemedFlows&) = delete;

    void uploadClicked(bool isLongClick);
    void continueQvlUpload(int fileId, bool completeNow);
    void continueQvlUpload2(bool networkProblem, int errorType);
    QString qvlUploadFile(int fileId);
    void queueFileUpload(int fileId, bool isQvlUpload);
    void openQvlWindow(const QString& qvlUrl);
    void updateQvlSettings(const QString& user, const QString& pwd, const QString& url);

    void qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse, int clockOutOfSync);
    void qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse, bool accountVerified);
    void qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int fileId,
                             const QString& caseId);
    void qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int fileId,
                        const QString& caseId);
    void qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int fileId,
                           const QString& caseUrl);
    void qvlRespFileChanged();

private:
    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    PatientFlows& m_patients;
    bool m_completeNow = false;
};

#endif
