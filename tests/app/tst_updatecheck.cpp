#include "installer.h"
#include "updatecheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace updatecheck;

class TstUpdateCheck : public QObject
{
    Q_OBJECT

private:
    static bool touch(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    }

private slots:
    void ownNumberIsVersionAndBuild() { QCOMPARE(ownNumber(), 802078); }

    void installerNumbers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<bool>("newer");
        QTest::newRow("same") << "malvorantsetup-8.0.2-build-078.exe" << qint64(802078) << false;
        QTest::newRow("next build") << "malvorantsetup-8.0.2-build-079.exe" << qint64(802079) << true;
        QTest::newRow("no build") << "malvorantsetup-8.0.3.exe" << qint64(803000) << true;
        QTest::newRow("beta") << "malvorantsetup-8.0.3-beta-build-079.exe" << qint64(803000) << true;
        QTest::newRow("letter case") << "MalvorantSetup-8.0.3-Build-079.EXE" << qint64(803079) << true;
        QTest::newRow("two-digit part") << "malvorantsetup-10.1.0-build-001.exe" << qint64(1010001) << true;
        QTest::newRow("prefix only") << "malvorantsetup-" << qint64(0) << false;
        QTest::newRow("short") << "malvorantsetup-x" << qint64(0) << false;
        QTest::newRow("older") << "malvorantsetup-7.9.9-build-999.exe" << qint64(799999) << false;
        QTest::newRow("other program") << "othersetup-9.0.0.exe" << qint64(-1) << false;
        QTest::newRow("endless version") << "malvorantsetup-99999999999999999999999.exe" << qint64(-1) << false;
        QTest::newRow("endless build")
            << "malvorantsetup-8.0.3-build-99999999999999999999.exe" << qint64(-1) << false;
        QTest::newRow("shell characters")
            << "malvorantsetup-8.0.3-build-079 & rm x;.exe" << qint64(803079) << true;
    }

    void installerNumbers()
    {
        QFETCH(QString, name);
        QFETCH(qint64, number);
        QFETCH(bool, newer);
        QCOMPARE(installerNumber(name), number);
        QCOMPARE(installerNumber(name) > ownNumber(), newer);
    }

    void folderScan()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(newerInstallers(dir.filePath("missing")).isEmpty());
        QVERIFY(newerInstallers(QString()).isEmpty());
        QVERIFY(touch(dir.filePath("malvorantsetup-8.0.2-build-078.exe")));
        QVERIFY(touch(dir.filePath("readme.txt")));
        QVERIFY(newerInstallers(dir.path()).isEmpty());
        QVERIFY(touch(dir.filePath("MalvorantSetup-8.0.3-build-079.exe")));
        QVERIFY(QDir(dir.path()).mkdir("malvorantsetup-9.0.0-build-001"));  // a folder is no installer
        QCOMPARE(newerInstallers(dir.path()), QStringList{"MalvorantSetup-8.0.3-build-079.exe"});
    }

    void postponement_data()
    {
        QTest::addColumn<bool>("force");
        QTest::addColumn<QString>("last");
        QTest::addColumn<bool>("due");
        QTest::newRow("never postponed") << false << "" << true;
        QTest::newRow("garbage") << false << "yesterday" << true;
        QTest::newRow("one day ago") << false << "12/09/2026 12:00:00" << false;
        QTest::newRow("one day ago, forced") << true << "12/09/2026 12:00:00" << true;
        QTest::newRow("single-digit month") << false << "12/4/2026 12:00:00" << false;
        QTest::newRow("eight days ago") << false << "12/02/2026 12:00:00" << true;
        QTest::newRow("exactly a week") << false << "12/03/2026 12:00:00" << false;
    }

    void postponement()
    {
        QFETCH(bool, force);
        QFETCH(QString, last);
        QFETCH(bool, due);
        const QDateTime now(QDate(2026, 12, 10), QTime(12, 0, 0));
        QCOMPARE(offerDue(force, last, now), due);
        // What doUpdate(false) writes reads back as a valid attempt.
        const QString written = now.toString(QString::fromLatin1(kAttemptWriteFormat));
        QVERIFY(!offerDue(false, written, now));
    }

    void propertiesFileByteForByte()
    {
        QTemporaryDir dir;
        const QString path = servicePropertiesPath(dir.path());
        QCOMPARE(path, dir.path() + "/Malvorant/tandrell.properties");
        ServiceProperties v;
        v.customerId = "C-42";
        v.deviceName = "Kx-Sim\r\n";
        v.qvlUser = "vet\nInjected=1";
        v.lastUpgradeAttempt = "12/09/2026 12:00:00";
        v.upgradeAttemptCount = 3;
        QVERIFY(!writeServicePropertiesFile(path, v));  // its folder does not exist
        QVERIFY(QDir(dir.path()).mkdir("Malvorant"));
        QVERIFY(writeServicePropertiesFile(path, v));
        v.upgradeAttemptCount = 4;
        QVERIFY(writeServicePropertiesFile(path, v));  // rewritten, never appended
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("ApplicationVersion=8.0.2.78\n"
                                         "YARLO_SAP_ID=C-42\n"
                                         "SerialNumber=Kx-Sim\n"
                                         "QVLUser=vetInjected=1\n"
                                         "LastUpgradeAttempt=12/09/2026 12:00:00\n"
                                         "UpgradeAttemptCount=4\n"));
    }

    // The installer starts as one program, its name never read by a shell.
    void launcherStartsNothingElse()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath("started");
        const QString script = dir.filePath("malvorantsetup-9.0.0-build-001 & touch hacked;.sh");
        {
            QFile f(script);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\necho \"$0\" > '" + marker.toUtf8() + "'\n");
        }
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QString error;
        QVERIFY2(platform::startInstaller(script, &error), qPrintable(error));
        QTRY_VERIFY(QFileInfo(marker).size() > 0);
        QFile m(marker);
        QVERIFY(m.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(m.readAll()).trimmed(), script);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(dir.filePath("hacked")));
        QVERIFY(!QFile::exists(QDir::current().filePath("hacked")));
    }

    void launcherFailures()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!platform::startInstaller(dir.filePath("missing.exe"), &error));
        QVERIFY(!error.isEmpty());
        const QString plain = dir.filePath("malvorantsetup-9.0.0.exe");
        QVERIFY(touch(plain));  // not executable
        QVERIFY(!platform::startInstaller(plain, &error));
        // Executable but not a program the system can run.
        QVERIFY(QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!platform::startInstaller(plain, &error));
    }

    void installerFolderFromEnvironment()
    {
        qputenv("MALVORANT_INSTALLER_DIR", "/srv/installers");
        QCOMPARE(platform::installerFolder(), QString("/srv/installers"));
        qunsetenv("MALVORANT_INSTALLER_DIR");
        QCOMPARE(platform::installerFolder(), QDir::tempPath());
    }
};

QTEST_GUILESS_MAIN(TstUpdateCheck)
#include "tst_updatecheck.moc"
