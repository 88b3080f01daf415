#ifndef MALVORANT_LIVEVIEW_H
#define MALVORANT_LIVEVIEW_H

#include "bridgeparts.h"
#include "ecganalysis.h"
#include "ecganalysisparams.h"
#include "ecgchart.h"
#include "ecgrecords.h"
#include "filters.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

class CRawStreamBt;
class CTonePlayer;
class QmlItems;
class RecordingControl;
class UiPublisher;
class ViewerSettings;

// What the live tick reads: the acquisition stream and the state of its link.
class LiveSource
{
public:
    virtual ~LiveSource() = default;
    virtual bool getData(EcgStreamSample* out) = 0;
    virtual bool isConnected() const = 0;
    virtual bool isBatteryLow() const = 0;
    virtual void startStop(bool start) = 0;
    // Whether a device is chosen to connect to.
    virtual bool hasDevice() const = 0;
};

// The Bluetooth stream as the tick's source.
class BtLiveSource : public LiveSource
{
public:
    explicit BtLiveSource(CRawStreamBt* stream) : m_stream(stream) {}
    bool getData(EcgStreamSample* out) override;
    bool isConnected() const override;
    bool isBatteryLow() const override;
    void startStop(bool start) override;
    bool hasDevice() const override;

private:
    CRawStreamBt* m_stream;
};

// The live view: the 50 ms tick that drains the stream, analyses beats,
// keeps the lead-in ring that feeds a recording, raises the warnings and
// draws the sweep; and the start and stop of the stream.
class LiveView
{
public:
    static constexpr int kRingSize = 2500;
    static constexpr int kRecordingDelay = 1250;
    static constexpr int kMaxPoints = 8000 + 2;
    static constexpr int kWarnAfterSamples = 10000;
    static constexpr int kBeatlessLimit = 2000;
    static constexpr int kCloseAfter = 2000;
    static constexpr int kRetryLimit = 4;
    // Longer than this without a sample, the device counts as silent: two
    // dozen ticks' worth, well short of the stream's own link watchdog.
    static constexpr int kSilenceMs = 1000;

    LiveView(QmlItems& items, const EngineParts& engine, UiPublisher& publisher, EcgChart& chart);
    ~LiveView();

    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // Parts made after the live view.
    void setRecordingControl(RecordingControl* recording) { m_recording = recording; }
    void setViewer(ViewerSettings* viewer) { m_viewer = viewer; }
    void setSource(LiveSource* source) { m_source = source; }
    LiveSource* source() const { return m_source; }
    void setTonePlayer(CTonePlayer* tone) { m_tone = tone; }
    // Called instead of starting the source when no device is chosen yet.
    void setDeviceFinder(std::function<void()> finder) { m_deviceFinder = std::move(finder); }

    void streamStartStop(bool start);
    void updateStreamedEcg(const EcgSeries& series);
    void setFirstUpdate(bool firstUpdate) { m_firstUpdate = firstUpdate; }
    bool firstUpdate() const { return m_firstUpdate; }
    void onCloseInterferenceDrawer() { m_interferenceDismissed = true; }
    void onCloseLeadWarnDrawer() { m_leadWarningDismissed = true; }

    // Species of the animal (0 other or none: no beat analysis): refills the
    // thresholds from its preset, and the delay ring starts again empty
    // unless a recording is taking from it.
    void loadSpeciesAnalysisParams(int species);
    int species() const { return m_species; }
    const EcgAnalysisParams& analysisParams() const { return m_params; }

    // Link state, as the device selection reports it.
    bool isStreaming() const { return m_streaming; }
    // The monitor's screen is up (display state 1), whether or not its
    // stream runs.
    bool isMonitorShown() const;
    bool isConnected() const { return m_connected; }
    void setConnected(bool connected) { m_connected = connected; }
    // One lost link; the fourth since the start stops acquisition.
    void connectRetry();
    int retryCount() const { return m_retries; }
    void requestAbort() { m_abortRequested = true; }
    bool isRecording() const;
    // While a search for the device runs, the busy indicator is its own.
    void setDeviceSearchRunning(bool running) { m_deviceSearchRunning = running; }

    // The lead-in ring: the last kRingSize - 1 records. A recording starts
    // with what it holds and then takes each record as it arrives; its last
    // kRecordingDelay records become the trailer when it stops.
    int ringCount() const { return m_ringCount; }
    bool isLeadInComplete() const { return m_leadInComplete; }
    // Samples reach the live view now: the stream runs, the link is up and
    // the last sample came within kSilenceMs.
    bool samplesArriving() const;
    // A recording may start: the lead-in is complete and samples arrive.
    // What the screen's "isLeadInComplete" shows.
    bool canRecord() const { return m_leadInComplete && samplesArriving(); }
    // Writes what the ring holds to the recording just created, ordinary
    // samples as lead-in (type 45), events with their own type. False when a
    // write failed (the next tick then ends the recording).
    bool writeLeadInToRecording();

    int sampleCount() const { return m_sampleCount; }
    int lastShownRate() const { return m_lastRate; }
    bool batteryLowShown() const { return m_batteryShown; }
    // Live point of trace j at sweep position i (tests).
    QPointF point(int trace, int i) const
    {
        if (trace < 0 || trace >= int(m_points.size()) || i < 0
            || std::size_t(i) >= m_points[std::size_t(trace)].size())
            return {};
        return m_points[std::size_t(trace)][std::size_t(i)];
    }

private:
    void processSample(const EcgStreamSample& sample);
    void analyse(const EcgStreamSample& copy);
    void feedRing(const EcgStreamSample& copy);
    void handleEvent(int type);
    void drawSample(float fI, float fII);
    void drawChart(const EcgSeries& series);
    // Flat traces at their offsets for the current layout, when it changed.
    void prepareTable(bool force);
    void setMark(int position, std::uint8_t bit);
    void stopRecording();
    // Publishes canRecord() when it changed, or always with force.
    void publishCanRecord(bool force = false);
    // The lead-in starts again empty; Record is off until it is complete.
    void clearLeadIn();

    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    EcgChart& m_chart;
    RecordingControl* m_recording = nullptr;
    ViewerSettings* m_viewer = nullptr;
    LiveSource* m_source = nullptr;
    CTonePlayer* m_tone = nullptr;
    std::function<void()> m_deviceFinder;

    bool m_streaming = true;
    bool m_connected = false;
    bool m_wasConnected = false;
    bool m_abortRequested = false;
    bool m_recordingLinkLost = false; // the link dropped under a recording
    bool m_deviceSearchRunning = false;
    int m_retries = 0;
    bool m_firstUpdate = true;
    bool m_interferenceDismissed = false;
    bool m_leadWarningDismissed = false;
    bool m_batteryShown = false;
    bool m_writeFailed = false;

    int m_species = 0;
    EcgAnalysisParams m_params{};
    std::array<CEcgAnalysis, 2> m_analysis;
    std::array<int, 2> m_beatDelay{};
    std::array<bool, 2> m_vectorError{};
    std::array<int, 2> m_beatless{};
    std::array<int, 2> m_wrongPolarity{};
    std::array<IirSection, 2> m_noiseBand{};
    std::array<MovingAverage10, 2> m_noiseAverage{};
    std::array<double, 2> m_noise{};
    int m_leadCloseCounter = 0;
    int m_interferenceCloseCounter = 0;

    int m_lastRate = -1;
    int m_rateRefresh = 0;
    QStringList m_rateTexts; // "0" .. "1000", made once

    std::array<EcgStreamSample, kRingSize> m_ring{};
    int m_ringWrite = 0;
    int m_ringRead = 0;
    int m_ringCount = 0;
    bool m_leadInComplete = false;
    bool m_canRecordShown = false;
    QElapsedTimer m_sinceSample; // invalid until the first sample of a start
    int m_sampleCount = 0;

    // Per derived lead (I, II, III, aVR, aVL, aVF) for the decimated columns.
    struct Column {
        double minimum = 0;
        double maximum = 0;
        double lastDrawn = 0;
        bool lastWasMinimum = false;
    };
    std::array<Column, 6> m_columns{};
    // One table per displayed trace; only indexed, never held across the
    // calls a tick makes back into the bridge.
    std::array<std::vector<QPointF>, 6> m_points;
    int m_tableLength = -1;
    int m_tableMode = -1;
};

#endif
