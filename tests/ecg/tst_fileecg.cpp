#include <QtTest>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "debuglog.h"
#include "fileecg.h"
#include "filebytes.h"
#include "readonlyscope.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// A record of every kind the recorder writes; leads vary with the index.
EcgFileRecord makeRecord(int i)
{
    EcgStreamSample s{};
    s.leadI = 0.25f * float(i % 977) - 100.0f;
    s.leadII = -0.125f * float(i % 1013) + 50.5f;
    deriveLeads(s);
    switch (i % 97) {
    case 5: s.type = ECG_SAMPLE_RPEAK; break;
    case 11: s.type = ECG_SAMPLE_LEADIN; break;
    case 17: s.type = ECG_EVENT_BATTERY_LOW; break;
    case 23: s.type = ECG_EVENT_USER_MARK2; break;
    case 31: s.type = ECG_EVENT_RECORD_TOGGLE; break;
    case 41: {
        EcgDeviceInfo info{7u, -2, 3, 0x1ABCu, 0x5DEu, 0xFEDu};
        deviceInfoToSample(info, s);
        break;
    }
    default: s.type = ECG_SAMPLE; break;
    }
    return fileRecordFromStream(s);
}

QByteArray recordBytes(const EcgFileRecord& r)
{
    return QByteArray(reinterpret_cast<const char*>(&r), sizeof(r));
}

// Header of a version-1 file as older writers made it: records from byte 1,000.
QByteArray versionOneHeader(const QByteArray& name, const QByteArray& date, const QByteArray& time)
{
    QByteArray h(1000, '\0');
    const char sync[] = "\xAA\xAA\xAA\xAA\x55\x55\x55\x55\x00\x01";
    std::memcpy(h.data(), sync, 10);
    std::memcpy(h.data() + 10, name.constData(), size_t(name.size()));
    std::memcpy(h.data() + 10 + 75, "Female-S", 8);
    std::memcpy(h.data() + 10 + 85, "Feline", 6);
    std::memcpy(h.data() + 671 + 44, date.constData(), size_t(date.size()));
    std::memcpy(h.data() + 671 + 56, time.constData(), size_t(time.size()));
    return h;
}

void fillHeader(CFileEcg& f)
{
    f.patientName = "Bello";
    f.patientBirthdate = "03.04.2015";
    f.ownerLastName = "Müller";
    f.ownerFirstName = "Zoë";
    f.spareText1 = "s1";
    f.spareText2 = "s2";
    f.spareText3 = "s3";
    f.spareText4 = "s4";
    f.extPatientId = "EXT-42";
    f.recordingText = "rest";
    f.genderCode = 2;
    f.speciesCode = 2;
    f.recordingTime = 1483360215; // 2017-01-02 12:30:15 UTC
}

// Appends makeRecord(from .. to - 1) one record at a time, as the recorder does.
bool appendOneByOne(CFileEcg& f, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const EcgFileRecord r = makeRecord(i);
        if (!f.addData(&r, 1))
            return false;
    }
    return true;
}

bool equalReads(const EcgReadRecord& a, const EcgReadRecord& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

} // namespace

class TestFileEcg : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void layoutAtEveryOffset();
    void roundTrip_data();
    void roundTrip();
    void independentReaderAgrees();
    void textFields_data();
    void textFields();
    void genderAndSpeciesTexts_data();
    void genderAndSpeciesTexts();
    void recordingDateAndTime_data();
    void recordingDateAndTime();
    void versionsRefused_data();
    void versionsRefused();
    void trailerRule_data();
    void trailerRule();
    void indexesOutsideTheFile();
    void typeChangesWrittenInPlace();
    void patchHeader();
    void patchRefusedWithoutSyncBytes();
    void damagedFiles_data();
    void damagedFiles();
    void headerlessPlausibility_data();
    void headerlessPlausibility();
    void fullDisk();
    void failedCreateLeavesNoFile();
    void createdFilesAreOwnerOnly();
    void writeThroughHandsRecordsToTheSystem();
    void lastRecordsRetypedInPlace_data();
    void lastRecordsRetypedInPlace();
    void readOnlyFolderAndFile();
    void baseClassReportsMissingOperations();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString takeErrors();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDebugLog> m_log;
    qint64 m_errorOffset = 0;
};

void TestFileEcg::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_log = std::make_unique<CDebugLog>(1, false, m_dir->path().toStdString(), "testlog");
    g_pDebugLog = m_log.get();
}

void TestFileEcg::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

QString TestFileEcg::takeErrors()
{
    const QByteArray all = readFileBytes(QString::fromStdString(m_log->errorPath()));
    const QString fresh = QString::fromUtf8(all.mid(m_errorOffset));
    m_errorOffset = all.size();
    return fresh;
}

// Every specified field of a written file sits at its offset.
void TestFileEcg::layoutAtEveryOffset()
{
    const QString p = path("layout.ecg");
    {
        CFileEcg f;
        fillHeader(f);
        QVERIFY(f.createFile(p.toStdString()));
        const EcgFileRecord r = makeRecord(5);
        QVERIFY(f.addData(&r, 1));
        QVERIFY(f.close());
    }
    const QByteArray b = readFileBytes(p);
    QCOMPARE(b.size(), 110016);

    struct Field { const char* name; int offset; QByteArray bytes; };
    auto text = [](const char* s, int width) {
        QByteArray t(s);
        t.append(QByteArray(width - t.size(), '\0'));
        return t;
    };
    const Field fields[] = {
        {"sync", 0, QByteArray::fromHex("AAAAAAAA55555555")},
        {"version", 8, QByteArray::fromHex("0002")},
        {"patientName", 10, text("Bello", 60)},
        {"patientBirthdate", 70, text("03.04.2015", 15)},
        {"gender", 85, text("Female", 10)},
        {"species", 95, text("Canine", 20)},
        {"ownerLastName", 115, text("M\xC3\xBCller", 60)},
        {"ownerFirstName", 175, text("Zo\xC3\xAB", 40)},
        {"spareText1", 215, text("s1", 60)},
        {"spareText2", 275, text("s2", 15)},
        {"spareText3", 290, text("s3", 60)},
        {"spareText4", 350, text("s4", 60)},
        {"zero 400-594", 410, QByteArray(195, '\0')},
        {"extPatientId", 605, text("EXT-42", 60)},
        {"zero 665-670", 665, QByteArray(6, '\0')},
        {"recordingText", 671, text("rest", 20)},
        {"zero 20-43", 691, QByteArray(24, '\0')},
        {"date", 715, text("20170102", 12)},
        {"time", 727, text("123015", 8)},
        {"zero 64-91", 735, QByteArray(28, '\0')},
        {"zero to table", 763, QByteArray(9237, '\0')},
        {"table", 10000, QByteArray(91200, '\0')},
        {"zero to records", 101200, QByteArray(8800, '\0')},
        {"record 0", 110000, recordBytes(makeRecord(5))},
    };
    for (const Field& f : fields)
        QVERIFY2(b.mid(f.offset, f.bytes.size()) == f.bytes, f.name);
}

void TestFileEcg::roundTrip_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("count");
    QTest::newRow("version 2") << 2 << 1000;
    QTest::newRow("version 2 over two windows") << 2 << CFileEcg::kWindowRecords + 1234;
    QTest::newRow("version 1") << 1 << 1000;
    // the 1000 header bytes leave every later buffer boundary inside a record
    QTest::newRow("version 1 over the append buffer") << 1 << 40000;
    QTest::newRow("version 0") << 0 << 1000;
}

// A recording written record by record reads back identical, in order and in
// random order across windows.
void TestFileEcg::roundTrip()
{
    QFETCH(int, version);
    QFETCH(int, count);
    const QString p = path(QString("round%1_%2.ecg").arg(version).arg(count));
    {
        CFileEcg f;
        if (version == 2) {
            fillHeader(f);
            QVERIFY(f.createFile(p.toStdString()));
        } else {
            QVERIFY(f.createFileNoHeader(p.toStdString()));
            if (version == 1) {
                const QByteArray h = versionOneHeader("Mimi", "20160510", "081502");
                QVERIFY(f.addData(reinterpret_cast<const unsigned char*>(h.constData()), h.size()));
            }
        }
        QVERIFY(appendOneByOne(f, 0, count));
        QVERIFY(f.close());
    }

    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.getVersion(), version);
    QCOMPARE(f.getRecordCount(), count);
    if (version == 2) {
        QCOMPARE(f.patientName, std::string("Bello"));
        QCOMPARE(f.ownerLastName, std::string("Müller"));
        QCOMPARE(f.recordingTime, qint64(1483360215));
        QCOMPARE(f.table().size(), size_t(91200));
    } else if (version == 1) {
        QCOMPARE(f.patientName, std::string("Mimi"));
        QCOMPARE(f.genderCode, 4);
        QCOMPARE(f.speciesCode, 3);
        QCOMPARE(f.dateTimeText, std::string("20160510081502"));
        QVERIFY(f.table().empty());
    } else {
        QCOMPARE(f.patientName, std::string()); // records, not a patient block
    }
    EcgReadRecord got{};
    for (int i = 0; i < count; ++i) {
        QVERIFY(f.readData(i, got));
        if (!equalReads(got, readRecordFromFile(makeRecord(i))))
            QFAIL(qPrintable(QString("record %1 differs").arg(i)));
    }
    for (int i : {count - 1, 0, count / 2, count - 2, 3}) {
        QVERIFY(f.readData(i, got));
        QVERIFY(equalReads(got, readRecordFromFile(makeRecord(i))));
    }
    int n = 0;
    const EcgFileRecord* set = f.retDataSet(count - 3, n);
    QVERIFY(set);
    QCOMPARE(n, 3);
    QCOMPARE(recordBytes(set[2]), recordBytes(makeRecord(count - 1)));
    QVERIFY(f.close());

    if (version == 0) {
        QVERIFY(f.openFileReadWriteNoHeader(p.toStdString()));
        QCOMPARE(f.getRecordCount(), count);
        QCOMPARE(f.getTotalValidSamples(), -1);
        QVERIFY(f.readData(count - 1, got));
        QVERIFY(equalReads(got, readRecordFromFile(makeRecord(count - 1))));
    }
}

// A reader written only from the byte layout agrees with the class.
void TestFileEcg::independentReaderAgrees()
{
    const QString p = path("independent.ecg");
    const int count = 500;
    {
        CFileEcg f;
        fillHeader(f);
        QVERIFY(f.createFile(p.toStdString()));
        std::vector<EcgFileRecord> records;
        for (int i = 0; i < count; ++i)
            records.push_back(makeRecord(i));
        QVERIFY(f.addData(records.data(), 200));
        QVERIFY(f.addData(records.data() + 200, count - 200));
        QVERIFY(f.close());
    }
    QProcess py;
    py.start("python3", {QStringLiteral(MALVORANT_SOURCE_DIR "/tests/ecg/ecg_reader.py"), p});
    QVERIFY(py.waitForFinished(30000));
    QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
    const QJsonObject o = QJsonDocument::fromJson(py.readAllStandardOutput()).object();

    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(o["version"].toInt(), f.getVersion());
    const std::pair<const char*, std::string> texts[] = {
        {"patientName", f.patientName}, {"patientBirthdate", f.patientBirthdate},
        {"ownerLastName", f.ownerLastName}, {"ownerFirstName", f.ownerFirstName},
        {"spareText1", f.spareText1}, {"spareText2", f.spareText2},
        {"spareText3", f.spareText3}, {"spareText4", f.spareText4},
        {"extPatientId", f.extPatientId}, {"recordingText", f.recordingText},
        {"species", f.speciesText},
    };
    for (const auto& t : texts)
        QCOMPARE(o[t.first].toString(), QString::fromStdString(t.second));
    QCOMPARE(o["gender"].toString(), QString(CFileEcg::genderText(f.genderCode)));
    QCOMPARE((o["date"].toString() + o["time"].toString()).toStdString(), f.dateTimeText);
    QCOMPARE(o["count"].toInt(), f.getRecordCount());

    const QJsonArray records = o["records"].toArray();
    QCOMPARE(records.size(), count);
    for (int i = 0; i < count; ++i) {
        const QJsonArray r = records[i].toArray();
        const int type = r[5].toInt();
        EcgReadRecord got{};
        QVERIFY(f.readData(i, got));
        QCOMPARE(got.type, type);
        QCOMPARE(got.extra, r[6].toInt());
        if (type >= 0) {
            QCOMPARE(got.leadII, float(r[0].toDouble()));
            QCOMPARE(got.leadI, float(r[1].toDouble()));
        } else if (type == ECG_EVENT_DEVICE_INFO) {
            QCOMPARE(got.leadI, float(r[3].toInt()));
            QCOMPARE(got.leadII, float(r[4].toInt()));
        } else {
            QCOMPARE(got.leadI, 0.0f);
            QCOMPARE(got.leadII, 0.0f);
        }
    }
}

void TestFileEcg::textFields_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("readBack");
    const QString fiftyNine(59, 'a');
    QTest::newRow("umlaut") << "Müller" << "Müller";
    QTest::newRow("width minus one kept") << fiftyNine << fiftyNine;
    QTest::newRow("longer cut") << fiftyNine + "bc" << fiftyNine;
    // 58 ASCII bytes and a two-byte character would need 60 bytes: the whole
    // character goes, never half of it.
    QTest::newRow("no half character") << QString(58, 'a') + "ü" << QString(58, 'a');
    QTest::newRow("empty") << QString() << QString();
}

// UTF-8 texts read back exactly; overlong ones are cut at a character edge.
void TestFileEcg::textFields()
{
    QFETCH(QString, written);
    QFETCH(QString, readBack);
    const QString p = path("text.ecg");
    {
        CFileEcg f;
        f.patientName = written.toStdString();
        QVERIFY(f.createFile(p.toStdString()));
        const EcgFileRecord r = makeRecord(0);
        QVERIFY(f.addData(&r, 1));
        QVERIFY(f.close());
    }
    QCOMPARE(readFileBytes(p).at(10 + 59), '\0');
    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(QString::fromStdString(f.patientName), readBack);
}

void TestFileEcg::genderAndSpeciesTexts_data()
{
    QTest::addColumn<QByteArray>("genderText");
    QTest::addColumn<int>("gender");
    QTest::addColumn<QByteArray>("speciesText");
    QTest::addColumn<int>("species");
    QTest::newRow("upper case") << QByteArray("MALE") << 1 << QByteArray("Canine") << 2;
    QTest::newRow("lower case") << QByteArray("male-n") << 3 << QByteArray("Small Mammal") << 19;
    QTest::newRow("female-s") << QByteArray("Female-S") << 4 << QByteArray("Snake") << 20;
    QTest::newRow("other") << QByteArray("Other") << 0 << QByteArray("Unknown") << 0;
    QTest::newRow("unknown texts") << QByteArray("Hermaph") << 5 << QByteArray("Dragon") << 0;
    QTest::newRow("empty") << QByteArray() << 5 << QByteArray() << 0;
}

void TestFileEcg::genderAndSpeciesTexts()
{
    QFETCH(QByteArray, genderText);
    QFETCH(int, gender);
    QFETCH(QByteArray, speciesText);
    QFETCH(int, species);
    QByteArray file = versionOneHeader("x", "20160510", "081502");
    std::memset(file.data() + 85, 0, 30);
    std::memcpy(file.data() + 85, genderText.constData(), size_t(genderText.size()));
    std::memcpy(file.data() + 95, speciesText.constData(), size_t(speciesText.size()));
    file += recordBytes(makeRecord(0));
    const QString p = path("codes.ecg");
    QVERIFY(writeFileBytes(p, file));
    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.genderCode, gender);
    QCOMPARE(f.speciesCode, species);
    QCOMPARE(f.speciesText, speciesText.toStdString());
}

void TestFileEcg::recordingDateAndTime_data()
{
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("dateTime");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("plain") << QByteArray("20170102") << QByteArray("123015") << "a.ecg"
                           << "20170102123015" << qint64(1483360215);
    QTest::newRow("minutes first swapped") << QByteArray("20170102") << QByteArray("301215") << "a.ecg"
                                           << "20170102123015" << qint64(1483360215);
    QTest::newRow("from the file name") << QByteArray() << QByteArray() << "7_12_20200229_235959.ecg"
                                        << "20200229235959" << qint64(1583020799);
    QTest::newRow("no date anywhere") << QByteArray() << QByteArray() << "a.ecg" << "" << qint64(0);
    QTest::newRow("not digits") << QByteArray("2017O102") << QByteArray("123015") << "a.ecg" << "" << qint64(0);
    QTest::newRow("no such day") << QByteArray("20170231") << QByteArray("123015") << "a.ecg" << "" << qint64(0);
    QTest::newRow("no such month") << QByteArray("20171301") << QByteArray("123015") << "a.ecg" << "" << qint64(0);
}

void TestFileEcg::recordingDateAndTime()
{
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, time);
    QFETCH(QString, fileName);
    QFETCH(QString, dateTime);
    QFETCH(qint64, seconds);
    const QString p = path(fileName);
    QVERIFY(writeFileBytes(p, versionOneHeader("x", date, time) + recordBytes(makeRecord(0))));
    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(QString::fromStdString(f.dateTimeText), dateTime);
    QCOMPARE(f.recordingTime, seconds);
    QVERIFY(f.close());
    QFile::remove(p);
}

void TestFileEcg::versionsRefused_data()
{
    QTest::addColumn<QByteArray>("versionBytes");
    QTest::newRow("3") << QByteArray::fromHex("0003");
    QTest::newRow("512 (bytes swapped)") << QByteArray::fromHex("0200");
}

void TestFileEcg::versionsRefused()
{
    QFETCH(QByteArray, versionBytes);
    QByteArray file = QByteArray::fromHex("AAAAAAAA55555555") + versionBytes;
    file += QByteArray(120000, '\x11');
    const QString p = path("v3.ecg");
    QVERIFY(writeFileBytes(p, file));
    takeErrors();
    CFileEcg f;
    EcgReadRecord r{};
    QVERIFY(!f.openFileReadWrite(p.toStdString()));
    QVERIFY(!f.readData(0, r));
    const QString errors = takeErrors();
    QVERIFY2(errors.contains("CFileEcg::readHeaderV3() not yet implemented"), qPrintable(errors));
    QVERIFY2(errors.contains("openFile: file " + p + " is empty"), qPrintable(errors));
    QCOMPARE(readFileBytes(p), file);
}

void TestFileEcg::trailerRule_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("leadInAtFourthFromEnd");
    QTest::addColumn<int>("valid");
    QTest::newRow("1251 with trailer") << 1251 << true << 1;
    QTest::newRow("1250 with trailer") << 1250 << true << 1250;
    QTest::newRow("5000 with trailer") << 5000 << true << 3750;
    QTest::newRow("5000 without") << 5000 << false << 5000;
    QTest::newRow("4 records") << 4 << true << 4;
    QTest::newRow("3 records") << 3 << false << 3;
}

void TestFileEcg::trailerRule()
{
    QFETCH(int, count);
    QFETCH(bool, leadInAtFourthFromEnd);
    QFETCH(int, valid);
    const QString p = path("trailer.ecg");
    {
        CFileEcg f;
        QVERIFY(f.createFile(p.toStdString()));
        EcgFileRecord r{};
        for (int i = 0; i < count; ++i) {
            r.type = (leadInAtFourthFromEnd && i == count - 4) ? ECG_SAMPLE_LEADIN : ECG_SAMPLE;
            QVERIFY(f.addData(&r, 1));
        }
        QCOMPARE(f.getTotalValidSamples(), -1);
        QVERIFY(f.close());
    }
    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.getTotalValidSamples(), valid);
}

// Indexes outside 0 .. count - 1 fail and never hand out stale data.
void TestFileEcg::indexesOutsideTheFile()
{
    const QString p = path("index.ecg");
    {
        CFileEcg f;
        QVERIFY(f.createFile(p.toStdString()));
        QVERIFY(appendOneByOne(f, 0, 10));
        QVERIFY(f.close());
    }
    CFileEcg f;
    EcgReadRecord r{};
    QVERIFY(!f.readData(0, r)); // nothing open
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    const QByteArray before = readFileBytes(p);
    for (int index : {-1, 10, 11, INT_MAX, INT_MIN}) {
        QVERIFY(!f.readData(index, r));
        QVERIFY(!f.writeData(index, r));
        int n = 77;
        QVERIFY(!f.retDataSet(index, n));
        QCOMPARE(n, 0);
    }
    QVERIFY(f.readData(9, r));
    QVERIFY(f.close());
    QCOMPARE(readFileBytes(p), before);
    QVERIFY(!f.readData(9, r)); // closed again
}

// A type change rewrites only that record's type and extra word, also when
// the window moves on before the file is closed; resetting the header fields
// does not drop it.
void TestFileEcg::typeChangesWrittenInPlace()
{
    const QString p = path("types.ecg");
    const int count = CFileEcg::kWindowRecords + 10;
    {
        CFileEcg f;
        fillHeader(f);
        QVERIFY(f.createFile(p.toStdString()));
        std::vector<EcgFileRecord> all;
        for (int i = 0; i < count; ++i)
            all.push_back(makeRecord(i));
        QVERIFY(f.addData(all.data(), count));
        QVERIFY(f.close());
    }
    QByteArray expected = readFileBytes(p);
    auto setType = [&expected](int index, qint16 type, qint16 extra) {
        std::memcpy(expected.data() + 110000 + index * 16 + 12, &type, 2);
        std::memcpy(expected.data() + 110000 + index * 16 + 14, &extra, 2);
    };

    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    EcgReadRecord r{};
    QVERIFY(f.readData(7, r));
    r.type = ECG_EVENT_USER_MARK1;
    r.extra = 0x12345; // low 16 bits are stored
    r.leadI = 999.0f;  // leads are never changed
    QVERIFY(f.writeData(7, r));
    setType(7, ECG_EVENT_USER_MARK1, 0x2345);
    QVERIFY(f.readData(count - 1, r)); // moves the window: record 7 is written back
    QCOMPARE(readFileBytes(p), expected);
    r.type = ECG_SAMPLE_RPEAK;
    r.extra = 0;
    QVERIFY(f.writeData(count - 2, r));
    setType(count - 2, ECG_SAMPLE_RPEAK, 0);
    f.resetHeaderData();
    QVERIFY(f.close());
    QCOMPARE(readFileBytes(p), expected);
}

// Patching the header of an open file or of a recording being written changes
// the header only; appends continue at the end of the data.
void TestFileEcg::patchHeader()
{
    const QString p = path("patch.ecg");
    CFileEcg f;
    fillHeader(f);
    QVERIFY(f.createFile(p.toStdString()));
    QVERIFY(appendOneByOne(f, 0, 10));
    f.patientName = "Rex";
    f.recordingTime = 0;
    QVERIFY(f.patchFileHeader(false));
    QVERIFY(appendOneByOne(f, 10, 20));
    QVERIFY(f.close());
    QByteArray b = readFileBytes(p);
    QCOMPARE(b.size(), 110000 + 20 * 16);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(b.mid(110000 + i * 16, 16), recordBytes(makeRecord(i)));
    QCOMPARE(b.mid(715, 20), QByteArray(20, '\0')); // no recording time, no date

    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.patientName, std::string("Rex"));
    f.resetHeaderData();
    f.patientName = "Fiffi";
    f.ownerLastName = "Łukasz";
    f.genderCode = 9;   // written as "nospec"
    f.speciesCode = 21; // outside the table: left empty
    f.recordingTime = 1483360215;
    QVERIFY(f.patchFileHeader(true));
    QVERIFY(f.close());
    const QByteArray after = readFileBytes(p);
    QCOMPARE(after.mid(110000), b.mid(110000));
    QCOMPARE(after.mid(763), b.mid(763));
    QCOMPARE(after.mid(85, 10), QByteArray("nospec").append(4, '\0'));
    QCOMPARE(after.mid(95, 20), QByteArray(20, '\0'));
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.patientName, std::string("Fiffi"));
    QCOMPARE(f.ownerLastName, std::string("Łukasz"));
    QCOMPARE(f.genderCode, 5);
    QCOMPARE(f.speciesCode, 0);
    QCOMPARE(f.recordingTime, qint64(1483360215));
    QCOMPARE(f.ownerFirstName, std::string()); // reset before the patch
}

// A file without sync bytes starts with records: a header is never written
// over them, neither on an opened file nor on one being created.
void TestFileEcg::patchRefusedWithoutSyncBytes()
{
    const QString p = path("v0.ecg");
    CFileEcg f;
    QVERIFY(f.createFileNoHeader(p.toStdString()));
    QVERIFY(appendOneByOne(f, 0, 100));
    takeErrors();
    f.patientName = "Rex";
    QVERIFY(!f.patchFileHeader(false));
    QVERIFY(takeErrors().contains("refusing to write one over its records"));
    QVERIFY(f.close());
    const QByteArray before = readFileBytes(p);
    QCOMPARE(before.size(), 1600);

    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.getVersion(), 0);
    f.patientName = "Rex";
    QVERIFY(!f.patchFileHeader(true));
    QVERIFY(!f.patchFileHeader(false)); // no file being written
    QVERIFY(f.close());
    QVERIFY(f.openFileReadWriteNoHeader(p.toStdString()));
    QVERIFY(!f.patchFileHeader(true));
    QVERIFY(f.close());
    QCOMPARE(readFileBytes(p), before);
}

void TestFileEcg::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("error");

    QByteArray header = QByteArray::fromHex("AAAAAAAA55555555") + QByteArray::fromHex("0002");
    QByteArray full = header + QByteArray(110000 - header.size(), '\0');
    for (int i = 0; i < 10; ++i)
        full += recordBytes(makeRecord(i));
    QTest::newRow("truncated in a record") << full.left(110000 + 10 * 16 - 5) << true << 9 << "";
    QTest::newRow("shorter than its header") << full.left(500) << false << 0 << "is empty";
    QTest::newRow("header only") << full.left(110000) << false << 0 << "is empty";
    QTest::newRow("empty") << QByteArray() << false << 0 << "is empty";
    QTest::newRow("sync bytes only") << full.left(8) << false << 0 << "is empty";

    QRandomGenerator rng(4711);
    QByteArray random(5003, '\0');
    for (char& c : random)
        c = char(rng.bounded(256));
    random[0] = 0x00; // no sync bytes: by the format a headerless file, but not laid out as one
    QTest::newRow("random bytes") << random << false << 0 << "not laid out as an ECG recording";
    QByteArray randomHeader = header + random.mid(10) + random + QByteArray(110000, 'x');
    QTest::newRow("random header") << randomHeader.left(110000 + 4000) << true << 250 << "";
}

// Damaged files give a clear failure or bounded, readable content, and the
// file itself is left untouched.
void TestFileEcg::damagedFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, opens);
    QFETCH(int, records);
    QFETCH(QString, error);
    const QString p = path("damaged.ecg");
    QVERIFY(writeFileBytes(p, content));
    takeErrors();
    {
        CFileEcg f;
        QCOMPARE(f.openFileReadWrite(p.toStdString()), opens);
        QCOMPARE(f.getRecordCount(), records);
        EcgReadRecord r{};
        for (int i = 0; i < records; ++i)
            QVERIFY(f.readData(i, r));
        QVERIFY(!f.readData(records, r));
        QVERIFY(f.patientName.size() <= 60 && f.ownerFirstName.size() <= 40 && f.speciesText.size() <= 20);
        QVERIFY(f.genderCode >= 0 && f.genderCode <= 5);
        QVERIFY(f.speciesCode >= 0 && f.speciesCode <= 20);
        if (f.getVersion() == 0)
            QVERIFY(!f.patchFileHeader(true));
        QVERIFY(f.close());
    }
    if (!error.isEmpty()) {
        const QString errors = takeErrors();
        QVERIFY2(errors.contains(error), qPrintable(errors));
    }
    QCOMPARE(readFileBytes(p), content);
}

// A full disk shows in the results of createFile, addData and close; what was
// written before stays readable.
// Records of an old file without header, each as the recorder writes it.
QByteArray genuineRecords(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += recordBytes(makeRecord(i));
    return out;
}

// One record of genuine records replaced.
QByteArray withRecord(QByteArray records, int index, const EcgFileRecord& r)
{
    records.replace(index * 16, 16, recordBytes(r));
    return records;
}

EcgFileRecord sampleRecord(float leadI, float leadII, float leadIII, int type = ECG_SAMPLE, int extra = 0)
{
    EcgFileRecord r{};
    r.leadI = leadI;
    r.leadII = leadII;
    r.leadIII = leadIII;
    r.type = std::int16_t(type);
    r.extra = std::int16_t(extra);
    return r;
}

void TestFileEcg::headerlessPlausibility_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("refusal"); // empty: read as a recording

    const QByteArray genuine = genuineRecords(1000);
    QTest::newRow("old file: samples, marks, events, device information") << genuine << "";
    QTest::newRow("old file: one sample") << genuineRecords(1) << "";
    QTest::newRow("old file: device values at their widths")
        << withRecord(genuine, 10, [] {
               EcgStreamSample s{};
               deviceInfoToSample(EcgDeviceInfo{1u, 2, 3, 0x1FFFu, 0x7FFu, 0xFFFu}, s);
               return fileRecordFromStream(s);
           }())
        << "";
    QTest::newRow("old file: leads at the device's limit")
        << withRecord(genuine, 3, sampleRecord(-10000.0f, 10000.0f, 20000.0f)) << "";

    // Random bytes of a size an old file could have, as the damaged file was.
    QRandomGenerator rng(20261211);
    QByteArray random(12794 * 16, '\0');
    for (char& c : random)
        c = char(rng.bounded(256));
    random[0] = 0x13;
    QTest::newRow("random bytes of whole records") << random << "not laid out as an ECG recording: its record";
    QTest::newRow("random bytes, size not whole records")
        << random.left(5003) << "its size (5003 bytes) is not a whole number of 16-byte records";
    QTest::newRow("old file cut inside a record") << genuine.left(genuine.size() - 5)
                                                  << "is not a whole number of 16-byte records";
    QTest::newRow("zero bytes only") << QByteArray(1600, '\0') << "nothing but zero bytes";
    QTest::newRow("unknown sample type") << withRecord(genuine, 499, sampleRecord(1, 2, 1, 7))
                                         << "its record 500 has a type (7) that no recording holds";
    QTest::newRow("unknown event type") << withRecord(genuine, 0, sampleRecord(0, 0, 0, -5))
                                        << "its record 1 has a type (-5)";
    QTest::newRow("lead beyond the device's range")
        << withRecord(genuine, 7, sampleRecord(20000.0f, 0.0f, -20000.0f)) << "its record 8 holds a value beyond";
    QTest::newRow("value that is no number")
        << withRecord(genuine, 7, sampleRecord(std::nanf(""), 1.0f, 0.0f)) << "not a number";
    QTest::newRow("lead III not II - I") << withRecord(genuine, 9, sampleRecord(100.0f, 300.0f, 150.0f))
                                         << "lead III that is not lead II minus lead I";
    QTest::newRow("sample with its spare word set") << withRecord(genuine, 9, sampleRecord(1, 2, 1, 0, 3))
                                                    << "a word that is always 0";
    QTest::newRow("event with leads") << withRecord(genuine, 9, sampleRecord(1, 2, 1, ECG_EVENT_BATTERY_LOW))
                                      << "an event with values";
    QTest::newRow("device value wider than its field")
        << withRecord(genuine, 9, [] {
               EcgStreamSample s{};
               deviceInfoToSample(EcgDeviceInfo{1u, 2, 3, 0x2000u, 0x10u, 0x10u}, s);
               return fileRecordFromStream(s);
           }())
        << "device values beyond";
    QByteArray eventsOnly;
    for (int i = 0; i < 100; ++i)
        eventsOnly += recordBytes(sampleRecord(0, 0, 0, ECG_EVENT_PACKET_ERROR));
    QTest::newRow("events only") << eventsOnly << "holds no sample";
    const QByteArray sync = QByteArray::fromHex("AAAAAAAA5555");
    QTest::newRow("sync bytes cut short") << sync + genuine.mid(sync.size()) << "not laid out as an ECG recording";
}

// Without sync bytes a file is read as an old records-only recording only
// when its records plausibly are one; otherwise every way of opening it
// refuses it with the reason, and the file is left as it was.
void TestFileEcg::headerlessPlausibility()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, refusal);
    const QString p = path("headerless.ecg");
    QVERIFY(writeFileBytes(p, content));
    takeErrors();
    const bool plausible = refusal.isEmpty();
    CFileEcg f;
    QCOMPARE(f.openFileReadWrite(p.toStdString()), plausible);
    QCOMPARE(QString::fromStdString(f.refusal()).contains(refusal), true);
    if (plausible) {
        QCOMPARE(f.getVersion(), 0);
        QCOMPARE(f.getRecordCount(), int(content.size() / 16));
        EcgReadRecord r{};
        QVERIFY(f.readData(f.getRecordCount() - 1, r));
        QVERIFY(f.refusal().empty());
    } else {
        QCOMPARE(f.getRecordCount(), 0);
        QVERIFY2(takeErrors().contains("refusing " + p + " as a recording"), "the log names the refusal");
    }
    QVERIFY(f.close());
    QCOMPARE(f.openFileReadOnly(p.toStdString()), plausible);
    QCOMPARE(QString::fromStdString(CFileEcg::refusalOf(p.toStdString())), QString::fromStdString(f.refusal()));
    f.close();
    // Raw access that asks for no header still reads whatever is there.
    QCOMPARE(f.openFileReadWriteNoHeader(p.toStdString()), content.size() >= 16);
    f.close();
    QCOMPARE(readFileBytes(p), content);
}

void TestFileEcg::fullDisk()
{
    // /dev/full fails every write with "no space left on device".
    {
        CFileEcg f;
        QVERIFY(!f.createFile("/dev/full"));
        QVERIFY(!f.isOpen());
        // The device is neither removed nor narrowed by the failed create.
        struct stat st{};
        QVERIFY(::stat("/dev/full", &st) == 0);
        QVERIFY(S_ISCHR(st.st_mode));
        QCOMPARE(int(st.st_mode & 0777), 0666);
    }
    // A file size limit makes the disk run full in the middle of a recording.
    const QString p = path("full.ecg");
    const int fit = 1000;
    struct rlimit old{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 110000 + fit * 16;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    bool addFailed = false;
    bool refusedAfter = false;
    bool closed = true;
    {
        CFileEcg f;
        const bool created = f.createFile(p.toStdString());
        for (int i = 0; created && i < 100000 && !addFailed; ++i) {
            const EcgFileRecord r = makeRecord(i);
            addFailed = !f.addData(&r, 1);
        }
        // after the failure nothing more is taken, not even into the buffer
        const int counted = f.getRecordCount();
        const EcgFileRecord more = makeRecord(0);
        refusedAfter = !f.addData(&more, 1) && f.getRecordCount() == counted;
        closed = f.close();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(created);
    }
    QVERIFY(addFailed);
    QVERIFY(refusedAfter);
    QVERIFY(!closed);
    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    QCOMPARE(f.getRecordCount(), fit);
    EcgReadRecord r{};
    for (int i = 0; i < fit; ++i) {
        QVERIFY(f.readData(i, r));
        QVERIFY(equalReads(r, readRecordFromFile(makeRecord(i))));
    }
}

// A read-only folder refuses a new file with a clear error; a read-only
// recording can still be viewed, but neither its header nor its types change.
void TestFileEcg::readOnlyFolderAndFile()
{
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString folder = dir.filePath("ro");
    QVERIFY(QDir().mkdir(folder));
    const QString p = folder + "/kept.ecg";
    {
        CFileEcg f;
        fillHeader(f);
        QVERIFY(f.createFile(p.toStdString()));
        QVERIFY(appendOneByOne(f, 0, 50));
        QVERIFY(f.close());
    }
    const QByteArray before = readFileBytes(p);
    takeErrors();
    {
        ReadOnlyScope guard(folder, p);
        QVERIFY2(guard.works(), "permissions could not be made to hold");
        CFileEcg f;
        QVERIFY(!f.createFile((folder + "/new.ecg").toStdString()));
        QVERIFY(!f.createFile(p.toStdString()));
        QVERIFY(f.openFileReadWrite(p.toStdString()));
        QVERIFY(f.isReadOnly());
        QCOMPARE(f.patientName, std::string("Bello"));
        EcgReadRecord r{};
        QVERIFY(f.readData(49, r));
        r.type = ECG_EVENT_USER_MARK3;
        QVERIFY(!f.writeData(49, r));
        f.patientName = "Rex";
        QVERIFY(!f.patchFileHeader(true));
        QVERIFY(f.close());
    }
    QVERIFY(!QFile::exists(folder + "/new.ecg"));
    QCOMPARE(readFileBytes(p), before);
    const QString errors = takeErrors(); // the log is out of reach inside the scope
    QVERIFY2(errors.contains("CFileEcg::createFile() unable to create " + folder + "/new.ecg"), qPrintable(errors));
    QVERIFY2(errors.contains("is read-only"), qPrintable(errors));

    // A path below a plain file can never be created, whoever runs the test.
    CFileEcg f;
    QVERIFY(!f.createFile((p + "/below.ecg").toStdString()));
    QVERIFY(!f.createFileNoHeader((p + "/below.ecg").toStdString()));
    QVERIFY(!f.openFileReadWrite((p + "/below.ecg").toStdString()));
    QVERIFY(takeErrors().contains("openFile: unable to open " + p + "/below.ecg"));
    QCOMPARE(readFileBytes(p), before);
}

void TestFileEcg::baseClassReportsMissingOperations()
{
    class Bare : public CQFile {};
    Bare b;
    EcgReadRecord r{};
    int n = 5;
    takeErrors();
    QVERIFY(!b.openFileReadWrite("x"));
    QVERIFY(!b.readData(0, r));
    QVERIFY(!b.retDataSet(0, n));
    QCOMPARE(n, 0);
    QCOMPARE(b.getTotalValidSamples(), 0);
    QVERIFY(!b.close());
    const QString errors = takeErrors();
    for (const char* line : {"CFILE::openFileReadWrite() not implemented in this instance",
                             "CFILE::readData() not implemented in this instance",
                             "CFILE::retDataSet() not implemented in this instance",
                             "CFILE::close() not implemented in this instance"})
        QVERIFY2(errors.contains(line), line);
}

// A header that can't be written leaves nothing that looks like a recording.
void TestFileEcg::failedCreateLeavesNoFile()
{
    const QString p = path("stub.ecg");
    struct rlimit old{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    bool created = true;
    {
        CFileEcg f;
        created = f.createFile(p.toStdString());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!created);
    QVERIFY(!QFile::exists(p));
}

void TestFileEcg::createdFilesAreOwnerOnly()
{
    const mode_t oldMask = ::umask(022);
    const QString p = path("private.ecg");
    {
        CFileEcg f;
        QVERIFY(f.createFile(p.toStdString()));
        QVERIFY(f.close());
    }
    // An existing file written anew is narrowed too.
    QVERIFY(::chmod(QFile::encodeName(p).constData(), 0644) == 0);
    {
        CFileEcg f;
        QVERIFY(f.createFileNoHeader(p.toStdString()));
        QVERIFY(f.close());
    }
    ::umask(oldMask);
    struct stat st{};
    QVERIFY(::stat(QFile::encodeName(p).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
}

void TestFileEcg::writeThroughHandsRecordsToTheSystem()
{
    const QString p = path("through.ecg");
    CFileEcg f;
    QVERIFY(!f.writeThrough());
    QVERIFY(f.createFile(p.toStdString()));
    auto add = [&f](int from, int to) {
        for (int i = from; i < to; ++i) {
            const EcgFileRecord r = makeRecord(i);
            if (!f.addData(&r, 1))
                return false;
        }
        return true;
    };
    // A few ticks' records wait at most half a second.
    QVERIFY(add(0, 7));
    QVERIFY(f.writeThrough());
    QTest::qWait(CFileEcg::kWriteThroughMs + 50);
    QVERIFY(f.writeThrough());
    QCOMPARE(QFileInfo(p).size(), qint64(110000 + 7 * 16));
    QCOMPARE(f.recordsWritten(), 7);
    // A page's worth goes at once.
    QVERIFY(add(7, 7 + 256));
    QVERIFY(f.writeThrough());
    QCOMPARE(QFileInfo(p).size(), qint64(110000 + 263 * 16));
    // Without write-through, records coming at the live rate wait no longer
    // than a second's worth (500): once the first of them waited past a
    // burst, the 501st hands them over.
    QVERIFY(add(263, 263 + 500));
    QTest::qWait(150);
    QVERIFY(add(763, 764));
    QCOMPARE(QFileInfo(p).size(), qint64(110000 + 763 * 16));
    // A burst is gathered into larger writes; the close writes the rest.
    QVERIFY(add(764, 2764));
    QVERIFY(f.close());
    QCOMPARE(QFileInfo(p).size(), qint64(110000 + 2764 * 16));
}

void TestFileEcg::lastRecordsRetypedInPlace_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("count");
    QTest::newRow("on the disk and waiting in the program") << 2000 << 1250;
    QTest::newRow("fewer records than asked for") << 300 << 1250;
    QTest::newRow("none asked for") << 300 << 0;
}

// The recorder's trailer: of the last records, ordinary samples take the
// lead-in type in place; every other record and type stays, and appending
// goes on at the end.
void TestFileEcg::lastRecordsRetypedInPlace()
{
    QFETCH(int, records);
    QFETCH(int, count);
    const QString p = path("retype.ecg");
    CFileEcg f;
    QVERIFY(!f.retypeLastRecords(count, ECG_SAMPLE, ECG_SAMPLE_LEADIN));
    QVERIFY(f.createFile(p.toStdString()));
    QVERIFY(appendOneByOne(f, 0, records));
    QVERIFY(f.recordsWritten() < records || records < 500);
    QVERIFY(f.retypeLastRecords(count, ECG_SAMPLE, ECG_SAMPLE_LEADIN));
    QVERIFY(appendOneByOne(f, records, records + 10));
    QVERIFY(f.close());

    QCOMPARE(QFileInfo(p).size(), qint64(110000 + (records + 10) * 16));
    QFile raw(p);
    QVERIFY(raw.open(QIODevice::ReadOnly) && raw.seek(110000));
    const QByteArray bytes = raw.readAll();
    const int first = std::max(0, records - count);
    int retyped = 0;
    for (int i = 0; i < records + 10; ++i) {
        EcgFileRecord got;
        std::memcpy(&got, bytes.constData() + i * 16, sizeof got);
        EcgFileRecord wanted = makeRecord(i);
        const bool inTail = i >= first && i < records;
        if (inTail && wanted.type == ECG_SAMPLE) {
            wanted.type = ECG_SAMPLE_LEADIN;
            ++retyped;
        }
        QVERIFY2(std::memcmp(&got, &wanted, sizeof got) == 0,
                 qPrintable(QStringLiteral("record %1: type %2").arg(i).arg(got.type)));
    }
    QVERIFY(count == 0 || retyped > 0);
    // An opened file is not the one being made.
    CFileEcg r;
    QVERIFY(r.openFileReadWrite(p.toStdString()));
    QVERIFY(!r.retypeLastRecords(5, ECG_SAMPLE, ECG_SAMPLE_LEADIN));
}

QTEST_GUILESS_MAIN(TestFileEcg)
#include "tst_fileecg.moc"
