#include "pdfreportflow.h"

PdfReportFlow::PdfReportFlow(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                             EcgChart& chart)
    : m_items(items), m_engine(engine), m_viewer(viewer), m_chart(chart)
{
}

void PdfReportFlow::saveAsPdf(const QUrl&) {}
