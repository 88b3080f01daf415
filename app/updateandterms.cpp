#include "updateandterms.h"

#include "debuglog.h"
#include "fileman.h"
#include "liveview.h"
#include "patientflows.h"
#include "patientman.h"
#include "qmlitems.h"
#include "registryoptions.h"
#include "settingsman.h"
#include "viewersettings.h"

#include <QCoreApplication>
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
    : m_items(items), m_engine(engine), m_viewer(viewer), m_patients(patients), m_live(live)
{
}

void UpdateAndTerms::setupCompleted()
{
    debugLog(4, "### CQmlInterface::setupCompleted()");
    ++m_setupCount;
    m_viewer.setUiDataViewerSettings();
    m_patients.selectNShowPatient(m_engine.patients->patientId, m_engine.files->currentEcgId());

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
    m_patients.selectNShowPatient(m_engine.patients->patientId, m_engine.files->currentEcgId());
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

bool UpdateAndTerms::checkForUpdateInstaller(const QString&, bool) { return false; }

void UpdateAndTerms::onCheckUpdate(bool force)
{
    m_firstCheckPending = false;
    if (!checkForUpdateInstaller(m_installerFolder, force) && force)
        m_items.invoke<C::NoUpdates>();
}

void UpdateAndTerms::doUpdate(bool) {}
void UpdateAndTerms::writeServiceProperties() {}
