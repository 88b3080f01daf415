#ifndef MALVORANT_APPFOLDERS_H
#define MALVORANT_APPFOLDERS_H

#include <QDateTime>
#include <QString>

// Log files older than this are removed at start (30 days).
inline constexpr qint64 kLogPurgeAgeSeconds = 30LL * 24 * 60 * 60;

// Stem of the log files, also what the start-up purge looks for.
inline constexpr char kLogBaseName[] = "malvorantlog";

struct AppFolders
{
    QString dataFolder;         // <public documents>/MalvorantData/ (trailing separator)
    QString dataFolderNative;   // the same with native separators
    QString programDataFolder;  // <all-users profile>/ (trailing separator)
    QString logFolder;          // <all-users profile>/Malvorant/logs
};

// Resolves the folders and creates the data folder, its "tmp" subfolder and the
// log folder. False when the public documents folder can't be resolved or
// created; a failure to create the others is left to their users.
bool setUpAppFolders(AppFolders& folders);

// Removes the files of logFolder whose name contains the log stem (any letter
// case) and whose birth time lies at least maxAgeSeconds before now. Files whose
// birth time the file system can't give are kept.
void purgeOldLogFiles(const QString& logFolder, const QDateTime& now, qint64 maxAgeSeconds);

#endif
