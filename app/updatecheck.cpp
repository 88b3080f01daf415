#include "updatecheck.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace updatecheck {

qint64 readDottedNumber(const QString& text, int& pos)
{
    qint64 value = 0;
    int digits = 0;
    while (pos < text.size()) {
        const QChar c = text.at(pos++);
        if (c == QLatin1Char('.'))
            continue;
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        if (++digits > kMaxNumberDigits)
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

qint64 ownNumber()
{
    int pos = 0;
    const qint64 version = readDottedNumber(QString::fromLatin1(kVersionText), pos);
    pos = 0;
    const qint64 build = readDottedNumber(QString::fromLatin1(kBuildText), pos);
    return version * 1000 + build;
}

qint64 installerNumber(const QString& fileName)
{
    const QString name = fileName.toLower();
    const int prefixLength = int(qstrlen(kInstallerPrefix));
    if (!name.startsWith(QLatin1String(kInstallerPrefix)))
        return -1;
    int pos = prefixLength;
    const qint64 version = readDottedNumber(name, pos);
    if (version < 0)
        return -1;
    const QString rest = name.mid(pos);
    qint64 build = 0;
    // The build is read only right after a leading "build-".
    if (rest.contains(QLatin1String("build-")) && rest.size() >= 7) {
        int at = 6;
        build = readDottedNumber(rest, at);
        if (build < 0)
            return -1;
    }
    // Both parts are capped, so this cannot overflow.
    return version * 1000 + build;
}

bool offerDue(bool force, const QString& lastUpgradeAttempt, const QDateTime& now)
{
    if (force)
        return true;
    const QDateTime last =
        QDateTime::fromString(lastUpgradeAttempt, QString::fromLatin1(kAttemptReadFormat));
    if (!last.isValid())
        return true;
    return qAbs(last.msecsTo(now)) > kPostponeMs;
}

QStringList newerInstallers(const QString& folder)
{
    QStringList found;
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return found;
    const qint64 own = ownNumber();
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (installerNumber(entry.fileName()) > own)
            found << entry.fileName();
    }
    return found;
}

QString applicationVersionText()
{
    QString build = QString::fromLatin1(kBuildText);
    while (build.size() > 1 && build.startsWith(QLatin1Char('0')))
        build.remove(0, 1);
    return QString::fromLatin1(kVersionText) + QLatin1Char('.') + build;
}

QString servicePropertiesPath(const QString& programDataFolder)
{
    return QDir(programDataFolder).filePath(QStringLiteral("Malvorant/tandrell.properties"));
}

namespace {

QByteArray oneLine(const QString& value)
{
    QString text = value;
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text.toUtf8();
}

} // namespace

QByteArray servicePropertiesText(const ServiceProperties& values)
{
    QByteArray text;
    text += "ApplicationVersion=" + oneLine(applicationVersionText()) + '\n';
    text += "YARLO_SAP_ID=" + oneLine(values.customerId) + '\n';
    text += "SerialNumber=" + oneLine(values.deviceName) + '\n';
    text += "QVLUser=" + oneLine(values.qvlUser) + '\n';
    text += "LastUpgradeAttempt=" + oneLine(values.lastUpgradeAttempt) + '\n';
    text += "UpgradeAttemptCount=" + QByteArray::number(values.upgradeAttemptCount) + '\n';
    return text;
}

bool writeServicePropertiesFile(const QString& path, const ServiceProperties& values)
{
    // Written aside and renamed over, so a reader never sees half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = servicePropertiesText(values);
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace updatecheck
