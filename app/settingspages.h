#ifndef MALVORANT_SETTINGSPAGES_H
#define MALVORANT_SETTINGSPAGES_H

#include "bridgeparts.h"

class QObject;
class QmlItems;

// The settings page: its initial values, the local addresses, the general
// values it stores.
class SettingsPages
{
public:
    SettingsPages(QmlItems& items, const EngineParts& engine);

    SettingsPages(const SettingsPages&) = delete;
    SettingsPages& operator=(const SettingsPages&) = delete;

    void settingsViewBound(QObject* view);
    void getCurrentIpAddress();
    void updateUnclassifiedSettings(bool powerIs60Hz, int recordingTime, bool weightUnitIsPound);

private:
    QmlItems& m_items;
    EngineParts m_engine;
};

#endif
