#include <QtTest>

#include "ecgrecords.h"

#include <cstring>

class TestEcgRecords : public QObject
{
    Q_OBJECT
private slots:
    void fileRecordBytes();
    void roundTrip_data();
    void roundTrip();
    void deviceInfoKeepsOnlyStoredValues();
    void derivedLeads();
};

// The stored record is little-endian: lead II, lead I, lead III, type, extra.
void TestEcgRecords::fileRecordBytes()
{
    EcgStreamSample s{};
    s.leadI = 1.5f;
    s.leadII = -2.25f;
    s.leadIII = -3.75f;
    s.type = ECG_SAMPLE_RPEAK;
    const EcgFileRecord r = fileRecordFromStream(s);
    unsigned char bytes[16];
    std::memcpy(bytes, &r, 16);
    const unsigned char expected[16] = {0x00, 0x00, 0x10, 0xC0,  // -2.25f
                                        0x00, 0x00, 0xC0, 0x3F,  // 1.5f
                                        0x00, 0x00, 0x70, 0xC0,  // -3.75f
                                        0x01, 0x00, 0x00, 0x00}; // type 1, extra 0
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes), 16),
             QByteArray(reinterpret_cast<const char*>(expected), 16));
}

void TestEcgRecords::roundTrip_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("readType");
    QTest::addColumn<bool>("leadsKept");
    QTest::newRow("sample") << 0 << 0 << true;
    QTest::newRow("r peak") << 1 << 1 << true;
    QTest::newRow("lead-in") << 45 << 45 << true;
    QTest::newRow("battery low") << -1 << -1 << false;
    QTest::newRow("channel error") << -2 << -2 << false;
    QTest::newRow("packet error") << -3 << -3 << false;
    QTest::newRow("user mark 1") << -102 << -102 << false;
    QTest::newRow("user mark 4") << -105 << -105 << false;
    // Events the read record cannot carry keep their negative type, never 0.
    QTest::newRow("toggle") << -4 << -4 << false;
    QTest::newRow("device id") << -112 << -112 << false;
    QTest::newRow("device data") << -113 << -113 << false;
}

void TestEcgRecords::roundTrip()
{
    QFETCH(int, type);
    QFETCH(int, readType);
    QFETCH(bool, leadsKept);
    EcgStreamSample s{};
    s.leadI = 12.5f;
    s.leadII = -7.25f;
    deriveLeads(s);
    s.type = type;
    const EcgFileRecord f = fileRecordFromStream(s);
    QCOMPARE(int(f.type), type);
    QCOMPARE(int(f.extra), 0);
    const EcgReadRecord r = readRecordFromFile(f);
    QCOMPARE(r.type, readType);
    QCOMPARE(r.leadI, leadsKept ? 12.5f : 0.0f);
    QCOMPARE(r.leadII, leadsKept ? -7.25f : 0.0f);
    QVERIFY(isSampleType(r.type) == leadsKept);
}

void TestEcgRecords::deviceInfoKeepsOnlyStoredValues()
{
    EcgStreamSample s{};
    EcgDeviceInfo info{0xABCDEF12u, -123456, 654321, 0x1ABC, 0x7FF, 0xFFF};
    deviceInfoToSample(info, s);
    QCOMPARE(s.type, int(ECG_EVENT_DEVICE_INFO));
    const EcgDeviceInfo back = deviceInfoFromSample(s);
    QCOMPARE(back.a, info.a);
    QCOMPARE(back.b, info.b);
    QCOMPARE(back.c, info.c);
    QCOMPARE(back.d, info.d);
    QCOMPARE(back.e, info.e);
    QCOMPARE(back.f, info.f);

    const EcgFileRecord f = fileRecordFromStream(s);
    QCOMPARE(int(f.type), -101);
    QCOMPARE(int(f.extra), 0x7FF);
    const EcgReadRecord r = readRecordFromFile(f);
    QCOMPARE(r.type, -101);
    QCOMPARE(r.leadI, float(0xFFF));  // F
    QCOMPARE(r.leadII, float(0x1ABC)); // D
    QCOMPARE(r.extra, 0x7FF);          // E
}

void TestEcgRecords::derivedLeads()
{
    EcgStreamSample s{};
    s.leadI = 100.0f;
    s.leadII = 300.0f;
    deriveLeads(s);
    QCOMPARE(s.leadIII, 200.0f);
    QCOMPARE(s.leadNegAvr, 200.0f);
    QCOMPARE(s.leadAvl, -50.0f);
    QCOMPARE(s.leadAvf, 250.0f);
}

QTEST_APPLESS_MAIN(TestEcgRecords)
#include "tst_ecgrecords.moc"
