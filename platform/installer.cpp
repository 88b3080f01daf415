#include "installer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace platform {

QString installerFolder()
{
    const QString folder = qEnvironmentVariable("MALVORANT_INSTALLER_DIR");
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

bool startInstaller(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || !info.isExecutable()) {
        if (error)
            *error = QStringLiteral("not an executable file: ") + path;
        return false;
    }
    QProcess process;
    process.setProgram(info.absoluteFilePath());
    process.setArguments({});
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        if (error)
            *error = process.errorString();
        return false;
    }
    return true;
}

} // namespace platform
