#ifndef MALVORANT_TESTS_BLOCKEDPATH_H
#define MALVORANT_TESTS_BLOCKEDPATH_H

#include <QFile>
#include <QTemporaryDir>

// A folder path inside tmp that can't be created: its parent is a regular file.
// Empty when the file can't be made.
inline QString blockedFolderPath(const QTemporaryDir& tmp, const QString& name = QStringLiteral("Documents"))
{
    QFile blocker(tmp.filePath(QStringLiteral("blocker")));
    if (!blocker.open(QIODevice::WriteOnly))
        return QString();
    blocker.close();
    return blocker.fileName() + QLatin1Char('/') + name;
}

#endif
