#include "wvfanno.h"

#include <new>

// --- concept code ---

ConceptCodeItem::ConceptCodeItem()
    : m_codeSet(false), m_modifiersSet(false)
{
}

ConceptCodeItem::~ConceptCodeItem()
{
    clear();
    m_codeSet = m_modifiersSet = false;
    while (!m_modifiers.empty()) {
        delete m_modifiers.front();
        m_modifiers.pop_front();
    }
}

OFCondition ConceptCodeItem::read(DcmItem* item)
{
    if (!item)
        return EC_WvfError("Nullpointer Exception");
    const OFCondition cond = CodeSequenceMacro::read(item);
    if (cond.bad())
        return cond;
    m_codeSet = true;
    DcmSequenceOfItems* seq = NULL;
    if (item->findAndGetSequence(DCM_ModifierCodeSequence, seq, OFFalse).good() && seq) {
        for (unsigned long i = 0; i < seq->card(); ++i) {
            CodeSequenceMacro* modifier = new (std::nothrow) CodeSequenceMacro();
            if (!modifier)
                return EC_MemoryExhausted;
            if (modifier->read(seq->getItem(i)).bad()) {
                WVF_DEBUG("ConceptCodeItem: A Concept Name Code Modifier Sequence item could not be initialized");
                delete modifier;
                continue;
            }
            m_modifiers.push_back(modifier);
            m_modifiersSet = true;
        }
    }
    return EC_Normal;
}

OFCondition ConceptCodeItem::write(DcmItem* item) const
{
    if (!item)
        return EC_WvfError("Nullpointer exception");
    if (m_codeSet) {
        const OFCondition cond = CodeSequenceMacro::write(item);
        if (cond.bad())
            WVF_DEBUG("ConceptCodeItem: CodeSequence of 'Concept Name Code Sequence' could not be set: " << cond.text());
    } else {
        WVF_DEBUG("ConceptCodeItem: CodeSequence of Concept Name Code Sequence not set!");
    }
    if (m_modifiersSet && !m_modifiers.empty()) {
        DcmItem* entry = NULL;
        if (item->findOrCreateSequenceItem(DCM_ModifierCodeSequence, entry, OFstatic_cast(long, m_modifiers.size() - 1)).bad())
            return EC_Normal;
        DcmSequenceOfItems* seq = NULL;
        const OFCondition cond = item->findAndGetSequence(DCM_ModifierCodeSequence, seq, OFFalse);
        if (cond.bad() || !seq) {
            WVF_DEBUG("ConceptCodeItem: Error creating and getting 'Code Modifier Sequence'" << cond.text());
        } else {
            unsigned long i = 0;
            for (OFListConstIterator(CodeSequenceMacro*) it = m_modifiers.begin(); it != m_modifiers.end(); ++it, ++i) {
                const OFCondition c = (*it)->write(seq->getItem(i));
                if (c.bad())
                    WVF_DEBUG("ConceptCodeItem: Error exporting one item of Code Modifier Sequence: " << c.text());
            }
        }
    }
    return EC_Normal;
}

bool ConceptCodeItem::check(const bool& invent)
{
    if (!CodeSequenceMacro::check(invent))
        return false;
    if (m_modifiersSet)
        for (OFListIterator(CodeSequenceMacro*) it = m_modifiers.begin(); it != m_modifiers.end(); ++it)
            if (!(*it)->check(invent))
                return false;
    return true;
}

// --- annotation item ---

WvfAnnotationItem::WvfAnnotationItem()
    : m_text(DCM_UnformattedTextValue), m_textSet(false),
      m_conceptName(NULL), m_conceptCode(NULL),
      m_numericValues(DCM_NumericValue), m_numericValuesSet(false),
      m_measurementUnits(NULL),
      m_channels(DCM_ReferencedWaveformChannels), m_channelsSet(false),
      m_temporalRangeType(WVF_TEMPORAL_RANGE_TYPE_UNKNOWN),
      m_samplePositions(DCM_ReferencedSamplePositions), m_samplePositionsSet(false),
      m_timeOffsets(DCM_ReferencedTimeOffsets), m_timeOffsetsSet(false),
      m_dateTimes(DCM_ReferencedDateTime), m_dateTimesSet(false),
      m_groupNumber(DCM_AnnotationGroupNumber), m_groupNumberSet(false)
{
}

WvfAnnotationItem::~WvfAnnotationItem()
{
    delete m_conceptName;
    delete m_conceptCode;
    delete m_measurementUnits;
}

void WvfAnnotationItem::reset()
{
    delete m_conceptName;
    delete m_conceptCode;
    delete m_measurementUnits;
    m_conceptName = m_conceptCode = NULL;
    m_measurementUnits = NULL;
    m_text.clear();
    m_numericValues.clear();
    m_channels.clear();
    m_samplePositions.clear();
    m_timeOffsets.clear();
    m_dateTimes.clear();
    m_groupNumber.clear();
    m_textSet = m_numericValuesSet = m_channelsSet = m_samplePositionsSet = false;
    m_timeOffsetsSet = m_dateTimesSet = m_groupNumberSet = false;
    m_temporalRangeType = WVF_TEMPORAL_RANGE_TYPE_UNKNOWN;
}

// Reads the first item of a single-item code sequence into a new code
// object; the code is dropped when it cannot be read.
template <class T>
static OFCondition readSingleCode(DcmItem& item, const DcmTagKey& tag, T*& code, const char* errorText,
                                  const char* onlyOneText)
{
    if (!item.tagExists(tag, OFFalse))
        return EC_Normal;
    DcmItem* entry = NULL;
    OFCondition cond = item.findAndGetSequenceItem(tag, entry, 0);
    if (cond.good()) {
        code = new (std::nothrow) T();
        if (!code)
            cond = EC_MemoryExhausted;
        else
            cond = entry ? code->read(entry) : EC_WvfError("Nullpointer Exception");
    }
    if (cond.bad()) {
        WVF_DEBUG(errorText << cond.text());
        delete code;
        code = NULL;
    }
    DcmItem* second = NULL;
    if (item.findAndGetSequenceItem(tag, second, 1).good())
        WVF_DEBUG(onlyOneText);
    return cond;
}

OFCondition WvfAnnotationItem::read(DcmItem* item)
{
    reset();
    if (!item)
        return EC_Normal;
    OFCondition running = EC_Normal;
    WvfUtils::getAndCheckElementFromDataset(*item, m_text, m_textSet, "1", "1C");
    running = readSingleCode(*item, DCM_ConceptNameCodeSequence, m_conceptName,
                             "WvfAnnotationItem: Error reading item of 'Concept Name Code Sequence': ",
                             "WvfAnnotationItem: Only one item permitted for 'Concept Name Code Sequence', found at least two, ignoring");
    const OFCondition code = readSingleCode(*item, DCM_ConceptCodeSequence, m_conceptCode,
                             "WvfAnnotationItem: Error reading item of 'Concept Code Sequence': ",
                             "WvfAnnotationItem: Only one item permitted for 'Concept Code Sequence', found at least two, ignoring");
    if (item->tagExists(DCM_ConceptCodeSequence, OFFalse))
        running = code;
    const OFCondition units = readSingleCode(*item, DCM_MeasurementUnitsCodeSequence, m_measurementUnits,
                             "WvfAnnotationItem: Error reading item of 'Measurements Units Code Sequence': ",
                             "WvfAnnotationItem: Only one item permitted for 'Measurements Units Code Sequence', found at least two, ignoring");
    if (item->tagExists(DCM_MeasurementUnitsCodeSequence, OFFalse))
        running = units;
    // A numeric value belongs to a measurement: it stands beside a concept
    // name and excludes a coded value (Concept Code Sequence).
    if (!m_conceptCode) {
        // the standard's VM: a device-information event carries several values
        running = WvfUtils::getAndCheckElementFromDataset(*item, m_numericValues, m_numericValuesSet, "1-n", "3");
        if (running.bad())
            WVF_DEBUG("WvfAnnotationItem: Unable to read 'Concept Name Code Sequence': " << running.text());
    }
    running = WvfUtils::getAndCheckElementFromDataset(*item, m_channels, m_channelsSet, "2-2n", "1");
    if (running.bad())
        WVF_DEBUG(running.text());
    OFString rangeText;
    if (WvfUtils::getAndCheckStringValueFromDataset(*item, DCM_TemporalRangeType, rangeText, "1", "1C").good()) {
        m_temporalRangeType = WvfUtils::stringToTemporalRangeType(rangeText);
        if (m_temporalRangeType == WVF_TEMPORAL_RANGE_TYPE_UNKNOWN)
            WVF_DEBUG("WvfAnnotationItem: Unknown value for 'Temporal Range Type': " << rangeText);
    }
    running = WvfUtils::getAndCheckElementFromDataset(*item, m_samplePositions, m_samplePositionsSet, "1-n", "1C");
    if (running.bad())
        WVF_DEBUG(running.text());
    running = WvfUtils::getAndCheckElementFromDataset(*item, m_timeOffsets, m_timeOffsetsSet, "1-n", "1C");
    if (running.bad())
        WVF_DEBUG(running.text());
    running = WvfUtils::getAndCheckElementFromDataset(*item, m_dateTimes, m_dateTimesSet, "1-n", "1C");
    if (running.bad())
        WVF_DEBUG(running.text());
    running = WvfUtils::getAndCheckElementFromDataset(*item, m_groupNumber, m_groupNumberSet, "1", "3");
    if (running.bad())
        WVF_DEBUG(running.text());

    if (m_textSet && m_conceptName) {
        WVF_DEBUG("WvfAnnotationItem: Attributes 'Unformatted Text Value' and 'Concept Name Code Sequence' cannot be set both, unsetting 'Unformatted Text Value'");
        m_textSet = false;
    }
    if (m_temporalRangeType != WVF_TEMPORAL_RANGE_TYPE_UNKNOWN) {
        if (m_samplePositionsSet && m_timeOffsetsSet) {
            WVF_DEBUG("WvfAnnotationItem: Attributes 'Referenced Sample Positions' and 'Referenced Time Offsets' cannot be set both, unsetting 'Referenced Time Offsets'");
            m_timeOffsetsSet = false;
        }
        if (m_samplePositionsSet && m_dateTimesSet) {
            WVF_DEBUG("WvfAnnotationItem: Attributes 'Referenced Sample Positions' and 'Referenced DateTime ' cannot be set both, unsetting 'Referenced DateTime'");
            m_dateTimesSet = false;
        }
        if (m_timeOffsetsSet && m_dateTimesSet) {
            WVF_DEBUG("WvfAnnotationItem: Attributes 'Referenced Time Offsets' and 'Referenced DateTime' cannot be set both, unsetting 'Referenced DateTime'");
            m_dateTimesSet = false;
        }
    }
    return EC_Normal;
}

bool WvfAnnotationItem::check(const bool& invent)
{
    if (!WvfUtils::checkElementValue(m_text, "1", "1C", m_textSet) ||
        !WvfUtils::checkElementValue(m_numericValues, "1-n", "3", m_numericValuesSet) ||
        !WvfUtils::checkElementValue(m_channels, "2-2n", "1", m_channelsSet) ||
        !WvfUtils::checkElementValue(m_samplePositions, "1-n", "1C", m_samplePositionsSet) ||
        !WvfUtils::checkElementValue(m_timeOffsets, "1-n", "1C", m_timeOffsetsSet) ||
        !WvfUtils::checkElementValue(m_dateTimes, "1-n", "1C", m_dateTimesSet) ||
        !WvfUtils::checkElementValue(m_groupNumber, "1", "3", m_groupNumberSet))
        return false;
    // An item says what it marks: a text or a concept name.
    if (!m_textSet && !m_conceptName) {
        WVF_DEBUG("WvfAnnotationItem: neither 'Unformatted Text Value' nor 'Concept Name Code Sequence' present");
        return false;
    }
    if (m_conceptName && !m_conceptName->check(invent))
        return false;
    if (m_conceptCode && !m_conceptCode->check(invent))
        return false;
    if (m_measurementUnits && !m_measurementUnits->check(invent))
        return false;
    return true;
}

OFCondition WvfAnnotationItem::write(DcmItem* item) const
{
    if (!item)
        return EC_IllegalCall;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_text, m_textSet);
    if (m_conceptName && result.good()) {
        DcmItem* entry = NULL;
        result = item->findOrCreateSequenceItem(DCM_ConceptNameCodeSequence, entry, 0);
        if (result.good())
            result = m_conceptName->write(entry);
        if (result.bad()) {
            WVF_DEBUG("WvfAnnotationItem: Unable to write Concept Name Code Sequence");
            return result;
        }
    }
    WvfUtils::addIfSet(result, *item, m_samplePositions, m_samplePositionsSet);
    WvfUtils::addIfSet(result, *item, m_timeOffsets, m_timeOffsetsSet);
    WvfUtils::addIfSet(result, *item, m_dateTimes, m_dateTimesSet);
    WvfUtils::addIfSet(result, *item, m_groupNumber, m_groupNumberSet);
    WvfUtils::addIfSet(result, *item, m_numericValues, m_numericValuesSet);
    if (m_conceptCode && result.good()) {
        DcmItem* entry = NULL;
        result = item->findOrCreateSequenceItem(DCM_ConceptCodeSequence, entry, 0);
        if (result.good())
            result = m_conceptCode->write(entry);
        if (result.bad()) {
            WVF_DEBUG("WvfAnnotationItem: Unable to write 'Concept Code Sequence'");
            return result;
        }
    }
    if (m_measurementUnits && result.good()) {
        DcmItem* entry = NULL;
        result = item->findOrCreateSequenceItem(DCM_MeasurementUnitsCodeSequence, entry, 0);
        if (result.bad()) {
            WVF_DEBUG("WvfAnnotationItem: Unable to write 'Measurement Units Code Sequence'");
            return result;
        }
        result = m_measurementUnits->write(entry);
        if (result.bad()) {
            WVF_DEBUG("WvfAnnotationItem: Unable to write item of 'Measurement Units Code Sequence'");
            return result;
        }
    }
    WvfUtils::addIfSet(result, *item, m_channels, m_channelsSet);
    if (m_temporalRangeType != WVF_TEMPORAL_RANGE_TYPE_UNKNOWN && result.good()) {
        DcmCodeString* range = new (std::nothrow) DcmCodeString(DCM_TemporalRangeType);
        if (range) {
            const OFCondition put = range->putOFStringArray(WvfUtils::temporalRangeTypeToString(m_temporalRangeType));
            if (put.bad()) {
                delete range;
                return put;
            }
        }
        WvfUtils::addElementToDataset(result, *item, range);
    }
    return result;
}

OFCondition WvfAnnotationItem::setUnformattedTextValue(const OFString& value)
{
    const OFCondition cond = m_text.putOFStringArray(value);
    if (cond.good()) {
        m_textSet = true;
        delete m_conceptName;
        m_conceptName = NULL;
    }
    return cond;
}

OFCondition WvfAnnotationItem::setNumericValues(const OFList<double>& values)
{
    m_numericValues.clear();
    const OFCondition cond = m_numericValues.putOFStringArray(WvfUtils::doubleListToDS(values));
    if (cond.good())
        m_numericValuesSet = true;
    return cond;
}

OFCondition WvfAnnotationItem::setReferencedWaveformChannels(const OFList<Uint16>& channels)
{
    m_channels.clear();
    unsigned long pos = 0;
    for (OFListConstIterator(Uint16) it = channels.begin(); it != channels.end(); ++it, ++pos) {
        const OFCondition cond = m_channels.putUint16(*it, pos);
        if (cond.bad())
            return cond;
    }
    m_channelsSet = true;
    return EC_Normal;
}

OFCondition WvfAnnotationItem::setReferencedSamplePositions(const OFList<Uint32>& positions)
{
    m_samplePositions.clear();
    unsigned long pos = 0;
    for (OFListConstIterator(Uint32) it = positions.begin(); it != positions.end(); ++it, ++pos) {
        const OFCondition cond = m_samplePositions.putUint32(*it, pos);
        if (cond.bad())
            return cond;
    }
    m_samplePositionsSet = true;
    return EC_Normal;
}

OFCondition WvfAnnotationItem::setTemporalRangeType(const WVF_TEMPORAL_RANGE_TYPE& type)
{
    m_temporalRangeType = type;
    return EC_Normal;
}

bool WvfAnnotationItem::getUnformattedTextValue(OFString& value)
{
    value = WvfUtils::getStringValue(m_text);
    return m_textSet;
}

bool WvfAnnotationItem::getNumericValues(OFList<double>& values)
{
    if (!m_numericValuesSet)
        return false;
    Float64 v = 0;
    for (unsigned long pos = 0; m_numericValues.getFloat64(v, pos).good(); ++pos)
        values.push_back(v);
    return true;
}

bool WvfAnnotationItem::getReferencedWaveformChannels(OFList<Uint16>& channels)
{
    if (!m_channelsSet)
        return false;
    Uint16 v = 0;
    for (unsigned long pos = 0; m_channels.getUint16(v, pos).good(); ++pos)
        channels.push_back(v);
    return true;
}

bool WvfAnnotationItem::getReferencedSamplePositions(OFList<Uint32>& positions)
{
    if (!m_samplePositionsSet)
        return false;
    Uint32 v = 0;
    for (unsigned long pos = 0; m_samplePositions.getUint32(v, pos).good(); ++pos)
        positions.push_back(v);
    return true;
}

// --- module ---

WvfAnnotationModule::WvfAnnotationModule() {}

WvfAnnotationModule::~WvfAnnotationModule()
{
    for (WvfAnnotationItem* annotation : m_items)
        delete annotation;
    m_items.clear();
}

OFCondition WvfAnnotationModule::read(DcmItem* item)
{
    WVF_DEBUG("WvfAnnotationModule: Reading Waveform Annotation Module information");
    DcmSequenceOfItems* seq = NULL;
    if (!item || item->findAndGetSequence(DCM_WaveformAnnotationSequence, seq, OFFalse).bad() || !seq)
        return EC_WvfError("No Waveform Annotation Sequence present");
    // in sequence order (an item by its index walks the sequence each time)
    m_items.reserve(m_items.size() + seq->card());
    for (DcmObject* entry = seq->nextInContainer(NULL); entry; entry = seq->nextInContainer(entry)) {
        WvfAnnotationItem* annotation = new (std::nothrow) WvfAnnotationItem();
        if (!annotation)
            return EC_MemoryExhausted;
        annotation->read(OFstatic_cast(DcmItem*, entry));
        m_items.push_back(annotation);
    }
    return EC_Normal;
}

OFCondition WvfAnnotationModule::write(DcmItem* item) const
{
    WVF_DEBUG("WvfAnnotationModule: Writing Waveform Annotation Module information");
    if (!item)
        return EC_WvfError("Nullpointer exception");
    if (m_items.empty())
        return EC_Normal;
    // Items are appended one by one: addressing item i of a long sequence
    // walks the whole list each time.
    DcmSequenceOfItems* seq = new (std::nothrow) DcmSequenceOfItems(DCM_WaveformAnnotationSequence);
    if (!seq) {
        WVF_DEBUG("WvfAnnotationModule: Error creating 'Waveform Annotation Sequence': out of memory");
        return EC_Normal;
    }
    for (std::vector<WvfAnnotationItem*>::const_iterator it = m_items.begin(); it != m_items.end(); ++it) {
        DcmItem* entry = new (std::nothrow) DcmItem();
        if (!entry || seq->append(entry).bad()) {
            delete entry;
            delete seq;
            WVF_DEBUG("WvfAnnotationModule: Error creating items of 'Waveform Annotation Sequence'");
            return EC_Normal;
        }
        const OFCondition cond = (*it)->write(entry);
        if (cond.bad())
            WVF_DEBUG("WvfAnnotationModule: Error writing one item of 'Wavefom Annotation Sequence', ignoring: " << cond.text());
    }
    const OFCondition cond = item->insert(seq, OFTrue /*replaceOld*/);
    if (cond.bad()) {
        delete seq;
        WVF_DEBUG("WvfAnnotationModule: Error creating and modifiying 'Waveform Annotation Sequence': " << cond.text());
    }
    return EC_Normal;
}

bool WvfAnnotationModule::check(const bool& invent)
{
    for (WvfAnnotationItem* annotation : m_items)
        if (!annotation->check(invent))
            return false;
    return true;
}

OFCondition WvfAnnotationModule::addAnnotationItem(WvfAnnotationItem* item)
{
    if (!item)
        return EC_IllegalCall;
    m_items.push_back(item);
    return EC_Normal;
}

Uint32 WvfAnnotationModule::getNumberOfAnnotationItems()
{
    return OFstatic_cast(Uint32, m_items.size());
}

WvfAnnotationItem* WvfAnnotationModule::getAnnotationItem(const Uint32& index)
{
    return index < m_items.size() ? m_items[index] : NULL;
}
