// The live stream uploader against a loopback TCP server: the handshake, the
// ring and its chunks (counted, partial and wrapped reports), a failing
// write, disconnection and time-out, and a 10 MB stream, started while a
// slow server had not yet taken the connection and read slowly on the other
// side, arriving byte for byte behind the handshake.
#include "qvltestenv.h"
#include "upstream.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

QStringList g_debugLines;
QtMessageHandler g_previous = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    g_debugLines << text;
    if (type != QtDebugMsg && g_previous)
        g_previous(type, context, text);
}

class Listener : public CUpStreamListener
{
public:
    QList<bool> calls;
    void upStreamConnected(bool connected) override { calls << connected; }
};

// A loopback server with one accepted connection to the uploader's socket.
struct Link
{
    QTcpServer server;
    QTcpSocket* client = nullptr; // the uploader's
    QTcpSocket* peer = nullptr;   // the server's end
    QByteArray received;

    bool open(CUpStream& stream)
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        client = new QTcpSocket(&server);
        stream.setSocket(client);
        client->connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!waitUntil([this]() { return server.hasPendingConnections(); }))
            return false;
        peer = server.nextPendingConnection();
        return peer && waitUntil([this]() {
                   return client->state() == QAbstractSocket::ConnectedState;
               });
    }
    void readAll() { received += peer->readAll(); }
    bool waitFor(qsizetype size)
    {
        return waitUntil([this, size]() {
            readAll();
            return received.size() >= size;
        });
    }
};

QByteArray pattern(int size, int seed)
{
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char((i * 7 + seed * 13 + (i >> 8)) & 0xff);
    return out;
}

} // namespace

class TstUpStream : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void ringAppendDropsWhatDoesNotFit();
    void handshakeWithEmptyTexts();
    void handshakeWithTextsAndNoTokenInLogs();
    void elevenBytesStartAChunk();
    void partialAndWrappedReports();
    void failingWrite();
    void incomingBytesDropped();
    void disconnectionAndTimeout();
    void tenMegabytesThroughSlowServer();

private:
    QvlTestEnv m_env;
};

void TstUpStream::initTestCase()
{
    QString error;
    QVERIFY2(m_env.setUp(error), qPrintable(error));
    g_previous = qInstallMessageHandler(recordMessage);
}

void TstUpStream::init()
{
    g_debugLines.clear();
}

void TstUpStream::ringAppendDropsWhatDoesNotFit()
{
    CUpStream stream;
    QVERIFY(stream.ringBufferAppend("abc", 0));
    QVERIFY(stream.ringBufferAppend("abc", -3));
    QCOMPARE(stream.fillLevel(), 0);
    const QByteArray data = pattern(10005, 1);
    QVERIFY(!stream.ringBufferAppend(data.constData(), int(data.size())));
    QCOMPARE(stream.fillLevel(), 10000);
    QCOMPARE(stream.writePosition(), 0); // wrapped from 9,999
    QVERIFY(m_env.logText().contains("CUpStream::ringBufferAppend() unable to accomodate all "
                                     "stream bytes, bytes discarded=5"));
    QVERIFY(g_debugLines.join('\n').contains("bytes discarded= 5"));
    QVERIFY(!stream.ringBufferAppend("x", 1));
    QCOMPARE(stream.fillLevel(), 10000);
}

void TstUpStream::handshakeWithEmptyTexts()
{
    Listener listener;
    CUpStream stream(&listener);
    Link link;
    QVERIFY(link.open(stream));
    QCOMPARE(listener.calls, QList<bool>{true});
    const QByteArray token =
        QCryptographicHash::hash("kTqmwz47.", QCryptographicHash::Md5).toHex();
    const QByteArray expected = "\n" + token + "\ncreate_stream1\n\n\n\n\n\n3\n__";
    QVERIFY(link.waitFor(expected.size()));
    QTest::qWait(20);
    link.readAll();
    QCOMPARE(link.received, expected);
    QVERIFY(waitUntil([&]() { return !stream.handshakePending() && !stream.writeInFlight(); }));
    // The handshake never took room in the ring.
    QCOMPARE(stream.readPosition(), 0);
    QCOMPARE(stream.fillLevel(), 0);
}

void TstUpStream::handshakeWithTextsAndNoTokenInLogs()
{
    CUpStream stream;
    const QStringList texts = {"clinic-7", "s3cret key", "not used", "a", "b b", "c", "d", "e"};
    for (int i = 0; i < 8; ++i)
        stream.setText(i + 1, texts[i]);
    stream.setText(9, "ignored");
    QCOMPARE(stream.text(9), QString());
    const QByteArray token = QCryptographicHash::hash("kTqs3cret keymwz47.",
                                                      QCryptographicHash::Md5)
                                 .toHex();
    QCOMPARE(CUpStream::tokenFor("s3cret key"), token);
    Link link;
    QVERIFY(link.open(stream));
    const QByteArray expected = "clinic-7\n" + token + "\ncreate_stream1\na\nb b\nc\nd\ne\n3\n__";
    QVERIFY(link.waitFor(expected.size()));
    QCOMPARE(link.received, expected);
    // The token is a credential: neither the log files nor the debug output hold it.
    QVERIFY(g_debugLines.join('\n').contains("commandString"));
    QVERIFY(!g_debugLines.join('\n').contains(QString::fromLatin1(token)));
    QVERIFY(!m_env.logText().contains(token));
}

void TstUpStream::elevenBytesStartAChunk()
{
    CUpStream stream;
    Link link;
    QVERIFY(link.open(stream));
    const int handshake = int(stream.handshake().size());
    QVERIFY(link.waitFor(handshake));
    QVERIFY(waitUntil([&]() { return !stream.handshakePending() && !stream.writeInFlight(); }));

    // Ten bytes wait; the eleventh starts a chunk of all eleven.
    QVERIFY(stream.ringBufferAppend("0123456789", 10));
    QVERIFY(!stream.writeInFlight());
    QTest::qWait(50);
    link.readAll();
    QCOMPARE(link.received.size(), qsizetype(handshake));
    QVERIFY(stream.ringBufferAppend("A", 1));
    QVERIFY(stream.writeInFlight());
    QCOMPARE(stream.bytesInFlight(), 11);
    QVERIFY(link.waitFor(handshake + 11));
    QCOMPARE(link.received.mid(handshake), QByteArray("0123456789A"));
    QVERIFY(waitUntil([&]() { return stream.fillLevel() == 0 && !stream.writeInFlight(); }));
}

void TstUpStream::partialAndWrappedReports()
{
    CUpStream stream;
    Link link;
    QVERIFY(link.open(stream));
    const int h = int(stream.handshake().size());
    QVERIFY(link.waitFor(h));
    QVERIFY(waitUntil([&]() { return !stream.handshakePending() && !stream.writeInFlight(); }));
    // From here on the test plays the socket's reports itself.
    QObject::disconnect(link.client, &QIODevice::bytesWritten, &stream, nullptr);

    // Moved on by 400 bytes, so the ring wraps below.
    const QByteArray lead = pattern(400, 1);
    stream.ringBufferAppend(lead.constData(), int(lead.size()));
    stream.stBytesWritten(400);
    QCOMPARE(stream.readPosition(), 400);

    const QByteArray first = pattern(9400, 2);
    stream.ringBufferAppend(first.constData(), int(first.size()));
    QCOMPARE(stream.bytesInFlight(), 9400);
    // A report of part of the chunk writes nothing new.
    stream.stBytesWritten(5000);
    QVERIFY(stream.writeInFlight());
    QCOMPARE(stream.bytesInFlight(), 4400);
    QCOMPARE(stream.readPosition(), 5400);
    stream.stBytesWritten(4400);
    QVERIFY(!stream.writeInFlight());
    QCOMPARE(stream.fillLevel(), 0);

    // The write position passes the end: the chunk stops at the buffer's end,
    // its report wraps the read position, and the next chunk starts at 0.
    const QByteArray second = pattern(300, 3);
    stream.ringBufferAppend(second.constData(), int(second.size()));
    QCOMPARE(stream.writePosition(), 100);
    QCOMPARE(stream.bytesInFlight(), 200);
    stream.stBytesWritten(200);
    QCOMPARE(stream.readPosition(), 0);
    QVERIFY(stream.writeInFlight());
    QCOMPARE(stream.bytesInFlight(), 100);
    stream.stBytesWritten(100);
    QCOMPARE(stream.fillLevel(), 0);
    QCOMPARE(stream.readPosition(), stream.writePosition());

    // A report of more than was written is noted and counts for nothing.
    stream.stBytesWritten(50);
    QCOMPARE(stream.fillLevel(), 0);
    QCOMPARE(stream.readPosition(), 100);
    QVERIFY(g_debugLines.join('\n').contains("CUpStream::stBytesWritten() ERROR"));

    // Every byte went exactly once, in order, behind the handshake.
    QVERIFY(link.waitFor(h + 400 + 9400 + 300));
    QTest::qWait(20);
    link.readAll();
    QCOMPARE(link.received.mid(h), lead + first + second);
}

void TstUpStream::failingWrite()
{
    // An open socket that is not connected refuses the write with -1: the
    // handshake is still owed and nothing counts as in flight.
    CUpStream stream;
    QTcpSocket socket;
    QVERIFY(socket.open(QIODevice::ReadWrite));
    stream.setSocket(&socket);
    stream.stConnected();
    QVERIFY(stream.handshakePending());
    QVERIFY(!stream.writeInFlight());
    QCOMPARE(stream.fillLevel(), 0);
    QVERIFY(m_env.logText().contains("CUpStream::stWriteNextChunk() write failed"));

    // A socket that is not open is not written to at all; the bytes wait.
    socket.close();
    QVERIFY(stream.ringBufferAppend("0123456789AB", 12));
    QVERIFY(g_debugLines.join('\n').contains("CUpStream::stWriteNextChunk() socket not open"));
    QCOMPARE(stream.fillLevel(), 12);
    stream.setSocket(nullptr);
}

void TstUpStream::incomingBytesDropped()
{
    CUpStream stream;
    Link link;
    QVERIFY(link.open(stream));
    link.peer->write(QByteArray(5000, 'z'));
    QVERIFY(waitUntil([&]() {
        return g_debugLines.contains(QStringLiteral("CUpStream::stReadSocket"));
    }));
    QTest::qWait(50);
    QCOMPARE(link.client->bytesAvailable(), qint64(0));
}

void TstUpStream::disconnectionAndTimeout()
{
    Listener listener;
    CUpStream stream(&listener);
    {
        Link link;
        QVERIFY(link.open(stream));
        link.peer->disconnectFromHost();
        QVERIFY(waitUntil([&]() { return listener.calls.size() == 2; }));
        QCOMPARE(listener.calls, (QList<bool>{true, false}));
        QCOMPARE(stream.socket(), nullptr);
        QVERIFY(stream.reconnectTimer()->isActive());
        QCOMPARE(stream.reconnectTimer()->interval(), 1000);
        QVERIFY(!link.client->isOpen());
    }

    // No connection within the time: the socket is given up.
    stream.stConnectionTimeout(); // none at all: only noted
    QVERIFY(g_debugLines.contains(QStringLiteral("CUpStream::connectionTimeout() ERROR, socketState=NULL")));
    QTcpSocket never;
    stream.setSocket(&never);
    stream.startConnectionTimeout(20);
    QVERIFY(waitUntil([&]() { return stream.socket() == nullptr; }));

    // A connection that came up in time stops the clock.
    Link link;
    stream.startConnectionTimeout(100000);
    QVERIFY(link.open(stream));
    QVERIFY(stream.socket() == link.client);
    stream.stConnectionTimeout();
    QVERIFY(stream.socket() == link.client);
}

void TstUpStream::tenMegabytesThroughSlowServer()
{
    const qsizetype total = 10 * 1024 * 1024;
    QByteArray data(total, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char& c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }

    // A server whose queue of connections is full: the uploader's connection
    // is taken only once the server makes room and the connection is retried.
    QTcpServer server;
    server.setListenBacklogSize(0);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    server.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(waitUntil([&]() { return filler.state() == QAbstractSocket::ConnectedState; }));

    Listener listener;
    CUpStream stream(&listener);
    auto* client = new QTcpSocket(&server);
    stream.setSocket(client);
    client->connectToHost(QHostAddress::LocalHost, server.serverPort());

    // The stream starts while the connection is still being made: it waits
    // in the ring, nothing goes to the socket.
    qsizetype sent = 0;
    auto produce = [&]() {
        while (sent < total) {
            const int piece = int(qMin<qsizetype>(4096, total - sent));
            if (CUpStream::kRingSize - stream.fillLevel() < piece)
                break;
            stream.ringBufferAppend(data.constData() + sent, piece);
            sent += piece;
        }
    };
    produce();
    QCOMPARE(sent, qsizetype(8192));
    QTest::qWait(200);
    QCOMPARE(client->state(), QAbstractSocket::ConnectingState);
    QVERIFY(listener.calls.isEmpty());
    QVERIFY(!stream.writeInFlight());
    QCOMPARE(client->bytesToWrite(), qint64(0));
    QCOMPARE(stream.fillLevel(), 8192);

    server.resumeAccepting();
    QTcpSocket* peer = nullptr;
    QVERIFY(waitUntil(
        [&]() {
            while (!peer && server.hasPendingConnections()) {
                QTcpSocket* s = server.nextPendingConnection();
                if (client->state() == QAbstractSocket::ConnectedState
                    && s->peerPort() == client->localPort())
                    peer = s;
            }
            return peer != nullptr;
        },
        10000));
    QCOMPARE(listener.calls, QList<bool>{true});

    // The reader takes small bites now and then, so the sender must wait on it.
    QByteArray received;
    peer->setReadBufferSize(16 * 1024);
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&]() { received += peer->read(16 * 1024); });
    reader.start(1);
    QTimer producer;
    QObject::connect(&producer, &QTimer::timeout, produce);
    producer.start(0);
    const QByteArray handshake = stream.handshake();
    const qsizetype expected = handshake.size() + total;
    const bool done = waitUntil([&]() { return received.size() >= expected; }, 90000);
    producer.stop();
    reader.stop();
    QVERIFY2(done, qPrintable(QString("received %1 of %2").arg(received.size()).arg(expected)));
    QVERIFY(!g_debugLines.join('\n').contains("bytes discarded"));
    QCOMPARE(received.size(), expected);
    // The first byte on the wire is the handshake's; the stream follows whole.
    QCOMPARE(received.left(handshake.size()), handshake);
    QVERIFY(received.mid(handshake.size()) == data);
    QVERIFY(waitUntil([&]() { return stream.fillLevel() == 0; }));
}

QTEST_GUILESS_MAIN(TstUpStream)
#include "tst_upstream.moc"
