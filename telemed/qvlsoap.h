#ifndef MALVORANT_QVLSOAP_H
#define MALVORANT_QVLSOAP_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Text pieces of the telemedicine service's SOAP requests: the envelope with
// its WS-Security header, the operation elements, the multipart headers.
namespace QvlSoap {

// The service's own XML namespace, declared with the prefix ns2 on every
// operation element.
extern const char* const kServiceNamespace;
// Content id of the one (root) MIME part, angle brackets included.
extern const char* const kRootContentId;

// Makes text safe as XML character data or attribute value: '&' first, then
// '<', '>' and '"' as entities; characters XML 1.0 does not allow (control
// characters other than tab, line feed and carriage return, lone surrogates,
// U+FFFE and U+FFFF) are dropped.
QString escapeXml(const QString& text);

// Unix seconds as UTC "yyyy-mm-ddThh:mm:ss.000Z".
QString utcTimeText(qint64 secondsSinceEpoch);

// Everything before the operation element: the envelope start tag, the
// security header (user-name token and a time stamp from created to
// created + 300 s) and "<soap:Body>". user and password are raw text.
QString envelopeStart(const QString& user, const QString& password, qint64 created);
// Everything after the operation element.
QString envelopeEnd();

// "  <ns2:op xmlns:ns2=...>" line, its end tag line, and the self-closing form.
QString operationStart(const char* operation);
QString operationEnd(const char* operation);
QString emptyOperation(const char* operation);
// One child line: indent spaces, <name>, the escaped text, </name>.
QString textElement(int indent, const char* name, const QString& text);

// The request's Content-Type for the given boundary and the root part's.
QByteArray requestContentType(const QByteArray& boundary);
QByteArray rootPartContentType();

} // namespace QvlSoap

#endif
