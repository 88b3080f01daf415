#include "stringcipher.h"

#include <QCryptographicHash>
#include <QRandomGenerator64>
#include <QtDebug>

namespace {
const char kVersion = 3;
const char kFlagCompressed = 0x01;
const char kFlagChecksum = 0x02;
const char kFlagHash = 0x04;
const int kHashSize = 20;

quint16 checksum(const QByteArray& data)
{
    return qChecksum(QByteArrayView(data), Qt::ChecksumIso3309);
}
}

CStringCipher::CStringCipher() = default;

CStringCipher::CStringCipher(std::uint64_t key)
    : m_key(key)
{
    setKey();
}

void CStringCipher::setKey()
{
    m_keyBytes.resize(8);
    for (int i = 0; i < 8; ++i)
        m_keyBytes[i] = static_cast<char>((m_key >> (8 * i)) & 0xff);
}

QByteArray CStringCipher::encryptBytes(const QByteArray& plain)
{
    if (m_keyBytes.isEmpty()) {
        qWarning("No key set.");
        m_lastError = ErrorNoKeySet;
        return {};
    }

    QByteArray data = plain;
    char flags = 0;
    if (m_compressionMode == CompressionAlways) {
        data = qCompress(data, 9);
        flags |= kFlagCompressed;
    } else if (m_compressionMode == CompressionAuto) {
        const QByteArray compressed = qCompress(data, 9);
        if (compressed.size() < data.size()) {
            data = compressed;
            flags |= kFlagCompressed;
        }
    }

    QByteArray integrity;
    if (m_integrityMode == ProtectionChecksum) {
        flags |= kFlagChecksum;
        const quint16 sum = checksum(data);
        integrity.append(static_cast<char>(sum >> 8));
        integrity.append(static_cast<char>(sum & 0xff));
    } else if (m_integrityMode == ProtectionHash) {
        flags |= kFlagHash;
        integrity = QCryptographicHash::hash(data, QCryptographicHash::Sha1);
    }

    const char random = static_cast<char>(QRandomGenerator64::global()->generate() & 0xff);
    QByteArray payload;
    payload.reserve(1 + integrity.size() + data.size());
    payload.append(random);
    payload.append(integrity);
    payload.append(data);

    char last = 0;
    for (qsizetype i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(payload[i] ^ m_keyBytes[i % 8] ^ last);
        last = payload[i];
    }

    QByteArray result;
    result.reserve(2 + payload.size());
    result.append(kVersion);
    result.append(flags);
    result.append(payload);
    m_lastError = ErrorNone;
    return result;
}

QString CStringCipher::encryptText(const QString& plain)
{
    return QString::fromLatin1(encryptBytes(plain.toUtf8()).toBase64());
}

QByteArray CStringCipher::decryptBytes(const QByteArray& cipher)
{
    if (m_keyBytes.isEmpty()) {
        qWarning("No key set.");
        m_lastError = ErrorNoKeySet;
        return {};
    }
    if (cipher.size() < 3)
        return {};
    if (cipher.at(0) != kVersion) {
        m_lastError = ErrorUnknownVersion;
        qWarning("Invalid version or not a cyphertext.");
        return {};
    }

    const char flags = cipher.at(1);
    QByteArray payload = cipher.mid(2);
    char last = 0;
    for (qsizetype i = 0; i < payload.size(); ++i) {
        const char c = payload[i];
        payload[i] = static_cast<char>(c ^ m_keyBytes[i % 8] ^ last);
        last = c;
    }
    QByteArray data = payload.mid(1); // the random byte

    if (flags & kFlagChecksum) {
        if (data.size() < 2) {
            m_lastError = ErrorIntegrityFailed;
            return {};
        }
        const quint16 stored = static_cast<quint16>((static_cast<quint8>(data.at(0)) << 8)
                                                    | static_cast<quint8>(data.at(1)));
        data = data.mid(2);
        if (checksum(data) != stored) {
            m_lastError = ErrorIntegrityFailed;
            return {};
        }
    } else if (flags & kFlagHash) {
        if (data.size() < kHashSize) {
            m_lastError = ErrorIntegrityFailed;
            return {};
        }
        const QByteArray digest = data.left(kHashSize);
        data = data.mid(kHashSize);
        if (QCryptographicHash::hash(data, QCryptographicHash::Sha1) != digest) {
            m_lastError = ErrorIntegrityFailed;
            return {};
        }
    }

    if (flags & kFlagCompressed) {
        // Qt's format: a 4-byte big-endian length, then the zlib stream. An empty
        // result is only right when that length is 0.
        const bool expectEmpty = data.size() >= 4 && data.at(0) == 0 && data.at(1) == 0
            && data.at(2) == 0 && data.at(3) == 0;
        const QByteArray plain = qUncompress(data);
        if (plain.isEmpty() && !expectEmpty) {
            m_lastError = ErrorDecompressionFailed;
            return {};
        }
        data = plain;
    }
    m_lastError = ErrorNone;
    return data;
}

QString CStringCipher::decryptText(const QString& cipher)
{
    // Characters outside the Base64 alphabet (spaces, line breaks) are skipped.
    const QByteArray raw = QByteArray::fromBase64(cipher.toLatin1());
    return QString::fromUtf8(decryptBytes(raw));
}
