#ifndef MALVORANT_UPDATECHECK_H
#define MALVORANT_UPDATECHECK_H

#include <QDateTime>
#include <QString>
#include <QStringList>

// The rules of the installer look-up and of the service properties file, kept
// apart from the bridge so they can be tried on plain folders and values.
namespace updatecheck {

inline constexpr char kVersionText[] = "8.0.2";
inline constexpr char kBuildText[] = "078";
// Installer names begin with this (compared lower-cased).
inline constexpr char kInstallerPrefix[] = "malvorantsetup-";
// Digits read for a version or build number; a longer run makes the name unusable.
inline constexpr int kMaxNumberDigits = 12;
// A postponed update is offered again after a week.
inline constexpr qint64 kPostponeMs = 604800000LL;
// Format lastUpgradeAttempt is read in, and the one it is written in.
inline constexpr char kAttemptReadFormat[] = "M/d/yyyy hh:mm:ss";
inline constexpr char kAttemptWriteFormat[] = "MM/dd/yyyy hh:mm:ss";

// Reads a number from text at pos: digits accumulate, "." is skipped, any other
// character ends it and is consumed (pos moves past it). -1 when more than
// kMaxNumberDigits digits come.
qint64 readDottedNumber(const QString& text, int& pos);

// The program's own number: version digits * 1000 + build (802078).
qint64 ownNumber();

// The number of an installer file name (version * 1000 + build); -1 when the
// name is not an installer's or its digits are unusable.
qint64 installerNumber(const QString& fileName);

// True when an offer is due: forced, no valid last attempt, or the last attempt
// more than a week away from now.
bool offerDue(bool force, const QString& lastUpgradeAttempt, const QDateTime& now);

// The newer installers of folder in directory order, each a file name in its own
// letter case. Empty when the folder is missing or holds none.
QStringList newerInstallers(const QString& folder);

// "8.0.2.78": the version and the build without its leading zeros.
QString applicationVersionText();

// The file a service tool reads, below the all-users program data folder.
QString servicePropertiesPath(const QString& programDataFolder);

struct ServiceProperties
{
    QString customerId;
    QString deviceName;
    QString qvlUser;
    QString lastUpgradeAttempt;
    int upgradeAttemptCount = 0;
};

// The file's text: one key=value line each, line breaks removed from values.
QByteArray servicePropertiesText(const ServiceProperties& values);

// Replaces the file with the text of values; false when it can't be written.
bool writeServicePropertiesFile(const QString& path, const ServiceProperties& values);

} // namespace updatecheck

#endif
