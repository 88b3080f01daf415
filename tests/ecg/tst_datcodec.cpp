#include <QtTest>

#include "datcodec.h"
#include "datcodectesting.h"
#include "debuglog.h"
#include "devicestreamwriter.h"
#include "synthecg.h"

#include <cmath>
#include <cstring>
#include <memory>

using namespace teststream;

namespace {

// The leads the decoder must produce for raw device words: a 0.05 Hz
// high-pass of raw x scale, lead II negated, that starts as if its first
// value had always been there.
struct ReferenceLeads {
    IirSection hpI;
    IirSection hpII;
    double factor;
    bool first = true;
    explicit ReferenceLeads(double f = 0.595) : factor(f)
    {
        hpI.init();
        hpII.init();
    }
    void next(const RawPair& p, float& leadI, float& leadII)
    {
        if (first) {
            hpII.settleHighPass005(p.rawII * factor);
            hpI.settleHighPass005(p.rawI * factor);
            first = false;
        }
        leadII = float(-hpII.processHighPass005(p.rawII * factor));
        leadI = float(hpI.processHighPass005(p.rawI * factor));
    }
};

std::vector<RawPair> synthPairs(int n, double bpm = 120, double amplitude = 288, unsigned seed = 1, double noise = 2.0)
{
    SynthEcgParams p;
    p.heartRate = bpm;
    p.amplitude = amplitude;
    p.noise = noise;
    p.seed = seed;
    CSynthEcg gen(p);
    std::vector<RawPair> pairs;
    pairs.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const SynthEcgSample s = gen.next();
        pairs.push_back({quantiseII(s.leadII), quantiseI(s.leadI)});
    }
    return pairs;
}

void verifyInfo(const EcgStreamSample& r, const EcgDeviceInfo& expected)
{
    QCOMPARE(r.type, int(ECG_EVENT_DEVICE_INFO));
    const EcgDeviceInfo info = deviceInfoFromSample(r);
    QCOMPARE(info.a, expected.a);
    QCOMPARE(info.b, expected.b);
    QCOMPARE(info.c, expected.c);
    QCOMPARE(info.d, expected.d);
    QCOMPARE(info.e, expected.e);
    QCOMPARE(info.f, expected.f);
}

class StatusRecorder : public CDatCodecCallbackInterface
{
public:
    QByteArray encoded;
    QList<int> sd, lock, values;
    void datCodecRespEncodedPacket(const unsigned char* bytes, int length) override
    {
        encoded.append(reinterpret_cast<const char*>(bytes), length);
    }
    void datCodecRespSdStatus(int s) override { sd << s; }
    void datCodecRespDeviceLocked(int s) override { lock << s; }
    void datCodecRespStatusValue(int v) override { values << v; }
};

} // namespace

class TestDatCodec : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void framedSamplesMatchReference();
    void framedEscapesAtEveryPosition();
    void framedPacketNumbers_data();
    void framedPacketNumbers();
    void framedMalformedPackets_data();
    void framedMalformedPackets();
    void framedInjectPackets();
    void framedInjectAfterResetKeepsNumberUnknown();
    void framedToggleAndBattery();
    void framedGainCodes_data();
    void framedGainCodes();
    void peakFlagsFollowBeats_data();
    void peakFlagsFollowBeats();

    void iapSamplesMatchReference();
    void iapDeviceInfo();
    void iapIdentificationStaysInsideRecord();
    void iapDeviceData();
    void iapStatusByteAndValue();
    void iapErrors_data();
    void iapErrors();

    void truncatedFramesAtEveryByte_data();
    void truncatedFramesAtEveryByte();
    void garbageNeverCrashes();

    void reEncoderRoundTrip();
    void commandFrame_data();
    void commandFrame();

private:
    QString errorLogSinceMark();
    void markLog();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDebugLog> m_log;
    qint64 m_mark = 0;
};

void TestDatCodec::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_log = std::make_unique<CDebugLog>(4, false, m_dir->path().toStdString(), "malvorantlog");
    g_pDebugLog = m_log.get();
}

void TestDatCodec::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

void TestDatCodec::markLog()
{
    m_mark = QFileInfo(QString::fromStdString(m_log->errorPath())).size();
}

QString TestDatCodec::errorLogSinceMark()
{
    QFile f(QString::fromStdString(m_log->errorPath()));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    f.seek(m_mark);
    return QString::fromUtf8(f.readAll());
}

// ---------------------------------------------------------------------------

void TestDatCodec::framedSamplesMatchReference()
{
    const auto pairs = synthPairs(1000);
    FramedWriter w;
    for (const auto& p : pairs)
        w.addSample(p.rawII, p.rawI);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeFramed);
    const auto recs = decodeAll(codec, w.out);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 0);
    const auto samples = samplesOf(recs);
    // Only whole packets were written: 2000 words make 31 packets of 63.
    QCOMPARE(int(samples.size()), (31 * 63) / 2);
    ReferenceLeads ref;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        float I, II;
        ref.next(pairs[i], I, II);
        const EcgStreamSample& s = samples[i];
        QCOMPARE(s.leadI, I);
        QCOMPARE(s.leadII, II);
        QCOMPARE(s.leadIII, float(double(II) - double(I)));
        QCOMPARE(s.leadNegAvr, (II + I) * 0.5f);
        QCOMPARE(s.leadAvl, float(double(I) - double(II) / 2.0));
        QCOMPARE(s.leadAvf, float(double(II) - double(I) / 2.0));
        // Sample records leave the device value and the status field alone.
        QCOMPARE(s.status, int(0xA5A5A5A5));
    }
}

void TestDatCodec::framedEscapesAtEveryPosition()
{
    // Every low byte of the 63 channel words in turn carries each escaped
    // value; the status word's high byte carries 0xC0 and 0xDB (gain 0 and 1),
    // and a toggle-flagged lead-II word's high byte 0x2B.
    const std::uint8_t specials[] = {0xC0, 0xDB, 0x2B};
    for (std::uint8_t special : specials) {
        for (int pos = 0; pos < 63; ++pos) {
            std::vector<RawPair> pairs(64, RawPair{0x800, 0x800});
            FramedWriter w;
            w.gain = 3;
            for (int i = 0; i < 64; ++i) {
                RawPair p{0x700 + i, 0x900 + i};
                const int word = i * 2;
                if (word == pos)
                    p.rawII = 0x500 | special;
                if (word + 1 == pos)
                    p.rawI = 0x500 | special;
                pairs[std::size_t(i)] = p;
                w.addSample(p.rawII, p.rawI);
            }
            CDatCodec codec;
            codec.setMode(CDatCodec::kModeFramed);
            const auto recs = decodeAll(codec, w.out);
            QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 0);
            const auto samples = samplesOf(recs);
            QCOMPARE(int(samples.size()), 63);
            ReferenceLeads ref;
            for (int i = 0; i < 63; ++i) {
                float I, II;
                ref.next(pairs[std::size_t(i)], I, II);
                QCOMPARE(samples[std::size_t(i)].leadI, I);
                QCOMPARE(samples[std::size_t(i)].leadII, II);
            }
        }
    }
    // 0xC0 and 0xDB as the high byte of status words; 0x2B as a flagged lead-II word.
    FramedWriter w;
    w.gain = 0;
    w.nextNumber = 0x005;           // status word 0xC005
    for (int i = 0; i < 63; ++i)
        w.addSample(0x800, 0x800);  // closes packets 5 and 6 (gain 0: 0xC0 high byte)
    w.gain = 1;
    w.words.clear();
    w.nextNumber = 0xB00;
    for (int i = 0; i < 32; ++i)
        w.addSample(0x800, 0x800);  // 0xDB high byte, numbers 0xB00..
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeFramed);
    markLog();
    auto recs = decodeAll(codec, w.out);
    // The jump from 6 to 0xB00 is the only error.
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 1);
    QVERIFY(errorLogSinceMark().contains("Stream Error, packet num should be 7, is=2816"));

    QByteArray flagged;
    std::vector<std::uint16_t> words;
    words.push_back(leadIIWord(0xB10, true)); // high byte 0x2B
    for (int i = 1; i < 63; ++i)
        words.push_back(i % 2 ? leadIWord(0x800) : leadIIWord(0x800));
    words.push_back(statusWord(3, 1));
    flagged = frameBytes(wordsToBytes(words));
    QVERIFY(flagged.contains(QByteArray("\xDB\xDE", 2)));
    CDatCodec c2;
    c2.setMode(CDatCodec::kModeFramed);
    recs = decodeAll(c2, flagged);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 0);
    QCOMPARE(int(samplesOf(recs).size()), 31);
    ReferenceLeads ref;
    float I, II;
    ref.next(RawPair{0xB10, 0x800}, I, II);
    QCOMPARE(samplesOf(recs)[0].leadII, II);
}

void TestDatCodec::framedPacketNumbers_data()
{
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("logText");
    QTest::newRow("in sequence") << QList<int>{10, 11, 12, 13} << 0 << QString();
    QTest::newRow("lost packet") << QList<int>{10, 11, 13, 14} << 1 << "Stream Error, packet num should be 12, is=13";
    QTest::newRow("repeated packet") << QList<int>{10, 11, 11, 12} << 1 << "Stream Error, packet num should be 12, is=11";
    QTest::newRow("roll-over") << QList<int>{4094, 4095, 0, 1} << 0 << QString();
    QTest::newRow("bad roll-over") << QList<int>{4094, 4095, 1, 2} << 1 << "Stream Error, bad roll-over";
}

void TestDatCodec::framedPacketNumbers()
{
    QFETCH(QList<int>, numbers);
    QFETCH(int, errors);
    QFETCH(QString, logText);
    FramedWriter w2;
    int k = 0;
    for (int n : numbers) {
        for (int i = 0; i < 63; ++i, ++k)
            w2.words.push_back(k % 2 ? leadIWord(0x800) : leadIIWord(0x800));
        w2.closePacket(n);
    }
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeFramed);
    markLog();
    const auto recs = decodeAll(codec, w2.out);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), errors);
    if (!logText.isEmpty())
        QVERIFY2(errorLogSinceMark().contains(logText), qPrintable(errorLogSinceMark()));
    // Decoding goes on after an error: every lead-I word still gives a sample.
    QCOMPARE(int(samplesOf(recs).size()), (63 * numbers.size()) / 2);
}

void TestDatCodec::framedMalformedPackets_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("logText");

    auto packet = [](int channelWords, int number, int gain, int startKind = 0) {
        std::vector<std::uint16_t> w;
        for (int i = 0; i < channelWords; ++i)
            w.push_back((i + startKind) % 2 ? leadIWord(0x800) : leadIIWord(0x800));
        w.push_back(statusWord(gain, number));
        return frameBytes(wordsToBytes(w));
    };
    QTest::newRow("62 words") << (packet(63, 1, 3) + packet(62, 2, 0, 1) + packet(63, 3, 3, 1)) << 1
                              << "Stream Error, number of words should be 63, is 62";
    {
        // two lead-II words in a row: a channel error and an odd/even count
        std::vector<std::uint16_t> w;
        w.push_back(leadIIWord(0x800));
        w.push_back(leadIIWord(0x800));
        for (int i = 0; i < 61; ++i)
            w.push_back(i % 2 ? leadIIWord(0x800) : leadIWord(0x800));
        w.push_back(statusWord(3, 2));
        QTest::newRow("channel error") << (packet(63, 1, 3) + frameBytes(wordsToBytes(w))) << 1
                                       << "Stream channel Error, packet=1";
    }
    {
        std::vector<std::uint16_t> w;
        for (int i = 0; i < 61; ++i)
            w.push_back(i % 2 ? leadIIWord(0x800) : leadIWord(0x800));
        w.push_back(fillWord());
        w.push_back(fillWord());
        w.push_back(statusWord(3, 2));
        // 31 lead-I, 30 lead-II and two fill words: a whole packet
        QTest::newRow("fill words count") << (packet(63, 1, 3) + frameBytes(wordsToBytes(w))) << 0 << QString();
    }
    {
        QByteArray longFrame;
        longFrame.append(char(0xC0));
        for (int i = 0; i < 200; ++i)
            longFrame.append(i % 2 ? char(0x00) : char(0x08));
        longFrame.append(char(0xC0));
        QTest::newRow("over-long frame") << (packet(63, 1, 3) + longFrame + packet(63, 2, 3, 1) + packet(63, 3, 3))
                                         << 1 << "Stream Error, number of words should be 63";
    }
    {
        std::vector<std::uint16_t> w{injectWord(7), injectWord(1), 0xBAAA, statusWord(3, 1)};
        QTest::newRow("unknown inject type") << (packet(63, 1, 3) + frameBytes(wordsToBytes(w)) + packet(63, 2, 3, 1))
                                             << 1 << "Stream error, unknown inject type=7";
    }
}

void TestDatCodec::framedMalformedPackets()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, errors);
    QFETCH(QString, logText);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeFramed);
    markLog();
    const double before = codec.framedFactor();
    const auto recs = decodeAll(codec, stream);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), errors);
    if (!logText.isEmpty())
        QVERIFY2(errorLogSinceMark().contains(logText), qPrintable(errorLogSinceMark()));
    // The bad packet's gain code 0 was not applied.
    QCOMPARE(codec.framedFactor(), before);
}

void TestDatCodec::framedInjectPackets()
{
    FramedWriter w;
    for (int i = 0; i < 63; ++i)
        w.addSample(0x800, 0x800);
    w.injectInfo(0xDEADBEEF, -123456789, 0x7FFFFFFF, 0x1FFF, 0x7FF, 0xABC);
    w.injectInfo(1, 2, -3, 4, 5, 6);
    for (int m = 1; m <= 5; ++m)
        w.injectMark(m);
    for (int i = 0; i < 63; ++i)
        w.addSample(0x800, 0x800);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeFramed);
    const auto recs = decodeAll(codec, w.out);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 0);
    std::vector<EcgStreamSample> events;
    for (const auto& r : recs)
        if (r.type < 0)
            events.push_back(r);
    QCOMPARE(int(events.size()), 6);
    verifyInfo(events[0], EcgDeviceInfo{0xDEADBEEF, -123456789, 0x7FFFFFFF, 0x1FFF, 0x7FF, 0xABC});
    QCOMPARE(events[0].leadII, 0.0f);
    verifyInfo(events[1], EcgDeviceInfo{1, 2, -3, 4, 5, 6});
    QCOMPARE(events[2].type, int(ECG_EVENT_USER_MARK1));
    QCOMPARE(events[3].type, int(ECG_EVENT_USER_MARK2));
    QCOMPARE(events[4].type, int(ECG_EVENT_USER_MARK3));
    QCOMPARE(events[5].type, int(ECG_EVENT_USER_MARK4));
    // Mark 5 gives no record; the samples around the inject packets all arrive.
    QCOMPARE(int(samplesOf(recs).size()), 126);
}

void TestDatCodec::framedInjectAfterResetKeepsNumberUnknown()
{
    // The first packet after a reset is an inject packet: the previous number
    // is unknown and stays so; the next data packet is accepted.
    for (int first : {0, 1, 100}) {
        FramedWriter w;
        w.nextNumber = first;
        w.injectMark(2);
        for (int i = 0; i < 63; ++i)
            w.addSample(0x800, 0x800);
        CDatCodec codec;
        codec.setMode(CDatCodec::kModeFramed);
        const auto recs = decodeAll(codec, w.out);
        QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 0);
        QCOMPARE(countType(recs, ECG_EVENT_USER_MARK2), 1);
    }
}

void TestDatCodec::framedToggleAndBattery()
{
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeFramed);
    FramedWriter w;
    auto packets = [&](int n, bool toggle, bool battery) {
        w.toggle = toggle;
        w.battery = battery;
        w.out.clear();
        for (int i = 0; i < n * 63; ++i)
            w.addChannel(0x800);
        return decodeAll(codec, w.out);
    };
    auto recs = packets(2, true, false);
    QCOMPARE(countType(recs, ECG_EVENT_RECORD_TOGGLE), 0);
    recs = packets(2, true, false);
    QCOMPARE(countType(recs, ECG_EVENT_RECORD_TOGGLE), 1); // the third flagged packet
    recs = packets(6, true, false);
    QCOMPARE(countType(recs, ECG_EVENT_RECORD_TOGGLE), 0);
    recs = packets(2, false, false);
    recs = packets(4, true, false);
    QCOMPARE(countType(recs, ECG_EVENT_RECORD_TOGGLE), 1);

    // Battery: one flagged packet, then 149 more: 150 low-battery records,
    // the query true for the first 20 packets.
    CDatCodec c2;
    c2.setMode(CDatCodec::kModeFramed);
    FramedWriter b;
    b.battery = true;
    for (int i = 0; i < 63; ++i)
        b.addChannel(0x800);
    b.battery = false;
    auto r0 = decodeAll(c2, b.out);
    QCOMPARE(countType(r0, ECG_EVENT_BATTERY_LOW), 1);
    QVERIFY(c2.isBatteryLow());
    int low = 1;
    int queryTrue = 1;
    for (int p = 1; p < 170; ++p) {
        b.out.clear();
        for (int i = 0; i < 63; ++i)
            b.addChannel(0x800);
        const auto r = decodeAll(c2, b.out);
        low += countType(r, ECG_EVENT_BATTERY_LOW);
        queryTrue += c2.isBatteryLow() ? 1 : 0;
    }
    QCOMPARE(low, 150);
    QCOMPARE(queryTrue, 20);
}

void TestDatCodec::framedGainCodes_data()
{
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<double>("factor");
    QTest::newRow("0") << 0 << 0 << 0.91;
    QTest::newRow("1") << 1 << 0 << 0.6783;
    QTest::newRow("1 device type 1") << 1 << 1 << 0.595;
    QTest::newRow("2") << 2 << 0 << 0.435;
    QTest::newRow("3") << 3 << 0 << 0.595;
}

void TestDatCodec::framedGainCodes()
{
    QFETCH(int, gain);
    QFETCH(int, deviceType);
    QFETCH(double, factor);
    CDatCodec codec;
    codec.setDeviceType(deviceType);
    codec.setMode(CDatCodec::kModeFramed);
    FramedWriter w;
    w.gain = gain;
    for (int i = 0; i < 32; ++i)
        w.addSample(0x900, 0x900);
    const auto recs = decodeAll(codec, w.out);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), 0);
    QCOMPARE(codec.framedFactor(), factor);
    // The next words use it.
    w.out.clear();
    for (int i = 0; i < 31; ++i)
        w.addSample(0x900, 0x900);
    const auto more = samplesOf(decodeAll(codec, w.out));
    QVERIFY(!more.empty());
}

void TestDatCodec::peakFlagsFollowBeats_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<double>("bpm");
    QTest::newRow("first protocol, dog") << 0 << 120.0;
    QTest::newRow("first protocol, cat") << 0 << 200.0;
    QTest::newRow("second protocol, dog") << 1 << 120.0;
}

void TestDatCodec::peakFlagsFollowBeats()
{
    QFETCH(int, protocol);
    QFETCH(double, bpm);
    SynthEcgParams p;
    p.heartRate = bpm;
    p.amplitude = 288; // 1.5 mV
    p.noise = 2.0;
    CSynthEcg gen(p);
    const QByteArray stream = deviceStream(gen, protocol, 20 * 500);
    CDatCodec codec;
    codec.setMode(protocol);
    const auto samples = samplesOf(decodeAll(codec, stream));
    std::vector<int> flags;
    for (int i = 0; i < int(samples.size()); ++i)
        if (samples[std::size_t(i)].type == ECG_SAMPLE_RPEAK)
            flags.push_back(i);
    QVERIFY(!flags.empty());
    QVERIFY(flags.front() >= 120);
    for (std::size_t i = 1; i < flags.size(); ++i)
        QVERIFY(flags[i] - flags[i - 1] >= 120);
    // Each flag lies on the rising QRS of a generator beat, and after the
    // filters settle every beat is flagged.
    const auto beats = gen.pastBeats();
    int matched = 0;
    for (int f : flags) {
        bool near = false;
        for (const auto& b : beats)
            near = near || std::abs(int(b.sample) - f) <= 15;
        QVERIFY2(near, qPrintable(QString("flag at %1").arg(f)));
        matched += near ? 1 : 0;
    }
    for (const auto& b : beats) {
        if (b.sample < 3000 || b.sample > int(samples.size()) - 20)
            continue;
        bool flagged = false;
        for (int f : flags)
            flagged = flagged || std::abs(int(b.sample) - f) <= 15;
        QVERIFY2(flagged, qPrintable(QString("beat at %1 not flagged").arg(b.sample)));
    }
    Q_UNUSED(matched);
}

// ---------------------------------------------------------------------------

void TestDatCodec::iapSamplesMatchReference()
{
    const auto pairs = synthPairs(62 * 5, 120, 288, 3);
    IapWriter w;
    for (const auto& p : pairs)
        w.addSample(p.rawII, p.rawI);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeIap);
    const auto recs = decodeAll(codec, w.out);
    QCOMPARE(int(recs.size()), 62 * 5);
    ReferenceLeads ref;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        float I, II;
        ref.next(pairs[i], I, II);
        QVERIFY(recs[i].type >= 0);
        QCOMPARE(recs[i].leadI, I);
        QCOMPARE(recs[i].leadII, II);
        QCOMPARE(recs[i].leadIII, float(double(II) - double(I)));
    }
}

void TestDatCodec::iapDeviceInfo()
{
    IapWriter w;
    w.deviceInfo(0x12345678, -0x7FFFFFFF, 0x1234567, 0x1ABC, 0x5A5, 0xEE);
    w.deviceInfo(0xFFFFFFFF, 5, -6, 0, 0, 0);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeIap);
    const auto recs = decodeAll(codec, w.out);
    QCOMPARE(int(recs.size()), 2);
    verifyInfo(recs[0], EcgDeviceInfo{0x12345678, -0x7FFFFFFF, 0x1234567, 0x1ABC, 0x5A5, 0xEE});
    verifyInfo(recs[1], EcgDeviceInfo{0xFFFFFFFF, 5, -6, 0, 0, 0});
}

void TestDatCodec::iapIdentificationStaysInsideRecord()
{
    // Identification text (15), second text (8) and the 16-bit value run on
    // as one byte sequence from the first data triplet: 25 bytes.
    QByteArray bytes = QByteArray("KxEcg-SN0012345") + QByteArray("FW2.10rc") + QByteArray("\xBE\xEF", 2);
    QCOMPARE(bytes.size(), 25);
    IapWriter w;
    w.bytesPacket(3, bytes);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeIap);
    markLog();
    EcgStreamSample rec = sentinelRecord();
    int completed = 0;
    for (char c : w.out)
        completed += codec.decode(static_cast<unsigned char>(c), &rec) ? 1 : 0;
    QCOMPARE(completed, 1);
    QCOMPARE(rec.type, int(ECG_EVENT_DEVICE_ID));
    const char* raw = reinterpret_cast<const char*>(&rec);
    QCOMPARE(QByteArray(raw, 15), QByteArray("KxEcg-SN0012345"));
    QCOMPARE(raw[15], '\0');
    QCOMPARE(QByteArray(raw + 16, 8), QByteArray("FW2.10rc"));
    QCOMPARE(rec.deviceValue, 0xBEEF);
    // Nothing beyond the value's field was touched.
    for (int i = 28; i < 32; ++i)
        QCOMPARE(std::uint8_t(raw[i]), std::uint8_t(0xA5));
    QCOMPARE(rec.status, int(0xA5A5A5A5));
    QVERIFY(errorLogSinceMark().contains("device info record KxEcg-SN0012345 FW2.10rc\n"));
}

void TestDatCodec::iapDeviceData()
{
    QByteArray bytes;
    for (int i = 0; i < 33; ++i)
        bytes.append(char(0x10 + i));
    IapWriter w;
    w.bytesPacket(4, bytes);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeIap);
    const auto recs = decodeAll(codec, w.out);
    QCOMPARE(int(recs.size()), 1);
    QCOMPARE(recs[0].type, int(ECG_EVENT_DEVICE_DATA));
    const char* raw = reinterpret_cast<const char*>(&recs[0]);
    QCOMPARE(QByteArray(raw + 16, 16), bytes.mid(0, 16));
    QCOMPARE(QByteArray(raw, 16), bytes.mid(16, 16));
    QCOMPARE(recs[0].status, int(0xA5A5A5A5));
}

void TestDatCodec::iapStatusByteAndValue()
{
    StatusRecorder cb;
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeIap);
    codec.setStatusInterface(&cb);

    // Type 5: 61 sample pairs and the status value in the last data triplet.
    std::vector<Triplet> t;
    for (int i = 0; i < 61; ++i)
        t.push_back(samplePairTriplet(0x800, 0x800));
    t.push_back(Triplet{0, 0x12, 0x34});
    QByteArray stream = iapPacket(5, 0, t, 0x04 | 0x20);            // sd status 1, locked
    t.back() = samplePairTriplet(0x800, 0x800);
    stream += iapPacket(0, 1, t, 0x08);                               // sd 2, unlocked
    stream += iapPacket(0, 2, t, 0x0C);                               // sd 3 reads as 2
    EcgStreamSample rec = sentinelRecord();
    int samples = 0;
    for (char c : stream)
        if (codec.decode(static_cast<unsigned char>(c), &rec) && rec.type >= 0)
            ++samples;
    QCOMPARE(samples, 61 + 62 + 62);
    QCOMPARE(cb.values, QList<int>{0x1234});
    QCOMPARE(cb.sd, (QList<int>{1, 2}));
    QCOMPARE(cb.lock, (QList<int>{1, 0}));

    // Toggle (bit 0) three packets in a row, battery (bit 1) once.
    CDatCodec c2;
    c2.setMode(CDatCodec::kModeIap);
    IapWriter w;
    w.status = 1;
    for (int i = 0; i < 62 * 4; ++i)
        w.addSample(0x800, 0x800);
    w.status = 2;
    for (int i = 0; i < 62; ++i)
        w.addSample(0x800, 0x800);
    w.status = 0;
    for (int i = 0; i < 62 * 25; ++i)
        w.addSample(0x800, 0x800);
    const auto recs = decodeAll(c2, w.out);
    QCOMPARE(countType(recs, ECG_EVENT_RECORD_TOGGLE), 1);
    QCOMPARE(countType(recs, ECG_EVENT_BATTERY_LOW), 26);
    QVERIFY(!c2.isBatteryLow()); // 26 packets after the flag
}

void TestDatCodec::iapErrors_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("logText");
    std::vector<Triplet> t(62, samplePairTriplet(0x800, 0x800));
    QTest::newRow("checksum") << (iapPacket(0, 1, t, 0) + iapPacket(0, 2, t, 0, true) + iapPacket(0, 3, t, 0))
                              << 1 << 186 << "CDatCodec::streamDecoderIap() checksum error";
    QTest::newRow("out of sequence") << (iapPacket(0, 1, t, 0) + iapPacket(0, 5, t, 0) + iapPacket(0, 6, t, 0))
                                     << 1 << 186 << "CDatCodec::streamDecoderIap() out of sequence packet number found";
    QTest::newRow("roll-over") << (iapPacket(0, 65535, t, 0) + iapPacket(0, 0, t, 0)) << 0 << 124 << QString();
    QTest::newRow("unknown type") << (iapPacket(0, 1, t, 0) + iapPacket(2, 2, t, 0) + iapPacket(0, 3, t, 0))
                                  << 1 << 124 << "CDatCodec::streamDecoderIap() unknown packet type found val=2";
}

void TestDatCodec::iapErrors()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, errors);
    QFETCH(int, samples);
    QFETCH(QString, logText);
    CDatCodec codec;
    codec.setMode(CDatCodec::kModeIap);
    markLog();
    const auto recs = decodeAll(codec, stream);
    QCOMPARE(countType(recs, ECG_EVENT_PACKET_ERROR), errors);
    QCOMPARE(int(samplesOf(recs).size()), samples);
    if (!logText.isEmpty())
        QVERIFY2(errorLogSinceMark().contains(logText), qPrintable(errorLogSinceMark()));
}

// ---------------------------------------------------------------------------

void TestDatCodec::truncatedFramesAtEveryByte_data()
{
    QTest::addColumn<int>("protocol");
    QTest::newRow("first protocol") << 0;
    QTest::newRow("second protocol") << 1;
}

void TestDatCodec::truncatedFramesAtEveryByte()
{
    QFETCH(int, protocol);
    // Five packets; the third is cut after k of its bytes (its closing 0xC0
    // lost with the rest). Every cut gives a packet error and decoding
    // recovers: the last two packets decode whole.
    const auto pairs = synthPairs(400);
    QList<QByteArray> packets;
    int perPacket = 0;
    if (protocol == 0) {
        FramedWriter w;
        int i = 0;
        while (packets.size() < 5) {
            w.addSample(pairs[std::size_t(i)].rawII, pairs[std::size_t(i)].rawI);
            ++i;
            if (!w.out.isEmpty()) {
                packets << w.out;
                w.out.clear();
            }
        }
    } else {
        IapWriter w;
        for (int i = 0; packets.size() < 5; ++i) {
            w.addSample(pairs[std::size_t(i)].rawII, pairs[std::size_t(i)].rawI);
            if (!w.out.isEmpty()) {
                packets << w.out;
                w.out.clear();
            }
        }
        perPacket = 62;
    }
    const QByteArray cutPacket = packets[2];
    for (int k = 1; k < cutPacket.size() - 1; ++k) {
        const QByteArray stream = packets[0] + packets[1] + cutPacket.left(k) + packets[3] + packets[4];
        CDatCodec codec;
        codec.setMode(protocol);
        const auto recs = decodeAll(codec, stream);
        QVERIFY2(countType(recs, ECG_EVENT_PACKET_ERROR) >= 1, qPrintable(QString("cut at %1").arg(k)));
        // Records after the last error: the samples of the last packet at least.
        int after = 0;
        for (auto it = recs.rbegin(); it != recs.rend() && it->type != ECG_EVENT_PACKET_ERROR; ++it)
            ++after;
        if (protocol == 1)
            QVERIFY2(after >= 2 * perPacket, qPrintable(QString("cut at %1: %2").arg(k).arg(after)));
        else
            QVERIFY2(after >= 31, qPrintable(QString("cut at %1: %2").arg(k).arg(after)));
    }
}

void TestDatCodec::garbageNeverCrashes()
{
    // Random bytes, random bytes rich in framing values, and real packets
    // with random bytes flipped: every mode, no crash, no over-read (the
    // sanitizer build watches), and every record is a known type.
    std::mt19937 rng(7);
    const auto pairs = synthPairs(2000);
    FramedWriter fw;
    IapWriter iw;
    for (const auto& p : pairs) {
        fw.addSample(p.rawII, p.rawI);
        iw.addSample(p.rawII, p.rawI);
    }
    iw.deviceInfo(1, 2, 3, 4, 5, 6);
    iw.bytesPacket(3, QByteArray(40, 'x'));
    iw.bytesPacket(4, QByteArray(40, 'y'));
    fw.injectInfo(1, 2, 3, 4, 5, 6);
    fw.injectMark(1);
    const std::uint8_t framing[] = {0xC0, 0xDB, 0xDC, 0xDD, 0xDE, 0x2B};
    for (int round = 0; round < 40; ++round) {
        QByteArray s = (round % 2) ? fw.out : iw.out;
        for (int i = 0; i < s.size(); ++i) {
            const unsigned r = rng() % 100;
            if (round % 4 >= 2 && r < 3)
                s[i] = char(rng());
            else if (round % 4 >= 2 && r < 5)
                s[i] = char(framing[rng() % 6]);
        }
        if (round >= 36)
            for (auto& c : s)
                c = char(rng() % 3 == 0 ? framing[rng() % 6] : rng());
        for (int mode = -1; mode <= 1; ++mode) {
            CDatCodec codec;
            if (mode >= 0)
                codec.setMode(mode);
            const auto recs = decodeAll(codec, s);
            for (const auto& r : recs) {
                const bool known = r.type == 0 || r.type == 1 || r.type == -1 || r.type == -3 || r.type == -4 ||
                                   r.type == -101 || (r.type <= -102 && r.type >= -105) || r.type == -112 ||
                                   r.type == -113;
                QVERIFY2(known, qPrintable(QString::number(r.type)));
            }
        }
    }
}

// ---------------------------------------------------------------------------

void TestDatCodec::reEncoderRoundTrip()
{
    // A decoder with an encoded-output interface re-writes what it decodes in
    // the first protocol; decoding that again gives the same samples and events.
    SynthEcgParams p;
    p.amplitude = 300;
    CSynthEcg gen(p);
    IapWriter iw;
    for (int i = 0; i < 62 * 40; ++i) {
        const SynthEcgSample s = gen.next();
        iw.status = (i / 62 >= 10 && i / 62 < 13) ? 1 : 0; // three toggle packets
        iw.addSample(quantiseII(s.leadII), quantiseI(s.leadI));
        if (i == 62 * 20 - 1)
            iw.deviceInfo(0xCAFEF00D, -77, 88, 99, 100, 101);
    }
    StatusRecorder out;
    CDatCodec first;
    first.setMode(CDatCodec::kModeIap);
    first.setEncodedOutput(&out);
    const auto a = decodeAll(first, iw.out);
    QVERIFY(!out.encoded.isEmpty());
    CDatCodec second;
    second.setMode(CDatCodec::kModeFramed);
    const auto b = decodeAll(second, out.encoded);
    const auto sa = samplesOf(a);
    const auto sb = samplesOf(b);
    // The re-encoder holds back at most a packet's worth of words.
    QVERIFY(sb.size() + 32 >= sa.size());
    for (std::size_t i = 0; i < sb.size(); ++i) {
        QCOMPARE(sb[i].leadI, sa[i].leadI);
        QCOMPARE(sb[i].leadII, sa[i].leadII);
    }
    QCOMPARE(countType(a, ECG_EVENT_RECORD_TOGGLE), 1);
    QCOMPARE(countType(b, ECG_EVENT_RECORD_TOGGLE), 1);
    QCOMPARE(countType(b, ECG_EVENT_DEVICE_INFO), 1);
    QCOMPARE(countType(b, ECG_EVENT_PACKET_ERROR), 0);
    for (const auto& r : b)
        if (r.type == ECG_EVENT_DEVICE_INFO) {
            const EcgDeviceInfo info = deviceInfoFromSample(r);
            QCOMPARE(info.a, 0xCAFEF00Du);
            QCOMPARE(info.b, -77);
            QCOMPARE(info.f, 101u);
        }
}

void TestDatCodec::commandFrame_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("short command") << 1 << QByteArray("ignored")
                                   << QByteArray::fromHex("c0c0" "0100" "0001" "c0c0");
    QByteArray body33 = QByteArray::fromHex("0a") + QByteArray(32, '\0');
    QTest::newRow("no payload, long body") << 10 << QByteArray() << (QByteArray::fromHex("c0c0") + body33 + QByteArray::fromHex("000a" "c0c0"));
    // Payload bytes and the sum are escaped; the padding is not.
    QByteArray name("A+\xC0", 3);
    QByteArray expected = QByteArray::fromHex("c0c0" "03" "41" "dbde" "dbdc") + QByteArray(29, '\0');
    const int sum = 3 + 0x41 + 0x2B + 0xC0; // 0x12F
    QCOMPARE(sum, 0x12F);
    expected += QByteArray::fromHex("012f" "c0c0");
    QTest::newRow("escaped payload") << 3 << name << expected;
    QByteArray longName(40, 'z');
    QByteArray exp4 = QByteArray::fromHex("c0c0" "0d") + QByteArray(32, 'z');
    const int sum4 = 13 + 32 * 'z';
    exp4 += QByteArray(1, char(sum4 >> 8)) + QByteArray(1, char(sum4 & 0xFF)) + QByteArray::fromHex("c0c0");
    QTest::newRow("payload cut to the body") << 13 << longName << exp4;
}

void TestDatCodec::commandFrame()
{
    QFETCH(int, cmd);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, expected);
    QCOMPARE(CDatCodec::buildCommandFrame(cmd, payload).toHex(), expected.toHex());
}

QTEST_GUILESS_MAIN(TestDatCodec)
#include "tst_datcodec.moc"
