#ifndef MALVORANT_EXPORTPATHS_H
#define MALVORANT_EXPORTPATHS_H

#include <QString>
#include <QUrl>

// Names and kinds of the files that import and export move in and out.
namespace exportpaths {

// The local path of a file or folder URL the user chose (a host gives the
// "//host/..." form).
QString localPathOf(const QUrl& url);

// text with every character a file name can't hold replaced by "_", so a
// patient name can never leave the folder it is put in.
QString safeFileNamePart(const QString& text);

// <folder>/<patient>_<recording file name>
QString exportDataPath(const QString& folder, const QString& patientName, const QString& fileName);
// <folder>/<patient>_<file name up to its first dot>.dce
QString exportDicomPath(const QString& folder, const QString& patientName, const QString& fileName);
// What the export view shows: the recording's name and its .dce name.
QString dicomFileNameOf(const QString& fileName);

enum class ImportKind { Unreadable, Unknown, Recording, Dicom };

// Chooses the import road by the file's first bytes, not by its name: a
// recording has the sync bytes and version 1 or 2; a DICOM file "DICM" at 128.
ImportKind importKindOf(const QString& path);

} // namespace exportpaths

#endif
