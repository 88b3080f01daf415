#ifndef MALVORANT_SIMDEVICE_H
#define MALVORANT_SIMDEVICE_H

#include "btbackend.h"
#include "synthecg.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// What the simulated acquisition device does. Read from MALVORANT_SIM_*
// environment variables by fromEnvironment(); tests fill it directly.
struct SimDeviceConfig {
    QString name = QStringLiteral("Kx Simulated ECG");
    quint64 address = 0x00802A4B5801ull;  // 00:80:2a:4b:58:01
    double heartRate = 120.0;              // beats per minute (a dog)
    double amplitudeMv = 1.5;              // R wave of lead II
    double noiseMv = 0.01;                 // white noise, standard deviation
    double mainsMv = 0.0;                  // mains interference amplitude
    double mainsHz = 50.0;
    double batteryLowAfter = -1.0;         // seconds of streaming; < 0 never
    double toggleEvery = -1.0;             // seconds between device toggles; <= 0 never
    double userMarkEvery = -1.0;           // seconds between user marks (1 to 4 in turn); <= 0 never
    double deviceInfoEvery = -1.0;         // seconds between device introductions; <= 0 only once
    double silentAfter = -1.0;             // stops sending, keeps the link; < 0 never
    double dropAfter = -1.0;               // closes the link; < 0 never
    bool neverAnswers = false;             // accepts the link, never streams
    bool noAdapter = false;                // behave as a machine without Bluetooth
    int connectDelayMs = 0;                // the link comes up this long after the connect
    double timeScale = 1.0;                // stream time per real second
    unsigned seed = 1;

    static SimDeviceConfig fromEnvironment();
    // The generator's settings in decoded sample units (1 mV = 1000 / 5.2).
    SynthEcgParams synthParams() const;
};

// One connection to the simulated device: its end of a socket pair, served
// by a thread that answers commands and streams first-protocol frames of the
// synthetic ECG in real time (scaled by timeScale).
class CSimDeviceSession
{
public:
    CSimDeviceSession(int deviceFd, const SimDeviceConfig& config);
    ~CSimDeviceSession();

    void goSilent() { m_silent = true; }
    void dropLink() { m_drop = true; }
    bool finished() const { return m_finished; }
    bool streaming() const { return m_streaming; }
    QByteArray commands() const;
    // Link state as the host sees it: false until the connect delay passed.
    bool linkUp() const { return std::chrono::steady_clock::now() >= m_linkUpAt; }

private:
    void run();

    int m_fd;
    SimDeviceConfig m_config;
    std::chrono::steady_clock::time_point m_linkUpAt;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_drop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_streaming{false};
    mutable std::mutex m_mutex;
    QByteArray m_commands;
    std::thread m_thread;
};

// The simulated device behind the Bluetooth socket layer (MALVORANT_DEVICE=
// simulated): one device found by every inquiry, paired with the PIN the
// layer answers, connected through a socket pair so the layer's own socket
// code runs unchanged.
class CBtBackendSim : public CBtBackend
{
public:
    explicit CBtBackendSim(const SimDeviceConfig& config = SimDeviceConfig());
    ~CBtBackendSim() override;

    QString backendName() const override { return QStringLiteral("simulated"); }
    bool findAdapter(QString* why) override;
    bool inquiry(std::vector<BtInquiryDevice>* found, QString* error) override;
    bool registerAuthentication(quint64 address, BtPinHandler handler, int* error) override;
    bool unregisterAuthentication(int* error) override;
    int openRfcomm(quint64 address, int channel, int* error) override;
    long receive(int handle, char* buffer, long size, int* error) override;
    long send(int handle, const char* buffer, long length, int* error) override;
    bool closeHandle(int handle, int* error) override;

    static QByteArray devicePin() { return QByteArrayLiteral("8052"); }

    SimDeviceConfig& config() { return m_config; }
    // Control of the newest connection, for tests.
    void goSilent();
    void dropLink();
    int connectionCount() const;
    // Inquiries run so far.
    int inquiryCount() const { return m_inquiries; }
    QByteArray commandsOfLatest() const;
    bool latestStreaming() const;
    bool isRegistered() const { return m_registered; }
    int openHandles() const;

private:
    struct Link {
        int hostFd;
        std::unique_ptr<CSimDeviceSession> session;
    };
    CSimDeviceSession* sessionFor(int handle) const;

    SimDeviceConfig m_config;
    mutable std::mutex m_mutex;
    std::vector<Link> m_links;
    int m_connections = 0;
    int m_inquiries = 0;
    bool m_registered = false;
    bool m_paired = false;
    quint64 m_registeredAddress = 0;
    BtPinHandler m_handler;
};

#endif
