// The update check, the service properties file and the terms of use, driven
// through the bridge with the real screens.

#include "appharness.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QSettings>
#include <QTimer>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <functional>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

class TstUpdateAndTerms : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QTemporaryDir m_installers;

    CSettingsMan& settings() { return *m_app.bridge().settingsMan(); }
    UpdateAndTerms& update() { return m_app.bridge().updateAndTerms(); }

    // Runs the event loop around action; true when the program asked to quit.
    static bool quitsDuring(const std::function<void()>& action, int ms = 1500)
    {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        guard.start(ms);
        QTimer::singleShot(0, action);
        return QCoreApplication::exec() == 0;
    }

    QObject* openDialog(const QString& title) { return visibleDialog(m_window, title); }

    void closeDialogs() { closeVisibleDialogs(m_window); }

    bool makeInstaller(const QString& name, const QByteArray& body, bool executable)
    {
        QFile f(m_installers.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
            return false;
        f.close();
        QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            perms |= QFile::ExeOwner;
        return QFile::setPermissions(f.fileName(), perms);
    }

    void clearInstallers()
    {
        for (const QString& name : QDir(m_installers.path()).entryList(QDir::Files))
            QFile::remove(m_installers.filePath(name));
    }

    QString propertiesPath()
    {
        return QDir(m_app.bridge().folders().programDataFolder).filePath("Malvorant/tandrell.properties");
    }

    QByteArray propertiesFile()
    {
        QFile f(propertiesPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        QVERIFY(m_installers.isValid());
        AppHarness::warnings().clear();
        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return update().setupCount() > 0; }));
        update().setInstallerFolder(m_installers.path());
    }

    // The chart's first initialisation, made by the screens as they load,
    // ran the check; later initialisations don't scan again.
    void firstCheckAtChartStart()
    {
        QVERIFY(!update().firstCheckPending());
        QVERIFY(makeInstaller("malvorantsetup-8.0.3.exe", "x", false));
        m_app.bridge().initEcg(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        QVERIFY(update().installerName().isEmpty());
        QFile::remove(m_installers.filePath("malvorantsetup-8.0.3.exe"));
        closeDialogs();
    }

    // The bridge wrote the file at start with what it knows.
    void propertiesWrittenAtStart()
    {
        QVERIFY(propertiesFile().startsWith("ApplicationVersion=8.0.2.78\nYARLO_SAP_ID="));
    }

    void scanOffersTheNewest_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("offered");
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("same version") << QStringList{"malvorantsetup-8.0.2-build-078.exe"} << QString();
        QTest::newRow("next build") << QStringList{"malvorantsetup-8.0.2-build-079.exe"}
                                    << "malvorantsetup-8.0.2-build-079.exe";
        QTest::newRow("beta") << QStringList{"MalvorantSetup-8.0.3-beta-build-079.exe", "readme.txt"}
                              << "MalvorantSetup-8.0.3-beta-build-079.exe";
        QTest::newRow("older and other") << QStringList{"malvorantsetup-7.0.0.exe", "othersetup-9.0.0.exe",
                                                        "malvorantsetup-"}
                                         << QString();
        QTest::newRow("shell characters") << QStringList{"malvorantsetup-8.0.3 & rm -rf x; y.exe"}
                                          << "malvorantsetup-8.0.3 & rm -rf x; y.exe";
    }

    // A forced check offers a newer installer or answers that there is none.
    void scanOffersTheNewest()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, offered);
        clearInstallers();
        for (const QString& name : names)
            QVERIFY(makeInstaller(name, "x", false));
        settings().writeValue(73, 0, QString());
        settings().readValue(73);
        const bool result = update().checkForUpdateInstaller(m_installers.path(), true);
        QCOMPARE(result, !offered.isEmpty());
        if (result)
            QCOMPARE(update().installerName(), offered);
        closeDialogs();

        update().onCheckUpdate(true);
        QVERIFY(AppHarness::waitFor([&] {
            return openDialog(offered.isEmpty() ? "No updates" : "New update") != nullptr;
        }, 2000));
        closeDialogs();
    }

    // Postponing stores the attempt, counts on from the registry's count and
    // rewrites the properties file; for a week only a forced check offers.
    void postponement()
    {
        clearInstallers();
        QVERIFY(makeInstaller("malvorantsetup-8.0.3.exe", "x", false));
        {
            QSettings registry(QSettings::NativeFormat, QSettings::UserScope, "Yarlo-Telemedicine",
                               "Malvorant-Ecg");
            registry.beginGroup("Options");
            registry.setValue("UpdatePostponedCount", 4);
        }
        settings().writeValue(70, 0, "SAP-4711\nX");
        settings().writeValue(7, 0, "Malvorant 6L 0042");
        settings().writeValue(47, 0, "vet@clinic");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        update().doUpdate(false);
        const QDateTime last = QDateTime::fromString(settings().lastUpgradeAttempt, "MM/dd/yyyy hh:mm:ss");
        QVERIFY(last.isValid());
        QVERIFY(last >= before && last <= QDateTime::currentDateTime().addSecs(1));
        QCOMPARE(settings().upgradeAttemptCount, 5);
        QCOMPARE(propertiesFile(), QByteArray("ApplicationVersion=8.0.2.78\n"
                                              "YARLO_SAP_ID=SAP-4711X\n"
                                              "SerialNumber=Malvorant 6L 0042\n"
                                              "QVLUser=vet@clinic\n"
                                              "LastUpgradeAttempt=")
                                       + settings().lastUpgradeAttempt.toUtf8()
                                       + "\nUpgradeAttemptCount=5\n");

        QVERIFY(!update().checkForUpdateInstaller(m_installers.path(), false));
        QVERIFY(update().checkForUpdateInstaller(m_installers.path(), true));
        closeDialogs();
        // A week and more later the automatic check offers it again.
        settings().writeValue(73, 0, QLocale::c().toString(QDateTime::currentDateTime().addDays(-8),
                                                           "MM/dd/yyyy hh:mm:ss"));
        settings().readValue(73);
        QVERIFY(update().checkForUpdateInstaller(m_installers.path(), false));
        closeDialogs();
    }

    // An installer that can't be started leaves the program running and says so.
    void failedLaunchKeepsTheProgram()
    {
        clearInstallers();
        QVERIFY(makeInstaller("malvorantsetup-8.0.3.exe", "not a program", false));
        QVERIFY(update().checkForUpdateInstaller(m_installers.path(), true));
        closeDialogs();
        QVERIFY(!quitsDuring([&] { update().doUpdate(true); }, 800));
        QObject* note = openDialog("Update failed");
        QVERIFY(note);
        QVERIFY(!note->property("informativeText").toString().isEmpty());
        closeDialogs();
    }

    // A started installer ends the program; its name reaches no shell.
    void launchQuits()
    {
        clearInstallers();
        const QString marker = m_installers.filePath("started");
        const QString name = "malvorantsetup-8.0.3 & touch hacked; x.sh";
        QVERIFY(makeInstaller(name, "#!/bin/sh\necho \"$0\" > '" + marker.toUtf8() + "'\n", true));
        QVERIFY(update().checkForUpdateInstaller(m_installers.path(), true));
        closeDialogs();
        QVERIFY(quitsDuring([&] { update().doUpdate(true); }));
        QTRY_VERIFY(QFileInfo(marker).size() > 0);
        QFile m(marker);
        QVERIFY(m.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(m.readAll()).trimmed(), m_installers.filePath(name));
        QVERIFY(!QFile::exists(m_installers.filePath("hacked")));
        QVERIFY(!QFile::exists(QDir::current().filePath("hacked")));
    }

    // The version bookkeeping after a start with accepted terms.
    void versionBookkeeping_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("reset");
        QTest::newRow("default") << "0" << true;
        QTest::newRow("letters") << "abc" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("before tracking") << "700000" << true;
        QTest::newRow("older") << "802077" << true;
        QTest::newRow("same") << "802078" << false;
        QTest::newRow("newer (downgrade)") << "900001" << false;
    }

    void versionBookkeeping()
    {
        QFETCH(QString, stored);
        QFETCH(bool, reset);
        CSettingsMan& s = settings();
        s.tucAccepted = 1;
        s.writeValue(76, 0, stored);
        s.writeValue(72, 3, QString());
        s.writeValue(73, 0, "12/01/2026 10:00:00");
        update().setupCompleted();
        QCoreApplication::processEvents();
        s.readValue(72);
        s.readValue(73);
        s.readValue(76);
        QCOMPARE(s.upgradeAttemptCount, reset ? 0 : 3);
        QCOMPARE(s.lastUpgradeAttempt, reset ? QString() : QString("12/01/2026 10:00:00"));
        QCOMPARE(s.appVersionNumber, reset ? QString("802078") : stored);
        // The file describes the bookkeeping as it now stands.
        QVERIFY(propertiesFile().endsWith(reset ? "UpgradeAttemptCount=0\n" : "UpgradeAttemptCount=3\n"));
    }

    // A customer id is taken from the registry only when none is stored.
    void customerIdFromRegistry()
    {
        {
            QSettings registry(QSettings::NativeFormat, QSettings::UserScope, "Yarlo-Telemedicine",
                               "Malvorant-Ecg");
            registry.beginGroup("Options");
            registry.setValue("YARLO_SAP_ID", "SAP-9");
        }
        settings().tucAccepted = 1;
        settings().writeValue(70, 0, "SAP-1");
        settings().readValue(70);
        update().setupCompleted();
        QCOMPARE(settings().customerId, QString("SAP-1"));
        settings().writeValue(70, 0, QString());
        settings().readValue(70);
        update().setupCompleted();
        QCOMPARE(settings().customerId, QString("SAP-9"));
        QVERIFY(propertiesFile().contains("\nYARLO_SAP_ID=SAP-9\n"));
    }

    // Without accepted terms start-up shows them again; refusing stores the
    // refusal and ends the program.
    void refusingTheTermsQuits()
    {
        settings().tucAccepted = 0;
        settings().saveSettings(SettingsTermsOfUse);
        update().setupCompleted();
        QObject* splash = m_app.bridge().items().object(Item::SplashScreen);
        QVERIFY(splash);
        QVERIFY(AppHarness::waitFor([&] { return splash->property("visible").toBool(); }, 2000));
        QVERIFY(quitsDuring([&] { m_app.bridge().splashScreenTucAction(0); }));
        settings().tucAccepted = 5;
        QVERIFY(settings().loadSettings());
        QCOMPARE(settings().tucAccepted, 0);
    }

    void noWarnings()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }
};

QTEST_MAIN(TstUpdateAndTerms)
#include "tst_updateandterms.moc"
