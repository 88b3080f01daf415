#include "wvfser.h"

WvfSeriesMod::WvfSeriesMod()
    : m_modality(DCM_Modality), m_modalitySet(false),
      m_seriesInstanceUID(DCM_SeriesInstanceUID), m_seriesInstanceUIDSet(false),
      m_seriesNumber(DCM_SeriesNumber), m_seriesNumberSet(false),
      m_laterality(DCM_Laterality), m_lateralitySet(false)
{
}

WvfSeriesMod::~WvfSeriesMod() {}

OFCondition WvfSeriesMod::setModality(const OFString& value)
{
    return WvfUtils::putStringValue(m_modality, m_modalitySet, value);
}

OFCondition WvfSeriesMod::setSeriesInstanceUID(const OFString& value)
{
    return WvfUtils::putStringValue(m_seriesInstanceUID, m_seriesInstanceUIDSet, value);
}

OFCondition WvfSeriesMod::setSeriesNumber(const OFString& value)
{
    return WvfUtils::putStringValue(m_seriesNumber, m_seriesNumberSet, value);
}

bool WvfSeriesMod::getModality(OFString& value)
{
    value = WvfUtils::getStringValue(m_modality);
    return m_modalitySet;
}

bool WvfSeriesMod::getSeriesInstanceUID(OFString& value)
{
    value = WvfUtils::getStringValue(m_seriesInstanceUID);
    return m_seriesInstanceUIDSet;
}

bool WvfSeriesMod::getSeriesNumber(OFString& value)
{
    value = WvfUtils::getStringValue(m_seriesNumber);
    return m_seriesNumberSet;
}

bool WvfSeriesMod::check(const bool& invent)
{
    if (WvfUtils::checkAndInventType1Attrib(m_modality, invent, "UNKNOWN", m_modalitySet).bad())
        return false;
    char uid[100];
    dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT);
    return WvfUtils::checkAndInventType1Attrib(m_seriesInstanceUID, invent, uid, m_seriesInstanceUIDSet).good();
}

OFCondition WvfSeriesMod::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfSeriesMod: Reading General Series Module");
    WvfUtils::readIfPresent(*item, m_modality, m_modalitySet, "WvfSeriesMod: Attribute 'Modality' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_seriesInstanceUID, m_seriesInstanceUIDSet, "WvfSeriesMod: Attribute 'Series Instance UID' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_seriesNumber, m_seriesNumberSet, "WvfSeriesMod: Attribute 'Series Number' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_laterality, m_lateralitySet, "WvfSeriesMod: Attribute 'Laterality' not found in DICOM data");
    return EC_Normal;
}

OFCondition WvfSeriesMod::write(DcmItem* item) const
{
    WVF_DEBUG("WvfSeriesMod: Writing General Series Module information");
    if (!item)
        return EC_IllegalParameter;
    // Series Number is type 2 (written, empty without a value); Laterality
    // is type 2C and written only as read.
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_modality, m_modalitySet);
    WvfUtils::addIfSet(result, *item, m_seriesInstanceUID, m_seriesInstanceUIDSet);
    WvfUtils::addIfSet(result, *item, m_seriesNumber, true);
    WvfUtils::addIfSet(result, *item, m_laterality, m_lateralitySet);
    return result;
}
