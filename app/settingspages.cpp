#include "settingspages.h"

#include "debuglog.h"
#include "fileman.h"
#include "qmlitems.h"
#include "settingsman.h"

using namespace qml;

SettingsPages::SettingsPages(QmlItems& items, const EngineParts& engine)
    : m_items(items), m_engine(engine)
{
}

void SettingsPages::settingsViewBound(QObject* view)
{
    debugLog(4, "CQmlInterface::setSettingsDrawerObject()");
    m_items.bind(qml::Item::SettingsView, view);

    const CSettingsMan& s = *m_engine.settings;
    m_items.set<P::SetInitQvlUserName>(s.qvlUserName);
    m_items.set<P::SetInitQvlUserPwd>(s.qvlPwd);
    m_items.set<P::SetInitQvlUrl>(s.qvlUrl);
    m_items.set<P::SetInitQvlAccountVerified>(s.qvlAccountVerified);
    m_items.set<P::SetInitPowerIs60Hz>(s.powerIs60Hz);
    m_items.set<P::SetInitRecordingSeconds>(s.recordingSeconds);
    m_items.set<P::SetInitWeightUnitIsPound>(s.weightUnitIsPound);
    m_items.set<P::SetInitDcmLocalAe>(s.dcmModalityName);
    m_items.set<P::SetInitDcmLocalPort>(s.dcmModalityPort);
    m_items.set<P::SetInitDcmMwlAe>(s.dcmMwlTitle);
    m_items.set<P::SetInitDcmMwlIp>(s.dcmMwlIp);
    m_items.set<P::SetInitDcmMwlPort>(s.dcmMwlPort);
    m_items.set<P::SetInitDcmPacsAe>(s.dcmPacsTitle);
    m_items.set<P::SetInitDcmPacsIp>(s.dcmPacsIp);
    m_items.set<P::SetInitDcmPacsPort>(s.dcmPacsPort);
    m_items.set<P::SetInitDcmInstName>(s.dcmInstitutionName);

    if (s.inputType == 0 && m_items.isBound(Item::UiData)) {
        debugLog(4, "setViewerSettingsDrawerObject");
        debugLog(4, "setSettingsDrawerObject:pCSettingsMan->bzdevice: " + s.bzdevice.toStdString());
        m_items.set<P::InputDescriptiveName>(s.bzdevice);
    }
}

void SettingsPages::getCurrentIpAddress()
{
    if (!m_items.isBound(Item::SettingsView))
        return;
    m_items.set<P::SetInitDcmLocalIpAddress>(m_engine.settings->listLocalIpv4Addresses());
}

void SettingsPages::updateUnclassifiedSettings(bool powerIs60Hz, int recordingTime, bool weightUnitIsPound)
{
    debugLog(4, std::string("CQmlInterface::updateUnclassifiedSettings() powerIs60Hz=")
                    + (powerIs60Hz ? "1" : "0") + ", recordingSeconds=" + toStdString(recordingTime)
                    + ", weightUnitIsPound=" + (weightUnitIsPound ? "1" : "0"));
    CSettingsMan& s = *m_engine.settings;
    const int mains = powerIs60Hz ? 1 : 0;
    // The loaded recording is filtered again for the other mains frequency.
    if (mains != s.powerIs60Hz)
        m_engine.files->ecgBuffer().setFilterOptions(mains + 1, true);
    s.powerIs60Hz = mains;
    s.recordingSeconds = recordingTime;
    s.weightUnitIsPound = weightUnitIsPound ? 1 : 0;
    if (!s.saveSettings(SettingsUncategorized))
        debugLogError("CQmlInterface::updateUnclassifiedSettings() unable to save the settings");
    m_items.set<P::RecordingTime>(s.recordingSeconds);
}
