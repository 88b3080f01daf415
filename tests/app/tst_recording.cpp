// Recording end to end: the real bridge and screens, the Bluetooth stream
// over the simulated device in real time, the file and row it leaves.

#include "appharness.h"
#include "ecganalysisparams.h"
#include "ecgchart.h"
#include "ecgfilerecords.h"
#include "fileecg.h"
#include "readonlyscope.h"
#include "livetap.h"
#include "rawstreambt.h"
#include "recordingcontrol.h"
#include "settingsman.h"
#include "simdevice.h"
#include "uipublisher.h"
#include "viewersettings.h"
#include "updateandterms.h"
#include "dbman.h"

#include <QAccessible>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// The first record of the file that differs from what the live view was
// handed from first on (lead-in and trailer samples typed 45, trailerFrom
// the index where the trailer starts), or -1 when all agree.
static int firstMismatch(const QVector<EcgFileRecord>& file, const QVector<EcgStreamSample>& handed,
                         int first, int trailerFrom)
{
    for (int i = 0; i < file.size(); ++i) {
        if (first + i >= handed.size())
            return i;
        EcgStreamSample s = handed[first + i];
        if (s.type == ECG_SAMPLE_RPEAK)
            s.type = ECG_SAMPLE;
        if (s.type == ECG_SAMPLE && (i < LiveView::kRingSize - 1 || i >= trailerFrom))
            s.type = ECG_SAMPLE_LEADIN;
        const EcgFileRecord expected = fileRecordFromStream(s);
        if (std::memcmp(&expected, &file[i], sizeof expected) != 0)
            return i;
    }
    return -1;
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

    LiveApp m_live;

    QVariant ui(const char* name) const { return m_live.ui(name); }
    QString currentPath() const
    {
        CFileMan& f = *m_live.bridge().fileMan();
        return f.dataFolder() + f.currentFileName();
    }
    bool startStream()
    {
        CQmlInterface& bridge = m_live.bridge();
        bridge.streamStartStop(true);
        return AppHarness::waitFor([&] { return ui("displayState").toInt() == 1 && ui("isBtConnected").toBool()
                                                && bridge.liveView().isLeadInComplete(); }, 30000);
    }

    int rowCount() const
    {
        QSqlQuery q(*m_live.bridge().dbMan()->database());
        q.exec("select count(*) from ecgTable");
        return q.next() ? q.value(0).toInt() : -1;
    }
    CBtBackendSim* sim() const
    {
        return dynamic_cast<CBtBackendSim*>(m_live.bridge().stream()->socketLayer()->backend());
    }
    QObject* bottom() const { return m_live.bridge().items().object(qml::Item::BottomArea); }
    // The alert dialog that is open, or null.
    QObject* openAlert() const
    {
        for (QObject* o : m_live.window()->findChildren<QObject*>()) {
            if (o->inherits("QQuickDialog") && o->property("visible").toBool())
                return o;
        }
        return nullptr;
    }
    void closeAlert()
    {
        if (QObject* dialog = openAlert())
            QMetaObject::invokeMethod(dialog, "close");
        AppHarness::waitFor([&] { return openAlert() == nullptr; }, 1000);
    }

private slots:
    void initTestCase()
    {
        const QString failed = m_live.start("1");
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        CQmlInterface& bridge = m_live.bridge();
        QAccessibleInterface* newEcg = m_live.buttons().value(QStringLiteral("New ECG"));
        QVERIFY(newEcg && newEcg->object());
        QVERIFY(QMetaObject::invokeMethod(newEcg->object(), "clicked"));
        QVERIFY(AppHarness::waitFor([&] { return ui("isBtConnected").toBool(); }, 15000));
        QVERIFY(AppHarness::waitFor([&] { return bridge.liveView().isLeadInComplete(); }, 15000));
    }

    void cleanupTestCase() { m_live.finish(); }

    // Five seconds chosen: the timer ends it; the file holds the lead-in,
    // five seconds of viewable ECG, the trailer; its row belongs to patient 0.
    void timedRecording()
    {
        CQmlInterface& bridge = m_live.bridge();
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
        CQmlInterface& bridge = m_live.bridge();
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

    // While recording, through a species change, a speed step and another
    // display mode: the records on the disk so far are exactly those the
    // device handed on, from the 2,499 before the start, none missing or
    // doubled; after the stop the whole file is, with its trailer.
    void continuousWhileRecording()
    {
        CQmlInterface& bridge = m_live.bridge();
        RecordingControl& rec = bridge.recordingControl();
        const QVector<EcgStreamSample>& handed = m_live.tap().records;
        bridge.settingsMan()->recordingSeconds = 0;
        QVERIFY(startStream());
        const int first = int(handed.size()) - (LiveView::kRingSize - 1);
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        const QString path = bridge.fileMan()->dataFolder() + bridge.fileMan()->recordingFileName();

        const ViewerParams p = bridge.viewer().params();
        QTest::qWait(800);
        bridge.onRecordSpeciesSelector(2);
        QTest::qWait(800);
        bridge.setViewerParams(p.ecgDisplayMode, p.gain, p.speed == 25.0 ? 50.0 : 25.0, p.powerFilterActive,
                               p.artifactFilterActive, p.showHeartRateActive, p.playHeartBeatActive,
                               p.showIndicatorHints);
        QTest::qWait(800);
        bridge.setViewerParams((p.ecgDisplayMode + 1) % 4, p.gain, p.speed, p.powerFilterActive,
                               p.artifactFilterActive, p.showHeartRateActive, p.playHeartBeatActive,
                               p.showIndicatorHints);
        const int wanted = LiveView::kRingSize - 1 + 1500;
        QVERIFY2(AppHarness::waitFor([&] { return recordsOnDisk(path) >= wanted; }, 15000),
                 qPrintable(QString::number(recordsOnDisk(path))));
        QVERIFY(rec.isRecording());
        const QVector<EcgFileRecord> sofar = fileRecords(path);
        QVERIFY(sofar.size() >= wanted);
        int at = firstMismatch(sofar, handed, first, std::numeric_limits<int>::max());
        QVERIFY2(at < 0, qPrintable(QStringLiteral("record %1 of %2").arg(at).arg(sofar.size())));

        bridge.streamStartStop(false);
        bridge.setViewerParams(p.ecgDisplayMode, p.gain, p.speed, p.powerFilterActive, p.artifactFilterActive,
                               p.showHeartRateActive, p.playHeartBeatActive, p.showIndicatorHints);
        bridge.onRecordSpeciesSelector(1);
        QVERIFY(!rec.isRecording());
        const QVector<EcgFileRecord> whole = fileRecords(path);
        QCOMPARE(int(whole.size()), int(handed.size()) - first);
        at = firstMismatch(whole, handed, first, int(whole.size()) - LiveView::kRecordingDelay);
        QVERIFY2(at < 0, qPrintable(QStringLiteral("record %1 of %2").arg(at).arg(whole.size())));
    }

    // The data folder takes no new file: the creation alert, no recording,
    // no row, no file; the stream runs on in state 1 and a later start works.
    void creationFailureAlerts()
    {
        CQmlInterface& bridge = m_live.bridge();
        RecordingControl& rec = bridge.recordingControl();
        QVERIFY(startStream());
        const QString folder = bridge.fileMan()->dataFolder();
        const QStringList filesBefore = QDir(folder).entryList(QDir::Files);
        const int rowsBefore = rowCount();
        const QFile::Permissions mode = QFile::permissions(folder);
        QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));
        bool unwritable = false;
        {
            ReadOnlyScope scope(QDir::cleanPath(folder), QString());
            unwritable = scope.works();
            if (unwritable)
                bridge.recordStartStop(true);
        }
        QFile::setPermissions(folder, mode);
        QVERIFY2(unwritable, "the data folder could not be made unwritable");
        QCOMPARE(alert.count(), 1);
        QCOMPARE(alert.at(0).at(0).toBool(), true);
        QObject* dialog = openAlert();
        QVERIFY(dialog);
        QCOMPARE(dialog->property("title").toString(), QStringLiteral("File Write Error"));
        QCOMPARE(dialog->property("text").toString(), QStringLiteral("Unable to create the ECG file"));
        closeAlert();
        QVERIFY(!rec.isRecording());
        QVERIFY(!bridge.fileMan()->isRecording());
        QCOMPARE(ui("displayState").toInt(), 1);
        QVERIFY(bridge.liveView().isStreaming());
        QCOMPARE(rowCount(), rowsBefore);
        QCOMPARE(QDir(folder).entryList(QDir::Files), filesBefore);

        // Writable again: the next start records.
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        QCOMPARE(ui("displayState").toInt(), 2);
        bridge.streamStartStop(false);
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(rowCount(), rowsBefore + 1);
        QCOMPARE(alert.count(), 1);
    }

    // The file can't grow any more, while recording (the live tick finds
    // it) or just as the stop writes the records still waiting: the write
    // alert once, the recording still shown (state 4), the stream ended, and
    // a row counting exactly the whole records on the disk.
    void writeFailureAlerts_data()
    {
        QTest::addColumn<bool>("atStop");
        QTest::newRow("while recording") << false;
        QTest::newRow("at the stop") << true;
    }

    void writeFailureAlerts()
    {
        QFETCH(bool, atStop);
        CQmlInterface& bridge = m_live.bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 0;
        QVERIFY(startStream());
        const int rowsBefore = rowCount();
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        const QString name = bridge.fileMan()->recordingFileName();
        const QString path = bridge.fileMan()->dataFolder() + name;
        QVERIFY(AppHarness::waitFor([&] { return recordsOnDisk(path) >= LiveView::kRingSize; }, 10000));
        QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));

        // Room for half a record more: the next write-through while
        // recording, or the stop's write of the records still waiting in the
        // program, can't go. The database's log starts empty, so its row
        // still fits.
        QSqlQuery checkpoint(*bridge.dbMan()->database());
        QVERIFY(checkpoint.exec("pragma wal_checkpoint(truncate)"));
        checkpoint.finish();
        const CFileEcg* file = bridge.fileMan()->ecgBuffer().getFileEcg();
        if (atStop)
            QVERIFY(AppHarness::waitFor([&] { return file->getRecordCount() - file->recordsWritten() >= 20; }));
        const qint64 size = QFileInfo(path).size();
        struct rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        struct rlimit lowered = old;
        lowered.rlim_cur = rlim_t(size + 8);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
        if (atStop)
            bridge.streamStartStop(false);
        else
            AppHarness::waitFor([&] { return !rec.isRecording(); }, 10000);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);

        QVERIFY(!rec.isRecording());
        QVERIFY(!bridge.fileMan()->isRecording());
        QVERIFY(!bridge.liveView().isStreaming());
        QCOMPARE(alert.count(), 1);
        QCOMPARE(alert.at(0).at(0).toBool(), false);
        QObject* dialog = openAlert();
        QVERIFY(dialog);
        QCOMPARE(dialog->property("text").toString(), QStringLiteral("Unable to write to the ECG file"));
        closeAlert();
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(bridge.fileMan()->currentFileName(), name);

        // Whole records only, and the row counts them.
        const qint64 after = QFileInfo(path).size();
        QCOMPARE((after - CFileEcg::kDataStartV2) % 16, qint64(0));
        QVERIFY(after <= size);
        QCOMPARE(rowCount(), rowsBefore + 1);
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec(QStringLiteral("select patientId, fileSize from ecgTable where fileName='%1'").arg(name)));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        QCOMPARE(q.value(1).toInt(), recordsOnDisk(path));
    }

    // The row can't be stored as the recording ends: the write alert, the
    // file left for the next start to adopt, and the recording shown before
    // shown again in its own state: nothing poses as the new recording.
    void rowFailureKeepsTheFile()
    {
        CQmlInterface& bridge = m_live.bridge();
        CFileMan& files = *bridge.fileMan();
        const int patient = bridge.patientMan()->createPatient("Rex", "P-2077", "Jon", "Berg", 1, 1, 30.0f, 0,
                                                               "Boxer", 0, QString(), QString());
        QVERIFY(patient > 0);
        const int shown = m_live.app().makeRecording(patient, 2);
        QVERIFY(shown > 0);
        files.selectFile(shown);
        const QString shownName = files.currentFileName();
        bridge.settingsMan()->recordingSeconds = 0;
        QVERIFY(startStream());
        const int rowsBefore = rowCount();
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("create temp trigger refuseRecordings before insert on main.ecgTable "
                       "begin select raise(abort, 'refused'); end"));
        bridge.recordStartStop(true);
        QVERIFY(bridge.recordingControl().isRecording());
        const QString name = files.recordingFileName();
        const QString path = files.dataFolder() + name;
        QVERIFY(AppHarness::waitFor([&] { return recordsOnDisk(path) >= LiveView::kRingSize; }, 10000));
        QSignalSpy alert(bottom(), SIGNAL(qmlAlertBoxFileWriteError(bool)));
        bridge.streamStartStop(false);
        QVERIFY(q.exec("drop trigger refuseRecordings"));

        QCOMPARE(alert.count(), 1);
        QCOMPARE(alert.at(0).at(0).toBool(), false);
        closeAlert();
        QVERIFY(!bridge.recordingControl().isRecording());
        QCOMPARE(rowCount(), rowsBefore);
        QVERIFY(recordsOnDisk(path) > LiveView::kRingSize);
        QCOMPARE(files.currentEcgId(), shown);
        QCOMPARE(files.currentFileName(), shownName);
        QCOMPARE(ui("displayState").toInt(), 0);
        QVERIFY(files.isStoredFileOpen());
        QCOMPARE(files.ecgBuffer().getRecordCount(), 1000);
    }

    // The program ends mid-recording (window closed, SIGTERM): the recording
    // is finished, its file complete and its row committed for patient 0.
    void quitFinishesRecording()
    {
        CQmlInterface& bridge = m_live.bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 60;
        QVERIFY(startStream());
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        const QString name = bridge.fileMan()->recordingFileName();
        // Longer than the trailer, so ordinary samples stay between lead-in and trailer.
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
        CQmlInterface& bridge = m_live.bridge();
        EcgChart& chart = bridge.chart();
        chart.bookmarks().clear();
        // State 4 (unassigned) takes none.
        QCOMPARE(ui("displayState").toInt(), 4);
        bridge.setBookmark(0, 100);
        QVERIFY(chart.bookmarks().empty());

        const int patient = m_live.app().makePatient();
        const int ecgId = m_live.app().makeRecording(patient, 30);
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
        CQmlInterface& bridge = m_live.bridge();
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

    // Record takes only samples that arrive: with the stream stopped on the
    // monitor's screen, or the device silent on a live link, Record is off
    // and a start is refused, leaving no row and no file; once samples flow
    // again it records.
    void noRecordingWithoutSamples_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("stream stopped") << false;
        QTest::newRow("device silent") << true;
    }

    void noRecordingWithoutSamples()
    {
        QFETCH(bool, silent);
        CQmlInterface& bridge = m_live.bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 0;
        QVERIFY(startStream());
        QVERIFY(ui("isLeadInComplete").toBool());
        const QString folder = bridge.fileMan()->dataFolder();
        const QStringList filesBefore = QDir(folder).entryList(QDir::Files);
        const int rowsBefore = rowCount();
        if (silent) {
            sim()->goSilent();
            QVERIFY(AppHarness::waitFor([&] { return !ui("isLeadInComplete").toBool(); }, 2500));
            QVERIFY(bridge.liveView().isStreaming());
        } else {
            bridge.streamStartStop(false);
            QCOMPARE(ui("displayState").toInt(), 1);
            QVERIFY(!ui("isLeadInComplete").toBool());
        }
        bridge.recordStartStop(true);
        QVERIFY(!rec.isRecording());
        QCOMPARE(ui("displayState").toInt(), 1);
        QCOMPARE(rowCount(), rowsBefore);
        QCOMPARE(QDir(folder).entryList(QDir::Files), filesBefore);

        // Samples again (the stream reconnects to a silent device by itself).
        if (!silent)
            bridge.streamStartStop(true);
        QVERIFY(AppHarness::waitFor([&] { return ui("isLeadInComplete").toBool(); }, 30000));
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        bridge.streamStartStop(false);
        QCOMPARE(ui("displayState").toInt(), 4);
        QCOMPARE(rowCount(), rowsBefore + 1);
    }

    // The device drops the link two seconds into a recording: the recording
    // ends there, keeps what came, waits for its patient and says why, and
    // the stream does not go on under it.
    void linkLostDuringRecording()
    {
        CQmlInterface& bridge = m_live.bridge();
        RecordingControl& rec = bridge.recordingControl();
        bridge.settingsMan()->recordingSeconds = 30;
        QVERIFY(startStream());
        const int rowsBefore = rowCount();
        QSignalSpy said(bottom(), SIGNAL(qmlAlertBoxRecordingLinkLost(int)));
        bridge.recordStartStop(true);
        QVERIFY(rec.isRecording());
        const QString name = bridge.fileMan()->recordingFileName();
        const QString path = bridge.fileMan()->dataFolder() + name;
        QVERIFY(AppHarness::waitFor([&] { return recordsOnDisk(path) >= LiveView::kRingSize - 1 + 2 * 500 + 1250; },
                                    15000));
        sim()->dropLink();
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 4; }, 10000));
        QVERIFY(!rec.isRecording());
        QVERIFY(!bridge.liveView().isStreaming());
        QVERIFY(!bridge.stream()->isAcquisitionOn());
        QCOMPARE(said.count(), 1);
        QObject* dialog = openAlert();
        QVERIFY(dialog);
        QCOMPARE(dialog->property("title").toString(), QStringLiteral("Connection Lost"));
        QCOMPARE(dialog->property("text").toString(),
                 QStringLiteral("The connection to the device was lost during the recording."));
        const int seconds = said.at(0).at(0).toInt();
        QVERIFY2(dialog->property("informativeText").toString().startsWith(
                     QStringLiteral("The recording keeps the %1 seconds of ECG that arrived.").arg(seconds)),
                 qPrintable(dialog->property("informativeText").toString()));
        closeAlert();

        // The row and the file hold every record that came.
        QCOMPARE(rowCount(), rowsBefore + 1);
        QCOMPARE(bridge.fileMan()->currentFileName(), name);
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec(QStringLiteral("select patientId, fileSize from ecgTable where fileName='%1'").arg(name)));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        QCOMPARE(q.value(1).toInt(), recordsOnDisk(path));
        const Layout l = layoutOf(recordTypes(path));
        QCOMPARE(l.leadIn, LiveView::kRingSize - 1);
        QVERIFY2(l.viewable >= 2 * 500 && l.viewable < 30 * 500, qPrintable(QString::number(l.viewable)));
        // An event among the last records may shift the trailer by one.
        QVERIFY2(std::abs(seconds - l.viewable / 500) <= 1, qPrintable(QString::number(seconds)));
    }

    // The settings picker stores and saves the choice and publishes it; the
    // stream gathers its lead-in again under the new preset.
    void speciesPicker()
    {
        CQmlInterface& bridge = m_live.bridge();
        LiveView& live = bridge.liveView();
        QVERIFY(startStream());
        QCOMPARE(live.ringCount(), LiveView::kRingSize - 1);
        QVERIFY(ui("isLeadInComplete").toBool());
        bridge.setSpeciesPicker(2);
        QCOMPARE(bridge.settingsMan()->selectedSpecies, 2);
        QCOMPARE(live.species(), 2);
        QCOMPARE(ui("selectedSpecies").toInt(), 2);
        QCOMPARE(live.ringCount(), 0);
        QVERIFY(!live.isLeadInComplete());
        QVERIFY(!ui("isLeadInComplete").toBool());
        QVERIFY(AppHarness::waitFor([&] { return live.isLeadInComplete(); }, 30000));
        QVERIFY(ui("isLeadInComplete").toBool());
        QCOMPARE(live.ringCount(), LiveView::kRingSize - 1);
        bridge.streamStartStop(false);
        QSqlQuery q(*bridge.dbMan()->database());
        QVERIFY(q.exec("select value from systemTable where oid=69"));
        if (q.next())
            QCOMPARE(q.value(0).toInt(), 2);
    }
};

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
