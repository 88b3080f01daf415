#ifndef MALVORANT_UPDATEANDTERMS_H
#define MALVORANT_UPDATEANDTERMS_H

#include "bridgeparts.h"

#include <QString>

class LiveView;
class PatientFlows;
class QObject;
class QmlItems;
class ViewerSettings;

// The end of start-up with the terms-of-use gate, the update-installer check
// and the service properties file.
class UpdateAndTerms
{
public:
    UpdateAndTerms(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                   PatientFlows& patients, LiveView& live);

    UpdateAndTerms(const UpdateAndTerms&) = delete;
    UpdateAndTerms& operator=(const UpdateAndTerms&) = delete;

    void setupCompleted();
    void splashScreenTucAction(int tucAccepted);
    // How often start-up has completed (the QML calls it once per start).
    int setupCount() const { return m_setupCount; }

    bool checkForUpdateInstaller(const QString& folder, bool force);
    void onCheckUpdate(bool force);
    void doUpdate(bool yes);
    void writeServiceProperties();
    const QString& installerFolder() const { return m_installerFolder; }
    void setInstallerFolder(const QString& folder) { m_installerFolder = folder; }
    // File name of the installer last offered, empty when none was.
    const QString& installerName() const { return m_installerName; }
    bool firstCheckPending() const { return m_firstCheckPending; }

private:
    // The stored version bookkeeping after a start with accepted terms.
    void recordVersion();
    // Start-up continues with the stream stopped and the current recording shown.
    void showStartScreen();

    QmlItems& m_items;
    EngineParts m_engine;
    ViewerSettings& m_viewer;
    PatientFlows& m_patients;
    LiveView& m_live;
    int m_setupCount = 0;
    bool m_recoveryTold = false;
    bool m_firstCheckPending = true;
    QString m_installerFolder;
    QString m_installerName;
};

#endif
