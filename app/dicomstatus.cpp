#include "dicomstatus.h"

#include "dbman.h"
#include "dcmcomm.h"
#include "dcmscheduler.h"
#include "debuglog.h"
#include "qmlitems.h"
#include "settingsman.h"

#include <QTimer>

using namespace qml;
using dicomtexts::TestState;

namespace {
int index(DicomStatus::Server server)
{
    return server == DicomStatus::Server::Worklist ? 0 : 1;
}

const char* nameOf(DicomStatus::Server server)
{
    return server == DicomStatus::Server::Worklist ? "worklist" : "PACS";
}
} // namespace

DicomStatus::DicomStatus(QmlItems& items, const EngineParts& engine, CDcmScheduler* scheduler)
    : m_items(items), m_engine(engine), m_scheduler(scheduler)
{
    const QString version = QStringLiteral("%1 build: %2").arg(kAppVersion, kAppBuild);
    m_checker = std::make_unique<CDcmComm>(this, m_engine.db->database(), m_engine.settings, 1, version);
    // At start, and then with the background upload's rhythm.
    m_timer = std::make_unique<QTimer>();
    m_timer->setInterval(CDcmScheduler::kIntervalMs);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { retestFailing(); });
    m_timer->start();
    QTimer::singleShot(0, m_timer.get(), [this] { retestFailing(); });
}

DicomStatus::~DicomStatus() = default;

bool DicomStatus::isConfigured(const CSettingsMan& s, Server server)
{
    if (server == Server::Pacs)
        return CDcmScheduler::pacsConfigured(&s);
    return !s.dcmMwlTitle.trimmed().isEmpty() && !s.dcmMwlIp.trimmed().isEmpty() && s.dcmMwlPort > 0;
}

int& DicomStatus::status(Server server) const
{
    return server == Server::Worklist ? m_engine.settings->dicomMwlConfigStatus
                                      : m_engine.settings->dicomPacsConfigStatus;
}

bool DicomStatus::isRetesting() const
{
    return m_checker->isBusy();
}

TestState DicomStatus::testState(Server server) const
{
    const int i = index(server);
    if (m_saveTestRunning[i] || status(server) == 2)
        return dicomtexts::TestRunning;
    if (status(server) == 1)
        return dicomtexts::TestPassed;
    if (!m_reason[i].isEmpty())
        return dicomtexts::TestFailed;
    if (!isConfigured(*m_engine.settings, server))
        return dicomtexts::TestNotConfigured;
    // Not tested since start: the retest is on its way.
    return m_retesting[i] ? dicomtexts::TestRunning : dicomtexts::TestFailed;
}

QString DicomStatus::testLine(Server server) const
{
    const TestState state = testState(server);
    const QString& reason = m_reason[index(server)];
    return state == dicomtexts::TestFailed && !reason.isEmpty() ? reason : dicomtexts::testState(state);
}

void DicomStatus::publish()
{
    if (!m_items.isBound(Item::SettingsView))
        return;
    m_items.set<P::SetDcmMwlTestState>(int(testState(Server::Worklist)));
    m_items.set<P::SetDcmMwlTestText>(testLine(Server::Worklist));
    m_items.set<P::SetDcmPacsTestState>(int(testState(Server::Pacs)));
    m_items.set<P::SetDcmPacsTestText>(testLine(Server::Pacs));
}

void DicomStatus::updateConfig()
{
    m_checker->updateConfig();
    // A retest of the old settings says nothing about the new ones.
    ++m_generation;
}

void DicomStatus::testStarted(Server server)
{
    ++m_generation;
    m_saveTestRunning[index(server)] = true;
    m_reason[index(server)].clear();
    publish();
}

void DicomStatus::notConfigured(Server server)
{
    ++m_generation;
    m_saveTestRunning[index(server)] = false;
    m_reason[index(server)].clear();
    publish();
}

void DicomStatus::testAnswered(Server server, bool passed, const DcmFailure& failure,
                               const QString& errorText)
{
    const int i = index(server);
    m_saveTestRunning[i] = false;
    // Fields left empty are shown as such, not as a failure.
    m_reason[i] = passed || !isConfigured(*m_engine.settings, server)
        ? QString()
        : dicomtexts::testFailure(failure, errorText);
    publish();
    if (passed && server == Server::Pacs && m_scheduler)
        m_scheduler->resume();
}

bool DicomStatus::wantsRetest(Server server) const
{
    return status(server) == 0 && !m_saveTestRunning[index(server)]
        && isConfigured(*m_engine.settings, server);
}

void DicomStatus::testHandedOver(Server server)
{
    m_saveTestRunning[index(server)] = false;
    m_reason[index(server)].clear();
    retestFailing();
    publish();
}

void DicomStatus::retestFailing()
{
    if (m_checker->isBusy())
        return;
    for (Server server : {Server::Worklist, Server::Pacs}) {
        if (wantsRetest(server)) {
            startRetest(server);
            return;
        }
    }
}

bool DicomStatus::startRetest(Server server)
{
    m_retestGeneration = m_generation;
    const bool started = server == Server::Worklist ? m_checker->testMwlCredentials()
                                                    : m_checker->testPacsCredentials();
    if (started) {
        debugLog(2, std::string("DicomStatus: testing the ") + nameOf(server) + " again");
        m_retesting[index(server)] = true;
        publish();
    }
    return started;
}

void DicomStatus::dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse)
{
    retestAnswered(Server::Worklist, hasNetworkError || hasErrorResponse);
}

void DicomStatus::dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse)
{
    retestAnswered(Server::Pacs, hasNetworkError || hasErrorResponse);
}

void DicomStatus::retestAnswered(Server server, bool failed)
{
    const int i = index(server);
    m_retesting[i] = false;
    debugLog(2, std::string("DicomStatus: the ") + nameOf(server) + " test again "
                    + (failed ? "failed: " + m_checker->getLastErrorUtf8() : std::string("passed")));
    // A test of settings changed meanwhile says nothing: it runs again.
    const bool current = m_retestGeneration == m_generation;
    if (current && wantsRetest(server)) {
        record(server, !failed, m_checker->lastFailure(), m_checker->getLastError());
        if (!failed && server == Server::Pacs && m_scheduler)
            m_scheduler->resume();
    }
    if (!current && wantsRetest(server))
        startRetest(server);
    else if (server == Server::Worklist && wantsRetest(Server::Pacs))
        startRetest(Server::Pacs);
    publish();
}

void DicomStatus::record(Server server, bool passed, const DcmFailure& failure, const QString& errorText)
{
    m_reason[index(server)] = passed ? QString() : dicomtexts::testFailure(failure, errorText);
    if (!passed)
        return;
    status(server) = 1;
    if (!m_engine.settings->saveSettings(0x40))
        debugLogError("DicomStatus: the DICOM settings could not be saved");
    if (server == Server::Worklist)
        m_items.set<P::DicomMwlConfigStatus>(1);
    else
        m_items.set<P::DicomPacsConfigStatus>(1);
}
