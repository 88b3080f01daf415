#include "qvlcomm.h"

#include "debuglog.h"
#include "oneshotbody.h"
#include "qvlcallbackinterface.h"
#include "qvlsoap.h"
#include "settingsman.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {

std::string str(const QString& text)
{
    return text.toUtf8().toStdString();
}

const char* speciesText(int species)
{
    static const char* const names[] = {"Equine",  "Canine",    "Feline", "Other",   "Alpaca",
                                        "Avian",   "Cow",       "Ferret", "Goat",    "GuineaPig",
                                        "Lizard",  "Llama",     "Porcine", "Primate", "Rabbit",
                                        "Reptile", "Rodent",    "Sheep",  "Small Mammal", "Snake"};
    if (species < 1 || species > 20)
        return nullptr;
    return names[species - 1];
}

const char* genderText(int sex)
{
    static const char* const codes[] = {"U", "M", "F", "N", "S"};
    if (sex < 0 || sex > 4)
        return nullptr;
    return codes[sex];
}

// Runs "select ... where key=" with the id bound, logging the statement with
// the id filled in first; true when a row was found.
bool selectRow(QSqlQuery& q, const QString& select, qlonglong id)
{
    debugLog(2, str(select) + toStdString(id));
    q.prepare(select + QLatin1Char('?'));
    q.addBindValue(id);
    return q.exec() && q.next();
}

const char* const kAuthenticationFault =
    "The security token could not be authenticated or authorized";
// The start of every "no answer in time" failure text.
const char* const kNoAnswer = "The service did not answer";
const char* const kCaseClosed = "The service closed the case";

} // namespace

CQvlComm::CQvlComm(CQvlCallbackInterface* callback, const QString& dataFolder,
                   QSqlDatabase* database, CSettingsMan* settings,
                   const QString& applicationType, const QString& version, const QString& build)
    : m_settings(settings)
    , m_db(database)
    , m_callback(callback)
    , m_version(version)
    , m_build(build)
    , m_applicationType(applicationType)
    , m_dataFolder(dataFolder)
{
    debugLog(4, "entering CQvlComm constructor");
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &CQvlComm::requestDeadlinePassed);
}

CQvlComm::~CQvlComm()
{
    // Pending replies (and their bodies) are children of the manager; an
    // aborted one must not call an answer from a client being destroyed.
    if (m_manager)
        disconnect(m_manager, nullptr, this, nullptr);
    delete m_manager;
}

QNetworkAccessManager& CQvlComm::manager()
{
    // Made for the first request: a session that never talks to the service
    // does not carry the network stack's state.
    if (!m_manager) {
        m_manager = new QNetworkAccessManager();
        connect(m_manager, &QNetworkAccessManager::finished, this, &CQvlComm::httpsReplyFinished);
    }
    return *m_manager;
}

void CQvlComm::setTransferTimeout(int milliseconds)
{
    if (milliseconds > 0)
        m_transferTimeoutMs = milliseconds;
}

void CQvlComm::setRequestDeadline(int milliseconds)
{
    if (milliseconds >= 0)
        m_fixedDeadlineMs = milliseconds;
}

int CQvlComm::requestDeadlineFor(qint64 bodyBytes) const
{
    if (m_fixedDeadlineMs > 0)
        return m_fixedDeadlineMs;
    const qint64 ms = kBaseDeadlineMs + qMax<qint64>(0, bodyBytes) * 1000 / kSlowLineBytesPerSecond;
    return int(qMin<qint64>(ms, std::numeric_limits<int>::max()));
}

void CQvlComm::setMaxReplyBytes(qint64 bytes)
{
    if (bytes > 0)
        m_maxReplyBytes = bytes;
}

bool CQvlComm::isSafeForCredentials(const QUrl& url)
{
    if (url.scheme() == QLatin1String("https"))
        return true;
    const QString host = url.host();
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString CQvlComm::singleLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u == '\n' || u == '\r' || u == '\v' || u == '\f' || u == 0x85 || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return out;
}

std::string CQvlComm::logExcerpt(const QString& body)
{
    const QByteArray bytes = body.toUtf8();
    if (bytes.size() <= kLoggedReplyBytes)
        return bytes.toStdString();
    return bytes.left(kLoggedReplyBytes).toStdString() + "... (" + toStdString(static_cast<long long>(bytes.size()))
        + " bytes)";
}

bool CQvlComm::acceptRequest(const char* name)
{
    debugLog(4, std::string(name) + "()");
    if (m_cmdInProgress != QvlCmdNone) {
        debugLogError(std::string(name)
                      + "() a request is already in progress, will not issue a another request");
        return false;
    }
    m_lastError.clear();
    return true;
}

bool CQvlComm::checkUser()
{
    if (!acceptRequest("CQvlComm::checkUser"))
        return false;
    return doRequest(QvlCmdCheckUser, 0, QString());
}

bool CQvlComm::checkNetwork()
{
    if (!acceptRequest("CQvlComm::checkNetwork"))
        return false;
    return doRequest(QvlCmdCheckNetwork, 0, QString());
}

bool CQvlComm::initiateCase(int fileId)
{
    if (!acceptRequest("CQvlComm::initiateCase"))
        return false;
    m_fileId = fileId;
    m_caseId.clear();
    return doRequest(QvlCmdInitiateCase, fileId, QString());
}

bool CQvlComm::addFile(int fileId, const QString& caseId)
{
    if (!acceptRequest("CQvlComm::addFile"))
        return false;
    m_fileId = fileId;
    m_caseId = caseId;
    return doRequest(QvlCmdAddFile, fileId, caseId);
}

bool CQvlComm::getCaseUrl(int fileId, const QString& caseId)
{
    if (!acceptRequest("CQvlComm::getCaseUrl"))
        return false;
    m_fileId = fileId;
    m_caseId.clear();
    return doRequest(QvlCmdGetCaseUrl, fileId, caseId);
}

bool CQvlComm::getModifiedServices(const QString& modifiedToken)
{
    if (!acceptRequest("CQvlComm::getModifiedServices"))
        return false;
    return doRequest(QvlCmdGetModifiedServices, 0, modifiedToken);
}

bool CQvlComm::getCaseState(int fileId, const QString& caseId)
{
    if (!acceptRequest("CQvlComm::getCaseState"))
        return false;
    m_fileId = fileId;
    m_caseId = caseId;
    return doRequest(QvlCmdGetCaseState, fileId, caseId);
}

bool CQvlComm::fail(const QString& text)
{
    m_lastError = text;
    debugLogError("CQvlComm::doRequest() " + str(text));
    m_cmdInProgress = QvlCmdNone;
    return false;
}

QUrl CQvlComm::serviceUrl(const QString& setting)
{
    QString text = setting.toLower();
    const QString endpoint = QString::fromLatin1(CSettingsMan::kDefaultQvlUrl);
    if (text == QUrl(endpoint).host())
        text = endpoint;
    const QUrl parsed(text, QUrl::TolerantMode);
    const bool https = parsed.scheme() == QLatin1String("https");
    QUrl url;
    url.setScheme(https ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(parsed.host());
    // A service on another port is reached there; without one, the scheme's own.
    url.setPort(parsed.port(https ? 443 : 80));
    url.setPath(parsed.path(QUrl::FullyEncoded), QUrl::TolerantMode);
    return url;
}

bool CQvlComm::buildCaseElement(int fileId, QString& element)
{
    if (!m_db)
        return fail("Unable to determine patient id for file=" + QString::number(fileId));
    QSqlQuery q(*m_db);
    if (!selectRow(q, QStringLiteral("select patientId from ecgTable where ecgId="), fileId))
        return fail("Unable to determine patient id for file=" + QString::number(fileId));
    const qlonglong patientId = q.value(0).toLongLong();

    QSqlQuery p(*m_db);
    if (!selectRow(p,
                   QStringLiteral("select patientName, ownerFirst, ownerLast, extId, species, "
                                  "sex, birthdate, breed, weight, weightUnit from patientTable "
                                  "where patientId="),
                   patientId))
        return fail("Unable to load patient data for patientId=" + QString::number(patientId));

    QString children;
    auto add = [&children](const char* name, const QString& value) {
        // Each value is one line, whatever the user typed into it.
        if (!value.isEmpty())
            children += QvlSoap::textElement(6, name, singleLine(value));
    };
    add("ownerFirstName", p.value(1).toString());
    add("ownerLastName", p.value(2).toString());
    add("patientId", p.value(3).toString());
    add("patientName", p.value(0).toString());
    if (const char* species = speciesText(p.value(4).toInt()))
        add("species", QLatin1String(species));
    if (const char* gender = genderText(p.value(5).toInt()))
        add("gender", QLatin1String(gender));
    const quint32 birthdate = quint32(p.value(6).toLongLong());
    if (birthdate != 0)
        add("dob", QvlSoap::utcTimeText(birthdate));
    add("breed", p.value(7).toString());
    const float weight = p.value(8).toFloat();
    if (weight != 0.0f) {
        // QString::asprintf formats in the C locale whatever the process locale is.
        add("weight", QString::asprintf("%g", double(weight)));
        add("weightUnits", p.value(9).toInt() == 1 ? QStringLiteral("POUNDS")
                                                   : QStringLiteral("KILOGRAMS"));
    }
    element = QLatin1String("    <theCase>\n") + children + QLatin1String("    </theCase>\n");
    return true;
}

bool CQvlComm::buildFileEnvelope(int fileId, const QString& caseId, const QString& start,
                                 QByteArray& envelope)
{
    if (!m_db)
        return fail("Unable to determine data for fileId=" + QString::number(fileId));
    QSqlQuery q(*m_db);
    if (!selectRow(q, QStringLiteral("select fileName from ecgTable where ecgId="), fileId))
        return fail("Unable to determine data for fileId=" + QString::number(fileId));
    const QString fileName = q.value(0).toString();

    // The row names a file inside the data folder, never a path elsewhere.
    const bool plainName = !fileName.isEmpty() && fileName != QLatin1String(".")
        && fileName != QLatin1String("..") && !fileName.contains(QLatin1Char('/'))
        && !fileName.contains(QLatin1Char('\\'));
    QString folder = m_dataFolder;
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    QFile file(folder + fileName);
    if (!plainName || !file.open(QIODevice::ReadOnly))
        return fail("Unable to load data for file=" + fileName);

    const QByteArray head =
        (start + QvlSoap::operationStart("AddFile") + QvlSoap::textElement(4, "caseId", caseId)
         + QvlSoap::textElement(4, "filename", singleLine(fileName)) + QLatin1String("    <file>"))
            .toUtf8();
    const QByteArray tail =
        (QLatin1String("</file>\n") + QvlSoap::textElement(4, "addendum", QStringLiteral("true"))
         + QvlSoap::operationEnd("AddFile") + QvlSoap::envelopeEnd())
            .toUtf8();

    // Encoded piece by piece straight into the envelope, so the file is never
    // held whole beside its Base64 text. Pieces are a multiple of 3 bytes long,
    // so their encodings join without padding in between.
    const qint64 size = file.size();
    envelope.clear();
    envelope.reserve(head.size() + (size + 2) / 3 * 4 + tail.size());
    envelope += head;
    constexpr qint64 kPiece = 3 * 65536;
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (;;) {
        qint64 got = 0;
        while (got < kPiece) {
            const qint64 n = file.read(piece.data() + got, kPiece - got);
            if (n < 0) {
                envelope = QByteArray();
                return fail("Unable to load data for file=" + fileName);
            }
            if (n == 0)
                break;
            got += n;
        }
        if (got > 0)
            envelope += QByteArray::fromRawData(piece.constData(), got).toBase64();
        if (got < kPiece)
            break;
    }
    file.close();
    envelope += tail;
    return true;
}

bool CQvlComm::doRequest(int cmd, int number, const QString& text)
{
    debugLog(4, "CQvlComm::doRequest() cmd=" + toStdString(cmd));
    m_cmdInProgress = cmd;

    const QString setting = m_settings ? m_settings->qvlUrl : QString();
    if (setting.toLower().size() < 5)
        return fail(QStringLiteral("Invalid QVL host name length"));
    const QUrl url = serviceUrl(setting);
    m_host = url.host();
    if (!isSafeForCredentials(url))
        return fail(QStringLiteral("The telemedicine service address must begin with https://: "
                                   "the password is never sent unencrypted"));

    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // A boundary no body can be made to contain by chance or by intent.
    QByteArray random(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(random.data()),
                                         reinterpret_cast<quint32*>(random.data() + random.size()));
    const QByteArray boundary = "qd100-" + random.toHex();
    const qint64 created = now - 60;
    const QString user = m_settings->qvlUserName;
    m_sentCredentials = {user, m_settings->qvlPwd, setting};
    const QString start = QvlSoap::envelopeStart(user, m_settings->qvlPwd, created);
    const QString end = QvlSoap::envelopeEnd();

    QByteArray envelope;
    switch (cmd) {
    case QvlCmdCheckUser:
    case QvlCmdCheckNetwork:
        envelope = (start + QvlSoap::emptyOperation("Test") + end).toUtf8();
        break;
    case QvlCmdInitiateCase: {
        QString caseElement;
        if (!buildCaseElement(number, caseElement))
            return false;
        const QString operation = QvlSoap::operationStart("InitiateCase") + caseElement
            + QvlSoap::textElement(4, "thirdPartySoftwareTitle", QStringLiteral("Malvorant PC"))
            + QvlSoap::textElement(4, "thirdPartySoftwareVersion",
                                   m_version + QLatin1String(", Build: ") + m_build)
            + QvlSoap::operationEnd("InitiateCase");
        envelope = (start + operation + end).toUtf8();
        // The logged copy never carries the password.
        debugLog(2, str(QvlSoap::envelopeStart(user, QStringLiteral("***"), created) + operation
                        + end));
        break;
    }
    case QvlCmdAddFile:
        if (!buildFileEnvelope(number, text, start, envelope))
            return false;
        break;
    case QvlCmdGetCaseUrl:
        envelope = (start + QvlSoap::operationStart("GetCaseURL")
                    + QvlSoap::textElement(4, "caseId", text)
                    + QvlSoap::operationEnd("GetCaseURL") + end)
                       .toUtf8();
        break;
    case QvlCmdGetModifiedServices:
    case QvlCmdGetCaseState: {
        const QString token = cmd == QvlCmdGetModifiedServices ? text : QString();
        envelope = (start + QvlSoap::operationStart("GetModifiedServices")
                    + (token.isEmpty() ? QString()
                                       : QvlSoap::textElement(4, "modifiedToken", token))
                    + QvlSoap::operationEnd("GetModifiedServices") + end)
                       .toUtf8();
        break;
    }
    default:
        return fail("Unknown QVL command " + QString::number(cmd));
    }

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QvlSoap::requestContentType(boundary));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArray("Sornhap_Q_native_") + singleLine(m_version).toUtf8());
    request.setRawHeader("Content-Encoding", "binary");
    request.setRawHeader("Connection", "close");
    request.setRawHeader("Soapaction", QByteArray(""));
    const qint64 bodyBytes = envelope.size();
    // A hung service must not keep the client busy; progress restarts the
    // clock. The service stores a file before it answers: AddFile waits as
    // long as its deadline, which follows the file's size.
    request.setTransferTimeout(cmd == QvlCmdAddFile
                                   ? qMax(m_transferTimeoutMs, requestDeadlineFor(bodyBytes))
                                   : m_transferTimeoutMs);
    // The request goes exactly as built: HTTP/1.1, no redirect followed with the body.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);

    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::RelatedType);
    multiPart->setBoundary(boundary);
    {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentTypeHeader, QvlSoap::rootPartContentType());
        part.setRawHeader("Content-Transfer-Encoding", "binary");
        part.setRawHeader("Content-ID", QvlSoap::kRootContentId);
        // A request that opens a case or adds a file goes at most once: the
        // network layer may not send it again by itself.
        if (cmd == QvlCmdAddFile || cmd == QvlCmdInitiateCase)
            part.setBodyDevice(new COneShotBody(std::move(envelope), multiPart));
        else
            part.setBody(envelope);
        multiPart->append(part);
    }
    envelope = QByteArray();

    debugLog(2, "CQvlComm::doRequest() url=" + str(url.toString()));
    QNetworkReply* reply = manager().post(request, multiPart);
    // The body lives exactly as long as its reply.
    multiPart->setParent(reply);
    if (reply->error() != QNetworkReply::NoError) {
        const QString error = reply->errorString();
        reply->deleteLater();
        return fail(error);
    }
    m_reply = reply;
    watchReply(reply, bodyBytes);
    return true;
}

// Bounds the reply in flight: its size, and its whole duration beside the
// inactivity time-out (a peer that drips bytes resets that one forever).
void CQvlComm::watchReply(QNetworkReply* reply, qint64 bodyBytes)
{
    m_abortReason.clear();
    m_abortedBySize = false;
    const qint64 limit = m_maxReplyBytes;
    auto tooLarge = [this, reply, limit](qint64 size) {
        if (size <= limit || reply != m_reply || !m_abortReason.isEmpty())
            return;
        m_abortReason = QStringLiteral("The service's reply is larger than %1 bytes").arg(limit);
        m_abortedBySize = true;
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            tooLarge(length.toLongLong());
    });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [tooLarge](qint64 received, qint64) { tooLarge(received); });
    m_deadline.start(requestDeadlineFor(bodyBytes));
}

void CQvlComm::requestDeadlinePassed()
{
    if (!m_reply || !m_abortReason.isEmpty())
        return;
    m_abortReason = QStringLiteral("%1 within %2 s").arg(QLatin1String(kNoAnswer))
                        .arg(m_deadline.interval() / 1000.0, 0, 'f', 1);
    m_reply->abort();
}

int CQvlComm::findInResponseBody(const QString& tag, const QString& text, QString& out)
{
    return findInResponseBody(tag, text, out, 0);
}

int CQvlComm::findInResponseBody(const QString& tag, const QString& text, QString& out, int from)
{
    out.clear();
    if (from < 0 || from > text.size())
        return -1;
    const int tagStart = int(text.indexOf(QLatin1Char('<') + tag, from));
    if (tagStart < 0)
        return -1;
    const int close = int(text.indexOf(QLatin1Char('>'), tagStart));
    const int valueStart = close < 0 ? -1 : close + 1;
    const int endTag =
        valueStart < 0 ? -1 : int(text.indexOf(QLatin1String("</") + tag, valueStart));
    debugLog(2, "CQvlComm::findInResponseBody() token=" + str(tag)
                    + ", tokenPos0=" + toStdString(valueStart)
                    + ", tokenPos1=" + toStdString(endTag));
    if (endTag < 0)
        return -1;
    out = text.mid(valueStart, endTag - valueStart);
    return endTag + int(tag.size()) + 3;
}

bool CQvlComm::isAuthenticationFault(const QString& text)
{
    return text.contains(QLatin1String(kAuthenticationFault));
}

bool CQvlComm::isTimeout(const QString& text)
{
    return text.startsWith(QLatin1String(kNoAnswer));
}

bool CQvlComm::endedUnclear(bool hasNetworkError, bool hasErrorResponse, const QString& lastError)
{
    return (hasNetworkError || hasErrorResponse) && !lastError.startsWith(QLatin1String("Server replied: "));
}

bool CQvlComm::caseStateHoldsFile(const QString& status)
{
    for (const char* word : {"SENDING", "RECEIVED", "RECEIPT_FAILURE", "IN_PROCESS",
                             "NEEDS_ATTENTION", "COMPLETED"})
        if (status == QLatin1String(word))
            return true;
    return false;
}

QString CQvlComm::caseClosedReason(const QString& caseId)
{
    return QLatin1String(kCaseClosed) + QLatin1Char(' ') + caseId;
}

bool CQvlComm::isCaseClosed(const QString& text)
{
    return text.startsWith(QLatin1String(kCaseClosed));
}

bool CQvlComm::isClockFault(const QString& text)
{
    return text.contains(QLatin1String("WSE065")) || text.contains(QLatin1String("Timestamp is expired"));
}

void CQvlComm::httpsReplyFinished(QNetworkReply* reply)
{
    debugLog(4, "CQvlComm::httpsReplyFinished() cmdInProgress=" + toStdString(m_cmdInProgress));
    if (!reply)
        return;
    // Released once this handler is done; the request body goes with it.
    reply->deleteLater();

    const bool current = reply == m_reply;
    if (!current && m_cmdInProgress != QvlCmdNone) {
        // A reply of a request that had already failed; the one in flight is not this.
        debugLog(2, "CQvlComm::httpsReplyFinished() reply of no request in flight dropped");
        return;
    }
    m_reply = nullptr;
    QString abortReason;
    bool abortedBySize = false;
    if (current) {
        m_deadline.stop();
        abortReason = m_abortReason;
        abortedBySize = m_abortedBySize;
        m_abortReason.clear();
        m_abortedBySize = false;
    }

    bool hasNetworkError = false;
    bool hasErrorResponse = false;
    const QVariant httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (abortedBySize) {
        // Refused by size: the service answered, but not with anything usable.
        hasErrorResponse = true;
        m_lastError = abortReason;
        debugLogError("CQvlComm::httpsReplyFinished() " + str(m_lastError));
    } else if (reply->error() != QNetworkReply::NoError) {
        hasNetworkError = true;
        m_lastError = abortReason.isEmpty() ? reply->errorString() : abortReason;
        // Qt ends a request without progress as "Operation canceled"; nobody cancelled it.
        if (abortReason.isEmpty() && reply->error() == QNetworkReply::OperationCanceledError)
            m_lastError = QStringLiteral("%1 within %2 s").arg(QLatin1String(kNoAnswer))
                              .arg(m_transferTimeoutMs / 1000.0, 0, 'f', 1);
        else if (abortReason.isEmpty() && reply->error() == QNetworkReply::TimeoutError)
            m_lastError = QLatin1String(kNoAnswer) + QLatin1String(": ") + reply->errorString();
        debugLogError("CQvlComm::httpsReplyFinished:Error: " + str(m_lastError));
        qDebug() << "CQvlComm::httpsReplyFinished:Error: " << m_lastError;
    }
    if (httpStatus.isValid() && httpStatus.toInt() != 200 && abortReason.isEmpty()) {
        // Only a 200 carries an answer; a redirect or error page never does.
        hasErrorResponse = true;
        if (!hasNetworkError)
            m_lastError = QStringLiteral("Server replied with HTTP status %1").arg(httpStatus.toInt());
        debugLogError("CQvlComm::httpsReplyFinished() HTTP status " + toStdString(httpStatus.toInt()));
    }

    // An aborted reply (time-out, size) is closed and has no body left to read.
    const QString body = reply->isOpen() && abortReason.isEmpty()
        ? QString::fromUtf8(reply->read(m_maxReplyBytes))
        : QString();

    QString faultText;
    if (findInResponseBody(QStringLiteral("faultstring"), body, faultText) >= 0) {
        hasErrorResponse = true;
        m_lastError = QLatin1String("Server replied: ") + faultText;
        debugLogError("CQvlComm::httpsReplyFinished() " + logExcerpt(m_lastError));
    }

    const int cmd = current ? m_cmdInProgress : int(QvlCmdNone);
    m_cmdInProgress = QvlCmdNone;

    auto decodeFailure = [&]() {
        m_lastError = QStringLiteral("Unable to decode QVL response");
        debugLogError(str(m_lastError) + ": " + logExcerpt(body));
        hasErrorResponse = true;
    };

    // Everything an answer needs is read into locals first: an answer may
    // start the next request (or end this object), so no member is touched
    // once the first answer has been called.
    CQvlCallbackInterface* const callback = m_callback;
    const int fileId = m_fileId;
    const QString sentCaseId = m_caseId;
    if (!callback)
        return;
    // Readable by the answers; this object may be gone once they are done.
    m_answering = cmd;
    m_answeredCredentials = m_sentCredentials;
    const QPointer<CQvlComm> self(this);
    struct AnswerEnd
    {
        const QPointer<CQvlComm>& client;
        ~AnswerEnd()
        {
            if (client) {
                client->m_answering = QvlCmdNone;
                client->m_answeredCredentials = QvlCredentials();
            }
        }
    } answerEnd{self};

    switch (cmd) {
    case QvlCmdCheckUser: {
        // Only an explicit true verifies the account.
        QString value;
        const bool verified = !hasNetworkError && !hasErrorResponse
            && findInResponseBody(QStringLiteral("return"), body, value) >= 0
            && value.trimmed() == QLatin1String("true");
        callback->qvlRespCheckUser(hasNetworkError, hasErrorResponse, verified);
        break;
    }
    case QvlCmdInitiateCase:
    case QvlCmdGetCaseUrl: {
        QString value;
        if (!hasNetworkError && !hasErrorResponse) {
            // An empty value is no case id and no address either.
            if (findInResponseBody(QStringLiteral("return"), body, value) < 0
                || value.trimmed().isEmpty())
                decodeFailure();
            else if (cmd == QvlCmdGetCaseUrl)
                value.replace(QLatin1String("&amp;"), QLatin1String("&"));
        }
        const bool failed = hasNetworkError || hasErrorResponse;
        const QString argument = failed ? faultText : value;
        const bool authFault = hasErrorResponse && isAuthenticationFault(m_lastError);
        if (cmd == QvlCmdGetCaseUrl) {
            callback->qvlRespGetCaseUrl(hasNetworkError, hasErrorResponse, fileId, argument);
            break;
        }
        callback->qvlRespInitiateCase(hasNetworkError, hasErrorResponse, fileId, argument);
        if (authFault) {
            debugLogError("CQvlComm::httpsReplyFinished() Authentication Error");
            callback->qvlRespCheckUser(false, false, false);
        }
        break;
    }
    case QvlCmdAddFile: {
        QString value;
        if (!hasNetworkError && !hasErrorResponse
            && findInResponseBody(QStringLiteral("return"), body, value) < 0)
            decodeFailure();
        callback->qvlRespAddFile(hasNetworkError, hasErrorResponse, fileId, sentCaseId);
        break;
    }
    case QvlCmdGetModifiedServices: {
        QString token;
        int rest = -1;
        if (!hasNetworkError && !hasErrorResponse) {
            QString ignored;
            if (findInResponseBody(QStringLiteral("return"), body, ignored) < 0)
                decodeFailure();
            else if ((rest = findInResponseBody(QStringLiteral("modifiedSinceToken"), body,
                                                token))
                     < 0)
                decodeFailure();
        }
        const bool authFault = hasErrorResponse && isAuthenticationFault(m_lastError);
        const bool listCases = !hasNetworkError && !hasErrorResponse;
        callback->qvlRespGetModifiedServices1(hasNetworkError, hasErrorResponse,
                                              listCases ? token : QString());
        if (authFault) {
            debugLogError("CQvlComm::httpsReplyFinished() Authentication Error");
            callback->qvlRespCheckUser(false, false, false);
        }
        if (listCases) {
            // One pass over the body: each search starts where the last ended.
            int position = rest;
            QString caseId;
            QString status;
            while (findInResponseBody(QStringLiteral("caseId"), body, caseId, position) >= 0) {
                const int next = findInResponseBody(QStringLiteral("status"), body, status, position);
                if (next < 0)
                    break;
                callback->qvlRespGetModifiedServices2(caseId, status);
                position = next;
            }
        }
        callback->qvlRespGetModifiedServicesDone();
        break;
    }
    case QvlCmdGetCaseState: {
        // The state listed for the case; every case is listed, so one not
        // listed is unknown to the service.
        QString status;
        int position = -1;
        if (!hasNetworkError && !hasErrorResponse) {
            position = int(body.indexOf(QLatin1String("<return")));
            if (position < 0)
                decodeFailure();
        }
        if (position >= 0) {
            QString caseId;
            QString word;
            while (findInResponseBody(QStringLiteral("caseId"), body, caseId, position) >= 0) {
                const int next = findInResponseBody(QStringLiteral("status"), body, word, position);
                if (next < 0)
                    break;
                if (caseId == sentCaseId) {
                    status = word;
                    break;
                }
                position = next;
            }
        }
        const bool authFault = hasErrorResponse && isAuthenticationFault(m_lastError);
        callback->qvlRespCaseState(hasNetworkError, hasErrorResponse, fileId, sentCaseId, status);
        if (authFault) {
            debugLogError("CQvlComm::httpsReplyFinished() Authentication Error");
            callback->qvlRespCheckUser(false, false, false);
        }
        break;
    }
    case QvlCmdCheckNetwork: {
        const bool reachable = !hasNetworkError && !hasErrorResponse
            && body.contains(QLatin1String("<return"));
        debugLogError("CQvlComm::Error" + logExcerpt(body));
        const bool clockOutOfSync = !reachable && isClockFault(faultText);
        callback->qvlRespCheckNetwork(hasNetworkError, hasErrorResponse, clockOutOfSync);
        break;
    }
    default:
        break;
    }
}
