// The program killed at random moments: a child process records through the
// real path (simulated device, accelerated, the Bluetooth stream and decoder,
// the recordings manager with its per-tick write-through) and is killed with
// SIGKILL, also right after chosen steps of ending (trailer, file, row),
// assigning (name, header, row) and deleting a recording. After each kill the
// next start must find everything again and complete what was cut short.
// (tests/app/tst_quitrecording.cpp kills the whole program, live view and
// screens included.)
#include "childrun.h"
#include "dbman.h"
#include "fileecg.h"
#include "fileman.h"
#include "linkowner.h"
#include "settingsman.h"
#include "simdevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using childrun::killAtStep;
using childrun::say;

struct ChildStore
{
    int from = -1, to = -1;
    std::unique_ptr<CDbMan> db;
    std::unique_ptr<CSettingsMan> settings;
    std::unique_ptr<CFileMan> files;

    bool open(const QString& folder)
    {
        db = std::make_unique<CDbMan>(folder, from, to);
        if (!db->isOk())
            return false;
        settings = std::make_unique<CSettingsMan>(QStringLiteral("MalvorantQml"), db->database(), from, to);
        files = std::make_unique<CFileMan>(folder + QLatin1Char('/'), db->database(), settings.get(), from, to);
        // As every start of the program does.
        return files->reconcileDataFolder() >= 0;
    }
};

// child <folder> record <seconds> <killStep> | assign <patientId> <killStep> | delete <killStep>
int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("malvorant.devicelink.debug=false"));
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    const QString folder = args[2];
    const QString mode = args[3];
    childrun::killStep = args.last().toLatin1();
    CFileMan::setStepHook(killAtStep);
    ChildStore store;
    if (!store.open(folder))
        return 3;
    CFileMan& files = *store.files;

    if (mode == QLatin1String("assign")) {
        QSqlQuery q(*store.db->database());
        if (!q.exec(QStringLiteral("select max(ecgId) from ecgTable where patientId=0")) || !q.next())
            return 4;
        const int ecgId = q.value(0).toInt();
        q.finish();
        if (files.selectFile(ecgId) != ecgId)
            return 5;
        say("A " + QByteArray::number(ecgId));
        return files.assignPendingEcg(args[4].toInt(), true) ? 0 : 6;
    }
    if (mode == QLatin1String("delete")) {
        QSqlQuery q(*store.db->database());
        if (!q.exec(QStringLiteral("select max(ecgId) from ecgTable")) || !q.next())
            return 4;
        const int ecgId = q.value(0).toInt();
        q.finish();
        say("D " + QByteArray::number(ecgId));
        bool ok = false;
        files.deleteFileIgnorePatient(0, ecgId, &ok);
        return ok ? 0 : 6;
    }

    // Recording: the live tick drains the stream, adds every record and
    // writes through; each line tells the parent what is on the disk.
    const double seconds = args[4].toDouble();
    TestLinkOwner owner;
    CRawStreamBt stream(nullptr, &owner, &owner,
                        std::make_unique<CBtBackendSim>(SimDeviceConfig::fromEnvironment()));
    owner.stream = &stream;
    stream.btSelectDevice(QStringLiteral("Kx Simulated ECG"), QStringLiteral("00:80:2a:4b:58:01"));
    stream.startStop(true);
    if (!files.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()))
        return 7;
    say("F " + QFile::encodeName(files.recordingFileName()));
    int written = 0;
    int exitCode = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        EcgStreamSample s{};
        while (stream.getData(&s)) {
            if (!files.addEntry(s)) {
                exitCode = 8;
                app.quit();
                return;
            }
            ++written;
            s = EcgStreamSample{};
        }
        if (!files.writeThrough()) {
            exitCode = 8;
            app.quit();
            return;
        }
        // Records handed to the system, and records accepted until now.
        say("W " + QByteArray::number(files.ecgBuffer().getFileEcg()->recordsWritten()) + ' '
            + QByteArray::number(written));
        if (clock.elapsed() >= seconds * 1000) {
            tick.stop();
            stream.startStop(false);
            // As a stop does: the last records become the trailer.
            if (!files.markRecordingTrailer(CFileEcg::kTrailerRecords) || !files.ecgFileCreateEnd())
                exitCode = 9;
            else
                say("C " + QByteArray::number(files.currentEcgId()) + ' ' + QByteArray::number(written));
            app.quit();
        }
    });
    tick.start();
    app.exec();
    return exitCode;
}

// What the parent knows from the child's lines.
struct ChildReport
{
    QString inProgress; // the file being recorded
    int onDisk = 0;     // records that must be on the disk
    int committedId = -1;
    int committedCount = 0;
    int subjectId = -1; // recording assigned or deleted
    bool exitedNormally = false;
};

} // namespace

class TestKillRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recordingKilledAtRandomMoments();
    void recordingKilledWhileEnding_data();
    void recordingKilledWhileEnding();
    void assignmentKilledAfterEachStep_data();
    void assignmentKilledAfterEachStep();
    void deletionKilledAfterEachStep_data();
    void deletionKilledAfterEachStep();

private:
    ChildReport runChild(const QStringList& args, int killAfterMs);
    void checkNextStart(const ChildReport& report, int* rows = nullptr);
    // The recording's row, name and header all belong to the patient.
    void checkAssigned(int ecgId, int patientId);
    int addPatient();

    QTemporaryDir m_dir;
    QString m_folder;
};

void TestKillRecording::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_folder = m_dir.path() + QStringLiteral("/data");
    QVERIFY(QDir().mkpath(m_folder));
}

ChildReport TestKillRecording::runChild(const QStringList& args, int killAfterMs)
{
    ChildReport report;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MALVORANT_SIM_TIME_SCALE"), QStringLiteral("10"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("child"), m_folder} + args);
    qint64 flowing = -1; // when the first samples were accepted
    QList<QPair<qint64, int>> accepted; // when the parent heard it, count
    childrun::Watch watch;
    watch.onLine = [&](const QList<QByteArray>& f, qint64 ms) {
        if (f[0] == "F" && f.size() > 1)
            report.inProgress = QFile::decodeName(f[1]);
        else if (f[0] == "W" && f.size() > 2) {
            report.onDisk = qMax(report.onDisk, f[1].toInt());
            accepted.append({ms, f[2].toInt()});
            if (flowing < 0 && f[2].toInt() > 0)
                flowing = ms;
        }
        else if (f[0] == "C" && f.size() > 2) {
            report.committedId = f[1].toInt();
            report.committedCount = f[2].toInt();
        } else if ((f[0] == "A" || f[0] == "D") && f.size() > 1)
            report.subjectId = f[1].toInt();
    };
    // The moment counts from the first samples, so a slow start-up on a busy
    // machine still gets killed mid-recording. Whatever the child said before
    // the kill is what it had written.
    watch.killNow = [&](qint64 ms) { return killAfterMs >= 0 && flowing >= 0 && ms >= flowing + killAfterMs; };
    const childrun::Ended end = childrun::watchChild(child, watch);
    if (!end.started) {
        qWarning("child did not start");
        return report;
    }
    if (end.tooLong) {
        qWarning("child ran too long");
        return report;
    }
    // Every sample accepted more than a second before the kill is on the disk.
    if (end.killedAt >= 0) {
        for (const auto& a : accepted) {
            if (a.first < end.killedAt - 1000)
                report.onDisk = qMax(report.onDisk, a.second);
        }
    }
    report.exitedNormally = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return report;
}

// Opens the store as the next start does and checks it whole.
void TestKillRecording::checkNextStart(const ChildReport& report, int* rows)
{
    int from = -1, to = -1;
    auto db = std::make_unique<CDbMan>(m_folder, from, to);
    QVERIFY2(db->isOk(), qPrintable(db->errorText()));
    {
        QSqlQuery check(*db->database());
        QVERIFY(check.exec(QStringLiteral("pragma integrity_check")) && check.next());
        QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
    }
    auto settings = std::make_unique<CSettingsMan>(QStringLiteral("MalvorantQml"), db->database(), from, to);
    auto files = std::make_unique<CFileMan>(m_folder + QLatin1Char('/'), db->database(), settings.get(), from, to);
    QVERIFY(files->reconcileDataFolder() >= 0);

    QSqlQuery q(*db->database());
    QVERIFY(q.exec(QStringLiteral("select ecgId, patientId, fileName, fileSize from ecgTable")));
    QSet<QString> named;
    int count = 0;
    bool foundInProgress = false;
    bool foundCommitted = false;
    while (q.next()) {
        ++count;
        const int ecgId = q.value(0).toInt();
        const QString name = q.value(2).toString();
        const int size = q.value(3).toInt();
        named.insert(name);
        // Every row names a file that holds at least the records it counts.
        CFileEcg file;
        QVERIFY2(file.openFileReadWrite((m_folder + QLatin1Char('/') + name).toStdString()),
                 qPrintable(name));
        QVERIFY2(file.getRecordCount() >= size, qPrintable(name));
        if (ecgId == report.committedId) {
            foundCommitted = true;
            QCOMPARE(size, report.committedCount);
            QCOMPARE(file.getRecordCount(), report.committedCount);
        }
        if (!report.inProgress.isEmpty() && name == report.inProgress) {
            foundInProgress = true;
            QCOMPARE(q.value(1).toInt(), 0);
            QVERIFY2(size >= report.onDisk, qPrintable(QStringLiteral("%1 holds %2 of %3 records written")
                                                          .arg(name).arg(size).arg(report.onDisk)));
        }
    }
    if (report.committedId > 0 && report.subjectId < 0)
        QVERIFY2(foundCommitted, "a committed recording is missing");
    if (report.onDisk > 0 && report.committedId < 0)
        QVERIFY2(foundInProgress, qPrintable("recording in progress not found: " + report.inProgress));
    // No recording file is left without a row: one that holds no recording
    // was moved aside.
    const QStringList ecgFiles = QDir(m_folder).entryList({QStringLiteral("*.ecg")}, QDir::Files);
    for (const QString& name : ecgFiles)
        QVERIFY2(named.contains(name), qPrintable("file without a row: " + name));
    const QStringList aside = QDir(m_folder + QLatin1Char('/') + QLatin1String(CFileMan::kSetAsideFolder))
                                  .entryList(QDir::Files);
    for (const QString& name : aside)
        QVERIFY2(QFileInfo(m_folder + QLatin1Char('/') + QLatin1String(CFileMan::kSetAsideFolder)
                           + QLatin1Char('/') + name).size()
                     < CFileEcg::kDataStartV2 + 16,
                 qPrintable("a recording was set aside: " + name));
    if (rows)
        *rows = count;
    files.reset();
    settings.reset();
    db.reset();
}

int TestKillRecording::addPatient()
{
    int from = -1, to = -1;
    CDbMan db(m_folder, from, to);
    QSqlQuery q(*db.database());
    q.prepare(QStringLiteral("insert into patientTable (patientName, ownerFirst, ownerLast, species) "
                             "values (?, ?, ?, 2)"));
    q.addBindValue(QStringLiteral("Rex"));
    q.addBindValue(QStringLiteral("Anna"));
    q.addBindValue(QStringLiteral("Berg"));
    if (!q.exec())
        return -1;
    return q.lastInsertId().toInt();
}

void TestKillRecording::recordingKilledAtRandomMoments()
{
    // Twenty kills at moments from the first sample to two seconds (twenty of
    // recording at the accelerated pace).
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    int recovered = 0;
    for (int run = 0; run < 20; ++run) {
        const int killAfter = int(random.bounded(2000));
        const ChildReport report = runChild({QStringLiteral("record"), QStringLiteral("30"), QStringLiteral("-")},
                                            killAfter);
        QVERIFY2(!report.exitedNormally, "the child was to be killed");
        checkNextStart(report);
        if (QTest::currentTestFailed()) {
            qWarning("run %d, killed after %d ms, seed %u", run, killAfter, seed);
            return;
        }
        recovered += report.onDisk > 0 ? 1 : 0;
    }
    // Most runs were killed late enough for a first write to have happened.
    QVERIFY2(recovered >= 10, qPrintable(QString::number(recovered)));
}

void TestKillRecording::recordingKilledWhileEnding_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("trailer marked, file open") << "trailer";
    QTest::newRow("file finished, no row yet") << "finished";
    QTest::newRow("row committed") << "committed";
}

void TestKillRecording::recordingKilledWhileEnding()
{
    QFETCH(QString, step);
    const ChildReport report = runChild({QStringLiteral("record"), QStringLiteral("0.5"), step}, -1);
    QVERIFY(!report.exitedNormally);
    QVERIFY(report.onDisk > 0);
    checkNextStart(report);
}

void TestKillRecording::assignmentKilledAfterEachStep_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("file renamed") << "renamed";
    QTest::newRow("header written") << "header";
    QTest::newRow("row updated") << "row";
}

void TestKillRecording::assignmentKilledAfterEachStep()
{
    QFETCH(QString, step);
    const ChildReport made = runChild({QStringLiteral("record"), QStringLiteral("0.5"), QStringLiteral("-")}, -1);
    QVERIFY(made.exitedNormally && made.committedId > 0);
    const int patient = addPatient();
    QVERIFY(patient > 0);
    ChildReport report = runChild({QStringLiteral("assign"), QString::number(patient), step}, -1);
    QVERIFY(!report.exitedNormally);
    QCOMPARE(report.subjectId, made.committedId);
    report.committedId = made.committedId;
    report.committedCount = made.committedCount;
    report.subjectId = -1;
    checkNextStart(report);
    // Whatever step the end came after, the next start completed it.
    checkAssigned(made.committedId, patient);
}

void TestKillRecording::checkAssigned(int ecgId, int patientId)
{
    int from = -1, to = -1;
    CDbMan db(m_folder, from, to);
    QVERIFY(db.isOk());
    QSqlQuery q(*db.database());
    QVERIFY(q.exec(QStringLiteral("select patientId, fileName from ecgTable where ecgId=%1").arg(ecgId)));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), patientId);
    const QString name = q.value(1).toString();
    QVERIFY2(name.startsWith(QString::number(patientId) + QLatin1Char('_')), qPrintable(name));
    CFileEcg file;
    QVERIFY(file.openFileReadOnly((m_folder + QLatin1Char('/') + name).toStdString()));
    QCOMPARE(QString::fromStdString(file.patientName), QStringLiteral("Rex"));
    QCOMPARE(QString::fromStdString(file.ownerLastName), QStringLiteral("Berg"));
}

void TestKillRecording::deletionKilledAfterEachStep_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("row deleted") << "row";
    QTest::newRow("file deleted") << "file";
}

void TestKillRecording::deletionKilledAfterEachStep()
{
    QFETCH(QString, step);
    const ChildReport made = runChild({QStringLiteral("record"), QStringLiteral("0.5"), QStringLiteral("-")}, -1);
    QVERIFY(made.exitedNormally && made.committedId > 0);
    int before = 0;
    checkNextStart(made, &before);
    const ChildReport report = runChild({QStringLiteral("delete"), step}, -1);
    QVERIFY(!report.exitedNormally);
    QCOMPARE(report.subjectId, made.committedId);
    int after = 0;
    checkNextStart(report, &after);
    // Killed after the row went: the file is either gone or, still there, a
    // pending recording again; never a row without its file.
    QVERIFY(after == before - 1 || (step == QLatin1String("row") && after == before));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "child") == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestKillRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killrecording.moc"
