#ifndef MALVORANT_DCMCOMM_H
#define MALVORANT_DCMCOMM_H

#include "dcmcallbackinterface.h"
#include "dcmfailure.h"

#include <QObject>
#include <QString>

#include <string>

class CDcmThread;
class CSettingsMan;
class QSqlDatabase;

// The front of every DICOM request of the user interface. Runs one job at a
// time on its own worker thread; a request while a job runs is refused
// (false, getLastError() "Dicom currently busy") and never answered. An
// accepted request (true) is answered exactly once, on the GUI thread, in the
// CDcmCallbackInterface slot of its command. GUI thread only.
class CDcmComm : public QObject
{
    Q_OBJECT

public:
    CDcmComm(CDcmCallbackInterface* callback, QSqlDatabase* database, CSettingsMan* settings,
             int applicationType, const QString& version);
    // Waits a bounded time for a running job; a job still running then is
    // left to end with the process (its thread is never destroyed running).
    ~CDcmComm() override;

    CDcmComm(const CDcmComm&) = delete;
    CDcmComm& operator=(const CDcmComm&) = delete;

    // Takes the nine DICOM connection settings; a running job keeps the ones
    // it started with, the next job gets these.
    void updateConfig();

    // weight: the patient's weight in kilograms as text, empty when unknown.
    bool sendPacsFile(const QString& ecgPath, const QString& studyUid, const QString& breed,
                      const QString& weight);
    bool loadMwl(const QString& patName, const QString& patExtId, const QString& ownerFirst,
                 const QString& ownerLast);
    bool loadPacsList(const QString& patName, const QString& patExtId, const QString& ownerFirst,
                      const QString& ownerLast);
    // outDir ends with the separator; fileName is the caller's reserved name.
    bool loadFromPacs(const QString& studyUid, const QString& outDir, const QString& fileName);
    bool testMwlCredentials();
    bool testPacsCredentials();

    QString getLastError() const { return m_lastError; }
    std::string getLastErrorUtf8() const { return m_lastError.toUtf8().toStdString(); }
    // Why the last answered job failed, in terms the user can act on.
    DcmFailure lastFailure() const { return m_lastFailure; }

    // Whether a job runs or its answer is still to come (a request would be refused).
    bool isBusy() const;
    // The command of the last accepted request.
    int command() const { return m_cmd; }

public slots:
    void dcmThreadFinished();

private:
    bool startRequest(const char* name, int command, const QString& a1, const QString& a2,
                      const QString& a3, const QString& a4);
    void finishAtExit();

    CSettingsMan* m_settings = nullptr;
    QSqlDatabase* m_database = nullptr;
    CDcmCallbackInterface* m_callback = nullptr;
    QString m_lastError;
    DcmFailure m_lastFailure;
    int m_applicationType = 0;
    QString m_version;
    int m_cmd = 0;
    CDcmThread* m_thread = nullptr;
    bool m_leftAtExit = false;
    bool m_busy = false;
};

#endif
