#include "sqlexec.h"

#include "debuglog.h"

#include <QSqlError>

bool runQuery(QSqlQuery& query, const QString& sql, const QVariantList& values, const char* where)
{
    debugLog(2, std::string(where) + " " + sql.toStdString());
    if (!query.prepare(sql)) {
        debugLogError(std::string(where) + " unable to prepare \"" + sql.toStdString()
                      + "\", error=" + query.lastError().text().toStdString());
        return false;
    }
    for (const QVariant& value : values) {
        // A null QString would be bound as NULL; an absent text is an empty one.
        if (value.metaType().id() == QMetaType::QString && value.toString().isNull())
            query.addBindValue(QStringLiteral(""));
        else
            query.addBindValue(value);
    }
    if (!query.exec()) {
        debugLogError(std::string(where) + " statement failed \"" + sql.toStdString()
                      + "\", error=" + query.lastError().text().toStdString());
        return false;
    }
    return true;
}
