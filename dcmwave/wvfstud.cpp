#include "wvfstud.h"

WvfStudyMod::WvfStudyMod()
    : m_studyInstanceUID(DCM_StudyInstanceUID), m_studyInstanceUIDSet(true),
      m_studyDate(DCM_StudyDate), m_studyDateSet(false),
      m_studyTime(DCM_StudyTime), m_studyTimeSet(false),
      m_referringPhysicianName(DCM_ReferringPhysicianName), m_referringPhysicianNameSet(false),
      m_studyID(DCM_StudyID), m_studyIDSet(false),
      m_accessionNumber(DCM_AccessionNumber), m_accessionNumberSet(false)
{
}

WvfStudyMod::~WvfStudyMod() {}

OFCondition WvfStudyMod::setStudyInstanceUID(const OFString& value)
{
    return WvfUtils::putStringValue(m_studyInstanceUID, m_studyInstanceUIDSet, value);
}

OFCondition WvfStudyMod::setStudyDate(const OFString& value)
{
    return WvfUtils::putStringValue(m_studyDate, m_studyDateSet, value);
}

OFCondition WvfStudyMod::setStudyTime(const OFString& value)
{
    return WvfUtils::putStringValue(m_studyTime, m_studyTimeSet, value);
}

OFCondition WvfStudyMod::setReferringPhysicianName(const OFString& value)
{
    return WvfUtils::putStringValue(m_referringPhysicianName, m_referringPhysicianNameSet, value);
}

bool WvfStudyMod::getStudyInstanceUID(OFString& value)
{
    value = WvfUtils::getStringValue(m_studyInstanceUID);
    return m_studyInstanceUIDSet;
}

bool WvfStudyMod::check(const bool& invent)
{
    char uid[100];
    dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT);
    return WvfUtils::checkAndInventType1Attrib(m_studyInstanceUID, invent, uid, m_studyInstanceUIDSet).good();
}

OFCondition WvfStudyMod::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfStudyMod: Reading General Study Module");
    WvfUtils::readIfPresent(*item, m_studyInstanceUID, m_studyInstanceUIDSet, "WvfStudyMod: Attribute 'Study Instance UID' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_studyDate, m_studyDateSet, "WvfStudyMod: Attribute 'Study Date' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_studyTime, m_studyTimeSet, "WvfStudyMod: Attribute 'Study Time' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_referringPhysicianName, m_referringPhysicianNameSet, "WvfStudyMod: Attribute 'Referring Physician's Name' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_studyID, m_studyIDSet, "WvfStudyMod: Attribute 'Study ID' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_accessionNumber, m_accessionNumberSet, "WvfStudyMod: Attribute 'Accession Number' not found in DICOM data");
    return EC_Normal;
}

OFCondition WvfStudyMod::write(DcmItem* item) const
{
    WVF_DEBUG("WvfStudyMod: Writing General Study Module information");
    if (!item)
        return EC_IllegalParameter;
    // Study Date, Study Time, Referring Physician's Name, Study ID and
    // Accession Number are type 2: written, empty when there is no value.
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_studyInstanceUID, m_studyInstanceUIDSet);
    WvfUtils::addIfSet(result, *item, m_studyDate, true);
    WvfUtils::addIfSet(result, *item, m_studyTime, true);
    WvfUtils::addIfSet(result, *item, m_referringPhysicianName, true);
    WvfUtils::addIfSet(result, *item, m_studyID, true);
    WvfUtils::addIfSet(result, *item, m_accessionNumber, true);
    return result;
}
