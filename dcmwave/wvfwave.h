// The DICOM waveform object: SOP Common attributes, the modules and the
// multiplex groups.
#ifndef WVFWAVE_H
#define WVFWAVE_H

#include "wvfanno.h"
#include "wvfequip.h"
#include "wvfgroup.h"
#include "wvfident.h"
#include "wvfmacro.h"
#include "wvfpat.h"
#include "wvfser.h"
#include "wvfstud.h"
#include "wvfsync.h"

class WvfWaveform
{
public:
    WvfWaveform();
    virtual OFCondition read(DcmDataset* dataset);
    virtual ~WvfWaveform();

    bool check(const bool& invent);
    OFCondition write(DcmDataset* dataset, const bool& check, const bool& invent);
    OFCondition addMultiplexGroup(WvfMplxGroup* group, const Uint32& position);
    WvfMplxGroup* getMultiplexGroup(const Uint32& index);
    bool getSOPClassUID(OFString& value);
    WvfAnnotationModule* getAnnotationModule();
    OFCondition readMultiplexGroups(DcmItem* item);
    OFCondition writeSOPCommon(DcmItem* item);

    OFCondition setInstitutionName(const OFString& value);
    OFCondition setManufacturer(const OFString& value);
    OFCondition setManufacturerModelName(const OFString& value);
    OFCondition setModality(const OFString& value);
    OFCondition setPatientBirthDate(const OFString& value);
    OFCondition setPatientBreedDescription(const OFString& value);
    OFCondition setPatientID(const OFString& value);
    OFCondition setPatientName(const OFString& value);
    OFCondition setPatientSex(const OFString& value);
    OFCondition setPatientSexNeutered(const OFString& value);
    OFCondition setPatientSpeciesDescription(const OFString& value);
    OFCondition setPatientWeight(const OFString& value);
    OFCondition setReferringPhysicianName(const OFString& value);
    OFCondition setResponsiblePerson(const OFString& value);
    OFCondition setResponsiblePersonRole(const OFString& value);
    OFCondition setSOPClassUID(const OFString& value);
    OFCondition setStudyDate(const OFString& value);
    OFCondition setStudyInstanceUID(const OFString& value);
    OFCondition setStudyTime(const OFString& value);
    // The character set of texts beyond ASCII (for UTF-8 "ISO_IR 192").
    OFCondition setSpecificCharacterSet(const OFString& value);
    // The recording's own start instead of the time of the export.
    OFCondition setContentDate(const OFString& value);
    OFCondition setContentTime(const OFString& value);
    OFCondition setAcquisitionDateTime(const OFString& value);

private:
    WvfWaveform(const WvfWaveform&);
    WvfWaveform& operator=(const WvfWaveform&);

    DcmUniqueIdentifier m_sopClassUID;
    bool m_sopClassUIDSet;
    DcmUniqueIdentifier m_sopInstanceUID;
    bool m_sopInstanceUIDSet;
    DcmCodeString m_specificCharacterSet;
    bool m_specificCharacterSetSet;
    DcmDate m_instanceCreationDate;
    bool m_instanceCreationDateSet;
    DcmTime m_instanceCreationTime;
    bool m_instanceCreationTimeSet;
    DcmUniqueIdentifier m_instanceCreatorUID;
    bool m_instanceCreatorUIDSet;
    PersonIdentificationMacro m_personIdentification;
    WvfPatientMod m_patient;
    WvfStudyMod m_study;
    WvfSeriesMod m_series;
    WvfEquipmentMod m_equipment;
    WvfIdentMod m_identification;
    WvfAnnotationModule m_annotations;
    WvfSynchronizationModule m_synchronization;
    OFList<WvfMplxGroup*> m_groups;
};

#endif
