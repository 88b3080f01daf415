// Starting and ending the real program (MALVORANT_EXECUTABLE) from a test.
#ifndef MALVORANT_TESTS_PROGRAMRUN_H
#define MALVORANT_TESTS_PROGRAMRUN_H

#include "toolrun.h"
#include "virtualdisplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <grp.h>
#include <memory>
#include <unistd.h>

// Copies the program and the window probe into folder, for a run as another
// user, who may not reach the build folder (a clone in root's own home).
// The copies keep their names, so the program still knows itself.
inline bool copyProgramTo(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    for (const QString& from : {QStringLiteral(MALVORANT_EXECUTABLE), QStringLiteral(MALVORANT_WINDOW_PROBE_LIB)}) {
        const QString to = folder + '/' + QFileInfo(from).fileName();
        if (!QFile::copy(from, to)
            || !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                              | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                              | QFile::ExeOther))
            return false;
    }
    return true;
}

// Starts the program with its public documents and its profile folder there,
// offscreen; its output goes as `channels` says. The window probe is loaded
// into it: every message box it shows is written to windowsSeen (or its
// error output) and answered with OK. A test that names windowsSeen wants to
// see windows: the program then runs on a display of the test's own (see
// virtualdisplay.h), for offscreen it shows none. asUser, when not -1, is the
// user id the program runs as (the test runs as root); programFolder, when
// given, holds the copies copyProgramTo made, which are run in place of the
// build's.
inline std::unique_ptr<QProcess> startProgram(const QString& documents, const QString& profile,
                                              QProcess::ProcessChannelMode channels,
                                              bool endsFromStartUp,
                                              const QString& windowsSeen = QString(), int asUser = -1,
                                              const QString& programFolder = QString())
{
    const auto from = [&](const QString& built) {
        return programFolder.isEmpty() ? built : programFolder + '/' + QFileInfo(built).fileName();
    };
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString asan = env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0";
    // A start that ends from inside start-up leaves what it built to the
    // system; a leak check of a sanitizer build would overwrite its exit code.
    if (endsFromStartUp)
        asan += ":detect_leaks=0";
    env.insert("ASAN_OPTIONS", asan);
    env.insert("LD_PRELOAD", from(QStringLiteral(MALVORANT_WINDOW_PROBE_LIB)));
    if (!windowsSeen.isEmpty())
        env.insert("MALVORANT_WINDOW_PROBE", windowsSeen);
    env.insert("MALVORANT_PUBLIC_DOCUMENTS", documents);
    env.insert("ALLUSERSPROFILE", profile);
    const QString display = windowsSeen.isEmpty() ? QString() : virtualdisplay::name();
    if (display.isEmpty()) {
        env.insert("QT_QPA_PLATFORM", "offscreen");
    } else {
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", display);
    }
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(channels);
    if (asUser != -1) {
        p->setChildProcessModifier([asUser] {
            const gid_t group = gid_t(asUser);
            if (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(uid_t(asUser)) != 0)
                ::_exit(126);
        });
    }
    p->start(from(QStringLiteral(MALVORANT_EXECUTABLE)), QStringList());
    return p;
}

// Asks the program to end, and ends it when it does not within 30 s.
inline void stopProgram(QProcess& p)
{
    toolrun::endProcess(p, 30000);
}

#endif
