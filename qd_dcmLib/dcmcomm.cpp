#include "dcmcomm.h"

#include "dcmerrors.h"
#include "dcmthread.h"
#include "debuglog.h"
#include "settingsman.h"

#include <QCoreApplication>

CDcmComm::CDcmComm(CDcmCallbackInterface* callback, QSqlDatabase* database, CSettingsMan* settings,
                   int applicationType, const QString& version)
    : m_settings(settings),
      m_database(database),
      m_callback(callback),
      m_applicationType(applicationType),
      m_version(version)
{
    debugLog(4, "entering CDcmComm constructor");
    m_thread = new CDcmThread(this, applicationType, database, version);
    updateConfig();
    connect(m_thread, &QThread::finished, this, &CDcmComm::dcmThreadFinished);
    // The program never destroys the front: the wait at exit hangs on quitting.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &CDcmComm::finishAtExit);
    m_lastError.clear();
    m_cmd = 0;
}

CDcmComm::~CDcmComm()
{
    m_thread->releaseFromOwner(this, m_leftAtExit);
}

void CDcmComm::finishAtExit()
{
    m_leftAtExit = !m_thread->finishBy(CDcmThread::exitDeadline());
}

void CDcmComm::updateConfig()
{
    debugLog(4, "CDcmComm::updateConfig()");
    if (m_settings)
        m_thread->setConfig(*m_settings);
}

bool CDcmComm::isBusy() const
{
    // Busy until the answer went out: the worker stops running a moment before
    // its finished() reaches this thread, and a request in that moment would
    // overwrite the result the answer is about to read.
    return m_busy || m_thread->isRunning();
}

bool CDcmComm::startRequest(const char* name, int command, const QString& a1, const QString& a2,
                            const QString& a3, const QString& a4)
{
    if (isBusy()) {
        debugLogError(std::string(name)
                      + " a request is already in progress, will not issue another request");
        m_lastError = QStringLiteral("Dicom currently busy");
        return false;
    }
    m_lastError.clear();
    if (!m_thread->setRequest(command, a1, a2, a3, a4)) {
        m_lastError = m_thread->getLastError();
        return false;
    }
    m_cmd = command;
    m_busy = true;
    m_thread->start(QThread::InheritPriority);
    debugLog(4, std::string(name) + " started");
    m_lastError.clear();
    return true;
}

bool CDcmComm::sendPacsFile(const QString& ecgPath, const QString& studyUid, const QString& breed,
                            const QString& weight)
{
    debugLog(4, "CDcmComm::sendPacsFile() filename=" + ecgPath.toStdString());
    return startRequest("CDcmComm::sendPacsFile()", DcmCmdSendPacsFile, ecgPath, studyUid, breed,
                        weight);
}

bool CDcmComm::loadMwl(const QString& patName, const QString& patExtId, const QString& ownerFirst,
                       const QString& ownerLast)
{
    debugLog(4, "CDcmComm::loadMwl() patExtId=" + patExtId.toStdString());
    return startRequest("CDcmComm::loadMwl()", DcmCmdLoadMwl, patName, patExtId, ownerFirst,
                        ownerLast);
}

bool CDcmComm::loadPacsList(const QString& patName, const QString& patExtId,
                            const QString& ownerFirst, const QString& ownerLast)
{
    debugLog(4, "CDcmComm::loadPacsList() patExtId=" + patExtId.toStdString());
    return startRequest("CDcmComm::loadPacsList()", DcmCmdLoadPacsList, patName, patExtId,
                        ownerFirst, ownerLast);
}

bool CDcmComm::loadFromPacs(const QString& studyUid, const QString& outDir, const QString& fileName)
{
    debugLog(4, "CDcmComm::loadFromPacs() fileName=" + fileName.toStdString());
    return startRequest("CDcmComm::loadFromPacs()", DcmCmdLoadFromPacs, studyUid, outDir, fileName,
                        QString());
}

bool CDcmComm::testMwlCredentials()
{
    debugLog(4, "CDcmComm::testMwlCredentials()");
    return startRequest("CDcmComm::testMwlCredentials()", DcmCmdTestMwlCredentials,
                        QStringLiteral("testingCredentials"), QStringLiteral("MalvorantQml"),
                        QString(), QString());
}

bool CDcmComm::testPacsCredentials()
{
    debugLog(4, "CDcmComm::testPacsCredentials()");
    return startRequest("CDcmComm::testPacsCredentials()", DcmCmdTestPacsCredentials,
                        QStringLiteral("testingCredentials"), QStringLiteral("MalvorantQml"),
                        QString(), QString());
}

void CDcmComm::dcmThreadFinished()
{
    debugLog(4, "CDcmComm::dcmThreadFinished() called");
    m_busy = false;
    m_lastError = m_thread->getLastError();
    m_lastFailure = m_thread->failure();
    const DcmAnswerFlags flags = dcmAnswerFlags(m_thread->resultClass());
    if (!m_callback)
        return;
    switch (m_cmd) {
    case DcmCmdSendPacsFile:
        m_callback->dcmRespSendPacsFile(flags.hasNetworkError, flags.hasErrorResponse, false);
        break;
    case DcmCmdLoadMwl:
        m_callback->dcmRespLoadMwl(flags.hasNetworkError, flags.hasErrorResponse);
        break;
    case DcmCmdLoadPacsList:
        m_callback->dcmRespLoadPacsList(flags.hasNetworkError, flags.hasErrorResponse);
        break;
    case DcmCmdLoadFromPacs:
        m_callback->dcmRespLoadFromPacs(flags.hasNetworkError, flags.hasErrorResponse);
        break;
    case DcmCmdTestMwlCredentials:
        m_callback->dcmRespTestMwlCredentials(flags.hasNetworkError, flags.hasErrorResponse);
        break;
    case DcmCmdTestPacsCredentials:
        m_callback->dcmRespTestPacsCredentials(flags.hasNetworkError, flags.hasErrorResponse);
        break;
    default:
        debugLogError("CDcmComm::dcmThreadFinished() unknown cmd=" + toStdString(m_cmd));
        break;
    }
}
