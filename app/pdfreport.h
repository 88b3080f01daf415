#ifndef MALVORANT_PDFREPORT_H
#define MALVORANT_PDFREPORT_H

#include "bridgeparts.h"

#include <QUrl>

class EcgChart;
class QmlItems;
class ViewerSettings;

// Writes the PDF report of the shown recording into a folder the user chose.
class PdfReport
{
public:
    PdfReport(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
              EcgChart& chart);

    PdfReport(const PdfReport&) = delete;
    PdfReport& operator=(const PdfReport&) = delete;

    void saveAsPdf(const QUrl& pdfUrl);

private:
    QmlItems& m_items;
    EngineParts m_engine;
    ViewerSettings& m_viewer;
    EcgChart& m_chart;
};

#endif
