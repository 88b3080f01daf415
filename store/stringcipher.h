#ifndef MALVORANT_STRINGCIPHER_H
#define MALVORANT_STRINGCIPHER_H

#include <QByteArray>
#include <QString>
#include <cstdint>

// Light symmetric cipher for short setting values: optional compression, a
// checksum or SHA-1 of the payload, one random byte and an XOR chain over the
// key's eight bytes, carried as Base64. The byte format is fixed: existing
// databases hold such texts.
class CStringCipher
{
public:
    enum CompressionMode { CompressionAuto = 0, CompressionAlways = 1, CompressionNever = 2 };
    enum IntegrityMode { ProtectionNone = 0, ProtectionChecksum = 1, ProtectionHash = 2 };
    enum Error {
        ErrorNone = 0,
        ErrorNoKeySet = 1,
        ErrorUnknownVersion = 2,
        ErrorIntegrityFailed = 3,
        ErrorDecompressionFailed = 4
    };

    // Without a key every operation fails with ErrorNoKeySet.
    CStringCipher();
    explicit CStringCipher(std::uint64_t key);

    void setKey();
    void setCompressionMode(int mode) { m_compressionMode = mode; }
    void setIntegrityMode(int mode) { m_integrityMode = mode; }
    int lastError() const { return m_lastError; }

    QByteArray encryptBytes(const QByteArray& plain);
    QString encryptText(const QString& plain);
    QByteArray decryptBytes(const QByteArray& cipher);
    QString decryptText(const QString& cipher);

private:
    std::uint64_t m_key = 0;
    QByteArray m_keyBytes;
    int m_compressionMode = CompressionAuto;
    int m_integrityMode = ProtectionChecksum;
    int m_lastError = ErrorNone;
};

#endif
