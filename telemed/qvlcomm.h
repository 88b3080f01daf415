#ifndef MALVORANT_QVLCOMM_H
#define MALVORANT_QVLCOMM_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
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
    QvlCmdCheckNetwork = 5,
    // The state of one case: GetModifiedServices without a token, which lists
    // every case of the account with its state.
    QvlCmdGetCaseState = 6
};

// The account a request carried: user name, password and the service URL
// setting, as stored when the request was built.
struct QvlCredentials
{
    QString user;
    QString password;
    QString url;

    bool operator==(const QvlCredentials& o) const
    {
        return user == o.user && password == o.password && url == o.url;
    }
    bool operator!=(const QvlCredentials& o) const { return !(*this == o); }
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
    // A reply larger than this is refused with an error response.
    static constexpr qint64 kDefaultMaxReplyBytes = 32 * 1024 * 1024;
    // Of a reply, only this much reaches the log.
    static constexpr int kLoggedReplyBytes = 4096;
    // The overall deadline of a request: this, plus the request's size at
    // kSlowLineBytesPerSecond, so the largest upload still fits on a slow line.
    static constexpr int kBaseDeadlineMs = 120000;
    static constexpr qint64 kSlowLineBytesPerSecond = 16 * 1024;

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
    // Asks the service for the state of the case; the answer is
    // qvlRespCaseState with the state word, empty when the service lists no
    // such case. The modified-since token is neither sent nor kept.
    bool getCaseState(int fileId, const QString& caseId);

    // Whether a request is in flight (a new one would be refused).
    bool requestInProgress() const { return m_cmdInProgress != QvlCmdNone; }
    QString getLastError() const { return m_lastError; }
    // While an answer is being given: the command it answers and the account
    // its request carried (QvlCmdNone and empty values otherwise).
    int answeringCommand() const { return m_answering; }
    QvlCredentials answeredCredentials() const { return m_answeredCredentials; }
    std::string getLastErrorStr() const { return m_lastError.toUtf8().toStdString(); }

    // The inactivity time-out of later requests (milliseconds, > 0); AddFile
    // waits at least as long as its overall deadline.
    void setTransferTimeout(int milliseconds);
    int transferTimeout() const { return m_transferTimeoutMs; }
    // A fixed overall deadline for later requests (milliseconds, > 0); 0
    // goes back to the deadline computed from each request's size.
    void setRequestDeadline(int milliseconds);
    // The overall deadline of a request body of that many bytes.
    int requestDeadlineFor(qint64 bodyBytes) const;
    // The size bound of later replies (bytes, > 0).
    void setMaxReplyBytes(qint64 bytes);

    // Whether a service URL may carry the credentials: https, or plain http
    // to a loopback address (the test stand-in).
    static bool isSafeForCredentials(const QUrl& url);
    // Whether a fault text says the credentials were refused, or that this
    // computer's clock is out of step with the service.
    static bool isAuthenticationFault(const QString& text);
    static bool isClockFault(const QString& text);
    // The reason given when the service reports a case cancelled or cleared.
    static QString caseClosedReason(const QString& caseId);
    static bool isCaseClosed(const QString& text);
    // Whether a failure text says the service gave no answer in time.
    static bool isTimeout(const QString& text);
    // Whether a request ended without a clear answer: no reply, a cut line,
    // a time-out or a reply that is no answer, as opposed to success or a
    // fault the service sent (lastError is the client's last error then).
    static bool endedUnclear(bool hasNetworkError, bool hasErrorResponse, const QString& lastError);
    // Whether a case in this state (a status word) holds its file.
    static bool caseStateHoldsFile(const QString& status);
    // Text that goes into one line of a request: each line break becomes a space.
    static QString singleLine(const QString& text);
    // The start of a reply as it is logged.
    static std::string logExcerpt(const QString& body);

    // The request URL for a service URL setting: lower-cased; the bare default
    // host name stands for the default endpoint; https, or else http, on the
    // setting's port (443 or 80 when it names none); query, fragment and user
    // information of the setting are dropped.
    static QUrl serviceUrl(const QString& setting);

    // Value of the first <tag ...>value</tag in text (case-sensitive, not
    // decoded). Returns the index just past the end tag, or -1 (out empty).
    static int findInResponseBody(const QString& tag, const QString& text, QString& out);
    // The same, searching from index from on.
    static int findInResponseBody(const QString& tag, const QString& text, QString& out, int from);

public slots:
    void httpsReplyFinished(QNetworkReply* reply);

private:
    QNetworkAccessManager& manager();
    void watchReply(QNetworkReply* reply, qint64 bodyBytes);
    void requestDeadlinePassed();
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
    int m_fixedDeadlineMs = 0;
    qint64 m_maxReplyBytes = kDefaultMaxReplyBytes;
    // Why the reply in flight was cut short by this client, empty when not.
    QString m_abortReason;
    bool m_abortedBySize = false;
    QTimer m_deadline;
    QvlCredentials m_sentCredentials;
    int m_answering = QvlCmdNone;
    QvlCredentials m_answeredCredentials;
};

#endif
