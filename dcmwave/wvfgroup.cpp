#include "wvfgroup.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

// Interleaves the channels' samples into frames (sample i of channel c at
// i * channels + c). Frames go in blocks of about 32 KB so that the strided
// writes of each channel land in lines the previous channel already brought
// into the cache, instead of sweeping the whole element once per channel.
template <class U>
void interleaveFrames(const std::vector<const U*>& in, const Uint32 samples, U* out)
{
    const size_t channels = in.size();
    const Uint32 block = std::max<Uint32>(64, OFstatic_cast(Uint32, 32768 / (channels * sizeof(U))));
    for (Uint32 first = 0, end = 0; first < samples; first = end) {
        end = samples - first > block ? first + block : samples; // no wrap near 2^32
        for (size_t c = 0; c < channels; ++c) {
            const U* src = in[c];
            U* dst = out + OFstatic_cast(size_t, first) * channels + c;
            for (Uint32 i = first; i < end; ++i, dst += channels)
                *dst = src[i];
        }
    }
}

// With the channel count known at compile time one frame is a row of loads
// and adjacent stores, faster than the strided blocks above.
template <class U, size_t N>
void interleaveFixed(const std::vector<const U*>& in, const Uint32 samples, U* out)
{
    const U* src[N];
    std::copy(in.begin(), in.begin() + N, src);
    for (Uint32 i = 0; i < samples; ++i, out += N)
        for (size_t c = 0; c < N; ++c)
            out[c] = src[c][i];
}

template <class U>
void interleaveAny(const std::vector<const U*>& in, const Uint32 samples, U* out)
{
    switch (in.size()) {
    case 1: interleaveFixed<U, 1>(in, samples, out); break;
    case 2: interleaveFixed<U, 2>(in, samples, out); break;
    case 3: interleaveFixed<U, 3>(in, samples, out); break;
    case 6: interleaveFixed<U, 6>(in, samples, out); break;
    case 8: interleaveFixed<U, 8>(in, samples, out); break;
    case 12: interleaveFixed<U, 12>(in, samples, out); break;
    default: interleaveFrames(in, samples, out); break;
    }
}

template <class U>
OFCondition interleaveChannels(OFList<WvfChannel*>& channels, const Uint32 samples, U* out)
{
    std::vector<const U*> in;
    in.reserve(channels.size());
    for (OFListIterator(WvfChannel*) it = channels.begin(); it != channels.end(); ++it) {
        Uint32 bytes = 0;
        Uint8* data = NULL;
        const OFCondition cond = (*it)->getSamples()->getData(bytes, data);
        if (cond.bad())
            return cond;
        if (bytes / sizeof(U) < samples)
            return EC_IllegalCall;
        in.push_back(OFreinterpret_cast(const U*, data));
    }
    interleaveAny(in, samples, out);
    return EC_Normal;
}

} // namespace

WvfMplxGroup::WvfMplxGroup()
    : m_multiplexGroupTimeOffset(DCM_MultiplexGroupTimeOffset), m_multiplexGroupTimeOffsetSet(false),
      m_triggerTimeOffset(DCM_TriggerTimeOffset), m_triggerTimeOffsetSet(false),
      m_triggerSamplePosition(DCM_TriggerSamplePosition), m_triggerSamplePositionSet(false),
      m_waveformOriginality(DCM_WaveformOriginality), m_waveformOriginalitySet(false),
      m_channelsAsRead(0),
      m_samplingFrequency(DCM_SamplingFrequency), m_samplingFrequencySet(false),
      m_multiplexGroupLabel(DCM_MultiplexGroupLabel), m_multiplexGroupLabelSet(false),
      m_waveformBitsAllocated(DCM_WaveformBitsAllocated), m_waveformBitsAllocatedSet(false),
      m_waveformSampleInterpretation(WVF_SAMPLE_INTERPRETATION_UNKNOWN), m_waveformSampleInterpretationSet(false),
      m_paddingValue(0), m_paddingValueSet(false),
      m_samplesAsRead(0)
{
}

WvfMplxGroup::~WvfMplxGroup()
{
    freeMemory();
}

void WvfMplxGroup::freeMemory()
{
    WVF_DEBUG("WvfMplxGroup::~WvfMplxGroup(): Freeing Multiplex Group memory");
    while (!m_channels.empty()) {
        delete m_channels.front();
        m_channels.pop_front();
    }
}

OFCondition WvfMplxGroup::addChannel(WvfChannel* channel, int position)
{
    // A null channel would only fail later, in check or write.
    if (!channel)
        return EC_IllegalCall;
    if (position == -1) {
        m_channels.push_back(channel);
        return EC_Normal;
    }
    if (position >= OFstatic_cast(int, m_channels.size()))
        return EC_WvfError("Not enough m_channels to add channel at this position");
    OFListIterator(WvfChannel*) it = m_channels.begin();
    for (int i = 0; i < position; ++i)
        ++it;
    m_channels.insert(it, channel);
    return EC_Normal;
}

WvfChannel* WvfMplxGroup::getChannel(const Uint32& index)
{
    if (m_channels.empty() || index > m_channels.size())
        return NULL;
    OFListIterator(WvfChannel*) it = m_channels.begin();
    for (Uint32 i = 1; i < index; ++i)
        ++it;
    return *it;
}

Uint16 WvfMplxGroup::getNumberOfChannels()
{
    return OFstatic_cast(Uint16, m_channels.size());
}

bool WvfMplxGroup::getSamplingFrequency(double& value)
{
    value = WvfUtils::getFloat64Value(m_samplingFrequency);
    return m_samplingFrequencySet;
}

bool WvfMplxGroup::getWaveformOriginality(OFString& value)
{
    value = WvfUtils::getStringValue(m_waveformOriginality);
    return m_waveformOriginalitySet;
}

bool WvfMplxGroup::getWaveformSampleInterpretation(WVF_SAMPLE_INTERPRETATION& value)
{
    value = m_waveformSampleInterpretation;
    return m_waveformSampleInterpretationSet;
}

OFCondition WvfMplxGroup::setMultiplexGroupTimeOffset(const double& value)
{
    const OFCondition cond = WvfUtils::putDecimal(m_multiplexGroupTimeOffset, value);
    if (cond.good())
        m_multiplexGroupTimeOffsetSet = true;
    return cond;
}

OFCondition WvfMplxGroup::setSamplingFrequency(const double& value)
{
    const OFCondition cond = WvfUtils::putDecimal(m_samplingFrequency, value);
    if (cond.good())
        m_samplingFrequencySet = true;
    return cond;
}

OFCondition WvfMplxGroup::setWaveformOriginality(const OFString& value)
{
    const OFCondition cond = m_waveformOriginality.putOFStringArray(value);
    if (cond.good())
        m_waveformOriginalitySet = true;
    return cond;
}

OFCondition WvfMplxGroup::setWaveformSampleInterpretation(const WVF_SAMPLE_INTERPRETATION& value)
{
    m_waveformSampleInterpretation = value;
    m_waveformSampleInterpretationSet = true;
    return EC_Normal;
}

bool WvfMplxGroup::check(const bool& invent)
{
    if (WvfUtils::checkAndInventType1Attrib(m_waveformOriginality, invent, "DERIVED", m_waveformOriginalitySet).bad())
        return false;
    if (WvfUtils::checkAndInventType1Attrib(m_samplingFrequency, invent, "", m_samplingFrequencySet).bad())
        return false;
    if (m_waveformSampleInterpretation == WVF_SAMPLE_INTERPRETATION_UNKNOWN) {
        WVF_DEBUG("Waveform Sample Interpretation absent (type 1)");
        if (invent)
            WVF_DEBUG("Unable to invent 1 attribute value for attribute Waveform Sample Interpretation");
        return false;
    }
    for (OFListIterator(WvfChannel*) it = m_channels.begin(); it != m_channels.end(); ++it)
        if (!(*it)->check(invent))
            return false;
    return true;
}

OFCondition WvfMplxGroup::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfMplxGroup: Reading Multiplex Group information");
    OFCondition result = EC_Normal;
    WvfUtils::getAndCheckElementFromDataset(*item, m_multiplexGroupTimeOffset, m_multiplexGroupTimeOffsetSet, "1", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_triggerTimeOffset, m_triggerTimeOffsetSet, "1", "1C");
    WvfUtils::getAndCheckElementFromDataset(*item, m_triggerSamplePosition, m_triggerSamplePositionSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_waveformOriginality, m_waveformOriginalitySet, "1", "1");

    bool present = false;
    DcmUnsignedShort channels(DCM_NumberOfWaveformChannels);
    result = WvfUtils::getAndCheckElementFromDataset(*item, channels, present, "1", "1");
    if (result.good())
        m_channelsAsRead = WvfUtils::getUint16Value(channels, 0);

    DcmUnsignedLong samples(DCM_NumberOfWaveformSamples);
    m_samplesAsRead = 0;
    if (WvfUtils::getAndCheckElementFromDataset(*item, samples, present, "1", "1").good() && present) {
        Uint32 value = 0;
        if (samples.getUint32(value, 0).good())
            m_samplesAsRead = value;
    }
    WvfUtils::getAndCheckElementFromDataset(*item, m_samplingFrequency, m_samplingFrequencySet, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_multiplexGroupLabel, m_multiplexGroupLabelSet, "1", "3");
    WvfUtils::getAndCheckElementFromDataset(*item, m_waveformBitsAllocated, m_waveformBitsAllocatedSet, "1", "1");

    DcmCodeString interp(DCM_WaveformSampleInterpretation);
    result = WvfUtils::getAndCheckElementFromDataset(*item, interp, present, "1", "1");
    if (result.good()) {
        const OFString text = WvfUtils::getStringValue(interp);
        m_waveformSampleInterpretation = WvfUtils::stringToSampleInterpretation(text);
        m_waveformSampleInterpretationSet = m_waveformSampleInterpretation != WVF_SAMPLE_INTERPRETATION_UNKNOWN;
        if (!m_waveformSampleInterpretationSet)
            WVF_DEBUG("WvfMplxGroup: Unknown attribute value for 'Waveform Sample Interpretation': " << text);
    }

    DcmElement* padding = NULL;
    result = item->findAndGetElement(DCM_WaveformPaddingValue, padding, OFFalse);
    if (result.good() && padding) {
        // an 8-bit group keeps its padding value as one byte (OB)
        if (padding->getTag().getEVR() == EVR_OB) {
            Uint8 byte = 0;
            result = padding->getUint8(byte, 0);
            if (result.good())
                m_paddingValue = byte;
        } else {
            result = padding->getUint16(m_paddingValue, 0);
        }
        if (result.good())
            m_paddingValueSet = true;
        else
            WVF_DEBUG("WvfMplxGroup: Unable to read value of attribute 'Waveform Padding Value':" << result.text());
    }

    if (m_channelsAsRead > 0)
        result = readChannels(item);
    else
        result = EC_WvfError("WvfMplxGroup: Cannot read Multiplex Group: 'Number of Waveform Channels' missing or 0");
    return result;
}

OFCondition WvfMplxGroup::readChannels(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    DcmSequenceOfItems* definitions = NULL;
    OFCondition cond = item->findAndGetSequence(DCM_ChannelDefinitionSequence, definitions, OFFalse);
    if (cond.bad() || !definitions) {
        WVF_ERROR("WvfMplxGroup: Cannot read Multiplex Group: Attribute 'Channel Definition Sequence' not found");
        return cond.bad() ? cond : EC_TagNotFound;
    }
    const unsigned long count = definitions->card();
    if (count != m_channelsAsRead)
        WVF_DEBUG("WvfMplxGroup: attribute 'Number of Waveform Channels' and items found in 'Channel Definition Sequence' differ, overriding attribute value");
    if (count == 0 || count > 65535)
        return EC_WvfError("WvfMplxGroup: Cannot read Multiplex Group: 'Channel Definition Sequence' holds no usable number of items");
    const Uint32 channels = OFstatic_cast(Uint32, count);

    DcmElement* data = NULL;
    cond = item->findAndGetElement(DCM_WaveformData, data, OFFalse);
    if (cond.bad() || !data) {
        WVF_ERROR("WvfMplxGroup: Cannot read Multiplex Group: Attribute 'Waveform Data' not found");
        return EC_IllegalCall;
    }

    // Refuse what cannot be split before any division or copy.
    const Uint16 bitsAllocated = m_waveformBitsAllocatedSet ? WvfUtils::getUint16Value(m_waveformBitsAllocated, 0) : 0;
    if (bitsAllocated != 8 && bitsAllocated != 16)
        return EC_WvfError("WvfMplxGroup: Cannot read Multiplex Group: 'Waveform Bits Allocated' missing or not 8 or 16");
    if (wvfInterpretationBits(m_waveformSampleInterpretation) != bitsAllocated)
        return EC_WvfError("WvfMplxGroup: Cannot read Multiplex Group: 'Waveform Bits Allocated' does not match 'Waveform Sample Interpretation'");

    const Uint32 bytesPerSample = bitsAllocated / 8;
    const Uint32 total = data->getLength() / bytesPerSample;
    WVF_DEBUG("WvfChannel: Total number of samples: " << total);
    Uint32 samplesPerChannel = total / channels;
    if (m_samplesAsRead != 0) {
        // The declared count must fill the data up to at most a partial frame
        // or the pad byte of odd 8-bit data: less is a truncated element,
        // more a group whose data was interleaved for other channels.
        const Uint64 expected = OFstatic_cast(Uint64, m_samplesAsRead) * channels * bytesPerSample;
        const Uint64 frame = OFstatic_cast(Uint64, channels) * bytesPerSample;
        const Uint64 length = data->getLength();
        if (length < expected || length >= expected + (frame > 2 ? frame : 2))
            return EC_WvfError("WvfMplxGroup: Cannot read Multiplex Group: 'Waveform Data' does not hold 'Number of Waveform Samples' for each channel");
        samplesPerChannel = m_samplesAsRead;
    }
    WVF_DEBUG("WvfChannel: Number of samples per channel: " << samplesPerChannel);
    if (samplesPerChannel == 0)
        return EC_WvfError("WvfMplxGroup: Cannot read Multiplex Group: 'Waveform Data' holds no complete frame");

    // All channels' samples in one sweep over the element.
    std::vector<WvfSamples*> buffers(channels, NULL);
    cond = WvfChannel::splitSamples(data, m_waveformSampleInterpretation, channels, samplesPerChannel, 0, channels,
                                    buffers.data());
    if (cond.bad()) {
        WVF_ERROR("WvfMplxGroup: Error initializing samples of the channels: " << cond.text());
        return EC_IllegalCall;
    }
    for (Uint32 i = 0; i < channels; ++i) {
        WvfChannel* channel = new (std::nothrow) WvfChannel();
        if (!channel)
            cond = EC_MemoryExhausted;
        else {
            WVF_DEBUG("WvfMplxGroup: Initializing channel" << i);
            cond = channel->read(definitions->getItem(i));
        }
        if (cond.bad()) {
            if (channel)
                WVF_ERROR("WvfMplxGroup: Error(s) initializing channel: " << cond.text());
            delete channel;
            for (Uint32 k = i; k < channels; ++k)
                delete buffers[k];
            return channel ? EC_IllegalCall : cond;
        }
        channel->adoptSamples(buffers[i]);
        m_channels.push_back(channel);
    }
    return EC_Normal;
}

OFCondition WvfMplxGroup::checkLayout(const Uint16& bitsAllocated)
{
    const Uint16 width = wvfInterpretationBits(m_waveformSampleInterpretation);
    if (width == 0)
        return EC_WvfError("Waveform Sample Interpretation is not supported");
    if (bitsAllocated != width)
        return EC_WvfError("WvfMplxGroup: Cannot write group, 'Waveform Bits Allocated' does not match 'Waveform Sample Interpretation'");
    // The channel count is written (and the data sized) as 16 bits.
    if (m_channels.size() > 65535)
        return EC_WvfError("WvfMplxGroup: Cannot write group, more than 65535 channels");
    WvfChannel* first = m_channels.empty() ? NULL : m_channels.front();
    const Uint32 samples = first ? first->getNumberOfSamples() : 0;
    for (OFListIterator(WvfChannel*) it = m_channels.begin(); it != m_channels.end(); ++it) {
        WvfSamples* buffer = (*it)->getSamples();
        if (!buffer)
            return EC_WvfError("WvfMplxGroup: Error writing channel, missing sample data");
        if (buffer->getNumberOfSamples() != samples)
            return EC_WvfError("WvfMplxGroup: Cannot write group, channels differ in their number of samples");
        if (buffer->getBitsPerSample() != width)
            return EC_WvfError("WvfMplxGroup: Cannot write group, sample width does not match 'Waveform Sample Interpretation'");
    }
    if (samples == 0)
        return EC_WvfError("WvfMplxGroup: Cannot write group, channels hold no samples");
    const Uint64 bytes = OFstatic_cast(Uint64, samples) * m_channels.size() * (width / 8);
    if (bytes > 0xFFFFFFFEu)
        return EC_WvfError("WvfMplxGroup: Cannot write group, 'Waveform Data' would exceed the largest DICOM value");
    return EC_Normal;
}

OFCondition WvfMplxGroup::write(DcmItem* item)
{
    if (!item || m_channels.empty())
        return EC_IllegalCall;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_multiplexGroupTimeOffset, m_multiplexGroupTimeOffsetSet);
    WvfUtils::addIfSet(result, *item, m_triggerTimeOffset, m_triggerTimeOffsetSet);
    WvfUtils::addIfSet(result, *item, m_triggerSamplePosition, m_triggerSamplePositionSet);

    if (!m_waveformOriginalitySet) {
        WVF_DEBUG("WvfMplxGroup: 'Waveform Originality' not set, setting value to 'DERIVED'");
        setWaveformOriginality("DERIVED");
    }
    WvfUtils::addIfSet(result, *item, m_waveformOriginality, true);

    DcmUnsignedShort* channels = new (std::nothrow) DcmUnsignedShort(DCM_NumberOfWaveformChannels);
    if (channels)
        channels->putUint16(getNumberOfChannels(), 0);
    WvfUtils::addElementToDataset(result, *item, channels);

    DcmUnsignedLong* samples = new (std::nothrow) DcmUnsignedLong(DCM_NumberOfWaveformSamples);
    if (samples)
        samples->putUint32(m_channels.front()->getNumberOfSamples(), 0);
    WvfUtils::addElementToDataset(result, *item, samples);

    WvfUtils::addIfSet(result, *item, m_samplingFrequency, m_samplingFrequencySet);
    WvfUtils::addIfSet(result, *item, m_multiplexGroupLabel, m_multiplexGroupLabelSet);

    if (!m_waveformBitsAllocatedSet) {
        Uint16 bitsStored = 0;
        if (!m_channels.front()->getWaveformBitsStored(bitsStored) || bitsStored == 0)
            return EC_WvfError("WvfMplxGroup: Cannot write group, no value for 'Waveform Bits Allocated'");
        if (m_waveformBitsAllocated.putUint16(bitsStored, 0).bad())
            return EC_WvfError("WvfMplxGroup: Cannot write group, no value for 'Waveform Bits Allocated'");
        m_waveformBitsAllocatedSet = true;
    }
    WvfUtils::addIfSet(result, *item, m_waveformBitsAllocated, true);

    const OFString interpText = WvfUtils::sampleInterpretationToString(m_waveformSampleInterpretation);
    if (interpText.empty())
        return EC_WvfError("WvfMplxGroup: Cannot write group, no valid value for 'Waveform Sample Interpretation'");
    DcmCodeString* interp = new (std::nothrow) DcmCodeString(DCM_WaveformSampleInterpretation);
    if (interp && interp->putOFStringArray(interpText).bad()) {
        delete interp;
        return result.good() ? EC_IllegalCall : result;
    }
    if (WvfUtils::addElementToDataset(result, *item, interp).bad())
        return result;

    // Refuse channels that do not fit together before anything of the data is written.
    const Uint16 bitsAllocated = WvfUtils::getUint16Value(m_waveformBitsAllocated, 0);
    OFCondition cond = checkLayout(bitsAllocated);
    if (cond.bad())
        return cond;

    if (m_paddingValueSet) {
        // the value representation of the dictionary (OB or OW), so that a
        // group read back from a file writes again
        if (bitsAllocated == 16)
            cond = item->putAndInsertUint16Array(DcmTag(DCM_WaveformPaddingValue, EVR_OW), &m_paddingValue, 1, OFTrue);
        else {
            const Uint8 byte = OFstatic_cast(Uint8, m_paddingValue & 0xFF);
            cond = item->putAndInsertUint8Array(DcmTag(DCM_WaveformPaddingValue, EVR_OB), &byte, 1, OFTrue);
        }
        if (cond.bad()) {
            WVF_DEBUG("WvfMplxGroup: Unable to write 'Waveform Padding Value'");
            return cond;
        }
    }
    if (result.bad())
        return result;
    cond = writeWaveformData(item);
    if (cond.bad())
        return cond;
    return writeChannels(item);
}

OFCondition WvfMplxGroup::writeWaveformData(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    const Uint16 count = getNumberOfChannels();
    if (count == 0) {
        WVF_DEBUG("WvfMplxGroup: No channels to write");
        return EC_IllegalCall;
    }
    const Uint16 bitsAllocated = WvfUtils::getUint16Value(m_waveformBitsAllocated, 0);
    OFCondition result = checkLayout(bitsAllocated);
    if (result.bad())
        return result;
    const Uint32 total = m_channels.front()->getNumberOfSamples() * OFstatic_cast(Uint32, count);

    // The interleaved samples go straight into the new element's value.
    DcmOtherByteOtherWord* data = new (std::nothrow)
        DcmOtherByteOtherWord(DcmTag(DCM_WaveformData, bitsAllocated == 8 ? EVR_OB : EVR_OW));
    if (!data)
        return EC_MemoryExhausted;
    const Uint32 samples = m_channels.front()->getNumberOfSamples();
    if (bitsAllocated == 8) {
        Uint8* bytes = NULL;
        result = data->createUint8Array(total, bytes);
        if (result.good())
            result = bytes ? interleaveChannels(m_channels, samples, bytes) : EC_MemoryExhausted;
    } else {
        Uint16* words = NULL;
        result = data->createUint16Array(total, words);
        if (result.good())
            result = words ? interleaveChannels(m_channels, samples, words) : EC_MemoryExhausted;
    }
    if (result.good())
        result = item->insert(data, OFTrue /*replaceOld*/);
    if (result.bad())
        delete data;
    return result;
}

OFCondition WvfMplxGroup::writeChannels(DcmItem* item)
{
    WVF_DEBUG("WvfMplxGroup: Writing Channel Definition Sequence");
    if (!item)
        return EC_IllegalParameter;
    DcmItem* entry = NULL;
    if (m_channels.empty() ||
        item->findOrCreateSequenceItem(DCM_ChannelDefinitionSequence, entry, OFstatic_cast(long, m_channels.size() - 1)).bad())
        return EC_WvfError("Unable to create attribute 'Channel Definition Sequence' or corresponding items");
    OFString errors;
    int i = 0;
    for (OFListIterator(WvfChannel*) it = m_channels.begin(); it != m_channels.end(); ++it, ++i) {
        OFCondition cond = item->findAndGetSequenceItem(DCM_ChannelDefinitionSequence, entry, i);
        if (cond.bad()) {
            errors += "WvfMplxGroup: Unable to read from 'Channel Definition Sequence' or corresponding items': ";
            errors += cond.text();
            continue;
        }
        cond = (*it)->write(entry);
        if (cond.bad())
            errors += cond.text();
    }
    return errors.empty() ? EC_Normal : EC_WvfError(errors);
}
