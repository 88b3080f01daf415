#include <QtTest>

#include "analysisrun.h"
#include "ecganalysis.h"
#include "synthecg.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

class TestEcgAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void presets_data();
    void presets();
    void felineAfterCanineIsExactlyFeline();
    void firstBeatsAndFirstRecord();
    void statusRecordsFlagTheNextBeat_data();
    void statusRecordsFlagTheNextBeat();
    void eventRecordsAreNotTime();
    void notchedPeakAcrossRingEnd();
    void peakAtRingStart();
    void gapLongerThanRing();
    void compactionCountsFromStreamStart();
    void felineAmplitudeFloorAboveCeiling();
    void templateWeightCapped();
    void storeGrowsKeepingTemplates();
    void prematureAndPause_data();
    void prematureAndPause();
    void badChannel();
    void defaultsOnlyLearn();
};

namespace {
// A hand-made two-lead ECG: Gaussian waves at known samples, in sample units.
struct Signal {
    std::vector<float> leadI, leadII;
    explicit Signal(int n) : leadI(std::size_t(n), 0.0f), leadII(std::size_t(n), 0.0f) {}

    static void wave(std::vector<float>& lead, double at, double amp, double sigma)
    {
        const int from = std::max(0, int(at - 6 * sigma));
        const int to = std::min(int(lead.size()) - 1, int(at + 6 * sigma) + 1);
        for (int k = from; k <= to; ++k) {
            const double d = (k - at) / sigma;
            lead[std::size_t(k)] += float(amp * std::exp(-0.5 * d * d));
        }
    }
    // Q, R, S and T; lead I is 0.6 of lead II.
    void beat(double at, double amp)
    {
        for (auto* lead : {&leadII, &leadI}) {
            const double a = lead == &leadII ? amp : 0.6 * amp;
            wave(*lead, at - 12, -0.1 * a, 3);
            wave(*lead, at, a, 4);
            wave(*lead, at + 12, -0.2 * a, 4);
            wave(*lead, at + 110, 0.25 * a, 20);
        }
    }
    // An R wave split in two: a first peak and a slightly higher second one.
    void splitBeat(double at, double amp, double gap)
    {
        for (auto* lead : {&leadII, &leadI}) {
            const double a = lead == &leadII ? amp : 0.6 * amp;
            wave(*lead, at, 0.97 * a, 3);
            wave(*lead, at + gap, a, 3);
            wave(*lead, at + 110, 0.25 * a, 20);
        }
    }
    int size() const { return int(leadII.size()); }
};

EcgStreamSample sampleOf(float leadI, float leadII, int type = ECG_SAMPLE)
{
    EcgStreamSample s{};
    s.leadI = leadI;
    s.leadII = leadII;
    deriveLeads(s);
    s.type = type;
    return s;
}

EcgAnalysisParams preset(int species)
{
    return speciesParams(species);
}

std::unique_ptr<CEcgAnalysis> startedAnalysis(const EcgAnalysisParams& p)
{
    auto a = std::make_unique<CEcgAnalysis>();
    a->initStream(&p);
    a->setMode(6);
    return a;
}

// Feeds a whole signal; returns the result of every call.
std::vector<int> feed(CEcgAnalysis& a, const EcgAnalysisParams& p, const Signal& s, int channel = 1,
                      int from = 0, int to = -1)
{
    std::vector<int> results;
    if (to < 0)
        to = s.size();
    for (int n = from; n < to; ++n) {
        const EcgStreamSample e = sampleOf(s.leadI[std::size_t(n)], s.leadII[std::size_t(n)]);
        results.push_back(a.analyzeEcg(&e, &p, channel));
    }
    return results;
}

std::vector<std::int64_t> recordPositions(const CEcgAnalysis& a)
{
    std::vector<std::int64_t> v;
    for (int i = 0; i < a.beatCount(); ++i)
        v.push_back(a.beat(i)->position);
    return v;
}

// Index of the sample with the largest lead II value within +-radius of at.
int localPeak(const Signal& s, int at, int radius)
{
    int best = at;
    for (int k = std::max(0, at - radius); k <= std::min(s.size() - 1, at + radius); ++k)
        if (s.leadII[std::size_t(k)] > s.leadII[std::size_t(best)])
            best = k;
    return best;
}
}

void TestEcgAnalysis::presets_data()
{
    QTest::addColumn<int>("species");
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("value");
    // Base values, canine and feline changes, and an unknown species.
    QTest::newRow("base shortest RR") << 0 << 3 << 170;
    QTest::newRow("base notch depth") << 0 << 8 << 100;
    QTest::newRow("base template floor") << 0 << 20 << 1000;
    QTest::newRow("base ceiling") << 0 << 112 << 3000;
    QTest::newRow("base word 24") << 0 << 24 << -1;
    QTest::newRow("base word 127") << 0 << 127 << 1;
    QTest::newRow("base word 129") << 0 << 129 << 10;
    QTest::newRow("canine 91") << 1 << 91 << 240;
    QTest::newRow("canine 95") << 1 << 95 << 50;
    QTest::newRow("canine 101") << 1 << 101 << 60;
    QTest::newRow("canine keeps base 14") << 1 << 14 << 180;
    QTest::newRow("feline 7") << 2 << 7 << 3;
    QTest::newRow("feline 8") << 2 << 8 << 0;
    QTest::newRow("feline 14") << 2 << 14 << 90;
    QTest::newRow("feline 111") << 2 << 111 << 150;
    QTest::newRow("feline 112") << 2 << 112 << 900;
    QTest::newRow("feline 117") << 2 << 117 << -5;
    QTest::newRow("feline 123") << 2 << 123 << 160;
    QTest::newRow("other species is base") << 3 << 91 << 375;
}

void TestEcgAnalysis::presets()
{
    QFETCH(int, species);
    QFETCH(int, word);
    QFETCH(int, value);
    EcgAnalysisParams p = preset(species);
    QCOMPARE(int(p[word]), value);
    // The record reaches word 129, which every preset writes.
    QVERIFY(EcgAnalysisParams::kWords >= 130);
    QCOMPARE(int(p.byteAt(0, 0)), 0);
    QCOMPARE(int(p.byteAt(128, 0)), 0);
    QCOMPARE(int(p.byteAt(23, 0)), 1);
    QCOMPARE(int(p.byteAt(23, 1)), species == 2 ? 1 : 0);
    QCOMPARE(int(p.byteAt(23, 3)), 0);
}

void TestEcgAnalysis::felineAfterCanineIsExactlyFeline()
{
    EcgAnalysisParams fresh = preset(2);
    EcgAnalysisParams reused;
    reused.clear();
    fillSpeciesAnalysisParams(reused, 1);
    fillSpeciesAnalysisParams(reused, 2);
    QVERIFY(std::memcmp(fresh.w, reused.w, sizeof(fresh.w)) == 0);
    EcgAnalysisParams defaults;
    fillDefaultAnalysisParams(defaults);
    QVERIFY(defaults.learningFlag());
    QCOMPARE(int(defaults[3]), 196);
    QCOMPARE(int(defaults[112]), 1000);
}

// The first record comes with the third accepted beat, for the second one,
// and always starts template 1; beats in the first 1000 samples are reported
// but not examined.
void TestEcgAnalysis::firstBeatsAndFirstRecord()
{
    const EcgAnalysisParams p = preset(1);
    Signal s(30 * 500);
    std::vector<int> peaks;
    for (int at = 300; at < s.size() - 300; at += 250) {
        s.beat(at, 300);
        peaks.push_back(at);
    }
    auto a = startedAnalysis(p);
    int reportedEarly = 0;
    for (int n = 0; n < s.size(); ++n) {
        const EcgStreamSample e = sampleOf(s.leadI[std::size_t(n)], s.leadII[std::size_t(n)]);
        const int r = a->analyzeEcg(&e, &p, 1);
        if (r > 0 && n - r <= 1000)
            ++reportedEarly;
        if (a->beatCount() == 1 && a->templates().count() != 2)
            QFAIL("the first record must start template 1");
    }
    QVERIFY(a->beatCount() > 30);
    // Regular beats: every record sits on a beat, after the learning time.
    const std::set<std::int64_t> known(peaks.begin(), peaks.end());
    for (int i = 0; i < a->beatCount(); ++i) {
        QVERIFY2(known.count(a->beat(i)->position), qPrintable(QString::number(a->beat(i)->position)));
        QCOMPARE(a->beat(i)->rrBefore, 250);
        QCOMPARE(a->beat(i)->classCode, 13);
        QCOMPARE(int(a->beat(i)->polarity), 1);
    }
    QCOMPARE(a->beat(1)->rrAfter, 250);
    QCOMPARE(a->getHeartRate(), 120);
    QVERIFY(a->getPolarity());
    QVERIFY(std::abs(a->getAmplitude(1) - 300.0 * 1.05) < 20.0);
    QVERIFY(a->getMatchIndex() < 1.0);
    QVERIFY(a->templates().count() == 2);
}

void TestEcgAnalysis::statusRecordsFlagTheNextBeat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("flag");
    QTest::newRow("battery low") << int(ECG_EVENT_BATTERY_LOW) << 1;
    QTest::newRow("channel error") << int(ECG_EVENT_CHANNEL_ERROR) << 2;
    QTest::newRow("packet error") << int(ECG_EVENT_PACKET_ERROR) << 4;
    QTest::newRow("user mark") << int(ECG_EVENT_USER_MARK1) << 0;
}

void TestEcgAnalysis::statusRecordsFlagTheNextBeat()
{
    QFETCH(int, type);
    QFETCH(int, flag);
    const EcgAnalysisParams p = preset(1);
    Signal s(40 * 500);
    for (int at = 300; at < s.size() - 300; at += 250)
        s.beat(at, 300);
    auto a = startedAnalysis(p);
    const int at = 20 * 500 + 425; // between two beats
    feed(*a, p, s, 1, 0, at);
    const EcgStreamSample ev = sampleOf(0, 0, type);
    QCOMPARE(a->analyzeEcg(&ev, &p, 1), 0);
    feed(*a, p, s, 1, at, s.size());
    int flagged = 0;
    for (int i = 0; i < a->beatCount(); ++i) {
        const auto f = a->beat(i)->flags & 7;
        if (f) {
            ++flagged;
            QCOMPARE(int(f), flag);
            // The beat taken next after the record (about 250 samples late).
            QVERIFY(a->beat(i)->position > at - 400 && a->beat(i)->position < at + 250);
        }
    }
    QCOMPARE(flagged, flag ? 1 : 0);
}

// Event records in the stream are not time: RR intervals and the rate count
// stored samples only, so a low battery does not lower the rate.
void TestEcgAnalysis::eventRecordsAreNotTime()
{
    const EcgAnalysisParams p = preset(1);
    Signal s(40 * 500);
    for (int at = 300; at < s.size() - 300; at += 250)
        s.beat(at, 300);
    auto a = startedAnalysis(p);
    const EcgStreamSample battery = sampleOf(0, 0, ECG_EVENT_BATTERY_LOW);
    for (int n = 0; n < s.size(); ++n) {
        if (n % 32 == 0)
            a->analyzeEcg(&battery, &p, 1);
        const EcgStreamSample e = sampleOf(s.leadI[std::size_t(n)], s.leadII[std::size_t(n)]);
        a->analyzeEcg(&e, &p, 1);
    }
    QVERIFY(a->beatCount() > 60);
    QCOMPARE(a->getHeartRate(), 120);
    for (int i = 0; i < a->beatCount(); ++i) {
        QCOMPARE(a->beat(i)->rrBefore, 250);
        QCOMPARE(int(a->beat(i)->flags & 7), 1);
        QVERIFY(a->beat(i)->position > a->beat(i)->processedPosition);
    }
}

// A split R wave is marked at its first peak, also for the beat whose peak
// search runs across the end of the sample ring.
void TestEcgAnalysis::notchedPeakAcrossRingEnd()
{
    const EcgAnalysisParams p = preset(1); // notch detection on
    Signal s(26 * 500);
    std::vector<int> firstPeaks;
    // One beat's first peak at stored sample 9998, its second at 10006.
    for (int at = 9998 - 250 * 38; at < s.size() - 300; at += 250)
        s.splitBeat(at, 300, 8);
    for (int at = 9998 - 250 * 38; at < s.size() - 300; at += 250)
        firstPeaks.push_back(localPeak(s, at, 2));
    QCOMPARE(localPeak(s, 10002, 6), 10006);
    auto a = startedAnalysis(p);
    feed(*a, p, s);
    const auto marked = recordPositions(*a);
    QVERIFY(marked.size() > 30);
    const std::set<std::int64_t> first(firstPeaks.begin(), firstPeaks.end());
    bool sawRingEnd = false;
    for (auto m : marked) {
        QVERIFY2(first.count(m), qPrintable(QString::number(m)));
        sawRingEnd = sawRingEnd || m == 9998;
    }
    QVERIFY(sawRingEnd);
}

// A peak in the first entries of the ring: the neighbours before it lie at
// the ring's end, and the other leads are measured like any other beat's.
void TestEcgAnalysis::peakAtRingStart()
{
    const EcgAnalysisParams p = preset(1);
    Signal s(26 * 500);
    // One R peak at stored sample 10001, the ring's second entry.
    for (int at = 10001 - 250 * 39; at < s.size() - 300; at += 250)
        s.beat(at, 300);
    auto a = startedAnalysis(p);
    std::vector<double> leadI;
    int beatsBefore = 0;
    bool sawRingStart = false;
    for (int n = 0; n < s.size(); ++n) {
        const EcgStreamSample e = sampleOf(s.leadI[std::size_t(n)], s.leadII[std::size_t(n)]);
        a->analyzeEcg(&e, &p, 1);
        if (a->beatCount() != beatsBefore) {
            beatsBefore = a->beatCount();
            leadI.push_back(a->getAmplitude(0));
            // The beat just taken is the newest; its record comes one beat later.
            sawRingStart = sawRingStart || a->beat(a->beatCount() - 1)->position == 10001 - 250;
        }
    }
    QVERIFY(sawRingStart);
    QVERIFY(leadI.size() > 30);
    for (double v : leadI)
        QVERIFY2(std::abs(v - leadI.front()) < 0.01, qPrintable(QString::number(v)));
    QVERIFY(std::abs(leadI.front() - 0.6 * a->getAmplitude(1)) < 5.0);
}

// Beats resume after 25 seconds of a flat line (electrodes off): the RR over
// the gap is its true length, not wrapped by the sample ring.
void TestEcgAnalysis::gapLongerThanRing()
{
    const EcgAnalysisParams p = preset(1);
    Signal s(70 * 500);
    std::vector<int> peaks;
    for (int at = 300; at < 20 * 500; at += 250)
        peaks.push_back(at);
    const int lastBefore = peaks.back();
    const int firstAfter = lastBefore + 25 * 500 + 37;
    for (int at = firstAfter; at < s.size() - 300; at += 250)
        peaks.push_back(at);
    for (int at : peaks)
        s.beat(at, 300);
    auto a = startedAnalysis(p);
    feed(*a, p, s);
    bool sawGap = false;
    for (int i = 0; i < a->beatCount(); ++i) {
        const EcgBeatRecord& b = *a->beat(i);
        QVERIFY(b.rrBefore > 0);
        QVERIFY(b.rrAfter > 0);
        if (b.position == lastBefore) {
            QCOMPARE(b.rrAfter, firstAfter - lastBefore);
        } else if (b.position == firstAfter) {
            QCOMPARE(b.rrBefore, firstAfter - lastBefore);
            // A pause longer than the two intervals before it.
            QVERIFY(b.flags & kBeatSinusArrest);
            sawGap = true;
        } else {
            QCOMPARE(b.rrBefore, 250);
        }
    }
    QVERIFY(sawGap);
}

// Templates with at most two beats are folded into the catch-all after each
// 1000 records of a stream, counted from the stream's start.
void TestEcgAnalysis::compactionCountsFromStreamStart()
{
    const EcgAnalysisParams p = preset(1);
    const int rr = 125;
    auto runStream = [&](CEcgAnalysis& a, int records, int oddBeat) {
        a.initStream(&p);
        const int n = (records + 100) * rr; // the detector learns for 8 s first
        Signal s(n);
        int k = 0;
        for (int at = 300; at < n - 300; at += rr, ++k) {
            if (k == oddBeat) {
                // A wide, inverted complex: a shape of its own.
                Signal::wave(s.leadII, at, -250, 12);
                Signal::wave(s.leadI, at, 200, 12);
            } else {
                s.beat(at, 300);
            }
        }
        for (int i = 0; i < n && a.beatCount() < records; ++i) {
            const EcgStreamSample e = sampleOf(s.leadI[std::size_t(i)], s.leadII[std::size_t(i)]);
            a.analyzeEcg(&e, &p, 1);
        }
        QCOMPARE(a.beatCount(), records);
    };
    auto a = startedAnalysis(p);
    runStream(*a, 1200, 1100); // compacted once at 1000; the odd beat after that
    QVERIFY(a->templates().count() > 2);
    runStream(*a, 1010, 400);
    for (int t = 1; t < a->templates().count(); ++t)
        QVERIFY2(a->templates().header(t)->beatCount > 2, qPrintable(QString::number(t)));
    QVERIFY(a->templates().header(0)->beatCount >= 1);
    // Read-only accessors refuse indexes outside what they hold.
    QVERIFY(!a->templates().header(-1));
    QVERIFY(!a->templates().header(a->templates().count()));
    QVERIFY(!a->templates().data(a->templates().count(), 0));
    QVERIFY(!a->templates().data(0, 6));
    QVERIFY(!a->beat(-1));
    QVERIFY(!a->beat(a->beatCount()));
}

// The feline preset's template amplitude floor (1000) lies above its ceiling
// (900): the floor applies first, then the ceiling.
void TestEcgAnalysis::felineAmplitudeFloorAboveCeiling()
{
    const EcgAnalysisParams p = preset(2);
    auto a = startedAnalysis(p);
    const double ceiling = 900 / 5.2;
    QCOMPARE(a->templates().leadAmplitude(10.0), ceiling);
    QCOMPARE(a->templates().leadAmplitude(500.0), ceiling);
    // A difference of 10 sample units over the whole range is 10 / ceiling.
    std::vector<float> t(750, 0.0f), b(750, 0.0f);
    for (int k = 0; k < 750; ++k) {
        t[std::size_t(k)] = float(50.0 * std::sin(k / 7.0));
        b[std::size_t(k)] = t[std::size_t(k)] + ((k / 3) % 2 ? 10.0f : -10.0f);
    }
    const float* ta[3] = {t.data(), t.data(), t.data()};
    const float* ba[3] = {b.data(), b.data(), b.data()};
    double scaled = 0, unscaled = 0;
    a->templates().compare(ta, ba, scaled, unscaled);
    QVERIFY2(std::abs(unscaled - 1000.0 / ceiling) < 0.3, qPrintable(QString::number(unscaled)));
    const EcgAnalysisParams base = preset(0);
    a->initStream(&base);
    QCOMPARE(a->templates().leadAmplitude(10.0), 1000 / 5.2);
    QCOMPARE(a->templates().leadAmplitude(1000.0), 3000 / 5.2);
}

// The store makes room a hundred templates at a time; each growth keeps
// the templates made so far, the catch-all stays empty, and the room
// beyond the last template is not handed out.
void TestEcgAnalysis::storeGrowsKeepingTemplates()
{
    CBeatTemplates store;
    QVERIFY(store.prepare());
    auto window = std::make_unique<EcgBeatWindow>();
    const int made = 2 * CBeatTemplates::kGrowth + 10;
    for (int t = 1; t <= made; ++t) {
        for (int lead = 0; lead < 3; ++lead) {
            for (int k = 0; k < EcgBeatWindow::kLength; ++k) {
                window->raw[lead][k] = float(t * 1000 + lead * 100 + k % 97);
                window->filtered[lead][k] = -window->raw[lead][k];
            }
        }
        QCOMPARE(store.newDrawer(*window, t), t);
    }
    QCOMPARE(store.count(), made + 1);
    for (int array = 0; array < 6; ++array) {
        for (int k = 0; k < EcgBeatWindow::kLength; ++k)
            QCOMPARE(store.data(0, array)[k], 0.0f);
    }
    for (int t = 1; t <= made; ++t) {
        QCOMPARE(store.header(t)->firstBeat, std::int64_t(t));
        for (int lead = 0; lead < 3; ++lead) {
            const float* raw = store.data(t, lead);
            const float* filtered = store.data(t, lead + 3);
            for (int k = 0; k < EcgBeatWindow::kLength; k += 61) {
                const float expected = float(t * 1000 + lead * 100 + k % 97);
                QCOMPARE(raw[k], expected);
                QCOMPARE(filtered[k], -expected);
            }
        }
    }
    QVERIFY(store.data(made + 1, 0) == nullptr);
    QVERIFY(store.header(made + 1) == nullptr);
    // A new stream starts again from an empty catch-all and reuses the room.
    QVERIFY(store.prepare());
    QCOMPARE(store.count(), 1);
    QCOMPARE(store.data(0, 2)[375], 0.0f);
}

// A template of 30 beats still takes a new beat with a weight of 1/20.
void TestEcgAnalysis::templateWeightCapped()
{
    CBeatTemplates store;
    store.setParams(90, 12, 1.3, 1.0, 1000.0);
    QVERIFY(store.prepare());
    EcgBeatTable beats(40);
    for (auto& b : beats) {
        b.nextInTemplate = -1;
        b.templateLink = -1;
    }
    auto window = std::make_unique<EcgBeatWindow>();
    auto fill = [&](float spike) {
        std::memset(window.get(), 0, sizeof(EcgBeatWindow));
        for (int lead = 0; lead < 3; ++lead) {
            window->raw[lead][375] = spike;
            IirSection lp;
            lp.init();
            for (int k = 0; k < EcgBeatWindow::kLength; ++k)
                window->filtered[lead][k] = float(lp.processLowPass35(window->raw[lead][k]));
        }
    };
    fill(100.0f);
    const int t = store.newDrawer(*window, 0);
    QCOMPARE(t, 1);
    for (int i = 1; i < 30; ++i)
        store.addBeat(t, *window, i, 0, beats);
    QCOMPARE(store.header(t)->beatCount, std::int64_t(30));
    QCOMPARE(store.data(t, 1)[375], 100.0f);
    fill(300.0f);
    store.addBeat(t, *window, 30, 0, beats);
    // Levels are the means over the 91-value comparison range.
    const double lt = 100.0 / 91, lb = 300.0 / 91;
    const double expected = ((100.0 - lt) * 19 + (300.0 - lb)) / 20 + lt;
    QVERIFY(std::abs(store.data(t, 1)[375] - expected) < 1e-3);
    // The filtered arrays stay the 35 Hz low-pass of the recorded ones.
    for (int lead = 0; lead < 3; ++lead) {
        IirSection lp;
        lp.init();
        for (int k = 0; k < EcgBeatWindow::kLength; ++k) {
            const double f = lp.processLowPass35(store.data(t, lead)[k]);
            QVERIFY(std::abs(store.data(t, lead + 3)[k] - f) < 1e-3);
        }
    }
    // The chain runs through every beat in order.
    std::int64_t b = store.header(t)->firstBeat;
    int n = 0;
    for (; b != -1; b = beats[std::size_t(b)].nextInTemplate)
        QCOMPARE(b, std::int64_t(n++));
    QCOMPARE(n, 31);
    QCOMPARE(beats[30].templateLink, std::int64_t(29));
}

void TestEcgAnalysis::prematureAndPause_data()
{
    QTest::addColumn<double>("bpm");
    QTest::addColumn<bool>("premature"); // else a pause
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("expectedFlag");
    // Prematurity needs an RR of at most 166 samples.
    QTest::newRow("premature 0.6 at 120/min") << 120.0 << true << 0.6 << int(kBeatPremature);
    QTest::newRow("premature 0.6 at 160/min") << 160.0 << true << 0.6 << int(kBeatPremature);
    QTest::newRow("premature 0.6 at 60/min, RR 300") << 60.0 << true << 0.6 << 0;
    QTest::newRow("pause 2.5 at 120/min") << 120.0 << false << 2.5 << int(kBeatSinusArrest);
    QTest::newRow("pause 2.5 at 60/min") << 60.0 << false << 2.5 << int(kBeatSinusArrest);
    QTest::newRow("pause 1.6 at 120/min") << 120.0 << false << 1.6 << 0;
}

void TestEcgAnalysis::prematureAndPause()
{
    QFETCH(double, bpm);
    QFETCH(bool, premature);
    QFETCH(double, factor);
    QFETCH(int, expectedFlag);
    SynthEcgParams sp;
    sp.heartRate = bpm;
    sp.amplitude = 290.0;
    sp.noise = 2.0;
    sp.mainsAmplitude = 5.0;
    sp.rrVariation = 0.02;
    sp.seed = 3;
    CSynthEcg gen(sp);
    const EcgAnalysisParams p = preset(1);
    auto a = startedAnalysis(p);
    // Three events, 15 seconds apart, each right after a beat.
    int events = 0;
    for (int n = 0; n < 70 * 500; ++n) {
        const SynthEcgSample s = gen.next();
        const EcgStreamSample e = sampleOf(float(s.leadI), float(s.leadII));
        a->analyzeEcg(&e, &p, 1);
        if (s.rPeak && n > (20 + 15 * events) * 500 && events < 3) {
            if (premature)
                gen.insertPrematureBeat(factor);
            else
                gen.insertPause(factor);
            ++events;
        }
    }
    std::set<std::int64_t> special;
    for (const SynthBeat& b : gen.pastBeats())
        if (b.kind != SynthBeatNormal)
            special.insert(b.sample);
    QCOMPARE(int(special.size()), 3);
    int flagged = 0, wrong = 0;
    const std::uint64_t mask = kBeatPremature | kBeatSinusArrest;
    for (int i = 0; i < a->beatCount(); ++i) {
        const EcgBeatRecord& b = *a->beat(i);
        bool isSpecial = false;
        for (auto at : special)
            isSpecial = isSpecial || std::llabs(b.position - at) <= 3;
        const std::uint64_t f = b.flags & mask;
        if (isSpecial && f == std::uint64_t(expectedFlag) && f)
            ++flagged;
        else if (f)
            ++wrong;
    }
    qInfo("%s: %d of 3 flagged, %d other beats flagged", QTest::currentDataTag(), flagged, wrong);
    QCOMPARE(flagged, expectedFlag ? 3 : 0);
    QCOMPARE(wrong, 0);
}

void TestEcgAnalysis::badChannel()
{
    const EcgAnalysisParams p = preset(1);
    Signal s(40 * 500);
    for (int at = 300; at < s.size() - 300; at += 250)
        s.beat(at, 300);
    auto a = startedAnalysis(p);
    feed(*a, p, s, 1, 0, 6000);
    const int records = a->beatCount();
    const EcgStreamSample e = sampleOf(1.0f, 2.0f);
    QCOMPARE(a->analyzeEcg(&e, &p, 3), 0);
    QCOMPARE(a->analyzeEcg(&e, &p, -1), 0);
    QCOMPARE(a->beatCount(), records);
    // Values no device sends do not upset the analysis for long.
    const float odd[] = {std::nanf(""), 1e30f, -1e30f, INFINITY, 0.0f};
    for (float v : odd) {
        const EcgStreamSample bad = sampleOf(v, v);
        a->analyzeEcg(&bad, &p, 1);
    }
    feed(*a, p, s, 1, 6000, s.size());
    QVERIFY2(a->beatCount() > records + 40, qPrintable(QString::number(a->beatCount() - records)));
    QCOMPARE(a->getHeartRate(), 120);
    QVERIFY(std::isfinite(a->getMatchIndex()) && a->getMatchIndex() < 18.0);
    for (int t = 1; t < a->templates().count(); ++t)
        for (int k = 0; k < 6 * EcgBeatWindow::kLength; ++k)
            QVERIFY(std::isfinite(a->templates().data(t, 0)[k]));
    // Lead III (channel 2) is analysed too.
    auto b = startedAnalysis(p);
    feed(*b, p, s, 2);
    QVERIFY(b->beatCount() > 50);
}

// Without a record the defaults serve, whose learning flag is set: every
// sample passes the learning stage as well, and no beat is examined.
void TestEcgAnalysis::defaultsOnlyLearn()
{
    Signal s(30 * 500);
    for (int at = 300; at < s.size() - 300; at += 250)
        s.beat(at, 300);
    auto a = std::make_unique<CEcgAnalysis>();
    a->initStream(nullptr);
    for (int n = 0; n < s.size(); ++n) {
        const EcgStreamSample e = sampleOf(s.leadI[std::size_t(n)], s.leadII[std::size_t(n)]);
        a->analyzeEcg(&e, nullptr, 1);
        QCOMPARE(a->beatCount(), 0);
    }
    QCOMPARE(a->getHeartRate(), 0);
}

QTEST_APPLESS_MAIN(TestEcgAnalysis)
#include "tst_ecganalysis.moc"
