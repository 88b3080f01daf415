#include "dicomflows.h"

DicomFlows::DicomFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                       PatientFlows& patients)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_patients(patients)
{
}

void DicomFlows::dcmLoadMwl(const QString&, const QString&, const QString&, const QString&) {}
void DicomFlows::dcmLoadPacsList(const QString&, const QString&, const QString&, const QString&) {}
void DicomFlows::dcmMwlItemSelected(int) {}
void DicomFlows::dcmMwlItemSelectedForImport(int) {}
void DicomFlows::dcmPacsItemSelected(int) {}
void DicomFlows::dcmContinueFileUpload(int) {}
void DicomFlows::updateDcmSettingsGeneral(const QString&, const QString&, const QString&) {}
void DicomFlows::updateDcmSettingsMwl(const QString&, const QString&, const QString&) {}
void DicomFlows::updateDcmSettingsPacs(const QString&, const QString&, const QString&) {}
void DicomFlows::dcmRespSendPacsFile(bool, bool, bool) {}
void DicomFlows::dcmRespLoadMwl(bool, bool) {}
void DicomFlows::dcmRespLoadPacsList(bool, bool) {}
void DicomFlows::dcmRespLoadFromPacs(bool, bool) {}
void DicomFlows::dcmRespTestMwlCredentials(bool, bool) {}
void DicomFlows::dcmRespTestPacsCredentials(bool, bool) {}
