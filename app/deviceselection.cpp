#include "deviceselection.h"

DeviceSelection::DeviceSelection(QmlItems& items, const EngineParts& engine, LiveView& live)
    : m_items(items), m_engine(engine), m_live(live)
{
}

void DeviceSelection::refreshInputList(int) {}
void DeviceSelection::stopRefreshInputList(int) {}
void DeviceSelection::discoverDevices() {}
void DeviceSelection::startDiscoveryTimer() {}
void DeviceSelection::stopDiscoveryTimer() {}
void DeviceSelection::setInputType(int) {}
void DeviceSelection::setInputChannel(int, int) {}
void DeviceSelection::cancelConnecting() {}
QString DeviceSelection::selectedInputDevice() const { return QString(); }
void DeviceSelection::rawStreamRespDiscoverBt(int, const QString&, int, BtDeviceEntry[5]) {}
void DeviceSelection::rawStreamRespConnectBt(int, const QString&) {}
void DeviceSelection::onConnectRetry() {}
void DeviceSelection::winbluezAddDevice(const QString&, quint64) {}
void DeviceSelection::winbluezDisconnected() {}
