#include "appfolders.h"

#include "platformfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool setUpAppFolders(AppFolders& folders)
{
    const QString documents = platform::publicDocumentsFolder();
    if (documents.isEmpty())
        return false;
    folders.dataFolder = documents + QLatin1String("/MalvorantData/");
    folders.dataFolderNative = QDir::toNativeSeparators(folders.dataFolder);
    folders.programDataFolder = platform::allUsersProfileFolder() + QLatin1Char('/');
    folders.logFolder = folders.programDataFolder + QLatin1String("Malvorant/logs");

    QDir dir;
    dir.mkdir(folders.dataFolder);
    dir.mkdir(folders.dataFolder + QLatin1String("tmp"));
    dir.mkpath(folders.logFolder);
    return true;
}

void purgeOldLogFiles(const QString& logFolder, const QDateTime& now, qint64 maxAgeSeconds)
{
    const QFileInfoList entries = QDir(logFolder).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (!entry.fileName().contains(QLatin1String(kLogBaseName), Qt::CaseInsensitive))
            continue;
        const QDateTime born = entry.birthTime();
        if (!born.isValid())
            continue;
        if (born.secsTo(now) >= maxAgeSeconds)
            QFile::remove(entry.filePath());
    }
}
