// Writes a sample recording, prints its report and renders the first and a
// later page to PNG, and keeps the PDF beside them: report_screenshots [folder].
#include "fileecg.h"
#include "pdfreport.h"
#include "synthecg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

// pending: a recording that waits for its patient, with the stand-ins a new
// recording's header holds until it is assigned.
bool writeSample(const QString& path, bool pending = false)
{
    CFileEcg f;
    f.patientName = pending ? "dummy" : "Bello vom Müllerhof";
    f.patientBirthdate = pending ? "" : "03.04.2019";
    f.genderCode = pending ? 0 : 3;
    f.speciesCode = pending ? 0 : 2;
    f.ownerFirstName = pending ? "dummyOF" : "Jürgen";
    f.ownerLastName = pending ? "dummyOL" : "Müller";
    f.extPatientId = pending ? "dummyXId" : "PX-1042";
    f.recordingTime = 1767348000; // Jan 02, 2026 10:00:00
    if (!f.createFile(path.toStdString()))
        return false;
    SynthEcgParams p;
    p.heartRate = 96;
    p.amplitude = 1.6 * 1000.0 / 5.2; // 1.6 mV R waves
    p.noise = 4;
    p.baselineWander = 10;
    CSynthEcg synth(p);
    std::vector<EcgFileRecord> records;
    const int leadIn = 2499;
    const int signal = 60 * 500;
    for (int i = 0; i < leadIn + signal + 1250; ++i) {
        const SynthEcgSample s = synth.next();
        EcgStreamSample e{};
        e.leadI = float(s.leadI);
        e.leadII = float(s.leadII);
        deriveLeads(e);
        e.type = (i < leadIn || i >= leadIn + signal) ? ECG_SAMPLE_LEADIN : ECG_SAMPLE;
        records.push_back(fileRecordFromStream(e));
        if (i == leadIn + 5000 || i == leadIn + 21000) {
            EcgStreamSample mark{};
            mark.type = i == leadIn + 5000 ? ECG_EVENT_USER_MARK1 : ECG_EVENT_PACKET_ERROR;
            records.push_back(fileRecordFromStream(mark));
        }
    }
    return f.addData(records.data(), int(records.size())) && f.close();
}

bool render(const QString& pdf, int page, const QString& png)
{
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("110"),
                                         QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                         QString::number(page), QStringLiteral("-singlefile"), pdf, png});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(MALVORANT_SCREENSHOT_DIR);
    QTemporaryDir tmp;
    if (!tmp.isValid() || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make the folders\n");
        return 1;
    }
    const QString recording = tmp.filePath(QStringLiteral("7_12_20260102_100000.ecg"));
    if (!writeSample(recording)) {
        std::fprintf(stderr, "cannot write the sample recording\n");
        return 1;
    }
    PdfReportRequest r;
    r.recordingPath = recording;
    r.speed = 25;
    r.gain = 10;
    r.displayMode = 3;
    r.texts = CPdfReport::textsForInstitution(QStringLiteral("Tierarztpraxis Dr. Nowak, Łódź"));
    r.logoPath = QStringLiteral(MALVORANT_REPORT_LOGO);
    r.outputPath = tmp.filePath(QStringLiteral("report.pdf"));
    const PdfReportResult result = CPdfReport::write(r);
    if (!result.ok) {
        std::fprintf(stderr, "report failed: %s\n", qPrintable(result.error));
        return 1;
    }
    const QString first = QDir(folder).filePath(QStringLiteral("report-page1"));
    const QString later = QDir(folder).filePath(QStringLiteral("report-page2"));
    if (!render(r.outputPath, 1, first) || !render(r.outputPath, 2, later)) {
        std::fprintf(stderr, "pdftoppm failed\n");
        return 1;
    }
    const QString keptPdf = QDir(folder).filePath(QStringLiteral("report.pdf"));
    QFile::remove(keptPdf);
    QFile::copy(r.outputPath, keptPdf);
    std::printf("%s.png\n%s.png\n%s\n", qPrintable(first), qPrintable(later), qPrintable(keptPdf));

    // The report of a recording that still waits for its patient.
    const QString pending = tmp.filePath(QStringLiteral("0_13_20260102_101500.ecg"));
    r.recordingPath = pending;
    r.patientAssigned = false;
    r.outputPath = tmp.filePath(QStringLiteral("pending.pdf"));
    const QString unassigned = QDir(folder).filePath(QStringLiteral("report-no-patient-page1"));
    if (!writeSample(pending, true) || !CPdfReport::write(r).ok || !render(r.outputPath, 1, unassigned)) {
        std::fprintf(stderr, "the report without a patient failed\n");
        return 1;
    }
    std::printf("%s.png\n", qPrintable(unassigned));
    return 0;
}
