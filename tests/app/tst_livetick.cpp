// The live tick on scripted samples: the real bridge and screens, with a
// stand-in for the acquisition stream that hands out exactly what a test
// queued and reports the link as the test says.

#include "appharness.h"
#include "recordingcontrol.h"
#include "liveview.h"
#include "settingsman.h"
#include "soundserverstandin.h"
#include "toneplayer.h"
#include "updateandterms.h"
#include "viewersettings.h"

#include <QLineSeries>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>

class ScriptedSource : public LiveSource
{
public:
    bool getData(EcgStreamSample* out) override
    {
        if (queue.empty())
            return false;
        *out = queue.front();
        queue.pop_front();
        if (dropAfter > 0 && --dropAfter == 0)
            connected = false;
        return true;
    }
    bool isConnected() const override { return connected; }
    bool isBatteryLow() const override { return batteryLow; }
    void startStop(bool start) override { ++(start ? starts : stops); }
    bool hasDevice() const override { return true; }

    void sample(float leadI, float leadII, int type = ECG_SAMPLE)
    {
        EcgStreamSample s{};
        s.leadI = leadI;
        s.leadII = leadII;
        s.type = type;
        queue.push_back(s);
    }
    void event(int type) { sample(0, 0, type); }

    std::deque<EcgStreamSample> queue;
    bool connected = true;
    bool batteryLow = false;
    int dropAfter = 0; // the link goes down after this many more samples
    int starts = 0;
    int stops = 0;
};

class TstLiveTick : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppHarness> m_app;
    ScriptedSource m_source;
    std::array<QLineSeries, 9> m_series;

    CQmlInterface& bridge() { return m_app->bridge(); }
    LiveView& live() { return m_app->bridge().liveView(); }
    QVariant ui(const char* name) { return bridge().items().object(qml::Item::UiData)->property(name); }
    EcgSeries series()
    {
        EcgSeries s;
        for (int i = 0; i < 9; ++i)
            s.s[std::size_t(i)] = &m_series[std::size_t(i)];
        return s;
    }
    void tick() { live().updateStreamedEcg(series()); }
    // Mode, gain (mm/mV), speed (mm/s), beat tone.
    void viewer(int mode, double gain, double speed, bool tone = false)
    {
        bridge().setViewerParams(mode, gain, speed, false, false, true, tone, true);
    }
    void start()
    {
        m_source = ScriptedSource();
        bridge().streamStartStop(true);
    }

private slots:
    void initTestCase()
    {
        m_app = std::make_unique<AppHarness>();
        QVERIFY(m_app->loadReturningUser());
        // From here on nothing runs the event loop, so only the test ticks.
        live().setSource(&m_source);
        live().setDeviceFinder(nullptr);
    }

    void cleanupTestCase()
    {
        bridge().streamStartStop(false);
        m_app->unload();
        m_app.reset();
    }

    void init()
    {
        live().loadSpeciesAnalysisParams(0);
        viewer(1, 10, 25);
        start();
    }

    // One point per sample: derived leads at their offsets, cursor after the last.
    void pointsAtFullRate()
    {
        EcgChart& chart = bridge().chart();
        QCOMPARE(chart.decimationFactor(), 1);
        const int length = chart.sweepLength();
        QCOMPARE(length, 4000);
        for (int i = 0; i < 5; ++i)
            m_source.sample(100.0f * i, 300.0f * i);
        tick();
        const double k = chart.verticalScale();
        for (int i = 0; i < 5; ++i) {
            const float fI = 100.0f * i, fII = 300.0f * i;
            QCOMPARE(live().point(0, i), QPointF(double(i) / length, k * fI + 0.8333));
            QCOMPARE(live().point(1, i), QPointF(double(i) / length, k * fII + 0.5));
            QCOMPARE(live().point(2, i).y(), k * (fII - fI) + 0.1666);
        }
        QCOMPARE(chart.sweepPosition(), 5);
        QCOMPARE(m_series[0].count(), length);
        QCOMPARE(m_series[EcgSeries::Cursor].at(0), QPointF(5.0 / length, 0.0));
        QCOMPARE(m_series[EcgSeries::Cursor].at(1), QPointF(5.0 / length, 1.0));
        QVERIFY(m_series[2].isVisible());
        QVERIFY(ui("isBtConnected").toBool());
    }

    // At 2.5 mm/s D samples (D from the point budget) make one column, drawn as a pair in the order
    // in which its extremes last moved.
    void decimationPairs_data()
    {
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<float>("first");
        QTest::addColumn<float>("second");
        QTest::newRow("rise then fall") << QList<float>{0, 50, 90, 40, -30, -60, -20, 0, 0, 0} << 90.0f << -60.0f;
        QTest::newRow("fall then rise") << QList<float>{0, -50, -70, 10, 60, 80, 20, 0, 0, 0} << -70.0f << 80.0f;
    }
    void decimationPairs()
    {
        QFETCH(QList<float>, values);
        QFETCH(float, first);
        QFETCH(float, second);
        viewer(0, 10, 2.5);
        start();
        EcgChart& chart = bridge().chart();
        const int d = chart.decimationFactor();
        const int length = chart.sweepLength();
        QVERIFY(d >= 10);
        QCOMPARE(length, 40000 * 2 / d);
        for (int i = 0; i < d; ++i)
            m_source.sample(0, i < values.size() ? values[i] : 0.0f);
        tick();
        const double k = chart.verticalScale();
        QCOMPARE(chart.sweepPosition(), 2);
        QCOMPARE(live().point(0, 0), QPointF(0.0, k * first + 0.5));
        QCOMPARE(live().point(0, 1), QPointF(1.0 / length, k * second + 0.5));
    }

    // Device marks and errors become strokes at the sweep position; events
    // do not move the sweep; the sweep overwrites them later.
    void marksAndErrors()
    {
        for (int i = 0; i < 17; ++i)
            m_source.sample(0, 0);
        m_source.event(ECG_EVENT_USER_MARK2);
        m_source.event(ECG_EVENT_CHANNEL_ERROR);
        m_source.sample(0, 0);
        tick();
        const double x = 17.0 / 4000;
        QCOMPARE(m_series[EcgSeries::Marker].points(), (QList<QPointF>{{x, -0.5}, {x, 1.5}}));
        QCOMPARE(m_series[EcgSeries::Error].points(), (QList<QPointF>{{x, -0.5}, {x, 1.5}}));
        QCOMPARE(bridge().chart().sweepPosition(), 18);
        // Once round the sweep: position 17 is written again and its mark goes.
        for (int i = 0; i < 4000; ++i)
            m_source.sample(0, 0);
        tick();
        QCOMPARE(m_series[EcgSeries::Marker].count(), 0);
        QCOMPARE(m_series[EcgSeries::Error].count(), 0);
    }

    // A series whose points did not change is not handed them again: the
    // chart uploads and redraws only what moved.
    void unchangedSeriesLeftAlone()
    {
        for (int i = 0; i < 10; ++i)
            m_source.sample(10.0f * i, 20.0f * i);
        tick();
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (QLineSeries& s : m_series)
            spies.push_back(std::make_unique<QSignalSpy>(&s, &QXYSeries::pointsReplaced));
        auto replaced = [&] {
            QList<int> which;
            for (int i = 0; i < 9; ++i) {
                if (spies[std::size_t(i)]->count() > 0)
                    which << i;
                spies[std::size_t(i)]->clear();
            }
            return which;
        };

        tick(); // no sample
        QCOMPARE(replaced(), QList<int>());

        m_source.sample(500, 700);
        tick(); // the three traces and the cursor move; no mark or error
        QCOMPARE(replaced(), (QList<int>{0, 1, 2, EcgSeries::Cursor}));

        m_source.event(ECG_EVENT_USER_MARK1);
        tick(); // a mark only
        QCOMPARE(replaced(), QList<int>{EcgSeries::Marker});
        QCOMPARE(m_series[EcgSeries::Marker].count(), 2);
    }

    // The ring fills to 2,499 records and then reports the lead-in complete.
    void leadInRing()
    {
        for (int i = 0; i < 2499; ++i)
            m_source.sample(0, 0);
        tick();
        QCOMPARE(live().ringCount(), 2499);
        QVERIFY(!live().isLeadInComplete());
        QVERIFY(!ui("isLeadInComplete").toBool());
        for (int i = 0; i < 300; ++i)
            m_source.sample(0, 0);
        m_source.event(ECG_EVENT_RECORD_TOGGLE);
        tick();
        QCOMPARE(live().ringCount(), 2499);
        QVERIFY(live().isLeadInComplete());
        QVERIFY(ui("isLeadInComplete").toBool());
        // The device's record key started a recording; it ends here.
        QVERIFY(bridge().recordingControl().isRecording());
        bridge().recordStartStop(false);
        QVERIFY(!bridge().recordingControl().isRecording());
        // A new start empties it.
        start();
        QCOMPARE(live().ringCount(), 0);
        QVERIFY(!ui("isLeadInComplete").toBool());
    }

    // Without a species no beat is analysed: every warning is off, the rate 0.
    void speciesZeroClearsWarnings()
    {
        QObject* uiData = bridge().items().object(qml::Item::UiData);
        uiData->setProperty("warningLeadPlacement", true);
        uiData->setProperty("vectorError1", true);
        m_source.sample(10, 10);
        tick();
        QVERIFY(!ui("warningLeadPlacement").toBool());
        QVERIFY(!ui("vectorError1").toBool());
        QCOMPARE(ui("beatsPerMinuteLabel").toString(), QStringLiteral("0"));
    }

    // With a species, a lead without beats for 2,000 samples raises the lead warning.
    void beatlessLeadWarns()
    {
        live().loadSpeciesAnalysisParams(1);
        start();
        for (int i = 0; i < 2100; ++i)
            m_source.sample(0, 0);
        tick();
        QVERIFY(ui("warningLeadPlacement").toBool());
        QVERIFY(ui("vectorError0").toBool());
        QVERIFY(ui("vectorError1").toBool());
    }

    // A beat-flagged sample sounds the tone while the switch is on. The
    // sound library loads when the switch is turned on, not before.
    void toneOnBeatFlag()
    {
        QTemporaryDir runtime;
        const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", oldRuntime); });
        SoundServerStandIn server(runtime.filePath(QStringLiteral("pulse/native")));
        QVERIFY(server.isListening());

        CTonePlayer& tone = bridge().tonePlayer();
        const int before = tone.requestCount();
        m_source.sample(0, 0, ECG_SAMPLE_RPEAK);
        tick();
        QCOMPARE(tone.requestCount(), before);
        QVERIFY(!tone.isMade());
        viewer(1, 10, 25, true);
        QVERIFY(tone.isMade());
        m_source.sample(0, 0, ECG_SAMPLE_RPEAK);
        m_source.sample(0, 0);
        tick();
        QCOMPARE(tone.requestCount(), before + 1);
        viewer(1, 10, 25, false);
    }

    // The link lost in the middle of a tick: the stream is restarted at once.
    void connectionLossRestarts()
    {
        for (int i = 0; i < 10; ++i)
            m_source.sample(0, 0);
        m_source.dropAfter = 5;
        tick();
        QCOMPARE(m_source.stops, 1);
        QCOMPARE(m_source.starts, 2);
        QVERIFY(live().isStreaming());
        QCOMPARE(ui("displayState").toInt(), 1);
        // Not connected: no sample is drawn, the traces are hidden.
        const int position = bridge().chart().sweepPosition();
        m_source.sample(0, 0);
        tick();
        QVERIFY(!m_series[0].isVisible());
        QCOMPARE(bridge().chart().sweepPosition(), position);
        QVERIFY(!ui("isBtConnected").toBool());
    }

    // "cancelConnecting": the next tick stops the stream and leaves the chart alone.
    void abortStopsStream()
    {
        bridge().cancelConnecting();
        QVERIFY(ui("abortConnecting").toBool());
        m_source.sample(0, 0);
        tick();
        QVERIFY(!live().isStreaming());
        QVERIFY(!ui("abortConnecting").toBool());
        QVERIFY(!ui("streamRefreshTimerRunning").toBool());
        QCOMPARE(m_source.queue.size(), std::size_t(1));
    }

    // The fourth lost link since the start stops acquisition and offers a retry.
    void retryLimit()
    {
        for (int i = 0; i < 3; ++i)
            bridge().onConnectRetry();
        QCOMPARE(ui("itsaRetry").toInt(), 0);
        QVERIFY(ui("streamRefreshTimerRunning").toBool());
        bridge().onConnectRetry();
        QCOMPARE(ui("itsaRetry").toInt(), 1);
        QVERIFY(!ui("streamRefreshTimerRunning").toBool());
        QCOMPARE(m_source.stops, 1);
        start();
        QCOMPARE(live().retryCount(), 0);
        QCOMPARE(ui("itsaRetry").toInt(), 0);
    }

    // Battery low shows the indicator until the device says otherwise at the sweep's start.
    void batteryIndicator()
    {
        m_source.batteryLow = true;
        m_source.event(ECG_EVENT_BATTERY_LOW);
        tick();
        QVERIFY(ui("batteryLowIndicator").toBool());
        m_source.batteryLow = false;
        tick();
        QVERIFY(!ui("batteryLowIndicator").toBool());
    }
};

QTEST_MAIN(TstLiveTick)
#include "tst_livetick.moc"
