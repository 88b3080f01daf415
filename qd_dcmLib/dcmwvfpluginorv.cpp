// Export of a .ecg recording into a General ECG Waveform object.
#include "dcmwvfpluginorv.h"

#include "dcmerrors.h"
#include "debuglog.h"
#include "fileecg.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

namespace {

const char* const kGeneralEcgSopClass = "1.2.840.10008.5.1.4.1.1.9.1.2";

// Standard ECG lead codes (MDC, context group 3001) in channel order I, II,
// III, aVR, aVL, aVF; the short meanings are the ones every viewer reads.
const char* const kLeadCodes[CDcmWvfPluginOrv::kChannels] = {"2:1", "2:2", "2:61", "2:62", "2:63", "2:64"};
const char* const kLeadMeanings[CDcmWvfPluginOrv::kChannels] = {"Lead I",   "Lead II",  "Lead III",
                                                                "Lead aVR", "Lead aVL", "Lead aVF"};

const char* const kSpecies[21] = {"Unknown", "Equine", "Canine",  "Feline",  "Other",    "Alpaca", "Avian",
                                  "Cow",     "Ferret", "Goat",    "GuineaPig", "Lizard", "Llama",  "Porcine",
                                  "Primate", "Rabbit", "Reptile", "Rodent",  "Sheep",    "Small Mammal", "Snake"};

// Longest values of the VRs written from typed texts, in bytes (what
// validators and PACS count): LO, and one component group of PN.
const std::size_t kLongStringBytes = 64;
const std::size_t kNameGroupBytes = 64;

bool isAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::string utcText(std::int64_t seconds, const char* format)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&t, &parts))
        return std::string();
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof(buffer), format, &parts);
    return std::string(buffer, n);
}

// A backslash separates values in DICOM: a typed one must not split a text.
std::string oneValue(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// Caret and equals sign separate a person name's components and groups: a
// typed one must not split a name.
std::string onePersonNamePart(std::string text)
{
    text = oneValue(text);
    std::replace(text.begin(), text.end(), '^', '/');
    std::replace(text.begin(), text.end(), '=', '/');
    return text;
}

std::string longString(const std::string& text)
{
    return CDcmWvfPluginOrv::cutToBytes(oneValue(text), kLongStringBytes);
}

// Family and given name as one component group of at most 64 bytes; the
// longer part gives way first. The caret stands between two parts, or always
// when caretAlways is set.
std::string personName(std::string family, std::string given, bool caretAlways)
{
    family = onePersonNamePart(family);
    given = onePersonNamePart(given);
    const bool caret = caretAlways || (!family.empty() && !given.empty());
    const std::size_t room = kNameGroupBytes - (caret ? 1 : 0);
    if (family.size() + given.size() > room) {
        const std::size_t half = room / 2;
        if (family.size() <= half) {
            given = CDcmWvfPluginOrv::cutToBytes(given, room - family.size());
        } else if (given.size() <= half) {
            family = CDcmWvfPluginOrv::cutToBytes(family, room - given.size());
        } else {
            family = CDcmWvfPluginOrv::cutToBytes(family, half);
            given = CDcmWvfPluginOrv::cutToBytes(given, room - family.size());
        }
    }
    return caret ? family + "^" + given : family + given;
}

// A positive weight as a decimal string (a decimal comma becomes a point);
// empty for an unknown weight: no number, 0 or below.
std::string decimalText(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty() || text.size() > 16)
        return std::string();
    // digits with at most one point, checked by hand: strtod reads by locale
    std::size_t i = text[0] == '+' ? 1 : 0;
    int digits = 0, points = 0;
    bool positive = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            ++digits;
            positive = positive || text[i] != '0';
        } else if (text[i] == '.' && ++points == 1) {
            continue;
        } else {
            return std::string();
        }
    }
    return digits > 0 && positive ? text : std::string();
}

// Sample marks and events as annotation texts; null for a plain sample.
const char* sampleMarkText(int type)
{
    switch (type) {
    case ECG_SAMPLE_RPEAK: return "R";
    case ECG_SAMPLE_MARK13: return "UNKNOWN";
    case ECG_SAMPLE_LEADIN: return "L";
    default: return nullptr;
    }
}

const char* eventText(int type)
{
    switch (type) {
    case ECG_EVENT_BATTERY_LOW: return "LOWBAT";
    case ECG_EVENT_CHANNEL_ERROR: return "CHANNEL_ERROR";
    case ECG_EVENT_PACKET_ERROR: return "PACKET_ERROR";
    case ECG_EVENT_RECORD_TOGGLE: return "RECORD_TOGGLE";
    case ECG_EVENT_DEVICE_INFO: return "DEVICE_INFO"; // an annotation without text breaks the object
    case ECG_EVENT_USER_MARK1: return "USER_MARK_1";
    case ECG_EVENT_USER_MARK2: return "USER_MARK_2";
    case ECG_EVENT_USER_MARK3: return "USER_MARK_3";
    case ECG_EVENT_USER_MARK4: return "USER_MARK_4";
    case ECG_EVENT_DEVICE_ID: return "DEVICE_ID";
    case ECG_EVENT_DEVICE_DATA: return "DEVICE_DATA";
    default: return nullptr;
    }
}

void logTag(const char* tag, const std::string& value)
{
    debugLog(3, std::string("CDcmWfvImportPluginOrv::setParams() setting tag ") + tag + " to " + value);
}

} // namespace

void TWaveformParams::clear()
{
    *this = TWaveformParams();
}

CDcmWvfPluginOrv::CDcmWvfPluginOrv(int applicationType, std::string institutionName, std::string softwareVersion)
    : m_applicationType(applicationType), m_institutionName(std::move(institutionName)),
      m_softwareVersion(std::move(softwareVersion))
{
}

CDcmWvfPluginOrv::~CDcmWvfPluginOrv()
{
    delete m_reader;
}

int CDcmWvfPluginOrv::fail(int code, const std::string& text)
{
    m_lastError = text;
    debugLogError(text);
    return code;
}

int CDcmWvfPluginOrv::refuse(int code, const std::string& text, const std::string& reason)
{
    m_refusal = reason;
    return fail(code, text);
}

std::string CDcmWvfPluginOrv::speciesDescriptionOf(int code)
{
    // Every species has a text: without one the object would not say the
    // patient is an animal, and the veterinary attributes would be out of place.
    return code >= 0 && code <= 20 ? kSpecies[code] : kSpecies[0];
}

void CDcmWvfPluginOrv::setSexOf(int genderCode, TWaveformParams& params)
{
    switch (genderCode) {
    case 1: params.patientSex = "M"; params.patientSexNeutered = "UNALTERED"; break;
    case 2: params.patientSex = "F"; params.patientSexNeutered = "UNALTERED"; break;
    case 3: params.patientSex = "M"; params.patientSexNeutered = "ALTERED"; break;
    case 4: params.patientSex = "F"; params.patientSexNeutered = "ALTERED"; break;
    case 5: params.patientSex.clear(); params.patientSexNeutered.clear(); break;
    // Other or unknown: nothing is known of neutering, so nothing is claimed.
    default: params.patientSex = "O"; params.patientSexNeutered.clear(); break;
    }
}

std::string CDcmWvfPluginOrv::birthDateOf(std::int64_t birthTs)
{
    return birthTs != 0 ? utcText(birthTs, "%Y%m%d") : std::string();
}

std::string CDcmWvfPluginOrv::cutToBytes(const std::string& text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    // back to the first byte of a character (continuation bytes are 10xxxxxx)
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

void CDcmWvfPluginOrv::checkSamplingFrequency(double& frequency, bool isSet)
{
    if (!isSet) {
        debugLog(2, "Sampling Frequency not set. Inventing value of 500 Hz for writing sound file");
        frequency = 500.0;
    }
    if (frequency == 0.0) {
        debugLog(2, "Sampling Frequency in waveform object is set to 0. Overriding with value of 500 Hz.");
        frequency = 500.0;
    } else if (frequency != 500.0) {
        debugLogError("Sampling Frequency in waveform object is not 500 Hz.");
    }
}

int CDcmWvfPluginOrv::convertOrv2Dcm(WvfWaveform* waveform, std::string path, TWaveformParams params)
{
    debugLog(4, "CDcmWfvImportPluginOrv::convertOrv2Dcm() start");
    m_lastError.clear();
    if (!waveform)
        return fail(DCM_ERR_NO_OBJECT, "CDcmWfvImportPluginOrv::convertOrv2Dcm() no waveform object");
    if (!m_reader)
        m_reader = new (std::nothrow) CFileEcg();
    if (!m_reader)
        return fail(DCM_ERR_OPEN_FILE, "CDcmWfvImportPluginOrv::convertOrv2Dcm() out of memory for the reader");
    m_refusal.clear();
    if (!m_reader->openFileReadOnly(path))
        return refuse(DCM_ERR_OPEN_FILE,
                      "CDcmWfvImportPluginOrv::convertOrv2Dcm() unable to open " + path + ": " + m_reader->refusal(),
                      m_reader->refusal());

    // The patient is the caller's (the recording's own, as it is now); the
    // header's patient texts are those of the moment of recording.
    // A patient without species (none yet, or a worklist entry without one)
    // leaves the species chosen for the recording.
    if (params.speciesDescription.empty())
        params.speciesDescription = speciesDescriptionOf(m_reader->speciesCode);
    params.studyTs = m_reader->recordingTime;
    params.studyDate = utcText(params.studyTs, "%Y%m%d");
    params.studyTime = utcText(params.studyTs, "%H%M%S");
    debugLog(4, "time conversion: " + toStdString(static_cast<long long>(params.studyTs)) + " converts to "
                    + params.studyDate + " " + params.studyTime);
    params.accessionNumber.clear();
    params.manufacturer = kManufacturer;
    params.softwareVersion = m_softwareVersion;

    const int code = buildWaveform(waveform, params);
    m_reader->close();
    // Its read window is megabytes; the object is written and saved next.
    delete m_reader;
    m_reader = nullptr;
    params.clear();
    return code;
}

void CDcmWvfPluginOrv::setParams(const TWaveformParams& p, WvfWaveform* w)
{
    // Texts beyond ASCII are written as UTF-8, and the object says so.
    const std::string* const texts[] = {&p.patientName, &p.ownerLastName,   &p.ownerFirstName,
                                        &p.patientId,   &p.breedDescription, &p.speciesDescription,
                                        &p.weight,      &m_institutionName, &p.manufacturer,
                                        &p.softwareVersion};
    for (const std::string* text : texts)
        if (!isAscii(*text)) {
            w->setSpecificCharacterSet("ISO_IR 192");
            break;
        }

    // Every text within its VR's length, cut at a character's boundary.
    const std::string name = personName(p.ownerLastName, p.patientName, false);
    logTag("patientName", name);
    w->setPatientName(name.c_str());
    const std::string id = longString(p.patientId);
    logTag("patientId", id);
    w->setPatientID(id.c_str());
    logTag("patientBirthDate", p.patientBirthDate);
    w->setPatientBirthDate(p.patientBirthDate.c_str());
    logTag("patientSex", p.patientSex);
    w->setPatientSex(p.patientSex.c_str());
    // Neutering is told only with a sex it belongs to.
    const bool neuterable = p.patientSex == "M" || p.patientSex == "F";
    w->setPatientSexNeutered(neuterable ? p.patientSexNeutered.c_str() : "");

    std::string date = p.studyDate;
    if (date.empty()) {
        date = "20140101";
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() DEFAULTING tag studyDate to 20140101");
    } else {
        logTag("studyDate", date);
    }
    w->setStudyDate(date.c_str());
    std::string time = p.studyTime;
    if (time.empty()) {
        time = "000000";
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() DEFAULTING tag studyTime to 000000.0000");
    } else {
        logTag("studyTime", time);
    }
    w->setStudyTime((time + ".0000").c_str());
    // The content and acquisition times are the recording's start as well.
    w->setContentDate(date.c_str());
    w->setContentTime((time + ".0000").c_str());
    w->setAcquisitionDateTime((date + time).c_str());

    std::string responsible;
    if (!p.ownerFirstName.empty()) {
        responsible = personName(p.ownerLastName, p.ownerFirstName, true);
        logTag("responsiblePerson", responsible);
    } else {
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() DEFAULTING tag responsiblePerson to <empty>");
    }
    w->setResponsiblePerson(responsible.c_str());
    w->setResponsiblePersonRole("OWNER");
    w->setReferringPhysicianName("");
    logTag("studyInstanceUID", p.studyInstanceUid);
    w->setStudyInstanceUID(p.studyInstanceUid.c_str());
    const std::string institution = longString(m_institutionName);
    logTag("institutionName", institution);
    w->setInstitutionName(institution.c_str());
    if (!p.manufacturer.empty()) {
        const std::string manufacturer = longString(p.manufacturer);
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() setting tag manufacturer to " + manufacturer
                        + ", applicationType=" + toStdString(m_applicationType));
        w->setManufacturer(manufacturer.c_str());
    }
    if (!p.softwareVersion.empty()) {
        const std::string model = longString("Yarlo Malvorant " + p.softwareVersion);
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() setting tag manufacturer to " + model
                        + ", applicationType=" + toStdString(m_applicationType));
        w->setManufacturerModelName(model.c_str());
    }
    // Always a species: the patient is an animal, and the object says so.
    const std::string species = longString(p.speciesDescription.empty() ? speciesDescriptionOf(0)
                                                                        : p.speciesDescription);
    logTag("PatientSpeciesDescription", species);
    w->setPatientSpeciesDescription(species.c_str());
    if (!p.breedDescription.empty()) {
        const std::string breed = longString(p.breedDescription);
        logTag("PatientBreedDescription", breed);
        w->setPatientBreedDescription(breed.c_str());
    }
    if (!p.weight.empty()) {
        const std::string weight = decimalText(p.weight);
        if (weight.empty()) {
            debugLog(2, "CDcmWfvImportPluginOrv::setParams() weight left empty, not a positive number: "
                            + p.weight);
        } else {
            logTag("PatientWeight", weight);
            w->setPatientWeight(weight.c_str());
        }
    }
}

int CDcmWvfPluginOrv::buildWaveform(WvfWaveform* waveform, const TWaveformParams& params)
{
    setParams(params, waveform);

    // One pass over the recording: the buffers are made for every record and
    // cut to the samples once the events (which hold none) are known.
    const int records = m_reader->getRecordCount();
    const Uint32 room = records > 0 ? Uint32(records) : 0;
    m_samplingFrequency = 500;

    waveform->setSOPClassUID(kGeneralEcgSopClass);
    WvfMplxGroup* group = new (std::nothrow) WvfMplxGroup();
    if (!group) {
        m_reader->close();
        return fail(DCM_ERR_CREATE_MPLX_GROUP, "CDcmWfvImportPluginOrv::buildWaveform() out of memory for the group");
    }
    waveform->addMultiplexGroup(group, 0);
    debugLog(2, "start adding channels, records=" + toStdString(records));

    WvfChannel* channels[kChannels] = {};
    WvfSamples* samples[kChannels] = {};
    int added = 0;
    auto dropRest = [&]() {
        for (int c = added; c < kChannels; ++c) {
            delete channels[c];
            channels[c] = nullptr;
        }
    };
    for (int c = 0; c < kChannels; ++c) {
        channels[c] = new (std::nothrow) WvfChannel();
        if (!channels[c]) {
            dropRest();
            m_reader->close();
            return fail(DCM_ERR_CREATE_CHANNEL, "CDcmWfvImportPluginOrv::buildWaveform() out of memory for a channel");
        }
        const OFCondition cond = channels[c]->createSamples(room, SS);
        if (cond.bad()) {
            dropRest();
            m_reader->close();
            // A condition without a number must still read as a failure.
            return fail(cond.code() != 0 ? int(cond.code()) : int(DCM_ERR_CREATE_CHANNEL), cond.text());
        }
        samples[c] = channels[c]->getSamples();
    }
    debugLog(2, "done adding channels");
    int result = setSamples(samples, waveform);
    if (result == 0 && m_samplesPerChannel < room)
        result = cutSamples(samples, m_samplesPerChannel);
    if (result != 0) {
        dropRest();
        return result;
    }
    for (; added < kChannels; ++added) {
        const OFCondition cond = group->addChannel(channels[added], -1);
        if (cond.bad()) {
            dropRest();
            m_reader->close();
            return fail(cond.code() != 0 ? int(cond.code()) : int(DCM_ERR_CREATE_CHANNEL), cond.text());
        }
    }
    return setChannelDefinitions(waveform);
}

int CDcmWvfPluginOrv::cutSamples(WvfSamples* samples[kChannels], Uint32 count)
{
    for (int c = 0; c < kChannels; ++c) {
        Uint32 bytes = 0;
        Uint8* data = nullptr;
        Sint16* cut = new (std::nothrow) Sint16[count > 0 ? count : 1];
        if (!cut || samples[c]->getData(bytes, data).bad() || !data || bytes / 2 < count) {
            delete[] cut;
            return fail(DCM_ERR_STORE_SAMPLES, "CDcmWfvImportPluginOrv::setSamples out of memory for the samples");
        }
        std::memcpy(cut, data, std::size_t(count) * sizeof(Sint16));
        samples[c]->setData(count, cut);
        samples[c]->setSigned(true);
    }
    return 0;
}

int CDcmWvfPluginOrv::addAnnotation(WvfWaveform* waveform, const char* text, Uint32 position,
                                    const OFList<double>& values)
{
    WvfAnnotationItem* item = new (std::nothrow) WvfAnnotationItem();
    if (!item)
        return fail(DCM_ERR_STORE_SAMPLES, "CDcmWfvImportPluginOrv::setSamples out of memory for an annotation");
    item->setUnformattedTextValue(text);
    OFList<Uint16> channels;
    channels.push_back(1);
    channels.push_back(1);
    item->setReferencedWaveformChannels(channels);
    item->setNumericValues(values);
    item->setTemporalRangeType(POINT);
    // The standard counts sample positions from 1: the first sample is 1.
    OFList<Uint32> positions;
    positions.push_back(position + 1);
    item->setReferencedSamplePositions(positions);
    const OFCondition cond = waveform->getAnnotationModule()->addAnnotationItem(item);
    if (cond.bad()) {
        delete item;
        return fail(DCM_ERR_STORE_SAMPLES, std::string("CDcmWfvImportPluginOrv::setSamples ") + cond.text());
    }
    return 0;
}

int CDcmWvfPluginOrv::setSamples(WvfSamples* samples[kChannels], WvfWaveform* waveform)
{
    // The buffers' own arrays, filled directly: a recording has millions of samples.
    Sint16* out[kChannels] = {};
    Uint32 room = UINT32_MAX;
    for (int c = 0; c < kChannels; ++c) {
        Uint32 bytes = 0;
        Uint8* data = nullptr;
        if (!samples[c] || samples[c]->getBitsPerSample() != 16)
            return fail(DCM_ERR_STORE_SAMPLES, "CDcmWfvImportPluginOrv::setSamples no 16-bit sample buffer");
        if (samples[c]->getNumberOfSamples() > 0 && (samples[c]->getData(bytes, data).bad() || !data))
            return fail(DCM_ERR_STORE_SAMPLES, "CDcmWfvImportPluginOrv::setSamples no sample buffer");
        out[c] = reinterpret_cast<Sint16*>(data);
        room = std::min(room, samples[c]->getNumberOfSamples());
    }

    // An event holds no sample: it is an annotation at the sample it follows.
    // Events before the first sample wait for it and follow it.
    struct Event
    {
        const char* text;
        OFList<double> values;
    };
    std::vector<Event> beforeFirst;
    Uint32 n = 0;
    EcgReadRecord record{};
    const int records = m_reader->getRecordCount();
    for (int i = 0; i < records && m_reader->readData(i, record); ++i) {
        OFList<double> values;
        if (record.type >= 0) {
            if (n >= room)
                return fail(DCM_ERR_STORE_SAMPLES, "CDcmWfvImportPluginOrv::setSamples unable to store sample "
                                                       + toStdString(static_cast<long long>(n)));
            const float leadI = record.leadI;
            const float leadII = record.leadII;
            out[0][n] = scaleSample(leadI);
            out[1][n] = scaleSample(leadII);
            out[2][n] = scaleSample(leadII - leadI);
            // aVR is stored as itself, -(I + II) / 2, so it shows the right way up.
            out[3][n] = scaleSample(-((leadI + leadII) * 0.5f));
            out[4][n] = scaleSample(leadI - leadII * 0.5f);
            out[5][n] = scaleSample(leadII - leadI * 0.5f);
            if (const char* mark = sampleMarkText(record.type)) {
                values.push_back(record.extra);
                const int code = addAnnotation(waveform, mark, n, values);
                if (code != 0)
                    return code;
            }
            for (const Event& e : beforeFirst) {
                const int code = addAnnotation(waveform, e.text, n, e.values);
                if (code != 0)
                    return code;
            }
            beforeFirst.clear();
            ++n;
            continue;
        }
        const char* text = eventText(record.type);
        if (!text) {
            debugLogError("CDcmWfvImportPluginOrv::setSamples :unknown annotation annotation, annotation="
                          + toStdString(record.type) + " at position=" + toStdString(static_cast<long long>(n)));
            text = "ERROR";
        }
        if (record.type == ECG_EVENT_DEVICE_INFO) {
            // the device values the recording keeps of it
            values.push_back(record.leadI);
            values.push_back(record.leadII);
        }
        values.push_back(record.extra);
        if (n == 0) {
            beforeFirst.push_back(Event{text, values});
            continue;
        }
        const Uint32 position = n - 1;
        debugLog(4, "CDcmWfvImportPluginOrv::setSamples :writing annotation, annotation="
                        + toStdString(record.type) + " at position=" + toStdString(static_cast<long long>(position)));
        const int code = addAnnotation(waveform, text, position, values);
        if (code != 0)
            return code;
    }
    if (!beforeFirst.empty())
        debugLog(2, "CDcmWfvImportPluginOrv::setSamples: " + toStdString(int(beforeFirst.size()))
                        + " events without a sample are not exported");
    m_samplesPerChannel = n;
    debugLog(2, "CDcmWfvImportPluginOrv::setSamples: max sampleNo on .ecg import is "
                    + toStdString(static_cast<long long>(n)));
    return 0;
}

int CDcmWvfPluginOrv::setChannelDefinitions(WvfWaveform* waveform)
{
    if (!waveform)
        return fail(DCM_ERR_NO_OBJECT, "CDcmWfvImportPluginOrv::setChannelDefinitions() no waveform object");
    waveform->setSOPClassUID(kGeneralEcgSopClass);
    waveform->setModality("ECG");
    WvfMplxGroup* group = waveform->getMultiplexGroup(1);
    if (!group)
        return fail(DCM_ERR_CREATE_CHANNEL, "CDcmWfvImportPluginOrv::setChannelDefinitions() no multiplex group");
    group->setMultiplexGroupTimeOffset(0.0);
    group->setWaveformOriginality("ORIGINAL");
    group->setSamplingFrequency(m_samplingFrequency);
    group->setWaveformSampleInterpretation(SS);

    CodeSequenceMacro units;
    units.setCodingSchemeDesignator("UCUM");
    units.setCodeValue("uV");
    units.setCodingSchemeVersion("1.4");
    units.setCodeMeaning("microvolt");
    // The program's chart and report count 5.2 uV per lead unit and the
    // samples hold the lead value x 5.6.
    const double sensitivity = kMicroVoltPerLead / kLeadScale;
    const Uint16 count = group->getNumberOfChannels();
    for (Uint16 c = 1; c <= count; ++c) {
        WvfChannel* channel = group->getChannel(c);
        if (!channel)
            return fail(DCM_ERR_CHANNEL_MISSING, "CDcmWfvImportPluginOrv::setChannelDefinitions() channel "
                                                     + toStdString(int(c)) + " missing");
        const int lead = c <= kChannels ? c - 1 : kChannels - 1;
        CodeSequenceMacro source;
        source.setCodingSchemeDesignator("MDC");
        source.setCodeValue(kLeadCodes[lead]);
        source.setCodeMeaning(kLeadMeanings[lead]);
        channel->setChannelSourceSequence(source);
        channel->setChannelSensitivityUnitsSequence(units);
        channel->setChannelSensitivity(sensitivity);
        channel->setChannelBaseline(0.0);
        channel->setChannelSensitivityCorrectionFactor(1.0);
    }
    return 0;
}
