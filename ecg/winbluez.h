#ifndef MALVORANT_WINBLUEZ_H
#define MALVORANT_WINBLUEZ_H

#include "btbackend.h"
#include "rawstream.h"

#include <QString>

#include <memory>

// The back end the environment asks for: the simulated device when
// MALVORANT_DEVICE is "simulated", else the host's Bluetooth stack.
std::unique_ptr<CBtBackend> createBtBackend();

// The thin layer between the Bluetooth stream and the Bluetooth stack: device
// inquiry, the PIN answer for pairing, a non-blocking serial-port link to one
// device, byte reads and writes, and closing. It reports found devices and a
// link it had to close through CWinbluezCallbackInterface.
class Winbluez
{
public:
    static constexpr int kMaxDevices = 5;
    static constexpr int kMaxReadFailures = 160;

    // A null back end takes the one createBtBackend() chooses.
    explicit Winbluez(CWinbluezCallbackInterface* callback, std::unique_ptr<CBtBackend> backend = nullptr);
    ~Winbluez();

    Winbluez(const Winbluez&) = delete;
    Winbluez& operator=(const Winbluez&) = delete;

    // True when a Bluetooth adapter is there.
    bool initBluetooth();
    // Number of devices reported, or -1 when no inquiry could run (see lastErrorText).
    int listBluetoothDevices();
    bool openBTComm(const QString& address, bool& status);
    // The stack asks for the PIN of the device being paired.
    bool authenticationCallback(quint64 address, QByteArray* answer);
    int readComm(char* buffer, int size, int wait = 0);
    int writeComm(const char* buffer, int length, int wait = 0);
    bool closeBTComm();
    // Closes `socket`; true when it closed cleanly.
    bool shutdownConnection(int socket);
    bool isConnected() const { return m_socket >= 0 && m_connected; }
    bool hasSocket() const { return m_socket >= 0; }

    QString name(int i) const;
    quint64 address(int i) const;
    unsigned lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastErrorText; }
    bool hasAdapter() const { return m_hasAdapter; }
    int readFailureCount() const { return m_readFailures; }
    bool isAuthenticationRegistered() const { return m_authRegistered; }
    CBtBackend* backend() const { return m_backend.get(); }

    // "00:80:2a:4b:58:01" <-> 0x00802A4B5801. Exactly six pairs of
    // hexadecimal digits are an address.
    static bool parseAddress(const QString& text, quint64* address);
    static QString addressText(quint64 address);
    static QString pin() { return QStringLiteral("8052"); }

private:
    void releaseAuthentication();
    void reportDisconnected();

    CWinbluezCallbackInterface* m_callback;
    std::unique_ptr<CBtBackend> m_backend;
    unsigned m_lastError = 0;
    QString m_lastErrorText;
    bool m_hasAdapter = false;
    QString m_names[kMaxDevices];
    quint64 m_addresses[kMaxDevices] = {};
    int m_socket = -1;
    int m_readFailures = 0;
    int m_emptyReads = 0;
    bool m_connected = false;
    bool m_authRegistered = false;
    quint64 m_authAddress = 0;
};

#endif
