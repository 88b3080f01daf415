#ifndef MALVORANT_TESTS_QVLSTANDIN_H
#define MALVORANT_TESTS_QVLSTANDIN_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

#include <functional>

class QTcpSocket;

// One HTTP request as the stand-in received it.
struct StandInRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers; // as sent, in order
    QByteArray body;
    bool tls = false;
    quint16 localPort = 0;

    // The value of a header (name case-insensitive); null when absent.
    QByteArray header(const QByteArray& name) const;
    int headerCount(const QByteArray& name) const;
};

// A stand-in for the telemedicine service on loopback: plain HTTP on port 80
// and TLS on port 443 (for a user other than root, ports of the system's
// choice) of one 127.0.<octet>.x address, with a certificate made
// for the test (signed by a test CA that trust() adds to the process's
// default TLS configuration). Each test executable takes its own octet, so
// executables run in parallel; within it the first address whose two ports
// are free is taken.
class QvlStandIn : public QObject
{
    Q_OBJECT

public:
    enum class Action {
        Reply, // answer with the set status and body
        Reset, // read the request, then reset the connection
        Hang,  // read the request, never answer
        Hold,  // read the request, answer when releaseHeld() is called
        Drip,  // read the request, send the reply one byte every dripIntervalMs
        Close, // read the request, then close the connection without a reply
        Delay  // read the request, answer with the reply set now after delayMs
    };

    explicit QvlStandIn(int octet, QObject* parent = nullptr);
    ~QvlStandIn() override;

    // Makes the certificates and binds both ports; false with errorText() set.
    bool start();
    QString errorText() const { return m_error; }
    QString address() const { return m_address.toString(); }
    // The address with the port where it is not the scheme's own (a user
    // other than root can't listen on 80 and 443).
    QString hostPort(bool https) const;
    quint16 httpsPort() const { return m_httpsPort; }
    // An address of the same octet on which nothing listens.
    QString deadAddress() const;
    QString url(bool https, const QString& path) const;
    // Also serves plain HTTP or TLS on a port of the system's choice (the
    // same one each call); 0 when it could not listen.
    quint16 listenOnOtherPort(bool tls);

    // Adds the test CA to the default TLS configuration of the process.
    void trust() const;
    // Serves with a certificate that no trusted CA signed.
    void setUntrustedCertificate(bool untrusted) { m_untrusted = untrusted; }

    void setAction(Action action) { m_action = action; }
    void setReply(int status, const QByteArray& body,
                  const QByteArray& contentType = "text/xml; charset=utf-8");
    void releaseHeld();
    int dripIntervalMs = 300;
    int delayMs = 0;

    // The service going away and coming back: stopListening refuses new
    // connections, abortConnections cuts every open one, listenAgain takes
    // the same address and ports again.
    void stopListening();
    void abortConnections();
    bool listenAgain();
    // Called as a request's body comes in (bytes so far, the announced length).
    void setOnBodyProgress(std::function<void(qint64, qint64)> f) { m_onBodyProgress = std::move(f); }
    // The service goes away (stops listening, cuts every connection) once
    // half of a body of at least minTotal bytes has come in; wentAwayMidBody
    // says whether it has since this call.
    void goAwayMidBody(qint64 minTotal);
    bool wentAwayMidBody() const { return m_wentAwayMidBody; }

    // Keep each request (body included); when false only the callback sees it.
    void setKeepRequests(bool keep) { m_keep = keep; }
    void setOnRequest(std::function<void(const StandInRequest&)> f) { m_onRequest = std::move(f); }

    QList<StandInRequest> requests;
    int requestCount = 0;

private:
    struct Connection;
    void accept(QTcpSocket* socket, bool tls, quint16 port);
    void readFrom(QTcpSocket* socket, Connection* c);
    void answer(QTcpSocket* socket);
    void answerWith(QTcpSocket* socket, int status, const QByteArray& body,
                    const QByteArray& contentType);
    void wire(QTcpServer* server, bool tls);
    bool makeCertificates();

    QString m_error;
    QHostAddress m_address;
    int m_octet = 0;
    QTemporaryDir m_dir;
    QTcpServer* m_http = nullptr;
    QTcpServer* m_https = nullptr;
    QTcpServer* m_otherHttp = nullptr;
    QTcpServer* m_otherHttps = nullptr;
    quint16 m_httpPort = 80;
    quint16 m_httpsPort = 443;
    quint16 m_otherHttpPort = 0;
    quint16 m_otherHttpsPort = 0;
    QSslCertificate m_caCert;
    QSslCertificate m_cert;
    QSslKey m_key;
    QSslCertificate m_untrustedCert;
    QSslKey m_untrustedKey;
    bool m_untrusted = false;
    bool m_keep = true;
    Action m_action = Action::Reply;
    int m_status = 200;
    QByteArray m_body;
    QByteArray m_contentType;
    std::function<void(const StandInRequest&)> m_onRequest;
    std::function<void(qint64, qint64)> m_onBodyProgress;
    bool m_wentAwayMidBody = false;
    QList<QPointer<QTcpSocket>> m_held;
};

// A SOAP 1.1 reply envelope holding the given body content.
QByteArray soapReply(const QByteArray& bodyContent);
// A SOAP 1.1 fault envelope with the fault text.
QByteArray soapFault(const QByteArray& faultString);

#endif
