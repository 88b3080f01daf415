#ifndef MALVORANT_CHARTPUBLISHER_H
#define MALVORANT_CHARTPUBLISHER_H

#include <QVariant>

#include <optional>

// What the ECG chart and the viewer settings hand to the QML side: UiData
// state, the two calls on the ECG chart item and the scroll range of its
// flickable. The bridge implements it over its bound items; a write or call
// on an item that is not bound yet does nothing there.
class ChartPublisher
{
public:
    // UiData properties written by the chart and the viewer settings.
    enum class UiValue {
        VectorError0,
        VectorError1,
        WarningLeadPlacement,
        FileTimeCurrent,
        PowerFilterActive,
        ArtifactFilterActive,
        EcgGridIdx,
        ShowBeatsPerMinute,
        SelectedSpecies,
        RecordingTime,
        FooterLineLeft,
        ShowHeartRateActive,
    };
    // Functions declared by the ECG chart item.
    enum class ChartCall { InitEcgData, RefreshEcgData };

    // The QML name of a property or function.
    static const char* name(UiValue value);
    static const char* name(ChartCall call);

    virtual ~ChartPublisher() = default;

    virtual bool isUiDataBound() const = 0;
    virtual void setUiData(UiValue which, const QVariant& value) = 0;
    virtual void invokeEcgChart(ChartCall call) = 0;

    virtual bool isFlickableBound() const = 0;
    // The flickable's contentX; empty when it has no such property.
    virtual std::optional<double> flickableContentX() const = 0;
    virtual void setFlickableContentWidth(double width) = 0;
    virtual void setFlickableContentX(double x) = 0;
};

inline const char* ChartPublisher::name(UiValue value)
{
    switch (value) {
    case UiValue::VectorError0: return "vectorError0";
    case UiValue::VectorError1: return "vectorError1";
    case UiValue::WarningLeadPlacement: return "warningLeadPlacement";
    case UiValue::FileTimeCurrent: return "fileTimeCurrent";
    case UiValue::PowerFilterActive: return "powerFilterActive";
    case UiValue::ArtifactFilterActive: return "artifactFilterActive";
    case UiValue::EcgGridIdx: return "ecgGridIdx";
    case UiValue::ShowBeatsPerMinute: return "showBeatsPerMinute";
    case UiValue::SelectedSpecies: return "selectedSpecies";
    case UiValue::RecordingTime: return "recordingTime";
    case UiValue::FooterLineLeft: return "footerLineLeft";
    case UiValue::ShowHeartRateActive: return "showHeartRateActive";
    }
    return "";
}

inline const char* ChartPublisher::name(ChartCall call)
{
    return call == ChartCall::InitEcgData ? "qmlInitEcgData" : "qmlRefreshEcgData";
}

#endif
