#ifndef MALVORANT_TEST_DEVICESTREAMWRITER_H
#define MALVORANT_TEST_DEVICESTREAMWRITER_H

// Device streams of both protocols, written from the byte layout alone, so the
// decoder's tests do not check it against its own tables. Header-only; the
// decode benchmark uses it too.

#include <QByteArray>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace teststream {

inline void putEscaped(QByteArray& out, std::uint8_t b)
{
    if (b == 0xC0) {
        out.append(char(0xDB));
        out.append(char(0xDC));
    } else if (b == 0xDB) {
        out.append(char(0xDB));
        out.append(char(0xDD));
    } else if (b == 0x2B) {
        out.append(char(0xDB));
        out.append(char(0xDE));
    } else {
        out.append(char(b));
    }
}

// One frame: 0xC0, the escaped bytes, 0xC0.
inline QByteArray frameBytes(const QByteArray& raw)
{
    QByteArray out;
    out.append(char(0xC0));
    for (char c : raw)
        putEscaped(out, std::uint8_t(c));
    out.append(char(0xC0));
    return out;
}

inline QByteArray wordsToBytes(const std::vector<std::uint16_t>& words)
{
    QByteArray raw;
    for (std::uint16_t w : words) {
        raw.append(char(w >> 8));
        raw.append(char(w & 0xFF));
    }
    return raw;
}

// Word builders of the first protocol: kind in bits 15-14, flags 13-12, value 11-0.
inline std::uint16_t leadIIWord(int raw, bool toggle = false, bool battery = false)
{
    return std::uint16_t((toggle ? 0x2000 : 0) | (battery ? 0x1000 : 0) | (raw & 0xFFF));
}
inline std::uint16_t leadIWord(int raw, bool toggle = false, bool battery = false)
{
    return std::uint16_t(0x4000 | (toggle ? 0x2000 : 0) | (battery ? 0x1000 : 0) | (raw & 0xFFF));
}
inline std::uint16_t fillWord() { return 0x8000; }
inline std::uint16_t injectWord(int value) { return std::uint16_t(0xB000 | (value & 0xFFF)); }
inline std::uint16_t statusWord(int gain, int number)
{
    return std::uint16_t(0xC000 | ((gain & 3) << 12) | (number & 0xFFF));
}

// Quantises generator values (decoded units) into the device's 12-bit words.
// Lead II travels negated.
inline int quantiseI(double v, double factor = 0.595)
{
    long r = std::lround(2048.0 + v / factor);
    return int(r < 0 ? 0 : (r > 4095 ? 4095 : r));
}
inline int quantiseII(double v, double factor = 0.595)
{
    long r = std::lround(2048.0 - v / factor);
    return int(r < 0 ? 0 : (r > 4095 ? 4095 : r));
}

struct RawPair {
    int rawII;
    int rawI;
};

// First protocol: packs sample pairs into packets of 63 channel words and a
// status word; flags for a packet are set before its first word is written.
class FramedWriter
{
public:
    int gain = 3;
    int nextNumber = 0;
    bool toggle = false;   // marks the packets being written
    bool battery = false;

    void addSample(int rawII, int rawI)
    {
        addChannelWord(false, rawII);
        addChannelWord(true, rawI);
    }

    // One channel word, lead II and lead I in turn.
    void addChannel(int raw) { addChannelWord(m_nextIsI, raw); }

    // Device information as an inject packet (11 data words and terminator).
    void injectInfo(std::uint32_t a, std::int32_t b, std::int32_t c, std::uint32_t d, std::uint32_t e, std::uint32_t f)
    {
        const std::uint32_t bm = std::uint32_t(b < 0 ? -std::int64_t(b) : b) & 0x7FFFFFFF;
        const std::uint32_t cm = std::uint32_t(c < 0 ? -std::int64_t(c) : c) & 0x7FFFFFFF;
        std::vector<std::uint16_t> w;
        w.push_back(injectWord(0));
        w.push_back(injectWord(int(a >> 20)));
        w.push_back(injectWord(int((a >> 8) & 0xFFF)));
        w.push_back(injectWord(int(((a & 0xFF) << 4) | (b < 0 ? 8 : 0) | (bm >> 28))));
        w.push_back(injectWord(int((bm >> 16) & 0xFFF)));
        w.push_back(injectWord(int((bm >> 4) & 0xFFF)));
        w.push_back(injectWord(int(((bm & 0xF) << 8) | (c < 0 ? 0x80 : 0) | (cm >> 24))));
        w.push_back(injectWord(int((cm >> 12) & 0xFFF)));
        w.push_back(injectWord(int(cm & 0xFFF)));
        w.push_back(injectWord(int((d >> 1) & 0xFFF)));
        w.push_back(injectWord(int(((d & 1) << 11) | (e & 0x7FF))));
        w.push_back(injectWord(int(f & 0xFFF)));
        w.push_back(0xBAAA);
        w.push_back(statusWord(gain, previousNumber()));
        out += frameBytes(wordsToBytes(w));
    }

    void injectMark(int mark)
    {
        std::vector<std::uint16_t> w{injectWord(1), injectWord(mark), 0xBAAA, statusWord(gain, previousNumber())};
        out += frameBytes(wordsToBytes(w));
    }

    // Words of the packet in progress (tests may change them before closing).
    std::vector<std::uint16_t> words;
    QByteArray out;

    void closePacket(int number)
    {
        std::vector<std::uint16_t> w = words;
        w.push_back(statusWord(gain, number));
        out += frameBytes(wordsToBytes(w));
        words.clear();
        nextNumber = (number + 1) % 4096;
    }

    int previousNumber() const { return nextNumber == 0 ? 4095 : nextNumber - 1; }

private:
    bool m_nextIsI = false;

    void addChannelWord(bool leadI, int raw)
    {
        m_nextIsI = !leadI;
        const bool first = words.empty();
        const bool t = toggle && first;
        const bool b = battery && first;
        words.push_back(leadI ? leadIWord(raw, t, b) : leadIIWord(raw, t, b));
        if (words.size() == 63)
            closePacket(nextNumber);
    }
};

// Second protocol: packets of triplets with a 16-bit check sum.
using Triplet = std::array<std::uint8_t, 3>;

inline QByteArray iapPacket(int type, int number, const std::vector<Triplet>& data, std::uint8_t status,
                            bool corruptSum = false)
{
    QByteArray raw;
    unsigned sum = 0;
    auto put = [&](std::uint8_t b) {
        raw.append(char(b));
        sum += b;
    };
    put(std::uint8_t(type));
    put(std::uint8_t((number >> 8) & 0xFF));
    put(std::uint8_t(number & 0xFF));
    for (const Triplet& t : data)
        for (std::uint8_t b : t)
            put(b);
    put(status);
    sum &= 0xFFFF;
    if (corruptSum)
        sum ^= 0x0101;
    raw.append(char(sum >> 8));
    raw.append(char(sum & 0xFF));
    return frameBytes(raw);
}

inline Triplet samplePairTriplet(int rawII, int rawI)
{
    return Triplet{std::uint8_t(rawII >> 4), std::uint8_t(((rawII & 0xF) << 4) | ((rawI >> 8) & 0xF)),
                   std::uint8_t(rawI & 0xFF)};
}

// Packs sample pairs into type-0 packets of 62 pairs.
class IapWriter
{
public:
    int nextNumber = 0;
    std::uint8_t status = 0;   // status byte of the packets being written
    QByteArray out;
    std::vector<Triplet> pending;

    void addSample(int rawII, int rawI)
    {
        pending.push_back(samplePairTriplet(rawII, rawI));
        if (pending.size() == 62) {
            out += iapPacket(0, nextNumber, pending, status);
            nextNumber = (nextNumber + 1) & 0xFFFF;
            pending.clear();
        }
    }

    void deviceInfo(std::uint32_t a, std::int32_t b, std::int32_t c, std::uint32_t d, std::uint32_t e, std::uint8_t f)
    {
        const std::uint32_t bm = std::uint32_t(b < 0 ? -std::int64_t(b) : b) & 0x7FFFFFFF;
        const std::uint32_t cm = std::uint32_t(c < 0 ? -std::int64_t(c) : c) & 0x7FFFFFFF;
        std::vector<Triplet> t(5);
        t[0] = Triplet{std::uint8_t(a >> 24), std::uint8_t(a >> 16), std::uint8_t(a >> 8)};
        t[1] = Triplet{std::uint8_t(a), std::uint8_t((b < 0 ? 0x80 : 0) | (bm >> 24)), std::uint8_t(bm >> 16)};
        t[2] = Triplet{std::uint8_t(bm >> 8), std::uint8_t(bm), std::uint8_t((c < 0 ? 0x80 : 0) | (cm >> 24))};
        t[3] = Triplet{std::uint8_t(cm >> 16), std::uint8_t(cm >> 8), std::uint8_t(cm)};
        t[4] = Triplet{std::uint8_t(d >> 5), std::uint8_t(((d & 0x1F) << 3) | ((e >> 8) & 7)), std::uint8_t(e)};
        out += iapPacket(1, nextNumber, t, f);
        nextNumber = (nextNumber + 1) & 0xFFFF;
    }

    // Bytes laid out over the data triplets in order, padded to 62 triplets.
    void bytesPacket(int type, const QByteArray& bytes, std::uint8_t st = 0)
    {
        std::vector<Triplet> t(62, Triplet{0, 0, 0});
        for (int i = 0; i < bytes.size() && i < 62 * 3; ++i)
            t[std::size_t(i / 3)][std::size_t(i % 3)] = std::uint8_t(bytes[i]);
        out += iapPacket(type, nextNumber, t, st);
        nextNumber = (nextNumber + 1) & 0xFFFF;
    }
};

} // namespace teststream

#endif
