#ifndef MALVORANT_TESTS_RECORDINGBYTES_H
#define MALVORANT_TESTS_RECORDINGBYTES_H

#include <QByteArray>

#include <algorithm>

// The content of a recording file as the telemedicine tests need it: a header
// (its sync bytes and version, the rest zero), then at least one record of
// arbitrary bytes. Without the header, bytes that are no recording are refused
// before any upload.
inline QByteArray recordingBytes(qint64 size, quint32 seed)
{
    QByteArray content(std::max<qint64>(size, 16), Qt::Uninitialized);
    quint32 x = seed | 1u;
    for (char& c : content) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return QByteArray::fromHex("AAAAAAAA555555550002") + QByteArray(110000 - 10, '\0') + content;
}

#endif
