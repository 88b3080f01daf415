#include "winbluez.h"

#include "btbluez.h"
#include "debuglog.h"
#include "simdevice.h"

#include <QDebug>
#include <QThread>

#include <cstdio>

namespace {
QString num(long long v) { return QString::number(v); }
}

std::unique_ptr<CBtBackend> createBtBackend()
{
    if (qEnvironmentVariable("MALVORANT_DEVICE") == QLatin1String("simulated"))
        return std::make_unique<CBtBackendSim>(SimDeviceConfig::fromEnvironment());
    return std::make_unique<CBtBackendBluez>();
}

Winbluez::Winbluez(CWinbluezCallbackInterface* callback, std::unique_ptr<CBtBackend> backend)
    : m_callback(callback), m_backend(backend ? std::move(backend) : createBtBackend())
{
}

Winbluez::~Winbluez()
{
    if (m_socket >= 0)
        shutdownConnection(m_socket);
    releaseAuthentication();
}

bool Winbluez::parseAddress(const QString& text, quint64* address)
{
    return btParseAddress(text, address);
}

QString Winbluez::addressText(quint64 address)
{
    return btAddressText(address);
}

QString Winbluez::name(int i) const
{
    return (i >= 0 && i < kMaxDevices) ? m_names[i] : QString();
}

quint64 Winbluez::address(int i) const
{
    return (i >= 0 && i < kMaxDevices) ? m_addresses[i] : 0;
}

bool Winbluez::initBluetooth()
{
    m_connected = false;
    qCDebug(lcDeviceLink).noquote() << "WSAStartup, ret: 0 (" + m_backend->backendName() + ")";
    QString why;
    m_hasAdapter = m_backend->findAdapter(&why);
    if (!m_hasAdapter) {
        m_lastErrorText = QStringLiteral("No Bluetooth adapter");
        debugLogError("Winbluez::initBluetooth() no Bluetooth adapter: " + why.toStdString());
    }
    return m_hasAdapter;
}

int Winbluez::listBluetoothDevices()
{
    qCDebug(lcDeviceLink) << "Winbluez::listBluetoothDevices";
    QString why;
    if (!m_backend->findAdapter(&why)) {
        m_hasAdapter = false;
        m_lastErrorText = QStringLiteral("No Bluetooth adapter");
        debugLogError("Winbluez::listBluetoothDevices() no Bluetooth adapter: " + why.toStdString());
        return -1;
    }
    m_hasAdapter = true;
    qCDebug(lcDeviceLink) << "*INFO* | Unable to find device.  Waiting for " << 1 << " seconds before re-inquiry...";
    QThread::msleep(500);
    qCDebug(lcDeviceLink) << "*INFO* | Inquiring device ...";

    std::vector<BtInquiryDevice> found;
    QString error;
    if (!m_backend->inquiry(&found, &error)) {
        qCDebug(lcDeviceLink).noquote() << "=CRITICAL= | WSALookupServiceNext() failed with error code: " + error;
        m_lastErrorText = QStringLiteral("Bluetooth inquiry failed: ") + error;
        debugLogError("Winbluez::listBluetoothDevices() " + m_lastErrorText.toStdString());
        return -1;
    }
    m_lastErrorText.clear();
    for (QString& n : m_names)
        n.clear();
    int count = 0;
    for (const BtInquiryDevice& d : found) {
        if (count >= kMaxDevices)
            break;
        if (!d.name.startsWith(QLatin1String("Kx")) && !d.name.startsWith(QLatin1String("QD")))
            continue;
        m_names[count] = d.name;
        m_addresses[count] = d.address;
        qCDebug(lcDeviceLink).noquote() << "Found Device:iName: " + d.name;
        qCDebug(lcDeviceLink).noquote() << "sizeof (BTH_ADDR): 8, ADDR_10: " + QString::number(d.address) +
                                               ", ADDR_16: " + QString::number(d.address, 16) +
                                               ", ADDR_16: " + QString::number(d.address, 16);
        if (m_callback)
            m_callback->winbluezAddDevice(d.name, d.address);
        ++count;
    }
    return count;
}

bool Winbluez::authenticationCallback(quint64 address, QByteArray* answer)
{
    if (!m_authRegistered || address != m_authAddress) {
        qCDebug(lcDeviceLink).noquote() << "BluetoothSendAuthenticationResponseEx error: not the selected device " +
                                               addressText(address);
        return false;
    }
    *answer = pin().toLatin1();
    return true;
}

void Winbluez::releaseAuthentication()
{
    if (!m_authRegistered)
        return;
    m_authRegistered = false;
    int err = 0;
    if (!m_backend->unregisterAuthentication(&err))
        qCDebug(lcDeviceLink).noquote() << "BluetoothUnregisterAuthentication Error:GetLastError: " + num(err);
}

bool Winbluez::openBTComm(const QString& addressText, bool& status)
{
    qCDebug(lcDeviceLink).noquote() << "openBTComm:bzDevice0: " + addressText;
    quint64 address = 0;
    if (!parseAddress(addressText, &address)) {
        qCDebug(lcDeviceLink) << "openBTComm:No device selected !!!!!!!!!";
        status = false;
        return false;
    }
    qCDebug(lcDeviceLink).noquote() << "openBTComm:devAddrL: " + num(static_cast<long long>(address));
    // A link still held is closed before a new one is made.
    if (m_socket >= 0)
        shutdownConnection(m_socket);
    m_readFailures = 0;
    m_emptyReads = 0;
    m_connected = false;

    // One PIN registration, for the device being opened.
    if (m_authRegistered && m_authAddress != address)
        releaseAuthentication();
    if (!m_authRegistered) {
        int err = 0;
        if (!m_backend->registerAuthentication(
                address, [this](quint64 a, QByteArray* p) { return authenticationCallback(a, p); }, &err)) {
            m_lastError = static_cast<unsigned>(err);
            qCDebug(lcDeviceLink).noquote() << "BluetoothRegisterForAuthentication Error:lastError: " + num(err);
            status = false;
            return false;
        }
        m_authRegistered = true;
        m_authAddress = address;
    }
    qCDebug(lcDeviceLink) << "BluetoothRegisterForAuthenticationEx OK";

    int err = 0;
    const int handle = m_backend->openRfcomm(address, 1, &err);
    if (handle < 0) {
        m_lastError = static_cast<unsigned>(err);
        qCDebug(lcDeviceLink).noquote() << "socket Error:lastError: " + num(err);
        releaseAuthentication();
        status = false;
        return false;
    }
    m_socket = handle;
    qCDebug(lcDeviceLink) << "socket OK";
    if (err == 0) {
        qCDebug(lcDeviceLink) << "WSAConnect OK";
        status = true;
        return true;
    }
    m_lastError = static_cast<unsigned>(err);
    qCDebug(lcDeviceLink).noquote() << "WSAConnect error:lastError: " + num(err);
    m_connected = false;
    if (CBtBackend::isInProgress(err)) {
        qCDebug(lcDeviceLink) << "OpenBTComm returns false";
        qCDebug(lcDeviceLink) << "WSAConnect OK";
        status = true;
        return true;
    }
    shutdownConnection(m_socket);
    status = true;
    int uerr = 0;
    m_authRegistered = false;
    if (!m_backend->unregisterAuthentication(&uerr)) {
        qCDebug(lcDeviceLink).noquote() << "BluetoothUnregisterAuthentication Error:GetLastError: " + num(uerr);
        status = false;
    }
    m_lastErrorText = QStringLiteral("Connection failed, error ") + num(err);
    return false;
}

void Winbluez::reportDisconnected()
{
    if (m_callback)
        m_callback->winbluezDisconnected();
}

int Winbluez::readComm(char* buffer, int size, int /*wait*/)
{
    if (m_socket < 0 || !buffer || size <= 0)
        return 0;
    int err = 0;
    const long n = m_backend->receive(m_socket, buffer, size, &err);
    if (n > 0) {
        m_connected = true;
        m_emptyReads = 0;
        m_readFailures = 0; // only failures in a row count
        return static_cast<int>(n);
    }
    if (n == 0) {
        // The peer closed the link.
        qCDebug(lcDeviceLink) << "Winbluez::readComm: the device closed the link";
        debugLog(2, "Winbluez::readComm() the device closed the link");
        closeBTComm();
        reportDisconnected();
        return -1;
    }
    m_lastError = static_cast<unsigned>(err);
    qCDebug(lcDeviceLink).noquote() << "Winbluez::readComm:res==SOCKET_ERROR:lastError: -1  " + num(err);
    if (CBtBackend::isWouldBlock(err) || CBtBackend::isNotConnected(err)) {
        if (++m_readFailures >= kMaxReadFailures) {
            closeBTComm();
            reportDisconnected();
        }
        m_connected = false;
        ++m_emptyReads;
        return -1;
    }
    debugLogError("Winbluez::readComm() link failed, error " + toStdString(err));
    closeBTComm();
    reportDisconnected();
    return -1;
}

int Winbluez::writeComm(const char* buffer, int length, int /*wait*/)
{
    if (m_socket < 0 || !buffer || length <= 0)
        return 0;
    qCDebug(lcDeviceLink) << "introducing send ------------------------------------------------";
    int err = 0;
    const long n = m_backend->send(m_socket, buffer, length, &err);
    int result = static_cast<int>(n);
    if (n >= 0) {
        m_connected = true;
    } else {
        m_lastError = static_cast<unsigned>(err);
        qCDebug(lcDeviceLink).noquote() << "Winbluez::writeComm:res==SOCKET_ERROR:lastError: " + num(n) + "  " + num(err);
        m_connected = false;
        result = -1;
        if (!CBtBackend::isWouldBlock(err) && !CBtBackend::isNotConnected(err)) {
            debugLogError("Winbluez::writeComm() link failed, error " + toStdString(err));
            closeBTComm();
            reportDisconnected();
        }
    }
    qCDebug(lcDeviceLink) << "passed send ------------------------------------------------";
    return result;
}

bool Winbluez::closeBTComm()
{
    qCDebug(lcDeviceLink) << "closeBTComm----------------------------------------------------------------";
    m_readFailures = 0;
    m_connected = false;
    bool ok = true;
    if (m_socket >= 0)
        ok = shutdownConnection(m_socket);
    releaseAuthentication();
    return ok;
}

bool Winbluez::shutdownConnection(int socket)
{
    qCDebug(lcDeviceLink) << "shutdownConnection";
    if (socket < 0)
        return false;
    // The handle is forgotten before anything else can fail.
    if (socket == m_socket) {
        m_socket = -1;
        m_connected = false;
    }
    int err = 0;
    if (m_backend->sendDisconnect(socket, &err))
        qCDebug(lcDeviceLink) << "WSASendDisconnect OK";
    else
        qCDebug(lcDeviceLink).noquote() << "WSASendDisconnect ERROR:err: " + num(err);
    m_backend->shutdownBoth(socket, &err);
    if (m_backend->closeHandle(socket, &err)) {
        qCDebug(lcDeviceLink) << "closesocket OK";
        return true;
    }
    m_lastError = static_cast<unsigned>(err);
    qCDebug(lcDeviceLink).noquote() << "closesocket ERROR:GetLastError: " + num(err);
    return false;
}
