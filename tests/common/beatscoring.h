#ifndef MALVORANT_TESTS_BEATSCORING_H
#define MALVORANT_TESTS_BEATSCORING_H

// Scoring of detected beats against reference beats: a detection within the
// tolerance of a reference beat is a true positive (each used once).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

struct BeatScore {
    int truePositives = 0;
    int falseNegatives = 0;
    int falsePositives = 0;
    double sensitivity() const
    {
        const int n = truePositives + falseNegatives;
        return n > 0 ? 100.0 * truePositives / n : 100.0;
    }
    double positivePredictivity() const
    {
        const int n = truePositives + falsePositives;
        return n > 0 ? 100.0 * truePositives / n : 100.0;
    }
    BeatScore& operator+=(const BeatScore& o)
    {
        truePositives += o.truePositives;
        falseNegatives += o.falseNegatives;
        falsePositives += o.falsePositives;
        return *this;
    }
};

// Both lists in samples, sorted ascending. Only beats and detections inside
// [from, to) count.
inline BeatScore scoreBeats(const std::vector<std::int64_t>& reference,
                            const std::vector<std::int64_t>& detected, std::int64_t tolerance,
                            std::int64_t from, std::int64_t to)
{
    BeatScore s;
    std::vector<std::int64_t> ref, det;
    for (auto r : reference)
        if (r >= from && r < to)
            ref.push_back(r);
    for (auto d : detected)
        if (d >= from - tolerance && d < to + tolerance)
            det.push_back(d);
    std::vector<bool> used(det.size(), false);
    std::size_t j = 0;
    for (auto r : ref) {
        while (j < det.size() && det[j] < r - tolerance)
            ++j;
        // The nearest unused detection within the tolerance.
        std::size_t best = det.size();
        for (std::size_t k = j; k < det.size() && det[k] <= r + tolerance; ++k) {
            if (!used[k] && (best == det.size() || std::llabs(det[k] - r) < std::llabs(det[best] - r)))
                best = k;
        }
        if (best < det.size()) {
            used[best] = true;
            ++s.truePositives;
        } else {
            ++s.falseNegatives;
        }
    }
    for (std::size_t k = 0; k < det.size(); ++k)
        if (!used[k] && det[k] >= from && det[k] < to)
            ++s.falsePositives;
    return s;
}

#endif
