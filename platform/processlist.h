#ifndef MALVORANT_PROCESSLIST_H
#define MALVORANT_PROCESSLIST_H

#include <QString>
#include <vector>

namespace platform {

// The most processes one look at the process list examines.
constexpr int kMaxProcessesListed = 1024;

struct ProcessEntry
{
    qint64 pid = 0;
    // Base name of the process's executable, "<unknown>" when it can't be read
    // (processes of other users, kernel threads).
    QString name;
};

// Lists running processes from /proc: this process first, then the others in
// the system's order, at most maxCount in all. False when /proc can't be read.
bool listProcesses(std::vector<ProcessEntry>& out, int maxCount = kMaxProcessesListed);

// Base name of the executable of process pid, "<unknown>" when unreadable.
QString processExecutableName(qint64 pid);

} // namespace platform

#endif
