#ifndef MALVORANT_TESTS_LIVETAP_H
#define MALVORANT_TESTS_LIVETAP_H

#include "liveview.h"

#include <QList>

// Sits between the live view and its real source and notes the index of
// every beat-flagged sample it hands on.
class TapSource : public LiveSource
{
public:
    explicit TapSource(LiveSource* inner) : m_inner(inner) {}
    bool getData(EcgStreamSample* out) override
    {
        const bool ok = m_inner->getData(out);
        if (ok && out->type >= 0) {
            if (out->type == ECG_SAMPLE_RPEAK)
                beats << samples;
            ++samples;
        }
        return ok;
    }
    bool isConnected() const override { return m_inner->isConnected(); }
    bool isBatteryLow() const override { return m_inner->isBatteryLow(); }
    void startStop(bool start) override
    {
        ++(start ? starts : stops);
        m_inner->startStop(start);
    }
    bool hasDevice() const override { return m_inner->hasDevice(); }

    QList<int> beats;
    int samples = 0;
    int starts = 0;
    int stops = 0;

private:
    LiveSource* m_inner;
};

#endif
