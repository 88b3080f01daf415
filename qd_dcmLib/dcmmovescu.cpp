#include "dcmmovescu.h"

#include "dcmassocsetup.h"
#include "dcmnetconfig.h"
#include "dcmnetguard.h"
#include "debuglog.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcdicent.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/dul.h>
#include <dcmtk/ofstd/ofstd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace {

const char* const kGetFile = "CDcmMoveScu::getFile() ";

std::string trimmed(const char* text)
{
    std::string s(text ? text : "");
    const size_t end = s.find_last_not_of(' ');
    s.erase(end == std::string::npos ? 0 : end + 1);
    const size_t begin = s.find_first_not_of(' ');
    return begin == std::string::npos ? std::string() : s.substr(begin);
}

// A received object's texts in UTF-8, as a file import has them; a character
// set that can't be converted leaves the object as it came.
void convertToUtf8(DcmDataset& dataset)
{
    const OFCondition cond = dataset.convertToUTF8();
    if (cond.bad())
        debugLog(2, std::string("CDcmMoveScu::storeSCPCallback() character set not converted: ") + cond.text());
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    OFString path;
    OFStandard::combineDirAndFilename(path, OFString(dir.c_str()), OFString(name.c_str()), OFTrue);
    return std::string(path.c_str());
}

}

// What the store callback needs of one incoming object.
struct CDcmMoveScu::StoreContext
{
    CDcmMoveScu* self;
    DcmFileFormat* file;
    std::string path;
    T_DIMSE_C_StoreRQ* request;
};

CDcmMoveScu::CDcmMoveScu() = default;

CDcmMoveScu::~CDcmMoveScu()
{
    delete m_overrideKeys;
}

void CDcmMoveScu::setTimeouts(int acseSeconds, int dimseSeconds)
{
    if (acseSeconds > 0)
        m_acseTimeout = acseSeconds;
    if (dimseSeconds > 0)
        m_dimseTimeout = dimseSeconds;
}

void CDcmMoveScu::setLimits(int totalSeconds, std::int64_t maxBytes)
{
    if (totalSeconds > 0)
        m_totalSeconds = totalSeconds;
    if (maxBytes > 0)
        m_maxBytes = maxBytes;
}

int CDcmMoveScu::fail(int code, const std::string& text)
{
    m_errorText = text;
    debugLogError(text);
    return code;
}

bool CDcmMoveScu::isWaveformClass(const std::string& sopClassUid)
{
    static const std::string family = "1.2.840.10008.5.1.4.1.1.9.";
    return sopClassUid.compare(0, family.size(), family) == 0;
}

void CDcmMoveScu::addOverrideKey(const std::string& key)
{
    unsigned int group = 0xFFFF;
    unsigned int element = 0xFFFF;
    std::string dictName;
    std::string value;
    const size_t eq = key.find('=');
    if (eq != std::string::npos)
        value = key.substr(eq + 1);
    DcmTagKey tagKey;
    if (std::sscanf(key.c_str(), "%x,%x=", &group, &element) == 2) {
        tagKey = DcmTagKey(static_cast<Uint16>(group), static_cast<Uint16>(element));
    } else {
        dictName = key.substr(0, eq);
        const DcmDataDictionary& dict = dcmDataDict.rdlock();
        const DcmDictEntry* entry = dict.findEntry(dictName.c_str());
        if (entry)
            tagKey = entry->getKey();
        dcmDataDict.rdunlock();
        if (!entry) {
            debugLogError("CDcmMoveScu::addOverrideKey() bad key format or dictionary name not "
                          "found in dictionary: "
                          + dictName);
            return;
        }
    }
    char tagText[32];
    std::snprintf(tagText, sizeof(tagText), "(%04x,%04x)", tagKey.getGroup(), tagKey.getElement());
    DcmTag tag(tagKey);
    if (tag.error().bad())
        debugLogError(std::string("CDcmMoveScu::addOverrideKey() unknown tag: ") + tagText);
    DcmElement* elem = DcmItem::newDicomElement(tag);
    if (!elem) {
        debugLogError(std::string("CDcmMoveScu::addOverrideKey() cannot create element for tag: ")
                      + tagText);
        return;
    }
    if (!value.empty() && elem->putString(value.c_str()).bad()) {
        debugLogError(std::string("CDcmMoveScu::addOverrideKey() cannot put tag value: ") + tagText
                      + "=\"" + value);
    }
    if (!m_overrideKeys)
        m_overrideKeys = new DcmDataset;
    if (m_overrideKeys->insert(elem, OFTrue).bad()) {
        delete elem;
        debugLogError(std::string("CDcmMoveScu::addOverrideKey() cannot insert tag: ") + tagText);
    }
}

OFCondition CDcmMoveScu::addPresentationContext(T_ASC_Parameters* params,
                                                T_ASC_PresentationContextID pid,
                                                const char* abstractSyntax)
{
    const char* syntaxes[3] = {};
    int count = 0;
    const bool little = gLocalByteOrder == EBO_LittleEndian;
    switch (m_outNetworkTransferSyntax) {
    case EXS_LittleEndianImplicit:
        syntaxes[count++] = UID_LittleEndianImplicitTransferSyntax;
        break;
    case EXS_BigEndianExplicit:
        syntaxes[count++] = UID_BigEndianExplicitTransferSyntax;
        syntaxes[count++] = UID_LittleEndianExplicitTransferSyntax;
        syntaxes[count++] = UID_LittleEndianImplicitTransferSyntax;
        break;
    case EXS_LittleEndianExplicit:
        syntaxes[count++] = UID_LittleEndianExplicitTransferSyntax;
        syntaxes[count++] = UID_BigEndianExplicitTransferSyntax;
        syntaxes[count++] = UID_LittleEndianImplicitTransferSyntax;
        break;
    default:
        syntaxes[count++] = little ? UID_LittleEndianExplicitTransferSyntax
                                   : UID_BigEndianExplicitTransferSyntax;
        syntaxes[count++] = little ? UID_BigEndianExplicitTransferSyntax
                                   : UID_LittleEndianExplicitTransferSyntax;
        syntaxes[count++] = UID_LittleEndianImplicitTransferSyntax;
        break;
    }
    return ASC_addPresentationContext(params, pid, abstractSyntax, syntaxes, count);
}

int CDcmMoveScu::getFile(std::string outFileName, std::string peer, unsigned int peerPort,
                         std::string aeScp, std::string aeScu, int localPort,
                         std::string outDir, std::string studyUid)
{
    debugLog(4, "CDcmMoveScu::getFile(fname=" + outFileName + ", peer=" + peer + ", peerPort="
                    + uintToStdString(peerPort) + ", aeScp=" + aeScp + ", aeScu=" + aeScu
                    + ", localPort=" + toStdString(localPort) + ", outDir=" + outDir
                    + ", uid=" + studyUid);
    m_retrievePort = localPort;
    m_outputDirectory = outDir;
    m_outputFileName = outFileName;
    m_pacsAeTitle = aeScp;
    m_errorText.clear();
    m_received.clear();
    m_receivedCount = 0;
    m_refusedAssociations = 0;
    m_failure = DcmFailure();
    m_failure.calledTitle = aeScp;
    m_failure.callingTitle = aeScu;
    m_failure.kind = DcmFailureKind::Other;

    if (!dcmDataDict.isDictionaryLoaded())
        return fail(DCM_ERR_NO_DICTIONARY, std::string(kGetFile)
                        + "no Dictionary loaded, check environment variable: "
                        + DCM_DICT_ENVIRONMENT_VARIABLE);
    if (studyUid.size() > kMaxUidLength)
        return fail(DCM_ERR_UID_TOO_LONG, std::string(kGetFile) + "Invalid UID");

    addOverrideKey("0008,0052=STUDY");
    addOverrideKey("0020,000D=" + studyUid);

    if (m_retrievePort != 0) {
        m_failure.kind = DcmFailureKind::LocalFolder;
        if (!OFStandard::dirExists(OFFilename(m_outputDirectory.c_str())))
            return fail(DCM_ERR_SAVE_FILE,
                        std::string(kGetFile) + "specified output directory does not exist");
        if (!OFStandard::isWriteable(OFFilename(m_outputDirectory.c_str())))
            return fail(DCM_ERR_SAVE_FILE,
                        std::string(kGetFile) + "specified output directory is not writeable");
        // The received objects are named after it; a path of its own would
        // put them elsewhere.
        if (m_outputFileName.empty() || m_outputFileName.size() > kMaxFileNameLength
            || m_outputFileName.find('/') != std::string::npos || m_outputFileName == "."
            || m_outputFileName == "..")
            return fail(DCM_ERR_SAVE_FILE, std::string(kGetFile) + "invalid output file name");
    }
    // Refused before any network activity: what would not fit its field.
    m_failure.kind = DcmFailureKind::Settings;
    if (aeScu.empty() || aeScu.size() > 16 || aeScp.empty() || aeScp.size() > 16)
        return fail(DCM_ERR_ASSOC_REQUEST, std::string(kGetFile)
                        + "Association Request Failed: AE titles must have 1 to 16 characters");
    char peerHost[129];
    const int peerLength = std::snprintf(peerHost, sizeof(peerHost), "%s:%u", peer.c_str(), peerPort);
    if (peer.empty() || peerPort == 0 || peerPort > 65535 || peerLength < 0
        || static_cast<size_t>(peerLength) >= sizeof(peerHost))
        return fail(DCM_ERR_ASSOC_REQUEST,
                    std::string(kGetFile) + "Association Request Failed: invalid peer or port");
    if (m_retrievePort < 0 || m_retrievePort > 65535)
        return fail(DCM_ERR_INIT_NETWORK, std::string(kGetFile) + "cannot initialize network");

    m_failure.kind = DcmFailureKind::Other;

    CDcmNetGuard guard(m_totalSeconds, m_dimseTimeout, m_maxBytes);
    guard.setCancel(m_cancel);
    guard.start();
    // The connection and socket time-outs are process-wide in DCMTK: set once
    // for the whole program, never per call (another job may be connecting).
    DcmNetConfig::applyTimeout(m_acseTimeout);
    T_ASC_Parameters* params = nullptr;
    T_ASC_Association* assoc = nullptr;
    auto failSetup = [&](int code, const std::string& text) {
        dcmFreeAssociationSetup(&assoc, &params, &m_net);
        return fail(code, text);
    };

    OFCondition cond = ASC_initializeNetwork(m_retrievePort != 0 ? NET_ACCEPTORREQUESTOR
                                                                 : NET_REQUESTOR,
                                             m_retrievePort, m_acseTimeout, &m_net);
    if (cond.good())
        cond = ASC_setTransportLayer(m_net, &guard, 0);
    if (cond.bad())
        return failSetup(DCM_ERR_INIT_NETWORK, std::string(kGetFile) + "cannot initialize network");

    cond = ASC_createAssociationParameters(&params, m_maxPDU);
    if (cond.bad()) {
        debugLog(2, std::string(kGetFile) + cond.text());
        return failSetup(DCM_ERR_ASSOC_PARAMETERS,
                         std::string(kGetFile) + "ASC_createAssociationParameters failed");
    }
    ASC_setAPTitles(params, aeScu.c_str(), aeScp.c_str(), nullptr);
    char localHost[129] = {};
    gethostname(localHost, sizeof(localHost) - 1);
    ASC_setPresentationAddresses(params, localHost, peerHost);

    addPresentationContext(params, 1, UID_FINDStudyRootQueryRetrieveInformationModel);
    cond = addPresentationContext(params, 3, UID_MOVEStudyRootQueryRetrieveInformationModel);
    if (cond.bad()) {
        debugLog(2, std::string(kGetFile) + cond.text());
        return failSetup(DCM_ERR_ADD_PRESENTATION_CONTEXT,
                         std::string(kGetFile) + "addPresentationContext failed");
    }

    cond = ASC_requestAssociation(m_net, params, &assoc);
    if (cond.bad()) {
        int code = DCM_ERR_ASSOC_REQUEST;
        m_failure.kind = dcmConditionKind(cond);
        if (cond == DUL_ASSOCIATIONREJECTED) {
            T_ASC_RejectParameters rej;
            ASC_getRejectParameters(params, &rej);
            m_failure.rejectReason = dcmRejectReasonOf(unsigned(rej.source), unsigned(rej.reason));
            OFString rejText;
            fail(DCM_ERR_ASSOC_REJECTED, std::string(kGetFile) + "Association Rejected: "
                     + ASC_printRejectParameters(rejText, &rej).c_str());
            code = DCM_ERR_ASSOC_REJECTED;
        } else {
            std::string text = std::string(kGetFile) + "Association Request Failed: " + cond.text();
            if (guard.exceeded())
                text += " (" + guard.reason() + ")";
            fail(DCM_ERR_ASSOC_REQUEST, text);
        }
        if (assoc) {
            cond = ASC_destroyAssociation(&assoc);
            if (cond.bad())
                code = fail(DCM_ERR_DESTROY_ASSOC, std::string(kGetFile)
                                + "ASC_destroyAssociation failed: " + cond.text());
        } else if (params) {
            ASC_destroyAssociationParameters(&params);
        }
        cond = ASC_dropNetwork(&m_net);
        m_net = nullptr;
        if (cond.bad())
            code = fail(DCM_ERR_DROP_NETWORK,
                        std::string(kGetFile) + "ASC_dropNetwork failed: " + cond.text());
        return code;
    }

    {
        OFString text;
        debugLog(2, std::string(kGetFile) + "Association Parameters Negotiated: "
                        + ASC_dumpParameters(text, assoc->params, ASC_ASSOC_AC).c_str());
    }
    if (ASC_countAcceptedPresentationContexts(assoc->params) == 0) {
        m_failure.kind = DcmFailureKind::PeerRefused;
        return failSetup(DCM_ERR_NO_ACCEPTED_CONTEXT,
                         std::string(kGetFile) + "No Acceptable Presentation Contexts");
    }
    debugLog(2, std::string(kGetFile) + "Association Accepted, Max Send PDV: "
                    + uintToStdString(assoc->sendPDVLength));
    m_failure.kind = DcmFailureKind::None;

    cond = cmove(assoc);

    int result = DCM_OK;
    if (cond == EC_Normal) {
        debugLog(2, std::string(kGetFile) + "Releasing Association");
        const OFCondition released = m_abortAssociation ? ASC_abortAssociation(assoc)
                                                        : ASC_releaseAssociation(assoc);
        if (released.bad())
            result = fail(m_abortAssociation ? DCM_ERR_ABORT_ASSOC : DCM_ERR_RELEASE_ASSOC,
                          std::string(kGetFile)
                              + (m_abortAssociation ? "Association Abort Failed: "
                                                    : "Association Release Failed: ")
                              + released.text());
    } else {
        // The exchange broke off: a failure, whatever the teardown gives.
        std::string text = std::string(kGetFile) + "Move SCU Failed: " + cond.text();
        if (guard.exceeded())
            text += " (" + guard.reason() + ")";
        if (cond == DUL_PEERREQUESTEDRELEASE) {
            debugLogError(std::string(kGetFile)
                          + "Protocol Error: Peer requested release (Aborting Association");
        } else if (cond == DUL_PEERABORTEDASSOCIATION) {
            debugLog(2, std::string(kGetFile) + "Peer Aborted Association");
        } else {
            debugLogError(text + ", Aborting Association");
        }
        result = fail(DCM_ERR_STORE_FAILED, text);
        // Only a peer that went silent is no answer; anything else broke off.
        m_failure.kind = dcmConditionKind(cond) == DcmFailureKind::NoAnswer ? DcmFailureKind::NoAnswer
                                                                             : DcmFailureKind::BrokeOff;
        if (cond != DUL_PEERABORTEDASSOCIATION) {
            const OFCondition aborted = ASC_abortAssociation(assoc);
            if (aborted.bad())
                debugLogError(std::string(kGetFile) + "Association Abort Failed: " + aborted.text());
        }
    }

    cond = ASC_destroyAssociation(&assoc);
    if (cond.bad() && result == DCM_OK)
        result = fail(DCM_ERR_DESTROY_ASSOC,
                      std::string(kGetFile) + "ASC_destroyAssociation Failed: " + cond.text());
    cond = ASC_dropNetwork(&m_net);
    m_net = nullptr;
    if (cond.bad() && result == DCM_OK)
        result = fail(DCM_ERR_DROP_NETWORK,
                      std::string(kGetFile) + "ASC_dropNetwork Failed: " + cond.text());

    if (result == DCM_OK) {
        keepFirstWaveform();
    } else {
        // A fetch that failed leaves nothing behind for anyone to import.
        for (const Received& r : m_received)
            std::remove(r.path.c_str());
    }
    return result;
}

void CDcmMoveScu::keepFirstWaveform()
{
    const std::string target = joinPath(m_outputDirectory, m_outputFileName);
    bool kept = false;
    for (const Received& r : m_received) {
        if (!kept && r.accepted && isWaveformClass(r.sopClass)) {
            if (std::rename(r.path.c_str(), target.c_str()) == 0) {
                kept = true;
                continue;
            }
            debugLogError("CDcmMoveScu::getFile() cannot rename " + r.path + " to " + target);
        }
        std::remove(r.path.c_str());
    }
    if (!m_received.empty() && !kept)
        debugLogError("CDcmMoveScu::getFile() no waveform object among the "
                      + toStdString(int(m_received.size())) + " objects received");
}

OFCondition CDcmMoveScu::cmove(T_ASC_Association* assoc)
{
    OFCondition cond = EC_Normal;
    for (int n = 0; n < m_repeatCount && cond.good(); ++n)
        cond = moveSCU(assoc);
    return cond;
}

OFCondition CDcmMoveScu::moveSCU(T_ASC_Association* assoc)
{
    const DIC_US msgId = assoc->nextMsgID++;
    debugLog(2, "CDcmMoveScu::moveSCU() moveSCU, fname=NULL");

    DcmDataset identifiers;
    if (m_overrideKeys) {
        for (unsigned long i = 0; i < m_overrideKeys->card(); ++i) {
            DcmElement* elem = m_overrideKeys->getElement(i);
            if (elem)
                identifiers.insert(OFstatic_cast(DcmElement*, elem->clone()), OFTrue);
        }
    }

    const T_ASC_PresentationContextID presId =
        ASC_findAcceptedPresentationContextID(assoc, UID_MOVEStudyRootQueryRetrieveInformationModel);
    if (presId == 0)
        return DIMSE_NOVALIDPRESENTATIONCONTEXTID;

    debugLog(2, "CDcmMoveScu::moveSCU() Sending Move Request: MsgID=" + uintToStdString(msgId));
    T_DIMSE_C_MoveRQ req;
    std::memset(&req, 0, sizeof(req));
    req.MessageID = msgId;
    OFStandard::strlcpy(req.AffectedSOPClassUID, UID_MOVEStudyRootQueryRetrieveInformationModel,
                        sizeof(req.AffectedSOPClassUID));
    req.Priority = DIMSE_PRIORITY_MEDIUM;
    req.DataSetType = DIMSE_DATASET_PRESENT;
    OFStandard::strlcpy(req.MoveDestination, assoc->params->DULparams.callingAPTitle,
                        sizeof(req.MoveDestination));

    T_DIMSE_C_MoveRSP rsp;
    std::memset(&rsp, 0, sizeof(rsp));
    DcmDataset* statusDetail = nullptr;
    DcmDataset* rspIds = nullptr;
    const OFCondition cond =
        DIMSE_moveUser(assoc, presId, &req, &identifiers, &CDcmMoveScu::moveCallback, this,
                       m_blockMode, m_dimseTimeout, m_net, &CDcmMoveScu::subOpCallback, this, &rsp,
                       &statusDetail, &rspIds, m_ignorePendingDatasets ? OFTrue : OFFalse);
    if (cond.good()) {
        OFString text;
        debugLog(2, std::string("CDcmMoveScu::moveSCU() ")
                        + DIMSE_dumpMessage(text, rsp, DIMSE_INCOMING).c_str());
        if (rsp.DimseStatus != STATUS_Success) {
            char status[16];
            std::snprintf(status, sizeof(status), "0x%04x", rsp.DimseStatus);
            // Not the fetch's result: the missing file tells the caller; the
            // text says why.
            m_errorText = std::string("CDcmMoveScu::moveSCU(), rsp.DimseStatus: ") + status;
            debugLogError(m_errorText);
            if (rsp.DimseStatus != STATUS_Pending && rsp.DimseStatus != STATUS_MOVE_Warning_SubOperationsCompleteOneOrMoreFailures
                && m_failure.kind == DcmFailureKind::None) {
                m_failure.kind = (rsp.DimseStatus & 0xFF00u) == 0xA700u ? DcmFailureKind::PeerBusy
                                                                        : DcmFailureKind::PeerRefused;
                m_failure.status = rsp.DimseStatus;
            }
        }
    } else {
        debugLogError(std::string("CDcmMoveScu::moveSCU() Move Request Failed: ") + cond.text());
    }
    delete statusDetail;
    delete rspIds;
    return cond;
}

void CDcmMoveScu::moveCallback(void*, T_DIMSE_C_MoveRQ*, int responseCount,
                               T_DIMSE_C_MoveRSP* response)
{
    // No C-CANCEL: a fetch takes the whole study.
    OFString text;
    debugLog(2, "CDcmMoveScu::moveCallback() Move Response " + toStdString(responseCount) + ", "
                    + DIMSE_dumpMessage(text, *response, DIMSE_INCOMING).c_str());
}

void CDcmMoveScu::subOpCallback(void* subOpCallbackData, T_ASC_Network* net,
                                T_ASC_Association** subAssoc)
{
    auto* self = static_cast<CDcmMoveScu*>(subOpCallbackData);
    if (!net || !self->m_net)
        return;
    if (*subAssoc == nullptr)
        self->acceptSubAssoc(net, subAssoc);
    else
        self->subOpSCP(subAssoc);
}

OFCondition CDcmMoveScu::acceptSubAssoc(T_ASC_Network* net, T_ASC_Association** assoc)
{
    OFCondition cond = ASC_receiveAssociation(net, assoc, m_maxPDU, nullptr, nullptr, OFFalse,
                                              DUL_NOBLOCK, m_acseTimeout);
    if (cond.good()) {
        // Only the PACS that was asked may store into this fetch.
        const std::string calling = trimmed((*assoc)->params->DULparams.callingAPTitle);
        if (calling != trimmed(m_pacsAeTitle.c_str())) {
            ++m_refusedAssociations;
            debugLogError("CDcmMoveScu::acceptSubAssoc() refused the association of " + calling
                          + ", expected " + m_pacsAeTitle);
            m_failure.kind = DcmFailureKind::WrongPeerTitle;
            m_failure.peerTitle = calling;
            T_ASC_RejectParameters rej = {ASC_RESULT_REJECTEDPERMANENT, ASC_SOURCE_SERVICEUSER,
                                          ASC_REASON_SU_CALLINGAETITLENOTRECOGNIZED};
            ASC_rejectAssociation(*assoc, &rej);
            ASC_dropAssociation(*assoc);
            ASC_destroyAssociation(assoc);
            *assoc = nullptr;
            return DUL_ASSOCIATIONREJECTED;
        }
    }
    if (cond.good()) {
        const bool little = gLocalByteOrder == EBO_LittleEndian;
        const char* syntaxes[3] = {little ? UID_LittleEndianExplicitTransferSyntax
                                          : UID_BigEndianExplicitTransferSyntax,
                                   little ? UID_BigEndianExplicitTransferSyntax
                                          : UID_LittleEndianExplicitTransferSyntax,
                                   UID_LittleEndianImplicitTransferSyntax};
        static const char* verification[] = {UID_VerificationSOPClass};
        cond = ASC_acceptContextsWithPreferredTransferSyntaxes((*assoc)->params, verification, 1,
                                                               syntaxes, 3);
        if (cond.good())
            cond = ASC_acceptContextsWithPreferredTransferSyntaxes(
                (*assoc)->params, dcmAllStorageSOPClassUIDs, numberOfDcmAllStorageSOPClassUIDs,
                syntaxes, 3);
    }
    if (cond.good())
        cond = ASC_acknowledgeAssociation(*assoc);
    if (cond.bad() && *assoc) {
        ASC_dropAssociation(*assoc);
        ASC_destroyAssociation(assoc);
        *assoc = nullptr;
    }
    return cond;
}

OFCondition CDcmMoveScu::subOpSCP(T_ASC_Association** subAssoc)
{
    // A short wait, so draining a lingering sub-association does not spin.
    if (!ASC_dataWaiting(*subAssoc, 1))
        return DIMSE_NODATAAVAILABLE;
    T_DIMSE_Message msg;
    T_ASC_PresentationContextID presId = 0;
    OFCondition cond = DIMSE_receiveCommand(*subAssoc, m_blockMode, m_dimseTimeout, &presId, &msg,
                                            nullptr);
    if (cond == EC_Normal) {
        switch (msg.CommandField) {
        case DIMSE_C_STORE_RQ:
            cond = storeSCP(*subAssoc, &msg, presId);
            break;
        case DIMSE_C_ECHO_RQ:
            cond = echoSCP(*subAssoc, &msg, presId);
            break;
        default:
            cond = DIMSE_BADCOMMANDTYPE;
            debugLogError("CDcmMoveScu::subOpSCP() cannot handle command "
                          + toStdString(int(msg.CommandField)));
            break;
        }
    }
    if (cond == DUL_PEERREQUESTEDRELEASE) {
        cond = ASC_acknowledgeRelease(*subAssoc);
        ASC_dropSCPAssociation(*subAssoc, 180);
        ASC_destroyAssociation(subAssoc);
        *subAssoc = nullptr;
        return cond;
    }
    if (cond == DUL_PEERABORTEDASSOCIATION) {
        // nothing to answer
    } else if (cond != EC_Normal) {
        debugLogError(std::string("CDcmMoveScu::subOpSCP() DIMSE failure (aborting "
                                  "sub-association): ")
                      + cond.text());
        cond = ASC_abortAssociation(*subAssoc);
    }
    if (cond != EC_Normal) {
        ASC_dropAssociation(*subAssoc);
        ASC_destroyAssociation(subAssoc);
        *subAssoc = nullptr;
    }
    return cond;
}

OFCondition CDcmMoveScu::storeSCP(T_ASC_Association* assoc, T_DIMSE_Message* msg,
                                  T_ASC_PresentationContextID presId)
{
    T_DIMSE_C_StoreRQ* req = &msg->msg.CStoreRQ;
    // Each object of the fetch under a name of its own.
    const std::string path = joinPath(m_outputDirectory, m_outputFileName + "_"
                                                             + toStdString(int(m_received.size()) + 1));
    {
        const char* modality = dcmSOPClassUIDToModality(req->AffectedSOPClassUID);
        OFString text;
        debugLog(2, std::string("CDcmMoveScu::storeSCP() Received Store Request: MsgID ")
                        + (modality ? modality : "OT") + " "
                        + DIMSE_dumpMessage(text, *req, DIMSE_INCOMING, nullptr, presId).c_str());
    }

    DcmFileFormat file;
    file.getMetaInfo()->putAndInsertString(DCM_SourceApplicationEntityTitle,
                                           assoc->params->DULparams.callingAPTitle);
    StoreContext context{this, &file, path, req};
    DcmDataset* dataset = file.getDataset();
    const OFCondition cond =
        DIMSE_storeProvider(assoc, presId, req, nullptr, m_useMetaheader ? OFTrue : OFFalse,
                            &dataset, &CDcmMoveScu::storeSCPCallback, &context, m_blockMode,
                            m_dimseTimeout);
    if (cond.bad()) {
        debugLogError(std::string("CDcmMoveScu::storeSCP() Store SCP Failed: ") + cond.text());
        std::remove(path.c_str());
        for (Received& r : m_received)
            if (r.path == path)
                r.accepted = false;
    }
    return cond;
}

void CDcmMoveScu::storeSCPCallback(void* callbackData, T_DIMSE_StoreProgress* progress,
                                   T_DIMSE_C_StoreRQ* req, char*, DcmDataset** imageDataSet,
                                   T_DIMSE_C_StoreRSP* rsp, DcmDataset**)
{
    if (progress->state != DIMSE_StoreEnd)
        return;
    auto* context = static_cast<StoreContext*>(callbackData);
    CDcmMoveScu* self = context->self;
    rsp->DimseStatus = STATUS_Success;
    if (!imageDataSet || !*imageDataSet) {
        rsp->DimseStatus = STATUS_STORE_Error_CannotUnderstand;
        return;
    }
    const E_TransferSyntax xfer = self->m_writeTransferSyntax == EXS_Unknown
        ? (*imageDataSet)->getOriginalXfer()
        : self->m_writeTransferSyntax;
    Received received;
    received.path = context->path;
    convertToUtf8(**imageDataSet);
    const OFCondition saved = context->file->saveFile(
        context->path.c_str(), xfer, self->m_sequenceType, self->m_groupLength,
        self->m_paddingType, 0, 0, self->m_useMetaheader ? EWM_fileformat : EWM_dataset);
    if (saved.bad()) {
        debugLogError("CDcmMoveScu::storeSCPCallback() cannot write DICOM file: " + context->path);
        rsp->DimseStatus = STATUS_STORE_Refused_OutOfResources;
        std::remove(context->path.c_str());
        return;
    }
    ++self->m_receivedCount;
    DIC_UI sopClass = {};
    DIC_UI sopInstance = {};
    if (!DU_findSOPClassAndInstanceInDataSet(*imageDataSet, sopClass, sizeof(sopClass), sopInstance,
                                             sizeof(sopInstance), self->m_correctUidPadding)) {
        debugLogError("CDcmMoveScu::storeSCPCallback() bad DICOM file: " + context->path);
        rsp->DimseStatus = STATUS_STORE_Error_CannotUnderstand;
    } else if (std::strcmp(sopClass, req->AffectedSOPClassUID) != 0
               || std::strcmp(sopInstance, req->AffectedSOPInstanceUID) != 0) {
        rsp->DimseStatus = STATUS_STORE_Error_DataSetDoesNotMatchSOPClass;
    }
    received.sopClass = sopClass;
    received.accepted = rsp->DimseStatus == STATUS_Success;
    self->m_received.push_back(received);
}

OFCondition CDcmMoveScu::echoSCP(T_ASC_Association* assoc, T_DIMSE_Message* msg,
                                 T_ASC_PresentationContextID presId)
{
    OFString text;
    debugLog(2, std::string("CDcmMoveScu::echoSCP() Received Echo Request: ")
                    + DIMSE_dumpMessage(text, msg->msg.CEchoRQ, DIMSE_INCOMING, nullptr, presId)
                          .c_str());
    const OFCondition cond =
        DIMSE_sendEchoResponse(assoc, presId, &msg->msg.CEchoRQ, STATUS_Success, nullptr);
    if (cond.bad())
        debugLogError(std::string("CDcmMoveScu::echoSCP() Echo SCP Failed: ") + cond.text());
    return cond;
}
