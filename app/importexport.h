#ifndef MALVORANT_IMPORTEXPORT_H
#define MALVORANT_IMPORTEXPORT_H

#include "bridgeparts.h"

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
    void importEcg(const QUrl& url);
    void importDcm(const QUrl& url);

private:
    QmlItems& m_items;
    EngineParts m_engine;
    PatientFlows& m_patients;
};

#endif
