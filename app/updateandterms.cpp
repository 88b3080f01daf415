#include "updateandterms.h"

#include "debuglog.h"
#include "fileman.h"
#include "liveview.h"
#include "patientflows.h"
#include "patientman.h"
#include "qmlitems.h"
#include "registryoptions.h"
#include "settingsman.h"
#include "updatecheck.h"
#include "viewersettings.h"
#include "appfolders.h"
#include "installer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QtDebug>

using namespace qml;

namespace {

// Version and build as one number: "8.0.2" and "078" give 802078.
QString ownVersionNumber()
{
    return QString::fromLatin1(kAppVersion).remove(QLatin1Char('.')) + QLatin1String(kAppBuild);
}

// Stored versions below this predate the bookkeeping.
constexpr int kFirstTrackedVersion = 700001;

} // namespace

UpdateAndTerms::UpdateAndTerms(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                               PatientFlows& patients, LiveView& live)
    : m_items(items), m_engine(engine), m_viewer(viewer), m_patients(patients), m_live(live),
      m_installerFolder(platform::installerFolder())
{
}

void UpdateAndTerms::setupCompleted()
{
    debugLog(4, "### CQmlInterface::setupCompleted()");
    ++m_setupCount;
    m_viewer.setUiDataViewerSettings();
    m_patients.showCurrentRecording();

    if (m_engine.settings->tucAccepted == 0) {
        m_items.invoke<C::QmlShowSplashScreen>();
        return;
    }

    if (m_engine.settings->customerId.isEmpty()) {
        const QString id = platform::readRegistryOption(QStringLiteral("YARLO_SAP_ID")).toString();
        m_engine.settings->writeValue(70, 0, id);
        m_engine.settings->readValue(70);
    }
    recordVersion();
    showStartScreen();
    // The bookkeeping above may have changed what the file describes.
    writeServiceProperties();
}

void UpdateAndTerms::recordVersion()
{
    bool ok = false;
    const int own = ownVersionNumber().toInt(&ok);
    if (!ok) {
        debugLogError("CQmlInterface::setupCompleted() invalid internal app version");
        return;
    }
    CSettingsMan& s = *m_engine.settings;
    s.readValue(76);
    bool storedOk = false;
    const int stored = s.appVersionNumber.toInt(&storedOk);
    if (!storedOk || stored < kFirstTrackedVersion || stored < own) {
        s.writeValue(73, 0, QString());
        s.writeValue(72, 0, QString());
        s.writeValue(76, 0, ownVersionNumber());
        s.readValue(72);
        s.readValue(73);
        s.readValue(76);
    }
}

void UpdateAndTerms::showStartScreen()
{
    m_live.streamStartStop(false);
    m_items.set<P::StreamRefreshTimerRunning>(false);
    m_viewer.setUiDataViewerSettings();
    m_patients.showCurrentRecording();
    // Recordings the start found again: said once, in words.
    const int recovered = m_engine.files->recoveredRecordings();
    if (recovered > 0 && !m_recoveryTold) {
        m_recoveryTold = true;
        m_items.invoke<C::QmlAlertBoxRecordingsRecovered>(recovered);
    }
}

void UpdateAndTerms::splashScreenTucAction(int tucAccepted)
{
    debugLog(4, "CQmlInterface::splashScreenTucAction() tucAccepted=" + toStdString(tucAccepted));
    m_engine.settings->tucAccepted = tucAccepted;
    m_engine.settings->saveSettings(SettingsTermsOfUse);
    if (tucAccepted == 1) {
        showStartScreen();
        return;
    }
    debugLogError("Terms and condition were not accepted, exiting");
    QCoreApplication::quit();
}

bool UpdateAndTerms::checkForUpdateInstaller(const QString& folder, bool force)
{
    bool offered = false;
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString& name : updatecheck::newerInstallers(folder)) {
        if (!updatecheck::offerDue(force, m_engine.settings->lastUpgradeAttempt, now))
            continue;
        // With several newer installers the last one offered wins.
        m_installerName = name;
        debugLog(2, "CQmlInterface::checkForUpdateInstaller() offering " + name.toStdString());
        m_items.invoke<C::UpdateDialog>();
        offered = true;
    }
    return offered;
}

void UpdateAndTerms::onCheckUpdate(bool force)
{
    m_firstCheckPending = false;
    if (!checkForUpdateInstaller(m_installerFolder, force) && force)
        m_items.invoke<C::NoUpdates>();
}

void UpdateAndTerms::doUpdate(bool yes)
{
    if (yes) {
        QString error;
        if (m_installerName.isEmpty()) {
            error = QStringLiteral("no installer was found");
        } else {
            const QString path = QDir(m_installerFolder).filePath(m_installerName);
            debugLog(2, "CQmlInterface::doUpdate() starting " + path.toStdString());
            if (platform::startInstaller(path, &error)) {
                QCoreApplication::quit();
                return;
            }
        }
        // The program stays: quitting now would leave the user with neither version.
        debugLogError("CQmlInterface::doUpdate() installer not started: " + error.toStdString());
        m_items.invoke<C::UpdateFailed>(error);
        return;
    }

    CSettingsMan& s = *m_engine.settings;
    const QString now = QLocale::c().toString(QDateTime::currentDateTime(),
                                              QLatin1String(updatecheck::kAttemptWriteFormat));
    const int count = platform::readRegistryOption(QStringLiteral("UpdatePostponedCount")).toInt();
    s.writeValue(73, 0, now);
    s.writeValue(72, count + 1, QString());
    s.readValue(73);
    s.readValue(72);
    writeServiceProperties();
}

void UpdateAndTerms::writeServiceProperties()
{
    CSettingsMan& s = *m_engine.settings;
    for (int oid : {70, 7, 47, 73, 72})
        s.readValue(oid);
    updatecheck::ServiceProperties values;
    values.customerId = s.customerId;
    values.deviceName = s.bzdevice;
    values.qvlUser = s.qvlUserName;
    values.lastUpgradeAttempt = s.lastUpgradeAttempt;
    values.upgradeAttemptCount = s.upgradeAttemptCount;
    const QString path = updatecheck::servicePropertiesPath(m_engine.folders->programDataFolder);
    // A missing folder is not this program's to report: the file is for outside readers.
    if (!updatecheck::writeServicePropertiesFile(path, values))
        debugLog(2, "CQmlInterface::writeServiceProperties() unable to write " + path.toStdString());
}
