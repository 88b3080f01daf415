#include "patientman.h"

#include "debuglog.h"
#include "localtime.h"
#include "settingsman.h"
#include "species.h"
#include "sqlexec.h"
#include "sqlutil.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

// The weight as the shortest decimal with up to six significant digits, so
// 7 is stored as 7 and a 0.3 kg bird as 0.3, not as the float's binary tail.
double storedWeight(float weight)
{
    return QString::number(double(weight), 'g', 6).toDouble();
}

std::string quoted(const QString& text)
{
    return "'" + text.toStdString() + "'";
}

} // namespace

CPatientMan::CPatientMan(QSqlDatabase* database, CSettingsMan* settings, int fromVersion,
                         int toVersion, int applicationType)
    : m_db(database)
    , m_settings(settings)
    , m_applicationType(applicationType)
{
    debugLog(4, "entering CPatientMan constructor _applicationType=" + toStdString(applicationType)
                    + ", fromDbVersion=" + toStdString(fromVersion));
    if (fromVersion == 0) {
        if (!initDatabaseData())
            debugLogError("CPatientMan() unable to write the species and breed lists");
        debugLog(2, "CPatientMan() inserting default patient into DB");
        int id;
        if (applicationType == 0) {
            id = createPatient(QStringLiteral("Patient"), QStringLiteral("PatientId"),
                               QStringLiteral("OwnerFirst"), QStringLiteral("OwnerLast"), 2, 0, 7.0f,
                               0, QStringLiteral("Other"), 1451649600, QString(), QString());
        } else {
            id = createPatient(QStringLiteral("demo"), QStringLiteral("demoId"),
                               QStringLiteral("Jane"), QStringLiteral("Sample"), 3, 0, 7.0f, 0,
                               QStringLiteral("Bombay"), 1451649600, QString(), QString());
        }
        if (id < 0)
            debugLogError("CPatientMan() unable to insert the default patient");
    }
    if (toVersion != fromVersion)
        upgradeDatabaseContent(fromVersion, toVersion);
    if (fromVersion > 0 && !mendBreedNames())
        debugLogError("CPatientMan() unable to mend the breed names");
}

int CPatientMan::createPatient(const QString& patientName, const QString& extId,
                               const QString& ownerFirst, const QString& ownerLast, int species,
                               int sex, float weight, int weightUnit, const QString& breed,
                               std::int64_t birthdate, const QString& pendingStudyUuid,
                               const QString& otherExtIds)
{
    debugLog(4, "CPatientMan::createPatient() called");
    const std::int64_t now = localTimeStampNow();
    QSqlQuery q(*m_db);
    const bool ok = runQuery(
        q,
        QStringLiteral("insert into patientTable (patientName, species, sex, birthdate, ownerFirst, "
                       "ownerLast, extId, breed, weight, weightUnit, tsLastChanged, "
                       "pendingStudyUuid, otherExtIds) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {patientName, species, sex, qint64(birthdate), ownerFirst, ownerLast, extId, breed,
         storedWeight(weight), weightUnit, qint64(now), pendingStudyUuid, otherExtIds},
        "CPatientMan::createPatient()");
    const QVariant newId = ok ? q.lastInsertId() : QVariant();
    if (!ok || !newId.isValid()) {
        debugLogError("CPatientMan::createPatient() unable to insert patient patientName="
                      + patientName.toStdString());
        return -1;
    }
    this->patientId = newId.toInt();
    this->patientName = patientName;
    this->extId = extId;
    this->ownerFirst = ownerFirst;
    this->ownerLast = ownerLast;
    this->species = species;
    this->sex = sex;
    this->weight = float(storedWeight(weight));
    this->weightUnit = weightUnit;
    this->breed = breed;
    this->birthdate = birthdate;
    this->pendingStudyUuid = pendingStudyUuid;
    this->otherExtIds = otherExtIds;
    this->tsLastChanged = now;
    rememberCurrent();
    getSpeciesBreedInfo();
    debugLog(2, "CPatientMan::createPatient() patientId=" + toStdString(this->patientId));
    return this->patientId;
}

bool CPatientMan::updatePatient(int patientId, const QString& patientName, const QString& extId,
                                const QString& ownerFirst, const QString& ownerLast, int species,
                                int sex, float weight, int weightUnit, const QString& breed,
                                std::int64_t birthdate)
{
    debugLog(4, "CPatientMan::updatePatient() called, patientId=" + toStdString(patientId));
    QSqlQuery q(*m_db);
    const bool ok = runQuery(
        q,
        QStringLiteral("update patientTable set patientName=?, species=?, sex=?, birthdate=?, "
                       "ownerFirst=?, ownerLast=?, extId=?, breed=?, weight=?, weightUnit=?, "
                       "tsLastChanged=? where patientId=?"),
        {patientName, species, sex, qint64(birthdate), ownerFirst, ownerLast, extId, breed,
         storedWeight(weight), weightUnit, qint64(localTimeStampNow()), patientId},
        "CPatientMan::updatePatient()");
    if (!ok || q.numRowsAffected() != 1) {
        debugLogError("CPatientMan::updatePatient() unable to update patient, patientId="
                      + toStdString(patientId));
        return false;
    }
    // The whole row, so the pending study UID and other ids are the ones of
    // this patient even when another patient was current before.
    return loadPatient(patientId);
}

RowRead readPatientRecord(const QSqlDatabase& db, int patientId, PatientRecord& out, const char* where)
{
    QSqlQuery q(db);
    if (!runQuery(q,
                  QStringLiteral("select patientName, ownerFirst, ownerLast, extId, species, sex, "
                                 "birthdate, breed, weight, weightUnit, tsLastChanged, "
                                 "pendingStudyUuid, otherExtIds from patientTable where patientId=?"),
                  {patientId}, where))
        return RowRead::Failed;
    if (!q.next())
        return RowRead::Missing;
    out.name = q.value(0).toString();
    out.ownerFirst = q.value(1).toString();
    out.ownerLast = q.value(2).toString();
    out.extId = q.value(3).toString();
    out.species = q.value(4).toInt();
    out.sex = q.value(5).toInt();
    out.birthdate = q.value(6).toLongLong();
    out.breed = q.value(7).toString();
    out.weight = q.value(8);
    out.weightUnit = q.value(9).toInt();
    out.tsLastChanged = q.value(10).toLongLong();
    out.pendingStudyUuid = q.value(11).toString();
    out.otherExtIds = q.value(12).toString();
    return RowRead::Found;
}

bool CPatientMan::loadPatient(int patientId)
{
    debugLog(4, "CPatientMan::loadPatient() called, patientId=" + toStdString(patientId));
    PatientRecord row;
    if (readPatientRecord(*m_db, patientId, row, "CPatientMan::loadPatient()") != RowRead::Found) {
        debugLogError("CPatientMan::loadPatient() unable to find patient record, patientId="
                      + toStdString(patientId));
        return false;
    }
    this->patientId = patientId;
    patientName = row.name;
    ownerFirst = row.ownerFirst;
    ownerLast = row.ownerLast;
    extId = row.extId;
    species = row.species;
    sex = row.sex;
    birthdate = row.birthdate;
    breed = row.breed;
    weight = float(row.weight.toDouble());
    weightUnit = row.weightUnit;
    tsLastChanged = row.tsLastChanged;
    pendingStudyUuid = row.pendingStudyUuid;
    otherExtIds = row.otherExtIds;
    rememberCurrent();
    getSpeciesBreedInfo();
    return true;
}

bool CPatientMan::deletePatient(int patientId)
{
    debugLog(4, "CPatientMan::deletePatient() called, patientId=" + toStdString(patientId));
    QSqlQuery q(*m_db);
    const bool deleted = runQuery(q, QStringLiteral("delete from patientTable where patientId=?"),
                                  {patientId}, "CPatientMan::deletePatient()");
    if (!deleted)
        return false;
    const bool removed = q.numRowsAffected() > 0;
    if (patientId != this->patientId)
        return removed;

    QSqlQuery next(*m_db);
    if (runQuery(next,
                 QStringLiteral("select patientId from patientTable "
                                "order by tsLastChanged desc, patientId desc limit 1"),
                 {}, "CPatientMan::deletePatient()")
        && next.next() && loadPatient(next.value(0).toInt())) {
        return true;
    }
    // Nothing to move to: no deleted patient may stay current.
    clearCurrent();
    rememberCurrent();
    return false;
}

int CPatientMan::createPatientfromDcm(int selectedIdx, bool isMwmTable, QString& studyUid,
                                      std::int64_t& tsStudy, int recordedSpecies)
{
    studyUid.clear();
    debugLog(4, "CPatientMan::createPatientfromDcm() selectedIdx=" + toStdString(selectedIdx)
                    + ", isMwmTable=" + (isMwmTable ? "true" : "false"));
    QSqlQuery row(*m_db);
    const QString table = isMwmTable ? QStringLiteral("worklistTable") : QStringLiteral("pacsTable");
    if (!runQuery(row,
                  QStringLiteral("select extId, otherExtIds, patientName, ownerFirst, ownerLast, "
                                 "accno, species, sex, birthdate, breed, weight, weightUnit, "
                                 "tsStudy, sUuid from ")
                      + table + QStringLiteral(" where idx=?"),
                  {selectedIdx}, "CPatientMan::createPatientfromDcm()")
        || !row.next()) {
        debugLogError("CPatientMan::createPatientfromDcm() no row selectedIdx="
                      + toStdString(selectedIdx));
        return -1;
    }
    const QString dcmExtId = row.value(0).toString();
    const QString dcmOtherExtIds = row.value(1).toString();
    const QString dcmName = row.value(2).toString();
    const QString dcmOwnerFirst = row.value(3).toString();
    const QString dcmOwnerLast = row.value(4).toString();
    // The recording's species stands where the entry names none, as it does
    // in the object sent for it.
    const int dcmSpecies = row.value(6).toInt() != 0 ? row.value(6).toInt() : recordedSpecies;
    const int dcmSex = row.value(7).toInt();
    const std::int64_t dcmBirthdate = row.value(8).toLongLong();
    const QString dcmBreed = row.value(9).toString();
    const float dcmWeight = float(row.value(10).toDouble());
    const int dcmWeightUnit = row.value(11).toInt();
    tsStudy = row.value(12).toLongLong();
    studyUid = row.value(13).toString();

    QSqlQuery find(*m_db);
    if (!runQuery(find,
                  QStringLiteral("select patientId from patientTable where extId=? and "
                                 "patientName=? and ownerFirst=? and ownerLast=? "
                                 "order by patientId limit 1"),
                  {dcmExtId, dcmName, dcmOwnerFirst, dcmOwnerLast},
                  "CPatientMan::createPatientfromDcm()")) {
        return -1;
    }
    if (find.next()) {
        const int found = find.value(0).toInt();
        QSqlQuery update(*m_db);
        // Only a worklist entry announces the study of the next recording; a
        // PACS study is already stored and must not become pending.
        const bool ok = isMwmTable
            ? runQuery(update,
                       QStringLiteral("update patientTable set pendingStudyUuid=?, otherExtIds=?, "
                                      "tsLastChanged=? where patientId=?"),
                       {studyUid, dcmOtherExtIds, qint64(localTimeStampNow()), found},
                       "CPatientMan::createPatientfromDcm()")
            : runQuery(update,
                       QStringLiteral("update patientTable set otherExtIds=?, tsLastChanged=? "
                                      "where patientId=?"),
                       {dcmOtherExtIds, qint64(localTimeStampNow()), found},
                       "CPatientMan::createPatientfromDcm()");
        if (!ok || !loadPatient(found))
            return -1;
        return found;
    }
    return createPatient(dcmName, dcmExtId, dcmOwnerFirst, dcmOwnerLast, dcmSpecies, dcmSex,
                         dcmWeight, dcmWeightUnit, dcmBreed, dcmBirthdate,
                         isMwmTable ? studyUid : QString(), dcmOtherExtIds);
}

void CPatientMan::getSpeciesBreedInfo()
{
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select species, hasBreedList from speciesTable where id=?"),
                  {species}, "CPatientMan::getSpeciesBreedInfo()")
        || !q.next()) {
        // No name or breed position of the patient shown before may stay.
        speciesName.clear();
        breedListIdx = -1;
        return;
    }
    speciesName = q.value(0).toString();
    breedListIdx = -1;
    if (q.value(1).toInt() != 0) {
        breedListIdx = 0;
        bool found = false;
        const int count = countQuery(
            QStringLiteral("select count(*) from breedTable where speciesId=? and breed<?"),
            {species, breed}, "CPatientMan::getSpeciesBreedInfo()", found);
        if (found)
            breedListIdx = count;
    }
}

int CPatientMan::speciesIdOfName(int notFound, const char* where)
{
    QSqlQuery q(*m_db);
    int result = notFound;
    if (runQuery(q, QStringLiteral("select id from speciesTable where species=?"), {speciesName},
                 where)
        && q.next()) {
        result = q.value(0).toInt();
    }
    debugLog(4, std::string(where) + " returns basePos=" + toStdString(result));
    return result;
}

int CPatientMan::getSpeciesId()
{
    return speciesIdOfName(-1, "CPatientMan::getSpeciesId()");
}

int CPatientMan::getSpeciesIdByName()
{
    return speciesIdOfName(0, "CPatientMan::getSpeciesIdByName()");
}

int CPatientMan::getSpeciesListIdx()
{
    bool found = false;
    int result = countQuery(QStringLiteral("select count(*) from speciesTable where species<?"),
                            {speciesName}, "CPatientMan::getSpeciesListIdx()", found);
    if (!found)
        result = 0;
    debugLog(4, "CPatientMan::getSpeciesListIdx() returns basePos=" + toStdString(result));
    return result;
}

int CPatientMan::getBreedListIdx()
{
    const int speciesId = getSpeciesId();
    bool found = false;
    int result = countQuery(
        QStringLiteral("select count(*) from breedTable where breed<? and speciesId=?"),
        {breed, speciesId}, "CPatientMan::getBreedListIdx()", found);
    if (!found)
        result = -1;
    debugLog(4, "CPatientMan::getBreedListIdx() returns basePos=" + toStdString(result));
    return result;
}

QString CPatientMan::getFirstBreedOfSpecies(int speciesId)
{
    QSqlQuery q(*m_db);
    QString result;
    if (runQuery(q,
                 QStringLiteral("select breed from breedTable where speciesId=? "
                                "order by id limit 1"),
                 {speciesId}, "CPatientMan::getFirstBreedOfSpecies()")
        && q.next()) {
        result = q.value(0).toString();
    }
    debugLog(4, "CPatientMan::getFirstBreedOfSpecies() returns " + result.toStdString());
    return result;
}

int CPatientMan::getCurrentModelIndex()
{
    // Counts the rows listed before the current patient. The list shows only
    // patients whose species exists (its view joins speciesTable).
    bool found = false;
    int result = countQuery(
        QStringLiteral("select count(*) from patientTable t1 join speciesTable t2 "
                       "on t1.species=t2.id where t1.patientName<? collate nocase "
                       "or (t1.patientName=? collate nocase and (t1.extId<? "
                       "or (t1.extId=? and t1.patientId<?)))"),
        {patientName, patientName, extId, extId, patientId}, "CPatientMan::getCurrentModelIndex()",
        found);
    if (!found)
        result = 0;
    debugLog(4, "CPatientMan::getCurrentModelIndex() returns " + toStdString(result)
                    + " for patientName=" + quoted(patientName));
    return result;
}

bool CPatientMan::upgradeDatabaseContent(int fromVersion, int toVersion)
{
    debugLog(4, "CPatientMan::upgradeDatabaseContent() fromDbVersion=" + toStdString(fromVersion)
                    + ", toDbVersion=" + toStdString(toVersion));
    return true;
}

bool CPatientMan::initDatabaseData()
{
    debugLog(4, "CPatientMan::initDatabaseData() started");
    CDbTransaction transaction(*m_db);
    if (!transaction.isActive())
        return false;
    QSqlQuery q(*m_db);
    for (const SpeciesRow& row : speciesRows(m_applicationType)) {
        if (!runQuery(q,
                      QStringLiteral("insert into speciesTable (id, species, hasBreedList) "
                                     "values (?, ?, ?)"),
                      {row.id, QString::fromLatin1(row.name), row.hasBreedList},
                      "CPatientMan::initDatabaseData()")) {
            return false; // the guard rolls back: all or nothing
        }
    }
    for (const BreedRow& row : breedRows(m_applicationType)) {
        if (!runQuery(q,
                      QStringLiteral("insert into breedTable (id, speciesId, breed) "
                                     "values (?, ?, ?)"),
                      {row.id, row.speciesId, QString::fromLatin1(row.name)},
                      "CPatientMan::initDatabaseData()")) {
            return false;
        }
    }
    return transaction.commit();
}

bool CPatientMan::mendBreedNames()
{
    const char* const where = "CPatientMan::mendBreedNames()";
    for (const BreedMend& mend : breedMends()) {
        const QString written = QString::fromLatin1(mend.written);
        const QString name = QString::fromLatin1(mend.name);
        // Looked for first: a database opened only for reading is not written.
        bool found = false;
        const int broken = countQuery(
            QStringLiteral("select (select count(*) from breedTable where speciesId=? and breed=?)"
                           " + (select count(*) from patientTable where species=? and breed=?)"),
            {mend.speciesId, written, mend.speciesId, written}, where, found);
        if (!found)
            return false;
        if (broken == 0)
            continue;
        CDbTransaction transaction(*m_db);
        QSqlQuery q(*m_db);
        if (!transaction.isActive()
            || !runQuery(q, QStringLiteral("update breedTable set breed=? where speciesId=? and breed=?"),
                         {name, mend.speciesId, written}, where)
            || !runQuery(q, QStringLiteral("update patientTable set breed=? where species=? and breed=?"),
                         {name, mend.speciesId, written}, where)
            || !transaction.commit())
            return false;
    }
    return true;
}

void CPatientMan::rememberCurrent()
{
    if (!m_settings)
        return;
    m_settings->patientId = patientId;
    if (!m_settings->saveSettings(SettingsUncategorized))
        debugLogError("CPatientMan unable to save the current patient id="
                      + toStdString(patientId));
}

void CPatientMan::clearCurrent()
{
    patientId = -1;
    patientName.clear();
    ownerFirst.clear();
    ownerLast.clear();
    extId.clear();
    species = 0;
    speciesName.clear();
    sex = 0;
    weight = 0.0f;
    weightUnit = 0;
    breed.clear();
    birthdate = 0;
    pendingStudyUuid.clear();
    otherExtIds.clear();
    tsLastChanged = 0;
    breedListIdx = -1;
}

int CPatientMan::countQuery(const QString& sql, const QVariantList& values, const char* where,
                            bool& found)
{
    QSqlQuery q(*m_db);
    found = runQuery(q, sql, values, where) && q.next();
    return found ? q.value(0).toInt() : 0;
}
