#include "headerlesscheck.h"

#include <cmath>
#include <cstring>

namespace {

const char* const kNoHeader = "It has no header and is not laid out as an ECG recording: ";

// Device-information fields keep their widths: F 8 or 12 bits, D 13, E 11.
constexpr std::int32_t kMaxDeviceF = 0xFFF;
constexpr std::int32_t kMaxDeviceD = 0x1FFF;
constexpr std::int32_t kMaxDeviceE = 0x7FF;

bool isKnownSampleType(int type)
{
    return type == ECG_SAMPLE || type == ECG_SAMPLE_RPEAK || type == ECG_SAMPLE_MARK13
        || type == ECG_SAMPLE_LEADIN;
}

bool isKnownEventType(int type)
{
    switch (type) {
    case ECG_EVENT_BATTERY_LOW:
    case ECG_EVENT_CHANNEL_ERROR:
    case ECG_EVENT_PACKET_ERROR:
    case ECG_EVENT_RECORD_TOGGLE:
    case ECG_EVENT_DEVICE_INFO:
    case ECG_EVENT_USER_MARK1:
    case ECG_EVENT_USER_MARK2:
    case ECG_EVENT_USER_MARK3:
    case ECG_EVENT_USER_MARK4:
    case ECG_EVENT_DEVICE_ID:
    case ECG_EVENT_DEVICE_DATA:
        return true;
    default:
        return false;
    }
}

std::int32_t bitsOf(float value)
{
    std::int32_t out;
    std::memcpy(&out, &value, sizeof(out));
    return out;
}

} // namespace

CHeaderlessCheck::CHeaderlessCheck(std::int64_t fileSize)
{
    if (fileSize <= 0)
        refuse("It is empty.");
    else if (fileSize % static_cast<std::int64_t>(sizeof(EcgFileRecord)) != 0)
        refuse(std::string(kNoHeader) + "its size (" + std::to_string(fileSize)
               + " bytes) is not a whole number of 16-byte records.");
}

bool CHeaderlessCheck::refuse(const std::string& why)
{
    if (m_reason.empty())
        m_reason = why;
    return false;
}

std::string CHeaderlessCheck::recordProblem(const EcgFileRecord& r)
{
    const int type = r.type;
    if (isKnownSampleType(type)) {
        if (!std::isfinite(r.leadI) || !std::isfinite(r.leadII) || !std::isfinite(r.leadIII))
            return "holds a value that is not a number";
        if (std::fabs(r.leadI) > CHeaderlessCheck::kLeadLimit || std::fabs(r.leadII) > CHeaderlessCheck::kLeadLimit)
            return "holds a value beyond the device's range";
        // The recorder stores III as II - I, rounded to single precision.
        const double derived = static_cast<double>(r.leadII) - static_cast<double>(r.leadI);
        if (std::fabs(static_cast<double>(r.leadIII) - derived) > 0.01 + 1e-5 * std::fabs(derived))
            return "holds a lead III that is not lead II minus lead I";
        if (r.extra != 0)
            return "holds a sample with a word that is always 0";
        return std::string();
    }
    if (!isKnownEventType(type))
        return "has a type (" + std::to_string(type) + ") that no recording holds";
    if (type == ECG_EVENT_DEVICE_INFO) {
        const std::int32_t f = bitsOf(r.leadII), zero = bitsOf(r.leadI), d = bitsOf(r.leadIII);
        if (f < 0 || f > kMaxDeviceF || zero != 0 || d < 0 || d > kMaxDeviceD || r.extra < 0
            || r.extra > kMaxDeviceE)
            return "holds device values beyond the device's range";
        return std::string();
    }
    if (bitsOf(r.leadI) != 0 || bitsOf(r.leadII) != 0 || bitsOf(r.leadIII) != 0 || r.extra != 0)
        return "holds an event with values where an event has none";
    return std::string();
}

bool CHeaderlessCheck::add(const EcgFileRecord* records, std::size_t count)
{
    if (!m_reason.empty())
        return false;
    for (std::size_t i = 0; i < count; ++i, ++m_index) {
        const EcgFileRecord& r = records[i];
        const std::string problem = recordProblem(r);
        if (!problem.empty())
            return refuse(std::string(kNoHeader) + "its record " + std::to_string(m_index + 1) + " "
                          + problem + ".");
        if (isSampleType(r.type))
            ++m_samples;
        static const EcgFileRecord kZero{};
        if (std::memcmp(&r, &kZero, sizeof(r)) != 0)
            ++m_nonZero;
    }
    return true;
}

bool CHeaderlessCheck::finish()
{
    if (!m_reason.empty())
        return false;
    if (m_samples == 0)
        return refuse(std::string(kNoHeader) + "it holds no sample.");
    // Blocks a crash left zero-filled, not a signal.
    if (m_nonZero == 0)
        return refuse(std::string(kNoHeader) + "it holds nothing but zero bytes.");
    return true;
}
