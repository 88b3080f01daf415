#ifndef MALVORANT_QVLCOMM_H
#define MALVORANT_QVLCOMM_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <string>

class CQvlCallbackInterface;
class CSettingsMan;
class QNetworkAccessManager;
class QNetworkReply;
class QSqlDatabase;

// Request numbers of the telemedicine client; -1 while none is in flight.
enum QvlCommand {
    QvlCmdNone = -1,
    QvlCmdCheckUser = 0,
    QvlCmdInitiateCase = 1,
    QvlCmdAddFile = 2,
    QvlCmdGetCaseUrl = 3,
    QvlCmdGetModifiedServices = 4,
    QvlCmdCheckNetwork = 5
};

// SOAP client of the telemedicine service. One request at a time: an entry
// point returns true when its request was posted (the answer comes later
// through the answer interface) and false when nothing was sent (the reason
// is in getLastError; a refusal because a request is in flight changes nothing).
class CQvlComm : public QObject
{
    Q_OBJECT

public:
    // No progress for this long ends a request with a network error.
    static constexpr int kDefaultTransferTimeoutMs = 60000;

    CQvlComm(CQvlCallbackInterface* callback, const QString& dataFolder, QSqlDatabase* database,
             CSettingsMan* settings, const QString& applicationType, const QString& version,
             const QString& build);
    ~CQvlComm() override;

    CQvlComm(const CQvlComm&) = delete;
    CQvlComm& operator=(const CQvlComm&) = delete;

    bool checkUser();
    bool checkNetwork();
    bool initiateCase(int fileId);
    bool addFile(int fileId, const QString& caseId);
    bool getCaseUrl(int fileId, const QString& caseId);
    bool getModifiedServices(const QString& modifiedToken);

    QString getLastError() const { return m_lastError; }
    std::string getLastErrorStr() const { return m_lastError.toUtf8().toStdString(); }

    // The inactivity time-out of later requests (milliseconds, > 0).
    void setTransferTimeout(int milliseconds);
    int transferTimeout() const { return m_transferTimeoutMs; }

    // The request URL for a service URL setting: lower-cased; the bare default
    // host name stands for the default endpoint; https goes to port 443,
    // everything else to http on port 80; port, query, fragment and user
    // information of the setting are dropped.
    static QUrl serviceUrl(const QString& setting);

    // Value of the first <tag ...>value</tag in text (case-sensitive, not
    // decoded). Returns the index just past the end tag, or -1 (out empty).
    static int findInResponseBody(const QString& tag, const QString& text, QString& out);

public slots:
    void httpsReplyFinished(QNetworkReply* reply);

private:
    bool acceptRequest(const char* name);
    bool doRequest(int cmd, int number, const QString& text);
    bool fail(const QString& text);
    bool buildCaseElement(int fileId, QString& element);
    bool buildFileEnvelope(int fileId, const QString& caseId, const QString& start,
                           QByteArray& envelope);

    CSettingsMan* m_settings = nullptr;
    QSqlDatabase* m_db = nullptr;
    CQvlCallbackInterface* m_callback = nullptr;
    QString m_version;
    QString m_build;
    QString m_applicationType;
    QString m_dataFolder;
    int m_cmdInProgress = QvlCmdNone;
    int m_fileId = 0;
    QString m_caseId;
    QString m_lastError;
    QString m_host;
    QNetworkAccessManager* m_manager = nullptr;
    // The reply of the request in flight, to tell it from a stray one.
    QPointer<QNetworkReply> m_reply;
    int m_transferTimeoutMs = kDefaultTransferTimeoutMs;
};

#endif
