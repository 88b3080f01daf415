#include "simdevice.h"

#include "datcodec.h"
#include "debuglog.h"
#include "synthecg.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Decoded sample units per millivolt (the chart draws 5.2 units per mV x 1000).
constexpr double kUnitsPerMv = 1000.0 / 5.2;
constexpr double kScale = 0.595;     // gain code 3
constexpr int kRate = CSynthEcg::kSampleRate;

int quantise(double v)
{
    const long r = std::lround(2048.0 + v / kScale);
    return static_cast<int>(std::clamp<long>(r, 0, 4095));
}

bool envNumber(const char* name, double lo, double hi, double* value)
{
    if (!qEnvironmentVariableIsSet(name))
        return false;
    bool ok = false;
    const double v = qEnvironmentVariable(name).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < lo || v > hi) {
        debugLogError(std::string("simulated device: ") + name + " ignored, expected a number from " +
                      toStdString(lo) + " to " + toStdString(hi));
        return false;
    }
    *value = v;
    return true;
}

bool envFlag(const char* name)
{
    const QString v = qEnvironmentVariable(name).trimmed().toLower();
    return v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes");
}

// Collects the encoder's frames.
class FrameSink : public CDatCodecCallbackInterface
{
public:
    explicit FrameSink(QByteArray* out) : m_out(out) {}
    void datCodecRespEncodedPacket(const unsigned char* bytes, int length) override
    {
        m_out->append(reinterpret_cast<const char*>(bytes), length);
    }
    void datCodecRespSdStatus(int) override {}
    void datCodecRespDeviceLocked(int) override {}
    void datCodecRespStatusValue(int) override {}

private:
    QByteArray* m_out;
};
}

SimDeviceConfig SimDeviceConfig::fromEnvironment()
{
    SimDeviceConfig c;
    double v = 0;
    if (envNumber("MALVORANT_SIM_HEART_RATE", 5, 600, &v)) c.heartRate = v;
    if (envNumber("MALVORANT_SIM_AMPLITUDE_MV", 0, 10, &v)) c.amplitudeMv = v;
    if (envNumber("MALVORANT_SIM_NOISE_MV", 0, 5, &v)) c.noiseMv = v;
    if (envNumber("MALVORANT_SIM_MAINS_MV", 0, 5, &v)) c.mainsMv = v;
    if (envNumber("MALVORANT_SIM_MAINS_HZ", 1, 200, &v)) c.mainsHz = v;
    if (envNumber("MALVORANT_SIM_BATTERY_LOW_AFTER", 0, 1e7, &v)) c.batteryLowAfter = v;
    if (envNumber("MALVORANT_SIM_TOGGLE_EVERY", 0.1, 1e7, &v)) c.toggleEvery = v;
    if (envNumber("MALVORANT_SIM_USER_MARK_EVERY", 0.1, 1e7, &v)) c.userMarkEvery = v;
    if (envNumber("MALVORANT_SIM_DEVICE_INFO_EVERY", 0.1, 1e7, &v)) c.deviceInfoEvery = v;
    if (envNumber("MALVORANT_SIM_SILENT_AFTER", 0, 1e7, &v)) c.silentAfter = v;
    if (envNumber("MALVORANT_SIM_DROP_AFTER", 0, 1e7, &v)) c.dropAfter = v;
    if (envNumber("MALVORANT_SIM_CONNECT_DELAY_MS", 0, 60000, &v)) c.connectDelayMs = static_cast<int>(v);
    if (envNumber("MALVORANT_SIM_TIME_SCALE", 0.01, 100, &v)) c.timeScale = v;
    if (envNumber("MALVORANT_SIM_SEED", 0, 4294967295.0, &v)) c.seed = static_cast<unsigned>(v);
    c.neverAnswers = envFlag("MALVORANT_SIM_NEVER_ANSWERS");
    c.noAdapter = envFlag("MALVORANT_SIM_NO_ADAPTER");
    return c;
}

SynthEcgParams SimDeviceConfig::synthParams() const
{
    SynthEcgParams p;
    p.heartRate = heartRate;
    p.amplitude = amplitudeMv * kUnitsPerMv;
    p.noise = noiseMv * kUnitsPerMv;
    p.mainsAmplitude = mainsMv * kUnitsPerMv;
    p.mainsFrequency = mainsHz;
    p.seed = seed;
    return p;
}

// ---------------------------------------------------------------------------

CSimDeviceSession::CSimDeviceSession(int deviceFd, const SimDeviceConfig& config)
    : m_fd(deviceFd), m_config(config),
      m_linkUpAt(std::chrono::steady_clock::now() + std::chrono::milliseconds(config.connectDelayMs))
{
    m_thread = std::thread([this] { run(); });
}

CSimDeviceSession::~CSimDeviceSession()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

QByteArray CSimDeviceSession::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void CSimDeviceSession::run()
{
    CSynthEcg gen(m_config.synthParams());

    QByteArray out;
    FrameSink sink(&out);
    CDatEncoder encoder;
    encoder.setOutput(&sink);
    encoder.setGainCode(3);

    using clock = std::chrono::steady_clock;
    clock::time_point start;
    std::int64_t produced = 0;
    int lastBatteryPacket = -2;
    double nextToggle = m_config.toggleEvery > 0 ? m_config.toggleEvery : -1.0;
    double nextMark = m_config.userMarkEvery > 0 ? m_config.userMarkEvery : -1.0;
    int markNumber = 0;
    const std::int64_t infoEvery =
        m_config.deviceInfoEvery > 0 ? std::max<std::int64_t>(1, std::int64_t(m_config.deviceInfoEvery * kRate)) : 0;
    QByteArray carry;
    char buf[256];

    while (!m_stop && !m_drop) {
        pollfd pfd{m_fd, static_cast<short>(POLLIN | (out.isEmpty() ? 0 : POLLOUT)), 0};
        const int pr = ::poll(&pfd, 1, 5);
        if (pr < 0 && errno != EINTR)
            break;
        if (pr > 0 && (pfd.revents & POLLIN)) {
            const ssize_t n = ::recv(m_fd, buf, sizeof(buf), MSG_DONTWAIT);
            if (n == 0)
                break; // the host closed the link
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                break;
            if (n > 0 && clock::now() >= m_linkUpAt) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_commands.append(buf, static_cast<int>(n));
                }
                // Two-character commands: "\A" starts the stream; "\2" and
                // "\E" are polls the device acknowledges by streaming on.
                carry.append(buf, static_cast<int>(n));
                if (carry.contains("\\A") && !m_streaming && !m_config.neverAnswers) {
                    m_streaming = true;
                    start = clock::now();
                }
                carry = carry.right(1);
            }
        } else if (pr > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            break;
        }

        if (m_streaming && !m_silent) {
            const double elapsed = std::chrono::duration<double>(clock::now() - start).count() * m_config.timeScale;
            const std::int64_t due = static_cast<std::int64_t>(elapsed * kRate);
            while (produced < due && !m_silent) {
                const double t = static_cast<double>(produced) / kRate;
                if (m_config.batteryLowAfter >= 0 && t >= m_config.batteryLowAfter &&
                    encoder.lastPacketNumber() != lastBatteryPacket) {
                    // flags every packet while the battery is low
                    encoder.addEvent(ECG_EVENT_BATTERY_LOW);
                    lastBatteryPacket = encoder.lastPacketNumber();
                }
                if (nextToggle > 0 && t >= nextToggle) {
                    encoder.addEvent(ECG_EVENT_RECORD_TOGGLE);
                    nextToggle += m_config.toggleEvery;
                }
                if (nextMark > 0 && t >= nextMark) {
                    encoder.addEvent(ECG_EVENT_USER_MARK1 - markNumber);
                    markNumber = (markNumber + 1) % 4;
                    nextMark += m_config.userMarkEvery;
                }
                if (produced == kRate / 5 || (infoEvery > 0 && produced > kRate / 5
                                              && (produced - kRate / 5) % infoEvery == 0)) {
                    // The device introduces itself once the stream runs.
                    EcgDeviceInfo info{};
                    info.a = 0x4B580001u;
                    info.d = 1;
                    info.e = static_cast<std::uint32_t>(kRate);
                    info.f = 100;
                    encoder.addDeviceInfo(info);
                }
                const SynthEcgSample s = gen.next();
                encoder.addSamplePair(quantise(-s.leadII), quantise(s.leadI));
                ++produced;
                if (m_config.silentAfter >= 0 && produced >= m_config.silentAfter * kRate)
                    m_silent = true;
                if (m_config.dropAfter >= 0 && produced >= m_config.dropAfter * kRate)
                    m_drop = true;
            }
        }

        while (!out.isEmpty()) {
            const ssize_t n = ::send(m_fd, out.constData(), static_cast<size_t>(out.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                out.remove(0, static_cast<int>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                break;
            m_stop = true; // the link is gone
            break;
        }
        // A host that stopped reading: the device's buffer overflows.
        if (out.size() > (1 << 20))
            out.clear();
    }
    if (m_drop && !out.isEmpty())
        ::send(m_fd, out.constData(), static_cast<size_t>(out.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    m_fd = -1;
    m_finished = true;
}

// ---------------------------------------------------------------------------

CBtBackendSim::CBtBackendSim(const SimDeviceConfig& config) : m_config(config) {}

CBtBackendSim::~CBtBackendSim()
{
    std::vector<Link> links;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        links.swap(m_links);
    }
    for (Link& l : links) {
        l.session.reset();
        if (l.hostFd >= 0)
            ::close(l.hostFd);
    }
}

bool CBtBackendSim::findAdapter(QString* why)
{
    if (m_config.noAdapter) {
        if (why)
            *why = QStringLiteral("no Bluetooth adapter");
        return false;
    }
    return true;
}

bool CBtBackendSim::inquiry(std::vector<BtInquiryDevice>* found, QString* error)
{
    ++m_inquiries;
    found->clear();
    if (!findAdapter(error))
        return false;
    found->push_back(BtInquiryDevice{m_config.name, m_config.address});
    return true;
}

bool CBtBackendSim::registerAuthentication(quint64 address, BtPinHandler handler, int* error)
{
    *error = 0;
    m_registered = true;
    m_registeredAddress = address;
    m_handler = std::move(handler);
    return true;
}

bool CBtBackendSim::unregisterAuthentication(int* error)
{
    *error = 0;
    m_registered = false;
    m_handler = BtPinHandler();
    return true;
}

int CBtBackendSim::openRfcomm(quint64 address, int channel, int* error)
{
    if (m_config.noAdapter) {
        *error = ENODEV;
        return -1;
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        *error = errno;
        return -1;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (address != m_config.address || channel != 1) {
        ::close(fds[1]);
        *error = EHOSTDOWN;
        m_links.push_back(Link{fds[0], nullptr});
        return fds[0];
    }
    if (!m_paired) {
        // First connection: the device asks for its PIN.
        QByteArray pin;
        const bool answered = m_registered && m_registeredAddress == address && m_handler && m_handler(address, &pin);
        if (!answered || pin != devicePin()) {
            ::close(fds[1]);
            *error = EACCES;
            m_links.push_back(Link{fds[0], nullptr});
            return fds[0];
        }
        m_paired = true;
    }
    ++m_connections;
    m_links.push_back(Link{fds[0], std::make_unique<CSimDeviceSession>(fds[1], m_config)});
    *error = m_config.connectDelayMs > 0 ? EINPROGRESS : 0;
    return fds[0];
}

CSimDeviceSession* CBtBackendSim::sessionFor(int handle) const
{
    for (const Link& l : m_links)
        if (l.hostFd == handle)
            return l.session.get();
    return nullptr;
}

long CBtBackendSim::receive(int handle, char* buffer, long size, int* error)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const CSimDeviceSession* s = sessionFor(handle);
        if (s && !s->linkUp()) {
            *error = ENOTCONN;
            return -1;
        }
    }
    return CBtBackend::receive(handle, buffer, size, error);
}

long CBtBackendSim::send(int handle, const char* buffer, long length, int* error)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const CSimDeviceSession* s = sessionFor(handle);
        if (s && !s->linkUp()) {
            *error = ENOTCONN;
            return -1;
        }
    }
    return CBtBackend::send(handle, buffer, length, error);
}

bool CBtBackendSim::closeHandle(int handle, int* error)
{
    std::unique_ptr<CSimDeviceSession> ended;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_links.begin(); it != m_links.end(); ++it) {
            if (it->hostFd == handle) {
                ended = std::move(it->session);
                m_links.erase(it);
                break;
            }
        }
    }
    const bool ok = CBtBackend::closeHandle(handle, error);
    ended.reset(); // the device side sees the link end and stops
    return ok;
}

void CBtBackendSim::goSilent()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_links.rbegin(); it != m_links.rend(); ++it)
        if (it->session) {
            it->session->goSilent();
            return;
        }
}

void CBtBackendSim::dropLink()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_links.rbegin(); it != m_links.rend(); ++it)
        if (it->session) {
            it->session->dropLink();
            return;
        }
}

int CBtBackendSim::connectionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

QByteArray CBtBackendSim::commandsOfLatest() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_links.rbegin(); it != m_links.rend(); ++it)
        if (it->session)
            return it->session->commands();
    return QByteArray();
}

bool CBtBackendSim::latestStreaming() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_links.rbegin(); it != m_links.rend(); ++it)
        if (it->session)
            return it->session->streaming();
    return false;
}

int CBtBackendSim::openHandles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_links.size());
}
