#include "qvlservicestore.h"

#include "qvlreplies.h"

#include <QCryptographicHash>

QvlServiceStore::Case& QvlServiceStore::addCase(const QByteArray& id, const QByteArray& state)
{
    Case c;
    c.id = id;
    c.state = state;
    cases.append(c);
    return cases.last();
}

const QvlServiceStore::Case* QvlServiceStore::find(const QByteArray& id) const
{
    for (const Case& c : cases)
        if (c.id == id)
            return &c;
    return nullptr;
}

int QvlServiceStore::copiesOf(const QByteArray& sha256) const
{
    int n = 0;
    for (const Case& c : cases)
        for (const StoredFile& f : c.files)
            n += f.sha256 == sha256 ? 1 : 0;
    return n;
}

void QvlServiceStore::serve(const StandInRequest& r)
{
    const QByteArray op = operationOf(r.body);
    ops << op;
    m_server->setAction(QvlStandIn::Action::Reply);
    if (op == "InitiateCase") {
        const QByteArray id = "C-" + QByteArray::number(m_nextCase++);
        addCase(id, "STARTED");
        m_server->setReply(200, okReply(op, "<return>" + id + "</return>"));
    } else if (op == "AddFile") {
        const QByteArray id = elementOf(r.body, "caseId");
        Case* target = nullptr;
        for (Case& c : cases)
            if (c.id == id)
                target = &c;
        if (!target) {
            m_server->setReply(500, soapFault("Server was unable to process request. ---> No such case"));
            return;
        }
        const QByteArray data = QByteArray::fromBase64(elementOf(r.body, "file"),
                                                       QByteArray::AbortOnBase64DecodingErrors);
        StoredFile f;
        f.name = elementOf(r.body, "filename");
        f.size = data.size();
        f.sha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        target->files.append(f);
        target->state = "RECEIVED";
        m_server->setReply(200, okReply(op, "<return>true</return>"));
        const AddFileEnd end = nextAddFileEnd;
        nextAddFileEnd = AddFileEnd::Answer;
        switch (end) {
        case AddFileEnd::Answer:
            break;
        case AddFileEnd::CutReset:
            m_server->setAction(QvlStandIn::Action::Reset);
            break;
        case AddFileEnd::CutClosed:
            m_server->setAction(QvlStandIn::Action::Close);
            break;
        case AddFileEnd::Slow:
            m_server->delayMs = slowMs;
            m_server->setAction(QvlStandIn::Action::Delay);
            break;
        }
    } else if (op == "GetCaseURL") {
        m_server->setReply(200, okReply(op, "<return>https://cases.example/view?case="
                                                + elementOf(r.body, "caseId")
                                                + "&amp;lang=en</return>"));
    } else if (op == "GetModifiedServices") {
        QByteArray list;
        for (const Case& c : cases)
            list += "<services><caseId>" + c.id + "</caseId><status>" + c.state
                + "</status></services>";
        m_server->setReply(200, okReply(op, "<return><modifiedSinceToken>T-"
                                                + QByteArray::number(++m_token)
                                                + "</modifiedSinceToken>" + list + "</return>"));
    } else {
        m_server->setReply(200, okReply("Test", "<return>true</return>"));
    }
}
