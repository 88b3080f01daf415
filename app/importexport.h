#ifndef MALVORANT_IMPORTEXPORT_H
#define MALVORANT_IMPORTEXPORT_H

#include "bridgeparts.h"
#include "stagedwrite.h"

#include <QString>
#include <QUrl>

class PatientFlows;
class QmlItems;
class ReplaceQuestion;

// Export of the shown recording as .ecg or DICOM file, import of either as
// the start of a new recording.
class ImportExport
{
public:
    ImportExport(QmlItems& items, const EngineParts& engine, PatientFlows& patients,
                 ReplaceQuestion& replaceQuestion);

    ImportExport(const ImportExport&) = delete;
    ImportExport& operator=(const ImportExport&) = delete;

    // A file of the exported name that is there already is replaced only
    // when its path is agreedReplace (the user said so); otherwise the user
    // is asked.
    void exportEcg(const QUrl& exportUrl, const QString& agreedReplace = QString());
    void exportDcm(const QUrl& exportUrl, const QString& agreedReplace = QString());
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
    // Tells the user where an exported file went, or asks whether to replace
    // the file that is there; false when the export failed.
    void placed(stagedwrite::Outcome outcome, const QUrl& exportUrl, bool dicom, const QString& path);

    QmlItems& m_items;
    EngineParts m_engine;
    PatientFlows& m_patients;
    ReplaceQuestion& m_replaceQuestion;
};

#endif
