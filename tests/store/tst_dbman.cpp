#include <QtTest>
#include <QDirIterator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>

#include "dbman.h"
#include "dbschema.h"
#include "debuglog.h"
#include "sqlquerymodel.h"
#include "sqlutil.h"
#include "storetestutil.h"

#include <memory>

using namespace StoreTest;

class TestDbMan : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void newDatabaseMatchesSchema();
    void newDatabaseViewsComputeTexts();
    void newDatabaseIsOwnerOnly();
    void reopenRunsNoMigration();
    void newerVersionIsLeftAlone();
    void emptyFileIsCreated();
    void foreignFileIsKeptAsideAndCreated();
    void unusableFilesEndStartUp_data();
    void unusableFilesEndStartUp();
    void failedCreationRemovesFile();
    void unwritableDatabaseEndsStartUp_data();
    void unwritableDatabaseEndsStartUp();
    void leftWriteAheadLog_data();
    void leftWriteAheadLog();

    void migrationKeepsEveryRow_data();
    void migrationKeepsEveryRow();
    void failingStepStopsAtOldVersion();

    void escapeSqlLiteral_data();
    void escapeSqlLiteral();
    void nestedTransactions();
    void workerThreadWritesWhileListIsOpen();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDebugLog> m_log;
    QString path() const { return m_dir->filePath("zqr.sqlite3"); }
    QString folder() const { return m_dir->path() + "/"; }
    QString logText() const;
};

namespace {

// The tables of the current version: "name type [notnull] [=default] [pk]" per column, in order.
const QList<QPair<QString, QStringList>> kTables = {
    {"systemTable", {"oid int pk", "value int"}},
    {"speciesTable", {"id integer pk", "species text notnull", "hasBreedList int =0"}},
    {"breedTable", {"id integer pk", "speciesId integer", "breed text notnull"}},
    {"patientTable",
     {"patientId integer pk", "extId text =''", "otherExtIds text =''", "patientName text notnull",
      "ownerFirst text notnull", "ownerLast text notnull", "species int =0", "sex int =0",
      "birthdate int =0", "breed text =''", "weight int =0", "weightUnit int =0",
      "pendingStudyUuid text =''", "latestTransmittedQvlFileId int =0",
      "latestTransmittedQvlCaseId text =''", "latestTransmittedQvlCaseStatus int =0",
      "tsLastChanged integer_unsigned =0"}},
    {"ecgTable",
     {"ecgId integer pk", "cloudFileId int =0", "selectedFlag int =0", "patientId int =0",
      "ecgTime int =0", "fileSize int =0", "fileName text =''", "qvlCaseId text =''",
      "qvlCaseUrl text =''", "qvlCaseStatus int =0", "pacsStatus int =0", "pacsTs int =0",
      "pacsStudyUuid text =''", "tsLastChanged int =0", "qvlFileAdded int =0",
      "sampleCount int =-1"}},
    {"pacsTable",
     {"idx integer =0", "extId text =''", "otherExtIds text =''", "patientName text notnull",
      "ownerFirst text notnull", "ownerLast text notnull", "accno text =''", "species int =0",
      "sex int =0", "birthdate int =0", "breed text =''", "weight int =0", "weightUnit int =0",
      "tsStudy integer_unsigned =0", "sUuid text =''"}},
    {"worklistTable",
     {"idx integer =0", "extId text =''", "otherExtIds text =''", "patientName text =''",
      "ownerFirst text =''", "ownerLast text =''", "accno text =''", "species int =0",
      "sex int =0", "birthdate int =0", "breed text =''", "weight int =0", "weightUnit int =0",
      "tsStudy integer_unsigned =0", "sUuid text =''"}},
    {"discoveryTable",
     {"idx integer =0", "source int =0", "device text =''", "mac text =''", "patient text =''",
      "owner text =''", "patientId text =''", "internals text =''"}},
    {"pictureTable",
     {"idx integer pk", "patientId int =0", "ecgId int =0", "imgPath text =''", "imgType int =1",
      "tsPhotoTaken integer_unsigned =0"}},
    {"cloudTable",
     {"idx integer =0", "cloudFileId int =0", "deleteFlag int =0", "extId text =''",
      "patientName text notnull", "ownerFirst text notnull", "ownerLast text notnull",
      "species int =0", "sex int =0", "birthdate int =0", "breed text =''", "weight int =0",
      "weightUnit int =0", "tsStudy integer_unsigned =0"}},
};

const QString kBlock = "extId patientName namePart ownerFirst ownerLast species breed weight "
                       "weightUnit sex birthday ageYears ageMonths";
const QString kRecording = "id extId patientId patientName sectionHeader ownerFirst ownerLast "
                           "species breed weight weightUnit sex birthday ageYears ageMonths "
                           "studyDate %1 qvlCaseId qvlCaseStatus duration";
const QList<QPair<QString, QString>> kViews = {
    {"patientViewQmlKx", "id " + kBlock + " studyDate sUuid qvlCaseId qvlCaseStatus"},
    {"worklistViewQmlKx", "id " + kBlock + " studyDate sUuid qvlCaseId qvlCaseStatus"},
    {"ecgViewQmlKx", kRecording.arg("fileName")},
    {"pacsViewQmlKx", kRecording.arg("filename")},
    {"patientViewQml", "patientId " + kBlock + " qvlCaseId qvlCaseStatus"},
    {"worklistViewQml", "idx " + kBlock + " studyDate sUuid"},
    {"pacsViewQml", "idx " + kBlock + " studyDate sUuid"},
    {"cloudViewQml", "idx cloudFileId deleteFlag " + kBlock + " studyDate"},
    {"ecgViewQml", "patientId ecgId fileName fileTime fileSize qvlCaseId qvlCaseStatus "
                   "lastChangedTime cloudFileId selectedFlag"},
};

QStringList columnsOf(const QString& dbPath, const QString& table)
{
    const QStringList rows = rowsOf(dbPath, "pragma table_info(" + table + ")");
    QStringList out;
    for (const QString& r : rows) {
        // cid|name|type|notnull|dflt_value|pk
        const QStringList f = r.split('|');
        QString col = f[1] + ' ' + f[2].toLower().replace(' ', '_');
        if (f[3] == "1")
            col += " notnull";
        if (!f[4].isEmpty())
            col += " =" + f[4];
        if (f[5] != "0")
            col += " pk";
        out << col;
    }
    return out;
}

QStringList viewColumns(const QString& dbPath, const QString& view)
{
    QStringList out;
    for (const QString& r : rowsOf(dbPath, "pragma table_info(" + view + ")"))
        out << r.split('|').at(1);
    return out;
}

QStringList objectNames(const QString& dbPath, const QString& type)
{
    QStringList names = rowsOf(dbPath, "select name from sqlite_master where type='" + type
                                           + "' and name not like 'sqlite_%' order by name");
    return names;
}

}

void TestDbMan::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(m_dir->path() + "/logs"));
    m_log = std::make_unique<CDebugLog>(4, false, m_dir->path().toStdString() + "/logs", "log");
    g_pDebugLog = m_log.get();
}

void TestDbMan::cleanup()
{
    g_pDebugLog = nullptr;
    m_log.reset();
    m_dir.reset();
}

QString TestDbMan::logText() const
{
    QFile f(m_dir->path() + "/logs/log");
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

void TestDbMan::newDatabaseMatchesSchema()
{
    int from = 99, to = 99;
    CDbMan db(folder(), from, to);
    QVERIFY2(db.isOk(), qPrintable(db.errorText()));
    QCOMPARE(from, 0);
    QCOMPARE(to, DbSchema::kVersion);
    QCOMPARE(db.schemaVersion(), DbSchema::kVersion);
    QCOMPARE(db.databasePath(), path());
    QVERIFY(db.backupPath().isEmpty());

    QStringList tables;
    for (const auto& t : kTables)
        tables << t.first;
    tables.sort();
    QCOMPARE(objectNames(path(), "table"), tables);
    for (const auto& t : kTables)
        QCOMPARE(columnsOf(path(), t.first), t.second);

    QStringList views;
    for (const auto& v : kViews)
        views << v.first;
    views.sort();
    QCOMPARE(objectNames(path(), "view"), views);
    for (const auto& v : kViews)
        QCOMPARE(viewColumns(path(), v.first), v.second.split(' '));

    QCOMPARE(rowsOf(path(), "select oid, value from systemTable"), QStringList{"1|" + QString::number(DbSchema::kVersion)});
    // Indexes for the lists, beside the schema.
    QCOMPARE(objectNames(path(), "index"),
             (QStringList{"ecgTablePatientIdx", "ecgTableStudyDateIdx", "patientTableListIdx"}));
    QCOMPARE(rowsOf(path(), "select seq from sqlite_sequence"), QStringList{});
    // Autoincrement keeps ids of deleted rows unused.
    QCOMPARE(rowsOf(path(), "select sql like '%autoincrement%' from sqlite_master where name in "
                            "('patientTable','ecgTable','pictureTable')"),
             (QStringList{"1", "1", "1"}));
}

void TestDbMan::newDatabaseViewsComputeTexts()
{
    int from, to;
    CDbMan db(folder(), from, to);
    QVERIFY(db.isOk());
    QSqlQuery q(*db.database());
    const QStringList setup = {
        "insert into speciesTable values (0, 'Canine', 1)",
        "insert into speciesTable values (1, 'Feline', 0)",
        "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex, weightUnit, birthdate, latestTransmittedQvlCaseStatus) values ('rex', 'A', 'B', 0, 0, 0, 0, 0)",
        "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex, weightUnit, birthdate, latestTransmittedQvlCaseStatus) values ('tom', 'A', 'B', 1, 1, 1, 0, 9)",
        "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex, weightUnit, birthdate, latestTransmittedQvlCaseStatus) values ('ann', 'A', 'B', 1, 3, 2, 1000000000, 2)",
        "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex, weightUnit, birthdate) values ('eve', 'A', 'B', 0, 4, 0, 0)",
        "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex, weightUnit, birthdate) values ('zed', 'A', 'B', 0, 7, 0, 0)",
        "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex) values ('lost', 'A', 'B', 5, 2)",
        "insert into ecgTable (patientId, ecgTime, fileSize, fileName, qvlCaseStatus) values (1, 86400, 249, 'a.ecg', 8)",
        "insert into ecgTable (patientId, ecgTime, fileSize, fileName, qvlCaseStatus) values (1, 86401, 250, 'b.ecg', 4)",
        "insert into ecgTable (patientId, ecgTime, fileSize, fileName, qvlCaseStatus) values (6, 0, 30000, 'c.ecg', 0)",
        "insert into ecgTable (patientId, ecgTime, fileSize, fileName) values (0, 0, 65536, 'd.ecg')",
    };
    for (const QString& s : setup)
        QVERIFY2(q.exec(s), qPrintable(q.lastError().text()));

    // The species join leaves out the patient whose species is unknown.
    QCOMPARE(rowsOf(path(), "select id, namePart, species, weightUnit, sex, birthday, ageYears, qvlCaseStatus "
                            "from patientViewQmlKx order by id"),
             (QStringList{"1|R|Canine|Kg|Unknown|1970-01-01||unfiled",
                          "2|T|Feline|Lb|Male|1970-01-01||pending upload",
                          QString("3|A|Feline|Unknown|Male, Neutered|2001-09-09|%1|initializing")
                              .arg((QDateTime::currentSecsSinceEpoch() - 1000000000) / 31557600),
                          "4|E|Canine|Kg|Female, Spayed|1970-01-01||unfiled",
                          "5|Z|Canine|Kg|Not Specified|1970-01-01||unfiled"}));
    // Every recording is listed: also one whose patient's species is
    // unknown, and one that waits for its patient (patient 0, no name).
    QCOMPARE(rowsOf(path(), "select id, patientId, patientName, sectionHeader, studyDate, fileName, "
                            "qvlCaseStatus, duration from ecgViewQmlKx order by id"),
             (QStringList{"1|1|rex|1970-01-02|1970-01-02 00:00:00|a.ecg|completed|0",
                          "2|1|rex|1970-01-02|1970-01-02 00:00:01|b.ecg|receipt failure|1",
                          "3|6|lost|1970-01-01|1970-01-01 00:00:00|c.ecg|unfiled|60",
                          "4|0||1970-01-01|1970-01-01 00:00:00|d.ecg|unfiled|131"}));
    QCOMPARE(rowsOf(path(), "select extId, ownerFirst from ecgViewQmlKx where id=4"), QStringList{"|"});
    QCOMPARE(rowsOf(path(), "select ecgId, fileSize from ecgViewQml order by ecgId"),
             (QStringList{"1|0.14 MB", "2|0.15 MB", "3|0.49 MB", "4|1.11 MB"}));
}

void TestDbMan::newDatabaseIsOwnerOnly()
{
    int from, to;
    CDbMan db(folder(), from, to);
    QVERIFY(db.isOk());
    QSqlQuery q(*db.database());
    QVERIFY(q.exec("insert into speciesTable values (0, 'Canine', 0)"));
    QVERIFY(QFile::exists(path() + "-wal"));
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (!QFile::exists(path() + suffix))
            continue;
        const QFile::Permissions p = QFileInfo(path() + suffix).permissions();
        QVERIFY(p & QFile::ReadOwner);
        QVERIFY(p & QFile::WriteOwner);
        QVERIFY2(!(p & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther)), suffix);
    }
}

void TestDbMan::reopenRunsNoMigration()
{
    {
        int from, to;
        CDbMan db(folder(), from, to);
        QVERIFY(db.isOk());
    }
    int from = 0, to = 0;
    CDbMan db(folder(), from, to);
    QVERIFY(db.isOk());
    QCOMPARE(from, DbSchema::kVersion);
    QCOMPARE(to, DbSchema::kVersion);
    QVERIFY(db.backupPath().isEmpty());
    QVERIFY(logText().contains(QString("CDbMan() currentVersion=%1, newVersion=%1").arg(DbSchema::kVersion)));
    QVERIFY(!logText().contains("update of database"));
}

void TestDbMan::newerVersionIsLeftAlone()
{
    {
        int from, to;
        CDbMan db(folder(), from, to);
    }
    const QString newer = QString::number(DbSchema::kVersion + 1);
    QCOMPARE(execOn(path(), {"update systemTable set value=" + newer + " where oid=1",
                             "drop index patientTableListIdx"}), QString());
    int from = 0, to = 0;
    CDbMan db(folder(), from, to);
    QVERIFY(db.isOk());
    QCOMPARE(from, DbSchema::kVersion + 1);
    QCOMPARE(to, DbSchema::kVersion);
    QCOMPARE(rowsOf(path(), "select value from systemTable where oid=1"), QStringList{newer});
    QVERIFY(!objectNames(path(), "index").contains("patientTableListIdx"));
}

void TestDbMan::emptyFileIsCreated()
{
    QFile f(path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    int from, to;
    CDbMan db(folder(), from, to);
    QVERIFY2(db.isOk(), qPrintable(db.errorText()));
    QCOMPARE(from, 0);
    QCOMPARE(to, DbSchema::kVersion);
    QCOMPARE(rowsOf(path(), "select value from systemTable where oid=1"),
             QStringList{QString::number(DbSchema::kVersion)});
}

void TestDbMan::foreignFileIsKeptAsideAndCreated()
{
    QCOMPARE(execOn(path(), {"create table notes (t text)", "insert into notes values ('keep me')"}), QString());
    int from, to;
    CDbMan db(folder(), from, to);
    QVERIFY2(db.isOk(), qPrintable(db.errorText()));
    QCOMPARE(from, 0);
    QCOMPARE(rowsOf(path() + ".foreign", "select t from notes"), QStringList{"keep me"});
    QCOMPARE(rowsOf(path(), "select value from systemTable where oid=1"),
             QStringList{QString::number(DbSchema::kVersion)});
}

void TestDbMan::unusableFilesEndStartUp_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a database") << "garbage";
    QTest::newRow("no version row") << "noversion";
    QTest::newRow("version not a number") << "textversion";
    QTest::newRow("a folder") << "folder";
}

void TestDbMan::unusableFilesEndStartUp()
{
    QFETCH(QString, kind);
    QByteArray before;
    if (kind == "garbage") {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path()));
    } else {
        QCOMPARE(execOn(path(), {DbSchema::createTable("systemTable"), DbSchema::createTable("patientTable"),
                                 kind == "textversion" ? "insert into systemTable values (1, 'abc')"
                                                       : "insert into systemTable values (2, 1)"}),
                 QString());
    }
    if (kind != "folder")
        before = fileBytes(path());

    int from = 0, to = 0;
    CDbMan db(folder(), from, to);
    QVERIFY(!db.isOk());
    QVERIFY(!db.errorText().isEmpty());
    QVERIFY(db.errorText().contains(path()));
    QCOMPARE(from, -1);
    QCOMPARE(to, -1);
    QVERIFY(!db.database()->isOpen());
    if (kind != "folder")
        QCOMPARE(fileBytes(path()), before); // nothing touched
}

void TestDbMan::failedCreationRemovesFile()
{
    // SQLite can't create its journal where a folder of that name stands.
    QVERIFY(QDir().mkpath(path() + "-journal"));
    {
        int from = 0, to = 0;
        CDbMan db(folder(), from, to);
        QVERIFY(!db.isOk());
        QVERIFY(db.errorText().startsWith("Unable to create database"));
        QCOMPARE(from, -1);
        QCOMPARE(to, -1);
        QVERIFY(!QFile::exists(path()));
        QVERIFY(logText().contains("Unable to create database"));
    }

    int from2 = 0, to2 = 0;
    CDbMan missing(m_dir->filePath("no/such/folder/"), from2, to2);
    QVERIFY(!missing.isOk());
    QCOMPARE(from2, -1);
}

void TestDbMan::unwritableDatabaseEndsStartUp_data()
{
    QTest::addColumn<bool>("lockedByOther");
    QTest::newRow("journal can't be written") << false;
    QTest::newRow("locked by another writer") << true;
}

void TestDbMan::unwritableDatabaseEndsStartUp()
{
    QFETCH(bool, lockedByOther);
    QCOMPARE(buildOldDatabase(path(), 14), QString());
    QCOMPARE(execOn(path(), {QString("update systemTable set value=%1 where oid=1").arg(DbSchema::kVersion)}),
             QString());
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "otherWriter");
    other.setDatabaseName(path());
    QVERIFY(other.open());
    if (lockedByOther) {
        QSqlQuery lock(other);
        QVERIFY(lock.exec("begin immediate"));
    } else {
        QVERIFY(QDir().mkpath(path() + "-journal"));
    }
    {
        int from = 0, to = 0;
        CDbMan db(folder(), from, to);
        QVERIFY(!db.isOk());
        QCOMPARE(from, -1);
        QCOMPARE(to, -1);
        QVERIFY(db.errorText().contains(path()));
        if (lockedByOther)
            QVERIFY2(db.errorText().startsWith("Unable to write database"), qPrintable(db.errorText()));
    }
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase("otherWriter");
}

void TestDbMan::leftWriteAheadLog_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("whole") << false;
    QTest::newRow("damaged") << true;
}

// What a killed run leaves: the database with a row only in its
// write-ahead log, and the log's index. A whole one opens with that row; a
// damaged one is refused and it, its log and its index stay byte for byte,
// with nothing else left in the folder.
void TestDbMan::leftWriteAheadLog()
{
    QFETCH(bool, damaged);
    {
        int from, to;
        CDbMan db(folder(), from, to);
        QVERIFY(db.isOk());
    }
    QStringList rows;
    for (int i = 0; i < 300; ++i)
        rows << QString("insert into ecgTable (patientId, fileName) values (1, '%1%2')").arg(QString(200, 'q')).arg(i);
    QCOMPARE(execOn(path(), rows), QString());

    const QString left = m_dir->filePath("left");
    QVERIFY(QDir().mkpath(left + "/tmp"));
    const QString leftPath = left + "/zqr.sqlite3";
    {
        QSqlDatabase running = QSqlDatabase::addDatabase("QSQLITE", "killedRun");
        running.setDatabaseName(path());
        QVERIFY(running.open());
        QSqlQuery q(running);
        QVERIFY(q.exec("pragma journal_mode"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("wal"));
        QVERIFY(q.exec("pragma wal_autocheckpoint=0"));
        QVERIFY(q.exec("insert into patientTable (patientName, ownerFirst, ownerLast) "
                       "values ('Only in the log', 'A', 'B')"));
        q.finish();
        // Taken while the connection holds them, as a kill leaves them.
        for (const char* suffix : {"", "-wal", "-shm"})
            QVERIFY(QFile::copy(path() + suffix, leftPath + suffix));
        running.close();
    }
    QSqlDatabase::removeDatabase("killedRun");
    QVERIFY(QFileInfo(leftPath + "-wal").size() > 0);
    if (damaged) {
        QFile file(leftPath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek((file.size() / 4096 - 3) * 4096));
        file.write(QByteArray(4096, char(0x5a)));
    }
    QMap<QString, QByteArray> before;
    for (const char* suffix : {"", "-wal", "-shm"})
        before.insert(suffix, fileBytes(leftPath + suffix));
    const auto listing = [&] {
        QStringList out;
        QDirIterator it(left, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next();
        out.sort();
        return out;
    };
    const QStringList entries = listing();

    int from = 0, to = 0;
    {
        CDbMan db(left + "/", from, to);
        if (!damaged) {
            QVERIFY2(db.isOk(), qPrintable(db.errorText()));
            QCOMPARE(from, DbSchema::kVersion);
            QSqlQuery q(*db.database());
            QVERIFY(q.exec("select count(*) from patientTable where patientName='Only in the log'"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 1);
            return;
        }
        QVERIFY(!db.isOk());
        QCOMPARE(from, -1);
        QVERIFY2(db.errorText().contains("is damaged (") && db.errorText().contains("without changing it"),
                 qPrintable(db.errorText()));
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        QVERIFY2(fileBytes(leftPath + suffix) == before.value(suffix), suffix);
    QCOMPARE(listing(), entries);
}

void TestDbMan::migrationKeepsEveryRow_data()
{
    QTest::addColumn<int>("version");
    for (int v = 0; v < DbSchema::kVersion; ++v)
        QTest::addRow("from %d", v) << v;
}

void TestDbMan::migrationKeepsEveryRow()
{
    QFETCH(int, version);
    QCOMPARE(buildOldDatabase(path(), version), QString());
    const QStringList tables = {"systemTable", "speciesTable", "breedTable", "patientTable",
                                "pacsTable", "worklistTable", "pictureTable"};
    QMap<QString, QStringList> before;
    for (const QString& t : tables)
        before[t] = rowsOf(path(), "select * from " + t + " where not (" + t + ".rowid = 1 and '" + t
                                       + "' = 'systemTable')");
    const QStringList ecgBefore = rowsOf(path(), "select ecgId, patientId, ecgTime, fileSize, fileName, "
                                                 "qvlCaseStatus from ecgTable");
    const QByteArray original = fileBytes(path());

    int from = 0, to = 0;
    {
        CDbMan db(folder(), from, to);
        QVERIFY2(db.isOk(), qPrintable(db.errorText()));
        QCOMPARE(from, version);
        QCOMPARE(to, DbSchema::kVersion);
        QCOMPARE(fileBytes(db.backupPath()), original);
    }
    QCOMPARE(rowsOf(path(), "select value from systemTable where oid=1"),
             QStringList{QString::number(DbSchema::kVersion)});
    for (const QString& t : tables)
        QCOMPARE(rowsOf(path(), "select * from " + t + " where not (" + t + ".rowid = 1 and '" + t
                                    + "' = 'systemTable')"),
                 before[t]);
    QCOMPARE(rowsOf(path(), "select ecgId, patientId, ecgTime, fileSize, fileName, qvlCaseStatus from ecgTable"),
             ecgBefore);
    const QString log = logText();
    for (int v = version + 1; v <= DbSchema::kVersion; ++v)
        QVERIFY(log.contains(QString("update of database to version %1 completed").arg(v)));

    // Same views and same columns (the two cloud columns of older recordings
    // tables come last) as a database created now.
    QTemporaryDir freshDir;
    {
        int f, t;
        CDbMan fresh(freshDir.path() + "/", f, t);
        QVERIFY(fresh.isOk());
    }
    const QString freshPath = freshDir.filePath("zqr.sqlite3");
    QCOMPARE(rowsOf(path(), "select name, sql from sqlite_master where type='view' order by name"),
             rowsOf(freshPath, "select name, sql from sqlite_master where type='view' order by name"));
    QCOMPARE(objectNames(path(), "table"), objectNames(freshPath, "table"));
    QCOMPARE(objectNames(path(), "index"), objectNames(freshPath, "index"));
    for (const auto& t : kTables) {
        QStringList migrated = columnsOf(path(), t.first);
        QStringList expected = t.second;
        migrated.sort();
        expected.sort();
        QCOMPARE(migrated, expected);
    }
    QCOMPARE(rowsOf(path(), "select id, duration, qvlCaseStatus from ecgViewQmlKx order by id"),
             (QStringList{"1|60|completed", "2|0|initializing", "3|1|unfiled"}));
    // Migrated rows are not counted yet: the recordings manager counts them
    // from their files; until then the list shows what it showed before.
    QCOMPARE(rowsOf(path(), "select distinct sampleCount from ecgTable"), QStringList{"-1"});
    QCOMPARE(rowsOf(path(), "select patientName, sex from patientViewQmlKx order by id"),
             (QStringList{"Rex|Male, Neutered", "Tom|Female, Spayed"}));
}

void TestDbMan::failingStepStopsAtOldVersion()
{
    // A table already holding the name of the view that step 8 -> 9 creates.
    QCOMPARE(buildOldDatabase(path(), 5), QString());
    QCOMPARE(execOn(path(), {"create table cloudViewQml (x int)"}), QString());
    const QStringList patients = rowsOf(path(), "select * from patientTable");
    const QStringList ecgs = rowsOf(path(), "select * from ecgTable");
    const QByteArray original = fileBytes(path());

    int from = 0, to = 0;
    QString backup;
    {
        CDbMan db(folder(), from, to);
        QVERIFY(!db.isOk());
        QVERIFY2(db.errorText().contains("version 8"), qPrintable(db.errorText()));
        QVERIFY(db.errorText().contains("version 9"));
        QCOMPARE(from, -1);
        backup = db.backupPath();
    }
    QCOMPARE(fileBytes(backup), original);
    QCOMPARE(rowsOf(path(), "select value from systemTable where oid=1"), QStringList{"8"});
    QCOMPARE(rowsOf(path(), "select * from patientTable"), patients);
    QCOMPARE(rowsOf(path(), "select * from ecgTable"), ecgs);
    // Steps up to 8 are in; nothing of the failed step is.
    QCOMPARE(objectNames(path(), "table").contains("discoveryTable"), true);
    QCOMPARE(objectNames(path(), "table").contains("cloudTable"), false);
    QVERIFY(!columnsOf(path(), "ecgTable").join(',').contains("cloudFileId"));
    QVERIFY(logText().contains("update of database to version 8 completed"));
    QVERIFY(!logText().contains("update of database to version 9 completed"));
}

void TestDbMan::escapeSqlLiteral_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("apostrophe") << "O'Brien" << "O''Brien";
    QTest::newRow("crlf") << "a\r\nb" << "a\\r\\nb";
    QTest::newRow("backslash") << "C:\\data" << "C:\\\\data";
    QTest::newRow("backslash before n") << "\\n" << "\\\\n";
    QTest::newRow("double quote") << "say \"hi\"" << "say \\\"hi\\\"";
    QTest::newRow("ctrl-z") << QString("a") + QChar(0x1A) << "a\\Z";
    QTest::newRow("non-ascii") << QString::fromUtf8("Ærø ü") << QString::fromUtf8("Ærø ü");
}

void TestDbMan::escapeSqlLiteral()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(::escapeSqlLiteral(in), out);

    // SQLite undoes only the doubled apostrophe.
    int from, to;
    CDbMan db(folder(), from, to);
    QSqlQuery q(*db.database());
    QVERIFY(q.exec("select '" + ::escapeSqlLiteral(in) + "'"));
    QVERIFY(q.next());
    QString stored = out;
    stored.replace("''", "'");
    QCOMPARE(q.value(0).toString(), stored);
}

void TestDbMan::nestedTransactions()
{
    int from, to;
    CDbMan db(folder(), from, to);
    QSqlDatabase& h = *db.database();
    QSqlQuery q(h);
    {
        CDbTransaction outer(h);
        QVERIFY(outer.isActive() && outer.isOutermost());
        QVERIFY(q.exec("insert into speciesTable values (1, 'a', 0)"));
        {
            CDbTransaction inner(h);
            QVERIFY(inner.isActive() && !inner.isOutermost());
            QCOMPARE(CDbTransaction::depth(h), 2);
            QVERIFY(q.exec("insert into speciesTable values (2, 'b', 0)"));
            QVERIFY(inner.commit());
        }
        // The inner commit committed nothing on its own.
        QCOMPARE(rowsOf(path(), "select count(*) from speciesTable"), QStringList{"0"});
        QVERIFY(outer.commit());
    }
    QCOMPARE(CDbTransaction::depth(h), 0);
    QCOMPARE(rowsOf(path(), "select count(*) from speciesTable"), QStringList{"2"});

    {
        CDbTransaction outer(h);
        QVERIFY(q.exec("insert into speciesTable values (3, 'c', 0)"));
        {
            CDbTransaction inner(h);
            QVERIFY(q.exec("insert into speciesTable values (4, 'd', 0)"));
        } // not committed: the whole transaction is doomed
        QVERIFY(!outer.commit());
    }
    {
        CDbTransaction dropped(h);
        QVERIFY(q.exec("insert into speciesTable values (5, 'e', 0)"));
    }
    QCOMPARE(rowsOf(path(), "select count(*) from speciesTable"), QStringList{"2"});
    QCOMPARE(CDbTransaction::depth(h), 0);
}

// A worker writes through its own connection while a list on the GUI thread
// still holds an unfinished statement; the list sees the rows once re-queried.
void TestDbMan::workerThreadWritesWhileListIsOpen()
{
    int from, to;
    CDbMan db(folder(), from, to);
    QSqlQuery q(*db.database());
    QVERIFY(q.exec("insert into speciesTable values (0, 'Canine', 0)"));
    {
        CDbTransaction t(*db.database());
        for (int i = 0; i < 600; ++i)
            QVERIFY(q.exec(QString("insert into worklistTable (idx, patientName, species) values (%1, 'p', 0)").arg(i)));
        QVERIFY(t.commit());
    }
    CSqlQueryModel model;
    model.setQuery("select * from worklistViewQmlKx");
    QCOMPARE(model.rowCount(), 256); // fetched lazily: the statement stays open
    QVERIFY(model.canFetchMore());

    QString workerError;
    QString connectionName;
    QThread* worker = QThread::create([&] {
        QSqlDatabase wdb = CDbMan::threadDatabase();
        connectionName = wdb.connectionName();
        if (!wdb.isOpen()) {
            workerError = "no connection";
            return;
        }
        CDbTransaction t(wdb);
        QSqlQuery wq(wdb);
        if (!wq.exec("delete from worklistTable"))
            workerError = wq.lastError().text();
        for (int i = 0; i < 3 && workerError.isEmpty(); ++i)
            if (!wq.exec(QString("insert into worklistTable (idx, patientName, species) values (%1, 'w', 0)").arg(i)))
                workerError = wq.lastError().text();
        if (workerError.isEmpty() && !t.commit())
            workerError = "commit failed: " + wdb.lastError().text();
    });
    worker->start();
    QVERIFY(worker->wait(20000));
    delete worker;
    QCOMPARE(workerError, QString());
    QVERIFY(!connectionName.isEmpty());
    QVERIFY(connectionName != QLatin1String(QSqlDatabase::defaultConnection));
    QVERIFY(!QSqlDatabase::connectionNames().contains(connectionName)); // removed with its thread
    QCOMPARE(CDbMan::threadDatabase().connectionName(), QString(QSqlDatabase::defaultConnection));

    model.setQuery("select * from worklistViewQmlKx");
    QCOMPARE(model.rowCount(), 3);
}

QTEST_GUILESS_MAIN(TestDbMan)
#include "tst_dbman.moc"
