#ifndef MALVORANT_TESTS_VIEWDATA_H
#define MALVORANT_TESTS_VIEWDATA_H

#include "sqlutil.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

// Patients, recordings and PACS studies written straight into the program's
// database, for the list views: names with quotes, wildcards and letters
// beyond ASCII among ordinary ones.
namespace viewdata {

inline const QStringList& specialNames()
{
    static const QStringList names{"O'Brien", "100% Fit", "a_b", "Müller", "Zoë", "Søren",
                                   "back\\slash", "\"Quoted\"", "Ümit", "Bella", "bella",
                                   "Max", "Luna", "Rocky", "Daisy", "Charlie"};
    return names;
}

inline QString patientName(int i)
{
    const QStringList& names = specialNames();
    return i < names.size() ? names[i] : names[i % names.size()] + QStringLiteral(" %1").arg(i);
}

// Patients 0..count-1; the first `withRecordings` get two recordings each.
inline bool fill(QSqlDatabase& db, int count, int withRecordings, int pacsRows)
{
    CDbTransaction transaction(db);
    QSqlQuery q(db);
    if (!q.prepare("insert into patientTable (patientName, ownerFirst, ownerLast, extId, species, "
                   "sex, birthdate, breed, weight, weightUnit) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
        return false;
    QSqlQuery r(db);
    if (!r.prepare("insert into ecgTable (patientId, ecgTime, fileSize, fileName) values (?, ?, ?, ?)"))
        return false;
    for (int i = 0; i < count; ++i) {
        q.addBindValue(patientName(i));
        q.addBindValue(QStringLiteral("Owner%1").arg(i % 50));
        q.addBindValue(QStringLiteral("Family%1").arg(i % 70));
        q.addBindValue(QStringLiteral("P-%1").arg(i, 6, 10, QLatin1Char('0')));
        q.addBindValue(2 + i % 2);
        q.addBindValue(1 + i % 5);
        q.addBindValue(qint64(1262304000) + qint64(i % 3000) * 86400);
        q.addBindValue(QString());
        q.addBindValue(5 + i % 40);
        q.addBindValue(0);
        if (!q.exec())
            return false;
        const int id = q.lastInsertId().toInt();
        for (int k = 0; i < withRecordings && k < 2; ++k) {
            r.addBindValue(id);
            r.addBindValue(qint64(1600000000) + qint64(i) * 3600 + k * 60);
            r.addBindValue(30 * 500);
            r.addBindValue(QStringLiteral("rec_%1_%2.ecg").arg(i).arg(k));
            if (!r.exec())
                return false;
        }
    }
    QSqlQuery p(db);
    if (!p.prepare("insert into pacsTable (idx, extId, patientName, ownerFirst, ownerLast, species, "
                   "tsStudy, sUuid) values (?, ?, ?, ?, ?, 2, ?, ?)"))
        return false;
    for (int i = 0; i < pacsRows; ++i) {
        p.addBindValue(i + 1);
        p.addBindValue(QStringLiteral("X-%1").arg(i % 7));
        p.addBindValue(patientName(i % 9));
        p.addBindValue(QStringLiteral("Owner%1").arg(i));
        p.addBindValue(QStringLiteral("Family%1").arg(i));
        p.addBindValue(qint64(1650000000) + qint64(i) * 7200);
        p.addBindValue(QStringLiteral("1.2.3.%1").arg(i));
        if (!p.exec())
            return false;
    }
    return transaction.commit();
}

} // namespace viewdata

#endif
