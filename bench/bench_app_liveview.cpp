// What the live view costs: the real program on the live ECG of the simulated
// device against a minimal host that draws the same six 2,000-point OpenGL
// line series in a chart of the same size, replaced every 50 ms. Both run
// under Xvfb with software OpenGL, so the figures mean the same on any
// machine. Figures:
//   live_cpu_vs_chart       the program's CPU over the host's, 20 s each
//   live_cpu_grid_vs_chart  the same with the fine grid chosen
//   live_rss_mb             the program's resident memory after a minute of live view
//   startup_first_frame_ms  process start to the first frame of the main
//                           screen on an existing database (median of three)
//
// The program runs as a renamed copy (a copy named like the program would
// end at start while another one runs on the machine) with its own data
// folder, HOME and XDG folders; the terms of use are accepted and the
// species is set, so the live view starts without a question. "New ECG" is
// clicked through the X server's test extension, as a user would.
// MALVORANT_BENCH_SHOTS=<folder> keeps pictures of the screen at each step,
// MALVORANT_BENCH_SMAPS=<folder> the memory maps of the program and the host.

#include "dbman.h"
#include "settingsman.h"

#include "isolatedhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QXYSeries>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;
// The ECG chart of the main window at 1280 x 800: below the title bar
// (42 mm) and the top area (38 mm), above the bottom bar (11 mm), 4 px/mm.
constexpr int kChartTop = 168 + 152;
constexpr int kChartHeight = kScreenHeight - kChartTop - 44;
// 50 mm/s on a chart of at most 1280 px: one sheet is 2,000 samples, drawn
// one point each.
constexpr int kPoints = 2000;
constexpr int kTraces = 6;
constexpr int kSamplesPerTick = 25; // 500 per second, a tick every 50 ms
constexpr int kMeasureMs = 20000;
constexpr int kRssAfterMs = 60000;
// The title bar's "New ECG" button at 1280 px.
constexpr int kNewEcgX = 671;
constexpr int kNewEcgY = 80;

const char* const kUnderXvfb = "MALVORANT_BENCH_UNDER_XVFB";

// ---------------------------------------------------------------- reference

const char* const kReferenceQml = R"(
import QtQuick
import QtCharts

Window {
    width: 1280
    height: 800
    visible: true
    color: "white"
    ChartView {
        objectName: "chart"
        property var traces: [t0, t1, t2, t3, t4, t5]
        x: 0
        width: parent.width
        plotArea: Qt.rect(0, 0, width, height)
        margins.top: 0
        margins.bottom: 0
        margins.left: 0
        margins.right: 0
        backgroundColor: "transparent"
        plotAreaColor: "transparent"
        backgroundRoundness: 0
        dropShadowEnabled: false
        legend.visible: false
        animationOptions: ChartView.NoAnimation
        ValueAxis { id: ax; min: 0; max: 1; visible: false }
        ValueAxis { id: ay; min: 0; max: 1; visible: false }
        LineSeries { id: t0; axisX: ax; axisY: ay; useOpenGL: true; width: 2; color: "black" }
        LineSeries { id: t1; axisX: ax; axisY: ay; useOpenGL: true; width: 2; color: "black" }
        LineSeries { id: t2; axisX: ax; axisY: ay; useOpenGL: true; width: 2; color: "black" }
        LineSeries { id: t3; axisX: ax; axisY: ay; useOpenGL: true; width: 2; color: "black" }
        LineSeries { id: t4; axisX: ax; axisY: ay; useOpenGL: true; width: 2; color: "black" }
        LineSeries { id: t5; axisX: ax; axisY: ay; useOpenGL: true; width: 2; color: "black" }
    }
}
)";

// A beat-like wave: a narrow spike once a second over a slow swing.
double wave(long sample)
{
    const double t = sample / 500.0;
    const double inBeat = std::fmod(t, 1.0);
    const double spike = std::exp(-std::pow((inBeat - 0.3) / 0.012, 2));
    return 0.08 * spike + 0.005 * std::sin(2 * M_PI * 0.3 * t);
}

// The minimal host: six OpenGL line series of kPoints points at the
// Goldberger offsets, kSamplesPerTick new samples every 50 ms, each series
// replaced whole as the program does.
int referenceHost(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    // Charts draw their scene with the widgets' graphics view.
    QApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData(kReferenceQml);
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    auto* chart = window ? window->findChild<QQuickItem*>("chart") : nullptr;
    if (!chart)
        return 1;
    window->setPosition(0, 0);
    chart->setY(kChartTop);
    chart->setHeight(kChartHeight);

    static const double offsets[kTraces] = {0.8766, 0.715, 0.55, 0.38, 0.2, 0.08};
    // The chart takes its series away from the item tree: they are listed on it.
    const QVariantList traces = chart->property("traces").toList();
    QXYSeries* series[kTraces] = {};
    std::vector<QPointF> tables[kTraces];
    for (int j = 0; j < kTraces; ++j) {
        series[j] = j < traces.size() ? qobject_cast<QXYSeries*>(traces[j].value<QObject*>()) : nullptr;
        if (!series[j])
            return 1;
        for (int i = 0; i < kPoints; ++i)
            tables[j].push_back(QPointF(double(i) / kPoints, offsets[j]));
    }
    long sample = 0;
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (int n = 0; n < kSamplesPerTick; ++n, ++sample) {
            const int p = int(sample % kPoints);
            for (int j = 0; j < kTraces; ++j)
                tables[j][std::size_t(p)] = QPointF(double(p) / kPoints, offsets[j] + wave(sample + 37 * j));
        }
        for (int j = 0; j < kTraces; ++j)
            series[j]->replace(QList<QPointF>(tables[j].begin(), tables[j].end()));
    });
    tick.start();
    return app.exec();
}

// ---------------------------------------------------------------- the screen

// The X server's screen: pixels read back and clicks sent as from the mouse.
class XServer
{
public:
    explicit XServer(const char* name = nullptr) : m_display(XOpenDisplay(name)) {}
    ~XServer()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool isOpen() const { return m_display != nullptr; }

    QImage grab(int x, int y, int w, int h) const
    {
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), x, y, unsigned(w), unsigned(h),
                                  AllPlanes, ZPixmap);
        QImage out(w, h, QImage::Format_RGB32);
        if (!image) {
            out.fill(Qt::black);
            return out;
        }
        for (int row = 0; row < h; ++row) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(row));
            for (int col = 0; col < w; ++col)
                line[col] = QRgb(XGetPixel(image, col, row)) | 0xff000000u;
        }
        XDestroyImage(image);
        return out;
    }

    QRgb pixel(int x, int y) const { return grab(x, y, 1, 1).pixel(0, 0); }

    void click(int x, int y) const
    {
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, True, 30);
        XTestFakeButtonEvent(m_display, 1, False, 60);
        XSync(m_display, False);
    }

private:
    Display* m_display;
};

// The main screen is up once its title bar and bottom bar show their colours.
bool mainScreenShown(const XServer& screen)
{
    return screen.pixel(kScreenWidth / 2, 4) == qRgb(0x2c, 0x4a, 0x4d)
           && screen.pixel(kScreenWidth / 2, kScreenHeight - 4) == qRgb(0x3b, 0x5e, 0x61);
}

void keepPicture(const XServer& screen, const char* name)
{
    const QByteArray folder = qgetenv("MALVORANT_BENCH_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(folder));
    screen.grab(0, 0, kScreenWidth, kScreenHeight)
        .save(QDir(QString::fromLocal8Bit(folder)).filePath(QLatin1String(name) + ".png"));
}

// ---------------------------------------------------------------- processes

// MALVORANT_BENCH_SMAPS=<folder> keeps a process's memory map where its
// resident memory is read.
void keepMemoryMap(qint64 pid, const char* name)
{
    const QByteArray folder = qgetenv("MALVORANT_BENCH_SMAPS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(folder));
    const QString target = QDir(QString::fromLocal8Bit(folder)).filePath(QLatin1String(name) + ".smaps");
    QFile::remove(target);
    QFile in(QStringLiteral("/proc/%1/smaps").arg(pid));
    QFile out(target);
    if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly))
        out.write(in.readAll());
}

// CPU seconds (user and system, all threads) a process has used so far.
double cpuSeconds(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    std::vector<std::string> all;
    while (fields >> field)
        all.push_back(field);
    if (all.size() < 13)
        return -1;
    // After the name: state is field 3, utime 14, stime 15.
    const double ticks = std::stod(all[11]) + std::stod(all[12]);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

long rssKb(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

void sleepMs(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

// Shares of one core that two processes use over the same `ms` milliseconds.
std::pair<double, double> cpuShares(qint64 first, qint64 second, int ms)
{
    QElapsedTimer wall;
    const double before[2] = {cpuSeconds(first), cpuSeconds(second)};
    wall.start();
    sleepMs(ms);
    const double after[2] = {cpuSeconds(first), cpuSeconds(second)};
    const double seconds = wall.nsecsElapsed() / 1e9;
    if (before[0] < 0 || before[1] < 0 || after[0] < 0 || after[1] < 0)
        return {-1, -1};
    return {(after[0] - before[0]) / seconds, (after[1] - before[1]) / seconds};
}

void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
    }
}

struct Bench {
    QString program;   // the renamed copy
    QString documents; // MALVORANT_PUBLIC_DOCUMENTS
    QString profile;   // ALLUSERSPROFILE
    XServer screen;

    bool writeSettings(int gridIdx) const
    {
        int from = -1, to = -1;
        CDbMan db(documents + "/MalvorantData/", from, to);
        if (!db.isOk())
            return false;
        CSettingsMan settings(QStringLiteral("MalvorantQml"), db.database(), from, to);
        settings.tucAccepted = 1;
        settings.selectedSpecies = 1; // canine: no species question
        settings.ecgGridIdx = gridIdx;
        return settings.isOk() && settings.saveSettings(SettingsTermsOfUse | SettingsDisplay);
    }

    std::unique_ptr<QProcess> start() const
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MALVORANT_PUBLIC_DOCUMENTS", documents);
        env.insert("ALLUSERSPROFILE", profile);
        env.insert("MALVORANT_DEVICE", "simulated");
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(program, QStringList());
        return p;
    }

    // Milliseconds from the start to the first frame of the main screen; -1
    // when none came within 30 s.
    double startAndWaitForMainScreen(std::unique_ptr<QProcess>& p) const
    {
        QElapsedTimer clock;
        clock.start();
        // The last window is gone from the screen before the next starts.
        while (mainScreenShown(screen) && clock.elapsed() < 5000)
            sleepMs(5);
        clock.restart();
        p = start();
        while (clock.elapsed() < 30000) {
            if (mainScreenShown(screen))
                return clock.nsecsElapsed() / 1e6;
            if (p->state() == QProcess::NotRunning)
                return -1;
            sleepMs(2);
        }
        return -1;
    }

    // Starts the live view with "New ECG"; true once the sweep moves.
    bool startLiveView() const
    {
        sleepMs(500);
        screen.click(kNewEcgX, kNewEcgY);
        QElapsedTimer clock;
        clock.start();
        QImage last = screen.grab(0, kChartTop, kScreenWidth, kChartHeight);
        while (clock.elapsed() < 40000) {
            sleepMs(300);
            const QImage now = screen.grab(0, kChartTop, kScreenWidth, kChartHeight);
            if (now != last && !chartIsEmpty(now))
                return true;
            last = now;
        }
        return false;
    }

    // A chart area that is only white: nothing drawn in it yet.
    static bool chartIsEmpty(const QImage& chart)
    {
        for (int y = 0; y < chart.height(); y += 4) {
            const QRgb* line = reinterpret_cast<const QRgb*>(chart.constScanLine(y));
            for (int x = 0; x < chart.width(); x += 2) {
                if (qGray(line[x]) < 64)
                    return false;
            }
        }
        return true;
    }
};

// The reference host on a virtual X server of its own, so that it runs over
// the same seconds as the program without sharing its screen.
class ReferenceHost
{
public:
    ~ReferenceHost()
    {
        stop(m_host);
        stop(m_xvfb);
    }

    bool start()
    {
        m_xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        if (!m_xvfb.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_xvfb.canReadLine() && clock.elapsed() < 10000)
            m_xvfb.waitForReadyRead(100);
        bool ok = false;
        const int number = m_xvfb.readLine().trimmed().toInt(&ok);
        if (!ok)
            return false;
        m_display = ":" + QByteArray::number(number);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(m_display));
        m_host.setProcessEnvironment(env);
        m_host.setProcessChannelMode(QProcess::ForwardedChannels);
        m_host.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--reference")});
        return m_host.waitForStarted(10000);
    }

    qint64 processId() const { return m_host.processId(); }
    const char* display() const { return m_display.constData(); }

private:
    QProcess m_xvfb;
    QProcess m_host;
    QByteArray m_display;
};

int fail(const char* why)
{
    std::fprintf(stderr, "bench_app_liveview: %s\n", why);
    return 1;
}

// Runs this program again inside a virtual X server with software OpenGL.
int reexecUnderXvfb(char* argv0)
{
    const char* args[] = {"xvfb-run",
                          "-a",
                          "-s",
                          "-screen 0 1280x800x24 -nolisten tcp",
                          "env",
                          "QT_QPA_PLATFORM=xcb",
                          "QT_XCB_GL_INTEGRATION=xcb_glx",
                          "QSG_RHI_BACKEND=opengl",
                          "LIBGL_ALWAYS_SOFTWARE=1",
                          "MALVORANT_BENCH_UNDER_XVFB=1",
                          argv0,
                          nullptr};
    execvp(args[0], const_cast<char* const*>(args));
    return fail("xvfb-run could not be started (package xvfb)");
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::string(argv[1]) == "--reference")
        return referenceHost(argc, argv);
    if (!qEnvironmentVariableIsSet(kUnderXvfb))
        return reexecUnderXvfb(argv[0]);

    IsolatedHome home;
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!home.isValid() || !tmp.isValid())
        return fail("no temporary folder");

    Bench bench;
    if (!bench.screen.isOpen())
        return fail("no X display");
    bench.program = tmp.filePath("mlv-bench-live");
    bench.documents = tmp.filePath("Public");
    bench.profile = tmp.filePath("ProgramData");
    QDir().mkpath(bench.documents + "/MalvorantData");
    QDir().mkpath(bench.profile);
    if (!QFile::copy(QStringLiteral(MALVORANT_EXECUTABLE), bench.program))
        return fail("could not copy the program");
    if (!bench.writeSettings(3))
        return fail("could not prepare the database");

    // Start-up: a first start fills the caches a restart finds, then three.
    std::vector<double> startups;
    for (int run = 0; run < 4; ++run) {
        std::unique_ptr<QProcess> p;
        const double ms = bench.startAndWaitForMainScreen(p);
        if (ms < 0) {
            keepPicture(bench.screen, "startup-failed");
            stop(*p);
            return fail("the main screen did not show");
        }
        if (run > 0)
            startups.push_back(ms);
        sleepMs(1500); // the rest of start-up, so the next start finds its files as a user's would
        stop(*p);
    }
    std::sort(startups.begin(), startups.end());

    // The reference host runs beside each measurement.
    ReferenceHost reference;
    if (!reference.start())
        return fail("the reference host did not start (package xvfb)");

    // The live view, grid "none" (the default): CPU over 20 s, memory after a minute.
    std::unique_ptr<QProcess> live;
    if (bench.startAndWaitForMainScreen(live) < 0)
        return fail("the main screen did not show");
    keepPicture(bench.screen, "main-screen");
    QElapsedTimer liveClock;
    if (!bench.startLiveView()) {
        keepPicture(bench.screen, "live-failed");
        stop(*live);
        return fail("the live view did not start");
    }
    liveClock.start();
    sleepMs(3000);
    keepPicture(bench.screen, "live-grid-none");
    keepPicture(XServer(reference.display()), "reference");
    const auto [programCpu, referenceCpu] = cpuShares(live->processId(), reference.processId(), kMeasureMs);
    sleepMs(std::max<int>(0, kRssAfterMs - int(liveClock.elapsed())));
    const long rss = rssKb(live->processId());
    keepMemoryMap(live->processId(), "program");
    keepMemoryMap(reference.processId(), "reference");
    stop(*live);
    if (programCpu <= 0 || referenceCpu <= 0)
        return fail("the program or the reference host ended");

    // The fine grid.
    if (!bench.writeSettings(0))
        return fail("could not choose the fine grid");
    std::unique_ptr<QProcess> grid;
    if (bench.startAndWaitForMainScreen(grid) < 0 || !bench.startLiveView()) {
        keepPicture(bench.screen, "grid-failed");
        stop(*grid);
        return fail("the live view with the fine grid did not start");
    }
    sleepMs(3000);
    keepPicture(bench.screen, "live-grid-fine");
    const auto [gridCpu, gridReferenceCpu] = cpuShares(grid->processId(), reference.processId(), kMeasureMs);
    stop(*grid);
    if (gridCpu <= 0 || gridReferenceCpu <= 0)
        return fail("the program or the reference host ended");

    std::fprintf(stderr, "bench_app_liveview: CPU of one core: program %.1f %%, with the fine grid %.1f %%, "
                         "reference %.1f %% and %.1f %%; start-ups %.0f, %.0f, %.0f ms\n",
                 programCpu * 100, gridCpu * 100, referenceCpu * 100, gridReferenceCpu * 100, startups[0],
                 startups[1], startups[2]);
    std::printf("BENCH live_cpu_vs_chart %.2f x\n", programCpu / referenceCpu);
    std::printf("BENCH live_cpu_grid_vs_chart %.2f x\n", gridCpu / gridReferenceCpu);
    std::printf("BENCH live_rss_mb %.0f MB\n", rss / 1024.0);
    std::printf("BENCH startup_first_frame_ms %.0f ms\n", startups[1]);
    return 0;
}
