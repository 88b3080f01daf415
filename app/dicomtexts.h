#ifndef MALVORANT_DICOMTEXTS_H
#define MALVORANT_DICOMTEXTS_H

#include "dcmfailure.h"

#include <QString>

// What the user reads about the DICOM servers: why a job failed, in words
// that say what to do, and where a server's connection test stands.
namespace dicomtexts {

enum class Server
{
    Worklist,
    Pacs
};

// The state of a server's connection test, as the settings show it.
enum TestState
{
    TestNotConfigured = 0,
    TestPassed = 1,
    TestRunning = 2,
    TestFailed = 3
};

// Why a job with the server failed; errorText is the job's own text, used
// where it already speaks to the user (a setting that can't be used).
QString failure(const DcmFailure& failure, const QString& errorText, Server server);

// The alert text of a failed send to the PACS: why, and what happens next.
QString sendFailure(const DcmFailure& failure, const QString& errorText);
// Why a recording set aside is not sent, short enough to stand beside the
// mark on one line of the smallest window.
QString setAsideReason(const DcmFailure& failure);

// The short line of a failed connection test.
QString testFailure(const DcmFailure& failure, const QString& errorText);
// The line of a test state other than failed.
QString testState(TestState state);

} // namespace dicomtexts

#endif
