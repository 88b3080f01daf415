#ifndef MALVORANT_TESTS_MITDB_H
#define MALVORANT_TESTS_MITDB_H

// Reader of an MIT-BIH Arrhythmia Database record (signalCount in format 212,
// reference annotations in the MIT format), with resampling to the device's
// 500 samples per second and scaling to its sample units.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

struct MitRecord {
    double frequency = 0.0;
    double gain[2] = {200.0, 200.0};
    int baseline[2] = {1024, 1024};
    std::vector<int> signal[2];              // raw ADC values
    std::vector<std::int64_t> beats;         // reference beat samples
    std::string error;
};

inline bool mitIsBeatCode(int code)
{
    // Beat annotation codes of the MIT format.
    return (code >= 1 && code <= 13) || code == 25 || code == 30 || code == 31 || code == 34
        || code == 35 || code == 38;
}

inline std::vector<unsigned char> mitReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return {};
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline MitRecord mitReadRecord(const std::string& folder, const std::string& name)
{
    MitRecord rec;
    std::ifstream hea(folder + "/" + name + ".hea");
    if (!hea) {
        rec.error = "cannot open header";
        return rec;
    }
    std::string line;
    int signalCount = 0, lineNo = 0;
    long long samples = 0;
    while (std::getline(hea, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream is(line);
        is.imbue(std::locale::classic());
        if (lineNo == 0) {
            std::string recName;
            is >> recName >> signalCount >> rec.frequency >> samples;
            if (!is || signalCount < 2 || rec.frequency <= 0.0 || samples <= 0 || samples > 100000000) {
                rec.error = "bad header line";
                return rec;
            }
        } else if (lineNo <= 2) {
            std::string file, format, gainText;
            is >> file >> format >> gainText;
            if (format != "212") {
                rec.error = "unsupported format " + format;
                return rec;
            }
            const double g = std::atof(gainText.c_str());
            rec.gain[lineNo - 1] = g > 0.0 ? g : 200.0;
            int bits = 0, zero = 0, first = 0;
            is >> bits >> zero >> first;
            rec.baseline[lineNo - 1] = is ? zero : 0;
        }
        ++lineNo;
    }
    const auto dat = mitReadFile(folder + "/" + name + ".dat");
    if (dat.size() < 3) {
        rec.error = "cannot read signalCount";
        return rec;
    }
    auto twelve = [](int v) { return v >= 2048 ? v - 4096 : v; };
    const std::size_t pairs = std::min<std::size_t>(dat.size() / 3, std::size_t(samples));
    rec.signal[0].reserve(pairs);
    rec.signal[1].reserve(pairs);
    for (std::size_t i = 0; i < pairs; ++i) {
        const unsigned char* b = &dat[3 * i];
        rec.signal[0].push_back(twelve(b[0] | ((b[1] & 0x0F) << 8)));
        rec.signal[1].push_back(twelve(b[2] | ((b[1] & 0xF0) << 4)));
    }
    const auto atr = mitReadFile(folder + "/" + name + ".atr");
    std::size_t pos = 0;
    std::int64_t t = 0;
    while (pos + 1 < atr.size()) {
        const int word = atr[pos] | (atr[pos + 1] << 8);
        pos += 2;
        if (word == 0)
            break;
        const int code = word >> 10;
        const int step = word & 0x3FF;
        if (code == 59) { // SKIP: a 32-bit interval, high half first
            if (pos + 4 > atr.size())
                break;
            const std::uint32_t hi = atr[pos] | (atr[pos + 1] << 8);
            const std::uint32_t lo = atr[pos + 2] | (atr[pos + 3] << 8);
            t += std::int32_t((hi << 16) | lo);
            pos += 4;
        } else if (code == 63) { // AUX: that many bytes, padded to even
            pos += std::size_t(step + (step & 1));
        } else if (code >= 60) { // NUM, SUB, CHN: no time
        } else {
            t += step;
            if (mitIsBeatCode(code))
                rec.beats.push_back(t);
        }
    }
    if (rec.beats.empty())
        rec.error = "no reference beats";
    return rec;
}

// Linear resampling of one signal to `rate` samples per second, in the
// device's sample units (5.2 microvolts).
inline std::vector<float> mitResample(const MitRecord& rec, int channel, double rate)
{
    const std::vector<int>& s = rec.signal[channel];
    std::vector<float> out;
    if (s.size() < 2)
        return out;
    const double unitsPerAdc = 1000.0 / rec.gain[channel] / 5.2; // microvolts / 5.2
    const double step = rec.frequency / rate;
    const std::size_t n = std::size_t(double(s.size() - 1) / step);
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = i * step;
        const std::size_t k = std::size_t(x);
        const double f = x - double(k);
        const double v = (1.0 - f) * (s[k] - rec.baseline[channel]) + f * (s[k + 1] - rec.baseline[channel]);
        out.push_back(float(v * unitsPerAdc));
    }
    return out;
}

// Reference beats in samples at `rate` samples per second.
inline std::vector<std::int64_t> mitReferenceBeats(const MitRecord& rec, double rate)
{
    std::vector<std::int64_t> out;
    for (auto b : rec.beats)
        out.push_back(std::llround(double(b) * rate / rec.frequency));
    return out;
}

#endif
