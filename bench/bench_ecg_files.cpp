// Writing and reading back a one-hour recording through CFileEcg next to a
// plain fwrite (with the same sync) and fread of the same bytes, the sync
// alone, and loading the recording into the recording buffer with both
// filtered sets.

#include "ecgbuffer.h"
#include "fileecg.h"
#include "filesafety.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRecords = 1800000;
constexpr int kRuns = 5;
constexpr int kPeakEvery = 400; // 75 beats a minute

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <typename F>
double best(F f)
{
    double t = 1e30;
    for (int i = 0; i < kRuns; ++i)
        t = std::min(t, f());
    return t;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::string ecgPath = dir.filePath("bench.ecg").toStdString();
    const std::string plainPath = dir.filePath("plain.bin").toStdString();

    std::vector<EcgFileRecord> records(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        EcgStreamSample s{};
        const double t = i / 500.0;
        s.leadI = float(std::sin(2 * M_PI * 1.2 * t) + 0.3 * std::sin(2 * M_PI * 50 * t));
        s.leadII = float(1.5 * std::sin(2 * M_PI * 1.2 * t + 0.4));
        deriveLeads(s);
        s.type = i % kPeakEvery == 0 ? ECG_SAMPLE_RPEAK : ECG_SAMPLE;
        records[static_cast<std::size_t>(i)] = fileRecordFromStream(s);
    }
    std::vector<unsigned char> header(CFileEcg::kDataStartV2, 0);

    // Writing: one record at a time, the recorder's call (here one burst,
    // which the file gathers into large writes), and close() syncs the
    // finished file to the disk; the reference writes the same bytes in two
    // calls and syncs them the same way, so both end equally durable.
    // The two alternate, so both meet the same disk. Each run writes a new
    // file: freeing the pages of an old one is not timed.
    double ecgWrite = 1e30, plainWrite = 1e30, syncMs = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        std::remove(ecgPath.c_str());
        auto t0 = std::chrono::steady_clock::now();
        {
            CFileEcg f;
            f.patientName = "Bench";
            bool ok = f.createFile(ecgPath);
            for (int i = 0; ok && i < kRecords; ++i)
                ok = f.addData(&records[static_cast<std::size_t>(i)], 1);
            ok = f.close() && ok;
            if (!ok)
                std::fprintf(stderr, "writing the recording failed\n");
        }
        ecgWrite = std::min(ecgWrite, seconds(t0));

        std::remove(plainPath.c_str());
        t0 = std::chrono::steady_clock::now();
        if (std::FILE* f = std::fopen(plainPath.c_str(), "wb")) {
            bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
            ok = std::fwrite(records.data(), sizeof(EcgFileRecord), records.size(), f) == records.size() && ok;
            ok = std::fflush(f) == 0 && ok;
            const auto s0 = std::chrono::steady_clock::now();
            ok = platform::syncFile(f) && ok;
            syncMs = std::min(syncMs, seconds(s0) * 1000);
            ok = std::fclose(f) == 0 && ok;
            if (!ok)
                std::fprintf(stderr, "writing the reference failed\n");
        }
        plainWrite = std::min(plainWrite, seconds(t0));
    }
    std::remove(plainPath.c_str());

    // Reading: every record of the recording through readData against one
    // fread of the same file's bytes, so both read the very same pages from
    // the system's cache. Both count the R peaks (and must find every one),
    // so neither read is optimised away and neither pays for more than a
    // look at each record. Only the reading is timed, not the close.
    std::vector<unsigned char> bytes(header.size() + records.size() * sizeof(EcgFileRecord));
    const int peaks = (kRecords + kPeakEvery - 1) / kPeakEvery;
    double ecgRead = 1e30, plainRead = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        int found = 0;
        {
            CFileEcg f;
            if (f.openFileReadWrite(ecgPath)) {
                EcgReadRecord r{};
                const int n = f.getRecordCount();
                for (int i = 0; i < n && f.readData(i, r); ++i)
                    found += r.type == ECG_SAMPLE_RPEAK;
            }
            ecgRead = std::min(ecgRead, seconds(t0));
            f.close();
        }
        if (found != peaks)
            std::fprintf(stderr, "reading the recording failed\n");

        t0 = std::chrono::steady_clock::now();
        found = 0;
        if (std::FILE* f = std::fopen(ecgPath.c_str(), "rb")) {
            const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            const auto* r = reinterpret_cast<const EcgFileRecord*>(bytes.data() + header.size());
            for (std::size_t i = 0; got > header.size() && i < (got - header.size()) / sizeof(EcgFileRecord); ++i)
                found += r[i].type == ECG_SAMPLE_RPEAK;
        }
        plainRead = std::min(plainRead, seconds(t0));
        if (found != peaks)
            std::fprintf(stderr, "reading the reference failed\n");
    }

    // Loading one hour into the buffer with both filtered sets.
    CEcgBuffer* buffer = new CEcgBuffer;
    const double load = best([&] {
        const auto t0 = std::chrono::steady_clock::now();
        buffer->closeFile();
        const bool ok = buffer->openFile(dir.path().toStdString(), "bench.ecg", 1);
        buffer->setFilterOptions(1, true);
        if (!ok || buffer->getRecordCount() != kRecords)
            std::fprintf(stderr, "loading the recording failed\n");
        const double t = seconds(t0);
        buffer->setFilterOptions(0, false);
        return t;
    });
    delete buffer;

    std::fprintf(stderr, "write %.4f / %.4f s, read %.4f / %.4f s\n", ecgWrite, plainWrite, ecgRead, plainRead);
    std::printf("BENCH ecg_write_vs_fwrite %.2f x\n", ecgWrite / plainWrite);
    std::printf("BENCH ecg_sync_ms %.1f ms\n", syncMs);
    std::printf("BENCH ecg_read_vs_fread %.2f x\n", ecgRead / plainRead);
    std::printf("BENCH buffer_load_1h %.3f s\n", load);
    return 0;
}
