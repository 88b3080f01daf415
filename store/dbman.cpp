#include "dbman.h"

#include "dbinspect.h"
#include "dbschema.h"
#include "debuglog.h"
#include "filesafety.h"
#include "sqlutil.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>

namespace {

const char* const kFileName = "zqr.sqlite3";
// Another connection (a worker thread's) may hold the write lock for a moment.
const char* const kConnectOptions = "QSQLITE_BUSY_TIMEOUT=5000";

// Which thread owns the default connection, and a generation that changes
// whenever the database is closed, so stale per-thread connections are replaced.
QMutex g_stateMutex;
QThread* g_ownerThread = nullptr;
bool g_active = false;
quint64 g_generation = 0;
quint64 g_connectionCounter = 0;

QString defaultConnectionName()
{
    return QString::fromLatin1(QSqlDatabase::defaultConnection);
}

// One connection per thread, closed and removed when the thread ends.
struct ThreadConnection
{
    QString name;
    quint64 generation = 0;
    bool watching = false;
    void release()
    {
        if (name.isEmpty())
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
    ~ThreadConnection() { release(); }
};
thread_local ThreadConnection g_threadConnection;

std::string str(const QString& s)
{
    return s.toStdString();
}

bool execStatement(QSqlDatabase& db, const QString& statement, QString* error)
{
    QSqlQuery q(db);
    if (q.exec(statement))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

void setOwnerOnly(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// The database and its side files, and the data folder holding them, are
// owner-only at every start, whoever made them.
void narrowModes(const QString& folder, const QString& path)
{
    if (!folder.isEmpty())
        platform::setOwnerOnly(QFile::encodeName(folder).toStdString());
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            setOwnerOnly(path + QLatin1String(suffix));
    }
}

void removeDatabaseFiles(const QString& path)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

// A name beside `base` that no file has yet.
QString freeName(const QString& base, const QString& suffix)
{
    QString candidate = base + suffix;
    for (int i = 2; QFileInfo::exists(candidate); ++i)
        candidate = base + QLatin1Char('-') + QString::number(i) + suffix;
    return candidate;
}

}

CDbMan::CDbMan(const QString& dataFolder, int& fromVersion, int& toVersion)
{
    debugLog(4, "entering CDbMan constructor");
    m_dataFolder = dataFolder;
    fromVersion = -1;
    toVersion = -1;

    QString folder = dataFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('/');
    m_dbPath = folder + QLatin1String(kFileName);

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    m_db.setDatabaseName(m_dbPath);
    m_db.setConnectOptions(QLatin1String(kConnectOptions));

    const QFileInfo info(m_dbPath);
    if (!info.exists()) {
        if (createFresh()) {
            fromVersion = 0;
            toVersion = DbSchema::kVersion;
        }
    } else if (!info.isFile()) {
        fail(QStringLiteral("The database %1 is not a file").arg(m_dbPath));
    } else {
        int stored = -1;
        if (openAndCheck(stored)) {
            fromVersion = stored;
            toVersion = m_reachedVersion;
        }
    }

    if (m_ok) {
        narrowModes(dataFolder, m_dbPath);
        // A database of a newer program is left as it is.
        if (fromVersion <= DbSchema::kVersion)
            ensureIndexes();
        // Readers never block writers: the list models keep statements open and
        // worker threads write through connections of their own.
        QSqlQuery wal(m_db);
        if (!wal.exec(QStringLiteral("pragma journal_mode=wal")))
            debugLogError("CDbMan() unable to switch to write-ahead logging, error="
                          + str(wal.lastError().text()));
        QMutexLocker lock(&g_stateMutex);
        g_ownerThread = QThread::currentThread();
        g_active = true;
        ++g_generation;
    } else {
        fromVersion = -1;
        toVersion = -1;
        m_db.close();
    }
    m_schemaVersion = DbSchema::kVersion;
}

CDbMan::~CDbMan()
{
    {
        QMutexLocker lock(&g_stateMutex);
        g_active = false;
        g_ownerThread = nullptr;
        ++g_generation;
    }
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

void CDbMan::fail(const QString& text)
{
    m_ok = false;
    m_errorText = text;
    debugLogError("CDbMan() " + str(text));
}

bool CDbMan::createFresh()
{
    // Owner-only before SQLite writes anything; its journal files inherit this.
    QFile file(m_dbPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qDebug() << "Ooops, unable to create database at " << m_dbPath;
        debugLogError("Unable to create database");
        fail(QStringLiteral("Unable to create database %1: %2").arg(m_dbPath, file.errorString()));
        return false;
    }
    file.close();
    setOwnerOnly(m_dbPath);

    if (!createDatabaseSchema()) {
        qDebug() << "Ooops, unable to create database at " << m_dbPath;
        debugLogError("Unable to create database");
        const QString reason = m_errorText;
        m_db.close();
        removeDatabaseFiles(m_dbPath);
        fail(QStringLiteral("Unable to create database %1: %2").arg(m_dbPath, reason));
        return false;
    }
    m_reachedVersion = DbSchema::kVersion;
    m_ok = true;
    return true;
}

bool CDbMan::createDatabaseSchema()
{
    debugLog(4, "createDatabaseSchema() called");
    if (!m_db.isOpen() && !m_db.open()) {
        debugLogError("CDbMan() unable to open database file");
        m_errorText = m_db.lastError().text();
        return false;
    }
    CDbTransaction transaction(m_db);
    if (!transaction.isActive()) {
        m_errorText = m_db.lastError().text();
        return false;
    }
    const QStringList statements = DbSchema::createStatements();
    for (const QString& statement : statements) {
        QString error;
        if (!execStatement(m_db, statement, &error)) {
            debugLogError("CDbMan::createDatabaseSchema() " + str(error));
            m_errorText = error;
            return false;
        }
    }
    // The version row comes last: a file with it holds the whole schema.
    QSqlQuery version(m_db);
    version.prepare(QStringLiteral("insert into systemTable (oid, value) values (?, ?)"));
    version.addBindValue(DbSchema::kVersionOid);
    version.addBindValue(DbSchema::kVersion);
    if (!version.exec()) {
        m_errorText = version.lastError().text();
        debugLogError("CDbMan::createDatabaseSchema() " + str(m_errorText));
        return false;
    }
    if (!transaction.commit()) {
        m_errorText = m_db.lastError().text();
        return false;
    }
    debugLog(4, "createDatabaseSchema() leaving");
    return true;
}

bool CDbMan::openAndCheck(int& storedVersion)
{
    // Everything that may refuse the database is learnt from a copy: a
    // refused database, its log and its index stay byte for byte as they
    // are, so they can still be rescued. Only a database that passes is
    // opened for writing.
    const DbInspection seen = inspectDatabase(m_dbPath, m_dataFolder + QLatin1String("tmp"));
    switch (seen.kind) {
    case DbInspection::Uncheckable:
        fail(QStringLiteral("The database %1 could not be checked: %2. The program stops without changing it.")
                 .arg(m_dbPath, seen.detail));
        return false;
    case DbInspection::Unreadable:
        debugLogError("CDbMan() Unable to establish a database connection");
        fail(QStringLiteral("Unable to read database %1, it is damaged or not a database: %2. "
                            "The program stops without changing it.")
                 .arg(m_dbPath, seen.detail));
        return false;
    case DbInspection::Damaged:
        fail(QStringLiteral("The database %1 is damaged (%2). The program stops without changing it.")
                 .arg(m_dbPath, seen.detail));
        return false;
    case DbInspection::NoVersion:
        fail(QStringLiteral("The database %1 is damaged: it has no valid schema version. "
                            "The program stops without changing it.")
                 .arg(m_dbPath));
        return false;
    case DbInspection::Foreign: {
        // Not ours: keep it aside and start with a database of our own.
        const QString aside = freeName(m_dbPath, QStringLiteral(".foreign"));
        if (!QFile::rename(m_dbPath, aside)) {
            fail(QStringLiteral("The file %1 is not a database of this program and could not be moved aside")
                     .arg(m_dbPath));
            return false;
        }
        debugLogError("CDbMan() moved a foreign file aside to " + str(aside));
        if (!createFresh())
            return false;
        storedVersion = 0;
        return true;
    }
    case DbInspection::Empty:
        QFile::remove(m_dbPath);
        if (!createFresh())
            return false;
        storedVersion = 0;
        return true;
    case DbInspection::Usable:
        break;
    }

    if (!m_db.open()) {
        debugLogError("CDbMan() Unable to establish a database connection");
        fail(QStringLiteral("Unable to open database %1: %2").arg(m_dbPath, m_db.lastError().text()));
        return false;
    }
    if (!checkWritable())
        return false;

    const int stored = seen.version;
    debugLog(2, "CDbMan() currentVersion=" + toStdString(stored) + ", newVersion="
                    + toStdString(DbSchema::kVersion));
    storedVersion = stored;
    m_reachedVersion = stored < DbSchema::kVersion ? stored : DbSchema::kVersion;
    if (stored < DbSchema::kVersion && !updateDatabaseSchema(stored)) {
        fail(QStringLiteral("Unable to upgrade database %1 from version %2: %3")
                 .arg(m_dbPath)
                 .arg(m_reachedVersion)
                 .arg(m_errorText));
        return false;
    }
    m_ok = true;
    return true;
}

bool CDbMan::checkWritable()
{
    CDbTransaction transaction(m_db);
    QSqlQuery q(m_db);
    if (!transaction.isActive()
        || !q.exec(QStringLiteral("update systemTable set value=value where oid=1"))) {
        fail(QStringLiteral("Unable to write database %1: %2")
                 .arg(m_dbPath, transaction.isActive() ? q.lastError().text() : m_db.lastError().text()));
        return false;
    }
    transaction.rollback();
    return true;
}

bool CDbMan::backupBeforeMigration(int fromVersion)
{
    // Brings the pages of a write-ahead log into the file before copying it.
    QSqlQuery checkpoint(m_db);
    checkpoint.exec(QStringLiteral("pragma wal_checkpoint(TRUNCATE)"));
    checkpoint.finish();
    const QString target = freeName(m_dbPath + ".v" + QString::number(fromVersion), QStringLiteral(".bak"));
    if (!QFile::copy(m_dbPath, target)) {
        m_errorText = QStringLiteral("unable to copy it to %1 before the upgrade").arg(target);
        debugLogError("CDbMan::updateDatabaseSchema() " + str(m_errorText));
        return false;
    }
    setOwnerOnly(target);
    m_backupPath = target;
    debugLog(2, "CDbMan::updateDatabaseSchema() backup written to " + str(target));
    return true;
}

bool CDbMan::updateDatabaseSchema(int fromVersion)
{
    debugLog(4, "updateDatabaseSchema() called");
    if (fromVersion >= DbSchema::kVersion)
        return true;
    if (fromVersion < 0)
        return false;
    m_reachedVersion = fromVersion;
    if (!backupBeforeMigration(fromVersion))
        return false;

    for (int a = fromVersion; a < DbSchema::kVersion; ++a) {
        CDbTransaction transaction(m_db);
        if (!transaction.isActive()) {
            m_errorText = m_db.lastError().text();
            return false;
        }
        const QStringList statements = DbSchema::migrationStatements(a);
        for (const QString& statement : statements) {
            QString error;
            if (!execStatement(m_db, statement, &error)) {
                m_errorText = QStringLiteral("step to version %1 failed: %2").arg(a + 1).arg(error);
                debugLogError("CDbMan::updateDatabaseSchema() " + str(m_errorText));
                return false;
            }
        }
        QSqlQuery version(m_db);
        version.prepare(QStringLiteral("update systemTable set value=? where oid=?"));
        version.addBindValue(a + 1);
        version.addBindValue(DbSchema::kVersionOid);
        if (!version.exec() || version.numRowsAffected() != 1) {
            m_errorText = QStringLiteral("step to version %1 failed writing the version: %2")
                              .arg(a + 1)
                              .arg(version.lastError().text());
            debugLogError("CDbMan::updateDatabaseSchema() " + str(m_errorText));
            return false;
        }
        if (!transaction.commit()) {
            m_errorText = QStringLiteral("step to version %1 failed to commit: %2")
                              .arg(a + 1)
                              .arg(m_db.lastError().text());
            debugLogError("CDbMan::updateDatabaseSchema() " + str(m_errorText));
            return false;
        }
        m_reachedVersion = a + 1;
        debugLog(2, "update of database to version " + toStdString(a + 1) + " completed");
    }
    return true;
}

void CDbMan::ensureIndexes()
{
    const QStringList statements = DbSchema::indexStatements();
    for (const QString& statement : statements) {
        QString error;
        if (!execStatement(m_db, statement, &error))
            debugLogError("CDbMan() unable to create an index, error=" + str(error));
    }
}

QSqlDatabase CDbMan::threadDatabase()
{
    quint64 generation = 0;
    {
        QMutexLocker lock(&g_stateMutex);
        if (!g_active)
            return {};
        if (QThread::currentThread() == g_ownerThread)
            return QSqlDatabase::database(defaultConnectionName(), false);
        generation = g_generation;
    }

    ThreadConnection& holder = g_threadConnection;
    if (!holder.name.isEmpty() && holder.generation != generation)
        holder.release();
    if (holder.name.isEmpty()) {
        QString name;
        {
            QMutexLocker lock(&g_stateMutex);
            name = QStringLiteral("malvorant_thread_") + QString::number(++g_connectionCounter);
        }
        QSqlDatabase db = QSqlDatabase::cloneDatabase(defaultConnectionName(), name);
        if (!db.open()) {
            debugLogError("CDbMan::threadDatabase() unable to open a connection, error="
                          + str(db.lastError().text()));
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return {};
        }
        holder.name = name;
        holder.generation = generation;
        // Released when a QThread finishes (before its waiters wake); other
        // threads release it when they exit.
        if (!holder.watching) {
            holder.watching = true;
            QObject::connect(QThread::currentThread(), &QThread::finished,
                             [] { g_threadConnection.release(); });
        }
        return db;
    }
    return QSqlDatabase::database(holder.name, false);
}
