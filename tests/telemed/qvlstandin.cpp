#include "qvlstandin.h"

#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <memory>
#include <sys/socket.h>

QByteArray StandInRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return QByteArray();
}

int StandInRequest::headerCount(const QByteArray& name) const
{
    int n = 0;
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            ++n;
    return n;
}

namespace {

// Hands each accepted connection, still unencrypted, to a callback.
class CallbackServer : public QTcpServer
{
public:
    std::function<void(qintptr)> onIncoming;

protected:
    void incomingConnection(qintptr handle) override
    {
        if (onIncoming)
            onIncoming(handle);
    }
};

bool runOpenssl(const QString& dir, const QStringList& args, QString& error)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = QStringLiteral("openssl %1 failed: %2")
                    .arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

QByteArray readAllOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

struct QvlStandIn::Connection
{
    QByteArray buffer;
    StandInRequest request;
    qsizetype headerEnd = -1;
    qint64 contentLength = 0;
    bool done = false;
};

QvlStandIn::QvlStandIn(int octet, QObject* parent)
    : QObject(parent)
    , m_octet(octet)
    , m_contentType("text/xml; charset=utf-8")
{
}

QvlStandIn::~QvlStandIn() = default;

QString QvlStandIn::deadAddress() const
{
    return QStringLiteral("127.0.%1.250").arg(m_octet);
}

QString QvlStandIn::url(bool https, const QString& path) const
{
    return QStringLiteral("%1://%2%3").arg(https ? "https" : "http", hostPort(https), path);
}

QString QvlStandIn::hostPort(bool https) const
{
    const quint16 port = https ? m_httpsPort : m_httpPort;
    return port == (https ? 443 : 80) ? address() : address() + ':' + QString::number(port);
}

bool QvlStandIn::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    auto* http = new CallbackServer;
    auto* https = new CallbackServer;
    http->setParent(this);
    https->setParent(this);
    // Ports 80 and 443 are fixed; another process may hold them on one
    // address, so the first address of this octet with both free is taken.
    bool bound = false;
    for (int i = 1; i <= 60 && !bound; ++i) {
        const QHostAddress a(QStringLiteral("127.0.%1.%2").arg(m_octet).arg(i));
        if (http->listen(a, 80) && https->listen(a, 443)) {
            m_address = a;
            bound = true;
        } else {
            http->close();
            https->close();
        }
    }
    if (!bound) {
        // Not root: ports of the system's choice on the octet's first address.
        const QHostAddress a(QStringLiteral("127.0.%1.1").arg(m_octet));
        if (!http->listen(a, 0) || !https->listen(a, 0)) {
            m_error = QStringLiteral("no ports free on 127.0.%1.1: %2")
                          .arg(m_octet)
                          .arg(http->errorString());
            return false;
        }
        m_address = a;
    }
    m_httpPort = http->serverPort();
    m_httpsPort = https->serverPort();
    wire(http, false);
    wire(https, true);
    m_http = http;
    m_https = https;
    return makeCertificates();
}

void QvlStandIn::wire(QTcpServer* server, bool tls)
{
    auto* callback = static_cast<CallbackServer*>(server);
    callback->onIncoming = [this, callback, tls](qintptr handle) {
        if (!tls) {
            auto* s = new QTcpSocket(this);
            if (!s->setSocketDescriptor(handle)) {
                delete s;
                return;
            }
            accept(s, false, callback->serverPort());
            return;
        }
        auto* s = new QSslSocket(this);
        if (!s->setSocketDescriptor(handle)) {
            delete s;
            return;
        }
        s->setLocalCertificate(m_untrusted ? m_untrustedCert : m_cert);
        s->setPrivateKey(m_untrusted ? m_untrustedKey : m_key);
        s->setPeerVerifyMode(QSslSocket::VerifyNone);
        accept(s, true, callback->serverPort());
        s->startServerEncryption();
    };
}

quint16 QvlStandIn::listenOnOtherPort(bool tls)
{
    QTcpServer*& server = tls ? m_otherHttps : m_otherHttp;
    quint16& port = tls ? m_otherHttpsPort : m_otherHttpPort;
    if (!server) {
        auto* made = new CallbackServer;
        made->setParent(this);
        wire(made, tls);
        server = made;
    }
    if (!server->isListening() && !server->listen(m_address, port))
        return 0;
    port = server->serverPort();
    return port;
}

bool QvlStandIn::makeCertificates()
{
    const QString d = m_dir.path();
    const QString ip = address();
    QFile ext(m_dir.filePath(QStringLiteral("server.ext")));
    if (!ext.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write server.ext");
        return false;
    }
    ext.write(QStringLiteral("subjectAltName=IP:%1\nbasicConstraints=CA:FALSE\n"
                             "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n")
                  .arg(ip)
                  .toLatin1());
    ext.close();
    const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"),
                            QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"),
                            QStringLiteral("-nodes")};
    if (!runOpenssl(d,
                    QStringList{"req", "-x509"} + ec
                        + QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "3",
                                      "-subj", "/CN=Malvorant test CA"},
                    m_error)
        || !runOpenssl(d,
                       QStringList{"req", "-new"} + ec
                           + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj",
                                         "/CN=" + ip},
                       m_error)
        || !runOpenssl(d,
                       {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                        "-CAcreateserial", "-out", "server.crt", "-days", "3", "-extfile",
                        "server.ext"},
                       m_error)
        || !runOpenssl(d,
                       QStringList{"req", "-x509"} + ec
                           + QStringList{"-keyout", "other.key", "-out", "other.crt", "-days",
                                         "3", "-subj", "/CN=" + ip, "-addext",
                                         "subjectAltName=IP:" + ip},
                       m_error))
        return false;
    m_caCert = QSslCertificate(readAllOf(m_dir.filePath("ca.crt")));
    m_cert = QSslCertificate(readAllOf(m_dir.filePath("server.crt")));
    m_key = QSslKey(readAllOf(m_dir.filePath("server.key")), QSsl::Ec);
    m_untrustedCert = QSslCertificate(readAllOf(m_dir.filePath("other.crt")));
    m_untrustedKey = QSslKey(readAllOf(m_dir.filePath("other.key")), QSsl::Ec);
    if (m_caCert.isNull() || m_cert.isNull() || m_key.isNull() || m_untrustedCert.isNull()
        || m_untrustedKey.isNull()) {
        m_error = QStringLiteral("the test certificates could not be read");
        return false;
    }
    return true;
}

void QvlStandIn::trust() const
{
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.addCaCertificate(m_caCert);
    QSslConfiguration::setDefaultConfiguration(c);
}

void QvlStandIn::setReply(int status, const QByteArray& body, const QByteArray& contentType)
{
    m_status = status;
    m_body = body;
    m_contentType = contentType;
}

void QvlStandIn::accept(QTcpSocket* socket, bool tls, quint16 port)
{
    auto c = std::make_shared<Connection>();
    c->request.tls = tls;
    c->request.localPort = port;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, c]() { readFrom(socket, c.get()); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QAbstractSocket::errorOccurred, socket, [socket](QAbstractSocket::SocketError) {
        socket->deleteLater();
    });
}

void QvlStandIn::readFrom(QTcpSocket* socket, Connection* c)
{
    if (c->done) {
        socket->readAll();
        return;
    }
    c->buffer += socket->readAll();
    if (c->headerEnd < 0) {
        c->headerEnd = c->buffer.indexOf("\r\n\r\n");
        if (c->headerEnd < 0)
            return;
        const QList<QByteArray> lines = c->buffer.left(c->headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        c->request.method = first.value(0);
        c->request.target = first.value(1);
        c->request.version = first.value(2);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines.at(i);
            if (line.endsWith('\r'))
                line.chop(1);
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            c->request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        c->contentLength = c->request.header("Content-Length").toLongLong();
        c->buffer.remove(0, c->headerEnd + 4);
    }
    if (m_onBodyProgress)
        m_onBodyProgress(c->buffer.size(), c->contentLength);
    if (c->buffer.size() < c->contentLength)
        return;
    c->done = true;
    c->request.body = std::move(c->buffer);
    c->buffer = QByteArray();
    ++requestCount;
    if (m_onRequest)
        m_onRequest(c->request);
    if (m_keep)
        requests.append(c->request);
    c->request.body = QByteArray();

    switch (m_action) {
    case Action::Reply:
        answer(socket);
        break;
    case Action::Reset: {
        // Linger 0: closing sends a reset instead of an orderly end.
        const linger l{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof(l));
        socket->abort();
        socket->deleteLater();
        break;
    }
    case Action::Hang:
        break;
    case Action::Close:
        socket->disconnectFromHost();
        break;
    case Action::Delay: {
        QPointer<QTcpSocket> guarded(socket);
        const int status = m_status;
        const QByteArray body = m_body;
        const QByteArray type = m_contentType;
        QTimer::singleShot(delayMs, this, [this, guarded, status, body, type]() {
            if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
                answerWith(guarded, status, body, type);
        });
        break;
    }
    case Action::Hold:
        m_held.append(socket);
        break;
    case Action::Drip: {
        // Always some progress, never the end: an inactivity time-out never fires.
        const QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 100000\r\n\r\n";
        socket->write(out);
        auto* timer = new QTimer(socket);
        QPointer<QTcpSocket> guarded(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [guarded] {
            if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
                guarded->write(" ");
        });
        timer->start(dripIntervalMs);
        break;
    }
    }
}

void QvlStandIn::answer(QTcpSocket* socket)
{
    answerWith(socket, m_status, m_body, m_contentType);
}

void QvlStandIn::answerWith(QTcpSocket* socket, int status, const QByteArray& body,
                            const QByteArray& contentType)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    socket->write(out);
    socket->disconnectFromHost();
}

void QvlStandIn::releaseHeld()
{
    const auto held = m_held;
    m_held.clear();
    for (const auto& s : held)
        if (s)
            answer(s);
}

void QvlStandIn::stopListening()
{
    for (QTcpServer* server : {m_http, m_https, m_otherHttp, m_otherHttps})
        if (server)
            server->close();
}

void QvlStandIn::abortConnections()
{
    m_held.clear();
    const auto sockets = findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket* s : sockets) {
        s->abort();
        s->deleteLater();
    }
}

void QvlStandIn::goAwayMidBody(qint64 minTotal)
{
    m_wentAwayMidBody = false;
    setOnBodyProgress([this, minTotal](qint64 got, qint64 total) {
        if (m_wentAwayMidBody || total < minTotal || got < total / 2)
            return;
        m_wentAwayMidBody = true;
        QTimer::singleShot(0, this, [this]() {
            stopListening();
            abortConnections();
        });
    });
}

bool QvlStandIn::listenAgain()
{
    auto again = [this](QTcpServer* server, quint16 port) {
        return !server || server->isListening() || server->listen(m_address, port);
    };
    // The other ports come back on the port they had.
    return m_http && m_https && again(m_http, m_httpPort) && again(m_https, m_httpsPort)
        && again(m_otherHttp, m_otherHttpPort) && again(m_otherHttps, m_otherHttpsPort);
}

QByteArray soapReply(const QByteArray& bodyContent)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<soap:Body>"
        + bodyContent + "</soap:Body></soap:Envelope>";
}

QByteArray soapFault(const QByteArray& faultString)
{
    return soapReply("<soap:Fault><faultcode>soap:Server</faultcode><faultstring>" + faultString
                     + "</faultstring></soap:Fault>");
}
