// Waveform Annotation Module: annotation items with text or coded concepts,
// numeric values, referenced channels and sample positions.
#ifndef WVFANNO_H
#define WVFANNO_H

#include "wvfmacro.h"

#include <vector>

// A coded concept with its modifier codes.
class ConceptCodeItem : public CodeSequenceMacro
{
public:
    ConceptCodeItem();
    ~ConceptCodeItem();
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;
    bool check(const bool& invent);

private:
    ConceptCodeItem(const ConceptCodeItem&);
    ConceptCodeItem& operator=(const ConceptCodeItem&);

    bool m_codeSet;
    OFList<CodeSequenceMacro*> m_modifiers;
    bool m_modifiersSet;
};

class WvfAnnotationItem
{
public:
    WvfAnnotationItem();
    ~WvfAnnotationItem();

    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;
    bool check(const bool& invent);

    OFCondition setUnformattedTextValue(const OFString& value);
    OFCondition setNumericValues(const OFList<double>& values);
    OFCondition setReferencedWaveformChannels(const OFList<Uint16>& channels);
    OFCondition setReferencedSamplePositions(const OFList<Uint32>& positions);
    OFCondition setTemporalRangeType(const WVF_TEMPORAL_RANGE_TYPE& type);

    bool getUnformattedTextValue(OFString& value);
    bool getNumericValues(OFList<double>& values);
    bool getReferencedWaveformChannels(OFList<Uint16>& channels);
    bool getReferencedSamplePositions(OFList<Uint32>& positions);

private:
    WvfAnnotationItem(const WvfAnnotationItem&);
    WvfAnnotationItem& operator=(const WvfAnnotationItem&);
    void reset();

    DcmShortText m_text;
    bool m_textSet;
    ConceptCodeItem* m_conceptName;
    ConceptCodeItem* m_conceptCode;
    DcmDecimalString m_numericValues;
    bool m_numericValuesSet;
    CodeSequenceMacro* m_measurementUnits;
    DcmUnsignedShort m_channels;
    bool m_channelsSet;
    WVF_TEMPORAL_RANGE_TYPE m_temporalRangeType;
    DcmUnsignedLong m_samplePositions;
    bool m_samplePositionsSet;
    DcmDecimalString m_timeOffsets;
    bool m_timeOffsetsSet;
    DcmDateTime m_dateTimes;
    bool m_dateTimesSet;
    DcmUnsignedShort m_groupNumber;
    bool m_groupNumberSet;
};

class WvfAnnotationModule
{
public:
    WvfAnnotationModule();
    ~WvfAnnotationModule();

    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;
    bool check(const bool& invent);
    OFCondition addAnnotationItem(WvfAnnotationItem* item);
    Uint32 getNumberOfAnnotationItems();
    WvfAnnotationItem* getAnnotationItem(const Uint32& index);

private:
    WvfAnnotationModule(const WvfAnnotationModule&);
    WvfAnnotationModule& operator=(const WvfAnnotationModule&);

    // By index: an import walks thousands of items in order.
    std::vector<WvfAnnotationItem*> m_items;
};

#endif
