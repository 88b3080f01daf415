#ifndef MALVORANT_RECORDINGCONTROL_H
#define MALVORANT_RECORDINGCONTROL_H

#include "bridgeparts.h"

#include <memory>

class EcgChart;
class LiveView;
class QTimer;
class QmlItems;
class UiPublisher;

// Recording: start, stop, the recording timer, bookmarks and the species
// analysis presets.
class RecordingControl
{
public:
    RecordingControl(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                     LiveView& live, EcgChart& chart);
    ~RecordingControl();

    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    // A second start while recording, or a stop without a recording, does nothing.
    void recordStartStop(bool doStart);
    void recordingTimerExpired();
    // The program ends: a running recording is finished and committed.
    void finishOnQuit();
    void setBookmark(int filPos, int posX);
    void deleteBookmark();
    void onRecordSpeciesSelector(int species);
    void setSpeciesPicker(int setSpecies);
    bool isRecording() const { return m_recording; }
    // One ordinary sample went into the running recording; true once the
    // chosen time of viewable ECG plus the ring's delay is complete (the
    // timer on the wall clock is the backstop for a lagging device).
    bool countSample();
    // Whole seconds of viewable ECG the running (or last) recording holds:
    // the samples taken without the trailer the stop marks.
    int viewableSeconds() const;
    // Milliseconds the recording timer was started with (0: not running).
    int timerInterval() const;

    // The stream holds recordingTime seconds of viewable entries plus the
    // ring's delay (1,250 samples of 2 ms), which the stop marks as trailer.
    static int timerIntervalFor(int recordingSeconds);
    // The patients' species code of the analysis species chosen for a
    // recording (0 when it names none).
    static int storedSpeciesOf(int analysisSpecies);
    static constexpr int kGraceMs = 2000;

private:
    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    LiveView& m_live;
    EcgChart& m_chart;
    std::unique_ptr<QTimer> m_timer;
    bool m_recording = false;
    int m_samples = 0;
    int m_targetSamples = 0; // 0: until stopped
    bool m_graceGiven = false;
};

#endif
