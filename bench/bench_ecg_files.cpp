// Writing and reading back a one-hour recording through CFileEcg next to a
// plain fwrite/fread of the same bytes, and loading it into the recording
// buffer with both filtered sets.

#include "ecgbuffer.h"
#include "fileecg.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRecords = 1800000;
constexpr int kRuns = 5;

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

volatile double g_sink = 0;

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
        s.type = i % 400 == 0 ? ECG_SAMPLE_RPEAK : ECG_SAMPLE;
        records[static_cast<std::size_t>(i)] = fileRecordFromStream(s);
    }
    std::vector<unsigned char> header(CFileEcg::kDataStartV2, 0);

    // Writing: the recorder appends one record at a time; the reference
    // writes the same bytes in two calls.
    // Each run writes a new file: freeing the pages of an old one is not timed.
    const double ecgWrite = best([&] {
        std::remove(ecgPath.c_str());
        const auto t0 = std::chrono::steady_clock::now();
        CFileEcg f;
        f.patientName = "Bench";
        bool ok = f.createFile(ecgPath);
        for (int i = 0; ok && i < kRecords; ++i)
            ok = f.addData(&records[static_cast<std::size_t>(i)], 1);
        ok = f.close() && ok;
        if (!ok)
            std::fprintf(stderr, "writing the recording failed\n");
        return seconds(t0);
    });
    const double plainWrite = best([&] {
        std::remove(plainPath.c_str());
        const auto t0 = std::chrono::steady_clock::now();
        std::FILE* f = std::fopen(plainPath.c_str(), "wb");
        if (f) {
            std::fwrite(header.data(), 1, header.size(), f);
            std::fwrite(records.data(), sizeof(EcgFileRecord), records.size(), f);
            std::fclose(f);
        }
        return seconds(t0);
    });

    // Reading: every record through readData against one fread of the bytes;
    // both add up lead I so neither read is optimised away.
    const double ecgRead = best([&] {
        const auto t0 = std::chrono::steady_clock::now();
        CFileEcg f;
        double sum = 0;
        if (f.openFileReadWrite(ecgPath)) {
            EcgReadRecord r{};
            const int n = f.getRecordCount();
            for (int i = 0; i < n && f.readData(i, r); ++i)
                sum += r.leadI;
        }
        f.close();
        g_sink = sum;
        return seconds(t0);
    });
    std::vector<unsigned char> bytes(header.size() + records.size() * sizeof(EcgFileRecord));
    const double plainRead = best([&] {
        const auto t0 = std::chrono::steady_clock::now();
        double sum = 0;
        if (std::FILE* f = std::fopen(plainPath.c_str(), "rb")) {
            const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            const auto* r = reinterpret_cast<const EcgFileRecord*>(bytes.data() + header.size());
            for (std::size_t i = 0; i < (got - header.size()) / sizeof(EcgFileRecord); ++i)
                sum += r[i].leadI;
        }
        g_sink = sum;
        return seconds(t0);
    });

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
    std::printf("BENCH ecg_read_vs_fread %.2f x\n", ecgRead / plainRead);
    std::printf("BENCH buffer_load_1h %.3f s\n", load);
    return 0;
}
