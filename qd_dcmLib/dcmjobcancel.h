#ifndef MALVORANT_DCMJOBCANCEL_H
#define MALVORANT_DCMJOBCANCEL_H

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dcmlayer.h>

#include <mutex>
#include <set>

// Lets another thread end a job's network waits at once (at exit): every
// connection the job opens through CDcmCancelLayer is registered here, and
// cancel() shuts the registered sockets down, so a wait on a silent peer
// returns with a failure instead of running into its time-out. A connection
// unregisters itself before its socket is closed, so cancel() never touches
// a socket number that is no longer the job's.
class CDcmJobCancel
{
public:
    CDcmJobCancel() = default;
    CDcmJobCancel(const CDcmJobCancel&) = delete;
    CDcmJobCancel& operator=(const CDcmJobCancel&) = delete;

    // Any thread. Later connections are shut down as soon as they open.
    void cancel();
    bool isCancelled() const;
    // The job's thread, between jobs: forget an earlier cancel.
    void reset();

    // Used by the job's connections.
    void attach(DcmNativeSocketType socket);
    void detach(DcmNativeSocketType socket);

private:
    mutable std::mutex m_mutex;
    std::set<DcmNativeSocketType> m_sockets;
    bool m_cancelled = false;
};

// The plain TCP transport of DCMTK with each connection registered in a
// CDcmJobCancel. Set on a requesting network with ASC_setTransportLayer.
class CDcmCancelLayer : public DcmTransportLayer
{
public:
    explicit CDcmCancelLayer(CDcmJobCancel* cancel) : m_cancel(cancel) {}
    DcmTransportConnection* createConnection(DcmNativeSocketType openSocket,
                                             OFBool useSecureLayer) override;

private:
    CDcmJobCancel* m_cancel;
};

#endif
