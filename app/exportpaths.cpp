#include "exportpaths.h"

#include "fileecg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace exportpaths {

QString localPathOf(const QUrl& url)
{
    return url.toLocalFile();
}

QString safeFileNamePart(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const bool bad = c.unicode() < 0x20 || c.unicode() == 0x7f
            || QStringLiteral("/\\:*?\"<>|").contains(c);
        out += bad ? QLatin1Char('_') : c;
    }
    return out;
}

QString dicomFileNameOf(const QString& fileName)
{
    return QFileInfo(fileName).baseName() + QStringLiteral(".dce");
}

QString exportDataName(const QString& patientName, const QString& fileName)
{
    return safeFileNamePart(patientName) + QLatin1Char('_') + safeFileNamePart(fileName);
}

QString exportDicomName(const QString& patientName, const QString& fileName)
{
    return safeFileNamePart(patientName) + QLatin1Char('_')
           + safeFileNamePart(dicomFileNameOf(fileName));
}

QString exportDataPath(const QString& folder, const QString& patientName, const QString& fileName)
{
    return QDir(folder).filePath(exportDataName(patientName, fileName));
}

QString exportDicomPath(const QString& folder, const QString& patientName, const QString& fileName)
{
    return QDir(folder).filePath(exportDicomName(patientName, fileName));
}

ImportKind importKindOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ImportKind::Unreadable;
    const QByteArray start = file.read(132);
    const int version = CFileEcg::versionFromStart(
        reinterpret_cast<const unsigned char*>(start.constData()), std::size_t(start.size()));
    if (version == 1 || version == 2)
        return ImportKind::Recording;
    if (start.size() == 132 && start.mid(128, 4) == "DICM")
        return ImportKind::Dicom;
    return ImportKind::Unknown;
}

} // namespace exportpaths
