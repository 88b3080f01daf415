// The live view end to end: the real bridge and screens, the Bluetooth
// stream over the simulated device (120 beats per minute, four times real
// time), found by the inquiry without a click.

#include "appharness.h"
#include "updateandterms.h"
#include "dbman.h"
#include "deviceselection.h"
#include "livetap.h"
#include "rawstreambt.h"
#include "settingsman.h"
#include "simdevice.h"
#include "toneplayer.h"
#include "viewersettings.h"

#include <QAccessible>
#include <QSqlQuery>
#include <QtTest>

class TstLiveStream : public QObject
{
    Q_OBJECT

    LiveApp m_live;

    QVariant ui(const char* name) const { return m_live.ui(name); }
    CBtBackendSim* sim() const
    {
        return dynamic_cast<CBtBackendSim*>(m_live.bridge().stream()->socketLayer()->backend());
    }
    QHash<QString, QAccessibleInterface*> buttons() const { return m_live.buttons(); }

    // Stream samples seen since the tap was (re)set, waiting at most ms.
    bool streamFor(int samples, int ms)
    {
        const int target = m_live.tap().samples + samples;
        return AppHarness::waitFor([&] { return m_live.tap().samples >= target; }, ms);
    }

private slots:
    void initTestCase()
    {
        const QString failed = m_live.start("4");
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(sim());
        CQmlInterface& bridge = m_live.bridge();
        const ViewerParams p = bridge.viewer().params();
        bridge.setViewerParams(p.ecgDisplayMode, p.gain, p.speed, false, false, true, true, true);
    }

    void cleanupTestCase() { m_live.finish(); }

    // "New ECG" with no device chosen: the inquiry finds the simulated one,
    // it becomes the stored device and the trace runs with the heart rate.
    void newEcgFindsDeviceAndStreams()
    {
        CQmlInterface& bridge = m_live.bridge();
        QVERIFY(bridge.settingsMan()->bzdevice.isEmpty() || bridge.settingsMan()->bzdevice == "unknown"
                || !bridge.settingsMan()->bzdevice.startsWith("Kx"));
        // Found by its accessible name and clicked.
        QAccessibleInterface* newEcg = buttons().value(QStringLiteral("New ECG"));
        QVERIFY2(newEcg && newEcg->object(), qPrintable(QStringList(buttons().keys()).join(", ")));
        QVERIFY(QMetaObject::invokeMethod(newEcg->object(), "clicked"));
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 1; }));
        QVERIFY(bridge.deviceSelection().isStartPending());
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 15000));
        QCOMPARE(bridge.settingsMan()->bzdevice, QStringLiteral("Kx Simulated ECG"));
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("Kx Simulated ECG"));
        QVERIFY(ui("validStreamInputDeviceSelected").toBool());
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("select idx, device, mac from discoveryTable where source = 0"));
        QVERIFY(q.next());
        QCOMPARE(q.value(1).toString(), QStringLiteral("Kx Simulated ECG"));
        QCOMPARE(q.value(2).toString().toLower(), QStringLiteral("00:80:2a:4b:58:01"));
        QVERIFY(!q.next());

        // Eight seconds of stream: the analysis has settled.
        QVERIFY(streamFor(4000, 20000));
        QVERIFY(ui("isLeadInComplete").toBool());
        QVERIFY(AppHarness::waitFor([&] { return std::abs(ui("beatsPerMinuteLabel").toInt() - 120) <= 2; }, 5000));
        const auto live = buttons();
        QVERIFY2(live.contains("Stop Monitor") && live.contains("Record"),
                 qPrintable(QStringList(live.keys()).join(", ")));
    }

    // The decoder's beat flags fall on the generator's beats (every 250
    // samples at 120 per minute) and the tone sounds once for each.
    void beatsAndTone()
    {
        CQmlInterface& bridge = m_live.bridge();
        CTonePlayer& tone = bridge.tonePlayer();
        m_live.tap().beats.clear();
        const int tonesBefore = tone.requestCount();
        QVERIFY(streamFor(2500, 15000));
        const int tones = tone.requestCount() - tonesBefore;
        QVERIFY2(m_live.tap().beats.size() >= 9, qPrintable(QString::number(m_live.tap().beats.size())));
        for (int i = 1; i < m_live.tap().beats.size(); ++i) {
            const int gap = m_live.tap().beats[i] - m_live.tap().beats[i - 1];
            QVERIFY2(std::abs(gap - 250) <= 3, qPrintable(QString::number(gap)));
        }
        // The tick may have handed on a beat that the tap saw after its last drain.
        QVERIFY2(std::abs(tones - int(m_live.tap().beats.size())) <= 1,
                 qPrintable(QStringLiteral("%1 tones, %2 beats").arg(tones).arg(m_live.tap().beats.size())));

        // Switched off, no further tone.
        const ViewerParams p = bridge.viewer().params();
        bridge.setViewerParams(p.ecgDisplayMode, p.gain, p.speed, false, false, true, false, true);
        const int off = tone.requestCount();
        QVERIFY(streamFor(1000, 10000));
        QCOMPARE(tone.requestCount(), off);
        bridge.setViewerParams(p.ecgDisplayMode, p.gain, p.speed, false, false, true, true, true);
    }

    // The device drops the link mid-stream: the link comes back (the stream
    // reconnects, or the live view restarts it when a tick sees the loss)
    // and so does the heart rate.
    void linkDroppedMidStream()
    {
        CQmlInterface& bridge = m_live.bridge();
        const int connections = sim()->connectionCount();
        sim()->dropLink();
        QVERIFY(AppHarness::waitFor([&] { return sim()->connectionCount() > connections; }, 15000));
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 15000));
        QVERIFY(streamFor(4000, 20000));
        QVERIFY(AppHarness::waitFor([&] { return std::abs(ui("beatsPerMinuteLabel").toInt() - 120) <= 2; }, 5000));
        QVERIFY(bridge.liveView().isStreaming());
        QCOMPARE(ui("displayState").toInt(), 1);
    }

    // "Stop Monitor": the stream ends, the chart shows the stored state.
    void stopMonitor()
    {
        CQmlInterface& bridge = m_live.bridge();
        bridge.streamStartStop(false);
        QVERIFY(!ui("streamRefreshTimerRunning").toBool());
        QVERIFY(!ui("isBtConnected").toBool());
        QCOMPARE(ui("beatsPerMinuteLabel").toString(), QString());
        QVERIFY(!bridge.stream()->isAcquisitionOn());
        // A machine without sound says so once the tone is asked for; nothing else may warn.
        QStringList warnings = AppHarness::warnings();
        warnings.removeIf([](const QString& w) {
            return w.contains("pa_context_connect") || w.contains("No audio device");
        });
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    }
};

QTEST_MAIN(TstLiveStream)
#include "tst_livestream.moc"
