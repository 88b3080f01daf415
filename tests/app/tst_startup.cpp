#include "appfolders.h"
#include "blockedpath.h"
#include "isolatedhome.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

static IsolatedHome isolatedHome;

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(isolatedHome.isValid()); }

    void cleanup()
    {
        qunsetenv("MALVORANT_PUBLIC_DOCUMENTS");
        qunsetenv("ALLUSERSPROFILE");
    }

    void searchPath_data()
    {
        QTest::addColumn<QByteArray>("exe");
        QTest::addColumn<QByteArray>("oldPath");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QByteArray>("newPath");
        QTest::newRow("folder in front") << QByteArray("/opt/malvorant/bin/Malvorant")
                                         << QByteArray("/usr/bin:/bin") << true
                                         << QByteArray("/opt/malvorant/bin:/usr/bin:/bin");
        QTest::newRow("empty path") << QByteArray("/opt/m/Malvorant") << QByteArray() << true
                                    << QByteArray("/opt/m:");
        // An empty entry would put the current folder on the search path.
        QTest::newRow("root folder") << QByteArray("/Malvorant") << QByteArray("/bin") << true
                                     << QByteArray("/:/bin");
        QTest::newRow("no separator") << QByteArray("Malvorant") << QByteArray("/bin") << false
                                      << QByteArray();
        QTest::newRow("separator in folder") << QByteArray("/opt/a:b/Malvorant")
                                             << QByteArray("/bin") << false << QByteArray();
    }

    void searchPath()
    {
        QFETCH(QByteArray, exe);
        QFETCH(QByteArray, oldPath);
        QFETCH(bool, changed);
        QFETCH(QByteArray, newPath);
        const std::optional<QByteArray> path = pathWithExeDir(exe, oldPath);
        QCOMPARE(path.has_value(), changed);
        if (changed)
            QCOMPARE(*path, newPath);
    }

    void instanceName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("match");
        QTest::newRow("exact") << "Malvorant" << true;
        QTest::newRow("prefix and suffix") << "oldMalvorant-8.0" << true;
        QTest::newRow("lower case") << "malvorant" << false;
        QTest::newRow("upper case") << "MALVORANT" << false;
        QTest::newRow("unreadable") << "<unknown>" << false;
    }

    void instanceName()
    {
        QFETCH(QString, name);
        QFETCH(bool, match);
        QCOMPARE(isInstanceName(name), match);
    }

    void foldersAreMade()
    {
        QTemporaryDir tmp;
        const QString docs = tmp.filePath(QStringLiteral("Public/Documents"));
        const QString profile = tmp.filePath(QStringLiteral("ProgramData"));
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(docs));
        qputenv("ALLUSERSPROFILE", QFile::encodeName(profile));

        AppFolders folders;
        QVERIFY(setUpAppFolders(folders));
        QCOMPARE(folders.dataFolder, docs + "/MalvorantData/");
        QCOMPARE(folders.programDataFolder, profile + "/");
        QCOMPARE(folders.logFolder, profile + "/Malvorant/logs");
        QVERIFY(QFileInfo(docs + "/MalvorantData/tmp").isDir());
        QVERIFY(QFileInfo(folders.logFolder).isDir());

        // A second start finds everything in place.
        QVERIFY(setUpAppFolders(folders));
    }

    void uncreatableDocumentsFail()
    {
        QTemporaryDir tmp;
        const QString blocked = blockedFolderPath(tmp);
        QVERIFY(!blocked.isEmpty());
        qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(blocked));
        qputenv("ALLUSERSPROFILE", QFile::encodeName(tmp.filePath(QStringLiteral("ProgramData"))));

        AppFolders folders;
        QVERIFY(!setUpAppFolders(folders));
        QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("ProgramData"))));
    }

    void purgeRemovesOldLogsOnly()
    {
        QTemporaryDir tmp;
        const QStringList candidates = {"malvorantlog", "malvorantlog.error", "MalvorantLog.bak"};
        const QStringList others = {"other.txt", "malvorant.log"};
        for (const QString& name : candidates + others) {
            QFile f(tmp.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QDir(tmp.path()).mkdir(QStringLiteral("malvorantlog.d"));
        const auto exists = [&](const QString& name) { return QFileInfo::exists(tmp.filePath(name)); };

        const QDateTime born = QFileInfo(tmp.filePath(candidates.first())).birthTime();
        if (!born.isValid()) {
            // Without birth times nothing may go, however late it is.
            purgeOldLogFiles(tmp.path(), QDateTime::currentDateTime().addYears(10), 1);
            for (const QString& name : candidates + others)
                QVERIFY(exists(name));
            QSKIP("this file system keeps no birth times");
        }

        const qint64 age = kLogPurgeAgeSeconds;
        const QDateTime now = QDateTime::currentDateTime();
        purgeOldLogFiles(tmp.path(), now.addSecs(age - 3600), age);
        for (const QString& name : candidates + others)
            QVERIFY2(exists(name), qPrintable(name));

        purgeOldLogFiles(tmp.path(), now.addSecs(age + 5), age);
        for (const QString& name : candidates)
            QVERIFY2(!exists(name), qPrintable(name));
        for (const QString& name : others)
            QVERIFY2(exists(name), qPrintable(name));
        QVERIFY(exists(QStringLiteral("malvorantlog.d")));
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
