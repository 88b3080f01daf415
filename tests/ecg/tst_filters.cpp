#include <QtTest>

#include "filters.h"

#include <cmath>
#include <functional>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 500.0;

// Steady-state gain of a filter at one frequency: feed a sine for a settling
// time, then compare output and input RMS over whole periods.
double gainAt(double hz, const std::function<double(double)>& filter, double settleSeconds = 20.0)
{
    const int settle = static_cast<int>(settleSeconds * kRate);
    const int measure = static_cast<int>(std::max(2.0, 20.0 / hz) * kRate);
    double in2 = 0.0, out2 = 0.0;
    for (int n = 0; n < settle + measure; ++n) {
        const double x = std::sin(2.0 * kPi * hz * n / kRate);
        const double y = filter(x);
        if (n >= settle) {
            in2 += x * x;
            out2 += y * y;
        }
    }
    return std::sqrt(out2 / in2);
}

double toDb(double g) { return 20.0 * std::log10(std::max(g, 1e-30)); }

EcgFilterChain makeChain(bool lowPass, int notch, bool highPass)
{
    EcgFilterChain c;
    c.init();
    c.lowPass = lowPass;
    c.notch = notch;
    c.highPass = highPass;
    return c;
}
}

class TestFilters : public QObject
{
    Q_OBJECT
private slots:
    void chainResponse_data();
    void chainResponse();
    void notchKeepsAmplitude_data();
    void notchKeepsAmplitude();
    void sectionDesigns();
    void chainInitAndReset();
    void smallFilters();
    void intRing();
};

// Frequency-response table of the chain as the program configures it.
void TestFilters::chainResponse_data()
{
    QTest::addColumn<bool>("lowPass");
    QTest::addColumn<int>("notch");
    QTest::addColumn<bool>("highPass");
    QTest::addColumn<double>("hz");
    QTest::addColumn<double>("minDb");
    QTest::addColumn<double>("maxDb");

    QTest::newRow("notch50 at 50 Hz") << false << 50 << false << 50.0 << -400.0 << -100.0;
    QTest::newRow("notch50 at 100 Hz") << false << 50 << false << 100.0 << -400.0 << -80.0;
    QTest::newRow("notch60 at 60 Hz") << false << 60 << false << 60.0 << -400.0 << -55.0;
    QTest::newRow("lowpass35 at 35 Hz") << true << 0 << false << 35.0 << -12.5 << -11.5; // four -3 dB sections
    QTest::newRow("lowpass35 at 100 Hz") << true << 0 << false << 100.0 << -200.0 << -60.0;
    QTest::newRow("highpass0.8 at corner") << false << 0 << true << 0.8 << -3.3 << -2.7;
    QTest::newRow("highpass0.8 at 0.1 Hz") << false << 0 << true << 0.1 << -60.0 << -30.0;
    for (double hz : {1.0, 2.0, 5.0, 10.0, 15.0, 20.0}) {
        const QByteArray f = QByteArray::number(hz);
        // Pass band within 1 % (±0.086 dB) with the notches; the 0.8 Hz
        // high-pass is close to its corner at 1 Hz, so only from 5 Hz. The
        // 50 Hz notch is wide: at 20 Hz its fixed design takes 1.4 %.
        const double notch50Floor = hz >= 20.0 ? -0.175 : -0.0864;
        QTest::newRow("notch50 passes " + f + " Hz") << false << 50 << false << hz << notch50Floor << 0.0864;
        QTest::newRow("notch60 passes " + f + " Hz") << false << 60 << false << hz << -0.0864 << 0.0864;
        if (hz >= 5.0)
            QTest::newRow("highpass passes " + f + " Hz") << false << 0 << true << hz << -0.0864 << 0.0864;
    }
    QTest::newRow("lowpass35 passes 5 Hz") << true << 0 << false << 5.0 << -0.0864 << 0.0864;
    QTest::newRow("lowpass35 at 10 Hz") << true << 0 << false << 10.0 << -0.175 << 0.0;
}

void TestFilters::chainResponse()
{
    QFETCH(bool, lowPass);
    QFETCH(int, notch);
    QFETCH(bool, highPass);
    QFETCH(double, hz);
    QFETCH(double, minDb);
    QFETCH(double, maxDb);
    EcgFilterChain chain = makeChain(lowPass, notch, highPass);
    const double db = toDb(gainAt(hz, [&](double x) { return chain.process(x); }, hz < 1.0 ? 40.0 : 20.0));
    QVERIFY2(db >= minDb && db <= maxDb, qPrintable(QString("gain %1 dB").arg(db)));
}

// The mains filter must not change an ECG's amplitude: DC and low frequencies
// pass at 1 with either notch, as with no notch.
void TestFilters::notchKeepsAmplitude_data()
{
    QTest::addColumn<int>("notch");
    QTest::newRow("50") << 50;
    QTest::newRow("60") << 60;
}

void TestFilters::notchKeepsAmplitude()
{
    QFETCH(int, notch);
    EcgFilterChain chain = makeChain(false, notch, false);
    double y = 0.0;
    for (int n = 0; n < 5000; ++n)
        y = chain.process(1000.0);
    QVERIFY2(std::abs(y - 1000.0) < 1.0, qPrintable(QString::number(y)));
}

void TestFilters::sectionDesigns()
{
    IirSection lp;
    lp.init();
    IirSection hp;
    hp.init();
    double ylp = 0.0, yhp = 0.0;
    for (int n = 0; n < 20000; ++n) {
        ylp = lp.processLowPass35(3.0);
        yhp = hp.processHighPass005(3.0);
    }
    QVERIFY(std::abs(ylp - 3.0) < 1e-6);
    QVERIFY(std::abs(yhp) < 0.05); // decays towards 0 (time constant ~3 s)

    IirSection lp2;
    lp2.init();
    QVERIFY(std::abs(toDb(gainAt(2.0, [&](double x) { return lp2.processLowPass2(x); })) + 3.0) < 0.3);
    IirSection bp;
    bp.init();
    QVERIFY(std::abs(toDb(gainAt(55.0, [&](double x) { return bp.processBandPass(x); }))) < 0.5);
    bp.init();
    QVERIFY(toDb(gainAt(10.0, [&](double x) { return bp.processBandPass(x); })) < -40.0);
}

void TestFilters::chainInitAndReset()
{
    EcgFilterChain c = makeChain(true, 50, true);
    for (int n = 0; n < 100; ++n)
        c.process(n % 7);
    c.reset();
    QCOMPARE(c.lowPass, (unsigned char)1);
    QCOMPARE(c.notch, 50);
    QCOMPARE(c.process(0.0), 0.0); // state cleared
    c.init();
    QCOMPARE(c.lowPass, (unsigned char)0);
    QCOMPARE(c.highPass, (unsigned char)0);
    QCOMPARE(c.notch, 0);
    QCOMPARE(c.process(5.0), 5.0); // everything off passes the input unchanged
}

void TestFilters::smallFilters()
{
    Differentiator d;
    d.init();
    QCOMPARE(d.process(1), 1.0);
    QCOMPARE(d.process(3), 2.0);
    QCOMPARE(d.process(6), 3.0);

    MovingAverage10 m;
    m.init();
    QCOMPARE(m.process(10.0), 1.0);
    for (int i = 0; i < 9; ++i)
        m.process(10.0);
    QCOMPARE(m.process(10.0), 10.0);

    DelayLine31 dl;
    dl.init();
    for (int i = 1; i <= 31; ++i)
        QCOMPARE(dl.process(i), 0.0);
    QCOMPARE(dl.process(32), 1.0);
    QCOMPARE(dl.process(33), 2.0);
}

void TestFilters::intRing()
{
    IntRing500 r;
    r.init();
    QCOMPARE(r.capacity, 4);
    QCOMPARE(r.mean(), 0);
    QCOMPARE(r.rankValue(), 0);
    QCOMPARE(r.meanAbsDiffPercent(100), 0.0);

    r.setCapacity(5);
    for (int v : {1, 2, 3, 4, 5})
        r.push(v);
    QCOMPARE(r.mean(), 3);
    QCOMPARE(r.rankValue(), 2);

    r.setCapacity(4);
    for (int v : {1, 2, 3, 4})
        r.push(v);
    QCOMPARE(r.rankValue(), 2);
    r.push(9); // keeps the last four: 2 3 4 9
    QCOMPARE(r.count, 4);
    QCOMPARE(r.mean(), 5); // (18 + 2) / 4
    QCOMPARE(r.meanAbsDiffPercent(10), (1 + 1 + 5) / 3.0 * 100.0 / 10.0);
    QCOMPARE(r.meanAbsDiffPercent(0), 0.0); // no division by zero

    r.setCapacity(0);
    QCOMPARE(r.capacity, 500);
    r.setCapacity(600);
    QCOMPARE(r.capacity, 500);
    r.setCapacity(7);
    for (int v : {7, 1, 6, 2, 5, 3, 4})
        r.push(v);
    QCOMPARE(r.rankValue(), 3);
    // Wrapping past the 500 slots keeps the newest values.
    r.setCapacity(500);
    for (int i = 0; i < 1234; ++i)
        r.push(i);
    QCOMPARE(r.count, 500);
    QCOMPARE(r.at(0), 1233);
    QCOMPARE(r.at(499), 734);
}

QTEST_APPLESS_MAIN(TestFilters)
#include "tst_filters.moc"
