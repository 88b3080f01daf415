#include "rawstreambt.h"

#include "debuglog.h"

#include <QDebug>

#include <cstdio>

CRawStreamBt::CRawStreamBt(QObject* parent, CRawStreamCallbackInterface* streamCallback,
                           CWinbluezCallbackInterface* socketCallback, std::unique_ptr<CBtBackend> backend)
    : CRawStream(parent, streamCallback, socketCallback),
      m_bluez(std::make_unique<Winbluez>(socketCallback, std::move(backend)))
{
    m_btReady = m_bluez->initBluetooth();
    m_readTimer = new QTimer(this);
    m_readTimer->setInterval(kReadIntervalMs);
    connect(m_readTimer, &QTimer::timeout, this, &CRawStreamBt::btReadSocket);
    m_lastSample.start();
    m_connectTime.start();
}

CRawStreamBt::~CRawStreamBt()
{
    qCDebug(lcDeviceLink) << "CRawStreamBt::~CRawStreamBt:killTimer";
    m_readTimer->stop();
    delete m_readTimer;
    m_readTimer = nullptr;
    if (m_bluez->hasSocket())
        m_bluez->closeBTComm();
}

CRawStreamBt::DeviceKind CRawStreamBt::deviceKind() const
{
    if (m_selectedDeviceName.startsWith(QLatin1String("QD100")))
        return KindQD100;
    if (m_selectedDeviceName.startsWith(QLatin1String("QD101")))
        return KindQD101;
    if (m_selectedDeviceName.startsWith(QLatin1String("Kx")))
        return KindKx;
    return KindOther;
}

int CRawStreamBt::writeText(const char* text)
{
    return m_bluez->writeComm(text, 2);
}

bool CRawStreamBt::btDiscover()
{
    qCDebug(lcDeviceLink) << "CRawStreamBt::btDiscover";
    if (!m_btReady)
        m_btReady = m_bluez->initBluetooth();
    if (!m_btReady) {
        // Said as it is: no adapter is not the same as no devices.
        if (m_streamCallback)
            m_streamCallback->rawStreamRespDiscoverBt(0, m_bluez->lastErrorText(), 0, m_devices);
        return false;
    }
    m_deviceCount = 0;
    const int found = m_bluez->listBluetoothDevices();
    stopDiscover();
    if (found < 0) {
        m_btReady = m_bluez->hasAdapter();
        if (m_streamCallback)
            m_streamCallback->rawStreamRespDiscoverBt(0, m_bluez->lastErrorText(), m_deviceCount, m_devices);
        return false;
    }
    return true;
}

void CRawStreamBt::btAddDevice(QString name, quint64 address)
{
    qCDebug(lcDeviceLink).noquote() << "----------------------------------------------------------CRawStreamBt::btAddDevice:Name:" +
                                           name + ", Addr:" + QString::number(address);
    if (!name.startsWith(QLatin1String("Kx")))
        return;
    if (m_deviceCount >= kMaxDevices) {
        qCInfo(lcDeviceLink).noquote() << "CRawStreamBt::btAddDevice:btCurDevIdx: " + QString::number(m_deviceCount) +
                                              " :NO MORE SPACE FOR DEVICES!!!!!!!!!!";
        return;
    }
    BtDeviceEntry& e = m_devices[m_deviceCount];
    e.name = name;
    e.address = Winbluez::addressText(address);
    ++m_deviceCount;
    qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btAddDevice:Name: " + name + " mac: " + e.address;
    if (m_streamCallback) {
        qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btAddDevice:calling kall, Name: " + name;
        m_streamCallback->rawStreamRespDiscoverBt(1, QString(), m_deviceCount, m_devices);
    }
}

void CRawStreamBt::btDevDiscFinished()
{
    qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btDevDiscFinished:btCurDevIdx: " + QString::number(m_deviceCount);
    if (m_streamCallback)
        m_streamCallback->rawStreamRespDiscoverBt(0, QString(), m_deviceCount, m_devices);
}

bool CRawStreamBt::btSelectDevice(QString name, QString address)
{
    debugLog(4, "CRawStreamBt::btSelectDevice() deviceAddr");
    qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btSelectDevice:deviceName: " + name + ", deviceAddr: " + address;
    m_selectedDeviceName = name;
    m_selectedAddress = address;
    refreshDeviceType();
    return true;
}

void CRawStreamBt::refreshDeviceType()
{
    m_decoder.reset();
    setDeviceType(1);
}

bool CRawStreamBt::stopDiscover()
{
    debugLog(4, "CRawStreamBt::stopDiscover()");
    qCDebug(lcDeviceLink) << "CRawStreamBt::stopDiscover";
    return true;
}

void CRawStreamBt::startStop(bool doStart)
{
    debugLog(2, std::string("CRawStreamBt::startStop doStart=") + (doStart ? "true" : "false"));
    qCDebug(lcDeviceLink) << "CRawStreamBt::startStop:doStart: " << doStart;
    m_acquisitionOn = doStart;
    if (doStart) {
        m_decoder.reset();
        m_lastSample.restart();
        btStartMonitoring();
        return;
    }
    qCDebug(lcDeviceLink) << "CRawStreamBt::btStopMonitoring";
    // Stopped means stopped: no poll and no pending reconnection survive.
    m_readTimer->stop();
    m_reconnectRequest = false;
    m_awaitingLink = false;
    if (m_bluez->hasSocket()) {
        qCDebug(lcDeviceLink) << "CRawStreamBt::btStopMonitoring: connected ";
        m_bluez->closeBTComm();
        btDisconnected();
    }
}

void CRawStreamBt::btStartMonitoring()
{
    qCDebug(lcDeviceLink) << "CRawStreamBt::btStartMonitoring";
    m_reconnectRequest = false;
    if (m_selectedAddress.isEmpty()) {
        qCDebug(lcDeviceLink) << "CRawStreamBt::btStartMonitoring:btDeviceAddr.isEmpty()";
        if (m_streamCallback)
            m_streamCallback->rawStreamRespConnectBt(1, QStringLiteral("No device selected"));
        return;
    }
    m_readTimer->start(kReadIntervalMs);
    m_ringWrite = m_ringRead = m_ringFill = 0;
    bool status = false;
    if (m_bluez->openBTComm(m_selectedAddress, status)) {
        // The watchdog measures the attempt from here.
        m_lastSample.restart();
        m_awaitingLink = true;
        btConnected();
        qCDebug(lcDeviceLink) << "CRawStreamBt::btStartMonitoring:ConnectToService done";
        return;
    }
    qCDebug(lcDeviceLink) << "CRawStreamBt::btStartMonitoring:ConnectToService not yet connected";
    // A failed attempt is reported, never left silent.
    QString reason = m_bluez->lastErrorText();
    if (reason.isEmpty())
        reason = QStringLiteral("Connection failed");
    debugLogError("CRawStreamBt::btStartMonitoring() connection to " + m_selectedAddress.toStdString() +
                  " failed: " + reason.toStdString());
    m_readTimer->stop();
    m_awaitingLink = false;
    if (m_streamCallback)
        m_streamCallback->rawStreamRespConnectBt(1, reason);
    btDisconnected();
}

bool CRawStreamBt::sendStartCommands()
{
    switch (deviceKind()) {
    case KindQD100: {
        if (writeText("\\E") <= 0)
            return false;
        const int n = writeText("\\2");
        qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btConnected:num: " + QString::number(n);
        return true;
    }
    case KindQD101:
        sendCommand(1, QString());
        return m_bluez->isConnected();
    case KindKx: {
        const int n = writeText("\\A");
        qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btConnected:STARTA:num: " + QString::number(n);
        return n > 0;
    }
    default:
        return m_bluez->isConnected();
    }
}

void CRawStreamBt::btConnected()
{
    qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::btConnected with:peerName: " + m_bluez->name(0);
    if (!m_bluez->hasSocket())
        return;
    // "Connected" only once the link carries bytes: the start command went
    // out, or (for devices without one) a read returned data.
    if (!sendStartCommands())
        return;
    m_awaitingLink = false;
    m_connectTime.restart();
    m_pollSecond = -1;
    m_pollMinute = 0;
    if (m_streamCallback)
        m_streamCallback->rawStreamRespConnectBt(0, m_selectedDeviceName);
    m_lastSample.restart();
}

void CRawStreamBt::btReadSocket()
{
    if (!m_bluez->hasSocket())
        return;
    if (m_awaitingLink) {
        btConnected();
        if (!m_bluez->hasSocket())
            return;
    }
    const int n = m_bluez->readComm(m_scratch, kScratchSize);
    if (n > 0) {
        for (int i = 0; i < n && m_ringFill < kRingSize; ++i) {
            m_ring[m_ringWrite] = static_cast<unsigned char>(m_scratch[i]);
            m_ringWrite = (m_ringWrite + 1) % kRingSize;
            ++m_ringFill;
        }
        if (m_awaitingLink)
            btConnected();
        return;
    }
    if (m_bluez->hasSocket() && !m_awaitingLink && deviceKind() == KindKx) {
        const int w = writeText("\\A");
        qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::getData:GOGOA:num: " + QString::number(w);
    }
}

bool CRawStreamBt::getData(EcgStreamSample* out)
{
    if (m_reconnectRequest) {
        qCDebug(lcDeviceLink) << "going to call btStartMonitoring from getData()";
        btStartMonitoring();
        return false;
    }
    if (m_bluez->hasSocket() && m_lastSample.elapsed() > m_silenceMs) {
        std::fputs("More than 3 seconds have elapsed without receiving data.\n", stdout);
        std::fflush(stdout);
        if (m_acquisitionOn) {
            debugLogError("CRawStreamBt::getData() no data for " + toStdString(static_cast<long long>(m_lastSample.elapsed())) +
                          " ms, reconnecting");
            m_bluez->closeBTComm();
            btDisconnected(); // reports the loss and asks for the reconnection
            return false;
        }
    }

    bool result = false;
    if (out) {
        while (m_ringFill > 0) {
            const unsigned char byte = m_ring[m_ringRead];
            m_ringRead = (m_ringRead + 1) % kRingSize;
            --m_ringFill;
            if (m_decoder.decode(byte, out)) {
                if (out->type >= 0)
                    m_lastSample.restart();
                result = true;
                break;
            }
        }
    }

    if (m_bluez->hasSocket() && !m_awaitingLink) {
        const qint64 second = m_connectTime.elapsed() / 1000;
        if (second != m_pollSecond) {
            m_pollSecond = second;
            const DeviceKind kind = deviceKind();
            if (second % 3 == 0 && (kind == KindQD100 || kind == KindKx)) {
                const int n = writeText("\\2");
                qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::getData:GAINCHANGED:gain: 2, amGaPoll:3, CRawStreamBt::getData:num: " +
                                                       QString::number(n);
            }
            const qint64 minute = (second / 60) % 60;
            if (minute != m_pollMinute) {
                m_pollMinute = minute;
                if (kind == KindKx && m_bluez->hasSocket()) {
                    const int n = writeText("\\A");
                    qCDebug(lcDeviceLink).noquote() << "CRawStreamBt::getData:GOGOA:num: " + QString::number(n);
                }
            }
        }
    }
    return result;
}

void CRawStreamBt::btDisconnected()
{
    qCDebug(lcDeviceLink) << "CRawStreamBt::btDisconnected";
    if (m_bluez->hasSocket()) {
        qCDebug(lcDeviceLink) << "CRawStreamBt::btDisconnected:deleting socket";
        m_bluez->closeBTComm();
    }
    m_awaitingLink = false;
    if (m_acquisitionOn)
        m_reconnectRequest = true;
    if (m_streamCallback)
        m_streamCallback->onConnectRetry();
}

void CRawStreamBt::btSocketStateChanged()
{
    if (!m_bluez->hasSocket())
        qCDebug(lcDeviceLink) << "CRawStreamBt::btSocketStateChanged on removed socket";
    else
        qCDebug(lcDeviceLink) << "CRawStreamBt::btSocketStateChanged: connected";
}

void CRawStreamBt::putUartChar(unsigned char) {}
