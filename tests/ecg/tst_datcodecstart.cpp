#include <QtTest>

#include "datcodec.h"
#include "datcodectesting.h"

#include <algorithm>
#include <cmath>

using namespace teststream;

// How the decoder starts on a stream: which protocol it settles on, how soon,
// and where the leads' baseline lies in the first seconds.
class TestDatCodecStart : public QObject
{
    Q_OBJECT
private slots:
    void recognitionFromRealisticStreams_data();
    void recognitionFromRealisticStreams();
    void recognitionWaitsForSecondPacket();
    void baselineFromTheFirstSecond_data();
    void baselineFromTheFirstSecond();
};

void TestDatCodecStart::recognitionFromRealisticStreams_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<double>("bpm");
    QTest::newRow("first, dog") << 0 << 1u << 120.0;
    QTest::newRow("first, cat") << 0 << 2u << 220.0;
    QTest::newRow("first, horse") << 0 << 3u << 35.0;
    QTest::newRow("second, dog") << 1 << 4u << 120.0;
    QTest::newRow("second, cat") << 1 << 5u << 220.0;
    QTest::newRow("second, horse") << 1 << 6u << 35.0;
}

void TestDatCodecStart::recognitionFromRealisticStreams()
{
    QFETCH(int, protocol);
    QFETCH(unsigned, seed);
    QFETCH(double, bpm);
    // A realistic ECG with events, starting at every byte of its first
    // packets (a reset can fall anywhere), at the start of the stream and
    // after minutes of it. The decoder must settle on the right protocol,
    // never the other one, within a few packets.
    SynthEcgParams p;
    p.heartRate = bpm;
    p.amplitude = 400;
    p.noise = 6;
    p.baselineWander = 60;
    p.mainsAmplitude = 20;
    p.seed = seed;
    CSynthEcg gen(p);
    FramedWriter fw;
    IapWriter iw;
    fw.nextNumber = int(seed * 97) % 4096;
    iw.nextNumber = int(seed * 9973) % 65536;
    const int n = 500 * 200;
    for (int i = 0; i < n; ++i) {
        const SynthEcgSample s = gen.next();
        if (i % 5000 == 100) {
            fw.injectInfo(0x1000 + i, -i, i, 7, 9, 11);
            iw.deviceInfo(0x1000 + i, -i, i, 7, 9, 11);
        }
        if (i % 7000 == 200) {
            fw.injectMark(1 + (i / 7000) % 4);
            iw.bytesPacket(3, QByteArray("KxId-0000000001FW1.00ab\x01\x02"));
        }
        fw.battery = (i / 3000) % 10 == 3;
        iw.status = std::uint8_t(((i / 3000) % 10 == 3 ? 2 : 0) | ((i / 2000) % 7 == 2 ? 1 : 0) | 0x20);
        fw.addSample(quantiseII(s.leadII), quantiseI(s.leadI));
        iw.addSample(quantiseII(s.leadII), quantiseI(s.leadI));
    }
    const QByteArray stream = protocol == 0 ? fw.out : iw.out;
    const int packetBytes = protocol == 0 ? 132 : 200;
    QList<int> starts;
    for (int k = 0; k < 3 * packetBytes; ++k)
        starts << k;
    for (int k = 1000; k < stream.size() - 20 * packetBytes; k += 2477)
        starts << k;
    int worst = 0;
    for (int start : starts) {
        CDatCodec codec;
        int used = 0;
        EcgStreamSample rec;
        for (int i = start; i < stream.size() && codec.mode() == CDatCodec::kModeUnknown; ++i, ++used)
            codec.decode(static_cast<unsigned char>(stream[i]), &rec);
        QVERIFY2(codec.mode() == protocol,
                 qPrintable(QString("start %1: mode %2 after %3 bytes").arg(start).arg(codec.mode()).arg(used)));
        worst = std::max(worst, used);
    }
    // Three packets at most (a cut one, then two whole in sequence), plus
    // room for an inject packet or two in between.
    QVERIFY2(worst <= 5 * packetBytes + 64, qPrintable(QString::number(worst)));
}

void TestDatCodecStart::recognitionWaitsForSecondPacket()
{
    // Packet numbers 7, 8: the first protocol is chosen at the status word of
    // packet 8; the records before that are not delivered.
    FramedWriter w;
    w.nextNumber = 7;
    for (int i = 0; i < 63 * 3; ++i)
        w.addSample(0x800, 0x800);
    const int packet8End = 2 * int(w.out.size() / 6); // packets are the same size
    CDatCodec codec;
    QCOMPARE(codec.mode(), CDatCodec::kModeUnknown);
    EcgStreamSample rec;
    int delivered = 0;
    int modeAt = -1;
    for (int i = 0; i < w.out.size(); ++i) {
        const bool got = codec.decode(static_cast<unsigned char>(w.out[i]), &rec);
        if (codec.mode() == CDatCodec::kModeFramed && modeAt < 0)
            modeAt = i;
        if (got)
            ++delivered;
    }
    QCOMPARE(codec.mode(), CDatCodec::kModeFramed);
    // The status word's low byte is the second-last byte of packet 8's frame.
    QCOMPARE(modeAt, packet8End - 2);
    // Packets 9..12 deliver their samples: words 2*63.. of 6*63.
    QCOMPARE(delivered, (6 * 63) / 2 - 63);
    codec.reset();
    QCOMPARE(codec.mode(), CDatCodec::kModeUnknown);
}

void TestDatCodecStart::baselineFromTheFirstSecond_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("start");
    QTest::newRow("first, whole stream") << 0 << 0;
    QTest::newRow("first, cut packet") << 0 << 57;
    QTest::newRow("second, whole stream") << 1 << 0;
    QTest::newRow("second, cut packet") << 1 << 131;
}

// The device's words sit on the 12-bit midpoint. From the first delivered
// sample on, each second's mean of both leads lies within 0.3 mV of where
// it settles; a cut first packet (taken for samples before the protocol is
// known) does not count.
void TestDatCodecStart::baselineFromTheFirstSecond()
{
    QFETCH(int, protocol);
    QFETCH(int, start);
    SynthEcgParams p;
    p.heartRate = 120;
    p.amplitude = 1.5 * 1000 / 5.2;
    p.noise = 2;
    CSynthEcg gen(p);
    const int seconds = 60;
    CDatCodec codec;
    const auto samples = samplesOf(decodeAll(codec, deviceStream(gen, protocol, seconds * 500).mid(start)));
    QCOMPARE(codec.mode(), protocol);
    QVERIFY(samples.size() > std::size_t((seconds - 1) * 500));
    auto meanOf = [&](int second, bool leadI) {
        double sum = 0;
        for (int i = second * 500; i < (second + 1) * 500; ++i)
            sum += leadI ? samples[std::size_t(i)].leadI : samples[std::size_t(i)].leadII;
        return sum / 500;
    };
    const double unitsPerMv = 1000 / 5.2;
    for (bool leadI : {true, false}) {
        double settled = 0;
        for (int second = seconds - 11; second < seconds - 1; ++second)
            settled += meanOf(second, leadI) / 10;
        for (int second = 0; second < 10; ++second) {
            const double offMv = (meanOf(second, leadI) - settled) / unitsPerMv;
            QVERIFY2(std::abs(offMv) <= 0.3, qPrintable(QStringLiteral("lead %1, second %2: %3 mV")
                                                             .arg(leadI ? "I" : "II").arg(second).arg(offMv)));
        }
    }
}

QTEST_GUILESS_MAIN(TestDatCodecStart)
#include "tst_datcodecstart.moc"
