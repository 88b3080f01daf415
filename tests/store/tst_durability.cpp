// Nothing a clinic recorded is lost: samples reach the disk while recording,
// a failed write stops the recording with a row that matches its file, the
// next start finds what a crash left, deletion and file names can't lose or
// reach the wrong file, and what is stored is its owner's alone.
#include "storetestenv.h"

#include "debuglog.h"
#include "ecgrecords.h"
#include "fileecg.h"
#include "logwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

EcgStreamSample sampleAt(int i)
{
    EcgStreamSample s{};
    s.leadI = float(i % 50) * 0.01f;
    s.leadII = float(i % 70) * 0.02f;
    s.type = 0;
    return s;
}

qint64 recordsIn(const QString& path)
{
    return (QFileInfo(path).size() - CFileEcg::kDataStartV2) / 16;
}

int modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Writes an .ecg file of `records` records: the first leadIn and the last
// trailer records carry the lead-in type, an event at every 700th.
bool writeEcg(const QString& path, int records, int trailer = 0, int leadIn = 0)
{
    CFileEcg file;
    file.patientName = "dummy";
    file.recordingTime = 1700000000;
    if (!file.createFile(path.toStdString()))
        return false;
    for (int i = 0; i < records; ++i) {
        EcgFileRecord r{};
        r.leadI = float(i);
        r.type = i < leadIn || i >= records - trailer ? ECG_SAMPLE_LEADIN : 0;
        if (i % 700 == 699)
            r.type = ECG_EVENT_USER_MARK2;
        if (!file.addData(&r, 1))
            return false;
    }
    return file.close();
}

// A small file system of its own, for a disk that fills up.
struct SmallDisk
{
    QTemporaryDir dir;
    bool mounted = false;
    QString why;
    explicit SmallDisk(int kilobytes)
    {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
        mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
        if (!mounted)
            why = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount(QFile::encodeName(dir.path()).constData());
    }
};

} // namespace

class TestDurability : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void samplesReachTheDiskEachTick();
    void writeLimitStopsTheRecording();
    void fullDiskStopsTheRecording();
    void orphanFileBecomesPendingRecording();
    void cutShortAssignmentIsFinishedOrRelinked_data();
    void cutShortAssignmentIsFinishedOrRelinked();
    void deletionRemovesRowFirst();
    void storedNamesStayInTheDataFolder_data();
    void storedNamesStayInTheDataFolder();
    void storedFilesAreOwnerOnly();
    void damagedDatabaseIsLeftAlone();

private:
    QTemporaryDir m_logDir;
};

void TestDurability::initTestCase()
{
    useBerlinTime();
    QVERIFY(m_logDir.isValid());
    g_pDebugLog = new CDebugLog(4, false, m_logDir.path().toStdString(), "durability.log");
}

void TestDurability::cleanupTestCase()
{
    delete g_pDebugLog;
    g_pDebugLog = nullptr;
}

void TestDurability::samplesReachTheDiskEachTick()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    const QString path = env.path(f.recordingFileName());
    // One tick's samples are on the disk within half a second of ticks.
    for (int i = 0; i < 25; ++i)
        QVERIFY(f.addEntry(sampleAt(i)));
    QVERIFY(f.writeThrough());
    QTest::qWait(CFileEcg::kWriteThroughMs + 50);
    QVERIFY(f.writeThrough());
    QCOMPARE(recordsIn(path), qint64(25));
    // Without write-through, samples coming at the live rate wait no longer
    // than a second's worth (500): once the first of them waited past a
    // burst, the 501st hands them over.
    for (int i = 25; i < 525; ++i)
        QVERIFY(f.addEntry(sampleAt(i)));
    QTest::qWait(150);
    for (int i = 525; i < 1525; ++i)
        QVERIFY(f.addEntry(sampleAt(i)));
    QVERIFY(recordsIn(path) >= 525);
    QVERIFY(f.ecgFileCreateEnd());
    QCOMPARE(recordsIn(path), qint64(1525));
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=?", {f.currentEcgId()}).toInt(), 1525);
}

void TestDurability::writeLimitStopsTheRecording()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    const QString path = env.path(f.recordingFileName());

    // Room for 18,125 records and a half; the database is written only after.
    const rlim_t limit = rlim_t(CFileEcg::kDataStartV2 + 18125 * 16 + 8);
    struct rlimit old {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lowered = old;
    lowered.rlim_cur = limit;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
    int accepted = 0;
    bool failed = false;
    for (int i = 0; i < 30000 && !failed; ++i) {
        if (!f.addEntry(sampleAt(i))) {
            failed = true;
            break;
        }
        ++accepted;
        if (i % 25 == 24 && !f.writeThrough())
            failed = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    // The failure was reported while recording, and nothing more is taken.
    QVERIFY(failed);
    QVERIFY(accepted < 18125 + 500);
    QVERIFY(!f.addEntry(sampleAt(0)));
    QVERIFY(!f.writeThrough());
    // The end reports the failure; row and file agree on whole records.
    QVERIFY(!f.ecgFileCreateEnd());
    const int row = env.value("select fileSize from ecgTable where ecgId=?", {f.currentEcgId()}).toInt();
    QCOMPARE(QFileInfo(path).size(), qint64(CFileEcg::kDataStartV2) + 18125 * 16);
    QCOMPARE(row, 18125);
}

void TestDurability::fullDiskStopsTheRecording()
{
    SmallDisk disk(512);
    if (!disk.mounted)
        QSKIP(qPrintable("no small file system can be mounted here: " + disk.why));
    StoreEnv env;
    // The recordings on the small disk; the database stays where it was.
    CFileMan f(disk.dir.path() + QLatin1Char('/'), env.db->database(), env.settings.get(),
               env.fromVersion, env.toVersion);
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    const QString path = disk.dir.path() + QLatin1Char('/') + f.recordingFileName();
    bool failed = false;
    int accepted = 0;
    for (int i = 0; i < 100000 && !failed; ++i) {
        failed = !f.addEntry(sampleAt(i));
        if (!failed) {
            ++accepted;
            if (i % 25 == 24)
                failed = !f.writeThrough();
        }
    }
    QVERIFY(failed);
    QVERIFY(!f.ecgFileCreateEnd());
    const int row = env.value("select fileSize from ecgTable where ecgId=?", {f.currentEcgId()}).toInt();
    const qint64 size = QFileInfo(path).size();
    QCOMPARE((size - CFileEcg::kDataStartV2) % 16, qint64(0));
    QCOMPARE(qint64(row), recordsIn(path));
    QVERIFY(row > 0 && row <= accepted);
}

void TestDurability::orphanFileBecomesPendingRecording()
{
    StoreEnv env;
    // Left by runs that died: while recording (no trailer), during the stop
    // (a trailer cut short, an old recorder's appended one), after the
    // trailer was complete; one with the lead-in only, one with no records,
    // and a file that is not a recording of ours.
    QVERIFY(writeEcg(env.path("0_7_20240102_101500.ecg"), 3000, 0, 2499));
    QVERIFY(writeEcg(env.path("0_8_20240102_111500.ecg"), 5000, 1250, 2499));
    QVERIFY(writeEcg(env.path("0_9_20240102_121500.ecg"), 4000, 468, 2499));
    QVERIFY(writeEcg(env.path("0_10_20240102_131500.ecg"), 0));
    QVERIFY(writeEcg(env.path("0_11_20240102_141500.ecg"), 2499, 0, 2499));
    QFile other(env.path("notes.ecg"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(QByteArray(120000, 'x'));
    other.close();
    env.open();
    LogWindow log(QString::fromStdString(g_pDebugLog->errorPath()));

    QCOMPARE(env.files->reconcileDataFolder(), 5);
    QCOMPARE(env.files->recoveredRecordings(), 3);
    QCOMPARE(env.value("select count(*) from ecgTable").toInt(), 3);
    QCOMPARE(env.value("select count(*) from ecgTable where patientId=0").toInt(), 3);
    // One rule for the count: every record on the disk, as a stop stores it,
    // whatever part of a trailer the file holds.
    QCOMPARE(env.value("select fileSize from ecgTable where fileName='0_7_20240102_101500.ecg'").toInt(), 3000);
    QCOMPARE(env.value("select fileSize from ecgTable where fileName='0_8_20240102_111500.ecg'").toInt(), 5000);
    QCOMPARE(env.value("select fileSize from ecgTable where fileName='0_9_20240102_121500.ecg'").toInt(), 4000);
    QCOMPARE(env.value("select ecgTime from ecgTable where fileName='0_7_20240102_101500.ecg'").toLongLong(),
             qint64(1700000000));
    QVERIFY(!env.value("select pacsStudyUuid from ecgTable where fileName='0_7_20240102_101500.ecg'")
                 .toString()
                 .isEmpty());
    QVERIFY(log.text().contains("0_7_20240102_101500.ecg without a row"));
    QVERIFY(log.text().contains("it was cut short while recording"));
    QVERIFY(log.text().contains("its stop was cut short after 468 trailer records"));
    QVERIFY(log.text().contains("0_8_20240102_111500.ecg without a row: kept as pending recording"));

    // No recording to offer: kept aside, said in the log, nothing deleted.
    const QString aside = env.dataFolder() + QLatin1String(CFileMan::kSetAsideFolder) + QLatin1Char('/');
    QVERIFY(QFileInfo::exists(aside + "0_10_20240102_131500.ecg"));
    QVERIFY(QFileInfo::exists(aside + "0_11_20240102_141500.ecg"));
    QVERIFY(!QFileInfo::exists(env.path("0_11_20240102_141500.ecg")));
    QVERIFY(log.text().contains("0_11_20240102_141500.ecg to " + aside.toUtf8() + "0_11_20240102_141500.ecg: "
                                "it holds lead-in records only"));
    QVERIFY(QFileInfo::exists(env.path("notes.ecg")));

    // The newest found again is the current recording, remembered for the
    // next start; a second start finds nothing more to do.
    const int newest = env.value("select max(ecgId) from ecgTable").toInt();
    QCOMPARE(env.files->currentEcgId(), newest);
    QCOMPARE(env.files->currentPatientId(), 0);
    QCOMPARE(env.settings->fileId, newest);
    env.open();
    QCOMPARE(env.files->reconcileDataFolder(), 0);
    QCOMPARE(env.files->recoveredRecordings(), 0);
    QCOMPARE(env.files->currentEcgId(), newest);
    // The adopted recording opens and can be given to a patient.
    const int id = env.value("select ecgId from ecgTable where fileName='0_7_20240102_101500.ecg'").toInt();
    QCOMPARE(env.files->selectFile(id), id);
    QVERIFY(env.files->isStoredFileOpen());
}

void TestDurability::cutShortAssignmentIsFinishedOrRelinked_data()
{
    QTest::addColumn<bool>("patientExists");
    QTest::addColumn<bool>("headerWritten");
    QTest::addColumn<int>("pacsConfig");
    QTest::newRow("renamed, header not yet") << true << false << 0;
    QTest::newRow("renamed and header, PACS set up") << true << true << 1;
    QTest::newRow("renamed for no patient") << false << false << 0;
}

void TestDurability::cutShortAssignmentIsFinishedOrRelinked()
{
    QFETCH(bool, patientExists);
    QFETCH(bool, headerWritten);
    QFETCH(int, pacsConfig);
    StoreEnv env;
    const int patient = patientExists
        ? env.patients->createPatient("Rex", "P-77", "Anna", "Berg", 2, 1, 20.0f, 0, "Collie",
                                      1577836800, "1.2.3.4.5", QString())
        : 5;
    CFileMan& f = *env.files;
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    for (int i = 0; i < 600; ++i)
        QVERIFY(f.addEntry(sampleAt(i)));
    QVERIFY(f.ecgFileCreateEnd());
    const int id = f.currentEcgId();
    const QString oldName = f.currentFileName();
    const qint64 start = f.currentEcgTime();
    // The file took the patient's name (and maybe its header), then the
    // program died before the row changed.
    const QString newName = QString::number(patient) + CFileMan::nameAfterPatient(oldName);
    env.files.reset();
    QVERIFY(QFile::rename(env.path(oldName), env.path(newName)));
    if (headerWritten) {
        CFileEcg file;
        QVERIFY(file.openFileReadWrite(env.path(newName).toStdString()));
        file.patientName = "Rex";
        QVERIFY(file.patchFileHeader(true));
        QVERIFY(file.close());
    }
    env.open();
    env.settings->dicomPacsConfigStatus = pacsConfig;
    QCOMPARE(env.files->reconcileDataFolder(), 1);
    QCOMPARE(env.value("select fileName from ecgTable where ecgId=?", {id}).toString(), newName);
    QCOMPARE(env.value("select count(*) from ecgTable").toInt(), 1);
    QCOMPARE(env.files->recoveredRecordings(), 0);
    CFileEcg file;
    QVERIFY(file.openFileReadOnly(env.path(newName).toStdString()));
    if (patientExists) {
        // Finished, never half: the row takes the patient, the header is the
        // patient's, the worklist's study UID is used up, the PACS mark set
        // as the assignment would have.
        QCOMPARE(env.value("select patientId from ecgTable where ecgId=?", {id}).toInt(), patient);
        QCOMPARE(QString::fromStdString(file.patientName), QStringLiteral("Rex"));
        QCOMPARE(QString::fromStdString(file.extPatientId), QStringLiteral("P-77"));
        QCOMPARE(QString::fromStdString(file.ownerLastName), QStringLiteral("Berg"));
        QCOMPARE(file.speciesCode, 2);
        QCOMPARE(file.recordingTime, start);
        QCOMPARE(env.value("select pacsStudyUuid from ecgTable where ecgId=?", {id}).toString(),
                 QStringLiteral("1.2.3.4.5"));
        QCOMPARE(env.value("select pendingStudyUuid from patientTable where patientId=?", {patient}).toString(),
                 QString());
        QCOMPARE(env.value("select pacsStatus from ecgTable where ecgId=?", {id}).toInt(), pacsConfig == 1 ? 1 : 0);
    } else {
        // No patient to finish it for: the row follows its file and still waits.
        QCOMPARE(env.value("select patientId from ecgTable where ecgId=?", {id}).toInt(), 0);
        QCOMPARE(QString::fromStdString(file.patientName), QStringLiteral("dummy"));
    }
    file.close();
    QCOMPARE(env.files->selectFile(id), id);
    QVERIFY(env.files->isStoredFileOpen());
}

void TestDurability::deletionRemovesRowFirst()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    QVERIFY(f.addEntry(sampleAt(0)));
    QVERIFY(f.ecgFileCreateEnd());
    const int id = f.currentEcgId();
    const QString name = f.currentFileName();

    // The row can't go: the file stays, and the caller hears of it.
    env.breakWrites("ecgTable", "delete");
    bool ok = true;
    f.deleteFile(0, id, &ok);
    QVERIFY(!ok);
    QVERIFY(QFileInfo::exists(env.path(name)));
    QCOMPARE(env.value("select count(*) from ecgTable where ecgId=?", {id}).toInt(), 1);
    QCOMPARE(f.currentEcgId(), id);

    env.mendWrites("ecgTable", "delete");
    f.deleteFile(0, id, &ok);
    QVERIFY(ok);
    QVERIFY(!QFileInfo::exists(env.path(name)));
    QCOMPARE(env.value("select count(*) from ecgTable where ecgId=?", {id}).toInt(), 0);
}

void TestDurability::storedNamesStayInTheDataFolder_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("parent folder") << "../victim.txt";
    QTest::newRow("through a subfolder") << "tmp/../../victim.txt";
}

void TestDurability::storedNamesStayInTheDataFolder()
{
    QFETCH(QString, stored);
    StoreEnv env;
    QVERIFY(QDir().mkpath(env.path("tmp")));
    const QString victim = env.path("../victim.txt");
    QFile v(victim);
    QVERIFY(v.open(QIODevice::WriteOnly));
    v.write("keep me");
    v.close();
    for (int i = 0; i < 2; ++i)
        env.exec("insert into ecgTable (patientId, ecgTime, fileSize, fileName) values (3, 1, 1, ?)", {stored});
    const int id = env.value("select max(ecgId) from ecgTable").toInt();

    QCOMPARE(env.files->selectFile(id), id);
    QVERIFY(!env.files->isStoredFileOpen());
    bool ok = true;
    env.files->deleteFile(3, id, &ok);
    QVERIFY(!ok);
    QVERIFY(QFileInfo::exists(victim));
    QVERIFY(!env.files->deletePatientFiles(3));
    QVERIFY(QFileInfo::exists(victim));
    QFile::remove(victim);
}

void TestDurability::storedFilesAreOwnerOnly()
{
    const mode_t oldMask = ::umask(022);
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    const QString recording = env.path(f.recordingFileName());
    QCOMPARE(modeOf(recording), 0600);
    QVERIFY(f.ecgFileCreateEnd());

    // Made readable by others in between: the next start narrows them again.
    const QString database = env.path("zqr.sqlite3");
    env.files.reset();
    env.patients.reset();
    env.settings.reset();
    env.db.reset();
    QVERIFY(QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup));
    QVERIFY(::chmod(QFile::encodeName(env.dir.path()).constData(), 0755) == 0);
    env.open();
    QCOMPARE(modeOf(database), 0600);
    QCOMPARE(modeOf(env.dir.path()), 0700);

    // The log files and their folder too.
    QTemporaryDir logs;
    QVERIFY(::chmod(QFile::encodeName(logs.path()).constData(), 0755) == 0);
    {
        CDebugLog log(1, false, logs.path().toStdString(), "owner.log");
        log.logError("x");
        QCOMPARE(modeOf(QString::fromStdString(log.path())), 0600);
        QCOMPARE(modeOf(QString::fromStdString(log.errorPath())), 0600);
    }
    QCOMPARE(modeOf(logs.path()), 0700);
    ::umask(oldMask);
}

void TestDurability::damagedDatabaseIsLeftAlone()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/zqr.sqlite3";
    {
        int from = -1, to = -1;
        CDbMan db(dir.path(), from, to);
        QVERIFY(db.isOk());
        QSqlQuery q(*db.database());
        QVERIFY(q.exec("pragma journal_mode=delete"));
        q.finish();
        QVERIFY(db.database()->transaction());
        for (int i = 0; i < 400; ++i) {
            QVERIFY(q.prepare("insert into ecgTable (patientId, fileName) values (1, ?)"));
            q.addBindValue(QString(200, QChar('a' + i % 26)) + QString::number(i));
            QVERIFY(q.exec());
        }
        QVERIFY(db.database()->commit());
    }
    // A page in the middle of the recordings' table is overwritten.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const qint64 pages = file.size() / 4096;
    QVERIFY(pages > 10);
    QVERIFY(file.seek((pages - 3) * 4096));
    file.write(QByteArray(4096, char(0x5a)));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    int from = 0, to = 0;
    {
        CDbMan db(dir.path(), from, to);
        QVERIFY(!db.isOk());
        QVERIFY2(db.errorText().contains("damaged ("), qPrintable(db.errorText()));
        QCOMPARE(from, -1);
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

QTEST_GUILESS_MAIN(TestDurability)
#include "tst_durability.moc"
