#ifndef MALVORANT_RAWSTREAMBT_H
#define MALVORANT_RAWSTREAMBT_H

#include "rawstream.h"
#include "winbluez.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

// The Bluetooth acquisition stream: finds devices, connects the chosen one
// through the socket layer, sends its start and poll commands, polls the
// socket every 50 ms into a byte ring and hands decoded samples out through
// getData. Reconnects on its own after silence or a lost link while
// acquisition is on.
class CRawStreamBt : public CRawStream
{
    Q_OBJECT
public:
    static constexpr int kRingSize = 10000;
    static constexpr int kScratchSize = 4096;
    static constexpr int kReadIntervalMs = 50;
    static constexpr int kSilenceMs = 3000;

    // A null back end takes the one the environment chooses (createBtBackend).
    CRawStreamBt(QObject* parent, CRawStreamCallbackInterface* streamCallback,
                 CWinbluezCallbackInterface* socketCallback, std::unique_ptr<CBtBackend> backend = nullptr);
    ~CRawStreamBt() override;

    bool getData(EcgStreamSample* out) override;
    void startStop(bool doStart) override;
    void refreshDeviceType() override;
    bool stopDiscover() override;
    bool btDiscover() override;
    bool btSelectDevice(QString name, QString address) override;
    void putUartChar(unsigned char byte) override;

    void btStartMonitoring();

    Winbluez* socketLayer() const { return m_bluez.get(); }
    bool isAcquisitionOn() const { return m_acquisitionOn; }
    bool isLinkUp() const { return !m_awaitingLink && m_bluez->hasSocket(); }
    int ringFill() const { return m_ringFill; }
    QString selectedAddress() const { return m_selectedAddress; }
    int deviceCount() const { return m_deviceCount; }
    const BtDeviceEntry* deviceTable() const { return m_devices; }
    // Silence that makes the watchdog reconnect; tests shorten it.
    void setSilenceTimeoutMs(int ms) { m_silenceMs = ms; }

public slots:
    void btAddDevice(QString name, quint64 address) override;
    void btDevDiscFinished() override;
    void btConnected() override;
    void btReadSocket() override;
    void btDisconnected() override;
    void btSocketStateChanged() override;

private:
    enum DeviceKind { KindOther, KindQD100, KindQD101, KindKx };
    DeviceKind deviceKind() const;
    bool sendStartCommands();
    int writeText(const char* text);

    std::unique_ptr<Winbluez> m_bluez;
    bool m_btReady = false;
    QTimer* m_readTimer = nullptr;
    unsigned char m_ring[kRingSize];
    int m_ringWrite = 0;
    int m_ringRead = 0;
    int m_ringFill = 0;
    char m_scratch[kScratchSize];
    QString m_selectedAddress;
    BtDeviceEntry m_devices[kMaxDevices];
    int m_deviceCount = 0;
    bool m_acquisitionOn = false;
    bool m_reconnectRequest = false;
    bool m_awaitingLink = false;
    QElapsedTimer m_connectTime;
    qint64 m_pollSecond = -1;
    qint64 m_pollMinute = 0;
    QElapsedTimer m_lastSample;
    int m_silenceMs = kSilenceMs;
};

#endif
