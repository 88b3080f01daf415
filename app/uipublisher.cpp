#include "uipublisher.h"

#include "debuglog.h"
#include "ecgbuffer.h"
#include "ecgchart.h"
#include "fileman.h"
#include "patientman.h"
#include "qmlitems.h"
#include "settingsman.h"
#include "uitexts.h"

#include <QDateTime>
#include <QtDebug>

using namespace qml;

namespace {

constexpr int kLeadInType = 45;
constexpr int kLeadInFirst = 5;
constexpr int kLeadInLast = 2499;

} // namespace

int measureLeadIn(CEcgBuffer& buffer)
{
    float leads[6] = {};
    for (int k = kLeadInFirst; k <= kLeadInLast; ++k) {
        int type = 0;
        std::uint64_t value = 0;
        if (!buffer.getEntry(k, false, false, leads, type, value) || type != kLeadInType)
            return k <= 9 ? 0 : k + 2;
    }
    return kLeadInLast + 2;
}

UiPublisher::UiPublisher(QmlItems& items, const EngineParts& engine, EcgChart& chart)
    : m_items(items), m_engine(engine), m_chart(chart)
{
}

void UiPublisher::uiDataBound(QObject* uiData)
{
    debugLog(4, "CQmlInterface::setUiDataObject()");
    m_items.bind(Item::UiData, uiData);
    publishPatient();
    publishFile();

    const CSettingsMan& s = *m_engine.settings;
    m_items.set<P::DicomEnabled>(true);
    m_items.set<P::DicomMwlConfigStatus>(s.dicomMwlConfigStatus);
    m_items.set<P::DicomPacsConfigStatus>(s.dicomPacsConfigStatus);
    m_items.set<P::DicomDisableLocalPatients>(s.dicomDisableLocalPatients != 0);
    m_items.set<P::DicomDisableLocalFiles>(s.dicomDisableLocalFiles != 0);
    m_items.set<P::QvlAccountVerified>(s.qvlAccountVerified != 0);
    m_items.set<P::RecordingTime>(s.recordingSeconds);
    m_items.set<P::ShowHeartRateActive>(s.showHeartRateActive == 1);
    m_items.set<P::PlayHeartBeatActive>(s.playHeartBeatActive == 1);
    m_items.set<P::ShowIndicatorHints>(s.showIndicatorHints);
    m_items.set<P::EcgGridIdx>(s.ecgGridIdx);
    m_items.set<P::SelectedSpecies>(s.selectedSpecies);
    m_items.invoke<C::QmlInitGrid>(s.ecgGridIdx);

    if (m_liveView) {
        // A live state was set before UiData existed: the stream runs.
        m_displayState = Streaming;
        m_items.set<P::DisplayState>(m_displayState);
    } else {
        showStateOfCurrent();
    }
    publishPdfAvailability();
}

void UiPublisher::uiDefsBound(QObject* uiDefs)
{
    debugLog(4, "CQmlInterface::setUiDefsObject()");
    m_items.bind(Item::UiDefs, uiDefs);
    m_items.set<P::VersionStr>(QString::fromLatin1(kAppVersion));
    m_items.set<P::BuildStr>(QString::fromLatin1(kAppBuild));
    m_items.set<P::IsYarloVariant>(true);
}

void UiPublisher::setDisplayState(int displayState)
{
    m_displayState = displayState;
    m_liveView = displayState == Streaming || displayState == Recording
                 || displayState == ShowingFileUnassigned;
    m_items.set<P::DisplayState>(displayState);
    publishPdfAvailability();
}

bool UiPublisher::isStoredRecordingShown() const
{
    const CFileMan& f = *m_engine.files;
    // The chart draws the open recording whenever the monitor does not run.
    return m_displayState != Streaming && m_displayState != Recording && f.currentEcgId() >= 0
           && f.isStoredFileOpen();
}

void UiPublisher::publishPdfAvailability()
{
    m_items.set<P::SaveToPdfEnabled>(isStoredRecordingShown());
}

void UiPublisher::setShowingAssigned()
{
    setDisplayState(ShowingFileAssigned);
}

void UiPublisher::showStateOfCurrent()
{
    const CFileMan& f = *m_engine.files;
    setDisplayState(f.currentEcgId() == -1 ? NoFile
                    : f.currentPatientId() == 0 ? ShowingFileUnassigned
                                                : ShowingFileAssigned);
}

void UiPublisher::publishPatient()
{
    debugLog(4, "CQmlInterface::setUiDataPatient()");
    const CPatientMan& p = *m_engine.patients;
    m_items.set<P::PatientName>(p.patientName);
    m_items.set<P::PatientId>(p.patientId);
    m_items.set<P::PatientExtId>(p.extId);
    QString firstLast = p.ownerFirst;
    if (!firstLast.isEmpty())
        firstLast += QLatin1Char(' ');
    m_items.set<P::PatientFirstLast>(firstLast + p.ownerLast);
    m_items.set<P::PatientSpecies>(p.speciesName);
    m_items.set<P::PatientBreed>(p.breed);
    m_items.set<P::PatientGender>(uitexts::gender(p.sex));
    m_items.set<P::PatientAge>(uitexts::age(p.birthdate, QDateTime::currentSecsSinceEpoch()));
    m_items.set<P::PatientWeight>(uitexts::weight(p.weight, p.weightUnit != 0));
}

void UiPublisher::publishFile()
{
    debugLog(4, "CQmlInterface::setUiDataFile()");
    const CFileMan& f = *m_engine.files;
    m_items.set<P::FileName>(f.currentFileName());
    m_items.set<P::FileCount>(f.patientFileCount());
    const std::int64_t t = f.currentEcgTime();
    m_items.set<P::FileDate>(t != 0 ? uitexts::fileDate(t) : QString());
    m_items.set<P::FileTimeCurrent>(t != 0 ? uitexts::timeOfDay(t) : QString());
    m_items.set<P::FilePacsStatus>(f.currentPacsStatus());
    if (m_fileExtras)
        m_fileExtras();
    publishFileQvl();
    if (f.currentEcgId() == -1)
        setDisplayState(NoFile);
}

void UiPublisher::publishFilePosition(int filePos)
{
    const std::int64_t t = m_engine.files->currentEcgTime();
    m_items.set<P::FileTimeCurrent>(t != 0 ? uitexts::timeOfDay(t + filePos / 500) : QString());
}

void UiPublisher::publishFileQvl()
{
    debugLog(4, "CQmlInterface::setUiDataFileQvl()");
    const CFileMan& f = *m_engine.files;
    m_items.set<P::FileQvlCaseId>(f.currentQvlCaseId());
    m_items.set<P::FileQvlCaseUrl>(f.currentQvlCaseUrl());
    m_items.set<P::FileQvlCaseStatus>(uitexts::qvlCaseStatus(f.currentQvlCaseStatus()));
}

void UiPublisher::showFile()
{
    debugLog(4, "CQmlInterface::showFile()");
    m_chart.setLeadInLength(EcgChart::kDefaultLeadIn);
    publishFile();
    const int leadIn = measureLeadIn(m_engine.files->ecgBuffer());
    m_chart.setLeadInLength(leadIn);
    qDebug().noquote() << "leadInLength:" << leadIn;
    m_items.invoke<C::QmlInitEcgData>();
    m_chart.resetFlushedEntryCount();
    m_chart.bookmarks().clear();
    publishPdfAvailability();
    m_items.invoke<C::QmlRefreshEcgData>();
}
