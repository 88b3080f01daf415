#include "wvfequip.h"

WvfEquipmentMod::WvfEquipmentMod()
    : m_manufacturer(DCM_Manufacturer), m_manufacturerSet(false),
      m_manufacturerModelName(DCM_ManufacturerModelName), m_manufacturerModelNameSet(false)
{
}

WvfEquipmentMod::~WvfEquipmentMod() {}

OFCondition WvfEquipmentMod::setManufacturer(const OFString& value)
{
    return WvfUtils::putStringValue(m_manufacturer, m_manufacturerSet, value);
}

OFCondition WvfEquipmentMod::setManufacturerModelName(const OFString& value)
{
    return WvfUtils::putStringValue(m_manufacturerModelName, m_manufacturerModelNameSet, value);
}

bool WvfEquipmentMod::check(const bool& /*invent*/)
{
    return true;
}

OFCondition WvfEquipmentMod::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfEquipmentMod: Reading General Equipment Module");
    WvfUtils::readIfPresent(*item, m_manufacturer, m_manufacturerSet, "WvfEquipmentMod: Attribute 'Manufacturer' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_manufacturerModelName, m_manufacturerModelNameSet, "WvfEquipmentMod: Attribute 'Manufacturer Model Name' not found in DICOM data");
    return EC_Normal;
}

OFCondition WvfEquipmentMod::write(DcmItem* item) const
{
    WVF_DEBUG("WvfEquipmentMod: Writing General Equipment Module information");
    if (!item)
        return EC_IllegalParameter;
    // Manufacturer is type 2: written, empty when there is no value.
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_manufacturer, true);
    WvfUtils::addIfSet(result, *item, m_manufacturerModelName, m_manufacturerModelNameSet);
    return result;
}
