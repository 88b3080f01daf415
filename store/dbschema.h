#ifndef MALVORANT_DBSCHEMA_H
#define MALVORANT_DBSCHEMA_H

#include <QString>
#include <QStringList>

// Statements of the database schema. The schema version lives in row oid 1 of
// systemTable; 17 is the version this program writes.
namespace DbSchema {

constexpr int kVersion = 18;
constexpr int kVersionOid = 1;

// "create table ..." of a table in the form it had at schema version
// formVersion (9 or later; only ecgTable changed since, at 16 and 18).
QString createTable(const QString& table, int formVersion = kVersion);
// "create view ..." of a view in the form it had at schema version formVersion
// (views changed at versions 3, 7, 9, 15, 17 and 18; earlier forms differ only
// in the sex text, the recording duration, before 9 the cloud columns of
// ecgViewQml, and before 17 ecgViewQmlKx lists only recordings of patients).
QString createView(const QString& view, int formVersion = kVersion);

// Names in the order a new database creates them.
QStringList tableNames();
QStringList viewNames();
// Every statement of a new database, in order, without the
// version row (which the caller writes last).
QStringList createStatements();

// Statements of the migration step from version `from` to from + 1 (empty for
// the steps that only move the version row).
QStringList migrationStatements(int from);

// Indexes the list views need at size; not part of any schema version, so
// they are created when missing on every start.
QStringList indexStatements();

}

#endif
