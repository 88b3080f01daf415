#ifndef MALVORANT_INSTALLER_H
#define MALVORANT_INSTALLER_H

#include <QString>

namespace platform {

// Folder searched for newer installers: MALVORANT_INSTALLER_DIR when set, else
// the system's temporary folder.
QString installerFolder();

// Starts the installer at path as a program of its own, detached, with no shell
// between: the path is one argument to the system, whatever characters it holds.
// False, with the reason in error, when it could not be started.
bool startInstaller(const QString& path, QString* error = nullptr);

} // namespace platform

#endif
