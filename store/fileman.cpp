#include "fileman.h"

#include "debuglog.h"
#include "ecgrecords.h"
#include "fileecg.h"
#include "filesafety.h"
#include "localtime.h"
#include "settingsman.h"
#include "sqlexec.h"
#include "sqlutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>
#include <ctime>
#include <limits>

namespace {

constexpr std::int64_t kMaxGivenTime = 9999999999LL;
constexpr std::int64_t kEcgDataStart = 110000;
constexpr std::int64_t kEcgRecordSize = 16;

const char* const kRowColumns = "ecgId, patientId, fileName, qvlCaseId, qvlCaseUrl, qvlCaseStatus, "
                                "ecgTime, pacsTs, pacsStudyUuid, pacsStatus, cloudFileId";

// Broken-down UTC of a stamp that already holds local wall-clock seconds.
bool brokenDown(std::int64_t stamp, std::tm& out)
{
    const std::time_t t = static_cast<std::time_t>(stamp);
    return gmtime_r(&t, &out) != nullptr;
}

std::string argText(const char* name, const QString& value)
{
    return std::string(", ") + name + "=" + value.toStdString();
}

CFileMan::StepHook g_stepHook = nullptr;

} // namespace

void CFileMan::stepDone(const char* step)
{
    if (g_stepHook)
        g_stepHook(step);
}

std::string CFileMan::birthdateText(std::int64_t birthdate)
{
    std::tm tm{};
    if (birthdate == 0 || !brokenDown(birthdate, tm))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return text;
}

CFileMan::CFileMan(const QString& dataFolder, QSqlDatabase* database, CSettingsMan* settings,
                   int fromVersion, int toVersion)
    : m_db(database)
    , m_settings(settings)
    , m_dataFolder(dataFolder)
{
    debugLog(4, "entering CFileMan constructor");
    if (!m_dataFolder.isEmpty() && !m_dataFolder.endsWith(QLatin1Char('/'))
        && !m_dataFolder.endsWith(QDir::separator())) {
        m_dataFolder += QLatin1Char('/');
    }
    if (fromVersion != toVersion)
        upgradeDatabaseContent(fromVersion, toVersion);

    QSqlQuery seq(*m_db);
    if (runQuery(seq, QStringLiteral("select seq from SQLITE_SEQUENCE where name='ecgTable'"), {},
                 "CFileMan()")
        && seq.next()) {
        m_nextRecordingId = seq.value(0).toInt() + 1;
    }

    const int savedId = m_settings ? m_settings->fileId : -1;
    if (!loadCurrent(QStringLiteral("ecgId=?"), savedId, "CFileMan()")) {
        // The file itself is opened when the bridge shows the recording.
        selectNewestFile(m_settings ? m_settings->patientId : 0);
    }
    debugLog(4, "leaving CFileMan constructor");
}

CFileMan::~CFileMan() = default;

void CFileMan::setStepHook(StepHook hook)
{
    g_stepHook = hook;
}

QString CFileMan::nameAfterPatient(const QString& fileName)
{
    const int underscore = int(fileName.indexOf(QLatin1Char('_')));
    return underscore < 0 ? QString() : fileName.mid(underscore);
}

bool CFileMan::isPlainFileName(const QString& fileName)
{
    return !fileName.isEmpty() && fileName != QLatin1String(".") && fileName != QLatin1String("..")
        && !fileName.contains(QLatin1Char('/')) && !fileName.contains(QLatin1Char('\\'))
        && !fileName.contains(QChar(0));
}

QString CFileMan::makeFileName(int patientId, int ecgId, std::int64_t localStamp, int fileType)
{
    std::tm tm{};
    char timeText[32] = {};
    if (brokenDown(localStamp, tm)) {
        std::snprintf(timeText, sizeof timeText, "%04d%02d%02d_%02d%02d%02d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    }
    QString name = QString::number(patientId) + QLatin1Char('_') + QString::number(ecgId)
        + QLatin1Char('_') + QString::fromLatin1(timeText);
    switch (fileType) {
    case 1: name += QLatin1String(".ecg"); break;
    case 2: name += QLatin1String(".dat"); break;
    case 3: name += QLatin1String(".dce"); break;
    default: break;
    }
    return name;
}

bool CFileMan::reserve(Reservation& reservation, const Reservation& other, int patientId,
                       int fileType, const QString& studyUid, std::int64_t time)
{
    if (reservation.pending) {
        debugLogError("CFileMan::reserveNextFilename() refused, " + reservation.fileName.toStdString()
                      + " is still reserved");
        return false;
    }
    const std::int64_t t = (time > 0 && time <= kMaxGivenTime) ? time : localTimeStampNow();
    // The id in the name is the one the row is expected to get; it skips an
    // id the other flow holds and never names a file that is already there.
    int id = m_nextRecordingId;
    QString name;
    for (;;) {
        name = makeFileName(patientId, id, t, fileType);
        if ((other.pending && other.recordingId == id) || QFileInfo::exists(filePath(name))) {
            ++id;
            continue;
        }
        break;
    }
    reservation.pending = true;
    reservation.recordingId = id;
    reservation.patientId = patientId;
    reservation.fileName = name;
    reservation.entryCount = 0;
    reservation.startTime = t;
    reservation.studyUid = studyUid;
    return true;
}

QString CFileMan::reserveNextFilename(int patientId, int fileType, const QString& studyUid,
                                      std::int64_t time)
{
    debugLog(4, "CFileMan::reserveNextFilename() patientId=" + toStdString(patientId)
                    + ", fileType=" + toStdString(fileType) + argText("studyUid", studyUid)
                    + ", time=" + toStdString(static_cast<long long>(time)));
    if (!reserve(m_external, m_live, patientId, fileType, studyUid, time))
        return QString();
    return m_external.fileName;
}

void CFileMan::releaseReservation()
{
    debugLog(4, "CFileMan::releaseReservation() fileName=" + m_external.fileName.toStdString());
    m_external = Reservation();
}

bool CFileMan::setEntryCnt()
{
    debugLog(4, "CFileMan::setEntryCnt() fileName=" + m_external.fileName.toStdString());
    if (!m_external.pending) {
        debugLogError("CFileMan::setEntryCnt() no file name reserved");
        return false;
    }
    const QFileInfo info(filePath(m_external.fileName));
    if (!info.exists()) {
        debugLogError("CFileMan::setEntryCnt() no file " + info.filePath().toStdString());
        m_external.entryCount = 0;
        return false;
    }
    const std::int64_t count = (std::int64_t(info.size()) - kEcgDataStart) / kEcgRecordSize;
    m_external.entryCount = count < 0 ? 0
        : int(std::min<std::int64_t>(count, std::numeric_limits<int>::max()));
    return true;
}

bool CFileMan::commitNextFilename(bool alreadyInPacs)
{
    debugLog(4, std::string("CFileMan::commitNextFilename() alreadyInPacs=")
                    + (alreadyInPacs ? "true" : "false"));
    if (m_external.pending && !QFileInfo::exists(filePath(m_external.fileName))) {
        debugLogError("CFileMan::commitNextFilename() reserved file is missing "
                      + filePath(m_external.fileName).toStdString());
        m_external = Reservation();
        return false;
    }
    // The new file's name is on the disk before a row names it.
    if (m_external.pending && !platform::syncFolder(bufferFolder()))
        debugLogError("CFileMan::commitNextFilename() unable to sync the data folder");
    return commit(m_external, alreadyInPacs, "CFileMan::commitNextFilename()");
}

bool CFileMan::commit(Reservation& r, bool alreadyInPacs, const char* where)
{
    if (!r.pending) {
        debugLogError(std::string(where) + " no file name reserved");
        return false;
    }
    const std::int64_t ts = localTimeStampNow();
    if (r.studyUid.isEmpty())
        r.studyUid = makeDicomUid(QString());
    if (r.studyUid.isEmpty()) {
        debugLogError(std::string(where) + " no study UID for " + r.fileName.toStdString());
        return false;
    }
    // The duration lists show; a file that can't be read through now is
    // counted at a later start.
    const int samples = recordedSamplesOf(filePath(r.fileName));
    QSqlQuery q(*m_db);
    const bool ok = runQuery(
        q,
        QStringLiteral("insert into ecgTable(patientId, ecgTime, fileSize, fileName, tsLastChanged, "
                       "pacsStudyUuid, pacsTs, pacsStatus, sampleCount) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {r.patientId, qint64(r.startTime), r.entryCount, r.fileName, qint64(ts), r.studyUid,
         qint64(alreadyInPacs ? ts : 0), alreadyInPacs ? int(PacsSent) : int(PacsUnmarked), samples},
        where);
    const QVariant newId = ok ? q.lastInsertId() : QVariant();
    if (!ok || !newId.isValid()) {
        // The file stays where it is; the next reservation takes another name.
        debugLogError(std::string(where) + " unable to insert the row of " + r.fileName.toStdString());
        r = Reservation();
        return false;
    }
    const int ecgId = newId.toInt();
    m_nextRecordingId = std::max(m_nextRecordingId, ecgId + 1);
    r = Reservation();
    ++m_patientFileCount;
    selectFile(ecgId);
    return true;
}

bool CFileMan::ecgFileCreate(int patientId, const QString& patientName,
                             const QString& ownerFirstName, const QString& ownerLastName,
                             const QString& extPatientId, std::int64_t birthDate, int species,
                             int gender, const QString& studyUid)
{
    debugLog(4, "CFileMan::ecgFileCreate() patientId=" + toStdString(patientId)
                    + argText("patientName", patientName) + argText("studyUid", studyUid));
    if (m_live.pending) {
        debugLogError("CFileMan::ecgFileCreate() refused, a recording is running");
        return false;
    }
    // The buffer's file object is about to hold the new recording.
    closeViewedFile();
    const std::int64_t ts = localTimeStampNow();
    if (!reserve(m_live, m_external, patientId, 1, studyUid, ts))
        return false;
    const QString destination = filePath(m_live.fileName);

    CFileEcg* file = m_buffer.getFileEcg();
    if (!file) {
        file = new CFileEcg();
        m_buffer.setFileEcg(file);
    }
    file->resetHeaderData();
    file->patientName = patientName.toStdString();
    file->ownerFirstName = ownerFirstName.toStdString();
    file->ownerLastName = ownerLastName.toStdString();
    file->extPatientId = extPatientId.toStdString();
    file->patientBirthdate = birthdateText(birthDate);
    file->recordingTime = ts;
    file->speciesCode = species;
    file->genderCode = gender;
    debugLog(2, "set file header w/ patientName=" + file->patientName + ", ownerFirstName="
                    + file->ownerFirstName + ", ownerLastName=" + file->ownerLastName
                    + ", extPatientId=" + file->extPatientId + ", patientBirthdate="
                    + file->patientBirthdate + ", tsStudy=" + toStdString(static_cast<long long>(ts)));
    if (!file->createFile(destination.toStdString())) {
        debugLogError("CFileMan::ecgFileCreate() unable to create file " + destination.toStdString());
        m_live = Reservation();
        return false;
    }
    // The new name is on the disk, so a run that ends abruptly leaves a file
    // the next start finds.
    if (!platform::syncFolderOf(destination.toStdString()))
        debugLogError("CFileMan::ecgFileCreate() unable to sync the folder of " + destination.toStdString());
    return true;
}

bool CFileMan::addEntry(const EcgStreamSample& sample)
{
    if (!m_live.pending || m_live.writeFailed)
        return false;
    if (!m_buffer.addSample(sample)) {
        m_live.writeFailed = true;
        debugLogError("CFileMan::addEntry() unable to write to " + m_live.fileName.toStdString());
        return false;
    }
    ++m_live.entryCount;
    return true;
}

bool CFileMan::writeThrough()
{
    if (!m_live.pending || m_live.writeFailed)
        return false;
    if (!m_buffer.writeThrough()) {
        m_live.writeFailed = true;
        debugLogError("CFileMan::writeThrough() unable to write to " + m_live.fileName.toStdString());
        return false;
    }
    return true;
}

bool CFileMan::markRecordingTrailer(int records)
{
    debugLog(4, "CFileMan::markRecordingTrailer() records=" + toStdString(records));
    CFileEcg* file = m_buffer.getFileEcg();
    if (!m_live.pending || m_live.writeFailed || !file)
        return false;
    const bool ok = file->retypeLastRecords(records, ECG_SAMPLE, ECG_SAMPLE_LEADIN);
    if (!ok && file->hasWriteFailed()) {
        m_live.writeFailed = true;
        debugLogError("CFileMan::markRecordingTrailer() unable to write to " + m_live.fileName.toStdString());
    }
    stepDone("trailer");
    return ok;
}

// Whole records of a recording file as it stands on the disk.
int CFileMan::recordsOnDisk(const QString& fileName) const
{
    const QFileInfo info(filePath(fileName));
    const std::int64_t count = (std::int64_t(info.size()) - kEcgDataStart) / kEcgRecordSize;
    return count < 0 ? 0 : int(std::min<std::int64_t>(count, std::numeric_limits<int>::max()));
}

bool CFileMan::ecgFileCreateEnd()
{
    debugLog(4, "CFileMan::ecgFileCreateEnd() entries=" + toStdString(m_live.entryCount));
    if (!m_live.pending) {
        debugLogError("CFileMan::ecgFileCreateEnd() no recording running");
        return false;
    }
    const bool finished = m_buffer.finishFile() && !m_live.writeFailed;
    stepDone("finished");
    if (!finished)
        debugLogError("CFileMan::ecgFileCreateEnd() the file did not close cleanly "
                      + m_live.fileName.toStdString());
    // The row counts what is on the disk, which after a failed write is less
    // than what was added.
    const int onDisk = recordsOnDisk(m_live.fileName);
    if (onDisk != m_live.entryCount)
        debugLogError("CFileMan::ecgFileCreateEnd() " + m_live.fileName.toStdString() + " holds "
                      + toStdString(onDisk) + " of " + toStdString(m_live.entryCount) + " records");
    m_live.entryCount = onDisk;
    // The row is stored in any case: the samples written are the user's.
    const bool committed = commit(m_live, false, "CFileMan::ecgFileCreateEnd()");
    stepDone("committed");
    return finished && committed;
}

bool CFileMan::loadCurrent(const QString& where, const QVariant& key, const char* caller)
{
    QSqlQuery q(*m_db);
    if (!runQuery(q,
                  QStringLiteral("select ") + QLatin1String(kRowColumns)
                      + QStringLiteral(" from ecgTable where ") + where,
                  {key}, caller)
        || !q.next()) {
        return false;
    }
    m_ecgId = q.value(0).toInt();
    m_patientId = q.value(1).toInt();
    m_fileName = q.value(2).toString();
    m_qvlCaseId = q.value(3).toString();
    m_qvlCaseUrl = q.value(4).toString();
    m_qvlCaseStatus = q.value(5).toInt();
    m_ecgTime = q.value(6).toLongLong();
    m_pacsTs = q.value(7).toLongLong();
    m_pacsStudyUuid = q.value(8).toString();
    m_pacsStatus = q.value(9).toInt();
    m_cloudFileId = q.value(10).toInt();
    return true;
}

void CFileMan::clearCurrent()
{
    m_ecgId = -1;
    m_patientId = -1;
    m_fileName.clear();
    m_ecgTime = 0;
    m_qvlCaseId.clear();
    m_qvlCaseUrl.clear();
    m_qvlCaseStatus = 0;
    m_pacsTs = 0;
    m_pacsStatus = 0;
    m_pacsStudyUuid.clear();
    m_cloudFileId = 0;
}

void CFileMan::closeViewedFile()
{
    m_storedFileRefusal.clear();
    if (m_live.pending)
        return; // the buffer holds the recording being made
    if (m_buffer.isFileInUse())
        m_buffer.closeFile();
    m_storedFileOpen = false;
}

void CFileMan::openCurrentFile(const char* caller)
{
    closeViewedFile();
    if (m_live.pending) {
        debugLog(2, std::string(caller) + " recording running, file not opened");
        return;
    }
    if (!isPlainFileName(m_fileName)) {
        debugLogError(std::string(caller) + " refusing the stored file name " + m_fileName.toStdString());
        m_storedFileOpen = false;
        m_storedFileRefusal = QStringLiteral("Its file name is not one of this program's.");
        return;
    }
    m_storedFileOpen = m_buffer.openFile(bufferFolder(), m_fileName.toStdString(), 1);
    if (!m_storedFileOpen) {
        const CFileEcg* file = m_buffer.getFileEcg();
        m_storedFileRefusal = file && !file->refusal().empty() ? QString::fromStdString(file->refusal())
                                                               : QStringLiteral("It can't be read.");
        debugLogError(std::string(caller) + " unable to open input file " + m_fileName.toStdString() + ": "
                      + m_storedFileRefusal.toStdString());
    }
}

void CFileMan::rememberCurrent()
{
    if (!m_settings)
        return;
    m_settings->fileId = m_ecgId;
    if (!m_settings->saveSettings(SettingsUncategorized))
        debugLogError("CFileMan unable to save the current recording id=" + toStdString(m_ecgId));
}

int CFileMan::selectFile(int ecgId)
{
    debugLog(4, "CFileMan::selectFile() ecgId=" + toStdString(ecgId));
    if (loadCurrent(QStringLiteral("ecgId=?"), ecgId, "CFileMan::selectFile()")) {
        openCurrentFile("CFileMan::selectFile()");
    } else {
        clearCurrent();
        debugLogError("CFileMan::selectFile() unable to load file with id=" + toStdString(ecgId));
        closeViewedFile();
    }
    rememberCurrent();
    return m_ecgId;
}

int CFileMan::selectNewestFile(int patientId)
{
    debugLog(4, "CFileMan::selectNewestFile() patientId=" + toStdString(patientId));
    if (loadCurrent(QStringLiteral("ecgId=(select max(ecgId) from ecgTable where patientId=?)"),
                    patientId, "CFileMan::selectNewestFile()")) {
        openCurrentFile("CFileMan::selectNewestFile()");
    } else {
        clearCurrent();
        m_storedFileOpen = false;
        debugLog(2, "CFileMan::selectNewestFile() no recording of patientId=" + toStdString(patientId));
    }
    rememberCurrent();
    return m_ecgId;
}

int CFileMan::selectNumberPatientFilesAvailable(int patientId)
{
    debugLog(4, "CFileMan::selectNumberPatientFilesAvailable() patientId=" + toStdString(patientId));
    QSqlQuery q(*m_db);
    int count = 0;
    if (runQuery(q, QStringLiteral("select count(*) from ecgTable where patientId=?"), {patientId},
                 "CFileMan::selectNumberPatientFilesAvailable()")
        && q.next()) {
        count = q.value(0).toInt();
    }
    m_patientFileCount = count;
    return count;
}

int CFileMan::getCurrentModelIndex(int patientId)
{
    debugLog(4, "CFileMan::getCurrentModelIndex() patientId=" + toStdString(patientId));
    if (m_ecgId < 0)
        return 0;
    QSqlQuery q(*m_db);
    if (!runQuery(q,
                  QStringLiteral("select count(*) from ecgTable where patientId=? and "
                                 "(ecgTime>? or (ecgTime=? and ecgId>?))"),
                  {patientId, qint64(m_ecgTime), qint64(m_ecgTime), m_ecgId},
                  "CFileMan::getCurrentModelIndex()")
        || !q.next()) {
        return 0;
    }
    return q.value(0).toInt();
}

int CFileMan::checkFileExists(int patientId, int, const QString& studyUid, std::int64_t startTime)
{
    debugLog(4, "CFileMan::checkFileExists() patientId=" + toStdString(patientId)
                    + argText("studyUid", studyUid)
                    + ", startTime=" + toStdString(static_cast<long long>(startTime)));
    QSqlQuery q(*m_db);
    if (runQuery(q,
                 QStringLiteral("select ecgId from ecgTable where patientId=? and ecgTime=? and "
                                "pacsStudyUuid=? order by ecgId limit 1"),
                 {patientId, qint64(startTime), studyUid}, "CFileMan::checkFileExists()")
        && q.next()) {
        return q.value(0).toInt();
    }
    return -1;
}

bool CFileMan::removeFile(const QString& fileName, const char* caller)
{
    if (fileName.isEmpty())
        return true;
    if (!isPlainFileName(fileName)) {
        // Never a file outside the data folder.
        debugLogError(std::string(caller) + " refusing to delete the stored file name "
                      + fileName.toStdString());
        return false;
    }
    const QString path = filePath(fileName);
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.remove()) {
        debugLogError(std::string(caller) + " unable to delete file " + path.toStdString());
        return false;
    }
    debugLog(2, std::string(caller) + " deleted file " + path.toStdString());
    return true;
}

int CFileMan::deleteOne(int patientId, int ecgId, bool ofPatientOnly, bool* ok)
{
    if (ok)
        *ok = false;
    const char* const where = "CFileMan::deleteFile()";
    const QString condition =
        ofPatientOnly ? QStringLiteral(" where ecgId=? and patientId=?") : QStringLiteral(" where ecgId=?");
    QVariantList key{ecgId};
    if (ofPatientOnly)
        key << patientId;
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select fileName from ecgTable") + condition, key, where)
        || !q.next()) {
        return m_ecgId;
    }
    const QString fileName = q.value(0).toString();
    q.finish();
    const bool wasCurrent = ecgId == m_ecgId;
    if (wasCurrent)
        closeViewedFile();
    // Row first: a file without a row is found again at the next start, a row
    // without its file is lost to the user.
    QSqlQuery del(*m_db);
    const bool rowDeleted = runQuery(del, QStringLiteral("delete from ecgTable") + condition, key, where)
        && del.numRowsAffected() == 1;
    bool fileRemoved = false;
    if (rowDeleted) {
        stepDone("row");
        fileRemoved = removeFile(fileName, where);
        stepDone("file");
    } else {
        debugLogError("CFileMan::deleteFile() unable to delete the row of " + fileName.toStdString()
                      + ", the file is kept");
    }
    if (wasCurrent) {
        if (rowDeleted)
            selectNewestFile(patientId);
        else
            selectFile(ecgId);
    }
    selectNumberPatientFilesAvailable(patientId);
    if (ok)
        *ok = rowDeleted && fileRemoved;
    return m_ecgId;
}

int CFileMan::deleteFile(int patientId, int ecgId, bool* ok)
{
    debugLog(4, "CFileMan::deleteFile() patientId=" + toStdString(patientId)
                    + ", ecgId=" + toStdString(ecgId));
    return deleteOne(patientId, ecgId, true, ok);
}

int CFileMan::deleteFileIgnorePatient(int patientId, int ecgId, bool* ok)
{
    debugLog(4, "CFileMan::deleteFileIgnorePatient() patientId=" + toStdString(patientId)
                    + ", ecgId=" + toStdString(ecgId));
    return deleteOne(patientId, ecgId, false, ok);
}

bool CFileMan::deletePatientFiles(int patientId)
{
    QStringList names;
    if (!deletePatientRows(patientId, names))
        return false;
    return removeRecordingFiles(names);
}

bool CFileMan::deletePatientRows(int patientId, QStringList& fileNames)
{
    const char* const where = "CFileMan::deletePatientFiles()";
    debugLog(4, "CFileMan::deletePatientFiles() patientId=" + toStdString(patientId));
    fileNames.clear();
    const bool ownsCurrent = m_ecgId >= 0 && m_patientId == patientId;
    if (ownsCurrent)
        closeViewedFile();
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select fileName from ecgTable where patientId=?"), {patientId},
                  where)) {
        return false;
    }
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    q.finish();
    // Rows first, then files (see deleteOne).
    QSqlQuery del(*m_db);
    const bool deleted =
        runQuery(del, QStringLiteral("delete from ecgTable where patientId=?"), {patientId}, where);
    if (!deleted)
        return false;
    stepDone("row");
    fileNames = names;
    if (ownsCurrent) {
        // No deleted recording stays current.
        clearCurrent();
        rememberCurrent();
    }
    return true;
}

bool CFileMan::removeRecordingFiles(const QStringList& fileNames)
{
    bool allRemoved = true;
    for (const QString& name : fileNames)
        allRemoved = removeFile(name, "CFileMan::deletePatientFiles()") && allRemoved;
    stepDone("file");
    return allRemoved;
}

bool CFileMan::queueForUpload(int ecgId, bool forQvl)
{
    debugLog(4, "CFileMan::queueForUpload() ecgId=" + toStdString(ecgId)
                    + ", forQvl=" + (forQvl ? "true" : "false"));
    const qint64 ts = localTimeStampNow();
    QSqlQuery q(*m_db);
    // A recording queued for the PACS again loses its send time, so the
    // background sender (which takes rows without one) really sends it.
    const bool ok = forQvl
        ? runQuery(q, QStringLiteral("update ecgTable set qvlCaseStatus=9, tsLastChanged=? where ecgId=?"),
                   {ts, ecgId}, "CFileMan::queueForUpload()")
        : runQuery(q,
                   QStringLiteral("update ecgTable set pacsStatus=1, pacsTs=0, tsLastChanged=? "
                                  "where ecgId=?"),
                   {ts, ecgId}, "CFileMan::queueForUpload()");
    if (!ok || q.numRowsAffected() != 1)
        return false;
    if (ecgId == m_ecgId) {
        if (forQvl) {
            m_qvlCaseStatus = QvlCaseQueued;
        } else {
            m_pacsStatus = PacsMarked;
            m_pacsTs = 0;
        }
    }
    return true;
}

bool CFileMan::setPacsTs(int ecgId)
{
    debugLog(4, "CFileMan::setPacsTs() ecgId=" + toStdString(ecgId));
    const qint64 ts = localTimeStampNow();
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("update ecgTable set pacsTs=?, pacsStatus=2, tsLastChanged=? "
                                    "where ecgId=?"),
                  {ts, ts, ecgId}, "CFileMan::setPacsTs()")
        || q.numRowsAffected() != 1) {
        return false;
    }
    if (ecgId == m_ecgId) {
        m_pacsTs = ts;
        m_pacsStatus = PacsSent;
    }
    return true;
}

int CFileMan::qvlCaseStatusOfWord(const QString& word)
{
    static const char* const kWords[] = {"CLEARED", "STARTED", "SENDING", "RECEIVED",
                                         "RECEIPT_FAILURE", "IN_PROCESS", "NEEDS_ATTENTION",
                                         "CANCELLED", "COMPLETED"};
    for (int i = 0; i < int(sizeof kWords / sizeof kWords[0]); ++i) {
        if (word == QLatin1String(kWords[i]))
            return i;
    }
    return -1;
}

bool CFileMan::setCaseState(const char* caller, int ecgId, const QString& column,
                            const QString& text, int status)
{
    const qint64 ts = localTimeStampNow();
    CDbTransaction transaction(*m_db);
    if (!transaction.isActive())
        return false;
    QSqlQuery update(*m_db);
    const bool newCase = column == QLatin1String("qvlCaseId");
    const bool ok = column.isEmpty()
        ? runQuery(update,
                   QStringLiteral("update ecgTable set qvlCaseStatus=?, tsLastChanged=? where ecgId=?"),
                   {status, ts, ecgId}, caller)
        : runQuery(update,
                   QStringLiteral("update ecgTable set ") + column + QStringLiteral("=?, ")
                       + (newCase ? QStringLiteral("qvlCaseUrl='', qvlFileAdded=0, ") : QString())
                       + QStringLiteral("qvlCaseStatus=?, tsLastChanged=? where ecgId=?"),
                   {text, status, ts, ecgId}, caller);
    if (!ok || update.numRowsAffected() != 1)
        return false;

    QSqlQuery owner(*m_db);
    if (!runQuery(owner, QStringLiteral("select patientId, qvlCaseId from ecgTable where ecgId=?"),
                  {ecgId}, caller)
        || !owner.next()) {
        return false;
    }
    const int ownerId = owner.value(0).toInt();
    const QString caseId = owner.value(1).toString();
    QSqlQuery patient(*m_db);
    if (!runQuery(patient,
                  QStringLiteral("update patientTable set latestTransmittedQvlFileId=?, "
                                 "latestTransmittedQvlCaseId=?, latestTransmittedQvlCaseStatus=? "
                                 "where patientId=?"),
                  {ecgId, caseId, status, ownerId}, caller)
        || !transaction.commit()) {
        return false;
    }
    if (ecgId == m_ecgId) {
        if (newCase) {
            m_qvlCaseId = text;
            m_qvlCaseUrl.clear();
        } else if (column == QLatin1String("qvlCaseUrl"))
            m_qvlCaseUrl = text;
        m_qvlCaseStatus = status;
    }
    return true;
}

bool CFileMan::setQvlCaseId(int ecgId, const QString& caseId)
{
    debugLog(4, "CFileMan::setQvlCaseId() ecgId=" + toStdString(ecgId) + argText("caseId", caseId));
    return setCaseState("CFileMan::setQvlCaseId()", ecgId, QStringLiteral("qvlCaseId"), caseId,
                        QvlCaseStarted);
}

bool CFileMan::setQvlCaseUrl(int ecgId, const QString& caseUrl)
{
    debugLog(4, "CFileMan::setQvlCaseUrl() ecgId=" + toStdString(ecgId) + argText("caseUrl", caseUrl));
    return setCaseState("CFileMan::setQvlCaseUrl()", ecgId, QStringLiteral("qvlCaseUrl"), caseUrl,
                        QvlCaseReceived);
}

bool CFileMan::setQvlCaseStatus(int ecgId, const QString& statusWord)
{
    debugLog(4, "CFileMan::setQvlCaseStatus() ecgId=" + toStdString(ecgId)
                    + argText("status", statusWord));
    int status = qvlCaseStatusOfWord(statusWord);
    if (status < 0) {
        debugLogError("CFileMan::setQvlCaseStatus() unknown status " + statusWord.toStdString());
        status = QvlCaseNone;
    }
    return setCaseState("CFileMan::setQvlCaseStatus()", ecgId, QString(), QString(), status);
}

bool CFileMan::setQvlFileAdded(int ecgId, const QString& caseId)
{
    debugLog(4, "CFileMan::setQvlFileAdded() ecgId=" + toStdString(ecgId) + argText("caseId", caseId));
    QSqlQuery q(*m_db);
    // Only for the case the file went to: a newer case keeps its own progress.
    if (caseId.isEmpty()
        || !runQuery(q,
                     QStringLiteral("update ecgTable set qvlFileAdded=1, tsLastChanged=? "
                                    "where ecgId=? and qvlCaseId=?"),
                     {qint64(localTimeStampNow()), ecgId, caseId}, "CFileMan::setQvlFileAdded()")
        || q.numRowsAffected() != 1) {
        return false;
    }
    stepDone("qvlFileAdded");
    return true;
}

bool CFileMan::readQvlCase(int ecgId, QvlCaseProgress& out) const
{
    QSqlQuery q(*m_db);
    if (!runQuery(q,
                  QStringLiteral("select qvlCaseStatus, qvlCaseId, qvlCaseUrl, qvlFileAdded "
                                 "from ecgTable where ecgId=?"),
                  {ecgId}, "CFileMan::readQvlCase()")
        || !q.next()) {
        return false;
    }
    out.status = q.value(0).toInt();
    out.caseId = q.value(1).toString();
    out.caseUrl = q.value(2).toString();
    out.fileAdded = q.value(3).toInt() != 0;
    return true;
}

QString CFileMan::refusalOfRecording(int ecgId) const
{
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select fileName from ecgTable where ecgId=?"), {ecgId},
                  "CFileMan::refusalOfRecording()")
        || !q.next())
        return QString();
    const QString fileName = q.value(0).toString();
    if (!isPlainFileName(fileName))
        return QStringLiteral("Its file name is not one of this program's.");
    return QString::fromStdString(CFileEcg::refusalOf(filePath(fileName).toStdString()));
}

bool CFileMan::upgradeDatabaseContent(int fromVersion, int toVersion)
{
    debugLog(4, "CFileMan::upgradeDatabaseContent() fromDbVersion=" + toStdString(fromVersion)
                    + ", toDbVersion=" + toStdString(toVersion));
    return true;
}
