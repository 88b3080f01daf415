#ifndef MALVORANT_IMPORTEXPORT_H
#define MALVORANT_IMPORTEXPORT_H

#include "bridgeparts.h"

#include <QString>
#include <QUrl>

class PatientFlows;
class QmlItems;

// Export of the shown recording as .ecg or DICOM file, import of either as
// the start of a new recording.
class ImportExport
{
public:
    ImportExport(QmlItems& items, const EngineParts& engine, PatientFlows& patients);

    ImportExport(const ImportExport&) = delete;
    ImportExport& operator=(const ImportExport&) = delete;

    void exportEcg(const QUrl& exportUrl);
    void exportDcm(const QUrl& exportUrl);
    void getExportFileName();
    // Both imports choose their road by the file's content: a DICOM file given
    // to importEcg is imported as DICOM, and the other way round.
    void importEcg(const QUrl& url);
    void importDcm(const QUrl& url);

private:
    void importRecording(const QString& path);
    void importDicom(const QString& path);
    // Puts the changed beat types of the shown recording onto its file.
    bool writeBackShownRecording();
    void exportFailed();
    // True, with the reason shown, when the recording file is refused.
    bool refusedForExport(const QString& source);
    // reason: why, in words for the user; empty when the file gives none.
    void refuseImport(const QString& reason = QString());
    // Hands the import over and opens the form for the file's patient.
    void handOver(const ImportHandOver& handOver);
    // The patient name every exported file begins with.
    QString exportPatientName() const;
    // Tells the user where an exported file went.
    void exported(const QString& path);

    QmlItems& m_items;
    EngineParts m_engine;
    PatientFlows& m_patients;
};

#endif
