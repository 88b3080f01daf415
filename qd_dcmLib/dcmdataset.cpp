#include "dcmdataset.h"

#include "dcmwvfpluginorv.h"
#include "debuglog.h"
#include "fileecg.h"

#include <cstdlib>

namespace {

int twoDigits(const std::string& text, std::size_t at)
{
    if (text.size() < at + 2)
        return 0;
    return std::atoi(text.substr(at, 2).c_str());
}

} // namespace

std::string CDcmDataset::readText(const DcmTagKey& tag, const char* name)
{
    OFString value;
    findAndGetOFString(tag, value, 0, OFFalse);
    const std::string text(value.c_str(), value.length());
    debugLog(3, std::string("CDcmDataset::get") + name + "() value=" + text);
    return text;
}

bool CDcmDataset::getAccessionNumber(std::string& value)
{
    value.clear();
    value = readText(DCM_AccessionNumber, "AccessionNumber");
    return !value.empty();
}

bool CDcmDataset::getStudyInstanceUID(std::string& value)
{
    value.clear();
    value = readText(DCM_StudyInstanceUID, "StudyInstanceUID");
    return !value.empty();
}

bool CDcmDataset::getStudyDate(std::string& value, std::int64_t* ts)
{
    value.clear();
    value = readText(DCM_StudyDate, "StudyDate");
    const bool ok = value.size() == 8;
    if (ts)
        *ts = ok ? getTsFromString(value) : 0;
    return ok;
}

bool CDcmDataset::getStudyTime(std::string& value, std::int64_t* seconds)
{
    value.clear();
    value = readText(DCM_StudyTime, "StudyTime");
    const std::size_t dot = value.find('.');
    if (dot != std::string::npos)
        value.erase(dot);
    if (!value.empty() && value.size() < 6)
        value.append(6 - value.size(), '0');
    const std::int64_t ts = value.empty() ? 0
        : twoDigits(value, 0) * 3600LL + twoDigits(value, 2) * 60LL + twoDigits(value, 4);
    debugLog(3, "CDcmDataset::getStudyTime(): ts=" + toStdString(static_cast<long long>(ts)));
    if (seconds)
        *seconds = ts;
    return value.size() == 6;
}

bool CDcmDataset::getPatientName(std::string& patientName, std::string& ownerLastName)
{
    patientName.clear();
    ownerLastName.clear();
    const std::string value = readText(DCM_PatientName, "PatientName");
    const std::size_t caret = value.find('^');
    if (caret == std::string::npos) {
        patientName = value;
    } else {
        ownerLastName = value.substr(0, caret);
        patientName = value.substr(caret + 1);
        // empty trailing name components carry nothing
        while (!patientName.empty() && patientName[patientName.size() - 1] == '^')
            patientName.erase(patientName.size() - 1);
    }
    return !patientName.empty() || !ownerLastName.empty();
}

bool CDcmDataset::getOwnerFirstName(std::string& value)
{
    value.clear();
    value = readText(DCM_ResponsiblePerson, "OwnerFirstName");
    const std::size_t caret = value.find('^');
    if (caret != std::string::npos && caret + 1 < value.size())
        value.erase(0, caret + 1);
    while (!value.empty() && value[value.size() - 1] == '^')
        value.erase(value.size() - 1);
    return !value.empty();
}

bool CDcmDataset::getPatientId(std::string& value)
{
    value.clear();
    value = readText(DCM_PatientID, "PatientId");
    return !value.empty();
}

bool CDcmDataset::getPatientBirthDate(std::string& value, std::int64_t* ts)
{
    value.clear();
    value = readText(DCM_PatientBirthDate, "PatientBirthDate");
    const bool ok = value.size() == 8;
    if (ts)
        *ts = ok ? getTsFromString(value) : 0;
    return ok;
}

bool CDcmDataset::getPatientSex(std::string& value)
{
    value.clear();
    value = readText(DCM_PatientSex, "PatientSex");
    if (value != "M" && value != "F" && value != "O") {
        if (!value.empty())
            debugLogError("CDcmDataset::getPatientSex() invalid value received, value=" + value);
        value.clear();
    }
    return !value.empty();
}

bool CDcmDataset::getPatientSexNeutered(std::string& value)
{
    value.clear();
    value = readText(DCM_PatientSexNeutered, "PatientSexNeutered");
    if (value != "UNALTERED" && value != "ALTERED") {
        if (!value.empty())
            debugLogError("CDcmDataset::getPatientSexNeutered() invalid value received, value=" + value);
        value.clear();
    }
    return !value.empty();
}

bool CDcmDataset::getPatientSpeciesDescription(std::string& value)
{
    value.clear();
    value = readText(DCM_PatientSpeciesDescription, "PatientSpeciesDescription");
    return !value.empty();
}

bool CDcmDataset::getPatientBreedDescription(std::string& value)
{
    value.clear();
    value = readText(DCM_PatientBreedDescription, "PatientBreedDescription");
    return !value.empty();
}

bool CDcmDataset::getPatientWeight(std::string& value)
{
    value.clear();
    value = readText(DCM_PatientWeight, "PatientWeight");
    return !value.empty();
}

void CDcmDataset::getWaveformParams(TWaveformParams& p)
{
    p.clear();
    getPatientName(p.patientName, p.ownerLastName);
    getOwnerFirstName(p.ownerFirstName);
    getPatientId(p.patientId);
    getPatientSex(p.patientSex);
    getPatientSexNeutered(p.patientSexNeutered);
    getPatientBirthDate(p.patientBirthDate, &p.patientBirthTs);
    std::int64_t dateTs = 0, seconds = 0;
    getStudyDate(p.studyDate, &dateTs);
    getStudyTime(p.studyTime, &seconds);
    p.studyTs = dateTs + seconds;
    debugLog(2, "ts study date=" + toStdString(static_cast<long long>(p.studyTs)));
    getAccessionNumber(p.accessionNumber);
    getStudyInstanceUID(p.studyInstanceUid);
    getPatientSpeciesDescription(p.speciesDescription);
    getPatientBreedDescription(p.breedDescription);
    getPatientWeight(p.weight);
    // Who wrote the object: how its sample positions count.
    p.manufacturer = readText(DCM_Manufacturer, "Manufacturer");
    p.softwareVersion = readText(DCM_SoftwareVersions, "SoftwareVersions");
}

std::int64_t CDcmDataset::getTsFromString(const std::string& text)
{
    std::int64_t ts = 0;
    if (text.size() == 8) {
        // Calendar arithmetic in UTC: the same on every machine and in every season.
        const std::int64_t seconds = CFileEcg::utcSecondsOf(text + "000000");
        ts = seconds > 0 ? seconds : 0;
    }
    debugLog(3, "CDcmDataset::getTsFromString(): ts=" + toStdString(static_cast<long long>(ts)));
    return ts;
}
