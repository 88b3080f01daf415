#ifndef MALVORANT_ONESHOTBODY_H
#define MALVORANT_ONESHOTBODY_H

#include <QByteArray>
#include <QIODevice>

// A request body that can be read once. The network layer sends a request
// again by itself when the line drops while it waits for the answer; it
// rewinds the body first. Refusing the rewind once any byte went out makes
// that end in an error instead, so a request that changes something at the
// service (AddFile) leaves this computer at most once.
class COneShotBody : public QIODevice
{
    Q_OBJECT

public:
    explicit COneShotBody(QByteArray data, QObject* parent = nullptr);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }
    bool seek(qint64 pos) override;
    bool reset() override;
    // Whether a rewind was asked for after the body had been read from.
    bool rewindRefused() const { return m_rewindRefused; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_handedOut = 0;
    bool m_rewindRefused = false;
};

#endif
