#ifndef MALVORANT_PDFREPORTFLOW_H
#define MALVORANT_PDFREPORTFLOW_H

#include "bridgeparts.h"

#include <QUrl>

class EcgChart;
struct PdfReportRequest;
class QmlItems;
class ReplaceQuestion;
class UiPublisher;
class ViewerSettings;

// Writes the PDF report of the shown recording into a folder the user chose.
class PdfReportFlow
{
public:
    PdfReportFlow(QmlItems& items, const EngineParts& engine, const UiPublisher& publisher,
                  ViewerSettings& viewer, EcgChart& chart, ReplaceQuestion& replaceQuestion);

    PdfReportFlow(const PdfReportFlow&) = delete;
    PdfReportFlow& operator=(const PdfReportFlow&) = delete;

    // Writes the report of the recording on the screen into the folder. A
    // report of that name that is there already is replaced only when its
    // path is agreedReplace (the user said so); otherwise the user is asked.
    void saveAsPdf(const QUrl& pdfUrl, const QString& agreedReplace = QString());

private:
    // Everything the report needs, from what is shown now.
    PdfReportRequest takeRequest(const QUrl& pdfUrl);

    QmlItems& m_items;
    EngineParts m_engine;
    const UiPublisher& m_publisher;
    ViewerSettings& m_viewer;
    EcgChart& m_chart;
    ReplaceQuestion& m_replaceQuestion;
};

#endif
