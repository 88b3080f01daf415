#include "datcodec.h"

#include "debuglog.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {
constexpr unsigned char kFrameEnd = 0xC0;
constexpr unsigned char kEscape = 0xDB;
constexpr int kFramedMaxBytes = 128;
constexpr int kWordsPerPacket = 63;
constexpr int kBatteryCountdown = 150;
constexpr int kBatteryLowAbove = 130;
constexpr std::uint16_t kInjectTerminator = 0xBAAA;

// Escape decoding of one byte; returns the data byte or -1 when the byte was
// consumed by the framing. `frameEnd` is set for 0xC0 outside an escape.
int unframe(int& esc, unsigned char byte, bool& frameEnd)
{
    frameEnd = false;
    // A frame end is never data, not even after an escape: a byte lost in
    // front of it must not merge two frames.
    if (byte == kFrameEnd) {
        frameEnd = true;
        esc = 0;
        return -1;
    }
    if (esc == 1) {
        esc = 2;
        switch (byte) {
        case 0xDC: return 0xC0;
        case 0xDD: return 0xDB;
        case 0xDE: return 0x2B;
        default: return byte;
        }
    }
    if (byte == kEscape) {
        esc = 1;
        return -1;
    }
    esc = 2;
    return byte;
}
}

// ---------------------------------------------------------------------------
// Re-encoder

CDatEncoder::CDatEncoder()
{
    reset();
}

void CDatEncoder::reset()
{
    m_words.clear();
    m_wordCount = 0;
    m_nextPacket = 0;
    m_lastPacket = -1;
    m_pendingToggle = 0;
    m_toggleDoneInPacket = false;
    m_pendingBattery = false;
    m_pendingError = false;
    m_pendingInfo = false;
    m_info = EcgDeviceInfo{};
    for (int& m : m_pendingMarks)
        m = 0;
}

void CDatEncoder::add(const DatCodecSourceRecord& rec)
{
    switch (rec.kind) {
    case DatCodecSourceRecord::DeviceInfo: addDeviceInfo(rec.info); break;
    case DatCodecSourceRecord::SamplePair: addSamplePair(rec.rawII, rec.rawI); break;
    case DatCodecSourceRecord::EventCode: addEvent(rec.code); break;
    default: break;
    }
}

void CDatEncoder::addSamplePair(int rawII, int rawI)
{
    putWord(static_cast<std::uint16_t>(0x0000 | (rawII & 0xFFF)));
    putWord(static_cast<std::uint16_t>(0x4000 | (rawI & 0xFFF)));
}

void CDatEncoder::addEvent(int code)
{
    if (code <= ECG_EVENT_USER_MARK1 && code >= ECG_EVENT_USER_MARK4) {
        ++m_pendingMarks[ECG_EVENT_USER_MARK1 - code];
    } else if (code == ECG_EVENT_RECORD_TOGGLE) {
        // The decoder reports a toggle on the third flagged packet in a row.
        m_pendingToggle = 3;
    } else if (code == ECG_EVENT_PACKET_ERROR || code == ECG_EVENT_CHANNEL_ERROR) {
        m_pendingError = true;
    } else if (code == ECG_EVENT_BATTERY_LOW) {
        m_pendingBattery = true;
    } else {
        debugLogError("CDatCodec::encoderAddOrg unknown marker data value=" + toStdString(code));
    }
}

void CDatEncoder::addDeviceInfo(const EcgDeviceInfo& info)
{
    m_info = info;
    m_pendingInfo = true;
}

void CDatEncoder::putWord(std::uint16_t word)
{
    const int kind = word >> 14;
    if (kind == 0 || kind == 1) {
        if (m_pendingToggle > 0 && !m_toggleDoneInPacket) {
            word |= 0x2000;
            m_toggleDoneInPacket = true;
        }
        if (m_pendingBattery) {
            word |= 0x1000;
            m_pendingBattery = false;
        }
    }
    m_words.append(static_cast<char>(word >> 8));
    m_words.append(static_cast<char>(word & 0xFF));
    if (++m_wordCount == kWordsPerPacket)
        finishDataPacket();
}

void CDatEncoder::finishDataPacket()
{
    int number = m_nextPacket;
    if (m_pendingError) {
        number = 0;
        m_pendingError = false;
    }
    const std::uint16_t status = static_cast<std::uint16_t>(0xC000 | (m_gainCode << 12) | number);
    m_words.append(static_cast<char>(status >> 8));
    m_words.append(static_cast<char>(status & 0xFF));
    emitFrame();
    m_lastPacket = number;
    m_nextPacket = (number + 1) % 4096;
    m_wordCount = 0;
    if (m_toggleDoneInPacket) {
        --m_pendingToggle;
        m_toggleDoneInPacket = false;
    }
    writeInjectPackets();
}

void CDatEncoder::writeInjectPackets()
{
    auto word = [this](std::uint16_t w) {
        m_words.append(static_cast<char>(w >> 8));
        m_words.append(static_cast<char>(w & 0xFF));
    };
    const std::uint16_t status = static_cast<std::uint16_t>(0xC000 | (m_gainCode << 12) | (m_lastPacket & 0xFFF));
    if (m_pendingInfo) {
        m_pendingInfo = false;
        const std::uint32_t a = m_info.a;
        const bool bNeg = m_info.b < 0;
        const bool cNeg = m_info.c < 0;
        auto magnitude = [](std::int32_t v) -> std::uint32_t {
            const std::int64_t m = v < 0 ? -static_cast<std::int64_t>(v) : v;
            return static_cast<std::uint32_t>(m > 0x7FFFFFFF ? 0x7FFFFFFF : m);
        };
        const std::uint32_t b = magnitude(m_info.b);
        const std::uint32_t c = magnitude(m_info.c);
        const std::uint32_t d = m_info.d & 0x1FFF;
        const std::uint32_t e = m_info.e & 0x7FF;
        std::uint32_t w[12];
        w[1] = (a >> 20) & 0xFFF;
        w[2] = (a >> 8) & 0xFFF;
        w[3] = (a & 0xFF) << 4 | (bNeg ? 8u : 0u) | ((b >> 28) & 7);
        w[4] = (b >> 16) & 0xFFF;
        w[5] = (b >> 4) & 0xFFF;
        w[6] = (b & 0xF) << 8 | (cNeg ? 0x80u : 0u) | ((c >> 24) & 0x7F);
        w[7] = (c >> 12) & 0xFFF;
        w[8] = c & 0xFFF;
        w[9] = (d >> 1) & 0xFFF;
        w[10] = (d & 1) << 11 | e;
        w[11] = m_info.f & 0xFFF;
        word(0xB000);
        for (int i = 1; i <= 11; ++i)
            word(static_cast<std::uint16_t>(0xB000 | w[i]));
        word(kInjectTerminator);
        word(status);
        emitFrame();
    }
    for (int m = 0; m < 4; ++m) {
        while (m_pendingMarks[m] > 0) {
            --m_pendingMarks[m];
            word(0xB001);
            word(static_cast<std::uint16_t>(0xB000 | (m + 1)));
            word(kInjectTerminator);
            word(status);
            emitFrame();
        }
    }
}

void CDatEncoder::emitFrame()
{
    m_frame.clear();
    m_frame.append(static_cast<char>(kFrameEnd));
    for (char c : m_words)
        CDatCodec::appendEscaped(m_frame, static_cast<unsigned char>(c));
    m_frame.append(static_cast<char>(kFrameEnd));
    m_words.clear();
    if (m_output)
        m_output->datCodecRespEncodedPacket(reinterpret_cast<const unsigned char*>(m_frame.constData()),
                                            static_cast<int>(m_frame.size()));
}

// ---------------------------------------------------------------------------
// Decoder

CDatCodec::CDatCodec()
{
    m_hpFramedII.reset();
    m_hpFramedI.reset();
    m_hpIapII.reset();
    m_hpIapI.reset();
    m_chainFramed.init();
    m_chainIap.init();
    m_chainFramed.lowPass = 1;
    m_chainIap.lowPass = 1;
    m_diffFramed.init();
    m_diffIap.init();
    reset();
}

void CDatCodec::reset()
{
    m_mode = kModeUnknown;
    m_recognisedFramed = false;
    m_recognisedIap = false;

    m_escFramed = m_countFramed = 0;
    m_escIap = m_countIap = 0;

    m_highByte = 0;
    m_c0 = m_c1 = m_cOther = 0;
    m_lastChannelKind = -1;
    m_channelErrors = 0;
    m_lastPacketFramed = -1;
    m_lastGainCode = -1;
    m_lastRawII = 0;
    m_toggleRequest = false;
    m_injectIndex = 0;
    m_injectType = 0;
    m_infoA = m_infoB = m_infoC = m_infoD = m_infoE = m_infoF = 0;
    m_infoBNeg = m_infoCNeg = false;
    m_markNumber = 0;
    m_framedLeadII = 0.0;
    m_framedFactor = 0.595;
    m_iapFactor = 0.595;
    m_flagsFramed = PacketFlags{};

    m_tripletLength = 64;
    m_tripletIndex = 0;
    m_tripletByte = 0;
    m_checksum = 0;
    m_packetType = 0;
    m_iapPacketBad = false;
    m_iapInSequence = false;
    m_lastPacketIap = -1;
    m_lastSdStatus = -1;
    m_lockState = 0;
    m_pendingStatus = -1;
    m_flagsIap = PacketFlags{};
    std::memset(m_idBytes, 0, sizeof(m_idBytes));
    std::memset(m_dataBytes, 0, sizeof(m_dataBytes));

    m_hpFramedII.reset();
    m_hpFramedI.reset();
    m_hpIapII.reset();
    m_hpIapI.reset();
    m_chainFramed.reset();
    m_chainIap.reset();
    m_diffFramed.reset();
    m_diffIap.reset();
    m_peakFramed = PeakDetector{};
    m_peakIap = PeakDetector{};
    m_encoder.reset();
}

void CDatCodec::setDeviceType(int type)
{
    m_deviceType1 = (type == 1);
    m_framedFactor = m_deviceType1 ? 0.595 : 0.6783;
}

bool CDatCodec::isBatteryLow() const
{
    if (m_mode == kModeFramed)
        return m_flagsFramed.batteryCountdown > kBatteryLowAbove;
    if (m_mode == kModeIap)
        return m_flagsIap.batteryCountdown > kBatteryLowAbove;
    return false;
}

bool CDatCodec::decode(unsigned char byte, EcgStreamSample* out)
{
    if (m_mode == kModeFramed)
        return streamDecoderFramed(byte, out);
    if (m_mode == kModeIap)
        return streamDecoderIap(byte, out);
    streamDecoderFramed(byte, out);
    streamDecoderIap(byte, out);
    // Before the protocol is known a cut packet may have passed for samples:
    // the recognised protocol's leads settle again on their next value.
    if (m_recognisedIap) {
        m_mode = kModeIap;
        m_hpIapII.settled = m_hpIapI.settled = false;
    } else if (m_recognisedFramed) {
        m_mode = kModeFramed;
        m_hpFramedII.settled = m_hpFramedI.settled = false;
    }
    return false;
}

double CDatCodec::LeadHighPass::process(double value)
{
    if (!settled) {
        section.settleHighPass005(value);
        settled = true;
    }
    return section.processHighPass005(value);
}

void CDatCodec::appendEscaped(QByteArray& out, unsigned char byte)
{
    switch (byte) {
    case 0xC0: out.append(static_cast<char>(0xDB)); out.append(static_cast<char>(0xDC)); break;
    case 0xDB: out.append(static_cast<char>(0xDB)); out.append(static_cast<char>(0xDD)); break;
    case 0x2B: out.append(static_cast<char>(0xDB)); out.append(static_cast<char>(0xDE)); break;
    default: out.append(static_cast<char>(byte)); break;
    }
}

int CDatCodec::commandBodyLength(int cmd)
{
    if (cmd == 2 || cmd == 3 || cmd == 4 || cmd == 10 || cmd == 11 || cmd > 12)
        return 33;
    return 2;
}

QByteArray CDatCodec::buildCommandFrame(int cmd, const QByteArray& payload)
{
    const int body = commandBodyLength(cmd);
    const QByteArray data = body > 2 ? payload.left(body - 1) : QByteArray();
    QByteArray out;
    out.append(static_cast<char>(kFrameEnd));
    out.append(static_cast<char>(kFrameEnd));
    unsigned sum = static_cast<unsigned char>(cmd);
    appendEscaped(out, static_cast<unsigned char>(cmd));
    for (char c : data) {
        sum += static_cast<unsigned char>(c);
        appendEscaped(out, static_cast<unsigned char>(c));
    }
    out.append(QByteArray(body - 1 - data.size(), '\0'));
    sum &= 0xFFFF;
    appendEscaped(out, static_cast<unsigned char>(sum >> 8));
    appendEscaped(out, static_cast<unsigned char>(sum & 0xFF));
    out.append(static_cast<char>(kFrameEnd));
    out.append(static_cast<char>(kFrameEnd));
    return out;
}

void CDatCodec::encoderAddOrg(const DatCodecSourceRecord& rec)
{
    if (m_encoder.output())
        m_encoder.add(rec);
}

void CDatCodec::noteEvent(int type)
{
    if (m_encoder.output()) {
        DatCodecSourceRecord rec;
        rec.kind = DatCodecSourceRecord::EventCode;
        rec.code = type;
        m_encoder.add(rec);
    }
}

void CDatCodec::completeEvent(EcgStreamSample* out, int type)
{
    out->type = type;
}

void CDatCodec::noteSamplePair(int rawII, int rawI)
{
    if (m_encoder.output()) {
        DatCodecSourceRecord rec;
        rec.kind = DatCodecSourceRecord::SamplePair;
        rec.rawII = rawII;
        rec.rawI = rawI;
        m_encoder.add(rec);
    }
}

bool CDatCodec::finishEvent(EcgStreamSample* out, int type)
{
    noteEvent(type);
    if (!out)
        return false;
    completeEvent(out, type);
    return true;
}

bool CDatCodec::finishDeviceInfo(EcgStreamSample* out)
{
    EcgDeviceInfo info;
    info.a = m_infoA;
    info.b = m_infoBNeg ? -static_cast<std::int32_t>(m_infoB) : static_cast<std::int32_t>(m_infoB);
    info.c = m_infoCNeg ? -static_cast<std::int32_t>(m_infoC) : static_cast<std::int32_t>(m_infoC);
    info.d = m_infoD;
    info.e = m_infoE;
    info.f = m_infoF;
    if (m_encoder.output()) {
        DatCodecSourceRecord rec;
        rec.kind = DatCodecSourceRecord::DeviceInfo;
        rec.info = info;
        m_encoder.add(rec);
    }
    if (!out)
        return false;
    deviceInfoToSample(info, *out);
    return true;
}

void CDatCodec::completeSample(EcgStreamSample* out, double leadI, double leadII, bool peak)
{
    out->leadI = static_cast<float>(leadI);
    out->leadII = static_cast<float>(leadII);
    deriveLeads(*out);
    out->type = peak ? ECG_SAMPLE_RPEAK : ECG_SAMPLE;
}

void CDatCodec::peakStep(PeakDetector& pd, EcgFilterChain& chain, Differentiator& diff, double leadII)
{
    const double d = std::fabs(10.0 * diff.process(chain.process(leadII)));
    if (d > pd.maximum)
        pd.maximum = d;
    if (pd.count >= 2000) {
        pd.maximum = 0.0;
        pd.count = 0;
    } else if (d > std::fabs(0.75 * pd.maximum) && pd.count >= 120) {
        if (pd.maximum >= 180.0)
            pd.flag = true;
        pd.maximum = 0.0;
        pd.count = 0;
    }
    ++pd.count;
}

int CDatCodec::packetFlags(PacketFlags& pf, bool toggleRequest, bool logToggle)
{
    int completed = 0;
    if (toggleRequest) {
        if (pf.toggleCount < 4)
            ++pf.toggleCount;
        if (pf.toggleCount == 3) {
            completed = ECG_EVENT_RECORD_TOGGLE;
            if (logToggle)
                debugLogError("toggle recording event");
        }
    } else {
        pf.toggleCount = 0;
    }
    if (pf.batteryFlag)
        pf.batteryCountdown = kBatteryCountdown;
    else if (pf.batteryCountdown > 0)
        --pf.batteryCountdown;
    if (completed == 0 && pf.batteryCountdown > 0)
        completed = ECG_EVENT_BATTERY_LOW;
    return completed;
}

// ---------------------------------------------------------------------------
// First protocol

bool CDatCodec::streamDecoderFramed(unsigned char byte, EcgStreamSample* out)
{
    bool frameEnd = false;
    const int data = unframe(m_escFramed, byte, frameEnd);
    if (frameEnd) {
        m_countFramed = 0;
        return false;
    }
    if (data < 0)
        return false;
    if (m_countFramed >= kFramedMaxBytes) {
        // An over-long frame: drop the byte and start counting afresh.
        m_escFramed = 0;
        m_countFramed = 0;
        return false;
    }
    const bool high = (m_countFramed % 2) == 0;
    ++m_countFramed;
    if (high) {
        m_highByte = data;
        return false;
    }
    return framedWord(static_cast<std::uint16_t>(m_highByte << 8 | data), out);
}

bool CDatCodec::framedWord(std::uint16_t word, EcgStreamSample* out)
{
    const int kind = word >> 14;
    const int flags = (word >> 12) & 3;
    const int value = word & 0xFFF;
    switch (kind) {
    case 0:
    case 1: {
        if (flags & 2)
            m_toggleRequest = true;
        if (flags & 1)
            m_flagsFramed.batteryFlag = true;
        if (kind == 0) {
            if (m_lastChannelKind == 0)
                ++m_channelErrors;
            ++m_c0;
            m_lastRawII = value;
            m_lastChannelKind = 0;
            const double leadII = -m_hpFramedII.process(value * m_framedFactor);
            m_framedLeadII = leadII;
            peakStep(m_peakFramed, m_chainFramed, m_diffFramed, leadII);
            return false;
        }
        if (m_lastChannelKind != 0)
            ++m_channelErrors;
        ++m_c1;
        m_lastChannelKind = 1;
        const double leadI = m_hpFramedI.process(value * m_framedFactor);
        const bool peak = m_peakFramed.flag;
        m_peakFramed.flag = false;
        noteSamplePair(m_lastRawII, value);
        if (!out)
            return false;
        completeSample(out, leadI, m_framedLeadII, peak);
        return true;
    }
    case 2:
        if (flags == 0) {
            ++m_cOther;
            return false;
        }
        if (flags == 3)
            return framedInjectWord(value, out);
        return false;
    default:
        return framedStatusWord(word, out);
    }
}

bool CDatCodec::framedInjectWord(int value, EcgStreamSample* out)
{
    ++m_cOther;
    const int index = m_injectIndex++;
    if (index == 0) {
        m_injectType = value;
        if (value != 0 && value != 1)
            debugLogError("Stream error, unknown inject type=" + toStdString(value));
        return false;
    }
    if (index >= 13) {
        // Past the longest message: keep counting words, assemble nothing.
        m_injectIndex = 13;
        return false;
    }
    bool terminated = false;
    int completed = 0;
    const std::uint32_t w = static_cast<std::uint32_t>(value);
    if (m_injectType == 0) {
        switch (index) {
        case 1: m_infoA = w << 20; break;
        case 2: m_infoA |= w << 8; break;
        case 3:
            m_infoA |= w >> 4;
            m_infoBNeg = (w & 8) != 0;
            m_infoB = (w & 7) << 28;
            break;
        case 4: m_infoB |= w << 16; break;
        case 5: m_infoB |= w << 4; break;
        case 6:
            m_infoB |= w >> 8;
            m_infoCNeg = (w & 0x80) != 0;
            m_infoC = (w & 0x7F) << 24;
            break;
        case 7: m_infoC |= w << 12; break;
        case 8: m_infoC |= w; break;
        case 9: m_infoD = w << 1; break;
        case 10:
            m_infoD |= w >> 11;
            m_infoE = w & 0x7FF;
            break;
        case 11: m_infoF = w; break;
        case 12:
            terminated = true;
            completed = ECG_EVENT_DEVICE_INFO;
            break;
        default: break;
        }
    } else if (m_injectType == 1) {
        if (index == 1) {
            m_markNumber = value;
        } else if (index == 2) {
            terminated = true;
            if (m_markNumber >= 1 && m_markNumber <= 4)
                completed = ECG_EVENT_USER_MARK1 - (m_markNumber - 1);
        }
    }
    if (!terminated)
        return false;

    // The inject packet's status word carries the number of the packet before it.
    m_c0 = 0;
    m_c1 = 1;
    m_cOther = 62;
    m_channelErrors = 0;
    if (m_lastPacketFramed >= 0)
        m_lastPacketFramed = m_lastPacketFramed == 0 ? 4095 : m_lastPacketFramed - 1;
    m_injectIndex = 0;

    if (completed == ECG_EVENT_DEVICE_INFO)
        return finishDeviceInfo(out);
    if (completed != 0)
        return finishEvent(out, completed);
    return false;
}

bool CDatCodec::framedStatusWord(std::uint16_t word, EcgStreamSample* out)
{
    const int gain = (word >> 12) & 3;
    const int number = word & 0xFFF;
    bool error = false;
    if (m_channelErrors > 0) {
        error = true;
        debugLogError("Stream channel Error, packet=" + toStdString(m_lastPacketFramed));
    }
    const int words = m_c0 + m_c1 + m_cOther;
    if (words != kWordsPerPacket) {
        error = true;
        debugLogError("Stream Error, number of words should be 63, is " + toStdString(words));
    }
    if (!(m_c0 == m_c1 + 1 || m_c0 + 1 == m_c1)) {
        error = true;
        debugLogError("Stream Error, c0/c1 odd/even problem, c0=" + toStdString(m_c0) + ", c1=" + toStdString(m_c1));
    }
    const bool wellFormed = !error;
    bool inSequence = false;
    if (m_lastPacketFramed >= 0) {
        if (m_lastPacketFramed == 4095) {
            if (number != 0) {
                error = true;
                debugLogError("Stream Error, bad roll-over");
            } else {
                inSequence = true;
            }
        } else if (number != m_lastPacketFramed + 1) {
            error = true;
            debugLogError("Stream Error, packet num should be " + toStdString(m_lastPacketFramed + 1) +
                          ", is=" + toStdString(number));
        } else {
            inSequence = true;
        }
    }
    // Only a whole, well-formed packet in sequence is evidence of this
    // protocol: a chance status word inside other data is not.
    if (inSequence && wellFormed)
        m_recognisedFramed = true;

    int completed = 0;
    if (error) {
        completed = ECG_EVENT_PACKET_ERROR;
    } else {
        m_lastGainCode = gain;
        switch (gain) {
        case 0: m_framedFactor = 0.91; break;
        case 1: m_framedFactor = m_deviceType1 ? 0.595 : 0.6783; break;
        case 2: m_framedFactor = 0.435; break;
        default: m_framedFactor = 0.595; break;
        }
        const bool toggle = m_toggleRequest;
        m_toggleRequest = false;
        completed = packetFlags(m_flagsFramed, toggle, true);
    }

    m_c0 = m_c1 = m_cOther = 0;
    m_channelErrors = 0;
    m_lastPacketFramed = number;
    m_flagsFramed.batteryFlag = false;
    m_injectIndex = 0;

    return completed != 0 && finishEvent(out, completed);
}

// ---------------------------------------------------------------------------
// Second protocol

bool CDatCodec::streamDecoderIap(unsigned char byte, EcgStreamSample* out)
{
    bool frameEnd = false;
    const int data = unframe(m_escIap, byte, frameEnd);
    if (frameEnd) {
        const bool cut = m_tripletIndex > 0 || m_tripletByte > 0;
        m_countIap = 0;
        m_tripletIndex = 0;
        m_tripletByte = 0;
        if (cut) {
            // A frame that ends inside a packet lost data.
            debugLogError("CDatCodec::streamDecoderIap() truncated packet");
            return finishEvent(out, ECG_EVENT_PACKET_ERROR);
        }
        return false;
    }
    if (data < 0)
        return false;
    if (m_countIap >= 3 * m_tripletLength) {
        m_escIap = 0;
        m_countIap = 0;
        m_tripletIndex = 0;
        m_tripletByte = 0;
        return false;
    }
    ++m_countIap;
    m_triplet[m_tripletByte++] = static_cast<unsigned char>(data);
    if (m_tripletByte < 3)
        return false;
    m_tripletByte = 0;
    return iapTriplet(out);
}

bool CDatCodec::iapTriplet(EcgStreamSample* out)
{
    const unsigned b0 = m_triplet[0];
    const unsigned b1 = m_triplet[1];
    const unsigned b2 = m_triplet[2];
    const int index = m_tripletIndex;

    if (index == 0) {
        m_packetType = static_cast<int>(b0);
        const int number = static_cast<int>(b1 << 8 | b2);
        m_checksum = b0 + b1 + b2;
        m_iapInSequence = false;
        m_iapPacketBad = false;
        m_pendingStatus = -1;
        bool error = false;
        if (m_lastPacketIap >= 0) {
            if (number == ((m_lastPacketIap + 1) & 0xFFFF)) {
                m_iapInSequence = true;
            } else {
                debugLogError("CDatCodec::streamDecoderIap() out of sequence packet number found");
                error = true;
            }
        }
        m_lastPacketIap = number;
        switch (m_packetType) {
        case 1: m_tripletLength = 7; break;
        case 0: case 3: case 4: case 5: m_tripletLength = 64; break;
        default:
            debugLogError("CDatCodec::streamDecoderIap() unknown packet type found val=" + toStdString(m_packetType));
            m_iapPacketBad = true;
            error = true;
            break;
        }
        m_tripletIndex = 1;
        return error && finishEvent(out, ECG_EVENT_PACKET_ERROR);
    }

    if (index < m_tripletLength - 1) {
        m_tripletIndex = index + 1;
        m_checksum += b0 + b1 + b2;
        switch (m_packetType) {
        case 0:
        case 5: {
            if (m_packetType == 5 && index == m_tripletLength - 2) {
                m_pendingStatus = static_cast<int>(b1 << 8 | b2);
                return false;
            }
            const int rawII = static_cast<int>(b0 << 4 | b1 >> 4);
            const int rawI = static_cast<int>((b1 & 0x0F) << 8 | b2);
            m_peakIap.flag = false;
            m_pendingStatus = -1;
            const double leadII = -m_hpIapII.process(rawII * m_iapFactor);
            peakStep(m_peakIap, m_chainIap, m_diffIap, leadII);
            const double leadI = m_hpIapI.process(rawI * m_iapFactor);
            noteSamplePair(rawII, rawI);
            if (!out)
                return false;
            completeSample(out, leadI, leadII, m_peakIap.flag);
            return true;
        }
        case 1: {
            const std::uint32_t t = b0 << 16 | b1 << 8 | b2;
            switch (index) {
            case 1: m_infoA = t << 8; break;
            case 2:
                m_infoA |= b0;
                m_infoBNeg = (b1 >> 7) != 0;
                m_infoB = ((b1 & 0x7F) << 8 | b2) << 16;
                break;
            case 3:
                m_infoB |= b0 << 8 | b1;
                m_infoCNeg = (b2 >> 7) != 0;
                m_infoC = (b2 & 0x7F) << 24;
                break;
            case 4: m_infoC |= t; break;
            case 5:
                m_infoD = b0 << 5 | b1 >> 3;
                m_infoE = (b1 & 7) << 8 | b2;
                break;
            default: break;
            }
            return false;
        }
        case 3:
            // Identification text, second text and the 16-bit value run on
            // as one byte sequence over triplets 1 to 9.
            if (index <= 9) {
                const int at = (index - 1) * 3;
                m_idBytes[at] = m_triplet[0];
                m_idBytes[at + 1] = m_triplet[1];
                m_idBytes[at + 2] = m_triplet[2];
            }
            return false;
        case 4:
            if (index <= 11) {
                const int at = (index - 1) * 3;
                m_dataBytes[at] = m_triplet[0];
                m_dataBytes[at + 1] = m_triplet[1];
                m_dataBytes[at + 2] = m_triplet[2];
            }
            return false;
        default:
            return false;
        }
    }

    m_tripletIndex = 0;
    return iapFinal(out);
}

bool CDatCodec::iapFinal(EcgStreamSample* out)
{
    const unsigned status = m_triplet[0];
    const unsigned sum = static_cast<unsigned>(m_triplet[1]) << 8 | m_triplet[2];
    if (((m_checksum + status) & 0xFFFF) != sum) {
        debugLogError("CDatCodec::streamDecoderIap() checksum error");
        return finishEvent(out, ECG_EVENT_PACKET_ERROR);
    }
    if (!m_iapPacketBad && m_iapInSequence)
        m_recognisedIap = true;

    switch (m_packetType) {
    case 1:
        m_infoF = status;
        return finishDeviceInfo(out);
    case 3: {
        // Neither text need end in a zero on the wire: print each by its length.
        const char* id = reinterpret_cast<const char*>(m_idBytes);
        const std::string text(id, strnlen(id, 15));
        const std::string second(id + 15, strnlen(id + 15, 8));
        debugLogError("device info record " + text + " " + second);
        if (!out)
            return false;
        unsigned char* raw = reinterpret_cast<unsigned char*>(out);
        std::memcpy(raw, m_idBytes, 15);
        raw[15] = 0;
        std::memcpy(raw + 16, m_idBytes + 15, 8);
        out->deviceValue = static_cast<std::int32_t>(m_idBytes[23] << 8 | m_idBytes[24]);
        out->type = ECG_EVENT_DEVICE_ID;
        return true;
    }
    case 4: {
        if (!out)
            return false;
        unsigned char* raw = reinterpret_cast<unsigned char*>(out);
        std::memcpy(raw + 16, m_dataBytes, 16);
        std::memcpy(raw, m_dataBytes + 16, 16);
        out->type = ECG_EVENT_DEVICE_DATA;
        return true;
    }
    case 0:
    case 5: {
        if (m_packetType == 5 && out)
            out->status = m_pendingStatus;
        m_flagsIap.batteryFlag = (status & 2) != 0;
        const int completed = packetFlags(m_flagsIap, (status & 1) != 0, false);
        m_flagsIap.batteryFlag = false;
        const int sdBits = (status >> 2) & 3;
        const int sd = sdBits >= 2 ? 2 : sdBits;
        if (sd != m_lastSdStatus) {
            m_lastSdStatus = sd;
            debugLog(2, "CDatCodec::streamDecoderIap() sdStatus change, new status=" + toStdString(sd));
            if (m_statusCb)
                m_statusCb->datCodecRespSdStatus(sd);
        }
        const int lock = (status >> 5) & 1;
        if (lock != m_lockState) {
            m_lockState = lock;
            debugLog(2, "CDatCodec::streamDecoderIap() deviceLocked change. new status=" + toStdString(lock));
            if (m_statusCb)
                m_statusCb->datCodecRespDeviceLocked(lock);
        }
        if (m_pendingStatus >= 0 && m_statusCb)
            m_statusCb->datCodecRespStatusValue(m_pendingStatus);
        return completed != 0 && finishEvent(out, completed);
    }
    default:
        return false;
    }
}
