#include "wvfpat.h"

WvfPatientMod::WvfPatientMod()
    : m_patientName(DCM_PatientName), m_patientNameSet(false),
      m_patientID(DCM_PatientID), m_patientIDSet(false),
      m_patientBirthDate(DCM_PatientBirthDate), m_patientBirthDateSet(false),
      m_patientSex(DCM_PatientSex), m_patientSexSet(false),
      m_patientSexNeutered(DCM_PatientSexNeutered), m_patientSexNeuteredSet(false),
      m_responsiblePerson(DCM_ResponsiblePerson), m_responsiblePersonSet(false),
      m_responsiblePersonRole(DCM_ResponsiblePersonRole), m_responsiblePersonRoleSet(false),
      m_patientSpeciesDescription(DCM_PatientSpeciesDescription), m_patientSpeciesDescriptionSet(false),
      m_patientBreedDescription(DCM_PatientBreedDescription), m_patientBreedDescriptionSet(false),
      m_patientWeight(DCM_PatientWeight), m_patientWeightSet(false)
{
}

WvfPatientMod::~WvfPatientMod() {}

OFCondition WvfPatientMod::setPatientName(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientName, m_patientNameSet, value);
}

OFCondition WvfPatientMod::setPatientID(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientID, m_patientIDSet, value);
}

OFCondition WvfPatientMod::setPatientBirthDate(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientBirthDate, m_patientBirthDateSet, value);
}

OFCondition WvfPatientMod::setPatientSex(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientSex, m_patientSexSet, value);
}

OFCondition WvfPatientMod::setPatientSexNeutered(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientSexNeutered, m_patientSexNeuteredSet, value);
}

OFCondition WvfPatientMod::setResponsiblePerson(const OFString& value)
{
    return WvfUtils::putStringValue(m_responsiblePerson, m_responsiblePersonSet, value);
}

OFCondition WvfPatientMod::setResponsiblePersonRole(const OFString& value)
{
    return WvfUtils::putStringValue(m_responsiblePersonRole, m_responsiblePersonRoleSet, value);
}

OFCondition WvfPatientMod::setPatientSpeciesDescription(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientSpeciesDescription, m_patientSpeciesDescriptionSet, value);
}

OFCondition WvfPatientMod::setPatientBreedDescription(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientBreedDescription, m_patientBreedDescriptionSet, value);
}

OFCondition WvfPatientMod::setPatientWeight(const OFString& value)
{
    return WvfUtils::putStringValue(m_patientWeight, m_patientWeightSet, value);
}

bool WvfPatientMod::check(const bool& /*invent*/)
{
    return true;
}

OFCondition WvfPatientMod::read(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    WVF_DEBUG("WvfPatientMod: Reading Patient Module");
    WvfUtils::readIfPresent(*item, m_patientName, m_patientNameSet, "WvfPatientMod: Attribute 'Patient's Name' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientID, m_patientIDSet, "WvfPatientMod: Attribute 'Patient ID' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientBirthDate, m_patientBirthDateSet, "WvfPatientMod: Attribute 'Patient's Birth Date' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientSex, m_patientSexSet, "WvfPatientMod: Attribute 'Patient's Sex' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientSexNeutered, m_patientSexNeuteredSet, "WvfPatientMod: Attribute 'Patient's Sex Neutered' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_responsiblePerson, m_responsiblePersonSet, "WvfPatientMod: Attribute 'Responsible Person Name' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_responsiblePersonRole, m_responsiblePersonRoleSet, "WvfPatientMod: Attribute 'Responsible Person Role' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientSpeciesDescription, m_patientSpeciesDescriptionSet, "WvfPatientMod: Attribute 'PatientSpeciesDescription' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientBreedDescription, m_patientBreedDescriptionSet, "WvfPatientMod: Attribute 'PatientBreedDescription' not found in DICOM data");
    WvfUtils::readIfPresent(*item, m_patientWeight, m_patientWeightSet, "WvfPatientMod: Attribute 'PatientWeight' not found in DICOM data");
    return EC_Normal;
}

OFCondition WvfPatientMod::write(DcmItem* item) const
{
    WVF_DEBUG("WvfPatientMod: Writing Patient Module information");
    if (!item)
        return EC_IllegalParameter;
    // Type 2 and 2C attributes are written, empty when there is no value;
    // the type 1C ones (species description, responsible person's role)
    // only with a value, the role only beside a responsible person.
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_patientName, true);
    WvfUtils::addIfSet(result, *item, m_patientID, true);
    WvfUtils::addIfSet(result, *item, m_patientBirthDate, true);
    WvfUtils::addIfSet(result, *item, m_patientSex, true);
    WvfUtils::addIfSet(result, *item, m_patientSexNeutered, true);
    WvfUtils::addIfSet(result, *item, m_responsiblePerson, true);
    WvfUtils::addIfSet(result, *item, m_responsiblePersonRole,
                       WvfUtils::hasValue(m_responsiblePersonRole) && WvfUtils::hasValue(m_responsiblePerson));
    WvfUtils::addIfSet(result, *item, m_patientSpeciesDescription,
                       WvfUtils::hasValue(m_patientSpeciesDescription));
    WvfUtils::addIfSet(result, *item, m_patientBreedDescription, true);
    WvfUtils::addIfSet(result, *item, m_patientWeight, true);
    // A patient with a species is no human: the breed code, the breed
    // registration and the responsible organization are then required too
    // (type 2C). The module holds no values for them; an existing one stays.
    if (result.good() && WvfUtils::hasValue(m_patientSpeciesDescription)) {
        item->insertEmptyElement(DCM_PatientBreedCodeSequence, OFFalse);
        item->insertEmptyElement(DCM_BreedRegistrationSequence, OFFalse);
        item->insertEmptyElement(DCM_ResponsibleOrganization, OFFalse);
    }
    return result;
}
