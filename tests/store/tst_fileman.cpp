#include "storetestenv.h"

#include "debuglog.h"
#include "ecgrecords.h"
#include "fileecg.h"
#include "localtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <ctime>

namespace {

EcgStreamSample sampleAt(int i)
{
    EcgStreamSample s{};
    s.leadI = float(i % 50) * 0.01f;
    s.leadII = float(i % 70) * 0.02f;
    s.leadIII = s.leadII - s.leadI;
    s.type = 0;
    return s;
}

// A live recording of `samples` samples as the recording control makes it.
int record(StoreEnv& env, int samples)
{
    CFileMan& f = *env.files;
    if (!f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()))
        return -1;
    for (int i = 0; i < samples; ++i) {
        if (!f.addEntry(sampleAt(i)))
            return -1;
    }
    return f.ecgFileCreateEnd() ? f.currentEcgId() : -1;
}

// Writes an .ecg file of `records` records, as an import or a PACS fetch does.
bool writeEcg(const QString& path, int records, const std::string& patientName = "imported")
{
    CFileEcg file;
    file.patientName = patientName;
    if (!file.createFile(path.toStdString()))
        return false;
    for (int i = 0; i < records; ++i) {
        EcgFileRecord r{};
        r.leadI = float(i);
        r.leadII = float(i) * 2;
        if (!file.addData(&r, 1))
            return false;
    }
    return file.close();
}

struct Header
{
    bool ok = false;
    std::string patientName, ownerFirstName, ownerLastName, extPatientId, birthdate, dateTime;
    int species = -1;
    int gender = -1;
};

Header readHeader(const QString& path)
{
    Header h;
    CFileEcg file;
    h.ok = file.openFileReadWrite(path.toStdString());
    h.patientName = file.patientName;
    h.ownerFirstName = file.ownerFirstName;
    h.ownerLastName = file.ownerLastName;
    h.extPatientId = file.extPatientId;
    h.birthdate = file.patientBirthdate;
    h.dateTime = file.dateTimeText;
    h.species = file.speciesCode;
    h.gender = file.genderCode;
    file.close();
    return h;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// "%Y%m%d_%H%M%S" of a local stamp, the time part of a recording's name.
QString nameTime(std::int64_t stamp)
{
    return QDateTime::fromSecsSinceEpoch(stamp, Qt::UTC).toString("yyyyMMdd_HHmmss");
}

} // namespace

class TestFileMan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstLiveRecording();
    void namesOfGivenTimes_data();
    void namesOfGivenTimes();
    void reservationTimes_data();
    void reservationTimes();
    void entryCount_data();
    void entryCount();
    void importAndPacsFetch();
    void lifeCycle();
    void assignmentFailures();
    void reservationsPerFlow();
    void failedCommitKeepsCurrent();
    void newRecordingClosesViewedFile();
    void caseAndPacsStates();
    void telemedicineProgress();
    void deletions();
    void deletePatientFiles();
    void modelIndexFollowsList();
    void construction();
    void durationCountsRecordedSamples();
    void olderRowsGetTheirSamplesCounted();

private:
    // What the error log gained since the last call.
    QString newErrors();

    QTemporaryDir m_logDir;
    qint64 m_errorsRead = 0;
};

void TestFileMan::initTestCase()
{
    useBerlinTime();
    g_pDebugLog = new CDebugLog(4, false, m_logDir.path().toStdString(), "storetest");
}

QString TestFileMan::newErrors()
{
    QFile file(QString::fromStdString(g_pDebugLog->errorPath()));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    file.seek(m_errorsRead);
    const QByteArray text = file.readAll();
    m_errorsRead += text.size();
    return QString::fromUtf8(text);
}

void TestFileMan::firstLiveRecording()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    QCOMPARE(f.nextRecordingId(), 1);
    QCOMPARE(f.currentEcgId(), -1);

    const std::int64_t before = localTimeStampNow();
    const int id = record(env, 25);
    const std::int64_t after = localTimeStampNow();
    QCOMPARE(id, 1);
    QVERIFY2(f.currentFileName().startsWith("0_1_") && f.currentFileName().endsWith(".ecg"),
             qPrintable(f.currentFileName()));
    QVERIFY(f.isStoredFileOpen());
    QCOMPARE(env.settings->fileId, 1);
    QCOMPARE(f.nextRecordingId(), 2);

    const std::int64_t ecgTime = env.value("select ecgTime from ecgTable where ecgId=1").toLongLong();
    QVERIFY(ecgTime >= before && ecgTime <= after);
    QCOMPARE(f.currentEcgTime(), ecgTime);
    // The name, the row and the header all carry the local wall clock.
    QCOMPARE(f.currentFileName(), QStringLiteral("0_1_%1.ecg").arg(nameTime(ecgTime)));
    const QString wallClock = QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss");
    QVERIFY2(qAbs(QDateTime::fromString(wallClock, "yyyyMMdd_HHmmss")
                      .secsTo(QDateTime::fromString(nameTime(ecgTime), "yyyyMMdd_HHmmss")))
                 <= 2,
             qPrintable(wallClock + " " + nameTime(ecgTime)));
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=1").toInt(), 25);
    QCOMPARE(env.value("select patientId from ecgTable where ecgId=1").toInt(), 0);
    QCOMPARE(env.value("select pacsStatus from ecgTable where ecgId=1").toInt(), 0);
    QCOMPARE(env.value("select pacsTs from ecgTable where ecgId=1").toLongLong(), 0);
    const QString uid = env.value("select pacsStudyUuid from ecgTable where ecgId=1").toString();
    QVERIFY2(uid.startsWith(QStringLiteral(SITE_INSTANCE_UID_ROOT ".")) && isValidDicomUid(uid),
             qPrintable(uid));
    QCOMPARE(f.currentStudyUid(), uid);

    const QString path = env.path(f.currentFileName());
    QCOMPARE(QFileInfo(path).size(), qint64(110000 + 25 * 16));
    const Header h = readHeader(path);
    QVERIFY(h.ok);
    QCOMPARE(h.patientName, std::string("dummy"));
    QCOMPARE(h.extPatientId, std::string("dummyXId"));
    QVERIFY(h.birthdate.empty());
    QCOMPARE(QString::fromStdString(h.dateTime), nameTime(ecgTime).remove('_'));
}

void TestFileMan::namesOfGivenTimes_data()
{
    QTest::addColumn<qint64>("utc");
    QTest::addColumn<QString>("wallClock");
    QTest::newRow("winter") << qint64(1705312800) << "20240115_110000";     // 10:00 UTC
    QTest::newRow("summer") << qint64(1719828000) << "20240701_120000";     // 10:00 UTC
    QTest::newRow("spring forward") << qint64(1711848600) << "20240331_033000"; // 01:30 UTC
    QTest::newRow("fall back, summer") << qint64(1729989000) << "20241027_023000"; // 00:30 UTC
    QTest::newRow("fall back, winter") << qint64(1729992600) << "20241027_023000"; // 01:30 UTC
    QTest::newRow("after 2038") << qint64(4107542400LL) << "21000301_010000"; // needs 64 bits
}

void TestFileMan::namesOfGivenTimes()
{
    QFETCH(qint64, utc);
    QFETCH(QString, wallClock);
    StoreEnv env;
    const std::int64_t stamp = localTimeStamp(std::time_t(utc));
    QCOMPARE(CFileMan::makeFileName(12, 7, stamp, 1), QStringLiteral("12_7_%1.ecg").arg(wallClock));

    // A reservation with that stamp keeps it as the start time of the row.
    CFileMan& f = *env.files;
    const QString name = f.reserveNextFilename(0, 1, QString(), stamp);
    QCOMPARE(name, QStringLiteral("0_1_%1.ecg").arg(wallClock));
    QVERIFY(writeEcg(env.path(name), 3));
    QVERIFY(f.setEntryCnt());
    QVERIFY(f.commitNextFilename(false));
    QCOMPARE(f.currentEcgTime(), stamp);
    // The list shows the same wall clock as the name.
    QCOMPARE(env.value("select fileTime from ecgViewQml where ecgId=?", {f.currentEcgId()}).toString(),
             QDateTime::fromString(wallClock, "yyyyMMdd_HHmmss").toString("yyyy-MM-dd HH:mm:ss"));
}

void TestFileMan::reservationTimes_data()
{
    QTest::addColumn<qint64>("time");
    QTest::addColumn<int>("fileType");
    QTest::addColumn<bool>("usesNow");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("zero") << qint64(0) << 1 << true << ".ecg";
    QTest::newRow("negative") << qint64(-1) << 2 << true << ".dat";
    QTest::newRow("too large") << qint64(10000000000LL) << 3 << true << ".dce";
    QTest::newRow("largest") << qint64(9999999999LL) << 0 << false << "";
    QTest::newRow("type 4") << qint64(1) << 4 << false << "";
}

void TestFileMan::reservationTimes()
{
    QFETCH(qint64, time);
    QFETCH(int, fileType);
    QFETCH(bool, usesNow);
    QFETCH(QString, suffix);
    StoreEnv env;
    const std::int64_t before = localTimeStampNow();
    const QString name = env.files->reserveNextFilename(3, fileType, QString(), time);
    const std::int64_t after = localTimeStampNow();
    QVERIFY(name.startsWith("3_1_"));
    QVERIFY(name.endsWith(suffix));
    const QString timeText = name.mid(4, 15);
    if (usesNow)
        QVERIFY2(timeText == nameTime(before) || timeText == nameTime(after), qPrintable(name));
    else
        QCOMPARE(timeText, nameTime(time));
    if (suffix.isEmpty())
        QCOMPARE(name.size(), 4 + 15);
}

void TestFileMan::entryCount_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("entries");
    QTest::newRow("short") << 109999 << 0;
    QTest::newRow("header only") << 110000 << 0;
    QTest::newRow("part record") << 110015 << 0;
    QTest::newRow("one record") << 110016 << 1;
    QTest::newRow("many") << 110000 + 16 * 1000 + 7 << 1000;
}

void TestFileMan::entryCount()
{
    QFETCH(int, size);
    QFETCH(int, entries);
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(!f.setEntryCnt()); // nothing reserved
    const QString name = f.reserveNextFilename(0, 1, QString(), 0);
    QVERIFY(!f.setEntryCnt()); // no file yet
    QFile file(env.path(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(QByteArray(size, '\0')), qint64(size));
    file.close();
    QVERIFY(f.setEntryCnt());
    QVERIFY(f.commitNextFilename(false));
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=?", {f.currentEcgId()}).toInt(), entries);
}

void TestFileMan::importAndPacsFetch()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const std::int64_t studyTime = localTimeStamp(1719828000);

    // Import: patient 0, fresh study UID, not in the PACS.
    const QString imported = f.reserveNextFilename(0, 1, QString(), studyTime);
    QVERIFY(writeEcg(env.path(imported), 40));
    QVERIFY(f.setEntryCnt());
    QVERIFY(f.commitNextFilename(false));
    const int importId = f.currentEcgId();
    QCOMPARE(f.currentFileName(), imported);
    QVERIFY(f.isStoredFileOpen());
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=?", {importId}).toInt(), 40);
    QCOMPARE(f.currentPacsStatus(), 0);
    QCOMPARE(f.currentPacsTs(), std::int64_t(0));
    QVERIFY(f.currentStudyUid().startsWith(QStringLiteral(SITE_INSTANCE_UID_ROOT ".")));

    // PACS fetch: the study's UID and time, stored as already sent.
    const QString uid = QStringLiteral("1.2.826.0.1.3680043.9.77.1");
    QCOMPARE(f.checkFileExists(1, 1, uid, studyTime), -1);
    const QString fetched = f.reserveNextFilename(1, 1, uid, studyTime);
    QVERIFY(fetched.startsWith("1_"));
    QVERIFY(fetched != imported);
    QVERIFY(writeEcg(env.path(fetched), 10));
    QVERIFY(f.setEntryCnt());
    QVERIFY(f.commitNextFilename(true));
    const int fetchId = f.currentEcgId();
    QCOMPARE(f.currentStudyUid(), uid);
    QCOMPARE(f.currentPacsStatus(), 2);
    QCOMPARE(f.currentPacsTs(),
             env.value("select tsLastChanged from ecgTable where ecgId=?", {fetchId}).toLongLong());
    QCOMPARE(f.checkFileExists(1, 1, uid, studyTime), fetchId);
    QCOMPARE(f.checkFileExists(2, 1, uid, studyTime), -1);
    QCOMPARE(f.checkFileExists(1, 1, uid, studyTime + 1), -1);
    QCOMPARE(f.checkFileExists(1, 1, uid + "1", studyTime), -1);
}

void TestFileMan::lifeCycle()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    CPatientMan& p = *env.patients;
    const QString worklistUid = QStringLiteral("1.2.826.0.1.3680043.9.77.2");
    const int patient = p.createPatient("Rex", "R-12", "Ola", "Nor", 2, 3, 31.5f, 0, "Boxer",
                                        1467331200 /* 1 July 2016 */, worklistUid, QString());
    QVERIFY(patient > 1);

    const int first = record(env, 100);
    QVERIFY(first > 0);
    const QString pendingName = f.currentFileName();
    QCOMPARE(f.selectNumberPatientFilesAvailable(patient), 0);

    QVERIFY(f.assignPendingEcg(patient, false));
    const QString assignedName = QString::number(patient) + pendingName.mid(1);
    QCOMPARE(f.currentFileName(), assignedName);
    QCOMPARE(f.currentEcgId(), first);
    QVERIFY(f.isStoredFileOpen());
    QVERIFY(!QFileInfo::exists(env.path(pendingName)));
    QCOMPARE(QFileInfo(env.path(assignedName)).size(), qint64(110000 + 100 * 16));
    const Header h = readHeader(env.path(assignedName));
    QVERIFY(h.ok);
    QCOMPARE(h.patientName, std::string("Rex"));
    QCOMPARE(h.ownerFirstName, std::string("Ola"));
    QCOMPARE(h.ownerLastName, std::string("Nor"));
    QCOMPARE(h.extPatientId, std::string("R-12"));
    QCOMPARE(h.birthdate, std::string("01.07.2016"));
    QCOMPARE(h.species, 2);
    QCOMPARE(h.gender, 3);
    QCOMPARE(QString::fromStdString(h.dateTime), nameTime(f.currentEcgTime()).remove('_'));
    QCOMPARE(env.value("select patientId from ecgTable where ecgId=?", {first}).toInt(), patient);
    QCOMPARE(env.value("select fileName from ecgTable where ecgId=?", {first}).toString(), assignedName);
    QCOMPARE(f.currentStudyUid(), worklistUid);
    QCOMPARE(env.value("select pendingStudyUuid from patientTable where patientId=?", {patient}).toString(),
             QString());
    QCOMPARE(f.currentPacsStatus(), 0);

    // A second recording gets a UID of its own and is queued for the PACS.
    const int second = record(env, 10);
    QVERIFY(second > first);
    QVERIFY(f.assignPendingEcg(patient, true));
    QVERIFY(f.currentStudyUid() != worklistUid);
    QCOMPARE(f.currentPacsStatus(), 1);
    QCOMPARE(f.selectNumberPatientFilesAvailable(patient), 2);
    QCOMPARE(f.getCurrentModelIndex(patient), 0);
    // Both are listed for the patient.
    QCOMPARE(env.value("select count(*) from ecgViewQmlKx where patientId=?", {patient}).toInt(), 2);

    // Delete the newest: the other one becomes current and is opened.
    QCOMPARE(f.deleteFile(patient, second), first);
    QVERIFY(f.isStoredFileOpen());
    QCOMPARE(f.patientFileCount(), 1);
    QCOMPARE(env.value("select count(*) from ecgTable where ecgId=?", {second}).toInt(), 0);
    QCOMPARE(f.deleteFile(patient, first), -1);
    QVERIFY(!QFileInfo::exists(env.path(assignedName)));
    QCOMPARE(env.settings->fileId, -1);
    QCOMPARE(QDir(env.dataFolder()).entryList({"*.ecg"}, QDir::Files).size(), 0);
}

void TestFileMan::assignmentFailures()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    CPatientMan& p = *env.patients;
    const int patient = p.createPatient("Mia", "M", "A", "B", 3, 2, 4, 0, "Manx", 0, "1.2.3.99", {});

    const int id = record(env, 20);
    const QString name = f.currentFileName();
    const QString path = env.path(name);
    const QByteArray original = contents(path);
    const QString target = env.path(QString::number(patient) + name.mid(1));
    auto unchanged = [&]() {
        return f.currentFileName() == name && contents(path) == original && !QFileInfo::exists(target)
            && env.value("select patientId from ecgTable where ecgId=?", {id}).toInt() == 0
            && env.value("select fileName from ecgTable where ecgId=?", {id}).toString() == name
            && env.value("select pendingStudyUuid from patientTable where patientId=?", {patient})
                       .toString()
                == QLatin1String("1.2.3.99");
    };

    // No such patient, or patient 0.
    QVERIFY(!f.assignPendingEcg(999, false));
    QVERIFY(!f.assignPendingEcg(0, false));
    QVERIFY(unchanged());

    // The destination name is taken: the rename fails, the header goes back.
    QVERIFY(QDir().mkpath(target));
    QVERIFY(!f.assignPendingEcg(patient, false));
    QVERIFY(QDir().rmdir(target));
    QVERIFY(unchanged());
    QVERIFY(f.isStoredFileOpen());
    QCOMPARE(readHeader(path).patientName, std::string("dummy"));

    // The row can't be updated: file renamed back, header restored.
    env.breakWrites("ecgTable", "update");
    QVERIFY(!f.assignPendingEcg(patient, true));
    env.mendWrites("ecgTable", "update");
    QVERIFY(unchanged());
    QVERIFY(f.isStoredFileOpen());

    // The file is not open: nothing to give away.
    QVERIFY(QFile::rename(path, path + ".away"));
    QCOMPARE(f.selectFile(id), id);
    QVERIFY(!f.isStoredFileOpen());
    QVERIFY(!f.assignPendingEcg(patient, false));
    QVERIFY(QFile::rename(path + ".away", path));
    QCOMPARE(f.selectFile(id), id);

    // It works now, once; an assigned recording is not pending any more.
    QVERIFY(f.assignPendingEcg(patient, false));
    const QString assigned = f.currentFileName();
    QVERIFY(!f.assignPendingEcg(1, false));
    QCOMPARE(f.currentFileName(), assigned);
    QCOMPARE(readHeader(env.path(assigned)).patientName, std::string("Mia"));
    QCOMPARE(env.value("select patientId from ecgTable where ecgId=?", {id}).toInt(), patient);
}

void TestFileMan::reservationsPerFlow()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(!f.commitNextFilename(false)); // nothing reserved

    // A PACS fetch reserves a name and waits for the DICOM service.
    const QString uid = QStringLiteral("1.2.826.0.1.3680043.9.77.3");
    const QString fetchName = f.reserveNextFilename(1, 1, uid, localTimeStamp(1705312800));
    QVERIFY(fetchName.startsWith("1_1_"));
    QVERIFY(f.hasPendingReservation());
    // A second reservation of the same flow is refused while it waits.
    QVERIFY(f.reserveNextFilename(1, 1, QString(), 0).isEmpty());

    // A live recording meanwhile takes a reservation (and an id) of its own.
    const int live = record(env, 5);
    QVERIFY(live > 0);
    QVERIFY2(f.currentFileName().startsWith("0_2_"), qPrintable(f.currentFileName()));
    QCOMPARE(env.value("select patientId from ecgTable where ecgId=?", {live}).toInt(), 0);

    // The fetch completes with its own data.
    QVERIFY(f.hasPendingReservation());
    QVERIFY(writeEcg(env.path(fetchName), 7));
    QVERIFY(f.setEntryCnt());
    QVERIFY(f.commitNextFilename(true));
    const int fetched = f.currentEcgId();
    QVERIFY(fetched != live);
    QCOMPARE(f.currentFileName(), fetchName);
    QCOMPARE(f.currentStudyUid(), uid);
    QCOMPARE(env.value("select patientId from ecgTable where ecgId=?", {fetched}).toInt(), 1);
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=?", {fetched}).toInt(), 7);
    QCOMPARE(env.value("select pacsStatus from ecgTable where ecgId=?", {fetched}).toInt(), 2);
    QVERIFY(!f.hasPendingReservation());

    // A failed fetch gives its reservation up; the next one is accepted.
    QVERIFY(!f.reserveNextFilename(1, 1, uid, 0).isEmpty());
    QVERIFY(!f.commitNextFilename(true)); // its file never arrived
    QVERIFY(!f.hasPendingReservation());
    QCOMPARE(f.currentEcgId(), fetched);
    QVERIFY(!f.reserveNextFilename(1, 1, uid, 0).isEmpty());
    f.releaseReservation();
    QVERIFY(!f.hasPendingReservation());

    // A name is never reused for a file that is already there.
    const QString next = f.reserveNextFilename(0, 1, QString(), localTimeStamp(1705312800));
    f.releaseReservation();
    QFile squatter(env.path(next));
    QVERIFY(squatter.open(QIODevice::WriteOnly));
    squatter.close();
    const QString other = f.reserveNextFilename(0, 1, QString(), localTimeStamp(1705312800));
    QVERIFY(other != next);
    f.releaseReservation();
}

void TestFileMan::failedCommitKeepsCurrent()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const int first = record(env, 5);
    QVERIFY(first > 0);

    env.breakWrites("ecgTable", "insert");
    QVERIFY(f.ecgFileCreate(0, "dummy", "a", "b", "c", 0, 0, 0, QString()));
    QVERIFY(f.addEntry(sampleAt(1)));
    QVERIFY(!f.ecgFileCreateEnd());
    QCOMPARE(f.currentEcgId(), first);
    QCOMPARE(env.value("select count(*) from ecgTable").toInt(), 1);
    QVERIFY(!f.isRecording());
    // The samples are still on disk.
    QCOMPARE(QDir(env.dataFolder()).entryList({"*.ecg"}, QDir::Files).size(), 2);
    env.mendWrites("ecgTable", "insert");

    // Recording goes on afterwards, under a fresh name.
    const int next = record(env, 5);
    QVERIFY(next > first);
    QCOMPARE(QDir(env.dataFolder()).entryList({"*.ecg"}, QDir::Files).size(), 3);
}

void TestFileMan::newRecordingClosesViewedFile()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const int viewed = record(env, 30);
    const QString viewedPath = env.path(f.currentFileName());
    const QByteArray before = contents(viewedPath);
    QVERIFY(f.isStoredFileOpen());

    QVERIFY(f.ecgFileCreate(0, "dummy", "a", "b", "c", 0, 0, 0, QString()));
    QVERIFY(!f.isStoredFileOpen());
    QVERIFY(f.isRecording());
    // Selecting while recording leaves the recording alone.
    QCOMPARE(f.selectFile(viewed), viewed);
    QVERIFY(!f.isStoredFileOpen());
    QVERIFY(!f.ecgFileCreate(0, "dummy", "a", "b", "c", 0, 0, 0, QString())); // one at a time
    for (int i = 0; i < 12; ++i)
        QVERIFY(f.addEntry(sampleAt(i)));
    QVERIFY(f.ecgFileCreateEnd());
    QVERIFY(f.currentEcgId() > viewed);
    QCOMPARE(QFileInfo(env.path(f.currentFileName())).size(), qint64(110000 + 12 * 16));
    QCOMPARE(contents(viewedPath), before);
    QVERIFY(!f.addEntry(sampleAt(0))); // nothing running
    QVERIFY(!f.ecgFileCreateEnd());
}

void TestFileMan::caseAndPacsStates()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const int id = record(env, 5);
    QVERIFY(f.assignPendingEcg(1, false));
    auto rowInt = [&](const char* column) {
        return env.value(QStringLiteral("select %1 from ecgTable where ecgId=?").arg(column), {id}).toLongLong();
    };
    auto patientValue = [&](const char* column) {
        return env.value(QStringLiteral("select %1 from patientTable where patientId=1").arg(column));
    };

    QVERIFY(f.queueForUpload(id, true));
    QCOMPARE(rowInt("qvlCaseStatus"), 9);
    QCOMPARE(f.currentQvlCaseStatus(), 9);

    QVERIFY(f.setQvlCaseId(id, "CASE-1"));
    QCOMPARE(rowInt("qvlCaseStatus"), 1);
    QCOMPARE(f.currentQvlCaseId(), QStringLiteral("CASE-1"));
    QCOMPARE(patientValue("latestTransmittedQvlFileId").toInt(), id);
    QCOMPARE(patientValue("latestTransmittedQvlCaseId").toString(), QStringLiteral("CASE-1"));
    QCOMPARE(patientValue("latestTransmittedQvlCaseStatus").toInt(), 1);

    QVERIFY(f.setQvlCaseUrl(id, "https://127.0.0.1/case?id=1&x='y'"));
    QCOMPARE(rowInt("qvlCaseStatus"), 3);
    QCOMPARE(env.value("select qvlCaseUrl from ecgTable where ecgId=?", {id}).toString(),
             QStringLiteral("https://127.0.0.1/case?id=1&x='y'"));
    QCOMPARE(f.currentQvlCaseUrl(), QStringLiteral("https://127.0.0.1/case?id=1&x='y'"));

    QVERIFY(f.setQvlCaseStatus(id, "COMPLETED"));
    QCOMPARE(rowInt("qvlCaseStatus"), 8);
    QCOMPARE(patientValue("latestTransmittedQvlCaseStatus").toInt(), 8);
    QCOMPARE(patientValue("latestTransmittedQvlCaseId").toString(), QStringLiteral("CASE-1"));
    newErrors();
    QVERIFY(f.setQvlCaseStatus(id, "completed")); // not a word of the service
    QVERIFY(newErrors().contains("CFileMan::setQvlCaseStatus() unknown status completed"));
    QCOMPARE(rowInt("qvlCaseStatus"), 0);
    QCOMPARE(patientValue("latestTransmittedQvlCaseStatus").toInt(), 0);
    QVERIFY(f.setQvlCaseStatus(id, "NEEDS_ATTENTION"));
    QCOMPARE(f.currentQvlCaseStatus(), 6);

    // Clearing a case, as the bridge does it.
    QVERIFY(f.setQvlCaseId(id, QString()));
    QVERIFY(f.setQvlCaseUrl(id, QString()));
    QVERIFY(f.setQvlCaseStatus(id, "CLEARED"));
    QCOMPARE(rowInt("qvlCaseStatus"), 0);
    QCOMPARE(f.currentQvlCaseStatus(), 0);
    QVERIFY(f.currentQvlCaseId().isEmpty());
    QCOMPARE(env.value("select qvlCaseId from ecgTable where ecgId=?", {id}).toString(), QString());

    // PACS: sent, then queued again, which really sends it again.
    const std::int64_t before = localTimeStampNow();
    QVERIFY(f.setPacsTs(id));
    QCOMPARE(rowInt("pacsStatus"), 2);
    QVERIFY(rowInt("pacsTs") >= before && rowInt("pacsTs") <= localTimeStampNow());
    QCOMPARE(rowInt("tsLastChanged"), rowInt("pacsTs"));
    QCOMPARE(f.currentPacsTs(), std::int64_t(rowInt("pacsTs")));
    QVERIFY(f.queueForUpload(id, false));
    QCOMPARE(rowInt("pacsStatus"), 1);
    QCOMPARE(rowInt("pacsTs"), 0);
    QCOMPARE(f.currentPacsStatus(), 1);
    QCOMPARE(f.currentPacsTs(), std::int64_t(0));
    // What the background sender selects.
    QCOMPARE(env.value("select min(ecgId) from ecgTable where pacsTs=0 and pacsStatus<=1 and patientId<>0")
                 .toInt(),
             id);

    // Unknown recordings are reported, and change nothing.
    QVERIFY(!f.setQvlCaseId(999, "X"));
    QVERIFY(!f.setQvlCaseStatus(999, "STARTED"));
    QVERIFY(!f.setPacsTs(999));
    QVERIFY(!f.queueForUpload(999, true));
    QCOMPARE(patientValue("latestTransmittedQvlFileId").toInt(), id);
}

void TestFileMan::telemedicineProgress()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const int id = record(env, 5);
    QVERIFY(f.assignPendingEcg(1, false));
    QvlCaseProgress p;
    QVERIFY(!f.readQvlCase(999, p));
    QVERIFY(f.readQvlCase(id, p));
    QVERIFY(!p.isHalfDone() && !p.fileAdded);

    // The file went to the open case: stored with it, the address still missing.
    QVERIFY(f.setQvlCaseId(id, "C-1"));
    QVERIFY(!f.setQvlFileAdded(id, "C-OTHER")); // not this recording's case
    QVERIFY(f.readQvlCase(id, p));
    QVERIFY(p.isHalfDone() && !p.fileAdded);
    QVERIFY(f.setQvlFileAdded(id, "C-1"));
    QVERIFY(f.readQvlCase(id, p));
    QVERIFY(p.isHalfDone() && p.fileAdded && p.serviceHasFile());
    QCOMPARE(p.caseId, QStringLiteral("C-1"));
    QCOMPARE(p.status, int(QvlCaseStarted));
    // Queued again it stays half done; its address ends it.
    QVERIFY(f.queueForUpload(id, true));
    QVERIFY(f.readQvlCase(id, p) && p.isHalfDone() && p.fileAdded);
    QVERIFY(f.setQvlCaseUrl(id, "https://127.0.0.1/c1"));
    QVERIFY(f.readQvlCase(id, p));
    QVERIFY(!p.isHalfDone());

    // A new case starts afresh: no address, nothing sent to it yet.
    QVERIFY(f.setQvlCaseId(id, "C-2"));
    QVERIFY(f.readQvlCase(id, p));
    QCOMPARE(p.caseId, QStringLiteral("C-2"));
    QVERIFY(p.caseUrl.isEmpty() && !p.fileAdded && p.isHalfDone());
    QVERIFY(f.currentQvlCaseUrl().isEmpty());
    // A case the service reports as received holds its file; a cancelled one is over.
    QVERIFY(f.setQvlCaseStatus(id, "RECEIVED"));
    QVERIFY(f.readQvlCase(id, p) && p.isHalfDone() && p.serviceHasFile());
    QVERIFY(f.setQvlCaseStatus(id, "CANCELLED"));
    QVERIFY(f.readQvlCase(id, p) && !p.isHalfDone());
}

void TestFileMan::deletions()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const int a = record(env, 5);
    QVERIFY(f.assignPendingEcg(1, false));
    const int b = record(env, 5);
    QVERIFY(f.assignPendingEcg(1, false));
    const QString bPath = env.path(f.currentFileName());
    const int pending = record(env, 5);
    QVERIFY(a > 0 && b > a && pending > b);

    // Someone else's recording is not deleted in the patient's name.
    QCOMPARE(f.deleteFile(7, b), pending);
    QVERIFY(QFileInfo::exists(bPath));
    QCOMPARE(f.deleteFileIgnorePatient(7, b), pending);
    QVERIFY(!QFileInfo::exists(bPath));
    QCOMPARE(env.value("select count(*) from ecgTable where ecgId=?", {b}).toInt(), 0);

    // Discarding the pending recording (patient 0) leaves nothing current.
    const QString pendingPath = env.path(f.currentFileName());
    QCOMPARE(f.deleteFile(0, pending), -1);
    QVERIFY(!QFileInfo::exists(pendingPath));
    QVERIFY(!f.isStoredFileOpen());

    QCOMPARE(f.selectNewestFile(1), a);
    QVERIFY(f.isStoredFileOpen());
    QCOMPARE(f.selectFile(12345), -1);
    QVERIFY(!f.isStoredFileOpen());
    QCOMPARE(env.settings->fileId, -1);
}

void TestFileMan::deletePatientFiles()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    const int patient = env.patients->createPatient("P", "P", "a", "b", 2, 0, 1, 0, "Pug", 0, {}, {});
    const int a = record(env, 5);
    QVERIFY(f.assignPendingEcg(patient, false));
    const QString aName = f.currentFileName();
    const int b = record(env, 5);
    QVERIFY(f.assignPendingEcg(patient, false));
    const int other = record(env, 5);
    QVERIFY(f.assignPendingEcg(1, false));
    QVERIFY(a > 0 && b > 0 && other > 0);

    // The current recording is one of them: it is closed before its file goes.
    QCOMPARE(f.selectFile(b), b);
    QVERIFY(f.isStoredFileOpen());
    // A file that can't be removed is reported (here a folder squats its name).
    QVERIFY(QFile::remove(env.path(aName)));
    QVERIFY(QDir().mkpath(env.path(aName) + "/x"));
    newErrors();
    QVERIFY(!f.deletePatientFiles(patient));
    QVERIFY(newErrors().contains("CFileMan::deletePatientFiles() unable to delete file "
                                 + env.path(aName)));
    QVERIFY(!f.isStoredFileOpen());
    QVERIFY(!f.ecgBuffer().isFileInUse());
    QCOMPARE(f.currentEcgId(), -1);
    QCOMPARE(env.settings->fileId, -1);
    QCOMPARE(env.value("select count(*) from ecgTable where patientId=?", {patient}).toInt(), 0);
    QCOMPARE(env.value("select count(*) from ecgTable").toInt(), 1);
    QCOMPARE(QDir(env.dataFolder()).entryList({"*.ecg"}, QDir::Files).size(), 1);

    // Another patient's files stay open.
    QCOMPARE(f.selectFile(other), other);
    QVERIFY(f.deletePatientFiles(patient));
    QVERIFY(f.isStoredFileOpen());
    QCOMPARE(f.currentEcgId(), other);
}

void TestFileMan::modelIndexFollowsList()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    // Imports carry their own start times, so ids and times disagree.
    const std::int64_t times[] = {localTimeStamp(1719828000), localTimeStamp(1705312800),
                                  localTimeStamp(1729992600), localTimeStamp(1705312800)};
    for (std::int64_t t : times) {
        const QString name = f.reserveNextFilename(0, 1, QString(), t);
        QVERIFY(writeEcg(env.path(name), 1));
        QVERIFY(f.setEntryCnt());
        QVERIFY(f.commitNextFilename(false));
        QVERIFY(f.assignPendingEcg(1, false));
    }
    QSqlQuery list(env.database());
    QVERIFY(list.exec("SELECT id FROM ecgViewQmlKx where patientId=1 order by studyDate desc, id desc"));
    QList<int> shown;
    while (list.next())
        shown << list.value(0).toInt();
    QCOMPARE(shown.size(), 4);
    for (int row = 0; row < shown.size(); ++row) {
        QCOMPARE(f.selectFile(shown[row]), shown[row]);
        QCOMPARE(f.getCurrentModelIndex(1), row);
    }
}

void TestFileMan::construction()
{
    StoreEnv env;
    const int a = record(env, 5);
    QVERIFY(env.files->assignPendingEcg(1, false));
    const int b = record(env, 5);
    QVERIFY(env.files->assignPendingEcg(1, false));
    QCOMPARE(env.files->selectFile(a), a);

    // The saved current recording is current again, its file not yet opened.
    env.open();
    QCOMPARE(env.files->currentEcgId(), a);
    QVERIFY(!env.files->isStoredFileOpen());
    QCOMPARE(env.files->nextRecordingId(), b + 1);

    // Gone: the newest recording of the saved patient is current and opened.
    env.exec("delete from ecgTable where ecgId=?", {a});
    env.open();
    QCOMPARE(env.files->currentEcgId(), b);
    QVERIFY(env.files->isStoredFileOpen());
    QCOMPARE(env.settings->fileId, b);
    // Ids are never reused, even after deleting the newest row.
    env.exec("delete from ecgTable where ecgId=?", {b});
    env.open();
    QCOMPARE(env.files->nextRecordingId(), b + 1);
    QCOMPARE(env.files->currentEcgId(), -1);
}

// A minute recorded live: lead-in, samples with a few device events among
// them, the trailer marked at the stop. The row counts the records on the
// disk, the duration the samples alone.
void TestFileMan::durationCountsRecordedSamples()
{
    StoreEnv env;
    CFileMan& f = *env.files;
    QVERIFY(f.ecgFileCreate(0, "dummy", "dummyOF", "dummyOL", "dummyXId", 0, 0, 0, QString()));
    int added = 0;
    auto add = [&](int type) {
        EcgStreamSample s = sampleAt(added++);
        s.type = type;
        return f.addEntry(s);
    };
    for (int i = 0; i < 2499; ++i)
        QVERIFY(add(ECG_SAMPLE_LEADIN));
    for (int i = 0; i < 30000 + 1250; ++i) {
        QVERIFY(add(ECG_SAMPLE));
        if (i == 1000 || i == 20000)
            QVERIFY(add(-1)); // battery low
    }
    QVERIFY(f.markRecordingTrailer(1250));
    QVERIFY(f.ecgFileCreateEnd());
    const int id = f.currentEcgId();
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=?", {id}).toInt(), 2499 + 31250 + 2);
    QCOMPARE(env.value("select sampleCount from ecgTable where ecgId=?", {id}).toInt(), 30000);
    QCOMPARE(env.value("select duration from ecgViewQmlKx where id=?", {id}).toInt(), 60);
    QCOMPARE(CFileMan::recordedSamplesOf(env.path(f.currentFileName())), 30000);
    QCOMPARE(CFileMan::recordedSamplesOf(env.path("missing.ecg")), -1);

    // An imported file of samples only: every record is a sample.
    const QString name = f.reserveNextFilename(0, 1, QString(), 0);
    QVERIFY(writeEcg(env.path(name), 15000));
    QVERIFY(f.setEntryCnt());
    QVERIFY(f.commitNextFilename(false));
    QCOMPARE(env.value("select sampleCount from ecgTable where ecgId=?", {f.currentEcgId()}).toInt(), 15000);
    QCOMPARE(env.value("select duration from ecgViewQmlKx where id=?", {f.currentEcgId()}).toInt(), 30);
}

// Rows of an older release hold no count: they are counted from their files
// once; a row whose file can't be read keeps its former duration.
void TestFileMan::olderRowsGetTheirSamplesCounted()
{
    StoreEnv env;
    // A minute as an older release stored it: lead-in, samples, trailer.
    const QString minute = QStringLiteral("0_1_20240101_101500.ecg");
    {
        CFileEcg file;
        QVERIFY(file.createFile(env.path(minute).toStdString()));
        for (int i = 0; i < 2499 + 30000 + 1250; ++i) {
            EcgFileRecord r{};
            r.leadII = float(i % 100);
            r.type = (i < 2499 || i >= 2499 + 30000) ? ECG_SAMPLE_LEADIN : ECG_SAMPLE;
            QVERIFY(file.addData(&r, 1));
        }
        QVERIFY(file.close());
    }
    env.exec("insert into ecgTable(patientId, ecgTime, fileSize, fileName) values (0, 1704104100, ?, ?)",
             {2499 + 30000 + 1250, minute});
    const int counted = env.value("select max(ecgId) from ecgTable").toInt();
    env.exec("insert into ecgTable(patientId, ecgTime, fileSize, fileName) values (0, 1704104200, 20000, "
             "'0_2_20240101_101640.ecg')");
    const int missing = env.value("select max(ecgId) from ecgTable").toInt();
    QCOMPARE(env.value("select sampleCount from ecgTable where ecgId=?", {counted}).toInt(), -1);
    QCOMPARE(env.value("select duration from ecgViewQmlKx where id=?", {counted}).toInt(), 67);

    QCOMPARE(env.files->countMissingSamples(10000), 1);
    QCOMPARE(env.value("select sampleCount from ecgTable where ecgId=?", {counted}).toInt(), 30000);
    QCOMPARE(env.value("select duration from ecgViewQmlKx where id=?", {counted}).toInt(), 60);
    QCOMPARE(env.value("select fileSize from ecgTable where ecgId=?", {counted}).toInt(), 2499 + 30000 + 1250);
    QCOMPARE(env.value("select sampleCount from ecgTable where ecgId=?", {missing}).toInt(), -1);
    QCOMPARE(env.value("select duration from ecgViewQmlKx where id=?", {missing}).toInt(), 40);
    // Counted once: the next start has only the unreadable one to try.
    QCOMPARE(env.files->countMissingSamples(10000), 0);
    QCOMPARE(env.value("select sampleCount from ecgTable where ecgId=?", {counted}).toInt(), 30000);
}

QTEST_GUILESS_MAIN(TestFileMan)
#include "tst_fileman.moc"
