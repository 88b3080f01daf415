#ifndef MALVORANT_TEST_LINKOWNER_H
#define MALVORANT_TEST_LINKOWNER_H

// Stands where the bridge stands for the device link: receives the stream's
// and the socket layer's events and relays the latter to the stream, and can
// drain the stream on a timer as the live view does.

#include "rawstreambt.h"

#include <QList>
#include <QTimer>

#include <vector>

class TestLinkOwner : public CRawStreamCallbackInterface, public CWinbluezCallbackInterface
{
public:
    CRawStream* stream = nullptr;
    QList<int> discoverKinds;
    QList<QString> discoverTexts;
    QList<BtDeviceEntry> lastTable;
    int lastCount = 0;
    QList<int> connectErrors;
    QList<QString> connectTexts;
    int retries = 0;
    int disconnectedReports = 0;
    QList<QString> addedNames;
    int stopAfterRetries = 0; // like the bridge: stop acquisition after this many losses

    void rawStreamRespReserved1(QString, QString) override {}
    void rawStreamRespReserved2(QString) override {}
    void rawStreamRespDiscoverBt(int kind, QString text, int count, BtDeviceEntry table[5]) override
    {
        discoverKinds << kind;
        discoverTexts << text;
        lastCount = count;
        lastTable.clear();
        for (int i = 0; i < count && i < 5; ++i)
            lastTable << table[i];
    }
    void rawStreamRespConnectBt(int error, QString text) override
    {
        connectErrors << error;
        connectTexts << text;
    }
    void onConnectRetry() override
    {
        ++retries;
        if (stopAfterRetries > 0 && retries == stopAfterRetries && stream)
            stream->startStop(false);
    }
    void winbluezAddDevice(QString name, quint64 address) override
    {
        addedNames << name;
        if (stream)
            stream->btAddDevice(name, address);
    }
    void winbluezDisconnected() override
    {
        ++disconnectedReports;
        if (stream)
            stream->btDisconnected();
    }
};

// Pulls every complete record out of a stream, as the live tick does.
class TestDrain
{
public:
    explicit TestDrain(CRawStream* s, int intervalMs = 20) : m_stream(s)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { drain(); });
        m_timer.start();
    }
    void drain()
    {
        EcgStreamSample rec{};
        while (m_stream->getData(&rec)) {
            records.push_back(rec);
            rec = EcgStreamSample{};
        }
    }
    int samples() const
    {
        int n = 0;
        for (const auto& r : records)
            n += r.type >= 0 ? 1 : 0;
        return n;
    }
    std::vector<EcgStreamSample> records;

private:
    CRawStream* m_stream;
    QTimer m_timer;
};

#endif
