#include "platformfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <climits>
#include <unistd.h>

namespace platform {

QString executablePath()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0)
        return QString();
    return QString::fromLocal8Bit(buf, int(n));
}

QString publicDocumentsFolder()
{
    QString folder = qEnvironmentVariable("MALVORANT_PUBLIC_DOCUMENTS");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        return QString();
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return QString();
    return folder;
}

QString allUsersProfileFolder()
{
    QString folder = qEnvironmentVariable("ALLUSERSPROFILE");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return folder;
}

} // namespace platform
