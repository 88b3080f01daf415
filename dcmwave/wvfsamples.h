// Sample buffers of one waveform channel, stored at their DICOM width.
#ifndef WVFSAMPLES_H
#define WVFSAMPLES_H

#include "wvfutils.h"

#include <ostream>

class WvfSamples
{
public:
    virtual OFCondition allocateMemory(const Uint32& count, bool isSigned) = 0;
    virtual Uint32 getNumberOfSamples();
    virtual Uint16 getBitsPerSample() = 0;
    virtual OFCondition getSample(const Uint32& index, double& value) = 0;
    // A new array (owned by the caller, freed with delete[]) holding a copy.
    virtual OFCondition copyData(Uint32& bytes, void*& buffer);
    // The buffer's own array, valid until it is replaced or freed.
    virtual OFCondition getData(Uint32& bytes, Uint8*& buffer);
    // Inline: filling a channel calls these once per sample. A Uint8 on a
    // 16-bit buffer is widened; a 16-bit value does not fit an 8-bit buffer.
    OFCondition setSample(const Uint32& index, const Uint8& value)
    {
        if (index >= m_count) // also covers no buffer: m_count is 0 then
            return EC_IllegalCall;
        if (m_bytesPerSample == 1)
            OFstatic_cast(Uint8*, m_data)[index] = value;
        else
            OFstatic_cast(Uint16*, m_data)[index] = OFstatic_cast(Uint16, OFstatic_cast(Sint16, value));
        return EC_Normal;
    }
    OFCondition setSample(const Uint32& index, const Sint16& value)
    {
        if (m_bytesPerSample != 2 || index >= m_count)
            return EC_IllegalCall;
        OFstatic_cast(Uint16*, m_data)[index] = OFstatic_cast(Uint16, value);
        return EC_Normal;
    }
    // Adopts an array allocated with new[] of the buffer's element width.
    virtual OFCondition setData(const Uint32& count, void* buffer);
    virtual OFCondition dump(STD_NAMESPACE ostream* out, const WVF_SAMPLE_INTERPRETATION& interp,
                             const double& sensitivity, const double& baseline, const int& calibrationMode) = 0;
    // Puts sample i into element i * channels + channelIndex of destination.
    virtual OFCondition multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex) = 0;
    virtual void freeMemory() = 0;
    virtual bool isSigned();
    virtual ~WvfSamples();

    // Signedness of an adopted array (the reading path knows it from the
    // group's interpretation).
    void setSigned(bool isSigned);

protected:
    explicit WvfSamples(Uint32 bytesPerSample);

    // A non-zero m_count always comes with an array of that many samples.
    void* m_data;
    Uint32 m_count;
    bool m_signed;

private:
    // 1 or 2, fixed by the subclass (not a Uint8, which would alias the samples)
    const Uint32 m_bytesPerSample;
    WvfSamples(const WvfSamples&);
    WvfSamples& operator=(const WvfSamples&);
};

class Wvf8Samples : public WvfSamples
{
public:
    Wvf8Samples();
    ~Wvf8Samples() override;
    OFCondition allocateMemory(const Uint32& count, bool isSigned) override;
    Uint16 getBitsPerSample() override;
    OFCondition getSample(const Uint32& index, double& value) override;
    OFCondition dump(STD_NAMESPACE ostream* out, const WVF_SAMPLE_INTERPRETATION& interp,
                     const double& sensitivity, const double& baseline, const int& calibrationMode) override;
    OFCondition multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex) override;
    void freeMemory() override;
};

class Wvf16Samples : public WvfSamples
{
public:
    Wvf16Samples();
    ~Wvf16Samples() override;
    OFCondition allocateMemory(const Uint32& count, bool isSigned) override;
    Uint16 getBitsPerSample() override;
    OFCondition getSample(const Uint32& index, double& value) override;
    OFCondition dump(STD_NAMESPACE ostream* out, const WVF_SAMPLE_INTERPRETATION& interp,
                     const double& sensitivity, const double& baseline, const int& calibrationMode) override;
    OFCondition multiplex(void* destination, const Uint32& channels, const Uint32& channelIndex) override;
    void freeMemory() override;
};

#endif
