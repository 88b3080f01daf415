// Export of recordings as DICOM ECG waveform files, checked by reading them
// back with pydicom and validating them with dciodvfy.
#include <QtTest>
#include <QJsonArray>
#include <QTemporaryDir>

#include "dcetesthelpers.h"
#include "dcmerrors.h"
#include "dcmfile.h"
#include "debuglog.h"
#include "commalocale.h"
#include "filebytes.h"
#include "logwindow.h"
#include "mitdb.h"
#include "readonlyscope.h"

#include <cmath>
#include <limits>
#include <memory>
#include <sys/stat.h>

using namespace dcetest;

class TestDcmExport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void samplesAndAnnotations();
    void rMarksOnTheirPeaksInOtherSoftware();
    void channelDefinitions();
    void patientToAttributes_data();
    void patientToAttributes();
    void recordingWithoutPatient();
    void longTextsAreCut();
    void typedTextsUnderCommaLocale();
    void unknownWeightLeftEmpty();
    void amplitudeMatchesTheChart();
    void dciodvfyFindsNoError_data();
    void dciodvfyFindsNoError();
    void recordingWithoutSamples();
    void failuresGiveTheirCode();
    void recordingIsOnlyRead();
    void entryPointReportsFailure();

private:
    QString path(const QString& name) const { return m_files.filePath(name); }
    std::vector<EcgFileRecord> mitRecording(int seconds);

    QTemporaryDir m_logDir;
    QTemporaryDir m_files;
    std::unique_ptr<CDebugLog> m_log;
};

void TestDcmExport::initTestCase()
{
    QVERIFY(m_logDir.isValid() && m_files.isValid());
    // searchable by the user a read-only scope switches to
    ::chmod(QFile::encodeName(m_files.path()).constData(), 0755);
    m_log = std::make_unique<CDebugLog>(4, false, m_logDir.path().toStdString(), "malvorantlog");
    g_pDebugLog = m_log.get();
}

void TestDcmExport::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

// Ten seconds and more of MIT-BIH record 100 as a recording: MLII as lead II,
// V5 as lead I, R marks on the reference beats.
std::vector<EcgFileRecord> TestDcmExport::mitRecording(int seconds)
{
    const MitRecord rec = mitReadRecord(QString(MALVORANT_TEST_DATA).toStdString() + "/mitdb", "100");
    std::vector<EcgFileRecord> out;
    if (!rec.error.empty())
        return out;
    const std::vector<float> ii = mitResample(rec, 0, 500.0);
    const std::vector<float> i = mitResample(rec, 1, 500.0);
    const std::size_t n = std::min<std::size_t>(std::size_t(seconds) * 500, std::min(ii.size(), i.size()));
    for (std::size_t k = 0; k < n; ++k)
        out.push_back(sample(i[k], ii[k]));
    for (std::int64_t beat : mitReferenceBeats(rec, 500.0))
        if (beat > 0 && std::size_t(beat) < n)
            out[std::size_t(beat)].type = 1;
    return out;
}

// The stored values, one by one, and where each event lands: an event is no
// sample, it is an annotation at the sample it follows.
void TestDcmExport::samplesAndAnnotations()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EcgFileRecord deviceInfo = eventRecord(-101, 500); // F 100, D 1, E 500 as the recorder keeps them
    const std::int32_t f = 100, d = 1;
    std::memcpy(&deviceInfo.leadII, &f, 4);
    std::memcpy(&deviceInfo.leadIII, &d, 4);
    const std::vector<EcgFileRecord> records = {
        eventRecord(-1),             // before any sample: follows the first
        sample(1.0f, 2.0f, 1),       // n 0: R
        sample(-1.0f, 0.0f),         // n 1
        sample(0.0f, 0.0f, 13),      // n 2: UNKNOWN
        eventRecord(-1),             // LOWBAT at 2
        sample(10000.0f, -10000.0f), // n 3: saturates
        sample(nan, inf, 45),        // n 4: not finite gives 0; L
        eventRecord(-4),             // RECORD_TOGGLE at 4, no sample
        deviceInfo,                  // DEVICE_INFO at 4 with its values
        sample(2.5f, -1.25f, 1),     // n 5: R
        eventRecord(-102), eventRecord(-103), eventRecord(-104), eventRecord(-105), eventRecord(-2, 7),
        eventRecord(-3), eventRecord(-112), eventRecord(-113), eventRecord(-77),
        sample(0.1f, 0.2f),          // n 6
    };
    QVERIFY(writeRecording(path("golden.ecg"), records));
    std::string error;
    QCOMPARE(exportRecording(path("golden.ecg"), path("golden.dce"), &error), 0);

    const PydicomView v = readWithPydicom(path("golden.dce"));
    QVERIFY2(v.ok, v.err.constData());
    // channels I, II, III, aVR (its own sign), aVL, aVF
    const std::vector<std::vector<int>> expected = {
        {5, 11, 5, -8, 0, 8},
        {-5, 0, 5, 2, -5, 2},
        {0, 0, 0, 0, 0, 0},
        {32767, -32768, -32768, 0, 32767, -32768},
        {0, 0, 0, 0, 0, 0},
        {14, -7, -21, -3, 17, -14},
        {0, 1, 0, 0, 0, 0},
    };
    const int n = int(expected.size());
    QCOMPARE(v.json["groups"].toArray()[0].toObject()["NumberOfWaveformSamples"].toString(), QString::number(n));
    QCOMPARE(int(v.samples.size()), 6 * n);
    for (int c = 0; c < 6; ++c)
        for (int t = 0; t < n; ++t)
            QVERIFY2(v.samples[std::size_t(c * n + t)] == expected[std::size_t(t)][std::size_t(c)],
                     qPrintable(QString("channel %1 sample %2: %3").arg(c + 1).arg(t)
                                    .arg(v.samples[std::size_t(c * n + t)])));

    struct Mark
    {
        QString text;
        int position;
        QJsonValue values;
    };
    const QJsonValue zero("0");
    const QList<Mark> marks = {{"R", 0, zero},           {"LOWBAT", 0, zero},      {"UNKNOWN", 2, zero},
                               {"LOWBAT", 2, zero},      {"L", 4, zero},           {"RECORD_TOGGLE", 4, zero},
                               {"DEVICE_INFO", 4, QJsonArray({"100", "1", "500"})},
                               {"R", 5, zero},           {"USER_MARK_1", 5, zero}, {"USER_MARK_2", 5, zero},
                               {"USER_MARK_3", 5, zero}, {"USER_MARK_4", 5, zero}, {"CHANNEL_ERROR", 5, QJsonValue("7")},
                               {"PACKET_ERROR", 5, zero}, {"DEVICE_ID", 5, zero}, {"DEVICE_DATA", 5, zero},
                               {"ERROR", 5, zero}};
    const QJsonArray annotations = v.json["annotations"].toArray();
    QCOMPARE(annotations.size(), marks.size());
    for (int k = 0; k < marks.size(); ++k) {
        const QJsonObject a = annotations[k].toObject();
        QCOMPARE(a["UnformattedTextValue"].toString(), marks[k].text);
        // positions count from 1, as the standard numbers samples
        QCOMPARE(a["ReferencedSamplePositions"].toString(), QString::number(marks[k].position + 1));
        QCOMPARE(a["ReferencedWaveformChannels"].toArray(), QJsonArray({"1", "1"}));
        QCOMPARE(a["NumericValue"], marks[k].values);
        QCOMPARE(a["TemporalRangeType"].toString(), QString("POINT"));
    }
}

// Read by other software (pydicom): every position is at least 1, and each R
// position less one is the peak of its beat in lead II.
void TestDcmExport::rMarksOnTheirPeaksInOtherSoftware()
{
    std::vector<EcgFileRecord> records = mitRecording(20);
    QVERIFY(records.size() > 5000);
    const int window = 40; // samples either side of a beat's peak (80 ms)
    const int n = int(records.size());
    std::vector<int> peaks;
    for (int k = 0; k < n; ++k) {
        if (records[std::size_t(k)].type != 1)
            continue;
        records[std::size_t(k)].type = 0;
        int peak = k;
        for (int t = std::max(0, k - window); t < std::min(n, k + window); ++t)
            if (records[std::size_t(t)].leadII > records[std::size_t(peak)].leadII)
                peak = t;
        peaks.push_back(peak);
    }
    for (int peak : peaks)
        records[std::size_t(peak)].type = 1;
    records[0].type = 45;                                    // a mark on the first sample
    records.insert(records.begin(), eventRecord(-1));         // an event before it
    records.insert(records.begin() + 1001, eventRecord(-102)); // after sample 999
    QVERIFY(peaks.size() > 15);
    QVERIFY(writeRecording(path("peaks.ecg"), records));
    QCOMPARE(exportRecording(path("peaks.ecg"), path("peaks.dce")), 0);
    const PydicomView v = readWithPydicom(path("peaks.dce"));
    QVERIFY2(v.ok, v.err.constData());
    const QJsonArray annotations = v.json["annotations"].toArray();
    QCOMPARE(annotations.size(), int(peaks.size()) + 3);
    const int samples = v.json["groups"].toArray()[0].toObject()["NumberOfWaveformSamples"].toString().toInt();
    QCOMPARE(samples, n);
    const std::int32_t* leadII = v.samples.data() + samples; // channel 2
    QList<int> rPositions;
    for (const QJsonValue& item : annotations) {
        const QJsonObject a = item.toObject();
        const int position = a["ReferencedSamplePositions"].toString().toInt();
        QVERIFY2(position >= 1 && position <= samples, qPrintable(QString::number(position)));
        if (a["UnformattedTextValue"].toString() != "R")
            continue;
        rPositions << position;
        const int peak = position - 1;
        for (int t = std::max(0, peak - window); t < std::min(samples, peak + window); ++t)
            QVERIFY2(leadII[t] <= leadII[peak], qPrintable(QString("R at %1, sample %2").arg(position).arg(t)));
    }
    QCOMPARE(rPositions.size(), int(peaks.size()));
    for (int k = 0; k < rPositions.size(); ++k)
        QCOMPARE(rPositions[k] - 1, peaks[std::size_t(k)]);
}

void TestDcmExport::channelDefinitions()
{
    QVERIFY(writeRecording(path("defs.ecg"), {sample(1, 2), sample(2, 3)}));
    QCOMPARE(exportRecording(path("defs.ecg"), path("defs.dce")), 0);
    const PydicomView v = readWithPydicom(path("defs.dce"));
    QVERIFY2(v.ok, v.err.constData());
    QCOMPARE(v.json["SOPClassUID"].toString(), QString("1.2.840.10008.5.1.4.1.1.9.1.2"));
    QCOMPARE(v.json["meta_sop_class"].toString(), QString("1.2.840.10008.5.1.4.1.1.9.1.2"));
    QCOMPARE(v.json["Modality"].toString(), QString("ECG"));
    QCOMPARE(v.json["Manufacturer"].toString(), QString("Malvorant Windows"));
    QCOMPARE(v.json["ManufacturerModelName"].toString(), QString("Yarlo Malvorant 0.0.0"));
    // tells the import the positions count from 1 (the earlier versions wrote none)
    QCOMPARE(v.json["SoftwareVersions"].toString(), QString("0.0.0"));
    QCOMPARE(v.json["InstitutionName"].toString(), QString("Animal Clinic"));
    QCOMPARE(v.json["ResponsiblePersonRole"].toString(), QString("OWNER"));
    QCOMPARE(v.json["StudyInstanceUID"].toString(), QString("1.2.826.0.1.3680043.10.1138.7"));
    QCOMPARE(v.json["PatientBreedDescription"].toString(), QString("Beagle"));
    QCOMPARE(v.json["PatientWeight"].toString(), QString("12.5"));
    const QJsonArray groups = v.json["groups"].toArray();
    QCOMPARE(groups.size(), 1);
    const QJsonObject g = groups[0].toObject();
    QCOMPARE(g["WaveformOriginality"].toString(), QString("ORIGINAL"));
    QCOMPARE(g["SamplingFrequency"].toString(), QString("500"));
    QCOMPARE(g["WaveformSampleInterpretation"].toString(), QString("SS"));
    QCOMPARE(g["NumberOfWaveformChannels"].toString(), QString("6"));
    const char* const codes[] = {"2:1", "2:2", "2:61", "2:62", "2:63", "2:64"};
    const char* const meanings[] = {"Lead I", "Lead II", "Lead III", "Lead aVR", "Lead aVL", "Lead aVF"};
    const QJsonArray channels = g["channels"].toArray();
    QCOMPARE(channels.size(), 6);
    for (int c = 0; c < 6; ++c) {
        const QJsonObject ch = channels[c].toObject();
        QCOMPARE(ch["source"].toObject()["CodingSchemeDesignator"].toString(), QString("MDC"));
        QCOMPARE(ch["source"].toObject()["CodeValue"].toString(), QString(codes[c]));
        QCOMPARE(ch["source"].toObject()["CodeMeaning"].toString(), QString(meanings[c]));
        QCOMPARE(ch["units"].toObject()["CodeValue"].toString(), QString("uV"));
        QCOMPARE(ch["units"].toObject()["CodingSchemeDesignator"].toString(), QString("UCUM"));
        // 5.2 uV per lead unit, 5.6 steps per lead unit
        QVERIFY(std::fabs(ch["ChannelSensitivity"].toString().toDouble() - 5.2 / 5.6) < 1e-6);
        QCOMPARE(ch["ChannelSensitivityCorrectionFactor"].toString().toDouble(), 1.0);
        QCOMPARE(ch["ChannelBaseline"].toString().toDouble(), 0.0);
    }
}

void TestDcmExport::patientToAttributes_data()
{
    QTest::addColumn<QString>("patient");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("ownerFirst");
    QTest::addColumn<int>("gender");
    QTest::addColumn<int>("species");
    QTest::addColumn<qint64>("birth");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QStringList>("expected"); // key=value; value "<absent>" for a missing attribute

    const qint64 t = 1552000000; // 2019-03-07 23:06:40 UTC
    const qint64 b = 1551744000; // 2019-03-05
    QTest::newRow("full") << "Rex" << "Smith" << "Anna" << 1 << 2 << b << t
                          << QStringList{"PatientName=Smith^Rex", "ResponsiblePerson=Smith^Anna",
                                         "PatientSex=M", "PatientSexNeutered=UNALTERED",
                                         "PatientBirthDate=20190305", "PatientSpeciesDescription=Canine",
                                         "StudyDate=20190307", "StudyTime=230640.0000", "ContentDate=20190307",
                                         "ContentTime=230640.0000", "AcquisitionDateTime=20190307230640",
                                         "SpecificCharacterSet=<absent>", "PatientID=P-17"};
    QTest::newRow("patient only") << "Rex" << "" << "" << 2 << 3 << b << t
                                  << QStringList{"PatientName=Rex", "ResponsiblePerson=", "PatientSex=F",
                                                 "PatientSexNeutered=UNALTERED", "PatientSpeciesDescription=Feline"};
    QTest::newRow("owner only") << "" << "Smith" << "Anna" << 3 << 19 << b << t
                                << QStringList{"PatientName=Smith", "ResponsiblePerson=Smith^Anna",
                                               "PatientSex=M", "PatientSexNeutered=ALTERED",
                                               "PatientSpeciesDescription=Small Mammal"};
    QTest::newRow("no owner first name") << "Rex" << "Smith" << "" << 4 << 1 << b << t
                                         << QStringList{"PatientName=Smith^Rex", "ResponsiblePerson=",
                                                        "PatientSex=F", "PatientSexNeutered=ALTERED"};
    QTest::newRow("letters beyond ascii") << "Rüdiger" << "Müller" << "Zoë" << 0 << 4 << b << t
                                          << QStringList{"PatientName=Müller^Rüdiger",
                                                         "ResponsiblePerson=Müller^Zoë",
                                                         "SpecificCharacterSet=ISO_IR 192", "PatientSex=O",
                                                         "PatientSexNeutered=",
                                                         "PatientSpeciesDescription=Other"};
    // Typed delimiters of person names split nothing.
    QTest::newRow("carets and equals signs typed") << "Mi=nka" << "Kel^ler" << "An^na=" << 4 << 3 << b << t
                                                   << QStringList{"PatientName=Kel/ler^Mi/nka",
                                                                  "ResponsiblePerson=Kel/ler^An/na/",
                                                                  "PatientSex=F", "PatientSexNeutered=ALTERED"};
    QTest::newRow("gender and species unknown") << "Rex" << "Smith" << "Anna" << 5 << 0 << b << t
                                                << QStringList{"PatientSex=", "PatientSexNeutered=",
                                                               "PatientSpeciesDescription=Unknown"};
    QTest::newRow("no birth date") << "Rex" << "Smith" << "Anna" << 1 << 2 << qint64(0) << t
                                   << QStringList{"PatientBirthDate="};
    QTest::newRow("recording time 0") << "Rex" << "Smith" << "Anna" << 1 << 2 << b << qint64(0)
                                      << QStringList{"StudyDate=19700101", "StudyTime=000000.0000",
                                                     "ContentDate=19700101", "AcquisitionDateTime=19700101000000"};
}

// The object names the patient it is given (the recording's own, as it is
// now), never the texts the header kept from the moment of recording.
void TestDcmExport::patientToAttributes()
{
    QFETCH(QString, patient);
    QFETCH(QString, owner);
    QFETCH(QString, ownerFirst);
    QFETCH(int, gender);
    QFETCH(int, species);
    QFETCH(qint64, birth);
    QFETCH(qint64, time);
    QFETCH(QStringList, expected);

    Header h;
    h.patientName = "Fido";
    h.ownerLastName = "Header";
    h.ownerFirstName = "Kept";
    h.recordingTime = time;
    QVERIFY(writeRecording(path("header.ecg"), {sample(1, 2), sample(1, 2)}, h));
    DcmExportPatient p = patientRex();
    p.patientName = patient;
    p.ownerLastName = owner;
    p.ownerFirstName = ownerFirst;
    p.genderCode = gender;
    p.speciesDescription = QString::fromStdString(CDcmWvfPluginOrv::speciesDescriptionOf(species));
    p.birthTs = birth;
    QCOMPARE(exportRecording(path("header.ecg"), path("header.dce"), nullptr, p), 0);
    const PydicomView v = readWithPydicom(path("header.dce"));
    QVERIFY2(v.ok, v.err.constData());
    for (const QString& e : expected) {
        const QString key = e.section('=', 0, 0);
        const QString value = e.section('=', 1);
        if (value == "<absent>")
            QVERIFY2(v.json[key].isNull(), qPrintable(key));
        else
            QCOMPARE(key + "=" + v.json[key].toString(), e);
    }
}

// A recording without a patient names none: no name, owner, breed or
// weight; its species is the one chosen for the recording (the header's).
void TestDcmExport::recordingWithoutPatient()
{
    QVERIFY(writeRecording(path("pending.ecg"), {sample(1, 2), sample(1, 2)}));
    QCOMPARE(exportRecording(path("pending.ecg"), path("pending.dce"), nullptr, DcmExportPatient()), 0);
    const PydicomView v = readWithPydicom(path("pending.dce"));
    QVERIFY2(v.ok, v.err.constData());
    for (const char* key : {"PatientName", "PatientID", "ResponsiblePerson", "PatientBreedDescription",
                            "PatientWeight", "PatientSex", "PatientBirthDate"})
        QVERIFY2(v.json[key].toString().isEmpty(), key);
    QCOMPARE(v.json["PatientSpeciesDescription"].toString(), QString("Canine"));
}

// Texts longer than their VR allows are cut to its length in bytes, at a
// character's boundary: PN component groups and LO values within 64 bytes.
void TestDcmExport::longTextsAreCut()
{
    const QString letters = QString::fromUtf8("Łukasz Żółkiewski-Brzęczyszczykiewicz ");
    QString name;
    while (name.size() < 80)
        name += letters;
    name.truncate(80);
    DcmExportPatient p = patientRex();
    p.patientName = name;
    p.ownerLastName = name;
    p.ownerFirstName = "Zoë";
    p.patientId = name;
    p.breedDescription = name;
    QVERIFY(writeRecording(path("long.ecg"), {sample(1, 2), sample(1, 2)}));
    QCOMPARE(exportRecording(path("long.ecg"), path("long.dce"), nullptr, p, "1.2.3", name.toStdString()), 0);
    const PydicomView v = readWithPydicom(path("long.dce"));
    QVERIFY2(v.ok, v.err.constData());
    for (const char* key : {"PatientName", "ResponsiblePerson", "PatientID", "PatientBreedDescription",
                            "InstitutionName"}) {
        const QString value = v.json[key].toString();
        QVERIFY2(value.toUtf8().size() <= 64, qPrintable(QString(key) + ": " + value));
        QVERIFY2(value.size() > 20, qPrintable(QString(key) + ": " + value)); // cut, not emptied
        // whole characters of the typed text (pydicom would show a broken one as U+FFFD)
        QVERIFY2(!value.contains(QChar(0xFFFD)), key);
    }
    // both parts of a name keep a share; the owner's first name stays whole
    const QString patientName = v.json["PatientName"].toString();
    QVERIFY(name.startsWith(patientName.section('^', 0, 0)) && name.startsWith(patientName.section('^', 1, 1)));
    QVERIFY(patientName.section('^', 1, 1).size() >= 10);
    QVERIFY(v.json["ResponsiblePerson"].toString().endsWith(QString::fromUtf8("^Zoë")));
    QVERIFY(name.startsWith(v.json["PatientID"].toString()));
}

// Texts as the user typed them: a backslash does not split a value, a
// decimal comma in the weight is read as a point, and numbers are written
// with points whatever the locale.
void TestDcmExport::typedTextsUnderCommaLocale()
{
    const CommaLocale comma;
    if (!comma.isActive())
        QSKIP(qPrintable("no German locale: " + comma.error()));
    DcmExportPatient p = patientRex();
    p.patientName = "Rex\\Max";
    p.breedDescription = "Mix\\Pug";
    p.weight = "12,5";
    QVERIFY(writeRecording(path("typed.ecg"), {sample(1, 2), sample(2, 3)}));
    QCOMPARE(exportRecording(path("typed.ecg"), path("typed.dce"), nullptr, p, "1.2.3"), 0);
    p.breedDescription = "Pug";
    p.weight = "heavy";
    QVERIFY(writeRecording(path("typed2.ecg"), {sample(1, 2)}));
    QCOMPARE(exportRecording(path("typed2.ecg"), path("typed2.dce"), nullptr, p, "1.2.3"), 0);
    const PydicomView v = readWithPydicom(path("typed.dce"));
    QVERIFY2(v.ok, v.err.constData());
    QCOMPARE(v.json["PatientName"].toString(), QString("Smith^Rex/Max"));
    QCOMPARE(v.json["PatientBreedDescription"].toString(), QString("Mix/Pug"));
    QCOMPARE(v.json["PatientWeight"].toString(), QString("12.5"));
    const QJsonObject ch = v.json["groups"].toArray()[0].toObject()["channels"].toArray()[0].toObject();
    QVERIFY(ch["ChannelSensitivity"].toString().startsWith("0.92857"));
    const PydicomView v2 = readWithPydicom(path("typed2.dce"));
    QVERIFY2(v2.ok, v2.err.constData());
    QVERIFY(v2.json["PatientWeight"].toString().isEmpty()); // no number, no value
}

// An unknown weight is left empty, never "0 kg".
void TestDcmExport::unknownWeightLeftEmpty()
{
    QVERIFY(writeRecording(path("weight.ecg"), {sample(1, 2)}));
    DcmExportPatient p = patientRex();
    for (const char* unknown : {"0", "0.0", "-3", "", "00"}) {
        p.weight = unknown;
        QCOMPARE(exportRecording(path("weight.ecg"), path("weight.dce"), nullptr, p), 0);
        const PydicomView v = readWithPydicom(path("weight.dce"));
        QVERIFY2(v.ok, v.err.constData());
        QVERIFY2(v.json["PatientWeight"].toString().isEmpty(), unknown);
    }
    p.weight = "0.3"; // a small bird
    QCOMPARE(exportRecording(path("weight.ecg"), path("weight.dce"), nullptr, p), 0);
    QCOMPARE(readWithPydicom(path("weight.dce")).json["PatientWeight"].toString(), QString("0.3"));
}

// A viewer's amplitude (samples x sensitivity) is the chart's: 5.2 uV per lead unit.
void TestDcmExport::amplitudeMatchesTheChart()
{
    const std::vector<EcgFileRecord> records = mitRecording(10);
    QVERIFY(!records.empty());
    QVERIFY(writeRecording(path("mit.ecg"), records));
    QCOMPARE(exportRecording(path("mit.ecg"), path("mit.dce")), 0);
    const PydicomView v = readWithPydicom(path("mit.dce"));
    QVERIFY2(v.ok, v.err.constData());
    const QJsonArray channels = v.json["groups"].toArray()[0].toObject()["channels"].toArray();
    const std::size_t n = records.size();
    QCOMPARE(v.samples.size(), 6 * n);
    double worst = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double sensitivity = channels[c].toObject()["ChannelSensitivity"].toString().toDouble();
        for (std::size_t t = 0; t < n; ++t) {
            const double lead = c == 0 ? records[t].leadI : c == 1 ? records[t].leadII
                                                                   : double(records[t].leadII - records[t].leadI);
            worst = std::max(worst, std::fabs(v.samples[c * n + t] * sensitivity - lead * 5.2));
        }
    }
    // within one step of 5.2 / 5.6 uV
    QVERIFY2(worst <= 5.2 / 5.6 + 1e-3, qPrintable(QString::number(worst)));
    // aVR the right way up: -(I + II) / 2
    for (std::size_t t = 0; t < n; t += 97) {
        const double avr = -(records[t].leadI + records[t].leadII) * 0.5 * 5.6;
        QVERIFY(std::fabs(v.samples[3 * n + t] - avr) < 1.0);
    }
}

void TestDcmExport::dciodvfyFindsNoError_data()
{
    QTest::addColumn<int>("species");
    QTest::addColumn<bool>("complete"); // breed, weight, owner and birth date known

    for (int species = 0; species <= 20; ++species)
        QTest::addRow("species %d", species) << species << true;
    for (int species : {0, 2, 4, 19})
        QTest::addRow("species %d, no breed, weight, owner or birth date", species) << species << false;
    QTest::newRow("no patient") << -1 << false;
}

// Each warning dciodvfy may still give, with the reason it stays.
void TestDcmExport::dciodvfyFindsNoError()
{
    QFETCH(int, species);
    QFETCH(bool, complete);
    if (QStandardPaths::findExecutable("dciodvfy").isEmpty())
        QSKIP("dciodvfy (dicom3tools) not installed");
    const QMap<QString, QString> allowed = {
        {"Missing attribute or value that would be needed to build DICOMDIR - Study ID",
         "the program keeps no study id; Study ID is type 2 and written empty"},
        {"Missing attribute or value that would be needed to build DICOMDIR - Patient ID",
         "a recording without a patient has no patient id; Patient ID is type 2 and written empty"},
    };
    // A name without an owner's last name is one component, as the program
    // has always written it; dciodvfy calls that form retired.
    const QString retiredName = "Value dubious for this VR - (0x0010,0x0010) PN Patient's Name";
    std::vector<EcgFileRecord> records = mitRecording(20);
    QVERIFY(!records.empty());
    records.insert(records.begin() + 700, eventRecord(-1));
    records.insert(records.begin() + 1500, eventRecord(-101));
    records.insert(records.begin() + 2500, eventRecord(-102));
    records.insert(records.begin() + 2600, eventRecord(-4));
    records[10].type = 45;
    QVERIFY(writeRecording(path("iod.ecg"), records));
    DcmExportPatient p;
    if (species >= 0) {
        p = patientRex();
        p.patientName = QString::fromUtf8("Rüdiger");
        p.ownerLastName = QString::fromUtf8("Müller");
        p.speciesDescription = QString::fromStdString(CDcmWvfPluginOrv::speciesDescriptionOf(species));
        p.breedDescription = "Berner Sennenhund";
        p.weight = "41.5";
    }
    if (!complete) {
        p.breedDescription.clear();
        p.weight.clear();
        p.ownerLastName.clear();
        p.ownerFirstName.clear();
        p.birthTs = 0;
    }
    QCOMPARE(exportRecording(path("iod.ecg"), path("iod.dce"), nullptr, p, "1.2.826.0.1.3680043.10.1138.9",
                             "Tierklinik Süd"),
             0);
    const DciodvfyReport r = runDciodvfy(path("iod.dce"), [&](const QString& line) {
        return allowed.contains(line.section(" - ", 1))
            || (!complete && line.contains(retiredName) && line.endsWith("Retired Person Name form"));
    });
    QVERIFY(r.started);
    QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join('\n')));
    QVERIFY2(r.text.contains("GeneralECG"), qPrintable(r.text));
}

void TestDcmExport::recordingWithoutSamples()
{
    QVERIFY(writeRecording(path("events.ecg"), {eventRecord(-1), eventRecord(-102)}));
    CDcmWvfOrv waveform;
    CDcmWvfPluginOrv plugin(1, "Animal Clinic", "0.0.0");
    QCOMPARE(waveform.convertOrv2Dcm(&plugin, path("events.ecg").toStdString(), patientRex().params("1.2.3")), 0);
    WvfMplxGroup* group = waveform.getMultiplexGroup(1);
    QVERIFY(group);
    QCOMPARE(int(group->getNumberOfChannels()), 6);
    QCOMPARE(group->getChannel(1)->getNumberOfSamples(), Uint32(0));
    QCOMPARE(waveform.getAnnotationModule()->getNumberOfAnnotationItems(), Uint32(0));
}

void TestDcmExport::failuresGiveTheirCode()
{
    CDcmWvfPluginOrv plugin(1, "Animal Clinic", "0.0.0");
    QCOMPARE(plugin.convertOrv2Dcm(nullptr, path("x.ecg").toStdString(), patientRex().params("1.2.3")),
             int(DCM_ERR_NO_OBJECT));
    CDcmWvfOrv waveform;
    QCOMPARE(waveform.convertOrv2Dcm(nullptr, path("x.ecg").toStdString(), patientRex().params("1.2.3")),
             int(DCM_ERR_NO_OBJECT));
    QCOMPARE(waveform.convertOrv2Dcm(&plugin, path("missing.ecg").toStdString(), patientRex().params("1.2.3")),
             int(DCM_ERR_OPEN_FILE));
    QVERIFY(!waveform.getLastError().empty());
    QVERIFY(!QFile::exists(path("missing.ecg")));

    // a folder that can't be written
    QVERIFY(writeRecording(path("ok.ecg"), {sample(1, 2)}));
    // Recordings are made owner-only; the other user of the scope must still read this one.
    QVERIFY(QFile::setPermissions(path("ok.ecg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    QDir(m_files.path()).mkdir("locked");
    std::string error;
    {
        ReadOnlyScope scope(path("locked"), QString());
        if (!scope.works())
            QSKIP("permissions do not hold here");
        const int code = exportRecording(path("ok.ecg"), path("locked/ok.dce"), &error);
        QVERIFY2(code == int(DCM_ERR_SAVE_FILE), error.c_str());
    }
    QVERIFY(!error.empty());
    QVERIFY(!QFile::exists(path("locked/ok.dce")));
}

// The export never opens the recording for writing: a read-only recording
// exports, and its bytes stay as they were.
void TestDcmExport::recordingIsOnlyRead()
{
    QVERIFY(writeRecording(path("ro.ecg"), {sample(1, 2, 1), eventRecord(-1), sample(2, 3)}));
    const QByteArray before = readFileBytes(path("ro.ecg"));
    QDir(m_files.path()).mkdir("out");
    ::chmod(QFile::encodeName(path("out")).constData(), 0777);
    {
        ReadOnlyScope scope(QString(), path("ro.ecg"));
        if (!scope.works())
            QSKIP("permissions do not hold here");
        QCOMPARE(exportRecording(path("ro.ecg"), path("out/ro.dce")), 0);
    }
    QCOMPARE(readFileBytes(path("ro.ecg")), before);
}

void TestDcmExport::entryPointReportsFailure()
{
    QVERIFY(writeRecording(path("entry.ecg"), {sample(1, 2), sample(2, 3)}));
    CDcmFile file;
    file.studyInstanceUid = "1.2.826.0.1.3680043.10.1138.11";
    file.breedDescription = "Beagle";
    file.weight = "9";
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    QVERIFY(!file.ecgToDicomConversion(path("entry.ecg"), path("entry.dce"), "Animal Clinic"));
    QVERIFY(QFile::exists(path("entry.dce")));
    QVERIFY(file.ecgToDicomConversion(path("nothing.ecg"), path("nothing.dce"), "Animal Clinic"));
    QVERIFY(!QFile::exists(path("nothing.dce")));
    QVERIFY(errors.text().contains("ecgToDicomConversion1 returned err=9916"));
}

QTEST_GUILESS_MAIN(TestDcmExport)
#include "tst_dcmexport.moc"
