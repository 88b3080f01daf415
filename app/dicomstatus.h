#ifndef MALVORANT_DICOMSTATUS_H
#define MALVORANT_DICOMSTATUS_H

#include "bridgeparts.h"
#include "dcmcallbackinterface.h"
#include "dcmfailure.h"
#include "dicomtexts.h"

#include <QString>

#include <memory>

class CDcmComm;
class CDcmScheduler;
class QmlItems;
class QTimer;

// Where the worklist server and the PACS stand: the result of each one's
// last connection test (stored as dicomMwlConfigStatus and
// dicomPacsConfigStatus, published to the screens) and why a test failed,
// shown in the DICOM settings.
//
// A server that is configured and does not pass is tested again at start
// and at every background tick, on a worker of its own, so the user's
// requests never wait for it; when the PACS passes again, the background
// upload sends what waited at once.
class DicomStatus : public CDcmCallbackInterface
{
public:
    using Server = dicomtexts::Server;

    // scheduler may be null.
    DicomStatus(QmlItems& items, const EngineParts& engine, CDcmScheduler* scheduler);
    ~DicomStatus();

    DicomStatus(const DicomStatus&) = delete;
    DicomStatus& operator=(const DicomStatus&) = delete;

    // The user saved the server's settings: its test starts (running) or it
    // is not configured; a test of the old settings still running is forgotten.
    void testStarted(Server server);
    void notConfigured(Server server);
    // The front could not take the saved settings' test: the own worker runs it.
    void testHandedOver(Server server);
    // A test of the saved settings answered.
    void testAnswered(Server server, bool passed, const DcmFailure& failure, const QString& errorText);
    // New connection settings for the own worker.
    void updateConfig();

    // Tests the configured servers that do not pass, unless such a test runs.
    void retestFailing();
    // Writes each server's test state and line into the settings view.
    void publish();

    static bool isConfigured(const CSettingsMan& settings, Server server);
    dicomtexts::TestState testState(Server server) const;
    QString testLine(Server server) const;
    bool isRetesting() const;

    // The answers of the own worker (only its connection tests).
    void dcmRespSendPacsFile(bool, bool, bool) override {}
    void dcmRespLoadMwl(bool, bool) override {}
    void dcmRespLoadPacsList(bool, bool) override {}
    void dcmRespLoadFromPacs(bool, bool) override {}
    void dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse) override;
    void dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse) override;

private:
    int& status(Server server) const;
    void record(Server server, bool passed, const DcmFailure& failure, const QString& errorText);
    // The servers a retest would take now.
    bool wantsRetest(Server server) const;
    void retestAnswered(Server server, bool failed);
    bool startRetest(Server server);

    QmlItems& m_items;
    EngineParts m_engine;
    CDcmScheduler* m_scheduler = nullptr;
    std::unique_ptr<CDcmComm> m_checker;
    std::unique_ptr<QTimer> m_timer;
    // Why each server's last test failed; empty after a pass.
    QString m_reason[2];
    // A test of saved settings runs (the front's), a retest runs (the own worker's).
    bool m_saveTestRunning[2] = {false, false};
    bool m_retesting[2] = {false, false};
    // Settings saved while a retest ran make its answer stale.
    int m_generation = 0;
    int m_retestGeneration = -1;
};

#endif
