#ifndef MALVORANT_SYNTHECG_H
#define MALVORANT_SYNTHECG_H

#include <cstdint>
#include <random>
#include <vector>

// A synthetic two-lead ECG at 500 samples per second: P, QRS and T waves at a
// chosen heart rate and amplitude, with optional noise, baseline wander and
// mains interference. Every R peak it draws is listed with its sample index,
// so detectors can be scored against known beats. Feeds the simulated
// acquisition device and the beat-analysis tests.
struct SynthEcgParams {
    double heartRate = 80.0;       // beats per minute
    double amplitude = 1000.0;     // R-wave height of lead II, in sample units
    double leadIRatio = 0.6;       // lead I is this fraction of lead II's shape
    double noise = 0.0;            // white noise, standard deviation in sample units
    double baselineWander = 0.0;   // 0.3 Hz wander, amplitude in sample units
    double mainsAmplitude = 0.0;   // mains interference, amplitude in sample units
    double mainsFrequency = 50.0;  // Hz
    double rrVariation = 0.0;      // random beat-to-beat RR change, fraction of RR
    unsigned seed = 1;
};

struct SynthEcgSample {
    double leadI;
    double leadII;
    bool rPeak;                    // this sample is a beat's R peak
};

enum SynthBeatKind { SynthBeatNormal = 0, SynthBeatPremature = 1, SynthBeatAfterPause = 2 };

struct SynthBeat {
    std::int64_t sample;           // sample index of the R peak
    int kind;                      // SynthBeatKind
};

class CSynthEcg
{
public:
    static constexpr int kSampleRate = 500;

    explicit CSynthEcg(const SynthEcgParams& params = SynthEcgParams());

    const SynthEcgParams& params() const { return m_params; }
    void setHeartRate(double bpm);

    // The next beat comes after `fraction` of the current RR interval.
    // Both ignore a value that is not a positive finite number.
    void insertPrematureBeat(double fraction);
    // The next beat comes after `factor` times the current RR interval.
    void insertPause(double factor);

    SynthEcgSample next();
    std::int64_t sampleIndex() const { return m_n; }
    // Every beat whose R peak has been produced, oldest first.
    std::vector<SynthBeat> pastBeats() const;

private:
    struct Beat {
        double time;   // R peak in samples (fractional)
        double rr;     // RR interval before it, in samples
        int kind;
    };
    double rrSamples() const;
    void scheduleAhead();
    void dropFutureBeats();
    double beatShape(const Beat& b, double n, double& leadI) const;

    SynthEcgParams m_params;
    std::int64_t m_n = 0;
    std::vector<Beat> m_beats;
    std::size_t m_firstActive = 0; // first beat that can still shape the signal
    double m_overrideFactor = 0.0;
    int m_overrideKind = SynthBeatNormal;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_gauss{0.0, 1.0};
};

#endif
