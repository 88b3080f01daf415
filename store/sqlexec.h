#ifndef MALVORANT_SQLEXEC_H
#define MALVORANT_SQLEXEC_H

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

// Prepares sql on the query, binds values in order and runs it. The statement
// is logged at level 2; a failure writes an error line that begins with
// `where` and holds the driver's text. Returns whether the statement ran.
bool runQuery(QSqlQuery& query, const QString& sql, const QVariantList& values, const char* where);

#endif
