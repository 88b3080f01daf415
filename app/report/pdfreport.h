#ifndef MALVORANT_PDFREPORT_H
#define MALVORANT_PDFREPORT_H

#include <QString>
#include <QUrl>

#include <vector>

class CEcgBuffer;

// The practice header of the first page.
struct PdfReportTexts {
    QString institutionName = QStringLiteral("emptyInstitutionName");
    QString doctorName = QStringLiteral("emptyDrName");
    QString addressLines[4] = {QStringLiteral("emptyDrAddr1"), QStringLiteral("emptyDrAddr2"),
                               QStringLiteral("emptyDrAddr3"), QStringLiteral("emptyDrAddr4")};
    bool makerVariant = false; // picks the logo and its caption
};

// Everything one report needs.
struct PdfReportRequest {
    // The recording: the one open in the recordings manager's buffer, or,
    // when no buffer is given, the file at recordingPath.
    CEcgBuffer* buffer = nullptr;
    QString recordingPath;
    // Entries at the start that the viewer does not show; -1 measures them.
    int leadInLength = -1;
    // Bookmarked entries, counted after the lead-in; none tiles the recording.
    std::vector<int> bookmarks;
    // The viewer's settings: paper speed (mm/s), gain (mm/mV), display mode
    // (0 Single Lead, 1 Einthoven, 2 Goldberger I, 3 Goldberger). Values the
    // report can't use fall back to the defaults.
    double speed = 50.0;
    double gain = 5.0;
    int displayMode = 3;
    PdfReportTexts texts;
    // False for a recording that waits for its patient: its file header holds
    // only stand-ins, so the patient block says so and no patient is named.
    bool patientAssigned = true;
    QString logoPath;   // a PNG; a missing or unreadable one leaves the logo out
    QString outputPath; // the .pdf to write (an existing file is replaced whole)
};

struct PdfReportResult {
    bool ok = false;
    QString error;          // why it failed, for the log and the alert
    int pages = 0;
    int strips = 0;
    int stripsLeftOut = 0;  // strips past the report's 100
    int bookmarksLeftOut = 0; // bookmarks outside the recording
};

// The printable report of a recording: practice header, patient block (from
// the recording's file header) and ECG strips on A4 portrait pages, one
// strip on the first page and two on each further one. Every strip is 200 mm
// wide and printed at the speed and gain its scale line names.
class CPdfReport
{
public:
    static PdfReportResult write(const PdfReportRequest& request);

    // The report's file for a folder the user picked: the folder, "/", the
    // patient name, "_" and the recording's file name without ".ecg", then
    // ".pdf"; characters a file name can't hold become "_". Empty when the
    // URL names no local folder.
    static QString outputPath(const QUrl& folderUrl, const QString& patientName,
                              const QString& recordingFileName);
    // The logo under "res" in the program's folder.
    static QString logoPath(const QString& applicationFolder, bool makerVariant);
    // The texts saveAsPdf prints: the institution and blank doctor lines.
    static PdfReportTexts textsForInstitution(const QString& institutionName);
};

#endif
