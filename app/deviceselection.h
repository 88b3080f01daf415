#ifndef MALVORANT_DEVICESELECTION_H
#define MALVORANT_DEVICESELECTION_H

#include "bridgeparts.h"
#include "rawstream.h"
#include "viewersettings.h"

#include <QString>

#include <functional>
#include <memory>

class CRawStreamBt;
class LiveView;
class QmlItems;
class QObject;
class QTimer;

// Finding, choosing and connecting the acquisition device: the discovery
// timer with its budget of inquiries, the device rows, the device setting
// and the stream's connect reports.
class DeviceSelection : public InputDeviceSelector,
                        public CRawStreamCallbackInterface,
                        public CWinbluezCallbackInterface
{
public:
    static constexpr int kInquiries = 3;
    static constexpr int kDiscoveryIntervalMs = 1000;

    DeviceSelection(QmlItems& items, const EngineParts& engine, LiveView& live);
    ~DeviceSelection() override;

    DeviceSelection(const DeviceSelection&) = delete;
    DeviceSelection& operator=(const DeviceSelection&) = delete;

    // Parts made later: the stream, the timer's parent, the service properties writer.
    void setStream(CRawStreamBt* stream) { m_stream = stream; }
    void setTimerParent(QObject* parent) { m_timerParent = parent; }
    void setServicePropertiesWriter(std::function<void()> writer) { m_writeServiceProperties = std::move(writer); }

    void refreshInputList(int inputType);
    void stopRefreshInputList(int inputType);
    void discoverDevices();
    void startDiscoveryTimer();
    void stopDiscoveryTimer();
    void setInputType(int inputType);
    void setInputChannel(int inputType, int index) override;
    QString selectedInputDevice() const override;
    void cancelConnecting();

    void rawStreamRespReserved1(QString, QString) override {}
    void rawStreamRespReserved2(QString) override {}
    void rawStreamRespDiscoverBt(int kind, QString text, int count, BtDeviceEntry table[5]) override;
    void rawStreamRespConnectBt(int error, QString text) override;
    void onConnectRetry() override;
    void winbluezAddDevice(QString name, quint64 address) override;
    void winbluezDisconnected() override;

    int budget() const { return m_budget; }
    bool isDiscoveryTimerActive() const;
    int selectedIndex() const { return m_selectedIndex; }
    // The live view started without a device: search, and start the stream
    // with the device the search chooses.
    void findDeviceAndStart();
    bool isStartPending() const { return m_startPending; }
    // Whether the monitor comes back once the running search has ended.
    bool resumesAfterSearch() const { return m_resumeAfterSearch; }

private:
    // True (and logged) when a recording runs: what was asked would stop or
    // disturb its stream.
    bool refusedWhileRecording(const char* what) const;
    void setStartPending(bool pending);
    void deleteBluetoothRows();
    void storeDeviceName(const QString& name);
    // The monitor on screen that a search stopped comes back when the search
    // has ended with a device, unless what follows in the same click starts
    // the stream or searches again (checked once the click is done).
    void resumeMonitorLater();
    void resumeMonitor();

    QmlItems& m_items;
    EngineParts m_engine;
    LiveView& m_live;
    CRawStreamBt* m_stream = nullptr;
    QObject* m_timerParent = nullptr;
    std::function<void()> m_writeServiceProperties;
    QTimer* m_timer = nullptr;
    int m_budget = kInquiries;
    int m_selectedIndex = -1;
    bool m_startPending = false;
    bool m_resumeAfterSearch = false;
    bool m_searchChoseDevice = false;
    std::unique_ptr<QTimer> m_resumeTimer;
};

#endif
