#ifndef MALVORANT_QRSDETECTOR_H
#define MALVORANT_QRSDETECTOR_H

#include "filters.h"

#include <cstdio>

// Adaptive-threshold QRS detector for one integer ECG signal at 500 samples
// per second, one sample per call. A band-limiting filter feeds a peak finder;
// the medians of the last eight QRS peaks, noise peaks and RR intervals set the
// detection threshold; a refractory pre-blanking and a search-back for missed
// beats complete it. The first eight seconds learn the signal's level.
class QrsDetector
{
public:
    static constexpr int kPeakTimeout = 40;
    static constexpr int kPreBlank = 98;
    static constexpr int kMinPeak = 28;
    static constexpr int kDetectionDelay = 199; // pre-blank + 101.5, truncated
    static constexpr int kWindow = 40;          // delay of the peak finder
    static constexpr int kBlock = 500;          // one second

    QrsDetector();
    ~QrsDetector();
    QrsDetector(const QrsDetector&) = delete;
    QrsDetector& operator=(const QrsDetector&) = delete;

    // Clears every state. With a trace path each later step appends a line
    // of input, filtered value and result to that file.
    void init(const char* tracePath = nullptr);

    // Returns the number of samples between the reported QRS and the current
    // sample, or 0 or less when none is reported. searchBack tells that the
    // beat was found by the search-back for a missed beat.
    int step(int x, bool& searchBack) { return run(x, searchBack, false); }
    // The same, also logging the values it decides on.
    int stepWithLog(int x, bool& searchBack) { return run(x, searchBack, true); }

    bool isLearning() const { return m_initialBlocks < 8; }
    int detectionThreshold() const { return m_detectionThreshold; }
    int rrMedian() const { return m_rrMedian; }
    int searchBackCount() const { return m_searchBackCount; }

    // Median of n values (n up to 20): the one at position n / 2 once sorted.
    static int median(const int* values, int n);

private:
    int run(int x, bool& searchBack, bool withLog);
    int filter(int x);
    int peak(int v);
    void takeQrs(int peakValue);
    void setThreshold();
    void log(bool on, const char* what, int value) const;

    // Filter.
    IirSection m_lowPass[2];
    DelayLine31 m_delay[2];
    int m_diffRing[5];
    int m_diffIndex;
    int m_derivRing[40];
    int m_derivIndex;
    int m_derivSum;

    // Peak finder.
    int m_max;
    int m_timeSinceMax;
    int m_lastInput;

    // Pre-blanking.
    int m_preBlankCount;
    int m_heldPeak;

    // Learning and re-learning.
    int m_initialBlankCount;
    int m_initialMaxValue;
    int m_initialBlocks;
    int m_relearnBuffer[8];
    int m_relearnCount;

    // Medians.
    int m_queue[8];
    int m_queueMedian;
    int m_noise[8];
    int m_noiseMedian;
    int m_rr[8];
    int m_rrMedian;
    int m_detectionThreshold;

    // Timing.
    int m_rrDistance;
    int m_searchBackCount;
    int m_searchBackPeak;
    int m_searchBackLocation;

    int m_maxDerivation;

    std::FILE* m_trace;
    int m_traceLine;
};

#endif
