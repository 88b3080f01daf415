#ifndef MALVORANT_PATIENTMAN_H
#define MALVORANT_PATIENTMAN_H

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <cstdint>

class CSettingsMan;

// A patientTable row as it is stored.
struct PatientRecord
{
    QString name;
    QString extId;
    QString ownerFirst;
    QString ownerLast;
    int species = 0;
    int sex = 0;
    std::int64_t birthdate = 0;
    QString breed;
    QVariant weight; // as stored: null, 0 or not a number when unknown
    int weightUnit = 0;
    std::int64_t tsLastChanged = 0;
    QString pendingStudyUuid;
    QString otherExtIds;
};

enum class RowRead { Found, Missing, Failed };

// Reads the row of patientId on db (the caller's own connection); a failed
// statement writes an error line that begins with `where`.
RowRead readPatientRecord(const QSqlDatabase& db, int patientId, PatientRecord& out, const char* where);

// Keeps the current patient and runs every patient statement: create, load,
// update and delete patientTable rows, turn a worklist or PACS row into a
// patient, answer the species and breed look-ups of the patient drawer, and
// fill the species and breed tables of a new database. GUI thread only.
//
// The current patient's fields are public: the bridge reads them to publish
// the patient and, for imported recordings, writes them before the look-ups.
class CPatientMan
{
public:
    // applicationType 1 (what the program passes) selects species 0 to 20,
    // breed list 1 and the demo patient; 0 the reduced lists and a neutral
    // default patient. fromVersion 0 means the database was created now.
    CPatientMan(QSqlDatabase* database, CSettingsMan* settings, int fromVersion, int toVersion,
                int applicationType);

    CPatientMan(const CPatientMan&) = delete;
    CPatientMan& operator=(const CPatientMan&) = delete;

    // Inserts a patient and makes it current. Returns the new patientId, or -1
    // when the insert failed (the current patient is then unchanged).
    int createPatient(const QString& patientName, const QString& extId, const QString& ownerFirst,
                      const QString& ownerLast, int species, int sex, float weight, int weightUnit,
                      const QString& breed, std::int64_t birthdate,
                      const QString& pendingStudyUuid, const QString& otherExtIds);
    // Updates a patient and makes it current. False when the statement failed
    // or no such patient exists (the current patient is then unchanged).
    bool updatePatient(int patientId, const QString& patientName, const QString& extId,
                       const QString& ownerFirst, const QString& ownerLast, int species, int sex,
                       float weight, int weightUnit, const QString& breed, std::int64_t birthdate);
    // Makes the patient current; false (nothing changes) when there is no such row.
    bool loadPatient(int patientId);
    // Deletes the patient. When it was the current one, the most recently
    // changed remaining patient becomes current; with none left the current
    // patient is cleared (patientId -1) and the result is false.
    bool deletePatient(int patientId);
    // Makes the worklist (isMwmTable) or PACS row idx the current patient:
    // an existing patient with the same external id, name and owner's names,
    // or a new one. studyUid and tsStudy receive the row's study. A new
    // patient of a row without species takes recordedSpecies, the species of
    // the recording it is made for (0: none). Returns the patientId, or -1
    // when the row is missing or the patient can't be stored.
    int createPatientfromDcm(int selectedIdx, bool isMwmTable, QString& studyUid,
                             std::int64_t& tsStudy, int recordedSpecies = 0);

    // speciesName and breedListIdx of the current species and breed (empty
    // and -1 for a species the species table does not have).
    void getSpeciesBreedInfo();
    // Id of speciesName, -1 when unknown.
    int getSpeciesId();
    // Id of speciesName, 0 when unknown.
    int getSpeciesIdByName();
    // Position of speciesName in the species picker (sorted by name).
    int getSpeciesListIdx();
    // Position of breed in its species' breed picker, -1 when unknown.
    int getBreedListIdx();
    // The breed with the smallest id of a species, empty when it has none.
    QString getFirstBreedOfSpecies(int speciesId);
    // Row of the current patient in the patient list, which is ordered by
    // patientName without regard to case, then extId, then patientId.
    int getCurrentModelIndex();

    bool upgradeDatabaseContent(int fromVersion, int toVersion);
    // Writes the species and breed lists into a new database (one transaction).
    bool initDatabaseData();
    // Mends the broken breed names (breedMends) of an existing database, in
    // the breed list and in the patients that chose them; writes nothing when
    // there is none (one transaction).
    bool mendBreedNames();

    // The current patient.
    int patientId = -1;
    QString patientName;
    QString ownerFirst;
    QString ownerLast;
    QString extId;
    int species = 0;
    QString speciesName;
    int sex = 0;
    float weight = 0.0f;
    int weightUnit = 0;
    QString breed;
    std::int64_t birthdate = 0;
    QString pendingStudyUuid;
    QString otherExtIds;
    std::int64_t tsLastChanged = 0;
    int breedListIdx = -1;

private:
    // Makes patientId the settings' current patient and saves it.
    void rememberCurrent();
    void clearCurrent();
    // Id of speciesName in speciesTable, notFound when it has none.
    int speciesIdOfName(int notFound, const char* where);
    int countQuery(const QString& sql, const QVariantList& values, const char* where, bool& found);

    QSqlDatabase* m_db = nullptr;
    CSettingsMan* m_settings = nullptr;
    int m_applicationType = 1;
};

#endif
