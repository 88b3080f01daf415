#include "wvfwave.h"

#include <new>

WvfWaveform::WvfWaveform()
    : m_sopClassUID(DCM_SOPClassUID), m_sopClassUIDSet(false),
      m_sopInstanceUID(DCM_SOPInstanceUID), m_sopInstanceUIDSet(false),
      m_specificCharacterSet(DCM_SpecificCharacterSet), m_specificCharacterSetSet(false),
      m_instanceCreationDate(DCM_InstanceCreationDate), m_instanceCreationDateSet(false),
      m_instanceCreationTime(DCM_InstanceCreationTime), m_instanceCreationTimeSet(false),
      m_instanceCreatorUID(DCM_InstanceCreatorUID), m_instanceCreatorUIDSet(false)
{
    if (!m_sopClassUIDSet)
        WvfUtils::putStringValue(m_sopClassUID, m_sopClassUIDSet, "");
    OFString value;
    if (!m_series.getModality(value))
        m_series.setModality("UNKNOWN");
    if (!m_series.getSeriesNumber(value))
        m_series.setSeriesNumber("1");
    if (!m_sopInstanceUIDSet) {
        char uid[100];
        WvfUtils::putStringValue(m_sopInstanceUID, m_sopInstanceUIDSet,
                                 dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
        WvfUtils::putStringValue(m_instanceCreationDate, m_instanceCreationDateSet, WvfUtils::getCurrentDate());
        WvfUtils::putStringValue(m_instanceCreationTime, m_instanceCreationTimeSet, WvfUtils::getCurrentTime());
        // the creator is the DCMTK this program is built with
        m_instanceCreatorUID.putString(OFFIS_INSTANCE_CREATOR_UID);
        m_instanceCreatorUIDSet = true;
    }
    if (!m_series.getSeriesInstanceUID(value)) {
        char uid[100];
        m_series.setSeriesInstanceUID(dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
    }
}

WvfWaveform::~WvfWaveform()
{
    while (!m_groups.empty()) {
        delete m_groups.front();
        m_groups.pop_front();
    }
}

OFCondition WvfWaveform::addMultiplexGroup(WvfMplxGroup* group, const Uint32& position)
{
    if (!group)
        return EC_IllegalCall;
    if (position == 0) {
        m_groups.push_back(group);
        return EC_Normal;
    }
    if (position > m_groups.size())
        return EC_WvfError("Index out of bounds");
    OFListIterator(WvfMplxGroup*) it = m_groups.begin();
    for (Uint32 i = 1; i < position; ++i)
        ++it;
    m_groups.insert(it, group);
    return EC_Normal;
}

WvfMplxGroup* WvfWaveform::getMultiplexGroup(const Uint32& index)
{
    if (m_groups.empty() || index > m_groups.size())
        return NULL;
    OFListIterator(WvfMplxGroup*) it = m_groups.begin();
    for (Uint32 i = 1; i < index; ++i)
        ++it;
    return *it;
}

bool WvfWaveform::getSOPClassUID(OFString& value)
{
    value = WvfUtils::getStringValue(m_sopClassUID);
    return m_sopClassUIDSet;
}

WvfAnnotationModule* WvfWaveform::getAnnotationModule()
{
    return &m_annotations;
}

OFCondition WvfWaveform::read(DcmDataset* dataset)
{
    if (!dataset)
        return EC_IllegalCall;
    WVF_DEBUG("WvfWaveform: Starting initialization from DICOM dataset");
    OFString sopClass;
    if (dataset->findAndGetOFString(DCM_SOPClassUID, sopClass, 0, OFFalse).bad())
        return EC_WvfError("Dataset does not contain SOP Class information");
    WvfUtils::putStringValue(m_sopClassUID, m_sopClassUIDSet, sopClass);
    // Texts beyond ASCII keep their character set.
    OFString charset;
    if (dataset->findAndGetOFStringArray(DCM_SpecificCharacterSet, charset, OFFalse).good() && !charset.empty())
        WvfUtils::putStringValue(m_specificCharacterSet, m_specificCharacterSetSet, charset);

    OFCondition cond = m_patient.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing Patient information: " << cond.text());
    cond = m_study.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing General Study information: " << cond.text());
    cond = m_series.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing General Series information: " << cond.text());
    cond = m_equipment.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing General Equipment information: " << cond.text());
    cond = m_identification.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing Waveform Identification information: " << cond.text());
    cond = m_annotations.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing Waveform Annotation information: " << cond.text());
    cond = m_synchronization.read(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing Synchronization information: " << cond.text());
    cond = readMultiplexGroups(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error initializing Multiplex Group information: " << cond.text());
    return cond;
}

OFCondition WvfWaveform::readMultiplexGroups(DcmItem* item)
{
    if (!item)
        return EC_IllegalCall;
    DcmSequenceOfItems* seq = NULL;
    if (item->findAndGetSequence(DCM_WaveformSequence, seq, OFFalse).bad() || !seq)
        return EC_WvfError("WvfWaveform: No Waveform Sequence found");
    if (seq->card() == 0)
        return EC_WvfError("No Multiplex Groups found in DICOM file");
    WVF_DEBUG("WvfWaveform: Found Multiplex Group Items in Waveform Sequence");
    for (unsigned long i = 0; i < seq->card(); ++i) {
        WVF_DEBUG("WvfWaveform: Adding group to Waveform");
        WvfMplxGroup* group = new (std::nothrow) WvfMplxGroup();
        if (!group)
            return EC_MemoryExhausted;
        m_groups.push_back(group);
        WVF_DEBUG("WvfWaveform: Initializing group from item");
        const OFCondition cond = group->read(seq->getItem(i));
        if (cond.bad()) {
            WVF_DEBUG("WvfWaveform: Errors initializing group: " << cond.text());
            return cond;
        }
    }
    return EC_Normal;
}

bool WvfWaveform::check(const bool& invent)
{
    if (!m_sopClassUIDSet) {
        WVF_DEBUG("Missing type 1 attribute value for 'SOP Class UID'\n");
        return false;
    }
    char uid[100];
    dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
    if (WvfUtils::checkAndInventType1Attrib(m_sopInstanceUID, invent, uid, m_sopInstanceUIDSet).bad())
        return false;
    if (!m_identification.check(invent) || !m_annotations.check(invent) || !m_synchronization.check(invent) ||
        !m_patient.check(invent) || !m_study.check(invent) || !m_series.check(invent) || !m_equipment.check(invent))
        return false;
    for (OFListIterator(WvfMplxGroup*) it = m_groups.begin(); it != m_groups.end(); ++it)
        if (!(*it)->check(invent))
            return false;
    return true;
}

OFCondition WvfWaveform::write(DcmDataset* dataset, const bool& check, const bool& invent)
{
    WVF_DEBUG("WvfWaveform: Writing to DICOM");
    if (!dataset)
        return EC_IllegalParameter;
    if (check && !this->check(invent)) {
        WVF_DEBUG("WvfWaveform: Unable to write object to DICOM, object data not complete or valid");
        return EC_IllegalCall;
    }
    if (m_groups.size() > 65535)
        return EC_WvfError("WvfWaveform: Too many Multiplex Groups");
    OFCondition cond = EC_Normal;
    if (m_groups.empty()) {
        cond = dataset->insertEmptyElement(DCM_WaveformSequence, OFTrue);
    } else {
        DcmItem* item = NULL;
        cond = dataset->findOrCreateSequenceItem(DCM_WaveformSequence, item, OFstatic_cast(long, m_groups.size() - 1));
    }
    if (cond.bad()) {
        WVF_DEBUG("WvfWaveform: Error creating Waveform Sequence: " << cond.text());
        return EC_IllegalCall;
    }
    // An object whose samples could not be written is never reported as written.
    OFCondition groupResult = EC_Normal;
    int i = 0;
    for (OFListIterator(WvfMplxGroup*) it = m_groups.begin(); it != m_groups.end(); ++it, ++i) {
        DcmItem* item = NULL;
        cond = dataset->findAndGetSequenceItem(DCM_WaveformSequence, item, i);
        if (cond.good())
            cond = (*it)->write(item);
        // The group's time offset is defined against a synchronized
        // acquisition time only (type 1C, not permitted otherwise).
        if (cond.good() && !m_synchronization.isAcquisitionTimeSynchronized())
            item->findAndDeleteElement(DCM_MultiplexGroupTimeOffset);
        if (cond.bad()) {
            WVF_DEBUG("WvfWaveform: Error writing Multiplex Group: " << cond.text());
            if (groupResult.good())
                groupResult = cond;
        }
    }
    cond = m_identification.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Waveform Identification information: " << cond.text());
    cond = m_annotations.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Waveform Annotation information: " << cond.text());
    cond = m_synchronization.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Waveform Synchronization information: " << cond.text());
    cond = m_patient.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Patient information: " << cond.text());
    cond = m_study.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Study information: " << cond.text());
    cond = m_series.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Series information: " << cond.text());
    cond = m_equipment.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing General Equipment information: " << cond.text());
    cond = m_personIdentification.write(dataset);
    if (cond.bad())
        WVF_DEBUG("WvfWaveform: Error writing Person Identification information: " << cond.text());
    cond = writeSOPCommon(dataset);
    return groupResult.bad() ? groupResult : cond;
}

OFCondition WvfWaveform::writeSOPCommon(DcmItem* item)
{
    if (!item)
        return EC_IllegalParameter;
    OFCondition result = EC_Normal;
    WvfUtils::addIfSet(result, *item, m_sopClassUID, true);
    WvfUtils::addIfSet(result, *item, m_sopInstanceUID, true);
    WvfUtils::addIfSet(result, *item, m_specificCharacterSet, m_specificCharacterSetSet);
    WvfUtils::addIfSet(result, *item, m_instanceCreationDate, m_instanceCreationDateSet);
    WvfUtils::addIfSet(result, *item, m_instanceCreationTime, m_instanceCreationTimeSet);
    WvfUtils::addIfSet(result, *item, m_instanceCreatorUID, m_instanceCreatorUIDSet);
    item->insertEmptyElement(DCM_AcquisitionContextSequence, OFTrue);
    return result;
}

OFCondition WvfWaveform::setInstitutionName(const OFString& value) { return m_personIdentification.setInstitutionName(value); }
OFCondition WvfWaveform::setManufacturer(const OFString& value) { return m_equipment.setManufacturer(value); }
OFCondition WvfWaveform::setManufacturerModelName(const OFString& value) { return m_equipment.setManufacturerModelName(value); }
OFCondition WvfWaveform::setModality(const OFString& value) { return m_series.setModality(value); }
OFCondition WvfWaveform::setPatientBirthDate(const OFString& value) { return m_patient.setPatientBirthDate(value); }
OFCondition WvfWaveform::setPatientBreedDescription(const OFString& value) { return m_patient.setPatientBreedDescription(value); }
OFCondition WvfWaveform::setPatientID(const OFString& value) { return m_patient.setPatientID(value); }
OFCondition WvfWaveform::setPatientName(const OFString& value) { return m_patient.setPatientName(value); }
OFCondition WvfWaveform::setPatientSex(const OFString& value) { return m_patient.setPatientSex(value); }
OFCondition WvfWaveform::setPatientSexNeutered(const OFString& value) { return m_patient.setPatientSexNeutered(value); }
OFCondition WvfWaveform::setPatientSpeciesDescription(const OFString& value) { return m_patient.setPatientSpeciesDescription(value); }
OFCondition WvfWaveform::setPatientWeight(const OFString& value) { return m_patient.setPatientWeight(value); }
OFCondition WvfWaveform::setReferringPhysicianName(const OFString& value) { return m_study.setReferringPhysicianName(value); }
OFCondition WvfWaveform::setResponsiblePerson(const OFString& value) { return m_patient.setResponsiblePerson(value); }
OFCondition WvfWaveform::setResponsiblePersonRole(const OFString& value) { return m_patient.setResponsiblePersonRole(value); }
OFCondition WvfWaveform::setSOPClassUID(const OFString& value) { return WvfUtils::putStringValue(m_sopClassUID, m_sopClassUIDSet, value); }
OFCondition WvfWaveform::setStudyDate(const OFString& value) { return m_study.setStudyDate(value); }
OFCondition WvfWaveform::setStudyInstanceUID(const OFString& value) { return m_study.setStudyInstanceUID(value); }
OFCondition WvfWaveform::setStudyTime(const OFString& value) { return m_study.setStudyTime(value); }
OFCondition WvfWaveform::setSpecificCharacterSet(const OFString& value) { return WvfUtils::putStringValue(m_specificCharacterSet, m_specificCharacterSetSet, value); }
OFCondition WvfWaveform::setContentDate(const OFString& value) { return m_identification.setContentDate(value); }
OFCondition WvfWaveform::setContentTime(const OFString& value) { return m_identification.setContentTime(value); }
OFCondition WvfWaveform::setAcquisitionDateTime(const OFString& value) { return m_identification.setAcquisitionDateTime(value); }
