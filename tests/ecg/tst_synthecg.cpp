#include <QtTest>

#include "synthecg.h"

#include <cmath>
#include <limits>

class TestSynthEcg : public QObject
{
    Q_OBJECT
private slots:
    void beatsAtTheChosenRate_data();
    void beatsAtTheChosenRate();
    void rPeakIsTheMaximum();
    void prematureBeatAndPause();
    void sameSeedSameSignal();
    void unusableSettingsStillGiveASignal_data();
    void unusableSettingsStillGiveASignal();
};

void TestSynthEcg::beatsAtTheChosenRate_data()
{
    QTest::addColumn<double>("bpm");
    QTest::newRow("horse 30") << 30.0;
    QTest::newRow("dog 120") << 120.0;
    QTest::newRow("cat 240") << 240.0;
}

void TestSynthEcg::beatsAtTheChosenRate()
{
    QFETCH(double, bpm);
    SynthEcgParams p;
    p.heartRate = bpm;
    CSynthEcg gen(p);
    int flagged = 0;
    for (int n = 0; n < 60 * 500; ++n)
        flagged += gen.next().rPeak ? 1 : 0;
    const auto beats = gen.pastBeats();
    QCOMPARE(flagged, int(beats.size()));
    // First R peak at 0.5 s, then one every RR.
    const double rr = 30000.0 / bpm;
    QCOMPARE(int(beats.size()), int(std::floor((30000 - 1 - 250) / rr)) + 1);
    for (std::size_t i = 1; i < beats.size(); ++i)
        QVERIFY(std::abs(double(beats[i].sample - beats[i - 1].sample) - 30000.0 / bpm) <= 1.0);
}

void TestSynthEcg::rPeakIsTheMaximum()
{
    SynthEcgParams p;
    p.amplitude = 800.0;
    CSynthEcg gen(p);
    std::vector<SynthEcgSample> s;
    for (int n = 0; n < 5 * 500; ++n)
        s.push_back(gen.next());
    for (const SynthBeat& b : gen.pastBeats()) {
        QVERIFY(std::abs(s[b.sample].leadII - 800.0) < 40.0);
        for (int d = -40; d <= 40; ++d) {
            const auto k = b.sample + d;
            if (d != 0 && k >= 0 && k < std::int64_t(s.size()))
                QVERIFY(s[k].leadII < s[b.sample].leadII);
        }
        QVERIFY(s[b.sample].leadI > 0.4 * 800.0);
    }
}

void TestSynthEcg::prematureBeatAndPause()
{
    SynthEcgParams p;
    p.heartRate = 60.0; // RR 500 samples
    CSynthEcg gen(p);
    // Each change is made right after a beat, so it shapes the next RR.
    auto runToBeat = [&gen](int atLeast) {
        for (int n = 0; n < atLeast; ++n)
            gen.next();
        while (!gen.next().rPeak) {
        }
    };
    runToBeat(1000);
    gen.insertPrematureBeat(0.6);
    runToBeat(10);
    gen.insertPause(2.0);
    for (int n = 0; n < 3000; ++n)
        gen.next();
    const auto beats = gen.pastBeats();
    int premature = -1, pause = -1;
    for (std::size_t i = 0; i < beats.size(); ++i) {
        if (beats[i].kind == SynthBeatPremature)
            premature = int(i);
        if (beats[i].kind == SynthBeatAfterPause)
            pause = int(i);
    }
    QVERIFY(premature > 0 && pause > premature);
    QCOMPARE(beats[premature].sample - beats[premature - 1].sample, std::int64_t(300));
    QCOMPARE(beats[pause].sample - beats[pause - 1].sample, std::int64_t(1000));
    QCOMPARE(beats[pause + 1].sample - beats[pause].sample, std::int64_t(500));
}

void TestSynthEcg::sameSeedSameSignal()
{
    SynthEcgParams p;
    p.noise = 20.0;
    p.mainsAmplitude = 50.0;
    p.baselineWander = 100.0;
    p.rrVariation = 0.05;
    CSynthEcg a(p), b(p);
    for (int n = 0; n < 5000; ++n) {
        const auto x = a.next(), y = b.next();
        QCOMPARE(x.leadI, y.leadI);
        QCOMPARE(x.leadII, y.leadII);
    }
    p.seed = 2;
    CSynthEcg c(p);
    double diff = 0.0;
    CSynthEcg a2(SynthEcgParams{});
    for (int n = 0; n < 100; ++n)
        diff += std::abs(c.next().leadII - a.next().leadII);
    QVERIFY(diff > 0.0);
}

QTEST_APPLESS_MAIN(TestSynthEcg)
#include "tst_synthecg.moc"

void TestSynthEcg::unusableSettingsStillGiveASignal_data()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<double>("bpm");
    QTest::addColumn<double>("rrVariation");
    QTest::addColumn<double>("laterBpm");
    QTest::addColumn<double>("pause");
    QTest::newRow("rate too high to advance") << 1e20 << 0.0 << 80.0 << 0.0;
    QTest::newRow("infinite rate") << inf << 0.0 << 80.0 << 0.0;
    QTest::newRow("rate not a number") << nan << 0.0 << 80.0 << 0.0;
    QTest::newRow("infinite rate later") << 80.0 << 0.0 << inf << 0.0;
    QTest::newRow("variation beyond the RR") << 120.0 << 1.0 << 120.0 << 0.0;
    QTest::newRow("variation not a number") << 120.0 << nan << 120.0 << 0.0;
    QTest::newRow("endless pause") << 80.0 << 0.0 << 80.0 << inf;
    QTest::newRow("pause not a number") << 80.0 << 0.0 << 80.0 << nan;
}

// Whatever a caller passes, the generator keeps producing numbers and its
// beats stay in order; it never hangs or stops beating for good.
void TestSynthEcg::unusableSettingsStillGiveASignal()
{
    QFETCH(double, bpm);
    QFETCH(double, rrVariation);
    QFETCH(double, laterBpm);
    QFETCH(double, pause);
    SynthEcgParams p;
    p.heartRate = bpm;
    p.rrVariation = rrVariation;
    CSynthEcg gen(p);
    auto run = [&gen](int samples) {
        for (int n = 0; n < samples; ++n) {
            const SynthEcgSample s = gen.next();
            if (!std::isfinite(s.leadI) || !std::isfinite(s.leadII))
                return false;
        }
        return true;
    };
    QVERIFY(run(1000));
    gen.setHeartRate(laterBpm);
    if (pause != 0.0)
        gen.insertPause(pause);
    QVERIFY(run(1000));
    const std::int64_t beatsBefore = std::int64_t(gen.pastBeats().size());
    QVERIFY(run(3000));
    const auto beats = gen.pastBeats();
    QVERIFY(std::int64_t(beats.size()) > beatsBefore);
    for (std::size_t i = 1; i < beats.size(); ++i)
        QVERIFY2(beats[i].sample > beats[i - 1].sample, qPrintable(QString::number(i)));
}
