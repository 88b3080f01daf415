// The waveform object of one conversion: runs the plug-in and saves itself
// as a .dce file.
#ifndef MALVORANT_DCMWVFORV_H
#define MALVORANT_DCMWVFORV_H

#include "dcmwvfpluginorv.h"

#include <string>

class CDcmWvfOrv : public WvfWaveform
{
public:
    CDcmWvfOrv();
    ~CDcmWvfOrv() override;

    // patient: the recording's own patient, its study UID, breed and weight
    // (see CDcmWvfPluginOrv::convertOrv2Dcm).
    int convertOrv2Dcm(CDcmWvfPluginOrv* plugin, std::string path, TWaveformParams patient);
    int convertDcm2Orv(CDcmWvfPluginOrv* plugin, std::string outPath, const TWaveformParams* params);
    // DICOM file with meta header, explicit VR little endian.
    int saveDcmFile(std::string path);

    std::string getLastError() const { return m_lastError; }
    // Why the import refused the object or the export the recording file,
    // in words for the user (see CDcmWvfPluginOrv::getRefusalReason).
    std::string getRefusalReason() const { return m_refusal; }

private:
    int save(const std::string& path);

    std::string m_lastError;
    std::string m_refusal;
    std::string m_softwareVersion; // of the export that filled the object
};

#endif
