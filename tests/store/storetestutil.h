#ifndef MALVORANT_STORETESTUTIL_H
#define MALVORANT_STORETESTUTIL_H

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace StoreTest {

// Settings oids that an older database of `version` already has (rows of
// later versions are added by the settings upgrade).
QList<int> settingsOidsAt(int version);

// Writes a database of schema `version` (0 to 14) at path, built from the
// migration history, holding species, patients, recordings, query rows and
// settings rows. Returns an error text, empty on success.
QString buildOldDatabase(const QString& path, int version);

// Runs statements on a temporary connection to path; returns an error text.
QString execOn(const QString& path, const QStringList& statements);

// Rows of a query on a temporary connection to path, each row's values joined by '|'.
QStringList rowsOf(const QString& path, const QString& query);

// The file's bytes, for checking what is stored in plain.
QByteArray fileBytes(const QString& path);

}

#endif
