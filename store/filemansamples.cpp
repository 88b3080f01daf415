#include "fileman.h"

#include "debuglog.h"
#include "ecgrecords.h"
#include "fileecg.h"
#include "sqlexec.h"
#include "sqlutil.h"

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QSqlQuery>
#include <QVariant>

// The duration a list shows is that of the recorded samples: the lead-in
// before them and the trailer after them are records of the file, not time
// the animal was recorded.

int CFileMan::recordedSamplesOf(const QString& path)
{
    CFileEcg file;
    if (!file.openFileReadOnly(path.toStdString()))
        return -1;
    const int records = file.getRecordCount();
    int samples = 0;
    for (int index = 0; index < records;) {
        int count = 0;
        const EcgFileRecord* window = file.retDataSet(index, count);
        if (!window || count <= 0) {
            file.close();
            return -1;
        }
        for (int k = 0; k < count; ++k) {
            const int type = window[k].type;
            if (type >= 0 && type != ECG_SAMPLE_LEADIN)
                ++samples;
        }
        index += count;
    }
    file.close();
    return samples;
}

int CFileMan::countMissingSamples(int budgetMs)
{
    const char* const where = "CFileMan::countMissingSamples()";
    QElapsedTimer timer;
    timer.start();
    QList<QPair<int, QString>> rows;
    {
        QSqlQuery q(*m_db);
        if (!runQuery(q, QStringLiteral("select ecgId, fileName from ecgTable where sampleCount < 0 "
                                        "order by ecgId desc"),
                      {}, where))
            return 0;
        while (q.next())
            rows.append({q.value(0).toInt(), q.value(1).toString()});
    }
    if (rows.isEmpty())
        return 0;
    debugLog(4, std::string(where) + " rows=" + toStdString(int(rows.size())));
    int counted = 0;
    CDbTransaction transaction(*m_db);
    for (const auto& [ecgId, fileName] : rows) {
        if (timer.elapsed() > budgetMs) {
            debugLog(2, std::string(where) + " the rest waits for the next start");
            break;
        }
        const int samples = isPlainFileName(fileName) ? recordedSamplesOf(filePath(fileName)) : -1;
        if (samples < 0) {
            // Left as it was: the list goes on counting every record of it.
            debugLog(2, std::string(where) + " unable to read " + fileName.toStdString());
            continue;
        }
        QSqlQuery u(*m_db);
        if (runQuery(u, QStringLiteral("update ecgTable set sampleCount=? where ecgId=? and sampleCount < 0"),
                     {samples, ecgId}, where))
            ++counted;
    }
    if (!transaction.commit()) {
        debugLogError(std::string(where) + " unable to store the counts");
        return 0;
    }
    return counted;
}
