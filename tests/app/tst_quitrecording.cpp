// The program asked to end from outside. The real program leaves through its
// event loop on SIGTERM, SIGHUP and SIGINT. A recording in progress when the
// end comes (a signal, or the window closed) is finished: seen from a second
// process, its file is complete, its row committed for patient 0 and the
// database sound. The recording process is this test's own child, set up as
// the program's main is (quit signals, bridge, main.qml), since a recording
// needs the record button.
//
// And the program killed (SIGKILL) while it records through the live view, at
// random moments and right after chosen steps of the stop and of the
// assignment: the next start of the program on the same folders holds every
// sample that was more than a second old, shows the recording found again in
// state 4 and lists it in "All ECGs" as not assigned, and completes a stop or
// an assignment that was cut short.

#include "childrun.h"
#include "ecgfilerecords.h"
#include "fileecg.h"
#include "isolatedhome.h"
#include "livetap.h"
#include "processlist.h"
#include "quitsignals.h"
#include "recordingcontrol.h"
#include "startup.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QQuickItem>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kLeadIn = LiveView::kRingSize - 1;
// Ordinary samples the child waits for on the disk (beyond those the stop
// marks as trailer) before it reports.
constexpr int kRecorded = 1500;

// The child: starts the stream with "New ECG", records with the record
// button, says "RECORDING <file name>" once enough is on the disk, then runs
// the event loop until the program is asked to end. A line "close" on its
// input closes the window.
int childMain(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::quitOnTerminateSignals();
    auto fail = [](const char* why) {
        std::fprintf(stderr, "child: %s\n", why);
        return 2;
    };
    LiveApp live;
    const QString failed = live.start("4", true);
    if (!failed.isEmpty())
        return fail(qPrintable(failed));
    CQmlInterface& bridge = live.bridge();
    bridge.settingsMan()->recordingSeconds = 0;
    auto click = [&](const char* name) {
        QAccessibleInterface* button = live.buttons().value(QLatin1String(name));
        return button && button->object() && QMetaObject::invokeMethod(button->object(), "clicked");
    };
    if (!click("New ECG"))
        return fail("no New ECG button");
    if (!AppHarness::waitFor([&] { return bridge.liveView().isLeadInComplete(); }, 30000))
        return fail("no lead-in");
    if (!click("Record")
        || !AppHarness::waitFor([&] { return bridge.recordingControl().isRecording(); }, 5000))
        return fail("no recording");
    const QString name = bridge.fileMan()->recordingFileName();
    const QString path = bridge.fileMan()->dataFolder() + name;
    if (!AppHarness::waitFor(
            [&] { return recordsOnDisk(path) >= kLeadIn + kRecorded + LiveView::kRecordingDelay; }, 30000))
        return fail("the recording did not grow");

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n > 0 && std::strncmp(line, "close", 5) == 0)
            live.window()->close();
        else if (n <= 0)
            input.setEnabled(false);
    });
    std::printf("RECORDING %s\n", qPrintable(name));
    std::fflush(stdout);
    // As in main: what is not done by the time the loop ends is not done.
    return app.exec();
}

// ---------------------------------------------------------------- killed

using childrun::killAtStep;
using childrun::say;

// What the start shows: "SHOWN <displayState> <ecgId> <recording's patient>
// <shown patient> <file name>", "UNASSIGNED <1 when the top area says the
// recording has no patient>", "LISTED <pending rows in All ECGs> <1 when the
// shown one is among them> <1 when a row reads "Not assigned">",
// "RECOVERED <count the alert gives, 0 without one>".
void reportStart(LiveApp& live)
{
    CQmlInterface& bridge = live.bridge();
    CFileMan& files = *bridge.fileMan();
    QQuickWindow* window = live.window();
    AppHarness::waitFor([] { return false; }, 300);
    say("SHOWN " + QByteArray::number(live.ui("displayState").toInt()) + ' '
        + QByteArray::number(files.currentEcgId()) + ' ' + QByteArray::number(files.currentPatientId()) + ' '
        + QByteArray::number(bridge.patientMan()->patientId) + ' ' + QFile::encodeName(files.currentFileName()));
    bool unassignedLabel = false;
    for (QObject* o : window->findChildren<QObject*>()) {
        if (o->inherits("QQuickText") && o->property("text").toString() == QLatin1String("Not assigned to a patient")
            && o->property("visible").toBool())
            unassignedLabel = true;
    }
    say("UNASSIGNED " + QByteArray(unassignedLabel ? "1" : "0"));
    int recovered = 0;
    if (visibleDialog(window, QStringLiteral("ECG Recovered")))
        recovered = 1;
    else if (QObject* dialog = visibleDialog(window, QStringLiteral("ECGs Recovered")))
        recovered = dialog->property("text").toString().section(QLatin1Char(' '), 0, 0).toInt();
    say("RECOVERED " + QByteArray::number(recovered));
    closeVisibleDialogs(window);

    QVariant opened;
    QMetaObject::invokeMethod(window, "openView", Q_RETURN_ARG(QVariant, opened), Q_ARG(QVariant, QString("recordings")));
    QObject* loader = window->property("viewLoaders").toMap().value("recordings").value<QObject*>();
    QObject* view = loader ? loader->property("item").value<QObject*>() : nullptr;
    int pending = 0;
    bool shownListed = false;
    bool marked = false;
    if (view) {
        QMetaObject::invokeMethod(view, "showMode", Q_ARG(QVariant, 1));
        AppHarness::waitFor([] { return false; }, 200);
        auto* model = qobject_cast<CSqlQueryModel*>(view->property("listModel").value<QObject*>());
        while (model && model->canFetchMore())
            model->fetchMore();
        const QHash<int, QByteArray> roles = model ? model->roleNames() : QHash<int, QByteArray>();
        for (int r = 0; model && r < model->rowCount(); ++r) {
            const QModelIndex i = model->index(r, 0);
            if (model->data(i, roles.key("patientId")).toInt() != 0)
                continue;
            ++pending;
            shownListed = shownListed || model->data(i, roles.key("fileName")).toString() == files.currentFileName();
        }
        // The list's rows are its items, not its children as objects.
        QList<QQuickItem*> items{qobject_cast<QQuickItem*>(view)};
        while (!items.isEmpty()) {
            QQuickItem* item = items.takeLast();
            if (!item)
                continue;
            if (item->inherits("QQuickText") && item->isVisible()
                && item->property("text").toString().startsWith(QLatin1String("Not assigned  ")))
                marked = true;
            items += item->childItems();
        }
        view->setProperty("visible", false);
    }
    say("LISTED " + QByteArray::number(pending) + ' ' + QByteArray(shownListed ? "1" : "0") + ' '
        + QByteArray(marked ? "1" : "0"));
}

// killchild <time scale> check | record | stop <step> | assign <step>
// Starts as the program does on the folders of the environment, reports what
// the start shows, then records: "F <file name>", and every 10 ms "T
// <records handed to the file> <records on the disk> <longest wait on the
// disk so far, ms>". It is killed from outside (record) or by itself right
// after the step (stop, assign; "PATIENT <id>" names the assignee).
int killChildMain(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    const QString action = args[3];
    LiveApp live;
    const QString failed = live.start(qPrintable(args[2]), true);
    if (!failed.isEmpty()) {
        std::fprintf(stderr, "killchild: %s\n", qPrintable(failed));
        return 2;
    }
    reportStart(live);
    // The parent looks at the data folder as this start left it, then lets
    // it go on.
    say("WAITING");
    char line[16] = {};
    if (!std::fgets(line, sizeof line, stdin) || action == QLatin1String("check"))
        return 0;

    CQmlInterface& bridge = live.bridge();
    bridge.settingsMan()->recordingSeconds = 0;
    // "New ECG" (hidden while a recording waits for its patient, so through
    // the slot it calls), then the record button.
    bridge.streamStartStop(true);
    if (!AppHarness::waitFor([&] { return bridge.liveView().isLeadInComplete(); }, 30000))
        return 3;
    QAccessibleInterface* button = live.buttons().value(QStringLiteral("Record"));
    const int first = int(live.tap().records.size()) - (LiveView::kRingSize - 1);
    if (!button || !QMetaObject::invokeMethod(button->object(), "clicked")
        || !bridge.recordingControl().isRecording())
        return 4;
    const QString name = bridge.fileMan()->recordingFileName();
    const QString path = bridge.fileMan()->dataFolder() + name;
    say("F " + QFile::encodeName(name));

    QElapsedTimer clock;
    clock.start();
    QVector<QPair<qint64, int>> handed; // when the count of handed records grew
    qint64 longestWait = 0;
    int onDisk = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const int now = int(live.tap().records.size()) - first;
        if (handed.isEmpty() || handed.back().second < now)
            handed.append({clock.elapsed(), now});
        onDisk = recordsOnDisk(path);
        // The oldest record not yet on the disk waits since it was handed.
        for (const auto& h : handed) {
            if (h.second > onDisk) {
                longestWait = std::max(longestWait, clock.elapsed() - h.first);
                break;
            }
        }
        say("T " + QByteArray::number(now) + ' ' + QByteArray::number(onDisk) + ' '
            + QByteArray::number(longestWait));
    });
    poll.start(10);
    if (action == QLatin1String("record"))
        return app.exec();

    childrun::killStep = args.value(4).toLatin1();
    // A recording of some seconds, then the chosen end.
    if (!AppHarness::waitFor([&] { return onDisk >= LiveView::kRingSize + 1500; }, 30000))
        return 5;
    if (action == QLatin1String("stop")) {
        CFileMan::setStepHook(killAtStep);
        bridge.streamStartStop(false); // the stop button, after "Short ECG"
        return 6;
    }
    bridge.streamStartStop(false);
    if (live.ui("displayState").toInt() != 4)
        return 7;
    bridge.patientUpdated(-1, "Rex", "P-9", "Anna", "Berg", 2, "Collie", 1, "20", false, 1577836800u);
    const int patient = bridge.patientMan()->patientId;
    say("PATIENT " + QByteArray::number(patient));
    CFileMan::setStepHook(killAtStep);
    bridge.ecgPatientAssignment(patient); // the patient chosen and confirmed
    return 8;
}

} // namespace

namespace {

// What the parent learned from one killchild run.
struct KillRun
{
    QMap<QByteArray, QList<QByteArray>> start; // SHOWN, UNASSIGNED, RECOVERED, LISTED
    QString file;                              // the recording it made
    int patient = -1;                          // the assignee
    QList<QPair<qint64, int>> heard;           // when the parent heard it, records handed
    qint64 killedAt = -1;
    qint64 longestWait = 0;
    bool killed = false; // ended by SIGKILL (from outside or by itself)
    int exitCode = -1;

    int startValue(const char* key, int field) const { return start.value(key).value(field).toInt(); }
    QString shownFile() const { return QFile::decodeName(start.value("SHOWN").value(4)); }
};

bool hasSampleBeyondLeadIn(const QVector<int>& types)
{
    return std::any_of(types.begin(), types.end(), [](int t) { return t >= 0 && t != ECG_SAMPLE_LEADIN; });
}

} // namespace

// Runs killchild; killAfterMs >= 0 kills it that long after the recording
// started (from outside), -1 lets it run to its own end. atStart sees what
// the start reported while the child waits, before it records.
static KillRun runKillChild(const QTemporaryDir& tmp, const QStringList& args, int killAfterMs,
                            const std::function<void(const KillRun&)>& atStart)
{
    KillRun run;
    QProcess child;
    child.setProcessEnvironment(childrun::programEnvironment(tmp));
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("killchild")} + args);
    qint64 recordingSince = -1;
    childrun::Watch watch;
    watch.onLine = [&](const QList<QByteArray>& f, qint64 ms) {
        if (f[0] == "F" && f.size() > 1) {
            run.file = QFile::decodeName(f[1]);
        } else if (f[0] == "T" && f.size() > 3) {
            if (recordingSince < 0)
                recordingSince = ms;
            run.heard.append({ms, f[1].toInt()});
            run.longestWait = std::max(run.longestWait, f[3].toLongLong());
        } else if (f[0] == "PATIENT" && f.size() > 1) {
            run.patient = f[1].toInt();
        } else if (f[0] == "SHOWN" || f[0] == "UNASSIGNED" || f[0] == "RECOVERED" || f[0] == "LISTED") {
            run.start[f[0]] = f.mid(1);
        } else if (f[0] == "WAITING") {
            atStart(run);
            child.write("go\n");
        }
    };
    // What it said before the kill is what it had done.
    watch.killNow = [&](qint64 ms) {
        return killAfterMs >= 0 && recordingSince >= 0 && ms >= recordingSince + killAfterMs;
    };
    watch.pollMs = 5;
    watch.limitMs = 120000;
    const childrun::Ended end = childrun::watchChild(child, watch);
    run.killedAt = end.killedAt >= 0 ? end.killedAt : end.endedAt;
    if (!end.started)
        return run;
    if (end.tooLong) {
        qWarning("killchild ran too long");
        return run;
    }
    run.killed = child.exitStatus() == QProcess::CrashExit;
    run.exitCode = child.exitCode();
    return run;
}

static IsolatedHome isolatedHome;

class TstQuitRecording : public QObject
{
    Q_OBJECT

    static void stop(QProcess& p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        p.kill();
        p.waitForFinished();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(QFileInfo(MALVORANT_EXECUTABLE).isExecutable());
        // A copy already running would make the real program leave at once.
        std::vector<platform::ProcessEntry> running;
        QVERIFY(platform::listProcesses(running));
        if (std::any_of(running.begin(), running.end(),
                        [](const platform::ProcessEntry& e) { return isInstanceName(e.name); }))
            QSKIP("a copy of the program already runs on this machine");
    }

    // The real program, up and idle, leaves at once with status 0 (without
    // its handler the signal would end it abruptly).
    void programLeavesOnSignal_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void programLeavesOnSignal()
    {
        QFETCH(int, sig);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QProcess program;
        program.setProcessEnvironment(childrun::programEnvironment(tmp));
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(MALVORANT_EXECUTABLE, QStringList());
        QVERIFY(program.waitForStarted());
        // The logs are made after the handlers are in place.
        const QString log = tmp.filePath("ProgramData") + "/Malvorant/logs/malvorantlog.error";
        QDeadlineTimer deadline(60000);
        while (!QFileInfo::exists(log) && program.state() == QProcess::Running && !deadline.hasExpired())
            program.waitForFinished(50);
        const bool running = program.state() == QProcess::Running;
        const bool ended = running && ::kill(pid_t(program.processId()), sig) == 0
                           && program.waitForFinished(15000);
        stop(program);
        QVERIFY2(running, "the program did not come up");
        QVERIFY2(ended, "the program did not leave");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    // Mid-recording, the end comes: the process leaves at once, and its
    // recording is complete and committed as after a stop.
    void recordingFinishedOnEnd_data()
    {
        QTest::addColumn<int>("sig"); // 0: the window is closed
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("window closed") << 0;
    }

    void recordingFinishedOnEnd()
    {
        QFETCH(int, sig);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QProcess child;
        QProcessEnvironment env = childrun::programEnvironment(tmp);
        env.insert("MALVORANT_DEVICE", "simulated");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("child")});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        QDeadlineTimer deadline(90000);
        while (!said.contains('\n') && child.state() == QProcess::Running && !deadline.hasExpired()) {
            child.waitForReadyRead(100);
            said += child.readAllStandardOutput();
        }
        if (!said.startsWith("RECORDING ")) {
            stop(child);
            QFAIL(qPrintable("the child did not record: " + QString::fromLocal8Bit(said)));
        }
        const QString name = QString::fromLocal8Bit(said.mid(10).trimmed());

        if (sig != 0)
            QVERIFY(::kill(pid_t(child.processId()), sig) == 0);
        else
            child.write("close\n");
        const bool ended = child.waitForFinished(15000);
        stop(child);
        QVERIFY2(ended, "the child did not leave");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        const QString data = tmp.filePath("Public") + "/MalvorantData";
        const QString path = data + "/" + name;
        const int records = recordsOnDisk(path);
        QCOMPARE(QFileInfo(path).size(), CFileEcg::kDataStartV2 + qint64(records) * 16);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(data + "/zqr.sqlite3");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("pragma integrity_check"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
            QVERIFY(q.exec("select patientId, fileSize from ecgTable where fileName='" + name + "'"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            QCOMPARE(q.value(1).toInt(), records);
            QVERIFY(!q.next());
            // No other file waits without its row.
            QVERIFY(q.exec("select count(*) from ecgTable"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), int(QDir(data).entryList({"*.ecg"}, QDir::Files).size()));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("check");

        // The lead-in, what was recorded, and the ring flushed as trailer.
        QVERIFY(QFile(path).open(QIODevice::ReadOnly));
        const QVector<int> types = recordTypes(path);
        int first = -1, last = -1, viewable = 0;
        for (int i = 0; i < types.size(); ++i) {
            if (types[i] == ECG_SAMPLE) {
                if (first < 0)
                    first = i;
                last = i;
                ++viewable;
            }
        }
        QCOMPARE(first, kLeadIn);
        QCOMPARE(int(types.size()) - 1 - last, LiveView::kRecordingDelay);
        QCOMPARE(types[types.size() - 4], int(ECG_SAMPLE_LEADIN));
        QVERIFY2(viewable >= kRecorded, qPrintable(QString::number(viewable)));
    }

    // One data folder, one start after another: each start is checked for
    // what the kill before it left, then records and is killed in its turn,
    // at a random moment (at ten times the device's pace, and once at its
    // own pace to measure how long the newest samples wait), then right after
    // each step of a stop and of an assignment.
    void killedWhileRecording()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString data = tmp.filePath("Public") + "/MalvorantData";
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        qInfo("seed %u", seed);
        struct Step
        {
            const char* scale;
            QStringList action;
            int killAfterMs;
        };
        const QList<Step> steps = {
            {"10", {"record"}, 0},
            {"10", {"record"}, int(random.bounded(2500))},
            {"1", {"record"}, 1500 + int(random.bounded(2000))},
            {"10", {"stop", "trailer"}, -1},
            {"10", {"stop", "finished"}, -1},
            {"10", {"stop", "committed"}, -1},
            {"10", {"assign", "renamed"}, -1},
            {"10", {"assign", "header"}, -1},
            {"10", {"assign", "row"}, -1},
            {"10", {"check"}, -1},
        };
        KillRun previous;
        QStringList previousAction;
        qint64 longestWait = 0;
        int killsAtOwnPace = 0;
        for (const Step& step : steps) {
            bool started = false;
            const KillRun run = runKillChild(tmp, QStringList{step.scale} + step.action, step.killAfterMs,
                                             [&](const KillRun& start) {
                                                 started = true;
                                                 if (!previousAction.isEmpty())
                                                     checkAfterKill(data, previous, previousAction, start);
                                             });
            if (QTest::currentTestFailed()) {
                qWarning("after %s (seed %u)", qPrintable(previousAction.join(' ')), seed);
                return;
            }
            QVERIFY2(started && run.start.contains("LISTED"),
                     qPrintable(QString("the start after %1 did not come up (exit %2)")
                                    .arg(previousAction.join(' ')).arg(run.exitCode)));
            if (step.action.first() == "check")
                break;
            QVERIFY2(run.killed && !run.file.isEmpty(),
                     qPrintable(QString("%1 ended with %2").arg(step.action.join(' ')).arg(run.exitCode)));
            if (QByteArray(step.scale) == "1") {
                longestWait = std::max(longestWait, run.longestWait);
                ++killsAtOwnPace;
            }
            previous = run;
            previousAction = step.action;
        }
        // At the device's own pace: how long the newest samples wait in the
        // program before they are in the file.
        qInfo("the newest samples waited at most %lld ms before they reached the file", longestWait);
        QVERIFY(killsAtOwnPace > 0);
        QVERIFY2(longestWait > 0 && longestWait < 1000, qPrintable(QString::number(longestWait)));
    }

private:
    // What the start (next) must show after the kill of the run before it.
    void checkAfterKill(const QString& data, const KillRun& killed, const QStringList& action, const KillRun& next)
    {
        const QString path = data + "/" + killed.file;
        const QString aside = data + "/" + QLatin1String(CFileMan::kSetAsideFolder) + "/" + killed.file;
        const QVector<int> types = recordTypes(QFileInfo::exists(path) ? path : aside);
        const QString kind = action.first();

        // Every sample handed to the file more than a second before the kill is in it.
        int owed = 0;
        for (const auto& h : killed.heard) {
            if (h.first < killed.killedAt - 1000)
                owed = std::max(owed, h.second);
        }
        QVERIFY2(types.size() >= owed, qPrintable(QString("%1 holds %2 of %3 records").arg(killed.file)
                                                     .arg(types.size()).arg(owed)));

        // The store: sound, one row per recording file, every row counting
        // the records on its disk, the pending ones listed.
        int pendingRows = 0;
        int row = -1, rowPatient = -1, rowSize = -1;
        QString rowFile;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "killcheck");
            db.setDatabaseName(data + "/zqr.sqlite3");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("pragma integrity_check") && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
            QVERIFY(q.exec("select ecgId, patientId, fileName, fileSize from ecgTable"));
            QStringList named;
            while (q.next()) {
                const QString name = q.value(2).toString();
                named << name;
                QCOMPARE(q.value(3).toInt(), recordsOnDisk(data + "/" + name));
                pendingRows += q.value(1).toInt() == 0 ? 1 : 0;
                if (CFileMan::nameAfterPatient(name) == CFileMan::nameAfterPatient(killed.file)) {
                    row = q.value(0).toInt();
                    rowPatient = q.value(1).toInt();
                    rowFile = name;
                    rowSize = q.value(3).toInt();
                }
            }
            q.finish();
            db.close();
            for (const QString& name : QDir(data).entryList({"*.ecg"}, QDir::Files))
                QVERIFY2(named.contains(name), qPrintable("no row for " + name));
        }
        QSqlDatabase::removeDatabase("killcheck");
        QCOMPARE(next.startValue("LISTED", 0), pendingRows);
        QCOMPARE(next.startValue("LISTED", 2), pendingRows > 0 ? 1 : 0);

        if (kind == "assign") {
            // Finished at the start, never half: row, name, header and
            // screen all the patient's.
            QVERIFY(killed.patient > 0);
            QCOMPARE(rowPatient, killed.patient);
            QVERIFY2(rowFile.startsWith(QString::number(killed.patient) + "_"), qPrintable(rowFile));
            CFileEcg header;
            QVERIFY(header.openFileReadOnly((data + "/" + rowFile).toStdString()));
            QCOMPARE(QString::fromStdString(header.patientName), QStringLiteral("Rex"));
            QCOMPARE(next.startValue("SHOWN", 0), 0);
            QCOMPARE(next.startValue("SHOWN", 1), row);
            QCOMPARE(next.startValue("SHOWN", 2), killed.patient);
            QCOMPARE(next.startValue("SHOWN", 3), killed.patient);
            QCOMPARE(next.startValue("UNASSIGNED", 0), 0);
            QCOMPARE(next.startValue("RECOVERED", 0), 0);
            return;
        }

        if (kind == "record" && !hasSampleBeyondLeadIn(types)) {
            // Killed before a sample beyond the lead-in reached the file: no
            // recording to offer, kept aside.
            QVERIFY2(QFileInfo::exists(aside), qPrintable(aside));
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(row, -1);
            QVERIFY(next.shownFile() != killed.file);
            QCOMPARE(next.startValue("RECOVERED", 0), 0);
            return;
        }

        // The recording waits for its patient: shown in state 4, not as
        // anyone's, listed, and said once when it was found again.
        QVERIFY(row > 0);
        QCOMPARE(rowPatient, 0);
        QCOMPARE(rowFile, killed.file);
        QCOMPARE(rowSize, int(types.size()));
        QCOMPARE(next.startValue("SHOWN", 0), 4);
        QCOMPARE(next.startValue("SHOWN", 1), row);
        QCOMPARE(next.startValue("SHOWN", 2), 0);
        QCOMPARE(next.shownFile(), killed.file);
        QCOMPARE(next.startValue("UNASSIGNED", 0), 1);
        QCOMPARE(next.startValue("LISTED", 1), 1);
        const bool committedBefore = kind == "stop" && action.value(1) == "committed";
        QCOMPARE(next.startValue("RECOVERED", 0), committedBefore ? 0 : 1);
        if (kind == "stop") {
            // The stop is complete: its trailer marks the last records, the
            // samples before it are untouched.
            QVERIFY(types.size() > LiveView::kRecordingDelay + kLeadIn);
            const int from = int(types.size()) - LiveView::kRecordingDelay;
            for (int i = from; i < types.size(); ++i)
                QVERIFY2(types[i] != ECG_SAMPLE && types[i] != ECG_SAMPLE_RPEAK, qPrintable(QString::number(i)));
            QCOMPARE(types[from - 1] == ECG_SAMPLE_LEADIN, false);
        }
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "child") == 0)
        return childMain(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "killchild") == 0)
        return killChildMain(argc, argv);
    QCoreApplication app(argc, argv);
    TstQuitRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quitrecording.moc"
