#ifndef MALVORANT_DCMSCHEDULER_H
#define MALVORANT_DCMSCHEDULER_H

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class CDcmCallbackInterface;
class CDcmThread;
class CFileMan;
class CSettingsMan;
class QSqlDatabase;
class QTimer;

// Sends due recordings to the PACS in the background: every 60 s, and at once
// after each send that ended, the oldest due recording goes to a worker
// thread of its own. A sent recording is marked (pacsTs, pacsStatus 2) and
// announced through dcmRespSendPacsFile(false, false, true).
//
// A send that fails on the network ends the run; the same recording is first
// at the next tick. A recording that fails for itself (missing or unreadable
// file, conversion, refused by the PACS, no patient row) or that can't be
// marked sent is set aside until the program restarts, and the run goes on
// with the next: one bad recording never stalls the queue or is sent in a loop.
// GUI thread only.
class CDcmScheduler : public QObject
{
    Q_OBJECT

public:
    static const int kIntervalMs = 60000;
    // Pounds to kilograms.
    static constexpr double kKgPerPound = 0.453592;

    CDcmScheduler(CDcmCallbackInterface* callback, QSqlDatabase* database, CSettingsMan* settings,
                  CFileMan* files, int applicationType, const QString& version);
    // Stops the timer and waits a bounded time for a running send; one still
    // running then is left to end with the process.
    ~CDcmScheduler() override;

    CDcmScheduler(const CDcmScheduler&) = delete;
    CDcmScheduler& operator=(const CDcmScheduler&) = delete;

    // Takes the nine DICOM connection settings for the next send.
    void updateConfig();

    bool isUploadInProgress() const { return m_backgroundUploadInProgress; }
    int currentEcgId() const { return m_currentEcgId; }
    // Recordings set aside since start, in the order they failed.
    QList<int> setAsideIds() const { return m_setAsideOrder; }

    // The weight text sent for a patient: kilograms with six significant
    // digits (pounds when weightUnit is 1); empty for none, 0 or a value that
    // is not a positive number.
    static QString weightInKg(const QVariant& weight, const QVariant& weightUnit);

public slots:
    void backgroundUploadTimerExpired();
    void dcmThreadFinished();

private:
    // The lowest due recording not set aside, or 0.
    int nextDueRecording();
    // Starts the send of ecgId; false when its row can't be read.
    bool startSend(int ecgId);
    void setAside(int ecgId, const std::string& why);
    void finishAtExit();

    QString m_version;
    QTimer* m_timer = nullptr;
    CDcmThread* m_thread = nullptr;
    bool m_leftAtExit = false;
    CSettingsMan* m_settings = nullptr;
    CFileMan* m_files = nullptr;
    QSqlDatabase* m_database = nullptr;
    int m_applicationType = 0;
    bool m_backgroundUploadInProgress = false;
    int m_currentEcgId = 0;
    CDcmCallbackInterface* m_callback = nullptr;
    QSet<int> m_setAside;
    QList<int> m_setAsideOrder;
    bool m_closing = false;
};

#endif
