#ifndef MALVORANT_ECGANALYSIS_H
#define MALVORANT_ECGANALYSIS_H

#include "beattemplates.h"
#include "ecganalysisparams.h"
#include "ecgrecords.h"
#include "filters.h"
#include "minmaxnotch.h"
#include "qrsdetector.h"

#include <cstdint>
#include <vector>

// Live beat analysis of one lead, fed one sample at a time: QRS detection,
// the peak, polarity and amplitudes of each beat, RR intervals, premature
// beats and pauses, shape templates and the heart rate.
class CEcgAnalysis
{
public:
    static constexpr int kRingSize = 10000;
    static constexpr int kBeatGrowth = 10000;

    // Mode bits.
    enum { kModeBeatLines = 0x1, kModeTemplateLines = 0x4, kModeArrestLines = 0x40 };

    CEcgAnalysis();
    ~CEcgAnalysis();
    CEcgAnalysis(const CEcgAnalysis&) = delete;
    CEcgAnalysis& operator=(const CEcgAnalysis&) = delete;

    void setMode(int mode) { m_mode = mode; }
    // Resets for a new stream; without a record the analysis' own defaults serve.
    void initStream(const EcgAnalysisParams* params);
    // One sample (or status record) of channel 0 (lead I), 1 (lead II) or 2
    // (lead III). Returns how many samples back a reported beat lies, else 0
    // or less.
    int analyzeEcg(const EcgStreamSample* sample, const EcgAnalysisParams* params, int channel);

    double getAmplitude(int lead) const;
    int getHeartRate() const { return m_heartRate; }
    double getMatchIndex() const { return m_matchIndex; }
    bool getPolarity() const { return m_polarity; }

    // The analysed beats of the current stream and their templates.
    int beatCount() const { return m_beatCount; }
    // Null outside 0 .. beatCount() - 1.
    const EcgBeatRecord* beat(int i) const
    {
        return i >= 0 && i < m_beatCount && std::size_t(i) < m_beats.size() ? &m_beats[std::size_t(i)] : nullptr;
    }
    const CBeatTemplates& templates() const { return m_templates; }
    int sinusArrestCount() const { return m_sinusArrests; }

private:
    struct RingEntry {
        float lead;
        float filtered;
        float leadI;
        float leadII;
        float leadIII;
        std::int64_t counter;   // every call
        std::int64_t processed; // stored samples only
    };
    struct RecentBeat {
        int ringIndex;
        std::int64_t counter;
        std::int64_t processed;
        std::uint8_t polarity;
        bool premature;
        int status;
    };
    struct RrHistory {
        int rr[8];
        int count;
        void clear() { count = 0; }
        void push(int v);
        int mean() const;
        double variability(int mean) const;
    };

    static int wrap(std::int64_t i);
    static float leadOf(const EcgStreamSample& s, int channel);
    static float ringLead(const RingEntry& e, int lead);

    int pushDetector(int input, bool withLog);
    void learningStage(int channel, bool& bad);
    void examineBeat(const EcgAnalysisParams& p, int channel);
    bool isFlatPeak(const EcgAnalysisParams& p, int peak, std::int64_t peakProcessed);
    void acceptBeat(const EcgAnalysisParams& p, int channel, int peak);
    bool makeBeatRecord(const EcgAnalysisParams& p);
    int newDrawer(std::int64_t beat);

    int m_channel = 1;
    int m_result = 0;
    int m_mode = 0;
    const EcgAnalysisParams* m_params = nullptr;
    EcgAnalysisParams m_defaults;
    EcgStreamSample m_sample;

    QrsDetector m_detector;
    bool m_searchBack = false;
    CMinMaxNotch m_peakFinder;

    double m_amplitude[3] = {0.0, 0.0, 0.0};
    std::uint8_t m_leadPolarity[3] = {1, 1, 1};
    bool m_polarity = true;
    bool m_polarityState = true;
    int m_positiveVotes = 0;
    int m_negativeVotes = 0;

    std::vector<RingEntry> m_ring;
    int m_writeIndex = 0;
    std::int64_t m_counter = 0;
    std::int64_t m_processed = 0;

    // Time arithmetic runs on stored-sample counts: status records are not time.
    std::int64_t m_lastBeat = -1;
    std::int64_t m_expected = -1;
    std::int64_t m_earliest = -1;
    std::int64_t m_latest = -1;
    float m_tolerance = 0.0f;
    int m_expectedRr = 0;

    RecentBeat m_recent[3];
    int m_recentCount = 0;
    int m_status = 0;

    int m_lastRr = 0;
    int m_rrBefore = 0;
    int m_rrDifference = 0;
    IntRing500 m_rrRing;
    IntRing500 m_diffRing;
    RrHistory m_history;
    int m_sinusArrests = 0;

    EcgFilterChain m_chain50;
    EcgFilterChain m_chain60;

    int m_heartRate = 0;
    IntRing500 m_rateRing;
    int m_rateRr = 0;

    EcgBeatTable m_beats;
    int m_beatCount = 0;
    int m_lastCompaction = 0;
    CBeatTemplates m_templates;
    double m_matchIndex = 0.0;
    int m_shift = 0;
    int m_bestTemplate = 0;
    bool m_beatTableFailed = false;

    EcgBeatWindow m_window;
};

#endif
