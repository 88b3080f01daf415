// The device's journeys through the real main.qml and the bridge, over the
// simulated device: a recording made while the settings are asked to search
// for devices is kept and reaches its patient; its first seconds lie on the
// baseline although the device's values sit on a large offset; and a device
// found in one run is selected at the next start without a click (two runs of
// this program, as children, on one data folder).

#include "childrun.h"
#include "dbman.h"
#include "deviceselection.h"
#include "ecgfilerecords.h"
#include "fileecg.h"
#include "isolatedhome.h"
#include "livetap.h"
#include "rawstreambt.h"
#include "recordingcontrol.h"
#include "simdevice.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QQuickItem>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kDevice[] = "Kx Simulated ECG";
constexpr char kDeviceAddress[] = "00:80:2a:4b:58:01";
constexpr double kUnitsPerMv = 1000.0 / 5.2;

// The first visible item of the window's tree with that object name.
QQuickItem* findItem(QQuickWindow* window, const char* name)
{
    for (QQuickItem* item : window->findChildren<QQuickItem*>(QLatin1String(name))) {
        if (item->isVisible())
            return item;
    }
    return nullptr;
}

// The items drawn inside item (a list's delegates among them).
QList<QQuickItem*> visualDescendants(QQuickItem* item)
{
    QList<QQuickItem*> out;
    for (QQuickItem* child : item->childItems())
        out << child << visualDescendants(child);
    return out;
}

// A mouse press and release at the item's centre, as a user clicks.
void mouseClick(QQuickWindow* window, QQuickItem* item)
{
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

// Clicks the named button when it is there and enabled.
bool clickButton(LiveApp& live, const char* name)
{
    QAccessibleInterface* button = live.buttons().value(QLatin1String(name));
    return button && button->object() && button->object()->property("enabled").toBool()
           && QMetaObject::invokeMethod(button->object(), "clicked");
}

// The settings view through its title-bar button, with the Bluetooth
// section opened by a click on its heading.
QQuickItem* openBluetoothSettings(LiveApp& live)
{
    if (!clickButton(live, "Settings"))
        return nullptr;
    QObject* loader = live.window()->property("viewLoaders").toMap().value("settings").value<QObject*>();
    auto* view = loader ? qobject_cast<QQuickItem*>(loader->property("item").value<QObject*>()) : nullptr;
    if (!view || !AppHarness::waitFor([&] { return view->isVisible(); }))
        return nullptr;
    for (QQuickItem* section : view->findChildren<QQuickItem*>()) {
        if (section->property("title").toString() != QLatin1String("Bluetooth")
            || section->property("expanded").toBool())
            continue;
        for (QQuickItem* child : section->childItems()) {
            if (child->inherits("QQuickItemDelegate")) {
                mouseClick(live.window(), child);
                break;
            }
        }
    }
    const bool open = AppHarness::waitFor([&] { return view->property("openedAccordion").toInt() == 1
                                                       && findItem(live.window(), "deviceRefresh"); });
    return open ? view : nullptr;
}

// The two runs of the restart journey, as children of the test.
int childFail(const char* why)
{
    std::fprintf(stderr, "child: %s\n", why);
    return 2;
}

// First run: the settings search for devices; the search's end chooses the one found.
int searchRun(int argc, char** argv)
{
    QApplication app(argc, argv);
    LiveApp live;
    if (!live.start("4", true).isEmpty())
        return childFail("no start");
    DeviceSelection& devices = live.bridge().deviceSelection();
    QQuickItem* view = openBluetoothSettings(live);
    if (!view)
        return childFail("no Bluetooth settings");
    mouseClick(live.window(), findItem(live.window(), "deviceRefresh"));
    if (!devices.isDiscoveryTimerActive())
        return childFail("Refresh started no search");
    if (!AppHarness::waitFor([&] { return !devices.isDiscoveryTimerActive(); }, 10000))
        return childFail("the search did not end");
    std::printf("SEARCHED %s\n", qPrintable(live.bridge().settingsMan()->bzdevice));
    live.finish();
    return 0;
}

// Second run: the stored device is selected before any click, and "New ECG"
// connects it without an inquiry.
int restartRun(int argc, char** argv)
{
    QApplication app(argc, argv);
    LiveApp live;
    if (!live.start("4", true).isEmpty())
        return childFail("no start");
    CQmlInterface& bridge = live.bridge();
    auto* sim = dynamic_cast<CBtBackendSim*>(bridge.stream()->socketLayer()->backend());
    if (!sim)
        return childFail("not the simulated device");
    if (bridge.stream()->selectedAddress() != QLatin1String(kDeviceAddress))
        return childFail("the stored device is not selected in the stream");
    if (live.ui("inputDescriptiveName").toString() != QLatin1String(kDevice)
        || !live.ui("validStreamInputDeviceSelected").toBool())
        return childFail("the screens do not show the stored device");
    if (!clickButton(live, "New ECG"))
        return childFail("no New ECG button");
    if (bridge.deviceSelection().isStartPending())
        return childFail("New ECG searched for a device");
    if (!AppHarness::waitFor([&] { return live.ui("isBtConnected").toBool(); }, 10000))
        return childFail("not connected");
    if (sim->inquiryCount() != 0)
        return childFail("an inquiry ran");
    std::printf("SELECTED %s\n", qPrintable(bridge.stream()->selectedDeviceName()));
    live.finish();
    return 0;
}

} // namespace

static IsolatedHome isolatedHome;

class TstDeviceJourney : public QObject
{
    Q_OBJECT

    LiveApp m_live;
    // The recording of the first journey, read again by the baseline test.
    QString m_recordingPath;

    QVariant ui(const char* name) const { return m_live.ui(name); }
    CQmlInterface& bridge() const { return m_live.bridge(); }
    bool recording() const { return bridge().recordingControl().isRecording(); }
    int rowCount() const
    {
        QSqlQuery q(*bridge().dbMan()->database());
        return q.exec("select count(*) from ecgTable") && q.next() ? q.value(0).toInt() : -1;
    }
    // A visible text of the window reads exactly so.
    bool textShown(const QString& text) const
    {
        for (QQuickItem* item : m_live.window()->findChildren<QQuickItem*>()) {
            if (item->isVisible() && item->property("text").toString() == text) {
                bool shown = true;
                for (QQuickItem* up = item; up && shown; up = up->parentItem())
                    shown = up->isVisible() && up->opacity() > 0;
                if (shown)
                    return true;
            }
        }
        return false;
    }
    // "Select Species" opens when the monitor starts for an animal of no
    // species: "Canine".
    void chooseCanineIfAsked()
    {
        QQuickItem* canine = nullptr;
        AppHarness::waitFor([&] {
            for (QQuickItem* item : m_live.window()->findChildren<QQuickItem*>()) {
                if (item->inherits("QQuickAbstractButton") && item->isVisible()
                    && item->property("text").toString() == QLatin1String("Canine"))
                    canine = item;
            }
            return canine != nullptr;
        }, 3000);
        if (!canine)
            return;
        QTest::qWait(300); // the popup's opening transition
        mouseClick(m_live.window(), canine);
        AppHarness::waitFor([&] { return !canine->isVisible(); });
    }

    // Runs this test program as the child `mode` on the folders in tmp.
    static QByteArray runChild(const QTemporaryDir& tmp, const char* mode, int* exitCode)
    {
        QProcess child;
        child.setProcessEnvironment(childrun::programEnvironment(tmp));
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), QStringList{QLatin1String(mode)});
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
        }
        *exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
        return child.readAllStandardOutput();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        const QString failed = m_live.start("4");
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        bridge().settingsMan()->recordingSeconds = 30;
    }

    void cleanupTestCase() { m_live.finish(); }

    // "New ECG", the species, "Record" as soon as it is enabled, then the settings: the
    // device controls are disabled and say why; neither a click on Refresh
    // nor the bridge's own device slots stop the recording. It runs its time,
    // reaches the assignment, and the patient holds it in the database and
    // the data folder.
    void recordWhileTheSettingsSearch()
    {
        const int patient = m_live.app().makePatient();
        QVERIFY(patient > 0);
        QVERIFY(clickButton(m_live, "New ECG"));
        // The species is asked for first: "Canine" in "Select Species".
        QQuickItem* canine = nullptr;
        QVERIFY(AppHarness::waitFor([&] {
            for (QQuickItem* item : m_live.window()->findChildren<QQuickItem*>()) {
                if (item->inherits("QQuickAbstractButton") && item->isVisible()
                    && item->property("text").toString() == QLatin1String("Canine"))
                    canine = item;
            }
            return canine != nullptr;
        }, 30000));
        QTest::qWait(300); // the popup's opening transition
        mouseClick(m_live.window(), canine);
        QVERIFY(AppHarness::waitFor([&] { return !canine->isVisible(); }));
        QCOMPARE(ui("tmpSpecies").toInt(), 1);
        bool clicked = false;
        QVERIFY(AppHarness::waitFor([&] { return clicked || (clicked = clickButton(m_live, "Record")); }, 30000));
        QVERIFY(AppHarness::waitFor([&] { return recording(); }, 5000));
        QCOMPARE(ui("displayState").toInt(), 2);
        const QString fileName = bridge().fileMan()->recordingFileName();
        QVERIFY(!fileName.isEmpty());

        QQuickItem* settings = openBluetoothSettings(m_live);
        QVERIFY(settings);
        QQuickItem* note = findItem(m_live.window(), "deviceLockedNote");
        QVERIFY(note);
        QVERIFY(note->property("text").toString().startsWith("A recording is running."));
        QQuickItem* refresh = findItem(m_live.window(), "deviceRefresh");
        QVERIFY(!refresh->isEnabled());
        QVERIFY(!findItem(m_live.window(), "deviceRetry")->isEnabled());
        QVERIFY(!findItem(m_live.window(), "deviceList")->isEnabled());
        mouseClick(m_live.window(), refresh);
        QTest::qWait(100);
        QVERIFY(!bridge().deviceSelection().isDiscoveryTimerActive());
        QVERIFY(recording());

        // What the device list's slots would do refuses to touch the stream.
        bridge().refreshInputList(0);
        bridge().stopRefreshInputList(0);
        bridge().setInputChannel(0, 0);
        QVERIFY(!bridge().deviceSelection().isDiscoveryTimerActive());
        QVERIFY(recording());
        QVERIFY(bridge().liveView().isStreaming());
        QVERIFY(bridge().stream()->isAcquisitionOn());
        QCOMPARE(bridge().fileMan()->recordingFileName(), fileName);

        settings->setVisible(false);
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 4; }, 30000));
        QVERIFY(!recording());

        // Waiting for its patient, the recording is still guarded.
        QVERIFY(openBluetoothSettings(m_live));
        QVERIFY(findItem(m_live.window(), "deviceLockedNote")->property("text").toString()
                    .startsWith("The new recording has no patient yet."));
        QVERIFY(!findItem(m_live.window(), "deviceRefresh")->isEnabled());
        settings->setVisible(false);

        // "Select Patient & Save": the patient's row, then "OK" in "Confirm Patient".
        QVERIFY(clickButton(m_live, "Select Patient & Save"));
        QQuickItem* row = nullptr;
        QVERIFY(AppHarness::waitFor([&] {
            QQuickItem* list = findItem(m_live.window(), "patientList");
            for (QQuickItem* item : list ? visualDescendants(list) : QList<QQuickItem*>()) {
                if (item->inherits("QQuickLabel") && item->property("text").toString() == QLatin1String("Bella")) {
                    for (row = item; row && !row->inherits("QQuickItemDelegate"); row = row->parentItem()) {}
                    return row != nullptr;
                }
            }
            return false;
        }));
        QVERIFY(QMetaObject::invokeMethod(row, "clicked"));
        QObject* confirm = nullptr;
        QVERIFY(AppHarness::waitFor([&] {
            confirm = m_live.window()->findChild<QObject*>("confirmPatient");
            return confirm && confirm->property("visible").toBool();
        }));
        QVERIFY(QMetaObject::invokeMethod(confirm, "clicked"));
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 0; }));

        // The database and the data folder hold it for the patient.
        QSqlQuery q(*bridge().dbMan()->database());
        QVERIFY(q.exec("select ecgId, patientId, fileName from ecgTable order by ecgId"));
        QVERIFY(q.next());
        QCOMPARE(q.value(1).toInt(), patient);
        const QString stored = q.value(2).toString();
        QVERIFY(!q.next());
        m_recordingPath = bridge().fileMan()->dataFolder() + stored;
        QVERIFY(QFileInfo::exists(m_recordingPath));
        const QVector<EcgFileRecord> records = fileRecords(m_recordingPath);
        int viewable = 0;
        for (const EcgFileRecord& r : records)
            viewable += r.type == ECG_SAMPLE ? 1 : 0;
        QVERIFY2(viewable >= 30 * 500 && viewable <= 30 * 500 + 1, qPrintable(QString::number(viewable)));
        QStringList ecgFiles = QDir(bridge().fileMan()->dataFolder()).entryList({"*.ecg"}, QDir::Files);
        QCOMPARE(ecgFiles, QStringList{stored});

        // With the recording saved, Refresh searches again (the click above was real).
        QVERIFY(openBluetoothSettings(m_live));
        QVERIFY(!findItem(m_live.window(), "deviceLockedNote"));
        mouseClick(m_live.window(), findItem(m_live.window(), "deviceRefresh"));
        QVERIFY(bridge().deviceSelection().isDiscoveryTimerActive());
        bridge().stopRefreshInputList(0);
        settings->setVisible(false);
    }

    // The recording started as soon as "Record" was enabled: each whole
    // second of its lead-in and of its first ten seconds has a mean within
    // 0.3 mV of the baseline the last ten seconds settled on.
    void recordingOnItsBaselineFromTheStart()
    {
        if (m_recordingPath.isEmpty())
            QSKIP("the recording journey left no recording");
        QVector<double> leadI, leadII;
        int firstViewable = -1;
        for (const EcgFileRecord& r : fileRecords(m_recordingPath)) {
            if (r.type != ECG_SAMPLE && r.type != ECG_SAMPLE_LEADIN)
                continue;
            if (firstViewable < 0 && r.type == ECG_SAMPLE)
                firstViewable = int(leadI.size());
            leadI << r.leadI;
            leadII << r.leadII;
        }
        QVERIFY(firstViewable > 0);
        const int lastViewable = int(leadI.size()) - LiveView::kRecordingDelay;
        auto mean = [](const QVector<double>& v, int from, int count) {
            double sum = 0;
            for (int i = from; i < from + count; ++i)
                sum += v[i];
            return sum / count;
        };
        for (const QVector<double>* lead : {&leadI, &leadII}) {
            const double settled = mean(*lead, lastViewable - 10 * 500, 10 * 500);
            const int end = firstViewable + 10 * 500;
            for (int from = end % 500; from + 500 <= end; from += 500) {
                const double offMv = (mean(*lead, from, 500) - settled) / kUnitsPerMv;
                QVERIFY2(std::abs(offMv) <= 0.3,
                         qPrintable(QStringLiteral("lead %1, samples %2..%3: %4 mV off the baseline")
                                        .arg(lead == &leadI ? "I" : "II").arg(from).arg(from + 499).arg(offMv)));
            }
        }
    }

    // "New ECG" until "Ready to record", then Settings > Bluetooth > Refresh:
    // the search stops the stream, Record is off and the monitor says it is
    // not connected; neither the button nor the bridge records without
    // samples. The search ends with the device, the monitor resumes by
    // itself and Record records. The database and the folder hold that one
    // recording and nothing of the time without signal.
    void refreshDuringMonitorThenRecord()
    {
        CQmlInterface& b = bridge();
        DeviceSelection& devices = b.deviceSelection();
        const QString folder = b.fileMan()->dataFolder();
        const QStringList filesBefore = QDir(folder).entryList({"*.ecg"}, QDir::Files);
        const int rowsBefore = rowCount();

        QVERIFY(clickButton(m_live, "New ECG"));
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 1; }));
        chooseCanineIfAsked();
        QVERIFY(AppHarness::waitFor([&] { return ui("isLeadInComplete").toBool(); }, 30000));
        QVERIFY(m_live.buttons().value("Record")->object()->property("enabled").toBool());

        QQuickItem* settings = openBluetoothSettings(m_live);
        QVERIFY(settings);
        mouseClick(m_live.window(), findItem(m_live.window(), "deviceRefresh"));
        QVERIFY(devices.isDiscoveryTimerActive());
        QVERIFY(!b.liveView().isStreaming());
        QVERIFY(!ui("isLeadInComplete").toBool());
        QVERIFY(!ui("isBtConnected").toBool());
        QCOMPARE(ui("displayState").toInt(), 1);
        // Closed while the search goes on, as soon as the device is listed.
        QVERIFY(AppHarness::waitFor([&] { return findItem(m_live.window(), "deviceList")
                                                 && findItem(m_live.window(), "deviceList")->property("count").toInt() > 0; },
                                    15000));
        QVERIFY(QMetaObject::invokeMethod(findItem(m_live.window(), "viewClose"), "clicked"));
        QVERIFY(AppHarness::waitFor([&] { return !settings->isVisible(); }));

        // The monitor shows no trace that looks live and says why.
        QVERIFY(!textShown("Attempting Connection..."));
        QVERIFY(textShown("No Malvorant device selected") || textShown("Not connected"));
        QQuickItem* rateBox = m_live.window()->findChild<QQuickItem*>("heartRateBox");
        QVERIFY(rateBox && !rateBox->isVisible());
        // Record, as the screen offers it and as the bridge takes it: nothing starts.
        QAccessibleInterface* record = m_live.buttons().value("Record");
        QVERIFY(record && record->object());
        QVERIFY(!record->object()->property("enabled").toBool());
        QVERIFY(!clickButton(m_live, "Record"));
        b.recordStartStop(true);
        QVERIFY(!recording());
        QCOMPARE(rowCount(), rowsBefore);
        QCOMPARE(QDir(folder).entryList({"*.ecg"}, QDir::Files), filesBefore);

        // The search ends with the device: the monitor comes back by itself.
        QVERIFY(AppHarness::waitFor([&] { return !devices.isDiscoveryTimerActive(); }, 15000));
        QVERIFY(AppHarness::waitFor([&] { return b.liveView().isStreaming() && ui("isBtConnected").toBool(); },
                                    15000));
        QCOMPARE(ui("inputDescriptiveName").toString(), QLatin1String(kDevice));
        QVERIFY(!recording());
        QCOMPARE(rowCount(), rowsBefore);
        bool clicked = false;
        QVERIFY(AppHarness::waitFor([&] { return clicked || (clicked = clickButton(m_live, "Record")); }, 30000));
        QVERIFY(AppHarness::waitFor([&] { return recording(); }, 5000));
        const QString recorded = b.fileMan()->recordingFileName();
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 4; }, 60000));

        // One more row, waiting for its patient, and its file: a whole recording.
        QCOMPARE(rowCount(), rowsBefore + 1);
        QSqlQuery q(*b.dbMan()->database());
        QVERIFY(q.exec("select patientId, fileName from ecgTable order by ecgId desc limit 1"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        QCOMPARE(q.value(1).toString(), recorded);
        QStringList files = filesBefore;
        files << recorded;
        files.sort();
        QCOMPARE(QDir(folder).entryList({"*.ecg"}, QDir::Files, QDir::Name), files);
        int viewable = 0;
        for (const EcgFileRecord& r : fileRecords(folder + recorded))
            viewable += r.type == ECG_SAMPLE ? 1 : 0;
        QVERIFY2(viewable >= 30 * 500 && viewable <= 30 * 500 + 1, qPrintable(QString::number(viewable)));
    }

    // Found by a search in one run, the device is selected at the next start
    // without a click, and "New ECG" connects it without an inquiry.
    void storedDeviceSelectedAfterRestart()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        int code = -1;
        const QByteArray searched = runChild(tmp, "search", &code);
        QCOMPARE(code, 0);
        QVERIFY2(searched.contains(QByteArray("SEARCHED ") + kDevice), searched.constData());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "firstRun");
            db.setDatabaseName(tmp.filePath("Public/MalvorantData/zqr.sqlite3"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("select value from systemTable where oid = 7"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QLatin1String(kDevice));
            QVERIFY(q.exec("select idx, device, mac from discoveryTable where source = 0"));
            QVERIFY(q.next());
            QCOMPARE(q.value(1).toString(), QLatin1String(kDevice));
            QCOMPARE(q.value(2).toString(), QLatin1String(kDeviceAddress));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("firstRun");

        const QByteArray restarted = runChild(tmp, "restart", &code);
        QCOMPARE(code, 0);
        QVERIFY2(restarted.contains(QByteArray("SELECTED ") + kDevice), restarted.constData());
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "search") == 0)
        return searchRun(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "restart") == 0)
        return restartRun(argc, argv);
    QApplication app(argc, argv);
    TstDeviceJourney test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_devicejourney.moc"
