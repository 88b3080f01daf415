#include <QtTest>

#include "dcmerrors.h"

#include <climits>
#include <locale>

// The result class of every code and the answer flags of every class.
class TestDcmErrors : public QObject
{
    Q_OBJECT
private slots:
    void codeToClassAndFlags_data();
    void codeToClassAndFlags();
    void unknownClassGivesNoFlag();
    void uintToStdStringIsPlainDecimal();
};

void TestDcmErrors::codeToClassAndFlags_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("resultClass");
    QTest::addColumn<bool>("networkError");
    QTest::addColumn<bool>("errorResponse");

    auto row = [](int code, int cls) {
        QTest::addRow("%d", code) << code << cls << (cls == 11) << (cls != 0 && cls != 11);
    };
    row(0, 0);
    for (int c : {9900, 9901, 9904, 9910, 9912, 9924, 9945, 9946})
        row(c, 3);
    for (int c : {9902, 9903, 9906, 9907, 9908, 9909, 9911, 9936})
        row(c, 4);
    row(9915, 5);
    row(9905, 10);
    for (int c = 9920; c <= 9943; ++c)
        if (c != 9924 && c != 9936)
            row(c, 11);
    for (int c : {9913, 9914, 9916, 9917, 9918, 9919})
        row(c, 255);
    // Anything else that is not 0: outside the range, negative, a DCMTK code.
    for (int c : {-1, -9920, 1, 9899, 9944, 9947, 10000, 0x0102, INT_MAX, INT_MIN})
        row(c, 255);
}

void TestDcmErrors::codeToClassAndFlags()
{
    QFETCH(int, code);
    QFETCH(int, resultClass);
    QFETCH(bool, networkError);
    QFETCH(bool, errorResponse);

    QCOMPARE(int(dcmResultClass(code)), resultClass);
    const DcmAnswerFlags flags = dcmAnswerFlags(dcmResultClass(code));
    QCOMPARE(flags.hasNetworkError, networkError);
    QCOMPARE(flags.hasErrorResponse, errorResponse);
}

void TestDcmErrors::unknownClassGivesNoFlag()
{
    for (int cls : {1, 2, 6, 12, 254, 256, -1}) {
        const DcmAnswerFlags flags = dcmAnswerFlags(cls);
        QVERIFY2(!flags.hasNetworkError && !flags.hasErrorResponse, qPrintable(QString::number(cls)));
    }
}

void TestDcmErrors::uintToStdStringIsPlainDecimal()
{
    // A process locale that groups thousands must not reach log lines.
    struct Grouping : std::numpunct<char>
    {
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    QCOMPARE(QString::fromStdString(uintToStdString(0)), QString("0"));
    QCOMPARE(QString::fromStdString(uintToStdString(1234567)), QString("1234567"));
    QCOMPARE(QString::fromStdString(uintToStdString(4294967295u)), QString("4294967295"));
    std::locale::global(previous);
}

QTEST_GUILESS_MAIN(TestDcmErrors)
#include "tst_dcmerrors.moc"
