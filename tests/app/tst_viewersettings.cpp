#include "chartitems.h"
#include "chartrecording.h"
#include "ecgchart.h"
#include "viewersettings.h"

#include "../store/storetestenv.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(ViewerParams)

namespace {

// Stands in for the device selection: remembers what was selected.
struct Devices : InputDeviceSelector {
    QString selected;
    QList<QPair<int, int>> calls;
    QString selectedInputDevice() const override { return selected; }
    void setInputChannel(int inputType, int index) override { calls.append({inputType, index}); }
};

struct ViewerRig {
    StoreEnv env;
    ItemsChartPublisher publisher;
    QObject uiData;
    QObject flickable;
    Devices devices;
    std::unique_ptr<EcgChart> chart;
    std::unique_ptr<ViewerSettings> viewer;

    ViewerRig()
    {
        chart = std::make_unique<EcgChart>(env.settings.get(), env.files.get(), &publisher);
        viewer = std::make_unique<ViewerSettings>(env.settings.get(), env.db->database(), chart.get(),
                                                  &publisher, &devices);
        publisher.uiData = &uiData;
    }
    int stored(int oid) { return env.value("select value from systemTable where oid=?", {oid}).toInt(); }
};

ViewerParams params(int mode, double gain, double speed, bool power = false, bool artifact = false,
                    bool heartRate = false, bool beat = false, bool hints = true)
{
    return ViewerParams{mode, gain, speed, power, artifact, heartRate, beat, hints};
}

} // namespace

class TstViewerSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useBerlinTime(); }

    // The second call with the same eight values only lays the chart out.
    void sameValuesTwiceChangeNothing()
    {
        ViewerRig rig;
        const ViewerParams p = params(1, 20, 50, true, false, true, false, true);
        QVERIFY(rig.viewer->setViewerParams(p));
        QCOMPARE(rig.stored(11), 1);
        QVERIFY(!rig.publisher.journal.isEmpty());

        // Whatever is saved now would overwrite these rows.
        rig.env.exec("update systemTable set value=99 where oid in (11, 12, 17, 59)");
        rig.publisher.journal.clear();
        // The live sweep, its column and a mark on it stay as they are.
        rig.chart->setSweepPosition(1234);
        rig.chart->setColumnFill(1);
        rig.chart->liveMarkers()[700] = EcgChart::MarkUser2;
        QVERIFY(!rig.viewer->setViewerParams(p));
        QVERIFY(!rig.viewer->updateViewerParams(p));
        QVERIFY2(rig.publisher.journal.isEmpty(), qPrintable(rig.publisher.journal.join(' ')));
        for (int oid : {11, 12, 17, 59})
            QCOMPARE(rig.stored(oid), 99);
        QCOMPARE(rig.chart->sweepLength(), 2000);
        QCOMPARE(rig.chart->sweepPosition(), 1234);
        QCOMPARE(rig.chart->columnFill(), 1);
        QCOMPARE(int(rig.chart->markers()[700]), int(EcgChart::MarkUser2));

        // Another speed is another layout: the marks go with the old one.
        QVERIFY(rig.viewer->setViewerParams(params(1, 20, 25, true, false, true, false, true)));
        QCOMPARE(rig.chart->sweepLength(), 4000);
        QCOMPARE(int(rig.chart->markers()[700]), 0);
    }

    void applied_data()
    {
        QTest::addColumn<ViewerParams>("p");
        QTest::addColumn<int>("mains60");
        QTest::addColumn<QString>("footer");
        QTest::addColumn<QList<int>>("saved"); // oids 11, 12, 17, 59, 60, 68
        QTest::addColumn<int>("notch");
        QTest::newRow("einthoven both filters 50 Hz")
            << params(1, 10, 25, true, true) << 0 << "Einthoven, 25mm/sec, 10mm/mV, Filters: 50Hz, Artifact"
            << QList<int>{1, 2500, 1000, 0, 0, 1} << 50;
        QTest::newRow("power filter at 60 Hz names 60Hz")
            << params(3, 2.5, 2.5, true, false, true) << 1 << "Goldberger, 2.5mm/sec, 2.5mm/mV, Filters: 60Hz"
            << QList<int>{3, 250, 250, 1, 0, 1} << 60;
        QTest::newRow("artifact only")
            << params(0, 40, 200, false, true, false, true, false) << 1 << "Single Lead, 200mm/sec, 40mm/mV, Filters: Artifact"
            << QList<int>{0, 20000, 4000, 0, 1, 0} << 0;
        QTest::newRow("goldberger I no filters")
            << params(2, 5, 5) << 0 << "Goldberger I, 5mm/sec, 5mm/mV" << QList<int>{2, 500, 500, 0, 0, 1} << 0;
        QTest::newRow("mode outside the table")
            << params(7, 30, 100) << 0 << ", 100mm/sec, 30mm/mV" << QList<int>{7, 10000, 3000, 0, 0, 1} << 0;
    }

    void applied()
    {
        QFETCH(ViewerParams, p);
        QFETCH(int, mains60);
        QFETCH(QString, footer);
        QFETCH(QList<int>, saved);
        QFETCH(int, notch);
        ViewerRig rig;
        rig.env.settings->powerIs60Hz = mains60;
        QVERIFY(rig.viewer->setViewerParams(p));

        QCOMPARE(rig.viewer->footerLineLeft(), footer);
        QCOMPARE(rig.uiData.property("footerLineLeft").toString(), footer);
        QCOMPARE(rig.uiData.property("powerFilterActive").toBool(), p.powerFilterActive);
        QCOMPARE(rig.uiData.property("artifactFilterActive").toBool(), p.artifactFilterActive);
        QCOMPARE(rig.uiData.property("showBeatsPerMinute").toBool(), p.showHeartRateActive);
        QCOMPARE(rig.uiData.property("recordingTime").toInt(), 60);
        QCOMPARE(rig.uiData.property("ecgGridIdx").toInt(), 3);
        QCOMPARE(rig.uiData.property("selectedSpecies").toInt(), 0);
        QVERIFY(!rig.uiData.property("showHeartRateActive").isValid()); // only the update slot writes it

        const int oids[] = {11, 12, 17, 59, 60, 68};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(rig.stored(oids[i]), saved[i]);

        QCOMPARE(rig.viewer->getUiDataEcgModeValue(), p.ecgDisplayMode);
        QCOMPARE(rig.viewer->getUiDataGainValue(), p.gain);
        QCOMPARE(rig.viewer->getUiDataSpeedValue(), p.speed);
        QCOMPARE(rig.viewer->mainsNotch(), notch);
        QCOMPARE(rig.viewer->displayChain(0).notch, notch);
        QCOMPARE(rig.viewer->displayChain(1).notch, notch);
        QCOMPARE(int(rig.viewer->displayChain(1).lowPass), p.artifactFilterActive ? 1 : 0);
        QCOMPARE(rig.chart->displayMode(), p.ecgDisplayMode);
        QCOMPARE(rig.chart->gain(), p.gain);
        QCOMPARE(rig.chart->speed(), p.speed);
        QCOMPARE(rig.publisher.written("call:"), QStringList{"call:qmlInitEcgData"}); // the stream owns the chart

        // The update slot publishes the heart-rate switch and not the recording time.
        rig.uiData.setProperty("recordingTime", 0);
        ViewerParams q = p;
        q.showHeartRateActive = !q.showHeartRateActive;
        QVERIFY(rig.viewer->updateViewerParams(q));
        QCOMPARE(rig.uiData.property("showHeartRateActive").toBool(), q.showHeartRateActive);
        QCOMPARE(rig.uiData.property("recordingTime").toInt(), 0);
    }

    // The start: stored values with the filters off, saved once.
    void startValues()
    {
        ViewerRig rig;
        QCOMPARE(rig.viewer->getUiDataEcgModeValue(), -1);
        QCOMPARE(rig.viewer->getUiDataSpeedValue(), 50.0);
        QCOMPARE(rig.viewer->getUiDataGainValue(), 5.0);
        const ViewerParams stored = rig.viewer->storedParams();
        QCOMPARE(stored.ecgDisplayMode, 3);
        QVERIFY(!stored.powerFilterActive && !stored.artifactFilterActive);
        QVERIFY(rig.viewer->setViewerParams(stored));
        QCOMPARE(rig.viewer->footerLineLeft(), QStringLiteral("Goldberger, 50mm/sec, 5mm/mV"));
        QVERIFY(!rig.viewer->setViewerParams(stored));
    }

    // Unbound UiData: nothing is written, the settings are still saved.
    void unboundUiDataGetsNothing()
    {
        ViewerRig rig;
        rig.publisher.uiData = nullptr;
        QVERIFY(rig.viewer->setViewerParams(params(1, 10, 25)));
        QCOMPARE(rig.publisher.written("footer"), QStringList());
        QCOMPARE(rig.stored(11), 1);
    }

    // The stored device is selected again only when the stream has another one.
    void inputDeviceOnlyWhenItDiffers()
    {
        ViewerRig rig;
        rig.env.exec("insert into discoveryTable (idx, source, device, mac) values (2, 0, 'Kx-1042', '00:11')");
        rig.env.settings->bzdevice = QStringLiteral("Kx-1042");
        rig.devices.selected = QStringLiteral("Kx-1042");
        QVERIFY(rig.viewer->setViewerParams(params(1, 10, 25)));
        QVERIFY(rig.devices.calls.isEmpty());

        rig.devices.selected.clear();
        QVERIFY(rig.viewer->setViewerParams(params(1, 10, 50)));
        QCOMPARE(rig.devices.calls, (QList<QPair<int, int>>{{0, 2}}));

        // A name with a quote is looked up as typed.
        rig.env.exec("insert into discoveryTable (idx, source, device, mac) values (4, 0, 'Kx''s', '00:12')");
        rig.env.settings->bzdevice = QStringLiteral("Kx's");
        rig.viewer->setUiDataViewerSettings();
        QCOMPARE(rig.devices.calls.last(), (QPair<int, int>{0, 4}));

        rig.viewer->updateUiDataViewerSettings(); // never selects
        QCOMPARE(rig.devices.calls.size(), 2);

        // Before the screens are there nothing is selected: they would not show it.
        rig.devices.selected.clear();
        rig.publisher.uiData = nullptr;
        rig.viewer->setUiDataViewerSettings();
        QCOMPARE(rig.devices.calls.size(), 2);
    }

    // With a recording shown, a speed change keeps the left edge's entry
    // and asks the chart to redraw.
    void speedChangeKeepsTheLeftEdge()
    {
        ViewerRig rig;
        ChartRecording::Layout l;
        l.samples = 40000;
        l.tail = 0;
        const int id = ChartRecording::record(*rig.env.files, l);
        QCOMPARE(rig.env.files->selectFile(id), id);
        rig.chart->setStreaming(false);
        rig.chart->setLeadInLength(2500);
        rig.publisher.flickable = &rig.flickable;
        rig.flickable.setProperty("contentX", 0.0);
        rig.chart->setSize(1000, 500);
        QVERIFY(rig.viewer->setViewerParams(params(1, 10, 25)));
        rig.flickable.setProperty("contentX", 3000.0);
        const double entry = 3000.0 * rig.chart->samplesPerPixel();
        rig.publisher.journal.clear();
        QVERIFY(rig.viewer->setViewerParams(params(1, 10, 10)));
        const double x = rig.flickable.property("contentX").toDouble();
        QCOMPARE(x * rig.chart->samplesPerPixel(), entry);
        QCOMPARE(rig.publisher.written("call:"), QStringList{"call:qmlRefreshEcgData"});
        QCOMPARE(rig.chart->decimationFactor(), 5); // budget 4000 at 1000 pixels
    }
};

QTEST_MAIN(TstViewerSettings)
#include "tst_viewersettings.moc"
