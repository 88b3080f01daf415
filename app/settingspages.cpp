#include "settingspages.h"

#include "debuglog.h"
#include "qmlitems.h"

SettingsPages::SettingsPages(QmlItems& items, const EngineParts& engine)
    : m_items(items), m_engine(engine)
{
}

void SettingsPages::settingsViewBound(QObject* view)
{
    debugLog(4, "CQmlInterface::setSettingsDrawerObject()");
    m_items.bind(qml::Item::SettingsView, view);
}

void SettingsPages::getCurrentIpAddress() {}
void SettingsPages::updateUnclassifiedSettings(bool, int, bool) {}
