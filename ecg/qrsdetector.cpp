#include "qrsdetector.h"

#include "debuglog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr double kThresholdFraction = 0.475;

// Shifts v into an eight-value queue, the oldest leaving.
void pushQueue(int (&q)[8], int v)
{
    std::memmove(q + 1, q, 7 * sizeof(int));
    q[0] = v;
}
}

QrsDetector::QrsDetector()
    : m_trace(nullptr)
{
    init();
}

QrsDetector::~QrsDetector()
{
    if (m_trace)
        std::fclose(m_trace);
}

int QrsDetector::median(const int* values, int n)
{
    n = std::clamp(n, 1, 20);
    int sorted[20];
    std::copy(values, values + n, sorted);
    std::sort(sorted, sorted + n);
    return sorted[n / 2];
}

void QrsDetector::init(const char* tracePath)
{
    for (auto& s : m_lowPass)
        s.init();
    for (auto& d : m_delay)
        d.init();
    std::memset(m_diffRing, 0, sizeof(m_diffRing));
    std::memset(m_derivRing, 0, sizeof(m_derivRing));
    m_diffIndex = m_derivIndex = m_derivSum = 0;
    m_max = m_timeSinceMax = m_lastInput = 0;
    m_preBlankCount = m_heldPeak = 0;
    m_initialBlankCount = m_initialMaxValue = m_initialBlocks = 0;
    std::memset(m_relearnBuffer, 0, sizeof(m_relearnBuffer));
    m_relearnCount = 0;
    std::memset(m_queue, 0, sizeof(m_queue));
    std::memset(m_noise, 0, sizeof(m_noise));
    for (int& r : m_rr)
        r = kBlock;
    m_queueMedian = m_noiseMedian = 0;
    m_rrMedian = kBlock;
    m_detectionThreshold = 0;
    m_rrDistance = 0;
    m_searchBackCount = 750;
    m_searchBackPeak = m_searchBackLocation = 0;
    m_maxDerivation = 0;

    if (m_trace) {
        std::fclose(m_trace);
        m_trace = nullptr;
    }
    m_traceLine = 0;
    filter(0);
    if (tracePath && *tracePath) {
        m_trace = std::fopen(tracePath, "wb");
        if (m_trace)
            std::fputs("Counter;Channel1;Channel2;Channel3;RateB2B\n\r", m_trace);
        else
            debugLogError(std::string("QrsDetector::init() cannot open trace file ") + tracePath);
    }
}

// High-pass by subtracting a 2 Hz low-pass from the signal delayed to match,
// then the mean absolute five-sample difference over 40 samples.
int QrsDetector::filter(int x)
{
    double b = m_lowPass[0].processLowPass2(double(x));
    b = m_lowPass[1].processLowPass2(b);
    const double c = m_delay[1].process(m_delay[0].process(double(x)));
    const int h = int(c - b);
    const int d = std::abs(h - m_diffRing[m_diffIndex]);
    m_diffRing[m_diffIndex] = h;
    m_diffIndex = (m_diffIndex + 1) % 5;
    m_derivSum += d - m_derivRing[m_derivIndex];
    m_derivRing[m_derivIndex] = d;
    m_derivIndex = (m_derivIndex + 1) % 40;
    return m_derivSum / 40;
}

int QrsDetector::peak(int v)
{
    int result = 0;
    if (m_timeSinceMax > 0)
        ++m_timeSinceMax;
    if (v > m_lastInput && v > m_max) {
        m_max = v;
        m_timeSinceMax = 1;
    } else if (v < (m_max >> 1) || m_timeSinceMax > kPeakTimeout) {
        result = m_max;
        m_max = 0;
        m_timeSinceMax = 0;
    }
    m_lastInput = v;
    return result;
}

void QrsDetector::setThreshold()
{
    m_detectionThreshold = m_noiseMedian + int((m_queueMedian - m_noiseMedian) * kThresholdFraction);
}

// A QRS of the given peak height: queue, median and threshold.
void QrsDetector::takeQrs(int peakValue)
{
    pushQueue(m_queue, peakValue);
    m_queueMedian = median(m_queue, 8);
    setThreshold();
}

void QrsDetector::log(bool on, const char* what, int value) const
{
    if (on && g_pDebugLog && g_pDebugLog->level() >= 2)
        g_pDebugLog->log(2, std::string(what) + toStdString(value));
}

int QrsDetector::run(int x, bool& searchBack, bool withLog)
{
    searchBack = false;
    const int filtered = filter(x);
    m_maxDerivation = std::max(m_maxDerivation, filtered);

    // Refractory pre-blanking: a larger peak within the span replaces the held one.
    int p = peak(filtered);
    int candidate = 0;
    if (p >= kMinPeak) {
        if (m_preBlankCount > 0 && m_heldPeak >= p) {
            if (--m_preBlankCount == 0)
                candidate = m_heldPeak;
        } else {
            m_heldPeak = p;
            m_preBlankCount = kPreBlank;
        }
    } else if (m_preBlankCount > 0) {
        if (--m_preBlankCount == 0)
            candidate = m_heldPeak;
    }

    ++m_rrDistance;
    int result = 0;

    if (m_initialBlocks < 8) {
        if (candidate > 0)
            m_rrDistance = kWindow;
        if (candidate > m_initialMaxValue)
            m_initialMaxValue = candidate;
        if (++m_initialBlankCount == kBlock) {
            m_initialBlankCount = 0;
            pushQueue(m_queue, m_initialMaxValue);
            m_initialMaxValue = 0;
            if (++m_initialBlocks == 8) {
                m_queueMedian = median(m_queue, 8);
                m_noiseMedian = 0;
                m_rrMedian = kBlock;
                m_searchBackCount = 825;
                m_detectionThreshold = int(m_queueMedian * kThresholdFraction);
                log(withLog, "queue median: ", m_queueMedian);
            }
        }
        if (m_trace)
            std::fprintf(m_trace, "%d;%d;%d;%d;0\r\n", ++m_traceLine, x, filtered, 0);
        return 0;
    }

    if (candidate > 0) {
        log(withLog, "valid peak value: ", candidate);
        log(withLog, "current threshold: ", int(0.8 * m_detectionThreshold));
        if (double(candidate) > 0.8 * m_detectionThreshold) {
            takeQrs(candidate);
            pushQueue(m_rr, m_rrDistance - kWindow);
            m_rrMedian = median(m_rr, 8);
            m_searchBackCount = int(m_rrMedian * 1.5 + kWindow);
            log(withLog, "rrDistance: ", m_rrDistance);
            m_rrDistance = kWindow;
            m_searchBackPeak = 0;
            m_initialBlankCount = m_initialMaxValue = m_relearnCount = 0;
            m_maxDerivation = 0;
            result = kDetectionDelay + kWindow;
        } else {
            pushQueue(m_noise, candidate);
            m_noiseMedian = median(m_noise, 8);
            setThreshold();
            if (candidate > m_searchBackPeak && m_rrDistance - kWindow >= 180) {
                m_searchBackPeak = candidate;
                m_searchBackLocation = m_rrDistance - kWindow;
            }
        }
    }

    // Search-back for a beat missed since the last QRS.
    if (m_rrDistance > m_searchBackCount && m_searchBackPeak > (m_detectionThreshold >> 1)) {
        takeQrs(m_searchBackPeak);
        pushQueue(m_rr, m_searchBackLocation);
        m_rrMedian = median(m_rr, 8);
        m_searchBackCount = int(m_rrMedian * 1.5 + kWindow);
        log(withLog, "searchBackPeak: ", m_searchBackPeak);
        log(withLog, "searchBackLocation: ", m_searchBackLocation);
        m_rrDistance -= m_searchBackLocation;
        m_searchBackPeak = 0;
        // A beat found by search-back is a beat: it restarts the watch for
        // eight silent seconds like any other.
        m_initialBlankCount = m_initialMaxValue = m_relearnCount = 0;
        m_maxDerivation = 0;
        searchBack = true;
        result = kDetectionDelay + m_rrDistance;
    }

    // Re-learning after eight seconds without a QRS.
    if (candidate > m_initialMaxValue)
        m_initialMaxValue = candidate;
    if (++m_initialBlankCount == kBlock) {
        m_initialBlankCount = 0;
        m_relearnBuffer[m_relearnCount++] = m_initialMaxValue;
        m_initialMaxValue = 0;
        if (m_relearnCount == 8) {
            std::memcpy(m_queue, m_relearnBuffer, sizeof(m_queue));
            std::memset(m_noise, 0, sizeof(m_noise));
            m_queueMedian = median(m_queue, 8);
            m_noiseMedian = 0;
            m_rrMedian = kBlock;
            m_searchBackCount = 825;
            m_detectionThreshold = int(m_queueMedian * kThresholdFraction);
            m_relearnCount = 0;
            log(withLog, "relearned, queue median: ", m_queueMedian);
        }
    }

    if (withLog && result > 0) {
        log(true, "queueMedian: ", m_queueMedian);
        log(true, "noiseMedian: ", m_noiseMedian);
        log(true, "rrMedian: ", m_rrMedian);
        log(true, "searchBackCount: ", m_searchBackCount);
        log(true, "maxDerivation: ", m_maxDerivation);
        log(true, "preBlankCount: ", m_preBlankCount);
        log(true, "configPreBlank: ", kPreBlank);
    }
    if (m_trace)
        std::fprintf(m_trace, "%d;%d;%d;%d;0\r\n", ++m_traceLine, x, filtered, result);
    return result;
}
