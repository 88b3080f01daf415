#include "dcmfindscu.h"

#include "dcmnetconfig.h"
#include "dcmnetguard.h"
#include "debuglog.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcelem.h>
#include <dcmtk/dcmdata/dcobject.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/dul.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <cstdio>
#include <initializer_list>
#include <vector>

namespace {

// Filled by the callback on the querying thread and read by the same thread
// after the query; one query runs at a time.
std::vector<NsCDcmFindScu::TResponseRecord>& responseList()
{
    static std::vector<NsCDcmFindScu::TResponseRecord> list;
    return list;
}

// A text that is not UTF-8 after the conversion came without a usable
// character set; the legacy default of such peers is Latin-1.
std::string utf8Of(const OFString& value)
{
    const QByteArray bytes(value.c_str(), static_cast<int>(value.length()));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (!decoder.hasError())
        return bytes.toStdString();
    return QString::fromLatin1(bytes).toUtf8().toStdString();
}

// The Specific Character Set key of a query: a key beyond ASCII is UTF-8 and
// the query says so (a peer reads unnamed text as ASCII or Latin-1 and would
// match nothing); otherwise asked for as a return key.
OFString characterSetKey(std::initializer_list<const std::string*> keys)
{
    for (const std::string* key : keys)
        for (unsigned char c : *key)
            if (c >= 0x80)
                return "(0008,0005)=ISO_IR 192";
    return "(0008,0005)";
}

std::string textOf(DcmItem* item, const DcmTagKey& tag, bool searchIntoSub = false)
{
    OFString value;
    if (item->findAndGetOFString(tag, value, 0, searchIntoSub).bad())
        return {};
    return utf8Of(value);
}

}

namespace NsCDcmFindScu {

std::string nameAfterCaret(const std::string& name)
{
    const size_t caret = name.find('^');
    if (caret == std::string::npos || caret + 1 == name.size())
        return name;
    return name.substr(caret + 1);
}

std::string nameBeforeCaret(const std::string& name)
{
    const size_t caret = name.find('^');
    if (caret == std::string::npos || caret + 1 == name.size())
        return {};
    return name.substr(0, caret);
}

namespace {

// DICOM wildcard matching: `*` any run of characters, `?` one character.
bool wildcardMatch(const QString& pattern, const QString& text)
{
    qsizetype p = 0, t = 0, starP = -1, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starT = t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

}

bool nameMatchesSearch(const std::string& storedName, const std::string& search)
{
    const QString name = QString::fromUtf8(storedName.data(), qsizetype(storedName.size())).toCaseFolded();
    const QString pattern =
        QString::fromUtf8(search.data(), qsizetype(search.size())).toCaseFolded() + QLatin1Char('*');
    if (nameBeforeCaret(storedName).empty() && wildcardMatch(pattern, name))
        return true;
    for (qsizetype caret = name.indexOf(QLatin1Char('^')); caret >= 0;
         caret = name.indexOf(QLatin1Char('^'), caret + 1))
        if (wildcardMatch(pattern, name.mid(caret + 1)))
            return true;
    return false;
}

bool isValidUid(const std::string& text)
{
    if (text.empty() || text.size() > 64)
        return false;
    size_t start = 0;
    while (true) {
        const size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos
                                                                              : dot - start);
        if (part.empty() || (part.size() > 1 && part[0] == '0'))
            return false;
        for (char c : part)
            if (c < '0' || c > '9')
                return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

}

// ------------------------------------------------------- CDcmFindSCUCallback

CDcmFindSCUCallback::CDcmFindSCUCallback(int maxResponses)
    : DcmFindSCUDefaultCallback(FEM_dicomFile, -1, nullptr)
    , m_maxResponses(maxResponses)
{
    debugLog(4, "CDcmFindSCUCallback::constructor()");
}

CDcmFindSCUCallback::~CDcmFindSCUCallback() = default;

void CDcmFindSCUCallback::SornhapCallback::ResetIndex()
{
    debugLog(4, "CDcmFindSCUCallback::SornhapCallback::ResetIndex()");
    responseList().clear();
    responseList().shrink_to_fit();
}

void CDcmFindSCUCallback::makeRecord(DcmDataset* dataset, NsCDcmFindScu::TResponseRecord& rec)
{
    using namespace NsCDcmFindScu;
    // The answer names its own character set; the tables hold UTF-8. A set
    // that can't be converted leaves the texts as they came (ASCII is kept
    // either way).
    const OFCondition converted = dataset->convertToUTF8();
    if (converted.bad())
        debugLog(2, std::string("CDcmFindSCUCallback::callback() character set not converted: ")
                        + converted.text());

    const std::string name = textOf(dataset, DCM_PatientName);
    rec.patientName = nameAfterCaret(name);
    rec.ownerLast = nameBeforeCaret(name);
    rec.patientId = textOf(dataset, DCM_PatientID);
    rec.accessionNumber = textOf(dataset, DCM_AccessionNumber);
    rec.studyInstanceUid = textOf(dataset, DCM_StudyInstanceUID);
    if (rec.studyInstanceUid.empty()) {
        // Only a real UID may stand in for the study's; anything else would
        // become the study UID of a recording.
        const std::string description = textOf(dataset, DCM_RequestedProcedureDescription);
        if (isValidUid(description))
            rec.studyInstanceUid = description;
    }

    const std::string studyDate = textOf(dataset, DCM_StudyDate);
    if (!studyDate.empty()) {
        const std::string studyTime = textOf(dataset, DCM_StudyTime);
        rec.studyDateTime = studyDate.substr(0, 8)
            + (studyTime.empty() ? std::string("000000") : studyTime.substr(0, 6));
    } else {
        const std::string start = textOf(dataset, DCM_ScheduledProcedureStepStartDate, true);
        if (!start.empty())
            rec.studyDateTime = start.substr(0, 8) + "000000";
    }

    OFString responsible;
    if (dataset->findAndGetOFString(DCM_ResponsiblePerson, responsible).good()) {
        rec.ownerFirst = nameAfterCaret(utf8Of(responsible));
    } else {
        debugLogError("CDcmFindSCUCallback::responsiblePerson not found for pname="
                      + rec.patientName);
    }
    rec.species = textOf(dataset, DCM_PatientSpeciesDescription);
    rec.breed = textOf(dataset, DCM_PatientBreedDescription);
    rec.sex = textOf(dataset, DCM_PatientSex);
    rec.sexNeutered = textOf(dataset, DCM_PatientSexNeutered);
    rec.birthDate = textOf(dataset, DCM_PatientBirthDate);
    rec.weight = textOf(dataset, DCM_PatientWeight);
}

void CDcmFindSCUCallback::callback(T_DIMSE_C_FindRQ*, int&, T_DIMSE_C_FindRSP*,
                                   DcmDataset* responseIdentifiers)
{
    auto& list = responseList();
    if (m_maxResponses > 0 && list.size() >= static_cast<size_t>(m_maxResponses))
        return;
    if (!responseIdentifiers)
        return;
    if (!m_studyModality.empty()) {
        DcmElement* element = nullptr;
        const unsigned long count =
            responseIdentifiers->findAndGetElement(DCM_ModalitiesInStudy, element).good() && element
            ? element->getVM()
            : 0;
        bool found = count == 0;
        for (unsigned long i = 0; i < count && !found; ++i) {
            OFString modality;
            if (responseIdentifiers->findAndGetOFString(DCM_ModalitiesInStudy, modality, i).good())
                found = modality == m_studyModality.c_str();
        }
        if (!found) {
            debugLog(2, "CDcmFindSCUCallback::callback() study without "
                            + m_studyModality + " skipped");
            return;
        }
    }
    if (!m_refusal.empty())
        return;
    NsCDcmFindScu::TResponseRecord record;
    makeRecord(responseIdentifiers, record);
    if (!m_nameSearch.empty()
        && !NsCDcmFindScu::nameMatchesSearch(textOf(responseIdentifiers, DCM_PatientName),
                                             m_nameSearch))
        return;
    for (const std::string* field :
         {&record.patientName, &record.patientId, &record.accessionNumber, &record.studyInstanceUid,
          &record.studyDateTime, &record.ownerFirst, &record.ownerLast, &record.species,
          &record.breed, &record.sex, &record.sexNeutered, &record.birthDate, &record.weight}) {
        if (field->size() > kMaxValueBytes) {
            // A broken answer: nothing of it is used, and the peer is cut off
            // rather than heard out.
            m_refusal = "answer refused: a value of " + std::to_string(field->size()) + " bytes";
            debugLogError("CDcmFindSCUCallback::callback() " + m_refusal);
            if (assoc_)
                ASC_abortAssociation(assoc_);
            return;
        }
    }
    list.push_back(std::move(record));
    if (m_maxResponses > 0 && list.size() == static_cast<size_t>(m_maxResponses))
        debugLog(2, "CDcmFindSCUCallback::callback(FindSCU) max number of "
                        + toStdString(m_maxResponses) + " responses reached");
}

// -------------------------------------------------------------- CDcmFindScu

CDcmFindScu::CDcmFindScu(int maxResponses, int applicationType)
    : m_applicationType(applicationType)
    , m_maxResponses(maxResponses)
{
    debugLog(4, "CDcmFindScu constructor called");
    m_callback = new CDcmFindSCUCallback(maxResponses);
    CDcmFindSCUCallback::SornhapCallback::ResetIndex();
}

CDcmFindScu::~CDcmFindScu()
{
    delete m_callback;
}

void CDcmFindScu::setTimeouts(int acseSeconds, int dimseSeconds)
{
    if (acseSeconds > 0)
        m_acseTimeout = acseSeconds;
    if (dimseSeconds > 0)
        m_dimseTimeout = dimseSeconds;
}

void CDcmFindScu::setLimits(int totalSeconds, std::int64_t maxBytes)
{
    if (totalSeconds > 0)
        m_totalSeconds = totalSeconds;
    if (maxBytes > 0)
        m_maxBytes = maxBytes;
}

int CDcmFindScu::fail(int code, const std::string& text)
{
    m_errorText = text;
    debugLogError(text);
    return code;
}

bool CDcmFindScu::firstResponse()
{
    m_readPosition = 0;
    return !responseList().empty();
}

bool CDcmFindScu::nextResponse(NsCDcmFindScu::TResponseRecord* record)
{
    const auto& list = responseList();
    if (!record || m_readPosition >= list.size())
        return false;
    *record = list[m_readPosition++];
    return true;
}

int CDcmFindScu::responseCount()
{
    return static_cast<int>(responseList().size());
}

int CDcmFindScu::getWorklist(std::string peer, int port, std::string aeScp, std::string aeScu,
                             std::string patId, std::string patientName, std::string ownerFirst,
                             std::string ownerLast)
{
    return query("CDcmFindScu::getWorklist", true, peer, port, aeScp, aeScu, patId, patientName,
                 ownerFirst, ownerLast);
}

int CDcmFindScu::getPacsEcgList(std::string peer, int port, std::string aeScp, std::string aeScu,
                                std::string patId, std::string patientName,
                                std::string ownerFirst, std::string ownerLast)
{
    return query("CDcmFindScu::getPacsEcgList", false, peer, port, aeScp, aeScu, patId,
                 patientName, ownerFirst, ownerLast);
}

void CDcmFindScu::addMatchingKeys(const std::string& patId, const std::string& patientName,
                                  const std::string& ownerFirst, const std::string& ownerLast)
{
    if (!patId.empty() && patId.size() <= kMaxKeyLength)
        m_overrideKeys.push_back(OFString(("(0010,0020)=" + patId + "*").c_str()));
    else
        m_overrideKeys.push_back("(0010,0020)");

    m_callback->setNameSearch(std::string());
    if (patientName.size() <= kMaxKeyLength && ownerLast.size() <= kMaxKeyLength
        && !(patientName.empty() && ownerLast.empty())) {
        if (ownerLast.empty()) {
            // A patient without owner surname is stored without caret (our own
            // export writes it so), and no one key matches "^name" and a
            // name standing alone: the key takes both, the answers are sifted.
            m_overrideKeys.push_back(OFString(("(0010,0010)=*" + patientName + "*").c_str()));
            m_callback->setNameSearch(patientName);
        } else {
            m_overrideKeys.push_back(
                OFString(("(0010,0010)=" + ownerLast + "*^" + patientName + "*").c_str()));
        }
    } else {
        m_overrideKeys.push_back("(0010,0010)");
    }

    if (!ownerFirst.empty() && ownerFirst.size() <= kMaxKeyLength)
        m_overrideKeys.push_back(OFString(("(0010,2297)=*" + ownerFirst + "*").c_str()));
    else
        m_overrideKeys.push_back("(0010,2297)");
}

int CDcmFindScu::query(const char* name, bool worklist, const std::string& peer, int port,
                       const std::string& aeScp, const std::string& aeScu,
                       const std::string& patId, const std::string& patientName,
                       const std::string& ownerFirst, const std::string& ownerLast)
{
    const std::string prefix = std::string(name) + ":";
    debugLog(4, std::string(name) + "(peer=" + peer + ", peerPort=" + toStdString(port)
                    + ", aeScp=" + aeScp + ", aeScu=" + aeScu + ", patId=" + patId);
    m_errorText.clear();
    m_failure = DcmFailure();
    m_failure.kind = DcmFailureKind::Settings;
    m_failure.calledTitle = aeScp;
    m_failure.callingTitle = aeScu;
    // Each query sends its own keys only.
    m_overrideKeys.clear();
    m_callback->clearRefusal();

    // Answers are taken as the peer sent them, never repaired on reading.
    dcmEnableAutomaticInputDataCorrection.set(OFFalse);

    if (worklist) {
        m_abstractSyntax = UID_FINDModalityWorklistInformationModel;
        m_overrideKeys.push_back("(0040,0100)[0].Modality=ECG");
        // Also asked for so the answers carry the character set of their texts.
        m_overrideKeys.push_back(characterSetKey({&patId, &patientName, &ownerFirst, &ownerLast}));
        if (m_applicationType == 1)
            m_overrideKeys.push_back(
                "(0040,0100)[0].ScheduledProcedureStepStatus=SCHEDULED\\ARRIVED\\READY\\STARTED");
        for (const char* key : {"(0040,0100)[0].ScheduledProcedureStepStartDate", "(0008,0050)",
                                "(0032,1060)", "(0020,000D)", "(0010,2201)", "(0010,2292)",
                                "(0010,0030)", "(0010,0040)", "(0010,2203)", "(0010,1030)"})
            m_overrideKeys.push_back(key);
    } else {
        m_abstractSyntax = UID_FINDStudyRootQueryRetrieveInformationModel;
        m_overrideKeys.push_back("(0008,0052)=STUDY");
        m_overrideKeys.push_back(characterSetKey({&patId, &patientName, &ownerFirst, &ownerLast}));
        for (const char* key : {"(0008,0050)", "(0020,000D)", "(0008,0020)", "(0008,0030)", "(0008,0061)=ECG",
                                "(0010,2201)", "(0010,2292)", "(0010,0030)", "(0010,0040)", "(0010,2203)",
                                "(0010,1030)"})
            m_overrideKeys.push_back(key);
    }
    addMatchingKeys(patId, patientName, ownerFirst, ownerLast);
    m_callback->setStudyModality(worklist ? std::string() : std::string("ECG"));

    if (!dcmDataDict.isDictionaryLoaded())
        return fail(DCM_ERR_NO_DICTIONARY,
                    prefix + "no Dictionary loaded, check environment variable: " + DCM_DICT_ENVIRONMENT_VARIABLE);

    // Refused before any network activity: what would not fit its field.
    if (aeScu.empty() || aeScu.size() > 16 || aeScp.empty() || aeScp.size() > 16)
        return fail(DCM_ERR_INIT_NETWORK,
                    prefix + "Initialize Network failed: AE titles must have 1 to 16 characters");
    if (peer.empty() || peer.size() > 100 || port <= 0 || port > 65535)
        return fail(DCM_ERR_INIT_NETWORK, prefix + "Initialize Network failed: invalid peer or port");

    CDcmFindSCUCallback::SornhapCallback::ResetIndex();
    m_failure.kind = DcmFailureKind::Other;

    // The connection and socket time-outs are process-wide in DCMTK: set once
    // for the whole program, never per call (another job may be connecting).
    DcmNetConfig::applyTimeout(m_acseTimeout);
    CDcmNetGuard guard(m_totalSeconds, m_dimseTimeout, m_maxBytes);
    guard.setCancel(m_cancel);
    DcmFindSCU findscu;
    OFCondition cond = findscu.initializeNetwork(m_acseTimeout);
    if (cond.good())
        cond = findscu.setTransportLayer(&guard);
    if (cond.bad())
        return fail(DCM_ERR_INIT_NETWORK, prefix + "Initialize Network failed: " + cond.text());

    guard.start();
    cond = findscu.performQuery(peer.c_str(), static_cast<unsigned int>(port), aeScu.c_str(),
                                aeScp.c_str(), m_abstractSyntax.c_str(), m_networkTransferSyntax,
                                m_blockMode, m_dimseTimeout, m_maxReceivePDULength,
                                m_secureConnection, m_abortAssociation, m_repeatCount, FEM_none,
                                m_cancelAfterNResponses, &m_overrideKeys, m_callback,
                                &m_fileNameList);
    // A broken exchange ends in an abort, which DCMTK's client reports as
    // success: only a released association has delivered the whole answer.
    if (cond.good() && (!guard.releaseSent() || guard.abortSent()))
        cond = DIMSE_RECEIVEFAILED;
    // Nor does it tell the final status: a refusal or failure answered in
    // place of the matches is no empty result.
    std::string statusText;
    if (cond.good() && guard.lastCommandField() == DIMSE_C_FIND_RSP
        && guard.lastStatus() != STATUS_Success) {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%04x", static_cast<unsigned>(guard.lastStatus()) & 0xFFFFu);
        statusText = std::string("the peer answered with status ") + hex;
        cond = DIMSE_RECEIVEFAILED;
    }
    if (cond.bad()) {
        m_failure.kind = dcmConditionKind(cond);
        if (m_failure.kind == DcmFailureKind::Rejected)
            m_failure.rejectReason = guard.rejectReason();
        else if (!statusText.empty())
            m_failure.kind = DcmFailureKind::PeerRefused;
        else if (m_failure.kind == DcmFailureKind::BrokeOff && guard.bytesRead() == 0)
            m_failure.kind = DcmFailureKind::NoAnswer;
        if (guard.lastStatus() > 0)
            m_failure.status = unsigned(guard.lastStatus());
        std::string text = prefix + "Perform Query failed: " + cond.text();
        if (!statusText.empty())
            text += " (" + statusText + ")";
        if (guard.exceeded())
            text += " (" + guard.reason() + ")";
        else if (!m_callback->refusal().empty())
            text += " (" + m_callback->refusal() + ")";
        findscu.dropNetwork();
        // Nothing of a broken answer may be used.
        CDcmFindSCUCallback::SornhapCallback::ResetIndex();
        return fail(DCM_ERR_CFIND, text);
    }

    m_failure.kind = DcmFailureKind::None;
    cond = findscu.dropNetwork();
    if (cond.bad()) {
        if (worklist) {
            m_errorText = prefix + "Network cleanup failed: " + cond.text();
        } else {
            m_errorText = prefix + "Netwerk cleanup failed: " + cond.text();
            m_failure.kind = DcmFailureKind::Other;
            return DCM_ERR_DROP_NETWORK_QUERY;
        }
    }
    return DCM_OK;
}
