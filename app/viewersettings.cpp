#include "viewersettings.h"

#include "chartpublisher.h"
#include "debuglog.h"
#include "ecgchart.h"
#include "settingsman.h"
#include "sqlexec.h"

#include <QSqlQuery>

#include <cmath>

namespace {

// Settings keep gain and speed in hundredths; a value that is no number is kept as 0.
int hundredths(double value)
{
    const double h = value * 100.0;
    if (!std::isfinite(h) || std::fabs(h) > 2e9)
        return 0;
    // A hair above the exact value, so 2.5 never truncates to 249.
    return int(h + (h >= 0 ? 1e-6 : -1e-6));
}

} // namespace

ViewerSettings::ViewerSettings(CSettingsMan* settings, QSqlDatabase* database, EcgChart* chart,
                               ChartPublisher* publisher, InputDeviceSelector* devices)
    : m_settings(settings), m_db(database), m_chart(chart), m_publisher(publisher), m_devices(devices)
{
    m_params.ecgDisplayMode = -1;
    m_params.gain = m_settings->gain / 100.0;
    m_params.speed = m_settings->speed / 100.0;
    m_params.showHeartRateActive = m_settings->showHeartRateActive == 1;
    m_params.playHeartBeatActive = m_settings->playHeartBeatActive == 1;
    m_params.showIndicatorHints = m_settings->showIndicatorHints;
    for (EcgFilterChain& chain : m_chains)
        chain.init();
}

ViewerParams ViewerSettings::storedParams() const
{
    ViewerParams p;
    p.ecgDisplayMode = m_settings->ecgDisplayMode;
    p.gain = m_settings->gain / 100.0;
    p.speed = m_settings->speed / 100.0;
    p.showHeartRateActive = m_settings->showHeartRateActive == 1;
    p.playHeartBeatActive = m_settings->playHeartBeatActive == 1;
    p.showIndicatorHints = m_settings->showIndicatorHints;
    return p;
}

bool ViewerSettings::setViewerParams(const ViewerParams& params)
{
    return apply(params, true);
}

bool ViewerSettings::updateViewerParams(const ViewerParams& params)
{
    return apply(params, false);
}

bool ViewerSettings::apply(const ViewerParams& p, bool fullPublish)
{
    const bool changed = p != m_params;
    debugLog(4, std::string("CQmlInterface::setViewerParams() settingsHaveChanged=") +
                    (changed ? "true" : "false"));

    m_params.ecgDisplayMode = p.ecgDisplayMode;
    m_params.gain = p.gain;
    m_chart->setDisplayMode(p.ecgDisplayMode);
    m_chart->setGain(p.gain);
    // The chart still holds the old speed, so the left edge keeps its time.
    if (!m_chart->isStreaming() && p.speed != m_params.speed)
        m_chart->setHorizontalFlickableWidth(p.speed);
    m_params = p;
    m_chart->setSpeed(p.speed);
    m_chart->setFilterFlags(p.powerFilterActive, p.artifactFilterActive);

    m_chart->computeColumnLayout();
    if (!changed)
        return false;

    m_chart->resetColumn();
    m_mainsNotch = !p.powerFilterActive ? 0 : (m_settings->powerIs60Hz == 1 ? 60 : 50);
    for (EcgFilterChain& chain : m_chains) {
        chain.notch = m_mainsNotch;
        chain.lowPass = p.artifactFilterActive ? 1 : 0;
        chain.reset();
    }

    m_settings->ecgDisplayMode = p.ecgDisplayMode;
    m_settings->speed = hundredths(p.speed);
    m_settings->gain = hundredths(p.gain);
    m_settings->showHeartRateActive = p.showHeartRateActive ? 1 : 0;
    m_settings->playHeartBeatActive = p.playHeartBeatActive ? 1 : 0;
    m_settings->showIndicatorHints = p.showIndicatorHints;
    if (!m_settings->saveSettings(SettingsDisplay))
        debugLogError("CQmlInterface::setViewerParams() the display settings could not be saved");

    if (m_chart->isStreaming())
        m_chart->setSweepPosition(0);

    if (fullPublish)
        setUiDataViewerSettings();
    else
        updateUiDataViewerSettings();

    m_publisher->invokeEcgChart(m_chart->isStreaming() ? ChartPublisher::ChartCall::InitEcgData
                                                       : ChartPublisher::ChartCall::RefreshEcgData);
    return true;
}

void ViewerSettings::publishCommon()
{
    using V = ChartPublisher::UiValue;
    m_publisher->setUiData(V::PowerFilterActive, m_params.powerFilterActive);
    m_publisher->setUiData(V::ArtifactFilterActive, m_params.artifactFilterActive);
    m_publisher->setUiData(V::EcgGridIdx, m_settings->ecgGridIdx);
    m_publisher->setUiData(V::ShowBeatsPerMinute, m_settings->showHeartRateActive == 1);
    m_publisher->setUiData(V::SelectedSpecies, m_settings->selectedSpecies);
}

void ViewerSettings::setUiDataViewerSettings()
{
    // The stored device too is selected once the screens can show it.
    if (!m_publisher->isUiDataBound())
        return;
    publishCommon();
    m_publisher->setUiData(ChartPublisher::UiValue::RecordingTime, m_settings->recordingSeconds);
    m_publisher->setUiData(ChartPublisher::UiValue::FooterLineLeft, footerLineLeft());

    if (!m_db || m_settings->bzdevice.isEmpty())
        return;
    QSqlQuery q(*m_db);
    if (!runQuery(q, QStringLiteral("select idx from discoveryTable where device=?"),
                  {m_settings->bzdevice}, "CQmlInterface::setUiDataViewerSettings()") ||
        !q.next())
        return;
    const int idx = q.value(0).toInt();
    // Selecting the same device again would restart its decoder mid-stream
    // and rewrite the settings for nothing.
    if (m_devices && m_devices->selectedInputDevice() != m_settings->bzdevice)
        m_devices->setInputChannel(0, idx);
}

void ViewerSettings::updateUiDataViewerSettings()
{
    if (!m_publisher->isUiDataBound())
        return;
    publishCommon();
    m_publisher->setUiData(ChartPublisher::UiValue::ShowHeartRateActive, m_settings->showHeartRateActive == 1);
    m_publisher->setUiData(ChartPublisher::UiValue::FooterLineLeft, footerLineLeft());
}

QString ViewerSettings::footerLineLeft() const
{
    return footerLine(m_params, m_mainsNotch);
}

QString ViewerSettings::footerLine(const ViewerParams& p, int mainsNotch)
{
    const EcgModeLayout* layout = EcgChart::modeLayout(p.ecgDisplayMode);
    QString line = QLatin1String(layout ? layout->name : "");
    line += QLatin1String(", ") + QString::number(p.speed, 'g', 6) + QLatin1String("mm/sec, ") +
            QString::number(p.gain, 'g', 6) + QLatin1String("mm/mV");
    if (p.powerFilterActive || p.artifactFilterActive) {
        line += QLatin1String(", Filters: ");
        if (p.powerFilterActive)
            line += QLatin1String(mainsNotch == 60 ? "60Hz" : "50Hz");
        if (p.powerFilterActive && p.artifactFilterActive)
            line += QLatin1String(", ");
        if (p.artifactFilterActive)
            line += QLatin1String("Artifact");
    }
    return line;
}
