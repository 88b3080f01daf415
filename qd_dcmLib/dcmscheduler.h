#ifndef MALVORANT_DCMSCHEDULER_H
#define MALVORANT_DCMSCHEDULER_H

#include "dcmfailure.h"

#include <QHash>
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
// after each send that succeeded, the oldest due recording goes to a worker
// thread of its own. A sent recording is marked (pacsTs, pacsStatus 2) and
// announced through dcmRespSendPacsFile(false, false, true). It works while a
// PACS is configured, whatever its last connection test said.
//
// A failure that belongs to the recording (its file can't be read or
// converted, the PACS refuses the object for its content, its row can't be
// read, it was sent but can't be marked) sets that recording aside until the
// recording, its patient or the settings change, and the run goes on with
// the next. Any other failure (the network, the PACS out of resources, a
// folder that can't be written, the unknown) is shared: the recording keeps
// its place and is tried at the next tick, which comes later each time the
// same failure repeats, up to kMaxIntervalMs. No failure stops the queue.
//
// A recording is marked as being sent before it goes, by this road or by a
// send from the screen (claimForeground); either road skips a recording the
// other is sending. GUI thread only.
class CDcmScheduler : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 60000;
    // The longest wait between ticks while a shared failure repeats.
    static constexpr int kMaxIntervalMs = 300000;
    // Pounds to kilograms.
    static constexpr double kKgPerPound = 0.453592;

    // Where a recording stands in the queue.
    enum class QueueState
    {
        None,     // not due (sent, no patient, no PACS configured)
        Waiting,  // due: goes with a coming tick
        Sending,  // being sent, by either road
        SetAside  // failed for itself; see setAsideReason()
    };

    CDcmScheduler(CDcmCallbackInterface* callback, QSqlDatabase* database, CSettingsMan* settings,
                  CFileMan* files, int applicationType, const QString& version);
    // Stops the timer and waits a bounded time for a running send; one still
    // running then is left to end with the process.
    ~CDcmScheduler() override;

    CDcmScheduler(const CDcmScheduler&) = delete;
    CDcmScheduler& operator=(const CDcmScheduler&) = delete;

    // Takes the nine DICOM connection settings for the next send. New
    // settings give every recording set aside another chance and end the
    // waiting after shared failures.
    void updateConfig();
    // Sends what is due now, without waiting for the tick (the PACS has just
    // answered a connection test); the waiting after failures starts anew.
    void resume();

    bool isUploadInProgress() const { return m_backgroundUploadInProgress; }
    int currentEcgId() const { return m_currentEcgId; }
    // The interval to the next tick, in ms.
    int intervalMs() const { return m_intervalMs; }
    // Recordings set aside since start, in the order they failed; a recording
    // given another chance leaves the list.
    QList<int> setAsideIds() const { return m_setAsideOrder; }

    QueueState queueState(int ecgId);
    // Why the recording was set aside; kind None when it is not.
    DcmFailure setAsideFailure(int ecgId);
    // Sets a recording aside for a failure of its own that a send from the
    // screen met.
    void setAsideRecording(int ecgId, const DcmFailure& failure);

    // A send from the screen: marks the recording as being sent; false when
    // this road is sending it already (the screen then leaves it alone).
    bool claimForeground(int ecgId);
    void releaseForeground(int ecgId);

    // The weight text sent for a patient: kilograms with six significant
    // digits (pounds when weightUnit is 1); empty for none, 0 or a value that
    // is not a positive number.
    static QString weightInKg(const QVariant& weight, const QVariant& weightUnit);

    // Whether the settings name a PACS to send to (AE title, host and port).
    static bool pacsConfigured(const CSettingsMan* settings);

public slots:
    void backgroundUploadTimerExpired();
    void dcmThreadFinished();

signals:
    // A recording started or ended being sent, or was set aside: what the
    // screen shows of the queue may have changed.
    void queueChanged();

private:
    struct SetAside
    {
        QString signature;
        DcmFailure failure;
    };

    // The lowest due recording that is neither set aside nor being sent, or 0.
    int nextDueRecording();
    bool isDue(int ecgId);
    // Starts the send of ecgId; false when its row can't be read.
    bool startSend(int ecgId);
    void setAside(int ecgId, const DcmFailure& failure, const std::string& why);
    // True while the recording is set aside and nothing of it changed since.
    bool isSetAside(int ecgId);
    // What the recording, its patient and its file are now, as one text.
    QString signatureOf(int ecgId);
    void sharedFailure(const DcmFailure& failure);
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
    QHash<int, SetAside> m_setAside;
    QList<int> m_setAsideOrder;
    QSet<int> m_foreground;
    int m_intervalMs = kIntervalMs;
    // The shared failure met last (kind and status), while it repeats.
    QString m_lastSharedFailure;
    bool m_closing = false;
};

#endif
