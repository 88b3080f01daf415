#include "qvltexts.h"

#include "qvlcomm.h"
#include "uitexts.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace qvltexts {

namespace {

bool has(const QString& text, const char* part)
{
    return text.contains(QLatin1String(part), Qt::CaseInsensitive);
}

// The client's and the scheduler's own reasons for not sending, by their words.
enum class LocalKind
{
    Patient,
    PatientGone,
    File,
    Address,
    Store,
    // The file is no recording: the reason is in the text, in a vet's words.
    Refused,
    Other
};

const char kRefusedPrefix[] = "The ECG file can't be uploaded. ";

LocalKind localKindOf(const QString& text)
{
    if (text.startsWith(QLatin1String(kRefusedPrefix)))
        return LocalKind::Refused;
    if (has(text, "no longer exists"))
        return LocalKind::PatientGone;
    if (has(text, "patient"))
        return LocalKind::Patient;
    if (has(text, "data for file"))
        return LocalKind::File;
    if (has(text, "host name") || has(text, "service address"))
        return LocalKind::Address;
    if (has(text, "could not be stored"))
        return LocalKind::Store;
    return LocalKind::Other;
}

QString causeSentence(Cause cause, const QString& lastError)
{
    switch (cause) {
    case Cause::CredentialsRefused:
        return QStringLiteral("Quorvale refused the user name or password.");
    case Cause::Unreachable:
        return QStringLiteral("Quorvale could not be reached.");
    case Cause::Timeout:
        return QStringLiteral("Quorvale did not answer in time.");
    case Cause::ServiceFault:
        return QStringLiteral("the Quorvale service reported a fault.");
    case Cause::ClockOutOfStep:
        return QStringLiteral("Quorvale refused the time of this computer.");
    case Cause::CaseClosed:
        return QStringLiteral("Quorvale closed its case.");
    case Cause::Local:
        break;
    }
    switch (localKindOf(lastError)) {
    case LocalKind::PatientGone:
        return QStringLiteral("its patient no longer exists.");
    case LocalKind::Patient:
        return QStringLiteral("the data of its patient could not be read.");
    case LocalKind::File:
        return QStringLiteral("its ECG file could not be read.");
    case LocalKind::Address:
        return QStringLiteral("the service address in the telemedicine settings can't be used.");
    case LocalKind::Store:
        return QStringLiteral("its case could not be stored on this computer.");
    case LocalKind::Refused:
        return QStringLiteral("its file is not an ECG recording this program can read.");
    case LocalKind::Other:
        break;
    }
    return QStringLiteral("it could not be prepared on this computer.");
}

// What the user can do about it; may be empty.
QString advice(Cause cause, const QString& lastError)
{
    switch (cause) {
    case Cause::CredentialsRefused:
        return QStringLiteral("Correct the user name and password in the telemedicine settings "
                              "and save them.");
    case Cause::Unreachable:
        return QStringLiteral("Check the network connection and the service address in the "
                              "telemedicine settings.");
    case Cause::Timeout:
        return QStringLiteral("The network or the service may be slow.");
    case Cause::ServiceFault:
        return QStringLiteral("The service may be busy or under maintenance.");
    case Cause::ClockOutOfStep:
        return QStringLiteral("Please correct the date and time on this workstation.");
    case Cause::CaseClosed:
        return QStringLiteral("Upload it again for a new case.");
    case Cause::Local:
        break;
    }
    switch (localKindOf(lastError)) {
    case LocalKind::File:
        return QStringLiteral("It may have been moved or deleted from the data folder.");
    case LocalKind::Address:
        return QStringLiteral("Correct the address in the telemedicine settings and save it.");
    case LocalKind::Refused:
        return lastError.mid(int(sizeof kRefusedPrefix) - 1);
    default:
        return QString();
    }
}

QString joined(const QString& first, const QString& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    return first + QLatin1Char(' ') + second;
}

QString lowerFirst(const QString& text)
{
    return text.isEmpty() ? text : text.at(0).toLower() + text.mid(1);
}

} // namespace

Cause causeOf(bool hasNetworkError, bool hasErrorResponse, const QString& lastError)
{
    if (CQvlComm::isCaseClosed(lastError))
        return Cause::CaseClosed;
    if (CQvlComm::isAuthenticationFault(lastError))
        return Cause::CredentialsRefused;
    if (CQvlComm::isClockFault(lastError))
        return Cause::ClockOutOfStep;
    if (CQvlComm::isTimeout(lastError))
        return Cause::Timeout;
    if (hasErrorResponse)
        return Cause::ServiceFault;
    if (hasNetworkError)
        return Cause::Unreachable;
    return Cause::Local;
}

Cause causeOf(const QString& lastError)
{
    // The service's own words, or Qt's for an HTTP error status.
    const bool fromService = has(lastError, "server replied") || has(lastError, "decode QVL response")
        || has(lastError, "reply is larger");
    const bool local = lastError.isEmpty() || localKindOf(lastError) != LocalKind::Other;
    return causeOf(!local, fromService, lastError);
}

bool isTransient(Cause cause)
{
    return cause == Cause::Unreachable || cause == Cause::Timeout || cause == Cause::ServiceFault;
}

QString recordingName(const QSqlDatabase& db, int ecgId)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "select e.ecgTime, p.patientName, p.ownerFirst, p.ownerLast from ecgTable e "
        "left join patientTable p on p.patientId=e.patientId where e.ecgId=?"));
    q.addBindValue(ecgId);
    if (!q.exec() || !q.next())
        return QStringLiteral("The ECG");
    QString name = QStringLiteral("The ECG");
    const QString patient = q.value(1).toString().trimmed();
    const QString owner =
        (q.value(2).toString().trimmed() + QLatin1Char(' ') + q.value(3).toString().trimmed())
            .trimmed();
    if (!patient.isEmpty()) {
        name += QStringLiteral(" of ") + patient;
        if (!owner.isEmpty())
            name += QStringLiteral(" (") + owner + QLatin1Char(')');
    }
    const qint64 time = q.value(0).toLongLong();
    if (time > 0)
        name += QStringLiteral(" recorded on ") + uitexts::fileDate(time) + QStringLiteral(" at ")
            + uitexts::timeOfDay(time);
    return name;
}

Alert uploadFailure(Cause cause, Road road, const QString& recording, const QString& lastError)
{
    Alert a;
    const QString why = causeSentence(cause, lastError);
    const QString help = advice(cause, lastError);
    switch (road) {
    case Road::Upload:
    case Road::UploadInterrupted:
        a.title = cause == Cause::Local || cause == Cause::CaseClosed
            ? QStringLiteral("QVL Upload Failed")
            : QStringLiteral("QVL Connect Problem");
        a.text = road == Road::Upload
            ? recording + QStringLiteral(" could not be sent: ") + why
            : QStringLiteral("The upload of ") + lowerFirst(recording)
                + QStringLiteral(" was interrupted: ") + why;
        a.offerQueue = isTransient(cause);
        if (a.offerQueue) {
            a.text += QStringLiteral(
                "\nShall I queue your request and automatically retry at a later time?");
            a.informativeText = joined(help, QStringLiteral("Click OK if I shall queue your request."));
        } else if (cause == Cause::CaseClosed) {
            // The advice says it all: the closed case takes nothing more.
            a.informativeText = help;
        } else {
            a.informativeText = joined(help, QStringLiteral("It is not retried on its own: upload "
                                                            "it again afterwards."));
        }
        break;
    case Road::BackgroundRetried:
        a.title = QStringLiteral("QVL Upload Delayed");
        a.text = recording + QStringLiteral(" could not be sent to Quorvale in the background: ") + why;
        a.informativeText = joined(
            help, cause == Cause::CredentialsRefused
                      ? QStringLiteral("It is sent automatically once Quorvale accepts them.")
                      : QStringLiteral("Another attempt follows automatically in a few minutes."));
        break;
    case Road::BackgroundGivenUp:
        a.title = QStringLiteral("QVL Upload Failed");
        a.text = recording + QStringLiteral(" could not be sent to Quorvale in the background: ") + why;
        a.informativeText = joined(help, QStringLiteral("It will not be sent automatically."));
        break;
    }
    return a;
}

} // namespace qvltexts
