// A recording as a clinic makes it, through the live path: the simulated
// device streams with battery-low, user-mark and device-information events
// and starts the recording itself. Exported through the bridge for a patient
// of every species value and for a long name in other alphabets, the object
// has no dciodvfy error, reads in pydicom, and imported back through the
// bridge gives every sample and event in its place.

#include "analysisrun.h"
#include "appharness.h"
#include "../qd_dcmLib/dcetesthelpers.h"
#include "isolatedhome.h"
#include "liveview.h"
#include "qmlitems.h"
#include "qmlmodule.h"
#include "recordingcontrol.h"
#include "settingsman.h"
#include "updateandterms.h"

#include <QJsonArray>
#include <QtQml/qqmlmoduleregistration.h>
#include <QtTest>

#include <cmath>
#include <cstring>

static IsolatedHome isolatedHome;
static const QQmlModuleRegistration malvorantModule("Malvorant", qml_register_types_Malvorant);

using qml::Prop;

namespace {

// An event as the recording holds it: after how many samples, its type and
// what it carries.
struct Event
{
    int place;
    int type;
    int extra;
    float valueA;
    float valueB;

    bool operator==(const Event& o) const
    {
        return place == o.place && type == o.type && extra == o.extra && valueA == o.valueA && valueB == o.valueB;
    }
};

struct Content
{
    std::vector<EcgFileRecord> samples;
    QList<Event> events;
};

Content contentOf(const std::vector<EcgFileRecord>& records)
{
    Content c;
    for (const EcgFileRecord& r : records) {
        if (r.type >= 0) {
            c.samples.push_back(r);
            continue;
        }
        float a = 0.0f, b = 0.0f; // the device values of a device-information record
        if (r.type == -101) {
            std::int32_t f = 0, d = 0;
            std::memcpy(&f, &r.leadII, 4);
            std::memcpy(&d, &r.leadIII, 4);
            a = float(f);
            b = float(d);
        }
        c.events.append({int(c.samples.size()), r.type, r.extra, a, b});
    }
    return c;
}

// The heart rate the program's beat analysis finds in the samples (a dog's
// analysis settings).
int heartRateOf(const std::vector<EcgFileRecord>& samples)
{
    std::vector<float> leadI, leadII;
    for (const EcgFileRecord& r : samples) {
        leadI.push_back(r.leadI);
        leadII.push_back(r.leadII);
    }
    return analyseTwoLeads(speciesParams(2), leadI, leadII).heartRate;
}

QString longName()
{
    // 80 characters, nearly all beyond ASCII: 150 bytes of UTF-8
    const QString part = QString::fromUtf8("Żółć Łąkowa-Ängström Ярослава Πηνελόπη ");
    QString name;
    while (name.size() < 80)
        name += part;
    return name.left(80);
}

} // namespace

class TstDicomFidelity : public QObject
{
    Q_OBJECT

    AppHarness m_app;
    QQuickWindow* m_window = nullptr;
    int m_patientId = -1;
    int m_ecgId = -1;
    QString m_recording;
    Content m_original;

    CQmlInterface& bridge() { return m_app.bridge(); }
    CFileMan& files() { return *bridge().fileMan(); }
    CSettingsMan& settings() { return *bridge().settingsMan(); }
    QVariant ui(Prop prop) { return bridge().items().read(prop); }

private slots:
    void initTestCase()
    {
        qputenv("MALVORANT_DEVICE", "simulated");
        qputenv("MALVORANT_SIM_TIME_SCALE", "8");
        qputenv("MALVORANT_SIM_BATTERY_LOW_AFTER", "3");
        qputenv("MALVORANT_SIM_TOGGLE_EVERY", "6");      // the device starts the recording
        qputenv("MALVORANT_SIM_USER_MARK_EVERY", "0.9");
        qputenv("MALVORANT_SIM_DEVICE_INFO_EVERY", "2.3");
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_app.isValid());
        AppHarness::warnings().clear();
        m_window = m_app.loadReturningUser();
        QVERIFY(m_window);
    }

    // "New ECG", then the device's own button starts the recording; it ends
    // by itself after the chosen seconds and waits for its patient.
    void recordStartedByTheDevice()
    {
        settings().recordingSeconds = 6;
        bridge().streamStartStop(true);
        QVERIFY(AppHarness::waitFor([&] { return bridge().recordingControl().isRecording(); }, 60000));
        QVERIFY(AppHarness::waitFor([&] { return ui(Prop::DisplayState).toInt() == 4; }, 60000));
        m_ecgId = files().currentEcgId();
        QVERIFY(m_ecgId > 0);
        m_recording = files().dataFolder() + files().currentFileName();
        m_original = contentOf(dcetest::readRecords(m_recording));
        QVERIFY(m_original.samples.size() >= 3000);
        QSet<int> kinds;
        for (const Event& e : m_original.events)
            kinds.insert(e.type);
        for (int type : {-1, -4, -101})
            QVERIFY2(kinds.contains(type), qPrintable(QString::number(type)));
        QVERIFY(kinds.contains(-102) || kinds.contains(-103) || kinds.contains(-104) || kinds.contains(-105));
        const int rate = heartRateOf(m_original.samples);
        QVERIFY2(std::abs(rate - 120) <= 3, qPrintable(QString::number(rate)));

        // A patient for it; each case below edits this patient afterwards.
        m_patientId = bridge().patientMan()->createPatient("Bello", "FID-1", "Anna", "Lindqvist", 2, 1, 12.5f,
                                                           0, "Beagle", 1551744000, QString(), QString());
        QVERIFY(m_patientId > 0);
        QVERIFY(files().assignPendingEcg(m_patientId, false));
    }

    void exportAndImportBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("species");
        QTest::addColumn<QString>("breed");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<QString>("ownerFirst");
        QTest::addColumn<QString>("expectedSpecies");

        // A patient without species leaves the one chosen for the recording.
        QTest::newRow("species 0, nothing more known") << "Rex" << 0 << "" << "" << "" << "Canine";
        QTest::newRow("species 1") << "Blitz" << 1 << "Haflinger" << "452.5" << "Anna" << "Equine";
        QTest::newRow("species 2") << "Bello" << 2 << "Beagle" << "12.5" << "Anna" << "Canine";
        QTest::newRow("species 3, no owner first name") << "Mia" << 3 << "Siamese" << "4" << "" << "Feline";
        QTest::newRow("species 4, no breed or weight") << "Kiki" << 4 << "" << "" << "Anna" << "Other";
        QTest::newRow("80 characters beyond ascii") << longName() << 2 << "Beagle" << "12.5" << longName()
                                                    << "Canine";
    }

    // The patient is edited after the recording (the object names the patient
    // as it is now), the recording exported, checked, imported back.
    void exportAndImportBack()
    {
        QFETCH(QString, name);
        QFETCH(int, species);
        QFETCH(QString, breed);
        QFETCH(QString, weight);
        QFETCH(QString, ownerFirst);
        QFETCH(QString, expectedSpecies);
        QVERIFY(m_ecgId > 0);

        bridge().patientUpdated(m_patientId, name, "FID-1", ownerFirst, QString::fromUtf8("Müller"), species,
                                breed, 2, weight, false, species == 4 ? 0u : 1551744000u);
        bridge().fileSelectedLocal(m_patientId, m_ecgId);
        QCOMPARE(files().currentEcgId(), m_ecgId);

        QTemporaryDir out;
        bridge().exportDcm(QUrl::fromLocalFile(out.path()));
        QVERIFY(visibleDialog(m_window, QStringLiteral("File Saved")));
        closeVisibleDialogs(m_window);
        QVERIFY(!visibleDialog(m_window));
        const QStringList exported = QDir(out.path()).entryList({"*.dce"}, QDir::Files);
        QCOMPARE(exported.size(), 1);
        const QString dce = out.filePath(exported.first());

        // Whole by the standard: dciodvfy finds no error (the one warning left
        // is the Study ID a DICOMDIR would need; the program keeps none).
        if (!QStandardPaths::findExecutable("dciodvfy").isEmpty()) {
            const dcetest::DciodvfyReport r =
                dcetest::runDciodvfy(dce, [](const QString& line) { return line.endsWith("- Study ID"); });
            QVERIFY(r.started);
            QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join('\n')));
        }

        // pydicom reads the patient as edited and the recording's samples.
        const dcetest::PydicomView v = dcetest::readWithPydicom(dce);
        QVERIFY2(v.ok, v.err.constData());
        const QString patientName = v.json["PatientName"].toString();
        QVERIFY(patientName.toUtf8().size() <= 64);
        QVERIFY2(patientName.startsWith(QString::fromUtf8("Müller^")), qPrintable(patientName));
        QVERIFY2(name.startsWith(patientName.section('^', 1)), qPrintable(patientName));
        QCOMPARE(v.json["PatientSpeciesDescription"].toString(), expectedSpecies);
        QCOMPARE(v.json["PatientBreedDescription"].toString(), breed);
        QCOMPARE(v.json["PatientWeight"].toString(), weight);
        QVERIFY(v.json["ResponsiblePerson"].toString().toUtf8().size() <= 64);
        const QJsonObject group = v.json["groups"].toArray().first().toObject();
        QCOMPARE(group["NumberOfWaveformSamples"].toString().toInt(), int(m_original.samples.size()));

        // Imported back through the bridge as the user imports a file.
        bridge().importDcm(QUrl::fromLocalFile(dce));
        QVERIFY(!visibleDialog(m_window));
        const QString converted = bridge().importHandOver().sourcePath;
        QVERIFY(QFile::exists(converted));
        const Content back = contentOf(dcetest::readRecords(converted));
        // The file's patient waits in the hand-over for the user's choice.
        QCOMPARE(bridge().importHandOver().patient.name, patientName.section('^', 1));
        // (species 0: the recording's own, canine, went out and comes back)
        QCOMPARE(bridge().importHandOver().patient.species, species != 0 ? species : 2);

        QCOMPARE(back.samples.size(), m_original.samples.size());
        const double step = 1.0 / 5.6 + 1e-4;
        for (std::size_t k = 0; k < back.samples.size(); ++k) {
            const EcgFileRecord& a = m_original.samples[k];
            const EcgFileRecord& b = back.samples[k];
            QVERIFY2(std::fabs(a.leadI - b.leadI) <= step && std::fabs(a.leadII - b.leadII) <= step,
                     qPrintable(QString("sample %1: %2 %3, was %4 %5").arg(k).arg(b.leadI).arg(b.leadII)
                                    .arg(a.leadI).arg(a.leadII)));
            QVERIFY2(a.type == b.type, qPrintable(QString("sample %1 type %2, was %3").arg(k).arg(b.type).arg(a.type)));
        }
        // Every event back at its place with its type and values; one before
        // the first sample can only follow it.
        QList<Event> expected = m_original.events;
        for (Event& e : expected)
            e.place = std::max(e.place, 1);
        QCOMPARE(back.events.size(), expected.size());
        for (int k = 0; k < expected.size(); ++k)
            QVERIFY2(back.events[k] == expected[k],
                     qPrintable(QString("event %1: type %2 at %3, was type %4 at %5").arg(k).arg(back.events[k].type)
                                    .arg(back.events[k].place).arg(expected[k].type).arg(expected[k].place)));
        const int rate = heartRateOf(back.samples);
        QVERIFY2(std::abs(rate - heartRateOf(m_original.samples)) <= 1, qPrintable(QString::number(rate)));
    }

    void noQmlWarnings()
    {
        bridge().ecgPatientAssignmentAborted();
        QVERIFY2(AppHarness::warnings().isEmpty(), qPrintable(AppHarness::warnings().join('\n')));
    }
};

QTEST_MAIN(TstDicomFidelity)
#include "tst_dicomfidelity.moc"
