// AddFile with a 30-minute recording over TLS: the service receives the whole
// file, and once the answer is given the client's heap is back at its level
// from before the upload (the body is freed with its reply).
#include "dbman.h"
#include "qvlcomm.h"
#include "qvlstandin.h"
#include "qvltestenv.h"
#include "settingsman.h"

#include <QCryptographicHash>
#include <QtTest>

#include <malloc.h>

namespace {

// Bytes the allocator has handed out and not yet taken back, all arenas and
// mmapped blocks included: unlike the resident size this does not depend on
// whether freed memory went back to the system.
qint64 heapInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return qint64(mi.uordblks) + qint64(mi.hblkhd);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kHeapMeasurable = false; // a sanitizer's allocator keeps its own books
#else
constexpr bool kHeapMeasurable = true;
#endif

// A recording of 30 minutes at 500 samples per second: the 110,000-byte
// header area and 900,000 records of 16 bytes.
constexpr qint64 kHeaderBytes = 110000;
constexpr qint64 kRecords = 30 * 60 * 500;

} // namespace

class TstQvlUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void thirtyMinuteRecording();

private:
    bool upload(qint64* heapWhileSent);

    QvlTestEnv m_env;
    QvlStandIn* m_server = nullptr;
    AnswerLog m_answers;
    int m_recording = 0;
    QByteArray m_fileHash;
    qint64 m_fileSize = 0;
    bool m_receivedIntact = false;
};

void TstQvlUpload::initTestCase()
{
    QString error;
    QVERIFY2(m_env.setUp(error), qPrintable(error));
    m_server = new QvlStandIn(42, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->trust();
    m_env.settings->qvlUrl = m_server->url(true, "/qvlintegrations/qvltms.asmx");
    m_env.settings->qvlUserName = "clinic";
    m_env.settings->qvlPwd = "secret";

    QByteArray content(kHeaderBytes + kRecords * 16, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char& c : content) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    m_fileSize = content.size();
    m_fileHash = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    m_recording = m_env.addRecording(1, "1_1_20240301_080000.ecg", content);
    QVERIFY(m_recording > 0);

    // The stand-in checks the file and lets go of the request at once.
    m_server->setKeepRequests(false);
    m_server->setReply(200, soapReply("<AddFileResponse><return>true</return></AddFileResponse>"));
}

bool TstQvlUpload::upload(qint64* heapWhileSent)
{
    m_answers.answers.clear();
    m_receivedIntact = false;
    m_server->setOnRequest([this, heapWhileSent](const StandInRequest& r) {
        if (heapWhileSent)
            *heapWhileSent = heapInUse();
        const qsizetype from = r.body.indexOf("<file>");
        const qsizetype to = r.body.indexOf("</file>");
        if (from < 0 || to < from)
            return;
        const QByteArray data =
            QByteArray::fromBase64(r.body.mid(from + 6, to - from - 6),
                                   QByteArray::AbortOnBase64DecodingErrors);
        m_receivedIntact = data.size() == m_fileSize
            && QCryptographicHash::hash(data, QCryptographicHash::Sha256) == m_fileHash;
    });
    CQvlComm comm(&m_answers, m_env.dataFolder(), m_env.db->database(), m_env.settings,
                  "MalvorantQml", "8.0.2", "078");
    if (!comm.addFile(m_recording, "C-30"))
        return false;
    if (!waitUntil([this]() { return !m_answers.answers.isEmpty(); }, 120000))
        return false;
    return m_answers.answers == QStringList{QString("addFile(0,0,%1,C-30)").arg(m_recording)};
}

void TstQvlUpload::thirtyMinuteRecording()
{
    // A first upload sets up what lives for the whole run (network threads,
    // TLS context); the second one is measured.
    QVERIFY(upload(nullptr));
    QVERIFY(m_receivedIntact);
    QTest::qWait(100);
    const qint64 before = heapInUse();

    qint64 whileSent = 0;
    QVERIFY(upload(&whileSent));
    QVERIFY(m_receivedIntact);
    if (!kHeapMeasurable)
        QSKIP("heap figures are not available under a sanitizer");
    // The measure does see the request body while it exists.
    QVERIFY2(whileSent - before > m_fileSize,
             qPrintable(QString("while sent %1, before %2").arg(whileSent).arg(before)));

    // The reply, its body and the envelope go once the event loop has run.
    const qint64 allowance = 2 * 1024 * 1024;
    const bool back = waitUntil(
        [&]() {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return heapInUse() - before < allowance;
        },
        20000);
    QVERIFY2(back, qPrintable(QString("heap grew by %1 bytes for a %2-byte file")
                                  .arg(heapInUse() - before)
                                  .arg(m_fileSize)));
    qInfo("heap before %lld, while sent %lld, after %lld bytes", before, whileSent, heapInUse());
}

QTEST_GUILESS_MAIN(TstQvlUpload)
#include "tst_qvlupload.moc"
