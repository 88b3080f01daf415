#include <QtTest>
#include <QTemporaryDir>

#include "dicomrig.h"

using namespace dicomrig;

// The loopback peers themselves: each starts on its own port, answers, stops.
class TestDicomRig : public QObject
{
    Q_OBJECT
private slots:
    void storeScpsRunSideBySide();
    void qrScpArchivesAndAnswersQueries();
    void worklistScpServesItsFolder();
    void silentListenerNeverAnswers();
    void storePeerAnswersEcho();
};

namespace {
int echo(quint16 port, const QString& calledAe, QString* out = nullptr)
{
    return runTool("echoscu", {"-ta", "5", "-to", "5", "-td", "5", "-aec", calledAe, "127.0.0.1",
                               QString::number(port)},
                   out);
}
}

void TestDicomRig::storeScpsRunSideBySide()
{
    QTemporaryDir dirA, dirB;
    ToolPeer a, b;
    QVERIFY(a.startStoreScp(dirA.path()));
    QVERIFY(b.startStoreScp(dirB.path(), {}, "OTHERSCP"));
    QVERIFY(a.port() != b.port());
    QCOMPARE(echo(a.port(), "STORESCP"), 0);
    QCOMPARE(echo(b.port(), "OTHERSCP"), 0);

    // A file sent with DCMTK's own client lands in the peer's folder only.
    const QString file = QDir(dirA.path()).filePath("ecg.dcm");
    QVERIFY(!writeEcgFile(file).isEmpty());
    QString out;
    QCOMPARE(runTool("storescu", {"-aec", "STORESCP", "127.0.0.1", QString::number(a.port()), file}, &out), 0);
    QCOMPARE(QDir(a.incomingFolder()).entryList(QDir::Files).size(), 1);
    QCOMPARE(QDir(b.incomingFolder()).entryList(QDir::Files).size(), 0);

    a.stop();
    QVERIFY(!a.isRunning());
    QCOMPARE(echo(b.port(), "OTHERSCP"), 0);
    b.stop();
    QVERIFY(!b.isRunning());
}

void TestDicomRig::qrScpArchivesAndAnswersQueries()
{
    QTemporaryDir dir;
    ToolPeer qr;
    QVERIFY(qr.startQrScp(dir.path(), "QRSCP", {{"MALVORANT", 11112}}));
    QCOMPARE(echo(qr.port(), "QRSCP"), 0);

    const QString file = QDir(dir.path()).filePath("ecg.dcm");
    const QString uid = writeEcgFile(file);
    QVERIFY(!uid.isEmpty());
    QString out;
    QVERIFY2(runTool("storescu", {"-aec", "QRSCP", "127.0.0.1", QString::number(qr.port()), file}, &out) == 0,
             qPrintable(out + qr.output()));
    QVERIFY(!QDir(qr.storageFolder()).entryList({"EC*"}, QDir::Files).isEmpty());

    QCOMPARE(runTool("findscu", {"-S", "-aec", "QRSCP", "-k", "QueryRetrieveLevel=STUDY",
                                 "-k", "PatientID=P-0042", "-k", "PatientName", "-k", "StudyInstanceUID",
                                 "127.0.0.1", QString::number(qr.port())},
                     &out),
             0);
    QVERIFY2(out.contains("Rex^Miller"), qPrintable(out));

    // A called AE title that the archive does not know is rejected.
    QVERIFY(echo(qr.port(), "NOSUCHAE") != 0);
}

void TestDicomRig::worklistScpServesItsFolder()
{
    QTemporaryDir dir;
    ToolPeer wl;
    QVERIFY(wl.startWorklistScp(dir.path(), "WLMSCP"));
    QVERIFY(addWorklistItem(wl.worklistFolder(), "item1.wl", "Bella^Smith", "P-7", "ACC7",
                            "1.2.826.0.1.3680043.2.1143.7", "MALVORANT"));
    QString out;
    QCOMPARE(runTool("findscu", {"-W", "-aec", "WLMSCP", "-k", "PatientName", "-k", "PatientID",
                                 "-k", "AccessionNumber", "-k", "ScheduledProcedureStepSequence[0].Modality=ECG",
                                 "127.0.0.1", QString::number(wl.port())},
                     &out),
             0);
    QVERIFY2(out.contains("Bella^Smith") && out.contains("ACC7"), qPrintable(out + wl.output()));
}

void TestDicomRig::silentListenerNeverAnswers()
{
    SilentListener silent;
    QVERIFY(silent.start());
    QString out;
    QVERIFY(runTool("echoscu", {"-ta", "1", "-to", "1", "-td", "1", "127.0.0.1",
                                QString::number(silent.port())}, &out) != 0);
    QCOMPARE(silent.connectionCount(), 1);
    silent.stop();
}

void TestDicomRig::storePeerAnswersEcho()
{
    StorePeer peer;
    QVERIFY(peer.start());
    QCOMPARE(echo(peer.port(), "STOREPEER"), 0);
    QCOMPARE(echo(peer.port(), "STOREPEER"), 0);
    peer.stop();
}

QTEST_GUILESS_MAIN(TestDicomRig)
#include "tst_dicomrig.moc"
