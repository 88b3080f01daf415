#ifndef MALVORANT_ECGRECORDS_H
#define MALVORANT_ECGRECORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Record type of a sample or event. 0 or more is a sample, negative is an event.
enum EcgRecordType : std::int32_t {
    ECG_SAMPLE = 0,
    ECG_SAMPLE_RPEAK = 1,
    ECG_SAMPLE_MARK13 = 13,
    ECG_SAMPLE_LEADIN = 45,         // lead-in and flushed trailer samples of a recording
    ECG_EVENT_BATTERY_LOW = -1,
    ECG_EVENT_CHANNEL_ERROR = -2,
    ECG_EVENT_PACKET_ERROR = -3,
    ECG_EVENT_RECORD_TOGGLE = -4,
    ECG_EVENT_DEVICE_INFO = -101,
    ECG_EVENT_USER_MARK1 = -102,
    ECG_EVENT_USER_MARK2 = -103,
    ECG_EVENT_USER_MARK3 = -104,
    ECG_EVENT_USER_MARK4 = -105,
    ECG_EVENT_DEVICE_ID = -112,
    ECG_EVENT_DEVICE_DATA = -113,
};

inline bool isSampleType(int type) { return type >= 0; }
inline bool isUserMarkType(int type) { return type <= ECG_EVENT_USER_MARK1 && type >= ECG_EVENT_USER_MARK4; }

// One decoded live sample, 40 bytes little-endian. For event records the
// float slots are reused as raw bytes (see the accessors below).
struct EcgStreamSample {
    float leadI;      // 0
    float leadII;     // 4
    float leadIII;    // 8   II - I
    float leadNegAvr; // 12  (I + II) / 2
    float leadAvl;    // 16  I - II / 2
    float leadAvf;    // 20  II - I / 2
    std::int32_t deviceValue; // 24
    std::uint8_t reserved[4]; // 28
    std::int32_t type;        // 32  EcgRecordType
    std::int32_t status;      // 36  second-protocol status value
};
static_assert(sizeof(EcgStreamSample) == 40, "EcgStreamSample is 40 bytes");
static_assert(offsetof(EcgStreamSample, leadI) == 0, "layout");
static_assert(offsetof(EcgStreamSample, leadII) == 4, "layout");
static_assert(offsetof(EcgStreamSample, leadIII) == 8, "layout");
static_assert(offsetof(EcgStreamSample, leadNegAvr) == 12, "layout");
static_assert(offsetof(EcgStreamSample, leadAvl) == 16, "layout");
static_assert(offsetof(EcgStreamSample, leadAvf) == 20, "layout");
static_assert(offsetof(EcgStreamSample, deviceValue) == 24, "layout");
static_assert(offsetof(EcgStreamSample, type) == 32, "layout");
static_assert(offsetof(EcgStreamSample, status) == 36, "layout");
static_assert(std::is_trivially_copyable<EcgStreamSample>::value, "plain record");

// The 16-byte record stored in .ecg files, lead II first.
#pragma pack(push, 1)
struct EcgFileRecord {
    float leadII;        // 0
    float leadI;         // 4
    float leadIII;       // 8
    std::int16_t type;   // 12 EcgRecordType
    std::int16_t extra;  // 14
};
#pragma pack(pop)
static_assert(sizeof(EcgFileRecord) == 16, "EcgFileRecord is 16 bytes");
static_assert(offsetof(EcgFileRecord, leadII) == 0, "layout");
static_assert(offsetof(EcgFileRecord, leadI) == 4, "layout");
static_assert(offsetof(EcgFileRecord, leadIII) == 8, "layout");
static_assert(offsetof(EcgFileRecord, type) == 12, "layout");
static_assert(offsetof(EcgFileRecord, extra) == 14, "layout");

// A stored record as readers see it: {lead I, lead II, type, extra, 0}.
struct EcgReadRecord {
    float leadI;
    float leadII;
    std::int32_t type;
    std::int32_t extra;
    std::int32_t reserved;
};
static_assert(sizeof(EcgReadRecord) == 20, "five 32-bit fields");

// Device-information record (-101) values carried bit for bit in the float slots.
struct EcgDeviceInfo {
    std::uint32_t a;
    std::int32_t b;
    std::int32_t c;
    std::uint32_t d; // 13 bits
    std::uint32_t e; // 11 bits
    std::uint32_t f; // 8 or 12 bits
};
EcgDeviceInfo deviceInfoFromSample(const EcgStreamSample& s);
void deviceInfoToSample(const EcgDeviceInfo& info, EcgStreamSample& s);

// Fills the four derived leads from leads I and II as the decoder does.
void deriveLeads(EcgStreamSample& s);

// Stream record to file record (the recorder's conversion).
EcgFileRecord fileRecordFromStream(const EcgStreamSample& s);
// File record to read record. Negative types the read side cannot carry
// (-4, -112, -113 and unknown ones) keep their negative type with zero leads,
// so no consumer mistakes them for samples.
// Inline: readers call it once per record.
inline EcgReadRecord readRecordFromFile(const EcgFileRecord& r)
{
    EcgReadRecord out{};
    out.type = r.type;
    out.extra = r.extra;
    if (r.type >= 0) {
        out.leadI = r.leadI;
        out.leadII = r.leadII;
    } else if (r.type == ECG_EVENT_DEVICE_INFO) {
        // F and D travel as integers in the file; readers get them as numbers.
        std::int32_t f, d;
        std::memcpy(&f, &r.leadII, sizeof(f));
        std::memcpy(&d, &r.leadIII, sizeof(d));
        out.leadI = static_cast<float>(f);
        out.leadII = static_cast<float>(d);
    }
    return out;
}

#endif
