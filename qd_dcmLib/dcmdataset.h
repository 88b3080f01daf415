// A dataset with one getter per patient or study attribute, for the import
// and the PACS retrieval. Load a file into one by handing a new CDcmDataset
// to DcmFileFormat (shallow, it takes ownership) before DcmFileFormat::loadFile.
#ifndef MALVORANT_DCMDATASET_H
#define MALVORANT_DCMDATASET_H

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"

#include <cstdint>
#include <string>

struct TWaveformParams;

class CDcmDataset : public DcmDataset
{
public:
    // Each getter empties its output first, reads the attribute at the top
    // level and says whether the value is usable.
    bool getAccessionNumber(std::string& value);
    bool getStudyInstanceUID(std::string& value);
    bool getStudyDate(std::string& value, std::int64_t* ts = nullptr);
    bool getStudyTime(std::string& value, std::int64_t* seconds = nullptr);
    bool getPatientName(std::string& patientName, std::string& ownerLastName);
    bool getOwnerFirstName(std::string& value);
    bool getPatientId(std::string& value);
    bool getPatientBirthDate(std::string& value, std::int64_t* ts = nullptr);
    bool getPatientSex(std::string& value);
    bool getPatientSexNeutered(std::string& value);
    bool getPatientSpeciesDescription(std::string& value);
    bool getPatientBreedDescription(std::string& value);
    bool getPatientWeight(std::string& value);

    // Every getter above into the parameters of one import.
    void getWaveformParams(TWaveformParams& params);

    // Unix time of 00:00 UTC of a YYYYMMDD date; 0 for any other text.
    static std::int64_t getTsFromString(const std::string& text);

private:
    std::string readText(const DcmTagKey& tag, const char* name);
};

#endif
