// The telemedicine client against a stand-in service on loopback: each
// request field by field, each reply to its answers, the fault matrix, the
// one-request rule and the logs.
#include "commalocale.h"
#include "dbman.h"
#include "qvlcomm.h"
#include "qvlreplies.h"
#include "qvlstandin.h"
#include "qvltestenv.h"
#include "settingsman.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const char* const kUser = "vet&clinic<1>";
const char* const kUserEscaped = "vet&amp;clinic&lt;1&gt;";
const char* const kPassword = "Pw-9f3&<q>\"Z'";
const char* const kPasswordEscaped = "Pw-9f3&amp;&lt;q&gt;&quot;Z'";

// The header text exactly as the service expects it, written out by hand.
QString expectedEnvelopeStart(const QString& created, const QString& expires,
                              const QString& user, const QString& password)
{
    return QStringLiteral(
               "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
               "<soap:Header>\n"
               "  <wsse:Security xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
               "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
               "oasis-200401-wss-wssecurity-secext-1.0.xsd\" SOAP-ENV:mustUnderstand=\"1\">\n"
               "  <wsu:Timestamp xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/"
               "oasis-200401-wss-wssecurity-utility-1.0.xsd\" wsu:Id=\"Timestamp\">\n"
               "    <wsu:Created>%1</wsu:Created>\n"
               "    <wsu:Expires>%2</wsu:Expires></wsu:Timestamp>\n"
               "  <wsse:UsernameToken><wsse:Username>%3</wsse:Username>\n"
               "    <wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
               "oasis-200401-wss-username-token-profile-1.0#PasswordText\">%4"
               "</wsse:Password>\n"
               "  </wsse:UsernameToken></wsse:Security>\n"
               "</soap:Header>\n"
               "<soap:Body>\n")
        .arg(created, expires, user, password);
}

// The parts of a captured multipart/related request.
struct Multipart
{
    QByteArray boundary;
    QByteArray partHeaders;
    QByteArray envelope;
};

bool splitMultipart(const StandInRequest& r, Multipart& m, QString& why)
{
    static const QRegularExpression ct(QStringLiteral(
        "^multipart/related; type=\"application/xop\\+xml\"; boundary=\"(qd100-[0-9a-f]{32})\"; "
        "start=\"<qvl\\.root\\.message@malvorant\\.example>\"; start-info=\"text/xml\"$"));
    const auto match = ct.match(QString::fromLatin1(r.header("Content-Type")));
    if (!match.hasMatch()) {
        why = "Content-Type: " + QString::fromLatin1(r.header("Content-Type"));
        return false;
    }
    m.boundary = match.captured(1).toLatin1();
    const QByteArray open = "--" + m.boundary + "\r\n";
    const QByteArray close = "\r\n--" + m.boundary + "--\r\n";
    if (!r.body.startsWith(open) || !r.body.endsWith(close)) {
        why = QStringLiteral("delimiters");
        return false;
    }
    const QByteArray inner = r.body.mid(open.size(), r.body.size() - open.size() - close.size());
    if (inner.contains("--" + m.boundary)) {
        why = QStringLiteral("more than one part");
        return false;
    }
    const qsizetype split = inner.indexOf("\r\n\r\n");
    if (split < 0) {
        why = QStringLiteral("part headers");
        return false;
    }
    m.partHeaders = inner.left(split + 2);
    m.envelope = inner.mid(split + 4);
    return true;
}

// Walks the envelope with a namespace-aware reader: the elements the service
// dispatches on are in their namespaces.
QString namespaceProblem(const QByteArray& envelope, const QString& operation)
{
    const QString soap = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
    const QString wsse = QStringLiteral(
        "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
    const QString wsu = QStringLiteral(
        "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
    const QHash<QString, QString> expected = {
        {"Envelope", soap},   {"Header", soap},    {"Body", soap},
        {"Security", wsse},   {"UsernameToken", wsse}, {"Username", wsse},
        {"Password", wsse},   {"Timestamp", wsu},  {"Created", wsu},
        {"Expires", wsu},     {operation, QLatin1String(kNs)}};
    QXmlStreamReader r(envelope);
    QSet<QString> seen;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = r.name().toString();
        const QString ns = r.namespaceUri().toString();
        seen.insert(name);
        if (expected.contains(name) && expected.value(name) != ns)
            return name + " in " + ns;
        if (!expected.contains(name) && !ns.isEmpty())
            return name + " should have no namespace but has " + ns;
        if (name == QLatin1String("Security")
            && r.attributes().value(soap, QStringLiteral("mustUnderstand")) != QLatin1String("1"))
            return QStringLiteral("mustUnderstand");
        if (name == QLatin1String("Timestamp")
            && r.attributes().value(wsu, QStringLiteral("Id")) != QLatin1String("Timestamp"))
            return QStringLiteral("wsu:Id");
    }
    if (r.hasError())
        return QStringLiteral("not well-formed: ") + r.errorString();
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (!seen.contains(it.key()))
            return it.key() + QStringLiteral(" missing");
    return QString();
}

} // namespace

class TstQvlComm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void requestFields_data();
    void requestFields();
    void plainHttpAndUrlSetting();
    void httpsOnOtherPort();
    void settingWithoutScheme();
    void replies_data();
    void replies();
    void faults_data();
    void faults();
    void refusedWhileInFlight();
    void answerStartsNextRequest();
    void destroyedWhileInFlight();
    void requestNotBuilt_data();
    void requestNotBuilt();
    void credentialsOnlyOverTls_data();
    void credentialsOnlyOverTls();
    void replySizeIsBounded();
    void repliesLoggedOnlyInPart();
    void requestHasOverallDeadline();
    void sentAtMostOnce_data();
    void sentAtMostOnce();
    void caseState_data();
    void caseState();
    void addFileWaitsAsLongAsItsDeadline();
    void manyChangedCases();
    void patientTextStaysOnOneLine();
    void passwordNeverLogged();

private:
    void invoke(const QString& op, bool expectPosted = true);
    bool waitForAnswers(int count);

    QvlTestEnv m_env;
    QvlStandIn* m_server = nullptr;
    AnswerLog m_answers;
    CQvlComm* m_comm = nullptr;
    QString m_goodUrl;
    int m_recFull = 0;   // patient with every field
    int m_recSparse = 0; // patient whose values give no element
    int m_recPounds = 0;
    int m_recFile = 0;   // recording with a file
    QByteArray m_fileContent;
};

void TstQvlComm::initTestCase()
{
    QString error;
    QVERIFY2(m_env.setUp(error), qPrintable(error));
    m_server = new QvlStandIn(41, this);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    m_server->trust();
    m_goodUrl = m_server->url(true, QLatin1String(kPath));
    m_env.settings->qvlUserName = QLatin1String(kUser);
    m_env.settings->qvlPwd = QLatin1String(kPassword);

    const int full = m_env.addPatient({{"patientName", "Rex"},
                                       {"ownerFirst", "Anna & Jo"},
                                       {"ownerLast", QString::fromUtf8("Müller")},
                                       {"extId", "EXT-42"},
                                       {"species", 2},
                                       {"sex", 3},
                                       {"birthdate", 1556928000},
                                       {"breed", "Border Collie <BC>\x01"},
                                       {"weight", 12.5},
                                       {"weightUnit", 0}});
    const int sparse = m_env.addPatient({{"patientName", "Tweety"}, {"species", 21}, {"sex", 5},
                                         {"weight", 0}, {"birthdate", 0}});
    const int pounds = m_env.addPatient({{"patientName", "Kiwi"}, {"species", 0}, {"sex", 0},
                                         {"weight", 0.3}, {"weightUnit", 1}});
    QVERIFY(full > 0 && sparse > 0 && pounds > 0);
    m_recFull = m_env.addRecording(full, "1_1_20240101_101010.ecg");
    m_recSparse = m_env.addRecording(sparse, "2_2_20240101_101010.ecg");
    m_recPounds = m_env.addRecording(pounds, "3_3_20240101_101010.ecg");
    for (int i = 0; i < 10001; ++i)
        m_fileContent.append(char((i * 37 + 11) & 0xff));
    m_recFile = m_env.addRecording(full, "1_4_20240102_111213.ecg", m_fileContent);
    QVERIFY(m_recFull > 0 && m_recSparse > 0 && m_recPounds > 0 && m_recFile > 0);

    m_comm = new CQvlComm(&m_answers, m_env.dataFolder(), m_env.db->database(), m_env.settings,
                          "MalvorantQml", "8.0.2", "078");
}

void TstQvlComm::cleanupTestCase()
{
    delete m_comm;
    m_comm = nullptr;
}

void TstQvlComm::init()
{
    m_answers.answers.clear();
    m_answers.onAnswer = nullptr;
    m_server->requests.clear();
    m_server->requestCount = 0;
    m_server->setAction(QvlStandIn::Action::Reply);
    m_server->setUntrustedCertificate(false);
    m_server->setOnRequest(nullptr);
    m_server->setReply(200, okReply("Test", "<return>true</return>"));
    m_env.settings->qvlUrl = m_goodUrl;
    m_comm->setTransferTimeout(CQvlComm::kDefaultTransferTimeoutMs);
    m_comm->setRequestDeadline(0);
}

// Whatever a test did, the client is idle afterwards: the next request is
// taken and answered.
void TstQvlComm::cleanup()
{
    m_answers.onAnswer = nullptr;
    m_server->releaseHeld();
    init();
    QVERIFY(waitUntil([this]() { return m_comm->checkUser(); }, 20000));
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_answers.answers.last(), QStringLiteral("checkUser(0,0,1)"));
}

bool TstQvlComm::waitForAnswers(int count)
{
    if (!waitUntil([this, count]() { return m_answers.answers.size() >= count; }, 20000))
        return false;
    // Anything more would come in the same handler run; give it a turn anyway.
    QTest::qWait(10);
    return m_answers.answers.size() == count;
}

void TstQvlComm::invoke(const QString& op, bool expectPosted)
{
    bool posted = false;
    if (op == QLatin1String("checkUser"))
        posted = m_comm->checkUser();
    else if (op == QLatin1String("checkNetwork"))
        posted = m_comm->checkNetwork();
    else if (op == QLatin1String("initiateCase"))
        posted = m_comm->initiateCase(m_recFull);
    else if (op == QLatin1String("initiateCaseSparse"))
        posted = m_comm->initiateCase(m_recSparse);
    else if (op == QLatin1String("initiateCasePounds"))
        posted = m_comm->initiateCase(m_recPounds);
    else if (op == QLatin1String("addFile"))
        posted = m_comm->addFile(m_recFile, "C-5&6");
    else if (op == QLatin1String("getCaseUrl"))
        posted = m_comm->getCaseUrl(m_recFull, "C-17");
    else if (op == QLatin1String("modified"))
        posted = m_comm->getModifiedServices("TOK<0>");
    else if (op == QLatin1String("modifiedNoToken"))
        posted = m_comm->getModifiedServices(QString());
    else if (op == QLatin1String("caseState"))
        posted = m_comm->getCaseState(m_recFile, "C-5&6");
    else
        QFAIL(qPrintable("unknown operation " + op));
    QVERIFY2(posted == expectPosted, qPrintable(m_comm->getLastError()));
}

void TstQvlComm::requestFields_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("operation"); // element name
    QTest::addColumn<QString>("body");      // the operation element's lines
    const QString ns = QLatin1String(kNs);
    const QString test = "  <ns2:Test xmlns:ns2=\"" + ns + "\"/>\n";
    QTest::newRow("checkUser") << "checkUser" << "Test" << test;
    QTest::newRow("checkNetwork") << "checkNetwork" << "Test" << test;
    const QString trailer = "    <thirdPartySoftwareTitle>Malvorant PC</thirdPartySoftwareTitle>\n"
                            "    <thirdPartySoftwareVersion>8.0.2, Build: 078</thirdPartySoftwareVersion>\n"
                            "  </ns2:InitiateCase>\n";
    QTest::newRow("initiateCase, every field")
        << "initiateCase" << "InitiateCase"
        << "  <ns2:InitiateCase xmlns:ns2=\"" + ns + "\">\n"
               "    <theCase>\n"
               "      <ownerFirstName>Anna &amp; Jo</ownerFirstName>\n"
               "      <ownerLastName>" + QString::fromUtf8("Müller") + "</ownerLastName>\n"
               "      <patientId>EXT-42</patientId>\n"
               "      <patientName>Rex</patientName>\n"
               "      <species>Canine</species>\n"
               "      <gender>N</gender>\n"
               "      <dob>2019-05-04T00:00:00.000Z</dob>\n"
               "      <breed>Border Collie &lt;BC&gt;</breed>\n"
               "      <weight>12.5</weight>\n"
               "      <weightUnits>KILOGRAMS</weightUnits>\n"
               "    </theCase>\n" + trailer;
    QTest::newRow("initiateCase, no species, sex, weight, birth date")
        << "initiateCaseSparse" << "InitiateCase"
        << "  <ns2:InitiateCase xmlns:ns2=\"" + ns + "\">\n"
               "    <theCase>\n"
               "      <patientName>Tweety</patientName>\n"
               "    </theCase>\n" + trailer;
    QTest::newRow("initiateCase, species 0, pounds")
        << "initiateCasePounds" << "InitiateCase"
        << "  <ns2:InitiateCase xmlns:ns2=\"" + ns + "\">\n"
               "    <theCase>\n"
               "      <patientName>Kiwi</patientName>\n"
               "      <gender>U</gender>\n"
               "      <weight>0.3</weight>\n"
               "      <weightUnits>POUNDS</weightUnits>\n"
               "    </theCase>\n" + trailer;
    QTest::newRow("addFile") << "addFile" << "AddFile"
                             << "  <ns2:AddFile xmlns:ns2=\"" + ns + "\">\n"
                                    "    <caseId>C-5&amp;6</caseId>\n"
                                    "    <filename>1_4_20240102_111213.ecg</filename>\n"
                                    "    <file>%FILE%</file>\n"
                                    "    <addendum>true</addendum>\n"
                                    "  </ns2:AddFile>\n";
    QTest::newRow("getCaseUrl") << "getCaseUrl" << "GetCaseURL"
                                << "  <ns2:GetCaseURL xmlns:ns2=\"" + ns + "\">\n"
                                       "    <caseId>C-17</caseId>\n"
                                       "  </ns2:GetCaseURL>\n";
    QTest::newRow("getModifiedServices") << "modified" << "GetModifiedServices"
                                         << "  <ns2:GetModifiedServices xmlns:ns2=\"" + ns + "\">\n"
                                                "    <modifiedToken>TOK&lt;0&gt;</modifiedToken>\n"
                                                "  </ns2:GetModifiedServices>\n";
    QTest::newRow("getModifiedServices, no token")
        << "modifiedNoToken" << "GetModifiedServices"
        << "  <ns2:GetModifiedServices xmlns:ns2=\"" + ns + "\">\n"
               "  </ns2:GetModifiedServices>\n";
}

void TstQvlComm::requestFields()
{
    QFETCH(QString, op);
    QFETCH(QString, operation);
    QFETCH(QString, body);
    body.replace(QLatin1String("%FILE%"), QString::fromLatin1(m_fileContent.toBase64()));

    // A decimal comma, neither Qt's default locale nor the C library's (as
    // a German user's session sets it), must reach the weight or the times.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    {
        const CommaLocale comma;
        QVERIFY2(comma.isActive(), qPrintable(comma.error()));
        invoke(op);
    }
    QLocale::setDefault(previous);
    QVERIFY(waitUntil([this]() { return m_answers.answers.contains(QLatin1String("modifiedDone"))
                                              || (!m_answers.answers.isEmpty() && !m_answers.answers.first().startsWith(QLatin1String("modified"))); }, 20000));
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(m_server->requests.size(), 1);
    const StandInRequest& r = m_server->requests.first();

    // The request line and headers.
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.target, QByteArray(kPath));
    QCOMPARE(r.version, QByteArray("HTTP/1.1"));
    QVERIFY(r.tls);
    QCOMPARE(r.localPort, m_server->httpsPort());
    QVERIFY(r.header("Host").startsWith(m_server->address().toLatin1()));
    QCOMPARE(r.header("User-Agent"), QByteArray("Sornhap_Q_native_8.0.2"));
    QCOMPARE(r.header("Content-Encoding"), QByteArray("binary"));
    QCOMPARE(r.headerCount("Connection"), 1);
    QCOMPARE(r.header("Connection"), QByteArray("close"));
    QCOMPARE(r.headerCount("Soapaction"), 1);
    QCOMPARE(r.header("Soapaction"), QByteArray(""));
    QCOMPARE(r.header("Content-Length").toLongLong(), qint64(r.body.size()));
    QVERIFY(r.header("Authorization").isNull());

    // One MIME part with its headers.
    Multipart m;
    QString why;
    QVERIFY2(splitMultipart(r, m, why), qPrintable(why));
    // A random boundary, never the same twice.
    static QSet<QByteArray> boundaries;
    QVERIFY(!boundaries.contains(m.boundary));
    boundaries.insert(m.boundary);
    QCOMPARE(m.partHeaders, QByteArray("Content-Type: application/xop+xml; charset=\"UTF-8\"; "
                                       "type=\"text/xml\"\r\n"
                                       "Content-Transfer-Encoding: binary\r\n"
                                       "Content-ID: <qvl.root.message@malvorant.example>\r\n"));

    // The envelope, byte for byte, in UTF-8, with a time stamp window of
    // 300 s starting 60 s before the request was made.
    QVERIFY(!m.envelope.startsWith("<?xml"));
    const QString envelope = QString::fromUtf8(m.envelope);
    QCOMPARE(envelope.toUtf8(), m.envelope);
    static const QRegularExpression createdRe(
        QStringLiteral("<wsu:Created>([0-9T:.Z-]+)</wsu:Created>"));
    const QString createdText = createdRe.match(envelope).captured(1);
    const QDateTime created = QDateTime::fromString(createdText, Qt::ISODateWithMs);
    QVERIFY2(created.isValid(), qPrintable(createdText));
    QCOMPARE(created.timeSpec(), Qt::UTC);
    QVERIFY(createdText.endsWith(QLatin1String(".000Z")));
    QVERIFY(created.toSecsSinceEpoch() >= before - 60 && created.toSecsSinceEpoch() <= after - 60);
    const QString expiresText = created.addSecs(300).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'.000Z'"));
    const QString expected =
        expectedEnvelopeStart(createdText, expiresText, QLatin1String(kUserEscaped),
                              QLatin1String(kPasswordEscaped))
        + body + QStringLiteral("</soap:Body>\n</soap:Envelope>");
    QCOMPARE(envelope, expected);
    const QString problem = namespaceProblem(m.envelope, operation);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TstQvlComm::plainHttpAndUrlSetting()
{
    // Capitals, a port, user information and a query in the setting: the
    // request goes over plain HTTP to that port with the path lower-cased,
    // and nothing of the user information travels.
    const quint16 port = m_server->listenOnOtherPort(false);
    QVERIFY(port != 0 && port != 80);
    m_env.settings->qvlUrl = "HTTP://someone:Secret@" + m_server->address() + ":"
        + QString::number(port) + "/QvlIntegrations/QVLTMS.asmx?x=1#frag";
    invoke("checkUser");
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_answers.answers.first(), QStringLiteral("checkUser(0,0,1)"));
    QCOMPARE(m_server->requests.size(), 1);
    const StandInRequest& r = m_server->requests.first();
    QVERIFY(!r.tls);
    QCOMPARE(r.localPort, port);
    QCOMPARE(r.target, QByteArray(kPath));
    QVERIFY(r.header("Authorization").isNull());
    QVERIFY(!r.body.contains("ecret"));
}

void TstQvlComm::httpsOnOtherPort()
{
    // The service's address names its port: the request goes there, over TLS.
    const quint16 port = m_server->listenOnOtherPort(true);
    QVERIFY(port != 0 && port != m_server->httpsPort());
    m_env.settings->qvlUrl =
        "https://" + m_server->address() + ":" + QString::number(port) + kPath;
    invoke("checkUser");
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_answers.answers.first(), QStringLiteral("checkUser(0,0,1)"));
    QCOMPARE(m_server->requests.size(), 1);
    QVERIFY(m_server->requests.first().tls);
    QCOMPARE(m_server->requests.first().localPort, port);
}

void TstQvlComm::settingWithoutScheme()
{
    // Without a scheme the whole text is a path and there is no host, so no
    // address that may carry the password: nothing is sent.
    m_env.settings->qvlUrl = m_server->address() + kPath;
    invoke("checkUser", false);
    QTest::qWait(50);
    QVERIFY(m_answers.answers.isEmpty());
    QVERIFY(m_comm->getLastError().contains(QLatin1String("https")));
    QCOMPARE(m_server->requestCount, 0);
}

void TstQvlComm::replies_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("lastError");

    const QByteArray page = "<html><body><h1>Welcome</h1></body></html>";
    const QByteArray clock = "Microsoft.Web.Services3.Security.SecurityFault: WSE065: Creation "
                             "time of the timestamp is in the future.";
    QTest::newRow("checkUser verified")
        << "checkUser" << 200 << okReply("Test", "<return>true</return>")
        << QStringList{"checkUser(0,0,1)"} << "";
    QTest::newRow("checkUser, return false does not verify")
        << "checkUser" << 200 << okReply("Test", "<return>false</return>")
        << QStringList{"checkUser(0,0,0)"} << "";
    QTest::newRow("checkUser, redirect page")
        << "checkUser" << 302 << okReply("Test", "<return>true</return>")
        << QStringList{"checkUser(0,1,0)"} << "Server replied with HTTP status 302";
    QTest::newRow("checkUser, no return")
        << "checkUser" << 200 << okReply("Test", "") << QStringList{"checkUser(0,0,0)"} << "";
    QTest::newRow("checkUser, fault")
        << "checkUser" << 500 << soapFault(kAuthFault) << QStringList{"checkUser(1,1,0)"}
        << QString("Server replied: ") + kAuthFault;
    QTest::newRow("checkUser, clock fault means nothing more")
        << "checkUser" << 500 << soapFault(clock) << QStringList{"checkUser(1,1,0)"}
        << QString("Server replied: ") + clock;
    QTest::newRow("checkUser, fault and return")
        << "checkUser" << 200 << soapFault("x") + "<return>true</return>"
        << QStringList{"checkUser(0,1,0)"} << "Server replied: x";
    QTest::newRow("checkNetwork reachable")
        << "checkNetwork" << 200 << okReply("Test", "<return>true</return>")
        << QStringList{"checkNetwork(0,0,0)"} << "";
    QTest::newRow("checkNetwork, clock skew WSE065")
        << "checkNetwork" << 500 << soapFault(clock) << QStringList{"checkNetwork(1,1,1)"}
        << QString("Server replied: ") + clock;
    QTest::newRow("checkNetwork, timestamp expired")
        << "checkNetwork" << 200 << soapFault("Timestamp is expired")
        << QStringList{"checkNetwork(0,1,1)"} << "Server replied: Timestamp is expired";
    QTest::newRow("checkNetwork, other fault")
        << "checkNetwork" << 500 << soapFault("Server busy") << QStringList{"checkNetwork(1,1,0)"}
        << "Server replied: Server busy";
    QTest::newRow("initiateCase")
        << "initiateCase" << 200 << okReply("InitiateCase", "<return>C-100</return>")
        << QStringList{"initiateCase(0,0,%REC%,C-100)"} << "";
    QTest::newRow("initiateCase, no return")
        << "initiateCase" << 200 << page << QStringList{"initiateCase(0,1,%REC%,)"}
        << "Unable to decode QVL response";
    QTest::newRow("initiateCase, empty return")
        << "initiateCase" << 200 << okReply("InitiateCase", "<return></return>")
        << QStringList{"initiateCase(0,1,%REC%,)"} << "Unable to decode QVL response";
    QTest::newRow("initiateCase, prefixed return not found")
        << "initiateCase" << 200 << okReply("InitiateCase", "<a:return>C-1</a:return>")
        << QStringList{"initiateCase(0,1,%REC%,)"} << "Unable to decode QVL response";
    QTest::newRow("initiateCase, fault")
        << "initiateCase" << 500 << soapFault("Case refused")
        << QStringList{"initiateCase(1,1,%REC%,Case refused)"} << "Server replied: Case refused";
    QTest::newRow("initiateCase, authentication fault")
        << "initiateCase" << 500 << soapFault(kAuthFault)
        << QStringList{QString("initiateCase(1,1,%REC%,") + kAuthFault + ")", "checkUser(0,0,0)"}
        << QString("Server replied: ") + kAuthFault;
    QTest::newRow("addFile")
        << "addFile" << 200 << okReply("AddFile", "<return>true</return>")
        << QStringList{"addFile(0,0,%FILEREC%,C-5&6)"} << "";
    QTest::newRow("addFile, no return")
        << "addFile" << 200 << page << QStringList{"addFile(0,1,%FILEREC%,C-5&6)"}
        << "Unable to decode QVL response";
    QTest::newRow("addFile, authentication fault only answers itself")
        << "addFile" << 500 << soapFault(kAuthFault)
        << QStringList{"addFile(1,1,%FILEREC%,C-5&6)"} << QString("Server replied: ") + kAuthFault;
    QTest::newRow("getCaseUrl, &amp; decoded, nothing else")
        << "getCaseUrl" << 200
        << okReply("GetCaseURL", "<return>https://cases.example/v?a=1&amp;b=2&lt;</return>")
        << QStringList{"getCaseUrl(0,0,%REC%,https://cases.example/v?a=1&b=2&lt;)"} << "";
    QTest::newRow("getCaseUrl, no return")
        << "getCaseUrl" << 200 << okReply("GetCaseURL", "")
        << QStringList{"getCaseUrl(0,1,%REC%,)"} << "Unable to decode QVL response";
    QTest::newRow("getCaseUrl, authentication fault only answers itself")
        << "getCaseUrl" << 500 << soapFault(kAuthFault)
        << QStringList{QString("getCaseUrl(1,1,%REC%,") + kAuthFault + ")"}
        << QString("Server replied: ") + kAuthFault;
    QTest::newRow("modified, no cases")
        << "modified" << 200
        << okReply("GetModifiedServices", "<return><modifiedSinceToken>T-9</modifiedSinceToken></return>")
        << QStringList{"modified1(0,0,T-9)", "modifiedDone"} << "";
    QTest::newRow("modified, two cases")
        << "modified" << 200
        << okReply("GetModifiedServices",
                   "<return><modifiedSinceToken>T-10</modifiedSinceToken>"
                   "<services><caseId>C1</caseId><status>RECEIVED</status></services>"
                   "<services><caseId>C2</caseId><status>COMPLETED</status></services></return>")
        << QStringList{"modified1(0,0,T-10)", "modified2(C1,RECEIVED)", "modified2(C2,COMPLETED)",
                       "modifiedDone"}
        << "";
    QTest::newRow("modified, status missing ends the list")
        << "modified" << 200
        << okReply("GetModifiedServices",
                   "<return><modifiedSinceToken>T</modifiedSinceToken>"
                   "<s><caseId>C1</caseId><status>SENDING</status></s>"
                   "<s><caseId>C2</caseId></s></return>")
        << QStringList{"modified1(0,0,T)", "modified2(C1,SENDING)", "modifiedDone"} << "";
    QTest::newRow("modified, no token")
        << "modified" << 200 << okReply("GetModifiedServices", "<return></return>")
        << QStringList{"modified1(0,1,)", "modifiedDone"} << "Unable to decode QVL response";
    QTest::newRow("modified, no return")
        << "modified" << 200 << okReply("GetModifiedServices", "<modifiedSinceToken>T</modifiedSinceToken>")
        << QStringList{"modified1(0,1,)", "modifiedDone"} << "Unable to decode QVL response";
    QTest::newRow("modified, authentication fault")
        << "modified" << 500 << soapFault(kAuthFault)
        << QStringList{"modified1(1,1,)", "checkUser(0,0,0)", "modifiedDone"}
        << QString("Server replied: ") + kAuthFault;
}

void TstQvlComm::replies()
{
    QFETCH(QString, op);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, expected);
    QFETCH(QString, lastError);
    expected.replaceInStrings(QLatin1String("%REC%"), QString::number(m_recFull));
    expected.replaceInStrings(QLatin1String("%FILEREC%"), QString::number(m_recFile));
    m_server->setReply(status, reply);
    invoke(op);
    QVERIFY(waitForAnswers(expected.size()));
    QCOMPARE(m_answers.answers, expected);
    if (status == 200 || !lastError.isEmpty())
        QCOMPARE(m_comm->getLastError(), lastError);
}

void TstQvlComm::faults_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("expected");
    const QStringList ops = {"checkNetwork", "initiateCase", "addFile", "modified"};
    const QStringList answers = {"checkNetwork(1,0,0)", "initiateCase(1,0,%REC%,)",
                                 "addFile(1,0,%FILEREC%,C-5&6)", "modified1(1,0,)|modifiedDone"};
    for (const char* fault : {"service down", "connection reset", "time-out", "untrusted certificate"})
        for (int i = 0; i < ops.size(); ++i)
            QTest::addRow("%s, %s", fault, qPrintable(ops.at(i)))
                << ops.at(i) << QString::fromLatin1(fault) << answers.at(i).split('|');
}

void TstQvlComm::faults()
{
    QFETCH(QString, op);
    QFETCH(QString, fault);
    QFETCH(QStringList, expected);
    expected.replaceInStrings(QLatin1String("%REC%"), QString::number(m_recFull));
    expected.replaceInStrings(QLatin1String("%FILEREC%"), QString::number(m_recFile));
    if (fault == QLatin1String("service down")) {
        m_env.settings->qvlUrl = "http://" + m_server->deadAddress() + kPath;
    } else if (fault == QLatin1String("connection reset")) {
        m_server->setAction(QvlStandIn::Action::Reset);
    } else if (fault == QLatin1String("time-out")) {
        m_server->setAction(QvlStandIn::Action::Hang);
        m_comm->setTransferTimeout(300);
        // AddFile waits as long as its deadline, which is bounded here.
        m_comm->setRequestDeadline(300);
    } else {
        m_server->setUntrustedCertificate(true);
    }
    invoke(op);
    QVERIFY(waitForAnswers(expected.size()));
    QCOMPARE(m_answers.answers, expected);
    QVERIFY(!m_comm->getLastError().isEmpty());
    // A silent service is said to be one; nobody cancelled anything.
    QCOMPARE(CQvlComm::isTimeout(m_comm->getLastError()), fault == QLatin1String("time-out"));
    QVERIFY(!m_comm->getLastError().contains(QLatin1String("canceled")));
    if (fault == QLatin1String("untrusted certificate"))
        QCOMPARE(m_server->requestCount, 0); // nothing was sent to it
}

void TstQvlComm::refusedWhileInFlight()
{
    m_server->setAction(QvlStandIn::Action::Hold);
    m_server->setReply(200, okReply("InitiateCase", "<return>C-100</return>"));
    invoke("initiateCase");
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requestCount, 1, 20000);

    // Every entry point is refused; file id, case id and last error stay.
    QVERIFY(!m_comm->addFile(m_recFile, "C-9"));
    QVERIFY(!m_comm->getCaseUrl(m_recFile, "C-9"));
    QVERIFY(!m_comm->checkUser());
    QVERIFY(!m_comm->checkNetwork());
    QVERIFY(!m_comm->initiateCase(m_recSparse));
    QVERIFY(!m_comm->getModifiedServices("T"));
    QVERIFY(m_comm->getLastError().isEmpty());
    const QByteArray log = m_env.logText();
    QVERIFY(log.contains("CQvlComm::addFile() a request is already in progress, will not issue "
                         "a another request"));
    QVERIFY(log.contains("CQvlComm::getModifiedServices() a request is already in progress"));

    m_server->releaseHeld();
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_answers.answers.first(), QString("initiateCase(0,0,%1,C-100)").arg(m_recFull));
    QCOMPARE(m_server->requestCount, 1);
}

void TstQvlComm::answerStartsNextRequest()
{
    // The upload chain runs from inside the answers: case, file, address.
    m_server->setOnRequest([this](const StandInRequest& r) {
        if (r.body.contains("<ns2:InitiateCase"))
            m_server->setReply(200, okReply("InitiateCase", "<return>C-77</return>"));
        else if (r.body.contains("<ns2:AddFile"))
            m_server->setReply(200, okReply("AddFile", "<return>true</return>"));
        else if (r.body.contains("<ns2:GetCaseURL"))
            m_server->setReply(200, okReply("GetCaseURL", "<return>https://c.example/C-77</return>"));
    });
    QList<bool> started;
    m_answers.onAnswer = [this, &started](const QString& a) {
        if (a.startsWith(QLatin1String("initiateCase(0,0,")))
            started << m_comm->addFile(m_recFile, a.section(',', 3).chopped(1));
        else if (a.startsWith(QLatin1String("addFile(0,0,")))
            started << m_comm->getCaseUrl(m_recFile, "C-77");
    };
    invoke("initiateCase");
    QVERIFY(waitForAnswers(3));
    QCOMPARE(started, (QList<bool>{true, true}));
    QCOMPARE(m_answers.answers,
             (QStringList{QString("initiateCase(0,0,%1,C-77)").arg(m_recFull),
                          QString("addFile(0,0,%1,C-77)").arg(m_recFile),
                          QString("getCaseUrl(0,0,%1,https://c.example/C-77)").arg(m_recFile)}));
    QCOMPARE(m_server->requestCount, 3);
    QVERIFY(m_server->requests.at(1).body.contains("<caseId>C-77</caseId>"));
}

void TstQvlComm::destroyedWhileInFlight()
{
    AnswerLog answers;
    auto* comm = new CQvlComm(&answers, m_env.dataFolder(), m_env.db->database(), m_env.settings,
                              "MalvorantQml", "8.0.2", "078");
    m_server->setAction(QvlStandIn::Action::Hold);
    QVERIFY(comm->addFile(m_recFile, "C-1"));
    QVERIFY(waitUntil([this]() { return m_server->requestCount == 1; }));
    delete comm; // the pending reply and its body go with it, no answer comes
    m_server->releaseHeld();
    QTest::qWait(50);
    QVERIFY(answers.answers.isEmpty());
}

void TstQvlComm::requestNotBuilt_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("lastError");
    QTest::newRow("URL too short") << "short" << "Invalid QVL host name length";
    QTest::newRow("unknown recording (case)") << "noRecording" << "Unable to determine patient id for file=99999";
    QTest::newRow("unknown patient") << "noPatient" << "Unable to load patient data for patientId=5555";
    QTest::newRow("unknown recording (file)") << "noFileRow" << "Unable to determine data for fileId=99999";
    QTest::newRow("file missing") << "noFile" << "Unable to load data for file=9_9_missing.ecg";
    QTest::newRow("file name with a path") << "pathName" << "Unable to load data for file=../outside.ecg";
}

void TstQvlComm::requestNotBuilt()
{
    QFETCH(QString, what);
    QFETCH(QString, lastError);
    bool posted = true;
    if (what == QLatin1String("short")) {
        m_env.settings->qvlUrl = QStringLiteral("abcd");
        posted = m_comm->checkUser();
    } else if (what == QLatin1String("noRecording")) {
        posted = m_comm->initiateCase(99999);
    } else if (what == QLatin1String("noPatient")) {
        posted = m_comm->initiateCase(m_env.addRecording(5555, "5555_1_x.ecg"));
    } else if (what == QLatin1String("noFileRow")) {
        posted = m_comm->addFile(99999, "C");
    } else if (what == QLatin1String("noFile")) {
        posted = m_comm->addFile(m_env.addRecording(1, "9_9_missing.ecg"), "C");
    } else {
        QFile outside(m_env.dataFolder() + "../outside.ecg");
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("secret");
        outside.close();
        posted = m_comm->addFile(m_env.addRecording(1, "../outside.ecg"), "C");
    }
    QVERIFY(!posted);
    QCOMPARE(m_comm->getLastError(), lastError);
    QVERIFY(m_env.logText().contains(lastError.toUtf8()));
    QTest::qWait(50);
    QCOMPARE(m_server->requestCount, 0);
    QVERIFY(m_answers.answers.isEmpty());
}

void TstQvlComm::credentialsOnlyOverTls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("sent");
    QTest::newRow("plain http, remote host") << "http://qvl.malvorant.invalid/qvlintegrations/qvltms.asmx" << false;
    QTest::newRow("plain http, bare host") << "qvl.malvorant.invalid" << false;
    QTest::newRow("plain http, loopback") << "http://@LOOPBACK@/qvlintegrations/qvltms.asmx" << true;
}

void TstQvlComm::credentialsOnlyOverTls()
{
    QFETCH(QString, url);
    QFETCH(bool, sent);
    url.replace(QLatin1String("@LOOPBACK@"), m_server->hostPort(false));
    m_env.settings->qvlUrl = url;
    invoke("checkUser", sent);
    if (sent) {
        QVERIFY(waitForAnswers(1));
        QCOMPARE(m_server->requestCount, 1);
        return;
    }
    QVERIFY(m_comm->getLastError().contains(QLatin1String("https://")));
    QTest::qWait(50);
    QVERIFY(m_answers.answers.isEmpty());
}

void TstQvlComm::replySizeIsBounded()
{
    m_comm->setMaxReplyBytes(64 * 1024);
    m_server->setReply(200, okReply("Test", "<return>true</return>" + QByteArray(1024 * 1024, ' ')));
    invoke("checkUser");
    QVERIFY(waitForAnswers(1));
    m_comm->setMaxReplyBytes(CQvlComm::kDefaultMaxReplyBytes);
    QCOMPARE(m_answers.answers.first(), QStringLiteral("checkUser(0,1,0)"));
    QVERIFY2(m_comm->getLastError().contains(QLatin1String("larger than 65536 bytes")),
             qPrintable(m_comm->getLastError()));
}

void TstQvlComm::repliesLoggedOnlyInPart()
{
    // An undecodable reply and a network check: both are logged, in part.
    const QByteArray filler(200 * 1024, 'z');
    m_server->setReply(200, okReply("InitiateCase", "<nothing>" + filler + "</nothing>"));
    const qint64 before = m_env.logText().size();
    invoke("initiateCase");
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_answers.answers.first(), QStringLiteral("initiateCase(0,1,%1,)").arg(m_recFull));
    m_server->setReply(200, okReply("Test", "<return>true</return>" + filler));
    invoke("checkNetwork");
    QVERIFY(waitForAnswers(2));
    const QByteArray added = m_env.logText().mid(before);
    QVERIFY(added.contains("Unable to decode QVL response: "));
    QVERIFY(added.contains("CQvlComm::Error"));
    QVERIFY2(added.size() < 6 * CQvlComm::kLoggedReplyBytes, qPrintable(QString::number(added.size())));
}

void TstQvlComm::requestHasOverallDeadline()
{
    // A peer that sends a byte now and then keeps the inactivity time-out
    // from ever firing; the overall deadline ends the request.
    m_server->setAction(QvlStandIn::Action::Drip);
    m_server->dripIntervalMs = 100;
    m_comm->setTransferTimeout(400);
    m_comm->setRequestDeadline(1000);
    invoke("checkUser");
    QVERIFY(waitForAnswers(1));
    m_comm->setRequestDeadline(0);
    QCOMPARE(m_answers.answers.first(), QStringLiteral("checkUser(1,0,0)"));
    QVERIFY2(m_comm->getLastError().contains(QLatin1String("did not answer within 1.0 s")),
             qPrintable(m_comm->getLastError()));
    // The computed deadline leaves room for a large upload on a slow line.
    const qint64 hour = 110000 + 1800000LL * 16 * 4 / 3;
    QVERIFY(m_comm->requestDeadlineFor(hour) >= int(hour * 1000 / (16 * 1024)));
    QCOMPARE(m_comm->requestDeadlineFor(0), CQvlComm::kBaseDeadlineMs);
}

void TstQvlComm::sentAtMostOnce_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("answer");
    for (const char* op : {"initiateCase", "addFile"}) {
        const QString answer = QLatin1String(op) == QLatin1String("addFile")
            ? QString("addFile(1,0,%FILEREC%,C-5&6)")
            : QString("initiateCase(1,0,%REC%,)");
        QTest::addRow("%s, reset after the body", op)
            << QString(op) << int(QvlStandIn::Action::Reset) << answer;
        QTest::addRow("%s, closed after the body", op)
            << QString(op) << int(QvlStandIn::Action::Close) << answer;
    }
}

// The line drops after the service read the whole request: the network layer
// would send it again by itself; a request that opens a case or adds a file
// reaches the service once and ends with a network error instead.
void TstQvlComm::sentAtMostOnce()
{
    QFETCH(QString, op);
    QFETCH(int, action);
    QFETCH(QString, answer);
    answer.replace(QLatin1String("%REC%"), QString::number(m_recFull));
    answer.replace(QLatin1String("%FILEREC%"), QString::number(m_recFile));
    for (bool tls : {true, false}) {
        m_answers.answers.clear();
        m_server->requestCount = 0;
        m_env.settings->qvlUrl = m_server->url(tls, QLatin1String(kPath));
        m_server->setAction(QvlStandIn::Action(action));
        invoke(op);
        QVERIFY(waitForAnswers(1));
        QTest::qWait(300); // a copy sent again would have come by now
        QCOMPARE(m_answers.answers, QStringList{answer});
        QCOMPARE(m_server->requestCount, 1);
        QVERIFY(CQvlComm::endedUnclear(true, false, m_comm->getLastError()));
    }
}

void TstQvlComm::caseState_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected");
    const QByteArray list = "<services><caseId>C-1</caseId><status>STARTED</status></services>"
                            "<services><caseId>C-5&6</caseId><status>RECEIVED</status></services>";
    QTest::newRow("listed") << 200
                            << okReply("GetModifiedServices",
                                       "<return><modifiedSinceToken>T</modifiedSinceToken>" + list
                                           + "</return>")
                            << QStringList{"caseState(0,0,%FILEREC%,C-5&6,RECEIVED)"};
    QTest::newRow("not listed")
        << 200
        << okReply("GetModifiedServices",
                   "<return><modifiedSinceToken>T</modifiedSinceToken><services><caseId>C-1</caseId>"
                   "<status>STARTED</status></services></return>")
        << QStringList{"caseState(0,0,%FILEREC%,C-5&6,)"};
    QTest::newRow("no return") << 200 << okReply("GetModifiedServices", "")
                               << QStringList{"caseState(0,1,%FILEREC%,C-5&6,)"};
    QTest::newRow("authentication fault")
        << 500 << soapFault(kAuthFault)
        << QStringList{"caseState(1,1,%FILEREC%,C-5&6,)", "checkUser(0,0,0)"};
}

// The state of one case: asked without a token, read from the list.
void TstQvlComm::caseState()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, expected);
    expected.replaceInStrings(QLatin1String("%FILEREC%"), QString::number(m_recFile));
    m_server->setReply(status, reply);
    invoke("caseState");
    QVERIFY(waitForAnswers(expected.size()));
    QCOMPARE(m_answers.answers, expected);
    QCOMPARE(m_server->requests.size(), 1);
    const QByteArray body = m_server->requests.first().body;
    QCOMPARE(operationOf(body), QByteArray("GetModifiedServices"));
    QVERIFY(!body.contains("modifiedToken"));
}

void TstQvlComm::addFileWaitsAsLongAsItsDeadline()
{
    // The service stores the file before it answers: the answer may come
    // later than the inactivity time-out of other requests.
    m_comm->setTransferTimeout(300);
    m_server->setAction(QvlStandIn::Action::Delay);
    m_server->delayMs = 1200;
    m_server->setReply(200, okReply("AddFile", "<return>true</return>"));
    invoke("addFile");
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_answers.answers.first(), QString("addFile(0,0,%1,C-5&6)").arg(m_recFile));
    // Its deadline follows the file's size.
    QVERIFY(m_comm->requestDeadlineFor(10000000) > m_comm->requestDeadlineFor(1000000));
}

void TstQvlComm::manyChangedCases()
{
    QByteArray services;
    const int cases = 40000;
    for (int i = 0; i < cases; ++i)
        services += "<services><caseId>C" + QByteArray::number(i) + "</caseId><status>COMPLETED</status></services>";
    m_server->setReply(200, okReply("GetModifiedServices",
                                    "<return><modifiedSinceToken>T</modifiedSinceToken>" + services + "</return>"));
    invoke("modified");
    QVERIFY(waitUntil([this]() { return m_answers.answers.contains(QLatin1String("modifiedDone")); }, 60000));
    QCOMPARE(m_answers.answers.size(), cases + 2);
    QCOMPARE(m_answers.answers.at(1), QStringLiteral("modified2(C0,COMPLETED)"));
    QCOMPARE(m_answers.answers.at(cases), QStringLiteral("modified2(C%1,COMPLETED)").arg(cases - 1));
}

void TstQvlComm::patientTextStaysOnOneLine()
{
    const int patient = m_env.addPatient({{"patientName", "Rex\r\nEvil"},
                                          {"ownerFirst", "Anna\nB"},
                                          {"ownerLast", QString::fromUtf8("Berg\u2028X")},
                                          {"species", 2}});
    const int recording = m_env.addRecording(patient, "9_9_20240101_101010.ecg");
    m_server->setKeepRequests(true);
    m_server->setReply(200, okReply("InitiateCase", "<return>C-1</return>"));
    QVERIFY(m_comm->initiateCase(recording));
    QVERIFY(waitForAnswers(1));
    QCOMPARE(m_server->requests.size(), 1);
    const QByteArray body = m_server->requests.first().body;
    QVERIFY(body.contains("<patientName>Rex  Evil</patientName>"));
    QVERIFY(body.contains("<ownerFirstName>Anna B</ownerFirstName>"));
    QVERIFY(body.contains("<ownerLastName>Berg X</ownerLastName>"));
}

void TstQvlComm::passwordNeverLogged()
{
    // Runs last: every request above (the logged InitiateCase envelopes, the
    // faults, the refusals) has been written.
    const QByteArray log = m_env.logText();
    QVERIFY(log.contains("<wsse:Password Type="));
    QVERIFY(log.contains(">***</wsse:Password>"));
    QVERIFY(!log.contains("Pw-9f3"));
    QVERIFY(!log.contains(kPassword));
    QVERIFY(!log.contains(kPasswordEscaped));

    // What the log does hold: entries, statements with their values, outcomes.
    QVERIFY(log.contains("entering CQvlComm constructor"));
    QVERIFY(log.contains("CQvlComm::initiateCase()"));
    QVERIFY(log.contains("CQvlComm::doRequest() cmd=1"));
    QVERIFY(log.contains("select patientId from ecgTable where ecgId=" + QByteArray::number(m_recFull)));
    QVERIFY(log.contains("select fileName from ecgTable where ecgId=" + QByteArray::number(m_recFile)));
    QVERIFY(log.contains("CQvlComm::httpsReplyFinished() Authentication Error"));
    QVERIFY(log.contains("CQvlComm::findInResponseBody() token=return, tokenPos0="));
}

QTEST_GUILESS_MAIN(TstQvlComm)
#include "tst_qvlcomm.moc"
