#ifndef MALVORANT_TESTS_QVLCASEROW_H
#define MALVORANT_TESTS_QVLCASEROW_H

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// A recording's case columns as the database holds them.
struct QvlCaseRow
{
    int status = -1;
    QString caseId;
    QString caseUrl;
};

inline QvlCaseRow readCaseRow(QSqlDatabase* db, int ecgId)
{
    QvlCaseRow r;
    QSqlQuery q(*db);
    q.prepare("select qvlCaseStatus, qvlCaseId, qvlCaseUrl from ecgTable where ecgId=?");
    q.addBindValue(ecgId);
    if (q.exec() && q.next()) {
        r.status = q.value(0).toInt();
        r.caseId = q.value(1).toString();
        r.caseUrl = q.value(2).toString();
    }
    return r;
}

#endif
