#ifndef MALVORANT_UPSTREAM_H
#define MALVORANT_UPSTREAM_H

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <QTcpSocket>

// Told when the live stream's connection comes up (true) or goes (false).
class CUpStreamListener
{
public:
    virtual void upStreamConnected(bool connected) = 0;

protected:
    ~CUpStreamListener() = default;
};

// Sends a live byte stream over a TCP socket: once the socket connects it
// sends the handshake that opens a stream, then whatever is appended to its
// 10,000-byte ring, one write at a time. Nothing is written before the
// connection is up and the handshake is reported written: bytes appended
// earlier wait in the ring. A written chunk stays in the ring until the
// socket has reported all of it written, so no byte is sent twice or lost;
// bytes that do not fit into the ring are dropped (and logged). The socket
// is given from outside and not owned. GUI thread only.
class CUpStream : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRingSize = 10000;
    // A write starts only with at least this many bytes waiting, unless it
    // follows straight on the report of the previous one.
    static constexpr int kMinChunk = 11;

    explicit CUpStream(CUpStreamListener* listener = nullptr, QObject* parent = nullptr);
    ~CUpStream() override;

    // The handshake texts 1 to 8; other numbers are ignored.
    void setText(int number, const QString& text);
    QString text(int number) const;

    // Takes the socket to write to (not owned; null forgets it) and connects
    // its signals to the slots.
    void setSocket(QTcpSocket* socket);
    QTcpSocket* socket() const { return static_cast<QTcpSocket*>(m_socket.data()); }
    // Gives the connection this long to come up.
    void startConnectionTimeout(int milliseconds);

    // Appends count bytes; true while the ring is not full afterwards.
    bool ringBufferAppend(const char* data, int count);

    int fillLevel() const { return m_fillLevel; }
    int readPosition() const { return m_readPosition; }
    int writePosition() const { return m_writePosition; }
    bool writeInFlight() const { return m_writeInFlight; }
    int bytesInFlight() const { return m_bytesInFlight; }
    // Connected, and the handshake not yet reported written in full.
    bool handshakePending() const { return m_connected && m_handshakeLeft > 0; }
    const QTimer* reconnectTimer() const { return &m_secondTimer; }

    // The handshake for the current texts.
    QByteArray handshake() const;
    // The token sent in the handshake for handshake text 2.
    static QByteArray tokenFor(const QString& text2);

public slots:
    void stDisconnected();
    void stConnected();
    void stReadSocket();
    void stBytesWritten(qint64 bytesWritten);
    void stConnectionTimeout();

private:
    void writeNextChunk(bool followsReport);
    void forgetSocket();
    void connectionEnded();

    QString m_texts[8];
    // Held as its base class: the socket's own destructor still reports its
    // end (disconnected), when the object is no longer a QTcpSocket.
    QPointer<QAbstractSocket> m_socket;
    CUpStreamListener* m_listener = nullptr;
    int m_readPosition = 0;
    int m_writePosition = 0;
    int m_fillLevel = 0;
    char m_buffer[kRingSize];
    bool m_writeInFlight = false;
    int m_bytesInFlight = 0;
    // The socket said it is connected; cleared when it goes.
    bool m_connected = false;
    // This connection's handshake, and how much of it is not yet reported written.
    QByteArray m_handshake;
    int m_handshakeLeft = 0;
    QTimer m_connectionTimer;
    QTimer m_secondTimer;
};

#endif
