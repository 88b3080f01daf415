// Import of DICOM ECG waveform files as .ecg recordings: the program's own
// objects round trip, other makers' objects (written with pydicom) give
// their code or the right recording, the dataset getters read what the
// import needs.
#include <QtTest>
#include <QDateTime>
#include <QTemporaryDir>

#include "dcetesthelpers.h"
#include "dcmerrors.h"
#include "dcmfile.h"
#include "debuglog.h"
#include "mitdb.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/resource.h>

using namespace dcetest;

namespace {

const int kSamples = 600; // per channel in the objects of dce_pydicom_make.py

int rawSample(int channel, int t)
{
    return int((std::int64_t(t) * 37 + channel * 1000 + (std::int64_t(t) * t) % 101) % 2001) - 1000;
}

// How a lead of the imported recording follows from the object's channels.
struct LeadSource
{
    int channel = -1;     // -1: no channel, value 0
    double factor = 0.0;  // lead units per step; 0 means the program's own sample / 5.6
    double offset = 0.0;
    int second = -1;      // a lead computed from two channels: + weight x this one (same factor)
    double weight = 0.0;
};

} // namespace

Q_DECLARE_METATYPE(LeadSource)

class TestDcmImport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void roundTrip();
    void otherMakersObjects_data();
    void otherMakersObjects();
    void annotationsBecomeRecordTypes_data();
    void annotationsBecomeRecordTypes();
    void headerFieldsAndCharacterSet();
    void patientOfOtherMakers_data();
    void patientOfOtherMakers();
    void entryPointRefusesWithoutLeavingFiles();
    void fullDiskRemovesThePartialRecording();
    void datasetGetters_data();
    void datasetGetters();
    void tsFromStringIsUtcMidnightEverywhere();

private:
    QString path(const QString& name) const { return m_files.filePath(name); }
    QString makeObject(const QString& name);

    QTemporaryDir m_logDir;
    QTemporaryDir m_files;
    std::unique_ptr<CDebugLog> m_log;
};

void TestDcmImport::initTestCase()
{
    QVERIFY(m_logDir.isValid() && m_files.isValid());
    m_log = std::make_unique<CDebugLog>(4, false, m_logDir.path().toStdString(), "malvorantlog");
    g_pDebugLog = m_log.get();
}

void TestDcmImport::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

QString TestDcmImport::makeObject(const QString& name)
{
    const QString file = path(name + ".dcm");
    const ToolResult r = runTool(python(), {script("qd_dcmLib", "dce_pydicom_make.py"), file, name});
    if (r.exitCode != 0) {
        qWarning("%s", r.err.constData());
        return QString();
    }
    return file;
}

// Export, then import through the entry point: every record back in its
// place, the samples within one quantisation step, the events after the
// sample they followed (also one that follows an R mark), the patient as it
// was given.
void TestDcmImport::roundTrip()
{
    const MitRecord rec = mitReadRecord(QString(MALVORANT_TEST_DATA).toStdString() + "/mitdb", "100");
    QVERIFY2(rec.error.empty(), rec.error.c_str());
    const std::vector<float> ii = mitResample(rec, 0, 500.0);
    const std::vector<float> i = mitResample(rec, 1, 500.0);
    const std::size_t n = 60 * 500;
    QVERIFY(ii.size() >= n && i.size() >= n);
    std::vector<EcgFileRecord> samples;
    for (std::size_t k = 0; k < n; ++k)
        samples.push_back(sample(i[k], ii[k]));
    std::vector<std::size_t> beats;
    for (std::int64_t beat : mitReferenceBeats(rec, 500.0))
        if (beat > 0 && std::size_t(beat) < n) {
            samples[std::size_t(beat)].type = 1;
            beats.push_back(std::size_t(beat));
        }
    samples[0].type = 45; // a mark on the first sample
    QVERIFY(beats.size() > 10);
    // events after samples: (sample index, type); two follow an R mark, several share a sample
    const QList<QPair<std::size_t, int>> events = {
        {1000, -1},     {1000, -4},     {2001, -102},   {5003, -103},   {9000, -104},
        {beats[3], -105}, {beats[7], -1}, {15000, -2}, {20000, -3}, {20000, -112}, {20000, -113}};
    std::vector<EcgFileRecord> records;
    for (std::size_t k = 0; k < n; ++k) {
        records.push_back(samples[k]);
        for (const auto& e : events)
            if (e.first == k)
                records.push_back(eventRecord(e.second));
    }
    EcgFileRecord deviceInfo = eventRecord(-101, 0x7FF);
    const std::int32_t f = 100, d = 8191;
    std::memcpy(&deviceInfo.leadII, &f, 4);
    std::memcpy(&deviceInfo.leadIII, &d, 4);
    records.insert(records.begin() + 101, deviceInfo); // after sample 100
    QVERIFY(writeRecording(path("trip.ecg"), records));

    DcmExportPatient patient;
    patient.patientName = QString::fromUtf8("Rüdiger");
    patient.ownerLastName = QString::fromUtf8("Müller");
    patient.ownerFirstName = QString::fromUtf8("Zoë");
    patient.patientId = "P-17";
    patient.genderCode = 4;
    patient.birthTs = 1551744000; // 2019-03-05
    patient.speciesDescription = "Small Mammal";
    patient.breedDescription = QString::fromUtf8("Bärenhund");
    patient.weight = "7.25";
    CDcmFile out;
    out.setPatient(patient);
    out.studyInstanceUid = "1.2.826.0.1.3680043.10.1138.21";
    QVERIFY(!out.ecgToDicomConversion(path("trip.ecg"), path("trip.dce"), "Animal Clinic"));
    CDcmFile in;
    QVERIFY(in.dicomToEcgConversion(QUrl::fromLocalFile(path("trip.dce")), path("back.ecg")));

    CFileEcg header;
    const std::vector<EcgFileRecord> back = readRecords(path("back.ecg"), &header);
    QCOMPARE(back.size(), records.size());
    const double step = 1.0 / 5.6 + 1e-5;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const EcgFileRecord& a = records[k];
        const EcgFileRecord& b = back[k];
        QVERIFY2(b.type == a.type, qPrintable(QString("record %1 type %2, was %3").arg(k).arg(b.type).arg(a.type)));
        QCOMPARE(int(b.extra), int(a.extra));
        if (a.type < 0) {
            // an event holds no sample; the device values are kept bit for bit
            QCOMPARE(std::memcmp(&a, &b, sizeof(a)), 0);
            continue;
        }
        QVERIFY2(std::fabs(b.leadI - a.leadI) <= step, qPrintable(QString::number(k)));
        QVERIFY(std::fabs(b.leadII - a.leadII) <= step);
        QVERIFY(std::fabs(b.leadIII - (a.leadII - a.leadI)) <= step);
        // the program's own objects come back as exactly the sample / 5.6
        QCOMPARE(b.leadI, float(std::trunc(double(a.leadI) * 5.6) / 5.6));
    }

    QCOMPARE(QString::fromStdString(header.patientName), QString("Rüdiger"));
    QCOMPARE(QString::fromStdString(header.ownerLastName), QString("Müller"));
    QCOMPARE(QString::fromStdString(header.ownerFirstName), QString("Zoë"));
    QCOMPARE(header.extPatientId, std::string("P-17"));
    QCOMPARE(header.patientBirthdate, std::string("05.03.2019"));
    QCOMPARE(header.genderCode, 4);
    QCOMPARE(header.speciesCode, 19);
    QCOMPARE(header.recordingTime, Header().recordingTime);

    QCOMPARE(in.patientName, QString("Rüdiger"));
    QCOMPARE(in.ownerLastName, QString("Müller"));
    QCOMPARE(in.ownerFirstName, QString("Zoë"));
    QCOMPARE(in.patientId, QString("P-17"));
    QCOMPARE(in.genderCode, 4);
    QCOMPARE(in.birthTs, qint64(1551744000)); // 2019-03-05 00:00 UTC
    QCOMPARE(in.studyDate, QString("20190307"));
    QCOMPARE(in.studyTime, QString("230640"));
    QCOMPARE(in.studyInstanceUid, out.studyInstanceUid);
    QCOMPARE(in.speciesDescription, QString("Small Mammal"));
    QCOMPARE(in.breedDescription, QString("Bärenhund"));
    QCOMPARE(in.weight, QString("7.25"));
}

void TestDcmImport::otherMakersObjects_data()
{
    QTest::addColumn<QString>("name"); // the case of dce_pydicom_make.py
    QTest::addColumn<int>("code");
    QTest::addColumn<LeadSource>("leadI");
    QTest::addColumn<LeadSource>("leadII");
    QTest::addColumn<LeadSource>("leadIII"); // channel -2: computed as II - I
    QTest::addColumn<QList<int>>("rMarks");  // the samples marked R
    QTest::addColumn<QString>("reason");     // of a refusal, as the user reads it

    const auto own = [](int c) { return LeadSource{c, 0.0, 0.0}; };
    const auto uv = [](int c) { return LeadSource{c, 1.0 / 5.2, 0.0}; };
    const LeadSource none{-1, 0.0, 0.0};
    const LeadSource computed{-2, 0.0, 0.0};
    const QList<int> noMarks;
    const auto read = [&](const char* tag, const char* name, LeadSource i, LeadSource ii, LeadSource iii,
                          const QList<int>& marks = {}) {
        QTest::newRow(tag) << QString(name) << 0 << i << ii << iii << marks << QString();
    };
    const auto refused = [&](const char* tag, const char* name, int code, const char* reason) {
        QTest::newRow(tag) << QString(name) << code << none << none << none << noMarks << QString(reason);
    };
    const char* const noLimbLead = "; this program needs lead I, II or III, or two limb leads.";

    read("earlier export of the program", "legacy_own", own(0), own(1), own(2));
    read("millivolt sensitivity", "sensitivity_mv", LeadSource{0, 5.0 / 5.2, 0.0}, LeadSource{1, 5.0 / 5.2, 0.0},
         LeadSource{2, 5.0 / 5.2, 0.0});
    read("correction and baseline", "correction_baseline", LeadSource{0, 0.5, 10.0 / 5.2},
         LeadSource{1, 0.5, 10.0 / 5.2}, LeadSource{2, 0.5, 10.0 / 5.2});
    read("one channel", "one_channel", uv(0), none, computed);
    read("two channels", "two_channels", uv(0), uv(1), computed);
    read("one channel, lead II", "one_channel_ii", none, uv(0), computed);
    // two limb leads other than I and II: the leads follow from them
    read("two channels, leads II and III", "two_channels_ii_iii", LeadSource{0, 1.0 / 5.2, 0.0, 1, -1.0}, uv(0),
         uv(1));
    read("two channels, leads I and aVF", "two_channels_i_avf", uv(0), LeadSource{1, 1.0 / 5.2, 0.0, 0, 0.5},
         computed);
    read("leads found by their codes", "leads_by_code", uv(3), uv(2), uv(1));
    read("twelve channels", "twelve_channels", uv(0), uv(1), uv(2));
    read("two groups, the first taken", "two_groups", uv(0), uv(1), uv(2));
    // the median beat (derived) first: the rhythm group is read, and only its marks
    read("12-lead, median beat group first", "median_first", uv(0), uv(1), uv(2), {10});
    // positions count from 1: each R mark on its lead II peak
    read("R marks at 1-based positions", "r_peaks", uv(0), uv(1), uv(2), {50, 150, 250, 350, 450, 550});
    read("hemodynamic", "hemodynamic", uv(0), uv(1), uv(2));
    read("no sampling frequency", "no_frequency", uv(0), uv(1), uv(2));
    read("no originality", "no_originality", uv(0), uv(1), uv(2));
    refused("thirteen channels", "thirteen_channels", DCM_ERR_NO_CHANNELS,
            "Its rhythm recording has 13 channels; this program reads at most 12.");
    refused("sensitivity not finite", "sensitivity_inf", DCM_ERR_VALUES_NOT_FINITE,
            "Its channel sensitivity gives values that are not finite numbers.");
    refused("values beyond a float", "sensitivity_huge", DCM_ERR_VALUES_NOT_FINITE,
            "Its channel sensitivity gives values that are not finite numbers.");
    refused("250 Hz", "frequency_250", DCM_ERR_SAMPLING_FREQUENCY,
            "It was recorded at 250 samples per second; this program reads 500.");
    refused("12-lead, median beat first, rhythm at 250 Hz", "median_first_250", DCM_ERR_SAMPLING_FREQUENCY,
            "It was recorded at 250 samples per second; this program reads 500.");
    refused("derived", "derived", DCM_ERR_NOT_ORIGINAL,
            "It holds only a derived waveform, such as a median beat, and no rhythm recording.");
    refused("8 bit", "eight_bit", DCM_ERR_SAMPLE_BITS, "Its samples are 8-bit; this program reads 16-bit samples.");
    refused("unsigned", "unsigned", DCM_ERR_INTERPRETATION,
            "Its samples are unsigned; this program reads signed 16-bit samples.");
    refused("CT image", "ct_image", DCM_ERR_SOP_CLASS, "It is a DICOM file, but not an ECG.");
    // chest leads are never shown as limb leads
    refused("V leads only", "v_leads_only", DCM_ERR_NO_LIMB_LEADS,
            qPrintable(QString("It holds only leads V1, V2, V3, V4, V5, V6") + noLimbLead));
    refused("aVF alone", "avf_alone", DCM_ERR_NO_LIMB_LEADS, qPrintable(QString("It holds only lead aVF") + noLimbLead));
    refused("three channels, unknown codes", "three_unknown_leads", DCM_ERR_NO_LIMB_LEADS,
            qPrintable(QString("It holds only leads V1, V2, V3") + noLimbLead));
    // the waveform model needs the SOP class to read the object at all
    refused("no SOP class", "no_sop_class", -1, "");
}

void TestDcmImport::otherMakersObjects()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(LeadSource, leadI);
    QFETCH(LeadSource, leadII);
    QFETCH(LeadSource, leadIII);
    QFETCH(QList<int>, rMarks);
    QFETCH(QString, reason);
    const QString object = makeObject(name);
    QVERIFY(!object.isEmpty());
    const QString out = path(name + ".ecg");
    std::string refusal;
    QCOMPARE(importObject(object, out, nullptr, &refusal), code);
    QCOMPARE(QString::fromStdString(refusal), reason);
    if (code != 0) {
        QVERIFY2(!QFile::exists(out), "a refused object leaves no recording");
        // the file import says the same
        CDcmFile in;
        QVERIFY(!in.dicomToEcgConversion(QUrl::fromLocalFile(object), out));
        if (!reason.isEmpty())
            QCOMPARE(in.refusalReason, reason);
        QVERIFY(!QFile::exists(out));
        return;
    }
    const std::vector<EcgFileRecord> back = readRecords(out);
    QCOMPARE(int(back.size()), kSamples);
    const auto expect = [](const LeadSource& s, int t) -> float {
        if (s.channel < 0)
            return 0.0f;
        const int raw = rawSample(s.channel, t);
        const double second = s.second < 0 ? 0.0 : s.weight * rawSample(s.second, t) * s.factor;
        return s.factor == 0.0 ? float(raw / 5.6) : float(raw * s.factor + s.offset + second);
    };
    const bool peaks = name == "r_peaks"; // lead II of that object has its own shape
    for (int t = 0; t < kSamples; ++t) {
        const EcgFileRecord& r = back[std::size_t(t)];
        QCOMPARE(int(r.type), rMarks.contains(t) ? 1 : 0);
        if (peaks)
            continue;
        const float i = expect(leadI, t), ii = expect(leadII, t);
        const float iii = leadIII.channel == -2 ? ii - i : expect(leadIII, t);
        QVERIFY2(std::fabs(r.leadI - i) <= 1e-4f * std::max(1.0f, std::fabs(i))
                     && std::fabs(r.leadII - ii) <= 1e-4f * std::max(1.0f, std::fabs(ii))
                     && std::fabs(r.leadIII - iii) <= 1e-4f * std::max(1.0f, std::fabs(iii)),
                 qPrintable(QString("t %1: %2 %3 %4, expected %5 %6 %7").arg(t).arg(r.leadI).arg(r.leadII)
                                .arg(r.leadIII).arg(i).arg(ii).arg(iii)));
    }
    if (!peaks)
        return;
    // each R mark on the highest lead II value of its beat (the 100 samples around it)
    for (int m : rMarks)
        for (int t = std::max(0, m - 50); t < std::min(kSamples, m + 50); ++t)
            QVERIFY2(back[std::size_t(t)].leadII < back[std::size_t(m)].leadII || t == m,
                     qPrintable(QString("mark %1, sample %2").arg(m).arg(t)));
}

// Sample marks give their sample its type; events become records of their
// own after the sample at their position, so every sample stays. Several
// annotations at one position all apply (of the marks the first).
void TestDcmImport::annotationsBecomeRecordTypes_data()
{
    QTest::addColumn<QString>("name");
    // positions from 1 as the standard has them (a position 0 is none)
    QTest::newRow("another maker") << "annotations";
    // an object of the program's earlier versions: its manufacturer and no
    // software versions, positions from 0 on the same samples
    QTest::newRow("the program's earlier versions") << "annotations_own_earlier";
}

void TestDcmImport::annotationsBecomeRecordTypes()
{
    QFETCH(QString, name);
    const QString object = makeObject(name);
    QVERIFY(!object.isEmpty());
    QCOMPARE(importObject(object, path(name + ".ecg")), 0);
    const std::vector<EcgFileRecord> back = readRecords(path(name + ".ecg"));
    // sample -> (type, extra word) of the sample, then of each event after it
    using Typed = QPair<int, int>;
    const QMap<int, QList<Typed>> expected = {
        // an item without numeric value keeps v of the item stored before it (-1 at the start)
        {0, {{1, 0xFFFF}}},
        {1, {{13, 0}}},                // stored after later ones, still applies
        {2, {{0, 0}, {-1, 0}}},        // LOWBAT after the sample
        {3, {{1, 0}}},
        {5, {{1, 0}, {-102, 0}}},      // a user mark after an R mark keeps both
        {7, {{0, 0}, {-103, 7}}},
        {8, {{0, 0}, {-2, 0xFFFD}}},   // -3.9 truncated toward zero
        {9, {{0, 0}, {-3, 0}}},
        {11, {{45, 12}}},
        {12, {{0, 0}, {-105, 12}}},
    };
    QList<Typed> wanted;
    for (int t = 0; t < kSamples; ++t)
        wanted += expected.value(t, {{0, 0}}); // no text, other texts and positions beyond the samples: nothing
    QCOMPARE(int(back.size()), int(wanted.size()));
    int samples = 0;
    for (int r = 0; r < int(back.size()); ++r) {
        const EcgFileRecord& record = back[std::size_t(r)];
        QVERIFY2(record.type == wanted[r].first,
                 qPrintable(QString("record %1 type %2, wanted %3").arg(r).arg(record.type).arg(wanted[r].first)));
        QCOMPARE(int(std::uint16_t(record.extra)), int(std::uint16_t(wanted[r].second)));
        if (record.type >= 0) {
            // each sample keeps its own values
            QCOMPARE(record.leadI, float(rawSample(0, samples) / 5.6));
            ++samples;
        } else {
            QCOMPARE(record.leadI, 0.0f);
        }
    }
    QCOMPARE(samples, kSamples);
}

void TestDcmImport::headerFieldsAndCharacterSet()
{
    const QString object = makeObject("latin1");
    QVERIFY(!object.isEmpty());
    CDcmFile in;
    QVERIFY(in.dicomToEcgConversion(QUrl::fromLocalFile(object), path("latin1.ecg")));
    QCOMPARE(in.patientName, QString("Bello"));
    QCOMPARE(in.ownerLastName, QString("Müller"));
    QCOMPARE(in.genderCode, 4);
    QCOMPARE(in.birthTs, qint64(QDateTime(QDate(2018, 7, 4), QTime(0, 0), Qt::UTC).toSecsSinceEpoch()));
    QCOMPARE(in.speciesDescription, QString("feline"));
    CFileEcg header;
    QCOMPARE(int(readRecords(path("latin1.ecg"), &header).size()), kSamples);
    QCOMPARE(QString::fromStdString(header.ownerLastName), QString("Müller"));
    QCOMPARE(header.patientBirthdate, std::string("04.07.2018"));
    QCOMPARE(header.genderCode, 4);
    QCOMPARE(header.speciesCode, 3); // "feline" in any case
    QCOMPARE(header.recordingTime,
             std::int64_t(QDateTime(QDate(2024, 1, 2), QTime(10, 15), Qt::UTC).toSecsSinceEpoch()));
}

// Names and sex as other makers write them: the owner is the part before
// the first caret, the neutered state joins the sex, a sex without neutered
// value stays known.
void TestDcmImport::patientOfOtherMakers_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("gender"); // the program's codes: 1 M, 2 F, 3 M altered, 4 F altered, 0 O, 5 none
    QTest::newRow("given names after the first caret") << "patient_caret_in_name" << "Keller" << "Minka^Anna" << 4;
    QTest::newRow("no owner part") << "patient_no_owner" << "" << "Minka" << 4;
    QTest::newRow("M without neutered") << "patient_m_no_neutered" << "Other" << "Maker" << 1;
    QTest::newRow("F without neutered") << "patient_f_no_neutered" << "Other" << "Maker" << 2;
    QTest::newRow("F, neutered empty") << "patient_f_empty_neutered" << "Other" << "Maker" << 2;
    QTest::newRow("M unaltered") << "patient_m_unaltered" << "Other" << "Maker" << 1;
    QTest::newRow("M altered") << "patient_m_altered" << "Other" << "Maker" << 3;
    QTest::newRow("F altered") << "latin1" << "Müller" << "Bello" << 4;
    QTest::newRow("O, altered") << "patient_o_altered" << "Other" << "Maker" << 0;
    QTest::newRow("no sex") << "patient_no_sex" << "Other" << "Maker" << 5;
}

void TestDcmImport::patientOfOtherMakers()
{
    QFETCH(QString, object);
    QFETCH(QString, owner);
    QFETCH(QString, name);
    QFETCH(int, gender);
    const QString file = makeObject(object);
    QVERIFY(!file.isEmpty());
    const QString out = path(object + ".ecg");
    CDcmFile in;
    QVERIFY(in.dicomToEcgConversion(QUrl::fromLocalFile(file), out));
    QCOMPARE(in.ownerLastName, owner);
    QCOMPARE(in.patientName, name);
    QCOMPARE(in.genderCode, gender);
    CFileEcg header;
    QCOMPARE(int(readRecords(out, &header).size()), kSamples);
    QCOMPARE(header.genderCode, gender);
    QCOMPARE(QString::fromStdString(header.ownerLastName), owner);
    QCOMPARE(QString::fromStdString(header.patientName), name);
}

void TestDcmImport::entryPointRefusesWithoutLeavingFiles()
{
    CDcmFile in;
    QVERIFY(!in.dicomToEcgConversion(QUrl::fromLocalFile(path("absent.dcm")), path("absent.ecg")));
    QVERIFY(!QFile::exists(path("absent.ecg")));
    const QString object = makeObject("unsigned");
    QVERIFY(!object.isEmpty());
    QVERIFY(!in.dicomToEcgConversion(QUrl::fromLocalFile(object), path("unsigned2.ecg")));
    QVERIFY(!QFile::exists(path("unsigned2.ecg")));
    // an output folder that does not exist
    const QString good = makeObject("two_channels");
    QVERIFY(!good.isEmpty());
    QCOMPARE(importObject(good, path("nofolder/out.ecg")), int(DCM_ERR_OPEN_FILE));
    QVERIFY(!in.dicomToEcgConversion(QUrl::fromLocalFile(good), path("nofolder/out.ecg")));
    // a file that is no DICOM file
    QVERIFY(writeRecording(path("plain.ecg"), {sample(1, 2)}));
    QVERIFY(!in.dicomToEcgConversion(QUrl::fromLocalFile(path("plain.ecg")), path("plain2.ecg")));
    QVERIFY(!QFile::exists(path("plain2.ecg")));
}

// A write that fails halfway (the file size limit stands in for a full disk)
// gives 9916 and leaves no partial recording.
void TestDcmImport::fullDiskRemovesThePartialRecording()
{
    std::vector<EcgFileRecord> records;
    for (int k = 0; k < 20000; ++k)
        records.push_back(sample(float(k % 100) / 10.0f, 1.0f));
    QVERIFY(writeRecording(path("big.ecg"), records));
    QCOMPARE(exportRecording(path("big.ecg"), path("big.dce")), 0);

    CDcmDataset* dataset = new CDcmDataset();
    DcmFileFormat file(dataset, OFFalse);
    QVERIFY(file.loadFile(path("big.dce").toStdString().c_str()).good());
    CDcmWvfOrv waveform;
    QVERIFY(waveform.read(dataset).good());
    CDcmWvfPluginOrv plugin(0, "dummyInstitution", "0.0.0");
    TWaveformParams params;
    dataset->getWaveformParams(params);

    rlimit old{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 200000; // the header and a few thousand records
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    const int code = waveform.convertDcm2Orv(&plugin, path("full.ecg").toStdString(), &params);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    QCOMPARE(code, int(DCM_ERR_OPEN_FILE));
    QVERIFY(!QFile::exists(path("full.ecg")));
    QVERIFY(!waveform.getLastError().empty());
}

void TestDcmImport::datasetGetters_data()
{
    QTest::addColumn<QStringList>("attributes"); // tag keyword=value
    QTest::addColumn<QStringList>("expected");   // getter=value|flag

    QTest::newRow("owner and patient") << QStringList{"PatientName=Smith^Rex", "ResponsiblePerson=Smith^Anna"}
                                       << QStringList{"patient=Rex|1", "owner=Smith|1", "first=Anna|1"};
    QTest::newRow("patient alone") << QStringList{"PatientName=Rex", "ResponsiblePerson=Anna"}
                                   << QStringList{"patient=Rex|1", "owner=|1", "first=Anna|1"};
    QTest::newRow("caret first") << QStringList{"PatientName=^Rex"} << QStringList{"patient=Rex|1", "owner=|1"};
    QTest::newRow("trailing carets") << QStringList{"PatientName=Smith^Rex^^^"}
                                     << QStringList{"patient=Rex|1", "owner=Smith|1"};
    QTest::newRow("no name") << QStringList{} << QStringList{"patient=|0", "first=|0", "id=|0"};
    QTest::newRow("study time 1230") << QStringList{"StudyTime=1230"} << QStringList{"time=123000|1", "seconds=45000"};
    QTest::newRow("study time fraction") << QStringList{"StudyTime=123045.123"}
                                         << QStringList{"time=123045|1", "seconds=45045"};
    QTest::newRow("study time seven digits") << QStringList{"StudyTime=1230451"}
                                             << QStringList{"time=1230451|0", "seconds=45045"};
    QTest::newRow("no study time") << QStringList{} << QStringList{"time=|0", "seconds=0"};
    QTest::newRow("study date") << QStringList{"StudyDate=20190305"}
                                << QStringList{"date=20190305|1", "dateTs=1551744000"};
    QTest::newRow("study date of 7") << QStringList{"StudyDate=2019035"} << QStringList{"date=2019035|0", "dateTs=0"};
    QTest::newRow("sex and neutered") << QStringList{"PatientSex=F", "PatientSexNeutered=ALTERED"}
                                      << QStringList{"sex=F|1", "neutered=ALTERED|1"};
    QTest::newRow("sex as a word") << QStringList{"PatientSex=Female", "PatientSexNeutered=Altered"}
                                   << QStringList{"sex=|0", "neutered=|0"};
    QTest::newRow("others") << QStringList{"AccessionNumber=A7", "PatientID=X1", "PatientBirthDate=20180704",
                                           "PatientSpeciesDescription=Canine", "PatientBreedDescription=Pug",
                                           "PatientWeight=8.5", "StudyInstanceUID=1.2.3"}
                            << QStringList{"accession=A7|1", "id=X1|1", "birth=20180704|1", "species=Canine|1",
                                           "breed=Pug|1", "weight=8.5|1", "uid=1.2.3|1"};
}

void TestDcmImport::datasetGetters()
{
    QFETCH(QStringList, attributes);
    QFETCH(QStringList, expected);
    CDcmDataset ds;
    for (const QString& a : attributes) {
        DcmTag tag;
        QVERIFY2(DcmTag::findTagFromName(a.section('=', 0, 0).toLatin1().constData(), tag).good(), qPrintable(a));
        QVERIFY(ds.putAndInsertString(tag, a.section('=', 1).toUtf8().constData()).good());
    }
    std::string v1, v2;
    std::int64_t ts = -1;
    QMap<QString, QString> got;
    auto put = [&](const char* key, const std::string& value, bool flag) {
        got[key] = QString::fromStdString(value) + "|" + (flag ? "1" : "0");
    };
    bool f = ds.getPatientName(v1, v2);
    put("patient", v1, f);
    put("owner", v2, f);
    f = ds.getOwnerFirstName(v1);
    put("first", v1, f);
    f = ds.getPatientId(v1);
    put("id", v1, f);
    f = ds.getStudyTime(v1, &ts);
    put("time", v1, f);
    got["seconds"] = QString::number(ts);
    f = ds.getStudyDate(v1, &ts);
    put("date", v1, f);
    got["dateTs"] = QString::number(ts);
    f = ds.getPatientSex(v1);
    put("sex", v1, f);
    f = ds.getPatientSexNeutered(v1);
    put("neutered", v1, f);
    f = ds.getAccessionNumber(v1);
    put("accession", v1, f);
    f = ds.getPatientBirthDate(v1);
    put("birth", v1, f);
    f = ds.getPatientSpeciesDescription(v1);
    put("species", v1, f);
    f = ds.getPatientBreedDescription(v1);
    put("breed", v1, f);
    f = ds.getPatientWeight(v1);
    put("weight", v1, f);
    f = ds.getStudyInstanceUID(v1);
    put("uid", v1, f);
    for (const QString& e : expected) {
        const QString key = e.section('=', 0, 0);
        QCOMPARE(key + "=" + got.value(key), e);
    }
}

void TestDcmImport::tsFromStringIsUtcMidnightEverywhere()
{
    const QByteArray oldTz = qgetenv("TZ");
    for (const char* zone : {"UTC", "America/New_York", "Europe/Berlin", "Pacific/Kiritimati", "Pacific/Pago_Pago"}) {
        qputenv("TZ", zone);
        tzset();
        QCOMPARE(CDcmDataset::getTsFromString("20190305"), std::int64_t(1551744000));
        QCOMPARE(CDcmDataset::getTsFromString("20190630"), std::int64_t(1561852800)); // summer time in the north
    }
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
    QCOMPARE(CDcmDataset::getTsFromString("2019035"), std::int64_t(0));
    QCOMPARE(CDcmDataset::getTsFromString("2019030x"), std::int64_t(0));
    QCOMPARE(CDcmDataset::getTsFromString(""), std::int64_t(0));
}

QTEST_GUILESS_MAIN(TestDcmImport)
#include "tst_dcmimport.moc"
