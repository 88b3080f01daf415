#ifndef MALVORANT_QVLTEXTS_H
#define MALVORANT_QVLTEXTS_H

#include <QString>

class QSqlDatabase;

// What the user reads about a failed telemedicine request: its cause in
// words a vet can act on, which recording and patient it concerns, and what
// happens next. The client's own failure text never reaches the screen; it
// goes to the log.
namespace qvltexts {

enum class Cause
{
    CredentialsRefused,
    Unreachable,
    Timeout,
    ServiceFault,
    ClockOutOfStep,
    // The service closed (cancelled or cleared) the recording's case.
    CaseClosed,
    // On this computer: the recording, its patient, the settings, the database.
    Local
};

// The cause of a failed answer: its two flags and the client's last error.
// A refused credential or a rejected clock wins over both flags; a fault of
// the service over a failed transfer; neither flag means nothing was sent.
Cause causeOf(bool hasNetworkError, bool hasErrorResponse, const QString& lastError);
// The same from the failure text alone (a background failure carries no flags).
Cause causeOf(const QString& lastError);

// Whether a later attempt may succeed without the user changing anything.
bool isTransient(Cause cause);

// "The ECG of Bella (Anna Lindqvist), recorded 11-Dec-2026 14:02:33"; the
// parts the database no longer holds are left out.
QString recordingName(const QSqlDatabase& db, int ecgId);

struct Alert
{
    QString title;
    QString text;
    QString informativeText;
    // OK queues the recording for a later automatic attempt.
    bool offerQueue = false;
};

// Where the failure came.
enum class Road
{
    // The user's upload, before the service opened the case.
    Upload,
    // The user's upload, after the case was opened: the rest may follow.
    UploadInterrupted,
    // A background attempt that is tried again later.
    BackgroundRetried,
    // A background attempt that is not tried again on its own.
    BackgroundGivenUp
};

// The alert of a failed upload of the named recording; lastError picks the
// words for a local cause.
Alert uploadFailure(Cause cause, Road road, const QString& recording, const QString& lastError);

} // namespace qvltexts

#endif
