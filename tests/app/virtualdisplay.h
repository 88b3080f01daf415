// A display for the real program when a test must see its windows: an X
// server of its own (Xvfb, one per test process, started on first use and
// ended with the test's application). Without one the program runs
// offscreen, where it shows no window at all.
#ifndef MALVORANT_TESTS_VIRTUALDISPLAY_H
#define MALVORANT_TESTS_VIRTUALDISPLAY_H

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <sys/prctl.h>

namespace virtualdisplay {

inline QProcess*& server()
{
    static QProcess* process = nullptr;
    return process;
}

inline void endServer()
{
    QProcess* process = server();
    if (!process)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
    delete process;
    server() = nullptr;
}

// The display's name (":N"), or empty when no X server could be started.
inline QString name()
{
    static QString display;
    if (!display.isEmpty() || server())
        return display;
    auto* process = new QProcess();
    server() = process;
    qAddPostRoutine(endServer);
    // It ends with the test, however the test ends.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->setProcessChannelMode(QProcess::SeparateChannels);
    // The server picks a free display and writes its number to standard output.
    process->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-screen"), QStringLiteral("0"),
                                            QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp"), QStringLiteral("-ac")});
    if (!process->waitForStarted(10000))
        return display;
    QByteArray out;
    QDeadlineTimer deadline(15000);
    while (!out.contains('\n') && process->state() == QProcess::Running && !deadline.hasExpired()) {
        process->waitForReadyRead(100);
        out += process->readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (ok && number >= 0)
        display = QStringLiteral(":%1").arg(number);
    return display;
}

} // namespace virtualdisplay

#endif
