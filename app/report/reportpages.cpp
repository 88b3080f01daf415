#include "reportpages.h"

#include "ecgrecords.h"
#include "reportsource.h"

#include <cmath>

namespace ReportScale {

int speedCode(double speed)
{
    if (!std::isfinite(speed) || speed <= 0)
        speed = kDefaultSpeed;
    if (speed < 4.9)
        return 1;
    if (speed < 9.9)
        return 2;
    if (speed < 24.9)
        return 3;
    if (speed < 49.9)
        return 4;
    if (speed < 99.9)
        return 5;
    if (speed < 199.9)
        return 6;
    return 7;
}

int stripLength(int code)
{
    switch (code) {
    case 1: return 80000;
    case 2: return 40000;
    case 3: return 20000;
    case 4: return 8000;
    case 5: return 4000;
    case 6: return 2000;
    case 7: return 1000;
    default: return 2000;
    }
}

double printedSpeed(int code)
{
    return kStripWidthMm * kSampleRate / stripLength(code);
}

int gainCode(double gain)
{
    if (!std::isfinite(gain) || gain <= 0)
        gain = kDefaultGain;
    if (gain < 4.9)
        return 0;
    if (gain < 9.9)
        return 1;
    if (gain < 19.9)
        return 2;
    if (gain < 29.9)
        return 3;
    if (gain < 39.9)
        return 4;
    return 5;
}

int verticalRange(int code)
{
    switch (code) {
    case 0: return 8000;
    case 1: return 4000;
    case 2: return 2000;
    case 3: return 1000;
    case 4: return 666;
    case 5: return 500;
    default: return 2000;
    }
}

double printedGain(int code)
{
    // The nominal gains the ranges stand for (range 666 is 30 mm/mV).
    switch (code) {
    case 0: return 2.5;
    case 1: return 5.0;
    case 2: return 10.0;
    case 3: return 20.0;
    case 4: return 30.0;
    case 5: return 40.0;
    default: return 10.0;
    }
}

int displayMode(int mode)
{
    return mode >= 0 && mode <= 3 ? mode : kDefaultMode;
}

int leadCount(int mode)
{
    switch (displayMode(mode)) {
    case 0: return 1;
    case 1: return 3;
    default: return 6;
    }
}

const char* leadName(int mode, int lane)
{
    static const char* const kNames[6] = {"I", "II", "III", "aVR", "aVL", "aVF"};
    if (leadCount(mode) == 1)
        return "II";
    return lane >= 0 && lane < leadCount(mode) ? kNames[lane] : "";
}

int seriesOfLane(int mode, int lane)
{
    return leadCount(mode) == 1 ? 1 : lane;
}

} // namespace ReportScale

bool CReportPageTable::add(int startEntry, int displayMode, int speedCode, int gainCode, const std::string& title)
{
    if (size() >= kMaxEntries)
        return false;
    ReportPageEntry e;
    e.startEntry = startEntry;
    e.startSecond = startEntry / ReportScale::kSampleRate;
    e.displayMode = displayMode;
    e.speedCode = speedCode;
    e.gainCode = gainCode;
    e.title = title;
    m_entries.push_back(e);
    return true;
}

int CReportPageTable::unprinted() const
{
    int n = 0;
    for (const ReportPageEntry& e : m_entries)
        n += e.printed ? 0 : 1;
    return n;
}

int planReport(CReportSource& source, int leadIn, const std::vector<int>& bookmarks, int speedCode,
               int gainCode, int displayMode, CReportPageTable& table, int* badBookmarks)
{
    const int count = source.count();
    if (leadIn < 0)
        leadIn = 0;
    if (leadIn > count)
        leadIn = count;
    const int length = ReportScale::stripLength(speedCode);
    int refused = 0;
    int bad = 0;
    if (!bookmarks.empty()) {
        for (int b : bookmarks) {
            if (b < 0 || b >= count - leadIn) {
                ++bad;
                continue;
            }
            if (!table.add(b + leadIn, displayMode, speedCode, gainCode))
                ++refused;
        }
    } else {
        // The signal ends where the trailer flushed at the stop begins.
        float leads[6];
        int type = 0;
        int end = count;
        while (end > leadIn && source.entry(end - 1, leads, type) && type == ECG_SAMPLE_LEADIN)
            --end;
        const std::int64_t n = end - leadIn;
        if (n > 1) {
            const std::int64_t strips = (n + length - 1) / length;
            for (std::int64_t k = 0; k < strips; ++k) {
                if (!table.add(static_cast<int>(leadIn + k * length + length / 2), displayMode, speedCode, gainCode))
                    ++refused;
            }
        }
    }
    if (badBookmarks)
        *badBookmarks = bad;
    return refused;
}

void loadStrip(CReportSource& source, int from, int length, int range, ReportStrip& strip)
{
    for (CPointSeries& s : strip.series)
        s.init(length, range);
    strip.length = length < 1 ? 1 : (length > CPointSeries::kMaxCapacity ? CPointSeries::kMaxCapacity : length);
    strip.firstEntry = -1;
    float last[6] = {};
    bool haveSample = false;
    int leadingEvents = 0;
    float leads[6] = {};
    int type = 0;
    int taken = 0;
    for (int index = from + 1; index >= 1 && taken < strip.length && source.entry(index, leads, type); ++index) {
        if (type == ECG_SAMPLE_LEADIN)
            continue;
        if (strip.firstEntry < 0)
            strip.firstEntry = index;
        ++taken;
        if (type < 0) {
            // An event keeps the trace where it was; only its bar shows.
            for (int i = 0; i < 6; ++i)
                strip.series[i].add(last[i], i == 1 ? 1 : 0);
            if (!haveSample)
                ++leadingEvents;
            continue;
        }
        for (int i = 0; i < 6; ++i) {
            last[i] = leads[i];
            strip.series[i].add(leads[i], 0);
        }
        if (!haveSample) {
            haveSample = true;
            // Events before the first sample take its value.
            for (int e = 0; e < leadingEvents; ++e) {
                for (int i = 0; i < 6; ++i)
                    strip.series[i].setValue(e, leads[i]);
            }
        }
    }
}
