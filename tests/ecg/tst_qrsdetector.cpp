#include <QtTest>

#include "qrsdetector.h"
#include "synthecg.h"

#include <cmath>
#include <cstdint>
#include <vector>

class TestQrsDetector : public QObject
{
    Q_OBJECT
private slots:
    void medianOfEight();
    void silentWhileLearning();
    void detectsEveryBeatAfterLearning();
    void searchBackLimitFollowsRrMedian();
    void relearnsAfterEightSilentSeconds();
    void traceFile();
};

namespace {
// Detector input of a lead value in sample units.
int detectorInput(double lead)
{
    return int(lead * 5.2 + 0.5);
}
}

void TestQrsDetector::medianOfEight()
{
    const int v[8] = {8, 3, 5, 1, 7, 2, 6, 4};
    QCOMPARE(QrsDetector::median(v, 8), 5);
    const int three[3] = {9, 1, 4};
    QCOMPARE(QrsDetector::median(three, 3), 4);
}

void TestQrsDetector::silentWhileLearning()
{
    SynthEcgParams p;
    p.heartRate = 150.0;
    p.amplitude = 300.0;
    CSynthEcg gen(p);
    QrsDetector d;
    bool sb = false;
    for (int n = 0; n < 4000; ++n) {
        QVERIFY(d.step(detectorInput(gen.next().leadII), sb) <= 0);
        QVERIFY(!sb);
    }
    QVERIFY(!d.isLearning());
}

// Every R peak after learning is reported once, 170 to 280 samples late.
void TestQrsDetector::detectsEveryBeatAfterLearning()
{
    SynthEcgParams p;
    p.heartRate = 100.0;
    p.amplitude = 250.0;
    p.noise = 2.0;
    CSynthEcg gen(p);
    QrsDetector d;
    std::vector<std::int64_t> reported;
    bool sb = false;
    for (int n = 0; n < 60 * 500; ++n) {
        const int r = d.step(detectorInput(gen.next().leadII), sb);
        if (r > 0)
            reported.push_back(n);
        if (r > 0)
            QCOMPARE(r, 239);
    }
    int expected = 0;
    for (const SynthBeat& b : gen.pastBeats()) {
        if (b.sample < 9 * 500 || b.sample > 59 * 500)
            continue;
        ++expected;
        int hits = 0;
        for (auto at : reported)
            hits += (at - b.sample >= 170 && at - b.sample <= 280) ? 1 : 0;
        QCOMPARE(hits, 1);
    }
    QVERIFY(expected > 80);
}

void TestQrsDetector::searchBackLimitFollowsRrMedian()
{
    SynthEcgParams p;
    p.heartRate = 60.0; // RR 500 samples
    p.amplitude = 250.0;
    CSynthEcg gen(p);
    QrsDetector d;
    QCOMPARE(d.searchBackCount(), 750);
    bool sb = false;
    for (int n = 0; n < 4000; ++n)
        d.step(detectorInput(gen.next().leadII), sb);
    QCOMPARE(d.searchBackCount(), 825);
    QCOMPARE(d.rrMedian(), 500);
    int detections = 0;
    for (int n = 0; n < 5000; ++n)
        detections += d.step(detectorInput(gen.next().leadII), sb) > 0 ? 1 : 0;
    QVERIFY(detections >= 9);
    QCOMPARE(d.rrMedian(), 500);
    QCOMPARE(d.searchBackCount(), 790);
}

// After beats ten times smaller the detector is silent until eight seconds
// without a QRS have passed, then finds them again.
void TestQrsDetector::relearnsAfterEightSilentSeconds()
{
    SynthEcgParams big;
    big.heartRate = 120.0;
    big.amplitude = 600.0;
    SynthEcgParams small = big;
    small.amplitude = 40.0;
    CSynthEcg genBig(big), genSmall(small);
    QrsDetector d;
    bool sb = false;
    for (int n = 0; n < 20 * 500; ++n)
        d.step(detectorInput(genBig.next().leadII), sb);
    const int bigThreshold = d.detectionThreshold();
    std::vector<int> found;
    for (int n = 0; n < 30 * 500; ++n) {
        if (d.step(detectorInput(genSmall.next().leadII), sb) > 0)
            found.push_back(n);
    }
    // The last large beat is still reported; then nothing before the watch
    // ran out, then the small beats at their rate.
    while (!found.empty() && found.front() < 300)
        found.erase(found.begin());
    QVERIFY(!found.empty());
    QVERIFY2(found.front() > 8 * 500, qPrintable(QString::number(found.front())));
    QVERIFY(found.front() < 12 * 500);
    int late = 0;
    for (int at : found)
        late += at > 15 * 500 ? 1 : 0;
    QVERIFY(late >= 28); // 15 s at 2 beats per second, allowing for the edges
    QVERIFY(d.detectionThreshold() < bigThreshold / 4);
}

void TestQrsDetector::traceFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray path = dir.filePath("trace.csv").toLocal8Bit();
    {
        QrsDetector d;
        d.init(path.constData());
        bool sb = false;
        d.step(10, sb);
        d.step(20, sb);
        d.init(); // closes the trace
    }
    QFile f(QString::fromLocal8Bit(path));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.startsWith("Counter;Channel1;Channel2;Channel3;RateB2B\n\r1;10;"));
    QVERIFY(text.contains("\r\n2;20;"));
    QVERIFY(text.endsWith(";0;0\r\n"));
}

QTEST_APPLESS_MAIN(TestQrsDetector)
#include "tst_qrsdetector.moc"
