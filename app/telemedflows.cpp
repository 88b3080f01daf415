#include "telemedflows.h"

TelemedFlows::TelemedFlows(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                           PatientFlows& patients)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_patients(patients)
{
}

void TelemedFlows::uploadClicked(bool) {}
void TelemedFlows::continueQvlUpload(int, bool) {}
void TelemedFlows::continueQvlUpload2(bool, int) {}
QString TelemedFlows::qvlUploadFile(int) { return QString(); }
void TelemedFlows::queueFileUpload(int, bool) {}
void TelemedFlows::openQvlWindow(const QString&) {}
void TelemedFlows::updateQvlSettings(const QString&, const QString&, const QString&) {}
void TelemedFlows::qvlRespCheckNetwork(bool, bool, int) {}
void TelemedFlows::qvlRespCheckUser(bool, bool, bool) {}
void TelemedFlows::qvlRespInitiateCase(bool, bool, int, const QString&) {}
void TelemedFlows::qvlRespAddFile(bool, bool, int, const QString&) {}
void TelemedFlows::qvlRespGetCaseUrl(bool, bool, int, const QString&) {}
void TelemedFlows::qvlRespFileChanged() {}
