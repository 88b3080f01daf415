#include "qmlinterface.h"

#include "dbman.h"
#include "debuglog.h"
#include "fileman.h"
#include "patientman.h"
#include "settingsman.h"

#include <QDateTime>
#include <QtDebug>

#include <cstdlib>
#include <vector>

CQmlInterface::CQmlInterface(QObject* parent)
    : QObject(parent)
{
    // Folders first: nothing can be logged or stored without them.
    if (!setUpAppFolders(m_folders))
        std::exit(-1);

    // Before the logger opens its files, so no open file is ever removed.
    purgeOldLogFiles();

    g_pDebugLog = new CDebugLog(1, false, m_folders.logFolder.toStdString(), kLogBaseName);

    qDebug().noquote() << "appDataLocation: " + m_folders.dataFolder;
    debugLog(2, "--------------- starting app --------------");
    debugLog(4, "entering CQmlInterface constructor");

    // The rest joins here, in this order, as it is built: update-installer
    // folder; chart meta types; acquisition stream (before the database).

    // The program never runs on without its database.
    m_dbMan = new CDbMan(m_folders.dataFolder, m_dbFromVersion, m_dbToVersion);
    if (!m_dbMan->isOk()) {
        debugLogError("CQmlInterface constructor database failed: " + m_dbMan->errorText().toStdString());
        qCritical().noquote() << m_dbMan->errorText();
        std::exit(-1);
    }
    m_settingsMan = new CSettingsMan(QStringLiteral("MalvorantQml"), m_dbMan->database(),
                                     m_dbFromVersion, m_dbToVersion);
    if (!m_settingsMan->isOk()) {
        debugLogError("CQmlInterface constructor settings could not be written");
        std::exit(-1);
    }

    m_patientMan = new CPatientMan(m_dbMan->database(), m_settingsMan, m_dbFromVersion,
                                   m_dbToVersion, 1);

    // Then the species analysis thresholds join here.

    m_patientMan->loadPatient(m_settingsMan->patientId);

    m_fileMan = new CFileMan(m_folders.dataFolder, m_dbMan->database(), m_settingsMan,
                             m_dbFromVersion, m_dbToVersion);
    // Recordings a previous run did not live to finish become pending again.
    m_fileMan->reconcileDataFolder();
    m_fileMan->ecgBuffer().setFilterOptions(m_settingsMan->powerIs60Hz == 1 ? 2 : 1, true);

    // Then: telemedicine client and scheduler; DICOM client and
    // scheduler; beat tone; display state; service properties file; viewer
    // defaults; the two beat analyses and the lead-in ring.

    m_firstUpdate = true;
    debugLog(4, "leaving CQmlInterface constructor");
}

// The managers outlive the bridge and end with the process. Their addresses
// stay in a list that is never destroyed, so they remain reachable and a leak
// checker at exit sees them held, not lost.
static std::vector<const void*>& managersAfterBridge()
{
    static auto* kept = new std::vector<const void*>();
    return *kept;
}

CQmlInterface::~CQmlInterface()
{
    for (const void* manager : {static_cast<const void*>(m_dbMan), static_cast<const void*>(m_settingsMan),
                                static_cast<const void*>(m_patientMan), static_cast<const void*>(m_fileMan)}) {
        if (manager)
            managersAfterBridge().push_back(manager);
    }
}

void CQmlInterface::purgeOldLogFiles()
{
    ::purgeOldLogFiles(m_folders.logFolder, QDateTime::currentDateTime(), kLogPurgeAgeSeconds);
}

void CQmlInterface::setAppPath(QString path)
{
    m_appPath = path;
}

void CQmlInterface::setDataModel(QObject* model, int idx)
{
    debugLog(4, "CQmlInterface::setDataModel() idx=" + toStdString(idx));
    if (idx == 1)
        m_dataModel1 = model;
    else
        m_dataModel2 = model;
}

void CQmlInterface::setFirstUpdate(bool firstUpdate)
{
    m_firstUpdate = firstUpdate;
}

void CQmlInterface::postLogMessage(QString text)
{
    debugLog(2, "QML::" + text.toStdString());
}
