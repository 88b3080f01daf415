#ifndef MALVORANT_DICOMFLOWS_H
#define MALVORANT_DICOMFLOWS_H

#include "bridgeparts.h"

#include <QString>

class CDcmComm;
class CDcmScheduler;
class DicomStatus;
class PatientFlows;
class QmlItems;
class UiPublisher;

// The DICOM flows: worklist and PACS queries, patients from the worklist,
// fetching and sending studies, the connection settings and their tests.
// The answers of the DICOM front and the background upload end here.
class DicomFlows
{
public:
    // scheduler may be null: every call to it is skipped then.
    DicomFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
               PatientFlows& patients, CDcmComm* comm, CDcmScheduler* scheduler,
               DicomStatus& status);

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

    bool isPacsCheckPending() const { return m_pacsCheckPending; }

    // Sends the current recording to the PACS; false (alert shown) when refused.
    // Also what an assignment calls when the PACS passes its test.
    bool sendCurrentRecording(bool showBusy);

    // Where the shown recording stands in the PACS queue, for the screen.
    void publishPacsQueue();

private:
    void alert(const QString& text);
    // The front refused a connection test: the own worker of the status runs it.
    void testRefused(bool worklist);
    // Makes the patient of the shown recording current again after a fetch
    // that shows nothing.
    void keepShownPatient();
    void saveDicomSettings();
    void updateConfigs();

    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    PatientFlows& m_patients;
    CDcmComm* m_comm = nullptr;
    CDcmScheduler* m_scheduler = nullptr;
    DicomStatus& m_status;
    bool m_pacsCheckPending = false;
    // The recording of the foreground send in flight, -1 when none.
    int m_sendEcgId = -1;
    // The patient of the fetch in flight (its reservation is CFileMan's).
    int m_fetchPatientId = -1;
};

#endif
