#include "viewersettings.h"

ViewerSettings::ViewerSettings(QmlItems& items, const EngineParts& engine, EcgChart& chart)
    : m_items(items), m_engine(engine), m_chart(chart)
{
}

void ViewerSettings::setViewerParams(const Params&) {}
void ViewerSettings::updateViewerParams(const Params&) {}
void ViewerSettings::publishViewerSettings() {}
void ViewerSettings::updatePublishedViewerSettings() {}
