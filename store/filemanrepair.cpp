#include "fileman.h"

#include "debuglog.h"
#include "fileecg.h"
#include "localtime.h"
#include "sqlexec.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

// Start-up repair of what a run that ended abruptly left in the data folder.

int CFileMan::reconcileDataFolder()
{
    const char* const where = "CFileMan::reconcileDataFolder()";
    debugLog(4, "CFileMan::reconcileDataFolder() dataFolder=" + m_dataFolder.toStdString());
    if (m_live.pending || m_dataFolder.isEmpty()) {
        debugLogError(std::string(where) + " refused while recording or without a data folder");
        return -1;
    }

    struct Row
    {
        int ecgId;
        QString fileName;
    };
    QList<Row> rows;
    QSet<QString> named;
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select ecgId, fileName from ecgTable"), {}, where))
        return -1;
    while (q.next()) {
        rows.append({q.value(0).toInt(), q.value(1).toString()});
        named.insert(rows.back().fileName);
    }
    q.finish();

    // Recording files by the program's own naming; anything else in the
    // folder is not ours to adopt.
    static const QRegularExpression kRecordingName(
        QStringLiteral("^-?\\d+_\\d+_\\d{8}_\\d{6}\\.ecg$"));
    QStringList orphans;
    const QStringList files =
        QDir(m_dataFolder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : files) {
        if (!named.contains(name) && kRecordingName.match(name).hasMatch())
            orphans << name;
    }

    int repairs = 0;
    // A row whose file is missing, beside a file without a row that differs
    // only in its patient prefix: an assignment cut short between rename and
    // row update. The row follows the file.
    for (const Row& row : rows) {
        if (!isPlainFileName(row.fileName) || QFileInfo::exists(filePath(row.fileName)))
            continue;
        const QString tail = nameAfterPatient(row.fileName);
        if (tail.isEmpty())
            continue;
        bool relinked = false;
        for (int i = 0; i < orphans.size() && !relinked; ++i) {
            if (nameAfterPatient(orphans[i]) != tail)
                continue;
            QSqlQuery relink(*m_db);
            if (runQuery(relink, QStringLiteral("update ecgTable set fileName=? where ecgId=?"),
                         {orphans[i], row.ecgId}, where)
                && relink.numRowsAffected() == 1) {
                debugLogError(std::string(where) + " re-linked recording ecgId=" + toStdString(row.ecgId)
                              + " from the missing " + row.fileName.toStdString() + " to "
                              + orphans[i].toStdString());
                if (row.ecgId == m_ecgId)
                    m_fileName = orphans[i];
                ++repairs;
                orphans.removeAt(i);
                relinked = true;
            } else {
                break;
            }
        }
        if (!relinked)
            debugLogError(std::string(where) + " the file " + row.fileName.toStdString()
                          + " of recording ecgId=" + toStdString(row.ecgId) + " is missing");
    }

    // A file without a row: a recording the program did not live to commit.
    for (const QString& name : orphans) {
        if (adoptOrphan(name))
            ++repairs;
    }
    return repairs;
}

bool CFileMan::adoptOrphan(const QString& fileName)
{
    const char* const where = "CFileMan::reconcileDataFolder()";
    CFileEcg file;
    if (!file.openFileReadWrite(filePath(fileName).toStdString())) {
        debugLogError(std::string(where) + " left " + fileName.toStdString()
                      + " as it is: it holds no readable records");
        return false;
    }
    int valid = file.getTotalValidSamples();
    if (valid < 0)
        valid = file.getRecordCount();
    std::int64_t startTime = file.recordingTime;
    file.close();
    if (startTime <= 0) {
        // The name's time text is the local time stamp written as if it were UTC.
        const QString tail = nameAfterPatient(fileName);
        const QString text = tail.mid(tail.indexOf(QLatin1Char('_'), 1) + 1, 15).remove(QLatin1Char('_'));
        startTime = CFileEcg::utcSecondsOf(text.toStdString());
        if (startTime <= 0)
            startTime = localTimeStampNow();
    }
    const QString studyUid = makeDicomUid(QString());
    const qint64 ts = localTimeStampNow();
    QSqlQuery q(*m_db);
    const bool ok = !studyUid.isEmpty()
        && runQuery(q,
                    QStringLiteral("insert into ecgTable(patientId, ecgTime, fileSize, fileName, "
                                   "tsLastChanged, pacsStudyUuid, pacsTs, pacsStatus) "
                                   "values (0, ?, ?, ?, ?, ?, 0, 0)"),
                    {qint64(startTime), valid, fileName, ts, studyUid}, where);
    if (!ok) {
        debugLogError(std::string(where) + " unable to store a row for " + fileName.toStdString());
        return false;
    }
    const int ecgId = q.lastInsertId().toInt();
    m_nextRecordingId = std::max(m_nextRecordingId, ecgId + 1);
    debugLogError(std::string(where) + " found " + fileName.toStdString() + " without a row: kept as "
                  "pending recording ecgId=" + toStdString(ecgId) + " with " + toStdString(valid)
                  + " records");
    return true;
}
