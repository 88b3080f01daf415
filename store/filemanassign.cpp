#include "fileman.h"

#include "debuglog.h"
#include "fileecg.h"
#include "filesafety.h"
#include "localtime.h"
#include "sqlexec.h"
#include "sqlutil.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

// Giving a pending recording to a patient: the live assignment and the pieces
// the start uses to finish one that a run did not live to finish.

namespace {

// The header fields a patch changes, kept to put a file back as it was.
struct HeaderFields
{
    std::string patientName, ownerFirstName, ownerLastName, extPatientId, patientBirthdate;
    std::int64_t recordingTime = 0;
    int genderCode = 0;
    int speciesCode = 0;

    static HeaderFields of(const CFileEcg& f)
    {
        return {f.patientName, f.ownerFirstName, f.ownerLastName, f.extPatientId,
                f.patientBirthdate, f.recordingTime, f.genderCode, f.speciesCode};
    }
    void applyTo(CFileEcg& f) const
    {
        f.patientName = patientName;
        f.ownerFirstName = ownerFirstName;
        f.ownerLastName = ownerLastName;
        f.extPatientId = extPatientId;
        f.patientBirthdate = patientBirthdate;
        f.recordingTime = recordingTime;
        f.genderCode = genderCode;
        f.speciesCode = speciesCode;
    }
};

} // namespace

bool CFileMan::writePatientHeader(const QString& fileName, const PatientRecord& patient,
                                  std::int64_t recordingTime, const char* where)
{
    CFileEcg file;
    if (!file.openFileReadWrite(filePath(fileName).toStdString())) {
        debugLogError(std::string(where) + " unable to open " + fileName.toStdString()
                      + " to write its header");
        return false;
    }
    // A patient without species (a worklist entry often has none) leaves
    // the species chosen for the recording.
    const int recordedSpecies = file.speciesCode;
    file.resetHeaderData();
    file.extPatientId = patient.extId.toStdString();
    file.patientName = patient.name.toStdString();
    file.ownerFirstName = patient.ownerFirst.toStdString();
    file.ownerLastName = patient.ownerLast.toStdString();
    file.speciesCode = patient.species != 0 ? patient.species : recordedSpecies;
    file.genderCode = patient.sex;
    file.patientBirthdate = birthdateText(patient.birthdate);
    file.recordingTime = recordingTime;
    const bool written = file.patchFileHeader(true);
    const bool closed = file.close();
    if (!written || !closed)
        debugLogError(std::string(where) + " unable to write the header of " + fileName.toStdString());
    return written && closed;
}

bool CFileMan::storeAssignment(int ecgId, int patientId, const QString& fileName,
                               const PatientRecord& patient, bool queueForPacs, const char* where)
{
    CDbTransaction transaction(*m_db);
    QString sql = QStringLiteral("update ecgTable set patientId=?, fileName=?, tsLastChanged=?");
    QVariantList values{patientId, fileName, qint64(localTimeStampNow())};
    if (!patient.pendingStudyUuid.isEmpty()) {
        sql += QStringLiteral(", pacsStudyUuid=?");
        values << patient.pendingStudyUuid;
    }
    if (queueForPacs)
        sql += QStringLiteral(", pacsStatus=1, pacsTs=0");
    sql += QStringLiteral(" where ecgId=? and patientId=0");
    values << ecgId;
    QSqlQuery update(*m_db);
    bool ok = transaction.isActive() && runQuery(update, sql, values, where)
        && update.numRowsAffected() == 1;
    if (ok && !patient.pendingStudyUuid.isEmpty()) {
        // The worklist's study UID is used up by this recording.
        QSqlQuery used(*m_db);
        ok = runQuery(used,
                      QStringLiteral("update patientTable set pendingStudyUuid='' where patientId=?"),
                      {patientId}, where);
    }
    if (!ok || !transaction.commit()) {
        transaction.rollback();
        return false;
    }
    return true;
}

bool CFileMan::assignPendingEcg(int patientId, bool queueForPacs)
{
    debugLog(4, "CFileMan::assignPendingEcg() patientId=" + toStdString(patientId)
                    + ", queueForPacs=" + (queueForPacs ? "true" : "false")
                    + ", ecgId=" + toStdString(m_ecgId));
    const char* const where = "CFileMan::assignPendingEcg()";

    // Only the open, still unassigned recording may be given away.
    QSqlQuery row(*m_db);
    if (!runQuery(row, QStringLiteral("select patientId, fileName from ecgTable where ecgId=?"),
                  {m_ecgId}, where)
        || !row.next()) {
        debugLogError("CFileMan::assignPendingEcg() no current recording");
        return false;
    }
    const QString oldName = row.value(1).toString();
    CFileEcg* file = m_buffer.getFileEcg();
    // A pending recording re-linked at start may carry another prefix; the
    // part after it names the file.
    if (row.value(0).toInt() != 0 || !isPlainFileName(oldName) || nameAfterPatient(oldName).isEmpty()
        || patientId <= 0 || m_live.pending || !m_storedFileOpen || !file || !m_buffer.isFileInUse()) {
        debugLogError("CFileMan::assignPendingEcg() recording " + oldName.toStdString()
                      + " is not an open pending recording");
        return false;
    }
    row.finish();

    PatientRecord patient;
    if (readPatientRecord(*m_db, patientId, patient, where) != RowRead::Found) {
        debugLogError("CFileMan::assignPendingEcg() no patient with patientId=" + toStdString(patientId));
        return false;
    }

    // The header the file has now, to put it back on a failure.
    const HeaderFields before = HeaderFields::of(*file);
    // Puts the file back as it was: old name, old header, open.
    auto restore = [&](const QString& currentName, bool headerWritten) {
        if (currentName != oldName && !QFile::rename(filePath(currentName), filePath(oldName)))
            debugLogError("CFileMan::assignPendingEcg() unable to rename back "
                          + currentName.toStdString());
        m_storedFileOpen = m_buffer.openFile(bufferFolder(), oldName.toStdString(), 1);
        CFileEcg* reopened = m_buffer.getFileEcg();
        if (headerWritten && m_storedFileOpen && reopened) {
            before.applyTo(*reopened);
            if (!reopened->patchFileHeader(true))
                debugLogError("CFileMan::assignPendingEcg() unable to restore the header of "
                              + oldName.toStdString());
        }
    };

    const QString newName = QString::number(patientId) + nameAfterPatient(oldName);
    const bool closed = m_buffer.closeFile();
    m_storedFileOpen = false;
    if (!closed) {
        debugLogError("CFileMan::assignPendingEcg() unable to close " + oldName.toStdString());
        restore(oldName, false);
        return false;
    }
    // The name first: from the moment the file carries the patient's id, a
    // run cut short is finished by the next start (header and row from the
    // patient's row), and before it nothing has changed.
    if (newName != oldName
        && (QFileInfo::exists(filePath(newName)) || !QFile::rename(filePath(oldName), filePath(newName)))) {
        debugLogError("CFileMan::assignPendingEcg() unable to rename " + oldName.toStdString()
                      + " to " + newName.toStdString());
        restore(oldName, false);
        return false;
    }
    if (!platform::syncFolder(bufferFolder()))
        debugLogError("CFileMan::assignPendingEcg() unable to sync the data folder");
    stepDone("renamed");

    if (!writePatientHeader(newName, patient, m_ecgTime, where)) {
        restore(newName, true);
        return false;
    }
    stepDone("header");

    if (!storeAssignment(m_ecgId, patientId, newName, patient, queueForPacs, where)) {
        debugLogError("CFileMan::assignPendingEcg() unable to update the row of "
                      + oldName.toStdString());
        restore(newName, true);
        return false;
    }
    stepDone("row");
    selectFile(m_ecgId);
    return true;
}
