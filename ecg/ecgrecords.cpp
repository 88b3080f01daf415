#include "ecgrecords.h"

#include <cstring>

namespace {
template <typename To, typename From>
To bitCast(const From& from)
{
    static_assert(sizeof(To) == sizeof(From), "same size");
    To to;
    std::memcpy(&to, &from, sizeof(To));
    return to;
}
}

EcgDeviceInfo deviceInfoFromSample(const EcgStreamSample& s)
{
    EcgDeviceInfo info;
    info.a = bitCast<std::uint32_t>(s.leadI);
    info.b = bitCast<std::int32_t>(s.leadIII);
    info.c = bitCast<std::int32_t>(s.leadNegAvr);
    info.d = bitCast<std::uint32_t>(s.leadAvl);
    info.e = bitCast<std::uint32_t>(s.leadAvf);
    info.f = static_cast<std::uint32_t>(s.deviceValue);
    return info;
}

void deviceInfoToSample(const EcgDeviceInfo& info, EcgStreamSample& s)
{
    s.leadI = bitCast<float>(info.a);
    s.leadII = bitCast<float>(std::uint32_t(0));
    s.leadIII = bitCast<float>(info.b);
    s.leadNegAvr = bitCast<float>(info.c);
    s.leadAvl = bitCast<float>(info.d);
    s.leadAvf = bitCast<float>(info.e);
    s.deviceValue = static_cast<std::int32_t>(info.f);
    s.type = ECG_EVENT_DEVICE_INFO;
}

void deriveLeads(EcgStreamSample& s)
{
    const double i = s.leadI;
    const double ii = s.leadII;
    s.leadIII = static_cast<float>(ii - i);
    s.leadNegAvr = (s.leadII + s.leadI) * 0.5f;
    s.leadAvl = static_cast<float>(i - ii / 2.0);
    s.leadAvf = static_cast<float>(ii - i / 2.0);
}

EcgFileRecord fileRecordFromStream(const EcgStreamSample& s)
{
    EcgFileRecord r{};
    if (s.type >= 0) {
        r.leadII = s.leadII;
        r.leadI = s.leadI;
        r.leadIII = s.leadIII;
        r.type = static_cast<std::int16_t>(s.type > 32767 ? 32767 : s.type);
        r.extra = 0;
    } else if (s.type == ECG_EVENT_DEVICE_INFO) {
        const EcgDeviceInfo info = deviceInfoFromSample(s);
        r.leadII = bitCast<float>(static_cast<std::int32_t>(info.f));
        r.leadI = 0.0f;
        r.leadIII = bitCast<float>(static_cast<std::int32_t>(info.d));
        r.type = ECG_EVENT_DEVICE_INFO;
        r.extra = static_cast<std::int16_t>(info.e & 0xFFFFu);
    } else {
        r.type = static_cast<std::int16_t>(s.type < -32768 ? -32768 : s.type);
    }
    return r;
}
