#include "ecgchart.h"

#include "chartpublisher.h"
#include "debuglog.h"
#include "ecgbuffer.h"
#include "ecgrecords.h"
#include "fileman.h"
#include "settingsman.h"

#include <QXYSeries>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Grid lines run past the axes so that the joins between them stay outside
// the visible square.
constexpr double kOutside = 0.1;

const EcgModeLayout kModes[4] = {
    {1, {1}, {0.5}, {"II"}, "Single Lead"},
    {3, {0, 1, 2}, {0.8333, 0.5, 0.1666}, {"I", "II", "III"}, "Einthoven"},
    // Cabrera order: the trace labelled I shows lead I, the one labelled II lead II.
    {6,
     {4, 0, 3, 1, 5, 2},
     {0.8766, 0.715, 0.55, 0.38, 0.2, 0.08},
     {"aVL", "I", "-aVR", "II", "aVF", "III"},
     "Goldberger I"},
    {6,
     {0, 1, 2, 3, 4, 5},
     {0.8766, 0.715, 0.55, 0.38, 0.2, 0.08},
     {"I", "II", "III", "-aVR", "aVL", "aVF"},
     "Goldberger"},
};

const char* trueFalse(bool value) { return value ? "true" : "false"; }

// Horizontal lines at y = j / 100 for the given j, alternating in direction
// and starting from the left. Returns the x where the last one ended.
double addHorizontals(QList<QPointF>& points, const std::vector<int>& rows)
{
    double x = -kOutside;
    for (int j : rows) {
        const double y = j / double(EcgChart::kSheetHeightMm);
        const double other = x < 0 ? 1.0 + kOutside : -kOutside;
        points.append(QPointF(x, y));
        points.append(QPointF(other, y));
        x = other;
    }
    return x;
}

// Vertical lines at x = j / 200, each run starting at the top, after one join
// point above the end of the horizontals: no join crosses the sheet.
void addVerticals(QList<QPointF>& points, double joinX, const std::vector<int>& columns)
{
    double y = 1.0 + kOutside;
    points.append(QPointF(joinX, y));
    for (int j : columns) {
        const double x = j / double(EcgChart::kSheetWidthMm);
        const double other = y > 0.5 ? -kOutside : 1.0 + kOutside;
        points.append(QPointF(x, y));
        points.append(QPointF(x, other));
        y = other;
    }
}

std::vector<int> steps(int first, int last, int step, int skipMultiplesOf = 0)
{
    std::vector<int> out;
    for (int j = first; j <= last; j += step) {
        if (skipMultiplesOf == 0 || j % skipMultiplesOf != 0)
            out.push_back(j);
    }
    return out;
}

} // namespace

EcgSeries EcgSeries::from(std::initializer_list<QAbstractSeries*> series)
{
    EcgSeries out;
    std::size_t i = 0;
    for (QAbstractSeries* one : series) {
        if (i >= out.s.size())
            break;
        out.s[i++] = qobject_cast<QXYSeries*>(one);
    }
    return out;
}

EcgChart::EcgChart(CSettingsMan* settings, CFileMan* files, ChartPublisher* publisher)
    : m_settings(settings), m_files(files), m_publisher(publisher)
{
    m_gain = m_settings->gain / 100.0;
    m_speed = m_settings->speed / 100.0;
    computeColumnLayout();
}

const EcgModeLayout* EcgChart::modeLayout(int mode)
{
    return mode >= 0 && mode < 4 ? &kModes[mode] : nullptr;
}

int EcgChart::traceCount(int mode)
{
    const EcgModeLayout* layout = modeLayout(mode);
    return layout ? layout->traces : 0;
}

void EcgChart::setFilterFlags(bool mains, bool artifact)
{
    m_mainsFilter = mains;
    m_artifactFilter = artifact;
}

int EcgChart::samplesPerSheet() const
{
    // A speed of 0 or less (or none at all) would divide by zero: one screen
    // then holds as many entries as the recording buffer's window.
    double perSheet = CEcgBuffer::kWindowEntries;
    if (std::isfinite(m_speed) && m_speed > 0)
        perSheet = std::min(perSheet, m_sheetWidth * double(kEntriesPerSecond) / m_speed);
    // Two positions at least, so every position has an x below 1.
    return std::max(2, int(perSheet));
}

double EcgChart::verticalScale() const
{
    return m_gain * kUnitsPerMicrovolt / (m_sheetHeight * 1000.0);
}

void EcgChart::computeColumnLayout()
{
    const int perSheet = samplesPerSheet();
    int decimation = 1;
    int sweepLength = perSheet;
    if (m_pointBudget < perSheet) {
        decimation = (perSheet - 1) / (m_pointBudget / 2) + 1;
        sweepLength = int(std::int64_t(perSheet) * 2 / decimation);
        debugLog(4, "CQmlInterface::setViewerParams(1) cursorMax=" + toStdString(sweepLength) +
                        ", entriesPerColumn=" + toStdString(decimation));
    } else {
        debugLog(4, "CQmlInterface::setViewerParams(2) cursorMax=" + toStdString(sweepLength) +
                        ", entriesPerColumn=1");
    }
    // The same layout again keeps the sweep, its column and its marks.
    if (decimation == m_decimationFactor && sweepLength == m_sweepLength
        && m_markers.size() == std::size_t(sweepLength) + 2)
        return;
    m_decimationFactor = decimation;
    m_sweepLength = sweepLength;
    m_markers.assign(std::size_t(m_sweepLength) + 2, 0);
    m_columnFill = 0;
    if (m_sweepPosition >= m_sweepLength)
        m_sweepPosition = 0;
}

void EcgChart::setSize(int width, int height)
{
    debugLog(4, "CQmlInterface::setSize() w=" + toStdString(width) + ", h=" + toStdString(height));
    m_chartWidth = width;
    m_chartHeight = height;
    m_pointBudget = width <= 1280 ? 4000 : 8000;
    setHorizontalFlickableWidth(m_speed);
}

void EcgChart::initGrid(int gridIdx, QXYSeries* fine, QXYSeries* medium, QXYSeries* coarse)
{
    debugLog(4, "CQmlInterface::initGrid() gridIdx=" + toStdString(gridIdx));
    for (QXYSeries* s : {fine, medium, coarse}) {
        if (s)
            s->clear();
    }
    if (gridIdx < 0 || gridIdx > 3) {
        debugLogError("CQmlInterface::initGrid() no such grid index " + toStdString(gridIdx));
        return;
    }

    if (gridIdx == 0 && fine) {
        QList<QPointF> points;
        const double end = addHorizontals(points, steps(1, 99, 1, 5));
        addVerticals(points, end, steps(1, 199, 1, 5));
        fine->replace(points);
    }
    if (gridIdx <= 1 && medium) {
        QList<QPointF> points;
        const double end = addHorizontals(points, steps(5, 95, 10));
        addVerticals(points, end, steps(5, 195, 10));
        medium->replace(points);
    }
    if (gridIdx <= 2 && coarse) {
        // The frame just inside the axes, so that its right and top edges are drawn.
        const double f = (m_pointBudget - 1) / double(m_pointBudget);
        QList<QPointF> points{{0, 0}, {0, f}, {f, f}, {f, 0}, {0, 0}};
        const double end = addHorizontals(points, steps(10, 90, 10));
        addVerticals(points, end, steps(10, 190, 10));
        coarse->replace(points);
    }

    if (m_publisher->isUiDataBound() && m_settings->ecgGridIdx != gridIdx) {
        m_settings->ecgGridIdx = gridIdx;
        m_settings->saveSettings(SettingsDisplay);
    }
}

void EcgChart::showTraces(const EcgSeries& series, bool showOverlays) const
{
    const int traces = traceCount(m_displayMode);
    for (int k = 0; k < 6; ++k) {
        if (series[k])
            series[k]->setVisible(k < traces);
    }
    if (showOverlays) {
        for (int k = EcgSeries::Cursor; k < EcgSeries::Count; ++k) {
            if (series[k])
                series[k]->setVisible(true);
        }
    }
}

void EcgChart::clearMarkers()
{
    std::fill(m_markers.begin(), m_markers.end(), std::uint8_t(0));
}

int EcgChart::storedEntryCount() const
{
    return m_files->isStoredFileOpen() ? m_files->ecgBuffer().getRecordCount() : 0;
}

void EcgChart::initEcg(const EcgSeries& series)
{
    debugLog(4, "CQmlInterface::initEcg()");
    const EcgModeLayout* layout = modeLayout(m_displayMode);
    const int traces = layout ? layout->traces : 0;
    const double length = m_sweepLength;
    for (int k = 0; k < traces; ++k) {
        if (!series[k])
            continue;
        QList<QPointF>& points = m_points[std::size_t(k)];
        points.resize(m_sweepLength);
        QPointF* p = points.data();
        for (int i = 0; i < m_sweepLength; ++i)
            p[i] = QPointF(i / length, layout->offset[k]);
        series[k]->replace(points);
    }
    if (QXYSeries* cursor = series[EcgSeries::Cursor]) {
        const double x = m_sweepPosition / length;
        cursor->replace(QList<QPointF>{{x, 0.0}, {x, 1.0}});
    }
    for (int k : {int(EcgSeries::Error), int(EcgSeries::Marker)}) {
        if (series[k])
            series[k]->clear();
    }
    // The overlays come back too: a hidden chart (device lost) would otherwise
    // never show its cursor, error and bookmark bars again.
    showTraces(series, true);

    const bool open = m_files->isStoredFileOpen();
    debugLog(4, std::string("CQmlInterface::initEcg() storedFileIsOpen=") + trueFalse(open) +
                    ", isStreaming=" + trueFalse(m_streaming));
    if (open && !m_streaming) {
        if (m_publisher->isFlickableBound())
            m_publisher->setFlickableContentX(0.0);
        updateStoredEcg(0.0, series);
        setHorizontalFlickableWidth(m_speed);
    } else {
        clearMarkers();
    }
}

void EcgChart::updateStoredEcg(double posX, const EcgSeries& series)
{
    m_publisher->setUiData(ChartPublisher::UiValue::VectorError0, false);
    m_publisher->setUiData(ChartPublisher::UiValue::VectorError1, false);
    m_publisher->setUiData(ChartPublisher::UiValue::WarningLeadPlacement, false);
    showTraces(series, false);

    if (!m_files->isStoredFileOpen())
        return;

    clearMarkers();
    m_sweepPosition = 0;

    // Scroll positions come from QML; a negative or broken one starts at 0.
    const double first = std::isfinite(posX) && posX > 0 ? posX * m_samplesPerPixel : 0.0;
    int j = int(std::min(first, double(std::numeric_limits<int>::max() - 1)));
    m_firstShownEntry = j;

    const std::int64_t start = m_files->currentEcgTime();
    QString timeText;
    if (start != 0) {
        std::int64_t s = (start + j / kEntriesPerSecond) % 86400;
        if (s < 0)
            s += 86400;
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
        timeText = QString::fromLatin1(text);
    }
    m_publisher->setUiData(ChartPublisher::UiValue::FileTimeCurrent, timeText);

    if (m_leadInLength > 2510)
        m_leadInLength = kDefaultLeadIn;
    const int leadIn = std::max(0, m_leadInLength);

    const double scale = verticalScale();
    const EcgModeLayout* layout = modeLayout(m_displayMode);
    const int traces = layout ? layout->traces : 0;
    const int length = m_sweepLength;
    const double xStep = 1.0 / length;
    QPointF* points[6] = {};
    for (int k = 0; k < traces; ++k) {
        m_points[std::size_t(k)].resize(length);
        points[k] = m_points[std::size_t(k)].data();
    }

    // Bookmarks in entry order, walked alongside j.
    m_bookmarkScratch.clear();
    for (const EcgBookmark& b : m_bookmarks)
        m_bookmarkScratch.push_back(b.entry);
    std::sort(m_bookmarkScratch.begin(), m_bookmarkScratch.end());
    auto nextBookmark = std::lower_bound(m_bookmarkScratch.begin(), m_bookmarkScratch.end(), j);

    CEcgBuffer& buffer = m_files->ecgBuffer();
    const int entries = buffer.getRecordCount();
    const int factor = m_decimationFactor;
    int pos = 0;
    int fill = 0;
    float leads[6] = {};
    float vector[6] = {};
    int type = 0;
    std::uint64_t value = 0;

    for (; pos < length && j < entries && j < std::numeric_limits<int>::max() - leadIn; ++j) {
        bool bookmarked = false;
        while (nextBookmark != m_bookmarkScratch.end() && *nextBookmark <= j) {
            bookmarked = bookmarked || *nextBookmark == j;
            ++nextBookmark;
        }
        if (!buffer.getEntry(j + leadIn, m_mainsFilter, m_artifactFilter, leads, type, value))
            break; // past the end: the traces go on flat

        if (type < 0) {
            std::uint8_t bit = 0;
            switch (type) {
            case ECG_EVENT_CHANNEL_ERROR:
            case ECG_EVENT_PACKET_ERROR:
                bit = MarkError;
                debugLog(4, "got an error indicator=" + toStdString(type));
                break;
            case ECG_EVENT_USER_MARK1: bit = MarkUser1; break;
            case ECG_EVENT_USER_MARK2: bit = MarkUser2; break;
            case ECG_EVENT_USER_MARK3: bit = MarkUser3; break;
            case ECG_EVENT_USER_MARK4: bit = MarkUser4; break;
            default: break;
            }
            m_markers[std::size_t(pos)] |= bit;
        } else if (type == ECG_SAMPLE_LEADIN) {
            ++m_flushedEntries;
        } else {
            vector[0] = leads[0];
            vector[1] = leads[1];
            vector[2] = leads[2];
            vector[3] = -leads[3]; // the buffer stores (I + II) / 2
            vector[4] = leads[4];
            vector[5] = leads[5];
            if (factor == 1) {
                const double x = pos * xStep;
                for (int k = 0; k < traces; ++k) {
                    const int lead = layout->lead[k];
                    const float v = vector[lead];
                    points[k][pos] = QPointF(x, v * scale + layout->offset[k]);
                    m_columns[std::size_t(lead)].lastDrawn = v;
                }
                ++pos;
            } else {
                for (int k = 0; k < traces; ++k) {
                    LeadColumn& c = m_columns[std::size_t(layout->lead[k])];
                    const float v = vector[layout->lead[k]];
                    if (fill == 0) {
                        c.minimum = c.maximum = v;
                    } else if (v < c.minimum) {
                        c.minimum = v;
                        c.lastWasMinimum = true;
                    } else if (v > c.maximum) {
                        c.maximum = v;
                        c.lastWasMinimum = false;
                    }
                }
                if (++fill == factor) {
                    const double x0 = pos * xStep;
                    const double x1 = (pos + 1) * xStep;
                    for (int k = 0; k < traces; ++k) {
                        LeadColumn& c = m_columns[std::size_t(layout->lead[k])];
                        const float firstValue = c.lastWasMinimum ? c.maximum : c.minimum;
                        const float lastValue = c.lastWasMinimum ? c.minimum : c.maximum;
                        points[k][pos] = QPointF(x0, firstValue * scale + layout->offset[k]);
                        // An odd sweep length leaves no room for the last column's second point.
                        if (pos + 1 < length)
                            points[k][pos + 1] = QPointF(x1, lastValue * scale + layout->offset[k]);
                        c.lastDrawn = lastValue;
                    }
                    pos += 2;
                    fill = 0;
                }
            }
        }
        if (bookmarked)
            m_markers[std::size_t(std::min(pos, length + 1))] |= MarkUser3;
    }

    // A flat line from the end of the recording to the right edge.
    for (int k = 0; k < traces; ++k) {
        const double y = m_columns[std::size_t(layout->lead[k])].lastDrawn * scale + layout->offset[k];
        for (int p = pos; p < length; ++p)
            points[k][p] = QPointF(p * xStep, y);
    }
    for (int k = 0; k < traces; ++k) {
        if (series[k])
            series[k]->replace(m_points[std::size_t(k)]);
    }

    if (QXYSeries* cursor = series[EcgSeries::Cursor])
        cursor->replace(QList<QPointF>{{1.1, 0.0}, {1.1, 1.0}});
    drawBars(series);
    m_sweepPosition = 0;
}

void EcgChart::drawBars(const EcgSeries& series)
{
    QList<QPointF> errors;
    QList<QPointF> marks;
    const double length = m_sweepLength;
    for (std::size_t e = 0; e < m_markers.size(); ++e) {
        const std::uint8_t bits = m_markers[e];
        if (!bits)
            continue;
        const double x = e / length;
        if (bits & MarkError) {
            const bool up = errors.size() % 4 == 0;
            errors.append(QPointF(x, up ? -0.5 : 1.5));
            errors.append(QPointF(x, up ? 1.5 : -0.5));
        }
        if (bits & (MarkUser1 | MarkUser2 | MarkUser3 | MarkUser4)) {
            const bool up = marks.size() % 4 == 0;
            marks.append(QPointF(x, up ? -0.5 : 1.5));
            marks.append(QPointF(x, up ? 1.5 : -0.5));
        }
    }
    if (QXYSeries* s = series[EcgSeries::Error])
        s->replace(errors);
    if (QXYSeries* s = series[EcgSeries::Marker])
        s->replace(marks);
}

void EcgChart::hideEcg(const EcgSeries& series)
{
    for (QXYSeries* s : series.s) {
        if (s)
            s->setVisible(false);
    }
}

void EcgChart::setHorizontalFlickableWidth(double speed)
{
    debugLog(4, "CQmlInterface::setHorizontalFlickableWidth() speed=" + toStdString(speed));
    if (!m_publisher->isFlickableBound())
        return;
    const std::optional<double> contentX = m_publisher->flickableContentX();
    if (!contentX) {
        debugLogError("CQmlInterface::setHorizontalFlickableWidth(), did not find property contentX");
        return;
    }
    // Before the chart has a size there is nothing to scroll over.
    if (m_chartWidth <= 0)
        return;

    const double n = std::max(0, storedEntryCount() - std::max(0, m_leadInLength));
    const double perSheet = double(m_sheetWidth) * kEntriesPerSecond;
    auto pages = [&](double s) {
        const double p = n * s / perSheet;
        return std::isfinite(p) && p > 1.0 ? p : 1.0;
    };
    const double oldPages = pages(m_speed);
    const double newPages = pages(speed);
    const double width = m_chartWidth * newPages;
    m_samplesPerPixel = n / width;
    m_publisher->setFlickableContentWidth(width);
    const double x = std::isfinite(*contentX) && *contentX > 0 ? *contentX : 0.0;
    m_publisher->setFlickableContentX(x * newPages / oldPages);
}
