#include "wvfident.h"

#include <new>

// --- referenced instance ---

ReferencedInstanceSequenceItem::ReferencedInstanceSequenceItem()
    : m_referencedSOPClassUID(DCM_ReferencedSOPClassUID), m_referencedSOPInstanceUID(DCM_ReferencedSOPInstanceUID)
{
}

ReferencedInstanceSequenceItem::~ReferencedInstanceSequenceItem()
{
    clear();
}

void ReferencedInstanceSequenceItem::clear()
{
    m_referencedSOPClassUID.clear();
    m_referencedSOPInstanceUID.clear();
    while (!m_purposeCodes.empty()) {
        delete m_purposeCodes.front();
        m_purposeCodes.pop_front();
    }
}

OFCondition ReferencedInstanceSequenceItem::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalCall;
    WVF_DEBUG("ReferencedInstanceSequenceItem: Starting initialization from DICOM item");
    clear();
    bool present = false;
    WvfUtils::getAndCheckElementFromDataset(*item, m_referencedSOPClassUID, present, "1", "1");
    WvfUtils::getAndCheckElementFromDataset(*item, m_referencedSOPInstanceUID, present, "1", "1");
    DcmSequenceOfItems* seq = NULL;
    if (item->findAndGetSequence(DCM_PurposeOfReferenceCodeSequence, seq, OFFalse).good() && seq) {
        for (unsigned long i = 0; i < seq->card(); ++i) {
            DcmItem* entry = NULL;
            if (item->findAndGetSequenceItem(DCM_PurposeOfReferenceCodeSequence, entry, OFstatic_cast(int, i)).bad())
                break;
            CodeSequenceMacro* code = new (std::nothrow) CodeSequenceMacro();
            if (!code)
                return EC_MemoryExhausted;
            if (code->read(entry).bad()) {
                WVF_DEBUG("ReferencedInstanceSequenceItem: could not initialize item of 'Purpose of Reference Code Sequence'");
                delete code;
                continue;
            }
            m_purposeCodes.push_back(code);
        }
    }
    return EC_Normal;
}

OFCondition ReferencedInstanceSequenceItem::write(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("ReferencedInstanceSequenceItem: Writing to DICOM item");
    OFCondition result = EC_Normal;
    if (WvfUtils::addIfSet(result, *item, m_referencedSOPClassUID, m_referencedSOPClassUID.getLength() > 0).bad())
        return result;
    if (WvfUtils::addIfSet(result, *item, m_referencedSOPInstanceUID, m_referencedSOPInstanceUID.getLength() > 0).bad())
        return result;
    long i = 0;
    for (OFListIterator(CodeSequenceMacro*) it = m_purposeCodes.begin(); it != m_purposeCodes.end(); ++it, ++i) {
        DcmItem* entry = NULL;
        result = item->findOrCreateSequenceItem(DCM_PurposeOfReferenceCodeSequence, entry, i);
        if (result.bad()) {
            WVF_DEBUG("ReferencedInstanceSequenceItem: Unable to create item for 'Purpose of Reference Code Sequence'");
            return result;
        }
        result = (*it)->write(entry);
        if (result.bad())
            return result;
    }
    return result;
}

// --- module ---

WvfIdentMod::WvfIdentMod()
    : m_instanceNumber(DCM_InstanceNumber), m_instanceNumberSet(true),
      m_contentDate(DCM_ContentDate), m_contentDateSet(false),
      m_contentTime(DCM_ContentTime), m_contentTimeSet(false),
      m_acquisitionDateTime(DCM_AcquisitionDateTime), m_acquisitionDateTimeSet(false)
{
}

WvfIdentMod::~WvfIdentMod()
{
    while (!m_referencedInstances.empty()) {
        delete m_referencedInstances.front();
        m_referencedInstances.pop_front();
    }
}

OFCondition WvfIdentMod::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfIdentMod: Reading Waveform Identification Module");
    WvfUtils::readIfPresent(*item, m_instanceNumber, m_instanceNumberSet, "WvfIdentMod:Warning: Attribute 'Instance Number' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_contentDate, m_contentDateSet, "WvfIdentMod: Attribute 'Content Date' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_contentTime, m_contentTimeSet, "WvfIdentMod: Attribute 'Content Time' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_acquisitionDateTime, m_acquisitionDateTimeSet, "WvfIdentMod: Attribute 'Acquisition Date Time' not found in DICOM data");
    DcmSequenceOfItems* seq = NULL;
    if (item->findAndGetSequence(DCM_ReferencedInstanceSequence, seq, OFFalse).good() && seq) {
        for (unsigned long i = 0; i < seq->card(); ++i) {
            ReferencedInstanceSequenceItem* ref = new (std::nothrow) ReferencedInstanceSequenceItem();
            if (!ref)
                return EC_MemoryExhausted;
            ref->read(seq->getItem(i));
            m_referencedInstances.push_back(ref);
        }
    }
    return EC_Normal;
}

bool WvfIdentMod::check(const bool& invent)
{
    return WvfUtils::checkAndInventType1Attrib(m_instanceNumber, invent, "1", m_instanceNumberSet).good() &&
           WvfUtils::checkAndInventType1Attrib(m_contentDate, invent, WvfUtils::getCurrentDate(), m_contentDateSet).good() &&
           WvfUtils::checkAndInventType1Attrib(m_contentTime, invent, WvfUtils::getCurrentTime(), m_contentTimeSet).good() &&
           WvfUtils::checkAndInventType1Attrib(m_acquisitionDateTime, invent, WvfUtils::getCurrentDateTime(),
                                               m_acquisitionDateTimeSet).good();
}

OFCondition WvfIdentMod::write(DcmItem* item) const
{
    WVF_DEBUG("WvfIdentMod: Writing Waveform Identification Module information");
    if (!item)
        return EC_IllegalParameter;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_instanceNumber, m_instanceNumberSet);
    WvfUtils::addIfSet(result, *item, m_contentDate, m_contentDateSet);
    WvfUtils::addIfSet(result, *item, m_contentTime, m_contentTimeSet);
    WvfUtils::addIfSet(result, *item, m_acquisitionDateTime, m_acquisitionDateTimeSet);
    if (result.good()) {
        long i = 0;
        for (OFListConstIterator(ReferencedInstanceSequenceItem*) it = m_referencedInstances.begin();
             it != m_referencedInstances.end(); ++it, ++i) {
            DcmItem* entry = NULL;
            const OFCondition cond = item->findOrCreateSequenceItem(DCM_ReferencedInstanceSequence, entry, i);
            if (cond.bad()) {
                WVF_DEBUG("WvfIdentMod: Unable to create item of 'Referenced Instance Sequence': " << cond.text());
                return cond;
            }
            if ((*it)->write(entry).bad())
                WVF_DEBUG("WvfIdentMod: Unable to write item of 'Referenced Instance Sequence'");
        }
    }
    return EC_Normal;
}

OFCondition WvfIdentMod::setContentDate(const OFString& value)
{
    return WvfUtils::putStringValue(m_contentDate, m_contentDateSet, value);
}

OFCondition WvfIdentMod::setContentTime(const OFString& value)
{
    return WvfUtils::putStringValue(m_contentTime, m_contentTimeSet, value);
}

OFCondition WvfIdentMod::setAcquisitionDateTime(const OFString& value)
{
    return WvfUtils::putStringValue(m_acquisitionDateTime, m_acquisitionDateTimeSet, value);
}
