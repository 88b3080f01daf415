#ifndef MALVORANT_FILESAFETY_H
#define MALVORANT_FILESAFETY_H

#include <cstdint>
#include <cstdio>
#include <string>

// Durable and private files: what the program writes about patients is
// readable by its owner only and reaches the disk before it is relied upon.
namespace platform {

// Opens path for binary writing from its start (truncating), and for reading
// back what was written; created readable and writable by the owner only;
// null when it can't be opened.
std::FILE* createOwnerOnlyFile(const std::string& path);
// Opens path for appending, created owner-only; an existing file is made owner-only.
std::FILE* appendOwnerOnlyFile(const std::string& path);
// Whether the stream writes to a plain file (not a device or a pipe).
bool isRegularFile(std::FILE* f);
// Makes a file (rw) or a folder (rwx) accessible to its owner only; a shared
// folder (sticky bit, as /tmp) and special files are left as they are.
bool setOwnerOnly(const std::string& path);
// Writes the stream's buffered bytes and waits until the file is on the disk.
bool syncFile(std::FILE* f);
// Waits until the folder's entries (a created or renamed file) are on the disk.
bool syncFolder(const std::string& folder);
// The same for the folder holding a file.
bool syncFolderOf(const std::string& filePath);
// Cuts the file of an open stream to length bytes.
bool truncateFile(std::FILE* f, std::int64_t length);

} // namespace platform

#endif
