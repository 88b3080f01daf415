// General Equipment Module (manufacturer and model name).
#ifndef WVFEQUIP_H
#define WVFEQUIP_H

#include "wvfutils.h"

class WvfEquipmentMod
{
public:
    WvfEquipmentMod();
    ~WvfEquipmentMod();

    OFCondition setManufacturer(const OFString& value);
    OFCondition setManufacturerModelName(const OFString& value);

    bool check(const bool& invent);
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;

private:
    WvfEquipmentMod(const WvfEquipmentMod&);
    WvfEquipmentMod& operator=(const WvfEquipmentMod&);

    DcmLongString m_manufacturer;
    bool m_manufacturerSet;
    DcmLongString m_manufacturerModelName;
    bool m_manufacturerModelNameSet;
};

#endif
