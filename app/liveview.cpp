#include "liveview.h"

#include "debuglog.h"
#include "fileman.h"
#include "qmlitems.h"
#include "rawstreambt.h"
#include "recordingcontrol.h"
#include "toneplayer.h"
#include "uipublisher.h"
#include "viewersettings.h"

#include <QXYSeries>
#include <QtDebug>

#include <cmath>

using namespace qml;

bool BtLiveSource::getData(EcgStreamSample* out) { return m_stream->getData(out); }
bool BtLiveSource::isConnected() const { return m_stream->socketLayer()->isConnected(); }
bool BtLiveSource::isBatteryLow() const { return m_stream->isBatteryLow(); }
void BtLiveSource::startStop(bool start) { m_stream->startStop(start); }
bool BtLiveSource::hasDevice() const { return !m_stream->selectedAddress().isEmpty(); }

LiveView::LiveView(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                   EcgChart& chart)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_chart(chart)
{
    m_rateTexts.reserve(1001);
    for (int r = 0; r <= 1000; ++r)
        m_rateTexts << QString::number(r);
    fillSpeciesAnalysisParams(m_params, m_species);
}

LiveView::~LiveView() = default;

void LiveView::loadSpeciesAnalysisParams(int species)
{
    m_species = species == kSpeciesCanine || species == kSpeciesFeline ? species : kSpeciesOther;
    fillSpeciesAnalysisParams(m_params, m_species);
    // What the ring holds of a running recording belongs to its file.
    if (isRecording())
        return;
    // A lead-in for the new species is gathered afresh.
    const bool wasComplete = m_leadInComplete;
    clearLeadIn();
    publishCanRecord(wasComplete);
}

void LiveView::clearLeadIn()
{
    m_ringWrite = m_ringRead = m_ringCount = 0;
    m_leadInComplete = false;
}

bool LiveView::samplesArriving() const
{
    return m_streaming && m_connected && m_sinceSample.isValid() && m_sinceSample.elapsed() <= kSilenceMs;
}

void LiveView::publishCanRecord(bool force)
{
    const bool can = canRecord();
    if (!force && can == m_canRecordShown)
        return;
    m_canRecordShown = can;
    m_items.set<P::IsLeadInComplete>(can);
}

bool LiveView::isMonitorShown() const
{
    return m_publisher.displayState() == UiPublisher::Streaming;
}

bool LiveView::isRecording() const
{
    return m_recording && m_recording->isRecording();
}

void LiveView::stopRecording()
{
    if (m_recording)
        m_recording->recordStartStop(false);
}

void LiveView::connectRetry()
{
    // The stream would reconnect under the recording and leave a gap in it
    // that nothing shows: the next tick ends the recording instead.
    if (isRecording()) {
        m_recordingLinkLost = true;
    } else if (m_leadInComplete) {
        // A lead-in with a gap is none: it is gathered again once the link is back.
        clearLeadIn();
        publishCanRecord();
    }
    m_wasConnected = false;
    ++m_retries;
    if (m_retries == kRetryLimit) {
        m_items.set<P::StreamRefreshTimerRunning>(false);
        if (m_source)
            m_source->startStop(false);
        m_items.set<P::IsBtConnected>(false);
        m_items.set<P::BusyIndicatorRunning>(false);
        m_items.set<P::ItsaRetry>(1);
    }
    m_connected = false;
}

void LiveView::streamStartStop(bool start)
{
    debugLog(2, std::string("CQmlInterface::streamStartStop start=") + (start ? "true" : "false") +
                    ", currentFileId=" + toStdString(m_engine.files->currentEcgId()));
    m_streaming = start;
    m_wasConnected = false;
    m_items.set<P::AbortConnecting>(false);
    m_items.set<P::ItsaRetry>(0);
    m_abortRequested = false;
    m_retries = 0;
    m_recordingLinkLost = false;

    // Nothing has arrived from this start (or stop) yet: Record waits for a
    // whole lead-in of samples that do.
    m_sinceSample.invalidate();
    clearLeadIn();
    publishCanRecord(true);
    if (start) {
        m_beatDelay = {};
        m_vectorError = {};
        m_beatless = {};
        for (CEcgAnalysis& a : m_analysis) {
            a.initStream(&m_params);
            a.setMode(6);
        }
        m_wrongPolarity = {};
        for (int c = 0; c < 2; ++c) {
            m_noiseBand[std::size_t(c)].reset();
            m_noiseAverage[std::size_t(c)].reset();
            m_noise[std::size_t(c)] = 0;
        }
        m_rateRefresh = 0;
        m_lastRate = -1;
        m_chart.setStreaming(true);
        m_chart.setSweepPosition(0);
        m_chart.resetColumn();
        prepareTable(true);
        m_publisher.setDisplayState(UiPublisher::Streaming);
        m_firstUpdate = true;
        m_sampleCount = 0;
        m_leadCloseCounter = m_interferenceCloseCounter = 0;
        m_interferenceDismissed = m_leadWarningDismissed = false;
        m_writeFailed = false;
        m_items.set<P::ButtonActionImgType>(0);
        m_items.invoke<C::QmlInitEcgData>();
        m_items.set<P::StreamRefreshTimerRunning>(true);
    } else {
        m_items.set<P::StreamRefreshTimerRunning>(false);
        m_items.set<P::BeatsPerMinuteLabel>(QString());
        m_chart.setStreaming(false);
        if (isRecording()) {
            stopRecording();
        } else if (m_publisher.displayState() == UiPublisher::Streaming) {
            // The monitor stays on screen without its stream: no trace
            // stands there as if it were live, and no stored recording is
            // drawn into it.
            m_items.invoke<C::QmlHideEcg>();
        } else {
            m_publisher.showFile();
        }
        m_items.set<P::IsBtConnected>(false);
        m_connected = false;
    }
    if (!m_source)
        return;
    if (start && !m_source->hasDevice() && m_deviceFinder) {
        // A newcomer has chosen no device yet: an inquiry finds one and
        // starts the stream with it.
        m_deviceFinder();
        return;
    }
    m_source->startStop(start);
}

void LiveView::updateStreamedEcg(const EcgSeries& series)
{
    if (!m_source)
        return;
    const EcgModeLayout* layout = EcgChart::modeLayout(m_chart.displayMode());
    const int traces = layout ? layout->traces : 0;

    if (m_publisher.isLiveView() && !m_source->isConnected()) {
        m_items.set<P::IsBtConnected>(false);
        m_chart.hideEcg(series);
    } else {
        for (int k = 0; k < traces; ++k) {
            if (series[k])
                series[k]->setVisible(true);
        }
        for (int k = EcgSeries::Cursor; k < EcgSeries::Count; ++k) {
            if (series[k])
                series[k]->setVisible(true);
        }
    }

    if (m_firstUpdate && m_publisher.displayState() == UiPublisher::Streaming
        && m_items.isBound(Item::BottomArea) && m_source->isConnected()) {
        m_firstUpdate = false;
        m_sampleCount = 0;
        m_leadCloseCounter = m_interferenceCloseCounter = 0;
        m_interferenceDismissed = m_leadWarningDismissed = false;
        m_items.invoke<C::QmlDoStreaming>();
    }

    if (m_abortRequested) {
        streamStartStop(false);
        m_items.set<P::AbortConnecting>(false);
        m_abortRequested = false;
        return;
    }

    bool gotSample = true;
    EcgStreamSample sample{};
    while (m_streaming && gotSample) {
        gotSample = m_source->getData(&sample);
        const bool connected = m_source->isConnected();
        const bool recordingCut = m_recordingLinkLost && isRecording();
        m_recordingLinkLost = false;
        if (recordingCut || (m_wasConnected && !connected)) {
            m_items.invoke<C::QmlCloseSpecies>();
            // A cut recording is finished, keeps what came and is offered
            // for assignment, with a word why it ended early; the stream
            // comes back when the user returns to the live view.
            const bool wasRecording = isRecording();
            const int kept = wasRecording ? m_recording->viewableSeconds() : 0;
            streamStartStop(false);
            if (wasRecording) {
                debugLogError("the link to the device was lost during a recording, which keeps "
                              + toStdString(kept) + " s");
                m_items.invoke<C::QmlAlertBoxRecordingLinkLost>(kept);
                return;
            }
            streamStartStop(true);
        }
        m_wasConnected = connected;
        m_connected = connected;
        m_items.set<P::IsBtConnected>(connected);
        if (!m_deviceSearchRunning)
            m_items.set<P::BusyIndicatorRunning>(false);
        if (gotSample && connected && m_streaming) {
            processSample(sample);
            if (sample.type >= 0 && isRecording() && m_recording->countSample()) {
                // The chosen time is complete: as when the timer runs out.
                debugLog(2, "recording time reached");
                streamStartStop(false);
                return;
            }
        }
        if (m_writeFailed) {
            // As when the recording time runs out: the recording ends and
            // the stream with it, so nothing is drawn over the recording.
            m_writeFailed = false;
            stopRecording();
            streamStartStop(false);
            return;
        }
        if (m_chart.sweepPosition() == 0 && m_batteryShown && !m_source->isBatteryLow()) {
            m_batteryShown = false;
            debugLog(4, "status check releases batt low event--------------------------------------------------------------");
            m_items.set<P::BatteryLowIndicator>(false);
        }
    }
    // Record follows the samples: off while none arrive.
    publishCanRecord();
    // Nothing the recording took waits in the program for a second.
    if (isRecording() && !m_engine.files->writeThrough()) {
        debugLogError("error writing file");
        stopRecording();
        streamStartStop(false);
        return;
    }
    if (m_streaming)
        drawChart(series);
}

void LiveView::processSample(const EcgStreamSample& sample)
{
    ++m_sampleCount;
    if (sample.type >= 0)
        m_sinceSample.start();
    EcgStreamSample copy = sample;
    if (copy.type == ECG_SAMPLE_RPEAK)
        copy.type = ECG_SAMPLE;

    for (int c = 0; c < 2; ++c) {
        const double value = c == 0 ? copy.leadI : copy.leadII;
        const double band = m_noiseBand[std::size_t(c)].processBandPass(value);
        m_noise[std::size_t(c)] = m_noiseAverage[std::size_t(c)].process(std::fabs(band));
    }
    analyse(copy);
    feedRing(copy);

    const int type = sample.type;
    if (type < 0) {
        handleEvent(type);
        return;
    }
    if (m_tone && type == ECG_SAMPLE_RPEAK && m_viewer && m_viewer->params().playHeartBeatActive)
        m_tone->play();

    const float fI = m_viewer ? float(m_viewer->displayChain(0).process(sample.leadI)) : sample.leadI;
    const float fII = m_viewer ? float(m_viewer->displayChain(1).process(sample.leadII)) : sample.leadII;

    int rate = m_analysis[1].getHeartRate();
    if (rate > 1000 || rate < 0)
        rate = 0;
    if (m_rateRefresh >= 30) {
        m_rateRefresh = 0;
        m_lastRate = -1;
    } else {
        ++m_rateRefresh;
    }
    if (rate != m_lastRate) {
        m_lastRate = rate;
        m_items.set<P::BeatsPerMinuteLabel>(m_rateTexts[rate]);
    }
    drawSample(fI, fII);
}

void LiveView::analyse(const EcgStreamSample& copy)
{
    if (m_species == kSpeciesOther) {
        m_items.set<P::WarningLeadPlacement>(false);
        m_items.set<P::VectorError0>(false);
        m_items.set<P::VectorError1>(false);
        m_items.invoke<C::QmlInterferenceWarningClose>();
        m_items.invoke<C::QmlLeadWarningClose>();
        return;
    }
    const bool hints = m_viewer && m_viewer->params().showIndicatorHints;
    const bool late = m_sampleCount > kWarnAfterSamples;
    for (int c = 0; c < 2; ++c) {
        const std::size_t i = std::size_t(c);
        CEcgAnalysis& a = m_analysis[i];
        const int delay = a.analyzeEcg(&copy, &m_params, c);
        m_beatDelay[i] = delay;
        if (delay <= 0)
            continue;
        if (a.getMatchIndex() > 24 || m_noise[i] > 24) {
            m_vectorError[i] = true;
            if (c == 0)
                m_items.set<P::VectorError0>(true);
            else
                m_items.set<P::VectorError1>(true);
            if (!m_interferenceDismissed && hints && late)
                m_items.invoke<C::QmlInterferenceWarning>();
            m_interferenceCloseCounter = 0;
        } else {
            m_vectorError[i] = false;
            if (c == 0)
                m_items.set<P::VectorError0>(false);
            else
                m_items.set<P::VectorError1>(false);
        }
        m_beatless[i] = 0;
        if (a.getPolarity())
            m_wrongPolarity[i] = 0;
        else if (m_wrongPolarity[i] < 1000 && !m_vectorError[i])
            ++m_wrongPolarity[i];
        // The beat lines are built only when the log takes them.
        if (!g_pDebugLog || g_pDebugLog->level() < 2)
            continue;
        const char* name = c == 0 ? "I" : "II";
        debugLog(2, std::string("Noise Amplitude ") + name + ": " + toStdString(m_noise[i]));
        debugLog(2, std::string("Amplitude ") + name + ": " + toStdString(a.getAmplitude(c)));
        debugLog(2, std::string("MatchIndex ") + name + " :" + toStdString(a.getMatchIndex()));
        debugLog(2, std::string("Polarity ") + name + " :" + toStdString(int(a.getPolarity())));
    }
    bool placement = false;
    for (int c = 0; c < 2; ++c) {
        const std::size_t i = std::size_t(c);
        ++m_beatless[i];
        if (m_beatless[i] > kBeatlessLimit || m_wrongPolarity[i] > 4) {
            if (c == 0)
                m_items.set<P::VectorError0>(true);
            else
                m_items.set<P::VectorError1>(true);
            if (!m_leadWarningDismissed && hints && late)
                m_items.invoke<C::QmlLeadWarning>();
            m_leadCloseCounter = 0;
            placement = true;
        }
        if (m_vectorError[i])
            placement = true;
    }
    m_items.set<P::WarningLeadPlacement>(placement);
    if (++m_leadCloseCounter > kCloseAfter) {
        m_items.invoke<C::QmlLeadWarningClose>();
        m_leadCloseCounter = 0;
    }
    if (++m_interferenceCloseCounter > kCloseAfter) {
        m_items.invoke<C::QmlInterferenceWarningClose>();
        m_interferenceCloseCounter = 0;
    }
}

void LiveView::feedRing(const EcgStreamSample& copy)
{
    // The ring keeps the last kRingSize - 1 records as they came: the lead-in
    // of the next recording.
    m_ring[std::size_t(m_ringWrite)] = copy;
    m_ringWrite = (m_ringWrite + 1) % kRingSize;
    if (++m_ringCount >= kRingSize) {
        m_ringCount = kRingSize - 1;
        m_ringRead = (m_ringRead + 1) % kRingSize;
        m_leadInComplete = true;
        publishCanRecord();
    }
    // A recording takes each record as it arrives, so nothing it holds
    // waits in the program longer than the write-through allows.
    if (isRecording() && !m_engine.files->addEntry(copy) && !m_writeFailed) {
        debugLogError("error writing file");
        m_writeFailed = true;
    }
}

bool LiveView::writeLeadInToRecording()
{
    bool ok = true;
    for (int k = 0; k < m_ringCount && ok; ++k) {
        EcgStreamSample record = m_ring[std::size_t((m_ringRead + k) % kRingSize)];
        if (record.type == ECG_SAMPLE)
            record.type = ECG_SAMPLE_LEADIN;
        ok = m_engine.files->addEntry(record);
    }
    if (!ok && !m_writeFailed) {
        // The next tick ends the recording as after any failed write.
        debugLogError("error writing file");
        m_writeFailed = true;
    }
    return ok;
}

void LiveView::setMark(int position, std::uint8_t bit)
{
    std::vector<std::uint8_t>& marks = m_chart.liveMarkers();
    if (position >= 0 && std::size_t(position) < marks.size())
        marks[std::size_t(position)] |= bit;
}

void LiveView::handleEvent(int type)
{
    const int p = m_chart.sweepPosition();
    switch (type) {
    case ECG_EVENT_USER_MARK1: setMark(p, EcgChart::MarkUser1); break;
    case ECG_EVENT_USER_MARK2: setMark(p, EcgChart::MarkUser2); break;
    case ECG_EVENT_USER_MARK3: setMark(p, EcgChart::MarkUser3); break;
    case ECG_EVENT_USER_MARK4: setMark(p, EcgChart::MarkUser4); break;
    case ECG_EVENT_RECORD_TOGGLE:
        if (!isRecording() && m_leadInComplete && m_recording) {
            debugLog(2, "recording invoked by device");
            m_recording->recordStartStop(true);
        }
        break;
    case ECG_EVENT_CHANNEL_ERROR:
    case ECG_EVENT_PACKET_ERROR:
        setMark(p, EcgChart::MarkError);
        debugLog(2, "got an error indicator=" + toStdString(type));
        break;
    case ECG_EVENT_BATTERY_LOW:
        debugLog(4, "-----------------------------------------------------------received batt low event");
        if (!m_batteryShown)
            m_items.set<P::BatteryLowIndicator>(true);
        m_batteryShown = true;
        break;
    default:
        break;
    }
}

void LiveView::prepareTable(bool force)
{
    const int length = std::min<int>(m_chart.sweepLength(), kMaxPoints);
    const int mode = m_chart.displayMode();
    if (!force && length == m_tableLength && mode == m_tableMode)
        return;
    m_tableLength = length;
    m_tableMode = mode;
    const EcgModeLayout* layout = EcgChart::modeLayout(mode);
    if (!layout || length <= 0)
        return;
    // Room for this sweep and two spare positions: the longest sweep's
    // tables cost memory only once a speed asks for them.
    const std::size_t room = std::size_t(length) + 2;
    if (m_points[0].size() < room) {
        for (auto& table : m_points)
            table.resize(room);
    }
    for (int j = 0; j < layout->traces; ++j) {
        std::vector<QPointF>& table = m_points[std::size_t(j)];
        for (int i = 0; i < length; ++i)
            table[std::size_t(i)] = QPointF(double(i) / length, layout->offset[j]);
    }
}

void LiveView::drawSample(float fI, float fII)
{
    prepareTable(false);
    const EcgModeLayout* layout = EcgChart::modeLayout(m_chart.displayMode());
    const int length = m_chart.sweepLength();
    if (!layout || length <= 0)
        return;
    const float derived[6] = {fI, fII, fII - fI, -(fI + fII) / 2.0f, fI - fII / 2.0f, fII - fI / 2.0f};
    const double k = m_chart.verticalScale();
    const int decimation = m_chart.decimationFactor();
    int p = m_chart.sweepPosition();
    if (p >= length)
        p = 0;
    // The tables hold two spare positions beyond the longest sweep.
    const std::size_t capacity = m_points[0].size();

    if (decimation <= 1) {
        for (int j = 0; j < layout->traces; ++j) {
            const double y = k * derived[layout->lead[j]] + layout->offset[j];
            if (std::size_t(p) < capacity)
                m_points[std::size_t(j)][std::size_t(p)] = QPointF(double(p) / length, y);
        }
        p = (p + 1) % length;
        std::vector<std::uint8_t>& marks = m_chart.liveMarkers();
        if (std::size_t(p) < marks.size())
            marks[std::size_t(p)] = 0;
        m_chart.setSweepPosition(p);
        return;
    }

    const int fill = m_chart.columnFill();
    for (int j = 0; j < layout->traces; ++j) {
        const int s = layout->lead[j];
        Column& col = m_columns[std::size_t(s)];
        const double v = derived[s];
        if (fill == 0) {
            col.minimum = col.maximum = v;
        } else if (v < col.minimum) {
            col.minimum = v;
            col.lastWasMinimum = true;
        } else if (v > col.maximum) {
            col.maximum = v;
            col.lastWasMinimum = false;
        }
    }
    m_chart.setColumnFill(fill + 1);
    if (fill + 1 < decimation)
        return;
    for (int j = 0; j < layout->traces; ++j) {
        const int s = layout->lead[j];
        Column& col = m_columns[std::size_t(s)];
        const double first = col.lastWasMinimum ? col.maximum : col.minimum;
        const double second = col.lastWasMinimum ? col.minimum : col.maximum;
        std::vector<QPointF>& table = m_points[std::size_t(j)];
        if (std::size_t(p) + 1 < capacity) {
            table[std::size_t(p)] = QPointF(double(p) / length, k * first + layout->offset[j]);
            table[std::size_t(p) + 1] = QPointF(double(p + 1) / length, k * second + layout->offset[j]);
        }
        col.lastDrawn = second;
    }
    p = (p + 2) % length;
    std::vector<std::uint8_t>& marks = m_chart.liveMarkers();
    for (int q : {p, p + 1}) {
        if (std::size_t(q) < marks.size())
            marks[std::size_t(q)] = 0;
    }
    m_chart.setSweepPosition(p);
    m_chart.resetColumn();
}

namespace {

// Hands points to a series only when they differ from what it shows: an
// unchanged series costs the chart nothing, a replaced one a new upload.
void replaceIfChanged(QXYSeries* series, const QList<QPointF>& points)
{
    if (series && series->points() != points)
        series->replace(points);
}

} // namespace

void LiveView::drawChart(const EcgSeries& series)
{
    prepareTable(false);
    const EcgModeLayout* layout = EcgChart::modeLayout(m_chart.displayMode());
    const int length = std::min<int>(m_chart.sweepLength(), int(m_points[0].size()));
    if (!layout || length <= 0)
        return;
    for (int j = 0; j < layout->traces; ++j) {
        const std::vector<QPointF>& table = m_points[std::size_t(j)];
        replaceIfChanged(series[j], QList<QPointF>(table.begin(), table.begin() + length));
    }
    const double x = double(m_chart.sweepPosition()) / length;
    replaceIfChanged(series[EcgSeries::Cursor], QList<QPointF>{{x, 0.0}, {x, 1.0}});

    QList<QPointF> errors;
    QList<QPointF> marks;
    const std::vector<std::uint8_t>& bits = m_chart.liveMarkers();
    const int count = std::min<int>(length, int(bits.size()));
    for (int i = 0; i < count; ++i) {
        const std::uint8_t b = bits[std::size_t(i)];
        if (!b)
            continue;
        const double xi = double(i) / length;
        if (b & EcgChart::MarkError) {
            const bool up = errors.size() % 4 == 0;
            errors.append(QPointF(xi, up ? -0.5 : 1.5));
            errors.append(QPointF(xi, up ? 1.5 : -0.5));
        }
        if (b & (EcgChart::MarkUser1 | EcgChart::MarkUser2 | EcgChart::MarkUser3 | EcgChart::MarkUser4)) {
            const bool up = marks.size() % 4 == 0;
            marks.append(QPointF(xi, up ? -0.5 : 1.5));
            marks.append(QPointF(xi, up ? 1.5 : -0.5));
        }
    }
    replaceIfChanged(series[EcgSeries::Error], errors);
    replaceIfChanged(series[EcgSeries::Marker], marks);
}
