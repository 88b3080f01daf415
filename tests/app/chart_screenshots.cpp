// Pictures of a stored recording in the real EcgView over the real GridViewQd,
// drawn with OpenGL under X (run it under xvfb-run): every display mode and
// every grid at 25 and 50 mm/s. Each picture is checked: the 1 mV calibration
// pulse at the start must be 10 mm high at 10 mm/mV, to within one pixel.
// Usage: chart_screenshots [output folder]; exit code 0 when every check holds.

#include "chartbridge.h"
#include "chartrecording.h"
#include "isolatedhome.h"
#include "mitdb.h"

#include "../store/storetestenv.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSurfaceFormat>

#include <cstdio>

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 800;
constexpr int kPulseStart = 250; // entries after the lead-in
constexpr int kPulseLength = 100;
constexpr float kOneMillivolt = float(1000.0 / 5.2);

// Calibration pulse on leads I and II, then MIT-BIH record 100 (MLII as lead
// II, V5 as lead I).
struct Source {
    std::vector<float> mlii;
    std::vector<float> v5;
    void operator()(int i, float& leadI, float& leadII) const
    {
        if (i < kPulseStart + kPulseLength + 150) {
            leadI = leadII = (i >= kPulseStart && i < kPulseStart + kPulseLength) ? kOneMillivolt : 0.0f;
            return;
        }
        const std::size_t k = std::size_t(i) % mlii.size();
        leadII = mlii[k] - mlii[0];
        leadI = v5[k] - v5[0];
    }
};

bool dark(QRgb p) { return qRed(p) < 80 && qGreen(p) < 80 && qBlue(p) < 80; }

// Centre of the dark run in column x closest to y within [from, to]; -1 if none.
double traceCentre(const QImage& image, int x, int from, int to)
{
    from = std::max(0, from);
    to = std::min(image.height() - 1, to);
    int first = -1;
    int last = -1;
    for (int y = from; y <= to; ++y) {
        if (dark(image.pixel(x, y))) {
            if (first < 0)
                first = y;
            last = y;
        } else if (first >= 0) {
            break;
        }
    }
    return first < 0 ? -1.0 : (first + last) / 2.0;
}

// Trace index of lead II in each mode.
int traceOfLeadII(int mode)
{
    const EcgModeLayout* layout = EcgChart::modeLayout(mode);
    for (int k = 0; k < layout->traces; ++k) {
        if (layout->lead[k] == 1)
            return k;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    static IsolatedHome home;
    useBerlinTime();
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(outDir);

    const MitRecord mit = mitReadRecord(MALVORANT_TEST_DATA "/mitdb", "100");
    if (!mit.error.empty()) {
        std::fprintf(stderr, "MIT-BIH record 100: %s\n", mit.error.c_str());
        return 2;
    }
    Source source{mitResample(mit, 0, 500), mitResample(mit, 1, 500)};

    StoreEnv env;
    ChartRecording::Layout layout;
    layout.samples = 60 * 500;
    layout.signal = source;
    layout.eventsBefore = {{2400, ECG_EVENT_CHANNEL_ERROR}, {3300, ECG_EVENT_USER_MARK1}};
    const int id = ChartRecording::record(*env.files, layout);
    if (id < 0 || env.files->selectFile(id) != id) {
        std::fprintf(stderr, "the recording could not be made\n");
        return 2;
    }

    ChartBridge bridge(env.settings.get(), env.db->database(), env.files.get());
    bridge.chart.setStreaming(false);
    bridge.chart.setLeadInLength(layout.leadIn);
    bridge.chart.bookmarks().push_back({3700, QDateTime()});

    QQuickView view;
    view.engine()->rootContext()->setContextProperty("cQmlInterface", &bridge);
    view.setSource(QUrl::fromLocalFile(MALVORANT_SOURCE_DIR "/tests/app/chartharness.qml"));
    if (view.status() != QQuickView::Ready) {
        std::fprintf(stderr, "the chart views did not load\n");
        return 2;
    }
    view.resize(kWidth, kHeight);
    view.show();
    QQuickItem* root = view.rootObject();
    QObject* ecgView = root->property("ecgView").value<QObject*>();
    QObject* gridView = root->property("gridView").value<QObject*>();

    struct Shot { int mode; int grid; double speed; };
    std::vector<Shot> shots;
    for (double speed : {25.0, 50.0}) {
        for (int mode = 0; mode < 4; ++mode)
            shots.push_back({mode, 0, speed});
        for (int grid = 1; grid < 4; ++grid)
            shots.push_back({1, grid, speed});
    }
    shots.push_back({1, 0, 2.5}); // the slowest speed: min/max columns

    const char* gridNames[] = {"fine", "medium", "coarse", "none"};
    int failures = 0;
    for (const Shot& s : shots) {
        bridge.setViewerParams(s.mode, 10, s.speed, false, false, false, false, true);
        QMetaObject::invokeMethod(gridView, "qmlInitGrid", Q_ARG(int, s.grid));
        QMetaObject::invokeMethod(ecgView, "qmlInitEcgData");
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(20);
        }
        const QImage image = view.grabWindow().convertToFormat(QImage::Format_RGB32);
        const QString name = QStringLiteral("%1/ecg_mode%2_grid-%3_%4mms.png")
                                 .arg(outDir).arg(s.mode).arg(QLatin1String(gridNames[s.grid])).arg(s.speed);
        image.save(name);

        // The pulse of lead II: baseline before it, plateau in its middle. At
        // 2.5 mm/s it is 4 pixels wide, too narrow to measure between its edges.
        const double pxPerEntry = double(image.width()) * s.speed / (200.0 * 500.0);
        if (kPulseLength * pxPerEntry < 20) {
            std::printf("     %s: picture only\n", qPrintable(QFileInfo(name).fileName()));
            continue;
        }
        const int trace = traceOfLeadII(s.mode);
        const double offset = EcgChart::modeLayout(s.mode)->offset[trace];
        const int baseX = int((kPulseStart - 25) * pxPerEntry);
        const int topX = int((kPulseStart + kPulseLength / 2) * pxPerEntry);
        const double pxPerMm = image.height() / 100.0;
        const int expectedBase = int(image.height() * (1 - offset));
        const double base = traceCentre(image, baseX, expectedBase - 5 * int(pxPerMm), expectedBase + 5 * int(pxPerMm));
        const double top = base < 0 ? -1 : traceCentre(image, topX, int(base - 15 * pxPerMm), int(base - 5 * pxPerMm));
        const double heightPx = base - top;
        const double wantPx = 10 * pxPerMm;
        const bool ok = base >= 0 && top >= 0 && std::abs(heightPx - wantPx) <= 1.0;
        std::printf("%s %s: 1 mV pulse %.1f px, 10 mm = %.1f px\n", ok ? "ok  " : "FAIL",
                    qPrintable(QFileInfo(name).fileName()), base >= 0 && top >= 0 ? heightPx : -1.0, wantPx);
        failures += ok ? 0 : 1;
    }
    std::printf("%d pictures in %s, %d failed\n", int(shots.size()), qPrintable(QDir(outDir).absolutePath()),
                failures);
    return failures == 0 ? 0 : 1;
}

#include "moc_chartbridge.cpp"
