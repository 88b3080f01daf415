#include "chartitems.h"
#include "chartrecording.h"
#include "ecgchart.h"

#include "../store/storetestenv.h"

#include <QLineSeries>
#include <QtTest>

#include <memory>

using namespace ChartRecording;

namespace {

// The store, the chart and its twelve standalone series.
struct ChartRig {
    StoreEnv env;
    ItemsChartPublisher publisher;
    QObject uiData;
    QObject flickable;
    std::unique_ptr<EcgChart> chart;
    QLineSeries lines[9];
    QLineSeries grid[3];

    ChartRig()
    {
        chart = std::make_unique<EcgChart>(env.settings.get(), env.files.get(), &publisher);
        flickable.setProperty("contentX", 0.0);
        flickable.setProperty("contentWidth", 0.0);
    }
    EcgSeries series()
    {
        EcgSeries s;
        for (int i = 0; i < 9; ++i)
            s.s[std::size_t(i)] = &lines[i];
        return s;
    }
    void layout(int mode, double gain, double speed)
    {
        chart->setDisplayMode(mode);
        chart->setGain(gain);
        chart->setSpeed(speed);
        chart->computeColumnLayout();
    }
    // Records, opens and shows a recording as the bridge does.
    int show(const Layout& l)
    {
        const int id = record(*env.files, l);
        if (id < 0 || env.files->selectFile(id) != id)
            return -1;
        chart->setStreaming(false);
        chart->setLeadInLength(l.leadIn);
        return id;
    }
};

double yOf(float value, double gain, double offset)
{
    return value * gain * 5.2 / 100000.0 + offset;
}

// True when the segment a-b passes through the open unit square.
bool crossesSheet(QPointF a, QPointF b)
{
    for (int i = 0; i <= 200; ++i) {
        const QPointF p = a + (b - a) * (i / 200.0);
        if (p.x() > 1e-9 && p.x() < 1 - 1e-9 && p.y() > 1e-9 && p.y() < 1 - 1e-9)
            return true;
    }
    return false;
}

} // namespace

class TstEcgChart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useBerlinTime(); }

    void gridRasters_data()
    {
        QTest::addColumn<int>("gridIdx");
        QTest::addColumn<QList<int>>("points");      // per series
        QTest::addColumn<QList<int>>("horizontals"); // lines across the sheet per series
        QTest::addColumn<QList<int>>("verticals");
        QTest::newRow("fine") << 0 << QList<int>{481, 61, 62} << QList<int>{80, 10, 9} << QList<int>{160, 20, 19};
        QTest::newRow("medium") << 1 << QList<int>{0, 61, 62} << QList<int>{0, 10, 9} << QList<int>{0, 20, 19};
        QTest::newRow("coarse") << 2 << QList<int>{0, 0, 62} << QList<int>{0, 0, 9} << QList<int>{0, 0, 19};
        QTest::newRow("none") << 3 << QList<int>{0, 0, 0} << QList<int>{0, 0, 0} << QList<int>{0, 0, 0};
    }

    // Each raster is one polyline whose lines sit on whole millimetres and
    // whose joins never cross the sheet.
    void gridRasters()
    {
        QFETCH(int, gridIdx);
        QFETCH(QList<int>, points);
        QFETCH(QList<int>, horizontals);
        QFETCH(QList<int>, verticals);
        ChartRig rig;
        rig.chart->initGrid(0, &rig.grid[0], &rig.grid[1], &rig.grid[2]); // something to clear
        rig.chart->initGrid(gridIdx, &rig.grid[0], &rig.grid[1], &rig.grid[2]);
        const int step[3] = {1, 5, 10};
        for (int s = 0; s < 3; ++s) {
            const QList<QPointF> p = rig.grid[s].points();
            QCOMPARE(p.size(), points[s]);
            int h = 0;
            int v = 0;
            for (int i = 1; i < p.size(); ++i) {
                const QPointF a = p[i - 1];
                const QPointF b = p[i];
                const bool acrossH = a.y() == b.y() && std::abs(a.x() - b.x()) > 1.19;
                const bool acrossV = a.x() == b.x() && std::abs(a.y() - b.y()) > 1.19;
                if (acrossH) {
                    ++h;
                    const double mm = a.y() * 100;
                    QVERIFY2(std::abs(mm - std::round(mm)) < 1e-9 && int(std::round(mm)) % step[s] == 0, qPrintable(QString::number(mm)));
                } else if (acrossV) {
                    ++v;
                    const double mm = a.x() * 200;
                    QVERIFY2(std::abs(mm - std::round(mm)) < 1e-9 && int(std::round(mm)) % step[s] == 0, qPrintable(QString::number(mm)));
                } else if (!(s == 2 && i <= 4)) { // the coarse frame is drawn on purpose
                    QVERIFY2(!crossesSheet(a, b), qPrintable(QStringLiteral("join %1 (%2,%3)-(%4,%5)").arg(i).arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y())));
                }
            }
            QCOMPARE(h, horizontals[s]);
            QCOMPARE(v, verticals[s]);
        }
    }

    void gridFrameFollowsTheBudget()
    {
        ChartRig rig;
        rig.chart->setSize(1280, 600);
        rig.chart->initGrid(2, &rig.grid[0], &rig.grid[1], &rig.grid[2]);
        QCOMPARE(rig.grid[2].points().at(2), QPointF(3999.0 / 4000, 3999.0 / 4000));
        rig.chart->setSize(1281, 600);
        rig.chart->initGrid(2, &rig.grid[0], &rig.grid[1], &rig.grid[2]);
        QCOMPARE(rig.grid[2].points().at(2), QPointF(7999.0 / 8000, 7999.0 / 8000));
    }

    // The index is stored once UiData is bound, and only when it changes.
    void gridIndexIsSaved()
    {
        ChartRig rig;
        QCOMPARE(rig.env.settings->ecgGridIdx, 3);
        rig.chart->initGrid(1, &rig.grid[0], &rig.grid[1], &rig.grid[2]);
        QCOMPARE(rig.env.value("select value from systemTable where oid=45").toInt(), 3);
        rig.publisher.uiData = &rig.uiData;
        rig.chart->initGrid(1, &rig.grid[0], &rig.grid[1], &rig.grid[2]);
        QCOMPARE(rig.env.value("select value from systemTable where oid=45").toInt(), 1);
        rig.chart->initGrid(3, &rig.grid[0], &rig.grid[1], &rig.grid[2]);
        QCOMPARE(rig.env.value("select value from systemTable where oid=45").toInt(), 3);
        rig.chart->initGrid(7, &rig.grid[0], &rig.grid[1], &rig.grid[2]); // not a grid
        QCOMPARE(rig.env.value("select value from systemTable where oid=45").toInt(), 3);
        QCOMPARE(rig.grid[2].count(), 0);
    }

    void columnLayout_data()
    {
        QTest::addColumn<int>("chartWidth");
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("budget");
        QTest::addColumn<int>("factor");
        QTest::addColumn<int>("sweepLength");
        const struct { double speed; int f8, l8, f4, l4; } rows[] = {
            {2.5, 10, 8000, 20, 4000}, {5, 5, 8000, 10, 4000}, {10, 3, 6666, 5, 4000},
            {25, 1, 4000, 1, 4000},    {50, 1, 2000, 1, 2000}, {100, 1, 1000, 1, 1000},
            {200, 1, 500, 1, 500},
        };
        for (const auto& r : rows) {
            QTest::addRow("%g mm/s budget 8000", r.speed) << 1281 << r.speed << 8000 << r.f8 << r.l8;
            QTest::addRow("%g mm/s budget 4000", r.speed) << 1280 << r.speed << 4000 << r.f4 << r.l4;
        }
        QTest::newRow("speed 0 keeps a finite sheet") << 1920 << 0.0 << 8000 << 450 << 8000;
        QTest::newRow("huge speed keeps two positions") << 1920 << 1e9 << 8000 << 1 << 2;
    }

    void columnLayout()
    {
        QFETCH(int, chartWidth);
        QFETCH(double, speed);
        QFETCH(int, budget);
        QFETCH(int, factor);
        QFETCH(int, sweepLength);
        ChartRig rig;
        rig.chart->setSize(chartWidth, 500);
        QCOMPARE(rig.chart->pointBudget(), budget);
        rig.layout(1, 10, speed);
        QCOMPARE(rig.chart->decimationFactor(), factor);
        QCOMPARE(rig.chart->sweepLength(), sweepLength);
        QVERIFY(rig.chart->sweepLength() <= budget);
        QCOMPARE(int(rig.chart->markers().size()), sweepLength + 2);
    }

    void leadTables_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<int>>("leads");
        QTest::addColumn<QList<double>>("offsets");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("name");
        const QList<double> six{0.8766, 0.715, 0.55, 0.38, 0.2, 0.08};
        QTest::newRow("single") << 0 << QList<int>{1} << QList<double>{0.5} << QStringList{"II"} << "Single Lead";
        QTest::newRow("einthoven") << 1 << QList<int>{0, 1, 2} << QList<double>{0.8333, 0.5, 0.1666}
                                   << QStringList{"I", "II", "III"} << "Einthoven";
        QTest::newRow("goldberger I") << 2 << QList<int>{4, 0, 3, 1, 5, 2} << six
                                      << QStringList{"aVL", "I", "-aVR", "II", "aVF", "III"} << "Goldberger I";
        QTest::newRow("goldberger") << 3 << QList<int>{0, 1, 2, 3, 4, 5} << six
                                    << QStringList{"I", "II", "III", "-aVR", "aVL", "aVF"} << "Goldberger";
        QTest::newRow("unknown mode") << 4 << QList<int>{} << QList<double>{} << QStringList{} << "";
    }

    // initEcg lays each trace of the mode flat on its offset; the others hide.
    void leadTables()
    {
        QFETCH(int, mode);
        QFETCH(QList<int>, leads);
        QFETCH(QList<double>, offsets);
        QFETCH(QStringList, labels);
        QFETCH(QString, name);
        const EcgModeLayout* layout = EcgChart::modeLayout(mode);
        QCOMPARE(EcgChart::traceCount(mode), int(leads.size()));
        if (layout) {
            QCOMPARE(QString::fromLatin1(layout->name), name);
            for (int k = 0; k < leads.size(); ++k) {
                QCOMPARE(layout->lead[k], leads[k]);
                QCOMPARE(layout->offset[k], offsets[k]);
                QCOMPARE(QString::fromLatin1(layout->label[k]), labels[k]);
            }
        }

        ChartRig rig;
        rig.layout(mode, 10, 50);
        rig.chart->hideEcg(rig.series());
        rig.chart->initEcg(rig.series());
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(rig.lines[k].isVisible(), k < leads.size());
            if (k >= leads.size())
                continue;
            const QList<QPointF> p = rig.lines[k].points();
            QCOMPARE(p.size(), 2000);
            QCOMPARE(p.first(), QPointF(0, offsets[k]));
            QCOMPARE(p.last(), QPointF(1999.0 / 2000, offsets[k]));
        }
        for (int k = 6; k < 9; ++k)
            QVERIFY2(rig.lines[k].isVisible(), "overlays come back after hideEcg");
    }

    void cursorAndHide()
    {
        ChartRig rig;
        rig.layout(3, 10, 25);
        rig.chart->setSweepPosition(1000);
        rig.lines[7].append(0.5, 0.5);
        rig.chart->initEcg(rig.series());
        QCOMPARE(rig.lines[6].points(), (QList<QPointF>{{0.25, 0}, {0.25, 1}}));
        QCOMPARE(rig.lines[7].count(), 0);
        QCOMPARE(rig.lines[8].count(), 0);
        rig.chart->hideEcg(rig.series());
        for (auto& l : rig.lines)
            QVERIFY(!l.isVisible());
        QCOMPARE(rig.lines[0].count(), 4000); // hidden, not cleared
    }

    // No recording open: only the three warnings are cleared.
    void storedWithoutRecording()
    {
        ChartRig rig;
        rig.layout(1, 10, 25);
        rig.chart->initEcg(rig.series());
        rig.publisher.journal.clear();
        rig.chart->updateStoredEcg(100, rig.series());
        QCOMPARE(rig.publisher.journal, (QStringList{"vectorError0=false", "vectorError1=false", "warningLeadPlacement=false"}));
        QCOMPARE(rig.lines[6].at(0).x(), 0.0);
    }

    void storedDrawing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("gain");
        QTest::newRow("einthoven 10 mm/mV") << 1 << 10.0;
        QTest::newRow("goldberger I 20 mm/mV") << 2 << 20.0;
        QTest::newRow("goldberger 5 mm/mV") << 3 << 5.0;
    }

    // One point per entry after the lead-in, events and type 45 drawn as
    // nothing, a flat line after the end, bars where the events are.
    void storedDrawing()
    {
        QFETCH(int, mode);
        QFETCH(double, gain);
        ChartRig rig;
        Layout l;
        l.eventsBefore = {{500, ECG_EVENT_DEVICE_INFO}, {1000, ECG_EVENT_CHANNEL_ERROR},
                          {1500, ECG_EVENT_PACKET_ERROR}, {2000, ECG_EVENT_USER_MARK1},
                          {2200, ECG_EVENT_BATTERY_LOW}};
        QVERIFY(rig.show(l) > 0);
        rig.layout(mode, gain, 25); // 4000 positions, one per entry
        QCOMPARE(rig.chart->decimationFactor(), 1);
        // A bookmark at the entry of sample 2500 (five events come before it).
        rig.chart->bookmarks().push_back({2505, QDateTime()});
        rig.chart->updateStoredEcg(0, rig.series());

        const EcgModeLayout* layout = EcgChart::modeLayout(mode);
        for (int k = 0; k < layout->traces; ++k) {
            const QList<QPointF> p = rig.lines[k].points();
            QCOMPARE(p.size(), 4000);
            float vec[6];
            for (int i = 0; i < 4000; ++i) {
                float a, b;
                testSignal(std::min(i, l.samples - 1), a, b);
                leadVector(a, b, vec);
                const double y = yOf(vec[layout->lead[k]], gain, layout->offset[k]);
                QVERIFY2(std::abs(p[i].x() - i / 4000.0) < 1e-12 && std::abs(p[i].y() - y) < 1e-6,
                         qPrintable(QStringLiteral("trace %1 point %2: %3 %4 want %5").arg(k).arg(i).arg(p[i].x()).arg(p[i].y()).arg(y)));
            }
        }
        QCOMPARE(rig.lines[6].points(), (QList<QPointF>{{1.1, 0}, {1.1, 1}}));
        // Error bars before samples 1000 and 1500; marks at 2000 and after the bookmarked 2500.
        QCOMPARE(rig.lines[7].points(), (QList<QPointF>{{0.25, -0.5}, {0.25, 1.5}, {0.375, 1.5}, {0.375, -0.5}}));
        QCOMPARE(rig.lines[8].points(), (QList<QPointF>{{0.5, -0.5}, {0.5, 1.5}, {2501 / 4000.0, 1.5}, {2501 / 4000.0, -0.5}}));
        QCOMPARE(rig.chart->sweepPosition(), 0);
        QVERIFY(rig.chart->flushedEntryCount() >= 1250);

        // Without the bookmark only the device mark is left.
        rig.chart->bookmarks().clear();
        rig.chart->updateStoredEcg(0, rig.series());
        QCOMPARE(rig.lines[8].points(), (QList<QPointF>{{0.5, -0.5}, {0.5, 1.5}}));
    }

    // At 2.5 mm/s ten entries make one column: its minimum and maximum, the
    // one reached first on the left.
    void storedDecimated()
    {
        ChartRig rig;
        Layout l;
        l.samples = 30000;
        l.eventsBefore = {{10000, ECG_EVENT_CHANNEL_ERROR}};
        QVERIFY(rig.show(l) > 0);
        rig.chart->setSize(1920, 800);
        rig.layout(1, 10, 2.5);
        QCOMPARE(rig.chart->decimationFactor(), 10);
        QCOMPARE(rig.chart->sweepLength(), 8000);
        rig.chart->updateStoredEcg(0, rig.series());
        const EcgModeLayout* layout = EcgChart::modeLayout(1);
        for (int k = 0; k < 3; ++k) {
            const QList<QPointF> p = rig.lines[k].points();
            QCOMPARE(p.size(), 8000);
            float vec[6];
            for (int c = 0; c < 3000; ++c) {
                float lo = 1e30f, hi = -1e30f;
                int atLo = 0, atHi = 0;
                for (int i = 0; i < 10; ++i) {
                    float a, b;
                    testSignal(c * 10 + i, a, b);
                    leadVector(a, b, vec);
                    const float v = vec[layout->lead[k]];
                    if (v < lo) { lo = v; atLo = i; }
                    if (v > hi) { hi = v; atHi = i; }
                }
                const float first = atLo <= atHi ? lo : hi;
                const float last = atLo <= atHi ? hi : lo;
                QVERIFY2(std::abs(p[2 * c].y() - yOf(first, 10, layout->offset[k])) < 1e-6 &&
                             std::abs(p[2 * c + 1].y() - yOf(last, 10, layout->offset[k])) < 1e-6,
                         qPrintable(QStringLiteral("trace %1 column %2").arg(k).arg(c)));
                QCOMPARE(p[2 * c + 1].x(), (2 * c + 1) / 8000.0);
            }
            // The last column's second point, then flat.
            for (int i = 6000; i < 8000; ++i)
                QCOMPARE(p[i].y(), p[5999].y());
        }
        QCOMPARE(rig.lines[7].points().first(), QPointF(2000 / 8000.0, -0.5));
    }

    // At 3 mm/s nine entries make a column and the sweep is 7,407 positions
    // long: the last column has room for one point only.
    void storedOddSweepLength()
    {
        ChartRig rig;
        Layout l;
        l.samples = 40000;
        l.tail = 0;
        QVERIFY(rig.show(l) > 0);
        rig.chart->setSize(1920, 800);
        rig.layout(3, 10, 3);
        QCOMPARE(rig.chart->decimationFactor(), 9);
        QCOMPARE(rig.chart->sweepLength(), 7407);
        rig.chart->bookmarks().push_back({33332, QDateTime()});
        rig.chart->updateStoredEcg(0, rig.series());
        for (int k = 0; k < 6; ++k) {
            const QList<QPointF> p = rig.lines[k].points();
            QCOMPARE(p.size(), 7407);
            QCOMPARE(p.last().x(), 7406 / 7407.0);
        }
    }

    // The scroll position picks the first entry; the time of day follows it.
    void scrollPositionAndTime_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<double>("posX");
        QTest::addColumn<QString>("time");
        QTest::newRow("no start time") << qint64(0) << 0.0 << "";
        QTest::newRow("start") << qint64(86400 * 20000 + 3600 * 13 + 60 * 5 + 7) << 0.0 << "13:05:07";
        QTest::newRow("ten seconds on") << qint64(86400 * 20000 + 3600 * 23 + 60 * 59 + 55) << 1250.0 << "00:00:05";
        QTest::newRow("negative scroll") << qint64(86400 * 20000 + 3600 * 13 + 60 * 5 + 7) << -50.0 << "13:05:07";
    }

    void scrollPositionAndTime()
    {
        QFETCH(qint64, start);
        QFETCH(double, posX);
        QFETCH(QString, time);
        ChartRig rig;
        Layout l;
        l.samples = 20000;
        l.tail = 0;
        const int id = rig.show(l);
        QVERIFY(id > 0);
        rig.env.exec("update ecgTable set ecgTime=? where ecgId=?", {start, id});
        QCOMPARE(rig.env.files->selectFile(id), id);
        rig.publisher.flickable = &rig.flickable;
        rig.chart->setSize(1000, 500);
        rig.layout(3, 10, 25);
        rig.chart->setHorizontalFlickableWidth(25);
        // 20,000 entries at 4,000 per sheet: five sheets of 1000 pixels.
        QCOMPARE(rig.flickable.property("contentWidth").toDouble(), 5000.0);
        QCOMPARE(rig.chart->samplesPerPixel(), 4.0);
        rig.publisher.uiData = &rig.uiData;
        rig.chart->updateStoredEcg(posX, rig.series());
        QCOMPARE(rig.uiData.property("fileTimeCurrent").toString(), time);
        const int first = posX > 0 ? int(posX * 4) : 0;
        QCOMPARE(rig.chart->firstShownEntry(), first);
        float a, b;
        testSignal(first, a, b);
        QCOMPARE(rig.lines[0].at(0).y(), yOf(a, 10, 0.8766));
    }

    void flickableWidth()
    {
        ChartRig rig;
        Layout l;
        l.samples = 20000;
        l.tail = 0;
        QVERIFY(rig.show(l) > 0);
        rig.layout(1, 10, 25);

        // Before the chart has a size nothing is scaled.
        rig.publisher.flickable = &rig.flickable;
        rig.flickable.setProperty("contentX", 123.0);
        rig.chart->setHorizontalFlickableWidth(50);
        QVERIFY(rig.publisher.written("content").isEmpty());
        QCOMPARE(rig.chart->samplesPerPixel(), 0.0);

        rig.chart->setSize(1000, 500);
        QCOMPARE(rig.flickable.property("contentWidth").toDouble(), 5000.0);
        rig.flickable.setProperty("contentX", 2000.0);
        const int atLeft = int(2000 * rig.chart->samplesPerPixel());
        // Twice the speed: ten sheets; the left edge keeps its entry.
        rig.chart->setHorizontalFlickableWidth(50);
        rig.chart->setSpeed(50);
        QCOMPARE(rig.flickable.property("contentWidth").toDouble(), 10000.0);
        QCOMPARE(rig.flickable.property("contentX").toDouble(), 4000.0);
        QCOMPARE(int(4000 * rig.chart->samplesPerPixel()), atLeft);

        // Shorter than one sheet: the chart's own width.
        rig.chart->setHorizontalFlickableWidth(2.5);
        QCOMPARE(rig.flickable.property("contentWidth").toDouble(), 1000.0);

        // A flickable without contentX is left alone.
        QObject bare;
        rig.publisher.flickable = &bare;
        rig.publisher.journal.clear();
        rig.chart->setHorizontalFlickableWidth(25);
        QVERIFY(rig.publisher.journal.isEmpty());
    }

    // initEcg on a shown recording starts it at the left edge.
    void initEcgShowsStoredRecording()
    {
        ChartRig rig;
        Layout l;
        l.samples = 20000;
        l.tail = 0;
        QVERIFY(rig.show(l) > 0);
        rig.publisher.flickable = &rig.flickable;
        rig.flickable.setProperty("contentX", 700.0);
        rig.chart->setSize(1000, 500);
        rig.layout(0, 10, 25);
        rig.chart->initEcg(rig.series());
        QCOMPARE(rig.flickable.property("contentX").toDouble(), 0.0);
        float a, b;
        testSignal(0, a, b);
        QCOMPARE(rig.lines[0].at(0).y(), yOf(b, 10, 0.5));
        QCOMPARE(rig.lines[6].at(0).x(), 1.1);
    }
};

QTEST_MAIN(TstEcgChart)
#include "tst_ecgchart.moc"
