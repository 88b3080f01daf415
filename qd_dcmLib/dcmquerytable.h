#ifndef MALVORANT_DCMQUERYTABLE_H
#define MALVORANT_DCMQUERYTABLE_H

#include "dcmfindscu.h"

#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <string>

// Result of a query whose answer could not be written into its table: not a
// DICOM step, so outside the numbered steps (its class is "other failure").
const int kDcmErrResultTable = 9944;

// One worklist or PACS query of the DICOM worker and the rewrite of its
// result table.
struct DcmQueryRequest
{
    bool worklist = true;          // worklistTable, otherwise pacsTable
    std::string host;
    int port = 104;
    std::string calledAeTitle;
    std::string callingAeTitle;
    std::string patientId;
    std::string patientName;
    std::string ownerFirst;
    std::string ownerLast;
    int applicationType = 1;
    // Bounds of the query; 0 keeps the find client's defaults.
    int acseTimeout = 0;
    int dimseTimeout = 0;
    int totalSeconds = 0;
    std::int64_t maxBytes = 0;
    // Ends the query's network waits from another thread; may be null.
    CDcmJobCancel* cancel = nullptr;
};

namespace DcmQueryValues {
// Seconds of a "YYYYMMDD[HHMMSS]" text read as wall-clock time (the form of
// every time column); 0 when it is not a date from 1970 on.
std::int64_t timeStamp(const std::string& dateTime);
// Species number of the patient store, 0 for anything not in its list.
int speciesNumber(const std::string& species);
// The patient store's sex code of Patient's Sex and Sex Neutered: 1 "M",
// 2 "F", 3 "M" altered, 4 "F" altered; 0 for anything else.
int sexNumber(const std::string& sex, const std::string& neutered);
// A Patient's Weight text read in the C locale, as the tables store it (six
// significant digits); 0 when empty, unreadable, not finite or negative.
double weight(const std::string& text);
}

class CDcmQueryTable
{
public:
    static QString tableName(bool worklist);

    // Replaces every row of the table with the find client's records, in one
    // transaction on db (the calling thread's own connection). Gives the
    // number of rows written, or -1 with errorText set; the old rows stay then.
    static int replaceRows(const QSqlDatabase& db, bool worklist, CDcmFindScu& scu,
                           std::string& errorText);
};

// Runs the query and, when it succeeded, the rewrite of its table. Gives the
// job's result code: 0, a DcmErrorCode of the query with errorText
// "findScu(...) returned ...", or kDcmErrResultTable; failure, when given,
// says why in terms the caller can act on.
int runDcmQueryJob(const DcmQueryRequest& request, const QSqlDatabase& db,
                   std::string& errorText, int* rowsWritten = nullptr,
                   DcmFailure* failure = nullptr);

#endif
