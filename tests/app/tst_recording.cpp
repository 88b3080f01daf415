// Recording end to end: the real bridge and screens, the Bluetooth stream
// over the simulated device in real time, the file and row it leaves.

#include "appharness.h"
#include "ecganalysisparams.h"
#include "ecgchart.h"
#include "livetap.h"
#include "rawstreambt.h"
#include "recordingcontrol.h"
#include "settingsman.h"
#include "uipublisher.h"
#include "updateandterms.h"
#include "dbman.h"

#include <QAccessible>
#include <QSqlQuery>
#include <QtTest>

static void findButtons(QAccessibleInterface* iface, QHash<QString, QAccessibleInterface*>& out, int depth = 0)
{
    if (!iface || depth > 80)
        return;
    if (iface->role() == QAccessible::Button && !iface->state().invisible)
        out.insert(iface->text(QAccessible::Name), iface);
    for (int i = 0; i < iface->childCount(); ++i)
        findButtons(iface->child(i), out, depth + 1);
}

// The records of a .ecg file: the types, in order.
static QVector<int> recordTypes(const QString& path)
{
    QVector<int> types;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 110000)
        return types;
    f.seek(110000);
    const QByteArray data = f.readAll();
    for (int i = 0; i + 16 <= data.size(); i += 16) {
        EcgFileRecord r;
        std::memcpy(&r, data.constData() + i, sizeof r);
        types << r.type;
    }
    return types;
}

// Lead-in (entries before the first ordinary sample), viewable ordinary
// samples, and the trailer (entries after the last ordinary sample).
struct Layout {
    int leadIn = 0;
    int viewable = 0;
    int trailer = 0;
};

static Layout layoutOf(const QVector<int>& types)
{
    Layout l;
    int first = -1, last = -1;
    for (int i = 0; i < types.size(); ++i) {
        if (types[i] == ECG_SAMPLE || types[i] == ECG_SAMPLE_RPEAK) {
            if (first < 0)
                first = i;
            last = i;
            ++l.viewable;
        }
    }
    l.leadIn = first;
    l.trailer = last < 0 ? 0 : int(types.size()) - 1 - last;
    return l;
}

class TstRecording : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppHarness> m_app;
    QQuickWindow* m_window = nullptr;

    QVariant ui(const char* name) const
    {
        return m_app->bridge().items().object(qml::Item::UiData)->property(name);
    }
    QString currentPath() const
    {
        CFileMan& f = *m_app->bridge().fileMan();
        return f.dataFolder() + f.currentFileName();
    }
    bool startStream()
    {
        CQmlInterface& bridge = m_app->bridge();
        bridge.streamStartStop(true);
        return AppHarness::waitFor([&] { return ui("displayState").toInt() == 1 && ui("isBtConnected").toBool()
                                                && bridge.liveView().isLeadInComplete(); }, 30000);
    }

private slots:
    void initTestCase()
    {
        qputenv("MALVORANT_DEVICE", "simulated");
        qputenv("MALVORANT_SIM_HEART_RATE", "120");
        qputenv("MALVORANT_SIM_TIME_SCALE", "1");
        QAccessible::setActive(true);
        m_app = std::make_unique<AppHarness>();
        QVERIFY(m_app->isValid());
        CQmlInterface& bridge = m_app->bridge();
        bridge.settingsMan()->tucAccepted = 1;
        m_window = m_app->load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return bridge.updateAndTerms().setupCount() > 0; }));
        bridge.liveView().setSpecies(1);
        QHash<QString, QAccessibleInterface*> buttons;
        findButtons(QAccessible::queryAccessibleInterface(m_window), buttons);
        QAccessibleInterface* newEcg = buttons.value(QStringLiteral("New ECG"));
        QVERIFY(newEcg && newEcg->object());
        QVERIFY(QMetaObject::invokeMethod(newEcg->object(), "clicked"));
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 15000));
        QVERIFY(AppHarness::waitFor([&] { return bridge.liveView().isLeadInComplete(); }, 15000));
    }

    void cleanupTestCase()
    {
        if (m_app) {
            m_app->bridge().streamStartStop(false);
            m_app->unload();
        }
        m_app.reset();
    }

    // Five seconds chosen: the timer ends it; the file holds the lead-in,
    // five seconds of viewable ECG, the trailer; its row belongs to patient 0.
    void timedRecording()
    {
        CQmlInterface& bridge = m_app->bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 5;
        const int rowsBefore = [&] {
            QSqlQuery q(*bridge.dbMan()->database());
            q.exec("select count(*) from ecgTable");
            return q.next() ? q.value(0).toInt() : -1;
        }();
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        QCOMPARE(ui("displayState").toInt(), 2);
        QCOMPARE(rec.timerInterval(), 7500);
        const QString recordingFile = bridge.fileMan()->recordingFileName();
        QVERIFY(!recordingFile.isEmpty());
        // A second start does nothing.
        bridge.recordStartStop(true);
        QCOMPARE(bridge.fileMan()->recordingFileName(), recordingFile);

        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 4; }, 20000));
        QVERIFY(!rec.isRecording());
        QVERIFY(!bridge.liveView().isStreaming());
        QCOMPARE(bridge.fileMan()->currentFileName(), recordingFile);

        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("select count(*) from ecgTable"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), rowsBefore + 1);
        QVERIFY(q.exec(QStringLiteral("select patientId from ecgTable where ecgId=%1")
                           .arg(bridge.fileMan()->currentEcgId())));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);

        const QVector<int> types = recordTypes(currentPath());
        const Layout l = layoutOf(types);
        QCOMPARE(l.leadIn, 2499);
        // Counted in samples: exactly the chosen time (an event among the
        // trailer's entries would add one).
        QVERIFY2(l.viewable >= 2500 && l.viewable <= 2501, qPrintable(QString::number(l.viewable)));
        QCOMPARE(l.trailer, LiveView::kRecordingDelay);
        QCOMPARE(types[types.size() - 4], int(ECG_SAMPLE_LEADIN));
        // A stop with no recording does nothing.
        bridge.recordStartStop(false);
        QCOMPARE(ui("displayState").toInt(), 4);
    }

    // Recording time 0: no timer, the recording runs until stopped; a
    // species change in the middle drops nothing.
    void untimedRecording()
    {
        CQmlInterface& bridge = m_app->bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 0;
        QVERIFY(startStream());
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        QCOMPARE(rec.timerInterval(), 0);
        QTest::qWait(1500);
        bridge.onRecordSpeciesSelector(2);
        QTest::qWait(1500);
        QVERIFY(rec.isRecording());
        QCOMPARE(ui("displayState").toInt(), 2);
        bridge.streamStartStop(false);
        QVERIFY(!rec.isRecording());
        QCOMPARE(ui("displayState").toInt(), 4);
        const QVector<int> types = recordTypes(currentPath());
        const Layout l = layoutOf(types);
        QCOMPARE(l.leadIn, 2499);
        QCOMPARE(l.trailer, LiveView::kRecordingDelay);
        // Ordinary samples only between lead-in and trailer: nothing dropped
        // into the middle as lead-in.
        for (int i = l.leadIn; i < types.size() - l.trailer; ++i)
            QVERIFY2(types[i] != ECG_SAMPLE_LEADIN, qPrintable(QString::number(i)));
        QVERIFY2(l.viewable > 100, qPrintable(QString::number(l.viewable)));
    }

    // The program ends mid-recording (window closed, SIGTERM): the recording
    // is finished, its file complete and its row committed for patient 0.
    void quitFinishesRecording()
    {
        CQmlInterface& bridge = m_app->bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 60;
        QVERIFY(startStream());
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        const QString name = bridge.fileMan()->recordingFileName();
        // Past the ring's delay, so ordinary samples reach the file.
        QTest::qWait(3500);
        rec.finishOnQuit();
        QVERIFY(!rec.isRecording());
        QVERIFY(!bridge.fileMan()->isRecording());
        QCOMPARE(bridge.fileMan()->currentFileName(), name);
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec(QStringLiteral("select patientId from ecgTable where ecgId=%1")
                           .arg(bridge.fileMan()->currentEcgId())));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        const QVector<int> types = recordTypes(currentPath());
        QCOMPARE(layoutOf(types).leadIn, 2499);
        QCOMPARE(types[types.size() - 4], int(ECG_SAMPLE_LEADIN));
        QCOMPARE(ui("displayState").toInt(), 4);
    }

    // Bookmarks only on an assigned recording longer than one page; their
    // time is the start plus 2 ms an entry, not shifted again.
    void bookmarks()
    {
        CQmlInterface& bridge = m_app->bridge();
        EcgChart& chart = bridge.chart();
        chart.bookmarks().clear();
        // State 4 (unassigned) takes none.
        QCOMPARE(ui("displayState").toInt(), 4);
        bridge.setBookmark(0, 100);
        QVERIFY(chart.bookmarks().empty());

        const int patient = m_app->makePatient();
        const int ecgId = m_app->makeRecording(patient, 30);
        QVERIFY(ecgId > 0);
        bridge.fileMan()->selectFile(ecgId);
        bridge.publisher().setShowingAssigned();
        bridge.publisher().showFile();
        QCOMPARE(ui("displayState").toInt(), 0);
        chart.setSpeed(25.0);
        QVERIFY(chart.samplesPerPixel() > 0);
        bridge.setBookmark(0, 200);
        QCOMPARE(int(chart.bookmarks().size()), 1);
        const EcgBookmark b = chart.bookmarks().front();
        QCOMPARE(b.entry, int(200 * chart.samplesPerPixel()));
        const QDateTime start = QDateTime::fromSecsSinceEpoch(bridge.fileMan()->currentEcgTime(), Qt::UTC);
        QCOMPARE(b.time, start.addMSecs(qint64(b.entry) * 2));
        QCOMPARE(b.time.timeSpec(), Qt::UTC);
        bridge.setBookmark(0, 200);
        QCOMPARE(int(chart.bookmarks().size()), 2);
        bridge.deleteBookmark();
        QVERIFY(chart.bookmarks().empty());
        QVERIFY(ui("saveToPdfEnabled").toBool());
    }

    // The presets: the listed words for each species value, and a change of
    // species leaves exactly the new column.
    void presets_data()
    {
        QTest::addColumn<int>("species");
        QTest::addColumn<QList<int>>("expect"); // word, value pairs
        const QList<int> base = {1, 400, 2, 25, 3, 170, 7, 12, 8, 100, 11, 20, 12, 35, 14, 180, 15, 19,
                                 17, 11, 19, 2, 21, 100, 22, 10, 24, -1, 91, 375, 93, 857, 95, 40,
                                 101, 50, 107, 400, 111, 1000, 112, 3000, 117, 40, 123, 100, 127, 1};
        QList<int> canine = base;
        QList<int> feline = {1, 400, 2, 0, 3, 170, 7, 3, 8, 0, 11, 10, 12, 25, 14, 90, 15, 12,
                             17, 7, 19, 0, 21, 75, 22, 6, 24, -1, 91, 250, 93, 400, 95, 40,
                             101, 40, 107, 150, 111, 150, 112, 900, 117, -5, 123, 160, 127, 1};
        for (int i = 0; i < canine.size(); i += 2) {
            if (canine[i] == 91) canine[i + 1] = 240;
            if (canine[i] == 95) canine[i + 1] = 50;
            if (canine[i] == 101) canine[i + 1] = 60;
        }
        QTest::newRow("other 0") << 0 << base;
        QTest::newRow("canine 1") << 1 << canine;
        QTest::newRow("feline 2") << 2 << feline;
        QTest::newRow("ui other 3") << 3 << base;
        QTest::newRow("unknown 7") << 7 << base;
    }

    void presets()
    {
        QFETCH(int, species);
        QFETCH(QList<int>, expect);
        CQmlInterface& bridge = m_app->bridge();
        // From the canine preset, so every changed word must be rewritten.
        bridge.onRecordSpeciesSelector(1);
        bridge.onRecordSpeciesSelector(species);
        const EcgAnalysisParams& p = bridge.liveView().analysisParams();
        for (int i = 0; i < expect.size(); i += 2)
            QVERIFY2(p[expect[i]] == expect[i + 1],
                     qPrintable(QStringLiteral("word %1: %2").arg(expect[i]).arg(p[expect[i]])));
        const bool feline = species == 2;
        QCOMPARE(int(p.byteAt(23, 1)), feline ? 1 : 0);
        QCOMPARE(int(p.byteAt(23, 2)), feline ? 1 : 0);
        QCOMPARE(int(p.byteAt(23, 0)), 1);
    }

    // The settings picker stores and saves the choice and publishes it.
    void speciesPicker()
    {
        CQmlInterface& bridge = m_app->bridge();
        bridge.setSpeciesPicker(2);
        QCOMPARE(bridge.settingsMan()->selectedSpecies, 2);
        QCOMPARE(bridge.liveView().species(), 2);
        QCOMPARE(ui("selectedSpecies").toInt(), 2);
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("select value from systemTable where oid=69"));
        if (q.next())
            QCOMPARE(q.value(0).toInt(), 2);
    }
};

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
