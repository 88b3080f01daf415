#include "dcmnetguard.h"

#include <dcmtk/dcmnet/dcmtrans.h>

#include <cerrno>
#include <poll.h>

namespace {

// A plain TCP connection whose reads wait no longer than the job's deadline
// and stop once the job has read its ceiling.
class GuardedConnection : public DcmTCPConnection
{
public:
    GuardedConnection(DcmNativeSocketType socket, CDcmNetGuard* guard)
        : DcmTCPConnection(socket)
        , m_guard(guard)
    {
    }

    ssize_t read(void* buf, size_t nbyte) override
    {
        if (m_guard->exceeded()) {
            errno = ETIMEDOUT;
            return -1;
        }
        // Wait for data in slices so the deadline holds even while the peer
        // is silent.
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
        if (ready <= 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        const ssize_t got = DcmTCPConnection::read(buf, nbyte);
        if (got > 0 && !m_guard->addBytes(got)) {
            errno = EMSGSIZE;
            return -1;
        }
        return got;
    }

    ssize_t write(void* buf, size_t nbyte) override
    {
        const ssize_t written = DcmTCPConnection::write(buf, nbyte);
        if (written > 0)
            observe(static_cast<const unsigned char*>(buf), static_cast<size_t>(written));
        return written;
    }

    OFBool networkDataAvailable(int timeout) override
    {
        // Past a bound the next read fails at once; let DCMTK get to it.
        if (m_guard->exceeded())
            return OFTrue;
        const int remainingSeconds = (m_guard->remainingMs() + 999) / 1000;
        return DcmTCPConnection::networkDataAvailable(timeout < 0 || timeout > remainingSeconds
                                                          ? remainingSeconds
                                                          : timeout);
    }

private:
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
                    m_bodyLeft = (std::uint32_t(m_header[2]) << 24) | (std::uint32_t(m_header[3]) << 16)
                        | (std::uint32_t(m_header[4]) << 8) | std::uint32_t(m_header[5]);
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
    unsigned char m_header[6] = {};
    size_t m_headerFill = 0;
    std::uint32_t m_bodyLeft = 0;
};

}

CDcmNetGuard::CDcmNetGuard(int totalSeconds, std::int64_t maxBytes)
    : DcmTransportLayer()
    , m_totalSeconds(totalSeconds)
    , m_maxBytes(maxBytes)
{
    restart();
}

void CDcmNetGuard::notePduWritten(unsigned char type)
{
    if (type == 0x05)
        m_releaseSent = true;
    else if (type == 0x07)
        m_abortSent = true;
}

void CDcmNetGuard::restart()
{
    m_releaseSent = false;
    m_abortSent = false;
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_totalSeconds);
    m_bytes = 0;
    m_tooMuch = false;
}

DcmTransportConnection* CDcmNetGuard::createConnection(DcmNativeSocketType openSocket,
                                                       OFBool useSecureLayer)
{
    if (useSecureLayer)
        return nullptr;
    return new GuardedConnection(openSocket, this);
}

int CDcmNetGuard::remainingMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool CDcmNetGuard::exceeded() const
{
    return m_tooMuch.load() || remainingMs() <= 0;
}

std::string CDcmNetGuard::reason() const
{
    if (m_tooMuch.load())
        return "the peer sent more than " + std::to_string(m_maxBytes) + " bytes";
    if (remainingMs() <= 0)
        return "no end after " + std::to_string(m_totalSeconds) + " s";
    return {};
}

bool CDcmNetGuard::addBytes(std::int64_t count)
{
    const std::int64_t total = m_bytes.fetch_add(count) + count;
    if (m_maxBytes > 0 && total > m_maxBytes)
        m_tooMuch = true;
    return !m_tooMuch.load();
}
