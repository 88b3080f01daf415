#ifndef MALVORANT_TESTS_ANALYSISRUN_H
#define MALVORANT_TESTS_ANALYSISRUN_H

// Runs the beat analysis as the program does: two instances, lead I on
// channel 0 and lead II on channel 1, fed every sample with one record.

#include "ecganalysis.h"

#include <cstdint>
#include <memory>
#include <vector>

struct TwoLeadAnalysis {
    std::vector<std::int64_t> beats[2]; // record positions per channel
    int heartRate = 0;
};

inline EcgAnalysisParams speciesParams(int species)
{
    EcgAnalysisParams p;
    p.clear();
    fillSpeciesAnalysisParams(p, species);
    return p;
}

inline TwoLeadAnalysis analyseTwoLeads(const EcgAnalysisParams& p, const std::vector<float>& leadI,
                                       const std::vector<float>& leadII)
{
    auto a0 = std::make_unique<CEcgAnalysis>();
    auto a1 = std::make_unique<CEcgAnalysis>();
    CEcgAnalysis* a[2] = {a0.get(), a1.get()};
    for (CEcgAnalysis* x : a) {
        x->initStream(&p);
        x->setMode(6);
    }
    const std::size_t n = std::min(leadI.size(), leadII.size());
    for (std::size_t i = 0; i < n; ++i) {
        EcgStreamSample e{};
        e.leadI = leadI[i];
        e.leadII = leadII[i];
        deriveLeads(e);
        e.type = ECG_SAMPLE;
        a[0]->analyzeEcg(&e, &p, 0);
        a[1]->analyzeEcg(&e, &p, 1);
    }
    TwoLeadAnalysis r;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < a[c]->beatCount(); ++i)
            r.beats[c].push_back(a[c]->beat(i)->position);
    r.heartRate = a[1]->getHeartRate();
    return r;
}

#endif
