#ifndef MALVORANT_TESTS_QVLREPLIES_H
#define MALVORANT_TESTS_QVLREPLIES_H

// The service's answers as the stand-in sends them, and the parts of a
// request the tests look at.

#include "qvlstandin.h"

#include <QByteArray>

inline constexpr const char* kNs = "http://qvlintegrations.quorvale.example/";
inline constexpr const char* kPath = "/qvlintegrations/qvltms.asmx";
inline constexpr const char* kAuthFault =
    "Server was unable to process request. ---> The security token could not be "
    "authenticated or authorized";
inline constexpr const char* kClockFault =
    "WSE065: Creation time of the timestamp is in the future. Timestamp is expired";

// A successful reply to `operation` holding the given inner elements.
inline QByteArray okReply(const QByteArray& operation, const QByteArray& inner)
{
    return soapReply("<ns2:" + operation + "Response xmlns:ns2=\"" + kNs + "\">" + inner
                     + "</ns2:" + operation + "Response>");
}

// The operation a request body calls, "?" when none the tests know.
inline QByteArray operationOf(const QByteArray& body)
{
    for (const char* op : {"InitiateCase", "AddFile", "GetCaseURL", "GetModifiedServices", "Test"})
        if (body.contains("<ns2:" + QByteArray(op)))
            return op;
    return "?";
}

// The text of the first <name> element of a request body, empty when absent.
inline QByteArray elementOf(const QByteArray& body, const QByteArray& name)
{
    const qsizetype from = body.indexOf("<" + name + ">");
    const qsizetype to = body.indexOf("</" + name + ">");
    if (from < 0 || to < from)
        return QByteArray();
    return body.mid(from + name.size() + 2, to - from - name.size() - 2);
}

#endif
