#ifndef MALVORANT_ECGANALYSISPARAMS_H
#define MALVORANT_ECGANALYSISPARAMS_H

#include <cstdint>

// The thresholds record of the beat analysis: signed 32-bit words addressed by
// index. Amplitudes are in detector units (5.2 per sample unit), times in
// samples of 2 ms. Word 0's first byte is the learning flag; words 23 and 128
// are sets of byte flags.
struct EcgAnalysisParams {
    static constexpr int kWords = 130; // the species presets write up to word 129
    std::int32_t w[kWords];

    std::int32_t& operator[](int i) { return w[i]; }
    std::int32_t operator[](int i) const { return w[i]; }

    // Byte b (0..3) of word i, in memory order.
    std::uint8_t byteAt(int word, int b) const;
    void setByte(int word, int b, std::uint8_t v);

    bool learningFlag() const { return byteAt(0, 0) != 0; }

    void clear();
};
static_assert(sizeof(EcgAnalysisParams) == 4 * EcgAnalysisParams::kWords, "plain word block");

// Word indexes the analysis reads.
enum EcgAnalysisWord {
    kEapLearning = 0,
    kEapShortestRr2 = 3,
    kEapFlatSlope = 7,
    kEapNotchDepth = 8,
    kEapNotchHeight = 9,
    kEapRrTolerance = 11,
    kEapPrematureFlag = 13,
    kEapTemplateWidth = 14,
    kEapTemplateMerge = 17,
    kEapTemplateScale = 18,
    kEapTemplateFloor = 20,
    kEapWindowBefore = 99,
    kEapRefractory = 105,
    kEapAmplitudeFloor = 111,
    kEapAmplitudeCeiling = 112,
};

// Species values of a recording: 0 not set or other, 1 canine, 2 feline.
enum EcgSpecies { kSpeciesOther = 0, kSpeciesCanine = 1, kSpeciesFeline = 2 };

// The analysis' own defaults, used when a stream starts without a record.
void fillDefaultAnalysisParams(EcgAnalysisParams& p);

// The species preset: the base values first, then the species' changes. Any
// species other than canine and feline gets the base preset. Words the presets
// do not name keep their values.
void fillSpeciesAnalysisParams(EcgAnalysisParams& p, int species);

#endif
