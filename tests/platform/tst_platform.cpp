#include "blockedpath.h"
#include "filesafety.h"
#include "isolatedhome.h"
#include "platformfolders.h"
#include "processlist.h"
#include "registryoptions.h"
#include "soundoutput.h"
#include "soundserverstandin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

static IsolatedHome isolatedHome;

class TstPlatform : public QObject
{
    Q_OBJECT

private:
    // A copy of sleep under a name no other process carries, started n times.
    QString startProbes(const QTemporaryDir& dir, const QString& name, int n,
                        std::vector<std::unique_ptr<QProcess>>& probes)
    {
        const QString exe = dir.filePath(name);
        if (!QFile::exists(exe)) {
            if (!QFile::copy(QStringLiteral("/bin/sleep"), exe))
                return QString();
            QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        for (int i = 0; i < n; ++i) {
            auto p = std::make_unique<QProcess>();
            p->start(exe, {QStringLiteral("300")});
            if (!p->waitForStarted())
                return QString();
            probes.push_back(std::move(p));
        }
        return exe;
    }

    static int countNamed(const QString& name)
    {
        std::vector<platform::ProcessEntry> list;
        if (!platform::listProcesses(list))
            return -1;
        return int(std::count_if(list.begin(), list.end(),
                                 [&](const platform::ProcessEntry& e) { return e.name == name; }));
    }

    static void stop(std::vector<std::unique_ptr<QProcess>>& probes)
    {
        for (auto& p : probes) {
            p->kill();
            p->waitForFinished();
        }
        probes.clear();
    }

private slots:
    void initTestCase() { QVERIFY(isolatedHome.isValid()); }

    void cleanup()
    {
        qunsetenv("MALVORANT_PUBLIC_DOCUMENTS");
        qunsetenv("ALLUSERSPROFILE");
    }

    void executablePathIsThisProgram()
    {
        QCOMPARE(platform::executablePath(), QCoreApplication::applicationFilePath());
    }

    void publicDocumentsFromEnvironmentIsCreated()
    {
        QTemporaryDir tmp;
        const QString wanted = tmp.filePath(QStringLiteral("shared/Documents"));
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(wanted));
        QCOMPARE(platform::publicDocumentsFolder(), wanted);
        QVERIFY(QFileInfo(wanted).isDir());
        // An existing folder is fine too.
        QCOMPARE(platform::publicDocumentsFolder(), wanted);
    }

    void publicDocumentsUncreatableIsEmpty()
    {
        QTemporaryDir tmp;
        const QString blocked = blockedFolderPath(tmp);
        QVERIFY(!blocked.isEmpty());
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(blocked));
        QCOMPARE(platform::publicDocumentsFolder(), QString());
        // A regular file in place of the folder is no folder either.
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(QFileInfo(blocked).path()));
        QCOMPARE(platform::publicDocumentsFolder(), QString());
    }

    void publicDocumentsDefaultsToUserDocuments()
    {
        const QString expected = QDir(isolatedHome.path()).filePath(QStringLiteral("home/Documents"));
        QDir(expected).removeRecursively();
        QCOMPARE(platform::publicDocumentsFolder(), expected);
        QVERIFY(QFileInfo(expected).isDir());
    }

    void allUsersProfile()
    {
        qputenv("ALLUSERSPROFILE", "/srv/ProgramData");
        QCOMPARE(platform::allUsersProfileFolder(), QStringLiteral("/srv/ProgramData"));
        qunsetenv("ALLUSERSPROFILE");
        QCOMPARE(platform::allUsersProfileFolder(),
                 QDir(isolatedHome.path()).filePath(QStringLiteral("data")));
    }

    void processListStartsWithThisProcess()
    {
        std::vector<platform::ProcessEntry> list;
        QVERIFY(platform::listProcesses(list));
        QVERIFY(!list.empty());
        QCOMPARE(list.front().pid, qint64(::getpid()));
        QCOMPARE(list.front().name, QFileInfo(QCoreApplication::applicationFilePath()).fileName());

        QVERIFY(platform::listProcesses(list, 1));
        QCOMPARE(list.size(), size_t(1));
        QVERIFY(platform::listProcesses(list, 0));
        QVERIFY(list.empty());
    }

    void processListNamesRunningExecutables()
    {
        QTemporaryDir tmp;
        const QString name = QStringLiteral("PlatProbe%1").arg(::getpid());
        const QString lower = name.toLower();
        std::vector<std::unique_ptr<QProcess>> probes;
        QVERIFY(!startProbes(tmp, name, 2, probes).isEmpty());
        QVERIFY(!startProbes(tmp, lower, 1, probes).isEmpty());
        QCOMPARE(countNamed(name), 2);
        QCOMPARE(countNamed(lower), 1);
        stop(probes);
        QCOMPARE(countNamed(name), 0);
    }

    void replacedExecutableKeepsItsName()
    {
        QTemporaryDir tmp;
        const QString name = QStringLiteral("GoneProbe%1").arg(::getpid());
        std::vector<std::unique_ptr<QProcess>> probes;
        const QString exe = startProbes(tmp, name, 1, probes);
        QVERIFY(!exe.isEmpty());
        QVERIFY(QFile::remove(exe));
        QCOMPARE(platform::processExecutableName(probes.front()->processId()), name);
        stop(probes);
    }

    void unreadableProcessIsUnknown()
    {
        QCOMPARE(platform::processExecutableName(0), QStringLiteral("<unknown>"));
    }

    void registryOptionsAreReadFromTheUserStore()
    {
        QTemporaryDir tmp;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tmp.path());
        {
            QSettings writer(QSettings::NativeFormat, QSettings::UserScope,
                             QStringLiteral("Yarlo-Telemedicine"), QStringLiteral("Malvorant-Ecg"));
            writer.setValue(QStringLiteral("Options/UpdatePostponedCount"), 3);
            writer.setValue(QStringLiteral("Options/YARLO_SAP_ID"), QStringLiteral("SAP-42"));
            writer.setValue(QStringLiteral("Other/YARLO_SAP_ID"), QStringLiteral("wrong group"));
        }
        QCOMPARE(platform::readRegistryOption(QStringLiteral("UpdatePostponedCount")).toInt(), 3);
        QCOMPARE(platform::readRegistryOption(QStringLiteral("YARLO_SAP_ID")).toString(),
                 QStringLiteral("SAP-42"));
        QVERIFY(!platform::readRegistryOption(QStringLiteral("Missing")).isValid());
    }

    // Owner-only narrows the program's own files and folders, never a shared
    // folder; new files are owner-only whatever the mask says.
    void ownerOnlyFilesAndFolders()
    {
        QTemporaryDir tmp;
        auto mode = [](const QString& path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        const QString own = tmp.filePath(QStringLiteral("own"));
        const QString shared = tmp.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(own) && QDir().mkdir(shared));
        QVERIFY(::chmod(QFile::encodeName(own).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        QVERIFY(platform::setOwnerOnly(own.toStdString()));
        QCOMPARE(mode(own), 0700);
        QVERIFY(!platform::setOwnerOnly(shared.toStdString()));
        QCOMPARE(mode(shared), 01777);

        const mode_t oldMask = ::umask(0);
        const QString file = own + QStringLiteral("/f");
        std::FILE* f = platform::createOwnerOnlyFile(file.toStdString());
        ::umask(oldMask);
        QVERIFY(f);
        QVERIFY(std::fputs("x", f) >= 0);
        QVERIFY(platform::syncFile(f));
        std::fclose(f);
        QCOMPARE(mode(file), 0600);
        QVERIFY(platform::syncFolderOf(file.toStdString()));
        QVERIFY(!platform::syncFolder(tmp.filePath(QStringLiteral("missing")).toStdString()));
    }

    // A sound output is there while a server listens on the session's
    // socket, or one is named; a socket left by a server that ended is none.
    void soundOutputFollowsTheServer()
    {
        QTemporaryDir runtime;
        const QByteArray names[] = {"XDG_RUNTIME_DIR", "PULSE_SERVER", "PULSE_RUNTIME_PATH"};
        QList<QPair<bool, QByteArray>> saved;
        for (const QByteArray& name : names)
            saved.append({qEnvironmentVariableIsSet(name.constData()), qgetenv(name.constData())});
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_RUNTIME_PATH");
        const bool machineHasOne = platform::soundOutputAvailable();
        {
            SoundServerStandIn server(runtime.filePath(QStringLiteral("pulse/native")));
            QVERIFY(server.isListening());
            QVERIFY(platform::soundOutputAvailable());
        }
        if (!machineHasOne) {
            QVERIFY(QFile::exists(runtime.filePath(QStringLiteral("pulse/native"))));
            QVERIFY(!platform::soundOutputAvailable());
            qputenv("PULSE_SERVER", "tcp:127.0.0.1");
            QVERIFY(platform::soundOutputAvailable());
        }
        for (int i = 0; i < 3; ++i) {
            if (saved[i].first)
                qputenv(names[i].constData(), saved[i].second);
            else
                qunsetenv(names[i].constData());
        }
    }
};

QTEST_GUILESS_MAIN(TstPlatform)
#include "tst_platform.moc"
