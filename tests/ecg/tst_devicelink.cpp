// End to end: the simulated device, the socket layer, the Bluetooth stream
// and the decoder together.
#include <QtTest>

#include "commalocale.h"
#include "devicestreamwriter.h"
#include "linkowner.h"
#include "simdevice.h"
#include "synthecg.h"

#include <cmath>
#include <memory>

namespace {
const QString kSimAddress = QStringLiteral("00:80:2a:4b:58:01");
const QString kSimName = QStringLiteral("Kx Simulated ECG");

struct Link {
    TestLinkOwner owner;
    CBtBackendSim* sim = nullptr;
    std::unique_ptr<CRawStreamBt> stream;

    explicit Link(const SimDeviceConfig& config)
    {
        auto backend = std::make_unique<CBtBackendSim>(config);
        sim = backend.get();
        stream = std::make_unique<CRawStreamBt>(nullptr, &owner, &owner, std::move(backend));
        owner.stream = stream.get();
    }
    ~Link()
    {
        drain.reset();
        owner.stream = nullptr;
        stream.reset();
    }
    void select() { stream->btSelectDevice(kSimName, kSimAddress); }
    // Selects the device, drains the stream as the live view does, starts.
    TestDrain& start()
    {
        select();
        drain = std::make_unique<TestDrain>(stream.get());
        stream->startStop(true);
        return *drain;
    }
    std::unique_ptr<TestDrain> drain;
};
}

class TestDeviceLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void environmentConfiguresTheDevice();
    void discoveryFindsTheDevice();
    void noAdapterIsReportedAsSuch();
    void deliversTheGeneratorsSignalAndEvents();
    void connectedOnlyWhenTheLinkIsUp();
    void silentDeviceIsReconnectedByTheWatchdog();
    void droppedLinkIsReported();
    void deviceThatNeverAnswersEndsInReportedFailure();
    void unreachableDeviceIsReported();
    void stopReleasesEverything();
};

void TestDeviceLink::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("malvorant.devicelink.debug=false"));
}

void TestDeviceLink::environmentConfiguresTheDevice()
{
    const SimDeviceConfig defaults = SimDeviceConfig::fromEnvironment();
    QCOMPARE(defaults.heartRate, 120.0);
    QCOMPARE(defaults.timeScale, 1.0);
    QVERIFY(defaults.silentAfter < 0 && defaults.dropAfter < 0 && !defaults.neverAnswers);

    qputenv("MALVORANT_DEVICE", "simulated");
    qputenv("MALVORANT_SIM_HEART_RATE", "180");
    qputenv("MALVORANT_SIM_AMPLITUDE_MV", "2.5");
    qputenv("MALVORANT_SIM_MAINS_HZ", "60");
    qputenv("MALVORANT_SIM_TOGGLE_EVERY", "10");
    qputenv("MALVORANT_SIM_NEVER_ANSWERS", "1");
    qputenv("MALVORANT_SIM_TIME_SCALE", "fast"); // not a number: ignored
    qputenv("MALVORANT_SIM_NOISE_MV", "-1");     // out of range: ignored
    SimDeviceConfig c;
    {
        // "2.5" is read with a point whatever the user's locale is.
        const CommaLocale comma;
        QVERIFY2(comma.isActive(), qPrintable(comma.error()));
        c = SimDeviceConfig::fromEnvironment();
    }
    QCOMPARE(c.heartRate, 180.0);
    QCOMPARE(c.amplitudeMv, 2.5);
    QCOMPARE(c.mainsHz, 60.0);
    QCOMPARE(c.toggleEvery, 10.0);
    QVERIFY(c.neverAnswers);
    QCOMPARE(c.timeScale, 1.0);
    QCOMPARE(c.noiseMv, defaults.noiseMv);
    const auto backend = createBtBackend();
    QCOMPARE(backend->backendName(), QStringLiteral("simulated"));
    for (const char* v : {"MALVORANT_DEVICE", "MALVORANT_SIM_HEART_RATE", "MALVORANT_SIM_AMPLITUDE_MV",
                          "MALVORANT_SIM_MAINS_HZ", "MALVORANT_SIM_TOGGLE_EVERY", "MALVORANT_SIM_NEVER_ANSWERS",
                          "MALVORANT_SIM_TIME_SCALE", "MALVORANT_SIM_NOISE_MV"})
        qunsetenv(v);
}

void TestDeviceLink::discoveryFindsTheDevice()
{
    SimDeviceConfig cfg;
    Link link(cfg);
    QVERIFY(link.stream->btDiscover());
    QCOMPARE(link.owner.discoverKinds, QList<int>{1});
    QCOMPARE(link.owner.lastCount, 1);
    QCOMPARE(link.owner.lastTable[0].name, kSimName);
    QCOMPARE(link.owner.lastTable[0].address, kSimAddress);
    QVERIFY(link.owner.discoverTexts[0].isEmpty());
}

void TestDeviceLink::noAdapterIsReportedAsSuch()
{
    SimDeviceConfig cfg;
    cfg.noAdapter = true;
    Link link(cfg);
    QVERIFY(!link.stream->btDiscover());
    QCOMPARE(link.owner.discoverKinds, QList<int>{0});
    QCOMPARE(link.owner.discoverTexts[0], QStringLiteral("No Bluetooth adapter"));
    QCOMPARE(link.owner.lastCount, 0);
}

void TestDeviceLink::deliversTheGeneratorsSignalAndEvents()
{
    // Eight seconds of stream at four times real time, with toggles at the
    // device every three seconds and a low battery from the sixth second.
    SimDeviceConfig cfg;
    cfg.heartRate = 120;
    cfg.amplitudeMv = 1.5;
    cfg.noiseMv = 0.01;
    cfg.mainsMv = 0.05;
    cfg.toggleEvery = 3.0;
    cfg.batteryLowAfter = 6.0;
    cfg.timeScale = 4.0;
    cfg.seed = 5;
    Link link(cfg);
    TestDrain& drain = link.start();
    QCOMPARE(link.owner.connectErrors, QList<int>{0});
    QCOMPARE(link.owner.connectTexts, QList<QString>{kSimName});
    QVERIFY(link.stream->socketLayer()->isConnected());
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() >= 4000, 15000);
    link.stream->startStop(false);
    QCOMPARE(link.owner.retries, 1); // the stop itself is reported as the end of the link

    // The generator again, quantised as the device does, through the
    // decoder's filter: the delivered leads must be exactly these.
    const SynthEcgParams p = cfg.synthParams();
    QCOMPARE(p.amplitude, 1.5 * 1000.0 / 5.2);
    CSynthEcg gen(p);
    const int n = drain.samples() + 200;
    std::vector<double> rawI, rawII, genI, genII;
    for (int i = 0; i < n; ++i) {
        const SynthEcgSample s = gen.next();
        rawII.push_back(teststream::quantiseII(s.leadII) * 0.595);
        rawI.push_back(teststream::quantiseI(s.leadI) * 0.595);
        genII.push_back(2048 * 0.595 - s.leadII);
        genI.push_back(2048 * 0.595 + s.leadI);
    }
    // The filter as the decoder runs it from generator sample k0 on: settled
    // on that sample's value, lead II negated.
    std::vector<float> refI, refII;
    std::vector<double> exactI, exactII;
    auto filterFrom = [&](int k0, int count) {
        refI.assign(std::size_t(k0), 0.0f);
        refII.assign(std::size_t(k0), 0.0f);
        exactI.assign(std::size_t(k0), 0.0);
        exactII.assign(std::size_t(k0), 0.0);
        IirSection hpI, hpII, hpExactI, hpExactII;
        hpI.settleHighPass005(rawI[std::size_t(k0)]);
        hpII.settleHighPass005(rawII[std::size_t(k0)]);
        hpExactI.settleHighPass005(genI[std::size_t(k0)]);
        hpExactII.settleHighPass005(genII[std::size_t(k0)]);
        for (int k = k0; k < std::min(n, k0 + count); ++k) {
            refII.push_back(float(-hpII.processHighPass005(rawII[std::size_t(k)])));
            refI.push_back(float(hpI.processHighPass005(rawI[std::size_t(k)])));
            exactII.push_back(-hpExactII.processHighPass005(genII[std::size_t(k)]));
            exactI.push_back(hpExactI.processHighPass005(genI[std::size_t(k)]));
        }
    };
    std::vector<EcgStreamSample> samples;
    std::vector<int> eventTypes;
    std::vector<int> eventAt;
    for (const auto& r : drain.records) {
        if (r.type >= 0) {
            samples.push_back(r);
        } else {
            eventTypes.push_back(r.type);
            eventAt.push_back(int(samples.size()));
        }
    }
    // Records before the decoder recognised the protocol are not delivered:
    // find where the delivered samples begin.
    QVERIFY(samples.size() > 50);
    int k0 = -1;
    for (int k = 0; k < 200 && k0 < 0; ++k) {
        filterFrom(k, 50);
        bool same = true;
        for (std::size_t j = 0; j < 50 && same; ++j)
            same = refI[std::size_t(k) + j] == samples[j].leadI && refII[std::size_t(k) + j] == samples[j].leadII;
        if (same)
            k0 = k;
    }
    QVERIFY(k0 >= 0);
    filterFrom(k0, n);
    const auto beats = gen.pastBeats();
    for (std::size_t j = 0; j < samples.size(); ++j) {
        const std::size_t k = std::size_t(k0) + j;
        const EcgStreamSample& s = samples[j];
        QCOMPARE(s.leadI, refI[k]);
        QCOMPARE(s.leadII, refII[k]);
        // within the device's quantisation of the generator's own values
        QVERIFY2(std::fabs(s.leadI - exactI[k]) <= 0.6, qPrintable(QString::number(j)));
        QVERIFY2(std::fabs(s.leadII - exactII[k]) <= 0.6, qPrintable(QString::number(j)));
        QCOMPARE(s.leadIII, float(double(s.leadII) - double(s.leadI)));
        QCOMPARE(s.leadNegAvr, (s.leadII + s.leadI) * 0.5f);
        QCOMPARE(s.leadAvl, float(double(s.leadI) - double(s.leadII) / 2.0));
        QCOMPARE(s.leadAvf, float(double(s.leadII) - double(s.leadI) / 2.0));
        if (s.type == ECG_SAMPLE_RPEAK) {
            bool onBeat = false;
            for (const auto& b : beats)
                onBeat = onBeat || std::abs(int(b.sample) - int(k)) <= 15;
            QVERIFY2(onBeat, qPrintable(QString("R flag at %1").arg(k)));
        }
    }
    // The flags are the decoder's own: a decoder fed the same device words
    // from the first packet flags the same samples.
    teststream::FramedWriter w;
    {
        CSynthEcg again(p);
        for (int i = 0; i < n; ++i) {
            const SynthEcgSample s = again.next();
            w.addSample(teststream::quantiseII(s.leadII), teststream::quantiseI(s.leadI));
        }
    }
    CDatCodec reference;
    reference.setDeviceType(1);
    std::vector<int> refTypes;
    EcgStreamSample rec{};
    reference.setMode(CDatCodec::kModeFramed);
    for (char c : w.out)
        if (reference.decode(static_cast<unsigned char>(c), &rec) && rec.type >= 0)
            refTypes.push_back(rec.type);
    int flags = 0;
    for (std::size_t j = 0; j < samples.size(); ++j) {
        QCOMPARE(samples[j].type, refTypes[std::size_t(k0) + j]);
        flags += samples[j].type == ECG_SAMPLE_RPEAK ? 1 : 0;
    }
    // The device's offset makes the detector's first maximum huge; once its
    // 2,000-sample reset has passed, every beat is flagged.
    QVERIFY(flags > 0);
    for (const auto& b : beats) {
        const int j = int(b.sample) - k0;
        if (b.sample < 2500 || j + 20 >= int(samples.size()))
            continue;
        bool flagged = false;
        for (int d = -15; d <= 15; ++d)
            flagged = flagged || samples[std::size_t(j + d)].type == ECG_SAMPLE_RPEAK;
        QVERIFY2(flagged, qPrintable(QString("beat at %1").arg(b.sample)));
    }

    // Events, in order: the device's introduction, a toggle at 3 s, a toggle
    // and the low battery from 6 s on, once per packet; never an error.
    QVERIFY(!eventTypes.empty());
    QCOMPARE(eventTypes[0], int(ECG_EVENT_DEVICE_INFO));
    QCOMPARE(deviceInfoFromSample(drain.records[std::size_t(std::find_if(drain.records.begin(), drain.records.end(),
                                                                         [](const EcgStreamSample& r) { return r.type < 0; }) -
                                                            drain.records.begin())])
                 .a,
             0x4B580001u);
    QVERIFY(std::count(eventTypes.begin(), eventTypes.end(), int(ECG_EVENT_PACKET_ERROR)) == 0);
    std::vector<int> toggles, batteries;
    for (std::size_t i = 0; i < eventTypes.size(); ++i) {
        const int at = eventAt[i] + k0;
        if (eventTypes[i] == ECG_EVENT_RECORD_TOGGLE)
            toggles.push_back(at);
        if (eventTypes[i] == ECG_EVENT_BATTERY_LOW)
            batteries.push_back(at);
    }
    QCOMPARE(int(toggles.size()), 2);
    QVERIFY2(toggles[0] >= 1500 && toggles[0] <= 1500 + 3 * 32, qPrintable(QString::number(toggles[0])));
    QVERIFY2(toggles[1] >= 3000 && toggles[1] <= 3000 + 3 * 32, qPrintable(QString::number(toggles[1])));
    QVERIFY(!batteries.empty());
    QVERIFY2(batteries.front() >= 3000 && batteries.front() <= 3000 + 32, qPrintable(QString::number(batteries.front())));
    // once per packet, but not on the packet that reports a toggle
    for (std::size_t i = 1; i < batteries.size(); ++i)
        QVERIFY(batteries[i] - batteries[i - 1] <= 64);
    QVERIFY(batteries.back() >= int(samples.size()) + k0 - 64);
}

void TestDeviceLink::connectedOnlyWhenTheLinkIsUp()
{
    SimDeviceConfig cfg;
    cfg.connectDelayMs = 400;
    cfg.timeScale = 4;
    Link link(cfg);
    TestDrain& drain = link.start();
    // The connect is under way: nothing reported, nothing sent.
    QVERIFY(link.owner.connectErrors.isEmpty());
    QVERIFY(!link.stream->socketLayer()->isConnected());
    QVERIFY(link.stream->socketLayer()->hasSocket());
    QTRY_COMPARE_WITH_TIMEOUT(link.owner.connectErrors, QList<int>{0}, 5000);
    QVERIFY(link.stream->socketLayer()->isConnected());
    // The start command was the first thing the device heard.
    QTRY_VERIFY(link.sim->commandsOfLatest().startsWith("\\A"));
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() > 500, 10000);
    QCOMPARE(link.owner.retries, 0);
}

void TestDeviceLink::silentDeviceIsReconnectedByTheWatchdog()
{
    SimDeviceConfig cfg;
    cfg.timeScale = 2;
    Link link(cfg);
    TestDrain& drain = link.start();
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() > 500, 10000);
    link.sim->goSilent();
    const int before = drain.samples();
    // Three seconds without a sample: the link is dropped, reported and made again.
    QTRY_COMPARE_WITH_TIMEOUT(link.sim->connectionCount(), 2, 10000);
    QCOMPARE(link.owner.retries, 1);
    QTRY_COMPARE_WITH_TIMEOUT(link.owner.connectErrors, (QList<int>{0, 0}), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() > before + 500, 10000);
    QVERIFY(link.stream->isAcquisitionOn());
}

void TestDeviceLink::droppedLinkIsReported()
{
    SimDeviceConfig cfg;
    cfg.timeScale = 2;
    Link link(cfg);
    TestDrain& drain = link.start();
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() > 300, 10000);
    link.sim->dropLink();
    QTRY_COMPARE_WITH_TIMEOUT(link.owner.disconnectedReports, 1, 5000);
    QCOMPARE(link.owner.retries, 1);
    // Acquisition is on: the stream connects again.
    QTRY_COMPARE_WITH_TIMEOUT(link.sim->connectionCount(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(link.owner.connectErrors.size(), 2, 5000);
    const int before = drain.samples();
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() > before + 300, 10000);

    // The device drops the link on its own after a while (environment's
    // MALVORANT_SIM_DROP_AFTER): reported the same way.
    SimDeviceConfig c2;
    c2.timeScale = 4;
    c2.dropAfter = 1.0;
    Link l2(c2);
    TestDrain& d2 = l2.start();
    QTRY_VERIFY_WITH_TIMEOUT(l2.owner.disconnectedReports >= 1, 5000);
    l2.stream->startStop(false);
    QVERIFY(d2.samples() > 0);
}

void TestDeviceLink::deviceThatNeverAnswersEndsInReportedFailure()
{
    SimDeviceConfig cfg;
    cfg.neverAnswers = true;
    Link link(cfg);
    link.owner.stopAfterRetries = 4; // as the bridge does
    link.stream->setSilenceTimeoutMs(300);
    link.select();
    TestDrain drain(link.stream.get());
    link.stream->startStop(true);
    QTRY_VERIFY_WITH_TIMEOUT(!link.stream->isAcquisitionOn(), 10000);
    QCOMPARE(link.owner.retries, 4);
    QCOMPARE(link.sim->connectionCount(), 4);
    QVERIFY(!link.stream->socketLayer()->hasSocket());
    QCOMPARE(drain.samples(), 0);
    // Nothing reconnects once stopped.
    QTest::qWait(400);
    QCOMPARE(link.sim->connectionCount(), 4);
}

void TestDeviceLink::unreachableDeviceIsReported()
{
    SimDeviceConfig cfg;
    Link link(cfg);
    link.owner.stopAfterRetries = 4;
    link.stream->btSelectDevice(QStringLiteral("Kx Elsewhere"), QStringLiteral("00:11:22:33:44:55"));
    TestDrain drain(link.stream.get());
    link.stream->startStop(true);
    QCOMPARE(link.owner.connectErrors.value(0, -1), 1);
    QVERIFY(!link.owner.connectTexts[0].isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!link.stream->isAcquisitionOn(), 5000);
    QCOMPARE(link.owner.retries, 4);
    QVERIFY(!link.sim->isRegistered());
    QCOMPARE(link.sim->openHandles(), 0);

    // No device selected at all.
    Link l2(cfg);
    l2.stream->startStop(true);
    QCOMPARE(l2.owner.connectErrors, QList<int>{1});
    QCOMPARE(l2.owner.connectTexts, QList<QString>{QStringLiteral("No device selected")});
}

void TestDeviceLink::stopReleasesEverything()
{
    SimDeviceConfig cfg;
    cfg.timeScale = 4;
    Link link(cfg);
    TestDrain& drain = link.start();
    QVERIFY(link.sim->isRegistered());
    QTRY_VERIFY_WITH_TIMEOUT(drain.samples() > 100, 5000);
    link.stream->startStop(false);
    QVERIFY(!link.stream->socketLayer()->hasSocket());
    QVERIFY(!link.sim->isRegistered());
    QCOMPARE(link.sim->openHandles(), 0);
    const int count = link.sim->connectionCount();
    QTest::qWait(300);
    QCOMPARE(link.sim->connectionCount(), count);
    // Starting again works on a fresh link.
    link.stream->startStop(true);
    QTRY_COMPARE_WITH_TIMEOUT(link.sim->connectionCount(), count + 1, 5000);
    QVERIFY(link.stream->socketLayer()->isConnected());
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
