#include "recordingcontrol.h"

#include "debuglog.h"
#include "ecgchart.h"
#include "fileman.h"
#include "liveview.h"
#include "qmlitems.h"
#include "settingsman.h"
#include "uipublisher.h"
#include "viewersettings.h"

#include <QDateTime>
#include <QTimer>
#include <QtDebug>

#include <algorithm>

using namespace qml;

RecordingControl::RecordingControl(QmlItems& items, const EngineParts& engine,
                                   UiPublisher& publisher, LiveView& live, EcgChart& chart)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_live(live), m_chart(chart),
      m_timer(std::make_unique<QTimer>())
{
    m_timer->setSingleShot(true);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(),
                     [this] { recordingTimerExpired(); });
}

RecordingControl::~RecordingControl() = default;

int RecordingControl::storedSpeciesOf(int analysisSpecies)
{
    // The species list of the patients: 2 canine, 3 feline; "other" is no
    // species the analysis or the PACS can name.
    switch (analysisSpecies) {
    case kSpeciesCanine:
        return 2;
    case kSpeciesFeline:
        return 3;
    default:
        return 0;
    }
}

int RecordingControl::timerIntervalFor(int recordingSeconds)
{
    return recordingSeconds * 1000 + LiveView::kRecordingDelay * 2;
}

int RecordingControl::timerInterval() const
{
    return m_timer->isActive() ? m_timer->interval() : 0;
}

void RecordingControl::recordStartStop(bool doStart)
{
    debugLog(2, std::string("CQmlInterface::recordClicked() start=") + (doStart ? "true" : "false"));
    if (doStart == m_recording)
        return;
    CFileMan& files = *m_engine.files;
    if (doStart) {
        // A recording holds what the device sends: without samples arriving
        // (no link, the stream stopped, a search for devices) there is
        // nothing to record, and Record is off on the screen.
        if (!m_live.canRecord()) {
            debugLog(2, "CQmlInterface::recordClicked() refused: no samples arrive from the device");
            return;
        }
        // The recording carries the species chosen for it; a patient without
        // one (a worklist entry often has none) leaves it at the assignment.
        if (!files.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0,
                                 storedSpeciesOf(m_live.species()), 0, QString())) {
            debugLogError("error opening file");
            m_items.invoke<C::QmlAlertBoxFileWriteError>(true);
            return;
        }
        // The lead-in goes to the file at once; a failed write ends the
        // recording at the next tick, with the alert.
        m_live.writeLeadInToRecording();
        m_chart.setSweepPosition(0);
        m_publisher.setDisplayState(UiPublisher::Recording);
        const int seconds = m_engine.settings->recordingSeconds;
        m_samples = 0;
        m_graceGiven = false;
        m_targetSamples = seconds > 0 ? seconds * 500 + LiveView::kRecordingDelay : 0;
        if (seconds > 0)
            m_timer->start(timerIntervalFor(seconds));
        m_items.invoke<C::QmlStartStopRecordingAnimation>(true);
        m_items.invoke<C::QmlInitEcgData>();
        m_recording = true;
        return;
    }

    const QString name = files.recordingFileName();
    // The last records written become the trailer: ordinary samples take
    // the lead-in type, events keep theirs. A failed write shows in the end.
    files.markRecordingTrailer(LiveView::kRecordingDelay);
    m_items.invoke<C::QmlStartStopRecordingAnimation>(false);
    m_timer->stop();
    m_recording = false;
    if (!files.ecgFileCreateEnd()) {
        debugLogError("error writing/closing file");
        m_items.invoke<C::QmlAlertBoxFileWriteError>(false);
    }
    if (files.currentFileName() == name) {
        m_publisher.setDisplayState(UiPublisher::ShowingFileUnassigned);
    } else {
        // No row names the recording; its file stays for the next start to
        // adopt. Whatever is shown keeps its own state, never posing as it.
        debugLogError("the recording " + name.toStdString() + " has no row");
        if (files.currentEcgId() >= 0)
            files.selectFile(files.currentEcgId()); // opened again: the recording had taken its buffer
        m_publisher.showStateOfCurrent();
    }
    m_publisher.showFile();
}

bool RecordingControl::countSample()
{
    if (!m_recording)
        return false;
    ++m_samples;
    return m_targetSamples > 0 && m_samples >= m_targetSamples;
}

int RecordingControl::viewableSeconds() const
{
    return std::max(0, m_samples - LiveView::kRecordingDelay) / 500;
}

void RecordingControl::recordingTimerExpired()
{
    debugLog(2, "CQmlInterface::recordingTimerExpired()");
    if (m_recording && !m_graceGiven && m_samples < m_targetSamples) {
        // The device's samples lag the wall clock: one bounded wait for the
        // rest, so the recording still holds the chosen time.
        m_graceGiven = true;
        m_timer->start(kGraceMs);
        return;
    }
    m_live.streamStartStop(false);
}

void RecordingControl::finishOnQuit()
{
    if (!m_recording)
        return;
    debugLog(2, "recording finished as the program ends");
    m_live.streamStartStop(false);
    // Whatever the stream's stop path did, no recording stays open.
    if (m_recording)
        recordStartStop(false);
}

void RecordingControl::setBookmark(int, int posX)
{
    if (m_publisher.displayState() != UiPublisher::ShowingFileAssigned)
        return;
    CFileMan& files = *m_engine.files;
    if (!files.isStoredFileOpen())
        return;
    const int entry = int(posX * m_chart.samplesPerPixel());
    qDebug() << "filePos: " << entry;
    const double speed = m_chart.speed();
    const int entries = files.ecgBuffer().getRecordCount();
    const int pages = int((entries - m_chart.leadInLength()) * speed / (200.0 * 500.0));
    qDebug() << "numberPagesNew: " << pages << "leadInLength: " << m_chart.leadInLength();
    if (pages <= 0 || entry < 0)
        return;
    qDebug() << "pointsPerPage: " << int(200.0 * 500.0 / speed);
    // The start time is already local wall-clock seconds: read it as UTC so
    // it is not shifted a second time.
    const QDateTime start = QDateTime::fromSecsSinceEpoch(files.currentEcgTime(), Qt::UTC);
    m_chart.bookmarks().push_back(EcgBookmark{entry, start.addMSecs(qint64(entry) * 2)});
    m_publisher.publishPdfAvailability();
}

void RecordingControl::deleteBookmark()
{
    m_chart.bookmarks().clear();
    m_publisher.publishPdfAvailability();
}

void RecordingControl::onRecordSpeciesSelector(int species)
{
    debugLog(4, "CQmlInterface::onRecordSpeciesSelector() species=" + toStdString(species));
    m_live.loadSpeciesAnalysisParams(species);
}

void RecordingControl::setSpeciesPicker(int setSpecies)
{
    debugLog(4, "CQmlInterface::setSpeciesPicker() species=" + toStdString(setSpecies));
    m_engine.settings->selectedSpecies = setSpecies;
    m_live.loadSpeciesAnalysisParams(setSpecies);
    m_engine.settings->saveSettings(SettingsDisplay);
}
