#include "patientflows.h"

#include "dbman.h"
#include "debuglog.h"
#include "fileman.h"
#include "patientman.h"
#include "settingsman.h"
#include "sqlutil.h"
#include "uipublisher.h"

PatientFlows::PatientFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                           LiveView& live)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_live(live)
{
}

void PatientFlows::selectNShowPatient(int patientId, int ecgId)
{
    debugLog(4, "CQmlInterface::selectNShowPatient() patientId=" + toStdString(patientId)
                    + ", fileId=" + toStdString(ecgId));
    CFileMan& files = *m_engine.files;
    {
        CDbTransaction transaction(*m_engine.db->database());
        m_engine.patients->loadPatient(patientId);
        files.selectNumberPatientFilesAvailable(patientId);
        if (ecgId == -1)
            files.selectNewestFile(patientId);
        else
            files.selectFile(ecgId);
        transaction.commit();
    }
    files.ecgBuffer().setFilterOptions(m_engine.settings->powerIs60Hz == 1 ? 2 : 1, true);
    m_publisher.publishPatient();
    m_publisher.showFile();
}

void PatientFlows::patientSelected(int) {}
void PatientFlows::setPatientCreatingNew(bool setPatientNew) { m_creatingNewPatient = setPatientNew; }
void PatientFlows::patientListDrawerOpened() {}
void PatientFlows::fileListDrawerOpened() {}
int PatientFlows::patientGetCurrentModelIndex() { return 0; }
int PatientFlows::fileGetCurrentModelIndex() { return 0; }
void PatientFlows::patientDrawerPopulateObject() {}
void PatientFlows::patientDrawerPopulateAge(qint64) {}
void PatientFlows::patientDrawerPopulateBirthday(qint64) {}
void PatientFlows::checkBirthdayInput(const QString&) {}
void PatientFlows::checkAgeInput(const QString&, const QString&) {}
QString PatientFlows::getFirstEntryInBreedList(int) { return QString(); }
void PatientFlows::testPatientsForEcgs(int) {}
void PatientFlows::patientUpdated(int, const QString&, const QString&, const QString&,
                                  const QString&, int, const QString&, int, const QString&, bool,
                                  quint32)
{
}
void PatientFlows::patientDeleted(int) {}
void PatientFlows::fileSelectedLocal(int, int) {}
void PatientFlows::fileDeletedLocal(int) {}
void PatientFlows::fileDeletedLocalIgnorePatient(int) {}
void PatientFlows::patientSelectionPending(const QStringList&) {}
void PatientFlows::patientSelectionConfirmed(bool, bool) {}
void PatientFlows::ecgPatientAssignment(int) {}
void PatientFlows::ecgPatientAssignmentFromImport(int) {}
void PatientFlows::ecgPatientAssignmentAborted() {}
bool PatientFlows::storeImage(const QString&) { return false; }
void PatientFlows::retrieveImages() {}
