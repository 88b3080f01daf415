#include <QtTest>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include "dbman.h"
#include "sqlquerymodel.h"
#include "storetestutil.h"

#include <memory>

class TestSqlQueryModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void rolesFollowColumns();
    void failingAndMissingQueries();
    void boundFilterIsNeverSql_data();
    void boundFilterIsNeverSql();
    void pairedViewsKeepColumnPositions();
    void qmlListsSwitchQueries();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CDbMan> m_db;
};

void TestSqlQueryModel::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    int from, to;
    m_db = std::make_unique<CDbMan>(m_dir->path() + "/", from, to);
    QVERIFY(m_db->isOk());
    QSqlQuery q(*m_db->database());
    const QStringList rows = {
        "insert into speciesTable values (0, 'Canine', 1)",
        "insert into speciesTable values (1, 'Feline', 0)",
        "insert into breedTable values (1, 0, 'Beagle')",
        "insert into breedTable values (2, 0, 'Akita')",
        "insert into breedTable values (3, 1, 'Bombay')",
        "insert into patientTable (patientName, extId, ownerFirst, ownerLast, species, sex) values ('rex', 'P1', 'A', 'B', 0, 1)",
        "insert into patientTable (patientName, extId, ownerFirst, ownerLast, species, sex) values ('O''Malley', 'P2', 'A', 'B', 1, 2)",
        "insert into patientTable (patientName, extId, ownerFirst, ownerLast, species, sex) values ('Bella', '50%', 'A', 'B', 0, 4)",
        "insert into ecgTable (patientId, ecgTime, fileSize, fileName) values (1, 86400, 5000, '1_1.ecg')",
        "insert into ecgTable (patientId, ecgTime, fileSize, fileName) values (2, 172800, 5000, '2_2.ecg')",
        "insert into worklistTable (idx, patientName, extId, species, sex, tsStudy) values (0, 'Wanda', 'W1', 1, 3, 0)",
        "insert into pacsTable (idx, patientName, extId, ownerFirst, ownerLast, species, tsStudy, sUuid) values (0, 'Paco', 'X1', 'A', 'B', 0, 86400, '1.2.840.1')",
    };
    for (const QString& r : rows)
        QVERIFY2(q.exec(r), qPrintable(r));
}

void TestSqlQueryModel::cleanupTestCase()
{
    m_db.reset();
}

void TestSqlQueryModel::rolesFollowColumns()
{
    CSqlQueryModel model;
    QVERIFY(model.roleNames().isEmpty());
    model.setQuery("SELECT id, species as dataText, hasBreedList as supplementalData FROM speciesTable order by species asc");
    const QHash<int, QByteArray> roles = model.roleNames();
    QCOMPARE(roles.size(), 3);
    QCOMPARE(roles.value(257), QByteArray("id"));
    QCOMPARE(roles.value(258), QByteArray("dataText"));
    QCOMPARE(roles.value(259), QByteArray("supplementalData"));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(1, 0), 258).toString(), QString("Feline"));
    QCOMPARE(model.data(model.index(0, 2), 259).toInt(), 1); // the role picks the column
    QCOMPARE(model.data(model.index(1, 0), Qt::DisplayRole).toInt(), 1);
    QVERIFY(!model.data(model.index(0, 0), 256).isValid());
    QVERIFY(!model.data(model.index(0, 0), 260).isValid());

    // A column name that occurs twice gives two roles of that name.
    model.setQuery("SELECT id, id FROM speciesTable");
    QCOMPARE(model.roleNames().values(), (QList<QByteArray>{"id", "id"}));
}

void TestSqlQueryModel::failingAndMissingQueries()
{
    CSqlQueryModel model;
    model.setQuery("SELECT * FROM speciesTable");
    QCOMPARE(model.rowCount(), 2);
    model.setQuery("SELECT * FROM noSuchTable");
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.roleNames().isEmpty());
    QVERIFY(model.lastError().isValid());

    QSqlQuery q(*m_db->database());
    q.prepare("SELECT species FROM speciesTable where id=?");
    q.addBindValue(1);
    QVERIFY(q.exec());
    model.setQuery(std::move(q));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.data(model.index(0, 0), 257).toString(), QString("Feline"));
}

void TestSqlQueryModel::boundFilterIsNeverSql_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("apostrophe") << "O'Mal" << QStringList{"O'Malley"};
    QTest::newRow("injection") << "x' or '1'='1" << QStringList{};
    QTest::newRow("case-insensitive") << "REX" << QStringList{"rex"};
    QTest::newRow("by id") << "P2" << QStringList{"O'Malley"};
    QTest::newRow("everything") << "" << QStringList{"Bella", "O'Malley", "rex"};
}

void TestSqlQueryModel::boundFilterIsNeverSql()
{
    QFETCH(QString, search);
    QFETCH(QStringList, names);
    CSqlQueryModel model;
    model.setBoundQuery("SELECT * FROM patientViewQmlKx where patientName like ? or extId like ? "
                        "order by patientName COLLATE NOCASE asc, extId asc",
                        {"%" + search + "%", "%" + search + "%"});
    QVERIFY(!model.lastError().isValid());
    QStringList got;
    const int nameRole = model.roleNames().key("patientName");
    for (int r = 0; r < model.rowCount(); ++r)
        got << model.data(model.index(r, 0), nameRole).toString();
    QCOMPARE(got, names);
    QCOMPARE(StoreTest::rowsOf(m_db->databasePath(), "select count(*) from patientTable"), QStringList{"3"});
}

// One QML list shows both views of a pair; QML keeps the roles of the first.
void TestSqlQueryModel::pairedViewsKeepColumnPositions()
{
    auto columns = [](const QString& view) {
        CSqlQueryModel m;
        m.setQuery("SELECT * FROM " + view);
        QStringList names;
        for (int i = 0; i < m.record().count(); ++i)
            names << m.record().fieldName(i);
        return names;
    };
    QCOMPARE(columns("worklistViewQmlKx"), columns("patientViewQmlKx"));
    QStringList pacs = columns("pacsViewQmlKx");
    QStringList ecg = columns("ecgViewQmlKx");
    QCOMPARE(pacs.indexOf("filename"), ecg.indexOf("fileName"));
    pacs.replace(pacs.indexOf("filename"), "fileName");
    QCOMPARE(pacs, ecg);
}

void TestSqlQueryModel::qmlListsSwitchQueries()
{
    CSqlQueryModel model1;
    CSqlQueryModel model2;
    QQuickView view;
    view.rootContext()->setContextProperty("dataModel1", &model1);
    view.rootContext()->setContextProperty("dataModel2", &model2);
    QObject* root = nullptr;
    auto call = [&](const char* fn, const QVariant& arg = QVariant()) {
        QVariant ret;
        if (arg.isValid())
            QMetaObject::invokeMethod(root, fn, Q_RETURN_ARG(QVariant, ret), Q_ARG(QVariant, arg));
        else
            QMetaObject::invokeMethod(root, fn, Q_RETURN_ARG(QVariant, ret));
        return ret.toStringList();
    };

    model1.setQuery("SELECT * FROM patientViewQmlKx order by patientName COLLATE NOCASE asc, extId asc");
    model2.setQuery("SELECT id, species as dataText, hasBreedList as supplementalData FROM speciesTable order by species asc");
    view.setSource(QUrl::fromLocalFile(MALVORANT_SOURCE_DIR "/tests/store/models.qml"));
    QCOMPARE(view.status(), QQuickView::Ready);
    root = view.rootObject();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QCOMPARE(call("listTexts"), (QStringList{"Bella/50%/Female, Spayed", "O'Malley/P2/Female", "rex/P1/Male"}));
    QCOMPARE(call("pickerTexts"), (QStringList{"Canine:1", "Feline:0"}));

    // The patient list switches to the worklist and to a search.
    call("setQuery1", "SELECT * FROM worklistViewQmlKx order by patientName COLLATE NOCASE asc, extId asc");
    QCOMPARE(call("listTexts"), QStringList{"Wanda/W1/Male, Neutered"});
    call("searchPatients", "O'M");
    QCOMPARE(call("listTexts"), QStringList{"O'Malley/P2/Female"});

    // The breed picker replaces the species picker.
    call("setQuery2", "SELECT id, breed as dataText, 0 as supplementalData FROM breedTable where speciesId=0 order by breed asc");
    QCOMPARE(call("pickerTexts"), (QStringList{"Akita:0", "Beagle:0"}));

    // The recording screen: recordings, then the PACS list in the same list.
    model1.setQuery("SELECT * FROM ecgViewQmlKx order by studyDate desc");
    root->setProperty("screen", 1);
    QCOMPARE(call("listTexts"), (QStringList{"O'Malley/1970-01-03 00:00:00/2_2.ecg", "rex/1970-01-02 00:00:00/1_1.ecg"}));
    call("setQuery1", "SELECT * FROM pacsViewQmlKx order by patientName COLLATE NOCASE asc, extId asc, studyDate desc");
    QCOMPARE(call("listTexts"), QStringList{"Paco/1970-01-02 00:00:00/1.2.840.1"});
}

QTEST_MAIN(TestSqlQueryModel)
#include "tst_sqlquerymodel.moc"
