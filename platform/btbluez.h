#ifndef MALVORANT_BTBLUEZ_H
#define MALVORANT_BTBLUEZ_H

#include "btbackend.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

#include <memory>

// The pairing agent BlueZ asks for PINs; answers only for the one device it
// was registered for.
class CBluezAgent : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent1")
public:
    explicit CBluezAgent(QObject* parent = nullptr) : QObject(parent) {}
    void setDevice(quint64 address, BtPinHandler handler);

    // "/org/bluez/hci0/dev_00_11_22_33_44_55" -> 0x001122334455; false when
    // the path names no device.
    static bool addressFromDevicePath(const QString& path, quint64* address);

public slots:
    void Release();
    QString RequestPinCode(const QDBusObjectPath& device);
    void DisplayPinCode(const QDBusObjectPath& device, const QString& pin);
    uint RequestPasskey(const QDBusObjectPath& device);
    void DisplayPasskey(const QDBusObjectPath& device, uint passkey, ushort entered);
    void RequestConfirmation(const QDBusObjectPath& device, uint passkey);
    void RequestAuthorization(const QDBusObjectPath& device);
    void AuthorizeService(const QDBusObjectPath& device, const QString& uuid);
    void Cancel();

private:
    bool isOurDevice(const QDBusObjectPath& device) const;
    void reject();

    quint64 m_address = 0;
    BtPinHandler m_handler;
};

// Linux back end: BlueZ over D-Bus for the adapter, the inquiry and the PIN
// agent; an RFCOMM socket for the link.
class CBtBackendBluez : public CBtBackend
{
public:
    // An empty bus address means the system bus, where BlueZ lives.
    explicit CBtBackendBluez(const QString& busAddress = QString(), int inquiryMs = 5000);
    ~CBtBackendBluez() override;

    QString backendName() const override { return QStringLiteral("bluez"); }
    bool findAdapter(QString* why) override;
    bool inquiry(std::vector<BtInquiryDevice>* found, QString* error) override;
    bool registerAuthentication(quint64 address, BtPinHandler handler, int* error) override;
    bool unregisterAuthentication(int* error) override;
    int openRfcomm(quint64 address, int channel, int* error) override;

    static QString agentPath() { return QStringLiteral("/org/malvorant/agent"); }

private:
    QDBusConnection bus() const;
    bool adapterPath(QString* path, QString* why);

    QString m_busAddress;
    QString m_connectionName;
    int m_inquiryMs;
    std::unique_ptr<CBluezAgent> m_agent;
    bool m_agentRegistered = false;
};

#endif
