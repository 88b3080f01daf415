// Running an independent tool (pydicom, dcmdump, dciodvfy...) to its end and
// keeping what it printed, and ending a process a test started.
#ifndef MALVORANT_TESTS_TOOLRUN_H
#define MALVORANT_TESTS_TOOLRUN_H

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace toolrun {

// The Debian interpreter carries python3-pydicom; a python3 earlier on PATH
// (a virtual environment) may not.
inline QString python()
{
    if (QFile::exists("/usr/bin/python3"))
        return "/usr/bin/python3";
    return QStandardPaths::findExecutable("python3");
}

struct ToolResult
{
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    ToolResult r;
    if (program.isEmpty())
        return r;
    QProcess p;
    p.start(program, args);
    r.started = p.waitForStarted(10000);
    if (!r.started)
        return r;
    p.waitForFinished(timeoutMs);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// Asks the process to end (SIGTERM) and kills it when it has not ended
// within graceMs.
inline void endProcess(QProcess& p, int graceMs, int killWaitMs = 30000)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(graceMs)) {
        p.kill();
        p.waitForFinished(killWaitMs);
    }
}

} // namespace toolrun

#endif
