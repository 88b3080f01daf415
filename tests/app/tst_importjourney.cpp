// Journeys through the real screens as a vet makes them, with the simulated
// device: an import cancelled, an import given to a new patient, a fresh
// recording given to another patient, reports and exports written into the
// folder chosen in the dialog. Each ends by looking at the database and the
// data folder, not only at the screen.

#include "appharness.h"
#include "dbman.h"
#include "debuglog.h"
#include "fileecg.h"
#include "isolatedhome.h"
#include "livetap.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "recordingcontrol.h"
#include "screenclicks.h"
#include "settingsman.h"

#include <QDirIterator>
#include <QProcess>
#include <QQuickItem>
#include <QSqlQuery>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

namespace {

constexpr int kImportRecords = 15000;

// What a recording file holds: its records and the header's patient.
struct FileView {
    bool ok = false;
    int records = 0;
    QString patientName;
};

FileView readRecording(const QString& path)
{
    FileView v;
    CFileEcg f;
    if (!f.openFileReadOnly(QFile::encodeName(path).toStdString()))
        return v;
    v.ok = true;
    v.records = f.getRecordCount();
    v.patientName = QString::fromStdString(f.patientName);
    f.close();
    return v;
}

// The files of a folder with their sizes, to see that nothing was added or changed.
QMap<QString, qint64> snapshot(const QString& folder)
{
    QMap<QString, qint64> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.insert(it.filePath(), it.fileInfo().size());
    }
    return files;
}

// The text of a PDF, as pdftotext reads it; empty when it can't.
QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The texts of the labels in an item and the items below it.
QStringList textsIn(QQuickItem* item)
{
    QStringList out;
    if (!item)
        return out;
    if (item->inherits("QQuickText"))
        out << item->property("text").toString();
    for (QQuickItem* child : item->childItems())
        out += textsIn(child);
    return out;
}

QString pdfText(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TstImportJourney : public QObject
{
    Q_OBJECT

    LiveApp m_live;
    QTemporaryDir m_outside; // the user's folders, outside the program's
    QString m_importFile;    // a recording of "Rex" from another practice
    int m_bella = -1;
    int m_bellaEcg = -1;
    int m_milo = -1;

    CQmlInterface& bridge() const { return m_live.bridge(); }
    QQuickWindow* window() const { return m_live.window(); }
    QVariant ui(const char* name) const { return m_live.ui(name); }
    QString dataFolder() const { return bridge().fileMan()->dataFolder(); }

    int scalar(const QString& sql, const QVariantList& values = {}) const
    {
        const QVariant value = m_live.app().dbValue(sql, values);
        return value.isValid() ? value.toInt() : -1;
    }

    QString fileOf(int ecgId) const
    {
        QSqlQuery q(*bridge().dbMan()->database());
        q.prepare(QStringLiteral("select fileName from ecgTable where ecgId=?"));
        q.addBindValue(ecgId);
        return q.exec() && q.next() ? dataFolder() + q.value(0).toString() : QString();
    }

    QList<int> recordingsOf(int patientId) const
    {
        QList<int> ids;
        QSqlQuery q(*bridge().dbMan()->database());
        q.prepare(QStringLiteral("select ecgId from ecgTable where patientId=? order by ecgId"));
        q.addBindValue(patientId);
        if (q.exec())
            while (q.next())
                ids << q.value(0).toInt();
        return ids;
    }

    int patientNamed(const QString& name) const
    {
        return scalar(QStringLiteral("select patientId from patientTable where patientName=?"), {name});
    }

    // A click on a button a user sees by its name.
    bool press(const QString& accessibleName) const
    {
        QAccessibleInterface* b = m_live.buttons().value(accessibleName);
        return b && b->object() && QMetaObject::invokeMethod(b->object(), "clicked");
    }

    QObject* patientView() const { return bridge().items().object(Item::PatientView); }
    QObject* find(const QString& name) const { return screen::find(window(), name); }
    bool importFile(const QString& path) { return screen::importThroughTheDialog(window(), path, [this] { return patientView(); }); }
    QStringList savedAlert() { return screen::takeAlert(window(), QStringLiteral("File Saved")); }
    QQuickItem* patientRow(const QString& name)
    {
        return screen::searchedRow(window(), QStringLiteral("patientSearch"), QStringLiteral("patientList"), name);
    }

    // Records from the simulated device as the vet does: "New ECG", then
    // "Record" once it is offered; the recording ends by its timer. The new
    // recording's ecgId, -1 when a step did not come.
    int recordFreshEcg(int seconds = 3)
    {
        bridge().settingsMan()->recordingSeconds = seconds;
        if (!press(QStringLiteral("New ECG")))
            return -1;
        if (!AppHarness::waitFor([&] { return ui("isBtConnected").toBool() && ui("isLeadInComplete").toBool(); },
                                 30000))
            return -1;
        // The species question of "always ask": a dog. The choice starts the
        // lead-in again; "Record" waits for it as a user does.
        screen::clickText(window(), QStringLiteral("Canine"));
        if (!AppHarness::waitFor([&] { return ui("isLeadInComplete").toBool(); }, 30000))
            return -1;
        if (!press(QStringLiteral("Record")) || !bridge().recordingControl().isRecording())
            return -1;
        if (!AppHarness::waitFor([&] { return ui("displayState").toInt() == 4; }, 30000))
            return -1;
        return bridge().fileMan()->currentEcgId();
    }

    void noWarnings()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_outside.isValid());
        const QString failed = m_live.start("4");
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        CPatientMan& p = *bridge().patientMan();
        CFileMan& f = *bridge().fileMan();

        // A file another practice sent: 30 s of "Rex", made here and moved out.
        const int donor = p.createPatient("Donor", "D-1", "", "Practice", 2, 1, 10.0f, 0, "", 0, QString(),
                                          QString());
        QVERIFY(f.ecgFileCreate(donor, "Rex", "Jana", "Novak", "R-77", 1422748800, 2, 1, QString()));
        for (int i = 0; i < kImportRecords; ++i) {
            EcgStreamSample s{};
            s.leadI = float(300.0 * std::sin(i * 0.05));
            s.leadII = float(500.0 * std::sin(i * 0.05));
            QVERIFY(f.addEntry(s));
        }
        QVERIFY(f.ecgFileCreateEnd());
        const int donorEcg = f.currentEcgId();
        m_importFile = m_outside.filePath("Rex_from_the_clinic.ecg");
        QVERIFY(QFile::copy(dataFolder() + f.currentFileName(), m_importFile));
        bool removed = false;
        f.deleteFile(donor, donorEcg, &removed);
        QVERIFY(removed);

        // The practice's own patients; Bella's recording is on the screen.
        m_bella = m_live.app().makePatient();
        m_bellaEcg = m_live.app().makeRecording(m_bella, 12);
        QVERIFY(m_bellaEcg > 0);
        m_milo = p.createPatient("Milo", "P-2077", "", "Okafor", 3, 3, 4.2f, 0, "Maine Coon", 1514764800,
                                 QString(), QString());
        QVERIFY(m_milo > 0);
        bridge().fileSelectedLocal(m_bella, m_bellaEcg);
        QCOMPARE(ui("patientName").toString(), QStringLiteral("Bella"));
        QCOMPARE(ui("displayState").toInt(), 0);
        AppHarness::warnings().clear();
    }

    void cleanupTestCase() { m_live.finish(); }

    // Import, then "Cancel" on the form: the screen, the current patient and
    // the store are as they were, and the next export is Bella's.
    void cancelledImportLeavesEverythingAsItWas()
    {
        const QStringList shown{ui("patientName").toString(), ui("fileName").toString(),
                                ui("displayState").toString(), ui("patientId").toString()};
        const int patients = scalar("select count(*) from patientTable");
        const int recordings = scalar("select count(*) from ecgTable");
        const auto folderBefore = snapshot(dataFolder());

        QVERIFY(importFile(m_importFile));
        QObject* view = patientView();
        QCOMPARE(view->property("title").toString(), QStringLiteral("New Patient ?"));
        QCOMPARE(find("patientNameField")->property("text").toString(), QStringLiteral("Rex"));
        QCOMPARE(find("ownerLastField")->property("text").toString(), QStringLiteral("Novak"));
        QVERIFY(ui("fromImport").toBool());
        // The form shows the file's patient; nothing of it is current.
        QCOMPARE(bridge().patientMan()->patientId, m_bella);
        QCOMPARE(bridge().patientMan()->patientName, QStringLiteral("Bella"));

        QVERIFY(screen::click(find("cancelPatientButton")));
        QVERIFY(!view->property("visible").toBool());
        QVERIFY(!ui("fromImport").toBool());
        const QStringList after{ui("patientName").toString(), ui("fileName").toString(),
                                ui("displayState").toString(), ui("patientId").toString()};
        QCOMPARE(after, shown);
        QCOMPARE(bridge().patientMan()->patientId, m_bella);
        QCOMPARE(bridge().fileMan()->currentEcgId(), m_bellaEcg);
        QCOMPARE(scalar("select count(*) from patientTable"), patients);
        QCOMPARE(scalar("select count(*) from ecgTable"), recordings);
        QCOMPARE(snapshot(dataFolder()), folderBefore);

        // The export view and the exported file both carry Bella's name.
        QVERIFY(press(QStringLiteral("Export ECGs")));
        QObject* exportView = bridge().items().object(Item::ExportView);
        QVERIFY(exportView && exportView->property("visible").toBool());
        const QString recordingName = QFileInfo(fileOf(m_bellaEcg)).fileName();
        QCOMPARE(find("exportDataName")->property("text").toString(), "Bella_" + recordingName);
        QVERIFY(screen::clickText(window(), QStringLiteral("Export ECG")));
        const QString target = m_outside.filePath("cancelled-import");
        QVERIFY(QDir().mkpath(target));
        QVERIFY(screen::chooseFolder(window(), target));
        QVERIFY(AppHarness::waitFor([&] { return QFile::exists(target + "/Bella_" + recordingName); }));
        QCOMPARE(readRecording(target + "/Bella_" + recordingName).records,
                 readRecording(fileOf(m_bellaEcg)).records);
        QCOMPARE(savedAlert(), QStringList({"The file Bella_" + recordingName + " has been saved.",
                                            "Folder: " + QDir::toNativeSeparators(target)}));
        exportView->setProperty("visible", false);
        noWarnings();
    }

    // Import, complete the form, "Save": the new patient holds exactly the
    // imported recording, shown; the hand-over is empty. Then a fresh
    // recording confirmed for Milo is Milo's, and only it.
    void importedRecordingGoesToTheNewPatient()
    {
        const int recordings = scalar("select count(*) from ecgTable");
        QVERIFY(importFile(m_importFile));
        find("weightField")->setProperty("text", QStringLiteral("31.5"));
        QVERIFY(screen::click(find("savePatientButton")));
        QVERIFY(!patientView()->property("visible").toBool());
        QVERIFY(!ui("fromImport").toBool());

        const int rex = patientNamed(QStringLiteral("Rex"));
        QVERIFY(rex > 0);
        const QList<int> rexRecordings = recordingsOf(rex);
        QCOMPARE(rexRecordings.size(), 1);
        QCOMPARE(scalar("select count(*) from ecgTable"), recordings + 1);
        const FileView copy = readRecording(fileOf(rexRecordings.first()));
        QVERIFY(copy.ok);
        QCOMPARE(copy.records, kImportRecords);
        QCOMPARE(copy.patientName, QStringLiteral("Rex"));
        QVERIFY(QFileInfo(fileOf(rexRecordings.first())).fileName().startsWith(QString::number(rex) + "_"));
        QCOMPARE(scalar("select count(*) from ecgTable where patientId=0"), 0);
        const ImportHandOver& handed = bridge().importHandOver();
        QVERIFY(handed.sourcePath.isEmpty() && handed.temporaryPath.isEmpty());
        // The user's file stays where it was.
        QVERIFY(QFile::exists(m_importFile));
        QCOMPARE(ui("displayState").toInt(), 0);
        QCOMPARE(ui("patientName").toString(), QStringLiteral("Rex"));
        QCOMPARE(ui("fileName").toString(), QFileInfo(fileOf(rexRecordings.first())).fileName());

        // A fresh recording, then "Select Patient & Save" and Milo confirmed.
        const int fresh = recordFreshEcg();
        QVERIFY(fresh > 0);
        QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {fresh}), 0);
        QVERIFY(press(QStringLiteral("Select Patient & Save")));
        QVERIFY(AppHarness::waitFor([&] { return patientView()->property("visible").toBool(); }));
        QVERIFY(screen::confirmRow(window(), patientRow(QStringLiteral("Milo"))));

        QCOMPARE(recordingsOf(m_milo), QList<int>{fresh});
        const FileView freshFile = readRecording(fileOf(fresh));
        QVERIFY(freshFile.ok);
        QVERIFY(freshFile.records != kImportRecords);
        QCOMPARE(freshFile.patientName, QStringLiteral("Milo"));
        QCOMPARE(recordingsOf(rex), rexRecordings);
        QCOMPARE(scalar("select count(*) from ecgTable where patientId=0"), 0);
        QCOMPARE(scalar("select count(*) from ecgTable"), recordings + 2);
        QCOMPARE(ui("displayState").toInt(), 0);
        QCOMPARE(ui("patientName").toString(), QStringLiteral("Milo"));
        noWarnings();
    }

    // The report of a recording that waits for its patient names nobody; then
    // the report and both exports of an assigned one land in the folder the
    // user went into, or the one picked in it, under the names the alert gives.
    void reportsAndExportsLandInTheChosenFolder()
    {
        const int pending = recordFreshEcg();
        QVERIFY(pending > 0);
        const QString reports = m_outside.filePath("reports");
        QVERIFY(QDir().mkpath(reports));
        QVERIFY(press(QStringLiteral("ECG Tools")));
        QVERIFY(screen::click(find(QStringLiteral("saveToPdf"))));
        QVERIFY(screen::chooseFolder(window(), reports));
        const QString pendingName = QFileInfo(fileOf(pending)).baseName();
        const QString pendingPdf = reports + "/_" + pendingName + ".pdf";
        QVERIFY(QFile::exists(pendingPdf));
        QCOMPARE(savedAlert().value(0), "The file _" + pendingName + ".pdf has been saved.");
        const QString text = pdfText(pendingPdf);
        if (!text.isEmpty()) {
            QVERIFY2(text.contains("No patient assigned"), qPrintable(text));
            QVERIFY2(!text.contains("dummy"), qPrintable(text));
            QVERIFY2(!text.contains("Milo") && !text.contains("Bella"), qPrintable(text));
        }
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        // Given to Bella, shown.
        QVERIFY(press(QStringLiteral("Select Patient & Save")));
        QVERIFY(screen::confirmRow(window(), patientRow(QStringLiteral("Bella"))));
        QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {pending}), m_bella);
        const QString name = QFileInfo(fileOf(pending)).fileName();

        // Into an empty folder: the button takes it.
        const QString empty = m_outside.filePath("empty");
        QVERIFY(QDir().mkpath(empty));
        QVERIFY(press(QStringLiteral("ECG Tools")));
        QVERIFY(screen::click(find(QStringLiteral("saveToPdf"))));
        QVERIFY(screen::chooseFolder(window(), empty));
        const QString pdf = empty + "/Bella_" + QFileInfo(name).baseName() + ".pdf";
        QVERIFY(QFile::exists(pdf));
        QCOMPARE(savedAlert().value(1), "Folder: " + QDir::toNativeSeparators(empty));
        const QString assignedText = pdfText(pdf);
        if (!assignedText.isEmpty())
            QVERIFY2(assignedText.contains("Bella") && !assignedText.contains("No patient assigned"),
                     qPrintable(assignedText));
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));

        // Into a folder that has folders of its own, none picked: that folder,
        // not its first one.
        const QString parent = m_outside.filePath("exports");
        QVERIFY(QDir().mkpath(parent + "/archive"));
        QVERIFY(QDir().mkpath(parent + "/older"));
        QVERIFY(press(QStringLiteral("Export ECGs")));
        QVERIFY(screen::clickText(window(), QStringLiteral("Export ECG")));
        QVERIFY(screen::chooseFolder(window(), parent));
        QVERIFY(QFile::exists(parent + "/Bella_" + name));
        QCOMPARE(savedAlert().value(0), "The file Bella_" + name + " has been saved.");
        QVERIFY(QDir(parent + "/archive").isEmpty());
        // One of its folders picked with a click: the DICOM file goes there.
        QObject* exportView = bridge().items().object(Item::ExportView);
        QVERIFY(exportView->property("visible").toBool());
        const QString dicomName = "Bella_" + QFileInfo(name).baseName() + ".dce";
        QMetaObject::invokeMethod(find(QStringLiteral("exportDicomSection")), "toggled", Q_ARG(int, 1));
        QObject* shownName = find(QStringLiteral("exportDicomName"));
        QVERIFY(shownName);
        QCOMPARE(shownName->property("text").toString(), dicomName);
        QVERIFY(screen::clickText(window(), QStringLiteral("Export Dicom")));
        QVERIFY(screen::chooseFolder(window(), parent, QStringLiteral("older")));
        QVERIFY(AppHarness::waitFor([&] { return QFile::exists(parent + "/older/" + dicomName); }));
        QVERIFY(!QFile::exists(parent + "/" + dicomName));
        QCOMPARE(savedAlert(), QStringList({"The file " + dicomName + " has been saved.",
                                            "Folder: " + QDir::toNativeSeparators(parent + "/older")}));
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        QVERIFY(!exportView->property("visible").toBool());
        noWarnings();
    }

    // During the monitor no saved ECG is on the screen: "Save to PDF" is off,
    // and the bridge writes nothing when asked all the same. Back on the
    // saved ECG it is on again.
    void saveToPdfIsOffWhileNoSavedEcgIsShown()
    {
        QCOMPARE(ui("displayState").toInt(), 0);
        QVERIFY(press(QStringLiteral("ECG Tools")));
        QObject* button = find(QStringLiteral("saveToPdf"));
        QVERIFY(button && button->property("enabled").toBool());
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));

        QVERIFY(press(QStringLiteral("New ECG")));
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 1 && ui("isBtConnected").toBool(); },
                                    30000));
        // The species question of "always ask".
        screen::clickText(window(), QStringLiteral("Canine"));
        QVERIFY(!ui("saveToPdfEnabled").toBool());
        QVERIFY(press(QStringLiteral("ECG Tools")));
        button = find(QStringLiteral("saveToPdf"));
        QVERIFY(button);
        QVERIFY(!button->property("enabled").toBool());
        const QString folder = m_outside.filePath("during-monitor");
        QVERIFY(QDir().mkpath(folder));
        bridge().saveAsPdf(QUrl::fromLocalFile(folder));
        QVERIFY(QDir(folder).isEmpty());
        QCOMPARE(screen::takeAlert(window(), QStringLiteral("Error exporting File")),
                 QStringList({"Unable to export the ECG file",
                              "No saved ECG is shown. Open one under \"Saved ECGs\", then save it to PDF."}));
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));

        QVERIFY(press(QStringLiteral("Stop Monitor")));
        QVERIFY(AppHarness::waitFor([&] { return ui("displayState").toInt() == 0; }));
        QVERIFY(ui("saveToPdfEnabled").toBool());
        QVERIFY(press(QStringLiteral("ECG Tools")));
        QVERIFY(find(QStringLiteral("saveToPdf"))->property("enabled").toBool());
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        noWarnings();
    }

    // A report saved again into the same folder: "Replace File" is asked;
    // "Cancel" keeps the earlier report byte for byte, "Replace" writes the
    // new one in its place. Nothing else is left in the folder.
    void aSecondReportKeepsTheFirstUnlessTheUserAgrees()
    {
        QCOMPARE(ui("displayState").toInt(), 0);
        const QString folder = m_outside.filePath("reports-twice");
        QVERIFY(QDir().mkpath(folder));
        auto saveReport = [&] {
            return press(QStringLiteral("ECG Tools")) && screen::click(find(QStringLiteral("saveToPdf")))
                   && screen::chooseFolder(window(), folder);
        };
        QVERIFY(saveReport());
        const QString name = "Bella_" + QFileInfo(ui("fileName").toString()).baseName() + ".pdf";
        const QString pdf = folder + "/" + name;
        QCOMPARE(savedAlert().value(0), "The file " + name + " has been saved.");
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        // The earlier report, as another day's bookmarks made it.
        const QByteArray earlier = "%PDF-1.4\n% the earlier report, two bookmarked strips\n";
        QVERIFY(writeBytes(pdf, earlier));

        QVERIFY(saveReport());
        QCOMPARE(screen::takeAlert(window(), QStringLiteral("Replace File")).value(0),
                 "The file " + name + " already exists.");
        // takeAlert closed the question as "Cancel" does not: ask again and answer.
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        QVERIFY(saveReport());
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(window(), QStringLiteral("Replace File")); }));
        QVERIFY(screen::clickText(window(), QStringLiteral("Cancel")));
        QCOMPARE(bytesOf(pdf), earlier);
        QVERIFY(!visibleDialog(window(), QStringLiteral("File Saved")));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));

        QVERIFY(saveReport());
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(window(), QStringLiteral("Replace File")); }));
        QVERIFY(screen::clickText(window(), QStringLiteral("Replace")));
        const QByteArray replaced = bytesOf(pdf);
        QVERIFY(replaced != earlier);
        QVERIFY(replaced.startsWith("%PDF-"));
        QCOMPARE(savedAlert().value(0), "The file " + name + " has been saved.");
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        const QString text = pdfText(pdf);
        if (!text.isEmpty())
            QVERIFY2(text.contains("Bella"), qPrintable(text));
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        noWarnings();
    }

    // The same for both exports: an exported file is replaced only when the
    // user agrees.
    void aSecondExportKeepsTheFirstUnlessTheUserAgrees_data()
    {
        QTest::addColumn<bool>("dicom");
        QTest::newRow("ECG") << false;
        QTest::newRow("DICOM") << true;
    }

    void aSecondExportKeepsTheFirstUnlessTheUserAgrees()
    {
        QFETCH(bool, dicom);
        QCOMPARE(ui("displayState").toInt(), 0);
        const QString folder = m_outside.filePath(dicom ? "dicom-twice" : "ecg-twice");
        QVERIFY(QDir().mkpath(folder));
        const QString recording = dataFolder() + ui("fileName").toString();
        const QString name = "Bella_" + (dicom ? QFileInfo(recording).baseName() + ".dce" : QFileInfo(recording).fileName());
        const QString path = folder + "/" + name;
        auto exportOnce = [&] {
            if (!press(QStringLiteral("Export ECGs")))
                return false;
            QMetaObject::invokeMethod(find(dicom ? QStringLiteral("exportDicomSection") : QStringLiteral("exportDataSection")),
                                      "toggled", Q_ARG(int, dicom ? 1 : 0));
            return screen::clickText(window(), dicom ? QStringLiteral("Export Dicom") : QStringLiteral("Export ECG"))
                   && screen::chooseFolder(window(), folder);
        };
        auto closeView = [&] { return screen::click(find(QStringLiteral("viewClose"))); };
        QVERIFY(exportOnce());
        QCOMPARE(savedAlert().value(0), "The file " + name + " has been saved.");
        const QByteArray exported = bytesOf(path);
        QVERIFY(!exported.isEmpty());
        QVERIFY(closeView());
        const QByteArray earlier = "an export of another day";
        QVERIFY(writeBytes(path, earlier));

        QVERIFY(exportOnce());
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(window(), QStringLiteral("Replace File")); }));
        QCOMPARE(visibleDialog(window(), QStringLiteral("Replace File"))->property("text").toString(),
                 "The file " + name + " already exists.");
        QVERIFY(screen::clickText(window(), QStringLiteral("Cancel")));
        QCOMPARE(bytesOf(path), earlier);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QVERIFY(closeView());

        QVERIFY(exportOnce());
        QVERIFY(AppHarness::waitFor([&] { return visibleDialog(window(), QStringLiteral("Replace File")); }));
        QVERIFY(screen::clickText(window(), QStringLiteral("Replace")));
        QCOMPARE(savedAlert().value(0), "The file " + name + " has been saved.");
        const QByteArray replaced = bytesOf(path);
        if (dicom)
            QCOMPARE(replaced.mid(128, 4), QByteArray("DICM"));
        else
            QCOMPARE(replaced, bytesOf(recording));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QVERIFY(closeView());
        noWarnings();
    }

    // A minute recorded through the screens is a minute in the store and in
    // "Saved ECGs", not the minute with its lead-in and trailer.
    void aMinuteIsListedAsAMinute()
    {
        const int minute = recordFreshEcg(60);
        QVERIFY(minute > 0);
        QVERIFY(press(QStringLiteral("Select Patient & Save")));
        QVERIFY(AppHarness::waitFor([&] { return patientView()->property("visible").toBool(); }));
        QVERIFY(screen::confirmRow(window(), patientRow(QStringLiteral("Milo"))));
        QCOMPARE(scalar("select patientId from ecgTable where ecgId=?", {minute}), m_milo);
        const int samples = scalar("select sampleCount from ecgTable where ecgId=?", {minute});
        QVERIFY2(samples >= 30000 && samples <= 30001, qPrintable(QString::number(samples)));
        QVERIFY(scalar("select fileSize from ecgTable where ecgId=?", {minute}) > 33000);
        QCOMPARE(scalar("select duration from ecgViewQmlKx where id=?", {minute}), 60);

        QVERIFY(press(QStringLiteral("Saved ECGs")));
        QObject* list = screen::waitFor(window(), QStringLiteral("ecgList"));
        QVERIFY(list);
        // Milo's recordings, newest first: the minute heads the list.
        QQuickItem* row = screen::rowWhere(list, [](QQuickItem*) { return true; });
        QVERIFY(row);
        const QString texts = textsIn(row).join('|');
        QVERIFY2(texts.contains(QStringLiteral("Milo")), qPrintable(texts));
        QVERIFY2(texts.contains(QStringLiteral("\u00B7  60 s")), qPrintable(texts));
        QVERIFY(screen::click(find(QStringLiteral("viewClose"))));
        noWarnings();
    }

    // The screens put the user's steps into the program's log.
    void screensLogTheirSteps()
    {
        CDebugLog* const programLog = g_pDebugLog;
        CDebugLog verbose(4, false, m_outside.path().toStdString(), "journeylog");
        g_pDebugLog = &verbose;
        const bool opened = press(QStringLiteral("Export ECGs"));
        const bool closed = screen::click(find(QStringLiteral("viewClose")));
        bridge().items().invoke<qml::C::QmlAlertBoxExportError>(QString());
        closeVisibleDialogs(window());
        g_pDebugLog = programLog;
        QVERIFY(opened && closed);
        QFile log(QString::fromStdString(verbose.path()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains("QML::view opened: export"), qPrintable(text));
        QVERIFY2(text.contains("QML::alert: Error exporting File: Unable to export the ECG file"), qPrintable(text));
    }
};

QTEST_MAIN(TstImportJourney)
#include "tst_importjourney.moc"
