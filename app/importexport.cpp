#include "importexport.h"

ImportExport::ImportExport(QmlItems& items, const EngineParts& engine, PatientFlows& patients)
    : m_items(items), m_engine(engine), m_patients(patients)
{
}

void ImportExport::exportEcg(const QUrl&) {}
void ImportExport::exportDcm(const QUrl&) {}
void ImportExport::getExportFileName() {}
void ImportExport::importEcg(const QUrl&) {}
void ImportExport::importDcm(const QUrl&) {}
