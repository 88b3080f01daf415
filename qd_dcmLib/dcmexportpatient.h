// The patient an exported or sent recording names: the recording's own
// patient as its row holds it now, so an edit made after the recording counts.
#ifndef MALVORANT_DCMEXPORTPATIENT_H
#define MALVORANT_DCMEXPORTPATIENT_H

#include "dcmwvfpluginorv.h"

#include <QSqlDatabase>
#include <QString>

#include <cstdint>

struct DcmExportPatient
{
    QString patientName;
    QString ownerLastName;
    QString ownerFirstName;
    QString patientId;           // the external id
    int genderCode = 5;          // the program's gender codes; 5 says nothing
    std::int64_t birthTs = 0;    // 00:00 UTC of the birth date, 0 for none
    QString speciesDescription;  // empty: the species chosen for the recording
    QString breedDescription;
    QString weight;              // kilograms, empty when unknown

    // The patient texts of one export (UTF-8) and the study it belongs to.
    TWaveformParams params(const QString& studyUid) const;
};

// The patient of the recording stored under fileName, read on db. A recording
// of patient 0, one the table does not know, or one whose patient is gone
// names no patient (no name, owner, breed or weight). False when the
// statement failed.
bool loadExportPatient(const QSqlDatabase& db, const QString& fileName, DcmExportPatient& patient);

#endif
