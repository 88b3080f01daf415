#ifndef MALVORANT_DICOMUID_H
#define MALVORANT_DICOMUID_H

#include <QString>

// A new DICOM UID under root (DCMTK's site root for instance UIDs when root is
// empty): the root followed by the generator's own numeric components. Returns
// an empty text, with an error line, when root is not a valid UID prefix or
// leaves no room for a complete UID of at most 64 characters.
QString makeDicomUid(const QString& root = QString());

// True for a syntactically valid DICOM UID: 1 to 64 characters, dot-separated
// components of digits, no empty component, no leading zero in a component
// of more than one digit.
bool isValidDicomUid(const QString& uid);

#endif
