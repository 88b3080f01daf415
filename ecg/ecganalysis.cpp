#include "ecganalysis.h"

#include "debuglog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr double kDetectorScale = 5.2; // detector units per sample unit
constexpr int kPeakSearch = 75;        // samples searched for the peak after a beat start
constexpr int kLeadSearch = 67;        // detrend span of the other leads

bool logOn(int level)
{
    return g_pDebugLog && g_pDebugLog->level() >= level;
}

// The detector's integer input: the lead times 5.2, rounded up from .5 and
// truncated. Values no device can send (and NaN) are held to a range the
// detector's integer sums cannot overflow in.
int detectorInput(float lead)
{
    const double v = lead * kDetectorScale + 0.5;
    if (!(v > -1.0e6))
        return v != v ? 0 : -1000000;
    if (v > 1.0e6)
        return 1000000;
    return int(v);
}
}

void CEcgAnalysis::RrHistory::push(int v)
{
    std::memmove(rr + 1, rr, 7 * sizeof(int));
    rr[0] = v;
    if (count < 8)
        ++count;
}

int CEcgAnalysis::RrHistory::mean() const
{
    if (count <= 0)
        return 0;
    long long sum = 0;
    for (int i = 0; i < count; ++i)
        sum += rr[i];
    return int((sum + count / 2) / count);
}

double CEcgAnalysis::RrHistory::variability(int m) const
{
    if (count <= 1)
        return 15.0;
    if (m == 0)
        return 50.0;
    double sum = 0.0;
    for (int i = 0; i + 1 < count; ++i)
        sum += std::abs(rr[i] - rr[i + 1]);
    return sum / (count - 1) * 100.0 / m;
}

CEcgAnalysis::CEcgAnalysis()
    : m_ring(kRingSize)
{
    fillDefaultAnalysisParams(m_defaults);
    std::memset(&m_sample, 0, sizeof(m_sample));
    std::memset(m_recent, 0, sizeof(m_recent));
    std::memset(&m_window, 0, sizeof(m_window));
    m_history.clear();
    m_rrRing.init();
    m_diffRing.init();
    m_rateRing.init();
    m_chain50.init();
    m_chain60.init();
}

CEcgAnalysis::~CEcgAnalysis() = default;

int CEcgAnalysis::wrap(std::int64_t i)
{
    if (i >= 0 && i < kRingSize)
        return int(i);
    const std::int64_t m = i % kRingSize;
    return int(m < 0 ? m + kRingSize : m);
}

float CEcgAnalysis::leadOf(const EcgStreamSample& s, int channel)
{
    return channel == 0 ? s.leadI : channel == 1 ? s.leadII : s.leadIII;
}

float CEcgAnalysis::ringLead(const RingEntry& e, int lead)
{
    return lead == 0 ? e.leadI : lead == 1 ? e.leadII : e.leadIII;
}

double CEcgAnalysis::getAmplitude(int lead) const
{
    return lead >= 0 && lead < 3 ? m_amplitude[lead] : 0.0;
}

void CEcgAnalysis::initStream(const EcgAnalysisParams* params)
{
    m_params = params;
    m_status = 0;
    m_recentCount = 0;
    m_writeIndex = 0;
    m_positiveVotes = m_negativeVotes = 0;
    m_expectedRr = 0;
    m_tolerance = 0.0f;
    m_lastRr = m_rrBefore = 0;
    m_sinusArrests = 0;
    m_lastBeat = m_expected = m_earliest = m_latest = -1;

    if (!m_params) {
        fillDefaultAnalysisParams(m_defaults);
        m_params = &m_defaults;
    }
    const EcgAnalysisParams& p = *m_params;
    m_templates.setParams(p[kEapTemplateWidth] / 2, p[kEapTemplateMerge],
                          p[kEapTemplateScale] / 10.0, p[kEapTemplateFloor] / kDetectorScale,
                          p[kEapAmplitudeCeiling] / kDetectorScale);

    std::memset(&m_window, 0, sizeof(m_window));
    std::fill(m_ring.begin(), m_ring.end(), RingEntry{0, 0, 0, 0, 0, 0, 0});
    m_rrRing.setCapacity(7);
    m_diffRing.setCapacity(7);

    if (m_beats.empty()) {
        try {
            m_beats.resize(kBeatGrowth);
        } catch (const std::bad_alloc&) {
            debugLogError("memory allocation error in CEcgAnalysis::initStream()");
        }
    }
    m_templates.prepare();
    m_beatCount = 0;
    m_lastCompaction = 0; // compaction counts from the stream's first beat

    m_result = 0;
    m_processed = 0;
    m_counter = 0;
    m_chain50.lowPass = m_chain60.lowPass = 0;
    m_chain50.highPass = m_chain60.highPass = 0;
    m_chain50.notch = 50;
    m_chain60.notch = 60;
    m_chain50.reset();
    m_chain60.reset();
    m_rateRing.setCapacity(4);
    m_rateRr = 0;
}

int CEcgAnalysis::newDrawer(std::int64_t beat)
{
    m_templates.setLogging((m_mode & kModeTemplateLines) != 0);
    return m_templates.newDrawer(m_window, beat);
}

// Learning stage: the beats' main direction is voted on while the record asks for it.
void CEcgAnalysis::learningStage(int channel, bool& bad)
{
    bad = false;
    if (channel < 0 || channel > 2) {
        // Nothing is stored and no counter moves.
        debugLogError("ecGAnalyze() case1 bad rrChannel=" + toStdString(channel));
        bad = true;
        return;
    }
    m_processed = 0;
    ++m_counter;
    if (m_sample.type >= 0) {
        m_processed = 1;
        const float lead = leadOf(m_sample, channel);
        m_ring[std::size_t(m_writeIndex)].lead = lead;
        bool sb = false;
        m_result = m_detector.stepWithLog(detectorInput(lead), sb);
        if (m_result > 0 && logOn(2))
            debugLog(2, "delay " + toStdString(m_result) + "on Chnannel: " + toStdString(channel));
        if (m_result > 0 && m_counter - m_result > 500 && m_result < kRingSize - 3) {
            const int b = wrap(std::int64_t(m_writeIndex) - m_result);
            const EcgAnalysisParams& p = *m_params;
            m_peakFinder.reset(0, p[kEapNotchDepth] != 0, p[kEapNotchDepth] / kDetectorScale,
                               p[kEapNotchHeight] / kDetectorScale, 10);
            for (int k = 0; k < kPeakSearch; ++k) {
                const int idx = wrap(b + k);
                if (idx == m_writeIndex)
                    break;
                m_peakFinder.addSample(k, m_ring[std::size_t(idx)].lead);
            }
            int maxAt, minAt, notchAt;
            double maxV, minV, notchV;
            bool maxReal, minReal;
            m_peakFinder.getMax(maxAt, maxV, notchAt, notchV, maxReal);
            m_peakFinder.getMin(minAt, minV, notchAt, notchV, minReal);
            auto level = [&](int at, double v, bool real) {
                if (!real || at < 0)
                    return v;
                double sum = 0.0;
                int n = 0;
                for (int k = at - 6; k < at + 6; ++k) {
                    const int idx = wrap(b + k);
                    if (idx == m_writeIndex)
                        break;
                    sum += m_ring[std::size_t(idx)].lead;
                    ++n;
                }
                return n > 0 ? sum / n : v;
            };
            const double maxLevel = level(maxAt, maxV, maxReal);
            const double minLevel = level(minAt, minV, minReal);
            double pos = maxV - maxLevel;
            double neg = minLevel - minV;
            if (pos <= 30.0)
                pos = 0.0;
            if (neg <= 30.0)
                neg = 0.0;
            if (pos > 0.0 || neg > 0.0) {
                if ((maxV - maxLevel) * 5.0 >= (minLevel - minV) * 4.0)
                    ++m_positiveVotes;
                else
                    ++m_negativeVotes;
            }
        }
        m_writeIndex = wrap(m_writeIndex + 1);
    }
    m_polarityState = m_positiveVotes >= m_negativeVotes;
}

int CEcgAnalysis::analyzeEcg(const EcgStreamSample* sample, const EcgAnalysisParams* params,
                             int channel)
{
    m_channel = channel;
    m_result = 0;
    if (params)
        m_params = params;
    if (!m_params)
        m_params = &m_defaults;
    if (!sample)
        return 0;
    const EcgAnalysisParams& p = *m_params;
    m_polarityState = true;

    if (p.learningFlag()) {
        m_sample = *sample;
        bool bad = false;
        learningStage(channel, bad);
        if (bad)
            return 0;
    }

    m_sample = *sample;
    // A value that is not a number would stay in the filters for good.
    for (float* v : {&m_sample.leadI, &m_sample.leadII, &m_sample.leadIII})
        if (!std::isfinite(*v))
            *v = 0.0f;
    if (m_sample.type < 0) {
        if (m_sample.type == ECG_EVENT_BATTERY_LOW)
            m_status |= int(kBeatBatteryLow);
        else if (m_sample.type == ECG_EVENT_CHANNEL_ERROR)
            m_status |= int(kBeatChannelError);
        else if (m_sample.type == ECG_EVENT_PACKET_ERROR)
            m_status |= int(kBeatStreamError);
        ++m_counter;
    } else {
        if (channel < 0 || channel > 2) {
            debugLogError("ecGAnalyze() case2 bad rrChannel=" + toStdString(channel));
            return 0;
        }
        const float lead = leadOf(m_sample, channel);
        RingEntry& e = m_ring[std::size_t(m_writeIndex)];
        e.lead = lead;
        e.leadI = m_sample.leadI;
        e.leadII = m_sample.leadII;
        e.leadIII = m_sample.leadIII;
        e.counter = m_counter;
        e.processed = m_processed;
        e.filtered = channel == 2 ? m_sample.leadIII
                                  : float(m_chain50.process(m_chain60.process(lead)));

        m_result = m_detector.step(detectorInput(lead), m_searchBack);
        if (m_result > 0 && logOn(2))
            debugLog(2, "delay " + toStdString(m_result) + "on ECG Chnannel: " + toStdString(channel));

        // A beat reported so far back that its start has left the ring is not examined.
        if (m_result > 0 && m_processed - m_result > 1000 && m_result < kRingSize - 3) {
            m_beatTableFailed = false;
            examineBeat(p, channel);
            if (m_beatTableFailed) {
                // The sample is not counted; the next one goes on from here.
                m_result = 0;
                return 0;
            }
        }

        ++m_processed;
        m_writeIndex = m_writeIndex + 1 == kRingSize ? 0 : m_writeIndex + 1;
        ++m_counter;
    }

    if (m_rateRr > 0 && channel == 1 && m_result > 0) {
        m_rateRing.push(30000 / m_rateRr);
        m_heartRate = m_rateRing.mean();
    }
    return m_result;
}

void CEcgAnalysis::examineBeat(const EcgAnalysisParams& p, int channel)
{
    // Positions inside the search are offsets from the beat start, so a window
    // across the ring's end is searched like any other.
    const int b = wrap(std::int64_t(m_writeIndex) - m_result);
    m_peakFinder.reset(0, p[kEapNotchDepth] != 0, p[kEapNotchDepth] / kDetectorScale,
                       p[kEapNotchHeight] / kDetectorScale, 10);
    const double base = m_ring[std::size_t(b)].lead;
    const double slope = (m_ring[std::size_t(wrap(b + kPeakSearch))].lead - base) / kPeakSearch;
    for (int k = 0; k < kPeakSearch; ++k) {
        const int idx = wrap(b + k);
        if (idx == m_writeIndex)
            break;
        m_peakFinder.addSample(k, m_ring[std::size_t(idx)].lead - base - k * slope);
    }
    int maxAt, minAt, maxNotchAt, minNotchAt;
    double maxV, minV, maxNotchV, minNotchV;
    bool maxReal, minReal;
    const bool maxNotch = m_peakFinder.getMax(maxAt, maxV, maxNotchAt, maxNotchV, maxReal);
    const bool minNotch = m_peakFinder.getMin(minAt, minV, minNotchAt, minNotchV, minReal);
    const bool hasMax = maxAt != -1;
    const bool hasMin = minAt != -1;

    bool positive = m_polarityState;
    if (hasMax && m_polarityState && maxV >= -minV)
        positive = true;
    else if (hasMin && !m_polarityState && -minV > maxV)
        positive = false;
    else if (hasMax && maxV > -1.7 * minV)
        positive = true;
    else if (hasMin && -minV > 1.9 * maxV)
        positive = false;
    if (!hasMax)
        positive = false;

    bool hasNotch;
    int peakAt, notchAt;
    if (positive) {
        m_amplitude[channel] = maxV;
        hasNotch = maxNotch;
        peakAt = maxAt;
        notchAt = maxNotchAt;
        m_leadPolarity[channel] = 1;
        m_polarity = true;
    } else {
        m_amplitude[channel] = -minV;
        hasNotch = minNotch;
        peakAt = minAt;
        notchAt = minNotchAt;
        m_leadPolarity[channel] = 0;
        m_polarity = false;
    }
    if (logOn(2))
        debugLog(2, "amplitude: " + toStdString(m_amplitude[1]));
    if (hasNotch && notchAt < peakAt)
        peakAt = notchAt;
    if (peakAt == -1)
        return;
    const int peak = wrap(b + peakAt);

    // The other two leads: the extreme of seven detrended values around the peak.
    for (int lead = 0; lead < 3; ++lead) {
        if (lead == channel)
            continue;
        const double lb = ringLead(m_ring[std::size_t(b)], lead);
        const double ls = (ringLead(m_ring[std::size_t(wrap(b + kLeadSearch))], lead) - lb) / kLeadSearch;
        double hi = 0.0, lo = 0.0;
        for (int j = -3; j <= 3; ++j) {
            const int offset = peakAt + j;
            const double v = ringLead(m_ring[std::size_t(wrap(b + offset))], lead) - lb - ls * offset;
            if (j == -3 || v > hi)
                hi = j == -3 ? v : std::max(hi, v);
            if (j == -3 || v < lo)
                lo = j == -3 ? v : std::min(lo, v);
        }
        if ((hi > 0.0 && lo > 0.0) || hi > -lo) {
            m_amplitude[lead] = hi;
            m_leadPolarity[lead] = 1;
        } else {
            m_amplitude[lead] = -lo;
            m_leadPolarity[lead] = 0;
        }
    }

    const std::int64_t peakProcessed = m_ring[std::size_t(peak)].processed;
    const bool nearLast = m_lastBeat == -1
        || peakProcessed - m_lastBeat < p[kEapRefractory] / 2 + 10;
    const bool outsideWindow = peakProcessed < m_earliest || peakProcessed > m_latest;
    if (nearLast && outsideWindow && isFlatPeak(p, peak, peakProcessed))
        return;

    if (m_result > 0)
        acceptBeat(p, channel, peak);
}

bool CEcgAnalysis::isFlatPeak(const EcgAnalysisParams& p, int peak, std::int64_t peakProcessed)
{
    const bool up = m_leadPolarity[m_channel] == 1;
    int extreme = wrap(peak + 5);
    float best = m_ring[std::size_t(extreme)].filtered;
    for (int k = 1; k < 11; ++k) {
        const int idx = wrap(peak + 5 + k);
        const float v = m_ring[std::size_t(idx)].filtered;
        if (up ? v > best : v < best) {
            best = v;
            extreme = idx;
        }
    }
    double sum = 0.0;
    for (int k = -3; k < 3; ++k)
        sum += std::fabs(m_ring[std::size_t(wrap(extreme + k + 1))].filtered
                         - m_ring[std::size_t(wrap(extreme + k))].filtered);
    if (sum / 6.0 >= p[kEapFlatSlope] / kDetectorScale)
        return false;

    if ((m_mode & kModeBeatLines) && logOn(2))
        debugLog(2, "*** Skipping flat peak at filepos=" + toStdString(static_cast<long long>(m_ring[std::size_t(peak)].counter)));
    m_result = 0;
    if (m_earliest < peakProcessed) {
        m_expected += m_expectedRr;
        m_earliest += m_expectedRr;
        m_latest += m_expectedRr;
    }
    return true;
}

void CEcgAnalysis::acceptBeat(const EcgAnalysisParams& p, int channel, int peak)
{
    const RingEntry& pe = m_ring[std::size_t(peak)];
    const std::uint8_t polarity = m_leadPolarity[channel];
    if (m_recentCount == 0) {
        m_recent[0] = RecentBeat{peak, pe.counter, pe.processed, polarity, false, m_status};
        m_recentCount = 1;
        return;
    }
    const RecentBeat& newest = m_recent[m_recentCount - 1];
    const std::int64_t distance = pe.processed - newest.processed;
    if (distance < (p[kEapShortestRr2] + 1) / 2) {
        if ((m_mode & kModeBeatLines) && logOn(2))
            debugLog(2, "*** ignoring possible beat at " + toStdString(peak) + ", ms to last beat: "
                     + toStdString(static_cast<long long>(2 * distance)));
        return;
    }

    m_lastBeat = pe.processed;
    if (channel == 1) {
        if (logOn(2))
            debugLog(2, "rrLeft: " + toStdString(m_lastRr));
        m_rateRr = m_lastRr;
    }

    bool premature = false;
    m_rrBefore = m_lastRr;
    m_lastRr = int(std::min<std::int64_t>(m_lastBeat - newest.processed, 0x7fffffff));
    if (m_recentCount == 1)
        m_rrBefore = m_lastRr;
    m_history.push(m_lastRr);
    m_rrDifference = m_rrBefore - m_lastRr;

    if (m_beatCount >= 3 && m_lastRr > 0) {
        const int d = m_diffRing.mean();
        premature = d != 0 && m_lastRr <= 166 && double(m_rrBefore) / m_lastRr >= 1.3
            && double(m_rrDifference) / d >= 1.25
            && (m_beatCount < 7 || m_lastRr < m_rrRing.rankValue());
    }
    m_rrRing.push(m_lastRr);
    m_diffRing.push(std::abs(m_rrDifference));
    if (premature && (m_mode & kModeBeatLines) && logOn(2))
        debugLog(2, "beat at " + toStdString(static_cast<long long>(m_lastBeat)) + " is premature");

    m_expectedRr = m_history.mean();
    double tolerance = m_history.variability(m_expectedRr);
    if (p[kEapRrTolerance] > tolerance)
        tolerance = p[kEapRrTolerance];
    else
        tolerance = std::min(tolerance, 50.0);
    m_tolerance = float(tolerance);
    m_expected = m_lastBeat + m_expectedRr;
    m_earliest = m_lastBeat + std::int64_t(m_expectedRr * (100.0 - tolerance) / 100.0);
    m_latest = m_lastBeat + std::int64_t(m_expectedRr * (100.0 + tolerance) / 100.0);

    const RecentBeat entry{peak, pe.counter, pe.processed, polarity, premature, m_status};
    if (m_recentCount < 3) {
        m_recent[m_recentCount++] = entry;
    } else {
        m_recent[0] = m_recent[1];
        m_recent[1] = m_recent[2];
        m_recent[2] = entry;
    }
    m_status = 0;
    if (m_recentCount == 3 && !makeBeatRecord(p))
        m_beatTableFailed = true;
}

bool CEcgAnalysis::makeBeatRecord(const EcgAnalysisParams& p)
{
    if (m_beatCount >= int(m_beats.size())) {
        const std::size_t capacity = m_beats.size() + kBeatGrowth;
        if (logOn(2))
            debugLog(2, "reallocating beats, now at " + toStdString(static_cast<long long>(capacity)));
        try {
            m_beats.resize(capacity);
        } catch (const std::bad_alloc&) {
            debugLogError("memory allocation error in CEcgAnalysis::analyzeEcg() line " + toStdString(994));
            return false;
        }
    }
    const RecentBeat& o = m_recent[0];
    const RecentBeat& m = m_recent[1];
    const RecentBeat& n = m_recent[2];
    EcgBeatRecord& r = m_beats[std::size_t(m_beatCount)];
    r.polarity = m.polarity;
    r.position = m.counter;
    r.processedPosition = m.processed;
    r.rrAfter = int(n.processed - m.processed);
    r.rrBefore = int(m.processed - o.processed);
    r.windowStart = r.position - std::int64_t(std::min(p[kEapWindowBefore] * 1.25 / kDetectorScale, r.rrBefore * 4.0 / 10.0));
    r.windowEnd = r.position + std::int64_t(std::min(p[kEapRefractory] * 1.25 / kDetectorScale, r.rrAfter * 5.0 / 10.0));
    r.flags = std::uint64_t(m.status & 7);
    if (m.premature) {
        r.flags |= kBeatPremature;
        if (p[kEapPrematureFlag] < 0)
            r.flags |= kBeatPrematureNegative;
    }
    if (m_beatCount > 2) {
        const int older = m_beats[std::size_t(m_beatCount - 2)].rrBefore;
        const int previous = m_beats[std::size_t(m_beatCount - 1)].rrBefore;
        if (std::int64_t(older) + previous < r.rrBefore) {
            r.flags |= kBeatSinusArrest;
            ++m_sinusArrests;
            if ((m_mode & kModeArrestLines) && logOn(2))
                debugLog(2, "Sinus arrest at fpos=" + toStdString(static_cast<long long>(r.position))
                         + ", rrLeft2=" + toStdString(older) + ", rrLeft1=" + toStdString(previous)
                         + ", rrLeft=" + toStdString(r.rrBefore));
        }
    }
    r.classCode = 13;
    r.nextInTemplate = -1;
    r.templateLink = -1;
    r.reserved[0] = r.reserved[1] = r.reserved[2] = 0;

    // The beat's 1.5-second window of the three leads.
    const int start = wrap(std::int64_t(m.ringIndex) - EcgBeatWindow::kPeak);
    IirSection s[3];
    for (auto& section : s)
        section.init();
    for (int k = 0, idx = start; k < EcgBeatWindow::kLength; ++k, idx = idx + 1 == kRingSize ? 0 : idx + 1) {
        const RingEntry& e = m_ring[std::size_t(idx)];
        m_window.raw[0][k] = e.leadI;
        m_window.raw[1][k] = e.leadII;
        m_window.raw[2][k] = e.leadIII;
    }
    for (int lead = 0; lead < 3; ++lead)
        for (int k = 0; k < EcgBeatWindow::kLength; ++k)
            m_window.filtered[lead][k] = float(s[lead].processLowPass35(m_window.raw[lead][k]));

    m_templates.setLogging((m_mode & kModeTemplateLines) != 0);
    m_bestTemplate = m_templates.drawerGetBestMatch(r.position, m_window, m_matchIndex, m_shift, m_beats);
    if (logOn(2))
        debugLog(2, "pos=" + toStdString(static_cast<long long>(r.position)) + ", drawer="
                 + toStdString(m_bestTemplate) + ", matchIndexScaled=" + toStdString(m_matchIndex)
                 + ", shiftAdj=" + toStdString(m_shift));
    if (m_matchIndex < CBeatTemplates::kMatchLimit)
        m_templates.addBeat(m_bestTemplate, m_window, m_beatCount, m_shift, m_beats);
    else
        newDrawer(m_beatCount);

    ++m_beatCount;
    if (m_beatCount == m_lastCompaction + 1000) {
        m_templates.compact(m_beats);
        m_lastCompaction = m_beatCount - 1;
    }
    return true;
}
