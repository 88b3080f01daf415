// The PDF report of a one-hour recording at 25 mm/s with six leads: 100
// strips on 51 pages, read from the recording buffer as the program does.

#include "ecgbuffer.h"
#include "fileecg.h"
#include "pdfreport.h"
#include "synthecg.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kLeadIn = 2499;
constexpr int kSignal = 1800000 - kLeadIn - 1250;
constexpr int kRuns = 3;

bool writeHour(const std::string& path)
{
    CFileEcg f;
    f.patientName = "Bench";
    f.recordingTime = 1767348000;
    if (!f.createFile(path))
        return false;
    SynthEcgParams p;
    p.heartRate = 110;
    p.amplitude = 1.5 * 1000.0 / 5.2;
    p.noise = 3;
    p.baselineWander = 8;
    CSynthEcg synth(p);
    std::vector<EcgFileRecord> records;
    records.reserve(1800000);
    for (int i = 0; i < kLeadIn + kSignal + 1250; ++i) {
        const SynthEcgSample s = synth.next();
        EcgStreamSample e{};
        e.leadI = float(s.leadI);
        e.leadII = float(s.leadII);
        deriveLeads(e);
        e.type = (i < kLeadIn || i >= kLeadIn + kSignal) ? ECG_SAMPLE_LEADIN : ECG_SAMPLE;
        records.push_back(fileRecordFromStream(e));
    }
    return f.addData(records.data(), int(records.size())) && f.close();
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString recording = dir.filePath(QStringLiteral("1_1_20260102_100000.ecg"));
    if (!writeHour(recording.toStdString())) {
        std::fprintf(stderr, "cannot write the recording\n");
        return 1;
    }
    auto buffer = std::make_unique<CEcgBuffer>();
    const QFileInfo fi(recording);
    if (!buffer->openFile(fi.path().toStdString(), fi.fileName().toStdString(), CEcgBuffer::kFileTypeEcg)) {
        std::fprintf(stderr, "cannot open the recording\n");
        return 1;
    }
    PdfReportRequest r;
    r.buffer = buffer.get();
    r.leadInLength = -1;
    r.speed = 25;
    r.gain = 10;
    r.displayMode = 3;
    r.texts = CPdfReport::textsForInstitution(QStringLiteral("Bench Clinic"));
    r.outputPath = dir.filePath(QStringLiteral("report.pdf"));

    double best = 1e30;
    PdfReportResult res;
    for (int run = 0; run < kRuns; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        res = CPdfReport::write(r);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (!res.ok) {
            std::fprintf(stderr, "report failed: %s\n", qPrintable(res.error));
            return 1;
        }
    }
    if (res.strips != 100 || res.pages != 51) {
        std::fprintf(stderr, "unexpected report: %d strips, %d pages\n", res.strips, res.pages);
        return 1;
    }
    std::printf("BENCH pdf_1h_s %.3f s\n", best);
    std::printf("BENCH pdf_1h_mb %.2f MB\n", QFileInfo(r.outputPath).size() / 1e6);
    return 0;
}
