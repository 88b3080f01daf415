// One 50 ms live tick: 25 samples at 500 per second through the beat
// analyses, the display filters and the point table of six leads at the
// slowest paper speed (8,000 points), then the series replaced on OpenGL
// line series. Then ten minutes of stream at accelerated time, and the
// bridge's resident memory growth over them.

#include "ecgchart.h"
#include "liveview.h"
#include "qmlinterface.h"
#include "synthecg.h"
#include "viewersettings.h"

#include <QApplication>
#include <QLineSeries>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The synthetic ECG of a dog at 120 per minute, 25 samples a tick.
class SynthSource : public LiveSource
{
public:
    SynthSource()
    {
        SynthEcgParams p;
        p.heartRate = 120;
        p.noise = 5;
        m_synth = CSynthEcg(p);
    }
    void fill(int n) { m_pending += n; }
    bool getData(EcgStreamSample* out) override
    {
        if (m_pending <= 0)
            return false;
        --m_pending;
        const SynthEcgSample s = m_synth.next();
        *out = EcgStreamSample{};
        out->leadI = float(s.leadI);
        out->leadII = float(s.leadII);
        out->leadIII = out->leadII - out->leadI;
        out->type = s.rPeak ? ECG_SAMPLE_RPEAK : ECG_SAMPLE;
        return true;
    }
    bool isConnected() const override { return true; }
    bool isBatteryLow() const override { return false; }
    void startStop(bool) override {}
    bool hasDevice() const override { return true; }

private:
    CSynthEcg m_synth;
    int m_pending = 0;
};

// Resident set of this process in MB (VmRSS; 0 where the system has no such file).
double residentMb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("MALVORANT_PUBLIC_DOCUMENTS", QFile::encodeName(home.filePath("Public")));
    qputenv("ALLUSERSPROFILE", QFile::encodeName(home.filePath("ProgramData")));
    QApplication app(argc, argv);

    CQmlInterface bridge;
    SynthSource source;
    LiveView& live = bridge.liveView();
    live.setSource(&source);
    live.loadSpeciesAnalysisParams(1);
    bridge.setViewerParams(3, 10, 2.5, true, true, true, false, true);

    std::vector<std::unique_ptr<QLineSeries>> owned;
    EcgSeries series;
    for (int i = 0; i < EcgSeries::Count; ++i) {
        owned.push_back(std::make_unique<QLineSeries>());
        owned.back()->setUseOpenGL(true);
        series.s[std::size_t(i)] = owned.back().get();
    }
    bridge.streamStartStop(true);

    // Warm up past the lead-in and the analysis' learning.
    for (int t = 0; t < 400; ++t) {
        source.fill(25);
        live.updateStreamedEcg(series);
    }
    std::vector<double> ms;
    for (int t = 0; t < 2000; ++t) {
        source.fill(25);
        const auto start = std::chrono::steady_clock::now();
        live.updateStreamedEcg(series);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    if (live.sampleCount() < 2000 * 25 || series[5]->count() < 1000) {
        std::fprintf(stderr, "bench_app_livetick: the tick drew nothing (%d samples, %d points)\n",
                     live.sampleCount(), int(series[5]->count()));
        return 1;
    }
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    std::printf("BENCH live_tick_ms %.3f ms\n", ms[ms.size() / 2]);

    // Ten minutes of stream (12,000 ticks), memory after the first against the last.
    const double before = residentMb();
    for (int t = 0; t < 12000; ++t) {
        source.fill(25);
        live.updateStreamedEcg(series);
        if (t % 200 == 0)
            QCoreApplication::processEvents();
    }
    const double after = residentMb();
    std::printf("BENCH live_rss_growth_mb %.2f MB\n", after - before);
    std::fflush(stdout);
    bridge.streamStartStop(false);
    return 0;
}
