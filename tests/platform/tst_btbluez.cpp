// The BlueZ back end against a stand-in BlueZ service on a private bus.
#include <QtTest>

#include "btbluez.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <memory>

namespace {
const quint64 kKxAddress = 0x00802A4B5842ull;

// A private message bus and the stand-in service on it.
class StandIn
{
public:
    QTemporaryDir dir;
    QProcess bus;
    QProcess service;
    QString address;
    QString connection;

    bool start(bool withAdapter, QString* error)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            *error = QStringLiteral("dbus-daemon not installed");
            return false;
        }
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                           QStringLiteral("--print-address=1"), QStringLiteral("--address=unix:dir=") + dir.path()});
        if (!bus.waitForStarted(5000) || !bus.waitForReadyRead(5000)) {
            *error = QStringLiteral("dbus-daemon did not start");
            return false;
        }
        address = QString::fromUtf8(bus.readLine()).trimmed();
        if (address.isEmpty()) {
            *error = QStringLiteral("no bus address");
            return false;
        }
        QStringList args{QStringLiteral(MALVORANT_SOURCE_DIR "/tests/platform/bluez_standin.py"), address};
        if (!withAdapter)
            args << QStringLiteral("--no-adapter");
        service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The distribution's interpreter is the one with its dbus and gi modules.
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                  : QStringLiteral("python3");
        service.start(python, args);
        if (!service.waitForStarted(5000)) {
            *error = QStringLiteral("python3 did not start");
            return false;
        }
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (!out.contains("READY") && t.elapsed() < 15000 && service.state() == QProcess::Running) {
            service.waitForReadyRead(200);
            out += service.readAll();
        }
        if (!out.contains("READY")) {
            *error = QStringLiteral("stand-in did not come up: ") + QString::fromUtf8(out);
            return false;
        }
        connection = QStringLiteral("test-control-") + QString::number(quintptr(this), 16);
        QDBusConnection::connectToBus(address, connection);
        return true;
    }
    QDBusMessage control(const QString& method, const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/test"),
                                                        QStringLiteral("org.malvorant.Test"), method);
        m.setArguments(args);
        return QDBusConnection(connection).call(m, QDBus::Block, 5000);
    }
    QString pairResult() { return control(QStringLiteral("PairResult")).arguments().value(0).toString(); }
    QVariantList state() { return control(QStringLiteral("State")).arguments(); }
    ~StandIn()
    {
        if (!connection.isEmpty())
            QDBusConnection::disconnectFromBus(connection);
        service.closeWriteChannel();
        if (!service.waitForFinished(3000)) {
            service.kill();
            service.waitForFinished(3000);
        }
        bus.terminate();
        if (!bus.waitForFinished(3000)) {
            bus.kill();
            bus.waitForFinished(3000);
        }
    }
};
}

class TestBtBluez : public QObject
{
    Q_OBJECT
private slots:
    void devicePaths_data();
    void devicePaths();
    void inquiryListsDevicesInRange();
    void agentAnswersThePinOfItsDevice();
    void noAdapterIsSaidAsSuch();
    void noBluetoothServiceIsAFailure();
    void rfcommSocketFailsCleanly();
};

void TestBtBluez::devicePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint64>("address");
    QTest::newRow("device") << "/org/bluez/hci0/dev_00_80_2A_4B_58_42" << true << kKxAddress;
    QTest::newRow("adapter") << "/org/bluez/hci0" << false << quint64(0);
    QTest::newRow("short") << "/org/bluez/hci0/dev_00_80_2A" << false << quint64(0);
    QTest::newRow("not hex") << "/org/bluez/hci0/dev_00_80_2A_4B_58_XY" << false << quint64(0);
}

void TestBtBluez::devicePaths()
{
    QFETCH(QString, path);
    QFETCH(bool, valid);
    QFETCH(quint64, address);
    quint64 a = 0;
    QCOMPARE(CBluezAgent::addressFromDevicePath(path, &a), valid);
    if (valid)
        QCOMPARE(a, address);
}

void TestBtBluez::inquiryListsDevicesInRange()
{
    StandIn s;
    QString error;
    QVERIFY2(s.start(true, &error), qPrintable(error));
    CBtBackendBluez backend(s.address, 100);
    QString why;
    QVERIFY2(backend.findAdapter(&why), qPrintable(why));
    std::vector<BtInquiryDevice> found;
    QVERIFY2(backend.inquiry(&found, &error), qPrintable(error));
    // Every device heard, whatever its name; not the one merely remembered.
    QCOMPARE(int(found.size()), 3);
    QStringList names;
    for (const auto& d : found) {
        names << d.name;
        if (d.name == QLatin1String("Kx-ECG 0042"))
            QCOMPARE(d.address, kKxAddress);
    }
    names.sort();
    QCOMPARE(names, (QStringList{"Headset", "Kx-ECG 0042", "QD100 Holter"}));
    const QVariantList st = s.state();
    QCOMPARE(st.value(2).toInt(), 1); // discovery started
    QCOMPARE(st.value(3).toInt(), 1); // and stopped
}

void TestBtBluez::agentAnswersThePinOfItsDevice()
{
    StandIn s;
    QString error;
    QVERIFY2(s.start(true, &error), qPrintable(error));
    CBtBackendBluez backend(s.address, 100);
    QList<quint64> asked;
    int err = -1;
    QVERIFY(backend.registerAuthentication(
        kKxAddress,
        [&](quint64 a, QByteArray* pin) {
            asked << a;
            *pin = "8052";
            return true;
        },
        &err));
    QCOMPARE(err, 0);
    QCOMPARE(s.state().value(0).toString(), QStringLiteral("1"));
    QCOMPARE(s.state().value(1).toString(), QStringLiteral("KeyboardDisplay"));

    s.control(QStringLiteral("Pair"), {QStringLiteral("00:80:2A:4B:58:42")});
    QTRY_COMPARE_WITH_TIMEOUT(s.pairResult(), QStringLiteral("pin:8052"), 5000);
    QCOMPARE(asked, QList<quint64>{kKxAddress});

    // Any other device is refused.
    s.control(QStringLiteral("Pair"), {QStringLiteral("11:22:33:44:55:66")});
    QTRY_COMPARE_WITH_TIMEOUT(s.pairResult(), QStringLiteral("error:org.bluez.Error.Rejected"), 5000);
    QCOMPARE(asked.size(), 1);

    // A second registration replaces the device, still one agent.
    QVERIFY(backend.registerAuthentication(
        0x112233445566ull,
        [&](quint64 a, QByteArray* pin) {
            asked << a;
            *pin = "8052";
            return true;
        },
        &err));
    QCOMPARE(s.state().value(0).toString(), QStringLiteral("1"));
    s.control(QStringLiteral("Pair"), {QStringLiteral("11:22:33:44:55:66")});
    QTRY_COMPARE_WITH_TIMEOUT(s.pairResult(), QStringLiteral("pin:8052"), 5000);

    QVERIFY(backend.unregisterAuthentication(&err));
    QCOMPARE(s.state().value(0).toString(), QStringLiteral("0"));
    s.control(QStringLiteral("Pair"), {QStringLiteral("00:80:2A:4B:58:42")});
    QCOMPARE(s.pairResult(), QStringLiteral("no agent"));
    // Released twice is harmless.
    QVERIFY(backend.unregisterAuthentication(&err));
}

void TestBtBluez::noAdapterIsSaidAsSuch()
{
    StandIn s;
    QString error;
    QVERIFY2(s.start(false, &error), qPrintable(error));
    CBtBackendBluez backend(s.address, 100);
    QString why;
    QVERIFY(!backend.findAdapter(&why));
    QCOMPARE(why, QStringLiteral("no Bluetooth adapter"));
    std::vector<BtInquiryDevice> found;
    QVERIFY(!backend.inquiry(&found, &error));
    QCOMPARE(error, QStringLiteral("no Bluetooth adapter"));
}

void TestBtBluez::noBluetoothServiceIsAFailure()
{
    // A bus without the service: neither an adapter nor a crash.
    StandIn s;
    QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY(!daemon.isEmpty());
    s.bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                         QStringLiteral("--print-address=1"), QStringLiteral("--address=unix:dir=") + s.dir.path()});
    QVERIFY(s.bus.waitForStarted(5000) && s.bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(s.bus.readLine()).trimmed();
    CBtBackendBluez backend(address, 100);
    QString why;
    QVERIFY(!backend.findAdapter(&why));
    QVERIFY2(why.startsWith(QLatin1String("Bluetooth service not available")), qPrintable(why));

    CBtBackendBluez nowhere(QStringLiteral("unix:path=") + s.dir.path() + QStringLiteral("/no-such-bus"), 100);
    QVERIFY(!nowhere.findAdapter(&why));
    int err = 0;
    QVERIFY(!nowhere.registerAuthentication(1, BtPinHandler(), &err));
    QVERIFY(err != 0);
}

void TestBtBluez::rfcommSocketFailsCleanly()
{
    // No device answers here: either the machine has no Bluetooth sockets,
    // or the connect is under way or refused. Never a crash, and a handle
    // comes back only with a connect result.
    CBtBackendBluez backend(QString(), 100);
    int err = 0;
    const int h = backend.openRfcomm(0x00802A4B5801ull, 1, &err);
    if (h < 0) {
        QVERIFY(err != 0);
        return;
    }
    char buf[16];
    int rerr = 0;
    QVERIFY(backend.receive(h, buf, sizeof(buf), &rerr) <= 0);
    QVERIFY(backend.closeHandle(h, &rerr));
}

QTEST_GUILESS_MAIN(TestBtBluez)
#include "tst_btbluez.moc"
