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

// <patient>_<recording file name>: the name of the exported data file.
QString exportDataName(const QString& patientName, const QString& fileName);
// <patient>_<file name up to its first dot>.dce: the name of the DICOM file.
QString exportDicomName(const QString& patientName, const QString& fileName);
// The same names in a folder.
QString exportDataPath(const QString& folder, const QString& patientName, const QString& fileName);
QString exportDicomPath(const QString& folder, const QString& patientName, const QString& fileName);
// The recording's .dce name: its file name up to the first dot, ".dce".
QString dicomFileNameOf(const QString& fileName);

enum class ImportKind { Unreadable, Unknown, Recording, Dicom };

// Chooses the import road by the file's first bytes, not by its name: a
// recording has the sync bytes and version 1 or 2; a DICOM file "DICM" at 128.
ImportKind importKindOf(const QString& path);

} // namespace exportpaths

#endif
