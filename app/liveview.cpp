#include "liveview.h"

LiveView::LiveView(QmlItems& items, const EngineParts& engine, UiPublisher& publisher,
                   EcgChart& chart)
    : m_items(items), m_engine(engine), m_publisher(publisher), m_chart(chart)
{
}

void LiveView::streamStartStop(bool) {}
void LiveView::updateStreamedEcg(const EcgSeries&) {}
