#ifndef MALVORANT_PATIENTFLOWS_H
#define MALVORANT_PATIENTFLOWS_H

#include "bridgeparts.h"

#include <QString>

#include <functional>

class LiveView;
class QmlItems;
class UiPublisher;

// Patients and recordings: selection, the patient form, assignment of a new
// recording, deletion. Every flow that changes what is shown ends in
// selectNShowPatient.
class PatientFlows
{
public:
    PatientFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher, LiveView& live);

    PatientFlows(const PatientFlows&) = delete;
    PatientFlows& operator=(const PatientFlows&) = delete;

    // Loads the patient and its recording (ecgId -1: its newest) in one
    // transaction and shows them.
    void selectNShowPatient(int patientId, int ecgId);

    void patientSelected(int patId);
    void setPatientCreatingNew(bool setPatientNew);
    void patientListDrawerOpened();
    void fileListDrawerOpened();
    int patientGetCurrentModelIndex();
    int fileGetCurrentModelIndex();
    void patientDrawerPopulateObject();
    // The form filled with the patient an imported file names (not stored yet).
    void populateDrawerForImport(const PatientFormValues& patient);
    // Species name, its picker position and the breed's, of a patient's form:
    // by the species' name (byName) or by its number.
    void lookUpSpecies(PatientFormValues& patient, bool byName);
    void patientDrawerPopulateAge(qint64 ts);
    void patientDrawerPopulateBirthday(qint64 ts);
    void checkBirthdayInput(const QString& birthdayTextFieldMMYYYY);
    void checkAgeInput(const QString& ageTextFieldY, const QString& ageTextFieldM);
    QString getFirstEntryInBreedList(int speciesId);
    void testPatientsForEcgs(int patientId);
    // Creates (patId -1) or updates a patient; its id, -1 when it could not
    // be stored.
    int patientUpdated(int patId, const QString& patientName, const QString& patientId,
                       const QString& patientFirst, const QString& patientLast, int species,
                       const QString& breed, int gender, const QString& weightString,
                       bool weightUnitIsPound, quint32 tsBirthdate);
    void patientDeleted(int patId);
    // patientId 0: the recording waits for its patient and is shown in state 4.
    void fileSelectedLocal(int patientId, int ecgId);
    // Shows the current recording as start-up finds it: in state 4 when it
    // waits for its patient, else with its own patient.
    void showCurrentRecording();
    void fileDeletedLocal(int ecgId);
    void fileDeletedLocalIgnorePatient(int ecgId);
    void patientSelectionPending(const QStringList& texts);
    void patientSelectionConfirmed(bool userHasConfirmed, bool isImportedEcg);
    void ecgPatientAssignment(int selectedIndex);
    void ecgPatientAssignmentFromImport(int patientId);
    // The import's recording becomes a new recording of the patient (loaded
    // here when it is not the current one) under the given study UID (empty:
    // none) and start time, then is assigned and shown. flow names the slot
    // in the log. False (alert shown) when nothing was assigned; the import
    // then stays handed over and nothing of it is left in the store.
    bool assignImportedRecording(int patientId, const QString& studyUid, qint64 startTime,
                                 const char* flow);
    // An import waits for its patient and its file is still there.
    bool hasImportToAssign() const;
    void ecgPatientAssignmentAborted();
    bool storeImage(const QString& imgPath);
    QStringList retrieveImages();

    // Written by the import before it asks for the patient.
    ImportHandOver& importHandOver() { return m_import; }

    // Sends the current (just assigned) recording to the PACS; the owner of the
    // DICOM client sets it and reports a refusal itself. Without one nothing is sent.
    using PacsSender = std::function<bool()>;
    void setPacsSender(PacsSender sender) { m_pacsSender = std::move(sender); }

private:
    // Writes the form's initial values; blank: a new patient typed from scratch
    // (no weight, no birth date).
    void populateDrawer(int patId, const PatientFormValues& values, bool blank);
    // The species a new patient's form starts with (0: none).
    int speciesOfNewPatient() const;
    // Gives the pending recording (patient 0) to the patient; false, with an
    // alert shown, when there is none or the assignment failed.
    bool assignPending(int patientId, const char* flow = "ecgPatientAssignment");
    void sendAssignedToPacs(const char* flow);
    void fileAlert(bool isFileCreation);
    // The user opened a recording whose file is refused: why.
    void tellIfUnreadable(int ecgId);

    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    LiveView& m_live;
    bool m_creatingNewPatient = false;
    // The bridge's one hand-over, written by the imports.
    ImportHandOver& m_import;
    PacsSender m_pacsSender;
};

#endif
