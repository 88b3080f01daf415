#ifndef MALVORANT_DCMNETCONFIG_H
#define MALVORANT_DCMNETCONFIG_H

// The time-out of every DICOM network wait, in seconds. DCMTK keeps the
// connection time-out and the socket send and receive time-outs process-wide;
// they are set once, from this value, before the first association, so that
// two workers never overwrite each other's values; DCMTK's own one-time
// network set-up is done then too. The association (ACSE) and message (DIMSE)
// time-outs are given per association with the same value.
namespace DcmNetConfig {

const int kDefaultTimeoutSeconds = 30;

// Sets the process-wide values on the first call (seconds > 0, otherwise the
// default) and returns the value in force; later calls change nothing.
int applyTimeout(int seconds = kDefaultTimeoutSeconds);

// The value in force; applies the default when nothing was applied yet.
int timeoutSeconds();

} // namespace DcmNetConfig

#endif
