#ifndef MALVORANT_TESTS_DCMQUERYTESTUTIL_H
#define MALVORANT_TESTS_DCMQUERYTESTUTIL_H

// Runs query jobs the way the DICOM worker does: on a thread of their own,
// with that thread's own database connection.

#include "dbman.h"
#include "dcmquerytable.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <string>
#include <memory>

namespace querytest {

struct JobResult
{
    int code = -1;
    std::string error;
    int rows = -1;
    qint64 ms = 0;
};

inline JobResult runOnWorker(const DcmQueryRequest& request)
{
    JobResult result;
    QElapsedTimer timer;
    timer.start();
    // A QThread, as the DICOM worker's: its connection is released when it
    // finishes (a thread Qt did not start would leave Qt's record of it
    // behind). Waited for under a lock, so the order of the thread's end and
    // the reading of its result is plain to ThreadSanitizer as well.
    QMutex done;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        QMutexLocker lock(&done);
        result.code = runDcmQueryJob(request, CDbMan::threadDatabase(), result.error, &result.rows);
    }));
    worker->start();
    worker->wait();
    QMutexLocker lock(&done);
    result.ms = timer.elapsed();
    return result;
}

// Rows of a table in idx order, the given columns joined by '|'.
inline QStringList tableRows(const QString& table, const QString& columns)
{
    QStringList rows;
    QSqlQuery q(QSqlDatabase::database());
    if (!q.exec("select " + columns + " from " + table + " order by idx"))
        return {"query failed"};
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << q.value(i).toString();
        rows << values.join('|');
    }
    return rows;
}

inline bool fillTable(const QString& table, int rows)
{
    QSqlQuery q(QSqlDatabase::database());
    if (!q.exec("delete from " + table))
        return false;
    for (int i = 0; i < rows; ++i)
        if (!q.exec(QString("insert into %1 (idx, patientName, ownerFirst, ownerLast, sUuid) "
                            "values (%2, 'Old%2', 'First', 'Last', '1.2.3.%2')")
                        .arg(table)
                        .arg(i)))
            return false;
    return true;
}

// Worklist keys wlmscpfs needs in every item; a test adds or replaces keys.
inline QStringList worklistItem(const QStringList& extra)
{
    QStringList keys{"SpecificCharacterSet=ISO_IR 100",
                     "AccessionNumber=ACC1",
                     "PatientName=Miller^Rex",
                     "PatientID=P1",
                     "StudyInstanceUID=1.2.826.0.1.3680043.2.1.1",
                     "RequestedProcedureDescription=Resting ECG",
                     "RequestedProcedureID=RP1",
                     "ScheduledProcedureStepSequence[0].Modality=ECG",
                     "ScheduledProcedureStepSequence[0].ScheduledStationAETitle=ECGCART",
                     "ScheduledProcedureStepSequence[0].ScheduledProcedureStepStartDate=20260115",
                     "ScheduledProcedureStepSequence[0].ScheduledProcedureStepStartTime=101500",
                     "ScheduledProcedureStepSequence[0].ScheduledPerformingPhysicianName=Vet^Anna",
                     "ScheduledProcedureStepSequence[0].ScheduledProcedureStepDescription=Resting ECG",
                     "ScheduledProcedureStepSequence[0].ScheduledProcedureStepID=SPS1",
                     "ScheduledProcedureStepSequence[0].ScheduledProcedureStepStatus=SCHEDULED"};
    for (const QString& e : extra) {
        const QString name = e.section('=', 0, 0);
        for (int i = keys.size() - 1; i >= 0; --i)
            if (keys[i].section('=', 0, 0) == name)
                keys.removeAt(i);
        keys << e;
    }
    return keys;
}

inline DcmQueryRequest request(bool worklist, quint16 port, const QString& calledAe)
{
    DcmQueryRequest r;
    r.worklist = worklist;
    r.host = "127.0.0.1";
    r.port = port;
    r.calledAeTitle = calledAe.toStdString();
    r.callingAeTitle = "MALVORANT";
    r.acseTimeout = 5;
    r.dimseTimeout = 10;
    r.totalSeconds = 60;
    return r;
}

}

#endif
