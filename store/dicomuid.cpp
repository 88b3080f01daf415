#include "dicomuid.h"

#include "debuglog.h"

#include <QStringList>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>

namespace {

// Room the generator needs after the root for its host, process, time and
// counter components; a longer root would make DCMTK cut the UID short and
// lose the parts that make it unique.
constexpr int kMaxRootLength = 64 - 32;

} // namespace

bool isValidDicomUid(const QString& uid)
{
    if (uid.isEmpty() || uid.size() > 64)
        return false;
    const QStringList parts = uid.split(QLatin1Char('.'));
    for (const QString& part : parts) {
        if (part.isEmpty())
            return false;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        if (part.size() > 1 && part.at(0) == QLatin1Char('0'))
            return false;
    }
    return true;
}

QString makeDicomUid(const QString& root)
{
    const QString prefix = root.isEmpty() ? QStringLiteral(SITE_INSTANCE_UID_ROOT) : root;
    if (!isValidDicomUid(prefix) || prefix.size() > kMaxRootLength) {
        debugLogError("makeDicomUid() unusable UID root " + prefix.toStdString());
        return QString();
    }
    char buffer[100] = {};
    const QByteArray prefixLatin1 = prefix.toLatin1();
    dcmGenerateUniqueIdentifier(buffer, prefixLatin1.constData());
    const QString uid = QString::fromLatin1(buffer);
    if (!isValidDicomUid(uid) || !uid.startsWith(prefix + QLatin1Char('.'))) {
        debugLogError("makeDicomUid() generator returned an invalid UID " + uid.toStdString());
        return QString();
    }
    return uid;
}
