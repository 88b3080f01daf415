#ifndef MALVORANT_DCMNETGUARD_H
#define MALVORANT_DCMNETGUARD_H

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dcmlayer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// Bounds what one network job may take from its peers: a deadline for the
// whole job and a ceiling on the bytes read. DCMTK reads every connection of a
// network through its transport layer; connections made by this layer fail
// their reads once the job is past either bound, so a peer that drips, never
// stops sending or sends one endless data set ends the job with a failure.
// One object per job, used by the job's thread only (the counters are atomic
// so a test may read them).
class CDcmNetGuard : public DcmTransportLayer
{
public:
    CDcmNetGuard(int totalSeconds, std::int64_t maxBytes);

    DcmTransportConnection* createConnection(DcmNativeSocketType openSocket,
                                             OFBool useSecureLayer) override;

    // Starts the clock again (the deadline counts from here).
    void restart();
    bool exceeded() const;
    // Why the job was cut short, empty while it was not.
    std::string reason() const;

    // Milliseconds left before the deadline (0 when past it).
    int remainingMs() const;
    // Counts bytes read; false when the ceiling is passed.
    bool addBytes(std::int64_t count);
    std::int64_t bytesRead() const { return m_bytes.load(); }

    // What this side ended its associations with: DCMTK's clients report a
    // broken exchange as success once they have aborted, so the job looks at
    // the protocol units it wrote.
    bool releaseSent() const { return m_releaseSent.load(); }
    bool abortSent() const { return m_abortSent.load(); }
    void notePduWritten(unsigned char type);

private:
    std::chrono::steady_clock::time_point m_deadline;
    int m_totalSeconds;
    std::int64_t m_maxBytes;
    std::atomic<std::int64_t> m_bytes{0};
    std::atomic<bool> m_tooMuch{false};
    std::atomic<bool> m_releaseSent{false};
    std::atomic<bool> m_abortSent{false};
};

#endif
