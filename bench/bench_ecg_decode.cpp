// Decoding (with the decoder's own filters and R-peak detector) of one hour
// of device stream in each protocol, as a multiple of real time.
#include "datcodec.h"
#include "synthecg.h"

#include "../tests/common/devicestreamwriter.h"

#include <chrono>
#include <cstdio>

namespace {
double decodeSeconds(const QByteArray& stream, long long* samples)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        CDatCodec codec;
        codec.setDeviceType(1);
        EcgStreamSample rec{};
        long long n = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const unsigned char* p = reinterpret_cast<const unsigned char*>(stream.constData());
        const unsigned char* end = p + stream.size();
        for (; p != end; ++p)
            if (codec.decode(*p, &rec) && rec.type >= 0)
                ++n;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best)
            best = s;
        *samples = n;
    }
    return best;
}
}

int main()
{
    const int seconds = 3600;
    SynthEcgParams p;
    p.heartRate = 120;
    p.amplitude = 288;
    p.noise = 2;
    p.mainsAmplitude = 10;
    CSynthEcg gen(p);
    teststream::FramedWriter framed;
    teststream::IapWriter iap;
    for (int i = 0; i < seconds * CSynthEcg::kSampleRate; ++i) {
        const SynthEcgSample s = gen.next();
        const int ii = teststream::quantiseII(s.leadII);
        const int in = teststream::quantiseI(s.leadI);
        framed.addSample(ii, in);
        iap.addSample(ii, in);
    }
    long long n1 = 0, n2 = 0;
    const double t1 = decodeSeconds(framed.out, &n1);
    const double t2 = decodeSeconds(iap.out, &n2);
    const double streamSeconds = double(n1 + n2) / CSynthEcg::kSampleRate;
    std::fprintf(stderr, "first protocol %.3f s, second protocol %.3f s, %lld + %lld samples\n", t1, t2, n1, n2);
    std::printf("BENCH decode_realtime %.0f x\n", streamSeconds / (t1 + t2));
    return 0;
}
