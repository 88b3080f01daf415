#include "patientflows.h"

#include "dbman.h"
#include "dcmscheduler.h"
#include "debuglog.h"
#include "fileecg.h"
#include "fileman.h"
#include "liveview.h"
#include "localtime.h"
#include "patientman.h"
#include "qmlitems.h"
#include "recordingcontrol.h"
#include "settingsman.h"
#include "sqlutil.h"
#include "uipublisher.h"
#include "uitexts.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QtDebug>

#include <ctime>

using namespace qml;

namespace {

// Offset of local wall-clock time from UTC now, daylight saving included.
std::int64_t localOffsetNow()
{
    const std::time_t now = std::time(nullptr);
    return localTimeStamp(now) - static_cast<std::int64_t>(now);
}

// mktime of the first of a month, 01:00 local standard time; -1 when the
// C library can't give it.
std::int64_t firstOfMonthLocal(int year, int monthIndex)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = monthIndex;
    tm.tm_mday = 1;
    tm.tm_hour = 1;
    tm.tm_isdst = 0;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

// The patient manager answers species and breed questions about its current
// patient's fields: these are lent for the look-up and put back after it.
class BorrowedSpeciesFields
{
public:
    explicit BorrowedSpeciesFields(CPatientMan& p)
        : m_p(p), m_species(p.species), m_speciesName(p.speciesName), m_breed(p.breed),
          m_breedListIdx(p.breedListIdx)
    {
    }
    ~BorrowedSpeciesFields()
    {
        m_p.species = m_species;
        m_p.speciesName = m_speciesName;
        m_p.breed = m_breed;
        m_p.breedListIdx = m_breedListIdx;
    }
    BorrowedSpeciesFields(const BorrowedSpeciesFields&) = delete;
    BorrowedSpeciesFields& operator=(const BorrowedSpeciesFields&) = delete;

private:
    CPatientMan& m_p;
    int m_species;
    QString m_speciesName;
    QString m_breed;
    int m_breedListIdx;
};

} // namespace

PatientFlows::PatientFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                           LiveView& live)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_live(live),
      m_import(*engine.importHandOver)
{
}

void PatientFlows::selectNShowPatient(int patientId, int ecgId)
{
    debugLog(4, "CQmlInterface::selectNShowPatient() patientId=" + toStdString(patientId)
                    + ", fileId=" + toStdString(ecgId));
    CFileMan& files = *m_engine.files;
    {
        CDbTransaction transaction(*m_engine.db->database());
        m_engine.patients->loadPatient(patientId);
        files.selectNumberPatientFilesAvailable(patientId);
        if (ecgId == -1)
            files.selectNewestFile(patientId);
        else
            files.selectFile(ecgId);
        transaction.commit();
    }
    files.ecgBuffer().setFilterOptions(m_engine.settings->powerIs60Hz == 1 ? 2 : 1, true);
    m_publisher.publishPatient();
    m_publisher.showFile();
}

void PatientFlows::patientSelected(int patId)
{
    debugLog(4, "CQmlInterface::patientSelected() patientId=" + toStdString(patId));
    if (patId == -1) {
        m_creatingNewPatient = true;
        return;
    }
    m_creatingNewPatient = false;
    if (patId != m_engine.patients->patientId)
        m_engine.patients->loadPatient(patId);
}

void PatientFlows::setPatientCreatingNew(bool setPatientNew)
{
    debugLog(4, "CQmlInterface::setPatientCreatingNew() setPatientNew=" + toStdString(setPatientNew));
    m_creatingNewPatient = setPatientNew;
}

void PatientFlows::patientListDrawerOpened()
{
    debugLog(4, "CQmlInterface::patientListDrawerOpened()");
}

void PatientFlows::fileListDrawerOpened()
{
    debugLog(4, "CQmlInterface::fileListDrawerOpened()");
}

int PatientFlows::patientGetCurrentModelIndex()
{
    debugLog(4, "CQmlInterface::patientGetCurrentModelIndex()");
    return m_engine.patients->getCurrentModelIndex();
}

int PatientFlows::fileGetCurrentModelIndex()
{
    debugLog(4, "CQmlInterface::fileGetCurrentModelIndex()");
    CFileMan& files = *m_engine.files;
    m_items.set<P::ListDialogFileName>(files.currentFileName());
    m_items.set<P::ListDialogFileId>(files.currentEcgId());
    return files.getCurrentModelIndex(m_engine.patients->patientId);
}

int PatientFlows::speciesOfNewPatient() const
{
    // The recording waiting for this patient carries the species chosen for it.
    if (m_publisher.displayState() == UiPublisher::ShowingFileUnassigned) {
        CFileMan& files = *m_engine.files;
        const CFileEcg* header = files.isStoredFileOpen() ? files.ecgBuffer().getFileEcg() : nullptr;
        return header ? header->speciesCode : 0;
    }
    // Otherwise a preset names the clinic's animal.
    return RecordingControl::storedSpeciesOf(m_engine.settings->selectedSpecies);
}

void PatientFlows::lookUpSpecies(PatientFormValues& patient, bool byName)
{
    CPatientMan& p = *m_engine.patients;
    BorrowedSpeciesFields borrowed(p);
    p.breed = patient.breed;
    if (byName) {
        // A DICOM file names its species and breed.
        p.speciesName = patient.speciesName;
        patient.species = p.getSpeciesIdByName();
        patient.breedListIdx = p.getBreedListIdx();
    } else {
        // A recording file gives the species' number.
        p.species = patient.species;
        p.breedListIdx = -1;
        p.getSpeciesBreedInfo();
        patient.speciesName = p.speciesName;
        patient.breedListIdx = p.breedListIdx;
    }
    patient.speciesListIdx = p.getSpeciesListIdx();
}

void PatientFlows::patientDrawerPopulateObject()
{
    debugLog(4, "CQmlInterface::patientDrawerPopulateObject()");
    CPatientMan& p = *m_engine.patients;
    PatientFormValues v;
    if (m_creatingNewPatient) {
        v.species = speciesOfNewPatient();
        if (v.species > 0)
            lookUpSpecies(v, false);
        if (v.speciesName.isEmpty()) {
            // No species, or one this database does not list.
            v.species = 0;
            v.speciesName = QStringLiteral("Unknown");
            v.speciesListIdx = -1;
            v.breedListIdx = -1;
        }
        v.sex = 1;
        v.weightUnit = m_engine.settings->weightUnitIsPound;
        populateDrawer(-1, v, true);
        return;
    }
    v.name = p.patientName;
    v.extId = p.extId;
    v.ownerFirst = p.ownerFirst;
    v.ownerLast = p.ownerLast;
    v.species = p.species;
    v.speciesListIdx = p.getSpeciesListIdx();
    v.speciesName = p.speciesName;
    v.breedListIdx = p.breedListIdx;
    v.breed = p.breed;
    v.sex = p.sex;
    v.weight = p.weight;
    v.weightUnit = p.weightUnit;
    v.birthdate = p.birthdate;
    populateDrawer(p.patientId, v, false);
}

void PatientFlows::populateDrawerForImport(const PatientFormValues& patient)
{
    debugLog(4, "CQmlInterface::patientDrawerPopulateObject() from the import");
    m_creatingNewPatient = false;
    populateDrawer(-1, patient, false);
}

void PatientFlows::populateDrawer(int patId, const PatientFormValues& v, bool blank)
{
    m_items.set<P::PatInitPatId>(patId);
    m_items.set<P::PatInitPatientName>(v.name);
    m_items.set<P::PatInitExtId>(v.extId);
    m_items.set<P::PatInitOFirst>(v.ownerFirst);
    m_items.set<P::PatInitOLast>(v.ownerLast);
    m_items.set<P::PatInitSpeciesIdx>(v.species);
    m_items.set<P::PatInitSpeciesListIdx>(v.speciesListIdx);
    m_items.set<P::PatInitSpeciesValue>(v.speciesName);
    m_items.set<P::PatInitBreedListIdx>(v.breedListIdx);
    m_items.set<P::PatInitBreedValue>(v.breed);
    m_items.set<P::PatInitGenderIndex>(v.sex);
    m_items.set<P::PatInitWeight>(blank ? QString() : QString::number(v.weight, 'g', 6));
    m_items.set<P::PatInitWeightUnitIsPound>(v.weightUnit);
    m_items.set<P::PatInitCurrentYear>(QDateTime::currentDateTimeUtc().date().year());

    if (!blank && v.birthdate != 0) {
        m_items.set<P::PatInitBirthdayTs>(static_cast<double>(v.birthdate));
        patientDrawerPopulateAge(v.birthdate);
        patientDrawerPopulateBirthday(v.birthdate);
        m_items.invoke<C::PatDoSetValues>();
    } else {
        m_items.set<P::PatInitBirthdayTs>(0.0);
    }
}

void PatientFlows::patientDrawerPopulateAge(qint64 ts)
{
    debugLog(4, "CQmlInterface::patientDrawerPopulateAge(), ts=" + toStdString(ts));
    const qint64 days = (static_cast<qint64>(std::time(nullptr)) - ts) / 86400;
    const qint64 years = days / 365;
    // Five days of a year are left over after twelve 30-day months: they
    // still count as month 11, never as a twelfth month.
    const qint64 months = std::min<qint64>((days % 365) / 30, 11);
    m_items.set<P::PatInitAgeYear>(QString::number(years));
    m_items.set<P::PatInitAgeMonth>(QString::number(months));
}

void PatientFlows::patientDrawerPopulateBirthday(qint64 ts)
{
    debugLog(4, "CQmlInterface::patientDrawerPopulateBirthday(), ts=" + toStdString(ts));
    QString text;
    if (ts > 0) {
        const QDate date = QDateTime::fromSecsSinceEpoch(ts, Qt::UTC).date();
        if (date.isValid() && date.year() <= 9999)
            text = QStringLiteral("%1/%2").arg(date.month(), 2, 10, QLatin1Char('0')).arg(date.year());
    }
    m_items.set<P::PatInitBirthday>(text);
}

void PatientFlows::checkBirthdayInput(const QString& birthdayTextFieldMMYYYY)
{
    debugLog(4, "CQmlInterface::checkBirthdayInput()");
    m_items.set<P::PatInitBirthdayTs>(0.0);
    const QString& text = birthdayTextFieldMMYYYY;
    if (text.size() < 4 || text.at(2) != QLatin1Char('/'))
        return;
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 2)
        return;
    const int month = parts.at(0).toInt();
    const int year = parts.at(1).toInt();
    // A birthday can't lie in a later year than this one.
    const int currentYear = QDateTime::currentDateTimeUtc().date().year();
    if (month < 1 || month > 12 || year < 1969 || year > currentYear)
        return;
    std::int64_t t = firstOfMonthLocal(year, month - 1);
    if (t < 0)
        t = 0;
    std::int64_t ts = t + localOffsetNow();
    if (ts < 0)
        ts = t;
    patientDrawerPopulateAge(ts);
    m_items.set<P::PatInitBirthdayTs>(static_cast<double>(ts));
}

void PatientFlows::checkAgeInput(const QString& ageTextFieldY, const QString& ageTextFieldM)
{
    debugLog(4, "CQmlInterface::checkAgeInput()");
    m_items.set<P::PatInitBirthdayTs>(0.0);
    const int years = ageTextFieldY.toInt();
    const int months = ageTextFieldM.toInt();
    if (months < 0 || months > 11 || years < 0)
        return;
    const QDate today = QDateTime::currentDateTimeUtc().date();
    int monthIndex = today.month() - 1;
    qint64 year = today.year();
    if (monthIndex < months) {
        monthIndex += 12;
        --year;
    }
    monthIndex -= months;
    year -= years;
    if (year < 1970)
        return;
    const std::int64_t c = firstOfMonthLocal(static_cast<int>(year), monthIndex);
    std::int64_t ts = c + localOffsetNow();
    if (ts < 0)
        ts = c;
    if (ts >= 0) {
        patientDrawerPopulateBirthday(ts);
        m_items.set<P::PatInitBirthdayTs>(static_cast<double>(ts));
    }
}

QString PatientFlows::getFirstEntryInBreedList(int speciesId)
{
    return m_engine.patients->getFirstBreedOfSpecies(speciesId);
}

void PatientFlows::testPatientsForEcgs(int patientId)
{
    QSqlQuery q(*m_engine.db->database());
    int count = 0;
    q.prepare(QStringLiteral("select count(*) from ecgTable where patientId=?"));
    q.addBindValue(patientId);
    qDebug().noquote() << "select count(*) from ecgTable where patientId=" + QString::number(patientId);
    if (q.exec() && q.next())
        count = q.value(0).toInt();
    else if (q.lastError().isValid())
        debugLogError("CQmlInterface::testPatientsForEcgs() " + q.lastError().text().toStdString());
    m_items.set<P::PatNumberOfEcgsToPatient>(count);
}

int PatientFlows::patientUpdated(int patId, const QString& patientName, const QString& patientId,
                                 const QString& patientFirst, const QString& patientLast,
                                 int species, const QString& breed, int gender,
                                 const QString& weightString, bool weightUnitIsPound,
                                 quint32 tsBirthdate)
{
    debugLog(4, "CQmlInterface::patientUpdated() patId=" + toStdString(patId)
                    + ", weight=" + weightString.toStdString());
    const float weight = weightString.toFloat();
    const int unit = weightUnitIsPound ? 1 : 0;
    const std::int64_t birth = static_cast<std::int64_t>(tsBirthdate);
    CPatientMan& p = *m_engine.patients;
    CDbTransaction transaction(*m_engine.db->database());
    if (patId == -1) {
        const int newId = p.createPatient(patientName, patientId, patientFirst, patientLast, species,
                                          gender, weight, unit, breed, birth, QString(), QString());
        if (!transaction.commit() || newId < 0) {
            debugLogError("CQmlInterface::patientUpdated() the patient could not be stored");
            return -1;
        }
        if (m_publisher.displayState() != UiPublisher::ShowingFileUnassigned)
            selectNShowPatient(newId, -1);
        return newId;
    }
    const bool updated = p.updatePatient(patId, patientName, patientId, patientFirst, patientLast,
                                         species, gender, weight, unit, breed, birth);
    const bool stored = transaction.commit() && updated;
    if (!stored)
        debugLogError("CQmlInterface::patientUpdated() patient " + toStdString(patId)
                      + " could not be updated");
    m_publisher.publishPatient();
    return stored ? patId : -1;
}

void PatientFlows::patientDeleted(int patId)
{
    debugLog(4, "CQmlInterface::patientDeleted() patId=" + toStdString(patId));
    CPatientMan& p = *m_engine.patients;
    // Patient 0 holds the recordings that wait for their patient.
    if (patId <= 0) {
        debugLogError("CQmlInterface::patientDeleted() refusing patient " + toStdString(patId));
        return;
    }
    QStringList fileNames;
    bool committed = false;
    {
        // The rows go together or not at all; the files only once they have.
        CDbTransaction transaction(*m_engine.db->database());
        const bool wasCurrent = patId == p.patientId;
        const bool rowsDeleted = m_engine.files->deletePatientRows(patId, fileNames);
        const bool patientDeleted =
            rowsDeleted && (p.deletePatient(patId) || (wasCurrent && p.patientId == -1));
        if (patientDeleted)
            committed = transaction.commit();
        else
            transaction.rollback();
    }
    if (!committed) {
        debugLogError("CQmlInterface::patientDeleted() patient " + toStdString(patId)
                      + " could not be deleted");
        fileAlert(false);
        selectNShowPatient(patId, -1);
        return;
    }
    if (!m_engine.files->removeRecordingFiles(fileNames))
        fileAlert(false);
    selectNShowPatient(p.patientId, -1);
}

void PatientFlows::fileSelectedLocal(int patientId, int ecgId)
{
    debugLog(4, "CQmlInterface::fileSelected() patientId=" + toStdString(patientId)
                    + ", fileId=" + toStdString(ecgId));
    m_items.set<P::StreamRefreshTimerRunning>(false);
    if (patientId == 0) {
        // A recording that waits for its patient is offered for assignment,
        // never shown as someone's.
        m_publisher.setDisplayState(UiPublisher::ShowingFileUnassigned);
        selectNShowPatient(m_engine.patients->patientId, ecgId);
        m_publisher.showStateOfCurrent();
        tellIfUnreadable(ecgId);
        return;
    }
    m_publisher.setShowingAssigned();
    selectNShowPatient(patientId, ecgId);
    tellIfUnreadable(ecgId);
}

void PatientFlows::tellIfUnreadable(int ecgId)
{
    const CFileMan& files = *m_engine.files;
    if (ecgId < 0 || files.currentEcgId() != ecgId || files.isStoredFileOpen() || files.isRecording()
        || files.storedFileRefusal().isEmpty())
        return;
    m_items.invoke<C::QmlAlertBoxFileReadError>(uitexts::refusedRecording(files.storedFileRefusal()));
}

void PatientFlows::showCurrentRecording()
{
    const CFileMan& files = *m_engine.files;
    // An assigned recording comes with its own patient; a pending one keeps
    // the patient last shown, who does not own it (state 4).
    const int owner = files.currentEcgId() >= 0 ? files.currentPatientId() : -1;
    selectNShowPatient(owner > 0 ? owner : m_engine.patients->patientId, files.currentEcgId());
    m_publisher.showStateOfCurrent();
}

void PatientFlows::fileDeletedLocal(int ecgId)
{
    debugLog(4, "CQmlInterface::fileDeleted() fileId=" + toStdString(ecgId));
    bool ok = false;
    m_engine.files->deleteFile(m_engine.patients->patientId, ecgId, &ok);
    if (!ok)
        fileAlert(false);
    m_publisher.showFile();
}

void PatientFlows::fileDeletedLocalIgnorePatient(int ecgId)
{
    debugLog(4, "CQmlInterface::fileDeleted() fileId=" + toStdString(ecgId));
    bool ok = false;
    m_engine.files->deleteFileIgnorePatient(m_engine.patients->patientId, ecgId, &ok);
    if (!ok)
        fileAlert(false);
    m_publisher.showFile();
}

void PatientFlows::patientSelectionPending(const QStringList& texts)
{
    debugLog(4, "CQmlInterface::patientSelectionPending()");
    auto t = [&texts](int i) { return texts.value(i); };
    m_items.invoke<C::QmlOpenPopup>(t(0), t(1), t(2), t(3), t(4), t(5), t(6), t(7), t(8));
}

void PatientFlows::patientSelectionConfirmed(bool userHasConfirmed, bool isImportedEcg)
{
    debugLog(4, std::string("CQmlInterface::patientSelectionConfirmed() userHasConfirmed=")
                    + (userHasConfirmed ? "true" : "false"));
    if (isImportedEcg)
        m_items.invoke<C::QmlSelectionConfirmedFromImport>(userHasConfirmed);
    else
        m_items.invoke<C::QmlSelectionConfirmed>(userHasConfirmed);
}

bool PatientFlows::assignPending(int patientId, const char* flow)
{
    CFileMan& files = *m_engine.files;
    const int status = m_engine.settings->dicomPacsConfigStatus;
    // Only the recording that waits for its patient is ever given away.
    if (files.currentEcgId() < 0 || files.currentPatientId() != 0 || patientId <= 0) {
        debugLogError("CQmlInterface::ecgPatientAssignment() no pending recording to give to patient "
                      + toStdString(patientId) + " (current recording "
                      + toStdString(files.currentEcgId()) + " of patient "
                      + toStdString(files.currentPatientId()) + ")");
        fileAlert(false);
        return false;
    }
    const int ecgId = files.currentEcgId();
    // Marked for a configured PACS also while it does not pass its test: the
    // background sends it once the PACS answers.
    if (!files.assignPendingEcg(patientId, CDcmScheduler::pacsConfigured(m_engine.settings))) {
        debugLogError("CQmlInterface::ecgPatientAssignment() recording " + toStdString(ecgId)
                      + " could not be given to patient " + toStdString(patientId));
        fileAlert(false);
        return false;
    }
    m_publisher.setShowingAssigned();
    // The recording just assigned, whatever else the patient has.
    selectNShowPatient(patientId, ecgId);
    if (status == 1)
        sendAssignedToPacs(flow);
    else
        debugLog(2, std::string("CQmlInterface::") + flow
                        + " no upload to pacs, dcmPacsAccountVerified=" + toStdString(status));
    return true;
}

void PatientFlows::sendAssignedToPacs(const char* flow)
{
    debugLog(2, std::string("CQmlInterface::") + flow + " starting upload to pacs");
    if (!m_pacsSender) {
        debugLogError(std::string("CQmlInterface::") + flow + " no DICOM client to send with");
        return;
    }
    m_pacsSender();
}

void PatientFlows::ecgPatientAssignment(int selectedIndex)
{
    debugLog(4, "CQmlInterface::ecgPatientAssignment() patientId=" + toStdString(selectedIndex)
                    + ", dcmPacsAccountVerified="
                    + toStdString(m_engine.settings->dicomPacsConfigStatus));
    assignPending(selectedIndex);
}

void PatientFlows::ecgPatientAssignmentFromImport(int patientId)
{
    debugLog(4, "CQmlInterface::ecgPatientAssignment() patientId=" + toStdString(patientId)
                    + ", dcmPacsAccountVerified="
                    + toStdString(m_engine.settings->dicomPacsConfigStatus));
    assignImportedRecording(patientId, QString(), m_import.startTime, "ecgPatientAssignment");
}

bool PatientFlows::hasImportToAssign() const
{
    return !m_import.sourcePath.isEmpty() && QFileInfo(m_import.sourcePath).isFile();
}

bool PatientFlows::assignImportedRecording(int patientId, const QString& studyUid, qint64 startTime,
                                           const char* flow)
{
    const std::string where = std::string("CQmlInterface::") + flow + "()";
    CFileMan& files = *m_engine.files;
    CPatientMan& p = *m_engine.patients;
    const QString source = m_import.sourcePath;
    if (!hasImportToAssign() || patientId <= 0) {
        debugLogError(where + " nothing to import: " + source.toStdString());
        m_items.invoke<C::QmlAlertBoxFileReadError>(QString());
        return false;
    }
    // A failure puts the managers back on what the screen shows, which was
    // never changed: nothing of the import is left behind.
    const int shownPatient = p.patientId;
    const int shownEcg = files.currentEcgId();
    auto putBack = [&] {
        if (p.patientId != shownPatient && shownPatient > 0)
            p.loadPatient(shownPatient);
        if (files.currentEcgId() != shownEcg) {
            if (shownEcg >= 0)
                files.selectFile(shownEcg);
            else
                files.selectNewestFile(shownPatient);
        }
    };
    if (p.patientId != patientId && !p.loadPatient(patientId)) {
        debugLogError(where + " no patient " + toStdString(patientId));
        fileAlert(false);
        return false;
    }

    const QString name = files.reserveNextFilename(0, 1, studyUid, startTime);
    if (name.isEmpty()) {
        putBack();
        fileAlert(true);
        return false;
    }
    const QString destination = files.dataFolder() + name;

    CFileEcg copy;
    copy.patientName = p.patientName.toStdString();
    copy.ownerFirstName = p.ownerFirst.toStdString();
    copy.ownerLastName = p.ownerLast.toStdString();
    copy.extPatientId = p.extId.toStdString();
    if (p.birthdate > 0)
        copy.patientBirthdate = std::to_string(p.birthdate);
    copy.genderCode = p.sex;
    copy.speciesCode = p.species;
    copy.recordingTime = startTime;

    const qint64 sourceSize = QFileInfo(source).size();
    const int copied = files.ecgBuffer().copyEcgFile(QFile::encodeName(source).toStdString(),
                                                     QFile::encodeName(destination).toStdString(),
                                                     true, &copy);
    // Anything short of the whole input is a failure: no part of it is kept.
    bool ok = copied >= 0 && copied == sourceSize;
    if (ok)
        ok = files.setEntryCnt() && files.commitNextFilename(false);
    if (!ok) {
        debugLogError(where + " copy of " + source.toStdString() + " failed (" + toStdString(copied)
                      + " of " + toStdString(sourceSize) + " bytes)");
        if (files.hasPendingReservation())
            files.releaseReservation();
        QFile::remove(destination);
        putBack();
        fileAlert(true);
        return false;
    }

    const int copyId = files.currentEcgId();
    if (!assignPending(patientId, flow)) {
        // The copy would wait for a patient no one chose: it goes again, and
        // the import stays handed over for another try.
        bool removed = false;
        files.deleteFile(0, copyId, &removed);
        if (!removed)
            debugLogError(where + " the unassigned copy " + name.toStdString() + " stays pending");
        putBack();
        return false;
    }
    m_live.streamStartStop(false);
    fileSelectedLocal(patientId, files.currentEcgId());

    if (!m_import.temporaryPath.isEmpty() && m_import.temporaryPath == m_import.sourcePath)
        QFile::remove(m_import.temporaryPath);
    m_import = ImportHandOver{};
    return true;
}

void PatientFlows::ecgPatientAssignmentAborted()
{
    debugLog(4, "CQmlInterface::ecgPatientAssignmentAborted()");
    CFileMan& files = *m_engine.files;
    if (files.currentEcgId() < 0 || files.currentPatientId() != 0)
        return;
    bool ok = false;
    // Patient 0: only the pending recording can go.
    files.deleteFile(0, files.currentEcgId(), &ok);
    if (!ok)
        fileAlert(false);
}

bool PatientFlows::storeImage(const QString& imgPath)
{
    QSqlQuery q(*m_engine.db->database());
    q.prepare(QStringLiteral("insert into pictureTable (patientId, imgPath, imgType) values(?, ?, 0)"));
    q.addBindValue(m_engine.patients->patientId);
    q.addBindValue(imgPath);
    qDebug().noquote() << "insert into pictureTable (patientId, imgPath, imgType) values("
                              + QString::number(m_engine.patients->patientId) + ", ?, 0)";
    if (!q.exec()) {
        debugLogError("CQmlInterface::storeImage() " + q.lastError().text().toStdString());
        return false;
    }
    return true;
}

QStringList PatientFlows::retrieveImages()
{
    QStringList paths;
    QSqlQuery q(*m_engine.db->database());
    q.prepare(QStringLiteral("select imgPath from pictureTable where patientId = ? order by idx"));
    q.addBindValue(m_engine.patients->patientId);
    if (!q.exec()) {
        debugLogError("CQmlInterface::retrieveImages() " + q.lastError().text().toStdString());
        return paths;
    }
    while (q.next())
        paths << q.value(0).toString();
    return paths;
}

void PatientFlows::fileAlert(bool isFileCreation)
{
    m_items.invoke<C::QmlAlertBoxFileWriteError>(isFileCreation);
}
