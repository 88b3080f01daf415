#ifndef MALVORANT_VIEWERSETTINGS_H
#define MALVORANT_VIEWERSETTINGS_H

#include "filters.h"

#include <QString>

#include <array>

class ChartPublisher;
class CSettingsMan;
class EcgChart;
class QSqlDatabase;

// The eight values every viewer change sends, all at once.
struct ViewerParams {
    int ecgDisplayMode = -1;
    double gain = 0.0;
    double speed = 0.0;
    bool powerFilterActive = false;
    bool artifactFilterActive = false;
    bool showHeartRateActive = false;
    bool playHeartBeatActive = false;
    bool showIndicatorHints = false;

    bool operator==(const ViewerParams& o) const
    {
        return ecgDisplayMode == o.ecgDisplayMode && gain == o.gain && speed == o.speed &&
               powerFilterActive == o.powerFilterActive && artifactFilterActive == o.artifactFilterActive &&
               showHeartRateActive == o.showHeartRateActive && playHeartBeatActive == o.playHeartBeatActive &&
               showIndicatorHints == o.showIndicatorHints;
    }
    bool operator!=(const ViewerParams& o) const { return !(*this == o); }
};

// The input device the acquisition stream has selected, and the way to select one.
class InputDeviceSelector
{
public:
    virtual ~InputDeviceSelector() = default;
    // Name of the device selected in the stream; empty when none is.
    virtual QString selectedInputDevice() const = 0;
    virtual void setInputChannel(int inputType, int index) = 0;
};

// The viewer parameters: display mode, gain, paper speed, the two display
// filters and three switches. A change lays the chart out anew, sets the two
// display filter chains, stores the persistent values and publishes the
// result with the footer line. Sending the same values again changes nothing.
class ViewerSettings
{
public:
    // devices may be null (no acquisition stream): the stored device is then never selected.
    ViewerSettings(CSettingsMan* settings, QSqlDatabase* database, EcgChart* chart,
                   ChartPublisher* publisher, InputDeviceSelector* devices);

    ViewerSettings(const ViewerSettings&) = delete;
    ViewerSettings& operator=(const ViewerSettings&) = delete;

    // The stored values with both filters off, applied once at start.
    ViewerParams storedParams() const;

    // Both return whether anything changed.
    bool setViewerParams(const ViewerParams& params);
    bool updateViewerParams(const ViewerParams& params);

    int getUiDataEcgModeValue() const { return m_params.ecgDisplayMode; }
    double getUiDataGainValue() const { return m_params.gain; }
    double getUiDataSpeedValue() const { return m_params.speed; }

    void setUiDataViewerSettings();
    void updateUiDataViewerSettings();

    const ViewerParams& params() const { return m_params; }
    // 0 (off), 50 or 60: the notch of the display filter chains.
    int mainsNotch() const { return m_mainsNotch; }
    // The display filter chains of the live traces: 0 lead I, 1 lead II.
    EcgFilterChain& displayChain(int lead) { return m_chains[lead == 0 ? 0 : 1]; }

    QString footerLineLeft() const;
    static QString footerLine(const ViewerParams& params, int mainsNotch);

private:
    bool apply(const ViewerParams& params, bool fullPublish);
    void publishCommon();

    CSettingsMan* m_settings;
    QSqlDatabase* m_db;
    EcgChart* m_chart;
    ChartPublisher* m_publisher;
    InputDeviceSelector* m_devices;

    ViewerParams m_params;
    int m_mainsNotch = 0;
    std::array<EcgFilterChain, 2> m_chains;
};

#endif
