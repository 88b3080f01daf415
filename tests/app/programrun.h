// Starting and ending the real program (MALVORANT_EXECUTABLE) from a test.
#ifndef MALVORANT_TESTS_PROGRAMRUN_H
#define MALVORANT_TESTS_PROGRAMRUN_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

// Starts the program with its public documents and its profile folder there,
// offscreen; its output goes as `channels` says.
inline std::unique_ptr<QProcess> startProgram(const QString& documents, const QString& profile,
                                              QProcess::ProcessChannelMode channels,
                                              bool endsFromStartUp)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A start that ends from inside start-up leaves what it built to the
    // system; a leak check of a sanitizer build would overwrite its exit code.
    if (endsFromStartUp)
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    env.insert("MALVORANT_PUBLIC_DOCUMENTS", documents);
    env.insert("ALLUSERSPROFILE", profile);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(channels);
    p->start(MALVORANT_EXECUTABLE, QStringList());
    return p;
}

// Asks the program to end, and ends it when it does not within 30 s.
inline void stopProgram(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
}

#endif
