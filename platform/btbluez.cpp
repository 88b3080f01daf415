#include "btbluez.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

const QString kBluez = QStringLiteral("org.bluez");
const QString kAdapter = QStringLiteral("org.bluez.Adapter1");
const QString kDevice = QStringLiteral("org.bluez.Device1");
const QString kRejected = QStringLiteral("org.bluez.Error.Rejected");

// The RFCOMM socket address as the kernel takes it; BlueZ's own headers are
// not needed for these few values.
constexpr int kBtProtoRfcomm = 3;
struct RfcommSockAddr {
    sa_family_t family;
    unsigned char bdaddr[6]; // least significant byte first
    unsigned char channel;
};

void registerTypes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ManagedObjects>();
}

bool managedObjects(const QDBusConnection& bus, ManagedObjects* out, QString* error)
{
    registerTypes();
    QDBusMessage call = QDBusMessage::createMethodCall(kBluez, QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                       QStringLiteral("GetManagedObjects"));
    QDBusReply<ManagedObjects> reply = bus.call(call, QDBus::Block, 10000);
    if (!reply.isValid()) {
        if (error)
            *error = reply.error().message();
        return false;
    }
    *out = reply.value();
    return true;
}

}

// ---------------------------------------------------------------------------

void CBluezAgent::setDevice(quint64 address, BtPinHandler handler)
{
    m_address = address;
    m_handler = std::move(handler);
}

bool CBluezAgent::addressFromDevicePath(const QString& path, quint64* address)
{
    const int at = path.lastIndexOf(QStringLiteral("/dev_"));
    if (at < 0)
        return false;
    QString tail = path.mid(at + 5);
    tail.replace(QLatin1Char('_'), QLatin1Char(':'));
    return btParseAddress(tail, address);
}

bool CBluezAgent::isOurDevice(const QDBusObjectPath& device) const
{
    quint64 a = 0;
    return m_handler && addressFromDevicePath(device.path(), &a) && a == m_address;
}

void CBluezAgent::reject()
{
    if (calledFromDBus())
        sendErrorReply(kRejected, QStringLiteral("not the selected device"));
}

void CBluezAgent::Release() {}

QString CBluezAgent::RequestPinCode(const QDBusObjectPath& device)
{
    quint64 a = 0;
    QByteArray pin;
    if (isOurDevice(device) && addressFromDevicePath(device.path(), &a) && m_handler(a, &pin))
        return QString::fromLatin1(pin);
    reject();
    return QString();
}

void CBluezAgent::DisplayPinCode(const QDBusObjectPath&, const QString&) {}

uint CBluezAgent::RequestPasskey(const QDBusObjectPath& device)
{
    quint64 a = 0;
    QByteArray pin;
    if (isOurDevice(device) && addressFromDevicePath(device.path(), &a) && m_handler(a, &pin)) {
        bool ok = false;
        const uint v = QString::fromLatin1(pin).toUInt(&ok);
        if (ok)
            return v;
    }
    reject();
    return 0;
}

void CBluezAgent::DisplayPasskey(const QDBusObjectPath&, uint, ushort) {}

void CBluezAgent::RequestConfirmation(const QDBusObjectPath& device, uint)
{
    if (!isOurDevice(device))
        reject();
}

void CBluezAgent::RequestAuthorization(const QDBusObjectPath& device)
{
    if (!isOurDevice(device))
        reject();
}

void CBluezAgent::AuthorizeService(const QDBusObjectPath& device, const QString&)
{
    if (!isOurDevice(device))
        reject();
}

void CBluezAgent::Cancel() {}

// ---------------------------------------------------------------------------

CBtBackendBluez::CBtBackendBluez(const QString& busAddress, int inquiryMs)
    : m_busAddress(busAddress), m_inquiryMs(inquiryMs)
{
    if (!m_busAddress.isEmpty()) {
        m_connectionName = QStringLiteral("malvorant-bt-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
        QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    }
}

CBtBackendBluez::~CBtBackendBluez()
{
    int err = 0;
    unregisterAuthentication(&err);
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

QDBusConnection CBtBackendBluez::bus() const
{
    if (m_connectionName.isEmpty())
        return QDBusConnection::systemBus();
    return QDBusConnection(m_connectionName);
}

bool CBtBackendBluez::adapterPath(QString* path, QString* why)
{
    if (!bus().isConnected()) {
        if (why)
            *why = QStringLiteral("no connection to the Bluetooth service");
        return false;
    }
    ManagedObjects objects;
    QString error;
    if (!managedObjects(bus(), &objects, &error)) {
        if (why)
            *why = QStringLiteral("Bluetooth service not available: ") + error;
        return false;
    }
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        if (it.value().contains(kAdapter)) {
            *path = it.key().path();
            return true;
        }
    }
    if (why)
        *why = QStringLiteral("no Bluetooth adapter");
    return false;
}

bool CBtBackendBluez::findAdapter(QString* why)
{
    QString path;
    return adapterPath(&path, why);
}

bool CBtBackendBluez::inquiry(std::vector<BtInquiryDevice>* found, QString* error)
{
    found->clear();
    QString adapter;
    if (!adapterPath(&adapter, error))
        return false;
    QDBusMessage start = QDBusMessage::createMethodCall(kBluez, adapter, kAdapter, QStringLiteral("StartDiscovery"));
    QDBusMessage reply = bus().call(start, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (error)
            *error = reply.errorMessage();
        return false;
    }
    // The inquiry runs in the daemon; its results are read at the end.
    QThread::msleep(static_cast<unsigned long>(m_inquiryMs));
    ManagedObjects objects;
    const bool listed = managedObjects(bus(), &objects, error);
    QDBusMessage stop = QDBusMessage::createMethodCall(kBluez, adapter, kAdapter, QStringLiteral("StopDiscovery"));
    bus().call(stop, QDBus::Block, 10000);
    if (!listed)
        return false;
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        const auto dev = it.value().find(kDevice);
        if (dev == it.value().constEnd())
            continue;
        const QVariantMap& props = dev.value();
        // Devices merely remembered from earlier are not in range: only those
        // the inquiry heard carry a signal strength.
        if (props.value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path() != adapter ||
            !props.contains(QStringLiteral("RSSI")))
            continue;
        BtInquiryDevice d;
        d.name = props.value(QStringLiteral("Name")).toString();
        if (d.name.isEmpty() || !btParseAddress(props.value(QStringLiteral("Address")).toString(), &d.address))
            continue;
        found->push_back(d);
    }
    return true;
}

bool CBtBackendBluez::registerAuthentication(quint64 address, BtPinHandler handler, int* error)
{
    *error = 0;
    if (!m_agent)
        m_agent = std::make_unique<CBluezAgent>();
    m_agent->setDevice(address, std::move(handler));
    if (m_agentRegistered)
        return true;
    QDBusConnection c = bus();
    if (!c.registerObject(agentPath(), m_agent.get(), QDBusConnection::ExportAllSlots)) {
        *error = EBUSY;
        return false;
    }
    const QString manager = QStringLiteral("org.bluez.AgentManager1");
    QDBusMessage reg = QDBusMessage::createMethodCall(kBluez, QStringLiteral("/org/bluez"), manager,
                                                      QStringLiteral("RegisterAgent"));
    reg << QVariant::fromValue(QDBusObjectPath(agentPath())) << QStringLiteral("KeyboardDisplay");
    QDBusMessage r = c.call(reg, QDBus::Block, 10000);
    if (r.type() == QDBusMessage::ErrorMessage) {
        c.unregisterObject(agentPath());
        *error = EACCES;
        return false;
    }
    QDBusMessage def = QDBusMessage::createMethodCall(kBluez, QStringLiteral("/org/bluez"), manager,
                                                      QStringLiteral("RequestDefaultAgent"));
    def << QVariant::fromValue(QDBusObjectPath(agentPath()));
    c.call(def, QDBus::Block, 10000);
    m_agentRegistered = true;
    return true;
}

bool CBtBackendBluez::unregisterAuthentication(int* error)
{
    *error = 0;
    if (!m_agentRegistered)
        return true;
    m_agentRegistered = false;
    QDBusConnection c = bus();
    QDBusMessage unreg = QDBusMessage::createMethodCall(kBluez, QStringLiteral("/org/bluez"),
                                                        QStringLiteral("org.bluez.AgentManager1"),
                                                        QStringLiteral("UnregisterAgent"));
    unreg << QVariant::fromValue(QDBusObjectPath(agentPath()));
    QDBusMessage r = c.call(unreg, QDBus::Block, 10000);
    c.unregisterObject(agentPath());
    if (m_agent)
        m_agent->setDevice(0, BtPinHandler());
    if (r.type() == QDBusMessage::ErrorMessage) {
        *error = EIO;
        return false;
    }
    return true;
}

int CBtBackendBluez::openRfcomm(quint64 address, int channel, int* error)
{
    const int fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, kBtProtoRfcomm);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    linger lg{};
    lg.l_onoff = 0;
    lg.l_linger = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
    RfcommSockAddr sa{};
    sa.family = AF_BLUETOOTH;
    for (int i = 0; i < 6; ++i)
        sa.bdaddr[i] = static_cast<unsigned char>((address >> (8 * i)) & 0xFF);
    sa.channel = static_cast<unsigned char>(channel);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0)
        *error = 0;
    else
        *error = errno;
    return fd;
}
