#ifndef MALVORANT_TESTS_CHARTRECORDING_H
#define MALVORANT_TESTS_CHARTRECORDING_H

// Recordings made the way the program makes them (CFileMan::ecgFileCreate,
// addEntry, ecgFileCreateEnd), with a lead-in and a flushed tail of type 45,
// events and known sample values, for the chart's tests and pictures.

#include "ecgrecords.h"
#include "fileman.h"

#include <cmath>
#include <functional>
#include <map>
#include <vector>

namespace ChartRecording {

inline EcgStreamSample sample(float leadI, float leadII, int type = ECG_SAMPLE)
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

inline EcgStreamSample event(int type)
{
    EcgStreamSample s{};
    s.type = type;
    return s;
}

// Lead I and II of real sample i.
using Signal = std::function<void(int i, float& leadI, float& leadII)>;

inline void testSignal(int i, float& leadI, float& leadII)
{
    leadI = float(100.0 * std::sin(i * 0.05) + (i % 7));
    leadII = float(150.0 * std::cos(i * 0.031) - (i % 5));
}

struct Layout {
    int leadIn = 2500;                 // type 45 samples before the first real one
    int samples = 3000;                // real samples
    int tail = 1250;                   // type 45 samples after them
    std::map<int, int> eventsBefore;   // real sample index -> event type written before it
    Signal signal = testSignal;
};

// Records the layout for patient 0; returns the new ecgId or -1.
inline int record(CFileMan& files, const Layout& layout)
{
    if (!files.ecgFileCreate(0, "chart", "Ann", "Owner", "X1", 0, 1, 1, QString()))
        return -1;
    float lastI = 0;
    float lastII = 0;
    for (int i = 0; i < layout.leadIn; ++i) {
        if (!files.addEntry(sample(0, 0, ECG_SAMPLE_LEADIN)))
            return -1;
    }
    for (int i = 0; i < layout.samples; ++i) {
        auto e = layout.eventsBefore.find(i);
        if (e != layout.eventsBefore.end() && !files.addEntry(event(e->second)))
            return -1;
        layout.signal(i, lastI, lastII);
        if (!files.addEntry(sample(lastI, lastII, i % 400 == 0 ? ECG_SAMPLE_RPEAK : ECG_SAMPLE)))
            return -1;
    }
    for (int i = 0; i < layout.tail; ++i) {
        if (!files.addEntry(sample(lastI, lastII, ECG_SAMPLE_LEADIN)))
            return -1;
    }
    return files.ecgFileCreateEnd() ? files.currentEcgId() : -1;
}

// The six values the chart draws for lead I and II: I, II, III, -(I + II) / 2, aVL, aVF.
inline void leadVector(float leadI, float leadII, float out[6])
{
    out[0] = leadI;
    out[1] = leadII;
    out[2] = leadII - leadI;
    out[3] = -((leadII + leadI) * 0.5f);
    out[4] = leadI - leadII * 0.5f;
    out[5] = leadII - leadI * 0.5f;
}

} // namespace ChartRecording

#endif
