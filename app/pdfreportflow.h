#ifndef MALVORANT_PDFREPORTFLOW_H
#define MALVORANT_PDFREPORTFLOW_H

#include "bridgeparts.h"

#include <QUrl>

class EcgChart;
struct PdfReportRequest;
class QmlItems;
class ViewerSettings;

// Writes the PDF report of the shown recording into a folder the user chose.
class PdfReportFlow
{
public:
    PdfReportFlow(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                  EcgChart& chart);

    PdfReportFlow(const PdfReportFlow&) = delete;
    PdfReportFlow& operator=(const PdfReportFlow&) = delete;

    void saveAsPdf(const QUrl& pdfUrl);

private:
    // Everything the report needs, from what is shown now.
    PdfReportRequest takeRequest(const QUrl& pdfUrl);

    QmlItems& m_items;
    EngineParts m_engine;
    ViewerSettings& m_viewer;
    EcgChart& m_chart;
};

#endif
