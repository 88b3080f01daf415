// Helpers of the conversion tests: writing recordings, importing objects
// the way the import does, and running pydicom and dciodvfy.
#ifndef DCETESTHELPERS_H
#define DCETESTHELPERS_H

#include "toolrun.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "dcmdataset.h"
#include "dcmexportpatient.h"
#include "dcmwvforv.h"
#include "fileecg.h"

#include <cstring>
#include <vector>

namespace dcetest {

inline EcgFileRecord sample(float leadI, float leadII, int type = 0)
{
    EcgFileRecord r;
    std::memset(&r, 0, sizeof(r));
    r.leadI = leadI;
    r.leadII = leadII;
    r.leadIII = leadII - leadI;
    r.type = static_cast<std::int16_t>(type);
    return r;
}

inline EcgFileRecord eventRecord(int type, int extra = 0)
{
    EcgFileRecord r = sample(0.0f, 0.0f, type);
    r.extra = static_cast<std::int16_t>(extra);
    return r;
}

// Header of a recording; the defaults are a complete patient.
struct Header
{
    std::string patientName = "Rex";
    std::string ownerLastName = "Smith";
    std::string ownerFirstName = "Anna";
    std::string patientId = "P-17";
    std::string birthDate = "05.03.2019";
    int genderCode = 1;
    int speciesCode = 2;
    std::int64_t recordingTime = 1552000000; // 2019-03-07 23:06:40 UTC
};

inline bool writeRecording(const QString& path, const std::vector<EcgFileRecord>& records,
                           const Header& h = Header())
{
    CFileEcg f;
    f.resetHeaderData();
    f.patientName = h.patientName;
    f.ownerLastName = h.ownerLastName;
    f.ownerFirstName = h.ownerFirstName;
    f.extPatientId = h.patientId;
    f.patientBirthdate = h.birthDate;
    f.genderCode = h.genderCode;
    f.speciesCode = h.speciesCode;
    f.recordingTime = h.recordingTime;
    if (!f.createFile(path.toStdString()))
        return false;
    if (!records.empty() && !f.addData(records.data(), int(records.size())))
        return false;
    return f.close();
}

inline std::vector<EcgFileRecord> readRecords(const QString& path, CFileEcg* header = nullptr)
{
    std::vector<EcgFileRecord> out;
    CFileEcg f;
    if (!f.openFileReadOnly(path.toStdString()))
        return out;
    for (int i = 0; i < f.getRecordCount(); ++i) {
        int count = 0;
        const EcgFileRecord* window = f.retDataSet(i, count);
        if (!window)
            break;
        out.insert(out.end(), window, window + count);
        i += count - 1;
    }
    if (header) {
        header->patientName = f.patientName;
        header->ownerFirstName = f.ownerFirstName;
        header->ownerLastName = f.ownerLastName;
        header->extPatientId = f.extPatientId;
        header->patientBirthdate = f.patientBirthdate;
        header->genderCode = f.genderCode;
        header->speciesCode = f.speciesCode;
        header->recordingTime = f.recordingTime;
    }
    f.close();
    return out;
}

// The patient an export names, as the program reads it from its tables.
inline DcmExportPatient patientRex()
{
    DcmExportPatient p;
    p.patientName = "Rex";
    p.ownerLastName = "Smith";
    p.ownerFirstName = "Anna";
    p.patientId = "P-17";
    p.genderCode = 1;
    p.birthTs = 1551744000; // 2019-03-05
    p.speciesDescription = "Canine";
    p.breedDescription = "Beagle";
    p.weight = "12.5";
    return p;
}

// Exports a recording the way the file export does; the code of the first
// failing step, 0 on success.
inline int exportRecording(const QString& ecgPath, const QString& dcePath, std::string* error = nullptr,
                           const DcmExportPatient& patient = patientRex(),
                           const QString& studyUid = "1.2.826.0.1.3680043.10.1138.7",
                           const std::string& institution = "Animal Clinic")
{
    CDcmWvfOrv waveform;
    CDcmWvfPluginOrv plugin(1, institution, "0.0.0");
    int code = waveform.convertOrv2Dcm(&plugin, ecgPath.toStdString(), patient.params(studyUid));
    if (code == 0)
        code = waveform.saveDcmFile(dcePath.toStdString());
    if (error)
        *error = waveform.getLastError();
    return code;
}

// Imports a DICOM file the way the file import does, giving the code: -1 when
// the file can't be loaded or read into a waveform.
inline int importObject(const QString& dcePath, const QString& ecgPath, TWaveformParams* paramsOut = nullptr,
                        std::string* refusal = nullptr)
{
    CDcmDataset* dataset = new CDcmDataset();
    DcmFileFormat file(dataset, OFFalse);
    if (file.loadFile(dcePath.toStdString().c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_autoDetect).bad())
        return -1;
    dataset->convertToUTF8();
    TWaveformParams params;
    dataset->getWaveformParams(params);
    CDcmWvfOrv waveform;
    CDcmWvfPluginOrv plugin(0, "dummyInstitution", "0.0.0");
    if (waveform.read(dataset).bad())
        return -1;
    if (paramsOut)
        *paramsOut = params;
    const int code = waveform.convertDcm2Orv(&plugin, ecgPath.toStdString(), &params);
    if (refusal)
        *refusal = waveform.getRefusalReason();
    return code;
}

using toolrun::python;
using toolrun::runTool;
using toolrun::ToolResult;

inline QString script(const char* folder, const char* name)
{
    return QString(MALVORANT_SOURCE_DIR) + "/tests/" + folder + "/" + name;
}

// What dciodvfy reports about an object: every error line, and every warning
// line that allowedWarning does not accept. started is false without dciodvfy.
struct DciodvfyReport
{
    bool started = false;
    QString text;
    QStringList problems;
};

template <class Allowed>
DciodvfyReport runDciodvfy(const QString& path, Allowed allowedWarning)
{
    DciodvfyReport report;
    const ToolResult r = runTool("dciodvfy", {path});
    report.started = r.started;
    report.text = QString::fromUtf8(r.out + r.err);
    for (QString line : report.text.split('\n', Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.startsWith("Error") || (line.startsWith("Warning") && !allowedWarning(line)))
            report.problems << line;
    }
    return report;
}

// pydicom's reading of an object: the modules as JSON, the raw samples of
// every channel (group after group, channel after channel) as int32.
struct PydicomView
{
    bool ok = false;
    QJsonObject json;
    std::vector<std::int32_t> samples;
    QByteArray err;
};

inline PydicomView readWithPydicom(const QString& dcePath)
{
    PydicomView v;
    const QString bin = dcePath + ".samples.bin";
    const ToolResult r = runTool(python(), {script("dcmwave", "wvf_pydicom_read.py"), dcePath, bin});
    v.err = r.err;
    if (r.exitCode != 0)
        return v;
    v.json = QJsonDocument::fromJson(r.out).object();
    QFile f(bin);
    if (!f.open(QIODevice::ReadOnly))
        return v;
    const QByteArray bytes = f.readAll();
    v.samples.resize(std::size_t(bytes.size()) / 4);
    std::memcpy(v.samples.data(), bytes.constData(), v.samples.size() * 4);
    v.ok = !v.json.isEmpty();
    return v;
}

} // namespace dcetest

#endif
