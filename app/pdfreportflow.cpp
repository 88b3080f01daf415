#include "pdfreportflow.h"

#include "debuglog.h"
#include "ecgchart.h"
#include "fileman.h"
#include "patientman.h"
#include "pdfreport.h"
#include "qmlitems.h"
#include "settingsman.h"
#include "viewersettings.h"

#include <QCoreApplication>
#include <QEventLoop>

using namespace qml;

PdfReportFlow::PdfReportFlow(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                             EcgChart& chart)
    : m_items(items), m_engine(engine), m_viewer(viewer), m_chart(chart)
{
}

void PdfReportFlow::saveAsPdf(const QUrl& pdfUrl)
{
    debugLog(4, "CQmlInterface::saveAsPdf() " + pdfUrl.toString().toStdString());
    CFileMan& files = *m_engine.files;
    const QString patientName =
        m_engine.patients->patientId >= 0 ? m_engine.patients->patientName : QString();

    PdfReportRequest request;
    if (files.currentEcgId() >= 0 && files.isStoredFileOpen())
        request.buffer = &files.ecgBuffer();
    request.leadInLength = m_chart.leadInLength();
    for (const EcgBookmark& mark : m_chart.bookmarks())
        request.bookmarks.push_back(mark.entry);
    const ViewerParams& params = m_viewer.params();
    request.speed = params.speed;
    request.gain = params.gain;
    request.displayMode = params.ecgDisplayMode;
    request.texts = CPdfReport::textsForInstitution(m_engine.settings->dcmInstitutionName);
    request.logoPath = CPdfReport::logoPath(QCoreApplication::applicationDirPath(), true);
    request.outputPath = CPdfReport::outputPath(pdfUrl, patientName, files.currentFileName());

    PdfReportResult result;
    if (!request.buffer) {
        result.error = QStringLiteral("no recording is open");
    } else if (request.outputPath.isEmpty()) {
        result.error = QStringLiteral("the folder is not a local one");
    } else {
        // A long recording takes a second or more: let the indicator show first.
        m_items.set<P::BusyIndicatorRunning>(true);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        result = CPdfReport::write(request);
        m_items.set<P::BusyIndicatorRunning>(false);
    }
    if (!result.ok) {
        debugLogError("Export Failed !!!! " + result.error.toStdString());
        m_items.invoke<C::QmlAlertBoxExportError>();
        return;
    }
    debugLog(2, "CQmlInterface::saveAsPdf() wrote " + request.outputPath.toStdString() + ", pages="
                    + toStdString(result.pages));
}
