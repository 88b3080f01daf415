#include "qvlsoap.h"

#include <QDateTime>

namespace QvlSoap {

const char* const kServiceNamespace = "http://qvlintegrations.quorvale.example/";
const char* const kRootContentId = "<qvl.root.message@malvorant.example>";

namespace {

const char* const kSoapNs = "http://schemas.xmlsoap.org/soap/envelope/";
const char* const kWsseNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
const char* const kWsuNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
const char* const kPasswordText =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
    "#PasswordText";

bool allowedBmp(char16_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
        || (c >= 0xE000 && c <= 0xFFFD);
}

} // namespace

QString escapeXml(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            // Characters above U+FFFF are allowed; only a whole pair is one.
            if (i + 1 < n && text.at(i + 1).isLowSurrogate()) {
                out += c;
                out += text.at(++i);
            }
            continue;
        }
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        default:
            if (allowedBmp(c.unicode()))
                out += c;
            break;
        }
    }
    return out;
}

QString utcTimeText(qint64 secondsSinceEpoch)
{
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'.000Z'"));
}

QString envelopeStart(const QString& user, const QString& password, qint64 created)
{
    QString s;
    s += QStringLiteral("<soap:Envelope xmlns:soap=\"%1\">\n").arg(QLatin1String(kSoapNs));
    s += QLatin1String("<soap:Header>\n");
    s += QStringLiteral("  <wsse:Security xmlns:SOAP-ENV=\"%1\" xmlns:wsse=\"%2\" "
                        "SOAP-ENV:mustUnderstand=\"1\">\n")
             .arg(QLatin1String(kSoapNs), QLatin1String(kWsseNs));
    s += QStringLiteral("  <wsu:Timestamp xmlns:wsu=\"%1\" wsu:Id=\"Timestamp\">\n")
             .arg(QLatin1String(kWsuNs));
    s += QLatin1String("    <wsu:Created>") + utcTimeText(created)
        + QLatin1String("</wsu:Created>\n");
    s += QLatin1String("    <wsu:Expires>") + utcTimeText(created + 300)
        + QLatin1String("</wsu:Expires></wsu:Timestamp>\n");
    s += QLatin1String("  <wsse:UsernameToken><wsse:Username>") + escapeXml(user)
        + QLatin1String("</wsse:Username>\n");
    s += QStringLiteral("    <wsse:Password Type=\"%1\">").arg(QLatin1String(kPasswordText))
        + escapeXml(password) + QLatin1String("</wsse:Password>\n");
    s += QLatin1String("  </wsse:UsernameToken></wsse:Security>\n");
    s += QLatin1String("</soap:Header>\n");
    s += QLatin1String("<soap:Body>\n");
    return s;
}

QString envelopeEnd()
{
    return QStringLiteral("</soap:Body>\n</soap:Envelope>");
}

QString operationStart(const char* operation)
{
    return QStringLiteral("  <ns2:%1 xmlns:ns2=\"%2\">\n")
        .arg(QLatin1String(operation), QLatin1String(kServiceNamespace));
}

QString operationEnd(const char* operation)
{
    return QStringLiteral("  </ns2:%1>\n").arg(QLatin1String(operation));
}

QString emptyOperation(const char* operation)
{
    return QStringLiteral("  <ns2:%1 xmlns:ns2=\"%2\"/>\n")
        .arg(QLatin1String(operation), QLatin1String(kServiceNamespace));
}

QString textElement(int indent, const char* name, const QString& text)
{
    const QLatin1String tag(name);
    return QString(qMax(indent, 0), QLatin1Char(' ')) + QLatin1Char('<') + tag
        + QLatin1Char('>') + escapeXml(text) + QLatin1String("</") + tag
        + QLatin1String(">\n");
}

QByteArray requestContentType(const QByteArray& boundary)
{
    return QByteArray("multipart/related; type=\"application/xop+xml\"; boundary=\"") + boundary
        + "\"; start=\"" + kRootContentId + "\"; start-info=\"text/xml\"";
}

QByteArray rootPartContentType()
{
    return QByteArrayLiteral("application/xop+xml; charset=\"UTF-8\"; type=\"text/xml\"");
}

} // namespace QvlSoap
