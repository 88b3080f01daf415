// Export of a recording as a .dce file and import of a DICOM ECG waveform
// file as a new .ecg recording; carries the patient and study texts of one
// such operation for the bridge.
#ifndef MALVORANT_DCMFILE_H
#define MALVORANT_DCMFILE_H

#include <QFile>
#include <QString>
#include <QUrl>

#include <cstdint>

struct DcmExportPatient;

class CDcmFile : public QFile
{
public:
    CDcmFile();
    ~CDcmFile() override;

    // True when the export failed. The object names the patient of the fields
    // below (fill them with setPatient), not the recording's header.
    bool ecgToDicomConversion(QString ecgPath, QString dcmPath, QString institutionName);
    // True when the import succeeded and outPath holds the new recording.
    bool dicomToEcgConversion(QUrl dicomUrl, QString outPath);

    QString patientName;
    QString ownerLastName;
    QString ownerFirstName;
    QString patientId;
    int genderCode = 5;        // 1 M, 2 F, 3 M altered, 4 F altered, 0 other, 5 anything else
    std::int64_t birthTs = 0;  // Unix seconds
    QString studyDate;         // YYYYMMDD
    QString studyTime;         // HHMMSS
    QString otherText;         // left empty here
    QString accessionNumber;
    QString studyInstanceUid;
    QString speciesDescription;
    QString breedDescription;
    QString weight;            // kilograms
    // Why the last import or export was refused, in words for the user;
    // empty when it succeeded or failed for no reason of the file's content.
    QString refusalReason;

    // Fields 1-6 and 12-14 from the patient an export names.
    void setPatient(const DcmExportPatient& patient);

private:
    bool exportFile(const QString& ecgPath, const QString& dcmPath, const QString& institutionName);
    bool importFile(const QUrl& dicomUrl, const QString& outPath);
};

#endif
