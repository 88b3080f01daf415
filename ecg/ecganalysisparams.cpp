#include "ecganalysisparams.h"

#include <cstring>

std::uint8_t EcgAnalysisParams::byteAt(int word, int b) const
{
    std::uint8_t bytes[4];
    std::memcpy(bytes, &w[word], 4);
    return bytes[b & 3];
}

void EcgAnalysisParams::setByte(int word, int b, std::uint8_t v)
{
    std::uint8_t bytes[4];
    std::memcpy(bytes, &w[word], 4);
    bytes[b & 3] = v;
    std::memcpy(&w[word], bytes, 4);
}

void EcgAnalysisParams::clear()
{
    std::memset(w, 0, sizeof(w));
}

namespace {
struct WordValue {
    int word;
    std::int32_t value;
};

void apply(EcgAnalysisParams& p, const WordValue* values, int n)
{
    for (int i = 0; i < n; ++i)
        p[values[i].word] = values[i].value;
}

const WordValue kDefaults[] = {
    {1, 400}, {2, 20}, {3, 196}, {4, 95}, {5, 160}, {6, 150}, {7, 15}, {8, 0}, {9, 200},
    {10, 150}, {11, 20}, {12, 30}, {13, 15}, {14, 180}, {15, 17}, {16, 10}, {17, 12},
    {18, 13}, {19, 1}, {20, 500}, {21, 100}, {22, 10}, {23, 1}, {89, 30}, {90, 1200},
    {91, 375}, {93, 857}, {94, 10}, {95, 60}, {98, 60}, {99, 130}, {100, 10}, {101, 60},
    {104, 150}, {105, 250}, {106, 50}, {107, 250}, {111, 150}, {112, 1000}, {116, 50},
    {117, 40}, {123, 100}, {127, 0},
};

// Words 0, 23 and 128 are byte flags and are written byte by byte below.
const WordValue kBase[] = {
    {1, 400}, {2, 25}, {3, 170}, {4, 80}, {5, 160}, {6, 55}, {7, 12}, {8, 100}, {9, 200},
    {10, 150}, {11, 20}, {12, 35}, {13, 15}, {14, 180}, {15, 19}, {16, 10}, {17, 11},
    {18, 10}, {19, 2}, {20, 1000}, {21, 100}, {22, 10}, {24, -1}, {89, 30}, {90, 1200},
    {91, 375}, {93, 857}, {94, 10}, {95, 40}, {98, 50}, {99, 130}, {100, 10}, {101, 50},
    {104, 150}, {105, 250}, {106, 50}, {107, 400}, {111, 1000}, {112, 3000}, {116, 200},
    {117, 40}, {123, 100}, {127, 1}, {129, 10},
};

const WordValue kCanine[] = {
    {91, 240}, {95, 50}, {101, 60},
};

const WordValue kFeline[] = {
    {2, 0}, {7, 3}, {8, 0}, {11, 10}, {12, 25}, {14, 90}, {15, 12}, {17, 7}, {19, 0},
    {21, 75}, {22, 6}, {91, 250}, {93, 400}, {101, 40}, {107, 150}, {111, 150}, {112, 900},
    {117, -5}, {123, 160},
};

template <std::size_t N>
void apply(EcgAnalysisParams& p, const WordValue (&values)[N])
{
    apply(p, values, int(N));
}
}

void fillDefaultAnalysisParams(EcgAnalysisParams& p)
{
    p.clear();
    apply(p, kDefaults);
    p.setByte(0, 0, 1);
}

void fillSpeciesAnalysisParams(EcgAnalysisParams& p, int species)
{
    apply(p, kBase);
    p.setByte(0, 0, 0);
    for (int b = 0; b < 4; ++b)
        p.setByte(23, b, b == 0 ? 1 : 0);
    p.setByte(128, 0, 0);
    if (species == kSpeciesCanine) {
        apply(p, kCanine);
    } else if (species == kSpeciesFeline) {
        apply(p, kFeline);
        for (int b = 0; b < 3; ++b)
            p.setByte(23, b, 1);
    }
}
