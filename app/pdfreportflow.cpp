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
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

using namespace qml;

PdfReportFlow::PdfReportFlow(QmlItems& items, const EngineParts& engine, ViewerSettings& viewer,
                             EcgChart& chart)
    : m_items(items), m_engine(engine), m_viewer(viewer), m_chart(chart)
{
}

PdfReportRequest PdfReportFlow::takeRequest(const QUrl& pdfUrl)
{
    CFileMan& files = *m_engine.files;
    const CPatientMan& patient = *m_engine.patients;
    PdfReportRequest request;
    if (files.currentEcgId() >= 0 && files.isStoredFileOpen())
        request.buffer = &files.ecgBuffer();
    // A recording that waits for its patient is nobody's yet, whoever was shown before it.
    request.patientAssigned = files.currentPatientId() > 0;
    const QString patientName = request.patientAssigned && patient.patientId == files.currentPatientId()
                                    ? patient.patientName
                                    : QString();
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
    return request;
}

void PdfReportFlow::saveAsPdf(const QUrl& pdfUrl)
{
    debugLog(4, "CQmlInterface::saveAsPdf() " + pdfUrl.toString().toStdString());
    PdfReportResult result;
    PdfReportRequest request;
    if (m_engine.files->currentEcgId() < 0 || !m_engine.files->isStoredFileOpen()) {
        result.error = QStringLiteral("no recording is open");
    } else {
        // A long recording takes a second or more: let the indicator show
        // first. Queued answers may run meanwhile and change what is shown, so
        // the report is taken from the state after them, all of it at once.
        m_items.set<P::BusyIndicatorRunning>(true);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        request = takeRequest(pdfUrl);
        if (!request.buffer)
            result.error = QStringLiteral("no recording is open");
        else if (request.outputPath.isEmpty())
            result.error = QStringLiteral("the folder is not a local one");
        else
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
    const QFileInfo written(request.outputPath);
    m_items.invoke<C::QmlAlertBoxFileSaved>(written.fileName(),
                                            QDir::toNativeSeparators(written.absolutePath()));
}
