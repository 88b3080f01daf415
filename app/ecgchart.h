#ifndef MALVORANT_ECGCHART_H
#define MALVORANT_ECGCHART_H

#include <QDateTime>
#include <QList>
#include <QPointF>

#include <array>
#include <cstdint>
#include <vector>

class ChartPublisher;
class CFileMan;
class CSettingsMan;
class QAbstractSeries;
class QXYSeries;

// Leads drawn in one display mode: trace k shows lead vector value lead[k]
// around offset[k] (fraction of the sheet height, 0 bottom, 1 top).
struct EcgModeLayout {
    int traces;
    int lead[6];
    double offset[6];
    const char* label[6];
    const char* name; // as the footer line names it
};

// The nine series of the ECG chart, in the order every caller passes them.
struct EcgSeries {
    enum { Trace0 = 0, Cursor = 6, Error = 7, Marker = 8, Count = 9 };
    std::array<QXYSeries*, Count> s{};

    // Non-line series (or none) become null and are left alone.
    static EcgSeries from(std::initializer_list<QAbstractSeries*> series);
    QXYSeries* operator[](int i) const { return s[static_cast<std::size_t>(i)]; }
};

// One bookmark of the shown recording: entry index counted after the lead-in.
struct EcgBookmark {
    int entry;
    QDateTime time;
};

// The ECG chart: a 200 x 100 mm sheet mapped onto axes from 0 to 1, the three
// grid rasters, the per-mode lead layout, the column layout that the paper
// speed and the point budget give, and the drawing of a stored recording from
// the scroll position. Series are handed in by the bridge's slots; results for
// the QML side go through a ChartPublisher. GUI thread only.
class EcgChart
{
public:
    static constexpr int kSheetWidthMm = 200;
    static constexpr int kSheetHeightMm = 100;
    static constexpr int kEntriesPerSecond = 500;
    static constexpr int kDefaultLeadIn = 2500;
    // Amplitude units per sample unit; with gain in mm/mV this gives millimetres.
    static constexpr double kUnitsPerMicrovolt = 5.2;

    // Marker bits per point position.
    enum MarkerBit : std::uint8_t {
        MarkError = 0x01,
        MarkUser1 = 0x02,
        MarkUser2 = 0x04,
        MarkUser3 = 0x08, // also bookmarks
        MarkUser4 = 0x10,
    };

    EcgChart(CSettingsMan* settings, CFileMan* files, ChartPublisher* publisher);

    EcgChart(const EcgChart&) = delete;
    EcgChart& operator=(const EcgChart&) = delete;

    // The layout of a display mode; null outside 0..3 (such modes draw nothing).
    static const EcgModeLayout* modeLayout(int mode);
    static int traceCount(int mode);

    void setSize(int width, int height);
    void initGrid(int gridIdx, QXYSeries* fine, QXYSeries* medium, QXYSeries* coarse);
    void initEcg(const EcgSeries& series);
    void updateStoredEcg(double posX, const EcgSeries& series);
    void hideEcg(const EcgSeries& series);
    // Scroll range of the stored recording; speed is the new paper speed while
    // the held one is still the old (the left edge keeps its recording time).
    void setHorizontalFlickableWidth(double speed);

    // Viewer parameters, set by the viewer settings.
    void setDisplayMode(int mode) { m_displayMode = mode; }
    void setGain(double gain) { m_gain = gain; }
    void setSpeed(double speed) { m_speed = speed; }
    void setFilterFlags(bool mains, bool artifact);
    // Column layout from the point budget and the paper speed; logs it.
    void computeColumnLayout();

    int displayMode() const { return m_displayMode; }
    double gain() const { return m_gain; }
    double speed() const { return m_speed; }
    int chartWidth() const { return m_chartWidth; }
    int chartHeight() const { return m_chartHeight; }
    int pointBudget() const { return m_pointBudget; }
    int sweepLength() const { return m_sweepLength; }
    int decimationFactor() const { return m_decimationFactor; }
    int sweepPosition() const { return m_sweepPosition; }
    void setSweepPosition(int position) { m_sweepPosition = position; }
    double samplesPerPixel() const { return m_samplesPerPixel; }
    int firstShownEntry() const { return m_firstShownEntry; }
    void setFirstShownEntry(int entry) { m_firstShownEntry = entry; }
    int leadInLength() const { return m_leadInLength; }
    void setLeadInLength(int length) { m_leadInLength = length; }
    // Entries of type 45 met while drawing since the last reset.
    int flushedEntryCount() const { return m_flushedEntries; }
    void resetFlushedEntryCount() { m_flushedEntries = 0; }
    bool isStreaming() const { return m_streaming; }
    void setStreaming(bool streaming) { m_streaming = streaming; }
    // Starts a new decimation column (the live path after a layout change).
    void resetColumn() { m_columnFill = 0; }
    int columnFill() const { return m_columnFill; }
    void setColumnFill(int fill) { m_columnFill = fill; }
    const std::vector<std::uint8_t>& markers() const { return m_markers; }
    // The live sweep writes its marks here; sized anew by every layout change.
    std::vector<std::uint8_t>& liveMarkers() { return m_markers; }
    std::vector<EcgBookmark>& bookmarks() { return m_bookmarks; }
    // Stored entries drawn into a sheet at the current speed.
    int samplesPerSheet() const;
    // Millimetres on the sheet for one amplitude unit, as a fraction of its height.
    double verticalScale() const;

private:
    struct LeadColumn {
        float minimum = 0;
        float maximum = 0;
        bool lastWasMinimum = false;
        float lastDrawn = 0;
    };

    void showTraces(const EcgSeries& series, bool showOverlays) const;
    void clearMarkers();
    void drawBars(const EcgSeries& series);
    int storedEntryCount() const;

    CSettingsMan* m_settings;
    CFileMan* m_files;
    ChartPublisher* m_publisher;

    int m_sheetHeight = kSheetHeightMm;
    int m_sheetWidth = kSheetWidthMm;
    int m_chartWidth = 0; // nothing divides by it while it is 0
    int m_chartHeight = 0;
    int m_pointBudget = 8000;
    int m_sweepLength = 0;
    int m_decimationFactor = 1;
    int m_displayMode = -1;
    double m_gain = 10.0;
    double m_speed = 25.0;
    bool m_mainsFilter = false;
    bool m_artifactFilter = false;
    int m_sweepPosition = 0;
    double m_samplesPerPixel = 0.0;
    int m_firstShownEntry = 0;
    int m_leadInLength = kDefaultLeadIn;
    int m_flushedEntries = 0;
    bool m_streaming = true;
    int m_columnFill = 0; // entries folded into the current column so far

    std::vector<std::uint8_t> m_markers;    // sweepLength + 2: a bar may follow the last point
    std::array<QList<QPointF>, 6> m_points; // one per trace, sweepLength each
    std::array<LeadColumn, 6> m_columns;    // per lead vector value
    std::vector<EcgBookmark> m_bookmarks;
    std::vector<int> m_bookmarkScratch;
};

#endif
