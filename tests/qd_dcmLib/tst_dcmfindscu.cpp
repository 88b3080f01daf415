#include <QtTest>
#include <QTemporaryDir>

#include "commalocale.h"
#include "dcmquerytestutil.h"
#include "dicomrig.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpath.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdlib>
#include <ctime>

using namespace dicomrig;
using namespace querytest;

// Worklist and PACS queries into their result tables, against DCMTK's
// wlmscpfs and dcmqrscp and a peer of our own for what they can't send.
class TestDcmFindScu : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void rowFields_data();
    void rowFields();
    void searchKeys_data();
    void searchKeys();
    void worklistFromWlmscpfs();
    void responseCap();
    void weightsUnderCommaLocale();
    void studyTimesIgnoreTimeZone_data();
    void studyTimesIgnoreTimeZone();
    void failuresKeepTable_data();
    void failuresKeepTable();
    void tableWriteFailureKeepsRows();
    void pacsListsOnlyEcgStudies();
    void connectionTestReplacesRows();
    void nameMatchesSearch_data();
    void nameMatchesSearch();
    void nameSearchWithAndWithoutOwner_data();
    void nameSearchWithAndWithoutOwner();

private:
    QTemporaryDir m_dir;
    CDbMan* m_db = nullptr;
};

namespace {

// Fills a data set from keys, as the peer's answer.
void applyKeys(DcmDataset& ds, const QStringList& keys)
{
    const bool utf8 = keys.contains("SpecificCharacterSet=ISO_IR 192");
    DcmPathProcessor proc;
    proc.setItemWildcardSupport(OFFalse);
    proc.checkPrivateReservations(OFFalse);
    for (const QString& key : keys) {
        const QByteArray bytes = utf8 ? key.toUtf8() : key.toLatin1();
        proc.applyPathWithValue(&ds, OFString(bytes.constData(), bytes.size()));
    }
}

const char* const kColumns =
    "idx, extId, tsStudy, patientName, ownerFirst, ownerLast, accno, sUuid, species, breed, sex, "
    "birthdate, weight, weightUnit";

qint64 utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

}

void TestDcmFindScu::initTestCase()
{
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
    QVERIFY(m_dir.isValid());
    int from = 0, to = 0;
    m_db = new CDbMan(m_dir.path(), from, to);
    QVERIFY2(m_db->isOk(), qPrintable(m_db->errorText()));
}

void TestDcmFindScu::cleanupTestCase()
{
    delete m_db;
    m_db = nullptr;
}

void TestDcmFindScu::init()
{
    QVERIFY(fillTable("worklistTable", 0));
    QVERIFY(fillTable("pacsTable", 0));
}

void TestDcmFindScu::rowFields_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("row");

    const QString base = "0|P1|%1|%2|%3|%4|ACC1|%5|%6|%7|%8|%9|%10|0";
    QTest::newRow("owner and animal")
        << QStringList{"PatientName=Miller^Rex", "PatientID=P1", "AccessionNumber=ACC1",
                       "StudyInstanceUID=1.2.3.4", "StudyDate=20260115", "StudyTime=101530.25",
                       "ResponsiblePerson=Miller^Anna", "PatientSpeciesDescription=CANINE",
                       "PatientBreedDescription=Beagle", "PatientSex=M",
                       "PatientBirthDate=20190301", "PatientWeight=12.500"}
        << base.arg(utc(2026, 1, 15, 10, 15, 30)).arg("Rex", "Anna", "Miller", "1.2.3.4", "2",
                                                      "Beagle", "1")
               .arg(utc(2019, 3, 1)).arg("12.5");
    QTest::newRow("name without caret, nothing else")
        << QStringList{"PatientName=Tweety", "PatientID=P1", "AccessionNumber=ACC1"}
        << base.arg(0).arg("Tweety", "", "", "", "0", "", "0").arg(0).arg("0");
    QTest::newRow("caret last, date without time")
        << QStringList{"PatientName=Rex^", "PatientID=P1", "AccessionNumber=ACC1",
                       "StudyDate=20251231", "PatientSpeciesDescription=dog", "PatientSex=m",
                       "PatientWeight=1e999"}
        << base.arg(utc(2025, 12, 31)).arg("Rex^", "", "", "", "0", "", "0").arg(0).arg("0");
    QTest::newRow("start date in the step sequence, UID from the description")
        << QStringList{"PatientName=Kowalski^Mruczek", "PatientID=P1", "AccessionNumber=ACC1",
                       "RequestedProcedureDescription=1.2.826.0.1.99",
                       "ScheduledProcedureStepSequence[0].ScheduledProcedureStepStartDate=20260201",
                       "ScheduledProcedureStepSequence[0].ScheduledProcedureStepStartTime=0930",
                       "PatientSpeciesDescription=small mammal", "PatientSex=F",
                       "ResponsiblePerson=Anna", "PatientWeight=-4"}
        << base.arg(utc(2026, 2, 1)).arg("Mruczek", "Anna", "Kowalski", "1.2.826.0.1.99", "19",
                                         "", "2")
               .arg(0).arg("0");
    // The neutered state goes into the sex code; without one the sex stays.
    QTest::newRow("female, altered")
        << QStringList{"PatientName=Minka", "PatientID=P1", "AccessionNumber=ACC1",
                       "PatientSex=F", "PatientSexNeutered=ALTERED"}
        << base.arg(0).arg("Minka", "", "", "", "0", "", "4").arg(0).arg("0");
    QTest::newRow("male, altered")
        << QStringList{"PatientName=A^B", "PatientID=P1", "AccessionNumber=ACC1",
                       "PatientSex=M", "PatientSexNeutered=ALTERED"}
        << base.arg(0).arg("B", "", "A", "", "0", "", "3").arg(0).arg("0");
    QTest::newRow("female, unaltered")
        << QStringList{"PatientName=A^B", "PatientID=P1", "AccessionNumber=ACC1",
                       "PatientSex=F", "PatientSexNeutered=UNALTERED"}
        << base.arg(0).arg("B", "", "A", "", "0", "", "2").arg(0).arg("0");
    QTest::newRow("other, altered")
        << QStringList{"PatientName=A^B", "PatientID=P1", "AccessionNumber=ACC1",
                       "PatientSex=O", "PatientSexNeutered=ALTERED"}
        << base.arg(0).arg("B", "", "A", "", "0", "", "0").arg(0).arg("0");
    QTest::newRow("description that is no UID")
        << QStringList{"PatientName=A^B", "PatientID=P1", "AccessionNumber=ACC1",
                       "RequestedProcedureDescription=Resting ECG 1.2", "StudyDate=2026",
                       "PatientBirthDate=20191345", "PatientWeight= 7.25kg"}
        << base.arg(0).arg("B", "", "A", "", "0", "", "0").arg(0).arg("7.25");
}

void TestDcmFindScu::rowFields()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, row);
    FindPeer peer;
    peer.setAnswers(1, [keys](int, DcmDataset& ds) { applyKeys(ds, keys); });
    QVERIFY(peer.start());
    const JobResult r = runOnWorker(request(true, peer.port(), peer.aeTitle()));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.rows, 1);
    QCOMPARE(tableRows("worklistTable", kColumns), QStringList{row});
}

void TestDcmFindScu::searchKeys_data()
{
    QTest::addColumn<bool>("worklist");
    QTest::addColumn<QStringList>("search");   // id, name, owner first, owner last
    QTest::addColumn<QStringList>("expected"); // lines of the request dump
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("id alone") << true << QStringList{"P-1", "", "", ""}
                              << QStringList{"(0010,0020) LO [P-1*]", "(0010,0010) PN (no value",
                                             "(0010,2297) PN (no value",
                                             "(0040,0020) CS [SCHEDULED\\ARRIVED\\READY\\STARTED",
                                             "(0008,0060) CS [ECG", "(0040,0002) DA (no value",
                                             "(0010,2203) CS (no value"}
                              << QStringList{"(0008,0061)"};
    QTest::newRow("owner last alone") << true << QStringList{"", "", "", "Miller"}
                                      << QStringList{"(0010,0010) PN [Miller*^*",
                                                     "(0010,0020) LO (no value"}
                                      << QStringList{};
    // Wide enough for a name stored without owner part; the answers are sifted.
    QTest::newRow("patient name alone") << false << QStringList{"", "Rex", "", ""}
                                        << QStringList{"(0010,0010) PN [*Rex*",
                                                       "(0008,0052) CS [STUDY",
                                                       "(0008,0061) CS [ECG",
                                                       "(0008,0020) DA (no value",
                                                       "(0010,2203) CS (no value"}
                                        << QStringList{"(0040,0100)", "*^Rex"};
    QTest::newRow("owner last and patient name") << true << QStringList{"", "Rex", "", "Miller"}
                                                 << QStringList{"(0010,0010) PN [Miller*^Rex*]"}
                                                 << QStringList{};
    QTest::newRow("owner first alone") << false << QStringList{"", "", "Anna", ""}
                                       << QStringList{"(0010,2297) PN [*Anna*]",
                                                      "(0010,0010) PN (no value"}
                                       << QStringList{};
    // A key beyond ASCII says its character set; otherwise the set is asked for.
    QTest::newRow("ascii keys: character set asked for") << true << QStringList{"P-1", "Rex", "Anna", "Miller"}
                                                         << QStringList{"(0008,0005) CS (no value"}
                                                         << QStringList{"ISO_IR 192"};
    QTest::newRow("owner last beyond ascii") << true << QStringList{"", "", "", "Müller"}
                                             << QStringList{"(0008,0005) CS [ISO_IR 192]",
                                                            "(0010,0010) PN [Müller*^*]"}
                                             << QStringList{};
    QTest::newRow("patient name beyond ascii") << false << QStringList{"", "Żaba", "", ""}
                                               << QStringList{"(0008,0005) CS [ISO_IR 192]",
                                                              "(0010,0010) PN [*Żaba*"}
                                               << QStringList{};
    QTest::newRow("id beyond ascii") << false << QStringList{"Ä-1", "", "", ""}
                                     << QStringList{"(0008,0005) CS [ISO_IR 192]"} << QStringList{};
    const QString longName(2000, 'x');
    QTest::newRow("too long: bare keys") << true << QStringList{longName, longName, longName, ""}
                                         << QStringList{"(0010,0020) LO (no value",
                                                        "(0010,0010) PN (no value",
                                                        "(0010,2297) PN (no value"}
                                         << QStringList{"xxxxxxxx"};
}

void TestDcmFindScu::searchKeys()
{
    QFETCH(bool, worklist);
    QFETCH(QStringList, search);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, absent);
    FindPeer peer;
    QVERIFY(peer.start());
    DcmQueryRequest r = request(worklist, peer.port(), peer.aeTitle());
    r.patientId = search[0].toUtf8().toStdString();
    r.patientName = search[1].toUtf8().toStdString();
    r.ownerFirst = search[2].toUtf8().toStdString();
    r.ownerLast = search[3].toUtf8().toStdString();
    QCOMPARE(runOnWorker(r).code, 0);
    const QString dump = peer.lastRequest();
    for (const QString& line : expected)
        QVERIFY2(dump.contains(line), qPrintable(line + "\n" + dump));
    for (const QString& line : absent)
        QVERIFY2(!dump.contains(line), qPrintable(line + "\n" + dump));
}

void TestDcmFindScu::worklistFromWlmscpfs()
{
    QTemporaryDir dir;
    ToolPeer wl;
    QVERIFY(wl.startWorklistScp(dir.path(), "WLMSCP", {"-v"}));
    const QString folder = wl.worklistFolder();
    QVERIFY(writeKeysFile(folder + "/a.wl",
                          worklistItem({"PatientName=Müller^Bello", "PatientID=P1",
                                        "ResponsiblePerson=Müller^Jürgen",
                                        "PatientSpeciesDescription=Canine",
                                        "PatientBreedDescription=Dackel", "PatientSex=M",
                                        "PatientBirthDate=20190301", "PatientWeight=9.80"})));
    QVERIFY(writeKeysFile(folder + "/b.wl",
                          worklistItem({"SpecificCharacterSet=ISO_IR 192",
                                        "PatientName=Łukasiewicz^Kotek", "PatientID=P2",
                                        "AccessionNumber=ACC2", "ResponsiblePerson=Łukasiewicz^Zoë",
                                        "PatientSpeciesDescription=feline", "PatientSex=F",
                                        "StudyInstanceUID=1.2.826.0.1.3680043.2.1.2"})));
    // Missing fields: no responsible person, species, breed, sex or weight.
    QVERIFY(writeKeysFile(folder + "/c.wl",
                          worklistItem({"PatientName=Tweety", "PatientID=P3", "AccessionNumber=ACC3",
                                        "StudyInstanceUID=1.2.826.0.1.3680043.2.1.3"})));
    // Another modality and another patient id are not asked for.
    QVERIFY(writeKeysFile(folder + "/d.wl",
                          worklistItem({"PatientID=P4", "AccessionNumber=ACC4",
                                        "ScheduledProcedureStepSequence[0].Modality=CT"})));
    QVERIFY(writeKeysFile(folder + "/e.wl", worklistItem({"PatientID=Q5", "AccessionNumber=ACC5",
                                                          "PatientWeight=31.250"})));

    // wlmscpfs matches Patient ID by single value only: an empty search.
    const JobResult result = runOnWorker(request(true, wl.port(), wl.aeTitle()));
    QCOMPARE(result.code, 0);
    QStringList rows = tableRows("worklistTable",
                                 "extId, patientName, ownerFirst, ownerLast, accno, sUuid, species, "
                                 "breed, sex, birthdate, weight, tsStudy");
    rows.sort();
    const QString day = QString::number(utc(2026, 1, 15));
    // wlmscpfs knows no species or breed keys; they stay empty.
    QCOMPARE(rows, (QStringList{
                       "P1|Bello|Jürgen|Müller|ACC1|1.2.826.0.1.3680043.2.1.1|0||1|"
                           + QString::number(utc(2019, 3, 1)) + "|9.8|" + day,
                       "P2|Kotek|Zoë|Łukasiewicz|ACC2|1.2.826.0.1.3680043.2.1.2|0||2|0|0|" + day,
                       "P3|Tweety|||ACC3|1.2.826.0.1.3680043.2.1.3|0||0|0|0|" + day,
                       "Q5|Rex||Miller|ACC5|1.2.826.0.1.3680043.2.1.1|0||0|0|31.25|" + day}));

    // The request as wlmscpfs logged it.
    const QString log = wl.output();
    for (const char* line : {"(0010,0020) LO (no value", "(0008,0060) CS [ECG",
                             "(0040,0020) CS [SCHEDULED\\ARRIVED\\READY\\STARTED",
                             "(0010,2201) LO (no value", "(0010,2292) LO (no value",
                             "(0010,1030) DS (no value", "(0032,1060) LO (no value",
                             "(0020,000d) UI (no value", "(0010,2297) PN (no value"})
        QVERIFY2(log.contains(line), line);
}

void TestDcmFindScu::responseCap()
{
    // 10,001 scheduled ECGs on wlmscpfs: the table takes the first 10,000.
    QTemporaryDir dir;
    ToolPeer wl;
    QVERIFY(wl.startWorklistScp(dir.path(), "WLMSCP"));
    const QString first = wl.worklistFolder() + "/item.wl";
    QVERIFY(writeKeysFile(first, worklistItem({})));
    DcmFileFormat item;
    QVERIFY(item.loadFile(QFile::encodeName(first).constData()).good());
    QVERIFY(QFile::remove(first));
    for (int i = 0; i < 10001; ++i) {
        DcmDataset* ds = item.getDataset();
        ds->putAndInsertString(DCM_PatientID, QString("ID%1").arg(i, 5, 10, QChar('0')).toLatin1().constData());
        ds->putAndInsertString(DCM_PatientName, QString("Owner^Pet%1").arg(i).toLatin1().constData());
        const QString path = wl.worklistFolder() + QString("/i%1.wl").arg(i);
        QVERIFY(item.saveFile(QFile::encodeName(path).constData(), EXS_LittleEndianExplicit,
                              EET_ExplicitLength, EGL_recalcGL, EPD_noChange, 0, 0, EWM_dataset)
                    .good());
    }
    DcmQueryRequest r = request(true, wl.port(), wl.aeTitle());
    r.dimseTimeout = 60;
    const JobResult result = runOnWorker(r);
    QCOMPARE(result.code, 0);
    QCOMPARE(result.rows, 10000);
    QStringList rows = tableRows("worklistTable", "idx, extId, ownerLast");
    QCOMPARE(rows.size(), 10000);
    QCOMPARE(rows.first().section('|', 0, 0), QString("0"));
    QCOMPARE(rows.last().section('|', 0, 0), QString("9999"));
    QCOMPARE(rows.last().section('|', 2), QString("Owner"));
    // Which item was left out is the server's order; each id at most once.
    QStringList ids;
    for (const QString& row : rows)
        ids << row.section('|', 1, 1);
    ids.removeDuplicates();
    QCOMPARE(ids.size(), 10000);
}

void TestDcmFindScu::weightsUnderCommaLocale()
{
    // DICOM numbers have a decimal point whatever the machine's locale says.
    CommaLocale german;
    QVERIFY2(german.isActive(), qPrintable(german.error()));
    FindPeer peer;
    peer.setAnswers(3, [](int i, DcmDataset& ds) {
        static const char* const weights[] = {"12.5", "0.125", "12,5"};
        ds.putAndInsertString(DCM_PatientWeight, weights[i]);
        ds.putAndInsertString(DCM_PatientSpeciesDescription, "EQUINE");
    });
    QVERIFY(peer.start());
    QCOMPARE(runOnWorker(request(true, peer.port(), peer.aeTitle())).code, 0);
    QCOMPARE(tableRows("worklistTable", "weight, species"),
             (QStringList{"12.5|1", "0.125|1", "12|1"}));
}

void TestDcmFindScu::studyTimesIgnoreTimeZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << QByteArray("UTC");
    QTest::newRow("New York") << QByteArray("America/New_York");
    QTest::newRow("Chatham") << QByteArray("Pacific/Chatham");
}

void TestDcmFindScu::studyTimesIgnoreTimeZone()
{
    // The peer's date and time are the wall-clock time of the study, stored
    // as the time columns hold it, whatever zone this machine is in; a summer
    // and a winter date, so daylight saving can't move either.
    QFETCH(QByteArray, zone);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    FindPeer peer;
    peer.setAnswers(2, [](int i, DcmDataset& ds) {
        ds.putAndInsertString(DCM_PatientName, "A^B");
        ds.putAndInsertString(DCM_StudyDate, i == 0 ? "20260704" : "20261225");
        ds.putAndInsertString(DCM_StudyTime, "233000");
        ds.putAndInsertString(DCM_PatientBirthDate, "20200101");
    });
    QVERIFY(peer.start());
    const JobResult r = runOnWorker(request(false, peer.port(), peer.aeTitle()));
    if (oldZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    tzset();
    QCOMPARE(r.code, 0);
    QCOMPARE(tableRows("pacsTable", "tsStudy, birthdate"),
             (QStringList{QString("%1|%2").arg(utc(2026, 7, 4, 23, 30)).arg(utc(2020, 1, 1)),
                          QString("%1|%2").arg(utc(2026, 12, 25, 23, 30)).arg(utc(2020, 1, 1))}));
}

void TestDcmFindScu::failuresKeepTable_data()
{
    QTest::addColumn<int>("mode");     // FindPeer mode; -1 no peer, -2 silent TCP listener
    QTest::addColumn<int>("oversize"); // bytes of the oversized name
    QTest::addColumn<int>("maxBytes"); // ceiling of the query, 0 the default
    const int mb = 1024 * 1024;
    QTest::newRow("peer down") << -1 << 0 << 0;
    QTest::newRow("no association answer") << -2 << 0 << 0;
    QTest::newRow("silent after the request") << int(FindPeer::Mode::Silent) << 0 << 0;
    QTest::newRow("more bytes than the ceiling") << int(FindPeer::Mode::Oversized) << 3 * mb << 2 * mb;
    QTest::newRow("oversized value") << int(FindPeer::Mode::Oversized) << 64 * 1024 << 0;
    QTest::newRow("malformed") << int(FindPeer::Mode::Malformed) << 0 << 0;
    QTest::newRow("huge PDU length") << int(FindPeer::Mode::HugeLength) << 0 << 0;
    QTest::newRow("endless") << int(FindPeer::Mode::Endless) << 0 << 2 * mb;
    QTest::newRow("failure status") << int(FindPeer::Mode::FailStatus) << 0 << 0;
}

void TestDcmFindScu::failuresKeepTable()
{
    QFETCH(int, mode);
    QFETCH(int, oversize);
    QFETCH(int, maxBytes);
    QVERIFY(fillTable("worklistTable", 3));
    const QStringList before = tableRows("worklistTable", kColumns);

    FindPeer peer;
    SilentListener silent;
    quint16 port = 0;
    if (mode == -1) {
        port = freePort();
    } else if (mode == -2) {
        QVERIFY(silent.start());
        port = silent.port();
    } else {
        peer.setMode(FindPeer::Mode(mode));
        peer.setOversizeBytes(oversize);
        QVERIFY(peer.start());
        port = peer.port();
    }
    DcmQueryRequest r = request(true, port, "FINDPEER");
    r.acseTimeout = 2;
    r.dimseTimeout = 2;
    r.totalSeconds = 8;
    r.maxBytes = maxBytes;
    const JobResult result = runOnWorker(r);
    QCOMPARE(result.code, int(DCM_ERR_CFIND));
    QVERIFY2(result.error.rfind("findScu(remoteIp=127.0.0.1, remotePort=", 0) == 0,
             result.error.c_str());
    QVERIFY2(result.ms < 15000, qPrintable(QString::number(result.ms)));
    QCOMPARE(tableRows("worklistTable", kColumns), before);
}

void TestDcmFindScu::tableWriteFailureKeepsRows()
{
    // The second insert fails: the delete before it is undone with it.
    QVERIFY(fillTable("pacsTable", 2));
    const QStringList before = tableRows("pacsTable", kColumns);
    QSqlQuery q(QSqlDatabase::database());
    QVERIFY(q.exec("create trigger failSecond before insert on pacsTable when new.idx = 1 "
                   "begin select raise(abort, 'refused'); end"));
    FindPeer peer;
    peer.setAnswers(3, [](int i, DcmDataset& ds) {
        ds.putAndInsertString(DCM_PatientName, QString("N^P%1").arg(i).toLatin1().constData());
    });
    QVERIFY(peer.start());
    const JobResult r = runOnWorker(request(false, peer.port(), peer.aeTitle()));
    QVERIFY(q.exec("drop trigger failSecond"));
    QCOMPARE(r.code, kDcmErrResultTable);
    QCOMPARE(r.rows, 0);
    QVERIFY2(QString::fromStdString(r.error).contains("refused"), r.error.c_str());
    QCOMPARE(tableRows("pacsTable", kColumns), before);
}

void TestDcmFindScu::pacsListsOnlyEcgStudies()
{
    QTemporaryDir dir;
    ToolPeer qr;
    QVERIFY(qr.startQrScp(dir.path(), "QRSCP"));
    const QString ecg = dir.filePath("ecg.dcm");
    const QString other = dir.filePath("other.dcm");
    QVERIFY(!writeEcgFile(ecg).isEmpty());
    QVERIFY(!writeEcgFile(other, UID_CTImageStorage).isEmpty());
    // The second object must not look like an ECG study.
    QCOMPARE(runTool("dcmodify", {"-nb", "-m", "(0008,0060)=CT", "-m", "(0020,000d)=1.2.826.0.1.77",
                                  "-m", "(0010,0020)=P-0099", other}),
             0);
    QCOMPARE(runTool("dcmodify", {"-nb", "-i", "(0010,2201)=Canine", "-i", "(0010,2292)=Beagle",
                                  "-i", "(0010,1030)=31.5", "-i", "(0010,2297)=Miller^Anna", ecg}),
             0);
    QString out;
    QCOMPARE(runTool("storescu", {"-aec", "QRSCP", "127.0.0.1", QString::number(qr.port()), ecg, other},
                     &out),
             0);
    const JobResult r = runOnWorker(request(false, qr.port(), qr.aeTitle()));
    QCOMPARE(r.code, 0);
    // dcmqrscp ignores Modalities in Study and leaves it out of its answers,
    // so both studies come back; the ECG study's row holds its fields.
    QStringList rows = tableRows("pacsTable", "extId, patientName, ownerLast, accno, sex, "
                                              "birthdate, tsStudy");
    rows.sort();
    QCOMPARE(rows, (QStringList{QString("P-0042|Miller|Rex|ACC0001|1|%1|%2")
                                    .arg(utc(2019, 3, 1))
                                    .arg(utc(2026, 1, 15, 10, 15, 30)),
                                QString("P-0099|Miller|Rex|ACC0001|1|%1|%2")
                                    .arg(utc(2019, 3, 1))
                                    .arg(utc(2026, 1, 15, 10, 15, 30))}));

    // A peer that names the modalities of its studies: only ECG ones stay.
    FindPeer peer;
    peer.setAnswers(3, [](int i, DcmDataset& ds) {
        ds.putAndInsertString(DCM_PatientID, QString("S%1").arg(i).toLatin1().constData());
        ds.putAndInsertString(DCM_ModalitiesInStudy, i == 0 ? "CT\\SR" : i == 1 ? "SR\\ECG" : "ECG");
    });
    QVERIFY(peer.start());
    QCOMPARE(runOnWorker(request(false, peer.port(), peer.aeTitle())).code, 0);
    QCOMPARE(tableRows("pacsTable", "idx, extId"), (QStringList{"0|S1", "1|S2"}));
}

void TestDcmFindScu::connectionTestReplacesRows()
{
    // The connection test queries with fixed texts; its answer (here none)
    // replaces the worklist rows.
    QVERIFY(fillTable("worklistTable", 2));
    QTemporaryDir dir;
    ToolPeer wl;
    QVERIFY(wl.startWorklistScp(dir.path(), "WLMSCP", {"-v"}));
    QVERIFY(writeKeysFile(wl.worklistFolder() + "/a.wl", worklistItem({})));
    DcmQueryRequest r = request(true, wl.port(), wl.aeTitle());
    r.patientId = "MalvorantQml";
    r.patientName = "testingCredentials";
    const JobResult result = runOnWorker(r);
    QCOMPARE(result.code, 0);
    QCOMPARE(result.rows, 0);
    QCOMPARE(tableRows("worklistTable", "idx"), QStringList{});
    QVERIFY(wl.output().contains("(0010,0010) PN [*testingCredentials*"));
}

void TestDcmFindScu::nameMatchesSearch_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("match");
    QTest::newRow("without owner") << "Minka" << "Minka" << true;
    QTest::newRow("with owner") << "Smith^Minka" << "Minka" << true;
    QTest::newRow("name begins so") << "Smith^Minkarina" << "Minka" << true;
    QTest::newRow("caret last") << "Minka^" << "Minka" << true;
    QTest::newRow("given names after the first") << "Smith^Anna^Minka" << "Minka" << true;
    QTest::newRow("other case") << "SMITH^MINKA" << "minka" << true;
    QTest::newRow("beyond ascii, other case") << "Åström^Älva" << "älva" << true;
    QTest::newRow("in the owner's name") << "Minkamann^Rex" << "Minka" << false;
    QTest::newRow("inside a name") << "Tominka" << "Minka" << false;
    QTest::newRow("inside the animal's name") << "Smith^Tominka" << "Minka" << false;
    QTest::newRow("typed wildcards") << "Smith^Minka" << "M?n*a" << true;
    QTest::newRow("typed wildcards, no match") << "Smith^Mona" << "M?n*k" << false;
}

void TestDcmFindScu::nameMatchesSearch()
{
    QFETCH(QString, stored);
    QFETCH(QString, search);
    QFETCH(bool, match);
    QCOMPARE(NsCDcmFindScu::nameMatchesSearch(stored.toStdString(), search.toStdString()), match);
}

// A search by the animal's name alone finds it whether the stored name has
// an owner part or not (our own export writes a patient without owner
// surname as the bare name), on the real servers; names that only hold the
// text elsewhere are not listed.
void TestDcmFindScu::nameSearchWithAndWithoutOwner_data()
{
    QTest::addColumn<bool>("worklist");
    QTest::newRow("wlmscpfs") << true;
    QTest::newRow("dcmqrscp") << false;
}

void TestDcmFindScu::nameSearchWithAndWithoutOwner()
{
    QFETCH(bool, worklist);
    const QStringList names{"Minka", "Smith^Minka", "Minkamann^Rex", "Tominka", "Smith^Rex"};
    QTemporaryDir dir;
    ToolPeer peer;
    if (worklist) {
        QVERIFY(peer.startWorklistScp(dir.path(), "WLMSCP"));
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(writeKeysFile(QString("%1/%2.wl").arg(peer.worklistFolder()).arg(i),
                                  worklistItem({"PatientName=" + names[i],
                                                QString("PatientID=N%1").arg(i)})));
    } else {
        QVERIFY(peer.startQrScp(dir.path(), "QRSCP"));
        for (int i = 0; i < names.size(); ++i) {
            const QString file = dir.filePath(QString("n%1.dcm").arg(i));
            QVERIFY(!writeEcgFile(file).isEmpty());
            QCOMPARE(runTool("dcmodify", {"-nb", "-m", "(0010,0010)=" + names[i], "-m",
                                          QString("(0010,0020)=N%1").arg(i), "-m",
                                          QString("(0020,000d)=1.2.826.0.1.3680043.2.9.%1").arg(i),
                                          file}),
                     0);
            QCOMPARE(runTool("storescu", {"-aec", "QRSCP", "127.0.0.1", QString::number(peer.port()), file}),
                     0);
        }
    }
    DcmQueryRequest r = request(worklist, peer.port(), peer.aeTitle());
    r.patientName = "Minka";
    const JobResult result = runOnWorker(r);
    QCOMPARE(result.code, 0);
    QStringList rows = tableRows(worklist ? "worklistTable" : "pacsTable", "extId, ownerLast, patientName");
    rows.sort();
    QCOMPARE(rows, (QStringList{"N0||Minka", "N1|Smith|Minka"}));
}

QTEST_GUILESS_MAIN(TestDcmFindScu)
#include "tst_dcmfindscu.moc"
