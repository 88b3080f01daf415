#include "deviceselection.h"

#include "dbman.h"
#include "debuglog.h"
#include "liveview.h"
#include "qmlitems.h"
#include "rawstreambt.h"
#include "settingsman.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QtDebug>

using namespace qml;

DeviceSelection::DeviceSelection(QmlItems& items, const EngineParts& engine, LiveView& live)
    : m_items(items), m_engine(engine), m_live(live), m_resumeTimer(std::make_unique<QTimer>())
{
    m_resumeTimer->setSingleShot(true);
    m_resumeTimer->setInterval(0);
    QObject::connect(m_resumeTimer.get(), &QTimer::timeout, m_resumeTimer.get(),
                     [this] { resumeMonitor(); });
}

DeviceSelection::~DeviceSelection()
{
    // The timer belongs to its parent; only its calls into us must end.
    if (m_timer)
        QObject::disconnect(m_timer, nullptr, nullptr, nullptr);
}

QString DeviceSelection::selectedInputDevice() const
{
    if (!m_stream || m_stream->selectedAddress().isEmpty())
        return QString();
    return m_stream->selectedDeviceName();
}

bool DeviceSelection::refusedWhileRecording(const char* what) const
{
    if (!m_live.isRecording())
        return false;
    debugLog(2, std::string("CQmlInterface::") + what + " refused: a recording runs");
    return true;
}

bool DeviceSelection::isDiscoveryTimerActive() const
{
    return m_timer && m_timer->isActive();
}

void DeviceSelection::deleteBluetoothRows()
{
    QSqlQuery q(*m_engine.db->database());
    q.prepare(QStringLiteral("delete from discoveryTable where source = 0"));
    if (!q.exec())
        debugLogError("CQmlInterface: discoveryTable rows could not be deleted: " + q.lastError().text().toStdString());
}

void DeviceSelection::storeDeviceName(const QString& name)
{
    m_engine.settings->bzdevice = name;
    if (!m_engine.settings->saveSettings(SettingsUncategorized))
        debugLogError("CQmlInterface: the selected device could not be saved");
    if (m_writeServiceProperties)
        m_writeServiceProperties();
}

void DeviceSelection::refreshInputList(int inputType)
{
    debugLog(4, "CQmlInterface::refreshInputList() inputType=" + toStdString(inputType));
    // A search stops the stream, and a recording with it.
    if (refusedWhileRecording("refreshInputList()"))
        return;
    // The user's own search: a live start that waited on one is given up.
    setStartPending(false);
    // A monitor on screen (state 1), running or not, comes back after it.
    m_resumeAfterSearch = m_resumeAfterSearch || m_live.isMonitorShown();
    m_searchChoseDevice = false;
    m_items.set<P::ValidStreamInputDeviceSelected>(false);
    m_items.set<P::InputDescriptiveName>(QStringLiteral("---"));
    m_items.invoke<C::QmlStreamsRetrieved>(0, -1);
    m_live.streamStartStop(false);
    m_items.set<P::BusyIndicatorRunning>(true);
    startDiscoveryTimer();
    deleteBluetoothRows();
}

void DeviceSelection::startDiscoveryTimer()
{
    m_budget = kInquiries;
    if (!m_timer) {
        m_timer = new QTimer(m_timerParent);
        m_timer->setInterval(kDiscoveryIntervalMs);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] { discoverDevices(); });
    }
    m_timer->start(kDiscoveryIntervalMs);
}

void DeviceSelection::stopDiscoveryTimer()
{
    if (m_timer)
        m_timer->stop();
}

void DeviceSelection::discoverDevices()
{
    if (m_budget < 1) {
        if (m_startPending) {
            // Nothing found for the live view: it stays with its hint.
            setStartPending(false);
            stopDiscoveryTimer();
            m_items.set<P::BusyIndicatorRunning>(false);
            return;
        }
        stopRefreshInputList(0);
        return;
    }
    --m_budget;
    if (!m_stream)
        return;
    // The inquiry lists the devices one by one (kind 1). A failed one has
    // said so (kind 0, with the reason): the next tick ends the search.
    if (!m_stream->btDiscover()) {
        m_budget = 0;
        return;
    }
    // The end of the search is reported once (kind 0), so the busy
    // indicator stays on until then and the device is chosen once: after the
    // last inquiry, or for a start that waits on a device, after the first
    // inquiry that found one.
    if (m_budget == 0 || (m_startPending && m_stream->deviceCount() > 0))
        m_stream->btDevDiscFinished();
}

void DeviceSelection::findDeviceAndStart()
{
    debugLog(4, "CQmlInterface: no device chosen, searching");
    setStartPending(true);
    m_items.set<P::BusyIndicatorRunning>(true);
    startDiscoveryTimer();
}

void DeviceSelection::setStartPending(bool pending)
{
    m_startPending = pending;
    // The live tick leaves the busy indicator to the search meanwhile.
    m_live.setDeviceSearchRunning(pending);
}

void DeviceSelection::stopRefreshInputList(int inputType)
{
    setStartPending(false);
    debugLog(4, "CQmlInterface::stopRefreshInputList() inputType=" + toStdString(inputType));
    if (!refusedWhileRecording("stopRefreshInputList() stopping the stream"))
        m_live.streamStartStop(false);
    m_items.set<P::BusyIndicatorRunning>(false);
    stopDiscoveryTimer();
    if (m_stream)
        m_stream->stopDiscover();
    if (m_resumeAfterSearch)
        resumeMonitorLater();
}

void DeviceSelection::resumeMonitorLater()
{
    m_resumeTimer->start();
}

void DeviceSelection::resumeMonitor()
{
    // Another search has started meanwhile: its end decides.
    if (isDiscoveryTimerActive() || m_startPending)
        return;
    const bool wanted = m_resumeAfterSearch;
    m_resumeAfterSearch = false;
    // The click went on to start the stream itself.
    if (!wanted || m_live.isStreaming() || m_live.isRecording())
        return;
    const bool device = m_searchChoseDevice && m_stream && !m_stream->selectedAddress().isEmpty();
    if (!m_live.isMonitorShown() || !device) {
        // The screen says so itself: no device, or another view.
        debugLog(4, "CQmlInterface: the search ended, the monitor stays stopped");
        return;
    }
    debugLog(2, "CQmlInterface: the search ended, the monitor resumes");
    m_live.streamStartStop(true);
}

void DeviceSelection::winbluezAddDevice(QString name, quint64 address)
{
    if (m_stream)
        m_stream->btAddDevice(QString(name), address);
}

void DeviceSelection::winbluezDisconnected()
{
    if (m_stream)
        m_stream->btDisconnected();
}

void DeviceSelection::rawStreamRespDiscoverBt(int kind, QString text, int count, BtDeviceEntry table[5])
{
    debugLog(4, "CQmlInterface::rawStreamRespDiscoverBt()");
    qDebug().noquote() << "CQmlInterface::rawStreamRespDiscoverBt() errorId=" + QString::number(kind) << text;
    m_selectedIndex = -1;
    if (kind != 0 && kind != 1)
        return;
    // The stream's table holds five entries at most.
    if (!table || count < 0)
        count = 0;
    count = std::min(count, int(CRawStream::kMaxDevices));

    deleteBluetoothRows();
    const QString stored = m_engine.settings->bzdevice;
    QSqlDatabase& db = *m_engine.db->database();
    for (int i = 0; i < count; ++i) {
        const BtDeviceEntry& e = table[i];
        if (e.name.isEmpty())
            continue; // an unused slot of the table
        if (e.name == stored)
            m_selectedIndex = i;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("select count(*) from discoveryTable where device = ?"));
        q.addBindValue(e.name);
        if (q.exec() && q.next() && q.value(0).toInt() >= 1)
            continue;
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("insert into discoveryTable (idx, source, device, mac) values(?, 0, ?, ?)"));
        insert.addBindValue(i);
        insert.addBindValue(e.name);
        insert.addBindValue(e.address);
        if (!insert.exec())
            debugLogError("CQmlInterface::rawStreamRespDiscoverBt() row not written: " + insert.lastError().text().toStdString());
    }
    if (count > 0)
        m_items.set<P::ValidStreamInputDeviceSelected>(true);

    if (kind == 1) {
        m_items.invoke<C::QmlStreamsRetrieved>(count, -1);
        if (count > 0)
            qDebug().noquote() << "Device Name: " + table[count - 1].name;
        return;
    }

    m_items.set<P::BusyIndicatorRunning>(false);
    if (m_selectedIndex < 0 && count < 1) {
        m_items.set<P::InputDescriptiveName>(QStringLiteral("---"));
        m_items.set<P::ValidStreamInputDeviceSelected>(false);
    } else {
        if (m_selectedIndex < 0)
            m_selectedIndex = 0;
        const BtDeviceEntry& chosen = table[m_selectedIndex];
        if (chosen.name != stored)
            storeDeviceName(chosen.name);
        if (m_stream)
            m_stream->btSelectDevice(chosen.name, chosen.address);
        m_items.set<P::InputDescriptiveName>(chosen.name);
        m_items.set<P::ValidStreamInputDeviceSelected>(true);
        m_items.set<P::InputChannelListIndex>(m_selectedIndex);
        m_searchChoseDevice = true;
        if (m_startPending) {
            setStartPending(false);
            stopDiscoveryTimer();
            if (m_live.isStreaming() && m_stream)
                m_stream->startStop(true);
        }
    }
    m_items.invoke<C::QmlStreamsRetrieved>(count, m_selectedIndex);
}

void DeviceSelection::setInputType(int inputType)
{
    debugLog(4, "CQmlInterface::setInputType() inputType=" + toStdString(inputType));
    if (inputType != m_engine.settings->inputType) {
        if (refusedWhileRecording("setInputType()"))
            return;
        if (m_live.isStreaming())
            m_live.streamStartStop(false);
        m_engine.settings->inputType = inputType;
        if (!m_engine.settings->saveSettings(SettingsUncategorized))
            debugLogError("CQmlInterface::setInputType() the input type could not be saved");
        if (inputType == 0) {
            m_items.set<P::ValidStreamInputDeviceSelected>(true);
            m_items.set<P::InputDescriptiveName>(m_engine.settings->bzdevice);
            m_items.set<P::InputChannelListIndex>(m_selectedIndex);
        }
    }
    m_items.set<P::InputType>(inputType);
}

void DeviceSelection::setInputChannel(int inputType, int index)
{
    debugLog(4, "CQmlInterface::setInputChannel() inputType=" + toStdString(inputType) +
                    ", inputChannel=" + toStdString(index));
    // Another device would restart the decoder under the running recording.
    if (refusedWhileRecording("setInputChannel()"))
        return;
    m_items.set<P::ValidStreamInputDeviceSelected>(false);
    if (inputType != m_engine.settings->inputType) {
        debugLogError("CQmlInterface::setInputChannel() ERROR inputType=" + toStdString(inputType) +
                      " not equal inputChannel=" + toStdString(m_engine.settings->inputType));
        return;
    }
    m_selectedIndex = index;
    QSqlQuery q(*m_engine.db->database());
    q.prepare(QStringLiteral("select device, mac from discoveryTable where source=0 and idx=?"));
    q.addBindValue(index);
    if (!q.exec() || !q.next()) {
        debugLogError("CQmlInterface::setInputChannel: " + q.lastError().databaseText().toStdString() + ": " +
                      q.lastError().driverText().toStdString());
        // No such row: nothing valid is selected.
        return;
    }
    const QString device = q.value(0).toString();
    const QString mac = q.value(1).toString();
    m_engine.settings->bzdevice = device;
    if (!m_engine.settings->saveSettings(SettingsUncategorized))
        debugLogError("CQmlInterface::setInputChannel() the device could not be saved");
    if (m_stream)
        m_stream->btSelectDevice(device, mac);
    m_items.set<P::InputDescriptiveName>(device);
    if (m_writeServiceProperties)
        m_writeServiceProperties();
    m_items.set<P::ValidStreamInputDeviceSelected>(true);
}

void DeviceSelection::cancelConnecting()
{
    m_items.set<P::AbortConnecting>(true);
    m_live.requestAbort();
}

void DeviceSelection::rawStreamRespConnectBt(int error, QString text)
{
    debugLog(4, "CQmlInterface::rawStreamRespConnectBt");
    if (error != 0)
        return;
    if (text != m_engine.settings->bzdevice && !text.isEmpty())
        storeDeviceName(text);
    const bool connected = m_stream && m_stream->socketLayer()->isConnected();
    m_live.setConnected(connected);
    m_items.set<P::IsBtConnected>(connected);
    m_items.set<P::BusyIndicatorRunning>(false);
}

void DeviceSelection::onConnectRetry()
{
    m_live.connectRetry();
}
