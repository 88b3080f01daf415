#include "recordingcontrol.h"

#include "debuglog.h"
#include "liveview.h"

RecordingControl::RecordingControl(QmlItems& items, const EngineParts& engine,
                                   UiPublisher& publisher, LiveView& live, EcgChart& chart)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_live(live), m_chart(chart)
{
}

void RecordingControl::createRecordingTimer(QObject*) {}
void RecordingControl::recordStartStop(bool) {}
void RecordingControl::recordingTimerExpired() {}
void RecordingControl::setBookmark(int, int) {}
void RecordingControl::deleteBookmark() {}
void RecordingControl::onRecordSpeciesSelector(int species)
{
    debugLog(4, "CQmlInterface::onRecordSpeciesSelector() species=" + toStdString(species));
    m_live.setSpecies(species);
}
void RecordingControl::setSpeciesPicker(int) {}
