#ifndef MALVORANT_TESTS_STORETESTENV_H
#define MALVORANT_TESTS_STORETESTENV_H

// A real store in a temporary folder: database, settings, patients and
// recordings, built in the order the program builds them. Tests run
// in Europe/Berlin so that local time stamps cross daylight saving.

#include "dbman.h"
#include "fileman.h"
#include "patientman.h"
#include "settingsman.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

#include <ctime>
#include <memory>

inline void useBerlinTime()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

struct StoreEnv
{
    explicit StoreEnv(int applicationType = 1) : applicationType(applicationType) { open(); }

    // (Re)opens the store on the same folder, as a new start of the program does.
    void open()
    {
        files.reset();
        patients.reset();
        settings.reset();
        db.reset();
        db = std::make_unique<CDbMan>(dir.path(), fromVersion, toVersion);
        settings = std::make_unique<CSettingsMan>(QStringLiteral("MalvorantQml"), db->database(),
                                                  fromVersion, toVersion);
        patients = std::make_unique<CPatientMan>(db->database(), settings.get(), fromVersion,
                                                 toVersion, applicationType);
        patients->loadPatient(settings->patientId);
        files = std::make_unique<CFileMan>(dataFolder(), db->database(), settings.get(),
                                           fromVersion, toVersion);
    }

    QString dataFolder() const { return dir.path() + QLatin1Char('/'); }
    QString path(const QString& name) const { return dataFolder() + name; }
    QSqlDatabase& database() { return *db->database(); }

    // Runs a statement that must succeed (test set-up).
    void exec(const QString& sql, const QVariantList& values = {})
    {
        QSqlQuery q(database());
        QVERIFY2(q.prepare(sql), qPrintable(q.lastError().text()));
        for (const QVariant& v : values)
            q.addBindValue(v);
        QVERIFY2(q.exec(), qPrintable(sql + QLatin1String(": ") + q.lastError().text()));
    }
    // The first column of the first row, invalid without a row.
    QVariant value(const QString& sql, const QVariantList& values = {})
    {
        QSqlQuery q(database());
        if (!q.prepare(sql))
            return QVariant();
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec() || !q.next())
            return QVariant();
        return q.value(0);
    }
    // Makes every insert into or update of a table fail from now on.
    void breakWrites(const QString& table, const QString& what)
    {
        exec(QStringLiteral("create trigger fail_%1_%2 before %2 on %1 begin "
                            "select raise(abort, 'refused by test'); end")
                 .arg(table, what));
    }
    void mendWrites(const QString& table, const QString& what)
    {
        exec(QStringLiteral("drop trigger fail_%1_%2").arg(table, what));
    }

    int applicationType;
    QTemporaryDir dir;
    int fromVersion = -1;
    int toVersion = -1;
    std::unique_ptr<CDbMan> db;
    std::unique_ptr<CSettingsMan> settings;
    std::unique_ptr<CPatientMan> patients;
    std::unique_ptr<CFileMan> files;
};

#endif
