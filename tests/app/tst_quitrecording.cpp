// The program asked to end from outside. The real program leaves through its
// event loop on SIGTERM, SIGHUP and SIGINT. A recording in progress when the
// end comes (a signal, or the window closed) is finished: seen from a second
// process, its file is complete, its row committed for patient 0 and the
// database sound. The recording process is this test's own child, set up as
// the program's main is (quit signals, bridge, main.qml), since a recording
// needs the record button.

#include "isolatedhome.h"
#include "livetap.h"
#include "processlist.h"
#include "quitsignals.h"
#include "recordingcontrol.h"
#include "startup.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr qint64 kDataStart = 110000;
constexpr int kLeadIn = LiveView::kRingSize - 1;
// Ordinary samples the child waits for on the disk before it reports.
constexpr int kRecorded = 1500;

int recordsOnDisk(const QString& path)
{
    return int((QFileInfo(path).size() - kDataStart) / qint64(sizeof(EcgFileRecord)));
}

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
    if (!AppHarness::waitFor([&] { return recordsOnDisk(path) >= kLeadIn + kRecorded; }, 30000))
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

} // namespace

static IsolatedHome isolatedHome;

class TstQuitRecording : public QObject
{
    Q_OBJECT

    static QProcessEnvironment environment(const QTemporaryDir& tmp)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MALVORANT_PUBLIC_DOCUMENTS", tmp.filePath("Public"));
        env.insert("ALLUSERSPROFILE", tmp.filePath("ProgramData"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

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
        program.setProcessEnvironment(environment(tmp));
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
        QProcessEnvironment env = environment(tmp);
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
        QCOMPARE(QFileInfo(path).size(), kDataStart + qint64(records) * 16);
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
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        f.seek(kDataStart);
        const QByteArray bytes = f.readAll();
        QVector<int> types;
        for (qsizetype i = 0; i + 16 <= bytes.size(); i += 16) {
            EcgFileRecord r;
            std::memcpy(&r, bytes.constData() + i, sizeof r);
            types << r.type;
        }
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
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "child") == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TstQuitRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quitrecording.moc"
