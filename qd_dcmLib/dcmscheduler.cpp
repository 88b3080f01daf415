#include "dcmscheduler.h"

#include "dcmcallbackinterface.h"
#include "dcmerrors.h"
#include "dcmthread.h"
#include "debuglog.h"
#include "fileman.h"
#include "settingsman.h"
#include "sqlexec.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlRecord>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

#include <cmath>

CDcmScheduler::CDcmScheduler(CDcmCallbackInterface* callback, QSqlDatabase* database,
                             CSettingsMan* settings, CFileMan* files, int applicationType,
                             const QString& version)
    : m_version(version),
      m_settings(settings),
      m_files(files),
      m_database(database),
      m_applicationType(applicationType),
      m_callback(callback)
{
    debugLog(4, "entering CDcmScheduler constructor");
    m_thread = new CDcmThread(this, applicationType, database, version);
    updateConfig();
    connect(m_thread, &QThread::finished, this, &CDcmScheduler::dcmThreadFinished);
    m_backgroundUploadInProgress = false;
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CDcmScheduler::backgroundUploadTimerExpired);
    m_timer->start(kIntervalMs);
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &CDcmScheduler::finishAtExit);
}

CDcmScheduler::~CDcmScheduler()
{
    m_closing = true;
    m_timer->stop();
    m_thread->releaseFromOwner(this, m_leftAtExit);
}

void CDcmScheduler::finishAtExit()
{
    m_closing = true;
    m_timer->stop();
    m_leftAtExit = !m_thread->finishBy(CDcmThread::exitDeadline());
}

void CDcmScheduler::updateConfig()
{
    debugLog(4, "entering CDcmScheduler::updateConfig()");
    if (m_settings)
        m_thread->setConfig(*m_settings);
    // Other settings may let the recordings set aside through.
    if (!m_setAside.isEmpty()) {
        debugLog(2, "CDcmScheduler::updateConfig() recordings set aside get another chance");
        m_setAside.clear();
        m_setAsideOrder.clear();
        emit queueChanged();
    }
    m_intervalMs = kIntervalMs;
    m_lastSharedFailure.clear();
}

void CDcmScheduler::resume()
{
    m_intervalMs = kIntervalMs;
    m_lastSharedFailure.clear();
    if (!m_backgroundUploadInProgress && !m_closing)
        backgroundUploadTimerExpired();
}

bool CDcmScheduler::pacsConfigured(const CSettingsMan* settings)
{
    return settings && !settings->dcmPacsTitle.trimmed().isEmpty()
        && !settings->dcmPacsIp.trimmed().isEmpty() && settings->dcmPacsPort > 0;
}

QString CDcmScheduler::weightInKg(const QVariant& weight, const QVariant& weightUnit)
{
    if (weight.isNull())
        return {};
    bool ok = false;
    const float value = weight.toFloat(&ok);
    if (!ok || !std::isfinite(value) || value <= 0.0f)
        return {};
    double kg = value;
    if (weightUnit.toInt() == 1)
        kg = double(value) * kKgPerPound;
    return QString::number(kg, 'g', 6);
}

namespace {
// With applicationType 1 every recording with a patient and no PACS time is
// due, otherwise only those marked for the PACS.
QString dueCondition(int applicationType)
{
    return applicationType == 1
        ? QStringLiteral("coalesce(pacsTs,0)=0 and coalesce(pacsStatus,0)<=1 and coalesce(patientId,0)!=0")
        : QStringLiteral("coalesce(pacsTs,0)=0 and pacsStatus=1 and coalesce(patientId,0)!=0");
}
} // namespace

int CDcmScheduler::nextDueRecording()
{
    QSqlQuery query(*m_database);
    if (!runQuery(query,
                  QStringLiteral("select ecgId from ecgTable where ") + dueCondition(m_applicationType)
                      + QStringLiteral(" order by ecgId"),
                  {}, "CDcmScheduler::backgroundUploadTimerExpired()"))
        return 0;
    while (query.next()) {
        const int ecgId = query.value(0).toInt();
        if (ecgId > 0 && !m_foreground.contains(ecgId) && !isSetAside(ecgId))
            return ecgId;
    }
    return 0;
}

bool CDcmScheduler::isDue(int ecgId)
{
    QSqlQuery query(*m_database);
    return runQuery(query,
                    QStringLiteral("select ecgId from ecgTable where ecgId=? and ")
                        + dueCondition(m_applicationType),
                    {ecgId}, "CDcmScheduler::isDue()")
        && query.next();
}

QString CDcmScheduler::signatureOf(int ecgId)
{
    QStringList parts;
    QSqlQuery query(*m_database);
    if (runQuery(query,
                 QStringLiteral("select e.patientId, e.fileName, e.fileSize, e.ecgTime, "
                                "e.pacsStudyUuid, e.pacsStatus, e.tsLastChanged, p.* from ecgTable e "
                                "left join patientTable p on p.patientId=e.patientId where e.ecgId=?"),
                 {ecgId}, "CDcmScheduler::signatureOf()")
        && query.next()) {
        const int columns = query.record().count();
        for (int i = 0; i < columns; ++i)
            parts << query.value(i).toString();
        const QFileInfo file(QDir(m_files ? m_files->dataFolder() : QString()).filePath(query.value(1).toString()));
        parts << QString::number(file.exists() ? file.size() : -1)
              << QString::number(file.exists() ? file.lastModified().toMSecsSinceEpoch() : 0);
    }
    return parts.join(QChar(0x1f));
}

bool CDcmScheduler::isSetAside(int ecgId)
{
    const auto it = m_setAside.constFind(ecgId);
    if (it == m_setAside.constEnd())
        return false;
    if (signatureOf(ecgId) == it->signature)
        return true;
    debugLog(2, "CDcmScheduler: recording " + toStdString(ecgId)
                    + " or its patient changed, it is due again");
    m_setAside.remove(ecgId);
    m_setAsideOrder.removeAll(ecgId);
    return false;
}

bool CDcmScheduler::startSend(int ecgId)
{
    QSqlQuery query(*m_database);
    if (!runQuery(query,
                  QStringLiteral("select t1.fileName, t1.pacsStudyUuid, t2.breed, t2.weight, "
                                 "t2.weightUnit from ecgTable t1, patientTable t2 where "
                                 "t1.ecgId=? and t1.patientId=t2.patientId"),
                  {ecgId}, "CDcmScheduler::backgroundUploadTimerExpired()")
        || !query.next()) {
        return false;
    }
    const QString fileName = query.value(0).toString();
    const QString studyUid = query.value(1).toString();
    const QString breed = query.value(2).toString();
    const QString weight = weightInKg(query.value(3), query.value(4));
    if (fileName.isEmpty())
        return false;

    QString folder = m_files->dataFolder();
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    const QString path = folder + fileName;
    m_currentEcgId = ecgId;
    debugLog(2, "CDcmScheduler::backgroundUploadTimerExpired() sending ecgId=" + toStdString(ecgId)
                    + " file=" + path.toStdString());
    if (!m_thread->setRequest(0, path, studyUid, breed, weight))
        return false;
    m_thread->start(QThread::InheritPriority);
    emit queueChanged();
    return true;
}

void CDcmScheduler::setAside(int ecgId, const DcmFailure& failure, const std::string& why)
{
    if (ecgId <= 0)
        return;
    if (!m_setAside.contains(ecgId))
        m_setAsideOrder.append(ecgId);
    m_setAside.insert(ecgId, SetAside{signatureOf(ecgId), failure});
    debugLogError("CDcmScheduler: recording " + toStdString(ecgId)
                  + " set aside until it, its patient or the settings change: " + why);
    emit queueChanged();
}

void CDcmScheduler::setAsideRecording(int ecgId, const DcmFailure& failure)
{
    setAside(ecgId, failure, std::string("a send from the screen failed: ")
                                 + dcmFailureKindName(failure.kind));
}

DcmFailure CDcmScheduler::setAsideFailure(int ecgId)
{
    if (!isSetAside(ecgId))
        return {};
    return m_setAside.value(ecgId).failure;
}

CDcmScheduler::QueueState CDcmScheduler::queueState(int ecgId)
{
    if (ecgId <= 0)
        return QueueState::None;
    if (m_foreground.contains(ecgId) || (m_backgroundUploadInProgress && m_currentEcgId == ecgId))
        return QueueState::Sending;
    if (!pacsConfigured(m_settings) || !isDue(ecgId))
        return QueueState::None;
    return isSetAside(ecgId) ? QueueState::SetAside : QueueState::Waiting;
}

bool CDcmScheduler::claimForeground(int ecgId)
{
    if (m_backgroundUploadInProgress && m_currentEcgId == ecgId) {
        debugLog(2, "CDcmScheduler: recording " + toStdString(ecgId)
                        + " is being sent in the background already");
        return false;
    }
    m_foreground.insert(ecgId);
    emit queueChanged();
    return true;
}

void CDcmScheduler::releaseForeground(int ecgId)
{
    if (m_foreground.remove(ecgId))
        emit queueChanged();
}

void CDcmScheduler::sharedFailure(const DcmFailure& failure)
{
    // The same failure again: the PACS or the folder needs longer.
    const QString key = QLatin1String(dcmFailureKindName(failure.kind)) + QLatin1Char(':')
        + QString::number(failure.status);
    if (key == m_lastSharedFailure)
        m_intervalMs = qMin(m_intervalMs * 2, kMaxIntervalMs);
    else
        m_intervalMs = kIntervalMs;
    m_lastSharedFailure = key;
    if (!m_closing)
        m_timer->start(m_intervalMs);
    debugLog(2, "CDcmScheduler: recording " + toStdString(m_currentEcgId)
                    + " keeps its place; next try in " + toStdString(m_intervalMs / 1000) + " s");
}

void CDcmScheduler::backgroundUploadTimerExpired()
{
    debugLog(4, "CDcmScheduler::backgroundUploadTimerExpired()");
    if (m_closing)
        return;
    m_timer->start(m_intervalMs);
    if (m_backgroundUploadInProgress || m_thread->isRunning()) {
        debugLogError("CDcmScheduler::backgroundUploadTimerExpired() but backgroundUploadInProgress="
                      + toStdString(true));
        return;
    }
    m_backgroundUploadInProgress = true;
    if (!pacsConfigured(m_settings)) {
        m_backgroundUploadInProgress = false;
        return;
    }
    // A recording whose row can't be read is set aside; the next one is tried.
    for (;;) {
        const int ecgId = nextDueRecording();
        if (ecgId == 0)
            break;
        if (startSend(ecgId))
            return; // in progress until the worker has finished
        DcmFailure failure;
        failure.kind = DcmFailureKind::Recording;
        setAside(ecgId, failure, "its row or patient can't be read");
    }
    m_backgroundUploadInProgress = false;
}

void CDcmScheduler::dcmThreadFinished()
{
    debugLog(4, "CDcmScheduler::dcmThreadFinished()");
    m_backgroundUploadInProgress = false;
    const int ecgId = m_currentEcgId;
    const int resultClass = m_thread->resultClass();
    const DcmFailure failure = m_thread->failure();
    if (resultClass != DCM_CLASS_SUCCESS) {
        if (resultClass == DCM_CLASS_NETWORK)
            debugLogError("CDcmScheduler::dcmRespSendPacsFile() NetworkError="
                          + m_thread->getLastErrorUtf8());
        else
            debugLogError("CDcmScheduler::dcmRespSendPacsFile() ErrorResponse="
                          + m_thread->getLastErrorUtf8());
        if (!dcmFailureIsRecordings(failure.kind)) {
            // Not this recording's fault: it keeps its place for the next tick.
            sharedFailure(failure);
            emit queueChanged();
            return;
        }
        setAside(ecgId, failure, std::string("it can't be sent: ") + dcmFailureKindName(failure.kind));
    } else if (!m_files || !m_files->setPacsTs(ecgId)) {
        // On the PACS but not marked: never sent again in a loop.
        DcmFailure notMarked;
        notMarked.kind = DcmFailureKind::NotMarked;
        setAside(ecgId, notMarked, "sent, but marking it sent failed");
    } else {
        m_intervalMs = kIntervalMs;
        m_lastSharedFailure.clear();
        qDebug() << "file" << ecgId << "successfully uploaded to PACS";
        emit queueChanged();
        if (m_callback)
            m_callback->dcmRespSendPacsFile(false, false, true);
    }
    if (!m_closing)
        backgroundUploadTimerExpired();
}
