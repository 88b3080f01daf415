#ifndef MALVORANT_PLATFORMFOLDERS_H
#define MALVORANT_PLATFORMFOLDERS_H

#include <QString>

namespace platform {

// Separator of the entries of the PATH environment variable.
constexpr char kPathListSeparator = ':';

// Full path of the running executable; empty when the system can't give it.
// Usable before the application object exists.
QString executablePath();

// The folder shared by the machine's users for documents, created when missing:
// MALVORANT_PUBLIC_DOCUMENTS when set, else the user's documents folder.
// Empty when it can't be resolved or created.
QString publicDocumentsFolder();

// The machine-wide program-data folder: ALLUSERSPROFILE when set, else the
// user's data folder. Not created here.
QString allUsersProfileFolder();

} // namespace platform

#endif
