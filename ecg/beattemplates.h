#ifndef MALVORANT_BEATTEMPLATES_H
#define MALVORANT_BEATTEMPLATES_H

#include "zeroedallocator.h"

#include <cstdint>
#include <vector>

// One analysed beat of the beat analysis' table.
struct EcgBeatRecord {
    std::int64_t position;          // sample counter at the peak
    std::int64_t windowStart;
    std::int64_t windowEnd;
    std::int64_t processedPosition; // stored-sample counter at the peak
    std::int32_t classCode;
    std::int32_t rrAfter;           // stored samples to the next accepted beat
    std::int32_t rrBefore;          // stored samples from the previous accepted beat
    std::int64_t nextInTemplate;    // next beat of the same template, -1 for none
    std::int64_t templateLink;      // the template's last beat before this one
    std::uint64_t flags;            // EcgBeatFlag bits
    std::uint8_t reserved[3];
    std::uint8_t polarity;          // 1 when the peak points upwards
};

// The beat table: it grows by many records at a time, and the room not yet
// used costs no memory.
using EcgBeatTable = std::vector<EcgBeatRecord, ZeroedAllocator<EcgBeatRecord>>;

enum EcgBeatFlag : std::uint64_t {
    kBeatBatteryLow = 0x1,
    kBeatChannelError = 0x2,
    kBeatStreamError = 0x4,
    kBeatPremature = 0x1000,
    kBeatPrematureNegative = 0x2000,
    kBeatSinusArrest = 0x8000,
};

// The 1.5-second window of the three limb leads around a beat's peak (index
// 375), as recorded and after the 35 Hz low-pass.
struct EcgBeatWindow {
    static constexpr int kLength = 750;
    static constexpr int kPeak = 375;
    float raw[3][kLength];
    float filtered[3][kLength];
};

// Shape templates ("drawers") of the beats: each the running average of the
// beats put into it. Template 0 is the catch-all for beats of rare shapes.
// The beats of a template are chained through the records of the beat table.
class CBeatTemplates
{
public:
    static constexpr double kMatchLimit = 18.0;
    static constexpr int kGrowth = 100;

    struct Header {
        std::int64_t firstBeat;
        std::int64_t lastBeat;
        std::int64_t thirdBeat;
        std::int64_t beatCount;
    };

    // Half width of the comparison range, merge limit (percent), scale limit,
    // amplitude floor and ceiling (sample units).
    void setParams(int halfWidth, int mergeLimit, double scaleLimit, double amplitudeFloor,
                   double amplitudeCeiling);
    void setLogging(bool on) { m_log = on; }

    // Room for the first templates on the first call; then one empty catch-all.
    bool prepare();

    int count() const { return m_count; }
    // Null outside 0 .. count() - 1 (and arrays 0 .. 5).
    const Header* header(int t) const
    {
        return t >= 0 && t < m_count && std::size_t(t) < m_headers.size() ? &m_headers[std::size_t(t)] : nullptr;
    }
    const float* data(int t, int array) const;

    // The best template for a beat window, with its match index and shift.
    int drawerGetBestMatch(std::int64_t position, const EcgBeatWindow& w, double& matchIndex,
                           int& shift, EcgBeatTable& beats);
    // A new template from the window; -1 when the store cannot grow.
    int newDrawer(const EcgBeatWindow& w, std::int64_t beat);
    void addBeat(int t, const EcgBeatWindow& w, std::int64_t beat, int shift,
                 EcgBeatTable& beats);
    // Folds template u into template t.
    void drawerCombine(int t, int u, int shift, EcgBeatTable& beats);
    // Folds every template with at most two beats into the catch-all.
    void compact(EcgBeatTable& beats);

    // Largest lead difference in percent of the lead's amplitude, scaled and
    // unscaled, between two sets of three filtered leads.
    void compare(const float* const a[3], const float* const b[3], double& scaled,
                 double& unscaled) const;
    // The amplitude a difference is measured against: the floor first, then
    // the ceiling, so a floor above the ceiling yields the ceiling.
    double leadAmplitude(double meanSize) const;

private:
    float* dataOf(int t, int array);
    void appendChain(int t, int u, EcgBeatTable& beats);
    void remove(int u);
    bool grow();
    void rangeOf(int& lo, int& hi) const;

    int m_halfWidth = 90;
    int m_mergeLimit = 12;
    double m_scaleLimit = 1.3;
    double m_floor = 96.15;
    double m_ceiling = 192.3;
    bool m_log = false;

    int m_count = 0;
    int m_capacity = 0;
    std::vector<Header> m_headers;
    // Per template six arrays of 750 values; the room for templates not yet
    // made costs no memory.
    std::vector<float, ZeroedAllocator<float>> m_data;
};

#endif
