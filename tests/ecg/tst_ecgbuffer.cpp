#include <QtTest>
#include <QTemporaryDir>

#include "debuglog.h"
#include "ecgbuffer.h"
#include "fileecg.h"
#include "filebytes.h"
#include "readonlyscope.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <unistd.h>

namespace {

// Sample i: lead I = i exactly, so every entry names its record.
EcgStreamSample indexedSample(int i)
{
    EcgStreamSample s{};
    s.leadI = float(i);
    s.leadII = -0.5f * float(i);
    deriveLeads(s);
    s.type = ECG_SAMPLE;
    return s;
}

// A 1 mV-ish ECG-like signal with 50 Hz hum and a few events.
EcgStreamSample humSample(int i)
{
    EcgStreamSample s{};
    const double t = i / 500.0;
    s.leadI = float(std::sin(2 * M_PI * 1.2 * t) + 0.3 * std::sin(2 * M_PI * 50 * t));
    s.leadII = float(1.5 * std::sin(2 * M_PI * 1.2 * t + 0.4) + 0.2 * std::sin(2 * M_PI * 50 * t));
    deriveLeads(s);
    s.type = i % 250 == 0 ? ECG_SAMPLE_RPEAK : ECG_SAMPLE;
    if (i == 700)
        s.type = ECG_EVENT_USER_MARK1;
    if (i == 900) {
        EcgDeviceInfo info{1u, 2, 3, 0x1234u, 0x3FFu, 0xABCu};
        deviceInfoToSample(info, s);
    }
    return s;
}

bool writeRecording(const QString& path, int count, EcgStreamSample (*make)(int))
{
    CFileEcg f;
    f.patientName = "Bello";
    if (!f.createFile(path.toStdString()))
        return false;
    std::vector<EcgFileRecord> block;
    for (int i = 0; i < count; ++i) {
        block.push_back(fileRecordFromStream(make(i)));
        if (block.size() == 65536 || i == count - 1) {
            if (!f.addData(block.data(), int(block.size())))
                return false;
            block.clear();
        }
    }
    return f.close();
}

std::int32_t floatBits(float f)
{
    std::int32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

} // namespace

class TestEcgBuffer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void openAndEntries();
    void fileNames_data();
    void fileNames();
    void filteredSets();
    void windowMovesAtOneHour();
    void typeChangesReachTheFile();
    void recordingThroughTheBuffer();
    void damagedFileLoads();
    void copyEcgFile_data();
    void copyEcgFile();
    void copyFailures();
    void slotsOutsideTheArray();
    void typeChangesSurviveAWindowMove();
    void closeReportsFailedTypeWriteBack();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDebugLog> m_log;
    std::unique_ptr<CEcgBuffer> m_buffer; // 174 MB: one for the whole run
};

void TestEcgBuffer::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_log = std::make_unique<CDebugLog>(1, false, m_dir->path().toStdString(), "testlog");
    g_pDebugLog = m_log.get();
    m_buffer = std::make_unique<CEcgBuffer>();
}

void TestEcgBuffer::cleanupTestCase()
{
    m_buffer.reset();
    g_pDebugLog = nullptr;
    m_log.reset();
}

void TestEcgBuffer::openAndEntries()
{
    CEcgBuffer& b = *m_buffer;
    QVERIFY(writeRecording(path("entries.ecg"), 1000, humSample));
    QCOMPARE(b.getTotalValidSamples(), -1);
    QVERIFY(!b.openFile(m_dir->path().toStdString(), "entries.ecg", 2)); // only .ecg
    QVERIFY(b.openFile(m_dir->path().toStdString(), "entries.ecg", 1));
    QVERIFY(b.isFileInUse());
    QVERIFY(!b.openFile(m_dir->path().toStdString(), "entries.ecg", 1)); // one at a time
    QCOMPARE(b.getRecordCount(), 1000);
    QCOMPARE(b.getTotalValidSamples(), 1000);

    float leads[6];
    int type = 0;
    std::uint64_t value = 1;
    QVERIFY(b.getEntry(250, true, true, leads, type, value));
    const EcgStreamSample s = humSample(250);
    QCOMPARE(type, int(ECG_SAMPLE_RPEAK));
    const float expected[6] = {s.leadI, s.leadII, s.leadII - s.leadI, (s.leadII + s.leadI) * 0.5f,
                               s.leadI - s.leadII * 0.5f, s.leadII - s.leadI * 0.5f};
    for (int k = 0; k < 6; ++k)
        QCOMPARE(leads[k], expected[k]); // no filter options after an open
    QCOMPARE(value, std::uint64_t(0));

    QVERIFY(b.getEntry(700, false, false, leads, type, value));
    QCOMPARE(type, int(ECG_EVENT_USER_MARK1));
    for (float v : leads)
        QCOMPARE(v, 0.0f);

    // A device-information entry hands out itself and nothing else.
    float untouched[6] = {7, 7, 7, 7, 7, 7};
    QVERIFY(b.getEntry(900, true, true, untouched, type, value));
    QCOMPARE(type, int(ECG_EVENT_DEVICE_INFO));
    QCOMPARE(untouched[0], 7.0f);
    const EcgBufferEntry* e = CEcgBuffer::entryOfValue(value);
    QVERIFY(e == &b.entryAtSlot(CEcgBuffer::kMarginEntries + 900));
    QCOMPARE(floatBits(e->leads[4]), 0x1234);
    QCOMPARE(floatBits(e->leads[5]), 0x3FF);
    QCOMPARE(floatBits(e->mainsFiltered[0]), 0xABC);
    QCOMPARE(e->leads[0], 0.0f);

    for (int index : {-1, 1000, INT_MAX}) {
        QVERIFY(!b.getEntry(index, false, false, leads, type, value));
        QVERIFY(!b.setEntryType(index, 1));
    }
    b.closeFile();
    QVERIFY(!b.isFileInUse());
    QVERIFY(!b.getEntry(0, false, false, leads, type, value)); // nothing of a closed file
}

void TestEcgBuffer::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");
    QTest::newRow("extension removed") << "rec123.ecg" << "rec123";
    QTest::newRow("three characters") << "abc" << "abc";
    QTest::newRow("other dot place") << "rec.ec" << "rec.ec";
}

void TestEcgBuffer::fileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    m_buffer->openFile(m_dir->path().toStdString(), name.toStdString(), 1);
    QCOMPARE(QString::fromStdString(m_buffer->getFileName()), stored);
    m_buffer->closeFile();
}

// The two filtered sets are the chains run over the recording from its start,
// events skipped; options pick the set getEntry gives.
void TestEcgBuffer::filteredSets()
{
    CEcgBuffer& b = *m_buffer;
    const int count = 5000;
    QVERIFY(writeRecording(path("hum.ecg"), count, humSample));
    QVERIFY(b.openFile(m_dir->path().toStdString(), "hum.ecg", 1));

    for (int mode : {1, 2}) {
        b.setFilterOptions(mode, true);
        QCOMPARE(b.getFilterMode(), mode);
        EcgFilterChain mainsI, mainsII, lowI, lowII;
        for (EcgFilterChain* c : {&mainsI, &mainsII, &lowI, &lowII}) {
            c->init();
            c->notch = mode == 1 ? 50 : 60;
        }
        lowI.lowPass = lowII.lowPass = 1;
        for (int i = 0; i < count; ++i) {
            const EcgStreamSample s = humSample(i);
            if (s.type < 0)
                continue;
            const float mi = float(mainsI.process(s.leadI)), mii = float(mainsII.process(s.leadII));
            const float li = float(lowI.process(s.leadI)), lii = float(lowII.process(s.leadII));
            float leads[6];
            int type;
            std::uint64_t value;
            QVERIFY(b.getEntry(i, true, false, leads, type, value));
            if (leads[0] != mi || leads[1] != mii || leads[2] != mii - mi || leads[4] != mi - mii * 0.5f)
                QFAIL(qPrintable(QString("mains set differs at %1, mode %2").arg(i).arg(mode)));
            QVERIFY(b.getEntry(i, false, true, leads, type, value));
            if (leads[0] != li || leads[1] != lii || leads[3] != (lii + li) * 0.5f || leads[5] != lii - li * 0.5f)
                QFAIL(qPrintable(QString("low-pass set differs at %1, mode %2").arg(i).arg(mode)));
            QVERIFY(b.getEntry(i, false, false, leads, type, value));
            QCOMPARE(leads[0], s.leadI);
        }
    }
    // The hum is gone from the 50 Hz set once the notch has settled.
    b.setFilterOptions(1, true);
    double humIn = 0, humOut = 0;
    for (int i = 3000; i < count; ++i) {
        float leads[6];
        int type;
        std::uint64_t value;
        if (!b.getEntry(i, true, false, leads, type, value) || type < 0)
            continue;
        const double t = i / 500.0;
        const double clean = std::sin(2 * M_PI * 1.2 * t);
        humIn += std::abs(humSample(i).leadI - clean);
        humOut += std::abs(leads[0] - clean * 1.0);
    }
    QVERIFY2(humOut < humIn * 0.1, qPrintable(QString("%1 %2").arg(humOut).arg(humIn)));

    // Low-pass off: the second set is not offered, the mains set is.
    b.setFilterOptions(1, false);
    float a[6], c[6];
    int type;
    std::uint64_t value;
    QVERIFY(b.getEntry(2000, true, true, a, type, value));
    QVERIFY(b.getEntry(2000, true, false, c, type, value));
    QCOMPARE(std::memcmp(a, c, sizeof(a)), 0);
    b.closeFile();
}

// Index 1,799,999 is in the first window; 1,800,000 moves the base there and
// fills the margin with the 15,000 records before it.
void TestEcgBuffer::windowMovesAtOneHour()
{
    CEcgBuffer& b = *m_buffer;
    const int count = 2000000;
    QVERIFY(writeRecording(path("long.ecg"), count, indexedSample));
    QVERIFY(b.openFile(m_dir->path().toStdString(), "long.ecg", 1));
    float leads[6];
    int type;
    std::uint64_t value;
    QVERIFY(b.getEntry(1799999, false, false, leads, type, value));
    QCOMPARE(b.getWindowBase(), 0);
    QCOMPARE(leads[0], 1799999.0f);
    QVERIFY(b.getEntry(1800000, false, false, leads, type, value));
    QCOMPARE(b.getWindowBase(), 1800000);
    QCOMPARE(leads[0], 1800000.0f);
    QCOMPARE(b.entryAtSlot(0).leads[0], 1785000.0f);
    QCOMPARE(b.entryAtSlot(CEcgBuffer::kMarginEntries - 1).leads[0], 1799999.0f);
    QVERIFY(b.getEntry(count - 1, false, false, leads, type, value));
    QCOMPARE(leads[0], float(count - 1));
    QVERIFY(!b.getEntry(count, false, false, leads, type, value));
    QVERIFY(b.getEntry(12, false, false, leads, type, value));
    QCOMPARE(b.getWindowBase(), 0);
    QCOMPARE(leads[0], 12.0f);
    QCOMPARE(b.entryAtSlot(0).leads[0], 0.0f); // margin before record 0 is zero
    b.closeFile();
    QFile::remove(path("long.ecg"));
}

// Changed types are written back when the window moves and when the file
// closes; nothing else in the file changes.
void TestEcgBuffer::typeChangesReachTheFile()
{
    CEcgBuffer& b = *m_buffer;
    QVERIFY(!b.setEntryType(0, 1)); // no file
    const int count = 1000;
    QVERIFY(writeRecording(path("types.ecg"), count, humSample));
    QByteArray expected = readFileBytes(path("types.ecg"));
    auto setType = [&expected](int index, qint16 type) {
        std::memcpy(expected.data() + 110000 + index * 16 + 12, &type, 2);
    };
    QVERIFY(b.openFile(m_dir->path().toStdString(), "types.ecg", 1));
    QVERIFY(b.setEntryType(5, ECG_SAMPLE_RPEAK));
    setType(5, ECG_SAMPLE_RPEAK);
    QVERIFY(b.setEntryType(600, ECG_EVENT_USER_MARK2));
    setType(600, ECG_EVENT_USER_MARK2);
    QVERIFY(b.setEntryType(250, ECG_SAMPLE_RPEAK)); // unchanged
    float leads[6];
    int type;
    std::uint64_t value;
    QVERIFY(b.getEntry(600, false, false, leads, type, value));
    QCOMPARE(type, int(ECG_EVENT_USER_MARK2));
    b.closeFile();
    QCOMPARE(readFileBytes(path("types.ecg")), expected);

    QVERIFY(b.openFile(m_dir->path().toStdString(), "types.ecg", 1));
    QVERIFY(b.getEntry(5, false, false, leads, type, value));
    QCOMPARE(type, int(ECG_SAMPLE_RPEAK));
    QVERIFY(b.setEntryType(5, ECG_SAMPLE));
    setType(5, ECG_SAMPLE);
    QVERIFY(b.finishFile());
    QCOMPARE(readFileBytes(path("types.ecg")), expected);
    b.closeFile();
}

// A recording made sample by sample through the buffer reads back as recorded;
// a full disk shows in addSample and finishFile.
void TestEcgBuffer::recordingThroughTheBuffer()
{
    CEcgBuffer& b = *m_buffer;
    EcgStreamSample s = humSample(0);
    if (!b.getFileEcg())
        b.setFileEcg(new CFileEcg);
    CFileEcg* f = b.getFileEcg();
    f->resetHeaderData();
    f->patientName = "Bello";
    QVERIFY(f->createFile(path("rec.ecg").toStdString()));
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        s = humSample(i);
        if (i == 1234)
            s.type = ECG_EVENT_RECORD_TOGGLE;
        if (i >= count - 1250)
            s.type = ECG_SAMPLE_LEADIN;
        QVERIFY(b.addSample(s));
    }
    QVERIFY(b.finishFile());
    QVERIFY(!b.isFileInUse());
    QVERIFY(b.openFile(m_dir->path().toStdString(), "rec.ecg", 1));
    QCOMPARE(b.getRecordCount(), count);
    QCOMPARE(b.getTotalValidSamples(), count - 1250);
    float leads[6];
    int type;
    std::uint64_t value;
    QVERIFY(b.getEntry(1234, false, false, leads, type, value));
    QCOMPARE(type, int(ECG_EVENT_RECORD_TOGGLE));
    QVERIFY(b.getEntry(1500, false, false, leads, type, value));
    QCOMPARE(leads[0], humSample(1500).leadI);
    QCOMPARE(leads[1], humSample(1500).leadII);
    b.closeFile();

    // A disk that is full from the start: appending fails once the stream
    // writes through, and finishing reports it.
    b.setFileEcg(new CFileEcg);
    QVERIFY(b.getFileEcg()->createFileNoHeader("/dev/full"));
    bool failed = false;
    for (int i = 0; i < 100000 && !failed; ++i)
        failed = !b.addSample(humSample(i));
    QVERIFY(failed);
    QVERIFY(!b.finishFile());

    CEcgBuffer none;
    QVERIFY(!none.addSample(s));
    QVERIFY(!none.finishFile());
}

// A file of random bytes (records only, by the format) loads and filters
// without a fault; a failed open leaves nothing of it reachable.
void TestEcgBuffer::damagedFileLoads()
{
    CEcgBuffer& b = *m_buffer;
    QRandomGenerator rng(99);
    QByteArray random(16 * 20000 + 7, '\0');
    for (char& c : random)
        c = char(rng.bounded(256));
    random[0] = 0;
    std::uint16_t deviceInfo = std::uint16_t(std::int16_t(ECG_EVENT_DEVICE_INFO));
    for (int i = 100; i < 20000; i += 100) // device records with any values at all
        std::memcpy(random.data() + i * 16 + 12, &deviceInfo, 2);
    // Without a header such bytes are no recording and are refused.
    QVERIFY(writeFileBytes(path("random.ecg"), random));
    QVERIFY(!b.openFile(m_dir->path().toStdString(), "random.ecg", 1));
    QCOMPARE(b.getRecordCount(), 0);
    // Behind a header they are the records of a damaged recording, and load.
    random = QByteArray::fromHex("AAAAAAAA555555550002") + QByteArray(110000 - 10, '\0') + random;
    QVERIFY(writeFileBytes(path("random.ecg"), random));
    QVERIFY(b.openFile(m_dir->path().toStdString(), "random.ecg", 1));
    QCOMPARE(b.getRecordCount(), 20000);
    b.setFilterOptions(1, true);
    float leads[6];
    int type;
    std::uint64_t value;
    for (int i = 0; i < 20000; ++i)
        QVERIFY(b.getEntry(i, true, true, leads, type, value));
    b.closeFile();
    QCOMPARE(readFileBytes(path("random.ecg")), random);

    QVERIFY(!b.openFile(m_dir->path().toStdString(), "missing.ecg", 1));
    QCOMPARE(b.getRecordCount(), 0);
    QVERIFY(!b.getEntry(0, false, false, leads, type, value));
}

void TestEcgBuffer::copyEcgFile_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("patch");
    QTest::addColumn<bool>("withObject");

    QByteArray records;
    for (int i = 0; i < 300; ++i) {
        const EcgFileRecord r = fileRecordFromStream(humSample(i));
        records += QByteArray(reinterpret_cast<const char*>(&r), 16);
    }
    QByteArray v2 = QByteArray::fromHex("AAAAAAAA555555550002") + QByteArray(110000 - 10, '\0');
    std::memcpy(v2.data() + 10, "Bello", 5);
    QByteArray v1 = QByteArray::fromHex("AAAAAAAA555555550001") + QByteArray(1000 - 10, '\0');
    std::memcpy(v1.data() + 10, "Mimi", 4);
    QTest::newRow("version 2 as is") << v2 + records << false << false;
    QTest::newRow("version 2 new header") << v2 + records << true << true;
    QTest::newRow("version 1 as is, shorter than a version-2 header") << v1 + records << false << false;
    QTest::newRow("version 1 new header") << v1 + records << true << true;
    QTest::newRow("records only as is") << records << false << true;
    QTest::newRow("records only new header") << records << true << true;
}

// The copy is the input byte for byte, or with the header patched: never
// longer (no zero records), never a header over records.
void TestEcgBuffer::copyEcgFile()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, patch);
    QFETCH(bool, withObject);
    const QString in = path("copy_in.ecg"), out = path("copy_out.ecg");
    QVERIFY(writeFileBytes(in, input));
    std::unique_ptr<CFileEcg> mine;
    if (withObject) {
        mine = std::make_unique<CFileEcg>();
        mine->patientName = "Rex";
        mine->ownerLastName = "Müller";
        mine->genderCode = 1;
        mine->recordingTime = 1483360215;
    }
    const int n = m_buffer->copyEcgFile(in.toStdString(), out.toStdString(), patch, mine.get());
    QCOMPARE(n, input.size());
    QCOMPARE(readFileBytes(in), input);
    const QByteArray copy = readFileBytes(out);

    CFileEcg check;
    QVERIFY(check.openFileReadWrite(out.toStdString()));
    QCOMPARE(check.getRecordCount(), 300);
    EcgReadRecord r{};
    for (int i = 0; i < 300; ++i) {
        QVERIFY(check.readData(i, r));
        const EcgReadRecord want = readRecordFromFile(fileRecordFromStream(humSample(i)));
        QVERIFY(std::memcmp(&r, &want, sizeof(r)) == 0);
    }
    if (!patch) {
        QCOMPARE(copy, input);
        return;
    }
    QCOMPARE(check.patientName, std::string("Rex"));
    QCOMPARE(check.ownerLastName, std::string("Müller"));
    QCOMPARE(check.genderCode, 1);
    QCOMPARE(check.recordingTime, qint64(1483360215));
    if (input.startsWith(QByteArray::fromHex("AAAAAAAA55555555"))) {
        QCOMPARE(copy.size(), input.size());
        QCOMPARE(copy.mid(763), input.mid(763));
    } else {
        QCOMPARE(check.getVersion(), 2); // a header in front, the records behind it
        QCOMPARE(copy.mid(110000), input);
    }
    QVERIFY(!mine->isOpen());
    // The caller's object is not released: it still works.
    QVERIFY(mine->openFileReadWrite(out.toStdString()));
    QVERIFY(mine->close());
}

// Every failure is a negative result and leaves the input untouched.
void TestEcgBuffer::copyFailures()
{
    CEcgBuffer& b = *m_buffer;
    QVERIFY(writeRecording(path("src.ecg"), 500, humSample));
    const QByteArray original = readFileBytes(path("src.ecg"));
    const std::string src = path("src.ecg").toStdString();

    QCOMPARE(b.copyEcgFile(path("missing.ecg").toStdString(), path("never.ecg").toStdString(), false, nullptr),
             int(CEcgBuffer::CopyInputNotOpened));
    QVERIFY(!QFile::exists(path("never.ecg")));
    QCOMPARE(b.copyEcgFile(src, src, false, nullptr), int(CEcgBuffer::CopyOntoItself));
    QCOMPARE(b.copyEcgFile(src, m_dir->path().toStdString() + "/./src.ecg", true, nullptr),
             int(CEcgBuffer::CopyOntoItself));
    QVERIFY(::link(QFile::encodeName(path("src.ecg")).constData(), QFile::encodeName(path("hard.ecg")).constData()) == 0);
    QCOMPARE(b.copyEcgFile(src, path("hard.ecg").toStdString(), false, nullptr), int(CEcgBuffer::CopyOntoItself));
    QCOMPARE(b.copyEcgFile(src, src + "/below.ecg", false, nullptr), int(CEcgBuffer::CopyOutputNotCreated));
    // /dev/full: no space left on the output's device.
    QVERIFY(b.copyEcgFile(src, "/dev/full", false, nullptr) < 0);
    CFileEcg mine;
    QVERIFY(b.copyEcgFile(src, "/dev/full", true, &mine) < 0);
    QVERIFY(!mine.isOpen());

    QByteArray v3 = QByteArray::fromHex("AAAAAAAA555555550003") + QByteArray(2000, '\0');
    QVERIFY(writeFileBytes(path("v3.ecg"), v3));
    QCOMPARE(b.copyEcgFile(path("v3.ecg").toStdString(), path("v3out.ecg").toStdString(), true, nullptr),
             int(CEcgBuffer::CopyHeaderRefused));
    QVERIFY(!QFile::exists(path("v3out.ecg")));
    QCOMPARE(readFileBytes(path("src.ecg")), original);

    const QString errors = QString::fromUtf8(readFileBytes(QString::fromStdString(m_log->errorPath())));
    QVERIFY(errors.contains("CEcgBuffer::copyEcgFile() unable to open input .ecg file " + path("missing.ecg")));
    QVERIFY(errors.contains("onto itself"));
}


// A slot outside the entry array gives an empty entry, never memory beyond it.
void TestEcgBuffer::slotsOutsideTheArray()
{
    const CEcgBuffer& b = *m_buffer;
    const int slotCount = CEcgBuffer::kWindowEntries + CEcgBuffer::kMarginEntries;
    for (int slot : {-1, slotCount, slotCount + 1, std::numeric_limits<int>::max(),
                     std::numeric_limits<int>::min()}) {
        const EcgBufferEntry& e = b.entryAtSlot(slot);
        QCOMPARE(e.type, 0);
        QCOMPARE(e.leads[0], 0.0f);
        QCOMPARE(e.typeChanged, std::uint8_t(0));
    }
    QVERIFY(&b.entryAtSlot(slotCount - 1) != &b.entryAtSlot(slotCount));
}

// Changed types of the first hour are written back before the window moves
// to the second, so edits on either side of the move are all kept.
void TestEcgBuffer::typeChangesSurviveAWindowMove()
{
    const QString p = path("twohours.ecg");
    QVERIFY(writeRecording(p, CEcgBuffer::kWindowEntries + 1, indexedSample));
    CEcgBuffer& b = *m_buffer;
    QVERIFY(b.openFile(m_dir->path().toStdString(), "twohours.ecg", 1));
    QVERIFY(b.setEntryType(0, 13));
    QVERIFY(b.setEntryType(CEcgBuffer::kWindowEntries, 13));
    QCOMPARE(b.getWindowBase(), CEcgBuffer::kWindowEntries);
    QVERIFY(b.closeFile());

    CFileEcg f;
    QVERIFY(f.openFileReadWrite(p.toStdString()));
    EcgReadRecord r{};
    QVERIFY(f.readData(0, r));
    QCOMPARE(r.type, 13);
    QVERIFY(f.readData(CEcgBuffer::kWindowEntries, r));
    QCOMPARE(r.type, 13);
    QVERIFY(f.readData(1, r));
    QCOMPARE(r.type, int(ECG_SAMPLE));
    f.close();
    QFile::remove(p);
}

void TestEcgBuffer::closeReportsFailedTypeWriteBack()
{
    const QString p = path("readonly.ecg");
    QVERIFY(writeRecording(p, 1000, indexedSample));
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755) == 0);
    CEcgBuffer& b = *m_buffer;
    {
        ReadOnlyScope scope(QString(), p);
        if (!scope.works())
            QSKIP("the file can't be made read-only here");
        QVERIFY(b.openFile(m_dir->path().toStdString(), "readonly.ecg", 1));
        QVERIFY(b.setEntryType(5, 13));
        QVERIFY(!b.closeFile());
        QVERIFY(!b.isFileInUse());
    }
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0700) == 0);
}

QTEST_GUILESS_MAIN(TestEcgBuffer)
#include "tst_ecgbuffer.moc"
