#ifndef MALVORANT_TESTS_SCHEDULERRIG_H
#define MALVORANT_TESTS_SCHEDULERRIG_H

// Pieces shared by the tests that drive the background scheduler against the
// stand-in service: queued recordings with their hashes, a recording's case
// columns, and waits on the scheduler's work.
#include "dbman.h"
#include "fileman.h"
#include "qvlcaserow.h"
#include "qvlscheduler.h"
#include "qvltestenv.h"

#include <QCryptographicHash>
#include <QHash>
#include <QtTest>

// A new patient with one recording queued for upload, its file's SHA-256
// kept in hashes; the file names differ by test only in hourMinute.
// Returns the recording's id, or -1.
inline int addQueuedRecording(QvlTestEnv& env, CFileMan* fileMan, QHash<int, QByteArray>& hashes,
                              const char* hourMinute, const QString& patientName,
                              const QByteArray& content, int* patientId = nullptr)
{
    const int patient = env.addPatient({{"patientName", patientName}, {"species", 2}});
    if (patientId)
        *patientId = patient;
    static int n = 0;
    ++n;
    const int id = env.addRecording(patient,
                                    QStringLiteral("%1_%2_20240301_%3%4.ecg")
                                        .arg(patient)
                                        .arg(n)
                                        .arg(QLatin1String(hourMinute))
                                        .arg(n % 60, 2, 10, QLatin1Char('0')),
                                    content);
    if (id <= 0 || !fileMan->queueForUpload(id, true))
        return -1;
    hashes[id] = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    return id;
}

// A scheduler over the test's database whose timers the test drives itself.
inline CQvlScheduler* newDrivenScheduler(CQvlCallbackInterface* owner, QvlTestEnv& env,
                                         CFileMan* fileMan)
{
    auto* scheduler = new CQvlScheduler(owner, env.dataFolder(), env.db->database(),
                                        env.settings, fileMan, "MalvorantQml", "8.0.2", "078");
    scheduler->modifiedServicesTimer()->stop();
    scheduler->backgroundUploadTimer()->stop();
    return scheduler;
}

inline bool waitSchedulerIdle(CQvlScheduler* scheduler, int timeoutMs = 30000)
{
    const bool idle = waitUntil(
        [scheduler]() {
            return !scheduler->backgroundUploadInProgress()
                && !scheduler->modifiedServicesOperationInProgress();
        },
        timeoutMs);
    QTest::qWait(5);
    return idle;
}

// One expiry of the upload timer, then its work to the end.
inline bool runUploadTick(CQvlScheduler* scheduler)
{
    scheduler->backgroundUploadTimerExpired();
    return waitSchedulerIdle(scheduler);
}

#endif
