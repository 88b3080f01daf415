#ifndef MALVORANT_TESTS_DATCODECTESTING_H
#define MALVORANT_TESTS_DATCODECTESTING_H

#include "datcodec.h"
#include "devicestreamwriter.h"
#include "synthecg.h"

#include <QByteArray>

#include <cstring>
#include <vector>

// Decoding helpers shared by the decoder's tests.
namespace teststream {

// A record whose every byte starts as 0xA5, so tests see what the decoder wrote.
inline EcgStreamSample sentinelRecord()
{
    EcgStreamSample s;
    std::memset(&s, 0xA5, sizeof(s));
    return s;
}

inline std::vector<EcgStreamSample> decodeAll(CDatCodec& codec, const QByteArray& bytes)
{
    std::vector<EcgStreamSample> out;
    EcgStreamSample rec = sentinelRecord();
    for (char c : bytes) {
        if (codec.decode(static_cast<unsigned char>(c), &rec)) {
            out.push_back(rec);
            rec = sentinelRecord();
        }
    }
    return out;
}

inline int countType(const std::vector<EcgStreamSample>& recs, int type)
{
    int n = 0;
    for (const auto& r : recs)
        n += r.type == type ? 1 : 0;
    return n;
}

inline std::vector<EcgStreamSample> samplesOf(const std::vector<EcgStreamSample>& recs)
{
    std::vector<EcgStreamSample> s;
    for (const auto& r : recs)
        if (r.type >= 0)
            s.push_back(r);
    return s;
}

// n samples of the generator as the device sends them in protocol 0 (framed)
// or 1 (IAP).
inline QByteArray deviceStream(CSynthEcg& gen, int protocol, int n)
{
    FramedWriter fw;
    IapWriter iw;
    for (int i = 0; i < n; ++i) {
        const SynthEcgSample s = gen.next();
        if (protocol == 0)
            fw.addSample(quantiseII(s.leadII), quantiseI(s.leadI));
        else
            iw.addSample(quantiseII(s.leadII), quantiseI(s.leadI));
    }
    return protocol == 0 ? fw.out : iw.out;
}

} // namespace teststream

#endif
