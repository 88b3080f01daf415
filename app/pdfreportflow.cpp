#include "pdfreportflow.h"

#include "debuglog.h"
#include "ecgchart.h"
#include "fileman.h"
#include "patientman.h"
#include "pdfreport.h"
#include "qmlitems.h"
#include "replacequestion.h"
#include "settingsman.h"
#include "stagedwrite.h"
#include "uipublisher.h"
#include "viewersettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

using namespace qml;

namespace {

// Why there is no report, in the user's words.
QString nothingShown()
{
    return QStringLiteral("No saved ECG is shown. Open one under \"Saved ECGs\", then save it to PDF.");
}

} // namespace

PdfReportFlow::PdfReportFlow(QmlItems& items, const EngineParts& engine, const UiPublisher& publisher,
                             ViewerSettings& viewer, EcgChart& chart, ReplaceQuestion& replaceQuestion)
    : m_items(items)
    , m_engine(engine)
    , m_publisher(publisher)
    , m_viewer(viewer)
    , m_chart(chart)
    , m_replaceQuestion(replaceQuestion)
{
}

PdfReportRequest PdfReportFlow::takeRequest(const QUrl& pdfUrl)
{
    CFileMan& files = *m_engine.files;
    const CPatientMan& patient = *m_engine.patients;
    PdfReportRequest request;
    // Only the recording on the screen: during the monitor the buffer still
    // holds the one shown before, which is not what the user looks at.
    if (m_publisher.isStoredRecordingShown())
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

void PdfReportFlow::saveAsPdf(const QUrl& pdfUrl, const QString& agreedReplace)
{
    debugLog(4, "CQmlInterface::saveAsPdf() " + pdfUrl.toString().toStdString());
    PdfReportResult result;
    PdfReportRequest request;
    stagedwrite::Outcome outcome = stagedwrite::Outcome::Failed;
    QString reason;
    if (!m_publisher.isStoredRecordingShown()) {
        result.error = QStringLiteral("no stored recording is shown");
        reason = nothingShown();
    } else {
        // A long recording takes a second or more: let the indicator show
        // first. Queued answers may run meanwhile and change what is shown, so
        // the report is taken from the state after them, all of it at once.
        m_items.set<P::BusyIndicatorRunning>(true);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        request = takeRequest(pdfUrl);
        if (!request.buffer) {
            result.error = QStringLiteral("no stored recording is shown");
            reason = nothingShown();
        } else if (request.outputPath.isEmpty()) {
            result.error = QStringLiteral("the folder is not a local one");
        } else {
            // The report goes beside its name first: an earlier report stays
            // whole until the user agrees to replace it and the new one is done.
            outcome = stagedwrite::writeFile(request.outputPath, request.outputPath == agreedReplace,
                                             [&](const QString& staging) {
                                                 PdfReportRequest staged = request;
                                                 staged.outputPath = staging;
                                                 result = CPdfReport::write(staged);
                                                 return result.ok;
                                             });
            if (outcome == stagedwrite::Outcome::Failed && result.ok) {
                result.ok = false;
                result.error = QStringLiteral("cannot put the report in place");
            }
        }
        m_items.set<P::BusyIndicatorRunning>(false);
    }
    if (outcome == stagedwrite::Outcome::Exists) {
        m_replaceQuestion.ask(ReplaceQuestion::Kind::Pdf, pdfUrl, request.outputPath);
        return;
    }
    if (!result.ok) {
        debugLogError("Export Failed !!!! " + result.error.toStdString());
        m_items.invoke<C::QmlAlertBoxExportError>(reason);
        return;
    }
    debugLog(2, "CQmlInterface::saveAsPdf() wrote " + request.outputPath.toStdString() + ", pages="
                    + toStdString(result.pages));
    const QFileInfo written(request.outputPath);
    m_items.invoke<C::QmlAlertBoxFileSaved>(written.fileName(),
                                            QDir::toNativeSeparators(written.absolutePath()));
}
