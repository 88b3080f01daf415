#include "blockedpath.h"
#include "isolatedhome.h"
#include "processlist.h"
#include "programrun.h"
#include "startfailure.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

static IsolatedHome isolatedHome;

// Starts the program itself. Its folders all lie in this test's temporary
// folders; HOME and the XDG folders do too (see IsolatedHome).
class TstProgramStart : public QObject
{
    Q_OBJECT

    static std::unique_ptr<QProcess> start(const QString& documents, const QString& profile,
                                           bool endsFromStartUp = false)
    {
        return startProgram(documents, profile, QProcess::ForwardedErrorChannel, endsFromStartUp);
    }

    static void stop(QProcess& p) { stopProgram(p); }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(QFileInfo(MALVORANT_EXECUTABLE).isExecutable());
        std::vector<platform::ProcessEntry> processes;
        QVERIFY(platform::listProcesses(processes));
        for (const platform::ProcessEntry& p : processes) {
            if (isInstanceName(p.name))
                QSKIP("a copy of the program already runs on this machine");
        }
    }

    void firstStartSetsUpSecondStartLeaves()
    {
        QTemporaryDir tmp;
        const QString docs = tmp.filePath("Public");
        const QString profile = tmp.filePath("ProgramData");
        const QString logs = profile + "/Malvorant/logs";

        std::unique_ptr<QProcess> first = start(docs, profile);
        QVERIFY(first->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(logs + "/malvorantlog.error")
                                     || first->state() == QProcess::NotRunning,
                                 60000);
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(QFileInfo(docs + "/MalvorantData").isDir());
        QVERIFY(QFileInfo(docs + "/MalvorantData/tmp").isDir());
        QVERIFY(QFileInfo(logs + "/malvorantlog").isFile());
        QVERIFY(QFileInfo(logs + "/malvorantlog.error").isFile());

        // The second copy leaves before it makes anything.
        const QString otherDocs = tmp.filePath("OtherPublic");
        const QString otherProfile = tmp.filePath("OtherProgramData");
        std::unique_ptr<QProcess> second = start(otherDocs, otherProfile);
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(!QFileInfo::exists(otherDocs));
        QVERIFY(!QFileInfo::exists(otherProfile));

        QCOMPARE(first->state(), QProcess::Running);
        stop(*first);
    }

    void uncreatablePublicDocumentsEndsStart()
    {
        QTemporaryDir tmp;
        const QString blocked = blockedFolderPath(tmp);
        QVERIFY(!blocked.isEmpty());
        const QString profile = tmp.filePath("ProgramData");

        const QString windows = tmp.filePath("windows.txt");
        std::unique_ptr<QProcess> p =
            startProgram(blocked, profile, QProcess::ForwardedErrorChannel, true, windows);
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 255);  // -1
        QVERIFY(!QFileInfo::exists(profile));
        // Said in a window before the end.
        QFile seen(windows);
        QVERIFY(seen.open(QIODevice::ReadOnly));
        const QByteArray text = seen.readAll();
        QVERIFY2(text.startsWith("WINDOW " + QByteArray(kStartFailureTitle) + " | The folder for the program's data"),
                 text.constData());
    }
};

QTEST_GUILESS_MAIN(TstProgramStart)
#include "tst_programstart.moc"
