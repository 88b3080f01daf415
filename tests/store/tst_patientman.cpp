#include "storetestenv.h"

#include "commalocale.h"
#include "localtime.h"

#include <QDateTime>
#include <QTest>

class TestPatientMan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useBerlinTime(); }
    void newDatabase_data();
    void newDatabase();
    void reopenedDatabaseGetsNoLists();
    void createAndLoad_data();
    void createAndLoad();
    void weightUnderCommaLocale();
    void loadDoesNotLeakBetweenPatients();
    void failedWritesChangeNothing();
    void updatePatient();
    void deletePatient();
    void patientFromWorklist();
    void patientFromPacs();
    void patientFromMissingRow();
    void patientFromWorklistTakesTheRecordedSpecies();
    void brokenBreedNameMended();
    void speciesAndBreedLookups();
    void currentModelIndex();
};

void TestPatientMan::newDatabase_data()
{
    QTest::addColumn<int>("applicationType");
    QTest::addColumn<int>("speciesCount");
    QTest::addColumn<int>("breedCount");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("species");
    QTest::addColumn<QString>("breed");
    QTest::newRow("program") << 1 << 21 << 444 << "demo" << 3 << "Bombay";
    QTest::newRow("neutral") << 0 << 5 << 343 << "Patient" << 2 << "Other";
}

void TestPatientMan::newDatabase()
{
    QFETCH(int, applicationType);
    QFETCH(int, speciesCount);
    QFETCH(int, breedCount);
    QFETCH(QString, name);
    QFETCH(int, species);
    QFETCH(QString, breed);

    const std::int64_t before = localTimeStampNow();
    StoreEnv env(applicationType);
    QCOMPARE(env.fromVersion, 0);
    QCOMPARE(env.value("select count(*) from speciesTable").toInt(), speciesCount);
    QCOMPARE(env.value("select count(*) from breedTable").toInt(), breedCount);
    if (applicationType == 1) {
        QCOMPARE(env.value("select count(*) from breedTable where speciesId=6").toInt(), 57);
        QCOMPARE(env.value("select count(*) from breedTable where speciesId=2").toInt(), 231);
        QCOMPARE(env.value("select count(*) from breedTable where speciesId=1").toInt(), 50);
        QCOMPARE(env.value("select count(*) from breedTable where speciesId=3").toInt(), 68);
        QCOMPARE(env.value("select count(*) from breedTable where speciesId=17").toInt(), 38);
        QCOMPARE(env.value("select breed from breedTable where id=28").toString(),
                 QStringLiteral("Goose, Domestic"));
        QCOMPARE(env.value("select species from speciesTable where id=19").toString(),
                 QStringLiteral("Small Mammal"));
    } else {
        for (int s = 1; s <= 3; ++s) {
            QCOMPARE(env.patients->getFirstBreedOfSpecies(s), QStringLiteral("Other"));
        }
    }

    CPatientMan& p = *env.patients;
    QCOMPARE(p.patientId, 1);
    QCOMPARE(env.settings->patientId, 1);
    QCOMPARE(env.value("select value from systemTable where oid=2").toInt(), 1);
    QCOMPARE(p.patientName, name);
    QCOMPARE(p.species, species);
    QCOMPARE(p.breed, breed);
    QCOMPARE(p.weight, 7.0f);
    QCOMPARE(p.birthdate, std::int64_t(1451649600));
    QCOMPARE(p.speciesName, species == 3 ? QStringLiteral("Feline") : QStringLiteral("Canine"));
    QVERIFY(p.tsLastChanged >= before && p.tsLastChanged <= localTimeStampNow());
    // The patient list (a view joined with the species) shows it.
    QCOMPARE(env.value("select count(*) from patientViewQmlKx").toInt(), 1);
}

void TestPatientMan::reopenedDatabaseGetsNoLists()
{
    StoreEnv env;
    env.exec("delete from breedTable where id>10");
    env.open();
    QVERIFY(env.fromVersion > 0);
    QCOMPARE(env.value("select count(*) from breedTable").toInt(), 10);
    QCOMPARE(env.value("select count(*) from patientTable").toInt(), 1);
}

void TestPatientMan::createAndLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<float>("weight");
    QTest::addColumn<QString>("storedWeight");
    QTest::addColumn<std::int64_t>("birthdate");
    QTest::newRow("whole kg") << "Rex" << 7.0f << "7" << std::int64_t(1451649600);
    QTest::newRow("quarter") << "Bella" << 7.25f << "7.25" << std::int64_t(0);
    QTest::newRow("small bird") << "Tweety" << 0.3f << "0.3" << std::int64_t(-86400 * 365);
    QTest::newRow("apostrophe") << "O'Malley" << 12.5f << "12.5" << std::int64_t(1719792000);
    QTest::newRow("quote and backslash") << "Say \"hi\" \\ bye" << 3.0f << "3"
                                         << std::int64_t(4102444800LL); // after 2038
    QTest::newRow("line break") << "two\nlines" << 1.0f << "1" << std::int64_t(1);
}

void TestPatientMan::createAndLoad()
{
    QFETCH(QString, name);
    QFETCH(float, weight);
    QFETCH(QString, storedWeight);
    QFETCH(std::int64_t, birthdate);

    StoreEnv env;
    CPatientMan& p = *env.patients;
    const int id = p.createPatient(name, "X-1", "Ann", "Lee", 6, 2, weight, 0, "Parrot, Senegal",
                                   birthdate, "1.2.3.4", "other");
    QVERIFY(id > 1);
    QCOMPARE(p.patientId, id);
    QCOMPARE(env.settings->patientId, id);
    QCOMPARE(env.value("select patientName from patientTable where patientId=?", {id}).toString(), name);
    QCOMPARE(env.value("select cast(weight as text) from patientTable where patientId=?", {id}).toString(),
             storedWeight);
    // Avian breeds before "Parrot, Senegal": the 55 listed before it.
    QCOMPARE(p.breedListIdx, 55);

    QVERIFY(p.loadPatient(1));
    QCOMPARE(p.patientName, QStringLiteral("demo"));
    QVERIFY(p.loadPatient(id));
    QCOMPARE(p.patientName, name);
    QCOMPARE(p.weight, weight);
    QCOMPARE(p.birthdate, birthdate);
    QCOMPARE(p.ownerFirst, QStringLiteral("Ann"));
    QCOMPARE(p.sex, 2);
    QCOMPARE(p.speciesName, QStringLiteral("Avian"));
    QCOMPARE(p.pendingStudyUuid, QStringLiteral("1.2.3.4"));
    QCOMPARE(p.otherExtIds, QStringLiteral("other"));
}

// The program runs under the user's locale (QApplication sets it); a weight
// must still be stored and read with a decimal point.
void TestPatientMan::weightUnderCommaLocale()
{
    CommaLocale german;
    QVERIFY2(german.isActive(), qPrintable(german.error()));
    StoreEnv env;
    CPatientMan& p = *env.patients;
    const int id = p.createPatient("Rex", "X-2", "Ann", "Lee", 2, 1, 7.25f, 0, "Other", 0, "", "");
    QVERIFY(id > 1);
    QCOMPARE(env.value("select typeof(weight) from patientTable where patientId=?", {id}).toString(),
             QStringLiteral("real"));
    QCOMPARE(env.value("select cast(weight as text) from patientTable where patientId=?", {id}).toString(),
             QStringLiteral("7.25"));
    QVERIFY(p.updatePatient(id, "Rex", "X-2", "Ann", "Lee", 2, 1, 0.3f, 0, "Other", 0));
    QCOMPARE(env.value("select cast(weight as text) from patientTable where patientId=?", {id}).toString(),
             QStringLiteral("0.3"));
    QVERIFY(p.loadPatient(1));
    QVERIFY(p.loadPatient(id));
    QCOMPARE(p.weight, 0.3f);
}

void TestPatientMan::loadDoesNotLeakBetweenPatients()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    const int a = p.createPatient("A", "A1", "f", "l", 2, 1, 10, 0, "Akita", 0, "1.2.3", "ids-a");
    const int b = p.createPatient("B", "B1", "f", "l", 2, 1, 10, 0, "Akita", 0, QString(), QString());
    QVERIFY(a > 0 && b > 0);
    QVERIFY(p.loadPatient(a));
    QCOMPARE(p.pendingStudyUuid, QStringLiteral("1.2.3"));
    QVERIFY(p.loadPatient(b));
    QVERIFY(p.pendingStudyUuid.isEmpty());
    QVERIFY(p.otherExtIds.isEmpty());
    // Updating another patient makes it current with its own values.
    QVERIFY(p.updatePatient(a, "A", "A1", "f", "l", 2, 1, 11, 0, "Akita", 0));
    QCOMPARE(p.pendingStudyUuid, QStringLiteral("1.2.3"));
    QCOMPARE(p.otherExtIds, QStringLiteral("ids-a"));
    // A species the species table does not know leaves no name or breed
    // position of the previous patient behind.
    QVERIFY(p.loadPatient(a));
    QCOMPARE(p.speciesName, QStringLiteral("Canine"));
    QVERIFY(p.breedListIdx >= 0);
    const int c = p.createPatient("C", "C1", "f", "l", 99, 1, 10, 0, "Unknown", 0, QString(), QString());
    QVERIFY(c > 0);
    QVERIFY(p.speciesName.isEmpty());
    QCOMPARE(p.breedListIdx, -1);
    QCOMPARE(p.getSpeciesId(), -1);
    QVERIFY(p.loadPatient(a));
    QCOMPARE(p.speciesName, QStringLiteral("Canine"));
    QVERIFY(p.loadPatient(c));
    QVERIFY(p.speciesName.isEmpty());
    // A null text from a caller is stored as an empty one (owner names are required columns).
    QCOMPARE(env.value("select ownerFirst is not null from patientTable where patientId=?", {b}).toInt(), 1);
}

void TestPatientMan::failedWritesChangeNothing()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    const int before = env.value("select count(*) from patientTable").toInt();

    env.breakWrites("patientTable", "insert");
    QCOMPARE(p.createPatient("Ghost", "G", "f", "l", 2, 0, 1, 0, "Akita", 0, QString(), QString()), -1);
    QCOMPARE(p.patientId, 1);
    QCOMPARE(p.patientName, QStringLiteral("demo"));
    QCOMPARE(env.settings->patientId, 1);
    QCOMPARE(env.value("select count(*) from patientTable").toInt(), before);

    env.breakWrites("patientTable", "update");
    QVERIFY(!p.updatePatient(1, "Renamed", "x", "f", "l", 2, 0, 1, 0, "Akita", 0));
    QCOMPARE(p.patientName, QStringLiteral("demo"));
    QCOMPARE(env.value("select patientName from patientTable where patientId=1").toString(),
             QStringLiteral("demo"));
    env.mendWrites("patientTable", "update");

    // A patient that does not exist is not "updated".
    QVERIFY(!p.updatePatient(999, "Nobody", "x", "f", "l", 2, 0, 1, 0, "Akita", 0));
    QCOMPARE(p.patientId, 1);
    QVERIFY(!p.loadPatient(999));
    QCOMPARE(p.patientId, 1);
}

void TestPatientMan::updatePatient()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    QVERIFY(p.updatePatient(1, "Kitty", "K9", "Jo", "Bo", 3, 4, 4.5f, 1, "Siamese", 1719792000));
    QCOMPARE(p.patientName, QStringLiteral("Kitty"));
    QCOMPARE(p.weight, 4.5f);
    QCOMPARE(p.weightUnit, 1);
    QCOMPARE(p.sex, 4);
    QCOMPARE(env.value("select breed from patientTable where patientId=1").toString(),
             QStringLiteral("Siamese"));
    QCOMPARE(env.value("select tsLastChanged from patientTable where patientId=1").toLongLong(),
             p.tsLastChanged);
}

void TestPatientMan::deletePatient()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    const int b = p.createPatient("B", "B", "f", "l", 2, 0, 1, 0, "Akita", 0, QString(), QString());
    const int c = p.createPatient("C", "C", "f", "l", 2, 0, 1, 0, "Akita", 0, QString(), QString());
    // Make B the most recently changed one.
    env.exec("update patientTable set tsLastChanged=tsLastChanged+100 where patientId=?", {b});

    // Not the current one: the current patient stays.
    QVERIFY(p.deletePatient(1));
    QCOMPARE(p.patientId, c);
    QVERIFY(!p.deletePatient(1)); // gone already

    // The current one: the most recently changed remaining patient follows.
    QVERIFY(p.deletePatient(c));
    QCOMPARE(p.patientId, b);
    QCOMPARE(p.patientName, QStringLiteral("B"));
    QCOMPARE(env.settings->patientId, b);

    // The last one: nobody is current, and the deleted patient is not kept.
    QVERIFY(!p.deletePatient(b));
    QCOMPARE(p.patientId, -1);
    QVERIFY(p.patientName.isEmpty());
    QCOMPARE(env.settings->patientId, -1);
    QCOMPARE(env.value("select count(*) from patientTable").toInt(), 0);
}

static void addDcmRow(StoreEnv& env, const QString& table, int idx, const QString& name,
                      const QString& uid, double weight, qint64 tsStudy)
{
    env.exec(QStringLiteral("insert into %1 (idx, extId, otherExtIds, patientName, ownerFirst, "
                            "ownerLast, accno, species, sex, birthdate, breed, weight, weightUnit, "
                            "tsStudy, sUuid) values (?, 'E-7', '', ?, 'Owen', 'Hart', 'ACC1', 6, 2, "
                            "1262347200, 'Wild Bird', ?, 0, ?, ?)")
                 .arg(table),
             {idx, name, weight, tsStudy, uid});
}

void TestPatientMan::patientFromWorklist()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    const qint64 summerStudy = 4107542400LL; // beyond 2^31 s: needs 64 bits
    addDcmRow(env, "worklistTable", 0, "Polly", "1.2.826.0.1.1", 0.3, summerStudy);
    addDcmRow(env, "worklistTable", 1, "Polly", "1.2.826.0.1.2", 0.3, 1700000000);

    QString uid;
    std::int64_t ts = 0;
    const int id = p.createPatientfromDcm(0, true, uid, ts);
    QVERIFY(id > 1);
    QCOMPARE(uid, QStringLiteral("1.2.826.0.1.1"));
    QCOMPARE(ts, std::int64_t(summerStudy));
    QCOMPARE(p.patientId, id);
    QCOMPARE(p.weight, 0.3f);
    QCOMPARE(env.value("select cast(weight as text) from patientTable where patientId=?", {id}).toString(),
             QStringLiteral("0.3"));
    QCOMPARE(p.pendingStudyUuid, QStringLiteral("1.2.826.0.1.1"));
    QCOMPARE(p.species, 6);
    QCOMPARE(p.breed, QStringLiteral("Wild Bird"));

    // The same patient again: found, only the pending study changes.
    const int count = env.value("select count(*) from patientTable").toInt();
    QCOMPARE(p.createPatientfromDcm(1, true, uid, ts), id);
    QCOMPARE(env.value("select count(*) from patientTable").toInt(), count);
    QCOMPARE(p.pendingStudyUuid, QStringLiteral("1.2.826.0.1.2"));
    QCOMPARE(env.value("select pendingStudyUuid from patientTable where patientId=?", {id}).toString(),
             QStringLiteral("1.2.826.0.1.2"));
}

void TestPatientMan::patientFromPacs()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    addDcmRow(env, "pacsTable", 0, "Polly", "1.2.826.0.9.1", 2.5, 1700000000);
    QString uid;
    std::int64_t ts = 0;

    // No such patient yet: created without a pending study.
    const int id = p.createPatientfromDcm(0, false, uid, ts);
    QVERIFY(id > 1);
    QCOMPARE(uid, QStringLiteral("1.2.826.0.9.1"));
    QVERIFY(p.pendingStudyUuid.isEmpty());

    // An existing patient with a pending worklist study keeps it.
    env.exec("update patientTable set pendingStudyUuid='1.2.3.wl' where patientId=?", {id});
    QVERIFY(p.loadPatient(1));
    QCOMPARE(p.createPatientfromDcm(0, false, uid, ts), id);
    QCOMPARE(p.pendingStudyUuid, QStringLiteral("1.2.3.wl"));
    QCOMPARE(env.value("select pendingStudyUuid from patientTable where patientId=?", {id}).toString(),
             QStringLiteral("1.2.3.wl"));
}

void TestPatientMan::patientFromMissingRow()
{
    StoreEnv env;
    QString uid = QStringLiteral("stale");
    std::int64_t ts = 5;
    QCOMPARE(env.patients->createPatientfromDcm(42, true, uid, ts), -1);
    QVERIFY(uid.isEmpty());
    QCOMPARE(env.patients->patientId, 1);
}

// A worklist entry without species gives its new patient the species of
// the recording it is made for; an entry with one keeps its own.
void TestPatientMan::patientFromWorklistTakesTheRecordedSpecies()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    addDcmRow(env, "worklistTable", 0, "Polly", "1.2.826.0.1.1", 0.3, 1700000000);
    addDcmRow(env, "worklistTable", 1, "Minka", "1.2.826.0.1.2", 4.0, 1700000000);
    env.exec("update worklistTable set species=0, breed='' where idx=1");
    QString uid;
    std::int64_t ts = 0;
    const int minka = p.createPatientfromDcm(1, true, uid, ts, 3);
    QVERIFY(minka > 1);
    QCOMPARE(p.species, 3);
    QCOMPARE(p.speciesName, QStringLiteral("Feline"));
    QCOMPARE(env.value("select species from patientTable where patientId=?", {minka}).toInt(), 3);
    const int polly = p.createPatientfromDcm(0, true, uid, ts, 3);
    QCOMPARE(env.value("select species from patientTable where patientId=?", {polly}).toInt(), 6);
}

// A database written with the broken breed name gets it mended at start,
// in the breed list and in the patient that chose it, once.
void TestPatientMan::brokenBreedNameMended()
{
    StoreEnv env;
    env.exec("update breedTable set breed='oose, Domestic' where id=28");
    const int goose = env.patients->createPatient("Gustav", "G-1", "Olga", "Berg", 6, 1, 4.0f, 0,
                                                  "oose, Domestic", 0, QString(), QString());
    const int other = env.patients->createPatient("Rex", "R-1", "Olga", "Berg", 2, 1, 4.0f, 0,
                                                  "oose, Domestic", 0, QString(), QString());
    env.open();
    QCOMPARE(env.value("select breed from breedTable where id=28").toString(), QStringLiteral("Goose, Domestic"));
    QCOMPARE(env.value("select count(*) from breedTable where breed like '%oose, Domestic'").toInt(), 1);
    QCOMPARE(env.value("select breed from patientTable where patientId=?", {goose}).toString(),
             QStringLiteral("Goose, Domestic"));
    // Typed for another species: the user's text stays.
    QCOMPARE(env.value("select breed from patientTable where patientId=?", {other}).toString(),
             QStringLiteral("oose, Domestic"));
    QVERIFY(env.patients->loadPatient(goose));
    QCOMPARE(env.patients->getBreedListIdx(), 27);
}

void TestPatientMan::speciesAndBreedLookups()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    // demo: Feline, Bombay. Feline breeds sorting before "Bombay": Abyssinian,
    // American Bobtail, American Curl (Red Tabby), American Shorthair,
    // American Wirehair, Angora, "Angora, Turkish", Balinese, Birman,
    // "Bobtail, American", "Bobtail, Japanese".
    QCOMPARE(p.breedListIdx, 11);
    QCOMPARE(p.getSpeciesId(), 3);
    QCOMPARE(p.getSpeciesIdByName(), 3);
    QCOMPARE(p.getBreedListIdx(), 11);
    // Species by name: Alpaca, Avian, Canine, Cow, Equine sort before Feline.
    QCOMPARE(p.getSpeciesListIdx(), 5);

    p.speciesName = QStringLiteral("Small Mammal");
    QCOMPARE(p.getSpeciesId(), 19);
    p.speciesName = QStringLiteral("Dragon");
    QCOMPARE(p.getSpeciesId(), -1);
    QCOMPARE(p.getSpeciesIdByName(), 0);

    QCOMPARE(p.getFirstBreedOfSpecies(2), QStringLiteral("Affenpinscher"));
    QCOMPARE(p.getFirstBreedOfSpecies(1), QStringLiteral("Am. Saddle"));
    QCOMPARE(p.getFirstBreedOfSpecies(6), QStringLiteral("Amazon, Blue Front"));
    QVERIFY(p.getFirstBreedOfSpecies(7).isEmpty());

    // A species without a breed list has no breed position.
    QVERIFY(p.updatePatient(1, "demo", "demoId", "a", "b", 7, 0, 300, 0, "", 0));
    QCOMPARE(p.speciesName, QStringLiteral("Cow"));
    QCOMPARE(p.breedListIdx, -1);
}

void TestPatientMan::currentModelIndex()
{
    StoreEnv env;
    CPatientMan& p = *env.patients;
    const int annaUpper = p.createPatient("Anna", "2", "f", "l", 2, 0, 1, 0, "Akita", 0, {}, {});
    const int anna = p.createPatient("anna", "2", "f", "l", 2, 0, 1, 0, "Akita", 0, {}, {});
    const int bob = p.createPatient("Bob", "1", "f", "l", 2, 0, 1, 0, "Akita", 0, {}, {});
    const int annaFirstId = p.createPatient("ANNA", "1", "f", "l", 2, 0, 1, 0, "Akita", 0, {}, {});
    // Not listed: its species does not exist.
    p.createPatient("Aaron", "0", "f", "l", 99, 0, 1, 0, "", 0, {}, {});
    QVERIFY(annaUpper > 0 && anna > 0 && bob > 0 && annaFirstId > 0);

    // The list: ANNA (extId 1), Anna (2, lower id), anna (2), Bob, demo.
    const QList<int> order{annaFirstId, annaUpper, anna, bob, 1};
    QSqlQuery list(env.database());
    QVERIFY(list.exec("SELECT id FROM patientViewQmlKx order by patientName COLLATE NOCASE, extId, id"));
    QList<int> shown;
    while (list.next())
        shown << list.value(0).toInt();
    QCOMPARE(shown, order);
    for (int row = 0; row < order.size(); ++row) {
        QVERIFY(p.loadPatient(order[row]));
        QCOMPARE(p.getCurrentModelIndex(), row);
    }
}

QTEST_GUILESS_MAIN(TestPatientMan)
#include "tst_patientman.moc"
