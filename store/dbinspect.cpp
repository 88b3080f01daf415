#include "dbinspect.h"

#include "dbschema.h"
#include "debuglog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace {

// The database, its write-ahead log and a hot rollback journal: together
// they hold its content. The shared-memory index is rebuilt from the log.
const char* const kContentSuffixes[] = {"", "-wal", "-journal"};

std::unique_ptr<QTemporaryDir> scratchDir(const QString& scratchFolder)
{
    const QString pattern = QStringLiteral("dbcheck-XXXXXX");
    if (!scratchFolder.isEmpty() && QFileInfo(scratchFolder).isDir()) {
        auto dir = std::make_unique<QTemporaryDir>(QDir(scratchFolder).filePath(pattern));
        if (dir->isValid())
            return dir;
    }
    auto dir = std::make_unique<QTemporaryDir>(QDir(QDir::tempPath()).filePath(pattern));
    return dir->isValid() ? std::move(dir) : nullptr;
}

// Copies what exists of the database's content files to copyPath with the
// same suffixes. False, with the reason, when one could not be copied.
bool copyContent(const QString& path, const QString& copyPath, QString& why)
{
    for (const char* suffix : kContentSuffixes) {
        const QString from = path + QLatin1String(suffix);
        if (!QFileInfo(from).isFile())
            continue; // absent; anything else is SQLite's to refuse on the original
        QFile source(from);
        if (!source.copy(copyPath + QLatin1String(suffix))) {
            why = QStringLiteral("no copy of %1 could be made for the check: %2")
                      .arg(QDir::toNativeSeparators(from), source.errorString());
            return false;
        }
    }
    return true;
}

DbInspection inspectCopy(QSqlDatabase& db)
{
    DbInspection seen;
    if (!db.open()) {
        seen.detail = db.lastError().text();
        return seen;
    }
    QStringList names;
    {
        QSqlQuery objects(db);
        if (!objects.exec(QStringLiteral("select name from sqlite_master"))) {
            seen.detail = objects.lastError().text();
            return seen;
        }
        while (objects.next())
            names << objects.value(0).toString();
    }

    QStringList problems;
    {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("pragma quick_check"))) {
            seen.kind = DbInspection::Damaged;
            seen.detail = check.lastError().text();
            return seen;
        }
        while (check.next()) {
            const QString line = check.value(0).toString();
            if (line != QLatin1String("ok"))
                problems << line;
        }
    }
    if (!problems.isEmpty()) {
        seen.kind = DbInspection::Damaged;
        seen.detail = problems.mid(0, 5).join(QLatin1String("; "));
        return seen;
    }

    if (!names.contains(QLatin1String("systemTable"), Qt::CaseInsensitive)) {
        seen.kind = names.isEmpty() ? DbInspection::Empty : DbInspection::Foreign;
        return seen;
    }

    QSqlQuery version(db);
    version.prepare(QStringLiteral("select value from systemTable where oid=?"));
    version.addBindValue(DbSchema::kVersionOid);
    if (!version.exec()) {
        seen.kind = DbInspection::NoVersion;
        seen.detail = version.lastError().text();
        return seen;
    }
    bool numeric = false;
    const int stored = version.next() ? version.value(0).toInt(&numeric) : -1;
    if (!numeric || stored < 0) {
        seen.kind = DbInspection::NoVersion;
        return seen;
    }
    seen.kind = DbInspection::Usable;
    seen.version = stored;
    return seen;
}

} // namespace

DbInspection inspectDatabase(const QString& path, const QString& scratchFolder)
{
    DbInspection seen;
    // Owner-only (QTemporaryDir's mode): the copy holds the patients.
    const std::unique_ptr<QTemporaryDir> dir = scratchDir(scratchFolder);
    if (!dir) {
        seen.kind = DbInspection::Uncheckable;
        seen.detail = QStringLiteral("no folder for a copy of it could be made");
        return seen;
    }
    const QString copyPath = dir->filePath(QStringLiteral("check.sqlite3"));
    if (!copyContent(path, copyPath, seen.detail)) {
        seen.kind = DbInspection::Uncheckable;
        return seen;
    }

    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("malvorant_inspect_") + QString::number(++counter);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(copyPath);
        seen = inspectCopy(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    debugLog(4, "inspectDatabase() kind=" + toStdString(int(seen.kind)) + ", version="
                    + toStdString(seen.version));
    return seen;
}
