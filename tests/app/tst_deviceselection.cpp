// Device discovery and selection on the real bridge over the simulated
// device: the timer and its budget, the rows, kind 1 and kind 0 reports,
// the list's row index, the retry limit and a device that never answers.

#include "appharness.h"
#include "dbman.h"
#include "deviceselection.h"
#include "liveview.h"
#include "recordingcontrol.h"
#include "rawstreambt.h"
#include "settingsman.h"
#include "simdevice.h"
#include "updateandterms.h"

#include <QQuickItem>
#include <QQuickWindow>

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

class TstDeviceSelection : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppHarness> m_app;

    CQmlInterface& bridge() { return m_app->bridge(); }
    DeviceSelection& devices() { return m_app->bridge().deviceSelection(); }
    QVariant ui(const char* name) { return bridge().items().object(qml::Item::UiData)->property(name); }
    CBtBackendSim* sim() { return dynamic_cast<CBtBackendSim*>(bridge().stream()->socketLayer()->backend()); }
    QStringList rows()
    {
        QSqlQuery q(*bridge().dbMan()->database());
        q.exec("select idx, source, device, mac from discoveryTable order by source, idx");
        QStringList out;
        while (q.next())
            out << QStringLiteral("%1/%2/%3/%4").arg(q.value(0).toInt()).arg(q.value(1).toInt())
                       .arg(q.value(2).toString(), q.value(3).toString());
        return out;
    }

private slots:
    void initTestCase()
    {
        qputenv("MALVORANT_DEVICE", "simulated");
        m_app = std::make_unique<AppHarness>();
        QVERIFY(m_app->loadReturningUser());
        QVERIFY(sim());
    }

    void cleanupTestCase()
    {
        bridge().streamStartStop(false);
        m_app->unload();
        m_app.reset();
    }

    // The settings view, opened through main as the title bar does.
    QQuickItem* openSettings()
    {
        QQuickWindow* window = qobject_cast<QQuickWindow*>(m_app->engine()->rootObjects().first());
        QVariant opened;
        QMetaObject::invokeMethod(window, "openView", Q_RETURN_ARG(QVariant, opened), Q_ARG(QVariant, "settings"));
        QObject* loader = window->property("viewLoaders").toMap().value("settings").value<QObject*>();
        auto* view = loader ? qobject_cast<QQuickItem*>(loader->property("item").value<QObject*>()) : nullptr;
        if (view) {
            view->setVisible(true);
            view->setProperty("openedAccordion", 1); // Bluetooth
        }
        return view;
    }

    // "New ECG" before any device is known: the search keeps the busy
    // indicator on although the live tick runs meanwhile, and starts the
    // stream with the device it chose.
    void startSearchKeepsTheBusyIndicator()
    {
        QCOMPARE(devices().selectedInputDevice(), QString());
        bridge().streamStartStop(true);
        QVERIFY(devices().isStartPending());
        QVERIFY(ui("busyIndicatorRunning").toBool());
        bridge().liveView().updateStreamedEcg(EcgSeries{});
        QVERIFY(ui("busyIndicatorRunning").toBool());
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 10000));
        QVERIFY(!devices().isStartPending());
        QVERIFY(!ui("busyIndicatorRunning").toBool());
        QCOMPARE(devices().selectedInputDevice(), QStringLiteral("Kx Simulated ECG"));
        bridge().streamStartStop(false);
    }

    // A search runs three inquiries, one a second; the fourth tick ends it.
    // Starting it twice leaves one timer with a fresh budget. The busy
    // indicator stays on until the last inquiry has ended; the device is
    // chosen once, at the end.
    void searchBudget()
    {
        QQuickItem* settings = openSettings();
        QVERIFY(settings);
        QSignalSpy retrieved(settings, SIGNAL(qmlStreamsRetrieved(int,int)));
        bridge().refreshInputList(0);
        bridge().refreshInputList(0);
        QVERIFY(devices().isDiscoveryTimerActive());
        QCOMPARE(devices().budget(), 3);
        QVERIFY(ui("busyIndicatorRunning").toBool());
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("---"));
        int betweenInquiries = 0;
        QVERIFY(AppHarness::waitFor([&] {
            if (devices().budget() == 1 || devices().budget() == 2) {
                ++betweenInquiries;
                if (!ui("busyIndicatorRunning").toBool())
                    return true;
            }
            return !devices().isDiscoveryTimerActive();
        }, 8000));
        QVERIFY(betweenInquiries > 0);
        QVERIFY(!devices().isDiscoveryTimerActive());
        QCOMPARE(devices().budget(), 0);
        QVERIFY(!ui("busyIndicatorRunning").toBool());
        int choices = 0;
        for (const QList<QVariant>& args : retrieved)
            choices += args.value(1).toInt() >= 0 ? 1 : 0;
        QCOMPARE(choices, 1);
        // Each inquiry found the simulated device; the end of the search chose it.
        QCOMPARE(rows(), QStringList{"0/0/Kx Simulated ECG/00:80:2a:4b:58:01"});
        QCOMPARE(bridge().settingsMan()->bzdevice, QStringLiteral("Kx Simulated ECG"));
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("Kx Simulated ECG"));
        QVERIFY(ui("validStreamInputDeviceSelected").toBool());
        QCOMPARE(ui("inputChannelListIndex").toInt(), 0);
    }

    // Reports straight from the stream: kind 1 lists, kind 0 chooses the
    // stored device (else the first); a name already listed under another
    // source is not listed again; no device shows "---".
    void reports()
    {
        QSqlQuery q(*bridge().dbMan()->database());
        QVERIFY(q.exec("insert into discoveryTable (idx, source, device, mac) values(7, 1, 'Kx Hub', 'hub')"));
        BtDeviceEntry table[5] = {{"Kx One", "00:00:00:00:00:01"}, {"Kx Hub", "00:00:00:00:00:02"},
                                  {"Kx Simulated ECG", "00:80:2a:4b:58:01"}};
        bridge().rawStreamRespDiscoverBt(1, QString(), 3, table);
        QCOMPARE(rows(), (QStringList{"0/0/Kx One/00:00:00:00:00:01", "2/0/Kx Simulated ECG/00:80:2a:4b:58:01",
                                      "7/1/Kx Hub/hub"}));
        QCOMPARE(devices().selectedIndex(), 2);
        bridge().rawStreamRespDiscoverBt(0, QString(), 3, table);
        QCOMPARE(ui("inputChannelListIndex").toInt(), 2);
        QCOMPARE(bridge().stream()->selectedAddress(), QStringLiteral("00:80:2a:4b:58:01"));

        // Kinds other than 0 and 1 change nothing; a count beyond the table is cut.
        bridge().rawStreamRespDiscoverBt(2, QString(), 3, table);
        QCOMPARE(rows().size(), 3);
        bridge().rawStreamRespDiscoverBt(1, QString(), 99, table);
        QCOMPARE(rows().size(), 3);

        bridge().rawStreamRespDiscoverBt(0, QString(), 0, table);
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("---"));
        QVERIFY(!ui("validStreamInputDeviceSelected").toBool());
        QVERIFY(q.exec("delete from discoveryTable"));
    }

    // The list passes a row's idx; a missing row selects nothing.
    void listSelection()
    {
        BtDeviceEntry table[5] = {{"Kx One", "00:00:00:00:00:01"}, {"Kx Two", "00:00:00:00:00:02"}};
        bridge().rawStreamRespDiscoverBt(1, QString(), 2, table);
        bridge().setInputChannel(0, 1);
        QCOMPARE(bridge().settingsMan()->bzdevice, QStringLiteral("Kx Two"));
        QCOMPARE(bridge().stream()->selectedAddress(), QStringLiteral("00:00:00:00:00:02"));
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("Kx Two"));
        QVERIFY(ui("validStreamInputDeviceSelected").toBool());
        bridge().setInputChannel(0, 4);
        QVERIFY(!ui("validStreamInputDeviceSelected").toBool());
        QCOMPARE(bridge().settingsMan()->bzdevice, QStringLiteral("Kx Two"));
        // Another input type than the stored one is refused.
        bridge().setInputChannel(1, 0);
        QCOMPARE(bridge().settingsMan()->bzdevice, QStringLiteral("Kx Two"));
    }

    // The settings list shows the searched devices by their idx (a name
    // listed under another source leaves a gap): the chosen device is the
    // highlighted row, and a click selects the row's own device.
    void listRowsPassTheirIdx()
    {
        QQuickItem* settings = openSettings();
        QVERIFY(settings);
        QSqlQuery q(*bridge().dbMan()->database());
        QVERIFY(q.exec("insert into discoveryTable (idx, source, device, mac) values(7, 1, 'Kx Hub', 'hub')"));
        bridge().settingsMan()->bzdevice = QStringLiteral("Kx Two");
        BtDeviceEntry table[5] = {{"Kx One", "00:00:00:00:00:01"}, {"Kx Hub", "00:00:00:00:00:02"},
                                  {"Kx Two", "00:00:00:00:00:03"}};
        bridge().rawStreamRespDiscoverBt(0, QString(), 3, table);
        QCOMPARE(devices().selectedIndex(), 2);
        auto* list = settings->findChild<QQuickItem*>("deviceList");
        QVERIFY(list);
        QCOMPARE(list->property("count").toInt(), 2);
        QCOMPARE(list->property("currentIndex").toInt(), 1);

        auto row = [&](const QString& name) -> QQuickItem* {
            QList<QQuickItem*> items = list->childItems();
            for (int i = 0; i < items.size(); ++i)
                items << items[i]->childItems();
            for (QQuickItem* item : items) {
                if (item->inherits("QQuickRadioDelegate") && item->property("text").toString() == name)
                    return item;
            }
            return nullptr;
        };
        QVERIFY(AppHarness::waitFor([&] { return row("Kx One") && row("Kx Two"); }));
        for (const char* name : {"Kx One", "Kx Two"}) {
            QQuickItem* delegate = row(QLatin1String(name));
            QVERIFY2(delegate, name);
            QVERIFY(QMetaObject::invokeMethod(delegate, "clicked"));
            QCOMPARE(bridge().settingsMan()->bzdevice, QLatin1String(name));
            QCOMPARE(bridge().stream()->selectedDeviceName(), QLatin1String(name));
            QVERIFY(ui("validStreamInputDeviceSelected").toBool());
        }
        QCOMPARE(bridge().stream()->selectedAddress(), QStringLiteral("00:00:00:00:00:03"));
        bridge().streamStartStop(false);
        settings->setVisible(false);
        QVERIFY(q.exec("delete from discoveryTable"));
    }

    // The stored device, listed from an earlier search, is selected when
    // the screens come up, without a search.
    void storedDeviceSelectedWithoutSearch()
    {
        QSqlQuery q(*bridge().dbMan()->database());
        QVERIFY(q.exec("insert into discoveryTable (idx, source, device, mac) "
                       "values(1, 0, 'Kx Simulated ECG', '00:80:2a:4b:58:01')"));
        bridge().settingsMan()->bzdevice = QStringLiteral("Kx Simulated ECG");
        bridge().setUiDataViewerSettings();
        QCOMPARE(devices().selectedInputDevice(), QStringLiteral("Kx Simulated ECG"));
        QCOMPARE(bridge().stream()->selectedAddress(), QStringLiteral("00:80:2a:4b:58:01"));
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("Kx Simulated ECG"));
        QVERIFY(q.exec("delete from discoveryTable"));
    }

    // A device that takes the link but never streams: the stream gives up
    // on it again and again; the fourth loss stops acquisition with the retry prompt.
    void deviceThatNeverAnswers()
    {
        BtDeviceEntry table[5] = {{"Kx Simulated ECG", "00:80:2a:4b:58:01"}};
        bridge().rawStreamRespDiscoverBt(0, QString(), 1, table);
        sim()->config().neverAnswers = true;
        bridge().stream()->setSilenceTimeoutMs(200);
        bridge().streamStartStop(true);
        QVERIFY(AppHarness::waitFor([&] { return ui("itsaRetry").toInt() == 1; }, 20000));
        QVERIFY(!ui("streamRefreshTimerRunning").toBool());
        QVERIFY(!ui("isBtConnected").toBool());
        QVERIFY(!bridge().stream()->isAcquisitionOn());
        sim()->config().neverAnswers = false;
        bridge().stream()->setSilenceTimeoutMs(CRawStreamBt::kSilenceMs);
        // The retry link starts afresh and streams.
        bridge().streamStartStop(true);
        QCOMPARE(ui("itsaRetry").toInt(), 0);
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 10000));
        bridge().streamStartStop(false);
    }

    // Refresh while the monitor streams (what the settings' button calls),
    // and the search finds no device: the monitor stays stopped and says
    // so, Record is off and a start records nothing. A search that finds the
    // device again brings the monitor back by itself.
    void refreshDuringMonitor()
    {
        BtDeviceEntry table[5] = {{"Kx Simulated ECG", "00:80:2a:4b:58:01"}};
        bridge().rawStreamRespDiscoverBt(0, QString(), 1, table);
        bridge().streamStartStop(true);
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 10000));
        const QString name = sim()->config().name;
        sim()->config().name = QStringLiteral("Other ECG");
        bridge().stopRefreshInputList(0);
        bridge().streamStartStop(false);
        bridge().refreshInputList(0);
        QVERIFY(devices().resumesAfterSearch());
        QVERIFY(AppHarness::waitFor([&] { return !devices().isDiscoveryTimerActive(); }, 8000));
        QTest::qWait(200);
        sim()->config().name = name;
        QVERIFY(!devices().resumesAfterSearch());
        QVERIFY(!bridge().liveView().isStreaming());
        QCOMPARE(ui("displayState").toInt(), 1);
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("---"));
        QVERIFY(!ui("isBtConnected").toBool());
        QVERIFY(!ui("isLeadInComplete").toBool());
        QVERIFY(!ui("streamRefreshTimerRunning").toBool());
        bridge().recordStartStop(true);
        QVERIFY(!bridge().recordingControl().isRecording());

        bridge().stopRefreshInputList(0);
        bridge().streamStartStop(false);
        bridge().refreshInputList(0);
        QVERIFY(AppHarness::waitFor([&] { return !devices().isDiscoveryTimerActive(); }, 8000));
        QVERIFY(AppHarness::waitFor([&] { return bridge().liveView().isStreaming() && ui("isBtConnected").toBool(); },
                                    10000));
        QCOMPARE(ui("inputDescriptiveName").toString(), QStringLiteral("Kx Simulated ECG"));
        QCOMPARE(ui("displayState").toInt(), 1);
        bridge().streamStartStop(false);
    }
};

QTEST_MAIN(TstDeviceSelection)
#include "tst_deviceselection.moc"
