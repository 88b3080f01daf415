#include "wvfchn.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

// --- Source Waveform Sequence item ---

SourceWaveformSequenceItem::SourceWaveformSequenceItem()
    : m_referencedSOPClassUID(DCM_ReferencedSOPClassUID),
      m_referencedSOPInstanceUID(DCM_ReferencedSOPInstanceUID),
      m_referencedWaveformChannels(DCM_ReferencedWaveformChannels)
{
}

OFCondition SourceWaveformSequenceItem::read(DcmItem* item)
{
    m_referencedSOPClassUID.clear();
    m_referencedSOPInstanceUID.clear();
    m_referencedWaveformChannels.clear();
    if (!item)
        return EC_Normal;
    bool present = false;
    WvfUtils::getAndCheckElementFromDataset(*item, m_referencedSOPClassUID, present, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_referencedSOPInstanceUID, present, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_referencedWaveformChannels, present, "2-2n", "1");
    return EC_Normal;
}

OFCondition SourceWaveformSequenceItem::write(DcmItem* item)
{
    if (!item)
        return EC_IllegalCall;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_referencedSOPInstanceUID, m_referencedSOPInstanceUID.getLength() > 0);
    if (result.bad()) {
        WVF_DEBUG("SourceWaveformSequenceItem: Unable to write 'Referenced SOP Instance UID'");
        return result;
    }
    WvfUtils::addIfSet(result, *item, m_referencedSOPClassUID, m_referencedSOPClassUID.getLength() > 0);
    if (result.bad()) {
        WVF_DEBUG("SourceWaveformSequenceItem: Unable to write 'Referenced SOP Class UID'");
        return result;
    }
    WvfUtils::addIfSet(result, *item, m_referencedWaveformChannels, m_referencedWaveformChannels.getLength() > 0);
    return result;
}

// --- channel ---

WvfChannel::WvfChannel()
    : m_samples(NULL),
      m_waveformChannelNumber(DCM_WaveformChannelNumber), m_waveformChannelNumberSet(false),
      m_channelLabel(DCM_ChannelLabel), m_channelLabelSet(false),
      m_channelStatus(DCM_ChannelStatus), m_channelStatusSet(false),
      m_channelSourceSet(false),
      m_channelDerivationDescription(DCM_ChannelDerivationDescription), m_channelDerivationDescriptionSet(false),
      m_channelSensitivity(DCM_ChannelSensitivity), m_channelSensitivitySet(false),
      m_channelSensitivityUnitsSet(false),
      m_channelSensitivityCorrectionFactor(DCM_ChannelSensitivityCorrectionFactor),
      m_channelSensitivityCorrectionFactorSet(false),
      m_channelBaseline(DCM_ChannelBaseline), m_channelBaselineSet(false),
      m_channelTimeSkew(DCM_ChannelTimeSkew), m_channelTimeSkewSet(false),
      m_channelSampleSkew(DCM_ChannelSampleSkew), m_channelSampleSkewSet(false),
      m_channelOffset(DCM_ChannelOffset), m_channelOffsetSet(false),
      m_waveformBitsStored(DCM_WaveformBitsStored), m_waveformBitsStoredSet(false),
      m_filterLowFrequency(DCM_FilterLowFrequency), m_filterLowFrequencySet(false),
      m_filterHighFrequency(DCM_FilterHighFrequency), m_filterHighFrequencySet(false),
      m_notchFilterFrequency(DCM_NotchFilterFrequency), m_notchFilterFrequencySet(false),
      m_notchFilterBandwidth(DCM_NotchFilterBandwidth), m_notchFilterBandwidthSet(false),
      m_channelMinimumValue(DCM_ChannelMinimumValue), m_channelMinimumValueSet(false),
      m_channelMaximumValue(DCM_ChannelMaximumValue), m_channelMaximumValueSet(false)
{
}

WvfChannel::~WvfChannel()
{
    freeMemory();
}

void WvfChannel::freeMemory()
{
    delete m_samples;
    m_samples = NULL;
    while (!m_channelSourceModifiers.empty()) {
        delete m_channelSourceModifiers.front();
        m_channelSourceModifiers.pop_front();
    }
    while (!m_sourceWaveforms.empty()) {
        delete m_sourceWaveforms.front();
        m_sourceWaveforms.pop_front();
    }
}

void WvfChannel::clear()
{
    freeMemory();
    m_waveformChannelNumber.clear();
    m_channelLabel.clear();
    m_channelStatus.clear();
    m_channelSource.clear();
    m_channelDerivationDescription.clear();
    m_channelSensitivity.clear();
    m_channelSensitivityUnits.clear();
    m_channelSensitivityCorrectionFactor.clear();
    m_channelBaseline.clear();
    m_channelTimeSkew.clear();
    m_channelSampleSkew.clear();
    m_channelOffset.clear();
    m_waveformBitsStored.clear();
    m_filterLowFrequency.clear();
    m_filterHighFrequency.clear();
    m_notchFilterFrequency.clear();
    m_notchFilterBandwidth.clear();
    m_channelMinimumValue.clear();
    m_channelMaximumValue.clear();
    m_waveformChannelNumberSet = m_channelLabelSet = m_channelStatusSet = m_channelSourceSet = false;
    m_channelDerivationDescriptionSet = m_channelSensitivitySet = m_channelSensitivityUnitsSet = false;
    m_channelSensitivityCorrectionFactorSet = m_channelBaselineSet = m_channelTimeSkewSet = false;
    m_channelSampleSkewSet = m_channelOffsetSet = m_waveformBitsStoredSet = false;
    m_filterLowFrequencySet = m_filterHighFrequencySet = m_notchFilterFrequencySet = false;
    m_notchFilterBandwidthSet = m_channelMinimumValueSet = m_channelMaximumValueSet = false;
}

static WvfSamples* newBuffer(const WVF_SAMPLE_INTERPRETATION& interp)
{
    if (wvfInterpretationBits(interp) == 8)
        return new (std::nothrow) Wvf8Samples();
    return new (std::nothrow) Wvf16Samples();
}

OFCondition WvfChannel::createSamples(const Uint32& count, const WVF_SAMPLE_INTERPRETATION& interp)
{
    delete m_samples;
    m_samples = NULL;
    if (wvfInterpretationBits(interp) == 0)
        return EC_WvfError("Waveform Sample Interpretation not (yet?) supported");
    WvfSamples* buffer = newBuffer(interp);
    if (!buffer)
        return EC_MemoryExhausted;
    const OFCondition cond = buffer->allocateMemory(count, wvfInterpretationSigned(interp));
    if (cond.bad()) {
        delete buffer;
        return cond;
    }
    m_samples = buffer;
    if (m_waveformBitsStored.putUint16(buffer->getBitsPerSample(), 0).good())
        m_waveformBitsStoredSet = true;
    return cond;
}

WvfSamples* WvfChannel::getSamples()
{
    return m_samples;
}

Uint32 WvfChannel::getNumberOfSamples()
{
    return m_samples ? m_samples->getNumberOfSamples() : 0;
}

bool WvfChannel::getWaveformBitsStored(Uint16& value)
{
    value = WvfUtils::getUint16Value(m_waveformBitsStored, 0);
    return m_waveformBitsStoredSet;
}

bool WvfChannel::getChannelSourceSequence(CodeSequenceMacro& code)
{
    code = m_channelSource;
    return m_channelSourceSet;
}

bool WvfChannel::getChannelSensitivityUnitsSequence(CodeSequenceMacro& code)
{
    code = m_channelSensitivityUnits;
    return m_channelSensitivityUnitsSet;
}

bool WvfChannel::getChannelSensitivity(double& value)
{
    value = WvfUtils::getFloat64Value(m_channelSensitivity);
    return m_channelSensitivitySet;
}

bool WvfChannel::getChannelSensitivityCorrectionFactor(double& value)
{
    value = WvfUtils::getFloat64Value(m_channelSensitivityCorrectionFactor);
    return m_channelSensitivityCorrectionFactorSet;
}

bool WvfChannel::getChannelBaseline(double& value)
{
    value = WvfUtils::getFloat64Value(m_channelBaseline);
    return m_channelBaselineSet;
}

OFCondition WvfChannel::setChannelSourceSequence(const CodeSequenceMacro& code)
{
    m_channelSource = code;
    m_channelSourceSet = true;
    return EC_Normal;
}

OFCondition WvfChannel::setChannelSensitivityUnitsSequence(const CodeSequenceMacro& code)
{
    m_channelSensitivityUnits = code;
    m_channelSensitivityUnitsSet = true;
    return EC_Normal;
}

OFCondition WvfChannel::setChannelSensitivity(const double& value)
{
    double stored = value;
    if (value == 0.0) {
        WVF_DEBUG("WvfChannel: Warning: Channel Sensitivity equal to 0. Ignored (internally set to 1)");
        stored = 1.0;
    }
    const OFCondition cond = WvfUtils::putDecimal(m_channelSensitivity, stored);
    if (cond.good())
        m_channelSensitivitySet = true;
    return cond;
}

OFCondition WvfChannel::setChannelSensitivityCorrectionFactor(const double& value)
{
    double stored = value;
    if (value == 0.0) {
        WVF_DEBUG("WvfChannel: Warning: Channel Sensitivity Correction Factor equal to 0. Ignored (internally set to 1)");
        stored = 1.0;
    }
    const OFCondition cond = WvfUtils::putDecimal(m_channelSensitivityCorrectionFactor, stored);
    if (cond.good())
        m_channelSensitivityCorrectionFactorSet = true;
    return cond;
}

OFCondition WvfChannel::setChannelBaseline(const double& value)
{
    const OFCondition cond = WvfUtils::putDecimal(m_channelBaseline, value);
    if (cond.good())
        m_channelBaselineSet = true;
    return cond;
}

bool WvfChannel::check(const bool& invent)
{
    if (m_channelSourceSet)
        return true;
    WVF_DEBUG("Channel Source Sequence absent (type 1)");
    if (invent)
        WVF_DEBUG("Unable to invent 1 attribute value for attribute Channel Source Sequence");
    return false;
}

OFCondition WvfChannel::readCode(DcmItem& item, const DcmTagKey& tag, CodeSequenceMacro& code, bool& flag,
                                 const char* failureText)
{
    DcmSequenceOfItems* seq = NULL;
    if (item.findAndGetSequence(tag, seq, OFFalse).bad() || !seq || seq->card() == 0)
        return EC_Normal; // absence is not an error here
    const OFCondition cond = code.read(seq->getItem(0));
    if (cond.good())
        flag = true;
    else
        WVF_DEBUG(failureText << cond.text());
    return cond;
}

OFCondition WvfChannel::read(DcmItem* item)
{
    WVF_DEBUG("WvfChannel: Reading Channel information");
    if (!item)
        return EC_WvfError("NULL pointer");
    clear();
    WvfUtils::getAndCheckElementFromDataset(*item, m_waveformChannelNumber, m_waveformChannelNumberSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelLabel, m_channelLabelSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelStatus, m_channelStatusSet, "1", "3");
    readCode(*item, DCM_ChannelSourceSequence, m_channelSource, m_channelSourceSet, "");

    DcmSequenceOfItems* seq = NULL;
    if (item->findAndGetSequence(DCM_ChannelSourceModifiersSequence, seq, OFFalse).good() && seq) {
        for (unsigned long i = 0; i < seq->card(); ++i) {
            CodeSequenceMacro* code = new (std::nothrow) CodeSequenceMacro();
            if (!code)
                return EC_MemoryExhausted;
            const OFCondition cond = code->read(seq->getItem(i));
            if (cond.bad()) {
                WVF_DEBUG("WvfChannel: Error reading 'Channel Source Modifier Sequence' item: " << cond.text());
                delete code;
                continue;
            }
            m_channelSourceModifiers.push_back(code);
        }
    }
    seq = NULL;
    if (item->findAndGetSequence(DCM_SourceWaveformSequence, seq, OFFalse).good() && seq) {
        for (unsigned long i = 0; i < seq->card(); ++i) {
            DcmItem* entry = seq->getItem(i);
            if (!entry) {
                WVF_DEBUG("WvfChannel: Error reading 'Source Waveform Sequence' item");
                continue;
            }
            SourceWaveformSequenceItem* source = new (std::nothrow) SourceWaveformSequenceItem();
            if (!source)
                return EC_MemoryExhausted;
            source->read(entry);
            m_sourceWaveforms.push_back(source);
        }
    }

    WvfUtils::getAndCheckElementFromDataset(*item, m_channelDerivationDescription,
                                            m_channelDerivationDescriptionSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelSensitivity, m_channelSensitivitySet, "1", "1C");
    if (m_channelSensitivitySet && WvfUtils::getFloat64Value(m_channelSensitivity) == 0.0) {
        WVF_DEBUG("WvfChannel: Warning: Channel Sensitivity equal to zero. Ignored (internally set to 1)");
        setChannelSensitivity(1.0);
    }
    readCode(*item, DCM_ChannelSensitivityUnitsSequence, m_channelSensitivityUnits, m_channelSensitivityUnitsSet,
             "WvfChannel: Unable to read 'Channel Sensitivity Units Sequence': ");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelSensitivityCorrectionFactor,
                                            m_channelSensitivityCorrectionFactorSet, "1", "1C");
    if (m_channelSensitivityCorrectionFactorSet &&
        WvfUtils::getFloat64Value(m_channelSensitivityCorrectionFactor) == 0.0) {
        WVF_DEBUG("WvfChannel: Channel Sensitivity Correction Factor equal to 0. Ignored (internally set to 1)");
        setChannelSensitivityCorrectionFactor(1.0);
    }
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelBaseline, m_channelBaselineSet, "1", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelTimeSkew, m_channelTimeSkewSet, "1", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelSampleSkew, m_channelSampleSkewSet, "1", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelOffset, m_channelOffsetSet, "1", "3");
    const OFCondition bits =
        WvfUtils::getAndCheckElementFromDataset(*item, m_waveformBitsStored, m_waveformBitsStoredSet, "1", "1");
    if (bits.bad()) {
        WVF_DEBUG("WvfChannel: Cannot read channel, 'Waveform Bits Stored' attribute is missing");
        return bits;
    }
    WvfUtils::getAndCheckElementFromDataset(*item, m_filterLowFrequency, m_filterLowFrequencySet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_filterHighFrequency, m_filterHighFrequencySet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_notchFilterFrequency, m_notchFilterFrequencySet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_notchFilterBandwidth, m_notchFilterBandwidthSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelMinimumValue, m_channelMinimumValueSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_channelMaximumValue, m_channelMaximumValueSet, "1", "3");
    return EC_Normal;
}

namespace {

// Copies channels first .. first + outs.size() - 1 out of the interleaved
// frames. Frames go in blocks of about 32 KB, all wanted channels of a block
// at once, so the element is swept once however many channels are split.
// Unaligned reads 16-bit samples byte by byte (an OB element read as words).
template <class U, bool Unaligned>
void splitFrames(const Uint8* bytes, const size_t channels, const Uint32 samples, const Uint32 first,
                 const std::vector<U*>& outs)
{
    const Uint32 block = std::max<Uint32>(64, OFstatic_cast(Uint32, 32768 / (channels * sizeof(U))));
    for (Uint32 begin = 0, end = 0; begin < samples; begin = end) {
        end = samples - begin > block ? begin + block : samples; // no wrap near 2^32
        for (size_t k = 0; k < outs.size(); ++k) {
            U* out = outs[k];
            const size_t offset = OFstatic_cast(size_t, begin) * channels + first + k;
            if (Unaligned) {
                const Uint8* in = bytes + offset * sizeof(U);
                for (Uint32 i = begin; i < end; ++i, in += channels * sizeof(U))
                    memcpy(&out[i], in, sizeof(U));
            } else {
                const U* in = OFreinterpret_cast(const U*, bytes) + offset;
                for (Uint32 i = begin; i < end; ++i, in += channels)
                    out[i] = *in;
            }
        }
    }
}

} // namespace

OFCondition WvfChannel::splitSamples(DcmElement* waveformData, WVF_SAMPLE_INTERPRETATION interp,
                                     const Uint32& channels, const Uint32& samplesPerChannel,
                                     const Uint32& first, const Uint32& count, WvfSamples** buffers)
{
    if (!waveformData)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfChannel: Reading channel samples from Waveform Data element");
    const Uint16 bits = wvfInterpretationBits(interp);
    if (bits == 0)
        return EC_IllegalCall;
    if (channels == 0 || first >= channels || count == 0 || count > channels - first || !buffers)
        return EC_IllegalParameter;

    // Access follows the element's VR; the layout follows the interpretation.
    const Uint8* bytes = NULL;
    OFCondition cond = EC_Normal;
    const DcmEVR vr = waveformData->getTag().getEVR();
    bool asBytes = vr == EVR_OB;
    if (vr != EVR_OB && vr != EVR_OW && vr != EVR_ox) {
        WVF_DEBUG("Invalid VR for Attribute 'Waveform Data' (expecting OB or OW): " << DcmVR(vr).getVRName());
        asBytes = bits == 8;
        WVF_DEBUG((asBytes ? "Try to read 8 bit data based on 'Waveform Sample Interpretation' attribute"
                           : "Try to read 16 bit data based on 'Waveform Sample Interpretation' attribute"));
    }
    if (asBytes) {
        Uint8* data = NULL;
        cond = waveformData->getUint8Array(data);
        bytes = data;
    } else {
        Uint16* data = NULL;
        cond = waveformData->getUint16Array(data);
        bytes = OFreinterpret_cast(const Uint8*, data);
    }
    if (cond.bad())
        return cond;

    // Every value the channels take must lie inside the element.
    const Uint64 width = bits / 8;
    const Uint64 needed = OFstatic_cast(Uint64, samplesPerChannel) * channels * width;
    const Uint64 available = waveformData->getLength();
    if (needed > available || (needed > 0 && !bytes))
        return EC_WvfError("WvfChannel: 'Waveform Data' holds fewer samples than the channels need");

    // Uninitialised arrays: every sample is written by the split.
    std::vector<WvfSamples*> made;
    made.reserve(count);
    std::vector<Uint8*> arrays;
    arrays.reserve(count);
    for (Uint32 k = 0; k < count; ++k) {
        WvfSamples* buffer = newBuffer(interp);
        Uint32 size = 0;
        Uint8* array = NULL;
        if (!buffer || buffer->allocateMemory(samplesPerChannel, wvfInterpretationSigned(interp)).bad() ||
            buffer->getData(size, array).bad()) {
            delete buffer;
            for (size_t j = 0; j < made.size(); ++j)
                delete made[j];
            return EC_MemoryExhausted;
        }
        made.push_back(buffer);
        arrays.push_back(array);
    }
    if (bits == 8) {
        splitFrames<Uint8, false>(bytes, channels, samplesPerChannel, first, arrays);
    } else {
        std::vector<Uint16*> words(count);
        for (Uint32 k = 0; k < count; ++k)
            words[k] = OFreinterpret_cast(Uint16*, arrays[k]);
        if (asBytes)
            splitFrames<Uint16, true>(bytes, channels, samplesPerChannel, first, words);
        else
            splitFrames<Uint16, false>(bytes, channels, samplesPerChannel, first, words);
    }
    std::copy(made.begin(), made.end(), buffers);
    return EC_Normal;
}

OFCondition WvfChannel::readSamplesFromWvfData(DcmElement* waveformData, WVF_SAMPLE_INTERPRETATION interp,
                                               const Uint32& channels, const Uint32& samplesPerChannel,
                                               const Uint32& channelIndex)
{
    WvfSamples* buffer = NULL;
    const OFCondition cond =
        splitSamples(waveformData, interp, channels, samplesPerChannel, channelIndex, 1, &buffer);
    if (cond.good())
        adoptSamples(buffer);
    return cond;
}

void WvfChannel::adoptSamples(WvfSamples* buffer)
{
    delete m_samples;
    m_samples = buffer;
}

static OFCondition writeCode(OFCondition& result, DcmItem& item, const DcmTagKey& tag,
                             const CodeSequenceMacro& code)
{
    if (result.bad())
        return result;
    DcmItem* entry = NULL;
    result = item.findOrCreateSequenceItem(tag, entry, 0);
    if (result.good())
        result = code.write(entry);
    return result;
}

template <class T>
static OFCondition writeItemList(OFCondition& result, DcmItem& item, const DcmTagKey& tag, const OFList<T*>& list)
{
    if (result.bad() || list.empty())
        return result;
    DcmItem* entry = NULL;
    result = item.findOrCreateSequenceItem(tag, entry, OFstatic_cast(long, list.size() - 1));
    int i = 0;
    for (typename OFList<T*>::const_iterator it = list.begin(); result.good() && it != list.end(); ++it, ++i) {
        result = item.findAndGetSequenceItem(tag, entry, i);
        if (result.good())
            result = (*it)->write(entry);
    }
    return result;
}

OFCondition WvfChannel::write(DcmItem* item)
{
    WVF_DEBUG("WvfChannel: Writing channel to item");
    if (!item)
        return EC_IllegalParameter;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_waveformChannelNumber, m_waveformChannelNumberSet);
    WvfUtils::addIfSet(result, *item, m_channelLabel, m_channelLabelSet);
    WvfUtils::addIfSet(result, *item, m_channelStatus, m_channelStatusSet);
    if (m_channelSourceSet && writeCode(result, *item, DCM_ChannelSourceSequence, m_channelSource).bad()) {
        WVF_DEBUG("WvfChannel: Unable to write 'Channel Source Sequence'");
        return result;
    }
    if (writeItemList(result, *item, DCM_ChannelSourceModifiersSequence, m_channelSourceModifiers).bad()) {
        WVF_DEBUG("WvfChannel: Unable to write 'Channel Source Modifiers Sequence'");
        return result;
    }
    if (writeItemList(result, *item, DCM_SourceWaveformSequence, m_sourceWaveforms).bad()) {
        WVF_DEBUG("WvfChannel: Unable to write 'Source Waveform Sequence'");
        return result;
    }
    WvfUtils::addIfSet(result, *item, m_channelDerivationDescription, m_channelDerivationDescriptionSet);
    WvfUtils::addIfSet(result, *item, m_channelSensitivity, m_channelSensitivitySet);
    if (m_channelSensitivityUnitsSet &&
        writeCode(result, *item, DCM_ChannelSensitivityUnitsSequence, m_channelSensitivityUnits).bad()) {
        WVF_DEBUG("WvfChannel: Unable to write 'Channel Sensitivity Units Sequence'");
        return result;
    }
    WvfUtils::addIfSet(result, *item, m_channelSensitivityCorrectionFactor, m_channelSensitivityCorrectionFactorSet);
    WvfUtils::addIfSet(result, *item, m_channelBaseline, m_channelBaselineSet);
    if (m_channelTimeSkewSet) {
        WvfUtils::addIfSet(result, *item, m_channelTimeSkew, true);
    } else if (m_channelSampleSkewSet) {
        WvfUtils::addIfSet(result, *item, m_channelSampleSkew, true);
    } else {
        WVF_DEBUG("WvfChannel: Neither 'Channel Time Skew' nor 'Channel Sample Skew' set, inventing Channel Time Skew with value '0'");
        DcmDecimalString* skew = OFstatic_cast(DcmDecimalString*, WvfUtils::copyElement(m_channelTimeSkew));
        if (skew && skew->putOFStringArray("0").bad()) {
            delete skew;
            skew = NULL;
        }
        WvfUtils::addElementToDataset(result, *item, skew);
    }
    WvfUtils::addIfSet(result, *item, m_channelOffset, m_channelOffsetSet);
    WvfUtils::addIfSet(result, *item, m_waveformBitsStored, m_waveformBitsStoredSet);
    WvfUtils::addIfSet(result, *item, m_filterLowFrequency, m_filterLowFrequencySet);
    WvfUtils::addIfSet(result, *item, m_filterHighFrequency, m_filterHighFrequencySet);
    WvfUtils::addIfSet(result, *item, m_notchFilterFrequency, m_notchFilterFrequencySet);
    WvfUtils::addIfSet(result, *item, m_notchFilterBandwidth, m_notchFilterBandwidthSet);
    WvfUtils::addIfSet(result, *item, m_channelMinimumValue, m_channelMinimumValueSet);
    WvfUtils::addIfSet(result, *item, m_channelMaximumValue, m_channelMaximumValueSet);
    return result;
}
