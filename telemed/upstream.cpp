#include "upstream.h"

#include "debuglog.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QTcpSocket>

namespace {

// The token's two fixed salts.
const char* const kSaltBefore = "kTq";
const char* const kSaltAfter = "mwz47.";

} // namespace

CUpStream::CUpStream(CUpStreamListener* listener, QObject* parent)
    : QObject(parent)
    , m_listener(listener)
    , m_connectionTimer(this)
    , m_secondTimer(this)
{
    debugLog(4, "CUpStream::constructor()");
    m_connectionTimer.setSingleShot(true);
    m_secondTimer.setSingleShot(true);
    connect(&m_connectionTimer, &QTimer::timeout, this, &CUpStream::stConnectionTimeout);
}

CUpStream::~CUpStream()
{
    if (m_socket)
        disconnect(m_socket, nullptr, this, nullptr);
}

void CUpStream::setText(int number, const QString& text)
{
    if (number >= 1 && number <= 8)
        m_texts[number - 1] = text;
}

QString CUpStream::text(int number) const
{
    return number >= 1 && number <= 8 ? m_texts[number - 1] : QString();
}

void CUpStream::setSocket(QTcpSocket* socket)
{
    if (m_socket == socket)
        return;
    forgetSocket();
    m_socket = socket;
    if (!socket)
        return;
    connect(socket, &QAbstractSocket::disconnected, this, &CUpStream::stDisconnected);
    connect(socket, &QAbstractSocket::connected, this, &CUpStream::stConnected);
    connect(socket, &QIODevice::readyRead, this, &CUpStream::stReadSocket);
    connect(socket, &QIODevice::bytesWritten, this, &CUpStream::stBytesWritten);
}

void CUpStream::forgetSocket()
{
    if (m_socket)
        disconnect(m_socket, nullptr, this, nullptr);
    m_socket = nullptr;
    connectionEnded();
}

void CUpStream::connectionEnded()
{
    // A chunk whose report never came is still in the ring and goes again
    // on the next connection, after its handshake.
    m_connected = false;
    m_handshakeLeft = 0;
    m_writeInFlight = false;
    m_bytesInFlight = 0;
}

void CUpStream::startConnectionTimeout(int milliseconds)
{
    m_connectionTimer.start(milliseconds);
}

bool CUpStream::ringBufferAppend(const char* data, int count)
{
    if (count <= 0 || !data)
        return m_fillLevel < kRingSize;
    int i = 0;
    while (i < count && m_fillLevel < kRingSize) {
        m_buffer[m_writePosition] = data[i++];
        if (++m_writePosition == kRingSize)
            m_writePosition = 0;
        ++m_fillLevel;
    }
    if (i < count) {
        const int dropped = count - i;
        debugLogError("CUpStream::ringBufferAppend() unable to accomodate all stream bytes, "
                      "bytes discarded="
                      + toStdString(dropped));
        qDebug() << "CUpStream::ringBufferAppend() unable to accomodate all stream bytes, "
                    "bytes discarded="
                 << dropped;
    }
    writeNextChunk(false);
    return m_fillLevel < kRingSize;
}

void CUpStream::writeNextChunk(bool followsReport)
{
    // A socket still connecting would send the bytes ahead of the handshake.
    if (!m_socket || !m_connected || m_writeInFlight)
        return;
    const bool handshake = m_handshakeLeft > 0;
    // Nothing is in flight here, so every byte held is waiting.
    if (!handshake && (m_fillLevel <= 0 || (!followsReport && m_fillLevel < kMinChunk)))
        return;
    if (!m_socket->isOpen()) {
        qDebug() << "CUpStream::stWriteNextChunk() socket not open";
        return;
    }
    // The handshake first, whole; then the ring, a chunk never wrapping: up
    // to the write position, or to the buffer's end.
    const char* from = handshake ? m_handshake.constData() + (m_handshake.size() - m_handshakeLeft)
                                 : m_buffer + m_readPosition;
    const int end = m_readPosition < m_writePosition ? m_writePosition : kRingSize;
    const int length = handshake ? m_handshakeLeft : end - m_readPosition;
    const qint64 written = m_socket->write(from, length);
    if (written < 0) {
        // The bytes stay in the ring; the socket reports its own failure.
        debugLogError("CUpStream::stWriteNextChunk() write failed: "
                      + m_socket->errorString().toStdString());
        return;
    }
    m_bytesInFlight = int(written);
    m_writeInFlight = written > 0;
}

void CUpStream::stBytesWritten(qint64 bytesWritten)
{
    if (bytesWritten <= 0)
        return;
    qint64 reported = bytesWritten;
    if (reported > m_bytesInFlight) {
        // More than this object wrote: nothing of the ring to account for it.
        qDebug() << "CUpStream::stBytesWritten() ERROR: ringBuffer full, FillLevel="
                 << (m_fillLevel - bytesWritten);
        reported = m_bytesInFlight;
    }
    if (m_handshakeLeft > 0) {
        m_handshakeLeft -= int(reported);
    } else {
        m_readPosition += int(reported);
        if (m_readPosition >= kRingSize)
            m_readPosition -= kRingSize;
        m_fillLevel -= int(reported);
    }
    m_bytesInFlight -= int(reported);
    if (m_bytesInFlight > 0)
        return; // the rest of the chunk is still on its way
    m_writeInFlight = false;
    writeNextChunk(true);
}

QByteArray CUpStream::tokenFor(const QString& text2)
{
    return QCryptographicHash::hash((QLatin1String(kSaltBefore) + text2
                                     + QLatin1String(kSaltAfter))
                                        .toUtf8(),
                                    QCryptographicHash::Md5)
        .toHex();
}

QByteArray CUpStream::handshake() const
{
    QByteArray out = m_texts[0].toUtf8() + '\n' + tokenFor(m_texts[1]) + '\n' + "create_stream1\n";
    for (int i = 3; i < 8; ++i)
        out += m_texts[i].toUtf8() + '\n';
    return out + "3\n__";
}

void CUpStream::stConnected()
{
    debugLog(4, "CUpStream::stConnected");
    qDebug() << "CUpStream::stConnected";
    if (m_connectionTimer.isActive())
        m_connectionTimer.stop();
    if (m_listener)
        m_listener->upStreamConnected(true);
    const QByteArray command = handshake();
    // The token is a credential: what is printed has it masked.
    QByteArray shown = command;
    shown.replace(tokenFor(m_texts[1]), "********");
    qDebug() << "CUpStream::stConnected(), commandString: " << shown;
    // The stream appended while connecting stays in the ring, behind the handshake.
    connectionEnded();
    m_connected = true;
    m_handshake = command;
    m_handshakeLeft = int(command.size());
    writeNextChunk(true);
}

void CUpStream::stDisconnected()
{
    debugLog(4, "CUpStream::stDisconnected");
    qDebug() << "CUpStream::stDisconnected ERROR: "
             << (m_socket ? int(m_socket->error()) : -1) << ", "
             << (m_socket ? m_socket->errorString() : QString());
    if (m_connectionTimer.isActive())
        m_connectionTimer.stop();
    m_secondTimer.start(1000);
    connectionEnded();
    if (m_socket) {
        QAbstractSocket* socket = m_socket;
        forgetSocket();
        if (socket->isOpen())
            socket->close();
    }
    if (m_listener)
        m_listener->upStreamConnected(false);
}

void CUpStream::stConnectionTimeout()
{
    if (!m_socket) {
        qDebug() << "CUpStream::connectionTimeout() ERROR, socketState=NULL";
        return;
    }
    qDebug() << "CUpStream::connectionTimeout() ERROR, socketState=" << m_socket->state();
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        QAbstractSocket* socket = m_socket;
        forgetSocket();
        socket->abort();
    }
}

void CUpStream::stReadSocket()
{
    qDebug() << "CUpStream::stReadSocket";
    // The server's bytes mean nothing here; read so they do not pile up.
    if (m_socket)
        m_socket->readAll();
}
