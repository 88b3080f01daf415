#include "dcmnetguard.h"

#include "dcmjobcancel.h"

#include <dcmtk/dcmnet/dcmtrans.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace {

std::uint32_t bigEndian32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8)
        | std::uint32_t(p[3]);
}

// Follows the protocol units read from a peer and, in the command fragments
// of P-DATA-TF units, the command field and status of each command set
// (implicit VR little endian, as every command set travels).
class CommandWatch
{
public:
    void feed(const unsigned char* p, size_t n, CDcmNetGuard* guard)
    {
        while (n > 0) {
            if (m_bodyLeft == 0) {
                m_header[m_headerFill++] = *p++;
                --n;
                if (m_headerFill == sizeof(m_header)) {
                    m_headerFill = 0;
                    m_bodyLeft = bigEndian32(m_header + 2);
                    m_body.clear();
                    // Only P-DATA-TF bodies of a sane size are looked into,
                    // and the reasons of an A-ASSOCIATE-RJ.
                    m_type = m_header[0];
                    m_keepBody = (m_type == 0x04 && m_bodyLeft <= kMaxBody)
                        || (m_type == 0x03 && m_bodyLeft == 4);
                    if (m_bodyLeft == 0)
                        m_keepBody = false;
                }
                continue;
            }
            const size_t take = n < m_bodyLeft ? n : static_cast<size_t>(m_bodyLeft);
            if (m_keepBody)
                m_body.insert(m_body.end(), p, p + take);
            p += take;
            n -= take;
            m_bodyLeft -= static_cast<std::uint32_t>(take);
            if (m_bodyLeft == 0 && m_keepBody) {
                if (m_type == 0x03)
                    guard->noteAssociateReject(m_body[2], m_body[3]);
                else
                    items(guard);
            }
        }
    }

private:
    static constexpr std::uint32_t kMaxBody = 1024 * 1024;

    void items(CDcmNetGuard* guard)
    {
        size_t pos = 0;
        while (pos + 6 <= m_body.size()) {
            const std::uint32_t length = bigEndian32(&m_body[pos]);
            if (length < 2 || length > m_body.size() - pos - 4)
                return;
            const unsigned char control = m_body[pos + 5];
            if (control & 0x01) {
                m_command.insert(m_command.end(), m_body.begin() + pos + 6,
                                 m_body.begin() + pos + 4 + length);
                if (m_command.size() > kMaxBody)
                    m_command.clear();
                if (control & 0x02) {
                    parseCommand(guard);
                    m_command.clear();
                }
            }
            pos += 4 + length;
        }
    }

    void parseCommand(CDcmNetGuard* guard)
    {
        unsigned field = 0;
        int status = -1;
        size_t pos = 0;
        while (pos + 8 <= m_command.size()) {
            const unsigned group = m_command[pos] | (m_command[pos + 1] << 8);
            const unsigned element = m_command[pos + 2] | (m_command[pos + 3] << 8);
            const std::uint32_t length = std::uint32_t(m_command[pos + 4])
                | (std::uint32_t(m_command[pos + 5]) << 8) | (std::uint32_t(m_command[pos + 6]) << 16)
                | (std::uint32_t(m_command[pos + 7]) << 24);
            pos += 8;
            if (length > m_command.size() - pos)
                return;
            if (group == 0 && length == 2) {
                const unsigned value = m_command[pos] | (m_command[pos + 1] << 8);
                if (element == 0x0100)
                    field = value;
                else if (element == 0x0900)
                    status = static_cast<int>(value);
            }
            pos += length;
        }
        if (field != 0)
            guard->noteCommandRead(field, status);
    }

    unsigned char m_header[6] = {};
    unsigned char m_type = 0;
    size_t m_headerFill = 0;
    std::uint32_t m_bodyLeft = 0;
    bool m_keepBody = false;
    std::vector<unsigned char> m_body;
    std::vector<unsigned char> m_command;
};

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A plain TCP connection whose reads wait no longer than the job's bounds
// and stop once the job has read its ceiling.
class GuardedConnection : public DcmTCPConnection
{
public:
    GuardedConnection(DcmNativeSocketType socket, CDcmNetGuard* guard)
        : DcmTCPConnection(socket)
        , m_guard(guard)
        , m_socket(socket)
    {
        m_guard->addSocket(socket);
    }

    ~GuardedConnection() override { unregister(); }

    // The watch may shut a socket down only while it is open: every way of
    // closing it leaves the watch's list first.
    void close() override
    {
        unregister();
        DcmTCPConnection::close();
    }

    void closeTransportConnection() override
    {
        unregister();
        DcmTCPConnection::closeTransportConnection();
    }

    ssize_t read(void* buf, size_t nbyte) override
    {
        pollfd pfd{getSocket(), POLLIN, 0};
        int ready = 0;
        do {
            const int remaining = m_guard->remainingMs();
            if (remaining <= 0) {
                errno = ETIMEDOUT;
                return -1;
            }
            ready = ::poll(&pfd, 1, remaining);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0 || m_guard->exceeded()) {
            errno = ETIMEDOUT;
            return -1;
        }
        const ssize_t got = DcmTCPConnection::read(buf, nbyte);
        if (got > 0) {
            m_guard->noteActivity();
            m_in.feed(static_cast<const unsigned char*>(buf), static_cast<size_t>(got), m_guard);
            if (!m_guard->addBytes(got)) {
                errno = EMSGSIZE;
                return -1;
            }
        }
        return got;
    }

    ssize_t write(void* buf, size_t nbyte) override
    {
        const ssize_t written = DcmTCPConnection::write(buf, nbyte);
        if (written > 0) {
            m_guard->noteActivity();
            observe(static_cast<const unsigned char*>(buf), static_cast<size_t>(written));
        }
        return written;
    }

    OFBool networkDataAvailable(int timeout) override
    {
        // Past a bound the next read fails at once; let DCMTK get to it.
        if (m_guard->exceeded())
            return OFTrue;
        const int remainingSeconds = (m_guard->remainingMs() + 999) / 1000;
        return DcmTCPConnection::networkDataAvailable(
            timeout < 0 || timeout > remainingSeconds ? remainingSeconds : timeout);
    }

private:
    void unregister()
    {
        if (m_registered) {
            m_registered = false;
            m_guard->removeSocket(m_socket);
        }
    }

    // Follows the protocol units in the written bytes: a 6-byte header with
    // the type first and a big-endian length, then the body.
    void observe(const unsigned char* p, size_t n)
    {
        while (n > 0) {
            if (m_bodyLeft == 0) {
                m_header[m_headerFill++] = *p++;
                --n;
                if (m_headerFill == sizeof(m_header)) {
                    m_headerFill = 0;
                    m_guard->notePduWritten(m_header[0]);
                    m_bodyLeft = bigEndian32(m_header + 2);
                }
            } else {
                const size_t skip = n < m_bodyLeft ? n : static_cast<size_t>(m_bodyLeft);
                p += skip;
                n -= skip;
                m_bodyLeft -= static_cast<std::uint32_t>(skip);
            }
        }
    }

    CDcmNetGuard* m_guard;
    CommandWatch m_in;
    DcmNativeSocketType m_socket;
    bool m_registered = true;
    unsigned char m_header[6] = {};
    size_t m_headerFill = 0;
    std::uint32_t m_bodyLeft = 0;
};

}

CDcmNetGuard::CDcmNetGuard(int totalSeconds, int idleSeconds, std::int64_t maxBytes)
    : DcmTransportLayer()
    , m_totalSeconds(totalSeconds)
    , m_idleSeconds(idleSeconds)
    , m_maxBytes(maxBytes)
    , m_deadline(Clock::now() + std::chrono::seconds(totalSeconds))
{
    m_lastActivityMs = nowMs();
}

CDcmNetGuard::~CDcmNetGuard()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopWatch = true;
    }
    m_wake.notify_all();
    if (m_watch.joinable())
        m_watch.join();
}

void CDcmNetGuard::start()
{
    m_deadline = Clock::now() + std::chrono::seconds(m_totalSeconds);
    m_lastActivityMs = nowMs();
    m_bytes = 0;
    m_cutOff = 0;
    m_releaseSent = false;
    m_abortSent = false;
    m_lastCommandField = 0;
    m_lastStatus = -1;
    if (!m_watch.joinable())
        m_watch = std::thread(&CDcmNetGuard::watch, this);
}

void CDcmNetGuard::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopWatch) {
        m_wake.wait_for(lock, std::chrono::milliseconds(100));
        if (m_stopWatch || m_cutOff.load() != 0)
            continue;
        if (Clock::now() >= m_deadline)
            m_cutOff = 1;
        else if (m_idleSeconds > 0 && nowMs() - m_lastActivityMs.load() > m_idleSeconds * 1000LL)
            m_cutOff = 2;
        else
            continue;
        // Every wait on these sockets ends now.
        for (DcmNativeSocketType s : m_sockets)
            ::shutdown(s, SHUT_RDWR);
    }
}

void CDcmNetGuard::addSocket(DcmNativeSocketType socket)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sockets.insert(socket);
    }
    if (m_cancel)
        m_cancel->attach(socket);
}

void CDcmNetGuard::removeSocket(DcmNativeSocketType socket)
{
    if (m_cancel)
        m_cancel->detach(socket);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.erase(socket);
}

DcmTransportConnection* CDcmNetGuard::createConnection(DcmNativeSocketType openSocket,
                                                       OFBool useSecureLayer)
{
    if (useSecureLayer)
        return nullptr;
    return new GuardedConnection(openSocket, this);
}

void CDcmNetGuard::notePduWritten(unsigned char type)
{
    if (type == 0x05)
        m_releaseSent = true;
    else if (type == 0x07)
        m_abortSent = true;
}

void CDcmNetGuard::noteCommandRead(unsigned commandField, int status)
{
    m_lastCommandField = commandField;
    m_lastStatus = status;
}

void CDcmNetGuard::noteAssociateReject(unsigned source, unsigned reason)
{
    m_rejectReason = static_cast<int>(dcmRejectReasonOf(source, reason));
}

void CDcmNetGuard::noteActivity()
{
    m_lastActivityMs = nowMs();
}

int CDcmNetGuard::remainingMs() const
{
    if (m_cutOff.load() != 0)
        return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool CDcmNetGuard::exceeded() const
{
    return m_cutOff.load() != 0 || remainingMs() <= 0;
}

std::string CDcmNetGuard::reason() const
{
    switch (m_cutOff.load()) {
    case 2:
        return "the peer was silent for " + std::to_string(m_idleSeconds) + " s";
    case 3:
        return "the peer sent more than " + std::to_string(m_maxBytes) + " bytes";
    default:
        break;
    }
    if (m_cutOff.load() == 1 || remainingMs() <= 0)
        return "no end after " + std::to_string(m_totalSeconds) + " s";
    return {};
}

bool CDcmNetGuard::addBytes(std::int64_t count)
{
    const std::int64_t total = m_bytes.fetch_add(count) + count;
    if (m_maxBytes > 0 && total > m_maxBytes) {
        int expected = 0;
        m_cutOff.compare_exchange_strong(expected, 3);
    }
    return m_cutOff.load() != 3;
}
