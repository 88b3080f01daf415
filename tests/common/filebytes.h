#ifndef MALVORANT_TESTS_FILEBYTES_H
#define MALVORANT_TESTS_FILEBYTES_H

// Whole-file reads and writes for byte-level checks.

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray readFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

#endif
