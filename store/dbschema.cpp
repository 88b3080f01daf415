#include "dbschema.h"

#include <QHash>

namespace {

// Column expressions shared by the views; t1 is the base table, t2 speciesTable.
const char* const kNamePart = "upper(substr(t1.patientName, 1, 1))";
const char* const kWeightUnit =
    "case t1.weightUnit when 0 then 'Kg' when 1 then 'Lb' else 'Unknown' end";
const char* const kSex15 =
    "case t1.sex when 1 then 'Male' when 2 then 'Female' when 3 then 'Male, Neutered' "
    "when 4 then 'Female, Spayed' when 0 then 'Unknown' else 'Not Specified' end";
const char* const kSexOld = "case t1.sex when 1 then 'Male' when 2 then 'Female' else 'Unknown' end";
const char* const kBirthday = "date(t1.birthdate, 'unixepoch')";
const char* const kAgeYears =
    "case when t1.birthdate = 0 then '' else (strftime('%s', 'now')-t1.birthdate)/31557600 end";
const char* const kAgeMonths =
    "case when t1.birthdate = 0 then '' else (((strftime('%s', 'now')-t1.birthdate)/2629800)%12) end";

QString caseStatus(const QString& column)
{
    return QStringLiteral("case %1 when 0 then 'unfiled' when 1 then 'started' when 3 then 'received' "
                          "when 4 then 'receipt failure' when 5 then 'in process' "
                          "when 6 then 'needs attention' when 7 then 'cancelled' "
                          "when 8 then 'completed' when 9 then 'pending upload' "
                          "else 'initializing' end")
        .arg(column);
}

QString sexText(int form)
{
    return QLatin1String(form >= 15 ? kSex15 : kSexOld);
}

// extId, patientName, namePart, ownerFirst, ownerLast, species, breed, weight,
// weightUnit, sex, birthday, ageYears, ageMonths.
QString patientBlock(int form)
{
    return QStringLiteral("t1.extId as extId, t1.patientName as patientName, %1 as namePart, "
                          "t1.ownerFirst as ownerFirst, t1.ownerLast as ownerLast, "
                          "t2.species as species, t1.breed as breed, t1.weight as weight, "
                          "%2 as weightUnit, %3 as sex, %4 as birthday, %5 as ageYears, "
                          "%6 as ageMonths")
        .arg(QLatin1String(kNamePart), QLatin1String(kWeightUnit), sexText(form),
             QLatin1String(kBirthday), QLatin1String(kAgeYears), QLatin1String(kAgeMonths));
}

// The columns after the name in the recording-shaped lists (ecgViewQmlKx, pacsViewQmlKx).
QString recordingBlock(int form)
{
    return QStringLiteral("t1.ownerFirst as ownerFirst, t1.ownerLast as ownerLast, "
                          "t2.species as species, t1.breed as breed, t1.weight as weight, "
                          "%1 as weightUnit, %2 as sex, %3 as birthday, %4 as ageYears, "
                          "%5 as ageMonths")
        .arg(QLatin1String(kWeightUnit), sexText(form), QLatin1String(kBirthday),
             QLatin1String(kAgeYears), QLatin1String(kAgeMonths));
}

QString speciesJoin(const QString& table)
{
    return QStringLiteral(" from %1 t1 inner join speciesTable t2 on t1.species = t2.id").arg(table);
}

const QString kStudyDate = QStringLiteral("datetime(t1.tsStudy, 'unixepoch') as studyDate");

// The telemedicine chain's progress: 1 once the service took the file for the
// recording's current case (a new case sets it back to 0).
const char* const kFileAddedColumn = "qvlFileAdded int default 0";
// The recording's own samples, without the lead-in, the trailer and the
// device's events; -1 until counted from its file.
const char* const kSampleCountColumn = "sampleCount int default -1";

}

namespace DbSchema {

QStringList tableNames()
{
    return {"systemTable",    "speciesTable",  "breedTable",     "patientTable", "ecgTable",
            "pacsTable",      "worklistTable", "discoveryTable", "pictureTable", "cloudTable"};
}

QStringList viewNames()
{
    return {"patientViewQml",    "ecgViewQml",        "pacsViewQml",   "worklistViewQml",
            "patientViewQmlKx",  "worklistViewQmlKx", "ecgViewQmlKx",  "pacsViewQmlKx",
            "cloudViewQml"};
}

QString createTable(const QString& table, int form)
{
    // The query-result tables share their columns; patient and owner names are
    // required in pacsTable only.
    auto queryTable = [](const QString& name, const char* nameType) {
        return QStringLiteral("create table %1 (idx integer default 0, extId text default '', "
                              "otherExtIds text default '', patientName %2, ownerFirst %2, "
                              "ownerLast %2, accno text default '', species int default 0, "
                              "sex int default 0, birthdate int default 0, breed text default '', "
                              "weight int default 0, weightUnit int default 0, "
                              "tsStudy integer unsigned default 0, sUuid text default '')")
            .arg(name, QLatin1String(nameType));
    };
    if (table == "systemTable")
        return "create table systemTable (oid int primary key, value int)";
    if (table == "speciesTable")
        return "create table speciesTable (id integer primary key, species text not null, "
               "hasBreedList int default 0)";
    if (table == "breedTable")
        return "create table breedTable (id integer primary key, speciesId integer, "
               "breed text not null)";
    if (table == "patientTable")
        return "create table patientTable (patientId integer primary key autoincrement, "
               "extId text default '', otherExtIds text default '', patientName text not null, "
               "ownerFirst text not null, ownerLast text not null, species int default 0, "
               "sex int default 0, birthdate int default 0, breed text default '', "
               "weight int default 0, weightUnit int default 0, pendingStudyUuid text default '', "
               "latestTransmittedQvlFileId int default 0, latestTransmittedQvlCaseId text default '', "
               "latestTransmittedQvlCaseStatus int default 0, "
               "tsLastChanged integer unsigned default 0)";
    if (table == "ecgTable")
        return QStringLiteral("create table ecgTable (ecgId integer primary key autoincrement, "
               "cloudFileId int default 0, selectedFlag int default 0, patientId int default 0, "
               "ecgTime int default 0, fileSize int default 0, fileName text default '', "
               "qvlCaseId text default '', qvlCaseUrl text default '', qvlCaseStatus int default 0, "
               "pacsStatus int default 0, pacsTs int default 0, pacsStudyUuid text default '', "
               "tsLastChanged int default 0")
            + (form >= 16 ? QStringLiteral(", ") + QLatin1String(kFileAddedColumn) : QString())
            + (form >= 18 ? QStringLiteral(", ") + QLatin1String(kSampleCountColumn) : QString())
            + QLatin1Char(')');
    if (table == "pacsTable")
        return queryTable(table, "text not null");
    if (table == "worklistTable")
        return queryTable(table, "text default ''");
    if (table == "discoveryTable")
        return "create table discoveryTable (idx integer default 0, source int default 0, "
               "device text default '', mac text default '', patient text default '', "
               "owner text default '', patientId text default '', internals text default '')";
    if (table == "pictureTable")
        return "create table pictureTable (idx integer primary key autoincrement, "
               "patientId int default 0, ecgId int default 0, imgPath text default '', "
               "imgType int default 1, tsPhotoTaken integer unsigned default 0)";
    if (table == "cloudTable")
        return "create table cloudTable (idx integer default 0, cloudFileId int default 0, "
               "deleteFlag int default 0, extId text default '', patientName text not null, "
               "ownerFirst text not null, ownerLast text not null, species int default 0, "
               "sex int default 0, birthdate int default 0, breed text default '', "
               "weight int default 0, weightUnit int default 0, "
               "tsStudy integer unsigned default 0)";
    return {};
}

QString createView(const QString& view, int form)
{
    QString select;
    if (view == "patientViewQmlKx") {
        select = "t1.patientId as id, " + patientBlock(form)
            + ", '' as studyDate, '' as sUuid, t1.latestTransmittedQvlCaseId as qvlCaseId, "
            + caseStatus("t1.latestTransmittedQvlCaseStatus") + " as qvlCaseStatus"
            + speciesJoin("patientTable");
    } else if (view == "worklistViewQmlKx") {
        select = "t1.idx as id, " + patientBlock(form) + ", " + kStudyDate
            + ", t1.sUuid as sUuid, '' as qvlCaseId, 'unknown' as qvlCaseStatus"
            + speciesJoin("worklistTable");
    } else if (view == "ecgViewQmlKx") {
        // From 18 the recorded samples once counted; every record before.
        const QString duration = form >= 18
            ? QStringLiteral("cast((250+case when t3.sampleCount >= 0 then t3.sampleCount "
                             "else t3.fileSize end)/500 as int)")
            : form >= 7 ? QStringLiteral("cast((250+t3.fileSize)/500 as int)")
                        : QStringLiteral("cast(t3.fileSize/500 as int)");
        if (form >= 17) {
            // Every recording, also one that waits for its patient (patient 0):
            // its patient columns are empty.
            select = "t3.ecgId as id, coalesce(t1.extId, '') as extId, t3.patientId as patientId, "
                     "coalesce(t1.patientName, '') as patientName, "
                     "date(t3.ecgTime, 'unixepoch') as sectionHeader, "
                + recordingBlock(form)
                + ", datetime(t3.ecgTime, 'unixepoch') as studyDate, t3.fileName as fileName, "
                  "t3.qvlCaseId as qvlCaseId, "
                + caseStatus("t3.qvlCaseStatus") + " as qvlCaseStatus, " + duration
                + " as duration from ecgTable t3 left join patientTable t1 on t3.patientId = t1.patientId"
                  " left join speciesTable t2 on t1.species = t2.id";
            return "create view " + view + " as select " + select;
        }
        select = "t3.ecgId as id, t1.extId as extId, t1.patientId as patientId, "
                 "t1.patientName as patientName, date(t3.ecgTime, 'unixepoch') as sectionHeader, "
            + recordingBlock(form)
            + ", datetime(t3.ecgTime, 'unixepoch') as studyDate, t3.fileName as fileName, "
              "t3.qvlCaseId as qvlCaseId, "
            + caseStatus("t3.qvlCaseStatus") + " as qvlCaseStatus, " + duration
            + " as duration from ecgTable t3 inner join patientTable t1 on t3.patientId = t1.patientId"
              " inner join speciesTable t2 on t1.species = t2.id";
    } else if (view == "pacsViewQmlKx") {
        // Same column positions as ecgViewQmlKx: one QML list shows both.
        select = QStringLiteral("t1.idx as id, t1.extId as extId, 0 as patientId, "
                                "t1.patientName as patientName, %1 as sectionHeader, ")
                     .arg(QLatin1String(kNamePart))
            + recordingBlock(form) + ", " + kStudyDate
            + ", t1.sUuid as filename, '' as qvlCaseId, 'unknown' as qvlCaseStatus, '' as duration"
            + speciesJoin("pacsTable");
    } else if (view == "patientViewQml") {
        select = "t1.patientId as patientId, " + patientBlock(form)
            + ", t1.latestTransmittedQvlCaseId as qvlCaseId, "
            + caseStatus("t1.latestTransmittedQvlCaseStatus") + " as qvlCaseStatus"
            + speciesJoin("patientTable");
    } else if (view == "worklistViewQml" || view == "pacsViewQml") {
        select = "t1.idx as idx, " + patientBlock(form) + ", " + kStudyDate + ", t1.sUuid as sUuid"
            + speciesJoin(view == "pacsViewQml" ? "pacsTable" : "worklistTable");
    } else if (view == "cloudViewQml") {
        select = "t1.idx as idx, t1.cloudFileId as cloudFileId, t1.deleteFlag as deleteFlag, "
            + patientBlock(form) + ", " + kStudyDate + speciesJoin("cloudTable");
    } else if (view == "ecgViewQml") {
        select = "patientId, ecgId, fileName, datetime(ecgTime, 'unixepoch') as fileTime, "
                 "(((fileSize * 16)+11000)/1048576) || '.' || "
                 "substr((((fileSize * 16)+11000)%1048576),0,3) || ' MB' as fileSize, "
                 "qvlCaseId, "
            + caseStatus("qvlCaseStatus")
            + " as qvlCaseStatus, datetime(tsLastChanged, 'unixepoch') as lastChangedTime";
        if (form >= 9)
            select += ", cloudFileId, selectedFlag";
        select += " from ecgTable";
    } else {
        return {};
    }
    return "create view " + view + " as select " + select;
}

QStringList createStatements()
{
    QStringList out;
    const QStringList tables = tableNames();
    for (const QString& t : tables)
        if (t != "cloudTable")
            out << createTable(t);
    const QStringList views = viewNames();
    for (const QString& v : views)
        if (v != "cloudViewQml")
            out << createView(v);
    out << createTable("cloudTable") << createView("cloudViewQml");
    return out;
}

QStringList migrationStatements(int from)
{
    // A view that an older program failed to create is not a reason to stop.
    auto recreate = [](const QString& view, int form) {
        return QStringList{"drop view if exists " + view, createView(view, form)};
    };
    switch (from) {
    case 2:
        return recreate("ecgViewQmlKx", 3) + recreate("pacsViewQmlKx", 3);
    case 6:
        return recreate("ecgViewQmlKx", 7);
    case 7:
        return {createTable("discoveryTable")};
    case 8:
        return QStringList{createTable("cloudTable"), createView("cloudViewQml", 9),
                           "alter table ecgTable add column cloudFileId int default 0",
                           "alter table ecgTable add column selectedFlag int default 0"}
            + recreate("ecgViewQml", 9);
    case 14: {
        QStringList out;
        for (const char* v : {"ecgViewQmlKx", "cloudViewQml", "pacsViewQmlKx", "pacsViewQml",
                              "patientViewQmlKx", "patientViewQml", "worklistViewQmlKx",
                              "worklistViewQml"})
            out += recreate(QLatin1String(v), 15);
        return out;
    }
    case 15:
        return {QStringLiteral("alter table ecgTable add column ") + QLatin1String(kFileAddedColumn)};
    case 16:
        return recreate("ecgViewQmlKx", 17);
    case 17:
        return QStringList{QStringLiteral("alter table ecgTable add column ")
                           + QLatin1String(kSampleCountColumn)}
            + recreate("ecgViewQmlKx", 18);
    default:
        return {};
    }
}

QStringList indexStatements()
{
    return {
        // The patient list's order (and the patient manager's list positions).
        "create index if not exists patientTableListIdx on patientTable "
        "(patientName collate nocase, extId)",
        // The recording list, newest first, of all patients and of one.
        "create index if not exists ecgTableStudyDateIdx on ecgTable "
        "(datetime(ecgTime, 'unixepoch'))",
        "create index if not exists ecgTablePatientIdx on ecgTable "
        "(patientId, datetime(ecgTime, 'unixepoch'))",
    };
}

}
