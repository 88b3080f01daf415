#include "dcmnetconfig.h"

#include "dcmerrors.h"
#include "debuglog.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/assoc.h>
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
        // DCMTK fills its protocol state table on the first network made,
        // unguarded: made here once, before any worker makes its own.
        T_ASC_Network* net = nullptr;
        if (ASC_initializeNetwork(NET_REQUESTOR, 0, value, &net).good())
            ASC_dropNetwork(&net);
        g_timeout.store(value);
        debugLog(2, "DcmNetConfig::applyTimeout() seconds=" + uintToStdString(unsigned(value)));
    });
    return g_timeout.load();
}

int DcmNetConfig::timeoutSeconds()
{
    return applyTimeout(kDefaultTimeoutSeconds);
}
