#ifndef MALVORANT_LIVEVIEW_H
#define MALVORANT_LIVEVIEW_H

#include "bridgeparts.h"
#include "ecgchart.h"

class EcgChart;
class QmlItems;
class RecordingControl;
class UiPublisher;

// The live view: the 50 ms tick, the lead-in ring that feeds a recording,
// the lead and interference warnings, heart rate and beat tone.
class LiveView
{
public:
    LiveView(QmlItems& items, const EngineParts& engine, UiPublisher& publisher, EcgChart& chart);

    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // The recording control is made after the live view and stops recordings
    // that the stream's stop ends.
    void setRecordingControl(RecordingControl* recording) { m_recording = recording; }

    void streamStartStop(bool start);
    void updateStreamedEcg(const EcgSeries& series);
    void setFirstUpdate(bool firstUpdate) { m_firstUpdate = firstUpdate; }
    bool firstUpdate() const { return m_firstUpdate; }
    void onCloseInterferenceDrawer() { m_interferenceClosedByUser = true; }
    void onCloseLeadWarnDrawer() { m_leadWarningClosedByUser = true; }

private:
    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    EcgChart& m_chart;
    RecordingControl* m_recording = nullptr;
    bool m_firstUpdate = true;
    bool m_interferenceClosedByUser = false;
    bool m_leadWarningClosedByUser = false;
};

#endif
