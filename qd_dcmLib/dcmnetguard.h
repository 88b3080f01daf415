#ifndef MALVORANT_DCMNETGUARD_H
#define MALVORANT_DCMNETGUARD_H

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dcmlayer.h>

#include "dcmfailure.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>

// Bounds what one network job may take from its peers: a deadline for the
// whole job, a longest silence and a ceiling on the bytes read. DCMTK makes
// every connection of a network through its transport layer; connections
// made by this one fail their reads once the job is past a bound, and a
// watch thread shuts them down then, so no wait inside DCMTK (some of which
// poll forever) outlives the bounds. One object per job; it must outlive the
// network it is set on.
class CDcmJobCancel;

class CDcmNetGuard : public DcmTransportLayer
{
public:
    // idleSeconds 0: no silence limit; maxBytes 0: no byte ceiling.
    CDcmNetGuard(int totalSeconds, int idleSeconds, std::int64_t maxBytes);
    ~CDcmNetGuard() override;

    CDcmNetGuard(const CDcmNetGuard&) = delete;
    CDcmNetGuard& operator=(const CDcmNetGuard&) = delete;

    DcmTransportConnection* createConnection(DcmNativeSocketType openSocket,
                                             OFBool useSecureLayer) override;

    // Starts the clock and the watch (the deadline counts from here).
    void start();
    bool exceeded() const;
    // Why the job was cut short, empty while it was not.
    std::string reason() const;

    // Milliseconds a read may still wait (0 when past a bound).
    int remainingMs() const;
    // Counts bytes read; false when the ceiling is passed.
    bool addBytes(std::int64_t count);
    void noteActivity();
    std::int64_t bytesRead() const { return m_bytes.load(); }

    // What this side ended its associations with: DCMTK's find client
    // reports a broken exchange as success once it has aborted, so the job
    // looks at the protocol units it wrote.
    bool releaseSent() const { return m_releaseSent.load(); }
    bool abortSent() const { return m_abortSent.load(); }
    void notePduWritten(unsigned char type);

    // The command field and status of the last DIMSE command read (0 and
    // -1 before any): DCMTK's find client keeps the final status to itself.
    unsigned lastCommandField() const { return m_lastCommandField.load(); }
    int lastStatus() const { return m_lastStatus.load(); }
    void noteCommandRead(unsigned commandField, int status);

    // Why the peer rejected the association, from its A-ASSOCIATE-RJ
    // (DCMTK's find client keeps the reason to itself).
    DcmRejectReason rejectReason() const { return static_cast<DcmRejectReason>(m_rejectReason.load()); }
    void noteAssociateReject(unsigned source, unsigned reason);

    // Registers the job's connections in cancel too, so that another thread
    // can end their waits at once (at exit). Before start().
    void setCancel(CDcmJobCancel* cancel) { m_cancel = cancel; }

    void addSocket(DcmNativeSocketType socket);
    void removeSocket(DcmNativeSocketType socket);

private:
    using Clock = std::chrono::steady_clock;
    void watch();
    void cutOff(int why);

    int m_totalSeconds;
    int m_idleSeconds;
    std::int64_t m_maxBytes;
    Clock::time_point m_deadline;
    std::atomic<std::int64_t> m_lastActivityMs{0};
    std::atomic<std::int64_t> m_bytes{0};
    std::atomic<int> m_cutOff{0}; // 1 deadline, 2 silence, 3 bytes
    std::atomic<bool> m_releaseSent{false};
    std::atomic<bool> m_abortSent{false};
    std::atomic<unsigned> m_lastCommandField{0};
    std::atomic<int> m_lastStatus{-1};
    std::atomic<int> m_rejectReason{0};
    CDcmJobCancel* m_cancel = nullptr;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopWatch = false;
    std::set<DcmNativeSocketType> m_sockets;
    std::thread m_watch;
};

#endif
