#ifndef MALVORANT_DCMTHREAD_H
#define MALVORANT_DCMTHREAD_H

#include "dcmcallbackinterface.h"
#include "dcmfailure.h"
#include "dcmjobcancel.h"

#include <QDeadlineTimer>
#include <QString>
#include <QThread>

#include <atomic>
#include <string>

class CSettingsMan;
class QSqlDatabase;

// The DICOM connection settings one job works with.
struct DcmConnectionConfig
{
    QString localAeTitle;
    int localPort = 0;
    QString mwlIp;
    QString mwlAeTitle;
    int mwlPort = 0;
    QString pacsIp;
    QString pacsAeTitle;
    int pacsPort = 0;
    QString institutionName;
};

// The worker of one DICOM owner (the front or the background upload): holds
// the connection settings and one request, and runs that request on its own
// thread, one job per start. The owner reads getLastError() and resultClass()
// after finished().
//
// setConfig may be called at any time on the owner's thread; the settings
// reach the worker with the next setRequest, never in the middle of a job.
class CDcmThread : public QThread
{
    Q_OBJECT

public:
    CDcmThread(QObject* parent, int applicationType, QSqlDatabase* database, const QString& version);
    ~CDcmThread() override;

    CDcmThread(const CDcmThread&) = delete;
    CDcmThread& operator=(const CDcmThread&) = delete;

    // Takes the nine DICOM connection settings.
    void setConfig(const CSettingsMan& settings);

    // Stores one request (command 0 to 5 and its four texts) with the settings
    // last given to setConfig. False for an unknown command and while a job runs.
    bool setRequest(int command, const QString& a1, const QString& a2, const QString& a3,
                    const QString& a4);

    QString getLastError() const { takeUpJob(); return m_errorText; }
    std::string getLastErrorUtf8() const { return getLastError().toUtf8().toStdString(); }
    // The DcmResultClass of the last job, and its result code.
    int resultClass() const { takeUpJob(); return m_resultClass; }
    int resultCode() const { takeUpJob(); return m_resultCode; }
    // Why the last job failed, in terms the owner can act on.
    DcmFailure failure() const { takeUpJob(); return m_failure; }
    int command() const { return m_cmd; }

    // Asks a running job to stop (used at exit): it ends at its next step,
    // and its network waits end at once (a connection attempt still ends by
    // its time-out).
    void requestStop();
    bool stopRequested() const { return m_cancel.isCancelled(); }

    // At exit: asks the job to stop and waits for it until the deadline.
    // True when no job runs afterwards; otherwise the thread must be left
    // alone (never deleted) and the process ends it.
    bool finishBy(const QDeadlineTimer& deadline);
    // How long the program waits for running DICOM jobs when it quits: one
    // deadline for every worker, counted from the first call.
    static constexpr int kExitWaitMs = 5000;
    static QDeadlineTimer exitDeadline();
    // For the owner's destructor: stops the job and waits for it a bounded
    // time, unless it was already given up at quitting (givenUp). A job still
    // running then is cut loose from its owner, never destroyed running.
    void releaseFromOwner(QObject* owner, bool givenUp);

    // The longest an AE title may be.
    static constexpr int kMaxAeTitleLength = 16;
    // An empty text when the title can be used, otherwise why not; what names it
    // in the text ("local", "PACS", "worklist").
    static QString checkAeTitle(const QString& title, const char* what);

protected:
    void run() override;

private:
    int runJob();
    int sendPacsFile();
    int loadList(bool worklist);
    int loadFromPacs();
    // Refuses a job whose peer or titles can't be used, before it connects.
    int checkPeer(const QString& host, int port, const QString& aeTitle, const char* what);
    int setError(int code, const QString& text);
    int setError(int code, DcmFailureKind kind, const QString& text);
    // Qt orders the end of a thread before its finished() and wait() with
    // its own futex-based locks, which ThreadSanitizer does not see; the job's
    // last step publishes its work and the owner takes it up here, so the
    // order is plain to the checker as well.
    void takeUpJob() const { m_jobsDone.load(std::memory_order_acquire); }

    QSqlDatabase* m_database = nullptr;
    int m_applicationType = 0;
    DcmConnectionConfig m_pendingConfig; // owner's thread only
    DcmConnectionConfig m_config;        // the running job's copy
    int m_cmd = -1;
    QString m_version;
    QString m_errorText;

    QString m_ecgPath;
    QString m_queryPatientName;
    QString m_queryPatientId;
    QString m_queryOwnerFirst;
    QString m_queryOwnerLast;
    QString m_studyUid;
    QString m_outDir;
    QString m_fileName;
    QString m_breed;
    QString m_weight;

    int m_resultClass = 0;
    int m_resultCode = 0;
    DcmFailure m_failure;
    CDcmJobCancel m_cancel;
    std::atomic<int> m_jobsDone{0};
};

#endif
