// Builds, writes and saves a 30-minute six-lead 500 Hz ECG waveform object,
// loads it and reads the samples back, next to pydicom doing the same in a
// python3 process of the same run.
//   BENCH dicom_vs_pydicom <pydicom time / our time> x
//   BENCH dicom_peak_memory <peak resident memory growth / sample bytes> x
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "wvfwave.h"
#include "procmemory.h"

namespace {

const Uint32 kSamples = 30 * 60 * 500; // 30 minutes at 500 Hz
const Uint32 kChannels = 6;
const int kRepeats = 3;

// One round: build, write, save, load, read; returns a checksum.
long long roundTrip(const std::string& path, bool* ok)
{
    *ok = false;
    {
        WvfWaveform w;
        w.setSOPClassUID(UID_GeneralECGWaveformStorage);
        w.setModality("ECG");
        w.setPatientName("Bench^Dog");
        WvfMplxGroup* group = new WvfMplxGroup();
        w.addMultiplexGroup(group, 0);
        static const char* const leads[6][2] = {{"2:1", "Lead I"},    {"2:2", "Lead II"},   {"2:61", "Lead III"},
                                                {"2:62", "Lead aVR"}, {"2:63", "Lead aVL"}, {"2:64", "Lead aVF"}};
        CodeSequenceMacro units;
        units.setCodeValue("uV");
        units.setCodingSchemeDesignator("UCUM");
        units.setCodeMeaning("microvolt");
        for (Uint32 c = 0; c < kChannels; ++c) {
            WvfChannel* ch = new WvfChannel();
            if (ch->createSamples(kSamples, SS).bad())
                return 0;
            WvfSamples* s = ch->getSamples();
                // (i * 7 + c * 13) % 2000 - 1000, as the pydicom side has them
            Sint32 v = Sint32(c * 13 % 2000);
            for (Uint32 i = 0; i < kSamples; ++i) {
                s->setSample(i, Sint16(v - 1000));
                v += 7;
                if (v >= 2000)
                    v -= 2000;
            }
            group->addChannel(ch, -1);
            CodeSequenceMacro source;
            source.setCodeValue(leads[c][0]);
            source.setCodingSchemeDesignator("MDC");
            source.setCodeMeaning(leads[c][1]);
            ch->setChannelSourceSequence(source);
            ch->setChannelSensitivityUnitsSequence(units);
            ch->setChannelSensitivity(1.0);
            ch->setChannelBaseline(0.0);
            ch->setChannelSensitivityCorrectionFactor(1.0);
        }
        group->setMultiplexGroupTimeOffset(0.0);
        group->setWaveformOriginality("ORIGINAL");
        group->setSamplingFrequency(500);
        group->setWaveformSampleInterpretation(SS);
        DcmFileFormat file;
        if (w.write(file.getDataset(), true, true).bad())
            return 0;
        if (file.saveFile(path.c_str(), EXS_LittleEndianExplicit).bad())
            return 0;
    }
    DcmFileFormat file;
    if (file.loadFile(path.c_str()).bad())
        return 0;
    WvfWaveform back;
    if (back.read(file.getDataset()).bad())
        return 0;
    WvfMplxGroup* group = back.getMultiplexGroup(1);
    if (!group || group->getNumberOfChannels() != kChannels)
        return 0;
    long long sum = 0;
    for (Uint32 c = 1; c <= kChannels; ++c) {
        Uint32 bytes = 0;
        Uint8* data = nullptr;
        if (group->getChannel(c)->getSamples()->getData(bytes, data).bad() || bytes != kSamples * 2)
            return 0;
        const Sint16* samples = reinterpret_cast<const Sint16*>(data);
        for (Uint32 i = 0; i < kSamples; ++i)
            sum += samples[i];
    }
    *ok = true;
    return sum;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::string path = dir.filePath("bench.dce").toStdString();
    const double sampleBytes = double(kSamples) * kChannels * 2;

    bool ok = false;
    roundTrip(path, &ok); // warm-up: libraries, dictionary, file cache
    if (!ok) {
        std::fprintf(stderr, "round trip failed\n");
        return 1;
    }
    // Peak resident memory that one round adds to what the process holds
    // when it starts (memory the allocator kept from an earlier round and
    // hands out again is not counted twice).
    double best = 1e30;
    long long checksum = 0;
    long peakGrowthKb = 0;
    for (int r = 0; r < kRepeats; ++r) {
        const long baselineKb = procStatusKb("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        checksum = roundTrip(path, &ok);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const long growthKb = procStatusKb("VmHWM:") - baselineKb;
        if (!ok)
            return 1;
        best = std::min(best, seconds);
        peakGrowthKb = std::max(peakGrowthKb, growthKb);
        std::printf("# round %d: %.3f s, peak growth %ld kB\n", r, seconds, growthKb);
    }

    QProcess python;
    const QString interpreter = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    python.start(interpreter, {QString(MALVORANT_SOURCE_DIR) + "/bench/bench_dcmwave_pydicom.py", dir.path(),
                               QString::number(kSamples), QString::number(kRepeats)});
    if (!python.waitForFinished(600000) || python.exitCode() != 0) {
        std::fprintf(stderr, "pydicom run failed: %s\n", python.readAllStandardError().constData());
        return 1;
    }
    const QList<QByteArray> answer = python.readAllStandardOutput().trimmed().split(' ');
    const double pydicomSeconds = answer.value(0).toDouble();
    if (answer.value(1).toLongLong() != checksum) {
        std::fprintf(stderr, "pydicom read other samples (%s != %lld)\n", answer.value(1).constData(), checksum);
        return 1;
    }
    std::printf("# %u samples x %u leads (%.1f MB): ours %.3f s, pydicom %.3f s\n", kSamples, kChannels,
                sampleBytes / 1e6, best, pydicomSeconds);
    std::printf("BENCH dicom_vs_pydicom %.2f x\n", pydicomSeconds / best);
    std::printf("BENCH dicom_peak_memory %.2f x\n", peakGrowthKb * 1024.0 / sampleBytes);
    return 0;
}
