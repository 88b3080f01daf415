// Waveform Identification Module: instance number, content and acquisition
// date and time, referenced instances.
#ifndef WVFIDENT_H
#define WVFIDENT_H

#include "wvfmacro.h"

class ReferencedInstanceSequenceItem
{
public:
    ReferencedInstanceSequenceItem();
    ~ReferencedInstanceSequenceItem();
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item);
    void clear();

private:
    ReferencedInstanceSequenceItem(const ReferencedInstanceSequenceItem&);
    ReferencedInstanceSequenceItem& operator=(const ReferencedInstanceSequenceItem&);

    DcmUniqueIdentifier m_referencedSOPClassUID;
    DcmUniqueIdentifier m_referencedSOPInstanceUID;
    OFList<CodeSequenceMacro*> m_purposeCodes;
};

class WvfIdentMod
{
public:
    WvfIdentMod();
    ~WvfIdentMod();
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;
    bool check(const bool& invent);

    // The recording's own times, instead of the times of the export.
    OFCondition setContentDate(const OFString& value);
    OFCondition setContentTime(const OFString& value);
    OFCondition setAcquisitionDateTime(const OFString& value);

private:
    WvfIdentMod(const WvfIdentMod&);
    WvfIdentMod& operator=(const WvfIdentMod&);

    DcmIntegerString m_instanceNumber;
    bool m_instanceNumberSet;
    DcmDate m_contentDate;
    bool m_contentDateSet;
    DcmTime m_contentTime;
    bool m_contentTimeSet;
    DcmDateTime m_acquisitionDateTime;
    bool m_acquisitionDateTimeSet;
    OFList<ReferencedInstanceSequenceItem*> m_referencedInstances;
};

#endif
