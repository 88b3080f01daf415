// The cloud store's reply handlers against replies of a loopback server:
// each kind of answer, the list kept from the replies, refusals, transfer
// failures, malformed replies and downloads that cannot be written.
#include "cloudstore.h"
#include "cloudstorecallbackinterface.h"
#include "qvlstandin.h"
#include "qvltestenv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

#include <functional>

namespace {

class Answers : public CCloudStoreCallbackInterface
{
public:
    QStringList lines;
    QJsonArray lastList;

    void cloudRespSendFile(QString error, int fileId) override
    {
        lines << QStringLiteral("send(%1,%2)").arg(error).arg(fileId);
    }
    void cloudRespLoadList(QString error, int count) override
    {
        lines << QStringLiteral("list(%1,%2)").arg(error).arg(count);
    }
    void cloudRespLoadFile(QString error) override
    {
        lines << QStringLiteral("load(%1)").arg(error);
    }
    void cloudRespDeleteFile(QString error, int fileId) override
    {
        lines << QStringLiteral("delete(%1,%2)").arg(error).arg(fileId);
    }
    void cloudRespDeleteFileList(QString error, QJsonArray ids) override
    {
        lines << QStringLiteral("deleteList(%1,%2)")
                     .arg(error, QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact)));
        lastList = ids;
    }
};

QByteArray entryJson(int id, const QString& patient)
{
    QJsonObject o{{"file_id", id},
                  {"patient", patient},
                  {"owner_first_name", "Anna"},
                  {"owner_last_name", "Berg"},
                  {"ext_patient_id", "X-" + QString::number(id)},
                  {"species", "Canine"},
                  {"sex", 2},
                  {"birthdate_ts", 1556928000},
                  {"breed", "Collie"},
                  {"weight", 12},
                  {"weightUnit", 1},
                  {"creation_ts", 5000000000.0},
                  {"upload_ts", 5000000100.0}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray listJson(const QList<int>& ids)
{
    QByteArray out = "[";
    for (int i = 0; i < ids.size(); ++i)
        out += (i ? "," : "") + entryJson(ids[i], QStringLiteral("P%1").arg(ids[i]));
    return out + "]";
}

} // namespace

class TstCloudStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void upload_data();
    void upload();
    void listKeepsAtMostAThousand();
    void listFields();
    void listFailuresKeepTheList_data();
    void listFailuresKeepTheList();
    void deleteOne_data();
    void deleteOne();
    void deleteSeveral();
    void download();
    void downloadRefusedOrUnwritable_data();
    void downloadRefusedOrUnwritable();

private:
    using Handler = void (CCloudStore::*)(QNetworkReply*);
    // Fetches the stand-in's current reply and hands it to the handler.
    bool fetch(Handler handler, int answersBefore = -1);
    void loadList(const QList<int>& ids);
    QList<int> ids() const;

    QvlTestEnv m_env;
    QvlStandIn* m_server = nullptr;
    QNetworkAccessManager m_manager;
    Answers m_answers;
    CCloudStore* m_store = nullptr;
    QString m_url;
};

void TstCloudStore::initTestCase()
{
    QString error;
    QVERIFY2(m_env.setUp(error), qPrintable(error));
    m_server = new QvlStandIn(44, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->setKeepRequests(false);
    m_url = m_server->url(false, "/store");
    m_store = new CCloudStore(&m_answers, this);
}

void TstCloudStore::init()
{
    m_answers.lines.clear();
    m_server->setAction(QvlStandIn::Action::Reply);
}

bool TstCloudStore::fetch(Handler handler, int)
{
    const int before = int(m_answers.lines.size());
    QNetworkReply* reply = m_manager.get(QNetworkRequest(QUrl(m_url)));
    QObject::connect(reply, &QNetworkReply::finished, m_store,
                     [store = m_store, reply, handler]() { (store->*handler)(reply); });
    return waitUntil([&]() { return m_answers.lines.size() == before + 1; }, 20000);
}

void TstCloudStore::loadList(const QList<int>& ids)
{
    m_server->setReply(200, listJson(ids), "application/json");
    QVERIFY(fetch(&CCloudStore::httpsLoadListFinished));
    QCOMPARE(m_store->entryCount(), int(ids.size()));
    m_answers.lines.clear();
}

QList<int> TstCloudStore::ids() const
{
    QList<int> out;
    for (int i = 0; i < m_store->entryCount(); ++i)
        out << m_store->entry(i).fileId;
    return out;
}

void TstCloudStore::upload_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    QTest::newRow("accepted") << 200 << QByteArray("{\"result\":0,\"file_id\":17}") << "send(,17)";
    QTest::newRow("refused") << 200 << QByteArray("{\"result\":2,\"file_id\":17}")
                             << "send(upload denied,17)";
    QTest::newRow("not JSON") << 200 << QByteArray("<html>oops</html>") << "send(invalid reply,0)";
    QTest::newRow("cut off JSON") << 200 << QByteArray("{\"result\":0,\"file_") << "send(invalid reply,0)";
    QTest::newRow("array, not object") << 200 << QByteArray("[1,2]") << "send(invalid reply,0)";
    QTest::newRow("missing keys read as 0") << 200 << QByteArray("{}") << "send(,0)";
    QTest::newRow("not found") << 404 << QByteArray("{\"result\":0,\"file_id\":17}") << "send(*,0)";
}

void TstCloudStore::upload()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    m_server->setReply(status, body, "application/json");
    QVERIFY(fetch(&CCloudStore::httpsSendFileFinished));
    if (expected == "send(*,0)") {
        // The transfer's own error text.
        QVERIFY(m_answers.lines.first().startsWith("send("));
        QVERIFY(m_answers.lines.first().endsWith(",0)"));
        QVERIFY(m_answers.lines.first() != "send(,0)");
    } else {
        QCOMPARE(m_answers.lines.first(), expected);
    }
}

void TstCloudStore::listKeepsAtMostAThousand()
{
    QList<int> many;
    for (int i = 1; i <= 1500; ++i)
        many << i;
    m_server->setReply(200, listJson(many), "application/json");
    QVERIFY(fetch(&CCloudStore::httpsLoadListFinished));
    QCOMPARE(m_answers.lines.first(), QStringLiteral("list(,1000)"));
    QCOMPARE(m_store->entryCount(), 1000);
    QCOMPARE(m_store->entry(0).fileId, 1);
    QCOMPARE(m_store->entry(999).fileId, 1000);
    QCOMPARE(m_store->entry(1000).fileId, 0); // outside the list: an empty entry
    QCOMPARE(m_store->entry(-1).fileId, 0);

    // A shorter list replaces it whole.
    m_answers.lines.clear();
    loadList({7, 8});
    QCOMPARE(ids(), (QList<int>{7, 8}));
    QCOMPARE(m_store->entry(2).fileId, 0);
}

void TstCloudStore::listFields()
{
    QByteArray body = "[" + entryJson(5, QString::fromUtf8("Bello \xc3\xa4")) + ","
        + "{\"file_id\":6,\"patient\":\"NoSex\",\"weight\":5000000000,\"breed\":12,"
          "\"creation_ts\":\"soon\",\"upload_ts\":-1}" + ",42]";
    m_server->setReply(200, body, "application/json");
    QVERIFY(fetch(&CCloudStore::httpsLoadListFinished));
    QCOMPARE(m_answers.lines.first(), QStringLiteral("list(,3)"));
    const CloudFileEntry& e = m_store->entry(0);
    QCOMPARE(e.fileId, 5);
    QCOMPARE(e.patientName, QString::fromUtf8("Bello \xc3\xa4"));
    QCOMPARE(e.ownerFirstName, QStringLiteral("Anna"));
    QCOMPARE(e.ownerLastName, QStringLiteral("Berg"));
    QCOMPARE(e.extPatientId, QStringLiteral("X-5"));
    QCOMPARE(e.species, QStringLiteral("Canine"));
    QCOMPARE(e.sex, 2);
    QCOMPARE(e.birthDate, qint64(1556928000));
    QCOMPARE(e.breed, QStringLiteral("Collie"));
    QCOMPARE(e.weight, 12);
    QCOMPARE(e.weightUnit, 1);
    QCOMPARE(e.creationTime, qint64(5000000000)); // past 2038: 64-bit
    QCOMPARE(e.uploadTime, qint64(5000000100));
    const CloudFileEntry& f = m_store->entry(1);
    QCOMPARE(f.fileId, 6);
    QCOMPARE(f.sex, 0);          // missing
    QCOMPARE(f.weight, 0);       // outside 32 bits
    QCOMPARE(f.breed, QString()); // not a text
    QCOMPARE(f.creationTime, qint64(0)); // not a number
    QCOMPARE(f.uploadTime, qint64(-1));
    QCOMPARE(m_store->entry(2).fileId, 0); // not an object: an empty entry
}

void TstCloudStore::listFailuresKeepTheList_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("reset");
    QTest::newRow("not JSON") << 200 << QByteArray("[{\"file_id\":1},") << false;
    QTest::newRow("object, not array") << 200 << QByteArray("{\"file_id\":1}") << false;
    QTest::newRow("server error") << 500 << QByteArray("[]") << false;
    QTest::newRow("connection reset") << 200 << QByteArray("[]") << true;
}

void TstCloudStore::listFailuresKeepTheList()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, reset);
    loadList({3, 4, 5});
    m_server->setReply(status, body, "application/json");
    if (reset)
        m_server->setAction(QvlStandIn::Action::Reset);
    QVERIFY(fetch(&CCloudStore::httpsLoadListFinished));
    QVERIFY(m_answers.lines.first().startsWith("list("));
    QVERIFY(m_answers.lines.first().endsWith(",0)"));
    QVERIFY(m_answers.lines.first() != "list(,0)");
    QCOMPARE(ids(), (QList<int>{3, 4, 5}));
}

void TstCloudStore::deleteOne_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<int>>("left");
    QTest::newRow("first of two occurrences") << QByteArray("{\"result\":0,\"file_id\":4}")
                                              << "delete(,4)" << QList<int>{3, 5, 4, 6};
    QTest::newRow("last entry") << QByteArray("{\"result\":0,\"file_id\":6}") << "delete(,6)"
                                << QList<int>{3, 4, 5, 4};
    QTest::newRow("refused") << QByteArray("{\"result\":1,\"file_id\":4}")
                             << "delete(deletion denied,4)" << QList<int>{3, 4, 5, 4, 6};
    QTest::newRow("id not in the list") << QByteArray("{\"result\":0,\"file_id\":99}")
                                        << "delete(,99)" << QList<int>{3, 4, 5, 4, 6};
    QTest::newRow("not JSON") << QByteArray("deleted") << "delete(invalid reply,0)"
                              << QList<int>{3, 4, 5, 4, 6};
}

void TstCloudStore::deleteOne()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QFETCH(QList<int>, left);
    loadList({3, 4, 5, 4, 6});
    m_server->setReply(200, body, "application/json");
    QVERIFY(fetch(&CCloudStore::httpsDeleteFileFinished));
    QCOMPARE(m_answers.lines.first(), expected);
    QCOMPARE(ids(), left);
    QCOMPARE(m_store->entry(int(left.size())).fileId, 0);
}

void TstCloudStore::deleteSeveral()
{
    loadList({3, 4, 5, 4, 6});
    m_server->setReply(200, "{\"result\":0,\"file_list\":[4,6,4,77]}", "application/json");
    QVERIFY(fetch(&CCloudStore::httpsDeleteFileListFinished));
    QCOMPARE(m_answers.lines.first(), QStringLiteral("deleteList(,[4,6,4,77])"));
    QCOMPARE(ids(), (QList<int>{3, 5}));

    m_answers.lines.clear();
    m_server->setReply(200, "{\"result\":1,\"file_list\":[3]}", "application/json");
    QVERIFY(fetch(&CCloudStore::httpsDeleteFileListFinished));
    QCOMPARE(m_answers.lines.first(), QStringLiteral("deleteList(deletion denied,[3])"));
    QCOMPARE(ids(), (QList<int>{3, 5}));

    m_answers.lines.clear();
    m_server->setReply(200, "{\"result\":0,\"file_list\":[3", "application/json");
    QVERIFY(fetch(&CCloudStore::httpsDeleteFileListFinished));
    QCOMPARE(m_answers.lines.first(), QStringLiteral("deleteList(invalid reply,[])"));
    QCOMPARE(ids(), (QList<int>{3, 5}));
}

void TstCloudStore::download()
{
    QByteArray content;
    for (int i = 0; i < 300000; ++i)
        content.append(char((i * 131 + 7) & 0xff));
    const QString folder = m_env.dataFolder();
    QVERIFY(m_store->setDownloadTarget(folder, "1_9_20240301_101010.ecg"));
    QFile old(folder + "1_9_20240301_101010.ecg");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(900000, 'x')); // longer than the new content
    old.close();

    m_server->setReply(200, content, "application/octet-stream");
    QVERIFY(fetch(&CCloudStore::httpsLoadFileFinished));
    QCOMPARE(m_answers.lines.first(), QStringLiteral("load()"));
    QFile f(folder + "1_9_20240301_101010.ecg");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    // The file's bytes are not written into the log.
    QVERIFY(!m_env.logText().contains(content.left(64)));

    // A failed transfer writes nothing.
    m_answers.lines.clear();
    QVERIFY(m_store->setDownloadTarget(folder, "1_10_20240301_101010.ecg"));
    m_server->setReply(404, "not here", "text/plain");
    QVERIFY(fetch(&CCloudStore::httpsLoadFileFinished));
    QVERIFY(m_answers.lines.first() != "load()");
    QVERIFY(!QFile::exists(folder + "1_10_20240301_101010.ecg"));
}

void TstCloudStore::downloadRefusedOrUnwritable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("slash") << "../x.ecg" << false;
    QTest::newRow("sub folder") << "sub/x.ecg" << false;
    QTest::newRow("backslash") << "sub\\x.ecg" << false;
    QTest::newRow("dots") << "x..ecg" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("folder missing") << "x.ecg" << true;
}

void TstCloudStore::downloadRefusedOrUnwritable()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    const QString good = m_env.dataFolder();
    QVERIFY(m_store->setDownloadTarget(good, "keep.ecg"));
    const QString missing = good + "no-such-folder/";
    QCOMPARE(m_store->setDownloadTarget(missing, name), accepted);
    QCOMPARE(m_store->downloadFolder(), accepted ? missing : good);
    QCOMPARE(m_store->downloadFileName(), accepted ? name : QStringLiteral("keep.ecg"));
    if (!accepted)
        return;
    m_server->setReply(200, "data", "application/octet-stream");
    QVERIFY(fetch(&CCloudStore::httpsLoadFileFinished));
    QVERIFY(m_answers.lines.first().startsWith("load(unable to store file "));
}

QTEST_GUILESS_MAIN(TstCloudStore)
#include "tst_cloudstore.moc"
