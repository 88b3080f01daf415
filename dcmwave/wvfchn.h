// One channel of a multiplex group: its Channel Definition Sequence item and
// its samples.
#ifndef WVFCHN_H
#define WVFCHN_H

#include "wvfmacro.h"
#include "wvfsamples.h"

class SourceWaveformSequenceItem
{
public:
    SourceWaveformSequenceItem();
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item);

private:
    DcmUniqueIdentifier m_referencedSOPClassUID;
    DcmUniqueIdentifier m_referencedSOPInstanceUID;
    DcmUnsignedShort m_referencedWaveformChannels;
};

class WvfChannel
{
public:
    WvfChannel();
    ~WvfChannel();

    OFCondition createSamples(const Uint32& count, const WVF_SAMPLE_INTERPRETATION& interp);
    WvfSamples* getSamples();
    Uint32 getNumberOfSamples();
    bool getWaveformBitsStored(Uint16& value);
    // Readers of the channel definition: copy the value, return whether set.
    bool getChannelSourceSequence(CodeSequenceMacro& code);
    bool getChannelSensitivityUnitsSequence(CodeSequenceMacro& code);
    bool getChannelSensitivity(double& value);
    bool getChannelSensitivityCorrectionFactor(double& value);
    bool getChannelBaseline(double& value);

    OFCondition setChannelSourceSequence(const CodeSequenceMacro& code);
    OFCondition setChannelSensitivityUnitsSequence(const CodeSequenceMacro& code);
    OFCondition setChannelSensitivity(const double& value);
    OFCondition setChannelSensitivityCorrectionFactor(const double& value);
    OFCondition setChannelBaseline(const double& value);

    bool check(const bool& invent);
    OFCondition read(DcmItem* item);
    OFCondition readSamplesFromWvfData(DcmElement* waveformData, WVF_SAMPLE_INTERPRETATION interp,
                                       const Uint32& channels, const Uint32& samplesPerChannel,
                                       const Uint32& channelIndex);
    // Splits channels first .. first + count - 1 out of 'Waveform Data' in
    // one sweep over the element: buffers[k] receives a new sample buffer
    // (owned by the caller) of channel first + k, as readSamplesFromWvfData
    // would read it. On failure no buffer is handed out.
    static OFCondition splitSamples(DcmElement* waveformData, WVF_SAMPLE_INTERPRETATION interp,
                                    const Uint32& channels, const Uint32& samplesPerChannel, const Uint32& first,
                                    const Uint32& count, WvfSamples** buffers);
    // Takes over a buffer from splitSamples in place of the channel's samples.
    void adoptSamples(WvfSamples* buffer);
    OFCondition write(DcmItem* item);
    void clear();

private:
    WvfChannel(const WvfChannel&);
    WvfChannel& operator=(const WvfChannel&);
    void freeMemory();
    OFCondition readCode(DcmItem& item, const DcmTagKey& tag, CodeSequenceMacro& code, bool& flag,
                         const char* failureText);

    WvfSamples* m_samples;
    DcmIntegerString m_waveformChannelNumber;
    bool m_waveformChannelNumberSet;
    DcmShortString m_channelLabel;
    bool m_channelLabelSet;
    DcmCodeString m_channelStatus;
    bool m_channelStatusSet;
    CodeSequenceMacro m_channelSource;
    bool m_channelSourceSet;
    OFList<CodeSequenceMacro*> m_channelSourceModifiers;
    OFList<SourceWaveformSequenceItem*> m_sourceWaveforms;
    DcmLongString m_channelDerivationDescription;
    bool m_channelDerivationDescriptionSet;
    DcmDecimalString m_channelSensitivity;
    bool m_channelSensitivitySet;
    CodeSequenceMacro m_channelSensitivityUnits;
    bool m_channelSensitivityUnitsSet;
    DcmDecimalString m_channelSensitivityCorrectionFactor;
    bool m_channelSensitivityCorrectionFactorSet;
    DcmDecimalString m_channelBaseline;
    bool m_channelBaselineSet;
    DcmDecimalString m_channelTimeSkew;
    bool m_channelTimeSkewSet;
    DcmDecimalString m_channelSampleSkew;
    bool m_channelSampleSkewSet;
    DcmDecimalString m_channelOffset;
    bool m_channelOffsetSet;
    DcmUnsignedShort m_waveformBitsStored;
    bool m_waveformBitsStoredSet;
    DcmDecimalString m_filterLowFrequency;
    bool m_filterLowFrequencySet;
    DcmDecimalString m_filterHighFrequency;
    bool m_filterHighFrequencySet;
    DcmDecimalString m_notchFilterFrequency;
    bool m_notchFilterFrequencySet;
    DcmDecimalString m_notchFilterBandwidth;
    bool m_notchFilterBandwidthSet;
    DcmOtherByteOtherWord m_channelMinimumValue;
    bool m_channelMinimumValueSet;
    DcmOtherByteOtherWord m_channelMaximumValue;
    bool m_channelMaximumValueSet;
};

#endif
