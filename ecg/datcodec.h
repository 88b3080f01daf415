#ifndef MALVORANT_DATCODEC_H
#define MALVORANT_DATCODEC_H

#include "ecgrecords.h"
#include "filters.h"

#include <QByteArray>

#include <cstdint>

// Receives what the decoder produces besides records. Nothing in the program
// attaches one to the live decoder; the simulated device uses the encoded
// packet operation to receive the frames it sends.
class CDatCodecCallbackInterface
{
public:
    virtual ~CDatCodecCallbackInterface() = default;
    virtual void datCodecRespEncodedPacket(const unsigned char* bytes, int length) = 0;
    virtual void datCodecRespSdStatus(int newStatus) = 0;
    virtual void datCodecRespDeviceLocked(int newState) = 0;
    virtual void datCodecRespStatusValue(int value) = 0;
};

// What the decoder hands the re-encoder: a raw sample pair, an event code or
// the device-information values.
struct DatCodecSourceRecord {
    enum Kind { DeviceInfo = 0, SamplePair = 1, EventCode = 2 };
    int kind = SamplePair;
    int rawII = 0;    // 12-bit device values
    int rawI = 0;
    int code = 0;     // event record type
    EcgDeviceInfo info{};
};

// Writes the first protocol: sample pairs as lead-II and lead-I words, 63
// words and a status word per packet, device information and user marks as
// inject packets, every packet framed and escaped. Packets go to the
// interface's encoded-packet operation as whole frames.
class CDatEncoder
{
public:
    CDatEncoder();
    void reset();
    void setOutput(CDatCodecCallbackInterface* output) { m_output = output; }
    CDatCodecCallbackInterface* output() const { return m_output; }

    void add(const DatCodecSourceRecord& rec);
    void addSamplePair(int rawII, int rawI);
    void addEvent(int code);
    void addDeviceInfo(const EcgDeviceInfo& info);

    // The gain code written into status words (3 selects the 0.595 scale).
    void setGainCode(int code) { m_gainCode = code & 3; }
    // Packets sent so far carry numbers up to this one; -1 before the first.
    int lastPacketNumber() const { return m_lastPacket; }

private:
    void putWord(std::uint16_t word);
    void finishDataPacket();
    void writeInjectPackets();
    void emitFrame();

    CDatCodecCallbackInterface* m_output = nullptr;
    QByteArray m_words;         // big-endian words of the packet in progress
    int m_wordCount = 0;
    int m_nextPacket = 0;
    int m_lastPacket = -1;
    int m_gainCode = 3;
    int m_pendingToggle = 0;    // packets that still carry the toggle request
    bool m_toggleDoneInPacket = false;
    bool m_pendingBattery = false;
    bool m_pendingError = false;
    bool m_pendingInfo = false;
    EcgDeviceInfo m_info{};
    int m_pendingMarks[4] = {0, 0, 0, 0};
    QByteArray m_frame;
};

// Turns the acquisition device's byte stream into EcgStreamSample records.
// Two protocols share one byte framing; the codec recognises which one the
// device speaks from the stream itself and then keeps to it.
class CDatCodec
{
public:
    static constexpr int kModeUnknown = -1;
    static constexpr int kModeFramed = 0;
    static constexpr int kModeIap = 1;

    CDatCodec();

    void reset();
    // True when `out` now holds a complete record.
    bool decode(unsigned char byte, EcgStreamSample* out);

    // Device type 1 selects the reduced scale of gain code 1.
    void setDeviceType(int type);
    bool isBatteryLow() const;

    int mode() const { return m_mode; }
    // Test and diagnostic access.
    void setMode(int mode) { m_mode = mode; }
    double framedFactor() const { return m_framedFactor; }

    void setEncodedOutput(CDatCodecCallbackInterface* cb) { m_encoder.setOutput(cb); }
    void setStatusInterface(CDatCodecCallbackInterface* cb) { m_statusCb = cb; }

    // The byte escape of the framing: 0xC0, 0xDB and 0x2B travel as two bytes.
    static void appendEscaped(QByteArray& out, unsigned char byte);
    // One device command frame (delimiters, body with padding, check sum).
    static QByteArray buildCommandFrame(int cmd, const QByteArray& payload);
    // Body length of a command: 33 for the commands that carry a payload.
    static int commandBodyLength(int cmd);

    // Handed every decoded sample pair, event and device information; only
    // used while an encoded-output interface is attached.
    void encoderAddOrg(const DatCodecSourceRecord& rec);

private:
    struct PeakDetector {
        double maximum;
        int count;
        bool flag;
    };
    struct PacketFlags {
        int toggleCount;
        int batteryCountdown;
        bool batteryFlag;
    };

    bool streamDecoderFramed(unsigned char byte, EcgStreamSample* out);
    bool streamDecoderIap(unsigned char byte, EcgStreamSample* out);

    bool framedWord(std::uint16_t word, EcgStreamSample* out);
    bool framedStatusWord(std::uint16_t word, EcgStreamSample* out);
    bool framedInjectWord(int value, EcgStreamSample* out);
    bool iapTriplet(EcgStreamSample* out);
    bool iapFinal(EcgStreamSample* out);

    // Shared per-packet toggle and battery handling; returns the event type
    // completed (-4 or -1) or 0.
    int packetFlags(PacketFlags& pf, bool toggleRequest, bool logToggle);
    void peakStep(PeakDetector& pd, EcgFilterChain& chain, Differentiator& diff, double negLeadII);
    void completeSample(EcgStreamSample* out, double leadI, double leadII, bool peak);
    static void completeEvent(EcgStreamSample* out, int type);
    void noteEvent(int type);
    void noteSamplePair(int rawII, int rawI);
    // Hands the event to the re-encoder and completes it when a record is given.
    bool finishEvent(EcgStreamSample* out, int type);
    bool finishDeviceInfo(EcgStreamSample* out);

    int m_mode = kModeUnknown;
    bool m_recognisedFramed = false;
    bool m_recognisedIap = false;
    bool m_deviceType1 = false;

    // framing state, one pair per protocol
    int m_escFramed = 0;
    int m_countFramed = 0;
    int m_escIap = 0;
    int m_countIap = 0;

    // first protocol
    int m_highByte = 0;
    int m_c0 = 0;      // lead-II words
    int m_c1 = 0;      // lead-I words
    int m_cOther = 0;  // other counted words
    int m_lastChannelKind = -1;
    int m_channelErrors = 0;
    int m_lastPacketFramed = -1;
    int m_lastGainCode = -1;
    int m_lastRawII = 0;
    double m_framedLeadII = 0.0;
    bool m_toggleRequest = false;
    int m_injectIndex = 0;
    int m_injectType = 0;
    std::uint32_t m_infoA = 0;
    bool m_infoBNeg = false;
    std::uint32_t m_infoB = 0;
    bool m_infoCNeg = false;
    std::uint32_t m_infoC = 0;
    std::uint32_t m_infoD = 0;
    std::uint32_t m_infoE = 0;
    std::uint32_t m_infoF = 0;
    int m_markNumber = 0;
    double m_framedFactor = 0.595;
    PacketFlags m_flagsFramed{};

    // second protocol
    int m_tripletLength = 64;
    int m_tripletIndex = 0;
    int m_tripletByte = 0;
    unsigned char m_triplet[3] = {0, 0, 0};
    std::uint32_t m_checksum = 0;
    int m_packetType = 0;
    bool m_iapPacketBad = false;
    bool m_iapInSequence = false;
    int m_lastPacketIap = -1;
    int m_lastSdStatus = -1;
    int m_lockState = 0;
    int m_pendingStatus = -1;
    double m_iapFactor = 0.595;
    PacketFlags m_flagsIap{};
    unsigned char m_idBytes[27] = {};   // type-3 payload, triplets 1 to 9
    unsigned char m_dataBytes[33] = {}; // type-4 payload, triplets 1 to 11

    // The 0.05 Hz high-pass of one lead. The device's values sit on a large
    // constant offset; a section that started from rest would swing with it
    // for some twenty seconds. It starts instead as if its first value had
    // always been there, so the trace is on its baseline from the start.
    struct LeadHighPass {
        IirSection section;
        bool settled;
        void reset()
        {
            section.reset();
            settled = false;
        }
        double process(double value);
    };

    // filters
    LeadHighPass m_hpFramedII{};
    LeadHighPass m_hpFramedI{};
    LeadHighPass m_hpIapII{};
    LeadHighPass m_hpIapI{};
    EcgFilterChain m_chainFramed;
    EcgFilterChain m_chainIap;
    Differentiator m_diffFramed;
    Differentiator m_diffIap;
    PeakDetector m_peakFramed{};
    PeakDetector m_peakIap{};

    CDatEncoder m_encoder;
    CDatCodecCallbackInterface* m_statusCb = nullptr;
};

#endif
