#ifndef MALVORANT_HEADERLESSCHECK_H
#define MALVORANT_HEADERLESSCHECK_H

#include "ecgrecords.h"

#include <cstdint>
#include <string>

// Whether a file without sync bytes is plausibly an old records-only
// recording. Such a file carries nothing but its records, so any damaged or
// foreign file would otherwise pass for one: it must be a whole number of
// records, each laid out as the recorder writes it (a known type, leads and
// device values within the device's range, lead III = II - I), with at least
// one sample and not all of them zero bytes. Records are fed in order,
// block by block.
class CHeaderlessCheck
{
public:
    // Leads I and II in decoder units: the 12-bit device value at the largest
    // gain factor (4095 x 0.91) with the high-pass overshoot, and a margin.
    static constexpr float kLeadLimit = 10000.0f;

    explicit CHeaderlessCheck(std::int64_t fileSize);

    // False once a record is implausible (reason() says why); later calls
    // change nothing.
    bool add(const EcgFileRecord* records, std::size_t count);
    // After the last record: false when the file as a whole is implausible.
    bool finish();
    // Why the file is no recording, in words for the user; empty while it
    // may be one.
    const std::string& reason() const { return m_reason; }

    // What is wrong with one record, empty when nothing is.
    static std::string recordProblem(const EcgFileRecord& record);

private:
    bool refuse(const std::string& why);

    std::int64_t m_index = 0;
    std::int64_t m_samples = 0;
    std::int64_t m_nonZero = 0;
    std::string m_reason;
};

#endif
