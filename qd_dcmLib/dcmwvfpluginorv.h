// Conversion between .ecg recordings and DICOM General ECG Waveform objects.
#ifndef MALVORANT_DCMWVFPLUGINORV_H
#define MALVORANT_DCMWVFPLUGINORV_H

#include "wvfwave.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

class CFileEcg;

// Patient, study and equipment texts of one conversion (UTF-8).
struct TWaveformParams
{
    std::string patientName;
    std::string ownerLastName;
    std::string ownerFirstName;
    std::string patientId;
    std::string patientSex;          // "M", "F", "O" or empty
    std::string patientSexNeutered;  // "UNALTERED", "ALTERED" or empty
    std::string patientBirthDate;    // YYYYMMDD or empty
    std::int64_t patientBirthTs = 0; // import only
    std::string studyDate;           // YYYYMMDD
    std::string studyTime;           // HHMMSS
    std::int64_t studyTs = 0;        // Unix seconds of the recording's start
    std::string accessionNumber;
    std::string studyInstanceUid;
    std::string speciesDescription;
    std::string breedDescription;
    std::string weight;              // kilograms
    std::string spare;               // carried by the callers, used by nothing here
    std::string manufacturer;
    std::string softwareVersion;     // import: Software Versions (0018,1020), empty when absent

    void clear();
};

class CDcmWvfPluginOrv
{
public:
    // Channel count and sample scale of the program's recordings.
    static constexpr int kChannels = 6;
    static constexpr double kLeadScale = 5.6;   // stored sample = lead value x 5.6
    static constexpr double kMicroVoltPerLead = 5.2;
    // The Manufacturer of the program's objects. Objects of earlier versions
    // carry it without Software Versions (0018,1020), which the program
    // writes since it counts sample positions from 1 as the standard does.
    static constexpr const char* kManufacturer = "Malvorant Windows";

    // applicationType: 1 file export, 0 file import and PACS retrieval.
    CDcmWvfPluginOrv(int applicationType, std::string institutionName, std::string softwareVersion);
    virtual void checkSamplingFrequency(double& frequency, bool isSet);
    virtual ~CDcmWvfPluginOrv();

    CDcmWvfPluginOrv(const CDcmWvfPluginOrv&) = delete;
    CDcmWvfPluginOrv& operator=(const CDcmWvfPluginOrv&) = delete;

    // Export: fills the waveform from the recording (opened read-only). The
    // patient texts, study instance UID, breed, weight and spare text come
    // from patient (the recording's own patient, nothing for a recording
    // without one); the recording gives its samples, events and start time.
    int convertOrv2Dcm(WvfWaveform* waveform, std::string path, TWaveformParams patient);
    // Import: writes a new .ecg file from the waveform; params may be null
    // (then the file has no header).
    int convertDcm2Orv(WvfWaveform* waveform, std::string outPath, const TWaveformParams* params);

    int buildWaveform(WvfWaveform* waveform, const TWaveformParams& params);
    void setParams(const TWaveformParams& params, WvfWaveform* waveform);
    int setSamples(WvfSamples* samples[kChannels], WvfWaveform* waveform);
    int setChannelDefinitions(WvfWaveform* waveform);
    int getAndCheckChannelData(WvfWaveform* waveform, unsigned short& channelCount, unsigned long& byteLength,
                               OFList<WvfSamples*>& buffers, unsigned char& bytesPerSample,
                               double& samplingFrequency, WVF_SAMPLE_INTERPRETATION& interpretation);

    std::string getLastError() const { return m_lastError; }
    // Why the last import refused the object, or the last export the
    // recording file, in words for the user; empty when it was not refused
    // for the content.
    std::string getRefusalReason() const { return m_refusal; }
    std::string softwareVersion() const { return m_softwareVersion; }

    // The stored 16-bit sample of a lead value: value x 5.6 truncated toward
    // zero, saturated to the 16-bit range; a value that is not finite gives 0.
    static Sint16 scaleSample(float leadValue)
    {
        const double scaled = static_cast<double>(leadValue) * kLeadScale;
        if (!std::isfinite(scaled))
            return 0;
        if (scaled >= 32767.0)
            return 32767;
        if (scaled <= -32768.0)
            return -32768;
        return static_cast<Sint16>(scaled); // truncates toward zero
    }
    // Header codes of the import.
    static int genderCodeOf(const std::string& sex, const std::string& neutered);
    static int speciesCodeOf(const std::string& description, int unchanged);
    // Export texts of the program's codes: a species always has a description
    // ("Unknown" for 0, "Other" for 4); sex and neutered by the gender code;
    // the birth date (seconds of 00:00 UTC, 0 for none) as YYYYMMDD.
    static std::string speciesDescriptionOf(int code);
    static void setSexOf(int genderCode, TWaveformParams& params);
    static std::string birthDateOf(std::int64_t birthTs);
    // The longest start of text that holds at most maxBytes bytes and ends
    // on a whole UTF-8 character.
    static std::string cutToBytes(const std::string& text, std::size_t maxBytes);

private:
    int fail(int code, const std::string& text);
    int refuse(int code, const std::string& text, const std::string& reason);
    // Cuts the buffers to the samples written (events hold none).
    int cutSamples(WvfSamples* samples[kChannels], Uint32 count);
    int addAnnotation(WvfWaveform* waveform, const char* text, Uint32 position, const OFList<double>& values);

    int m_samplingFrequency = 0;
    Uint32 m_samplesPerChannel = 0;
    CFileEcg* m_reader = nullptr;
    int m_applicationType;
    std::string m_institutionName;
    std::string m_lastError;
    std::string m_softwareVersion;
    std::string m_refusal;
    Uint32 m_rhythmGroup = 1; // the multiplex group the import reads
};

#endif
