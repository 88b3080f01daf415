#include <QtTest>
#include <QProcess>
#include <QTemporaryDir>

#include "blockedpath.h"
#include "commalocale.h"
#include "debuglog.h"
#include "ecgbuffer.h"
#include "fileecg.h"
#include "pdfreport.h"
#include "pointseries.h"
#include "readonlyscope.h"
#include "reportpages.h"
#include "reportsource.h"

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kUnitsPerMv = 1000.0 / 5.2;
constexpr int kLeadIn = 2499;   // lead-in records the recorder writes
constexpr int kSkipped = 3;     // signal entries before a tiled strip's first value
constexpr double kPxPerMm = 10; // pages are rendered at 254 dpi
constexpr double kBoxLeft = 5.0, kBoxWidth = 200.0, kBoxHeight = 100.0;

// Top of the strip box in mm from the top of the page: the first page has one
// strip, further pages two.
double boxTop(int page, int slot)
{
    const double row = 297.0 / 20;
    const double inset = (7 * row - kBoxHeight) / 2;
    if (page == 1)
        return 9 * row + inset;
    return (slot == 0 ? 3 : 11) * row + inset;
}

// A recording as the recorder writes it: lead-in, signal, trailer. Signal
// entries are baseline but for one square pulse; events go in before the
// signal entry they name.
struct RecordingShape {
    int signal = 32000;
    int trailer = 1250;
    int pulseStart = 2000;
    int pulseLength = 1000;
    double pulseI = 0.0;  // mV
    double pulseII = 1.0; // mV
    std::vector<std::pair<int, int>> events; // signal index, type
    int leadIn = kLeadIn;
};

bool writeRecording(const QString& path, const RecordingShape& shape)
{
    CFileEcg f;
    f.patientName = "Rex Müller";
    f.patientBirthdate = "03.04.2019";
    f.genderCode = 4;
    f.speciesCode = 2;
    f.ownerFirstName = "Anna";
    f.ownerLastName = "Müller-Lüdenscheidt";
    f.extPatientId = "X-77";
    f.recordingTime = 1767348000; // Jan 02, 2026 10:00:00
    if (!f.createFile(path.toStdString()))
        return false;
    std::vector<EcgFileRecord> records;
    auto sample = [&](double i, double ii, int type) {
        EcgStreamSample s{};
        s.leadI = float(i * kUnitsPerMv);
        s.leadII = float(ii * kUnitsPerMv);
        deriveLeads(s);
        s.type = type;
        records.push_back(fileRecordFromStream(s));
    };
    for (int i = 0; i < shape.leadIn; ++i)
        sample(0, 0, ECG_SAMPLE_LEADIN);
    for (int i = 0; i < shape.signal; ++i) {
        for (const auto& e : shape.events) {
            if (e.first == i) {
                EcgStreamSample ev{};
                ev.type = e.second;
                records.push_back(fileRecordFromStream(ev));
            }
        }
        const bool on = i >= shape.pulseStart && i < shape.pulseStart + shape.pulseLength;
        sample(on ? shape.pulseI : 0, on ? shape.pulseII : 0, ECG_SAMPLE);
    }
    for (int i = 0; i < shape.trailer; ++i)
        sample(0, 0, ECG_SAMPLE_LEADIN);
    return f.addData(records.data(), int(records.size())) && f.close();
}

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

QString pdfText(const QString& pdf)
{
    return QString::fromUtf8(run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
}

// One rendered page, RGB.
struct Page {
    int w = 0, h = 0;
    QByteArray rgb;
    const uchar* px(int x, int y) const { return reinterpret_cast<const uchar*>(rgb.constData()) + 3 * (y * w + x); }
    bool blue(int x, int y) const { const uchar* p = px(x, y); return p[2] > 180 && p[0] < 150 && p[1] < 150; }
    bool pink(int x, int y) const
    {
        const uchar* p = px(x, y);
        return p[0] > 230 && p[1] > 150 && p[1] < 215 && p[2] > 150 && p[2] < 215;
    }
};

Page render(const QString& pdf, int page)
{
    Page out;
    const QString prefix = pdf + QStringLiteral(".p%1").arg(page);
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-aaVector"),
                                     QStringLiteral("no"), QStringLiteral("-f"), QString::number(page),
                                     QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"),
                                     pdf, prefix});
    QFile f(prefix + QStringLiteral(".ppm"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray all = f.readAll();
    // P6 header: magic, width, height, maximum, one blank.
    QList<QByteArray> fields;
    int pos = 0;
    while (fields.size() < 4 && pos < all.size()) {
        while (pos < all.size() && std::isspace(uchar(all[pos])))
            ++pos;
        int start = pos;
        while (pos < all.size() && !std::isspace(uchar(all[pos])))
            ++pos;
        fields << all.mid(start, pos - start);
    }
    if (fields.size() < 4 || fields[0] != "P6")
        return out;
    out.w = fields[1].toInt();
    out.h = fields[2].toInt();
    out.rgb = all.mid(pos + 1);
    if (out.rgb.size() != out.w * out.h * 3)
        out.w = out.h = 0;
    return out;
}

struct Box {
    int left, top, right, bottom; // pixels, inclusive
    bool contains(int x, int y, int slack = 2) const
    {
        return x >= left - slack && x <= right + slack && y >= top - slack && y <= bottom + slack;
    }
};

Box boxOf(int page, int slot)
{
    const double top = boxTop(page, slot);
    return {int(std::lround(kBoxLeft * kPxPerMm)), int(std::lround(top * kPxPerMm)),
            int(std::lround((kBoxLeft + kBoxWidth) * kPxPerMm)), int(std::lround((top + kBoxHeight) * kPxPerMm))};
}

// Trace or bar pixels outside the given boxes and the logo.
int strayPixels(const Page& p, std::vector<Box> boxes)
{
    const double pxPerPt = 254 / 72.0;
    boxes.push_back({int(50 * pxPerPt), int(40 * pxPerPt), int(110 * pxPerPt), int(60 * pxPerPt)});
    int stray = 0;
    for (int y = 0; y < p.h; ++y) {
        for (int x = 0; x < p.w; ++x) {
            if (!p.blue(x, y) && !p.pink(x, y))
                continue;
            bool inside = false;
            for (const Box& b : boxes)
                inside = inside || b.contains(x, y);
            stray += inside ? 0 : 1;
        }
    }
    return stray;
}

// Topmost and bottommost trace pixel of a column within a box (-1 when none).
std::pair<int, int> traceRows(const Page& p, const Box& b, int x)
{
    int top = -1, bottom = -1;
    for (int y = b.top - 2; y <= b.bottom + 2; ++y) {
        if (p.blue(x, y)) {
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    return {top, bottom};
}

int xOfMm(double mm) { return int(std::lround((kBoxLeft + mm) * kPxPerMm)); }

} // namespace

class TestPdfReport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void textAndPages_data();
    void textAndPages();
    void tilingAndShortLastStrip();
    void gainScale_data();
    void gainScale();
    void speedScale_data();
    void speedScale();
    void lanes_data();
    void lanes();
    void eventBarsKeepTheTrace();
    void bufferSourceMatchesFile();
    void failures_data();
    void failures();
    void existingReportSurvivesFailure();
    void settingsFallBack();
    void longTextsAreCut();
    void logo_data();
    void logo();
    void outputPath_data();
    void outputPath();
    void pageTableAndSeries();

private:
    PdfReportRequest request(const QString& name, const RecordingShape& shape);
    QString pdfPath(const QString& name) const { return m_dir->filePath(name + QStringLiteral(".pdf")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDebugLog> m_log;
};

void TestPdfReport::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                             | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    m_log = std::make_unique<CDebugLog>(1, false, m_dir->path().toStdString(), "testlog");
    g_pDebugLog = m_log.get();
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QSKIP("poppler-utils are not installed (tools/install-deps)");
}

void TestPdfReport::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

PdfReportRequest TestPdfReport::request(const QString& name, const RecordingShape& shape)
{
    PdfReportRequest r;
    r.recordingPath = m_dir->filePath(name + QStringLiteral(".ecg"));
    if (!writeRecording(r.recordingPath, shape))
        r.recordingPath = QStringLiteral("/nonexistent/recording-not-written.ecg");
    r.speed = 25;
    r.gain = 10;
    r.displayMode = 0;
    r.texts = CPdfReport::textsForInstitution(QStringLiteral("Tierklinik Łódź"));
    r.logoPath = QStringLiteral(MALVORANT_REPORT_LOGO);
    r.outputPath = pdfPath(name);
    return r;
}

void TestPdfReport::textAndPages_data()
{
    QTest::addColumn<bool>("commaLocale");
    QTest::newRow("C locale") << false;
    QTest::newRow("decimal comma") << true;
}

void TestPdfReport::textAndPages()
{
    QFETCH(bool, commaLocale);
    std::unique_ptr<CommaLocale> comma;
    if (commaLocale) {
        comma = std::make_unique<CommaLocale>();
        if (!comma->isActive())
            QSKIP(qPrintable(comma->error()));
    }
    PdfReportRequest r = request(QStringLiteral("bookmarks%1").arg(commaLocale), RecordingShape());
    r.bookmarks = {6000, 20000};
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.pages, 2);
    QCOMPARE(res.strips, 2);

    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {r.outputPath}));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b"))), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595\\.\\d+ x 841\\.\\d+ pts \\(A4\\)"))),
             qPrintable(info));

    const QString text = pdfText(r.outputPath);
    for (const QString& expected :
         {QStringLiteral("Tierklinik Łódź"), QStringLiteral("Patient Name:"), QStringLiteral("Rex Müller"),
          QStringLiteral("Birthdate: 03.04.2019"), QStringLiteral("Gender: Female, Spayed"),
          QStringLiteral("Patient owner:"), QStringLiteral("Anna Müller-Lüdenscheidt"), QStringLiteral("Species: Canine"), QStringLiteral("Yarlo Malvorant"),
          // each strip is centred on its bookmark: it starts 8 s before it
          QStringLiteral("Jan 02, 2026 10:00:04, 12.5 mm/s 10.0 mm/mV"),
          QStringLiteral("Jan 02, 2026 10:00:32, 12.5 mm/s 10.0 mm/mV"), QStringLiteral("Page 01 of 02"),
          QStringLiteral("Page 02 of 02"), QStringLiteral("Malvorant"), QStringLiteral("Rex Müller, Anna Müller-Lüdenscheidt"),
          QStringLiteral("X-77")}) {
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" missing in:\n") + text));
    }
    // English month names whatever the locale: the footer's time too.
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d\\d, "
                                                             "\\d{4} \\d\\d:\\d\\d:\\d\\d +Page 01 of 02"))),
             qPrintable(text));
}

void TestPdfReport::tilingAndShortLastStrip()
{
    // 8 screen sheets at 25 mm/s: 4 strips of 16 s after the lead-in.
    PdfReportRequest r = request(QStringLiteral("tiled"), RecordingShape());
    PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.strips, 4);
    QCOMPARE(res.pages, 3);
    QString text = pdfText(r.outputPath);
    for (const char* t : {"10:00:00,", "10:00:16,", "10:00:32,", "10:00:48,", "Page 03 of 03"})
        QVERIFY2(text.contains(QLatin1String(t)), t);

    // 2.5 strips: the last one holds half a strip and is drawn half as long.
    RecordingShape shape;
    shape.signal = 20000;
    r = request(QStringLiteral("short"), shape);
    res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.strips, 3);
    QCOMPARE(res.pages, 2);
    const Page p = render(r.outputPath, 2);
    QVERIFY(p.w > 0);
    const Box last = boxOf(2, 1);
    int rightmost = -1;
    for (int x = last.left; x <= last.right + 2; ++x) {
        if (traceRows(p, last, x).first >= 0)
            rightmost = x;
    }
    const double endMm = (4000.0 - kSkipped) / 8000 * kBoxWidth;
    QVERIFY2(std::abs(rightmost - xOfMm(endMm)) <= 3, qPrintable(QString::number(rightmost)));
    // A full strip reaches the right edge.
    const Box full = boxOf(2, 0);
    QVERIFY(traceRows(p, full, full.right - 2).first >= 0);
    QCOMPARE(strayPixels(p, {full, last}), 0);
}

void TestPdfReport::gainScale_data()
{
    QTest::addColumn<double>("gain");
    QTest::addColumn<QString>("printed");
    QTest::newRow("2.5") << 2.5 << "2.5 mm/mV";
    QTest::newRow("5") << 5.0 << "5.0 mm/mV";
    QTest::newRow("10") << 10.0 << "10.0 mm/mV";
    QTest::newRow("20") << 20.0 << "20.0 mm/mV";
    QTest::newRow("30") << 30.0 << "30.0 mm/mV";
    QTest::newRow("40") << 40.0 << "40.0 mm/mV";
}

void TestPdfReport::gainScale()
{
    QFETCH(double, gain);
    QFETCH(QString, printed);
    RecordingShape shape;
    shape.signal = 8000;
    PdfReportRequest r = request(QStringLiteral("gain%1").arg(gain * 10), shape);
    r.gain = gain;
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QVERIFY(pdfText(r.outputPath).contains(printed));

    const Page p = render(r.outputPath, 1);
    QVERIFY(p.w > 0);
    const Box b = boxOf(1, 0);
    const double mmPerEntry = kBoxWidth / 8000;
    // Baseline left of the pulse, pulse top in its middle: 1 mV is `gain` mm.
    const auto base = traceRows(p, b, xOfMm((1000 - kSkipped) * mmPerEntry));
    const auto top = traceRows(p, b, xOfMm((2500 - kSkipped) * mmPerEntry));
    QVERIFY(base.first >= 0 && top.first >= 0);
    const double baseY = (base.first + base.second) / 2.0;
    const double topY = (top.first + top.second) / 2.0;
    QVERIFY2(std::abs(baseY - (b.top + b.bottom) / 2.0) <= 2, "baseline at the lane centre");
    QVERIFY2(std::abs((baseY - topY) / kPxPerMm - gain) <= 0.25,
             qPrintable(QStringLiteral("pulse %1 mm").arg((baseY - topY) / kPxPerMm)));
    QCOMPARE(strayPixels(p, {b}), 0);
}

void TestPdfReport::speedScale_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("stripLength");
    QTest::addColumn<QString>("printed");
    QTest::newRow("2.5") << 2.5 << 80000 << "1.25 mm/s";
    QTest::newRow("5") << 5.0 << 40000 << "2.5 mm/s";
    QTest::newRow("10") << 10.0 << 20000 << "5.0 mm/s";
    QTest::newRow("25") << 25.0 << 8000 << "12.5 mm/s";
    QTest::newRow("50") << 50.0 << 4000 << "25.0 mm/s";
    QTest::newRow("100") << 100.0 << 2000 << "50.0 mm/s";
    QTest::newRow("200") << 200.0 << 1000 << "100.0 mm/s";
}

void TestPdfReport::speedScale()
{
    QFETCH(double, speed);
    QFETCH(int, stripLength);
    QFETCH(QString, printed);
    RecordingShape shape;
    shape.signal = stripLength;
    shape.pulseStart = stripLength / 4;
    shape.pulseLength = stripLength / 8;
    PdfReportRequest r = request(QStringLiteral("speed%1").arg(speed * 10), shape);
    r.speed = speed;
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.strips, 1);
    const QString text = pdfText(r.outputPath);
    QVERIFY2(text.contains(printed + QStringLiteral(" 10.0 mm/mV")), qPrintable(text));

    // Distances on paper are time x the printed speed.
    const double mmPerS = printed.section(QLatin1Char(' '), 0, 0).toDouble();
    const Page p = render(r.outputPath, 1);
    const Box b = boxOf(1, 0);
    const int pulseRow = int(std::lround((b.top + b.bottom) / 2.0 - 10 * kPxPerMm));
    int rise = -1, fall = -1;
    for (int x = b.left; x <= b.right; ++x) {
        bool high = false;
        for (int y = pulseRow - 3; y <= pulseRow + 3; ++y)
            high = high || p.blue(x, y);
        if (high && rise < 0)
            rise = x;
        if (high)
            fall = x;
    }
    const double riseMm = (shape.pulseStart - kSkipped) / 500.0 * mmPerS;
    const double widthMm = shape.pulseLength / 500.0 * mmPerS;
    QVERIFY2(std::abs(rise - xOfMm(riseMm)) <= 3, qPrintable(QStringLiteral("rise at %1 px").arg(rise)));
    QVERIFY2(std::abs((fall - rise) / kPxPerMm - widthMm) <= 0.4, qPrintable(QStringLiteral("width %1 px").arg(fall - rise)));
    QCOMPARE(strayPixels(p, {b}), 0);
}

void TestPdfReport::lanes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("single lead") << 0 << QStringList{"II"};
    QTest::newRow("Einthoven") << 1 << QStringList{"I", "II", "III"};
    QTest::newRow("Goldberger I") << 2 << QStringList{"I", "II", "III", "aVR", "aVL", "aVF"};
    QTest::newRow("Goldberger") << 3 << QStringList{"I", "II", "III", "aVR", "aVL", "aVF"};
}

void TestPdfReport::lanes()
{
    QFETCH(int, mode);
    QFETCH(QStringList, labels);
    RecordingShape shape;
    shape.signal = 8000;
    shape.pulseI = 0.3;
    shape.pulseII = 0.5;
    PdfReportRequest r = request(QStringLiteral("mode%1").arg(mode), shape);
    r.displayMode = mode;
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    const QString text = pdfText(r.outputPath);
    for (const QString& l : labels)
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("(^|\\n)%1\\n").arg(l))), qPrintable(l));

    const Page p = render(r.outputPath, 1);
    const Box b = boxOf(1, 0);
    const int n = int(labels.size());
    const double laneH = kBoxHeight * kPxPerMm / n;
    // Pulse heights per lane in mV: I, II, III, aVR, aVL, aVF; one lead shows II.
    const double all[6] = {0.3, 0.5, 0.2, -0.4, 0.05, 0.35};
    std::vector<int> perLane(size_t(n), 0);
    for (int y = b.top - 2; y <= b.bottom + 2; ++y) {
        for (int x = b.left; x <= b.right; ++x) {
            if (!p.blue(x, y))
                continue;
            const int lane = std::min(n - 1, std::max(0, int((y - b.top) / laneH)));
            const double fromEdge = std::min(y - (b.top + lane * laneH), b.top + (lane + 1) * laneH - y);
            QVERIFY2(fromEdge >= 1.5 * kPxPerMm, qPrintable(QStringLiteral("trace at row %1 leaves lane %2").arg(y).arg(lane)));
            ++perLane[size_t(lane)];
        }
    }
    for (int i = 0; i < n; ++i) {
        QVERIFY2(perLane[size_t(i)] > 1000, qPrintable(QStringLiteral("lane %1 empty").arg(i)));
        const double centre = b.top + (i + 0.5) * laneH;
        const auto top = traceRows(p, {b.left, int(centre - laneH / 2), b.right, int(centre + laneH / 2)},
                                   xOfMm((2500 - kSkipped) * kBoxWidth / 8000));
        const double mv = n == 1 ? all[1] : all[i];
        const double y = (top.first + top.second) / 2.0;
        QVERIFY2(std::abs((centre - y) / kPxPerMm - mv * 10) <= 0.3,
                 qPrintable(QStringLiteral("lane %1: %2 mm").arg(i).arg((centre - y) / kPxPerMm)));
    }
    QCOMPARE(strayPixels(p, {b}), 0);
}

void TestPdfReport::eventBarsKeepTheTrace()
{
    RecordingShape shape;
    shape.signal = 8000;
    shape.pulseStart = 2000;
    shape.pulseLength = 2000;
    shape.events = {{1000, ECG_EVENT_PACKET_ERROR}, {3000, ECG_EVENT_USER_MARK1}, {3000, ECG_EVENT_USER_MARK2}};
    PdfReportRequest r = request(QStringLiteral("events"), shape);
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    const Page p = render(r.outputPath, 1);
    const Box b = boxOf(1, 0);
    // An event takes one entry of the strip.
    const double mmPerEntry = kBoxWidth / 8000;
    const int bar1 = xOfMm((1000 - kSkipped) * mmPerEntry);
    const int bar2 = xOfMm((3000 + 1 - kSkipped) * mmPerEntry);
    std::vector<int> pinkColumns;
    for (int x = b.left; x <= b.right; ++x) {
        int pink = 0;
        for (int y = b.top; y <= b.bottom; ++y)
            pink += p.pink(x, y) ? 1 : 0;
        if (pink > 600) // a bar over the strip height, where grid and trace leave it
            pinkColumns.push_back(x);
    }
    QVERIFY(!pinkColumns.empty());
    for (int x : pinkColumns)
        QVERIFY2(std::abs(x - bar1) <= 3 || std::abs(x - bar2) <= 3, qPrintable(QString::number(x)));
    QVERIFY(std::any_of(pinkColumns.begin(), pinkColumns.end(), [&](int x) { return std::abs(x - bar1) <= 3; }));
    QVERIFY(std::any_of(pinkColumns.begin(), pinkColumns.end(), [&](int x) { return std::abs(x - bar2) <= 3; }));
    // Inside the pulse the trace stays up at the events: nothing near the baseline.
    const int baseline = (b.top + b.bottom) / 2;
    for (int x = bar2 - 10; x <= bar2 + 10; ++x) {
        for (int y = baseline - 30; y <= baseline + 30; ++y)
            QVERIFY2(!p.blue(x, y), qPrintable(QStringLiteral("trace pulled down at %1,%2").arg(x).arg(y)));
    }
    QCOMPARE(strayPixels(p, {b}), 0);
}

void TestPdfReport::bufferSourceMatchesFile()
{
    RecordingShape shape;
    shape.signal = 16000;
    shape.events = {{5000, ECG_EVENT_USER_MARK3}};
    PdfReportRequest fromFile = request(QStringLiteral("viaFile"), shape);
    fromFile.displayMode = 3;
    QVERIFY(CPdfReport::write(fromFile).ok);

    auto buffer = std::make_unique<CEcgBuffer>();
    PdfReportRequest fromBuffer = fromFile;
    fromBuffer.buffer = buffer.get();
    fromBuffer.recordingPath.clear();
    fromBuffer.outputPath = pdfPath(QStringLiteral("viaBuffer"));
    PdfReportResult res = CPdfReport::write(fromBuffer);
    QVERIFY(!res.ok); // nothing open yet
    QVERIFY(!QFile::exists(fromBuffer.outputPath));

    const QFileInfo fi(fromFile.recordingPath);
    QVERIFY(buffer->openFile(fi.path().toStdString(), fi.fileName().toStdString(), CEcgBuffer::kFileTypeEcg));
    std::unique_ptr<CReportSource> source = reportSourceOfBuffer(*buffer);
    QVERIFY(source);
    QCOMPARE(measureLeadIn(*source), kLeadIn + 2);
    fromBuffer.leadInLength = measureLeadIn(*source);
    res = CPdfReport::write(fromBuffer);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.pages, 2);

    const Page a = render(fromFile.outputPath, 1);
    const Page b = render(fromBuffer.outputPath, 1);
    const Box box = boxOf(1, 0);
    int differ = 0, traced = 0;
    for (int y = box.top; y <= box.bottom; ++y) {
        for (int x = box.left; x <= box.right; ++x) {
            differ += a.blue(x, y) != b.blue(x, y) || a.pink(x, y) != b.pink(x, y) ? 1 : 0;
            traced += a.blue(x, y) ? 1 : 0;
        }
    }
    QVERIFY(traced > 10000);
    QCOMPARE(differ, 0);
}

void TestPdfReport::failures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("folder cannot exist") << "blocked";
    QTest::newRow("folder read-only") << "readonly";
    QTest::newRow("no output path") << "nooutput";
    QTest::newRow("no recording file") << "norecording";
    QTest::newRow("not a recording") << "garbage";
    QTest::newRow("only lead-in and trailer") << "leadinonly";
    QTest::newRow("bookmarks outside the recording") << "badbookmarks";
}

void TestPdfReport::failures()
{
    QFETCH(QString, kind);
    RecordingShape shape;
    shape.signal = kind == QLatin1String("leadinonly") ? 0 : 8000;
    PdfReportRequest r = request(QStringLiteral("fail_") + kind, shape);
    QTemporaryDir here(m_dir->filePath(QStringLiteral("outXXXXXX")));
    QVERIFY(here.isValid());
    QFile::setPermissions(here.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                           | QFile::ExeOther);
    r.outputPath = here.filePath(QStringLiteral("report.pdf"));
    std::unique_ptr<ReadOnlyScope> readOnly;
    if (kind == QLatin1String("missing"))
        r.outputPath = here.filePath(QStringLiteral("nothere/report.pdf"));
    else if (kind == QLatin1String("blocked"))
        r.outputPath = blockedFolderPath(here) + QStringLiteral("/report.pdf");
    else if (kind == QLatin1String("nooutput"))
        r.outputPath.clear();
    else if (kind == QLatin1String("norecording"))
        r.recordingPath = here.filePath(QStringLiteral("gone.ecg"));
    else if (kind == QLatin1String("garbage")) {
        QFile g(here.filePath(QStringLiteral("garbage.ecg")));
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.close(); // empty: no records
        r.recordingPath = g.fileName();
    } else if (kind == QLatin1String("badbookmarks"))
        r.bookmarks = {-5, 20000, 1 << 30};
    else if (kind == QLatin1String("readonly")) {
        readOnly = std::make_unique<ReadOnlyScope>(here.path(), QString());
        if (!readOnly->works())
            QSKIP("permissions do not bite here");
    }
    const PdfReportResult res = CPdfReport::write(r);
    readOnly.reset();
    QVERIFY(!res.ok);
    QVERIFY(!res.error.isEmpty());
    QVERIFY(!r.outputPath.isEmpty() ? !QFile::exists(r.outputPath) : true);
    QCOMPARE(QDir(here.path()).entryList(QStringList{QStringLiteral("*.pdf")}, QDir::Files).size(), 0);
}

void TestPdfReport::existingReportSurvivesFailure()
{
    RecordingShape shape;
    shape.signal = 8000;
    PdfReportRequest r = request(QStringLiteral("keep"), shape);
    QVERIFY(CPdfReport::write(r).ok);
    const QByteArray before = [&] { QFile f(r.outputPath); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    QVERIFY(before.startsWith("%PDF"));
    r.bookmarks = {999999}; // nothing to print: fails before touching the file
    QVERIFY(!CPdfReport::write(r).ok);
    QFile f(r.outputPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestPdfReport::settingsFallBack()
{
    RecordingShape shape;
    shape.signal = 8000;
    PdfReportRequest r = request(QStringLiteral("fallback"), shape);
    r.speed = 0;
    r.gain = std::nan("");
    r.displayMode = 7;
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.strips, 2); // 50 mm/s: strips of 4000 entries
    const QString text = pdfText(r.outputPath);
    QVERIFY2(text.contains(QStringLiteral("25.0 mm/s 5.0 mm/mV")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("aVF")));
    r.speed = -3;
    r.gain = 0;
    r.displayMode = -1;
    QVERIFY(CPdfReport::write(r).ok);
    QVERIFY(pdfText(r.outputPath).contains(QStringLiteral("25.0 mm/s 5.0 mm/mV")));
}

void TestPdfReport::longTextsAreCut()
{
    RecordingShape shape;
    shape.signal = 8000;
    PdfReportRequest r = request(QStringLiteral("longtexts"), shape);
    r.texts.institutionName = QString(70000, QLatin1Char('W'));
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    const QString text = pdfText(r.outputPath);
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(W+)\u2026")).match(text);
    QVERIFY2(m.hasMatch(), qPrintable(text.left(300)));
    // 290 pt of 12 pt capitals: some thirty letters, none running into the patient block.
    QVERIFY2(m.captured(1).size() > 15 && m.captured(1).size() < 40, qPrintable(QString::number(m.captured(1).size())));
    QVERIFY(text.contains(QStringLiteral("Patient Name:")));
}

void TestPdfReport::logo_data()
{
    QTest::addColumn<QString>("logo");
    QTest::newRow("our logo") << QStringLiteral(MALVORANT_REPORT_LOGO);
    QTest::newRow("missing") << QStringLiteral("/nonexistent/res/yarlo-logo-color.png");
    QTest::newRow("not a PNG") << QStringLiteral("garbage");
    QTest::newRow("none given") << QString();
}

void TestPdfReport::logo()
{
    QFETCH(QString, logo);
    RecordingShape shape;
    shape.signal = 20000;
    PdfReportRequest r = request(QStringLiteral("logo_") + QString::number(QTest::currentDataTag()[0]), shape);
    if (logo == QLatin1String("garbage")) {
        logo = m_dir->filePath(QStringLiteral("broken.png"));
        QFile g(logo);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("\x89PNG\r\n\x1a\nnot really");
    }
    r.logoPath = logo;
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QVERIFY(pdfText(r.outputPath).contains(QStringLiteral("Yarlo Malvorant")));
    // The header rule on a later page.
    const Page p = render(r.outputPath, 2);
    const bool drawn = logo == QLatin1String(MALVORANT_REPORT_LOGO);
    int ruleRow = -1;
    for (int y = 0; y < int(60 / 72.0 * 254) && ruleRow < 0; ++y) {
        int dark = 0;
        for (int x = 0; x < p.w; ++x)
            dark += p.px(x, y)[0] < 100 && p.px(x, y)[2] < 100 ? 1 : 0;
        if (dark > 1000)
            ruleRow = y;
    }
    QVERIFY(ruleRow > 0);
    int logoPixels = 0;
    for (int y = 0; y < ruleRow + 80; ++y) {
        for (int x = 0; x < 200 * 254 / 72; ++x) {
            const uchar* c = p.px(x, y);
            logoPixels += c[2] > 120 && c[0] < 60 ? 1 : 0; // the logo's teal and blue
        }
    }
    QCOMPARE(logoPixels > 1000, drawn);
}

void TestPdfReport::outputPath_data()
{
    QTest::addColumn<QUrl>("folder");
    QTest::addColumn<QString>("patient");
    QTest::addColumn<QString>("recording");
    QTest::addColumn<QString>("expected");
    QTest::newRow("dotted name kept") << QUrl::fromLocalFile("/home/vet/Reports") << "Mr. Rex" << "7_12_20260102_100000.ecg"
                                      << "/home/vet/Reports/Mr. Rex_7_12_20260102_100000.pdf";
    QTest::newRow("trailing slash") << QUrl(QStringLiteral("file:///tmp/")) << "Bello" << "1_2_20250101_080000.ecg"
                                    << "/tmp/Bello_1_2_20250101_080000.pdf";
    QTest::newRow("characters a name can't hold") << QUrl::fromLocalFile("/tmp/r") << "A/B:C*?\"<>|\\x\ty"
                                                  << "3_4_x.ecg" << "/tmp/r/A_B_C_______x_y_3_4_x.pdf";
    QTest::newRow("no patient") << QUrl::fromLocalFile("/tmp") << "" << "0_9_20250101_080000.ecg"
                                << "/tmp/_0_9_20250101_080000.pdf";
    QTest::newRow("umlauts and blanks") << QUrl::fromLocalFile("/tmp/Praxis Müller") << "Kätzchen"
                                        << "5_6_t.ecg" << "/tmp/Praxis Müller/Kätzchen_5_6_t.pdf";
    QTest::newRow("not a local folder") << QUrl(QStringLiteral("https://example.org/x")) << "Rex" << "1.ecg" << "";
    QTest::newRow("empty url") << QUrl() << "Rex" << "1.ecg" << "";
}

void TestPdfReport::outputPath()
{
    QFETCH(QUrl, folder);
    QFETCH(QString, patient);
    QFETCH(QString, recording);
    QFETCH(QString, expected);
    QCOMPARE(CPdfReport::outputPath(folder, patient, recording), expected);
}

void TestPdfReport::pageTableAndSeries()
{
    // The table holds 100 strips.
    CReportPageTable table;
    for (int i = 0; i < CReportPageTable::kMaxEntries; ++i)
        QVERIFY(table.add(i * 1000, 1, 4, 2));
    QVERIFY(!table.add(1, 1, 4, 2));
    QCOMPARE(table.pageCount(), 51);

    // The series is a ring: the oldest value goes.
    CPointSeries s;
    s.init(3, 2000);
    for (int i = 1; i <= 5; ++i)
        s.add(float(i), i == 4 ? 1 : 0);
    QCOMPARE(s.count(), 3);
    QCOMPARE(s.value(0), 3.0f);
    QCOMPARE(s.value(2), 5.0f);
    QCOMPARE(s.flag(1), std::uint8_t(1));
    QCOMPARE(s.value(3), 0.0f);
    s.init(CPointSeries::kMaxCapacity + 10, 2000);
    QCOMPARE(s.capacity(), CPointSeries::kMaxCapacity);
    for (int i = 0; i < CPointSeries::kMaxCapacity; ++i)
        s.add(1.0f, 0);
    QCOMPARE(s.count(), CPointSeries::kMaxCapacity);

    // Events before the first sample take its value; later ones repeat the
    // last sample; lead-in entries take no place.
    RecordingShape shape;
    shape.leadIn = 3;
    shape.signal = 10;
    shape.pulseStart = 0;
    shape.pulseLength = 10;
    shape.pulseII = 2.0;
    shape.events = {{0, ECG_EVENT_USER_MARK1}, {4, ECG_EVENT_CHANNEL_ERROR}};
    shape.trailer = 2;
    const QString path = m_dir->filePath(QStringLiteral("tiny.ecg"));
    QVERIFY(writeRecording(path, shape));
    std::string reason;
    auto source = reportSourceOfFile(path.toStdString(), &reason);
    QVERIFY(source);
    auto strip = std::make_unique<ReportStrip>();
    loadStrip(*source, 0, 1000, 2000, *strip);
    QCOMPARE(strip->series[1].count(), 12);
    QCOMPARE(strip->firstEntry, 3);
    const float two = float(2.0 * kUnitsPerMv);
    for (int k = 0; k < 12; ++k) {
        QCOMPARE(strip->series[1].value(k), two);
        QCOMPARE(int(strip->series[1].flag(k)), k == 0 || k == 5 ? 1 : 0);
        QCOMPARE(int(strip->series[0].flag(k)), 0);
    }

    // More than 100 strips: the first 100 are printed, the rest counted.
    RecordingShape longShape;
    longShape.signal = 100 * 1000 + 500;
    PdfReportRequest r = request(QStringLiteral("over100"), longShape);
    r.speed = 200;
    const PdfReportResult res = CPdfReport::write(r);
    QVERIFY2(res.ok, qPrintable(res.error));
    QCOMPARE(res.strips, 100);
    QCOMPARE(res.stripsLeftOut, 1);
    QCOMPARE(res.pages, 51);
    QVERIFY(pdfText(r.outputPath).contains(QStringLiteral("Page 51 of 51")));
}

QTEST_GUILESS_MAIN(TestPdfReport)
#include "tst_pdfreport.moc"
