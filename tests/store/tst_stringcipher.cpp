#include <QtTest>

#include "settingsman.h"
#include "stringcipher.h"

// Known answers made outside this program (CRC-16/X.25, zlib level 9 with Qt's
// length prefix, SHA-1, the XOR chain) with the settings key.
class TestStringCipher : public QObject
{
    Q_OBJECT
private slots:
    void checksumIsIso3309();
    void knownAnswers_data();
    void knownAnswers();
    void encryptionMatchesFormat_data();
    void encryptionMatchesFormat();
    void emptyTextIsFiveBytes();
    void freshCipherTextEachTime();
    void longTextIsCompressed();
    void anyChangedPayloadByteFails();
    void rejectsOtherVersionsAndShortInput();
    void flagCombinations();
    void wrongKeyFails();
    void noKey();
    void damagedCompressedDataIsAnError();
    void base64WithWhitespace();
};

namespace {
const std::uint64_t kKey = CSettingsMan::kCipherKey;

QByteArray keyBytes()
{
    QByteArray k;
    for (int i = 0; i < 8; ++i)
        k.append(static_cast<char>((kKey >> (8 * i)) & 0xff));
    return k;
}

// The XOR chain, for building and opening test texts by hand.
QByteArray xorChain(const QByteArray& in, bool encipher)
{
    const QByteArray k = keyBytes();
    QByteArray out = in;
    char last = 0;
    for (int i = 0; i < in.size(); ++i) {
        out[i] = static_cast<char>(in[i] ^ k[i % 8] ^ last);
        last = encipher ? out[i] : in[i];
    }
    return out;
}

QByteArray makeCipher(char flags, const QByteArray& payload)
{
    return QByteArray(1, 3) + QByteArray(1, flags) + xorChain(payload, true);
}
}

void TestStringCipher::checksumIsIso3309()
{
    QCOMPARE(qChecksum(QByteArrayView("123456789"), Qt::ChecksumIso3309), quint16(0x906E));
}

void TestStringCipher::knownAnswers_data()
{
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<QString>("plain");
    QTest::newRow("empty, checksum") << "AwLUts0=" << QString();
    QTest::newRow("utf8, checksum") << "AwJzF6vTdrfK/UQHLHLBG3RF4/Vs0b0=" << QString::fromUtf8("Geheim!Passwort\u20ac");
    QTest::newRow("compressed, checksum") << "AwPHkuzTE7uPqaeOucxC96owxadUJpTk" << QString("abc").repeated(100);
    QTest::newRow("sha1") << "AwQrrD77ICosv3H7z4WPjNPCLChsVmK4xfheWVY=" << "secret";
    QTest::newRow("no integrity") << "AwCWhJPNZKM=" << "plain";
    QTest::newRow("digits") << "AwLVQujnF4qg" << "0042";
}

void TestStringCipher::knownAnswers()
{
    QFETCH(QString, cipher);
    QFETCH(QString, plain);
    CStringCipher c(kKey);
    QCOMPARE(c.decryptText(cipher), plain);
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorNone));
}

void TestStringCipher::encryptionMatchesFormat_data()
{
    QTest::addColumn<int>("integrity");
    QTest::addColumn<QString>("plain");
    QTest::newRow("checksum") << 1 << "Passw\u00f6rd 'x' \"y\"";
    QTest::newRow("sha1") << 2 << "secret";
    QTest::newRow("none") << 0 << "plain";
}

// Opens the produced text with the test's own reading of the format.
void TestStringCipher::encryptionMatchesFormat()
{
    QFETCH(int, integrity);
    QFETCH(QString, plain);
    CStringCipher c(kKey);
    c.setIntegrityMode(integrity);
    const QByteArray cipher = QByteArray::fromBase64(c.encryptText(plain).toLatin1());
    QCOMPARE(cipher.at(0), char(3));
    const QByteArray payload = xorChain(cipher.mid(2), false).mid(1);
    const QByteArray data = plain.toUtf8();
    if (integrity == 1) {
        QCOMPARE(cipher.at(1), char(0x02));
        const quint16 sum = qChecksum(QByteArrayView(data), Qt::ChecksumIso3309);
        QCOMPARE(payload.left(2), QByteArray() + char(sum >> 8) + char(sum & 0xff));
        QCOMPARE(payload.mid(2), data);
    } else if (integrity == 2) {
        QCOMPARE(cipher.at(1), char(0x04));
        QCOMPARE(payload.left(20), QCryptographicHash::hash(data, QCryptographicHash::Sha1));
        QCOMPARE(payload.mid(20), data);
    } else {
        QCOMPARE(cipher.at(1), char(0));
        QCOMPARE(payload, data);
    }
}

void TestStringCipher::emptyTextIsFiveBytes()
{
    CStringCipher c(kKey);
    const QString text = c.encryptText(QString());
    QCOMPARE(text.size(), 8);
    QVERIFY(text.endsWith("=") && !text.endsWith("=="));
    QCOMPARE(QByteArray::fromBase64(text.toLatin1()).at(1), char(0x02));
    QCOMPARE(c.decryptText(text), QString());
    QCOMPARE(c.lastError(), 0);
}

void TestStringCipher::freshCipherTextEachTime()
{
    CStringCipher c(kKey);
    QSet<QString> seen;
    for (int i = 0; i < 16; ++i) {
        const QString t = c.encryptText("same");
        QCOMPARE(c.decryptText(t), QString("same"));
        seen.insert(t);
    }
    QVERIFY(seen.size() > 1);
}

void TestStringCipher::longTextIsCompressed()
{
    CStringCipher c(kKey);
    const QString plain = QString("0123456789").repeated(50);
    const QByteArray cipher = c.encryptBytes(plain.toUtf8());
    QVERIFY(cipher.at(1) & 0x01);
    QVERIFY(cipher.size() < plain.size());
    QCOMPARE(QString::fromUtf8(c.decryptBytes(cipher)), plain);

    c.setCompressionMode(CStringCipher::CompressionAlways);
    const QByteArray always = c.encryptBytes(QByteArray());
    QVERIFY(always.at(1) & 0x01);
    QCOMPARE(c.decryptBytes(always), QByteArray());
    QCOMPARE(c.lastError(), 0);

    c.setCompressionMode(CStringCipher::CompressionNever);
    QVERIFY(!(c.encryptBytes(plain.toUtf8()).at(1) & 0x01));
}

void TestStringCipher::anyChangedPayloadByteFails()
{
    CStringCipher c(kKey);
    const QByteArray cipher = c.encryptBytes("a password");
    for (int i = 2; i < cipher.size(); ++i) {
        QByteArray damaged = cipher;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x10);
        QCOMPARE(c.decryptBytes(damaged), QByteArray());
        QCOMPARE(c.lastError(), int(CStringCipher::ErrorIntegrityFailed));
    }
}

void TestStringCipher::rejectsOtherVersionsAndShortInput()
{
    CStringCipher c(kKey);
    QByteArray cipher = c.encryptBytes("x");
    cipher[0] = 2;
    QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");
    QCOMPARE(c.decryptBytes(cipher), QByteArray());
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorUnknownVersion));
    // Too short: empty, last error untouched, nothing written.
    QCOMPARE(c.decryptBytes(QByteArray("\x03\x02", 2)), QByteArray());
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorUnknownVersion));
    QCOMPARE(c.decryptBytes(QByteArray("\x03", 1)), QByteArray());
    // A plain text in an enciphered row loads as the empty text.
    QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");
    QCOMPARE(c.decryptText("hunter2"), QString());
}

void TestStringCipher::flagCombinations()
{
    CStringCipher c(kKey);
    QCOMPARE(c.decryptBytes(makeCipher(0, QByteArray("\x55", 1) + "unchecked")), QByteArray("unchecked"));
    // Checksum and hash flags together: only the checksum is checked and the
    // hash bytes stay in front of the data.
    const QByteArray data = QByteArray(20, 'h') + "tail";
    const quint16 sum = qChecksum(QByteArrayView(data), Qt::ChecksumIso3309);
    const QByteArray payload = QByteArray(1, 7) + char(sum >> 8) + char(sum & 0xff) + data;
    QCOMPARE(c.decryptBytes(makeCipher(0x06, payload)), data);
    // A checksum flag with no room for the checksum.
    QCOMPARE(c.decryptBytes(makeCipher(0x02, QByteArray(2, 'a'))), QByteArray());
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorIntegrityFailed));
    QCOMPARE(c.decryptBytes(makeCipher(0x04, QByteArray(10, 'a'))), QByteArray());
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorIntegrityFailed));
}

void TestStringCipher::wrongKeyFails()
{
    CStringCipher right(kKey);
    CStringCipher wrong(kKey ^ 0x0101010101010101ULL);
    int failures = 0;
    for (int i = 0; i < 20; ++i) {
        const QString t = right.encryptText(QString("secret %1").arg(i));
        if (wrong.decryptText(t).isEmpty() && wrong.lastError() == CStringCipher::ErrorIntegrityFailed)
            ++failures;
    }
    QVERIFY(failures >= 19); // a 16-bit checksum may match by chance
}

void TestStringCipher::noKey()
{
    CStringCipher c;
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QCOMPARE(c.encryptBytes("x"), QByteArray());
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorNoKeySet));
    QTest::ignoreMessage(QtWarningMsg, "No key set.");
    QCOMPARE(c.decryptText("AwLUts0="), QString());
}

void TestStringCipher::damagedCompressedDataIsAnError()
{
    CStringCipher c(kKey);
    // Says 100 bytes follow compressed, but the stream is garbage; its checksum is right.
    const QByteArray data = QByteArray("\x00\x00\x00\x64", 4) + "not a zlib stream";
    const quint16 sum = qChecksum(QByteArrayView(data), Qt::ChecksumIso3309);
    const QByteArray payload = QByteArray(1, 1) + char(sum >> 8) + char(sum & 0xff) + data;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("qUncompress"));
    QCOMPARE(c.decryptBytes(makeCipher(0x03, payload)), QByteArray());
    QCOMPARE(c.lastError(), int(CStringCipher::ErrorDecompressionFailed));
}

void TestStringCipher::base64WithWhitespace()
{
    CStringCipher c(kKey);
    QCOMPARE(c.decryptText(" AwJzF6vTdrfK/UQH\nLHLBG3RF4/Vs0b0=\r\n"), QString::fromUtf8("Geheim!Passwort\u20ac"));
}

QTEST_GUILESS_MAIN(TestStringCipher)
#include "tst_stringcipher.moc"
