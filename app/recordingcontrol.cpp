#include "recordingcontrol.h"

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
void RecordingControl::onRecordSpeciesSelector(int) {}
void RecordingControl::setSpeciesPicker(int) {}
