#include "registryoptions.h"

#include <QSettings>

namespace platform {

QVariant readRegistryOption(const QString& name)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QStringLiteral("Yarlo-Telemedicine"), QStringLiteral("Malvorant-Ecg"));
    settings.beginGroup(QStringLiteral("Options"));
    return settings.value(name);
}

} // namespace platform
