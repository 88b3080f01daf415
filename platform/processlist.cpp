#include "processlist.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

namespace platform {

QString processExecutableName(qint64 pid)
{
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(link.constData(), buf, sizeof(buf) - 1);
    if (n <= 0)
        return QStringLiteral("<unknown>");
    QByteArray path(buf, int(n));
    // An executable replaced on disk while it runs still names the program.
    static const QByteArray deleted = " (deleted)";
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    const int slash = path.lastIndexOf('/');
    return QString::fromLocal8Bit(path.mid(slash + 1));
}

bool listProcesses(std::vector<ProcessEntry>& out, int maxCount)
{
    out.clear();
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return false;
    if (maxCount <= 0) {
        ::closedir(dir);
        return true;
    }
    const qint64 self = ::getpid();
    out.push_back({self, processExecutableName(self)});
    while (int(out.size()) < maxCount) {
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        char* end = nullptr;
        const long long pid = std::strtoll(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self)
            continue;
        out.push_back({pid, processExecutableName(pid)});
    }
    ::closedir(dir);
    return true;
}

} // namespace platform
