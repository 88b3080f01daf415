// One multiplex group: an item of the Waveform Sequence with its channels.
#ifndef WVFGROUP_H
#define WVFGROUP_H

#include "wvfchn.h"

class WvfMplxGroup
{
public:
    WvfMplxGroup();
    ~WvfMplxGroup();

    OFCondition addChannel(WvfChannel* channel, int position);
    WvfChannel* getChannel(const Uint32& index);
    Uint16 getNumberOfChannels();
    bool getSamplingFrequency(double& value);
    bool getWaveformOriginality(OFString& value);
    bool getWaveformSampleInterpretation(WVF_SAMPLE_INTERPRETATION& value);
    OFCondition setMultiplexGroupTimeOffset(const double& value);
    OFCondition setSamplingFrequency(const double& value);
    OFCondition setWaveformOriginality(const OFString& value);
    OFCondition setWaveformSampleInterpretation(const WVF_SAMPLE_INTERPRETATION& value);

    bool check(const bool& invent);
    OFCondition read(DcmItem* item);
    OFCondition readChannels(DcmItem* item);
    OFCondition write(DcmItem* item);
    OFCondition writeChannels(DcmItem* item);
    OFCondition writeWaveformData(DcmItem* item);
    void freeMemory();

private:
    WvfMplxGroup(const WvfMplxGroup&);
    WvfMplxGroup& operator=(const WvfMplxGroup&);
    // Refuses channels that cannot be interleaved into one Waveform Data.
    OFCondition checkLayout(const Uint16& bitsAllocated);

    DcmDecimalString m_multiplexGroupTimeOffset;
    bool m_multiplexGroupTimeOffsetSet;
    DcmDecimalString m_triggerTimeOffset;
    bool m_triggerTimeOffsetSet;
    DcmUnsignedLong m_triggerSamplePosition;
    bool m_triggerSamplePositionSet;
    DcmCodeString m_waveformOriginality;
    bool m_waveformOriginalitySet;
    Uint16 m_channelsAsRead;
    DcmDecimalString m_samplingFrequency;
    bool m_samplingFrequencySet;
    DcmShortString m_multiplexGroupLabel;
    bool m_multiplexGroupLabelSet;
    DcmUnsignedShort m_waveformBitsAllocated;
    bool m_waveformBitsAllocatedSet;
    WVF_SAMPLE_INTERPRETATION m_waveformSampleInterpretation;
    bool m_waveformSampleInterpretationSet;
    Uint16 m_paddingValue;
    bool m_paddingValueSet;
    // Number of Waveform Samples as the file declared it (0 when absent).
    Uint32 m_samplesAsRead;
    OFList<WvfChannel*> m_channels;
};

#endif
