#include <QtTest>
#include <QTcpServer>
#include <QTemporaryDir>

#include "dcmmovescu.h"
#include "dicomrig.h"
#include "readonlyscope.h"

#include <memory>
#include <vector>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/oflog/oflog.h>

using namespace dicomrig;

// Fetching a study by C-MOVE into our own storage receiver, from dcmqrscp
// and from a stand-in that can stall or let a stranger knock.
class TestDcmMoveScu : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void oneObjectStudy();
    void ecgAmongOtherObjects();
    void fetchesWithoutFile_data();
    void fetchesWithoutFile();
    void refusedBeforeTheNetwork_data();
    void refusedBeforeTheNetwork();
    void localPortInUse();
    void pacsDown();
    void foreignAeIsRefused();
    void silentPacsEnds();
    void oversizedObjectEndsTheFetch();
    void twoFetchesBackToBack();

private:
    struct Archive
    {
        QTemporaryDir dir;
        ToolPeer qr;
        quint16 localPort = 0;
    };
    // dcmqrscp that knows MALVORANT at a free local port (unless told not to).
    bool startArchive(Archive& a, bool knowsUs = true);
    bool store(Archive& a, const QStringList& files);
};

namespace {

const char* const kLocalAe = "MALVORANT";

QString sopInstanceOf(const QString& path)
{
    DcmFileFormat file;
    if (file.loadFile(QFile::encodeName(path).constData()).bad())
        return {};
    OFString uid;
    file.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, uid);
    return QString::fromLatin1(uid.c_str());
}

QString studyOf(const QString& path)
{
    DcmFileFormat file;
    if (file.loadFile(QFile::encodeName(path).constData()).bad())
        return {};
    OFString uid;
    file.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, uid);
    return QString::fromLatin1(uid.c_str());
}

int fetch(CDcmMoveScu& scu, const QString& name, quint16 pacsPort, const QString& pacsAe,
          quint16 localPort, const QString& outDir, const QString& uid)
{
    scu.setTimeouts(5, 5);
    scu.setLimits(30, 0);
    return scu.getFile(name.toStdString(), "127.0.0.1", pacsPort, pacsAe.toStdString(), kLocalAe,
                       localPort, outDir.toStdString(), uid.toStdString());
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

}

void TestDcmMoveScu::initTestCase()
{
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
}

bool TestDcmMoveScu::startArchive(Archive& a, bool knowsUs)
{
    a.localPort = freePort();
    QList<ToolPeer::QrPeer> peers;
    if (knowsUs)
        peers << ToolPeer::QrPeer{kLocalAe, a.localPort};
    return a.dir.isValid() && a.qr.startQrScp(a.dir.path(), "QRSCP", peers);
}

bool TestDcmMoveScu::store(Archive& a, const QStringList& files)
{
    return runTool("storescu", QStringList{"-aec", "QRSCP", "127.0.0.1", QString::number(a.qr.port())}
                                   + files)
        == 0;
}

void TestDcmMoveScu::oneObjectStudy()
{
    Archive a;
    QVERIFY(startArchive(a));
    const QString ecg = a.dir.filePath("ecg.dcm");
    const QString instance = writeEcgFile(ecg);
    QVERIFY(!instance.isEmpty());
    QVERIFY(store(a, {ecg}));

    QTemporaryDir out;
    CDcmMoveScu scu;
    QCOMPARE(fetch(scu, "dcm_1", a.qr.port(), "QRSCP", a.localPort, out.path(), studyOf(ecg)), 0);
    QCOMPARE(filesIn(out.path()), QStringList{"dcm_1"});
    QCOMPARE(sopInstanceOf(out.filePath("dcm_1")), instance);
    QCOMPARE(scu.receivedCount(), 1);
}

void TestDcmMoveScu::ecgAmongOtherObjects()
{
    // A study of a CT image, the ECG and a second ECG: the first waveform
    // object received is the one kept, nothing else stays behind.
    Archive a;
    QVERIFY(startArchive(a));
    const QString ecg = a.dir.filePath("ecg.dcm");
    const QString other = a.dir.filePath("ct.dcm");
    QVERIFY(!writeEcgFile(ecg).isEmpty());
    QVERIFY(!writeEcgFile(other, UID_CTImageStorage).isEmpty());
    const QString study = studyOf(ecg);
    QCOMPARE(runTool("dcmodify", {"-nb", "-m", "(0020,000d)=" + study, "-m", "(0008,0060)=CT",
                                  other}),
             0);
    QVERIFY(store(a, {other, ecg}));

    QTemporaryDir out;
    CDcmMoveScu scu;
    QCOMPARE(fetch(scu, "dcm_2", a.qr.port(), "QRSCP", a.localPort, out.path(), study), 0);
    QCOMPARE(scu.receivedCount(), 2);
    QCOMPARE(filesIn(out.path()), QStringList{"dcm_2"});
    QCOMPARE(sopInstanceOf(out.filePath("dcm_2")), sopInstanceOf(ecg));
}

void TestDcmMoveScu::fetchesWithoutFile_data()
{
    QTest::addColumn<bool>("knowsUs");
    QTest::addColumn<bool>("knownStudy");
    QTest::addColumn<bool>("receiver");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("unknown study") << true << false << true << QString();
    QTest::newRow("our AE unknown to the PACS") << false << true << true << QString("0xa801");
    QTest::newRow("no receiver (local port 0)") << true << true << false << QString();
}

void TestDcmMoveScu::fetchesWithoutFile()
{
    // The exchange ends normally, nothing arrives: result 0, no file; the
    // caller's missing file is the signal, the text says why.
    QFETCH(bool, knowsUs);
    QFETCH(bool, knownStudy);
    QFETCH(bool, receiver);
    QFETCH(QString, errorPart);
    Archive a;
    QVERIFY(startArchive(a, knowsUs));
    const QString ecg = a.dir.filePath("ecg.dcm");
    QVERIFY(!writeEcgFile(ecg).isEmpty());
    QVERIFY(store(a, {ecg}));
    QTemporaryDir out;
    CDcmMoveScu scu;
    QCOMPARE(fetch(scu, "dcm_3", a.qr.port(), "QRSCP", receiver ? a.localPort : 0, out.path(),
                   knownStudy ? studyOf(ecg) : QString("1.2.826.0.1.3680043.2.99")),
             0);
    QCOMPARE(filesIn(out.path()), QStringList{});
    QVERIFY2(QString::fromStdString(scu.getLastError()).contains(errorPart), scu.getLastError().c_str());
}

void TestDcmMoveScu::refusedBeforeTheNetwork_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("outDir");   // relative to a temporary folder; "-" none
    QTest::addColumn<int>("expected");
    QTest::newRow("UID of 251 characters") << QString(251, '1') << "" << int(DCM_ERR_UID_TOO_LONG);
    QTest::newRow("missing folder") << "1.2.3" << "missing" << int(DCM_ERR_SAVE_FILE);
    QTest::newRow("read-only folder") << "1.2.3" << "readonly" << int(DCM_ERR_SAVE_FILE);
}

void TestDcmMoveScu::refusedBeforeTheNetwork()
{
    QFETCH(QString, uid);
    QFETCH(QString, outDir);
    QFETCH(int, expected);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("readonly");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::ReadOther | QFile::ExeOther);
    std::unique_ptr<ReadOnlyScope> scope;
    if (outDir == "readonly") {
        scope.reset(new ReadOnlyScope(dir.filePath("readonly"), QString()));
        QVERIFY(scope->works());
    }
    SilentListener pacs; // nothing may reach it
    QVERIFY(pacs.start());
    CDcmMoveScu scu;
    QCOMPARE(fetch(scu, "dcm_4", pacs.port(), "QRSCP", freePort(), dir.filePath(outDir), uid),
             expected);
    QCOMPARE(pacs.connectionCount(), 0);
}

void TestDcmMoveScu::localPortInUse()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::Any, 0));
    QTemporaryDir out;
    CDcmMoveScu scu;
    QCOMPARE(fetch(scu, "dcm_5", freePort(), "QRSCP", taken.serverPort(), out.path(), "1.2.3"),
             int(DCM_ERR_INIT_NETWORK));
    QCOMPARE(scu.getLastError(), std::string("CDcmMoveScu::getFile() cannot initialize network"));
}

void TestDcmMoveScu::pacsDown()
{
    QTemporaryDir out;
    CDcmMoveScu scu;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(fetch(scu, "dcm_6", freePort(), "QRSCP", freePort(), out.path(), "1.2.3"),
             int(DCM_ERR_ASSOC_REQUEST));
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY(QString::fromStdString(scu.getLastError()).startsWith("CDcmMoveScu::getFile() Association Request Failed: "));
    QCOMPARE(filesIn(out.path()), QStringList{});
}

void TestDcmMoveScu::foreignAeIsRefused()
{
    // While the fetch runs, a stranger tries to store into the receiver: it
    // is turned away, the PACS's object arrives.
    QTemporaryDir dir;
    const QString ecg = dir.filePath("ecg.dcm");
    const QString foreign = dir.filePath("foreign.dcm");
    QVERIFY(!writeEcgFile(ecg).isEmpty());
    QVERIFY(!writeEcgFile(foreign).isEmpty());
    const quint16 localPort = freePort();
    MovePeer pacs;
    pacs.setDestination(kLocalAe, localPort, {ecg});
    int strangerResult = 0;
    pacs.setDuringMove([&] {
        strangerResult = runTool("storescu", {"-aet", "STRANGER", "-aec", kLocalAe, "127.0.0.1",
                                              QString::number(localPort), foreign});
    });
    QVERIFY(pacs.start("PACS"));
    QTemporaryDir out;
    CDcmMoveScu scu;
    QCOMPARE(fetch(scu, "dcm_7", pacs.port(), "PACS", localPort, out.path(), studyOf(ecg)), 0);
    QVERIFY(strangerResult != 0);
    QCOMPARE(scu.refusedAssociations(), 1);
    QCOMPARE(filesIn(out.path()), QStringList{"dcm_7"});
    QCOMPARE(sopInstanceOf(out.filePath("dcm_7")), sopInstanceOf(ecg));
}

void TestDcmMoveScu::silentPacsEnds()
{
    MovePeer pacs;
    pacs.setMode(MovePeer::Mode::Silent);
    QVERIFY(pacs.start("PACS"));
    QTemporaryDir out;
    CDcmMoveScu scu;
    scu.setTimeouts(2, 3);
    QElapsedTimer timer;
    timer.start();
    const int result = scu.getFile("dcm_8", "127.0.0.1", pacs.port(), "PACS", kLocalAe, freePort(),
                                   out.path().toStdString(), "1.2.3");
    QCOMPARE(result, int(DCM_ERR_STORE_FAILED));
    // Waits its DIMSE time-out, not a second more than a few.
    QVERIFY2(timer.elapsed() >= 2500 && timer.elapsed() < 10000,
             qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(QString::fromStdString(scu.getLastError()).startsWith("CDcmMoveScu::getFile() Move SCU Failed: "),
             scu.getLastError().c_str());
    QCOMPARE(filesIn(out.path()), QStringList{});
}

void TestDcmMoveScu::oversizedObjectEndsTheFetch()
{
    // A second object past the fetch's byte ceiling: the fetch fails and
    // leaves nothing behind, not even the ECG that came first.
    QTemporaryDir dir;
    const QString ecg = dir.filePath("ecg.dcm");
    const QString big = dir.filePath("big.dcm");
    QVERIFY(!writeEcgFile(ecg).isEmpty());
    QVERIFY(!writeEcgFile(big).isEmpty());
    {
        DcmFileFormat file;
        QVERIFY(file.loadFile(QFile::encodeName(big).constData()).good());
        std::vector<Uint8> bytes(3 * 1024 * 1024, 0x55);
        file.getDataset()->putAndInsertString(DcmTag(0x0009, 0x0010, EVR_LO), "MALVORANT TEST");
        QVERIFY(file.getDataset()
                    ->putAndInsertUint8Array(DcmTag(0x0009, 0x1010, EVR_OB), bytes.data(),
                                             static_cast<unsigned long>(bytes.size()))
                    .good());
        QVERIFY(file.saveFile(QFile::encodeName(big).constData(), EXS_LittleEndianExplicit).good());
    }
    const quint16 localPort = freePort();
    MovePeer pacs;
    pacs.setDestination(kLocalAe, localPort, {ecg, big});
    QVERIFY(pacs.start("PACS"));
    QTemporaryDir out;
    CDcmMoveScu scu;
    scu.setTimeouts(5, 5);
    scu.setLimits(30, 1024 * 1024);
    QCOMPARE(scu.getFile("dcm_9", "127.0.0.1", pacs.port(), "PACS", kLocalAe, localPort,
                         out.path().toStdString(), studyOf(ecg).toStdString()),
             int(DCM_ERR_STORE_FAILED));
    QVERIFY2(QString::fromStdString(scu.getLastError()).contains("bytes"), scu.getLastError().c_str());
    QCOMPARE(filesIn(out.path()), QStringList{});
}

void TestDcmMoveScu::twoFetchesBackToBack()
{
    Archive a;
    QVERIFY(startArchive(a));
    const QString first = a.dir.filePath("first.dcm");
    const QString second = a.dir.filePath("second.dcm");
    QVERIFY(!writeEcgFile(first).isEmpty());
    QVERIFY(!writeEcgFile(second).isEmpty());
    QVERIFY(store(a, {first, second}));
    QTemporaryDir out;
    {
        CDcmMoveScu scu;
        QCOMPARE(fetch(scu, "dcm_a", a.qr.port(), "QRSCP", a.localPort, out.path(), studyOf(first)), 0);
    }
    {
        CDcmMoveScu scu;
        QCOMPARE(fetch(scu, "dcm_b", a.qr.port(), "QRSCP", a.localPort, out.path(), studyOf(second)), 0);
    }
    QCOMPARE(filesIn(out.path()), (QStringList{"dcm_a", "dcm_b"}));
    QCOMPARE(sopInstanceOf(out.filePath("dcm_a")), sopInstanceOf(first));
    QCOMPARE(sopInstanceOf(out.filePath("dcm_b")), sopInstanceOf(second));
}

QTEST_GUILESS_MAIN(TestDcmMoveScu)
#include "tst_dcmmovescu.moc"
