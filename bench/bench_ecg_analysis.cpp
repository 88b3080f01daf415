// Beat analysis figures: speed on one hour of two-lead ECG, and detection
// accuracy on MIT-BIH record 100 with the canine preset.

#include "../tests/common/analysisrun.h"
#include "../tests/common/beatscoring.h"
#include "../tests/common/mitdb.h"

#include "ecganalysis.h"
#include "synthecg.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
void realTimeFactor()
{
    // One hour of a dog's ECG at 120 per minute: 1.5 mV R waves (288 units of
    // 5.2 uV), 10 uV of noise, 26 uV of 50 Hz hum, some baseline wander.
    SynthEcgParams sp;
    sp.heartRate = 120.0;
    sp.amplitude = 288.0;
    sp.noise = 2.0;
    sp.mainsAmplitude = 5.0;
    sp.baselineWander = 29.0;
    sp.rrVariation = 0.03;
    CSynthEcg gen(sp);
    const std::size_t n = 3600u * 500u;
    std::vector<float> leadI(n), leadII(n);
    for (std::size_t i = 0; i < n; ++i) {
        const SynthEcgSample s = gen.next();
        leadI[i] = float(s.leadI);
        leadII[i] = float(s.leadII);
    }
    const EcgAnalysisParams p = speciesParams(kSpeciesCanine);
    double best = 1e9;
    std::size_t beats = 0;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        const TwoLeadAnalysis r = analyseTwoLeads(p, leadI, leadII);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, s);
        beats = r.beats[1].size();
    }
    std::fprintf(stderr, "one hour of two leads in %.3f s, %zu beats on lead II\n", best, beats);
    std::printf("BENCH analysis_realtime %.0f x\n", 3600.0 / best);
}

bool mitdb100()
{
    const std::string folder = std::string(MALVORANT_TEST_DATA) + "/mitdb";
    const MitRecord rec = mitReadRecord(folder, "100");
    if (!rec.error.empty()) {
        std::fprintf(stderr, "MIT-BIH record 100 in %s: %s\n", folder.c_str(), rec.error.c_str());
        return false;
    }
    const std::vector<float> mlii = mitResample(rec, 0, 500.0);
    const std::vector<float> v5 = mitResample(rec, 1, 500.0);
    const EcgAnalysisParams p = speciesParams(kSpeciesCanine);
    const TwoLeadAnalysis r = analyseTwoLeads(p, v5, mlii);
    const std::vector<std::int64_t> reference = mitReferenceBeats(rec, 500.0);
    // From 12 s (the detector learns for 8 s) to 3 s before the end (the
    // newest beat has no record yet), within 150 ms, on MLII (lead II).
    const BeatScore s = scoreBeats(reference, r.beats[1], 75, 12 * 500, std::int64_t(mlii.size()) - 3 * 500);
    std::fprintf(stderr, "MIT-BIH 100: %d reference beats scored, %d missed, %d false\n",
                 s.truePositives + s.falseNegatives, s.falseNegatives, s.falsePositives);
    std::printf("BENCH mitdb100_sensitivity %.2f %%\n", s.sensitivity());
    std::printf("BENCH mitdb100_ppv %.2f %%\n", s.positivePredictivity());
    return true;
}
}

int main()
{
    realTimeFactor();
    return mitdb100() ? 0 : 1;
}
