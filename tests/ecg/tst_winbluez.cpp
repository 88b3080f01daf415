// The socket layer and the Bluetooth stream over a back end whose far end the
// test holds: a socket pair, as the real link behaves.
#include <QtTest>

#include "devicestreamwriter.h"
#include "linkowner.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {
class PairBackend : public CBtBackend
{
public:
    bool adapter = true;
    std::vector<BtInquiryDevice> devices;
    int connectError = 0;       // what openRfcomm reports
    bool noSocket = false;
    int peer = -1;              // the device's end of the newest link
    int registrations = 0;
    int unregistrations = 0;
    quint64 registeredAddress = 0;
    BtPinHandler handler;
    int receiveError = 0;       // injected once instead of a receive

    ~PairBackend() override
    {
        if (peer >= 0)
            ::close(peer);
    }
    QString backendName() const override { return QStringLiteral("pair"); }
    bool findAdapter(QString* why) override
    {
        if (!adapter && why)
            *why = QStringLiteral("none here");
        return adapter;
    }
    bool inquiry(std::vector<BtInquiryDevice>* found, QString*) override
    {
        *found = devices;
        return adapter;
    }
    bool registerAuthentication(quint64 address, BtPinHandler h, int* error) override
    {
        *error = 0;
        ++registrations;
        registeredAddress = address;
        handler = std::move(h);
        return true;
    }
    bool unregisterAuthentication(int* error) override
    {
        *error = 0;
        ++unregistrations;
        handler = BtPinHandler();
        return true;
    }
    int openRfcomm(quint64, int, int* error) override
    {
        if (noSocket) {
            *error = EAFNOSUPPORT;
            return -1;
        }
        int fds[2];
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds);
        if (peer >= 0)
            ::close(peer);
        peer = fds[1];
        *error = connectError;
        return fds[0];
    }
    long receive(int handle, char* buffer, long size, int* error) override
    {
        if (receiveError) {
            *error = receiveError;
            receiveError = 0;
            return -1;
        }
        return CBtBackend::receive(handle, buffer, size, error);
    }
    void closePeer()
    {
        ::close(peer);
        peer = -1;
    }
    void peerWrite(const QByteArray& b) { QCOMPARE(::write(peer, b.constData(), size_t(b.size())), ssize_t(b.size())); }
    QByteArray peerRead()
    {
        char buf[4096];
        const ssize_t n = ::recv(peer, buf, sizeof(buf), MSG_DONTWAIT);
        return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    }
};

struct Rig {
    TestLinkOwner owner;
    PairBackend* backend = nullptr;
    std::unique_ptr<CRawStreamBt> stream;
    Rig()
    {
        auto b = std::make_unique<PairBackend>();
        backend = b.get();
        stream = std::make_unique<CRawStreamBt>(nullptr, &owner, &owner, std::move(b));
        owner.stream = stream.get();
    }
    ~Rig()
    {
        owner.stream = nullptr;
        stream.reset();
    }
    Winbluez* layer() { return stream->socketLayer(); }
};

// A plain stream that shows what it would write to a device.
class CapturingStream : public CRawStream
{
public:
    CapturingStream() : CRawStream(nullptr, nullptr, nullptr) {}
    QByteArray written;
    void putUartChar(unsigned char b) override { written.append(char(b)); }
    void setTypes(int input, int device)
    {
        m_inputType = input;
        setDeviceType(device);
    }
};
}

class TestWinbluez : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void addressTexts_data();
    void addressTexts();
    void inquiryListsMatchingDevices();
    void streamTableTakesFiveKxDevices();
    void readFailuresCountOnlyInARow();
    void peerCloseIsReportedOnce();
    void writeToAGoneDeviceIsReported();
    void otherReadErrorClosesAndReports();
    void pinRegistrationFollowsTheDevice();
    void failedConnectLeavesNothingBehind();
    void pendingConnectIsNotConnected();
    void framesSplitAcrossReadsAtEveryByte();
    void kxPollsAndStartCommands();
    void baseStubsAndCommands();
};

void TestWinbluez::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("malvorant.devicelink.debug=false"));
}

void TestWinbluez::addressTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint64>("address");
    QTest::newRow("lower case") << "00:80:2a:4b:58:01" << true << quint64(0x00802A4B5801ull);
    QTest::newRow("upper case") << "AA:BB:CC:DD:EE:FF" << true << quint64(0xAABBCCDDEEFFull);
    QTest::newRow("single digits") << "1:2:3:4:5:6" << true << quint64(0x010203040506ull);
    QTest::newRow("five pairs") << "00:80:2a:4b:58" << false << quint64(0);
    QTest::newRow("seven pairs") << "00:80:2a:4b:58:01:02" << false << quint64(0);
    QTest::newRow("not hex") << "00:80:2a:4b:58:zz" << false << quint64(0);
    QTest::newRow("three digits") << "00:80:2a:4b:58:100" << false << quint64(0);
    QTest::newRow("empty") << "" << false << quint64(0);
}

void TestWinbluez::addressTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(quint64, address);
    quint64 a = 0;
    QCOMPARE(Winbluez::parseAddress(text, &a), valid);
    if (valid) {
        QCOMPARE(a, address);
        QCOMPARE(Winbluez::addressText(a), text.size() == 17 ? text.toLower() : QStringLiteral("01:02:03:04:05:06"));
    }
    // An address the layer cannot read opens nothing.
    Rig rig;
    bool status = true;
    QCOMPARE(rig.layer()->openBTComm(text, status), valid);
    QCOMPARE(rig.layer()->hasSocket(), valid);
    if (!valid)
        QCOMPARE(rig.backend->registrations, 0);
}

void TestWinbluez::inquiryListsMatchingDevices()
{
    Rig rig;
    rig.backend->devices = {{"Printer", 1}, {"Kx one", 2}, {"QD100 a", 3}, {"kx lower", 4}, {"", 5},
                            {"Kx two", 6},  {"QD101 b", 7}, {"Kx three", 8}, {"Kx four", 9}};
    QCOMPARE(rig.layer()->listBluetoothDevices(), 5);
    QCOMPARE(rig.owner.addedNames, (QList<QString>{"Kx one", "QD100 a", "Kx two", "QD101 b", "Kx three"}));
    QCOMPARE(rig.layer()->name(0), QStringLiteral("Kx one"));
    QCOMPARE(rig.layer()->address(4), quint64(8));
    QCOMPARE(rig.layer()->name(5), QString());

    rig.backend->adapter = false;
    QCOMPARE(rig.layer()->listBluetoothDevices(), -1);
    QCOMPARE(rig.layer()->lastErrorText(), QStringLiteral("No Bluetooth adapter"));
    QVERIFY(!rig.layer()->initBluetooth());
}

void TestWinbluez::streamTableTakesFiveKxDevices()
{
    Rig rig;
    for (int i = 0; i < 7; ++i)
        rig.stream->btAddDevice(QStringLiteral("Kx %1").arg(i), quint64(0x0A0B0C0D0E00ull + quint64(i)));
    rig.stream->btAddDevice(QStringLiteral("QD100 x"), 99);
    QCOMPARE(rig.stream->deviceCount(), 5);
    QCOMPARE(rig.owner.discoverKinds.size(), 5); // the sixth and seventh never reach the owner
    QCOMPARE(rig.owner.lastCount, 5);
    QCOMPARE(rig.stream->deviceTable()[4].address, QStringLiteral("0a:0b:0c:0d:0e:04"));
    rig.stream->btDevDiscFinished();
    QCOMPARE(rig.owner.discoverKinds.last(), 0);
}

void TestWinbluez::readFailuresCountOnlyInARow()
{
    Rig rig;
    bool status = false;
    QVERIFY(rig.layer()->openBTComm("00:01:02:03:04:05", status));
    char buf[64];
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < Winbluez::kMaxReadFailures - 1; ++i)
            QCOMPARE(rig.layer()->readComm(buf, sizeof(buf)), -1);
        QCOMPARE(rig.layer()->readFailureCount(), Winbluez::kMaxReadFailures - 1);
        rig.backend->peerWrite("x");
        QCOMPARE(rig.layer()->readComm(buf, sizeof(buf)), 1);
        QVERIFY(rig.layer()->isConnected());
        QCOMPARE(rig.layer()->readFailureCount(), 0);
    }
    QCOMPARE(rig.owner.disconnectedReports, 0);
    for (int i = 0; i < Winbluez::kMaxReadFailures; ++i)
        rig.layer()->readComm(buf, sizeof(buf));
    QVERIFY(!rig.layer()->hasSocket());
    QCOMPARE(rig.owner.disconnectedReports, 1);
    QCOMPARE(rig.layer()->readComm(buf, sizeof(buf)), 0);
    QCOMPARE(rig.owner.disconnectedReports, 1);
}

void TestWinbluez::peerCloseIsReportedOnce()
{
    Rig rig;
    rig.stream->btSelectDevice("Kx dev", "00:01:02:03:04:05");
    rig.stream->startStop(true);
    QCOMPARE(rig.owner.connectErrors, QList<int>{0});
    rig.backend->closePeer();
    rig.stream->btReadSocket();
    QVERIFY(!rig.layer()->hasSocket());
    QCOMPARE(rig.owner.disconnectedReports, 1);
    QCOMPARE(rig.owner.retries, 1);
    rig.stream->btReadSocket();
    QCOMPARE(rig.owner.disconnectedReports, 1);
    // Acquisition is on: the next getData connects again.
    EcgStreamSample s{};
    QVERIFY(!rig.stream->getData(&s));
    QVERIFY(rig.layer()->hasSocket());
    QCOMPARE(rig.owner.connectErrors, (QList<int>{0, 0}));
    rig.stream->startStop(false);
}

void TestWinbluez::writeToAGoneDeviceIsReported()
{
    Rig rig;
    bool status = false;
    QVERIFY(rig.layer()->openBTComm("00:01:02:03:04:05", status));
    rig.backend->closePeer();
    // No SIGPIPE: the write fails and the link is closed and reported.
    QCOMPARE(rig.layer()->writeComm("\\A", 2), -1);
    QVERIFY(!rig.layer()->hasSocket());
    QCOMPARE(rig.owner.disconnectedReports, 1);
    QCOMPARE(rig.layer()->writeComm("\\A", 2), 0);
}

void TestWinbluez::otherReadErrorClosesAndReports()
{
    Rig rig;
    bool status = false;
    QVERIFY(rig.layer()->openBTComm("00:01:02:03:04:05", status));
    rig.backend->receiveError = ECONNRESET;
    char buf[8];
    QCOMPARE(rig.layer()->readComm(buf, sizeof(buf)), -1);
    QVERIFY(!rig.layer()->hasSocket());
    QCOMPARE(rig.owner.disconnectedReports, 1);
    QCOMPARE(rig.layer()->lastError(), unsigned(ECONNRESET));
}

void TestWinbluez::pinRegistrationFollowsTheDevice()
{
    Rig rig;
    bool status = false;
    QVERIFY(rig.layer()->openBTComm("00:01:02:03:04:05", status));
    QCOMPARE(rig.backend->registrations, 1);
    QByteArray pin;
    QVERIFY(rig.backend->handler(0x000102030405ull, &pin));
    QCOMPARE(pin, QByteArray("8052"));
    QVERIFY(!rig.backend->handler(0x000102030406ull, &pin));
    // The same device again: still the one registration.
    QVERIFY(rig.layer()->openBTComm("00:01:02:03:04:05", status));
    QCOMPARE(rig.backend->registrations, 1);
    QCOMPARE(rig.backend->unregistrations, 0);
    // Another device: the first registration goes, the new one comes.
    QVERIFY(rig.layer()->openBTComm("00:01:02:03:04:06", status));
    QCOMPARE(rig.backend->registrations, 2);
    QCOMPARE(rig.backend->unregistrations, 1);
    QCOMPARE(rig.backend->registeredAddress, quint64(0x000102030406ull));
    // Closing releases it.
    QVERIFY(rig.layer()->closeBTComm());
    QVERIFY(!rig.layer()->hasSocket());
    QVERIFY(!rig.layer()->isAuthenticationRegistered());
    QCOMPARE(rig.backend->unregistrations, 2);
    QVERIFY(rig.layer()->closeBTComm());
    QCOMPARE(rig.backend->unregistrations, 2);
}

void TestWinbluez::failedConnectLeavesNothingBehind()
{
    Rig rig;
    rig.backend->connectError = ECONNREFUSED;
    bool status = false;
    QVERIFY(!rig.layer()->openBTComm("00:01:02:03:04:05", status));
    QVERIFY(status);
    QVERIFY(!rig.layer()->hasSocket());
    QVERIFY(!rig.layer()->isAuthenticationRegistered());
    QCOMPARE(rig.backend->registrations, rig.backend->unregistrations);

    Rig r2;
    r2.backend->noSocket = true;
    QVERIFY(!r2.layer()->openBTComm("00:01:02:03:04:05", status));
    QVERIFY(!status);
    QVERIFY(!r2.layer()->isAuthenticationRegistered());

    // Through the stream: the failure reaches the owner.
    Rig r3;
    r3.backend->connectError = EHOSTUNREACH;
    r3.stream->btSelectDevice("Kx dev", "00:01:02:03:04:05");
    r3.stream->startStop(true);
    QCOMPARE(r3.owner.connectErrors, QList<int>{1});
    QCOMPARE(r3.owner.retries, 1);
    r3.stream->startStop(false);
}

void TestWinbluez::pendingConnectIsNotConnected()
{
    Rig rig;
    rig.backend->connectError = EINPROGRESS;
    rig.stream->btSelectDevice("QD101 dev", "00:01:02:03:04:05");
    rig.stream->startStop(true);
    QVERIFY(rig.layer()->hasSocket());
    QVERIFY(!rig.layer()->isConnected());
    QVERIFY(rig.owner.connectErrors.isEmpty());
    rig.stream->btReadSocket();
    QVERIFY(rig.owner.connectErrors.isEmpty());
    // The first bytes from the device bring the link up.
    rig.backend->peerWrite("abc");
    rig.stream->btReadSocket();
    QVERIFY(rig.layer()->isConnected());
    QCOMPARE(rig.owner.connectErrors, QList<int>{0});
    QCOMPARE(rig.owner.connectTexts, QList<QString>{"QD101 dev"});
    // QD101's start command is dropped by the command gate: nothing was sent.
    QCOMPARE(rig.backend->peerRead(), QByteArray());
    rig.stream->startStop(false);
}

void TestWinbluez::framesSplitAcrossReadsAtEveryByte()
{
    // Three packets, the stream's reads split anywhere: the same records.
    teststream::FramedWriter w;
    for (int i = 0; i < 200; ++i)
        w.addSample(0x800 + (i * 37) % 900, 0x700 + (i * 53) % 700);
    w.injectMark(3);
    for (int i = 0; i < 100; ++i)
        w.addSample(0x800, 0x800 + i);
    const QByteArray bytes = w.out;
    std::vector<EcgStreamSample> whole;
    for (int cut = 0; cut <= 140; ++cut) {
        Rig rig;
        rig.stream->btSelectDevice("Kx dev", "00:01:02:03:04:05");
        rig.stream->startStop(true);
        QVERIFY(rig.stream->isLinkUp());
        std::vector<EcgStreamSample> got;
        auto drain = [&] {
            EcgStreamSample s{};
            while (rig.stream->getData(&s))
                got.push_back(s);
        };
        const int at = 132 + cut; // inside the second packet and the third
        rig.backend->peerWrite(bytes.left(at));
        rig.stream->btReadSocket();
        drain();
        rig.backend->peerWrite(bytes.mid(at));
        rig.stream->btReadSocket();
        drain();
        if (cut == 0)
            whole = got;
        QCOMPARE(got.size(), whole.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].type, whole[i].type);
            if (got[i].type >= 0)
                QCOMPARE(got[i].leadI, whole[i].leadI);
        }
        rig.stream->startStop(false);
    }
    QVERIFY(whole.size() > 100);
    int marks = 0;
    for (const auto& r : whole)
        marks += r.type == ECG_EVENT_USER_MARK3 ? 1 : 0;
    QCOMPARE(marks, 1);
}

void TestWinbluez::kxPollsAndStartCommands()
{
    Rig rig;
    rig.stream->btSelectDevice("Kx dev", "00:01:02:03:04:05");
    rig.stream->startStop(true);
    QCOMPARE(rig.backend->peerRead(), QByteArray("\\A"));
    // A poll that finds no data asks again.
    rig.stream->btReadSocket();
    QCOMPARE(rig.backend->peerRead(), QByteArray("\\A"));
    // The periodic poll at second 0 of the connection.
    EcgStreamSample s{};
    rig.stream->getData(&s);
    QCOMPARE(rig.backend->peerRead(), QByteArray("\\2"));
    rig.stream->getData(&s);
    QCOMPARE(rig.backend->peerRead(), QByteArray());
    rig.stream->startStop(false);

    Rig qd;
    qd.stream->btSelectDevice("QD100 dev", "00:01:02:03:04:05");
    qd.stream->startStop(true);
    QCOMPARE(qd.backend->peerRead(), QByteArray("\\E\\2"));
    qd.stream->startStop(false);
}

void TestWinbluez::baseStubsAndCommands()
{
    CapturingStream s;
    EcgStreamSample rec{};
    QVERIFY(!s.getData(&rec));
    QVERIFY(!s.btDiscover());
    QVERIFY(!s.btSelectDevice("a", "b"));
    QVERIFY(!s.stopDiscover());
    QVERIFY(!s.hubDiscover("a", "b", "c"));
    QCOMPARE(s.selectedDeviceName(), QStringLiteral("unknown"));
    // Battery-low asks the decoder, false in any mode but the two protocols.
    s.decoder().setMode(2);
    QVERIFY(!s.isBatteryLow());
    // Device type 1 (what the Bluetooth stream sets): every command is skipped.
    s.setTypes(0, 1);
    s.sendCommand(1, QString());
    s.sendCommand(2, QString());
    QVERIFY(s.written.isEmpty());
    // Input type 0, device type 2: framed and escaped.
    s.setTypes(0, 2);
    s.sendCommand(3, QStringLiteral("Rex+Bello the second"));
    QByteArray expected = CDatCodec::buildCommandFrame(3, QByteArray("Rex+Bello the se"));
    QCOMPARE(s.written.toHex(), expected.toHex());
    QVERIFY(s.written.contains(QByteArray("\xDB\xDE", 2)));
    s.written.clear();
    s.sendCommand(4, QStringLiteral("Rex"));
    // 0xC0 0xC0, command 4, the 14-digit time padded to 16, the name, padding, sum, 0xC0 0xC0
    QCOMPARE(s.written.size(), 2 + 33 + 2 + 2);
    QCOMPARE(s.written.mid(2, 1), QByteArray("\x04"));
    QVERIFY(QByteArray(s.written.mid(3, 14)).toLongLong() > 20000101000000LL);
    QCOMPARE(s.written.mid(17, 2), QByteArray(2, '\0'));
    QCOMPARE(s.written.mid(19, 3), QByteArray("Rex"));
    // Input type 1 lets only commands 1, 5, 6, 8 and 9 through.
    s.written.clear();
    s.setTypes(1, 2);
    s.sendCommand(2, QString());
    QVERIFY(s.written.isEmpty());
    s.sendCommand(5, QString());
    QCOMPARE(s.written.toHex(), CDatCodec::buildCommandFrame(5, QByteArray()).toHex());
    s.written.clear();
    s.putEscapedByte(0xC0);
    s.putEscapedByte(0x41);
    QCOMPARE(s.written, QByteArray("\xDB\xDC\x41"));
    // Device type 1 sets the reduced scale of gain code 1.
    s.setDeviceType(1);
    QCOMPARE(s.decoder().framedFactor(), 0.595);
    s.setDeviceType(0);
    QCOMPARE(s.decoder().framedFactor(), 0.6783);
}

QTEST_GUILESS_MAIN(TestWinbluez)
#include "tst_winbluez.moc"
