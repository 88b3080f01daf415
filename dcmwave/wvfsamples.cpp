#include "wvfsamples.h"

#include <cstring>
#include <new>

WvfSamples::WvfSamples()
    : m_data(NULL), m_count(0), m_signed(true)
{
}

WvfSamples::~WvfSamples()
{
    // the subclasses free the array: only they know its element type
}

Uint32 WvfSamples::getNumberOfSamples()
{
    return m_count;
}

bool WvfSamples::isSigned()
{
    return m_signed;
}

void WvfSamples::setSigned(bool isSigned)
{
    m_signed = isSigned;
}

OFCondition WvfSamples::copyData(Uint32& bytes, void*& buffer)
{
    const Uint64 size = OFstatic_cast(Uint64, getBitsPerSample()) * m_count / 8;
    bytes = 0;
    buffer = NULL;
    if (size > 0xFFFFFFFFu)
        return EC_MemoryExhausted;
    Uint8* copy = new (std::nothrow) Uint8[size > 0 ? size : 1];
    if (!copy)
        return EC_MemoryExhausted;
    if (size > 0 && m_data)
        memcpy(copy, m_data, OFstatic_cast(size_t, size));
    bytes = OFstatic_cast(Uint32, size);
    buffer = copy;
    return EC_Normal;
}

OFCondition WvfSamples::getData(Uint32& bytes, Uint8*& buffer)
{
    if (!m_data)
        return EC_IllegalCall;
    const Uint64 size = OFstatic_cast(Uint64, getBitsPerSample() / 8) * m_count;
    if (size > 0xFFFFFFFFu)
        return EC_IllegalCall;
    bytes = OFstatic_cast(Uint32, size);
    buffer = OFstatic_cast(Uint8*, m_data);
    return EC_Normal;
}

OFCondition WvfSamples::setData(const Uint32& count, void* buffer)
{
    if (!buffer)
        return EC_IllegalCall;
    freeMemory();
    m_data = buffer;
    m_count = count;
    return EC_Normal;
}

// --- 8-bit buffer ---

Wvf8Samples::Wvf8Samples() {}

Wvf8Samples::~Wvf8Samples()
{
    freeMemory();
}

void Wvf8Samples::freeMemory()
{
    delete[] OFstatic_cast(Uint8*, m_data);
    m_data = NULL;
    m_count = 0;
}

OFCondition Wvf8Samples::allocateMemory(const Uint32& count, bool isSigned)
{
    freeMemory();
    Uint8* data = new (std::nothrow) Uint8[count > 0 ? count : 1];
    if (!data)
        return EC_MemoryExhausted;
    m_data = data;
    m_count = count;
    m_signed = isSigned;
    return EC_Normal;
}

Uint16 Wvf8Samples::getBitsPerSample()
{
    return 8;
}

OFCondition Wvf8Samples::getSample(const Uint32& index, double& value)
{
    if (!m_data || index >= m_count)
        return EC_IllegalCall;
    const Uint8 raw = OFstatic_cast(Uint8*, m_data)[index];
    value = m_signed ? OFstatic_cast(double, OFstatic_cast(Sint8, raw)) : OFstatic_cast(double, raw);
    return EC_Normal;
}

OFCondition Wvf8Samples::setSample(const Uint32& index, const Uint8& value)
{
    if (!m_data || index >= m_count)
        return EC_IllegalCall;
    OFstatic_cast(Uint8*, m_data)[index] = value;
    return EC_Normal;
}

OFCondition Wvf8Samples::setSample(const Uint32& /*index*/, const Sint16& /*value*/)
{
    return EC_IllegalCall; // a 16-bit value does not fit an 8-bit buffer
}

OFCondition Wvf8Samples::multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex)
{
    if (!destination)
        return EC_IllegalCall;
    Uint8* out = OFstatic_cast(Uint8*, destination) + channelIndex;
    const Uint8* in = OFstatic_cast(const Uint8*, m_data);
    for (Uint32 i = 0; i < m_count; ++i, out += channels)
        *out = in[i];
    return EC_Normal;
}

OFCondition Wvf8Samples::dump(STD_NAMESPACE ostream* out, const WVF_SAMPLE_INTERPRETATION& interp,
                              const double& sensitivity, const double& baseline, const int& calibrationMode)
{
    if (!out || !m_data)
        return EC_IllegalCall;
    if (interp != SB && interp != UB && interp != AB)
        return EC_WvfError("Sample Interpretation not supported for dump");
    if (calibrationMode != 0 && calibrationMode != 1)
        return interp == AB ? EC_WvfError("Unknown calibration mode") : EC_IllegalParameter;
    const Uint8* in = OFstatic_cast(const Uint8*, m_data);
    for (Uint32 i = 0; i < m_count; ++i) {
        const int stored = interp == SB ? OFstatic_cast(int, OFstatic_cast(Sint8, in[i])) : OFstatic_cast(int, in[i]);
        if (calibrationMode == 0)
            *out << stored << " ";
        else
            *out << WvfUtils::doubleToDS(stored * sensitivity + baseline) << " ";
    }
    return EC_Normal;
}

// --- 16-bit buffer ---

Wvf16Samples::Wvf16Samples() {}

Wvf16Samples::~Wvf16Samples()
{
    freeMemory();
}

void Wvf16Samples::freeMemory()
{
    delete[] OFstatic_cast(Uint16*, m_data);
    m_data = NULL;
    m_count = 0;
}

OFCondition Wvf16Samples::allocateMemory(const Uint32& count, bool isSigned)
{
    freeMemory();
    Uint16* data = new (std::nothrow) Uint16[count > 0 ? count : 1];
    if (!data)
        return EC_MemoryExhausted;
    m_data = data;
    m_count = count;
    m_signed = isSigned;
    return EC_Normal;
}

Uint16 Wvf16Samples::getBitsPerSample()
{
    return 16;
}

OFCondition Wvf16Samples::getSample(const Uint32& index, double& value)
{
    if (!m_data || index >= m_count)
        return EC_IllegalCall;
    const Uint16 raw = OFstatic_cast(Uint16*, m_data)[index];
    value = m_signed ? OFstatic_cast(double, OFstatic_cast(Sint16, raw)) : OFstatic_cast(double, raw);
    return EC_Normal;
}

OFCondition Wvf16Samples::setSample(const Uint32& index, const Uint8& value)
{
    return setSample(index, OFstatic_cast(Sint16, value));
}

OFCondition Wvf16Samples::setSample(const Uint32& index, const Sint16& value)
{
    if (!m_data || index >= m_count)
        return EC_IllegalCall;
    OFstatic_cast(Uint16*, m_data)[index] = OFstatic_cast(Uint16, value);
    return EC_Normal;
}

OFCondition Wvf16Samples::multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex)
{
    if (!destination)
        return EC_IllegalCall;
    Uint16* out = OFstatic_cast(Uint16*, destination) + channelIndex;
    const Uint16* in = OFstatic_cast(const Uint16*, m_data);
    for (Uint32 i = 0; i < m_count; ++i, out += channels)
        *out = in[i];
    return EC_Normal;
}

OFCondition Wvf16Samples::dump(STD_NAMESPACE ostream* out, const WVF_SAMPLE_INTERPRETATION& interp,
                               const double& sensitivity, const double& baseline, const int& calibrationMode)
{
    if (!out || !m_data)
        return EC_IllegalCall;
    if (interp != SS && interp != US)
        return EC_WvfError("Sample Interpretation not supported for dump");
    if (calibrationMode != 0 && calibrationMode != 1)
        return interp == SS ? EC_WvfError("Unknown calibration mode") : EC_IllegalParameter;
    const Uint16* in = OFstatic_cast(const Uint16*, m_data);
    for (Uint32 i = 0; i < m_count; ++i) {
        const long stored = interp == SS ? OFstatic_cast(long, OFstatic_cast(Sint16, in[i])) : OFstatic_cast(long, in[i]);
        if (calibrationMode == 0)
            *out << stored << " ";
        else
            *out << WvfUtils::doubleToDS(stored * sensitivity + baseline) << " ";
    }
    return EC_Normal;
}
