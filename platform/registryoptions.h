#ifndef MALVORANT_REGISTRYOPTIONS_H
#define MALVORANT_REGISTRYOPTIONS_H

#include <QString>
#include <QVariant>

namespace platform {

// Read-only access to the per-user options key of the program
// (organisation "Yarlo-Telemedicine", application "Malvorant-Ecg", group
// "Options") in the platform's native settings store.
// Returns an invalid QVariant when the value is not stored.
QVariant readRegistryOption(const QString& name);

} // namespace platform

#endif
