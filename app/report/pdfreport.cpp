#include "pdfreport.h"

#include "cp1250.h"
#include "debuglog.h"
#include "ecgbuffer.h"
#include "ecgrecords.h"
#include "fileecg.h"
#include "localtime.h"
#include "reportpages.h"
#include "reportsource.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

#include <hpdf.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;
constexpr double kStripWidth = ReportScale::kStripWidthMm * kPtPerMm;
constexpr double kStripHeight = 100.0 * kPtPerMm;
constexpr double kGridStep = 5.0 * kPtPerMm;
// Above twice this many values a lane is drawn as the minimum and maximum of
// each of kColumns columns (0.2 mm), which keeps every peak.
constexpr int kColumns = 1000;

// "Jan 02, 2026 10:00:00" of wall-clock seconds, English month names
// whatever the process locale is.
std::string timeText(std::int64_t seconds)
{
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm) || tm.tm_mon < 0 || tm.tm_mon > 11)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%s %02d, %04d %02d:%02d:%02d", kMonths[tm.tm_mon], tm.tm_mday,
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// One decimal, two where one would misstate the scale (1.25 mm/s); C locale.
std::string scaleNumber(double v)
{
    const bool oneDecimal = std::fabs(v * 10 - std::round(v * 10)) < 1e-9;
    return QByteArray::number(v, 'f', oneDecimal ? 1 : 2).toStdString();
}

const char* genderName(int code)
{
    switch (code) {
    case 1: return "Male";
    case 2: return "Female";
    case 3: return "Male, Neutered";
    case 4: return "Female, Spayed";
    default: return "Unknown";
    }
}

struct PdfError {
    bool failed = false;
    HPDF_STATUS errorNo = 0;
    HPDF_STATUS detailNo = 0;
};

void HPDF_STDCALL onPdfError(HPDF_STATUS errorNo, HPDF_STATUS detailNo, void* userData)
{
    // Only noted here; the writer checks after each step and stops.
    auto* error = static_cast<PdfError*>(userData);
    if (!error->failed) {
        error->failed = true;
        error->errorNo = errorNo;
        error->detailNo = detailNo;
    }
}

struct DocDeleter {
    void operator()(HPDF_Doc doc) const { HPDF_Free(doc); }
};

// One report being written: the document, its fonts and the page at hand.
class ReportWriter
{
public:
    ReportWriter(CReportSource& source, const PdfReportRequest& request, int leadIn)
        : m_source(source), m_request(request), m_header(source.header()), m_leadIn(leadIn)
    {
    }

    bool build(CReportPageTable& table, QString* error);
    // The finished document's bytes.
    bool bytes(QByteArray& out, QString* error);

private:
    bool failed(QString* error);
    bool newPage();
    void text(double x, double y, double size, const std::string& cp1250);
    void textRight(double xRight, double y, double size, const std::string& cp1250);
    double width(const std::string& cp1250, double size) const;
    // The text cut to a width, an ellipsis marking the cut.
    std::string fitted(const std::string& cp1250, double size, double maxWidth) const;
    HPDF_Image loadLogo(const QString& path);
    void header();
    void practiceAndPatient();
    void footer(int page, int pages);
    void strip(ReportPageEntry& entry, double areaTop, double areaBottom);
    void grid(double left, double bottom);
    void lane(const CPointSeries& series, int length, bool inverted, double left, double centre,
              double bottom, double top, double unitsToPt);

    CReportSource& m_source;
    const PdfReportRequest& m_request;
    const CFileEcg& m_header;
    int m_leadIn = 0;
    PdfError m_error;
    std::unique_ptr<std::remove_pointer<HPDF_Doc>::type, DocDeleter> m_doc;
    HPDF_Font m_font = nullptr;
    HPDF_Image m_logo = nullptr;
    bool m_logoTried = false;
    HPDF_Page m_page = nullptr;
    double m_w = 0;
    double m_h = 0;
    std::string m_now;
    std::unique_ptr<ReportStrip> m_strip = std::make_unique<ReportStrip>();
};

bool ReportWriter::failed(QString* error)
{
    if (!m_error.failed)
        return false;
    char line[96];
    std::snprintf(line, sizeof line, "ERROR: error_no=0x%04X, detail_no=%u", static_cast<unsigned>(m_error.errorNo),
                  static_cast<unsigned>(m_error.detailNo));
    debugLogError(line);
    if (error && error->isEmpty())
        *error = QStringLiteral("PDF library error %1").arg(QString::fromLatin1(line + 7));
    return true;
}

bool ReportWriter::newPage()
{
    m_page = HPDF_AddPage(m_doc.get());
    if (!m_page || m_error.failed)
        return false;
    HPDF_Page_SetSize(m_page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
    HPDF_Page_SetLineWidth(m_page, 0);
    HPDF_Page_SetDash(m_page, nullptr, 0, 0);
    m_w = HPDF_Page_GetWidth(m_page);
    m_h = HPDF_Page_GetHeight(m_page);
    return !m_error.failed;
}

void ReportWriter::text(double x, double y, double size, const std::string& s)
{
    if (s.empty())
        return;
    HPDF_Page_BeginText(m_page);
    HPDF_Page_SetFontAndSize(m_page, m_font, static_cast<HPDF_REAL>(size));
    HPDF_Page_TextOut(m_page, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(y), s.c_str());
    HPDF_Page_EndText(m_page);
}

double ReportWriter::width(const std::string& s, double size) const
{
    const HPDF_TextWidth tw = HPDF_Font_TextWidth(m_font, reinterpret_cast<const HPDF_BYTE*>(s.data()),
                                                  static_cast<HPDF_UINT>(s.size()));
    return tw.width * size / 1000.0;
}

std::string ReportWriter::fitted(const std::string& whole, double size, double maxWidth) const
{
    // No line of the page holds more than a few hundred characters; the
    // library measures nothing past 65535.
    const std::string s = whole.substr(0, 1000);
    if (s.size() == whole.size() && width(s, size) <= maxWidth)
        return s;
    const std::string ellipsis = "\x85"; // in the code page
    std::size_t lo = 0, hi = s.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi + 1) / 2;
        if (width(s.substr(0, mid) + ellipsis, size) <= maxWidth)
            lo = mid;
        else
            hi = mid - 1;
    }
    return s.substr(0, lo) + ellipsis;
}

void ReportWriter::textRight(double xRight, double y, double size, const std::string& s)
{
    if (s.empty())
        return;
    text(xRight - width(s, size), y, size, s);
}

HPDF_Image ReportWriter::loadLogo(const QString& path)
{
    // Decoded here, not by the PDF library: its PNG reader ends the process
    // on a damaged file. Transparency is laid onto the white page.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return nullptr;
    const QImage read(path);
    if (read.isNull() || read.width() > 4096 || read.height() > 4096) {
        debugLogError("report logo not loaded: " + path.toStdString());
        return nullptr;
    }
    const QImage argb = read.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    std::vector<HPDF_BYTE> rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
    std::size_t o = 0;
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = qAlpha(line[x]);
            for (int c : {qRed(line[x]), qGreen(line[x]), qBlue(line[x])})
                rgb[o++] = static_cast<HPDF_BYTE>((c * a + 255 * (255 - a)) / 255);
        }
    }
    HPDF_Image image = HPDF_LoadRawImageFromMem(m_doc.get(), rgb.data(), static_cast<HPDF_UINT>(w),
                                                static_cast<HPDF_UINT>(h), HPDF_CS_DEVICE_RGB, 8);
    if (!image || m_error.failed) {
        debugLogError("report logo not loaded: " + path.toStdString());
        HPDF_ResetError(m_doc.get());
        m_error = PdfError();
        return nullptr;
    }
    return image;
}

void ReportWriter::header()
{
    const double left = 50;
    const double right = m_w - 50;
    const double top = m_h - 60;
    if (!m_logoTried) {
        m_logoTried = true;
        m_logo = loadLogo(m_request.logoPath);
    }
    double ruleLeft = left;
    double ruleY = top + 12;
    if (m_logo) {
        // One image pixel is a quarter point.
        const double w = HPDF_Image_GetWidth(m_logo) / 4.0;
        const double h = HPDF_Image_GetHeight(m_logo) / 4.0;
        HPDF_Page_DrawImage(m_page, m_logo, static_cast<HPDF_REAL>(left), static_cast<HPDF_REAL>(top),
                            static_cast<HPDF_REAL>(w), static_cast<HPDF_REAL>(h));
        ruleLeft = left + w + 12.5;
        ruleY = top + h;
    }
    HPDF_Page_SetLineWidth(m_page, 0);
    HPDF_Page_SetRGBStroke(m_page, 0, 0, 0);
    HPDF_Page_MoveTo(m_page, static_cast<HPDF_REAL>(ruleLeft), static_cast<HPDF_REAL>(ruleY));
    HPDF_Page_LineTo(m_page, static_cast<HPDF_REAL>(right), static_cast<HPDF_REAL>(ruleY));
    HPDF_Page_Stroke(m_page);
    textRight(right, ruleY - 12.5, 12, m_request.texts.makerVariant ? "Yarlo Malvorant" : "Sornhap");
}

void ReportWriter::practiceAndPatient()
{
    const PdfReportTexts& t = m_request.texts;
    const double top = m_h - 60 - 30;
    double y = top;
    const double practiceWidth = 290; // up to the patient block
    text(50, y, 12, fitted(toCp1250(t.institutionName), 12, practiceWidth));
    y -= 14;
    text(50, y, 8, fitted(toCp1250(t.doctorName), 8, practiceWidth));
    for (const QString& line : t.addressLines) {
        y -= 10;
        text(50, y, 8, fitted(toCp1250(line), 8, practiceWidth));
    }

    const double x = 350;
    const double right = m_w - 50;
    y = top - 14;
    text(x, y, 8, "Patient Name: ");
    y -= 10;
    if (!m_request.patientAssigned) {
        text(x, y, 8, "No patient assigned");
        return;
    }
    const std::string birth = "Birthdate: " + toCp1250(m_header.patientBirthdate);
    textRight(right, y, 8, birth);
    text(x, y, 8, fitted(toCp1250(m_header.patientName), 8, right - x - width(birth, 8) - 10));
    y -= 10;
    text(x, y, 8, std::string("Gender: ") + genderName(m_header.genderCode));
    y -= 20;
    text(x, y, 8, "Patient owner: ");
    y -= 10;
    std::string owner = m_header.ownerFirstName;
    if (!owner.empty() && !m_header.ownerLastName.empty())
        owner += ' ';
    owner += m_header.ownerLastName;
    text(x, y, 8, fitted(toCp1250(owner), 8, right - x));
    // The further header texts, the species first.
    if (!m_header.speciesText.empty()) {
        y -= 10;
        text(x, y, 8, fitted("Species: " + toCp1250(m_header.speciesText), 8, right - x));
    }
    for (const std::string* extra : {&m_header.spareText1, &m_header.spareText2, &m_header.spareText3,
                                     &m_header.spareText4}) {
        if (extra->empty())
            continue;
        y -= 10;
        text(x, y, 8, fitted(toCp1250(*extra), 8, right - x));
    }
}

void ReportWriter::footer(int page, int pages)
{
    const double left = 50;
    const double right = m_w - 50;
    const double bottom = 40;
    HPDF_Page_SetLineWidth(m_page, 0);
    HPDF_Page_SetDash(m_page, nullptr, 0, 0);
    HPDF_Page_SetRGBStroke(m_page, 0, 0, 0);
    HPDF_Page_MoveTo(m_page, static_cast<HPDF_REAL>(left), static_cast<HPDF_REAL>(bottom));
    HPDF_Page_LineTo(m_page, static_cast<HPDF_REAL>(right), static_cast<HPDF_REAL>(bottom));
    HPDF_Page_Stroke(m_page);
    text(left, bottom + 2, 8, "Malvorant");
    char line[96];
    std::snprintf(line, sizeof line, "%s  Page %02d of %02d", m_now.c_str(), page, pages);
    textRight(right, bottom + 2, 8, line);

    if (!m_request.patientAssigned)
        return;
    std::string who = m_header.patientName;
    std::string owner = m_header.ownerFirstName;
    if (!owner.empty() && !m_header.ownerLastName.empty())
        owner += ' ';
    owner += m_header.ownerLastName;
    if (!owner.empty())
        who += ", " + owner;
    const std::string id = fitted(toCp1250(m_header.extPatientId), 8, (right - left) / 3);
    textRight(right, bottom - 10, 8, id);
    text(left, bottom - 10, 8, fitted(toCp1250(who), 8, right - left - width(id, 8) - 10));
}

void ReportWriter::grid(double left, double bottom)
{
    HPDF_Page_SetLineWidth(m_page, 0.25f);
    HPDF_Page_SetRGBStroke(m_page, 0.65f, 0.65f, 0.65f);
    const double right = left + kStripWidth;
    const double top = bottom + kStripHeight;
    // Every 10 mm solid, the 5 mm lines between them dashed.
    for (int dashed = 0; dashed < 2; ++dashed) {
        const HPDF_UINT16 pattern[1] = {2};
        HPDF_Page_SetDash(m_page, dashed ? pattern : nullptr, dashed ? 1 : 0, 0);
        for (int i = dashed; i <= 40; i += 2) {
            const double x = left + i * kGridStep;
            HPDF_Page_MoveTo(m_page, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(bottom));
            HPDF_Page_LineTo(m_page, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(top));
        }
        for (int j = dashed; j <= 20; j += 2) {
            const double y = top - j * kGridStep;
            HPDF_Page_MoveTo(m_page, static_cast<HPDF_REAL>(left), static_cast<HPDF_REAL>(y));
            HPDF_Page_LineTo(m_page, static_cast<HPDF_REAL>(right), static_cast<HPDF_REAL>(y));
        }
        HPDF_Page_Stroke(m_page);
    }
    HPDF_Page_SetDash(m_page, nullptr, 0, 0);
}

void ReportWriter::lane(const CPointSeries& series, int length, bool inverted, double left, double centre,
                        double bottom, double top, double unitsToPt)
{
    const int n = series.count();
    if (n <= 0)
        return;
    // Drawn in whole tenths of a point from the lane's start on its centre
    // line (finer than a 600 dpi printer's dot): short numbers keep a long
    // report small and quick to write.
    constexpr double kUnit = 0.1;
    const double dx = kStripWidth / length / kUnit; // by the strip length: a short strip is drawn short
    const double scale = (inverted ? -unitsToPt : unitsToPt) / kUnit;
    const double lowest = std::floor((bottom - centre) / kUnit);
    const double highest = std::ceil((top - centre) / kUnit);
    HPDF_Page_GSave(m_page);
    HPDF_Page_Concat(m_page, static_cast<HPDF_REAL>(kUnit), 0, 0, static_cast<HPDF_REAL>(kUnit),
                     static_cast<HPDF_REAL>(left), static_cast<HPDF_REAL>(centre));
    HPDF_Page_SetLineWidth(m_page, static_cast<HPDF_REAL>(0.5 / kUnit));
    HPDF_Page_SetLineJoin(m_page, HPDF_ROUND_JOIN);
    bool first = true;
    int segments = 0;
    HPDF_REAL lastX = 0, lastY = 0;
    auto point = [&](int k) {
        const HPDF_REAL x = static_cast<HPDF_REAL>(std::round(dx * k));
        const HPDF_REAL y = static_cast<HPDF_REAL>(std::min(highest, std::max(lowest, std::round(series.value(k) * scale))));
        if (first) {
            HPDF_Page_MoveTo(m_page, x, y);
            first = false;
        } else if (x != lastX || y != lastY) {
            HPDF_Page_LineTo(m_page, x, y);
            ++segments;
        }
        lastX = x;
        lastY = y;
    };
    if (n <= 2 * kColumns) {
        for (int k = 0; k < n; ++k)
            point(k);
    } else {
        // The minimum and maximum of each column, in the order they came.
        for (int c = 0; c < kColumns; ++c) {
            const int from = static_cast<int>(static_cast<std::int64_t>(length) * c / kColumns);
            const int to = std::min(n, static_cast<int>(static_cast<std::int64_t>(length) * (c + 1) / kColumns));
            if (from >= to)
                break;
            int lo = from;
            int hi = from;
            for (int k = from + 1; k < to; ++k) {
                if (series.value(k) < series.value(lo))
                    lo = k;
                if (series.value(k) > series.value(hi))
                    hi = k;
            }
            point(std::min(lo, hi));
            if (lo != hi)
                point(std::max(lo, hi));
        }
        point(n - 1);
    }
    if (segments == 0)
        HPDF_Page_LineTo(m_page, lastX + 1, lastY); // a single value still shows
    HPDF_Page_Stroke(m_page);
    HPDF_Page_GRestore(m_page);
}

void ReportWriter::strip(ReportPageEntry& entry, double areaTop, double areaBottom)
{
    const int length = ReportScale::stripLength(entry.speedCode);
    const int range = ReportScale::verticalRange(entry.gainCode);
    const int from = std::max(1, entry.startEntry - length / 2);
    loadStrip(m_source, from, length, range, *m_strip);
    entry.printed = true;

    const double left = (m_w - kStripWidth) / 2;
    const double bottom = areaBottom + ((areaTop - areaBottom) - kStripHeight) / 2;
    const double top = bottom + kStripHeight;
    grid(left, bottom);

    // Event bars under the traces.
    const CPointSeries& events = m_strip->series[1];
    const double dx = kStripWidth / m_strip->length;
    HPDF_Page_SetLineWidth(m_page, 1);
    HPDF_Page_SetRGBStroke(m_page, 1.0f, 0.71f, 0.71f);
    bool anyBar = false;
    for (int k = 0; k < events.count(); ++k) {
        if (!events.flag(k))
            continue;
        const HPDF_REAL x = static_cast<HPDF_REAL>(left + dx * k);
        HPDF_Page_MoveTo(m_page, x, static_cast<HPDF_REAL>(bottom));
        HPDF_Page_LineTo(m_page, x, static_cast<HPDF_REAL>(top));
        anyBar = true;
    }
    if (anyBar)
        HPDF_Page_Stroke(m_page);

    const int mode = ReportScale::displayMode(entry.displayMode);
    const int leads = ReportScale::leadCount(mode);
    const double gain = ReportScale::printedGain(entry.gainCode);
    const double unitsToPt = gain / ReportScale::kUnitsPerMv * kPtPerMm;
    HPDF_Page_SetLineWidth(m_page, 0.5f);
    HPDF_Page_SetRGBStroke(m_page, 0.27f, 0.27f, 1.0f);
    for (int i = 0; i < leads; ++i) {
        const double laneHeight = kStripHeight / leads;
        const double centre = top - laneHeight * i - laneHeight / 2;
        const int s = ReportScale::seriesOfLane(mode, i);
        // The buffer holds -aVR; the report prints aVR.
        lane(m_strip->series[s], m_strip->length, s == 3, left, centre, bottom, top, unitsToPt);
        if (m_strip->series[s].count() > 0)
            text(left + 2, centre + 2.5, 8, ReportScale::leadName(mode, i));
    }

    // The scale line: time of the strip's first entry, speed and gain.
    std::string line;
    if (m_header.recordingTime != 0 && m_strip->firstEntry >= 0) {
        const std::int64_t offset = std::max(0, m_strip->firstEntry - m_leadIn) / ReportScale::kSampleRate;
        line = timeText(m_header.recordingTime + offset);
        if (!line.empty())
            line += ", ";
    }
    line += scaleNumber(ReportScale::printedSpeed(entry.speedCode)) + " mm/s " + scaleNumber(gain) + " mm/mV";
    text(left, areaBottom - 18, 8, line);
}

bool ReportWriter::build(CReportPageTable& table, QString* error)
{
    m_doc.reset(HPDF_New(onPdfError, &m_error));
    if (!m_doc) {
        debugLogError("createPDFofScreen(): cannot create PdfDoc object");
        *error = QStringLiteral("cannot create the PDF document");
        return false;
    }
    HPDF_SetCompressionMode(m_doc.get(), HPDF_COMP_ALL);
    m_font = HPDF_GetFont(m_doc.get(), "Helvetica", "CP1250");
    if (failed(error) || !m_font) {
        if (error->isEmpty())
            *error = QStringLiteral("no PDF font");
        return false;
    }
    m_now = timeText(localTimeStampNow());

    const int pages = table.pageCount();
    int next = 0;
    auto nextUnprinted = [&]() -> ReportPageEntry* {
        while (next < table.size() && table.at(next).printed)
            ++next;
        return next < table.size() ? &table.at(next) : nullptr;
    };

    // First page: header, practice and patient, one strip.
    if (!newPage()) {
        failed(error);
        if (error->isEmpty())
            *error = QStringLiteral("cannot add a PDF page");
        return false;
    }
    header();
    practiceAndPatient();
    const double rowUnit = m_h / 20;
    if (ReportPageEntry* e = nextUnprinted())
        strip(*e, m_h - 9 * rowUnit, m_h - 16 * rowUnit);
    footer(1, pages);
    if (failed(error))
        return false;

    for (int page = 2; page <= pages; ++page) {
        if (!newPage()) {
            failed(error);
            if (error->isEmpty())
                *error = QStringLiteral("cannot add a PDF page");
            return false;
        }
        header();
        if (ReportPageEntry* e = nextUnprinted())
            strip(*e, m_h - 3 * rowUnit, m_h - 10 * rowUnit);
        if (ReportPageEntry* e = nextUnprinted())
            strip(*e, m_h - 11 * rowUnit, m_h - 18 * rowUnit);
        footer(page, pages);
        if (failed(error))
            return false;
    }
    return true;
}

bool ReportWriter::bytes(QByteArray& out, QString* error)
{
    if (HPDF_SaveToStream(m_doc.get()) != HPDF_OK || failed(error)) {
        failed(error);
        if (error->isEmpty())
            *error = QStringLiteral("cannot finish the PDF document");
        return false;
    }
    const HPDF_UINT32 size = HPDF_GetStreamSize(m_doc.get());
    out.resize(static_cast<qsizetype>(size));
    HPDF_UINT32 got = size;
    if (size == 0 || HPDF_ReadFromStream(m_doc.get(), reinterpret_cast<HPDF_BYTE*>(out.data()), &got) > HPDF_STREAM_EOF
        || got != size) {
        failed(error);
        if (error->isEmpty())
            *error = QStringLiteral("cannot read back the PDF document");
        return false;
    }
    return true;
}

} // namespace

PdfReportResult CPdfReport::write(const PdfReportRequest& request)
{
    PdfReportResult result;
    auto fail = [&](const QString& why) {
        result.ok = false;
        result.error = why;
        debugLogError("Export Failed !!!! " + why.toStdString());
        return result;
    };
    if (request.outputPath.isEmpty())
        return fail(QStringLiteral("no report file given"));

    std::unique_ptr<CReportSource> source;
    if (request.buffer) {
        source = reportSourceOfBuffer(*request.buffer);
        if (!source)
            return fail(QStringLiteral("no recording is open"));
    } else {
        if (request.recordingPath.isEmpty())
            return fail(QStringLiteral("no recording given"));
        std::string reason;
        source = reportSourceOfFile(QFile::encodeName(request.recordingPath).toStdString(), &reason);
        if (!source)
            return fail(QString::fromStdString(reason));
    }

    int leadIn = request.leadInLength < 0 ? measureLeadIn(*source) : request.leadInLength;
    leadIn = std::min(leadIn, source->count());

    CReportPageTable table;
    const int speedCode = ReportScale::speedCode(request.speed);
    const int gainCode = ReportScale::gainCode(request.gain);
    const int mode = ReportScale::displayMode(request.displayMode);
    result.stripsLeftOut = planReport(*source, leadIn, request.bookmarks, speedCode, gainCode, mode, table,
                                      &result.bookmarksLeftOut);
    if (table.size() == 0)
        return fail(request.bookmarks.empty() ? QStringLiteral("the recording holds no signal after its lead-in")
                                              : QStringLiteral("no bookmark lies inside the recording"));
    result.strips = table.size();
    result.pages = table.pageCount();

    ReportWriter writer(*source, request, leadIn);
    QString error;
    QByteArray pdf;
    if (!writer.build(table, &error) || !writer.bytes(pdf, &error))
        return fail(error);

    // Written whole or not at all: an earlier report of the name survives a failure.
    QSaveFile file(request.outputPath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot create %1: %2").arg(request.outputPath, file.errorString()));
    if (file.write(pdf) != pdf.size() || !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(request.outputPath, file.errorString()));
    result.ok = true;
    return result;
}

QString CPdfReport::outputPath(const QUrl& folderUrl, const QString& patientName, const QString& recordingFileName)
{
    if (!folderUrl.isLocalFile())
        return {};
    QString folder = folderUrl.toLocalFile();
    if (folder.isEmpty())
        return {};
    QString recording = recordingFileName;
    if (recording.endsWith(QLatin1String(".ecg"), Qt::CaseInsensitive))
        recording.chop(4);
    QString name = patientName + QLatin1Char('_') + recording;
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("<>:\"/\\|?*").contains(c))
            c = QLatin1Char('_');
    }
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + name + QStringLiteral(".pdf");
}

QString CPdfReport::logoPath(const QString& applicationFolder, bool makerVariant)
{
    return applicationFolder + (makerVariant ? QStringLiteral("/res/yarlo-logo-color.png")
                                             : QStringLiteral("/res/orv-logo-color.png"));
}

PdfReportTexts CPdfReport::textsForInstitution(const QString& institutionName)
{
    PdfReportTexts t;
    t.institutionName = institutionName;
    t.doctorName = QStringLiteral(" ");
    for (QString& line : t.addressLines)
        line = QStringLiteral(" ");
    t.makerVariant = true;
    return t;
}
