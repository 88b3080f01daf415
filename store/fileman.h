#ifndef MALVORANT_FILEMAN_H
#define MALVORANT_FILEMAN_H

#include "dicomuid.h"
#include "ecgbuffer.h"
#include "patientman.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>

class CSettingsMan;
class CFileEcg;
struct EcgStreamSample;

// Telemedicine case state of a recording (ecgTable.qvlCaseStatus).
enum QvlCaseStatus {
    QvlCaseNone = 0,
    QvlCaseStarted = 1,
    QvlCaseSending = 2,
    QvlCaseReceived = 3,
    QvlCaseReceiptFailure = 4,
    QvlCaseInProcess = 5,
    QvlCaseNeedsAttention = 6,
    QvlCaseCancelled = 7,
    QvlCaseCompleted = 8,
    QvlCaseQueued = 9
};

// A recording's telemedicine case as stored, with the chain's progress.
struct QvlCaseProgress
{
    int status = QvlCaseNone;
    QString caseId;
    QString caseUrl;
    // The service took the file for this case (AddFile answered).
    bool fileAdded = false;

    // A case was opened and its address is still missing: the upload goes on
    // in that case (the file only when not yet taken, then the address),
    // never with a new one. A cleared, cancelled or completed case is over.
    bool isHalfDone() const
    {
        return !caseId.isEmpty() && caseUrl.isEmpty() && status != QvlCaseNone
            && status != QvlCaseCancelled && status != QvlCaseCompleted;
    }
    // The service holds the case's file: it said so, or reports the case as
    // sending or beyond.
    bool serviceHasFile() const
    {
        return fileAdded || (status >= QvlCaseSending && status <= QvlCaseNeedsAttention);
    }
};

// PACS state of a recording (ecgTable.pacsStatus).
enum PacsStatus { PacsUnmarked = 0, PacsMarked = 1, PacsSent = 2 };

// The recordings manager: creates, names, lists, selects, assigns and deletes
// recordings (one .ecg file in the data folder plus one ecgTable row) and
// records their telemedicine and PACS states. It owns the recording buffer
// through which recordings are written and the current one is opened for
// display. One object, created on the heap by the bridge; GUI thread only.
//
// A file name is reserved before its file is written and committed as a row
// afterwards. The live recording (ecgFileCreate .. ecgFileCreateEnd) and the
// other flows (reserveNextFilename .. commitNextFilename: import, PACS fetch)
// each hold at most one reservation, so neither can overwrite the other's;
// a second reservation of the same flow is refused while one is pending.
class CFileMan
{
public:
    // dataFolder: the folder of all recording files.
    CFileMan(const QString& dataFolder, QSqlDatabase* database, CSettingsMan* settings,
             int fromVersion, int toVersion);
    ~CFileMan();

    CFileMan(const CFileMan&) = delete;
    CFileMan& operator=(const CFileMan&) = delete;

    // Reserves the name of a file to be written by an import or a PACS fetch:
    // patientId "_" next id "_" time text and the extension of fileType (1
    // ".ecg", 2 ".dat", 3 ".dce", none otherwise). time is a local time stamp
    // (0 < time <= 9,999,999,999), anything else means now. Returns the name,
    // or an empty text when a reservation of this flow is still pending.
    QString reserveNextFilename(int patientId, int fileType, const QString& studyUid,
                                std::int64_t time);
    // Drops a pending reservation of reserveNextFilename (a failed import or fetch).
    void releaseReservation();
    bool hasPendingReservation() const { return m_external.pending; }
    // Inserts the row of the reserved file and makes it the current recording.
    // alreadyInPacs: a fetched study, stored as sent. False, with the current
    // recording unchanged, when nothing is reserved, the file is missing or
    // the insert fails; the reservation is given up then.
    bool commitNextFilename(bool alreadyInPacs);
    // The entry count of the reserved file from its size; false when nothing
    // is reserved or the file can't be read.
    bool setEntryCnt();

    // Live recording: reserves a name for patientId and creates the file with
    // a header from the arguments (birthDate 0 = none). Closes the recording
    // being viewed first. False when a recording is already running or the
    // file can't be created (nothing stays reserved then).
    bool ecgFileCreate(int patientId, const QString& patientName, const QString& ownerFirstName,
                       const QString& ownerLastName, const QString& extPatientId,
                       std::int64_t birthDate, int species, int gender, const QString& studyUid);
    // Appends one sample to the running recording; false once a write of the
    // recording failed (the recording must stop).
    bool addEntry(const EcgStreamSample& sample);
    // The recording control calls it each tick: no added sample waits in the
    // program for as long as a second before it goes to the disk. False when
    // a write failed (the recording must stop).
    bool writeThrough();
    // The stop of a live recording: of the last `records` records written,
    // the ordinary samples take the lead-in type in place (the trailer that
    // is not counted as valid). False when the file could not be changed.
    bool markRecordingTrailer(int records);
    // Finishes the running recording and commits its row (always, so the
    // samples written are kept) with the records that are on the disk; false
    // when a write failed, the file did not close cleanly or the row could not
    // be stored.
    bool ecgFileCreateEnd();
    bool isRecording() const { return m_live.pending; }
    // The file name of the recording being made, empty when none is.
    QString recordingFileName() const { return m_live.pending ? m_live.fileName : QString(); }

    // Makes the row the current recording and opens its file; -1 when missing.
    int selectFile(int ecgId);
    // Makes the patient's newest recording current; -1 when it has none.
    int selectNewestFile(int patientId);
    int selectNumberPatientFilesAvailable(int patientId);
    // Row of the current recording in the patient's recording list, which is
    // ordered by start time, newest first, then by ecgId, highest first.
    int getCurrentModelIndex(int patientId);
    // ecgId of the patient's recording with that start time and study UID, or -1.
    int checkFileExists(int patientId, int unused, const QString& studyUid,
                        std::int64_t startTime);

    // Gives the current recording, which must be open and pending (patient 0),
    // to a patient: header rewritten from the patient's row, file renamed to
    // begin with the patient id, row updated (and marked for the PACS when
    // queueForPacs). On any failure the file, its header and the row stay as
    // they were and the result is false.
    bool assignPendingEcg(int patientId, bool queueForPacs);

    // Delete row and then file of a recording (of that patient, or of any
    // patient); return the current ecgId afterwards. ok (when given) tells
    // whether both went; a row that can't be deleted keeps its file.
    int deleteFile(int patientId, int ecgId, bool* ok = nullptr);
    int deleteFileIgnorePatient(int patientId, int ecgId, bool* ok = nullptr);
    // Deletes every file and row of a patient (closing the current recording
    // first when it is one of them; none is current afterwards); false when a
    // file could not be removed or the rows could not be deleted.
    bool deletePatientFiles(int patientId);
    // The two halves of deletePatientFiles, for a caller that deletes the
    // patient's rows in its own transaction and removes the files only after
    // the commit: the rows go (fileNames receives their files), then the files.
    bool deletePatientRows(int patientId, QStringList& fileNames);
    bool removeRecordingFiles(const QStringList& fileNames);

    // Marks a recording for the telemedicine upload (state 9) or for the
    // PACS (pacsStatus 1, PACS time cleared so that it is sent again).
    bool queueForUpload(int ecgId, bool forQvl);
    // Case id (state 1), case URL (state 3), a polled state word; each also
    // updates the owning patient's latest-transmitted columns. A case id
    // starts a case afresh: in the same statement the address and the
    // chain's progress of an earlier case go.
    bool setQvlCaseId(int ecgId, const QString& caseId);
    bool setQvlCaseUrl(int ecgId, const QString& caseUrl);
    bool setQvlCaseStatus(int ecgId, const QString& statusWord);
    // Records that the service took the recording's file for that case (false
    // when the recording holds another case by now); step "qvlFileAdded".
    bool setQvlFileAdded(int ecgId, const QString& caseId);
    // The stored case of a recording; false when there is no such row.
    bool readQvlCase(int ecgId, QvlCaseProgress& out) const;
    // Why the recording's file is refused as no recording, in words for the
    // user; empty when it reads as one or there is no such row.
    QString refusalOfRecording(int ecgId) const;
    // Marks a recording as stored on the PACS now.
    bool setPacsTs(int ecgId);

    bool upgradeDatabaseContent(int fromVersion, int toVersion);

    // Brings the data folder and ecgTable together after a run that ended
    // abruptly. A recording file without a row becomes a pending recording
    // (patient 0) counting every record on the disk, and the newest of them
    // becomes the current recording; a file that holds no sample beyond the
    // lead-in is no recording and is moved into the set-aside folder. An
    // assignment cut short after the file took the patient's name is
    // finished (header and row); any other row whose file was renamed is
    // re-linked to it. Each repair is logged; no file is deleted, and none
    // is changed but for the header an assignment owed it. Returns the
    // number of repairs, -1 on failure.
    int reconcileDataFolder();
    // Recordings the last reconcileDataFolder found again as pending.
    int recoveredRecordings() const { return m_recovered; }
    // Subfolder of the data folder for files that are kept but not offered.
    static constexpr const char* kSetAsideFolder = "set-aside";

    // The recorded samples of a recording file: records of sample types
    // other than the lead-in's, so neither the lead-in, nor the trailer, nor
    // the device's events. -1 when the file can't be read through.
    static int recordedSamplesOf(const QString& path);
    // Counts the samples of rows that have no count yet (rows of an older
    // release, rows added by a repair), newest first, until budgetMs have
    // passed; a row whose file can't be read keeps none. Returns the number
    // of rows counted.
    int countMissingSamples(int budgetMs);

    // A stored file name is used only when it names a plain file in the data
    // folder (no folder part, not "." or "..").
    static bool isPlainFileName(const QString& fileName);
    // The part of a recording's name after its patient id ("_ecgId_time.ext");
    // it stays the same when an assignment renames the file.
    static QString nameAfterPatient(const QString& fileName);

    // Called after each step of a recording's end, an assignment and a
    // deletion that leaves the disk or the database changed ("trailer",
    // "finished", "committed", "renamed", "header", "row", "file"), and after the
    // telemedicine chain's progress is stored ("qvlFileAdded"); null for none.
    using StepHook = void (*)(const char* step);
    static void setStepHook(StepHook hook);

    // The state of a telemedicine status word; -1 for a word that is not one.
    static int qvlCaseStatusOfWord(const QString& word);
    // Recording file name: patientId "_" ecgId "_" time text (the local time
    // stamp as "%Y%m%d_%H%M%S") and the extension of fileType.
    static QString makeFileName(int patientId, int ecgId, std::int64_t localStamp, int fileType);

    // The data folder, ending with a separator.
    const QString& dataFolder() const { return m_dataFolder; }
    // The current recording (ecgId -1 when there is none).
    int currentEcgId() const { return m_ecgId; }
    int currentPatientId() const { return m_patientId; }
    const QString& currentFileName() const { return m_fileName; }
    std::int64_t currentEcgTime() const { return m_ecgTime; }
    const QString& currentQvlCaseId() const { return m_qvlCaseId; }
    const QString& currentQvlCaseUrl() const { return m_qvlCaseUrl; }
    int currentQvlCaseStatus() const { return m_qvlCaseStatus; }
    std::int64_t currentPacsTs() const { return m_pacsTs; }
    int currentPacsStatus() const { return m_pacsStatus; }
    const QString& currentStudyUid() const { return m_pacsStudyUuid; }
    int currentCloudFileId() const { return m_cloudFileId; }
    // Whether the current recording's file is open in the buffer.
    bool isStoredFileOpen() const { return m_storedFileOpen; }
    // Why the current recording's file could not be opened, in words for the
    // user; empty while it is open or none is current.
    const QString& storedFileRefusal() const { return m_storedFileRefusal; }
    // Recordings of the current patient, as last counted (plus commits since).
    int patientFileCount() const { return m_patientFileCount; }
    CEcgBuffer& ecgBuffer() { return m_buffer; }
    // The next ecgId the database is expected to give (used for file names).
    int nextRecordingId() const { return m_nextRecordingId; }

private:
    struct Reservation
    {
        bool pending = false;
        int recordingId = 0;
        int patientId = 0;
        QString fileName;
        int entryCount = 0;
        std::int64_t startTime = 0;
        QString studyUid;
        bool writeFailed = false;
    };

    bool reserve(Reservation& reservation, const Reservation& other, int patientId, int fileType,
                 const QString& studyUid, std::int64_t time);
    bool commit(Reservation& reservation, bool alreadyInPacs, const char* where);
    bool loadCurrent(const QString& where, const QVariant& key, const char* caller);
    void clearCurrent();
    // Closes the file open for viewing (never the recording being made).
    void closeViewedFile();
    void openCurrentFile(const char* caller);
    void rememberCurrent();
    int deleteOne(int patientId, int ecgId, bool ofPatientOnly, bool* ok);
    int recordsOnDisk(const QString& fileName) const;

    static void stepDone(const char* step);
    // "%d.%m.%Y" of a birth date in seconds, empty for 0.
    static std::string birthdateText(std::int64_t birthdate);

    // Writes the patient's fields into the header of a recording file that
    // is not open.
    bool writePatientHeader(const QString& fileName, const PatientRecord& patient,
                            std::int64_t recordingTime, const char* where);
    // The row of a pending recording given to the patient, in one transaction
    // with the use of the patient's pending study UID.
    bool storeAssignment(int ecgId, int patientId, const QString& fileName, const PatientRecord& patient,
                         bool queueForPacs, const char* where);

    enum class Adoption { Adopted, SetAside, Left };
    Adoption adoptOrphan(const QString& fileName, int& ecgId);
    bool setAside(const QString& fileName, const std::string& why);
    // A row whose file was renamed for the patient by an assignment cut
    // short: the assignment is finished (header and row).
    bool finishAssignment(int ecgId, std::int64_t ecgTime, int patientId, const PatientRecord& patient,
                          const QString& fileName);
    bool removeFile(const QString& fileName, const char* caller);
    bool setCaseState(const char* caller, int ecgId, const QString& column, const QString& text,
                      int status);
    QString filePath(const QString& fileName) const { return m_dataFolder + fileName; }
    // The data folder as the buffer wants it (it adds the separator itself).
    std::string bufferFolder() const
    {
        return m_dataFolder.isEmpty() ? std::string(".") : m_dataFolder.chopped(1).toStdString();
    }

    int m_nextRecordingId = 1;
    Reservation m_external;
    Reservation m_live;
    QSqlDatabase* m_db = nullptr;
    CSettingsMan* m_settings = nullptr;
    QString m_dataFolder;

    QString m_fileName;
    int m_ecgId = -1;
    int m_patientId = -1;
    std::int64_t m_ecgTime = 0;
    QString m_qvlCaseId;
    QString m_qvlCaseUrl;
    int m_qvlCaseStatus = 0;
    std::int64_t m_pacsTs = 0;
    int m_pacsStatus = 0;
    QString m_pacsStudyUuid;
    int m_cloudFileId = 0;

    CEcgBuffer m_buffer;
    bool m_storedFileOpen = false;
    QString m_storedFileRefusal;
    int m_patientFileCount = 0;
    int m_recovered = 0;
};

#endif
