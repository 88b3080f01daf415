// What the program's start does with what an abrupt end left: a recording
// file without a row is offered again as a pending recording. A damaged
// database or a read-only data folder stops the start: the message is shown
// in a window (seen through the window probe) before the program ends, and
// the data stays exactly as it was.
#include "dbman.h"
#include "fileecg.h"
#include "patientman.h"
#include "settingsman.h"
#include "isolatedhome.h"
#include "processlist.h"
#include "programrun.h"
#include "startfailure.h"
#include "startup.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

static IsolatedHome isolatedHome;

class TstStartRepair : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString docs() const { return m_tmp.filePath("Public"); }
    QString data() const { return docs() + "/MalvorantData"; }
    QString logs() const { return m_tmp.filePath("ProgramData") + "/Malvorant/logs"; }

    std::unique_ptr<QProcess> start(bool endsFromStartUp)
    {
        return startProgram(docs(), m_tmp.filePath("ProgramData"), QProcess::MergedChannels,
                            endsFromStartUp);
    }

    static void stop(QProcess& p) { stopProgram(p); }

    // Runs the program until the error log holds the text, then ends it.
    bool runUntilLogged(const QByteArray& text)
    {
        std::unique_ptr<QProcess> p = start(false);
        if (!p->waitForStarted())
            return false;
        QDeadlineTimer deadline(60000);
        while (!readLog().contains(text) && p->state() == QProcess::Running && !deadline.hasExpired())
            p->waitForFinished(50);
        const bool ran = p->state() == QProcess::Running && readLog().contains(text);
        stop(*p);
        return ran;
    }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QByteArray readLog() const
    {
        QFile f(logs() + "/malvorantlog.error");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_tmp.isValid());
        QVERIFY(QFileInfo(MALVORANT_EXECUTABLE).isExecutable());
        std::vector<platform::ProcessEntry> processes;
        QVERIFY(platform::listProcesses(processes));
        for (const platform::ProcessEntry& p : processes) {
            if (isInstanceName(p.name))
                QSKIP("a copy of the program already runs on this machine");
        }
        // The store as a first start leaves it.
        QVERIFY(QDir().mkpath(data()));
        int from = -1, to = -1;
        {
            CDbMan db(data(), from, to);
            QVERIFY(db.isOk());
            CSettingsMan settings("MalvorantQml", db.database(), from, to);
            QVERIFY(settings.isOk());
            CPatientMan patients(db.database(), &settings, from, to, 1);
        }
        QVERIFY(QFileInfo::exists(data() + "/zqr.sqlite3"));
    }

    void recordingWithoutRowIsPendingAfterStart()
    {
        // Left by a run that was killed while recording.
        const QString name = "0_1_20240305_081500.ecg";
        {
            CFileEcg f;
            f.patientName = "dummy";
            QVERIFY(f.createFile((data() + "/" + name).toStdString()));
            for (int i = 0; i < 900; ++i) {
                EcgFileRecord r{};
                r.leadI = float(i);
                QVERIFY(f.addData(&r, 1));
            }
            QVERIFY(f.close());
        }
        QVERIFY(runUntilLogged(name.toLatin1() + " without a row"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(data() + "/zqr.sqlite3");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("select patientId, fileSize from ecgTable where fileName='" + name + "'"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            QCOMPARE(q.value(1).toInt(), 900);
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("check");
        QVERIFY(QFileInfo::exists(data() + "/" + name));
    }

    void damagedDatabaseStopsTheStartUntouched()
    {
        const QString path = data() + "/zqr.sqlite3";
        {
            // Some rows, in the file itself rather than a write-ahead log.
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("pragma journal_mode=delete"));
            QVERIFY(db.transaction());
            for (int i = 0; i < 300; ++i)
                QVERIFY(q.exec("insert into ecgTable (patientId, fileName) values (1, '" + QString(200, 'q')
                               + QString::number(i) + "')"));
            QVERIFY(db.commit());
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("fill");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 pages = file.size() / 4096;
        QVERIFY(file.seek((pages - 3) * 4096));
        file.write(QByteArray(4096, char(0x5a)));
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        const QString windows = m_tmp.filePath("windows-damaged.txt");
        std::unique_ptr<QProcess> p = startProgram(docs(), m_tmp.filePath("ProgramData"),
                                                   QProcess::MergedChannels, true, windows);
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 255); // -1
        const QByteArray said = p->readAll();
        QVERIFY2(said.contains("is damaged"), said.constData());
        const QByteArray seen = readFile(windows);
        QVERIFY2(seen.startsWith("WINDOW " + QByteArray(kStartFailureTitle) + " | The database "), seen.constData());
        QVERIFY2(seen.contains("is damaged (") && seen.contains("The program stops without changing it."),
                 seen.constData());
        QVERIFY2(seen.count("WINDOW ") == 1, seen.constData());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // A run killed with its write-ahead log and the log's index beside a
    // damaged database: the start is refused and the three files stay byte
    // for byte, nothing else appears in the folder. With a display the
    // message waits in a window for the user; offscreen nobody could answer
    // one, so the message goes to the error output and the start ends by
    // itself.
    void damagedDatabaseWithLogStaysByteForByte_data()
    {
        QTest::addColumn<bool>("display");
        QTest::newRow("with a display") << true;
        QTest::newRow("offscreen") << false;
    }

    void damagedDatabaseWithLogStaysByteForByte()
    {
        QFETCH(bool, display);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString docs = tmp.filePath("Public");
        const QString data = docs + "/MalvorantData";
        const QString path = data + "/zqr.sqlite3";
        QVERIFY(QDir().mkpath(data + "/tmp"));
        {
            int from = -1, to = -1;
            CDbMan db(data, from, to);
            QVERIFY(db.isOk());
            QSqlQuery q(*db.database());
            for (int i = 0; i < 300; ++i)
                QVERIFY(q.exec("insert into ecgTable (patientId, fileName) values (1, '" + QString(200, 'q')
                               + QString::number(i) + "')"));
        }
        // The last run's rows, only in its log, as a kill leaves them.
        const QString running = tmp.filePath("running");
        QVERIFY(QDir().mkpath(running));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "killedRun");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("pragma wal_autocheckpoint=0"));
            QVERIFY(q.exec("insert into patientTable (patientName, ownerFirst, ownerLast) values ('Rex', 'A', 'B')"));
            q.finish();
            for (const char* suffix : {"", "-wal", "-shm"})
                QVERIFY(QFile::copy(path + suffix, running + "/zqr.sqlite3" + suffix));
            db.close();
        }
        QSqlDatabase::removeDatabase("killedRun");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(path + suffix);
            QVERIFY(QFile::copy(running + "/zqr.sqlite3" + suffix, path + suffix));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek((file.size() / 4096 - 3) * 4096));
        file.write(QByteArray(4096, char(0x5a)));
        file.close();

        QMap<QString, QByteArray> before;
        for (const char* suffix : {"", "-wal", "-shm"}) {
            before.insert(suffix, readFile(path + suffix));
            QVERIFY2(!before.value(suffix).isEmpty(), suffix);
        }
        const auto listing = [&] {
            QStringList out;
            QDirIterator it(data, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (it.hasNext())
                out << it.next();
            out.sort();
            return out;
        };
        const QStringList entries = listing();

        const QString windows = display ? tmp.filePath("windows.txt") : QString();
        std::unique_ptr<QProcess> p = startProgram(docs, tmp.filePath("ProgramData"), QProcess::MergedChannels,
                                                   true, windows);
        const bool finished = p->waitForFinished(60000);
        stop(*p);
        QVERIFY(finished);
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 255); // -1
        const QByteArray said = p->readAll();
        QVERIFY2(said.contains("is damaged (") && said.contains("The program stops without changing it."),
                 said.constData());
        if (display) {
            const QByteArray seen = readFile(windows);
            QVERIFY2(seen.startsWith("WINDOW " + QByteArray(kStartFailureTitle) + " | The database "),
                     seen.constData());
            QVERIFY2(seen.count("WINDOW ") == 1, seen.constData());
        } else {
            // The window probe would have reported a box on the error output.
            QVERIFY2(!said.contains("WINDOW "), said.constData());
        }
        for (const char* suffix : {"", "-wal", "-shm"})
            QVERIFY2(readFile(path + suffix) == before.value(suffix), suffix);
        QCOMPARE(listing(), entries);
    }

    // The data folder takes nothing (the program runs as an ordinary user):
    // the start stops with its message in a window, and nothing in the
    // folder changed.
    void readOnlyDataFolderStopsTheStart_data()
    {
        QTest::addColumn<bool>("withDatabase");
        QTest::newRow("database there") << true;
        QTest::newRow("first start") << false;
    }

    void readOnlyDataFolderStopsTheStart()
    {
        QFETCH(bool, withDatabase);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString docs = tmp.filePath("Public");
        const QString data = docs + "/MalvorantData";
        const QString profile = tmp.filePath("ProgramData");
        QVERIFY(QDir().mkpath(data) && QDir().mkpath(profile));
        if (withDatabase) {
            int from = -1, to = -1;
            CDbMan db(data, from, to);
            QVERIFY(db.isOk());
        }
        // As root the folder's mode would not bite: the program then runs as
        // "nobody", owner of its folders and of a home of its own, from a
        // copy beside them (the build may lie where nobody can enter).
        const bool root = ::geteuid() == 0;
        const int nobody = 65534;
        const QString program = root ? tmp.filePath("program") : QString();
        if (root) {
            QVERIFY(copyProgramTo(program));
            ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
            for (const QString& top : {tmp.path(), isolatedHome.path()}) {
                ::chmod(QFile::encodeName(top).constData(), 0755);
                QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                QDirIterator::Subdirectories);
                QVERIFY(::chown(QFile::encodeName(top).constData(), nobody, nobody) == 0);
                while (it.hasNext())
                    QVERIFY(::lchown(QFile::encodeName(it.next()).constData(), nobody, nobody) == 0);
            }
        }
        QVERIFY(::chmod(QFile::encodeName(data).constData(), 0555) == 0);
        const QStringList before = QDir(data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QByteArray dbBefore = readFile(data + "/zqr.sqlite3");

        const QString windows = tmp.filePath("windows.txt");
        std::unique_ptr<QProcess> p = startProgram(docs, profile, QProcess::MergedChannels, true, windows,
                                                   root ? nobody : -1, program);
        const bool finished = p->waitForFinished(60000);
        stop(*p);
        ::chmod(QFile::encodeName(data).constData(), 0755);
        QVERIFY(finished);
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 255); // -1
        const QByteArray seen = readFile(windows);
        QVERIFY2(seen.startsWith("WINDOW " + QByteArray(kStartFailureTitle) + " | The data folder "),
                 seen.constData());
        QVERIFY2(seen.contains("is read-only"), seen.constData());
        QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QCOMPARE(readFile(data + "/zqr.sqlite3"), dbBefore);
        if (root) {
            // The home goes back to the test's own user.
            ::chown(QFile::encodeName(isolatedHome.path()).constData(), 0, 0);
            QDirIterator it(isolatedHome.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                ::lchown(QFile::encodeName(it.next()).constData(), 0, 0);
        }
    }
};

QTEST_GUILESS_MAIN(TstStartRepair)
#include "tst_startrepair.moc"
