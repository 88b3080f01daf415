#include "beattemplates.h"

#include "debuglog.h"
#include "filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {
constexpr int kLen = EcgBeatWindow::kLength;
constexpr std::size_t kTemplateFloats = 6 * std::size_t(kLen);

bool validBeat(std::int64_t b, const EcgBeatTable& beats)
{
    return b >= 0 && b < std::int64_t(beats.size());
}

void lowPass(const float* in, float* out)
{
    IirSection s;
    s.init();
    for (int k = 0; k < kLen; ++k)
        out[k] = float(s.processLowPass35(in[k]));
}

// The 35 Hz low-pass from rest fed with ones.
const double* stepResponse()
{
    static const std::vector<double> step = [] {
        std::vector<double> v(kLen);
        IirSection s;
        s.init();
        for (int k = 0; k < kLen; ++k)
            v[std::size_t(k)] = s.processLowPass35(1.0);
        return v;
    }();
    return step.data();
}
}

void CBeatTemplates::setParams(int halfWidth, int mergeLimit, double scaleLimit,
                               double amplitudeFloor, double amplitudeCeiling)
{
    // The comparison range must stay inside the window.
    m_halfWidth = std::clamp(halfWidth, 0, 3 * (EcgBeatWindow::kPeak - 1) / 2);
    m_mergeLimit = mergeLimit;
    m_scaleLimit = scaleLimit;
    m_floor = amplitudeFloor;
    m_ceiling = amplitudeCeiling;
}

void CBeatTemplates::rangeOf(int& lo, int& hi) const
{
    lo = EcgBeatWindow::kPeak - m_halfWidth / 3;
    hi = EcgBeatWindow::kPeak + 2 * m_halfWidth / 3;
}

bool CBeatTemplates::grow()
{
    const int capacity = m_capacity + kGrowth;
    try {
        m_headers.resize(std::size_t(capacity), Header{-1, -1, -1, 0});
    } catch (const std::bad_alloc&) {
        debugLogError("memory allocation error in CEcgAnalysis::newDrawer() line " + toStdString(1981));
        return false;
    }
    try {
        m_data.resize(std::size_t(capacity) * kTemplateFloats); // zeros, written only when used
    } catch (const std::bad_alloc&) {
        debugLogError("memory allocation error in CEcgAnalysis::newDrawer() line " + toStdString(1986));
        return false;
    }
    m_capacity = capacity;
    return true;
}

bool CBeatTemplates::prepare()
{
    if (m_capacity == 0 && !grow())
        return false;
    m_count = 1;
    m_headers[0] = Header{-1, -1, -1, 0};
    std::fill(m_data.begin(), m_data.begin() + std::ptrdiff_t(kTemplateFloats), 0.0f);
    return true;
}

const float* CBeatTemplates::data(int t, int array) const
{
    if (t < 0 || t >= m_count || array < 0 || array >= 6
        || (std::size_t(t) + 1) * kTemplateFloats > m_data.size())
        return nullptr;
    return m_data.data() + std::size_t(t) * kTemplateFloats + std::size_t(array) * kLen;
}

float* CBeatTemplates::dataOf(int t, int array)
{
    return m_data.data() + std::size_t(t) * kTemplateFloats + std::size_t(array) * kLen;
}

double CBeatTemplates::leadAmplitude(double meanSize) const
{
    double a = std::max(meanSize, m_floor);
    a = std::min(a, m_ceiling);
    return a > 1e-9 ? a : 1e-9;
}

void CBeatTemplates::compare(const float* const a[3], const float* const b[3], double& scaled,
                             double& unscaled) const
{
    int lo, hi;
    rangeOf(lo, hi);
    const int n = hi - lo + 1;
    scaled = 0.0;
    unscaled = 0.0;
    const double s = m_scaleLimit > 0.0 ? m_scaleLimit : 1.0;
    for (int lead = 0; lead < 3; ++lead) {
        const float* t = a[lead];
        const float* x = b[lead];
        double meanT = 0.0, meanX = 0.0;
        double minT = t[lo], maxT = t[lo], minX = x[lo], maxX = x[lo];
        for (int k = lo; k <= hi; ++k) {
            meanT += t[k];
            meanX += x[k];
            minT = std::min<double>(minT, t[k]);
            maxT = std::max<double>(maxT, t[k]);
            minX = std::min<double>(minX, x[k]);
            maxX = std::max<double>(maxX, x[k]);
        }
        meanT /= n;
        meanX /= n;
        const double sizeT = maxT - minT;
        const double sizeX = maxX - minX;
        double factor = sizeX == 0.0 ? 1.0 : sizeT / sizeX;
        factor = std::min(std::max(factor, 1.0 / s), std::max(s, 1.0 / s));
        const double offsetScaled = meanT - factor * meanX;
        const double offsetUnscaled = meanT - meanX;
        double sumScaled = 0.0, sumUnscaled = 0.0;
        for (int k = lo; k <= hi; ++k) {
            sumScaled += std::fabs(t[k] - (x[k] * factor + offsetScaled));
            sumUnscaled += std::fabs(t[k] - (x[k] + offsetUnscaled));
        }
        const double amp = leadAmplitude((sizeT + sizeX) / 2.0);
        scaled = std::max(scaled, sumScaled / n / amp * 100.0);
        unscaled = std::max(unscaled, sumUnscaled / n / amp * 100.0);
    }
}

int CBeatTemplates::drawerGetBestMatch(std::int64_t position, const EcgBeatWindow& w,
                                       double& matchIndex, int& shift,
                                       EcgBeatTable& beats)
{
    shift = 0;
    if (m_count <= 1) {
        matchIndex = 9999.0;
        return 0;
    }
    const float* beat[3] = {w.filtered[0], w.filtered[1], w.filtered[2]};
    int best = -1, next = -1;
    double bestScaled = 9999.0, bestUnscaled = 9999.0, nextScaled = 9999.0, nextUnscaled = 9999.0;
    for (int t = 1; t < m_count; ++t) {
        const float* tpl[3] = {data(t, 3), data(t, 4), data(t, 5)};
        double sc, un;
        compare(tpl, beat, sc, un);
        if (best == -1) {
            best = t;
            bestScaled = sc;
            bestUnscaled = un;
        } else if (sc < bestScaled) {
            next = best;
            nextScaled = bestScaled;
            nextUnscaled = bestUnscaled;
            best = t;
            bestScaled = sc;
            bestUnscaled = un;
        } else if (next == -1 || sc < nextScaled) {
            next = t;
            nextScaled = sc;
            nextUnscaled = un;
        }
    }
    if (m_log)
        debugLog(2, "drawerGetBestMatch() fpos=" + toStdString(static_cast<long long>(position))
                 + " bestDrawer=" + toStdString(best) + " diff=" + toStdString(bestScaled)
                 + " nextBestDrawer=" + toStdString(next) + " diff=" + toStdString(nextScaled));
    const bool bothClose = next != -1 && bestScaled < kMatchLimit && nextScaled < kMatchLimit;
    if (bothClose && nextUnscaled < bestUnscaled) {
        std::swap(best, next);
        std::swap(bestScaled, nextScaled);
        std::swap(bestUnscaled, nextUnscaled);
    }
    matchIndex = std::min(bestScaled, bestUnscaled);
    if (bothClose) {
        const float* a[3] = {data(best, 3), data(best, 4), data(best, 5)};
        const float* b[3] = {data(next, 3), data(next, 4), data(next, 5)};
        double sc, un;
        compare(a, b, sc, un);
        if (m_log)
            debugLog(2, "drawerGetBestMatch() comparing bestDrawer=" + toStdString(best)
                     + " with nextBestDrawer=" + toStdString(next) + " diff=" + toStdString(sc));
        if (sc < m_mergeLimit) {
            drawerCombine(best, next, 0, beats);
            if (next < best) {
                --best;
                if (m_log)
                    debugLog(2, "drawerGetBestMatch() bestDrawer decremented by one to bestDrawer="
                             + toStdString(best));
            }
        }
    }
    return best;
}

int CBeatTemplates::newDrawer(const EcgBeatWindow& w, std::int64_t beat)
{
    if (m_count >= m_capacity) {
        if (!grow())
            return -1;
        debugLog(2, "reallocating drawers, now at " + toStdString(m_capacity));
    }
    const int t = m_count;
    for (int lead = 0; lead < 3; ++lead) {
        std::memcpy(dataOf(t, lead), w.raw[lead], sizeof(float) * kLen);
        std::memcpy(dataOf(t, lead + 3), w.filtered[lead], sizeof(float) * kLen);
    }
    m_headers[std::size_t(t)] = Header{beat, beat, beat, 1};
    if (m_log)
        debugLog(2, "*** adding new drawer=" + toStdString(t));
    ++m_count;
    return t;
}

void CBeatTemplates::addBeat(int t, const EcgBeatWindow& w, std::int64_t beat, int shift,
                             EcgBeatTable& beats)
{
    if (t < 0 || t >= m_count)
        return;
    Header& h = m_headers[std::size_t(t)];
    if (h.beatCount <= 0) {
        for (int lead = 0; lead < 3; ++lead) {
            std::memcpy(dataOf(t, lead), w.raw[lead], sizeof(float) * kLen);
            std::memcpy(dataOf(t, lead + 3), w.filtered[lead], sizeof(float) * kLen);
        }
        h.firstBeat = h.lastBeat = h.thirdBeat = beat;
        h.beatCount = 1;
        return;
    }
    if (validBeat(beat, beats)) {
        beats[std::size_t(beat)].templateLink = h.lastBeat;
        if (validBeat(h.lastBeat, beats))
            beats[std::size_t(h.lastBeat)].nextInTemplate = beat;
    }
    h.lastBeat = beat;
    if (t != 0) {
        // A new beat always weighs at least one twentieth.
        const double n = double(std::min<std::int64_t>(h.beatCount, 19));
        int lo, hi;
        rangeOf(lo, hi);
        for (int lead = 0; lead < 3; ++lead) {
            float* tpl = dataOf(t, lead);
            float* tplFiltered = dataOf(t, lead + 3);
            const float* x = w.raw[lead];
            double levelT = 0.0, levelX = 0.0;
            for (int k = lo; k <= hi; ++k) {
                levelT += tpl[k];
                levelX += x[k];
            }
            levelT /= (hi - lo + 1);
            levelX /= (hi - lo + 1);
            if (shift == 0) {
                // The new template is (n T + B + levelT - levelX) / (n + 1). The
                // low-pass starts from rest and is linear, so its output is the
                // same mix of the template's and the beat's filtered values and
                // the filter's step response.
                const float* xf = w.filtered[lead];
                const double c = levelT - levelX;
                const double* step = stepResponse();
                for (int k = 0; k < kLen; ++k) {
                    tpl[k] = float((tpl[k] * n + x[k] + c) / (n + 1.0));
                    tplFiltered[k] = float((tplFiltered[k] * n + xf[k] + c * step[k]) / (n + 1.0));
                }
            } else {
                for (int k = std::max(0, -shift); k < kLen && k + shift < kLen; ++k)
                    tpl[k] = float(((tpl[k] - levelT) * n + (x[k + shift] - levelX)) / (n + 1.0) + levelT);
                lowPass(tpl, tplFiltered);
            }
        }
    }
    ++h.beatCount;
}

void CBeatTemplates::appendChain(int t, int u, EcgBeatTable& beats)
{
    Header& ht = m_headers[std::size_t(t)];
    const Header& hu = m_headers[std::size_t(u)];
    if (hu.beatCount <= 0)
        return;
    if (ht.beatCount <= 0) {
        ht.firstBeat = hu.firstBeat;
        ht.lastBeat = hu.lastBeat;
        ht.beatCount = hu.beatCount;
        return;
    }
    if (validBeat(ht.lastBeat, beats))
        beats[std::size_t(ht.lastBeat)].nextInTemplate = hu.firstBeat;
    if (validBeat(hu.firstBeat, beats))
        beats[std::size_t(hu.firstBeat)].templateLink = ht.lastBeat;
    ht.lastBeat = hu.lastBeat;
    ht.beatCount += hu.beatCount;
}

void CBeatTemplates::remove(int u)
{
    for (int t = u; t + 1 < m_count; ++t) {
        m_headers[std::size_t(t)] = m_headers[std::size_t(t) + 1];
        std::memcpy(dataOf(t, 0), dataOf(t + 1, 0), sizeof(float) * kTemplateFloats);
    }
    --m_count;
}

void CBeatTemplates::drawerCombine(int t, int u, int shift, EcgBeatTable& beats)
{
    if (t == u || t < 0 || u < 0 || t >= m_count || u >= m_count)
        return;
    const double nt = double(std::max<std::int64_t>(m_headers[std::size_t(t)].beatCount, 0));
    const double nu = double(std::max<std::int64_t>(m_headers[std::size_t(u)].beatCount, 0));
    if (m_log)
        debugLog(2, "drawerCombine() targetDrawer=" + toStdString(t) + " with "
                 + toStdString(static_cast<long long>(nt)) + " elements assimilates secondaryDrawer="
                 + toStdString(u) + " with " + toStdString(static_cast<long long>(nu)) + " elements");
    if (nt + nu > 0.0) {
        for (int array = 0; array < 6; ++array) {
            float* a = dataOf(t, array);
            const float* b = dataOf(u, array);
            // Outside the overlap the last index inside it serves.
            for (int k = 0; k < kLen; ++k) {
                const int j = std::clamp(k + shift, 0, kLen - 1);
                a[k] = float((a[k] * nt + b[j] * nu) / (nt + nu));
            }
        }
    }
    appendChain(t, u, beats);
    remove(u);
}

void CBeatTemplates::compact(EcgBeatTable& beats)
{
    for (int t = 1; t < m_count;) {
        if (m_headers[std::size_t(t)].beatCount <= 2) {
            appendChain(0, t, beats);
            remove(t);
        } else {
            ++t;
        }
    }
}
