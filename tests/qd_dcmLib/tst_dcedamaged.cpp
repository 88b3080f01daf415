// Damaged .dce files: cut short at many places or with random bytes in the
// waveform data, they are refused with a code (or, where the bytes still
// make a valid object, imported whole) and never crash. Run it under the
// sanitizer build as well.
#include <QtTest>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "dcetesthelpers.h"
#include "dcmfile.h"
#include "debuglog.h"
#include "filebytes.h"

#include <dcmtk/oflog/oflog.h>

#include <memory>

using namespace dcetest;

class TestDceDamaged : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void truncatedFilesAreRefused();
    void randomBytesInWaveformData();
    void randomBytesAnywhere();

private:
    QString path(const QString& name) const { return m_files.filePath(name); }
    // Imports bytes as a file; true when a recording was made.
    bool importBytes(const QByteArray& bytes, int* code, int* records);

    QTemporaryDir m_logDir;
    QTemporaryDir m_files;
    std::unique_ptr<CDebugLog> m_log;
    QByteArray m_good;
    int m_dataOffset = -1; // first byte of the Waveform Data value
    int m_samples = 0;
    int m_records = 0; // the samples and the events after them
};

void TestDceDamaged::initTestCase()
{
    QVERIFY(m_logDir.isValid() && m_files.isValid());
    // errors only: thousands of refusals would fill the debug log
    m_log = std::make_unique<CDebugLog>(0, false, m_logDir.path().toStdString(), "malvorantlog");
    g_pDebugLog = m_log.get();
    // the toolkit's own parser warnings about every damaged file are expected
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);

    std::vector<EcgFileRecord> records;
    for (int k = 0; k < 2000; ++k) {
        records.push_back(sample(float(k % 50) - 25.0f, float(k % 30), k % 400 == 7 ? 1 : 0));
        if (k % 333 == 5)
            records.push_back(eventRecord(-102));
    }
    m_samples = 2000;
    m_records = int(records.size());
    QVERIFY(writeRecording(path("good.ecg"), records));
    QCOMPARE(exportRecording(path("good.ecg"), path("good.dce")), 0);
    m_good = readFileBytes(path("good.dce"));
    // (5400,1010) OW, explicit VR little endian: tag, "OW", 2 reserved bytes, 4-byte length
    const QByteArray tag("\x00\x54\x10\x10OW\x00\x00", 8);
    const int at = m_good.indexOf(tag);
    QVERIFY(at > 0);
    m_dataOffset = at + 12;
    QCOMPARE(m_good.size() - m_dataOffset, m_samples * 6 * 2);
}

void TestDceDamaged::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

bool TestDceDamaged::importBytes(const QByteArray& bytes, int* code, int* records)
{
    const QString in = path("damaged.dce");
    const QString out = path("damaged.ecg");
    QFile::remove(out);
    if (!writeFileBytes(in, bytes))
        return false;
    *code = importObject(in, out);
    *records = int(readRecords(out).size());
    return QFile::exists(out);
}

void TestDceDamaged::truncatedFilesAreRefused()
{
    QList<int> cuts;
    // every byte through the meta header and the first attributes, then a
    // spread over the rest, the waveform data included
    for (int c = 0; c < 600 && c < m_good.size(); ++c)
        cuts << c;
    for (int c = 600; c < m_good.size(); c += 97)
        cuts << c;
    for (int c : {m_dataOffset - 12, m_dataOffset - 4, m_dataOffset, m_dataOffset + 1, int(m_good.size()) - 1})
        cuts << c;
    for (int cut : cuts) {
        int code = 0, records = 0;
        const bool made = importBytes(m_good.left(cut), &code, &records);
        QVERIFY2(!made && code != 0, qPrintable(QString("cut at %1 gave code %2").arg(cut).arg(code)));
    }
    // the whole file still imports
    int code = -1, records = 0;
    QVERIFY(importBytes(m_good, &code, &records));
    QCOMPARE(code, 0);
    QCOMPARE(records, m_records);
}

// Any byte values are valid samples: the object imports whole, never in part.
void TestDceDamaged::randomBytesInWaveformData()
{
    QRandomGenerator random(20);
    for (int round = 0; round < 40; ++round) {
        QByteArray bytes = m_good;
        const int length = 1 + int(random.bounded(4000));
        const int start = m_dataOffset + int(random.bounded(quint32(bytes.size() - m_dataOffset - 1)));
        for (int k = start; k < start + length && k < bytes.size(); ++k)
            bytes[k] = char(random.bounded(256));
        int code = -1, records = 0;
        QVERIFY(importBytes(bytes, &code, &records));
        QCOMPARE(code, 0);
        QCOMPARE(records, m_records);
    }
}

// Random bytes over lengths, tags and values: refused with a code, or a
// complete recording; nothing in between, no crash.
void TestDceDamaged::randomBytesAnywhere()
{
    QRandomGenerator random(21);
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = m_good;
        const int count = 1 + int(random.bounded(8));
        for (int k = 0; k < count; ++k) {
            // mostly in the attributes before the samples, where lengths live
            const int at = int(random.bounded(quint32(m_dataOffset + 16)));
            bytes[at] = char(random.bounded(256));
        }
        int code = -1, records = 0;
        const bool made = importBytes(bytes, &code, &records);
        if (made) {
            QCOMPARE(code, 0);
            QVERIFY2(records > 0, qPrintable(QString("round %1").arg(round)));
        } else {
            QVERIFY2(code != 0, qPrintable(QString("round %1 refused without a code").arg(round)));
            ++refused;
        }
    }
    qInfo("%d of 300 damaged files refused", refused);
}

QTEST_GUILESS_MAIN(TestDceDamaged)
#include "tst_dcedamaged.moc"
