#include "dcmwvforv.h"

#include "dcmerrors.h"
#include "debuglog.h"

#include <cstdio>
#include <exception>
#include <new>
#include <unistd.h>

CDcmWvfOrv::CDcmWvfOrv() = default;

CDcmWvfOrv::~CDcmWvfOrv()
{
    m_lastError.clear();
}

int CDcmWvfOrv::convertOrv2Dcm(CDcmWvfPluginOrv* plugin, std::string path, TWaveformParams patient)
{
    m_lastError.clear();
    if (!plugin) {
        m_lastError = "CDcmWvfOrv::convertOrv2Dcm() no plug-in";
        return DCM_ERR_NO_OBJECT;
    }
    m_refusal.clear();
    int code;
    try {
        code = plugin->convertOrv2Dcm(this, std::move(path), std::move(patient));
    } catch (const std::exception&) { // memory ran out: no exception leaves a worker thread
        m_lastError = "CDcmWvfOrv::convertOrv2Dcm() out of memory";
        debugLogError(m_lastError);
        return DCM_ERR_STORE_SAMPLES;
    }
    if (code != 0) {
        m_lastError = plugin->getLastError();
        m_refusal = plugin->getRefusalReason();
    }
    m_softwareVersion = plugin->softwareVersion();
    return code;
}

int CDcmWvfOrv::convertDcm2Orv(CDcmWvfPluginOrv* plugin, std::string outPath, const TWaveformParams* params)
{
    m_lastError.clear();
    if (!plugin) {
        m_lastError = "CDcmWvfOrv::convertDcm2Orv() no plug-in";
        return DCM_ERR_NO_OBJECT;
    }
    m_refusal.clear();
    int code;
    try {
        code = plugin->convertDcm2Orv(this, std::move(outPath), params);
    } catch (const std::exception&) { // memory ran out: no exception leaves a worker thread
        m_lastError = "CDcmWvfOrv::convertDcm2Orv() out of memory";
        debugLogError(m_lastError);
        return DCM_ERR_OPEN_FILE;
    }
    if (code != 0) {
        m_lastError = plugin->getLastError();
        m_refusal = plugin->getRefusalReason();
    }
    return code;
}

int CDcmWvfOrv::saveDcmFile(std::string path)
{
    try {
        return save(path);
    } catch (const std::exception&) { // memory ran out: no exception leaves a worker thread
        m_lastError = "CDcmWvfOrv::saveDcmFile() out of memory";
        debugLogError(m_lastError);
        return DCM_ERR_WRITE_DATASET;
    }
}

int CDcmWvfOrv::save(const std::string& path)
{
    m_lastError.clear();
    DcmFileFormat* file = new (std::nothrow) DcmFileFormat();
    if (!file) {
        m_lastError = "CDcmWvfOrv::saveDcmFile() out of memory";
        return DCM_ERR_WRITE_DATASET;
    }
    OFCondition cond = write(file->getDataset(), true /*check*/, true /*invent*/);
    // Its presence tells the import that sample positions count from 1.
    if (cond.good())
        cond = file->getDataset()->putAndInsertString(
            DCM_SoftwareVersions, m_softwareVersion.empty() ? "0" : m_softwareVersion.c_str());
    if (cond.bad()) {
        m_lastError = cond.text();
        delete file;
        return DCM_ERR_WRITE_DATASET;
    }
    const bool existed = access(path.c_str(), F_OK) == 0;
    cond = file->saveFile(path.c_str(), EXS_LittleEndianExplicit, EET_ExplicitLength, EGL_recalcGL, EPD_noChange,
                          0, 0, EWM_fileformat);
    delete file;
    if (cond.bad()) {
        m_lastError = cond.text();
        // A half-written file of ours is no DICOM file.
        if (!existed)
            std::remove(path.c_str());
        return DCM_ERR_SAVE_FILE;
    }
    return 0;
}
