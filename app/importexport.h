#ifndef MALVORANT_IMPORTEXPORT_H
#define MALVORANT_IMPORTEXPORT_H

#include "bridgeparts.h"

#include <QString>
#include <QUrl>

#include <cstdint>

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
    // The patient an import brings, as the drawer is prepared with it.
    struct ImportedPatient
    {
        QString name;
        QString extId;
        QString ownerFirst;
        QString ownerLast;
        int species = 0;
        QString speciesName; // when set, the species id is looked up from it
        int sex = 0;
        std::int64_t birthdate = 0;
        QString breed;
        float weight = 0.0f;
        int weightUnit = 0;
        QString studyUid;
        bool fromDicom = false;
    };

    void importRecording(const QString& path);
    void importDicom(const QString& path);
    // Puts the changed beat types of the shown recording onto its file.
    bool writeBackShownRecording();
    void exportFailed();
    void refuseImport();
    void prepareDrawerForNewPatient(const ImportedPatient& patient);

    QmlItems& m_items;
    EngineParts m_engine;
    PatientFlows& m_patients;
};

#endif
