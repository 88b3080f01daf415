// Import of a DICOM ECG waveform object into a new .ecg recording
// (the second half of CDcmWvfPluginOrv).
#include "dcmwvfpluginorv.h"

#include "dcmerrors.h"
#include "debuglog.h"
#include "fileecg.h"

#include <algorithm>
#include <climits>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace {

const char* const kAcceptedSopClasses[] = {
    "1.2.840.10008.5.1.4.1.1.9.1.2", // General ECG
    "1.2.840.10008.5.1.4.1.1.9.1.3", // Ambulatory ECG
    "1.2.840.10008.5.1.4.1.1.9.1.1", // 12-lead ECG
    "1.2.840.10008.5.1.4.1.1.9.2.1", // Hemodynamic
};

const int kMaxChannels = 12;
// The reason of a refusal for a part the waveform lacks.
const char* const kIncomplete = "Its waveform is incomplete or damaged.";
const int kChunkRecords = 4096;

enum Lead { LeadNone = -1, LeadI = 0, LeadII, LeadIII, LeadAvr, LeadAvl, LeadAvf, LeadCount };

// Each limb lead as a x I + b x II (aVR itself, -(I + II) / 2).
const double kLeadOfI[LeadCount][2] = {{1.0, 0.0}, {0.0, 1.0}, {-1.0, 1.0}, {-0.5, -0.5}, {1.0, -0.5}, {-0.5, 1.0}};

// Which limb lead a channel's source code names: the standard codes (MDC
// and SCP-ECG) and the program's earlier codes, whose meaning names the lead
// (only I to III: its earlier aVR was not aVR).
Lead leadOf(WvfChannel* channel)
{
    CodeSequenceMacro code;
    if (!channel->getChannelSourceSequence(code))
        return LeadNone;
    OFString scheme, value, meaning;
    code.getCodingSchemeDesignator(scheme);
    code.getCodeValue(value);
    code.getCodeMeaning(meaning);
    static const char* const kMdc[LeadCount] = {"2:1", "2:2", "2:61", "2:62", "2:63", "2:64"};
    static const char* const kScp[LeadCount] = {"5.6.3-9-1",  "5.6.3-9-2",  "5.6.3-9-61",
                                                "5.6.3-9-62", "5.6.3-9-63", "5.6.3-9-64"};
    static const char* const kOwn[3] = {"I", "II", "III"};
    for (int lead = 0; lead < LeadCount; ++lead) {
        if ((scheme == "MDC" && value == kMdc[lead]) || (scheme == "SCPECG" && value == kScp[lead]))
            return static_cast<Lead>(lead);
        if (scheme == "OFFIS_DCMTK_354" && lead < 3 && meaning == kOwn[lead])
            return static_cast<Lead>(lead);
    }
    return LeadNone;
}

// The name of the lead a channel's source code gives, for the user: the
// standard codes by their number (MDC "2:n", SCP-ECG "5.6.3-9-n"), other
// codes by their meaning; empty when the channel names no lead.
std::string leadNameOf(WvfChannel* channel)
{
    CodeSequenceMacro code;
    if (!channel || !channel->getChannelSourceSequence(code))
        return std::string();
    OFString scheme, value, meaning;
    code.getCodingSchemeDesignator(scheme);
    code.getCodeValue(value);
    code.getCodeMeaning(meaning);
    static const struct
    {
        const char* number;
        const char* name;
    } kNumbers[] = {{"1", "I"},   {"2", "II"},  {"3", "V1"},  {"4", "V2"},   {"5", "V3"},   {"6", "V4"},
                    {"7", "V5"},  {"8", "V6"},  {"61", "III"}, {"62", "aVR"}, {"63", "aVL"}, {"64", "aVF"}};
    const char* prefix = scheme == "MDC" ? "2:" : scheme == "SCPECG" ? "5.6.3-9-" : nullptr;
    if (prefix && value.compare(0, std::strlen(prefix), prefix) == 0)
        for (const auto& n : kNumbers)
            if (value.substr(std::strlen(prefix)) == n.number)
                return n.name;
    std::string name(meaning.c_str());
    if (name.compare(0, 5, "Lead ") == 0)
        name.erase(0, 5);
    return name;
}

// Lead units per stored step of one channel, and the offset in lead units.
struct ChannelScale
{
    bool programScale = true; // the sample / 5.6 of the program's own objects
    bool finite = true;       // false: the channel's scale gives no finite value
    double factor = 0.0;
    double offset = 0.0;

    double apply(Sint16 raw) const
    {
        if (programScale)
            return raw / CDcmWvfPluginOrv::kLeadScale;
        return raw * factor + offset;
    }
    // The largest magnitude apply() can give.
    double bound() const
    {
        if (programScale)
            return 32768.0 / CDcmWvfPluginOrv::kLeadScale;
        return 32768.0 * std::fabs(factor) + std::fabs(offset);
    }
};

// Microvolts per unit of a UCUM sensitivity unit, 0 when not a voltage.
double microVoltsPer(const OFString& unit)
{
    if (unit == "uV")
        return 1.0;
    if (unit == "mV")
        return 1000.0;
    if (unit == "V")
        return 1000000.0;
    if (unit == "nV")
        return 0.001;
    return 0.0;
}

// Another maker's channel comes in at its true amplitude (sensitivity,
// correction, baseline and units); the program's own objects, and channels
// whose scale can't be read, as the sample / 5.6. A scale that is not finite
// is marked so: such a channel is refused, never read as something else.
ChannelScale scaleOf(WvfChannel* channel)
{
    ChannelScale scale;
    CodeSequenceMacro source;
    OFString scheme;
    if (channel->getChannelSourceSequence(source) && source.getCodingSchemeDesignator(scheme)
        && scheme == "OFFIS_DCMTK_354")
        return scale; // written before the sensitivity said what a step is
    double sensitivity = 1.0, correction = 1.0, baseline = 0.0;
    if (!channel->getChannelSensitivity(sensitivity))
        return scale;
    if (!channel->getChannelSensitivityCorrectionFactor(correction))
        correction = 1.0;
    if (!channel->getChannelBaseline(baseline))
        baseline = 0.0;
    CodeSequenceMacro unitsCode;
    OFString unit;
    if (!channel->getChannelSensitivityUnitsSequence(unitsCode) || !unitsCode.getCodeValue(unit)) {
        debugLog(2, "CDcmWfvImportPluginOrv: channel without sensitivity units, read as samples / 5.6");
        return scale;
    }
    const double perUnit = microVoltsPer(unit);
    if (perUnit == 0.0) {
        debugLog(2, std::string("CDcmWfvImportPluginOrv: sensitivity units ") + unit.c_str()
                        + " are not a voltage, read as samples / 5.6");
        return scale;
    }
    const double microVoltsPerStep = sensitivity * correction * perUnit;
    if (!std::isfinite(microVoltsPerStep) || !std::isfinite(baseline)) {
        scale.finite = false;
        return scale;
    }
    if (microVoltsPerStep == 0.0)
        return scale;
    const double own = CDcmWvfPluginOrv::kMicroVoltPerLead / CDcmWvfPluginOrv::kLeadScale;
    if (baseline == 0.0 && std::fabs(microVoltsPerStep / own - 1.0) < 1e-5)
        return scale; // the program's own scale: exactly the sample / 5.6
    scale.programScale = false;
    scale.factor = microVoltsPerStep / CDcmWvfPluginOrv::kMicroVoltPerLead;
    scale.offset = baseline * perUnit / CDcmWvfPluginOrv::kMicroVoltPerLead;
    scale.finite = std::isfinite(scale.factor) && std::isfinite(scale.offset);
    return scale;
}

// Up to three channels and how leads I, II and III of a record follow from
// them: lead o = sum of weight[o][k] x channel k. Without a source for III,
// III is II - I.
struct LeadSources
{
    WvfChannel* channels[3] = {};
    double weight[3][3] = {};
    bool thirdOwn = false;
    int count = 0;

    int add(WvfChannel* channel)
    {
        channels[count] = channel;
        return count++;
    }
};

// Channels placed only by the leads their codes name: leads I and II
// themselves, else any two limb leads (I and II follow from them), else one
// of I, II or III alone (the lead missing beside it is 0). Anything else
// gives no sources (count 0): a chest lead is never shown as a limb lead.
LeadSources leadSourcesOf(WvfMplxGroup* group, unsigned short channelCount)
{
    WvfChannel* byLead[LeadCount] = {};
    for (unsigned short c = 1; c <= channelCount; ++c) {
        WvfChannel* channel = group->getChannel(c);
        const Lead lead = channel ? leadOf(channel) : LeadNone;
        if (lead != LeadNone && !byLead[lead])
            byLead[lead] = channel;
    }
    LeadSources s;
    int found[LeadCount];
    int foundCount = 0;
    for (int lead = 0; lead < LeadCount; ++lead)
        if (byLead[lead])
            found[foundCount++] = lead;

    if (byLead[LeadI] && byLead[LeadII]) {
        s.weight[0][s.add(byLead[LeadI])] = 1.0;
        s.weight[1][s.add(byLead[LeadII])] = 1.0;
    } else if (foundCount >= 2) {
        // two limb leads: solve a1 I + b1 II = x1, a2 I + b2 II = x2
        const double* p = kLeadOfI[found[0]];
        const double* q = kLeadOfI[found[1]];
        const double det = p[0] * q[1] - p[1] * q[0];
        const int x1 = s.add(byLead[found[0]]);
        const int x2 = s.add(byLead[found[1]]);
        s.weight[0][x1] = q[1] / det;
        s.weight[0][x2] = -p[1] / det;
        s.weight[1][x1] = -q[0] / det;
        s.weight[1][x2] = p[0] / det;
    } else if (foundCount == 1 && found[0] <= LeadIII) {
        // I alone: II is 0; II or III alone: I is 0 (III = II)
        s.weight[found[0] == LeadI ? 0 : 1][s.add(byLead[found[0]])] = 1.0;
    } else {
        return s;
    }
    if (byLead[LeadIII]) {
        for (int k = 0; k < s.count; ++k)
            if (s.channels[k] == byLead[LeadIII]) {
                s.weight[2][k] = 1.0;
                s.thirdOwn = true;
            }
        if (!s.thirdOwn && s.count < 3) {
            s.weight[2][s.add(byLead[LeadIII])] = 1.0;
            s.thirdOwn = true;
        }
    }
    return s;
}

// Why a group gives no limb leads, naming the leads it holds.
std::string missingLimbLeadsReason(WvfMplxGroup* group, unsigned short channelCount)
{
    std::string names;
    int named = 0, unnamed = 0;
    for (unsigned short c = 1; c <= channelCount; ++c) {
        const std::string name = leadNameOf(group->getChannel(c));
        if (name.empty()) {
            ++unnamed;
            continue;
        }
        names += (named++ == 0 ? "" : ", ") + name;
    }
    std::string held;
    if (named > 0)
        held = std::string(named == 1 ? "lead " : "leads ") + names;
    if (unnamed > 0)
        held += (named > 0 ? " and " : "") + toStdString(unnamed)
                + (unnamed == 1 ? " channel that names no lead" : " channels that name no lead");
    return "It holds only " + held + "; this program needs lead I, II or III, or two limb leads.";
}

bool isEightDigits(const std::string& text)
{
    if (text.size() != 8)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A recording that could not be written whole is no recording; only a
// regular file is removed (never a device the path may name).
void removePartialFile(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        std::remove(path.c_str());
}

// Whether an annotation's Referenced Waveform Channels (group, channel
// pairs) name the group; an annotation that names none belongs to every one.
bool refersTo(const OFList<Uint16>& refChannels, Uint32 group)
{
    if (refChannels.size() < 2)
        return true;
    bool isGroup = true;
    for (Uint16 value : refChannels) {
        if (isGroup && value == group)
            return true;
        isGroup = !isGroup;
    }
    return false;
}

struct PendingAnnotation
{
    Uint32 position;
    OFString text;
    double value;               // the first numeric value, carried over from the item before
    std::vector<double> values; // the item's own numeric values
};

// The low 16 bits of a value truncated toward zero (0 when not finite).
std::int16_t extraWordOf(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double clamped = std::max(std::min(value, double(INT_MAX)), double(INT_MIN));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<int>(clamped) & 0xFFFF));
}

std::int32_t int32Of(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<std::int32_t>(std::max(std::min(value, double(INT32_MAX)), double(INT32_MIN)));
}

float bitsAsFloat(std::int32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

// A sample mark: the sample's type and extra word; false for any other text.
bool applySampleMark(const PendingAnnotation& a, EcgFileRecord& sample)
{
    static const struct
    {
        const char* text;
        int type;
    } kMarks[] = {{"R", ECG_SAMPLE_RPEAK}, {"UNKNOWN", ECG_SAMPLE_MARK13}, {"L", ECG_SAMPLE_LEADIN}};
    for (const auto& m : kMarks)
        if (a.text == m.text) {
            sample.type = static_cast<std::int16_t>(m.type);
            sample.extra = extraWordOf(a.value);
            return true;
        }
    return false;
}

// An event: the record that follows its sample; false for any other text.
bool eventRecordOf(const PendingAnnotation& a, EcgFileRecord& event)
{
    static const struct
    {
        const char* text;
        int type;
        bool withValue;
    } kEvents[] = {{"LOWBAT", ECG_EVENT_BATTERY_LOW, false},     {"CHANNEL_ERROR", ECG_EVENT_CHANNEL_ERROR, true},
                   {"PACKET_ERROR", ECG_EVENT_PACKET_ERROR, false}, {"RECORD_TOGGLE", ECG_EVENT_RECORD_TOGGLE, false},
                   {"DEVICE_INFO", ECG_EVENT_DEVICE_INFO, false}, {"USER_MARK_1", ECG_EVENT_USER_MARK1, true},
                   {"USER_MARK_2", ECG_EVENT_USER_MARK2, true},     {"USER_MARK_3", ECG_EVENT_USER_MARK3, true},
                   {"USER_MARK_4", ECG_EVENT_USER_MARK4, true},     {"DEVICE_ID", ECG_EVENT_DEVICE_ID, false},
                   {"DEVICE_DATA", ECG_EVENT_DEVICE_DATA, false}};
    for (const auto& e : kEvents) {
        if (a.text != e.text)
            continue;
        std::memset(&event, 0, sizeof(event));
        event.type = static_cast<std::int16_t>(e.type);
        if (e.withValue)
            event.extra = extraWordOf(a.value);
        if (e.type == ECG_EVENT_DEVICE_INFO) {
            // F and D as integers in the lead slots, E in the extra word
            const std::size_t n = a.values.size();
            event.leadII = bitsAsFloat(int32Of(n > 0 ? a.values[0] : 0.0));
            event.leadIII = bitsAsFloat(int32Of(n > 1 ? a.values[1] : 0.0));
            event.extra = n > 2 ? extraWordOf(a.values[2]) : 0;
        }
        return true;
    }
    return false;
}

} // namespace

int CDcmWvfPluginOrv::genderCodeOf(const std::string& sex, const std::string& neutered)
{
    if (sex == "O")
        return 0;
    // Without a neutered value the sex is still known.
    if (sex == "M")
        return neutered == "ALTERED" ? 3 : 1;
    if (sex == "F")
        return neutered == "ALTERED" ? 4 : 2;
    return 5;
}

int CDcmWvfPluginOrv::speciesCodeOf(const std::string& description, int unchanged)
{
    if (description.empty() || description == "-" || description == " "
        || strcasecmp(description.c_str(), "Unknown") == 0)
        return 0;
    static const char* const kNames[] = {"Equine", "Canine",       "Feline",    "Other",  "Alpaca",
                                         "Avian",  "Cow",          "Ferret",    "Goat",   "GuineaPig",
                                         "Lizard", "Llama",        "Porcine",   "Primate", "Rabbit",
                                         "Reptile", "Rodent",      "Sheep",     "Small Mammal", "Snake"};
    for (int i = 0; i < 20; ++i)
        if (strcasecmp(description.c_str(), kNames[i]) == 0)
            return i + 1;
    return unchanged;
}

int CDcmWvfPluginOrv::getAndCheckChannelData(WvfWaveform* waveform, unsigned short& channelCount,
                                             unsigned long& byteLength, OFList<WvfSamples*>& buffers,
                                             unsigned char& bytesPerSample, double& samplingFrequency,
                                             WVF_SAMPLE_INTERPRETATION& interpretation)
{
    buffers.clear();
    // The rhythm group, wherever it stands: the first original (not derived,
    // such as a median beat) group at 500 Hz.
    WvfMplxGroup* group = nullptr;
    WvfMplxGroup* firstOriginal = nullptr;
    double firstFrequency = 0.0;
    Uint32 groups = 0;
    for (Uint32 g = 1; WvfMplxGroup* candidate = waveform->getMultiplexGroup(g); ++g) {
        ++groups;
        OFString originality;
        if (candidate->getWaveformOriginality(originality) && originality != "ORIGINAL")
            continue;
        double frequency = 0.0;
        const bool frequencySet = candidate->getSamplingFrequency(frequency);
        checkSamplingFrequency(frequency, frequencySet);
        if (!firstOriginal) {
            firstOriginal = candidate;
            firstFrequency = frequency;
        }
        if (frequency == 500.0) {
            group = candidate;
            m_rhythmGroup = g;
            break;
        }
    }
    if (groups == 0)
        return refuse(DCM_ERR_NO_MPLX_GROUP, "CDcmWfvImportPluginOrv: no multiplex group",
                      "It holds no ECG waveform.");
    if (!firstOriginal)
        return refuse(DCM_ERR_NOT_ORIGINAL, "CDcmWfvImportPluginOrv: no original (rhythm) multiplex group",
                      "It holds only a derived waveform, such as a median beat, and no rhythm recording.");
    if (!group)
        return refuse(DCM_ERR_SAMPLING_FREQUENCY, "CDcmWfvImportPluginOrv: sampling frequency is not 500 Hz",
                      "It was recorded at " + toStdString(firstFrequency)
                          + " samples per second; this program reads 500.");
    samplingFrequency = 500.0;

    channelCount = group->getNumberOfChannels();
    if (channelCount > kMaxChannels)
        return refuse(DCM_ERR_NO_CHANNELS,
                      "CDcmWfvImportPluginOrv: " + toStdString(int(channelCount)) + " channels, at most 12 are taken",
                      "Its rhythm recording has " + toStdString(int(channelCount))
                          + " channels; this program reads at most 12.");
    if (channelCount == 0)
        return refuse(DCM_ERR_NO_CHANNELS, "CDcmWfvImportPluginOrv: no channels", "Its waveform has no channels.");

    for (unsigned short c = 1; c <= channelCount; ++c) {
        WvfChannel* channel = group->getChannel(c);
        if (!channel)
            return refuse(DCM_ERR_CHANNEL_MISSING,
                          "CDcmWfvImportPluginOrv: channel " + toStdString(int(c)) + " missing", kIncomplete);
        WvfSamples* samples = channel->getSamples();
        if (!samples)
            return refuse(DCM_ERR_NO_SAMPLE_BUFFER,
                          "CDcmWfvImportPluginOrv: channel " + toStdString(int(c)) + " has no samples", kIncomplete);
        Uint32 bytes = 0;
        Uint8* data = nullptr;
        if (samples->getData(bytes, data).bad() || bytes == 0 || !data)
            return refuse(DCM_ERR_NO_SAMPLE_DATA,
                          "CDcmWfvImportPluginOrv: channel " + toStdString(int(c)) + " has no sample data",
                          kIncomplete);
        buffers.push_back(samples);
        byteLength = bytes;
    }
    if (channelCount == 2) {
        const Uint32 first = group->getChannel(1)->getNumberOfSamples();
        const Uint32 second = group->getChannel(2)->getNumberOfSamples();
        if (first != second)
            return refuse(DCM_ERR_CHANNEL_LENGTHS,
                          "Channel 1,2" + toStdString(static_cast<long long>(first)) + ","
                              + toStdString(static_cast<long long>(second)),
                          kIncomplete);
    }
    const unsigned bits = buffers.front()->getBitsPerSample();
    bytesPerSample = static_cast<unsigned char>(bits / 8);
    if (bytesPerSample != 2)
        return refuse(DCM_ERR_SAMPLE_BITS, "CDcmWfvImportPluginOrv: samples are not 16 bits wide",
                      "Its samples are " + toStdString(bits) + "-bit; this program reads 16-bit samples.");
    if (!group->getWaveformSampleInterpretation(interpretation))
        return refuse(DCM_ERR_NO_INTERPRETATION, "CDcmWfvImportPluginOrv: no waveform sample interpretation",
                      kIncomplete);
    return 0;
}

int CDcmWvfPluginOrv::convertDcm2Orv(WvfWaveform* waveform, std::string outPath, const TWaveformParams* params)
{
    debugLog(4, "CDcmWfvImportPluginOrv::convertDcm2Orv() start, outPath=" + outPath);
    m_lastError.clear();
    m_refusal.clear();
    m_rhythmGroup = 1;
    if (!waveform)
        return fail(DCM_ERR_NO_OBJECT, "CDcmWfvImportPluginOrv::convertDcm2Orv() no waveform object");

    OFString sopClass;
    if (waveform->getSOPClassUID(sopClass) && !sopClass.empty()) {
        bool accepted = false;
        for (const char* uid : kAcceptedSopClasses)
            accepted = accepted || sopClass == uid;
        if (!accepted)
            return refuse(DCM_ERR_SOP_CLASS,
                          std::string("CDcmWfvImportPluginOrv: SOP class ") + sopClass.c_str()
                              + " is not an ECG waveform",
                          "It is a DICOM file, but not an ECG.");
    } else {
        debugLogError("SOP class not set, assuming ECG Waveform Storage");
    }

    unsigned short channelCount = 0;
    unsigned long byteLength = 0;
    OFList<WvfSamples*> buffers;
    unsigned char bytesPerSample = 0;
    double frequency = 0.0;
    WVF_SAMPLE_INTERPRETATION interpretation = WVF_SAMPLE_INTERPRETATION_UNKNOWN;
    int code = getAndCheckChannelData(waveform, channelCount, byteLength, buffers, bytesPerSample, frequency,
                                      interpretation);
    if (code != 0)
        return code;
    // Checked before the file exists, so a refused object leaves nothing behind.
    if (interpretation != SS)
        return refuse(DCM_ERR_INTERPRETATION, "Invalid Value Interpretation",
                      interpretation == US ? "Its samples are unsigned; this program reads signed 16-bit samples."
                                           : "Its samples are not signed 16-bit numbers; this program reads only those.");

    // Every channel taken, placed by the lead its code names.
    WvfMplxGroup* group = waveform->getMultiplexGroup(m_rhythmGroup);
    const LeadSources sources = leadSourcesOf(group, channelCount);
    if (sources.count == 0)
        return refuse(DCM_ERR_NO_LIMB_LEADS, "CDcmWfvImportPluginOrv: no channel is or gives lead I, II or III",
                      missingLimbLeadsReason(group, channelCount));
    const Sint16* data[3] = {};
    ChannelScale scales[3];
    Uint32 samplesPerChannel = UINT32_MAX;
    for (int k = 0; k < sources.count; ++k) {
        Uint32 bytes = 0;
        Uint8* raw = nullptr;
        WvfSamples* samples = sources.channels[k] ? sources.channels[k]->getSamples() : nullptr;
        if (!samples || samples->getData(bytes, raw).bad() || !raw || samples->getBitsPerSample() != 16)
            return refuse(DCM_ERR_NO_SAMPLE_DATA, "CDcmWfvImportPluginOrv: lead channel without 16-bit samples",
                          kIncomplete);
        data[k] = reinterpret_cast<const Sint16*>(raw);
        samplesPerChannel = std::min(samplesPerChannel, Uint32(bytes / 2));
        scales[k] = scaleOf(sources.channels[k]);
    }
    if (samplesPerChannel == UINT32_MAX || samplesPerChannel > Uint32(INT_MAX))
        return refuse(DCM_ERR_NO_SAMPLE_DATA, "CDcmWfvImportPluginOrv: no usable sample data",
                      kIncomplete);

    // Checked before the file exists: a lead whose values would not be
    // finite numbers refuses the object, nothing of it is written.
    double bounds[3] = {};
    for (int o = 0; o < 3; ++o)
        for (int k = 0; k < sources.count; ++k) {
            if (sources.weight[o][k] == 0.0)
                continue;
            if (!scales[k].finite)
                bounds[o] = HUGE_VAL;
            else
                bounds[o] += std::fabs(sources.weight[o][k]) * scales[k].bound();
        }
    if (!sources.thirdOwn)
        bounds[2] = bounds[0] + bounds[1];
    static const char* const kLeadNames[3] = {"I", "II", "III"};
    for (int o = 0; o < 3; ++o)
        if (!(bounds[o] < double(FLT_MAX)))
            return refuse(DCM_ERR_VALUES_NOT_FINITE,
                          std::string("CDcmWfvImportPluginOrv: the channel sensitivity gives lead ") + kLeadNames[o]
                              + " values that are not finite numbers",
                          "Its channel sensitivity gives values that are not finite numbers.");

    // Annotations in position order, each position's in their stored order.
    // The standard counts positions from 1; objects of the program's earlier
    // versions counted them from 0.
    const bool fromZero = params && params->manufacturer == kManufacturer && params->softwareVersion.empty();
    std::vector<PendingAnnotation> annotations;
    WvfAnnotationModule* module = waveform->getAnnotationModule();
    const Uint32 itemCount = module ? module->getNumberOfAnnotationItems() : 0;
    annotations.reserve(itemCount);
    double value = -1.0;
    for (Uint32 i = 0; i < itemCount; ++i) {
        WvfAnnotationItem* item = module->getAnnotationItem(i);
        if (!item)
            continue;
        OFList<Uint32> positions;
        OFList<Uint16> refChannels;
        OFList<double> values;
        if (!item->getReferencedSamplePositions(positions))
            debugLogError("Error Reading Annotations RefSamplePos");
        if (!item->getReferencedWaveformChannels(refChannels))
            debugLog(4, "Error Reading Annotations RefChn");
        // numeric values are optional
        if (!item->getNumericValues(values))
            debugLog(4, "Error Reading Annotations Float Value");
        if (!values.empty())
            value = values.front();
        if (positions.empty())
            continue; // not tied to a sample
        if (!refersTo(refChannels, m_rhythmGroup))
            continue; // a mark of another group, such as the median beat
        if (!fromZero && positions.front() == 0) {
            debugLog(2, "CDcmWfvImportPluginOrv: annotation at sample position 0 passed over");
            continue;
        }
        PendingAnnotation a;
        a.position = fromZero ? positions.front() : positions.front() - 1;
        item->getUnformattedTextValue(a.text);
        while (!a.text.empty() && a.text[a.text.size() - 1] == ' ')
            a.text.erase(a.text.size() - 1); // trailing padding is not part of the text
        a.value = value;
        a.values.assign(values.begin(), values.end());
        annotations.push_back(a);
    }
    std::stable_sort(annotations.begin(), annotations.end(),
                     [](const PendingAnnotation& a, const PendingAnnotation& b) { return a.position < b.position; });

    CFileEcg* file = new (std::nothrow) CFileEcg();
    EcgFileRecord* chunk = new (std::nothrow) EcgFileRecord[kChunkRecords];
    if (!file || !chunk) {
        delete file;
        delete[] chunk;
        return fail(DCM_ERR_OPEN_FILE, "CDcmWfvImportPluginOrv: out of memory for the output file");
    }
    file->resetHeaderData();
    struct stat before;
    const bool existed = ::stat(outPath.c_str(), &before) == 0;
    bool created;
    if (params) {
        file->patientName = params->patientName;
        file->ownerFirstName = params->ownerFirstName;
        file->ownerLastName = params->ownerLastName;
        file->extPatientId = params->patientId;
        file->genderCode = genderCodeOf(params->patientSex, params->patientSexNeutered);
        const std::string& birth = params->patientBirthDate;
        if (isEightDigits(birth))
            file->patientBirthdate = birth.substr(6, 2) + "." + birth.substr(4, 2) + "." + birth.substr(0, 4);
        file->recordingTime = params->studyTs;
        file->speciesCode = speciesCodeOf(params->speciesDescription, file->speciesCode);
        created = file->createFile(outPath);
    } else {
        created = file->createFileNoHeader(outPath);
    }
    if (!created) {
        file->close();
        delete file;
        delete[] chunk;
        if (!existed)
            removePartialFile(outPath);
        return fail(DCM_ERR_OPEN_FILE, "unable to open output file " + outPath);
    }

    bool written = true;
    int inChunk = 0;
    auto append = [&](const EcgFileRecord& record) {
        chunk[inChunk] = record;
        if (++inChunk == kChunkRecords) {
            written = written && file->addData(chunk, inChunk);
            inChunk = 0;
        }
    };
    std::size_t next = 0;
    std::size_t events = 0;
    // Most objects give each lead from one channel of its own: no sums then.
    int direct[3] = {-1, -1, -1};
    bool allDirect = true;
    for (int o = 0; o < 3; ++o)
        for (int k = 0; k < sources.count; ++k)
            if (sources.weight[o][k] != 0.0) {
                allDirect = allDirect && direct[o] < 0 && sources.weight[o][k] == 1.0;
                direct[o] = k;
            }
    const int records = static_cast<int>(samplesPerChannel);
    for (int r = 0; r < records && written; ++r) {
        double lead[3] = {0.0, 0.0, 0.0};
        if (allDirect) {
            for (int o = 0; o < 3; ++o)
                if (direct[o] >= 0)
                    lead[o] = scales[direct[o]].apply(data[direct[o]][r]);
        } else {
            for (int k = 0; k < sources.count; ++k) {
                const double v = scales[k].apply(data[k][r]);
                for (int o = 0; o < 3; ++o)
                    lead[o] += sources.weight[o][k] * v;
            }
        }
        EcgFileRecord sample;
        sample.type = 0;
        sample.extra = 0;
        sample.leadI = static_cast<float>(lead[0]);
        sample.leadII = static_cast<float>(lead[1]);
        sample.leadIII = sources.thirdOwn ? static_cast<float>(lead[2]) : sample.leadII - sample.leadI;

        // Marks of this sample (the first one applies), then its events as
        // records of their own after it: no sample is given up for an event.
        while (next < annotations.size() && annotations[next].position < Uint32(r))
            ++next;
        std::size_t end = next;
        bool marked = false;
        for (; end < annotations.size() && annotations[end].position == Uint32(r); ++end)
            if (!marked)
                marked = applySampleMark(annotations[end], sample);
        append(sample);
        EcgFileRecord event;
        for (std::size_t i = next; i < end; ++i)
            if (eventRecordOf(annotations[i], event)) {
                append(event);
                ++events;
            }
        next = end;
    }
    if (written && inChunk > 0)
        written = file->addData(chunk, inChunk);
    delete[] chunk;
    written = file->close() && written;
    delete file;
    if (!written) {
        removePartialFile(outPath);
        return fail(DCM_ERR_OPEN_FILE, "unable to write output file " + outPath);
    }
    debugLog(2, "max sampleNo on waveform import is " + toStdString(records) + ", events "
                    + toStdString(static_cast<long long>(events)));
    return 0;
}
