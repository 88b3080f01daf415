#ifndef MALVORANT_PATIENTFLOWS_H
#define MALVORANT_PATIENTFLOWS_H

#include "bridgeparts.h"

#include <QString>

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
    void patientDrawerPopulateAge(qint64 ts);
    void patientDrawerPopulateBirthday(qint64 ts);
    void checkBirthdayInput(const QString& birthdayTextFieldMMYYYY);
    void checkAgeInput(const QString& ageTextFieldY, const QString& ageTextFieldM);
    QString getFirstEntryInBreedList(int speciesId);
    void testPatientsForEcgs(int patientId);
    void patientUpdated(int patId, const QString& patientName, const QString& patientId,
                        const QString& patientFirst, const QString& patientLast, int species,
                        const QString& breed, int gender, const QString& weightString,
                        bool weightUnitIsPound, quint32 tsBirthdate);
    void patientDeleted(int patId);
    void fileSelectedLocal(int patientId, int ecgId);
    void fileDeletedLocal(int ecgId);
    void fileDeletedLocalIgnorePatient(int ecgId);
    void patientSelectionPending(const QStringList& texts);
    void patientSelectionConfirmed(bool userHasConfirmed, bool isImportedEcg);
    void ecgPatientAssignment(int selectedIndex);
    void ecgPatientAssignmentFromImport(int patientId);
    void ecgPatientAssignmentAborted();
    bool storeImage(const QString& imgPath);
    void retrieveImages();

private:
    QmlItems& m_items;
    EngineParts m_engine;
    UiPublisher& m_publisher;
    LiveView& m_live;
    bool m_creatingNewPatient = false;
};

#endif
