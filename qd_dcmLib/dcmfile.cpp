#include "dcmfile.h"

#include "dcmdataset.h"
#include "dcmexportpatient.h"
#include "dcmwvforv.h"
#include "debuglog.h"

#include <exception>
#include <memory>
#include <new>

CDcmFile::CDcmFile() = default;

CDcmFile::~CDcmFile() = default;

namespace {
// The patient fields an export names, which the file object and the export's
// patient both carry under the same names.
template <class From, class To>
void copyPatientFields(const From& from, To& to)
{
    to.patientName = from.patientName;
    to.ownerLastName = from.ownerLastName;
    to.ownerFirstName = from.ownerFirstName;
    to.patientId = from.patientId;
    to.genderCode = from.genderCode;
    to.birthTs = from.birthTs;
    to.speciesDescription = from.speciesDescription;
    to.breedDescription = from.breedDescription;
    to.weight = from.weight;
}
} // namespace

void CDcmFile::setPatient(const DcmExportPatient& patient)
{
    copyPatientFields(patient, *this);
}

bool CDcmFile::ecgToDicomConversion(QString ecgPath, QString dcmPath, QString institutionName)
{
    try {
        return exportFile(ecgPath, dcmPath, institutionName);
    } catch (const std::exception&) {
        debugLogError("ecgToDicomConversion1 returned err=9918, errText=out of memory");
        return true;
    }
}

bool CDcmFile::dicomToEcgConversion(QUrl dicomUrl, QString outPath)
{
    try {
        return importFile(dicomUrl, outPath);
    } catch (const std::exception&) {
        debugLogError("CDcmFile::dicomToEcgConversion() out of memory");
        return false;
    }
}

bool CDcmFile::exportFile(const QString& ecgPath, const QString& dcmPath, const QString& institutionName)
{
    debugLog(4, "CDcmFile::ecgToDicomConversion() ecg file=" + ecgPath.toStdString());
    refusalReason.clear();
    std::unique_ptr<CDcmWvfOrv> waveform(new (std::nothrow) CDcmWvfOrv());
    std::unique_ptr<CDcmWvfPluginOrv> plugin(
        new (std::nothrow) CDcmWvfPluginOrv(1, institutionName.toStdString(), "0.0.0"));
    if (!waveform || !plugin) {
        debugLogError("ecgToDicomConversion1 returned err=9913, errText=out of memory");
        return true;
    }
    DcmExportPatient patient;
    copyPatientFields(*this, patient);
    int code = waveform->convertOrv2Dcm(plugin.get(), ecgPath.toStdString(), patient.params(studyInstanceUid));
    if (code != 0) {
        refusalReason = QString::fromStdString(waveform->getRefusalReason());
        debugLogError("ecgToDicomConversion1 returned err=" + toStdString(code) + ", errText="
                      + waveform->getLastError());
        return true;
    }
    debugLog(2, "dcm file=" + dcmPath.toStdString());
    code = waveform->saveDcmFile(dcmPath.toStdString());
    if (code != 0) {
        debugLogError("ecgToDicomConversion2 returned err=" + toStdString(code) + ", errText="
                      + waveform->getLastError());
        return true;
    }
    debugLog(2, "dcm conversion completed successfully");
    return false;
}

bool CDcmFile::importFile(const QUrl& dicomUrl, const QString& outPath)
{
    const std::string path = dicomUrl.toLocalFile().toStdString();
    debugLog(4, "CDcmFile::dicomToEcgConversion() dicom file=" + path + ", ecg file=" + outPath.toStdString());
    refusalReason.clear();
    CDcmDataset* dataset = new (std::nothrow) CDcmDataset();
    if (!dataset) {
        debugLogError("CDcmFile::dicomToEcgConversion() out of memory");
        return false;
    }
    // The file format owns the dataset from here on.
    std::unique_ptr<DcmFileFormat> file(new (std::nothrow) DcmFileFormat(dataset, OFFalse));
    if (!file) {
        delete dataset;
        debugLogError("CDcmFile::dicomToEcgConversion() out of memory");
        return false;
    }
    OFCondition cond = file->loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_autoDetect);
    if (cond.bad()) {
        debugLogError("CDcmFile::dicomToEcgConversion() unable to load " + path + ": " + cond.text());
        refusalReason = QStringLiteral("It is not a DICOM file this program can read.");
        return false;
    }
    // Texts of any character set come in as UTF-8.
    cond = dataset->convertToUTF8();
    if (cond.bad())
        debugLogError(std::string("CDcmFile::dicomToEcgConversion() character set conversion failed: ")
                      + cond.text());

    TWaveformParams params;
    dataset->getWaveformParams(params);
    patientName = QString::fromStdString(params.patientName);
    ownerLastName = QString::fromStdString(params.ownerLastName);
    ownerFirstName = QString::fromStdString(params.ownerFirstName);
    patientId = QString::fromStdString(params.patientId);
    genderCode = CDcmWvfPluginOrv::genderCodeOf(params.patientSex, params.patientSexNeutered);
    birthTs = params.patientBirthTs;
    studyDate = QString::fromStdString(params.studyDate);
    studyTime = QString::fromStdString(params.studyTime);
    accessionNumber = QString::fromStdString(params.accessionNumber);
    studyInstanceUid = QString::fromStdString(params.studyInstanceUid);
    speciesDescription = QString::fromStdString(params.speciesDescription);
    breedDescription = QString::fromStdString(params.breedDescription);
    weight = QString::fromStdString(params.weight);

    std::unique_ptr<CDcmWvfOrv> waveform(new (std::nothrow) CDcmWvfOrv());
    std::unique_ptr<CDcmWvfPluginOrv> plugin(new (std::nothrow) CDcmWvfPluginOrv(0, "dummyInstitution", "0.0.0"));
    if (!waveform || !plugin) {
        debugLogError("CDcmFile::dicomToEcgConversion() out of memory");
        return false;
    }
    const OFCondition readCond = waveform->read(dataset);
    if (readCond.bad()) {
        debugLogError(std::string("Error initializing waveform: ") + readCond.text());
        refusalReason = QStringLiteral("It is a DICOM file, but holds no ECG waveform this program can read.");
        return false;
    }
    const int code = waveform->convertDcm2Orv(plugin.get(), outPath.toStdString(), &params);
    params.clear();
    if (code != 0) {
        debugLogError("Conversion error for file '" + outPath.toStdString() + "': code=" + toStdString(code)
                      + ": msg=" + waveform->getLastError());
        refusalReason = QString::fromStdString(waveform->getRefusalReason());
        return false;
    }
    return true;
}
