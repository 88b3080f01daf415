#include "startup.h"

#include "platformfolders.h"
#include "processlist.h"

#include <QLoggingCategory>

// Off by default: one line per running process would bury every start's output.
Q_LOGGING_CATEGORY(lcInstance, "malvorant.instance", QtInfoMsg)

std::optional<QByteArray> pathWithExeDir(const QByteArray& exePath, const QByteArray& oldPath)
{
    const int slash = exePath.lastIndexOf('/');
    if (slash < 0)
        return std::nullopt;
    // An empty PATH entry would mean the current folder; the root is "/".
    const QByteArray folder = slash == 0 ? QByteArray("/") : exePath.left(slash);
    // A separator inside the folder would split it into unrelated entries.
    if (folder.contains(platform::kPathListSeparator))
        return std::nullopt;
    return folder + platform::kPathListSeparator + oldPath;
}

void prependExeDirToPath()
{
    const QString exe = platform::executablePath();
    if (exe.isEmpty() || !qEnvironmentVariableIsSet("PATH"))
        return;
    const std::optional<QByteArray> path = pathWithExeDir(exe.toLocal8Bit(), qgetenv("PATH"));
    if (path)
        qputenv("PATH", *path);
}

bool isInstanceName(const QString& executableName)
{
    return executableName.contains(QLatin1String(kInstanceName), Qt::CaseSensitive);
}

bool isAnotherInstanceRunning()
{
    std::vector<platform::ProcessEntry> processes;
    if (!platform::listProcesses(processes)) {
        qDebug("No Procdesses");
        return false;
    }
    int matches = 0;
    for (const platform::ProcessEntry& p : processes) {
        const bool match = isInstanceName(p.name);
        if (match)
            ++matches;
        qCDebug(lcInstance) << "Processes" << p.name << " alreadyRunning: " << match;
    }
    return matches > 1;
}
