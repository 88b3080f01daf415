// Drawing one screen of a stored recording at the slowest paper speed: 40,000
// entries folded into 8,000 points per trace, six traces (the worst case).
// Scrolling calls this for every flickable step, so it must keep up with it.

#include "chartpublisher.h"
#include "dbman.h"
#include "ecgchart.h"
#include "fileman.h"
#include "settingsman.h"

#include "../tests/common/mitdb.h"

#include <QCoreApplication>
#include <QLineSeries>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// Publishes into nothing: the bench measures the drawing alone.
struct NoItems : ChartPublisher {
    bool isUiDataBound() const override { return false; }
    void setUiData(UiValue, const QVariant&) override {}
    void invokeEcgChart(ChartCall) override {}
    bool isFlickableBound() const override { return true; }
    std::optional<double> flickableContentX() const override { return 0.0; }
    void setFlickableContentWidth(double) override {}
    void setFlickableContentX(double) override {}
};

EcgStreamSample sampleOf(float leadI, float leadII, int type)
{
    EcgStreamSample s{};
    s.leadI = leadI;
    s.leadII = leadII;
    s.leadIII = leadII - leadI;
    s.leadNegAvr = (leadI + leadII) / 2;
    s.leadAvl = leadI - leadII / 2;
    s.leadAvf = leadII - leadI / 2;
    s.type = type;
    return s;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    int from = -1, to = -1;
    CDbMan db(dir.path(), from, to);
    CSettingsMan settings(QStringLiteral("MalvorantQml"), db.database(), from, to);
    CFileMan files(dir.path() + QLatin1Char('/'), db.database(), &settings, from, to);

    // Five minutes of MIT-BIH record 100 behind the usual lead-in.
    const MitRecord mit = mitReadRecord(MALVORANT_TEST_DATA "/mitdb", "100");
    if (!mit.error.empty()) {
        std::fprintf(stderr, "MIT-BIH record 100: %s\n", mit.error.c_str());
        return 1;
    }
    const std::vector<float> mlii = mitResample(mit, 0, 500);
    const std::vector<float> v5 = mitResample(mit, 1, 500);
    if (!files.ecgFileCreate(0, "bench", "", "Owner", "B1", 0, 1, 1, QString()))
        return 1;
    for (int i = 0; i < 2500; ++i)
        files.addEntry(sampleOf(0, 0, ECG_SAMPLE_LEADIN));
    for (int i = 0; i < 5 * 60 * 500; ++i)
        files.addEntry(sampleOf(v5[std::size_t(i) % v5.size()], mlii[std::size_t(i) % mlii.size()], 0));
    if (!files.ecgFileCreateEnd() || files.selectFile(files.currentEcgId()) < 0)
        return 1;
    files.ecgBuffer().setFilterOptions(1, true);

    NoItems items;
    EcgChart chart(&settings, &files, &items);
    chart.setStreaming(false);
    chart.setLeadInLength(2500);
    chart.setDisplayMode(3);
    chart.setGain(10);
    chart.setSpeed(2.5);
    chart.setFilterFlags(true, true);
    chart.setSize(1920, 900); // budget 8,000; scroll range at 2.5 mm/s
    chart.computeColumnLayout();

    QLineSeries lines[9];
    EcgSeries series;
    for (int i = 0; i < 9; ++i)
        series.s[std::size_t(i)] = &lines[i];

    // Scroll through the recording a screen at a time, as a user paging would.
    std::vector<double> ms;
    for (int run = 0; run < 40; ++run) {
        const double posX = (run % 8) * 600.0; // the range is 3.75 screens wide
        const auto t0 = std::chrono::steady_clock::now();
        chart.updateStoredEcg(posX, series);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    if (lines[0].count() != chart.sweepLength() || chart.decimationFactor() != 10 || chart.firstShownEntry() == 0)
        return 1;
    std::printf("BENCH stored_redraw_ms %.3f ms\n", ms[ms.size() / 2]);
    return 0;
}
