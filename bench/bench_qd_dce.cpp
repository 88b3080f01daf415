// Export of a one-hour recording to a .dce file and its import back, next to
// the physical floor: reading the .ecg and writing a file of the .dce's size
// with plain fread/fwrite in the same run.
//   BENCH dce_export_1h_s <s> s
//   BENCH dce_import_1h_s <s> s
//   BENCH dce_peak_memory <peak resident growth / .dce size> x
//   BENCH dce_export_vs_io <export time / fread+fwrite time> x
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "dcmfile.h"
#include "fileecg.h"
#include "procmemory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int kRecords = 60 * 60 * 500; // one hour at 500 Hz
const int kRepeats = 5;

bool writeHour(const std::string& path)
{
    CFileEcg f;
    f.patientName = "Bench";
    f.ownerLastName = "Dog";
    f.ownerFirstName = "Owner";
    f.genderCode = 1;
    f.speciesCode = 2;
    f.recordingTime = 1552000000;
    if (!f.createFile(path))
        return false;
    std::vector<EcgFileRecord> chunk;
    chunk.reserve(5000);
    for (int i = 0; i < kRecords; ++i) {
        EcgFileRecord r{};
        const float t = float(i % 400) / 400.0f;
        r.leadI = 40.0f * std::sin(6.2831853f * t) + (i % 400 == 100 ? 150.0f : 0.0f);
        r.leadII = 60.0f * std::cos(6.2831853f * t) + (i % 400 == 100 ? 220.0f : 0.0f);
        r.leadIII = r.leadII - r.leadI;
        r.type = i % 400 == 100 ? 1 : 0; // R marks at 75 per minute
        chunk.push_back(r);
        if (i % 90000 == 50) {
            EcgFileRecord e{};
            e.type = -102;
            chunk.push_back(e);
        }
        if (chunk.size() >= 4096) {
            if (!f.addData(chunk.data(), int(chunk.size())))
                return false;
            chunk.clear();
        }
    }
    if (!chunk.empty() && !f.addData(chunk.data(), int(chunk.size())))
        return false;
    return f.close();
}

// The floor: read the whole .ecg and write as many bytes as the .dce holds.
double ioSeconds(const std::string& ecg, const std::string& out, long long bytes)
{
    QElapsedTimer t;
    t.start();
    std::vector<char> buffer(1 << 20);
    std::FILE* in = std::fopen(ecg.c_str(), "rb");
    std::FILE* o = std::fopen(out.c_str(), "wb");
    if (!in || !o)
        return -1.0;
    while (std::fread(buffer.data(), 1, buffer.size(), in) > 0) {
    }
    while (bytes > 0) {
        const std::size_t n = std::size_t(std::min<long long>(bytes, (long long)buffer.size()));
        std::fwrite(buffer.data(), 1, n, o);
        bytes -= (long long)n;
    }
    std::fclose(in);
    std::fclose(o);
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::string ecg = dir.filePath("hour.ecg").toStdString();
    const QString dce = dir.filePath("hour.dce");
    const QString back = dir.filePath("back.ecg");
    if (!writeHour(ecg)) {
        std::fprintf(stderr, "unable to write the recording\n");
        return 1;
    }

    double exportBest = 1e9, importBest = 1e9, ioBest = 1e9;
    long peakKb = 0;
    long long dceBytes = 0;
    for (int r = 0; r < kRepeats; ++r) {
        CDcmFile file;
        file.studyInstanceUid = "1.2.826.0.1.3680043.10.1138.99";
        resetPeak();
        long base = procStatusKb("VmRSS:");
        QElapsedTimer t;
        t.start();
        if (file.ecgToDicomConversion(QString::fromStdString(ecg), dce, "Bench Clinic")) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }
        exportBest = std::min(exportBest, t.nsecsElapsed() / 1e9);
        peakKb = std::max(peakKb, procStatusKb("VmHWM:") - base);
        dceBytes = QFileInfo(dce).size();

        CDcmFile in;
        resetPeak();
        base = procStatusKb("VmRSS:");
        t.restart();
        if (!in.dicomToEcgConversion(QUrl::fromLocalFile(dce), back)) {
            std::fprintf(stderr, "import failed\n");
            return 1;
        }
        importBest = std::min(importBest, t.nsecsElapsed() / 1e9);
        peakKb = std::max(peakKb, procStatusKb("VmHWM:") - base);
        QFile::remove(back);

        ioBest = std::min(ioBest, ioSeconds(ecg, dir.filePath("io.bin").toStdString(), dceBytes));
    }
    std::printf("BENCH dce_export_1h_s %.3f s\n", exportBest);
    std::printf("BENCH dce_import_1h_s %.3f s\n", importBest);
    std::printf("BENCH dce_peak_memory %.2f x\n", double(peakKb) * 1024.0 / double(dceBytes));
    std::printf("BENCH dce_export_vs_io %.2f x\n", exportBest / ioBest);
    return 0;
}
