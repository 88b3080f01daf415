#ifndef MALVORANT_QVLCALLBACKINTERFACE_H
#define MALVORANT_QVLCALLBACKINTERFACE_H

#include <QString>

// Answers of the telemedicine client. Every request answer starts with the
// two flags: hasNetworkError (the transfer failed) and hasErrorResponse (the
// service sent a fault, or the reply lacked what the request needs). A value
// argument counts only when neither flag is set. Answers run on the GUI
// thread inside the client's reply handler, after the client is idle again,
// so an answer may start the next request.
class CQvlCallbackInterface
{
public:
    virtual void qvlRespCheckNetwork(bool hasNetworkError, bool hasErrorResponse,
                                     bool clockOutOfSync) = 0;
    virtual void qvlRespCheckUser(bool hasNetworkError, bool hasErrorResponse,
                                  bool qvlAccountVerified) = 0;
    virtual void qvlRespInitiateCase(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                     QString qvlCaseId) = 0;
    virtual void qvlRespAddFile(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                QString qvlCaseId) = 0;
    virtual void qvlRespGetCaseUrl(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                   QString qvlCaseUrl) = 0;
    virtual void qvlRespGetModifiedServices1(bool hasNetworkError, bool hasErrorResponse,
                                             QString qvlToken) = 0;
    virtual void qvlRespGetModifiedServices2(QString caseId, QString status) = 0;
    virtual void qvlRespGetModifiedServicesDone() = 0;
    // From the scheduler to its owner: the stored case data of a recording changed.
    virtual void qvlRespFileChanged() = 0;
    // From the scheduler to its owner: a background upload of the recording
    // failed (the reason is the client's last error or a local reason). The
    // recording stays queued for a later attempt unless the reason is local
    // (its patient or file is gone); then it has left the queue. Empty here,
    // so implementers that show nothing need not override it.
    virtual void qvlRespBackgroundUploadFailed(int qvlFileId, QString reason)
    {
        Q_UNUSED(qvlFileId);
        Q_UNUSED(reason);
    }

    // Answer of getCaseState: the case's state word as the service lists it,
    // empty when the service lists no such case. Empty here, like the one above.
    virtual void qvlRespCaseState(bool hasNetworkError, bool hasErrorResponse, int qvlFileId,
                                  QString qvlCaseId, QString status)
    {
        Q_UNUSED(hasNetworkError);
        Q_UNUSED(hasErrorResponse);
        Q_UNUSED(qvlFileId);
        Q_UNUSED(qvlCaseId);
        Q_UNUSED(status);
    }

protected:
    // Implementers are never deleted through this base.
    ~CQvlCallbackInterface() = default;
};

#endif
