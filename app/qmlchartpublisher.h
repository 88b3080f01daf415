#ifndef MALVORANT_QMLCHARTPUBLISHER_H
#define MALVORANT_QMLCHARTPUBLISHER_H

#include "chartpublisher.h"

class QmlItems;

// The chart's and the viewer settings' way to the QML, over the bound items:
// UiData writes through the property table, calls on the ECG chart item,
// the scroll range on the flickable.
class QmlChartPublisher : public ChartPublisher
{
public:
    explicit QmlChartPublisher(QmlItems& items) : m_items(items) {}

    bool isUiDataBound() const override;
    void setUiData(UiValue which, const QVariant& value) override;
    void invokeEcgChart(ChartCall call) override;
    bool isFlickableBound() const override;
    std::optional<double> flickableContentX() const override;
    void setFlickableContentWidth(double width) override;
    void setFlickableContentX(double x) override;

private:
    QmlItems& m_items;
};

#endif
