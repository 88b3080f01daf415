#ifndef MALVORANT_DBMAN_H
#define MALVORANT_DBMAN_H

#include <QSqlDatabase>
#include <QString>

// Owns the program's database "zqr.sqlite3" in the data folder on Qt's default
// connection: creates it, or opens it and brings an older schema up to the
// current version. Start-up must stop when isOk() is false (the caller ends
// with -1 and shows errorText()); the object never exits the process itself.
class CDbMan
{
public:
    // fromVersion/toVersion: 0 and 15 for a database created now, the stored
    // version and the version reached for an opened one, -1 and -1 when the
    // database can't be used.
    CDbMan(const QString& dataFolder, int& fromVersion, int& toVersion);
    // Closes the connection (the program keeps its CDbMan for the whole run).
    ~CDbMan();

    CDbMan(const CDbMan&) = delete;
    CDbMan& operator=(const CDbMan&) = delete;

    bool isOk() const { return m_ok; }
    const QString& errorText() const { return m_errorText; }

    // The GUI thread's connection, handed to every manager.
    QSqlDatabase* database() { return &m_db; }
    const QString& databasePath() const { return m_dbPath; }
    const QString& dataFolder() const { return m_dataFolder; }
    int schemaVersion() const { return m_schemaVersion; }
    // File name of the copy taken before the first migration step (empty when
    // no migration ran).
    const QString& backupPath() const { return m_backupPath; }

    // Writes the whole current schema and, last, the version row, in one
    // transaction into an empty database.
    bool createDatabaseSchema();
    // Runs the migration steps from fromVersion up to the current version, each
    // step with its version write in one transaction. Stops at the first
    // failing step (the database stays at the version before it) and returns false.
    bool updateDatabaseSchema(int fromVersion);

    // A connection to the same database for the calling thread: the default
    // connection on the thread that created CDbMan, otherwise a connection of
    // the thread's own, opened on first use and removed when the thread ends.
    // Invalid while no CDbMan exists.
    static QSqlDatabase threadDatabase();

private:
    bool openAndCheck(int& fromVersion);
    bool createFresh();
    bool checkWritable();
    bool backupBeforeMigration(int fromVersion);
    void ensureIndexes();
    void fail(const QString& text);

    QSqlDatabase m_db;
    int m_schemaVersion = 0;
    QString m_dataFolder;
    QString m_dbPath;
    QString m_backupPath;
    QString m_errorText;
    int m_reachedVersion = -1;
    bool m_ok = false;
};

#endif
