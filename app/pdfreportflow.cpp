#include "pdfreportflow.h"

PdfReportFlow::PdfReportFlow(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                     Bookmarks& bookmarks)
    : m_items(items), m_engine(engine), m_viewer(viewer), m_bookmarks(bookmarks)
{
}

void PdfReportFlow::saveAsPdf(const QUrl&) {}
