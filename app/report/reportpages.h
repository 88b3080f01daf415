#ifndef MALVORANT_REPORTPAGES_H
#define MALVORANT_REPORTPAGES_H

#include "pointseries.h"

#include <cstdint>
#include <string>
#include <vector>

class CReportSource;

// Paper speed and gain of the report, by code. A strip is always 200 mm
// wide, so its printed speed is 200 mm over the strip's time.
namespace ReportScale {
constexpr double kDefaultSpeed = 50.0; // mm/s, the settings' default
constexpr double kDefaultGain = 5.0;   // mm/mV, the settings' default
constexpr int kDefaultMode = 3;        // Goldberger, the settings' default
constexpr int kSampleRate = 500;
constexpr double kStripWidthMm = 200.0;
constexpr double kUnitsPerMv = 1000.0 / 5.2; // sample units of 1 mV

// Speeds and gains that are not positive finite numbers take the defaults.
int speedCode(double speed);
int stripLength(int speedCode);
double printedSpeed(int speedCode); // mm/s
int gainCode(double gain);
int verticalRange(int gainCode);
double printedGain(int gainCode);   // mm/mV
// Modes outside 0..3 take the default.
int displayMode(int mode);
int leadCount(int displayMode);
// Name of lane i of a display mode.
const char* leadName(int displayMode, int lane);
// Series drawn in lane i (with one lead: series 1, lead II).
int seriesOfLane(int displayMode, int lane);
} // namespace ReportScale

// One strip of the report.
struct ReportPageEntry {
    bool printed = false;
    int startEntry = 0;   // the strip's centre entry, lead-in included
    int startSecond = 0;
    int displayMode = 0;
    int speedCode = 0;
    int gainCode = 0;
    std::string title;
};

// The fixed table of strips; the 101st is refused.
class CReportPageTable
{
public:
    static constexpr int kMaxEntries = 100;

    bool add(int startEntry, int displayMode, int speedCode, int gainCode, const std::string& title = {});
    int size() const { return static_cast<int>(m_entries.size()); }
    ReportPageEntry& at(int i) { return m_entries[static_cast<std::size_t>(i)]; }
    const ReportPageEntry& at(int i) const { return m_entries[static_cast<std::size_t>(i)]; }
    int unprinted() const;
    // Pages a report of the unprinted strips takes: one strip on the first
    // page, two on each further page.
    int pageCount() const { return 1 + unprinted() / 2; }

private:
    std::vector<ReportPageEntry> m_entries;
};

// The strips of a recording: one per bookmark (entry after the lead-in),
// centred on it, or strips tiling the recording from the end of the lead-in
// to its last signal entry. Returns how many strips did not fit the table;
// bookmarks outside the recording are left out and counted in *badBookmarks.
int planReport(CReportSource& source, int leadIn, const std::vector<int>& bookmarks, int speedCode,
               int gainCode, int displayMode, CReportPageTable& table, int* badBookmarks = nullptr);

// The six series of one strip.
struct ReportStrip {
    CPointSeries series[6];
    int length = 0;         // strip length in entries: the x scale
    int firstEntry = -1;    // entry index of the first value, -1 when none
};

// Fills the series from the entries after `from`: lead-in entries are
// skipped, an event entry repeats the trace's previous value and carries the
// event flag in series 1. Values are in sample units.
void loadStrip(CReportSource& source, int from, int length, int range, ReportStrip& strip);

#endif
