// The recording path with its per-tick write-through (the recordings manager
// appending each sample and handing each 50 ms tick's records to the system)
// next to a plain fwrite of the same bytes in one call per tick.

#include "dbman.h"
#include "ecgrecords.h"
#include "fileman.h"
#include "settingsman.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kSamples = 500 * 60 * 10; // ten minutes
constexpr int kPerTick = 25;            // 50 ms at 500 per second
constexpr int kRuns = 5;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    std::vector<EcgStreamSample> samples(kSamples);
    std::vector<EcgFileRecord> records(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        EcgStreamSample& s = samples[std::size_t(i)];
        const double t = i / 500.0;
        s.leadI = float(std::sin(2 * M_PI * 1.2 * t) + 0.3 * std::sin(2 * M_PI * 50 * t));
        s.leadII = float(1.5 * std::sin(2 * M_PI * 1.2 * t + 0.4));
        deriveLeads(s);
        s.type = i % 400 == 0 ? ECG_SAMPLE_RPEAK : ECG_SAMPLE;
        records[std::size_t(i)] = fileRecordFromStream(s);
    }

    int from = -1, to = -1;
    auto db = std::make_unique<CDbMan>(dir.path(), from, to);
    if (!db->isOk())
        return 1;
    CSettingsMan settings(QStringLiteral("MalvorantQml"), db->database(), from, to);
    CFileMan files(dir.path() + QLatin1Char('/'), db->database(), &settings, from, to);

    double recorder = 1e30, finish = 1e30, plain = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        if (!files.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()))
            return 1;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSamples; i += kPerTick) {
            for (int k = i; k < i + kPerTick; ++k)
                files.addEntry(samples[std::size_t(k)]);
            if (!files.writeThrough())
                return 1;
        }
        recorder = std::min(recorder, seconds(start));
        start = std::chrono::steady_clock::now();
        if (!files.ecgFileCreateEnd())
            return 1;
        finish = std::min(finish, seconds(start));

        const std::string plainPath = dir.filePath("plain.bin").toStdString();
        start = std::chrono::steady_clock::now();
        std::FILE* f = std::fopen(plainPath.c_str(), "wb");
        if (!f)
            return 1;
        for (int i = 0; i < kSamples; i += kPerTick)
            std::fwrite(&records[std::size_t(i)], sizeof(EcgFileRecord), kPerTick, f);
        std::fclose(f);
        plain = std::min(plain, seconds(start));
        std::remove(plainPath.c_str());
    }
    std::printf("BENCH record_write_vs_fwrite %.2f x\n", recorder / plain);
    std::printf("BENCH record_write_per_tick_us %.2f us\n", recorder / (kSamples / kPerTick) * 1e6);
    std::printf("BENCH record_finish_sync_and_row_ms %.2f ms\n", finish * 1e3);
    return 0;
}
