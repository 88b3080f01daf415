// The records of a .ecg file as they stand on the disk, read past the file's
// own reader, so a test sees what a cut-short run really left.
#ifndef MALVORANT_TESTS_ECGFILERECORDS_H
#define MALVORANT_TESTS_ECGFILERECORDS_H

#include "ecgrecords.h"
#include "fileecg.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QVector>

#include <cstring>

// The whole records of the file, none when it can't be read.
inline QVector<EcgFileRecord> fileRecords(const QString& path)
{
    QVector<EcgFileRecord> records;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < CFileEcg::kDataStartV2)
        return records;
    f.seek(CFileEcg::kDataStartV2);
    const QByteArray data = f.readAll();
    records.resize(data.size() / qsizetype(sizeof(EcgFileRecord)));
    // A file killed right after its header holds no record.
    if (records.isEmpty())
        return records;
    std::memcpy(records.data(), data.constData(), std::size_t(records.size()) * sizeof(EcgFileRecord));
    return records;
}

// The records' types, in order.
inline QVector<int> recordTypes(const QString& path)
{
    QVector<int> types;
    for (const EcgFileRecord& r : fileRecords(path))
        types << r.type;
    return types;
}

// The whole records the file's size holds past its header.
inline int recordsOnDisk(const QString& path)
{
    return int((QFileInfo(path).size() - CFileEcg::kDataStartV2) / qint64(sizeof(EcgFileRecord)));
}

#endif
