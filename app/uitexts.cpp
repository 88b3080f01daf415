#include "uitexts.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>

namespace uitexts {

QString gender(int sex)
{
    switch (sex) {
    case 1: return QStringLiteral("Male");
    case 2: return QStringLiteral("Female");
    case 3: return QStringLiteral("Male, Neutered");
    case 4: return QStringLiteral("Female, Spayed");
    case 5: return QStringLiteral("Not Specified");
    default: return QStringLiteral("Unknown");
    }
}

QString age(std::int64_t birthdate, std::int64_t now)
{
    if (birthdate == 0)
        return QString();
    const std::int64_t days = (now - birthdate) / 86400;
    const std::int64_t years = days / 365;
    // 360 to 364 days past a year would give 12 months: that is the next
    // year in all but name, so the months stop at 11.
    const std::int64_t months = std::min<std::int64_t>((days % 365) / 30, 11);
    return QString::number(years) + QLatin1Char('Y') + QString::number(months) + QLatin1Char('M');
}

QString weight(float weight, bool unitIsPound)
{
    if (weight == 0.0f)
        return QString();
    return QString::number(static_cast<double>(weight), 'g', 6)
           + (unitIsPound ? QLatin1String("Lb") : QLatin1String("Kg"));
}

QString fileDate(std::int64_t time)
{
    // The stamp already holds local wall-clock seconds: read it as UTC.
    const QDate date = QDateTime::fromSecsSinceEpoch(time, Qt::UTC).date();
    return QLocale::c().toString(date, QStringLiteral("dd-MMM-yyyy"));
}

QString timeOfDay(std::int64_t time)
{
    std::int64_t seconds = time % 86400;
    if (seconds < 0)
        seconds += 86400;
    return QString::asprintf("%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

QString qvlCaseStatus(int status)
{
    static const char* const kTexts[] = {"unfiled",     "started",         "sending",
                                         "received",    "receipt failure", "in process",
                                         "needs attention", "cancelled",   "completed",
                                         "pending upload"};
    if (status < 0 || status > 9)
        return QStringLiteral("initializing");
    return QString::fromLatin1(kTexts[status]);
}

QString refusedRecording(const QString& reason)
{
    return reason + QStringLiteral(" This ECG can't be shown, exported or sent.");
}

} // namespace uitexts
