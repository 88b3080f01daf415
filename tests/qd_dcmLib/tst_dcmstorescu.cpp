#include <QtTest>
#include <QTemporaryDir>

#include "dcmstorescu.h"
#include "debuglog.h"
#include "dicomrig.h"
#include "logwindow.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmnet/dcmtrans.h>

#include <memory>
#include <thread>

using namespace dicomrig;

Q_DECLARE_METATYPE(QList<dicomrig::ToolPeer::Context>)

namespace {
const char* const kOp = "CDcmStoreScu::SornhapStoreScu ";
const int kShortTimeout = 2; // seconds; production default is 30
}

class TestDcmStoreScu : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void storedFileArrivesUnchanged();
    void storesIntoArchive();
    void twoSendsAtOnce();
    void missingFileMakesNoConnection_data();
    void missingFileMakesNoConnection();
    void badSettingsAreRefused_data();
    void badSettingsAreRefused();
    void unusableFileIsNotSent_data();
    void unusableFileIsNotSent();
    void closedPortFails();
    void silentPeerTimesOut();
    void associationRefusedOrRejected_data();
    void associationRefusedOrRejected();
    void noAcceptedPresentationContext();
    void noContextForTheFile_data();
    void noContextForTheFile();
    void peerAbortsDuringStore();
    void peerStopsAnsweringDuringStore_data();
    void peerStopsAnsweringDuringStore();
    void peerRequestsReleaseInsteadOfAnswer();
    void failureStatusIsReported_data();
    void failureStatusIsReported();
    void warningStatusCountsAsStored_data();
    void warningStatusCountsAsStored();
    void unansweredReleaseKeepsSuccess();
    void proposalHoldsAllStorageContexts();

private:
    QString ecgFile(const char* sopClass = UID_GeneralECGWaveformStorage,
                    E_TransferSyntax xfer = EXS_LittleEndianExplicit, QString* uid = nullptr);
    int store(const QString& file, quint16 port, const QString& aeScp, CDcmStoreScu& scu,
              const QString& aeScu = "MALVORANT");

    QTemporaryDir m_logDir;
    QTemporaryDir m_files;
    std::unique_ptr<CDebugLog> m_log;
    int m_fileCount = 0;
};

void TestDcmStoreScu::initTestCase()
{
    QVERIFY(m_logDir.isValid() && m_files.isValid());
    m_log = std::make_unique<CDebugLog>(4, false, m_logDir.path().toStdString(), "malvorantlog");
    g_pDebugLog = m_log.get();
}

void TestDcmStoreScu::cleanupTestCase()
{
    g_pDebugLog = nullptr;
    m_log.reset();
}

QString TestDcmStoreScu::ecgFile(const char* sopClass, E_TransferSyntax xfer, QString* uid)
{
    const QString path = m_files.filePath(QString("rec_%1.dce").arg(++m_fileCount));
    const QString written = writeEcgFile(path, sopClass, xfer);
    if (uid)
        *uid = written;
    return written.isEmpty() ? QString() : path;
}

int TestDcmStoreScu::store(const QString& file, quint16 port, const QString& aeScp, CDcmStoreScu& scu,
                           const QString& aeScu)
{
    return scu.sornhapStoreScu(file.toStdString(), "127.0.0.1", port, aeScp.toStdString(),
                               aeScu.toStdString());
}

void TestDcmStoreScu::storedFileArrivesUnchanged()
{
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScp(work.path()));
    const QString file = ecgFile();
    QVERIFY(!file.isEmpty());

    LogWindow debug(QString::fromStdString(m_log->path()));
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(file, scp.port(), "STORESCP", scu), 0);
    QCOMPARE(scu.lastStatusCode(), 0u);
    QVERIFY(scu.getLastError().empty());

    const QStringList landed = QDir(scp.incomingFolder()).entryList(QDir::Files);
    QCOMPARE(landed.size(), 1);
    const QString sent = dumpDataset(file);
    QVERIFY(sent.contains("WaveformData"));
    const QString received = dumpDataset(QDir(scp.incomingFolder()).filePath(landed.first()));
    QCOMPARE(received, sent);

    // The entry line ends with the local AE title, no closing parenthesis.
    QVERIFY2(debug.hasLine("CDcmStoreScu::sornhapStoreScu(fname=" + file + ", peer=127.0.0.1, peerPort="
                           + QString::number(scp.port()) + ", aeScp=STORESCP, aeScu=MALVORANT"),
             qPrintable(debug.text()));
    QVERIFY(debug.hasLine("CDcmStoreScu::storeScu() Sending Store Request: MsgID=1"));
    QVERIFY(debug.hasLine("CDcmStoreScu::storeScu() ECG successfully stored !"));
    QVERIFY2(errors.text().isEmpty(), qPrintable(errors.text()));
}

void TestDcmStoreScu::storesIntoArchive()
{
    QTemporaryDir work;
    ToolPeer archive;
    QVERIFY(archive.startQrScp(work.path(), "ARCHIVE", {{"MALVORANT", 104}}, false));
    QString uid;
    const QString file = ecgFile(UID_GeneralECGWaveformStorage, EXS_LittleEndianExplicit, &uid);
    CDcmStoreScu scu;
    QCOMPARE(store(file, archive.port(), "ARCHIVE", scu), 0);

    QString out;
    QCOMPARE(runTool("findscu", {"-S", "-aet", "MALVORANT", "-aec", "ARCHIVE", "-k", "QueryRetrieveLevel=IMAGE",
                                 "-k", "SOPInstanceUID", "-k", "PatientID=P-0042", "-k",
                                 "StudyInstanceUID=" + dumpDataset(file).section("(0020,000d) UI [", 1).section(']', 0, 0),
                                 "-k", "SeriesInstanceUID", "127.0.0.1", QString::number(archive.port())},
                     &out),
             0);
    QVERIFY2(out.contains(uid), qPrintable(out));
}

// A user send and a background send may run at the same time, each on its
// own worker thread with its own client.
void TestDcmStoreScu::twoSendsAtOnce()
{
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScp(work.path()));
    StorePeer peer;
    QVERIFY(peer.start());
    QString uid;
    const QString first = ecgFile();
    const QString second = ecgFile(UID_GeneralECGWaveformStorage, EXS_LittleEndianExplicit, &uid);
    int rcFirst = 0;
    int rcSecond = 0;
    std::thread a([&] {
        for (int i = 0; i < 3 && rcFirst == 0; ++i) { // three sends, stop at a failure
            CDcmStoreScu scu;
            rcFirst = store(first, scp.port(), "STORESCP", scu);
        }
    });
    std::thread b([&] {
        for (int i = 0; i < 3 && rcSecond == 0; ++i) { // three sends, stop at a failure
            CDcmStoreScu scu;
            rcSecond = store(second, peer.port(), "STOREPEER", scu);
        }
    });
    a.join();
    b.join();
    QCOMPARE(rcFirst, 0);
    QCOMPARE(rcSecond, 0);
    QCOMPARE(peer.received(), (QStringList{uid, uid, uid}));
    QCOMPARE(QDir(scp.incomingFolder()).entryList(QDir::Files).size(), 1); // same object three times
}

void TestDcmStoreScu::missingFileMakesNoConnection_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("absent") << m_files.filePath("no_such_file.dce");
    QTest::newRow("folder") << m_files.path();
    QTest::newRow("empty path") << QString();
}

void TestDcmStoreScu::missingFileMakesNoConnection()
{
    QFETCH(QString, path);
    SilentListener listener;
    QVERIFY(listener.start());
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(path, listener.port(), "PACS", scu), int(DCM_ERR_OPEN_FILE));
    const QString expected = QString(kOp) + "cannot access file: cannot access file: " + path;
    QCOMPARE(QString::fromStdString(scu.getLastError()), expected);
    QVERIFY(errors.hasLine(expected));
    QCOMPARE(listener.connectionCount(), 0);
}

void TestDcmStoreScu::badSettingsAreRefused_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("aeScp");
    QTest::addColumn<QString>("aeScu");

    QTest::newRow("called AE of 17") << "127.0.0.1" << 0 << QString(17, 'P') << "MALVORANT";
    QTest::newRow("calling AE of 17") << "127.0.0.1" << 0 << "PACS" << QString(17, 'M');
    QTest::newRow("host name of 130") << QString(130, 'h') << 0 << "PACS" << "MALVORANT";
    QTest::newRow("host:port of 128") << QString(128 - 5, 'h') << 0 << "PACS" << "MALVORANT";
    QTest::newRow("port 0") << "127.0.0.1" << -1 << "PACS" << "MALVORANT";
    QTest::newRow("port 65536") << "127.0.0.1" << 65536 << "PACS" << "MALVORANT";
    QTest::newRow("no host") << "" << 0 << "PACS" << "MALVORANT";
    QTest::newRow("empty called AE") << "127.0.0.1" << 0 << "" << "MALVORANT";
    QTest::newRow("empty calling AE") << "127.0.0.1" << 0 << "PACS" << "";
}

void TestDcmStoreScu::badSettingsAreRefused()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, aeScp);
    QFETCH(QString, aeScu);
    SilentListener listener;
    QVERIFY(listener.start());
    // 0 stands for the listener's port, -1 for port 0.
    const unsigned usedPort = port == 0 ? listener.port() : port < 0 ? 0u : unsigned(port);
    CDcmStoreScu scu;
    const int rc = scu.sornhapStoreScu(ecgFile().toStdString(), host.toStdString(), usedPort,
                                       aeScp.toStdString(), aeScu.toStdString());
    QCOMPARE(rc, int(DCM_ERR_ASSOC_REQUEST));
    QVERIFY(QString::fromStdString(scu.getLastError()).startsWith(QString(kOp) + "Association Initialization Failed: "));
    QCOMPARE(listener.connectionCount(), 0);
}

void TestDcmStoreScu::unusableFileIsNotSent_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("storeLine");
    QTest::newRow("not DICOM") << "text" << "CDcmStoreScu::storeScu() Bad DICOM file: ";
    QTest::newRow("no SOP instance UID") << "noUid" << "CDcmStoreScu::storeScu() No SOP Class or Instance UID in file: ";
}

void TestDcmStoreScu::unusableFileIsNotSent()
{
    QFETCH(QString, kind);
    QFETCH(QString, storeLine);
    const QString path = m_files.filePath("unusable_" + kind + ".dce");
    if (kind == "text") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a DICOM file\n");
    } else {
        DcmFileFormat file;
        file.getDataset()->putAndInsertString(DCM_SOPClassUID, UID_GeneralECGWaveformStorage);
        file.getDataset()->putAndInsertString(DCM_PatientName, "Rex");
        QVERIFY(file.saveFile(path.toLocal8Bit().constData(), EXS_LittleEndianExplicit).good());
    }
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScp(work.path()));
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(path, scp.port(), "STORESCP", scu), int(DCM_ERR_OPEN_FILE));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + "Store Scu Failed, Aborting Association");
    QVERIFY2(errors.hasLine(storeLine + path), qPrintable(errors.text()));
    QVERIFY(QDir(scp.incomingFolder()).entryList(QDir::Files).isEmpty());
}

void TestDcmStoreScu::closedPortFails()
{
    const quint16 port = freePort();
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(ecgFile(), port, "PACS", scu), int(DCM_ERR_ASSOC_REQUEST));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + "Association Request Failed");
    QVERIFY(errors.hasLine(QString(kOp) + "Association Request Failed"));
}

// The peer accepts the connection and never answers the association request:
// the association time-out ends the wait (shortened here from 30 s).
void TestDcmStoreScu::silentPeerTimesOut()
{
    SilentListener listener;
    QVERIFY(listener.start());
    CDcmStoreScu scu;
    scu.setTimeouts(kShortTimeout, 0);
    QCOMPARE(store(ecgFile(), listener.port(), "PACS", scu), int(DCM_ERR_ASSOC_REQUEST));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + "Association Request Failed");
    QCOMPARE(listener.connectionCount(), 1);
}

void TestDcmStoreScu::associationRefusedOrRejected_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("storescp refuses") << "refuse";
    QTest::newRow("archive: unknown called AE") << "calledAe";
    QTest::newRow("archive: unknown calling AE") << "callingAe";
}

void TestDcmStoreScu::associationRefusedOrRejected()
{
    QFETCH(QString, kind);
    QTemporaryDir work;
    ToolPeer peer;
    QString called = "ARCHIVE";
    QString calling = "MALVORANT";
    if (kind == "refuse") {
        QVERIFY(peer.startStoreScp(work.path(), {"--refuse"}));
        called = "STORESCP";
    } else {
        QVERIFY(peer.startQrScp(work.path(), "ARCHIVE", {{"MALVORANT", 104}}, false));
        if (kind == "calledAe")
            called = "NOTARCHIVE";
        else
            calling = "STRANGER";
    }
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(ecgFile(), peer.port(), called, scu, calling), int(DCM_ERR_ASSOC_REJECTED));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + "Association Rejected");
    QVERIFY(errors.hasLine(QString(kOp) + "Association Rejected"));
}

void TestDcmStoreScu::noAcceptedPresentationContext()
{
    // The peer takes only a class that the client never proposes.
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScpWithProfile(work.path(), {{"1.2.840.10008.5.1.4.1.1.9.5.1", {UID_LittleEndianExplicitTransferSyntax}}}));
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(ecgFile(), scp.port(), "STORESCP", scu), int(DCM_ERR_NO_ACCEPTED_CONTEXT));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + "No Acceptable Presentation Contexts");
    QVERIFY(errors.hasLine(QString(kOp) + "No Acceptable Presentation Contexts"));
    QVERIFY(QDir(scp.incomingFolder()).entryList(QDir::Files).isEmpty());
}

void TestDcmStoreScu::noContextForTheFile_data()
{
    QTest::addColumn<QList<ToolPeer::Context>>("contexts");
    QTest::addColumn<QString>("sopClass");

    const QString ct = UID_CTImageStorage;
    const QString ecg = UID_GeneralECGWaveformStorage;
    QTest::newRow("ECG refused, CT accepted")
        << QList<ToolPeer::Context>{{ct, {UID_LittleEndianExplicitTransferSyntax}}} << ecg;
    // A class outside the proposed storage list finds no context at all.
    QTest::newRow("class not proposed")
        << QList<ToolPeer::Context>{{ct, {UID_LittleEndianExplicitTransferSyntax}}}
        << QString("1.2.840.10008.5.1.4.1.1.9.5.1");
}

void TestDcmStoreScu::noContextForTheFile()
{
    QFETCH(QList<ToolPeer::Context>, contexts);
    QFETCH(QString, sopClass);
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScpWithProfile(work.path(), contexts));
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    const QByteArray cls = sopClass.toLatin1();
    QCOMPARE(store(ecgFile(cls.constData()), scp.port(), "STORESCP", scu), int(DCM_ERR_NO_ACCEPTED_CONTEXT));
    const QString teardown = QString(kOp) + "Store Scu Failed, Aborting Association";
    QCOMPARE(QString::fromStdString(scu.getLastError()), teardown);
    QVERIFY(errors.hasLine("CDcmStoreScu::storeScu() No presentation context"));
    QVERIFY(errors.hasLine(teardown));
    QVERIFY(QDir(scp.incomingFolder()).entryList(QDir::Files).isEmpty());
}

void TestDcmStoreScu::peerAbortsDuringStore()
{
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScp(work.path(), {"--abort-after"}));
    const QString file = ecgFile();
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(file, scp.port(), "STORESCP", scu), int(DCM_ERR_STORE_FAILED));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + "Peer Aborted Association");
    QVERIFY(errors.hasLine("CDcmStoreScu::storeScu() Store Failed, file: " + file));
    QVERIFY(errors.hasLine(QString(kOp) + "Peer Aborted Association"));
}

void TestDcmStoreScu::peerStopsAnsweringDuringStore_data()
{
    QTest::addColumn<int>("dimseTimeout");
    QTest::addColumn<QString>("teardown");
    QTest::newRow("response time-out") << kShortTimeout << "Store Scu Failed, Aborting Association";
    // Blocking wait, as by default: DCMTK's socket time-out ends it, and
    // DCMTK reports the dead connection as an abort.
    QTest::newRow("socket time-out") << 0 << "Peer Aborted Association";
}

// A peer that takes the data set and then falls silent: the store ends with a
// failure once the response wait runs out.
void TestDcmStoreScu::peerStopsAnsweringDuringStore()
{
    QFETCH(int, dimseTimeout);
    QFETCH(QString, teardown);
    QTemporaryDir work;
    ToolPeer scp;
    QVERIFY(scp.startStoreScp(work.path(), {"--sleep-during", "30"}));
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    const Sint32 socketTimeout = dcmSocketReceiveTimeout.get();
    if (dimseTimeout == 0)
        dcmSocketReceiveTimeout.set(kShortTimeout); // 60 s by default
    auto restore = qScopeGuard([socketTimeout] { dcmSocketReceiveTimeout.set(socketTimeout); });
    CDcmStoreScu scu;
    scu.setTimeouts(kShortTimeout, dimseTimeout);
    QCOMPARE(store(ecgFile(), scp.port(), "STORESCP", scu), int(DCM_ERR_STORE_FAILED));
    QCOMPARE(QString::fromStdString(scu.getLastError()), QString(kOp) + teardown);
    QVERIFY(errors.hasLine(QString(kOp) + teardown));
}

void TestDcmStoreScu::peerRequestsReleaseInsteadOfAnswer()
{
    StorePeer peer;
    peer.setMode(StorePeer::Mode::ReleaseInsteadOfAnswer);
    QVERIFY(peer.start());
    CDcmStoreScu scu;
    scu.setTimeouts(kShortTimeout, 0);
    const QString line = QString(kOp) + "Protocol Error: Peer requested release - Aborting Association";
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    QCOMPARE(store(ecgFile(), peer.port(), "STOREPEER", scu), int(DCM_ERR_STORE_FAILED));
    QCOMPARE(QString::fromStdString(scu.getLastError()), line);
    QVERIFY(errors.hasLine(line));
}

void TestDcmStoreScu::failureStatusIsReported_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("statusText");
    QTest::newRow("A700 out of resources") << 0xA700 << "A700H";
    QTest::newRow("A900 data set mismatch") << 0xA900 << "A900H";
    QTest::newRow("C000 cannot understand") << 0xC000 << "C000H";
    QTest::newRow("0122 class not supported") << 0x0122 << "0122H";
}

// The peer answers and refuses: a normal release, then a failure that names
// the status; the status detail reaches the log.
void TestDcmStoreScu::failureStatusIsReported()
{
    QFETCH(int, status);
    QFETCH(QString, statusText);
    StorePeer peer;
    peer.setStatus(static_cast<unsigned short>(status));
    peer.setStatusDetail("archive full");
    QVERIFY(peer.start());
    QString uid;
    const QString file = ecgFile(UID_GeneralECGWaveformStorage, EXS_LittleEndianExplicit, &uid);
    LogWindow debug(QString::fromStdString(m_log->path()));
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    QCOMPARE(store(file, peer.port(), "STOREPEER", scu), int(DCM_ERR_STORE_REFUSED));
    QCOMPARE(scu.lastStatusCode(), unsigned(status));
    const QString text = QString::fromStdString(scu.getLastError());
    QVERIFY2(text.startsWith(QString(kOp) + "Store Refused: status " + statusText), qPrintable(text));
    QVERIFY(errors.text().contains(text));
    QVERIFY(!errors.text().contains("Aborting Association"));
    QVERIFY(!debug.hasLine("CDcmStoreScu::storeScu() ECG successfully stored !"));
    QVERIFY2(debug.text().contains("CDcmStoreScu::storeScu() Status Detail: ")
                 && debug.text().contains("archive full"),
             qPrintable(debug.text()));
    QCOMPARE(peer.received(), QStringList{uid});
}

void TestDcmStoreScu::warningStatusCountsAsStored_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("B000 coercion") << 0xB000;
    QTest::newRow("B007 elements discarded") << 0xB007;
    QTest::newRow("BFFF") << 0xBFFF;
    QTest::newRow("0107 attribute list") << 0x0107;
    QTest::newRow("0116 value out of range") << 0x0116;
}

void TestDcmStoreScu::warningStatusCountsAsStored()
{
    QFETCH(int, status);
    StorePeer peer;
    peer.setStatus(static_cast<unsigned short>(status));
    QVERIFY(peer.start());
    QString uid;
    const QString file = ecgFile(UID_GeneralECGWaveformStorage, EXS_LittleEndianExplicit, &uid);
    LogWindow debug(QString::fromStdString(m_log->path()));
    CDcmStoreScu scu;
    QCOMPARE(store(file, peer.port(), "STOREPEER", scu), 0);
    QCOMPARE(scu.lastStatusCode(), unsigned(status));
    QVERIFY(debug.hasLine("CDcmStoreScu::storeScu() ECG successfully stored !"));
    QCOMPARE(peer.received(), QStringList{uid});
}

// Stored is stored: a release the peer never answers is logged, and the
// result stays 0 so the recording is not sent again.
void TestDcmStoreScu::unansweredReleaseKeepsSuccess()
{
    StorePeer peer;
    peer.setMode(StorePeer::Mode::IgnoreRelease);
    QVERIFY(peer.start());
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    CDcmStoreScu scu;
    scu.setTimeouts(kShortTimeout, 0);
    QCOMPARE(store(ecgFile(), peer.port(), "STOREPEER", scu), 0);
    QVERIFY2(errors.hasLine(QString(kOp) + "Association Release Failed"), qPrintable(errors.text()));
    QCOMPARE(peer.received().size(), 1);
}

void TestDcmStoreScu::proposalHoldsAllStorageContexts()
{
    T_ASC_Parameters* params = nullptr;
    QVERIFY(ASC_createAssociationParameters(&params, 16384).good());
    CDcmStoreScu scu;
    OFList<OFString> required;
    required.push_back(UID_GeneralECGWaveformStorage); // already in the list: proposed once
    QVERIFY(scu.addStoragePresentationContexts(params, required).good());
    QCOMPARE(ASC_countPresentationContexts(params), 128);

    int ecgContexts = 0;
    for (int i = 0; i < 128; ++i) {
        T_ASC_PresentationContext pc;
        QVERIFY(ASC_getPresentationContext(params, i, &pc).good());
        QCOMPARE(int(pc.presentationContextID), 2 * i + 1);
        if (i % 2 == 0) {
            QCOMPARE(int(pc.transferSyntaxCount), 1);
            QCOMPARE(QString(pc.proposedTransferSyntaxes[0]), QString(UID_LittleEndianExplicitTransferSyntax));
        } else {
            QCOMPARE(int(pc.transferSyntaxCount), 2);
            QCOMPARE(QString(pc.proposedTransferSyntaxes[0]), QString(UID_BigEndianExplicitTransferSyntax));
            QCOMPARE(QString(pc.proposedTransferSyntaxes[1]), QString(UID_LittleEndianImplicitTransferSyntax));
        }
        if (QString(pc.abstractSyntax) == UID_GeneralECGWaveformStorage)
            ++ecgContexts;
    }
    QCOMPARE(ecgContexts, 2);

    // One more class would need identifier 257.
    required.push_back("1.2.840.10008.5.1.4.1.1.9.5.1");
    T_ASC_Parameters* tooMany = nullptr;
    QVERIFY(ASC_createAssociationParameters(&tooMany, 16384).good());
    LogWindow errors(QString::fromStdString(m_log->errorPath()));
    QVERIFY(scu.addStoragePresentationContexts(tooMany, required) == ASC_BADPRESENTATIONCONTEXTID);
    QVERIFY(errors.hasLine("CDcmStoreScu::addStoragePresentationContexts() Too many presentation contexts"));
    ASC_destroyAssociationParameters(&tooMany);
    ASC_destroyAssociationParameters(&params);
}

QTEST_GUILESS_MAIN(TestDcmStoreScu)
#include "tst_dcmstorescu.moc"
