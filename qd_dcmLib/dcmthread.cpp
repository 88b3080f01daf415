#include "dcmthread.h"

#include "dcmerrors.h"
#include "debuglog.h"
#include "settingsman.h"

#include <exception>
#include <mutex>

CDcmThread::CDcmThread(QObject* parent, int applicationType, QSqlDatabase* database,
                       const QString& version)
    : QThread(parent), m_database(database), m_applicationType(applicationType), m_version(version)
{
    debugLog(4, "entering CDcmThread constructor");
    // The process-wide DCMTK values are fixed by the first job, before its
    // first network (every job asks for the time-out first), never during
    // one: a session without DICOM work does not start DCMTK's network layer.
}

CDcmThread::~CDcmThread()
{
    // The owners wait (bounded) and never delete a running thread; a thread
    // that still runs here was handed over to be left alone.
}

void CDcmThread::setConfig(const CSettingsMan& settings)
{
    debugLog(4, "CDcmThread::setConfig()");
    m_pendingConfig.localAeTitle = settings.dcmModalityName;
    m_pendingConfig.localPort = settings.dcmModalityPort;
    m_pendingConfig.mwlIp = settings.dcmMwlIp;
    m_pendingConfig.mwlAeTitle = settings.dcmMwlTitle;
    m_pendingConfig.mwlPort = settings.dcmMwlPort;
    m_pendingConfig.pacsIp = settings.dcmPacsIp;
    m_pendingConfig.pacsAeTitle = settings.dcmPacsTitle;
    m_pendingConfig.pacsPort = settings.dcmPacsPort;
    m_pendingConfig.institutionName = settings.dcmInstitutionName;
}

bool CDcmThread::setRequest(int command, const QString& a1, const QString& a2, const QString& a3,
                            const QString& a4)
{
    debugLog(4, "entering CDcmThread::setRequest()");
    if (isRunning()) {
        // The running job reads the request; it is never changed under it.
        debugLogError("CDcmThread::setRequest() a job is running, request refused");
        return false;
    }
    takeUpJob();
    m_cmd = command;
    m_errorText.clear();
    m_cancel.reset();
    if (command < DcmCmdSendPacsFile || command > DcmCmdTestPacsCredentials) {
        m_errorText = QStringLiteral("CDcmThread::setRequest() unknown cmd=") + QString::number(command);
        debugLogError(m_errorText.toStdString());
        return false;
    }
    m_config = m_pendingConfig;
    switch (command) {
    case DcmCmdSendPacsFile:
        m_ecgPath = a1;
        m_studyUid = a2;
        m_breed = a3;
        m_weight = a4;
        break;
    case DcmCmdLoadFromPacs:
        m_studyUid = a1;
        m_outDir = a2;
        m_fileName = a3;
        break;
    default:
        m_queryPatientName = a1;
        m_queryPatientId = a2;
        m_queryOwnerFirst = a3;
        m_queryOwnerLast = a4;
        break;
    }
    return true;
}

void CDcmThread::run()
{
    debugLog(4, "entering CDcmThread::run() cmd=" + toStdString(m_cmd));
    m_errorText.clear();
    m_resultClass = DCM_CLASS_SUCCESS;
    m_resultCode = DCM_OK;
    m_failure = DcmFailure();

    int code = DCM_OK;
    bool known = true;
    try {
        if (m_cmd < DcmCmdSendPacsFile || m_cmd > DcmCmdTestPacsCredentials)
            known = false;
        else
            code = runJob();
    } catch (const std::exception& e) {
        code = setError(-1, QStringLiteral("CDcmThread::run() job failed: ")
                                + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        code = setError(-1, QStringLiteral("CDcmThread::run() job failed"));
    }

    if (known) {
        m_resultCode = code;
        m_resultClass = dcmResultClass(code);
        if (code == DCM_OK)
            m_failure.kind = DcmFailureKind::None;
        else if (!m_failure.failed())
            m_failure.kind = DcmFailureKind::Other;
    } else {
        m_failure.kind = DcmFailureKind::Other;
        m_errorText = QStringLiteral("CDcmThread::setRequest() unknown cmd=") + QString::number(m_cmd);
        debugLogError(m_errorText.toStdString());
        m_resultCode = -1;
        m_resultClass = DCM_CLASS_OTHER;
    }
    debugLog(4, "leaving CDcmThread::run() cmd=" + toStdString(m_cmd));
    m_jobsDone.fetch_add(1, std::memory_order_release);
}

int CDcmThread::runJob()
{
    switch (m_cmd) {
    case DcmCmdSendPacsFile:
        return sendPacsFile();
    case DcmCmdLoadMwl:
    case DcmCmdTestMwlCredentials:
        return loadList(true);
    case DcmCmdLoadPacsList:
    case DcmCmdTestPacsCredentials:
        return loadList(false);
    case DcmCmdLoadFromPacs:
        return loadFromPacs();
    default:
        return DCM_OK;
    }
}

int CDcmThread::setError(int code, const QString& text)
{
    m_errorText = text;
    debugLogError(text.toStdString());
    return code;
}

int CDcmThread::setError(int code, DcmFailureKind kind, const QString& text)
{
    m_failure.kind = kind;
    return setError(code, text);
}

QString CDcmThread::checkAeTitle(const QString& title, const char* what)
{
    const QString name = QLatin1String(what) + QStringLiteral(" AE title");
    if (title.trimmed().isEmpty())
        return QStringLiteral("The %1 is empty; enter it in the DICOM settings").arg(name);
    for (const QChar c : title) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('\\'))
            return QStringLiteral("The %1 \"%2\" holds a character an AE title can't hold")
                .arg(name, title);
    }
    if (title.size() > kMaxAeTitleLength)
        return QStringLiteral("The %1 \"%2\" is longer than %3 characters")
            .arg(name, title)
            .arg(kMaxAeTitleLength);
    return {};
}

int CDcmThread::checkPeer(const QString& host, int port, const QString& aeTitle, const char* what)
{
    m_failure.calledTitle = aeTitle.toStdString();
    m_failure.callingTitle = m_config.localAeTitle.toStdString();
    QString problem = checkAeTitle(m_config.localAeTitle, "local");
    if (problem.isEmpty())
        problem = checkAeTitle(aeTitle, what);
    if (problem.isEmpty() && host.trimmed().isEmpty())
        problem = QStringLiteral("The %1 host is empty; enter it in the DICOM settings")
                      .arg(QLatin1String(what));
    if (problem.isEmpty() && (port < 1 || port > 65535))
        problem = QStringLiteral("The %1 port %2 is not a port number (1 to 65535)")
                      .arg(QLatin1String(what))
                      .arg(port);
    if (problem.isEmpty())
        return DCM_OK;
    // A settings fault, not the recording's: a later attempt may succeed.
    return setError(DCM_ERR_ASSOC_REQUEST, DcmFailureKind::Settings, problem);
}

void CDcmThread::requestStop()
{
    m_cancel.cancel();
}

bool CDcmThread::finishBy(const QDeadlineTimer& deadline)
{
    requestStop();
    if (isRunning()) {
        debugLog(2, "CDcmThread::finishBy() waiting for the running job cmd=" + toStdString(m_cmd));
        if (!wait(deadline)) {
            debugLogError("CDcmThread::finishBy() the job cmd=" + toStdString(m_cmd)
                          + " still runs; it is left to end with the process");
            return false;
        }
    }
    takeUpJob();
    return true;
}

void CDcmThread::releaseFromOwner(QObject* owner, bool givenUp)
{
    requestStop();
    // A job given up at quitting is not waited for again.
    const bool stopped = givenUp ? !isRunning() : finishBy(QDeadlineTimer(kExitWaitMs));
    if (stopped) {
        takeUpJob();
    } else {
        disconnect(this, nullptr, owner, nullptr);
        setParent(nullptr);
    }
}

QDeadlineTimer CDcmThread::exitDeadline()
{
    static std::once_flag once;
    static QDeadlineTimer deadline;
    std::call_once(once, [] { deadline = QDeadlineTimer(kExitWaitMs); });
    return deadline;
}
