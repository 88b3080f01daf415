// A test program that runs itself again as a child. The child's side: a kill
// of its own right after a named step of the store, and lines to the parent.
// The parent's side: the environment of a run on folders of its own, and the
// child's lines read as they come, with a kill from outside at the moment the
// parent picks.
#ifndef MALVORANT_TESTS_CHILDRUN_H
#define MALVORANT_TESTS_CHILDRUN_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <functional>
#include <signal.h>
#include <sys/types.h>

namespace childrun {

// ------------------------------------------------------------ in the child

// The step of the store after which the child kills itself; none when empty.
inline QByteArray killStep;

// A step hook for CFileMan::setStepHook: SIGKILL right after killStep, with
// what was said to the parent out first.
inline void killAtStep(const char* step)
{
    if (killStep == step) {
        std::fflush(stdout);
        std::raise(SIGKILL);
    }
}

// One line to the parent, at once.
inline void say(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// ----------------------------------------------------------- in the parent

// The environment of a run of the program on the folders in tmp: its public
// documents, its profile folder and its own temporary folders there (a child
// that is killed or exits at once cannot remove them), offscreen.
inline QProcessEnvironment programEnvironment(const QTemporaryDir& tmp)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MALVORANT_PUBLIC_DOCUMENTS", tmp.filePath("Public"));
    env.insert("ALLUSERSPROFILE", tmp.filePath("ProgramData"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The program keeps its list models to the end on purpose; under the
    // sanitizer a leak check would overwrite the exit code the test reads.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    QDir().mkpath(tmp.filePath("tmp"));
    env.insert("TMPDIR", tmp.filePath("tmp"));
    return env;
}

struct Watch
{
    // Each whole line the child wrote, split at spaces, and when the parent
    // read it (ms since the child started).
    std::function<void(const QList<QByteArray>& fields, qint64 ms)> onLine;
    // Asked between reads until it says yes: then what the child said so far
    // is read, the child is killed (SIGKILL) and nothing it said later counts.
    std::function<bool(qint64 ms)> killNow;
    int pollMs = 10;
    int limitMs = 60000;
};

struct Ended
{
    bool started = false;
    bool tooLong = false; // still running at limitMs, and killed
    qint64 killedAt = -1; // ms, when the parent killed it
    qint64 endedAt = -1;  // ms, when the parent saw it ended
};

// Watches a child just started until it ends.
inline Ended watchChild(QProcess& child, const Watch& watch)
{
    Ended end;
    if (!child.waitForStarted(10000))
        return end;
    end.started = true;
    QElapsedTimer clock;
    clock.start();
    QByteArray pending;
    auto readLines = [&] {
        pending += child.readAllStandardOutput();
        int nl;
        while ((nl = int(pending.indexOf('\n'))) >= 0) {
            const QList<QByteArray> fields = pending.left(nl).split(' ');
            pending.remove(0, nl + 1);
            watch.onLine(fields, clock.elapsed());
        }
    };
    while (child.state() != QProcess::NotRunning) {
        if (end.killedAt < 0 && watch.killNow && watch.killNow(clock.elapsed())) {
            readLines();
            end.killedAt = clock.elapsed();
            ::kill(pid_t(child.processId()), SIGKILL);
        }
        child.waitForReadyRead(watch.pollMs);
        if (end.killedAt < 0)
            readLines();
        if (clock.elapsed() > watch.limitMs) {
            ::kill(pid_t(child.processId()), SIGKILL);
            child.waitForFinished(5000);
            end.tooLong = true;
            return end;
        }
    }
    if (end.killedAt < 0)
        readLines();
    end.endedAt = clock.elapsed();
    return end;
}

} // namespace childrun

#endif
