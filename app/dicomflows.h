#ifndef MALVORANT_DICOMFLOWS_H
#define MALVORANT_DICOMFLOWS_H

#include "bridgeparts.h"

#include <QString>

class PatientFlows;
class QmlItems;
class UiPublisher;

// The DICOM flows: worklist and PACS queries, patients from the worklist,
// fetching and sending studies, the connection settings and their tests.
class DicomFlows
{
public:
    DicomFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
               PatientFlows& patients);

    DicomFlows(const DicomFlows&) = delete;
    DicomFlows& operator=(const DicomFlows&) = delete;

    void dcmLoadMwl(const QString& patName, const QString& patExtId, const QString& ownerFirst,
                    const QString& ownerLast);
    void dcmLoadPacsList(const QString& patName, const QString& patExtId,
                         const QString& ownerFirst, const QString& ownerLast);
    void dcmMwlItemSelected(int selectedRecordId);
    void dcmMwlItemSelectedForImport(int selectedRecordId);
    void dcmPacsItemSelected(int selectedIdx);
    void dcmContinueFileUpload(int fileId);
    void updateDcmSettingsGeneral(const QString& name, const QString& port,
                                  const QString& institution);
    void updateDcmSettingsMwl(const QString& title, const QString& ip, const QString& port);
    void updateDcmSettingsPacs(const QString& title, const QString& ip, const QString& port);

    void dcmRespSendPacsFile(bool hasNetworkError, bool hasErrorResponse, bool isBackgroundUpload);
    void dcmRespLoadMwl(bool hasNetworkError, bool hasErrorResponse);
    void dcmRespLoadPacsList(bool hasNetworkError, bool hasErrorResponse);
    void dcmRespLoadFromPacs(bool hasNetworkError, bool hasErrorResponse);
    void dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse);
    void dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse);

private:
    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    PatientFlows& m_patients;
    bool m_pacsCheckPending = false;
};

#endif
