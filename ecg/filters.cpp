#include "filters.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {
// DC gain of the 50 Hz notch section, so the notch passes DC at 1 like the
// 100 Hz and 60 Hz sections: (1 - 1.618 + 1) / (1 - 1.5164 + 0.8783).
constexpr double kNotch50DcGain = (1.0 - 1.618 + 1.0) / (1.0 - 1.5164 + 0.8783);

inline void shiftIn(double (&v)[5], double value)
{
    v[0] = v[1];
    v[1] = v[2];
    v[2] = v[3];
    v[3] = v[4];
    v[4] = value;
}
}

void IirSection::init()
{
    std::memset(x, 0, sizeof(x));
    std::memset(y, 0, sizeof(y));
}

double IirSection::processSecondOrder(double in, double gain, double b0, double b1, double b2,
                                      double a1, double a2)
{
    shiftIn(x, in / gain);
    const double out = b0 * x[4] + b1 * x[3] + b2 * x[2] + a1 * y[4] + a2 * y[3];
    shiftIn(y, out);
    return out;
}

double IirSection::processLowPass35(double in)
{
    return processSecondOrder(in, 27.34120269, 1.0, 2.0, 1.0, 1.3908952814, -0.5371946248);
}

namespace {
constexpr double kHighPass005Gain = 1.000444387;
}

double IirSection::processHighPass005(double in)
{
    return processSecondOrder(in, kHighPass005Gain, 1.0, -2.0, 1.0, 1.9991114235, -0.9991118181);
}

void IirSection::settleHighPass005(double in)
{
    // A high-pass passes no constant: its outputs have settled at 0.
    std::fill(std::begin(x), std::end(x), in / kHighPass005Gain);
    std::fill(std::begin(y), std::end(y), 0.0);
}

double IirSection::processLowPass2(double in)
{
    return processSecondOrder(in, 6445.440937, 1.0, 2.0, 1.0, 1.9644605802, -0.9650811739);
}

double IirSection::processBandPass(double in)
{
    shiftIn(x, in / 74.8535296);
    const double out = x[4] - 2.0 * x[2] + x[0]
        - 0.7008967812 * y[1] + 2.3681639156 * y[2] - 3.6670730371 * y[3] + 2.832753324 * y[4];
    shiftIn(y, out);
    return out;
}

void EcgFilterChain::init()
{
    lowPass = 0;
    highPass = 0;
    notch = 0;
    reset();
}

void EcgFilterChain::reset()
{
    for (auto& s : lowPassSections) s.init();
    for (auto& s : notch50) s.init();
    for (auto& s : notch100) s.init();
    for (auto& s : notch60) s.init();
    highPassSection.init();
}

double EcgFilterChain::process(double v)
{
    if (lowPass) {
        for (auto& s : lowPassSections)
            v = s.processLowPass35(v);
    }
    if (notch == 50) {
        for (auto& s : notch50)
            v = s.processSecondOrder(v, kNotch50DcGain, 1.0, -1.618, 1.0, 1.5164, -0.8783);
        for (auto& s : notch100)
            v = s.processSecondOrder(v, 1.050307859, 1.0, -0.6188155797, 1.0, 0.5891754253, -0.9042035937);
    } else if (notch == 60) {
        for (auto& s : notch60)
            v = s.processSecondOrder(v, 1.062914667, 1.0, -1.4608198491, 1.0, 1.3743528941, -0.8816185924);
    }
    if (highPass)
        v = highPassSection.processSecondOrder(v, 1.007133939, 1.0, -2.0, 1.0, 1.9857830115, -0.9858833621);
    return v;
}

double Differentiator::process(double x)
{
    previous = current;
    current = x;
    return current - previous;
}

void MovingAverage10::init()
{
    std::memset(values, 0, sizeof(values));
}

double MovingAverage10::process(double x)
{
    std::memmove(values + 1, values, 9 * sizeof(double));
    values[0] = x;
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return sum / 10.0;
}

void DelayLine31::init()
{
    std::memset(values, 0, sizeof(values));
    index = 0;
}

double DelayLine31::process(double x)
{
    const double out = values[index];
    values[index] = x;
    index = (index + 1) % 31;
    return out;
}

void IntRing500::init()
{
    capacity = 4;
    count = 0;
    index = 0;
    std::memset(values, 0, sizeof(values));
}

void IntRing500::setCapacity(int n)
{
    capacity = (n >= 1 && n <= 499) ? n : 500;
    count = 0;
    index = 0;
}

void IntRing500::push(int v)
{
    if (count < capacity)
        ++count;
    values[index] = v;
    index = (index + 1) % 500;
}

int IntRing500::at(int age) const
{
    return values[((index - 1 - age) % 500 + 500) % 500];
}

int IntRing500::mean() const
{
    if (count <= 0)
        return 0;
    long long sum = 0;
    for (int i = 0; i < count; ++i)
        sum += at(i);
    return static_cast<int>((sum + count / 2) / count);
}

int IntRing500::rankValue() const
{
    if (count <= 0)
        return 0;
    int sorted[500];
    for (int i = 0; i < count; ++i)
        sorted[i] = at(i);
    std::sort(sorted, sorted + count);
    if (count % 2)
        return sorted[(count + 1) / 4];
    return static_cast<int>((static_cast<long long>(sorted[count / 4]) + sorted[count / 4 + 1]) / 2);
}

double IntRing500::meanAbsDiffPercent(int reference) const
{
    if (count < 2 || reference == 0)
        return 0.0;
    long long sum = 0;
    for (int age = count - 1; age > 0; --age) {
        const long long d = static_cast<long long>(at(age - 1)) - at(age);
        sum += d < 0 ? -d : d;
    }
    return static_cast<double>(sum) / (count - 1) * 100.0 / reference;
}
