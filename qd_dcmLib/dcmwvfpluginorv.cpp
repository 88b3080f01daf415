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

namespace {

const char* const kGeneralEcgSopClass = "1.2.840.10008.5.1.4.1.1.9.1.2";

// Standard ECG lead codes (MDC, context group 3001) in channel order I, II,
// III, aVR, aVL, aVF; the short meanings are the ones every viewer reads.
const char* const kLeadCodes[CDcmWvfPluginOrv::kChannels] = {"2:1", "2:2", "2:61", "2:62", "2:63", "2:64"};
const char* const kLeadMeanings[CDcmWvfPluginOrv::kChannels] = {"Lead I",   "Lead II",  "Lead III",
                                                                "Lead aVR", "Lead aVL", "Lead aVF"};

const char* const kSpecies[21] = {"",        "Equine", "Canine",  "Feline",  "",         "Alpaca", "Avian",
                                  "Cow",     "Ferret", "Goat",    "GuineaPig", "Lizard", "Llama",  "Porcine",
                                  "Primate", "Rabbit", "Reptile", "Rodent",  "Sheep",    "Small Mammal", "Snake"};

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

// dd.mm.yyyy to yyyymmdd; any other form gives no birth date rather than a
// wrong one.
std::string birthDateOf(const std::string& text)
{
    if (text.size() != 10 || text[2] != '.' || text[5] != '.')
        return std::string();
    const std::string date = text.substr(6, 4) + text.substr(3, 2) + text.substr(0, 2);
    for (char c : date)
        if (c < '0' || c > '9')
            return std::string();
    return date;
}

// Events that the waveform carries as annotations; any other negative type
// (recording toggled, device identification and data) is read as a sample of 0.
bool isAnnotatedEvent(int type)
{
    return (type <= -1 && type >= -3) || (type <= -101 && type >= -105);
}

bool readRecord(CFileEcg& file, int index, EcgReadRecord& record)
{
    if (!file.readData(index, record))
        return false;
    if (record.type < 0 && !isAnnotatedEvent(record.type)) {
        record.type = 0;
        record.leadI = record.leadII = 0.0f;
    }
    return true;
}

// A backslash separates values in DICOM: a typed one must not split a text.
std::string oneValue(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// A weight as a decimal string (a decimal comma becomes a point); empty when
// the text is no number a decimal string can hold.
std::string decimalText(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty() || text.size() > 16)
        return std::string();
    // digits with at most one point, checked by hand: strtod reads by locale
    std::size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
    int digits = 0, points = 0;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && ++points == 1)
            continue;
        else
            return std::string();
    }
    return digits > 0 ? text : std::string();
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

std::string CDcmWvfPluginOrv::speciesDescriptionOf(int code)
{
    return code >= 0 && code <= 20 ? kSpecies[code] : "";
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

int CDcmWvfPluginOrv::convertOrv2Dcm(WvfWaveform* waveform, std::string path, std::string studyInstanceUid,
                                     std::string breed, std::string weight, std::string spare)
{
    debugLog(4, "CDcmWfvImportPluginOrv::convertOrv2Dcm() start");
    m_lastError.clear();
    if (!waveform)
        return fail(DCM_ERR_NO_OBJECT, "CDcmWfvImportPluginOrv::convertOrv2Dcm() no waveform object");
    if (!m_reader)
        m_reader = new (std::nothrow) CFileEcg();
    if (!m_reader)
        return fail(DCM_ERR_OPEN_FILE, "CDcmWfvImportPluginOrv::convertOrv2Dcm() out of memory for the reader");
    if (!m_reader->openFileReadOnly(path))
        return fail(DCM_ERR_OPEN_FILE, "CDcmWfvImportPluginOrv::convertOrv2Dcm() unable to open " + path);

    TWaveformParams params;
    params.patientName = m_reader->patientName;
    params.ownerLastName = m_reader->ownerLastName;
    params.ownerFirstName = m_reader->ownerFirstName;
    params.patientId = m_reader->extPatientId;
    switch (m_reader->genderCode) {
    case 1: params.patientSex = "M"; params.patientSexNeutered = "UNALTERED"; break;
    case 2: params.patientSex = "F"; params.patientSexNeutered = "UNALTERED"; break;
    case 3: params.patientSex = "M"; params.patientSexNeutered = "ALTERED"; break;
    case 4: params.patientSex = "F"; params.patientSexNeutered = "ALTERED"; break;
    case 5: break;
    default: params.patientSex = "O"; params.patientSexNeutered = "UNALTERED"; break;
    }
    params.patientBirthDate = birthDateOf(m_reader->patientBirthdate);
    params.studyTs = m_reader->recordingTime;
    params.studyDate = utcText(params.studyTs, "%Y%m%d");
    params.studyTime = utcText(params.studyTs, "%H%M%S");
    debugLog(4, "time conversion: " + toStdString(static_cast<long long>(params.studyTs)) + " converts to "
                    + params.studyDate + " " + params.studyTime);
    params.studyInstanceUid = std::move(studyInstanceUid);
    params.speciesDescription = speciesDescriptionOf(m_reader->speciesCode);
    params.breedDescription = std::move(breed);
    params.weight = std::move(weight);
    params.spare = std::move(spare);
    params.manufacturer = "Malvorant Windows";
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

    std::string name = p.ownerLastName;
    if (!name.empty() && !p.patientName.empty())
        name += "^";
    name += p.patientName;
    logTag("patientName", name);
    w->setPatientName(oneValue(name).c_str());
    logTag("patientId", p.patientId);
    w->setPatientID(oneValue(p.patientId).c_str());
    logTag("patientBirthDate", p.patientBirthDate);
    w->setPatientBirthDate(p.patientBirthDate.c_str());
    logTag("patientSex", p.patientSex);
    w->setPatientSex(p.patientSex.c_str());
    std::string neutered = p.patientSexNeutered;
    if (p.patientSex == "O")
        neutered = "UNALTERED";
    else if (p.patientSex.empty())
        neutered.clear();
    w->setPatientSexNeutered(neutered.c_str());

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
        responsible = p.ownerLastName + "^" + p.ownerFirstName;
        logTag("responsiblePerson", responsible);
    } else {
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() DEFAULTING tag responsiblePerson to <empty>");
    }
    w->setResponsiblePerson(oneValue(responsible).c_str());
    w->setResponsiblePersonRole("OWNER");
    w->setReferringPhysicianName("");
    logTag("studyInstanceUID", p.studyInstanceUid);
    w->setStudyInstanceUID(p.studyInstanceUid.c_str());
    logTag("institutionName", m_institutionName);
    w->setInstitutionName(oneValue(m_institutionName).c_str());
    if (!p.manufacturer.empty()) {
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() setting tag manufacturer to " + p.manufacturer
                        + ", applicationType=" + toStdString(m_applicationType));
        w->setManufacturer(p.manufacturer.c_str());
    }
    if (!p.softwareVersion.empty()) {
        const std::string model = "Yarlo Malvorant " + p.softwareVersion;
        debugLog(3, "CDcmWfvImportPluginOrv::setParams() setting tag manufacturer to " + model
                        + ", applicationType=" + toStdString(m_applicationType));
        w->setManufacturerModelName(model.c_str());
    }
    if (!p.speciesDescription.empty()) {
        logTag("PatientSpeciesDescription", p.speciesDescription);
        w->setPatientSpeciesDescription(p.speciesDescription.c_str());
    }
    if (!p.breedDescription.empty()) {
        logTag("PatientBreedDescription", p.breedDescription);
        w->setPatientBreedDescription(oneValue(p.breedDescription).c_str());
    }
    if (!p.weight.empty()) {
        const std::string weight = decimalText(p.weight);
        if (weight.empty()) {
            debugLogError("CDcmWfvImportPluginOrv::setParams() weight is no number: " + p.weight);
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

int CDcmWvfPluginOrv::addAnnotation(WvfWaveform* waveform, const char* text, Uint32 position)
{
    WvfAnnotationItem* item = new (std::nothrow) WvfAnnotationItem();
    if (!item)
        return fail(DCM_ERR_STORE_SAMPLES, "CDcmWfvImportPluginOrv::setSamples out of memory for an annotation");
    item->setUnformattedTextValue(text);
    OFList<Uint16> channels;
    channels.push_back(1);
    channels.push_back(1);
    item->setReferencedWaveformChannels(channels);
    OFList<double> values;
    values.push_back(0.0);
    item->setNumericValues(values);
    item->setTemporalRangeType(POINT);
    OFList<Uint32> positions;
    positions.push_back(position);
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

    Uint32 n = 0;
    EcgReadRecord record{};
    const int records = m_reader->getRecordCount();
    for (int i = 0; i < records && readRecord(*m_reader, i, record); ++i) {
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
            if (n != 0) {
                const char* text = record.type == 1 ? "R" : record.type == 13 ? "UNKNOWN"
                                                          : record.type == 45 ? "L" : nullptr;
                if (text) {
                    const int code = addAnnotation(waveform, text, n);
                    if (code != 0)
                        return code;
                }
            }
            ++n;
            continue;
        }
        if (n == 0)
            continue;
        const Uint32 position = n - 1;
        debugLog(4, "CDcmWfvImportPluginOrv::setSamples :writing annotation, annotation="
                        + toStdString(record.type) + " at position=" + toStdString(static_cast<long long>(position)));
        const char* text = nullptr;
        switch (record.type) {
        case -1: text = "LOWBAT"; break;
        case -2: text = "CHANNEL_ERROR"; break;
        case -3: text = "PACKET_ERROR"; break;
        case -101: text = "DEVICE_INFO"; break; // an annotation without text breaks the object
        case -102: text = "USER_MARK_1"; break;
        case -103: text = "USER_MARK_2"; break;
        case -104: text = "USER_MARK_3"; break;
        case -105: text = "USER_MARK_4"; break;
        default:
            debugLogError("CDcmWfvImportPluginOrv::setSamples :unknown annotation annotation, annotation="
                          + toStdString(record.type) + " at position=" + toStdString(static_cast<long long>(position)));
            text = "ERROR";
            break;
        }
        const int code = addAnnotation(waveform, text, position);
        if (code != 0)
            return code;
    }
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
