#include "species.h"

#include <QMap>
#include <QTest>

class TestSpecies : public QObject
{
    Q_OBJECT

private slots:
    void speciesSets();
    void breedList1();
    void breedList2();
    void spellings_data();
    void spellings();
    void lookups();
};

static QString breedName(const RowSpan<BreedRow>& rows, int id)
{
    for (const BreedRow& row : rows) {
        if (row.id == id)
            return QString::fromLatin1(row.name);
    }
    return QString();
}

static QString firstBreedOf(const RowSpan<BreedRow>& rows, int speciesId)
{
    for (const BreedRow& row : rows) {
        if (row.speciesId == speciesId)
            return QString::fromLatin1(row.name);
    }
    return QString();
}

void TestSpecies::speciesSets()
{
    const RowSpan<SpeciesRow> full = speciesRows(1);
    QCOMPARE(full.size(), std::size_t(21));
    for (std::size_t i = 0; i < full.size(); ++i)
        QCOMPARE(full[i].id, int(i));
    QCOMPARE(QString::fromLatin1(full[19].name), QStringLiteral("Small Mammal"));
    QCOMPARE(QString::fromLatin1(full[10].name), QStringLiteral("GuineaPig"));
    int withBreeds = 0;
    for (const SpeciesRow& row : full)
        withBreeds += row.hasBreedList;
    QCOMPARE(withBreeds, 5); // Equine, Canine, Feline, Avian, Rodent
    QCOMPARE(full[6].hasBreedList, 1);
    QCOMPARE(full[17].hasBreedList, 1);

    const RowSpan<SpeciesRow> reduced = speciesRows(0);
    QCOMPARE(reduced.size(), std::size_t(5));
    QCOMPARE(QString::fromLatin1(reduced[4].name), QStringLiteral("Other"));
}

void TestSpecies::breedList1()
{
    const RowSpan<BreedRow> rows = breedRows(1);
    QCOMPARE(rows.size(), std::size_t(444));
    QMap<int, int> perSpecies;
    int expectedId = 1;
    for (const BreedRow& row : rows) {
        QCOMPARE(row.id, expectedId++);
        ++perSpecies[row.speciesId];
    }
    QCOMPARE(perSpecies.value(6), 57);
    QCOMPARE(perSpecies.value(2), 231);
    QCOMPARE(perSpecies.value(1), 50);
    QCOMPARE(perSpecies.value(3), 68);
    QCOMPARE(perSpecies.value(17), 38);
    QCOMPARE(perSpecies.size(), 5);
    QCOMPARE(firstBreedOf(rows, 2), QStringLiteral("Affenpinscher"));
    QCOMPARE(firstBreedOf(rows, 1), QStringLiteral("Am. Saddle"));
    QCOMPARE(firstBreedOf(rows, 3), QStringLiteral("Abyssinian"));
    QCOMPARE(firstBreedOf(rows, 6), QStringLiteral("Amazon, Blue Front"));
    QCOMPARE(breedRows(2).size(), std::size_t(444)); // any non-zero type
}

void TestSpecies::breedList2()
{
    const RowSpan<BreedRow> rows = breedRows(0);
    QCOMPARE(rows.size(), std::size_t(343));
    QMap<int, int> perSpecies;
    int lastId = 0;
    for (const BreedRow& row : rows) {
        QVERIFY(row.id > lastId);
        QVERIFY(row.id != 4 && row.id != 5 && row.id != 9);
        lastId = row.id;
        ++perSpecies[row.speciesId];
    }
    QCOMPARE(lastId, 346);
    QCOMPARE(perSpecies.value(2), 202);
    QCOMPARE(perSpecies.value(3), 51);
    QCOMPARE(perSpecies.value(1), 90);
    for (int species = 1; species <= 3; ++species)
        QCOMPARE(firstBreedOf(rows, species), QStringLiteral("Other"));
    QCOMPARE(breedName(rows, 7), QStringLiteral("Mixed"));
    QCOMPARE(breedName(rows, 10), QStringLiteral("Affenpinscher"));
    QCOMPARE(breedName(rows, 209), QStringLiteral("Bearded Collie")); // listed twice
    QCOMPARE(breedName(rows, 210), QStringLiteral("Abyssinian"));
    QCOMPARE(breedName(rows, 259), QStringLiteral("Abaco Barb"));
    QCOMPARE(breedName(rows, 346), QStringLiteral("Westphalian"));
}

void TestSpecies::spellings_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("speciesId");
    QTest::addColumn<QString>("name");
    // Kept as they have always been stored, typos included; only a name
    // that lost its first letter is mended.
    QTest::newRow("Liliac") << 2 << 6 << "Amazon, Liliac Crown";
    QTest::newRow("Goose") << 28 << 6 << "Goose, Domestic";
    QTest::newRow("ampersand") << 35 << 6 << "Macaw, Black & Gold";
    QTest::newRow("last avian") << 57 << 6 << "Wild Bird";
    QTest::newRow("Minature") << 148 << 2 << "Minature Pinscher";
    QTest::newRow("Engligh") << 226 << 2 << "Spaniel, Cocker Engligh";
    QTest::newRow("springer twice a") << 228 << 2 << "Spaniel, English Springer";
    QTest::newRow("springer twice b") << 229 << 2 << "Spaniel, English Springer";
    QTest::newRow("King Chas.") << 234 << 2 << "Spaniel, King Chas.";
    QTest::newRow("no space") << 242 << 2 << "Terrier, AmericanStaffordshire";
    QTest::newRow("last canine") << 288 << 2 << "Xoloitzcuintle";
    QTest::newRow("Hanovarian") << 308 << 1 << "Hanovarian";
    QTest::newRow("Palamino") << 319 << 1 << "Palamino";
    QTest::newRow("parenthesis") << 341 << 3 << "American Curl (Red Tabby)";
    QTest::newRow("lower case") << 403 << 3 << "tortoiseshell";
    QTest::newRow("last rodent") << 444 << 17 << "Turkish";
}

void TestSpecies::spellings()
{
    QFETCH(int, id);
    QFETCH(int, speciesId);
    QFETCH(QString, name);
    const RowSpan<BreedRow> rows = breedRows(1);
    const BreedRow& row = rows[std::size_t(id - 1)];
    QCOMPARE(row.id, id);
    QCOMPARE(row.speciesId, speciesId);
    QCOMPARE(QString::fromLatin1(row.name), name);
}

void TestSpecies::lookups()
{
    QCOMPARE(speciesNameById(3), QStringLiteral("Feline"));
    QCOMPARE(speciesNameById(20), QStringLiteral("Snake"));
    QVERIFY(speciesNameById(21).isEmpty());
    QVERIFY(speciesNameById(-1).isEmpty());
    QCOMPARE(speciesIdByName(QStringLiteral("Small Mammal")), 19);
    QCOMPARE(speciesIdByName(QStringLiteral("Unknown")), 0);
    QCOMPARE(speciesIdByName(QStringLiteral("canine")), -1); // exact case
    QCOMPARE(speciesIdByName(QString()), -1);
}

QTEST_GUILESS_MAIN(TestSpecies)
#include "tst_species.moc"
