#include <QtTest>
#include <QNetworkInterface>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "dbman.h"
#include "debuglog.h"
#include "settingsman.h"
#include "storetestutil.h"

#include <memory>

using namespace StoreTest;

class TestSettingsMan : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void newDatabaseRows_data();
    void newDatabaseRows();
    void upgradeFromVersion1AddsLaterRows();
    void missingRowsAreAddedWithDefaults();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void secretsAreNeverPlain();
    void saveWritesOnlyMaskedCategories();
    void failedSaveRollsBack();
    void singleValues();
    void unknownOidsAreReported();
    void closedDatabaseIsReported();
    void localAddresses_data();
    void localAddresses();

private:
    std::unique_ptr<CSettingsMan> open(const QString& appName = "MalvorantQml");
    QString logText(bool errors = false) const;
    QString dbPath() const { return m_dir->filePath("zqr.sqlite3"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_logDir;
    std::unique_ptr<CDebugLog> m_log;
    std::unique_ptr<CDbMan> m_db;
};

void TestSettingsMan::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_logDir = std::make_unique<QTemporaryDir>();
    m_log = std::make_unique<CDebugLog>(4, false, m_logDir->path().toStdString(), "log");
    g_pDebugLog = m_log.get();
}

void TestSettingsMan::cleanup()
{
    m_db.reset();
    g_pDebugLog = nullptr;
    m_log.reset();
}

// Opens (creating or migrating) the database and a settings manager on it.
std::unique_ptr<CSettingsMan> TestSettingsMan::open(const QString& appName)
{
    m_db.reset();
    int from = -1, to = -1;
    m_db = std::make_unique<CDbMan>(m_dir->path() + "/", from, to);
    if (!m_db->isOk())
        return nullptr;
    return std::make_unique<CSettingsMan>(appName, m_db->database(), from, to);
}

QString TestSettingsMan::logText(bool errors) const
{
    QFile f(m_logDir->filePath(errors ? "log.error" : "log"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

namespace {
// New-database rows other than the app-name, home-folder and address ones.
const QMap<int, QString> kPlainDefaults = {
    {2, "1"},   {5, "0"},   {7, ""},    {8, "0"},    {12, "5000"}, {17, "500"}, {18, ""},
    {22, "0"},  {23, "0"},  {24, "0"},  {26, "0"},   {27, "2"},    {28, "10"},  {29, ""},
    {30, ""},   {31, ""},   {32, ""},   {33, ""},    {34, ""},     {35, ""},    {36, "21060"},
    {37, ""},   {38, ""},   {39, "104"}, {40, ""},   {41, ""},     {42, "104"}, {43, ""},
    {44, "1"},  {45, "3"},  {47, ""},   {49, "60"},  {50, "1"},    {51, "-1"},  {52, "0"},
    {54, ""},   {55, "0"},  {56, "0"},  {57, "0"},   {58, "0"},    {59, "0"},   {60, "0"},
    {61, "0"},  {63, "0"},  {64, "9400"}, {65, "127.0.0.1"}, {66, "0"}, {68, "1"}, {69, "0"},
    {70, ""},   {71, ""},   {72, "0"},  {73, ""},    {74, "0"},    {75, "0"},   {76, "0"},
};

QMap<int, QString> storedRows(const QString& path)
{
    QMap<int, QString> out;
    for (const QString& r : rowsOf(path, "select oid, value from systemTable")) {
        const int bar = r.indexOf('|');
        out.insert(r.left(bar).toInt(), r.mid(bar + 1));
    }
    return out;
}
}

void TestSettingsMan::newDatabaseRows_data()
{
    QTest::addColumn<QString>("appName");
    QTest::addColumn<int>("displayMode");
    QTest::addColumn<int>("oid62");
    QTest::newRow("program") << "MalvorantQml" << 3 << 14;
    QTest::newRow("light") << "Sornhap Light" << 1 << 0;
    QTest::newRow("any case") << "sORNHAPx" << 3 << 0;
    QTest::newRow("short") << "Sornha" << 3 << 14;
}

void TestSettingsMan::newDatabaseRows()
{
    QFETCH(QString, appName);
    QFETCH(int, displayMode);
    QFETCH(int, oid62);
    auto s = open(appName);
    QVERIFY(s && s->isOk());

    QMap<int, QString> expected = kPlainDefaults;
    expected[1] = "16";
    expected[9] = QDir::homePath();
    expected[21] = QDir::homePath();
    expected[11] = QString::number(displayMode);
    expected[62] = QString::number(oid62);
    expected[16] = CSettingsMan::kDefaultGatewayUrl;
    expected[46] = CSettingsMan::kDefaultQvlUrl;
    QMap<int, QString> stored = storedRows(dbPath());
    // The enciphered rows hold fresh cipher texts of the empty text.
    CStringCipher cipher(CSettingsMan::kCipherKey);
    for (int oid : {4, 48}) {
        QCOMPARE(stored.value(oid).size(), 8);
        QCOMPARE(cipher.decryptText(stored.take(oid)), QString());
        QCOMPARE(cipher.lastError(), 0);
    }
    QCOMPARE(stored, expected);

    QCOMPARE(s->ecgDisplayMode, displayMode);
    QCOMPARE(s->intOid62, oid62);
    QCOMPARE(s->patientId, 1);
    QCOMPARE(s->fileId, -1);
    QCOMPARE(s->dcmModalityPort, 21060);
    QCOMPARE(s->showIndicatorHints, true);
    QCOMPARE(s->selectedSpecies, 0);
    QCOMPARE(s->qvlUrl, QString(CSettingsMan::kDefaultQvlUrl));
    QCOMPARE(s->streamHost, QString("127.0.0.1"));
    QCOMPARE(s->appVersionNumber, QString("0"));
    QCOMPARE(s->qvlPwd, QString());
    QVERIFY(logText().contains("CSettingsMan::createDatabaseContents() finished"));
}

void TestSettingsMan::upgradeFromVersion1AddsLaterRows()
{
    QCOMPARE(buildOldDatabase(dbPath(), 1), QString());
    const QMap<int, QString> before = storedRows(dbPath());
    auto s = open();
    QVERIFY(s && s->isOk());
    QMap<int, QString> after = storedRows(dbPath());
    QCOMPARE(after.take(1), QString("16"));
    QMap<int, QString> added;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.contains(it.key()))
            QCOMPARE(it.value(), before.value(it.key())); // kept as they were
        else
            added.insert(it.key(), it.value());
    }
    const QMap<int, QString> upgradeValues = {
        {57, "0"}, {58, "0"}, {59, "0"}, {60, "0"}, {61, "0"}, {62, "14"}, {63, "0"},
        {64, "9400"}, {65, "127.0.0.1"}, {66, "0"}, {68, "1"}, {69, "1"}, {70, ""},
        {71, ""}, {72, "0"}, {73, ""}, {74, "0"}, {75, "0"}, {76, "0"}};
    QCOMPARE(added, upgradeValues);
    QVERIFY(logText().contains("CSettingsMan::upgradeDatabaseContent() started for new version=15"));

    // Older rows read as before: a text an older program stored as an integer,
    // a doubled apostrophe undone by SQLite.
    QCOMPARE(s->dcmModalityName, QString("42"));
    QCOMPARE(s->qvlUserName, QString("vet's account"));
    QCOMPARE(s->gain, 170);
    QCOMPARE(s->selectedSpecies, 1);
    QCOMPARE(s->qvlPwd, QString());
}

void TestSettingsMan::missingRowsAreAddedWithDefaults()
{
    {
        auto s = open();
        QVERIFY(s);
    }
    m_db.reset();
    QCOMPARE(execOn(dbPath(), {"delete from systemTable where oid in (17, 47, 48, 69)",
                               "update systemTable set value=321 where oid=12"}),
             QString());
    auto s = open();
    QVERIFY(s && s->isOk());
    const QMap<int, QString> stored = storedRows(dbPath());
    QCOMPARE(stored.value(17), QString("500"));
    QCOMPARE(stored.value(47), QString(""));
    QCOMPARE(stored.value(69), QString("0"));
    QVERIFY(stored.contains(48));
    QCOMPARE(s->speed, 321);
    QCOMPARE(s->gain, 500);
}

void TestSettingsMan::textsRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("apostrophes") << "O'Brien's 'vet'";
    QTest::newRow("backslashes") << "C:\\Users\\vet\\n";
    QTest::newRow("double quotes") << "say \"hello\"";
    QTest::newRow("line breaks") << "line1\nline2\r\nline3";
    QTest::newRow("non-ascii") << QString::fromUtf8("Tierärztin Ærø 獣医 \U0001F436");
    QTest::newRow("all digits") << "0042";
    QTest::newRow("number-like") << " 7.50";
    QTest::newRow("exponent") << "1e5";
    QTest::newRow("empty") << "";
    QTest::newRow("sql") << "x'); drop table systemTable; --";
}

void TestSettingsMan::textsRoundTrip()
{
    QFETCH(QString, text);
    {
        auto s = open();
        QVERIFY(s);
        s->bzdevice = text;            // 0x1
        s->addressLine3 = text;        // 0x20
        s->dcmModalityName = text;     // 0x40
        s->dcmMwlTitle = text;
        s->qvlUserName = text;         // 0x80
        s->qvlPwd = text;              // 0x80, enciphered
        s->cipherOid4 = text;          // 0x8, enciphered
        s->textOid9 = text;            // 0x10
        s->modifiedToken = text;
        QVERIFY(s->saveSettings(0x1 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80));
        QVERIFY(s->writeValue(70, 0, text));
    }
    auto s = open();
    QVERIFY(s && s->isOk());
    for (const QString* v : {&s->bzdevice, &s->addressLine3, &s->dcmModalityName, &s->dcmMwlTitle,
                             &s->qvlUserName, &s->qvlPwd, &s->cipherOid4, &s->textOid9,
                             &s->modifiedToken, &s->customerId})
        QCOMPARE(*v, text);
    s->qvlUserName = "changed";
    QVERIFY(s->readValue(47));
    QCOMPARE(s->qvlUserName, text);
    QVERIFY(s->readValue(7));
    QCOMPARE(s->bzdevice, text);
}

void TestSettingsMan::secretsAreNeverPlain()
{
    const QString secret = QString::fromUtf8("Pässwort-0042-hunter2");
    QString firstCipher;
    {
        auto s = open();
        QVERIFY(s);
        s->qvlPwd = secret;
        s->cipherOid4 = secret;
        QVERIFY(s->saveSettings(0x80 | 0x8));
        firstCipher = storedRows(dbPath()).value(48);
        QVERIFY(s->saveSettings(0x80));
    }
    m_db.reset();
    const QString secondCipher = storedRows(dbPath()).value(48);
    QVERIFY(firstCipher != secondCipher); // a fresh random byte each save
    CStringCipher cipher(CSettingsMan::kCipherKey);
    QCOMPARE(cipher.decryptText(firstCipher), secret);
    QCOMPARE(cipher.decryptText(secondCipher), secret);

    auto s = open();
    QCOMPARE(s->qvlPwd, secret);
    QCOMPARE(s->cipherOid4, secret);
    m_db.reset();
    s.reset();

    for (const QByteArray& plain : {secret.toUtf8(), QByteArray("hunter2")}) {
        QVERIFY(!fileBytes(dbPath()).contains(plain));
        QVERIFY(!logText().toUtf8().contains(plain));
        QVERIFY(!logText(true).toUtf8().contains(plain));
    }
}

void TestSettingsMan::saveWritesOnlyMaskedCategories()
{
    {
        auto s = open();
        s->patientId = 7;           // 0x1
        s->gain = 1000;             // 0x2
        s->streamPort = 1;          // 0x8
        s->intOid8 = 1;             // 0x10
        s->addressLine1 = "a";      // 0x20
        s->dcmPacsPort = 1;         // 0x40
        s->qvlAccountVerified = 1;  // 0x80
        s->tucAccepted = 1;         // 0x100
        s->intOid62 = 99;           // never saved
        s->upgradeAttemptCount = 5; // never saved
        s->showIndicatorHints = false;
        QVERIFY(s->saveSettings(0));
        QVERIFY(s->saveSettings(0x3));
    }
    auto s = open();
    QCOMPARE(s->patientId, 7);
    QCOMPARE(s->gain, 1000);
    QCOMPARE(s->showIndicatorHints, false);
    QCOMPARE(s->streamPort, 9400);
    QCOMPARE(s->intOid8, 0);
    QCOMPARE(s->addressLine1, QString());
    QCOMPARE(s->dcmPacsPort, 104);
    QCOMPARE(s->qvlAccountVerified, 0);
    QCOMPARE(s->tucAccepted, 0);
    QCOMPARE(s->intOid62, 14);
    QCOMPARE(s->upgradeAttemptCount, 0);
    QVERIFY(logText().contains("CSettingsMan::saveSettings(), updateMask=0"));
    QVERIFY(logText().contains("CSettingsMan::saveSettings() storing uncategorized settings patientId=7, fileId=-1, recordingSeconds=60"));
    QVERIFY(logText().contains("CSettingsMan::saveSettings() storing display settings"));

    s->tucAccepted = 1;
    s->dcmPacsPort = 11112;
    QVERIFY(s->saveSettings(0x100 | 0x40));
    QCOMPARE(storedRows(dbPath()).value(61), QString("1"));
    QCOMPARE(storedRows(dbPath()).value(42), QString("11112"));
}

void TestSettingsMan::failedSaveRollsBack()
{
    auto s = open();
    QSqlQuery q(*m_db->database());
    QVERIFY(q.exec("create trigger refuse before insert on systemTable when new.oid = 45 "
                   "begin select raise(abort, 'refused'); end"));
    s->patientId = 42; // 0x1 is written before 0x2
    s->gain = 250;
    s->ecgGridIdx = 1; // oid 45 fails
    QVERIFY(!s->saveSettings(0x1 | 0x2));
    const QMap<int, QString> stored = storedRows(dbPath());
    QCOMPARE(stored.value(2), QString("1"));
    QCOMPARE(stored.value(17), QString("500"));
    QVERIFY(logText(true).contains("CSettingsMan::saveSettings() unable to store oid=45"));
    QVERIFY(q.exec("drop trigger refuse"));
    QVERIFY(s->saveSettings(0x1 | 0x2));
    QCOMPARE(storedRows(dbPath()).value(45), QString("1"));
}

void TestSettingsMan::singleValues()
{
    auto s = open();
    QVERIFY(!s->readValue(2));
    QCOMPARE(s->patientId, 1);
    QVERIFY(!s->writeValue(5, 9, "x"));
    QCOMPARE(storedRows(dbPath()).value(5), QString("0"));

    QVERIFY(s->writeValue(72, 3, "ignored"));
    QVERIFY(s->writeValue(73, 99, "2026-12-10 13:00"));
    QVERIFY(s->writeValue(76, 0, "8.0.2"));
    QCOMPARE(s->upgradeAttemptCount, 0); // the row, not the member
    QVERIFY(s->readValue(72));
    QVERIFY(s->readValue(73));
    QVERIFY(s->readValue(76));
    QCOMPARE(s->upgradeAttemptCount, 3);
    QCOMPARE(s->lastUpgradeAttempt, QString("2026-12-10 13:00"));
    QCOMPARE(s->appVersionNumber, QString("8.0.2"));
    QVERIFY(s->writeValue(74, 0, QString()));
    QCOMPARE(storedRows(dbPath()).value(74), QString("0"));

    QCOMPARE(execOn(dbPath(), {"delete from systemTable where oid=71"}), QString());
    QVERIFY(!s->readValue(71));
}

void TestSettingsMan::unknownOidsAreReported()
{
    {
        auto s = open();
    }
    m_db.reset();
    QCOMPARE(execOn(dbPath(), {"insert into systemTable values (0, 5)", "insert into systemTable values (77, 5)",
                               "insert into systemTable values (53, 5)"}),
             QString());
    auto s = open();
    QVERIFY(s->isOk());
    const QString errors = logText(true);
    QVERIFY(errors.contains("unable to process system table entry oid=0\n"));
    QVERIFY(errors.contains("unable to process system table entry oid=77\n"));
    QVERIFY(!errors.contains("oid=1\n"));
    QVERIFY(!errors.contains("oid=53\n"));
}

void TestSettingsMan::closedDatabaseIsReported()
{
    QSqlDatabase closed = QSqlDatabase::addDatabase("QSQLITE", "closedOne");
    {
        CSettingsMan s("MalvorantQml", &closed, 15, 15);
        QVERIFY(!s.isOk());
        QCOMPARE(s.gain, 500); // members keep their defaults
        QVERIFY(!s.saveSettings(0x2));
    }
    closed = QSqlDatabase();
    QSqlDatabase::removeDatabase("closedOne");
}

void TestSettingsMan::localAddresses_data()
{
    using NI = QNetworkInterface;
    const unsigned usable = NI::IsUp | NI::IsRunning | NI::CanBroadcast;
    QTest::addColumn<unsigned>("flags1");
    QTest::addColumn<QStringList>("addresses1");
    QTest::addColumn<unsigned>("flags2");
    QTest::addColumn<QStringList>("addresses2");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two usable") << usable << QStringList{"192.168.1.5"} << (usable | NI::CanMulticast)
                                << QStringList{"10.0.0.2", "fe80::1"} << "192.168.1.5 or 10.0.0.2";
    QTest::newRow("loopback flag") << (usable | NI::IsLoopBack) << QStringList{"192.168.1.5"} << usable
                                   << QStringList{} << "";
    QTest::newRow("no broadcast") << unsigned(NI::IsUp | NI::IsRunning) << QStringList{"192.168.1.5"}
                                  << usable << QStringList{"127.0.0.1", "169.254.3.4", "::1"} << "";
    QTest::newRow("point to point") << (usable | NI::IsPointToPoint) << QStringList{"10.1.1.1"} << usable
                                    << QStringList{"172.16.0.9"} << "10.1.1.1 or 172.16.0.9"; // only the four lowest flags count
}

void TestSettingsMan::localAddresses()
{
    QFETCH(unsigned, flags1);
    QFETCH(QStringList, addresses1);
    QFETCH(unsigned, flags2);
    QFETCH(QStringList, addresses2);
    QFETCH(QString, expected);
    QCOMPARE(CSettingsMan::formatLocalIpv4Addresses({{flags1, addresses1}, {flags2, addresses2}}), expected);
    // The live list never holds loopback or link-local addresses.
    auto s = open();
    const QString live = s->listLocalIpv4Addresses();
    QVERIFY(!live.contains("127.") || live.contains(".127."));
    QVERIFY(!live.startsWith("169.254."));
}

QTEST_GUILESS_MAIN(TestSettingsMan)
#include "tst_settingsman.moc"
