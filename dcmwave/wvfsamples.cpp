#include "wvfsamples.h"

#include <cstring>
#include <new>

WvfSamples::WvfSamples(Uint32 bytesPerSample)
    : m_data(NULL), m_count(0), m_signed(true), m_bytesPerSample(bytesPerSample)
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

// The two widths differ only in their element type (U) and its signed
// reading (S); these serve both.
namespace {

template <class U>
void freeArray(void*& data, Uint32& count)
{
    delete[] OFstatic_cast(U*, data);
    data = NULL;
    count = 0;
}

template <class U>
OFCondition allocateArray(void*& data, Uint32& count, bool& isSignedFlag, const Uint32& wanted, bool isSigned)
{
    freeArray<U>(data, count);
    U* array = new (std::nothrow) U[wanted > 0 ? wanted : 1];
    if (!array)
        return EC_MemoryExhausted;
    data = array;
    count = wanted;
    isSignedFlag = isSigned;
    return EC_Normal;
}

template <class U, class S>
OFCondition readSample(const void* data, const Uint32& count, bool isSigned, const Uint32& index, double& value)
{
    if (!data || index >= count)
        return EC_IllegalCall;
    const U raw = OFstatic_cast(const U*, data)[index];
    value = isSigned ? OFstatic_cast(double, OFstatic_cast(S, raw)) : OFstatic_cast(double, raw);
    return EC_Normal;
}

template <class U>
OFCondition multiplexArray(const void* data, const Uint32& count, void* destination, const Uint32& channels,
                           const Uint32& channelIndex)
{
    if (!destination)
        return EC_IllegalCall;
    U* out = OFstatic_cast(U*, destination) + channelIndex;
    const U* in = OFstatic_cast(const U*, data);
    for (Uint32 i = 0; i < count; ++i, out += channels)
        *out = in[i];
    return EC_Normal;
}

// Writes the samples in calibration mode 0 (stored value) or 1 (value times
// sensitivity plus baseline), each followed by a blank.
template <class U, class S>
void dumpArray(STD_NAMESPACE ostream& out, const void* data, const Uint32& count, bool readSigned,
               const double& sensitivity, const double& baseline, const int& calibrationMode)
{
    const U* in = OFstatic_cast(const U*, data);
    for (Uint32 i = 0; i < count; ++i) {
        const long stored = readSigned ? OFstatic_cast(long, OFstatic_cast(S, in[i])) : OFstatic_cast(long, in[i]);
        if (calibrationMode == 0)
            out << stored << " ";
        else
            out << WvfUtils::doubleToDS(stored * sensitivity + baseline) << " ";
    }
}

} // namespace

// --- 8-bit buffer ---

Wvf8Samples::Wvf8Samples()
    : WvfSamples(1)
{
}

Wvf8Samples::~Wvf8Samples()
{
    freeMemory();
}

void Wvf8Samples::freeMemory()
{
    freeArray<Uint8>(m_data, m_count);
}

OFCondition Wvf8Samples::allocateMemory(const Uint32& count, bool isSigned)
{
    return allocateArray<Uint8>(m_data, m_count, m_signed, count, isSigned);
}

Uint16 Wvf8Samples::getBitsPerSample()
{
    return 8;
}

OFCondition Wvf8Samples::getSample(const Uint32& index, double& value)
{
    return readSample<Uint8, Sint8>(m_data, m_count, m_signed, index, value);
}

OFCondition Wvf8Samples::multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex)
{
    return multiplexArray<Uint8>(m_data, m_count, destination, channels, channelIndex);
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
    dumpArray<Uint8, Sint8>(*out, m_data, m_count, interp == SB, sensitivity, baseline, calibrationMode);
    return EC_Normal;
}

// --- 16-bit buffer ---

Wvf16Samples::Wvf16Samples()
    : WvfSamples(2)
{
}

Wvf16Samples::~Wvf16Samples()
{
    freeMemory();
}

void Wvf16Samples::freeMemory()
{
    freeArray<Uint16>(m_data, m_count);
}

OFCondition Wvf16Samples::allocateMemory(const Uint32& count, bool isSigned)
{
    return allocateArray<Uint16>(m_data, m_count, m_signed, count, isSigned);
}

Uint16 Wvf16Samples::getBitsPerSample()
{
    return 16;
}

OFCondition Wvf16Samples::getSample(const Uint32& index, double& value)
{
    return readSample<Uint16, Sint16>(m_data, m_count, m_signed, index, value);
}

OFCondition Wvf16Samples::multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex)
{
    return multiplexArray<Uint16>(m_data, m_count, destination, channels, channelIndex);
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
    dumpArray<Uint16, Sint16>(*out, m_data, m_count, interp == SS, sensitivity, baseline, calibrationMode);
    return EC_Normal;
}
