#include "dcmjobcancel.h"

#include <dcmtk/dcmnet/dcmtrans.h>

#include <sys/socket.h>

namespace {

class CancellableConnection : public DcmTCPConnection
{
public:
    CancellableConnection(DcmNativeSocketType socket, CDcmJobCancel* cancel)
        : DcmTCPConnection(socket), m_cancel(cancel), m_socket(socket)
    {
        m_cancel->attach(m_socket);
    }
    ~CancellableConnection() override { release(); }
    void close() override
    {
        release();
        DcmTCPConnection::close();
    }

private:
    void release()
    {
        if (m_attached) {
            m_attached = false;
            m_cancel->detach(m_socket);
        }
    }

    CDcmJobCancel* m_cancel;
    DcmNativeSocketType m_socket;
    bool m_attached = true;
};

} // namespace

void CDcmJobCancel::cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    for (DcmNativeSocketType socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}

bool CDcmJobCancel::isCancelled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cancelled;
}

void CDcmJobCancel::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = false;
}

void CDcmJobCancel::attach(DcmNativeSocketType socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.insert(socket);
    if (m_cancelled)
        ::shutdown(socket, SHUT_RDWR);
}

void CDcmJobCancel::detach(DcmNativeSocketType socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.erase(socket);
}

DcmTransportConnection* CDcmCancelLayer::createConnection(DcmNativeSocketType openSocket,
                                                          OFBool useSecureLayer)
{
    if (useSecureLayer)
        return nullptr; // no secure transport here
    return new CancellableConnection(openSocket, m_cancel);
}
