#ifndef MALVORANT_STARTUP_H
#define MALVORANT_STARTUP_H

#include <QByteArray>
#include <QString>
#include <optional>

// Base name every running copy of the program carries in its executable name.
inline constexpr char kInstanceName[] = "Malvorant";

// The search path with the folder of exePath in front of oldPath.
// Nothing (no change) when exePath has no folder part or the folder can't be
// one entry of the search path.
std::optional<QByteArray> pathWithExeDir(const QByteArray& exePath, const QByteArray& oldPath);

// Puts the executable's folder in front of PATH; does nothing when PATH is unset.
void prependExeDirToPath();

// True when an executable name is one of this program (case-sensitive).
bool isInstanceName(const QString& executableName);

// True when more than one running process is this program.
bool isAnotherInstanceRunning();

#endif
