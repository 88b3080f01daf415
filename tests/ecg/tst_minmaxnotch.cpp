#include <QtTest>

#include "minmaxnotch.h"

#include <vector>

class TestMinMaxNotch : public QObject
{
    Q_OBJECT
private slots:
    void notchOffNeverArms();
    void risingRunIsNotConfirmed();
    void confirmedPeakStaysUntilNextConfirmation();
    void splitPeak_data();
    void splitPeak();
    void minimumSideMirrors();
};

namespace {
struct Reading {
    int index, notchIndex;
    double value, notchValue;
    bool isReal, hasNotch;
};

Reading readMax(const CMinMaxNotch& m)
{
    Reading r{};
    r.hasNotch = m.getMax(r.index, r.value, r.notchIndex, r.notchValue, r.isReal);
    return r;
}

Reading readMin(const CMinMaxNotch& m)
{
    Reading r{};
    r.hasNotch = m.getMin(r.index, r.value, r.notchIndex, r.notchValue, r.isReal);
    return r;
}

void feed(CMinMaxNotch& m, const std::vector<double>& v)
{
    for (std::size_t i = 0; i < v.size(); ++i)
        m.addSample(int(i), v[i]);
}
}

void TestMinMaxNotch::notchOffNeverArms()
{
    CMinMaxNotch m;
    m.reset(0, 0, 30.0, 38.5, 10);
    feed(m, {0, 50, 100, 60, 95, 40, 0, -100, -60, -95, -20});
    const Reading mx = readMax(m);
    const Reading mn = readMin(m);
    QCOMPARE(mx.notchIndex, -1);
    QCOMPARE(mn.notchIndex, -1);
    QVERIFY(!mx.hasNotch);
    QVERIFY(!mn.hasNotch);
    QCOMPARE(mx.value, 100.0);
    QCOMPARE(mn.value, -100.0);
}

void TestMinMaxNotch::risingRunIsNotConfirmed()
{
    CMinMaxNotch m;
    m.reset(0, 1, 30.0, 38.5, 10);
    for (int i = 0; i < 20; ++i)
        m.addSample(100 + i, i * 10.0);
    const Reading r = readMax(m);
    QVERIFY(!r.isReal);
    QCOMPARE(r.index, 119);
    QCOMPARE(r.value, 190.0);
}

void TestMinMaxNotch::confirmedPeakStaysUntilNextConfirmation()
{
    CMinMaxNotch m;
    m.reset(0, 0, 30.0, 38.5, 10);
    // 100 falls to 70: confirmed. Then a higher 150 replaces the current
    // maximum, but while it has not fallen 20 below itself 100 stays.
    feed(m, {0, 100, 70, 150, 140});
    Reading r = readMax(m);
    QVERIFY(r.isReal);
    QCOMPARE(r.index, 1);
    QCOMPARE(r.value, 100.0);
    m.addSample(5, 120.0);
    r = readMax(m);
    QCOMPARE(r.index, 3);
    QCOMPARE(r.value, 150.0);
}

void TestMinMaxNotch::splitPeak_data()
{
    QTest::addColumn<int>("secondAt");
    QTest::addColumn<double>("second");
    QTest::addColumn<bool>("hasNotch");
    QTest::addColumn<int>("notchIndex");
    QTest::newRow("95 within 10") << 10 << 95.0 << true << 10;
    QTest::newRow("95 at 11") << 11 << 95.0 << false << 11;
    QTest::newRow("90 too shallow") << 10 << 90.0 << false << -1;
}

// 0 rises to 100 at index 0..., falls to 60, rises to a second peak, falls below 75.
void TestMinMaxNotch::splitPeak()
{
    QFETCH(int, secondAt);
    QFETCH(double, second);
    QFETCH(bool, hasNotch);
    QFETCH(int, notchIndex);
    std::vector<double> v = {0, 50, 100};
    const int firstAt = 2;
    // Down to 60 and up again so that the second peak lands at firstAt + secondAt.
    const int down = (secondAt - 1) / 2;
    const int up = secondAt - down;
    for (int k = 1; k <= down; ++k)
        v.push_back(100.0 - 40.0 * k / down);
    for (int k = 1; k <= up; ++k)
        v.push_back(60.0 + (second - 60.0) * k / up);
    v.push_back(70.0);
    v.push_back(40.0);
    CMinMaxNotch m;
    m.reset(0, 1, 30.0, 38.5, 10);
    feed(m, v);
    const Reading r = readMax(m);
    QVERIFY(r.isReal);
    QCOMPARE(r.index, firstAt);
    QCOMPARE(r.value, 100.0);
    QCOMPARE(r.hasNotch, hasNotch);
    QCOMPARE(r.notchIndex, notchIndex == -1 ? -1 : firstAt + notchIndex);
}

void TestMinMaxNotch::minimumSideMirrors()
{
    CMinMaxNotch m;
    m.reset(0, 1, 30.0, 38.5, 10);
    feed(m, {0, -50, -100, -80, -60, -80, -95, -70, -40});
    const Reading r = readMin(m);
    QVERIFY(r.isReal);
    QCOMPARE(r.index, 2);
    QCOMPARE(r.value, -100.0);
    QVERIFY(r.hasNotch);
    QCOMPARE(r.notchIndex, 6);
    QCOMPARE(r.notchValue, -95.0);
}

QTEST_APPLESS_MAIN(TestMinMaxNotch)
#include "tst_minmaxnotch.moc"
