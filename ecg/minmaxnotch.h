#ifndef MALVORANT_MINMAXNOTCH_H
#define MALVORANT_MINMAXNOTCH_H

#include <string>

// Running maximum and minimum of a short run of values, each with a second
// peak of the same sign beyond a valley (a notched or split R wave). The beat
// analysis feeds it the detrended samples after a beat start.
class CMinMaxNotch
{
public:
    CMinMaxNotch();

    void reset(unsigned char trace, unsigned char notchOn, double notchDepth,
               double notchHeightLimit, int notchDistanceLimit);
    void addSample(int index, double value);

    // Index and value of the extreme and its notch peak; returns has-notch.
    bool getMax(int& index, double& value, int& notchIndex, double& notchValue, bool& isReal) const;
    bool getMin(int& index, double& value, int& notchIndex, double& notchValue, bool& isReal) const;

private:
    struct Side {
        double current;
        int currentIndex;
        double secondary;
        int secondaryIndex;
        double real;
        int realIndex;
        double notch;
        int notchIndex;
        double valley;
        bool armed;
        bool found;
    };
    bool readOut(const Side& s, const char* name, int& index, double& value, int& notchIndex,
                 double& notchValue, bool& isReal) const;
    void detail(const std::string& text) const;

    unsigned char m_trace = 0;
    unsigned char m_detail = 0;
    unsigned char m_notchOn = 0;
    double m_notchDepth = 0.0;
    double m_notchHeightLimit = 0.0;
    int m_notchDistanceLimit = 0;
    std::string m_traceText;
    bool m_first = true;
    Side m_max;
    Side m_min;
};

#endif
