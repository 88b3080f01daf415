#include <QtTest>
#include <QTemporaryDir>
#include <QProcess>
#include <QThread>

#include "commalocale.h"
#include "debuglog.h"

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

namespace {
QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
const QRegularExpression kLine(R"(^\[(\d\d)-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-(\d{4}) (\d\d):(\d\d):(\d\d)\] (.*)$)");
}

class TestDebugLog : public QObject
{
    Q_OBJECT
private slots:
    void levelsAndFiles();
    void errorLinesGoToBothFilesErrorFirst();
    void baseNameIsBounded();
    void unwritableFolderEndsProcess_data();
    void unwritableFolderEndsProcess();
    void linesOfThreadsNeverInterleave();
    void toStdStringFormats();
    void timeStampIgnoresProcessLocale();
    void controlCharactersAreEscaped();
};

void TestDebugLog::levelsAndFiles()
{
    QTemporaryDir dir;
    CDebugLog log(2, false, dir.path().toStdString(), "malvorantlog");
    const QString debugPath = dir.filePath("malvorantlog");
    QCOMPARE(QString::fromStdString(log.path()), debugPath);
    QVERIFY(QFile::exists(debugPath));
    QVERIFY(QFile::exists(debugPath + ".error"));

    log.log(3, "dropped");
    log.log(2, "kept at equal level");
    log.log(1, "kept below");
    const QStringList lines = readLines(debugPath);
    QCOMPARE(lines.size(), 2);
    auto m = kLine.match(lines[0]);
    QVERIFY2(m.hasMatch(), qPrintable(lines[0]));
    QCOMPARE(m.captured(7), QString("kept at equal level"));
    QCOMPARE(kLine.match(lines[1]).captured(7), QString("kept below"));
    QVERIFY(readLines(debugPath + ".error").isEmpty());
}

void TestDebugLog::errorLinesGoToBothFilesErrorFirst()
{
    QTemporaryDir dir;
    {
        CDebugLog log(1, false, dir.path().toStdString(), "malvorantlog");
        log.log(4, "detail");
        log.logError("CFileEcg::readData() failed index=7");
    }
    const QStringList err = readLines(dir.filePath("malvorantlog.error"));
    const QStringList dbg = readLines(dir.filePath("malvorantlog"));
    QCOMPARE(err.size(), 1);
    QCOMPARE(dbg.size(), 1);
    QCOMPARE(err[0], dbg[0]); // same time stamp and text
    QVERIFY(err[0].endsWith("] CFileEcg::readData() failed index=7"));
    QVERIFY(QFileInfo(dir.filePath("malvorantlog.error")).lastModified()
            <= QFileInfo(dir.filePath("malvorantlog")).lastModified());
}

void TestDebugLog::baseNameIsBounded()
{
    QTemporaryDir dir;
    const std::string longName(40, 'x');
    CDebugLog log(1, false, dir.path().toStdString(), longName);
    log.logError("fine");
    QCOMPARE(readLines(QString::fromStdString(log.path())).size(), 1);
}

void TestDebugLog::unwritableFolderEndsProcess_data()
{
    QTest::addColumn<bool>("errorFileOnly");
    QTest::newRow("folder missing") << false;
    QTest::newRow("error file unwritable") << true;
}

// The logger ends the process with exit code 1 and names the file it could not
// open; run it in a child process (this test binary with an argument).
void TestDebugLog::unwritableFolderEndsProcess()
{
    QFETCH(bool, errorFileOnly);
    QTemporaryDir dir;
    QString target = dir.filePath("missing/sub");
    if (errorFileOnly) {
        target = dir.path();
        QVERIFY(QDir(dir.path()).mkdir("malvorantlog.error")); // a folder in the file's place
    }
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {"--child-log", target});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    const QString expectedName = QDir(target).filePath(errorFileOnly ? "malvorantlog.error" : "malvorantlog");
    QVERIFY2(err.startsWith("unable to open file " + expectedName + " due to error "), qPrintable(err));
    QVERIFY(err.endsWith("\n"));
}

void TestDebugLog::linesOfThreadsNeverInterleave()
{
    QTemporaryDir dir;
    CDebugLog log(4, false, dir.path().toStdString(), "malvorantlog");
    const int threads = 8, perThread = 500;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&log, t] {
            const std::string payload(200, char('a' + t));
            for (int i = 0; i < perThread; ++i) {
                if (i % 5 == 0)
                    log.logError("E" + payload);
                else
                    log.log(2, "L" + payload);
            }
        });
    }
    for (auto& th : pool)
        th.join();
    const QStringList dbg = readLines(dir.filePath("malvorantlog"));
    QCOMPARE(dbg.size(), threads * perThread);
    for (const QString& line : dbg) {
        const auto m = kLine.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const QString text = m.captured(7);
        QCOMPARE(text.size(), 201);
        QCOMPARE(text.count(text.at(1)), 200);
    }
    QCOMPARE(readLines(dir.filePath("malvorantlog.error")).size(), threads * perThread / 5);
}

void TestDebugLog::toStdStringFormats()
{
    QCOMPARE(toStdString(true), std::string("1"));
    QCOMPARE(toStdString(false), std::string("0"));
    QCOMPARE(toStdString(0.1), std::string("0.1"));
    QCOMPARE(toStdString(0.5), std::string("0.5"));
    QCOMPARE(toStdString(1234567.0), std::string("1.23457e+06"));
    QCOMPARE(toStdString(-5), std::string("-5"));
    QCOMPARE(toStdString(static_cast<long long>(-9000000000LL)), std::string("-9000000000"));
    QCOMPARE(toStdString("text"), std::string("text"));
    QCOMPARE(toStdString(static_cast<const char*>(nullptr)), std::string());
}

void TestDebugLog::timeStampIgnoresProcessLocale()
{
    // A German process locale has "Dez" for December and a decimal comma.
    CommaLocale german;
    QVERIFY2(german.isActive(), qPrintable(german.error()));
    qputenv("TZ", "UTC");
    tzset();
    const std::string s = CDebugLog::timeStamp(static_cast<std::time_t>(1765265326)); // 09 Dec 2025 07:28:46 UTC
    QCOMPARE(s, std::string("09-Dec-2025 07:28:46"));
    QCOMPARE(toStdString(0.5), std::string("0.5"));
    QCOMPARE(toStdString(-1234.25), std::string("-1234.25"));

    QTemporaryDir dir;
    {
        CDebugLog log(2, false, dir.path().toStdString(), "malvorantlog");
        log.log(1, "gain=" + toStdString(2.5));
    }
    const QStringList lines = readLines(dir.filePath("malvorantlog"));
    QCOMPARE(lines.size(), 1);
    const auto m = kLine.match(lines[0]);
    QVERIFY2(m.hasMatch(), qPrintable(lines[0]));
    QCOMPARE(m.captured(7), QString("gain=2.5"));
}

static int childLog(const char* dir)
{
    CDebugLog log(1, false, dir, "malvorantlog");
    return 0;
}

// Text typed by users or sent by peers can't add lines of its own.
void TestDebugLog::controlCharactersAreEscaped()
{
    QTemporaryDir dir;
    CDebugLog log(2, false, dir.path().toStdString(), "malvorantlog");
    log.log(1, std::string("name=Rex\n[01-Jan-2024 00:00:00] forged\r\tend\x1b[0m") + '\0' + "x");
    log.logError("owner=A\nB");
    const QStringList lines = readLines(dir.filePath("malvorantlog"));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].endsWith("] name=Rex\\n[01-Jan-2024 00:00:00] forged\\r\\tend\\x1B[0m\\x00x"),
             qPrintable(lines[0]));
    QVERIFY(lines[1].endsWith("] owner=A\\nB"));
    QCOMPARE(readLines(dir.filePath("malvorantlog.error")).size(), 1);
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--child-log")
        return childLog(argv[2]);
    QCoreApplication app(argc, argv);
    TestDebugLog t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_debuglog.moc"
