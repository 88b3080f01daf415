#ifndef MALVORANT_VIEWERSETTINGS_H
#define MALVORANT_VIEWERSETTINGS_H

#include "bridgeparts.h"

class EcgChart;
class QmlItems;

// The viewer parameters (display mode, gain, speed, filters and the three
// switches): applied to the chart and the display filters, stored, published.
class ViewerSettings
{
public:
    struct Params {
        int displayMode = -1;
        double gain = 0.0;
        double speed = 0.0;
        bool powerFilterActive = false;
        bool artifactFilterActive = false;
        bool showHeartRateActive = false;
        bool playHeartBeatActive = false;
        bool showIndicatorHints = false;
    };

    ViewerSettings(QmlItems& items, const EngineParts& engine, EcgChart& chart);

    ViewerSettings(const ViewerSettings&) = delete;
    ViewerSettings& operator=(const ViewerSettings&) = delete;

    void setViewerParams(const Params& params);
    void updateViewerParams(const Params& params);
    int ecgModeValue() const { return m_params.displayMode; }
    double gainValue() const { return m_params.gain; }
    double speedValue() const { return m_params.speed; }
    const Params& params() const { return m_params; }

    void publishViewerSettings();
    void updatePublishedViewerSettings();

private:
    QmlItems& m_items;
    EngineParts m_engine;
    EcgChart& m_chart;
    Params m_params;
};

#endif
