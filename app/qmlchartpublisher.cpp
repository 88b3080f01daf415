#include "qmlchartpublisher.h"

#include "qmlitems.h"

using namespace qml;

bool QmlChartPublisher::isUiDataBound() const
{
    return m_items.isBound(Item::UiData);
}

void QmlChartPublisher::setUiData(UiValue which, const QVariant& value)
{
    switch (which) {
    case UiValue::VectorError0: m_items.set<P::VectorError0>(value.toBool()); return;
    case UiValue::VectorError1: m_items.set<P::VectorError1>(value.toBool()); return;
    case UiValue::WarningLeadPlacement: m_items.set<P::WarningLeadPlacement>(value.toBool()); return;
    case UiValue::FileTimeCurrent: m_items.set<P::FileTimeCurrent>(value.toString()); return;
    case UiValue::PowerFilterActive: m_items.set<P::PowerFilterActive>(value.toBool()); return;
    case UiValue::ArtifactFilterActive: m_items.set<P::ArtifactFilterActive>(value.toBool()); return;
    case UiValue::EcgGridIdx: m_items.set<P::EcgGridIdx>(value.toInt()); return;
    case UiValue::ShowBeatsPerMinute: m_items.set<P::ShowBeatsPerMinute>(value.toBool()); return;
    case UiValue::SelectedSpecies: m_items.set<P::SelectedSpecies>(value.toInt()); return;
    case UiValue::RecordingTime: m_items.set<P::RecordingTime>(value.toInt()); return;
    case UiValue::FooterLineLeft: m_items.set<P::FooterLineLeft>(value.toString()); return;
    case UiValue::ShowHeartRateActive: m_items.set<P::ShowHeartRateActive>(value.toBool()); return;
    }
}

void QmlChartPublisher::invokeEcgChart(ChartCall call)
{
    if (call == ChartCall::InitEcgData)
        m_items.invoke<C::QmlInitEcgData>();
    else
        m_items.invoke<C::QmlRefreshEcgData>();
}

bool QmlChartPublisher::isFlickableBound() const
{
    return m_items.isBound(Item::Flickable);
}

std::optional<double> QmlChartPublisher::flickableContentX() const
{
    const QVariant x = m_items.read(Prop::FlickContentX);
    bool ok = false;
    const double value = x.toDouble(&ok);
    if (!x.isValid() || !ok)
        return std::nullopt;
    return value;
}

void QmlChartPublisher::setFlickableContentWidth(double width)
{
    m_items.set<P::FlickContentWidth>(width);
}

void QmlChartPublisher::setFlickableContentX(double x)
{
    m_items.set<P::FlickContentX>(x);
}
