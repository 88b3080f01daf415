#ifndef MALVORANT_QMLINTERFACE_H
#define MALVORANT_QMLINTERFACE_H

#include "appfolders.h"

#include <QObject>

class CDbMan;
class CFileMan;
class CPatientMan;
class CSettingsMan;
#include <QString>

// The one object behind the QML user interface, published as "cQmlInterface".
// Its constructor brings the program up and creates every manager; they live
// until the process ends.
class CQmlInterface : public QObject
{
    Q_OBJECT

public:
    explicit CQmlInterface(QObject* parent = nullptr);
    ~CQmlInterface() override;

    CQmlInterface(const CQmlInterface&) = delete;
    CQmlInterface& operator=(const CQmlInterface&) = delete;

    const AppFolders& folders() const { return m_folders; }
    const QString& appPath() const { return m_appPath; }
    // The list model given as model 1 or model 2 (any other number).
    QObject* dataModel(int idx) const { return idx == 1 ? m_dataModel1 : m_dataModel2; }
    bool firstUpdate() const { return m_firstUpdate; }
    CDbMan* dbMan() const { return m_dbMan; }
    CSettingsMan* settingsMan() const { return m_settingsMan; }
    CPatientMan* patientMan() const { return m_patientMan; }
    CFileMan* fileMan() const { return m_fileMan; }

public slots:
    void setAppPath(QString path);
    void setDataModel(QObject* model, int idx);
    void setFirstUpdate(bool firstUpdate);
    void postLogMessage(QString text);

private:
    void purgeOldLogFiles();

    AppFolders m_folders;
    QString m_appPath;
    QObject* m_dataModel1 = nullptr;
    QObject* m_dataModel2 = nullptr;
    bool m_firstUpdate = true;
    int m_dbFromVersion = 0;
    int m_dbToVersion = 0;
    CDbMan* m_dbMan = nullptr;
    CSettingsMan* m_settingsMan = nullptr;
    CPatientMan* m_patientMan = nullptr;
    CFileMan* m_fileMan = nullptr;
};

#endif
