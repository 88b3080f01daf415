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
    void channelDefinitions();
    void headerToAttributes_data();
    void headerToAttributes();
    void typedTextsUnderCommaLocale();
    void amplitudeMatchesTheChart();
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

// The stored values, one by one, and where each event lands.
void TestDcmExport::samplesAndAnnotations()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<EcgFileRecord> records = {
        eventRecord(-1),                  // before any sample: no annotation
        sample(1.0f, 2.0f, 1),      // n 0: an R mark on the first sample gives none
        sample(-1.0f, 0.0f),        // n 1
        sample(0.0f, 0.0f, 13),     // n 2: UNKNOWN
        eventRecord(-1),                  // LOWBAT at 2
        sample(10000.0f, -10000.0f), // n 3: saturates
        sample(nan, inf, 45),       // n 4: not finite gives 0; L
        eventRecord(-4),                  // a sample of 0 at n 5
        eventRecord(-101),                // DEVICE_INFO at 5
        sample(2.5f, -1.25f, 1),    // n 6: R
        eventRecord(-102), eventRecord(-103), eventRecord(-104), eventRecord(-105), eventRecord(-2), eventRecord(-3),
        sample(0.1f, 0.2f),         // n 7
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

    const QList<QPair<QString, int>> marks = {{"UNKNOWN", 2},     {"LOWBAT", 2},      {"L", 4},
                                              {"DEVICE_INFO", 5}, {"R", 6},           {"USER_MARK_1", 6},
                                              {"USER_MARK_2", 6}, {"USER_MARK_3", 6}, {"USER_MARK_4", 6},
                                              {"CHANNEL_ERROR", 6}, {"PACKET_ERROR", 6}};
    const QJsonArray annotations = v.json["annotations"].toArray();
    QCOMPARE(annotations.size(), marks.size());
    for (int k = 0; k < marks.size(); ++k) {
        const QJsonObject a = annotations[k].toObject();
        QCOMPARE(a["UnformattedTextValue"].toString(), marks[k].first);
        QCOMPARE(a["ReferencedSamplePositions"].toString(), QString::number(marks[k].second));
        QCOMPARE(a["ReferencedWaveformChannels"].toArray(), QJsonArray({"1", "1"}));
        QCOMPARE(a["NumericValue"].toString(), QString("0"));
        QCOMPARE(a["TemporalRangeType"].toString(), QString("POINT"));
    }
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

void TestDcmExport::headerToAttributes_data()
{
    QTest::addColumn<QString>("patient");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("ownerFirst");
    QTest::addColumn<int>("gender");
    QTest::addColumn<int>("species");
    QTest::addColumn<QString>("birth");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QStringList>("expected"); // key=value; value "<absent>" for a missing attribute

    const qint64 t = 1552000000; // 2019-03-07 23:06:40 UTC
    QTest::newRow("full") << "Rex" << "Smith" << "Anna" << 1 << 2 << "05.03.2019" << t
                          << QStringList{"PatientName=Smith^Rex", "ResponsiblePerson=Smith^Anna",
                                         "PatientSex=M", "PatientSexNeutered=UNALTERED",
                                         "PatientBirthDate=20190305", "PatientSpeciesDescription=Canine",
                                         "StudyDate=20190307", "StudyTime=230640.0000", "ContentDate=20190307",
                                         "ContentTime=230640.0000", "AcquisitionDateTime=20190307230640",
                                         "SpecificCharacterSet=<absent>", "PatientID=P-17"};
    QTest::newRow("patient only") << "Rex" << "" << "" << 2 << 3 << "05.03.2019" << t
                                  << QStringList{"PatientName=Rex", "ResponsiblePerson=", "PatientSex=F",
                                                 "PatientSexNeutered=UNALTERED", "PatientSpeciesDescription=Feline"};
    QTest::newRow("owner only") << "" << "Smith" << "Anna" << 3 << 19 << "05.03.2019" << t
                                << QStringList{"PatientName=Smith", "ResponsiblePerson=Smith^Anna",
                                               "PatientSex=M", "PatientSexNeutered=ALTERED",
                                               "PatientSpeciesDescription=Small Mammal"};
    QTest::newRow("no owner first name") << "Rex" << "Smith" << "" << 4 << 1 << "05.03.2019" << t
                                         << QStringList{"PatientName=Smith^Rex", "ResponsiblePerson=",
                                                        "PatientSex=F", "PatientSexNeutered=ALTERED"};
    QTest::newRow("letters beyond ascii") << "Rüdiger" << "Müller" << "Zoë" << 0 << 4 << "05.03.2019" << t
                                          << QStringList{"PatientName=Müller^Rüdiger",
                                                         "ResponsiblePerson=Müller^Zoë",
                                                         "SpecificCharacterSet=ISO_IR 192", "PatientSex=O",
                                                         "PatientSexNeutered=UNALTERED",
                                                         "PatientSpeciesDescription=<absent>"};
    QTest::newRow("gender unspecified") << "Rex" << "Smith" << "Anna" << 5 << 0 << "05.03.2019" << t
                                        << QStringList{"PatientSex=", "PatientSexNeutered=",
                                                       "PatientSpeciesDescription=<absent>"};
    QTest::newRow("short birth date") << "Rex" << "Smith" << "Anna" << 1 << 2 << "5.3.19" << t
                                      << QStringList{"PatientBirthDate="};
    QTest::newRow("birth date without zeros") << "Rex" << "Smith" << "Anna" << 1 << 2 << "5.3.2019" << t
                                              << QStringList{"PatientBirthDate="};
    QTest::newRow("no birth date") << "Rex" << "Smith" << "Anna" << 1 << 2 << "" << t
                                   << QStringList{"PatientBirthDate="};
    QTest::newRow("recording time 0") << "Rex" << "Smith" << "Anna" << 1 << 2 << "05.03.2019" << qint64(0)
                                      << QStringList{"StudyDate=19700101", "StudyTime=000000.0000",
                                                     "ContentDate=19700101", "AcquisitionDateTime=19700101000000"};
}

void TestDcmExport::headerToAttributes()
{
    QFETCH(QString, patient);
    QFETCH(QString, owner);
    QFETCH(QString, ownerFirst);
    QFETCH(int, gender);
    QFETCH(int, species);
    QFETCH(QString, birth);
    QFETCH(qint64, time);
    QFETCH(QStringList, expected);

    Header h;
    h.patientName = patient.toStdString();
    h.ownerLastName = owner.toStdString();
    h.ownerFirstName = ownerFirst.toStdString();
    h.genderCode = gender;
    h.speciesCode = species;
    h.birthDate = birth.toStdString();
    h.recordingTime = time;
    QVERIFY(writeRecording(path("header.ecg"), {sample(1, 2), sample(1, 2)}, h));
    QCOMPARE(exportRecording(path("header.ecg"), path("header.dce")), 0);
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

// Texts as the user typed them: a backslash does not split a value, a
// decimal comma in the weight is read as a point, and numbers are written
// with points whatever the locale.
void TestDcmExport::typedTextsUnderCommaLocale()
{
    const CommaLocale comma;
    if (!comma.isActive())
        QSKIP(qPrintable("no German locale: " + comma.error()));
    Header h;
    h.patientName = "Rex\\Max";
    QVERIFY(writeRecording(path("typed.ecg"), {sample(1, 2), sample(2, 3)}, h));
    QCOMPARE(exportRecording(path("typed.ecg"), path("typed.dce"), nullptr, "1.2.3", "Mix\\Pug", "12,5"), 0);
    QVERIFY(writeRecording(path("typed2.ecg"), {sample(1, 2)}));
    QCOMPARE(exportRecording(path("typed2.ecg"), path("typed2.dce"), nullptr, "1.2.3", "Pug", "heavy"), 0);
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

// Each warning dciodvfy may still give, with the reason it stays.
void TestDcmExport::dciodvfyFindsNoError()
{
    if (QStandardPaths::findExecutable("dciodvfy").isEmpty())
        QSKIP("dciodvfy (dicom3tools) not installed");
    const QMap<QString, QString> allowed = {
        {"Missing attribute or value that would be needed to build DICOMDIR - Study ID",
         "the program keeps no study id; Study ID is type 2 and written empty"},
    };
    std::vector<EcgFileRecord> records = mitRecording(20);
    QVERIFY(!records.empty());
    records.insert(records.begin() + 700, eventRecord(-1));
    records.insert(records.begin() + 1500, eventRecord(-101));
    records.insert(records.begin() + 2500, eventRecord(-102));
    records[10].type = 45;
    Header h;
    h.patientName = "Rüdiger";
    h.ownerLastName = "Müller";
    QVERIFY(writeRecording(path("iod.ecg"), records, h));
    QCOMPARE(exportRecording(path("iod.ecg"), path("iod.dce"), nullptr, "1.2.826.0.1.3680043.10.1138.9",
                             "Berner Sennenhund", "41.5", "Tierklinik Süd"),
             0);
    const ToolResult r = runTool("dciodvfy", {path("iod.dce")});
    QVERIFY(r.started);
    const QString report = QString::fromUtf8(r.out + r.err);
    QStringList unexpected;
    for (QString line : report.split('\n', Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.startsWith("Error"))
            unexpected << line;
        else if (line.startsWith("Warning") && !allowed.contains(line.section(" - ", 1)))
            unexpected << line;
    }
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join('\n')));
    QVERIFY2(report.contains("GeneralECG"), qPrintable(report));
}

void TestDcmExport::recordingWithoutSamples()
{
    QVERIFY(writeRecording(path("events.ecg"), {eventRecord(-1), eventRecord(-102)}));
    CDcmWvfOrv waveform;
    CDcmWvfPluginOrv plugin(1, "Animal Clinic", "0.0.0");
    QCOMPARE(waveform.convertOrv2Dcm(&plugin, path("events.ecg").toStdString(), "1.2.3", "", "", ""), 0);
    WvfMplxGroup* group = waveform.getMultiplexGroup(1);
    QVERIFY(group);
    QCOMPARE(int(group->getNumberOfChannels()), 6);
    QCOMPARE(group->getChannel(1)->getNumberOfSamples(), Uint32(0));
    QCOMPARE(waveform.getAnnotationModule()->getNumberOfAnnotationItems(), Uint32(0));
}

void TestDcmExport::failuresGiveTheirCode()
{
    CDcmWvfPluginOrv plugin(1, "Animal Clinic", "0.0.0");
    QCOMPARE(plugin.convertOrv2Dcm(nullptr, path("x.ecg").toStdString(), "1.2.3", "", "", ""),
             int(DCM_ERR_NO_OBJECT));
    CDcmWvfOrv waveform;
    QCOMPARE(waveform.convertOrv2Dcm(nullptr, path("x.ecg").toStdString(), "1.2.3", "", "", ""),
             int(DCM_ERR_NO_OBJECT));
    QCOMPARE(waveform.convertOrv2Dcm(&plugin, path("missing.ecg").toStdString(), "1.2.3", "", "", ""),
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
