#include "synthecg.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;

struct Wave {
    double amp;     // relative to the R wave
    double center;  // seconds from the R peak, at RR = 1 s
    double width;   // seconds, at RR = 1 s
    bool scales;    // P and T move with the heart rate, QRS does not
};
// Lead II shape; lead I uses the same waves with its own ratio.
const Wave kWaves[] = {
    {0.12, -0.16, 0.025, true},   // P
    {-0.10, -0.028, 0.008, false}, // Q
    {1.00, 0.0, 0.010, false},     // R
    {-0.22, 0.028, 0.009, false},  // S
    {0.28, 0.26, 0.045, true},     // T
};
}

namespace {
// Below 5 bpm (and for a rate that is not a number) the generator uses 5.
double usableRate(double bpm)
{
    return bpm >= 5.0 ? bpm : 5.0;
}
}

CSynthEcg::CSynthEcg(const SynthEcgParams& params)
    : m_params(params), m_rng(params.seed)
{
    m_params.heartRate = usableRate(m_params.heartRate);
    // The first R peak comes after half a second so that its P wave is whole.
    m_beats.push_back({0.5 * kSampleRate, rrSamples(), SynthBeatNormal});
    scheduleAhead();
}

double CSynthEcg::rrSamples() const
{
    return 60.0 * kSampleRate / m_params.heartRate;
}

void CSynthEcg::setHeartRate(double bpm)
{
    m_params.heartRate = usableRate(bpm);
    dropFutureBeats();
    scheduleAhead();
}

void CSynthEcg::insertPrematureBeat(double fraction)
{
    if (!(fraction > 0.0 && std::isfinite(fraction)))
        return;
    dropFutureBeats();
    m_overrideFactor = fraction;
    m_overrideKind = SynthBeatPremature;
    scheduleAhead();
}

void CSynthEcg::insertPause(double factor)
{
    if (!(factor > 0.0 && std::isfinite(factor)))
        return;
    dropFutureBeats();
    m_overrideFactor = factor;
    m_overrideKind = SynthBeatAfterPause;
    scheduleAhead();
}

// Beats not yet reached are planned again from the last one drawn.
void CSynthEcg::dropFutureBeats()
{
    while (m_beats.size() > 1 && m_beats.back().time >= static_cast<double>(m_n))
        m_beats.pop_back();
    m_firstActive = std::min(m_firstActive, m_beats.size() - 1);
}

void CSynthEcg::scheduleAhead()
{
    const double horizon = static_cast<double>(m_n) + 2.0 * kSampleRate;
    while (m_beats.back().time < horizon) {
        double rr = rrSamples();
        int kind = SynthBeatNormal;
        if (m_overrideFactor > 0.0) {
            rr *= m_overrideFactor;
            kind = m_overrideKind;
            m_overrideFactor = 0.0;
        } else if (m_params.rrVariation > 0.0) {
            rr *= 1.0 + m_params.rrVariation * std::clamp(m_gauss(m_rng), -2.5, 2.5);
        }
        // At least one sample after the last beat: a rate too high to add
        // to the time, or a variation beyond the RR, must not stall the
        // plan or put beats out of order.
        double t = m_beats.back().time + rr;
        if (!(t >= m_beats.back().time + 1.0))
            t = m_beats.back().time + 1.0;
        if (t < static_cast<double>(m_n) + 1.0)
            t = static_cast<double>(m_n) + 1.0;
        m_beats.push_back({t, t - m_beats.back().time, kind});
    }
}

double CSynthEcg::beatShape(const Beat& b, double n, double& leadI) const
{
    const double rrSec = std::max(b.rr, 1.0) / kSampleRate;
    const double scale = std::clamp(std::sqrt(rrSec), 0.42, 1.3);
    const double t = (n - b.time) / kSampleRate;
    double ii = 0.0, i = 0.0;
    for (const Wave& w : kWaves) {
        const double c = w.scales ? w.center * scale : w.center;
        const double wd = w.scales ? w.width * scale : w.width;
        const double d = (t - c) / wd;
        if (d > 6.0 || d < -6.0)
            continue;
        const double g = w.amp * std::exp(-0.5 * d * d);
        ii += g;
        // Lead I: a smaller QRS and relatively larger P and T.
        i += g * (w.scales ? 1.2 : 1.0);
    }
    leadI = i * m_params.leadIRatio * m_params.amplitude;
    return ii * m_params.amplitude;
}

SynthEcgSample CSynthEcg::next()
{
    scheduleAhead();
    const double n = static_cast<double>(m_n);
    SynthEcgSample s{0.0, 0.0, false};
    while (m_firstActive + 1 < m_beats.size() && m_beats[m_firstActive].time < n - kSampleRate)
        ++m_firstActive;
    for (std::size_t k = m_firstActive; k < m_beats.size(); ++k) {
        const Beat& b = m_beats[k];
        if (b.time > n + kSampleRate)
            break;
        double i = 0.0;
        s.leadII += beatShape(b, n, i);
        s.leadI += i;
        if (std::llround(b.time) == m_n)
            s.rPeak = true;
    }
    const double sec = n / kSampleRate;
    const double common = m_params.baselineWander * std::sin(2.0 * kPi * 0.3 * sec)
        + m_params.mainsAmplitude * std::sin(2.0 * kPi * m_params.mainsFrequency * sec);
    s.leadII += common;
    s.leadI += common * 0.8;
    if (m_params.noise > 0.0) {
        s.leadII += m_params.noise * m_gauss(m_rng);
        s.leadI += m_params.noise * m_gauss(m_rng);
    }
    ++m_n;
    return s;
}

std::vector<SynthBeat> CSynthEcg::pastBeats() const
{
    std::vector<SynthBeat> out;
    for (const Beat& b : m_beats) {
        const std::int64_t at = std::llround(b.time);
        if (at < m_n)
            out.push_back({at, b.kind});
    }
    return out;
}
