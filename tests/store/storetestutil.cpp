#include "storetestutil.h"

#include "dbschema.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace StoreTest {

namespace {
class TempConnection
{
public:
    explicit TempConnection(const QString& path)
        : m_name("fixture_" + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~TempConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

// When each settings row first appeared.
int introducedAt(int oid)
{
    if (oid == 57 || oid == 58) return 2;
    if (oid == 59 || oid == 60) return 4;
    if (oid == 61) return 5;
    if (oid == 62) return 6;
    if (oid >= 63 && oid <= 66) return 8;
    if (oid == 68 || oid == 69) return 12;
    if (oid >= 70) return 15;
    return 0;
}

const QList<int> kAllSettingsOids = [] {
    QList<int> oids = {2, 4, 5, 7, 8, 9, 11, 12, 16, 17, 18, 21, 22, 23, 24};
    for (int oid = 26; oid <= 52; ++oid)
        oids << oid;
    for (int oid = 54; oid <= 66; ++oid)
        oids << oid;
    for (int oid = 68; oid <= 76; ++oid)
        oids << oid;
    return oids;
}();
}

QList<int> settingsOidsAt(int version)
{
    QList<int> out;
    for (int oid : kAllSettingsOids)
        if (introducedAt(oid) <= version)
            out << oid;
    return out;
}

QString buildOldDatabase(const QString& path, int version)
{
    QStringList s;
    for (const char* t : {"systemTable", "speciesTable", "breedTable", "patientTable", "pacsTable",
                          "worklistTable", "pictureTable"})
        s << DbSchema::createTable(t);
    if (version >= 9) {
        s << DbSchema::createTable("ecgTable", version) << DbSchema::createTable("cloudTable", version);
    } else {
        // Before version 9 the recordings table had no cloud columns.
        s << "create table ecgTable (ecgId integer primary key autoincrement, patientId int default 0, "
             "ecgTime int default 0, fileSize int default 0, fileName text default '', "
             "qvlCaseId text default '', qvlCaseUrl text default '', qvlCaseStatus int default 0, "
             "pacsStatus int default 0, pacsTs int default 0, pacsStudyUuid text default '', "
             "tsLastChanged int default 0)";
    }
    if (version >= 8)
        s << DbSchema::createTable("discoveryTable");
    for (const char* v : {"patientViewQml", "ecgViewQml", "pacsViewQml", "worklistViewQml",
                          "patientViewQmlKx", "worklistViewQmlKx", "ecgViewQmlKx", "pacsViewQmlKx"})
        s << DbSchema::createView(v, version);
    if (version >= 9)
        s << DbSchema::createView("cloudViewQml", version);

    s << QString("insert into systemTable values (1, %1)").arg(version);
    for (int oid : settingsOidsAt(version)) {
        if (oid == 4 || oid == 48)
            s << QString("insert into systemTable values (%1, 'AwLUts0=')").arg(oid); // enciphered ''
        else if (oid == 47)
            s << "insert into systemTable values (47, 'vet''s account')";
        else if (oid == 35)
            s << "insert into systemTable values (35, '0042')"; // stored as integer 42 by older programs
        else
            s << QString("insert into systemTable values (%1, %2)").arg(oid).arg(oid * 10);
    }
    s << "insert into speciesTable values (0, 'Canine', 1)"
      << "insert into speciesTable values (1, 'Feline', 1)"
      << "insert into breedTable values (1, 0, 'Beagle')"
      << "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex, birthdate, "
         "extId, breed, weight, weightUnit) values ('Rex', 'Ann', 'O''Brien', 0, 3, 1262304000, "
         "'P-1', 'Beagle', 7.5, 0)"
      << "insert into patientTable (patientName, ownerFirst, ownerLast, species, sex) "
         "values ('Tom', 'Bob', 'Smith', 1, 4)"
      << "insert into patientTable (patientName, ownerFirst, ownerLast, species) "
         "values ('Stray', 'C', 'D', 9)"
      << "insert into ecgTable (patientId, ecgTime, fileSize, fileName, qvlCaseStatus) "
         "values (1, 1700000000, 30000, '1_1_20231114_221320.ecg', 8)"
      << "insert into ecgTable (patientId, ecgTime, fileSize, fileName, qvlCaseStatus) "
         "values (1, 1700000100, 249, '1_2_20231114_221500.ecg', 2)"
      << "insert into ecgTable (patientId, ecgTime, fileSize, fileName) "
         "values (2, 1700000200, 250, '2_3_20231114_221640.ecg')"
      << "insert into worklistTable (idx, patientName, ownerLast, species, tsStudy, sUuid) "
         "values (0, 'Wl', 'Owner', 1, 1700000000, '1.2.3')"
      << "insert into pacsTable (idx, patientName, ownerFirst, ownerLast, species, sUuid) "
         "values (0, 'Px', 'F', 'L', 0, '1.2.4')"
      << "insert into pictureTable (patientId, imgPath) values (1, 'a.png')";
    if (version >= 8)
        s << "insert into discoveryTable (idx, source, device, mac) values (0, 0, 'Kx-1', '00:11')";
    return execOn(path, s);
}

QString execOn(const QString& path, const QStringList& statements)
{
    TempConnection c(path);
    QSqlDatabase db = c.db();
    if (!db.isOpen())
        return db.lastError().text();
    for (const QString& st : statements) {
        QSqlQuery q(db);
        if (!q.exec(st))
            return st + ": " + q.lastError().text();
    }
    return {};
}

QStringList rowsOf(const QString& path, const QString& query)
{
    TempConnection c(path);
    QSqlQuery q(c.db());
    QStringList out;
    if (!q.exec(query))
        return {"error: " + q.lastError().text()};
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << q.value(i).toString();
        out << values.join('|');
    }
    return out;
}

QByteArray fileBytes(const QString& path)
{
    QByteArray all;
    for (const char* suffix : {"", "-wal", "-journal"}) {
        QFile f(path + suffix);
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

}
