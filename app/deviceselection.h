#ifndef MALVORANT_DEVICESELECTION_H
#define MALVORANT_DEVICESELECTION_H

#include "bridgeparts.h"
#include "viewersettings.h"

#include <QString>

class LiveView;
class QmlItems;
struct BtDeviceEntry;

// Finding, choosing and connecting the acquisition device: the discovery
// timer, the device rows and the stream's connect reports.
class DeviceSelection : public InputDeviceSelector
{
public:
    DeviceSelection(QmlItems& items, const EngineParts& engine, LiveView& live);

    DeviceSelection(const DeviceSelection&) = delete;
    DeviceSelection& operator=(const DeviceSelection&) = delete;

    void refreshInputList(int inputType);
    void stopRefreshInputList(int inputType);
    void discoverDevices();
    void startDiscoveryTimer();
    void stopDiscoveryTimer();
    void setInputType(int inputType);
    void setInputChannel(int inputType, int index) override;
    QString selectedInputDevice() const override;
    void cancelConnecting();

    void rawStreamRespDiscoverBt(int kind, const QString& text, int count, BtDeviceEntry table[5]);
    void rawStreamRespConnectBt(int error, const QString& text);
    void onConnectRetry();
    void winbluezAddDevice(const QString& name, quint64 address);
    void winbluezDisconnected();

private:
    QmlItems& m_items;
    EngineParts m_engine;
    LiveView& m_live;
};

#endif
