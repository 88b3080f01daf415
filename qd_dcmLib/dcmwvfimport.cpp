// Import of a DICOM ECG waveform object into a new .ecg recording
// (the second half of CDcmWvfPluginOrv).
#include "dcmwvfpluginorv.h"

#include "dcmerrors.h"
#include "debuglog.h"
#include "fileecg.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
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
const int kChunkRecords = 4096;

enum Lead { LeadNone = -1, LeadI = 0, LeadII = 1, LeadIII = 2 };

// Which limb lead a channel's source code names: the standard codes (MDC
// and SCP-ECG) and the program's earlier codes, whose meaning names the lead.
Lead leadOf(WvfChannel* channel)
{
    CodeSequenceMacro code;
    if (!channel->getChannelSourceSequence(code))
        return LeadNone;
    OFString scheme, value, meaning;
    code.getCodingSchemeDesignator(scheme);
    code.getCodeValue(value);
    code.getCodeMeaning(meaning);
    if (scheme == "MDC") {
        if (value == "2:1")
            return LeadI;
        if (value == "2:2")
            return LeadII;
        if (value == "2:61")
            return LeadIII;
    } else if (scheme == "SCPECG") {
        if (value == "5.6.3-9-1")
            return LeadI;
        if (value == "5.6.3-9-2")
            return LeadII;
        if (value == "5.6.3-9-61")
            return LeadIII;
    } else if (scheme == "OFFIS_DCMTK_354") {
        if (meaning == "I")
            return LeadI;
        if (meaning == "II")
            return LeadII;
        if (meaning == "III")
            return LeadIII;
    }
    return LeadNone;
}

// Lead units per stored step of one channel, and the offset in lead units.
struct ChannelScale
{
    bool programScale = true; // the sample / 5.6 of the program's own objects
    double factor = 0.0;
    double offset = 0.0;

    float apply(Sint16 raw) const
    {
        if (programScale)
            return static_cast<float>(raw / CDcmWvfPluginOrv::kLeadScale);
        return static_cast<float>(raw * factor + offset);
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
// whose scale can't be read, as the sample / 5.6.
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
    if (!std::isfinite(microVoltsPerStep) || microVoltsPerStep == 0.0 || !std::isfinite(baseline))
        return scale;
    const double own = CDcmWvfPluginOrv::kMicroVoltPerLead / CDcmWvfPluginOrv::kLeadScale;
    if (baseline == 0.0 && std::fabs(microVoltsPerStep / own - 1.0) < 1e-5)
        return scale; // the program's own scale: exactly the sample / 5.6
    scale.programScale = false;
    scale.factor = microVoltsPerStep / CDcmWvfPluginOrv::kMicroVoltPerLead;
    scale.offset = baseline * perUnit / CDcmWvfPluginOrv::kMicroVoltPerLead;
    return scale;
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

struct PendingAnnotation
{
    Uint32 position;
    OFString text;
    double value;
};

void annotationRecord(const OFString& text, double value, EcgFileRecord& record)
{
    static const struct
    {
        const char* text;
        int type;
        bool withValue;
    } kTypes[] = {{"R", 1, true},
                  {"UNKNOWN", 13, true},
                  {"L", 45, true},
                  {"USER_MARK_1", -102, true},
                  {"USER_MARK_2", -103, true},
                  {"USER_MARK_3", -104, true},
                  {"USER_MARK_4", -105, true},
                  {"CHANNEL_ERROR", -2, true},
                  {"PACKET_ERROR", -3, false},
                  {"LOWBAT", -1, false}};
    for (const auto& t : kTypes) {
        if (text != t.text)
            continue;
        record.type = static_cast<std::int16_t>(t.type);
        if (t.withValue && std::isfinite(value)) {
            // truncated toward zero, low 16 bits
            const double clamped = std::max(std::min(value, double(INT_MAX)), double(INT_MIN));
            record.extra = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<int>(clamped) & 0xFFFF));
        }
        return;
    }
}

} // namespace

int CDcmWvfPluginOrv::genderCodeOf(const std::string& sex, const std::string& neutered)
{
    if (sex == "O")
        return 0;
    if (sex == "M" && neutered == "UNALTERED")
        return 1;
    if (sex == "F" && neutered == "UNALTERED")
        return 2;
    if (sex == "M" && neutered == "ALTERED")
        return 3;
    if (sex == "F" && neutered == "ALTERED")
        return 4;
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
    WvfMplxGroup* group = waveform->getMultiplexGroup(1);
    if (!group)
        return fail(DCM_ERR_NO_MPLX_GROUP, "CDcmWfvImportPluginOrv: no multiplex group");
    channelCount = group->getNumberOfChannels();
    if (channelCount > kMaxChannels)
        return fail(DCM_ERR_NO_CHANNELS, "CDcmWfvImportPluginOrv: " + toStdString(int(channelCount))
                                             + " channels, at most 12 are taken");
    if (channelCount == 0)
        return fail(DCM_ERR_NO_CHANNELS, "CDcmWfvImportPluginOrv: no channels");

    const bool frequencySet = group->getSamplingFrequency(samplingFrequency);
    checkSamplingFrequency(samplingFrequency, frequencySet);
    if (samplingFrequency != 500.0)
        return fail(DCM_ERR_SAMPLING_FREQUENCY, "CDcmWfvImportPluginOrv: sampling frequency is not 500 Hz");

    OFString originality;
    if (group->getWaveformOriginality(originality) && originality != "ORIGINAL")
        return fail(DCM_ERR_NOT_ORIGINAL, "CDcmWfvImportPluginOrv: waveform originality is "
                                              + std::string(originality.c_str()));

    for (unsigned short c = 1; c <= channelCount; ++c) {
        WvfChannel* channel = group->getChannel(c);
        if (!channel)
            return fail(DCM_ERR_CHANNEL_MISSING, "CDcmWfvImportPluginOrv: channel " + toStdString(int(c)) + " missing");
        WvfSamples* samples = channel->getSamples();
        if (!samples)
            return fail(DCM_ERR_NO_SAMPLE_BUFFER, "CDcmWfvImportPluginOrv: channel " + toStdString(int(c))
                                                      + " has no samples");
        Uint32 bytes = 0;
        Uint8* data = nullptr;
        if (samples->getData(bytes, data).bad() || bytes == 0 || !data)
            return fail(DCM_ERR_NO_SAMPLE_DATA, "CDcmWfvImportPluginOrv: channel " + toStdString(int(c))
                                                    + " has no sample data");
        buffers.push_back(samples);
        byteLength = bytes;
    }
    if (channelCount == 2) {
        const Uint32 first = group->getChannel(1)->getNumberOfSamples();
        const Uint32 second = group->getChannel(2)->getNumberOfSamples();
        if (first != second)
            return fail(DCM_ERR_CHANNEL_LENGTHS, "Channel 1,2" + toStdString(static_cast<long long>(first)) + ","
                                                     + toStdString(static_cast<long long>(second)));
    }
    bytesPerSample = static_cast<unsigned char>(buffers.front()->getBitsPerSample() / 8);
    if (bytesPerSample != 2)
        return fail(DCM_ERR_SAMPLE_BITS, "CDcmWfvImportPluginOrv: samples are not 16 bits wide");
    if (!group->getWaveformSampleInterpretation(interpretation))
        return fail(DCM_ERR_NO_INTERPRETATION, "CDcmWfvImportPluginOrv: no waveform sample interpretation");
    return 0;
}

int CDcmWvfPluginOrv::convertDcm2Orv(WvfWaveform* waveform, std::string outPath, const TWaveformParams* params)
{
    debugLog(4, "CDcmWfvImportPluginOrv::convertDcm2Orv() start, outPath=" + outPath);
    m_lastError.clear();
    if (!waveform)
        return fail(DCM_ERR_NO_OBJECT, "CDcmWfvImportPluginOrv::convertDcm2Orv() no waveform object");

    OFString sopClass;
    if (waveform->getSOPClassUID(sopClass) && !sopClass.empty()) {
        bool accepted = false;
        for (const char* uid : kAcceptedSopClasses)
            accepted = accepted || sopClass == uid;
        if (!accepted)
            return fail(DCM_ERR_SOP_CLASS, std::string("CDcmWfvImportPluginOrv: SOP class ") + sopClass.c_str()
                                               + " is not an ECG waveform");
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
        return fail(DCM_ERR_INTERPRETATION, "Invalid Value Interpretation");

    // Leads I and II where the source codes name them, else the first
    // channels in order; one or two channels give lead III as II - I.
    WvfMplxGroup* group = waveform->getMultiplexGroup(1);
    WvfChannel* channels[3] = {};
    for (unsigned short c = 1; c <= channelCount; ++c) {
        WvfChannel* channel = group->getChannel(c);
        const Lead lead = leadOf(channel);
        if (lead != LeadNone && !channels[lead])
            channels[lead] = channel;
    }
    if (!channels[LeadI] || !channels[LeadII]) {
        for (int k = 0; k < 3; ++k)
            channels[k] = k < channelCount ? group->getChannel(static_cast<Uint32>(k + 1)) : nullptr;
    }
    const Sint16* data[3] = {};
    ChannelScale scales[3];
    Uint32 samplesPerChannel = UINT32_MAX;
    for (int k = 0; k < 3; ++k) {
        if (!channels[k])
            continue;
        Uint32 bytes = 0;
        Uint8* raw = nullptr;
        WvfSamples* samples = channels[k]->getSamples();
        if (!samples || samples->getData(bytes, raw).bad() || !raw || samples->getBitsPerSample() != 16)
            return fail(DCM_ERR_NO_SAMPLE_DATA, "CDcmWfvImportPluginOrv: lead channel without 16-bit samples");
        data[k] = reinterpret_cast<const Sint16*>(raw);
        samplesPerChannel = std::min(samplesPerChannel, Uint32(bytes / 2));
        scales[k] = scaleOf(channels[k]);
    }
    if (samplesPerChannel == UINT32_MAX || samplesPerChannel > Uint32(INT_MAX))
        return fail(DCM_ERR_NO_SAMPLE_DATA, "CDcmWfvImportPluginOrv: no usable sample data");

    // Annotations in position order; at one position the first one applies.
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
        // channels are read and not used; numeric values are optional
        if (!item->getReferencedWaveformChannels(refChannels))
            debugLog(4, "Error Reading Annotations RefChn");
        if (!item->getNumericValues(values))
            debugLog(4, "Error Reading Annotations Float Value");
        if (!values.empty())
            value = values.front();
        if (positions.empty())
            continue; // not tied to a sample
        PendingAnnotation a;
        a.position = positions.front();
        item->getUnformattedTextValue(a.text);
        while (!a.text.empty() && a.text[a.text.size() - 1] == ' ')
            a.text.erase(a.text.size() - 1); // trailing padding is not part of the text
        a.value = value;
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
    std::size_t next = 0;
    int inChunk = 0;
    const int records = static_cast<int>(samplesPerChannel);
    for (int r = 0; r < records && written; ++r) {
        EcgFileRecord& rec = chunk[inChunk];
        const float leadI = data[LeadI] ? scales[LeadI].apply(data[LeadI][r]) : 0.0f;
        const float leadII = data[LeadII] ? scales[LeadII].apply(data[LeadII][r]) : 0.0f;
        rec.leadI = leadI;
        rec.leadII = leadII;
        rec.leadIII = data[LeadIII] ? scales[LeadIII].apply(data[LeadIII][r]) : leadII - leadI;
        rec.type = 0;
        rec.extra = 0;
        while (next < annotations.size() && annotations[next].position < Uint32(r))
            ++next;
        if (next < annotations.size() && annotations[next].position == Uint32(r)) {
            annotationRecord(annotations[next].text, annotations[next].value, rec);
            // later ones at the same position do not apply
            while (next < annotations.size() && annotations[next].position == Uint32(r))
                ++next;
        }
        if (++inChunk == kChunkRecords) {
            written = file->addData(chunk, inChunk);
            inChunk = 0;
        }
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
    debugLog(2, "max sampleNo on waveform import is " + toStdString(records));
    return 0;
}
