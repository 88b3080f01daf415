#ifndef MALVORANT_RECORDINGCONTROL_H
#define MALVORANT_RECORDINGCONTROL_H

#include "bridgeparts.h"

class EcgChart;
class LiveView;
class QObject;
class QmlItems;
class UiPublisher;

// Recording: start, stop, the recording timer, bookmarks and the species
// analysis presets.
class RecordingControl
{
public:
    RecordingControl(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                     LiveView& live, EcgChart& chart);

    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    // Made when UiDefs binds; timer parent is the bridge.
    void createRecordingTimer(QObject* parent);
    void recordStartStop(bool doStart);
    void recordingTimerExpired();
    void setBookmark(int filPos, int posX);
    void deleteBookmark();
    void onRecordSpeciesSelector(int species);
    void setSpeciesPicker(int setSpecies);
    bool isRecording() const { return m_recording; }

private:
    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    LiveView& m_live;
    EcgChart& m_chart;
    bool m_recording = false;
};

#endif
