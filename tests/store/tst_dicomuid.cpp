#include "dicomuid.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>

class TestDicomUid : public QObject
{
    Q_OBJECT

private slots:
    void defaultRootManyUnique();
    void givenRoot_data();
    void givenRoot();
    void validity_data();
    void validity();
};

// A UID component: "0" or digits without a leading zero.
static const QRegularExpression kUidPattern(
    QStringLiteral("^(0|[1-9][0-9]*)(\\.(0|[1-9][0-9]*))+$"));

void TestDicomUid::defaultRootManyUnique()
{
    const QString root = QStringLiteral(SITE_INSTANCE_UID_ROOT);
    QSet<QString> seen;
    for (int i = 0; i < 5000; ++i) {
        const QString uid = makeDicomUid(QString());
        QVERIFY2(uid.startsWith(root + QLatin1Char('.')), qPrintable(uid));
        QVERIFY2(uid.size() <= 64, qPrintable(uid));
        QVERIFY2(kUidPattern.match(uid).hasMatch(), qPrintable(uid));
        QVERIFY2(!seen.contains(uid), qPrintable(uid));
        seen.insert(uid);
    }
}

void TestDicomUid::givenRoot_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("usable");
    QTest::newRow("short") << "1.2.3" << true;
    QTest::newRow("org root") << "1.2.826.0.1.3680043.10.1234" << true;
    QTest::newRow("32 characters") << "1.2.826.0.1.3680043.10.123456789" << true;
    QTest::newRow("too long") << "1.2.826.0.1.3680043.10.123456789.1" << false;
    QTest::newRow("letters") << "1.2.abc" << false;
    QTest::newRow("empty component") << "1..2" << false;
    QTest::newRow("trailing dot") << "1.2." << false;
    QTest::newRow("leading zero") << "1.02.3" << false;
}

void TestDicomUid::givenRoot()
{
    QFETCH(QString, root);
    QFETCH(bool, usable);
    const QString first = makeDicomUid(root);
    const QString second = makeDicomUid(root);
    if (!usable) {
        QVERIFY(first.isEmpty());
        return;
    }
    QVERIFY2(first.startsWith(root + QLatin1Char('.')), qPrintable(first));
    QVERIFY2(first.size() <= 64 && kUidPattern.match(first).hasMatch(), qPrintable(first));
    QVERIFY(first != second);
}

void TestDicomUid::validity_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "1.2.840.10008.1.1" << true;
    QTest::newRow("zero component") << "1.0.2" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("65 characters") << QString(QStringLiteral("1.") + QString(63, QLatin1Char('1'))) << false;
    QTest::newRow("64 characters") << QString(QStringLiteral("1.") + QString(62, QLatin1Char('1'))) << true;
    QTest::newRow("space") << "1.2 .3" << false;
}

void TestDicomUid::validity()
{
    QFETCH(QString, uid);
    QFETCH(bool, valid);
    QCOMPARE(isValidDicomUid(uid), valid);
}

QTEST_GUILESS_MAIN(TestDicomUid)
#include "tst_dicomuid.moc"
