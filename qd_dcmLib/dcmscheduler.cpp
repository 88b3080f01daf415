#include "dcmscheduler.h"

#include "dcmcallbackinterface.h"
#include "dcmerrors.h"
#include "dcmthread.h"
#include "debuglog.h"
#include "fileman.h"
#include "settingsman.h"
#include "sqlexec.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
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

int CDcmScheduler::nextDueRecording()
{
    // With applicationType 1 every recording with a patient and no PACS time
    // is due, otherwise only those marked for the PACS.
    const QString sql = m_applicationType == 1
        ? QStringLiteral("select ecgId from ecgTable where coalesce(pacsTs,0)=0 and "
                         "coalesce(pacsStatus,0)<=1 and coalesce(patientId,0)!=0 order by ecgId")
        : QStringLiteral("select ecgId from ecgTable where coalesce(pacsTs,0)=0 and "
                         "pacsStatus=1 and coalesce(patientId,0)!=0 order by ecgId");
    QSqlQuery query(*m_database);
    if (!runQuery(query, sql, {}, "CDcmScheduler::backgroundUploadTimerExpired()"))
        return 0;
    while (query.next()) {
        const int ecgId = query.value(0).toInt();
        if (ecgId > 0 && !m_setAside.contains(ecgId))
            return ecgId;
    }
    return 0;
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
    return true;
}

void CDcmScheduler::setAside(int ecgId, const std::string& why)
{
    if (ecgId <= 0 || m_setAside.contains(ecgId))
        return;
    m_setAside.insert(ecgId);
    m_setAsideOrder.append(ecgId);
    debugLogError("CDcmScheduler: recording " + toStdString(ecgId)
                  + " set aside until restart: " + why);
}

void CDcmScheduler::backgroundUploadTimerExpired()
{
    debugLog(4, "CDcmScheduler::backgroundUploadTimerExpired()");
    if (m_closing)
        return;
    m_timer->start(kIntervalMs);
    if (m_backgroundUploadInProgress || m_thread->isRunning()) {
        debugLogError("CDcmScheduler::backgroundUploadTimerExpired() but backgroundUploadInProgress="
                      + toStdString(true));
        return;
    }
    m_backgroundUploadInProgress = true;
    if (!m_settings || m_settings->dicomPacsConfigStatus == 0) {
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
        setAside(ecgId, "its row or patient can't be read");
    }
    m_backgroundUploadInProgress = false;
}

void CDcmScheduler::dcmThreadFinished()
{
    debugLog(4, "CDcmScheduler::dcmThreadFinished()");
    m_backgroundUploadInProgress = false;
    const int resultClass = m_thread->resultClass();
    if (resultClass == DCM_CLASS_NETWORK) {
        // The PACS or the network: the same recording is first at the next tick.
        debugLogError("CDcmScheduler::dcmRespSendPacsFile() NetworkError="
                      + m_thread->getLastErrorUtf8());
        return;
    }
    if (resultClass != DCM_CLASS_SUCCESS) {
        debugLogError("CDcmScheduler::dcmRespSendPacsFile() ErrorResponse="
                      + m_thread->getLastErrorUtf8());
        setAside(m_currentEcgId, "it can't be sent");
    } else if (!m_files || !m_files->setPacsTs(m_currentEcgId)) {
        // On the PACS but not marked: never sent again in a loop.
        setAside(m_currentEcgId, "sent, but marking it sent failed");
    } else {
        qDebug() << "file" << m_currentEcgId << "successfully uploaded to PACS";
        if (m_callback)
            m_callback->dcmRespSendPacsFile(false, false, true);
    }
    if (!m_closing)
        backgroundUploadTimerExpired();
}
