#include "dcmnetconfig.h"

#include "dcmerrors.h"
#include "debuglog.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/dul.h>

#include <atomic>
#include <mutex>

namespace {
std::once_flag g_applied;
std::atomic<int> g_timeout{DcmNetConfig::kDefaultTimeoutSeconds};
}

int DcmNetConfig::applyTimeout(int seconds)
{
    std::call_once(g_applied, [seconds] {
        const int value = seconds > 0 ? seconds : kDefaultTimeoutSeconds;
        // A connection attempt gives up after the time-out, not the system's
        // much longer TCP one; a peer that stops reading or sending mid-transfer
        // frees the worker after the same time.
        dcmConnectionTimeout.set(value);
        dcmSocketSendTimeout.set(value);
        dcmSocketReceiveTimeout.set(value);
        g_timeout.store(value);
        debugLog(2, "DcmNetConfig::applyTimeout() seconds=" + uintToStdString(unsigned(value)));
    });
    return g_timeout.load();
}

int DcmNetConfig::timeoutSeconds()
{
    return applyTimeout(kDefaultTimeoutSeconds);
}
