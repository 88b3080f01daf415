#ifndef MALVORANT_TESTS_QVLSERVICESTORE_H
#define MALVORANT_TESTS_QVLSERVICESTORE_H

// The stand-in service with a memory, written from the client's requests:
// InitiateCase opens a case ("STARTED"), AddFile stores the decoded file in
// its case ("RECEIVED"), GetCaseURL gives the case's page, and
// GetModifiedServices lists every case with its state (with or without a
// token) and a new token. Switches decide how the next AddFile ends after its
// file was stored.

#include "qvlstandin.h"

#include <QByteArray>
#include <QList>

class QvlServiceStore
{
public:
    struct StoredFile
    {
        QByteArray name;
        QByteArray sha256;
        qint64 size = 0;
    };
    struct Case
    {
        QByteArray id;
        QByteArray state = "STARTED";
        QList<StoredFile> files;
    };
    enum class AddFileEnd {
        Answer,    // answer at once
        CutReset,  // store, then reset the line without an answer
        CutClosed, // store, then close the line without an answer
        Slow       // store, answer after slowMs
    };

    explicit QvlServiceStore(QvlStandIn* server) : m_server(server) {}

    // The request handler; install with server->setOnRequest.
    void serve(const StandInRequest& r);

    // How the next AddFile ends (then back to Answer).
    AddFileEnd nextAddFileEnd = AddFileEnd::Answer;
    int slowMs = 0;

    QList<Case> cases;
    QList<QByteArray> ops; // every operation called, in order
    // Adds a case as an earlier run left it.
    Case& addCase(const QByteArray& id, const QByteArray& state);
    const Case* find(const QByteArray& id) const;
    // How many stored files, in all cases, have this SHA-256.
    int copiesOf(const QByteArray& sha256) const;

private:
    QvlStandIn* m_server = nullptr;
    int m_nextCase = 1;
    int m_token = 0;
};

#endif
