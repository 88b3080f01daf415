// Patient Module, with the attributes of veterinary patients.
#ifndef WVFPAT_H
#define WVFPAT_H

#include "wvfutils.h"

class WvfPatientMod
{
public:
    WvfPatientMod();
    ~WvfPatientMod();

    OFCondition setPatientName(const OFString& value);
    OFCondition setPatientID(const OFString& value);
    OFCondition setPatientBirthDate(const OFString& value);
    OFCondition setPatientSex(const OFString& value);
    OFCondition setPatientSexNeutered(const OFString& value);
    OFCondition setResponsiblePerson(const OFString& value);
    OFCondition setResponsiblePersonRole(const OFString& value);
    OFCondition setPatientSpeciesDescription(const OFString& value);
    OFCondition setPatientBreedDescription(const OFString& value);
    OFCondition setPatientWeight(const OFString& value);

    bool check(const bool& invent);
    OFCondition read(DcmItem* item);
    OFCondition write(DcmItem* item) const;

private:
    WvfPatientMod(const WvfPatientMod&);
    WvfPatientMod& operator=(const WvfPatientMod&);

    DcmPersonName m_patientName;
    bool m_patientNameSet;
    DcmLongString m_patientID;
    bool m_patientIDSet;
    DcmDate m_patientBirthDate;
    bool m_patientBirthDateSet;
    DcmCodeString m_patientSex;
    bool m_patientSexSet;
    DcmCodeString m_patientSexNeutered;
    bool m_patientSexNeuteredSet;
    DcmPersonName m_responsiblePerson;
    bool m_responsiblePersonSet;
    DcmCodeString m_responsiblePersonRole;
    bool m_responsiblePersonRoleSet;
    DcmLongString m_patientSpeciesDescription;
    bool m_patientSpeciesDescriptionSet;
    DcmLongString m_patientBreedDescription;
    bool m_patientBreedDescriptionSet;
    DcmDecimalString m_patientWeight;
    bool m_patientWeightSet;
};

#endif
