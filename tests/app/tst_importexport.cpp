// Export of the shown recording and import of recordings and DICOM files,
// through the bridge with the real screens.

#include "appharness.h"
#include "../qd_dcmLib/dcetesthelpers.h"
#include "isolatedhome.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QCryptographicHash>
#include <QQmlComponent>
#include <QDirIterator>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Item;

namespace {

constexpr std::int64_t kBirth = 1422748800; // 1 Feb 2015, 00:00 UTC
const QString kStudyUid = QStringLiteral("1.2.826.0.1.3680043.10.1138.77");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Every file below folder with the hash of its content.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(".sqlite"))
            continue; // the store's own files
        files.insert(path, QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha1));
    }
    return files;
}

// An item with the properties and signals the bridge uses on it, for the
// views the screens do not hold yet.
QByteArray standInQml(Item item)
{
    auto qmlType = [](QMetaType type) -> QByteArray {
        switch (type.id()) {
        case QMetaType::QString: return "string";
        case QMetaType::Int: return "int";
        case QMetaType::Bool: return "bool";
        case QMetaType::Double: return "real";
        case QMetaType::QUrl: return "url";
        default: return "var";
        }
    };
    QByteArray text = "import QtQuick\nItem {\n";
    for (const auto& [prop, info] : qml::propTable())
        if (info.item == item && QByteArray(info.name) != "visible")
            text += "    property " + qmlType(info.type) + " " + info.name + "\n";
    for (const auto& [call, info] : qml::callTable()) {
        if (info.item != item)
            continue;
        QByteArrayList args;
        for (int i = 0; i < info.types.size(); ++i)
            args << qmlType(info.types[i]) + " " + info.params.value(i);
        text += "    signal " + QByteArray(info.name) + "(" + args.join(", ") + ")\n";
    }
    return text + "}\n";
}

void setTimeZone(const QByteArray& zone)
{
    qputenv("TZ", zone);
    ::tzset();
}

} // namespace

class TstImportExport : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    QTemporaryDir m_out;
    std::vector<std::unique_ptr<QObject>> m_standIns;
    int m_patientId = -1;
    int m_ecgId = -1;
    QString m_recording; // the data file of the shown recording

    CQmlInterface& bridge() { return m_app.bridge(); }
    CFileMan& files() { return *bridge().fileMan(); }
    CPatientMan& patients() { return *bridge().patientMan(); }
    QString dataFolder() { return files().dataFolder(); }

    QObject* openDialog(const QString& title) { return visibleDialog(m_window, title); }

    bool anyDialogOpen() { return visibleDialog(m_window) != nullptr; }

    // An export that went well says where the file went, and nothing else.
    void expectSaved(const QString& path)
    {
        QObject* saved = openDialog("File Saved");
        QVERIFY(saved);
        QCOMPARE(saved->property("text").toString(),
                 "The file " + QFileInfo(path).fileName() + " has been saved.");
        QCOMPARE(saved->property("informativeText").toString(),
                 "Folder: " + QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        closeDialogs();
        QVERIFY(!anyDialogOpen());
    }

    void closeDialogs() { closeVisibleDialogs(m_window); }

    // Shows the recording and its patient again, as the user would before exporting.
    void showRecording()
    {
        bridge().selectNShowPatient(m_patientId, m_ecgId);
        QCOMPARE(files().currentEcgId(), m_ecgId);
    }

    QVariant uiData(const char* name) { return bridge().items().object(Item::UiData)->property(name); }

    QString exportedEcg() const { return m_out.filePath("Bella_" + QFileInfo(m_recording).fileName()); }
    QString exportedDce() const
    {
        return m_out.filePath("Bella_" + QFileInfo(m_recording).baseName() + ".dce");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        QVERIFY(m_out.isValid());
        AppHarness::warnings().clear();
        m_window = m_app.load();
        QVERIFY(m_window);
        QVERIFY(AppHarness::waitFor([&] { return bridge().updateAndTerms().setupCount() > 0; }));
        bridge().splashScreenTucAction(1);
        for (Item item : {Item::PatientView, Item::ToolsView, Item::ExportView}) {
            if (bridge().items().isBound(item))
                continue;
            QQmlComponent component(m_app.engine());
            component.setData(standInQml(item), QUrl(QString("qrc:/qml/win/StandIn%1.qml").arg(int(item))));
            m_standIns.emplace_back(component.create());
            QVERIFY2(m_standIns.back(), qPrintable(component.errorString()));
        }
        int next = 0;
        if (!bridge().items().isBound(Item::PatientView))
            bridge().setPatientDrawerObject(m_standIns[std::size_t(next++)].get());
        if (!bridge().items().isBound(Item::ToolsView))
            bridge().setToolsSettingsObject(m_standIns[std::size_t(next++)].get());
        if (!bridge().items().isBound(Item::ExportView))
            bridge().setExportObject(m_standIns[std::size_t(next++)].get());

        CPatientMan& p = patients();
        m_patientId = p.createPatient("Bella", "P-1042", "Anna", "Lindqvist", 2, 4, 23.5f, 0,
                                      "Labrador Retriever", kBirth, QString(), QString());
        QVERIFY(m_patientId > 0);
        QVERIFY(files().ecgFileCreate(m_patientId, "Bella", "Anna", "Lindqvist", "P-1042", kBirth, 2, 4,
                                      kStudyUid));
        for (int i = 0; i < 10 * 500; ++i) {
            EcgStreamSample s{};
            const double t = (i % 400) / 400.0;
            const double v = 900.0 * std::exp(-std::pow((t - 0.3) / 0.012, 2))
                             + 120.0 * std::exp(-std::pow((t - 0.55) / 0.05, 2));
            s.leadI = float(v * 0.6);
            s.leadII = float(v);
            QVERIFY(files().addEntry(s));
        }
        QVERIFY(files().ecgFileCreateEnd());
        m_ecgId = files().currentEcgId();
        QVERIFY(m_ecgId > 0);
        showRecording();
        m_recording = files().dataFolder() + files().currentFileName();
        QVERIFY(QFile::exists(m_recording));
        closeDialogs();
    }

    // The export view shows the names the files are written under.
    void exportNames()
    {
        QObject* view = bridge().items().object(Item::ExportView);
        if (!view)
            QSKIP("the export view is not bound at start");
        bridge().getExportFileName();
        QCOMPARE(view->property("exportDataFileName").toString(), QFileInfo(exportedEcg()).fileName());
        QCOMPARE(view->property("exportDicomFileName").toString(), QFileInfo(exportedDce()).fileName());
    }

    // The .ecg export is the data file byte for byte, beat types changed in
    // the view included.
    void exportEcgIsTheRecording()
    {
        showRecording();
        CEcgBuffer& buffer = files().ecgBuffer();
        QVERIFY(buffer.setEntryType(1200, 1));
        QVERIFY(buffer.setEntryType(3400, 1));
        bridge().exportEcg(QUrl::fromLocalFile(m_out.path()));
        expectSaved(exportedEcg());
        const QByteArray exported = readAll(exportedEcg());
        QVERIFY(!exported.isEmpty());
        QCOMPARE(exported, readAll(m_recording));
        const std::vector<EcgFileRecord> records = dcetest::readRecords(exportedEcg());
        QCOMPARE(int(records.size()), 5000);
        QCOMPARE(int(records[1200].type), 1);
        QCOMPARE(int(records[3400].type), 1);
    }

    // The DICOM export reads in pydicom, passes dciodvfy, and carries the
    // recording's study and the patient's weight with its decimals.
    void exportDcmIsValidDicom()
    {
        showRecording();
        bridge().exportDcm(QUrl::fromLocalFile(m_out.path()));
        expectSaved(exportedDce());
        QVERIFY(QFileInfo(exportedDce()).size() > 0);
        const dcetest::PydicomView v = dcetest::readWithPydicom(exportedDce());
        QVERIFY2(v.ok, v.err.constData());
        QCOMPARE(v.json["StudyInstanceUID"].toString(), kStudyUid);
        QCOMPARE(v.json["PatientWeight"].toString().toDouble(), 23.5);
        QCOMPARE(v.json["PatientBreedDescription"].toString(), QString("Labrador Retriever"));
        QCOMPARE(v.json["PatientBirthDate"].toString(), QString("20150201"));
        if (QStandardPaths::findExecutable("dciodvfy").isEmpty())
            return;
        const dcetest::DciodvfyReport r = dcetest::runDciodvfy(exportedDce(), [](const QString&) { return true; });
        QVERIFY(r.started);
        QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join('\n')));
    }

    // The object names the recording's own patient, not the one on screen: a
    // recording waiting for its patient names none (no breed, weight or
    // owner); a patient without a weight has none in the object, never "0".
    void exportDcmNamesTheRecordingsOwnPatient()
    {
        const auto exportShown = [&](QJsonObject& object) {
            QTemporaryDir out;
            bridge().exportDcm(QUrl::fromLocalFile(out.path()));
            QVERIFY(openDialog("File Saved"));
            closeDialogs();
            QVERIFY(!anyDialogOpen());
            const QStringList made = QDir(out.path()).entryList({"*.dce"}, QDir::Files);
            QCOMPARE(made.size(), 1);
            const dcetest::PydicomView v = dcetest::readWithPydicom(out.filePath(made.first()));
            QVERIFY2(v.ok, v.err.constData());
            object = v.json;
        };
        QJsonObject o;
        const int pending = m_app.makeRecording(0, 2, 100);
        QVERIFY(pending > 0);
        QCOMPARE(files().currentEcgId(), pending);
        QCOMPARE(patients().patientName, QString("Bella")); // on screen
        exportShown(o);
        for (const char* key : {"PatientName", "PatientID", "ResponsiblePerson", "PatientBreedDescription",
                                "PatientWeight", "PatientBirthDate"})
            QVERIFY2(o[key].toString().isEmpty(), qPrintable(QString(key) + "=" + o[key].toString()));
        // The species is the one chosen for the recording.
        QCOMPARE(o["PatientSpeciesDescription"].toString(), QString("Canine"));

        const int tom = patients().createPatient("Tom", "P-7", "Jo", "Berg", 3, 1, 0.0f, 0, QString(), 0,
                                                 QString(), QString());
        QVERIFY(tom > 0);
        const int tomsRecording = m_app.makeRecording(tom, 2, 100);
        QVERIFY(tomsRecording > 0);
        bridge().selectNShowPatient(tom, tomsRecording);
        exportShown(o);
        QCOMPARE(o["PatientName"].toString(), QString("Berg^Tom"));
        QCOMPARE(o["PatientSpeciesDescription"].toString(), QString("Feline"));
        QVERIFY2(o["PatientWeight"].toString().isEmpty(), qPrintable(o["PatientWeight"].toString()));
        showRecording();
    }

    // A patient name never takes the file out of the chosen folder.
    void exportNameStaysInTheFolder()
    {
        showRecording();
        patients().patientName = "../../Bella/x";
        bridge().exportEcg(QUrl::fromLocalFile(m_out.path()));
        showRecording();
        expectSaved(m_out.filePath(".._.._Bella_x_" + QFileInfo(m_recording).fileName()));
        QVERIFY(QFile::exists(m_out.filePath(".._.._Bella_x_" + QFileInfo(m_recording).fileName())));
    }

    // Out of room: nothing half-written stays, and the user is told.
    void exportOutOfRoom_data()
    {
        QTest::addColumn<bool>("dicom");
        QTest::newRow("ecg") << false;
        QTest::newRow("dicom") << true;
    }

    void exportOutOfRoom()
    {
        QFETCH(bool, dicom);
        showRecording();
        QTemporaryDir full;
        const QString target = dicom ? full.filePath("Bella_" + QFileInfo(m_recording).baseName() + ".dce")
                                     : full.filePath("Bella_" + QFileInfo(m_recording).fileName());
        struct rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = old;
        lowered.rlim_cur = 20000;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
        if (dicom)
            bridge().exportDcm(QUrl::fromLocalFile(full.path()));
        else
            bridge().exportEcg(QUrl::fromLocalFile(full.path()));
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!QFile::exists(target));
        QVERIFY(AppHarness::waitFor([&] { return openDialog("Error exporting File") != nullptr; }, 2000));
        closeDialogs();
    }

    // Export → import keeps the samples, the marks and every header field,
    // whatever the machine's time zone.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<bool>("dicom");
        for (const char* zone : {"Europe/Berlin", "America/New_York"}) {
            QTest::newRow(QByteArray(zone).append(" ecg").constData()) << QByteArray(zone) << false;
            QTest::newRow(QByteArray(zone).append(" dicom").constData()) << QByteArray(zone) << true;
        }
    }

    void roundTrip()
    {
        QFETCH(QByteArray, zone);
        QFETCH(bool, dicom);
        const QByteArray oldZone = qgetenv("TZ");
        setTimeZone(zone);
        showRecording();
        QTemporaryDir out;
        if (dicom)
            bridge().exportDcm(QUrl::fromLocalFile(out.path()));
        else
            bridge().exportEcg(QUrl::fromLocalFile(out.path()));
        const QString exported = dicom ? out.filePath("Bella_" + QFileInfo(m_recording).baseName() + ".dce")
                                       : out.filePath("Bella_" + QFileInfo(m_recording).fileName());
        QVERIFY(QFile::exists(exported));
        expectSaved(exported);

        // The dialog's filter does not matter: the content chooses the road.
        bridge().importEcg(QUrl::fromLocalFile(exported));
        setTimeZone(oldZone);
        QVERIFY(!anyDialogOpen());
        QCOMPARE(uiData("busyIndicatorRunning").toBool(), false);
        QCOMPARE(uiData("fromImport").toBool(), true);
        QObject* drawer = bridge().items().object(Item::PatientView);
        QVERIFY(drawer);
        QCOMPARE(drawer->property("headerLabel").toString(), QString("New Patient ?"));

        const ImportHandOver& h = bridge().importHandOver();
        CFileEcg original;
        const std::vector<EcgFileRecord> before = dcetest::readRecords(m_recording, &original);
        QCOMPARE(h.startTime, qint64(original.recordingTime));
        // The file's patient is handed over and shown in the form; the
        // current patient stays the one on the screen.
        QCOMPARE(patients().patientId, m_patientId);
        const PatientFormValues& p = h.patient;
        QCOMPARE(p.name, QString("Bella"));
        QCOMPARE(p.extId, QString("P-1042"));
        QCOMPARE(p.ownerFirst, QString("Anna"));
        QCOMPARE(p.ownerLast, QString("Lindqvist"));
        QCOMPARE(p.sex, 4);
        QCOMPARE(p.species, 2);
        QCOMPARE(p.birthdate, kBirth);
        QCOMPARE(drawer->property("initializerPatId").toInt(), -1);
        QCOMPARE(drawer->property("initializerPatientName").toString(), QString("Bella"));
        QCOMPARE(drawer->property("initializerSpeciesIdx").toInt(), 2);
        QCOMPARE(drawer->property("initializerSpeciesValue").toString(), p.speciesName);
        QVERIFY(!p.speciesName.isEmpty());
        QCOMPARE(drawer->property("initializerBirthdayTs").toDouble(), double(kBirth));
        if (dicom) {
            QCOMPARE(h.temporaryPath, h.sourcePath);
            QVERIFY(h.sourcePath.startsWith(QDir(dataFolder()).filePath("tmp/")));
            QCOMPARE(p.weight, 23.5f);
            QCOMPARE(p.weightUnit, 0);
            QCOMPARE(p.breed, QString("Labrador Retriever"));
            QCOMPARE(drawer->property("initializerBreedValue").toString(), QString("Labrador Retriever"));
            QVERIFY(p.breedListIdx >= 0);
        } else {
            QCOMPARE(h.sourcePath, exported);
            QVERIFY(h.temporaryPath.isEmpty());
            QCOMPARE(p.weightUnit, bridge().settingsMan()->weightUnitIsPound);
        }

        const std::vector<EcgFileRecord> after = dcetest::readRecords(h.sourcePath);
        QCOMPARE(after.size(), before.size());
        const double step = dicom ? 1.0 / 5.6 + 1e-5 : 0.0;
        int marks = 0;
        for (std::size_t k = 0; k < before.size(); ++k) {
            QVERIFY2(std::fabs(after[k].leadI - before[k].leadI) <= step, qPrintable(QString::number(k)));
            QVERIFY(std::fabs(after[k].leadII - before[k].leadII) <= step);
            if (k > 0)
                QCOMPARE(after[k].type, before[k].type);
            marks += before[k].type == 1;
        }
        QVERIFY(marks >= 2);
        showRecording();
    }

    // What the import takes and what it refuses; a refusal leaves the data
    // folder as it was and shows the read alert, with its reason where the
    // file gives one. A kind "pydicom:CASE" is another maker's object
    // (dce_pydicom_make.py) saved as CASE.dcm.
    void importKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("viaDicomSlot");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("converted");
        QTest::addColumn<QString>("reason"); // the alert's informative text; empty: not checked
        QTest::newRow("read-only recording") << "readonly" << false << true << false << QString();
        QTest::newRow("recording by the DICOM filter") << "recording" << true << true << false << QString();
        QTest::newRow("DICOM named .ecg") << "dicomAsEcg" << false << true << true << QString();
        QTest::newRow("random bytes") << "random" << false << false << false << QString();
        QTest::newRow("random bytes as .dce") << "random" << true << false << false << QString();
        QTest::newRow("version 0") << "version0" << false << false << false << QString();
        QTest::newRow("truncated header") << "truncated" << false << false << false << QString();
        QTest::newRow("missing") << "missing" << false << false << false << QString();
        QTest::newRow("empty") << "empty" << true << false << false << QString();
        QTest::newRow("DICOM whose scale gives no finite values")
            << "pydicom:sensitivity_inf" << true << false << false
            << "Its channel sensitivity gives values that are not finite numbers.";
        QTest::newRow("DICOM at 250 Hz") << "pydicom:frequency_250" << false << false << false
                                         << "It was recorded at 250 samples per second; this program reads 500.";
        QTest::newRow("DICOM of chest leads only")
            << "pydicom:v_leads_only" << true << false << false
            << "It holds only leads V1, V2, V3, V4, V5, V6; this program needs lead I, II or III, or two limb "
               "leads.";
        QTest::newRow("DICOM that is no ECG") << "pydicom:ct_image" << true << false << false
                                              << "It is a DICOM file, but not an ECG.";
        QTest::newRow("12-lead DICOM, median beat first") << "pydicom:median_first" << true << true << true
                                                         << QString();
    }

    void importKinds()
    {
        QFETCH(QString, kind);
        QFETCH(bool, viaDicomSlot);
        QFETCH(bool, accepted);
        QFETCH(bool, converted);
        QFETCH(QString, reason);
        QVERIFY(QFile::exists(exportedEcg()));
        QVERIFY(QFile::exists(exportedDce()));
        QTemporaryDir in;
        const QByteArray recording = readAll(exportedEcg());
        const QString pydicomCase = kind.startsWith("pydicom:") ? kind.mid(8) : QString();
        QString path = pydicomCase.isEmpty() ? in.filePath(kind + (kind == "random" && viaDicomSlot ? ".dce" : ".ecg"))
                                             : in.filePath(pydicomCase + ".dcm");
        if (kind == "readonly" || kind == "recording") {
            QVERIFY(writeAll(path, recording));
            if (kind == "readonly")
                QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        } else if (kind == "dicomAsEcg") {
            QVERIFY(QFile::copy(exportedDce(), path));
        } else if (kind == "random") {
            QByteArray bytes(8192, '\0');
            QRandomGenerator gen(24);
            for (char& c : bytes)
                c = char(gen.bounded(256));
            QVERIFY(writeAll(path, bytes));
        } else if (kind == "version0") {
            QVERIFY(writeAll(path, recording.mid(int(CFileEcg::dataStartOf(2)))));
        } else if (kind == "truncated") {
            QVERIFY(writeAll(path, recording.left(100)));
        } else if (kind == "empty") {
            QVERIFY(writeAll(path, QByteArray()));
        } else if (!pydicomCase.isEmpty()) {
            const dcetest::ToolResult r = dcetest::runTool(
                dcetest::python(), {dcetest::script("qd_dcmLib", "dce_pydicom_make.py"), path, pydicomCase});
            QVERIFY2(r.exitCode == 0, r.err.constData());
        }
        const QByteArray given = readAll(path);
        const auto folderBefore = snapshot(dataFolder());

        // An earlier import leaves its hand-over.
        bridge().importEcg(QUrl::fromLocalFile(exportedEcg()));
        QCOMPARE(bridge().importHandOver().sourcePath, exportedEcg());
        closeDialogs();

        if (viaDicomSlot)
            bridge().importDcm(QUrl::fromLocalFile(path));
        else
            bridge().importEcg(QUrl::fromLocalFile(path));
        QCOMPARE(uiData("busyIndicatorRunning").toBool(), false);
        QCOMPARE(readAll(path), given); // the user's file is only read
        const ImportHandOver& h = bridge().importHandOver();
        if (!accepted) {
            QObject* alert = openDialog("File Read Error");
            QVERIFY(alert);
            QCOMPARE(alert->property("text").toString(), QString("Unable to read the ECG file"));
            if (!reason.isEmpty())
                QCOMPARE(alert->property("informativeText").toString(), reason);
            QVERIFY(h.sourcePath.isEmpty());
            QVERIFY(h.temporaryPath.isEmpty());
            QCOMPARE(snapshot(dataFolder()), folderBefore);
        } else {
            QVERIFY(!anyDialogOpen());
            if (converted) {
                QVERIFY(h.sourcePath.startsWith(QDir(dataFolder()).filePath("tmp/")));
                QCOMPARE(h.temporaryPath, h.sourcePath);
                QCOMPARE(QFileInfo(h.sourcePath).fileName(), QFileInfo(path).completeBaseName() + ".ecg");
            } else {
                QCOMPARE(h.sourcePath, path);
                QVERIFY(h.temporaryPath.isEmpty());
            }
            QVERIFY(h.startTime > 0);
        }
        closeDialogs();
        showRecording();
    }

    // An export empties the temporary path, so the assignment keeps that file.
    void exportAfterDicomImport()
    {
        bridge().importDcm(QUrl::fromLocalFile(exportedDce()));
        QVERIFY(!bridge().importHandOver().temporaryPath.isEmpty());
        showRecording();
        bridge().exportEcg(QUrl::fromLocalFile(m_out.path()));
        QVERIFY(bridge().importHandOver().temporaryPath.isEmpty());
        QVERIFY(!bridge().importHandOver().sourcePath.isEmpty());
    }

    void cleanupTestCase()
    {
        bridge().setPatientDrawerObject(nullptr);
        bridge().setToolsSettingsObject(nullptr);
        bridge().setExportObject(nullptr);
        m_standIns.clear();
    }

    void noWarnings()
    {
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }
};

QTEST_MAIN(TstImportExport)
#include "tst_importexport.moc"
