#include "dcmstorescu.h"

#include "dcmassocsetup.h"
#include "dcmjobcancel.h"
#include "dcmnetconfig.h"
#include "debuglog.h"

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
const char* const kOp = "CDcmStoreScu::SornhapStoreScu ";

std::string statusText(unsigned int status)
{
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%04X", status & 0xFFFFu);
    return std::string(hex) + "H (" + DU_cstoreStatusString(static_cast<Uint16>(status)) + ")";
}
}

CDcmStoreScu::CDcmStoreScu() = default;

CDcmStoreScu::~CDcmStoreScu() = default;

void CDcmStoreScu::setTimeouts(int acseSeconds, int dimseSeconds)
{
    if (acseSeconds > 0)
        m_acseTimeout = acseSeconds;
    if (dimseSeconds == 0) {
        m_blockMode = DIMSE_BLOCKING;
        m_dimseTimeout = 0;
    } else if (dimseSeconds > 0) {
        m_blockMode = DIMSE_NONBLOCKING;
        m_dimseTimeout = dimseSeconds;
    }
}

int CDcmStoreScu::fail(int code, const std::string& text)
{
    m_errorText = text;
    debugLogError(text);
    return code;
}

// Success, or a warning: B000H..BFFFH, 0107H (attribute list error) and
// 0116H (attribute value out of range).
bool CDcmStoreScu::isStoredStatus(unsigned int status)
{
    return status == STATUS_Success || (status & 0xF000u) == 0xB000u || status == 0x0107u
        || status == 0x0116u;
}

int CDcmStoreScu::sornhapStoreScu(std::string fname, std::string peer, unsigned int peerPort,
                                  std::string aeScp, std::string aeScu)
{
    debugLog(2, "CDcmStoreScu::sornhapStoreScu(fname=" + fname + ", peer=" + peer + ", peerPort="
                    + uintToStdString(peerPort) + ", aeScp=" + aeScp + ", aeScu=" + aeScu);
    m_errorText.clear();
    m_lastStatusCode = 0;
    m_unsuccessfulStoreEncountered = false;
    m_storeFailureCode = DCM_ERR_STORE_FAILED;
    m_failure = DcmFailure();
    m_failure.calledTitle = aeScp;
    m_failure.callingTitle = aeScu;

    OFList<OFString> fileNameList;
    fileNameList.push_back(OFString(fname.c_str()));
    m_failure.kind = DcmFailureKind::Settings;
    if (!OFStandard::fileExists(OFFilename(fname.c_str()))) {
        m_failure.kind = DcmFailureKind::LocalFolder;
        return fail(DCM_ERR_OPEN_FILE,
                    std::string(kOp) + "cannot access file: cannot access file: " + fname);
    }

    // Settings that would not fit their protocol fields are refused before
    // any network activity, never cut short; DCMTK refuses empty titles.
    const std::string initFailed = std::string(kOp) + "Association Initialization Failed";
    if (aeScu.empty() || aeScu.size() > kMaxAeTitleLength)
        return fail(DCM_ERR_ASSOC_REQUEST,
                    initFailed + ": calling AE title empty or longer than 16 characters: " + aeScu);
    if (aeScp.empty() || aeScp.size() > kMaxAeTitleLength)
        return fail(DCM_ERR_ASSOC_REQUEST,
                    initFailed + ": called AE title empty or longer than 16 characters: " + aeScp);
    if (peer.empty() || peerPort == 0 || peerPort > 65535)
        return fail(DCM_ERR_ASSOC_REQUEST, initFailed + ": no peer host or invalid port");
    char peerHost[kMaxHostNameLength];
    const int peerLength = std::snprintf(peerHost, sizeof(peerHost), "%s:%u", peer.c_str(), peerPort);
    if (peerLength < 0 || static_cast<size_t>(peerLength) >= sizeof(peerHost))
        return fail(DCM_ERR_ASSOC_REQUEST, initFailed + ": peer host name too long");
    m_failure.kind = DcmFailureKind::Other;

    T_ASC_Network* net = nullptr;
    T_ASC_Parameters* params = nullptr;
    T_ASC_Association* assoc = nullptr;

    // Frees what exists so far; used by the set-up steps that fail.
    auto failSetup = [&](int code, const std::string& text) {
        dcmFreeAssociationSetup(&assoc, &params, &net);
        return fail(code, text);
    };

    // The connection and socket time-outs are process-wide in DCMTK: set once
    // for the whole program, never per call (another send may be running).
    DcmNetConfig::applyTimeout(m_acseTimeout);

    OFCondition cond = ASC_initializeNetwork(NET_REQUESTOR, 0, m_acseTimeout, &net);
    if (cond.bad())
        return failSetup(DCM_ERR_INIT_NETWORK, std::string(kOp) + "initialize network failure");
    if (m_cancel) {
        cond = ASC_setTransportLayer(net, new CDcmCancelLayer(m_cancel), 1);
        if (cond.bad())
            return failSetup(DCM_ERR_INIT_NETWORK, std::string(kOp) + "initialize network failure");
    }

    cond = ASC_createAssociationParameters(&params, m_maxReceivePDULength);
    if (cond.bad())
        return failSetup(DCM_ERR_ASSOC_REQUEST, initFailed);

    ASC_setAPTitles(params, aeScu.c_str(), aeScp.c_str(), nullptr);

    cond = ASC_setTransportLayerType(params, m_secureConnection);
    if (cond.bad())
        return failSetup(DCM_ERR_TRANSPORT_LAYER, std::string(kOp) + "Set Transport Layer Type Failed");

    char localHost[kMaxHostNameLength] = {};
    gethostname(localHost, sizeof(localHost) - 1);
    ASC_setPresentationAddresses(params, localHost, peerHost);

    OFList<OFString> sopClassUIDList;
    cond = addStoragePresentationContexts(params, sopClassUIDList);
    if (cond.bad())
        return failSetup(DCM_ERR_ADD_PRESENTATION_CONTEXT,
                         std::string(kOp) + "Setting Presentation Context Failed " + cond.text());

    cond = ASC_requestAssociation(net, params, &assoc);
    if (assoc)
        params = nullptr; // the association owns them from here on
    if (cond.bad()) {
        m_failure.kind = dcmConditionKind(cond);
        if (cond == DUL_ASSOCIATIONREJECTED) {
            T_ASC_RejectParameters rej;
            ASC_getRejectParameters(assoc ? assoc->params : params, &rej);
            m_failure.rejectReason = dcmRejectReasonOf(unsigned(rej.source), unsigned(rej.reason));
            OFString rejText;
            debugLog(2, std::string("CDcmStoreScu::sornhapStoreScu() ")
                            + ASC_printRejectParameters(rejText, &rej).c_str());
            return failSetup(DCM_ERR_ASSOC_REJECTED, std::string(kOp) + "Association Rejected");
        }
        debugLog(2, std::string("CDcmStoreScu::sornhapStoreScu() ") + cond.text());
        return failSetup(DCM_ERR_ASSOC_REQUEST, std::string(kOp) + "Association Request Failed");
    }

    m_failure.kind = DcmFailureKind::PeerRefused;
    if (ASC_countAcceptedPresentationContexts(assoc->params) == 0)
        return failSetup(DCM_ERR_NO_ACCEPTED_CONTEXT,
                         std::string(kOp) + "No Acceptable Presentation Contexts");

    OFListIterator(OFString) iter = fileNameList.begin();
    while (iter != fileNameList.end() && cond.good()) {
        for (int n = 0; n < m_repeatCount && cond.good(); ++n) {
            if (m_haltOnUnsuccessfulStore && m_unsuccessfulStoreEncountered)
                break;
            cond = storeScu(assoc, *iter);
        }
        ++iter;
    }

    // Once the peer has answered with success or a warning the object is on the
    // archive: a failed teardown is logged but must not report it unsent, or
    // the sender would store it again.
    const bool stored = !m_unsuccessfulStoreEncountered;
    int result = stored ? DCM_OK : m_storeFailureCode;
    if (stored)
        m_failure.kind = DcmFailureKind::None;
    else if (m_storeFailureCode == DCM_ERR_STORE_REFUSED)
        m_failure.kind = dcmStoreStatusKind(m_lastStatusCode);
    else if (m_storeFailureCode == DCM_ERR_STORE_FAILED)
        m_failure.kind = dcmConditionKind(cond) == DcmFailureKind::NoAnswer ? DcmFailureKind::NoAnswer
                                                                             : DcmFailureKind::BrokeOff;
    else if (m_storeFailureCode != DCM_ERR_NO_ACCEPTED_CONTEXT)
        m_failure.kind = DcmFailureKind::Other;
    m_failure.status = m_lastStatusCode;
    if (!stored && m_storeFailureCode == DCM_ERR_STORE_REFUSED)
        fail(DCM_ERR_STORE_REFUSED,
             std::string(kOp) + "Store Refused: status " + statusText(m_lastStatusCode));
    bool teardownFailure = false;
    auto teardownFailed = [&](int code, const std::string& text) {
        if (stored || teardownFailure) {
            debugLogError(text);
            return;
        }
        teardownFailure = true;
        result = fail(code, text);
    };

    if (cond == EC_Normal) {
        if (m_abortAssociation) {
            if (ASC_abortAssociation(assoc).bad())
                teardownFailed(DCM_ERR_ABORT_ASSOC, std::string(kOp) + "Association Abort Failed 3");
        } else if (ASC_releaseAssociation(assoc).bad()) {
            teardownFailed(DCM_ERR_RELEASE_ASSOC, std::string(kOp) + "Association Release Failed");
        }
    } else if (cond == DUL_PEERREQUESTEDRELEASE) {
        fail(result, std::string(kOp) + "Protocol Error: Peer requested release - Aborting Association");
        if (ASC_abortAssociation(assoc).bad())
            teardownFailed(DCM_ERR_ABORT_ASSOC, std::string(kOp) + "Association Abort Failed: ");
    } else if (cond == DUL_PEERABORTEDASSOCIATION) {
        fail(result, std::string(kOp) + "Peer Aborted Association");
    } else {
        fail(result, std::string(kOp) + "Store Scu Failed, Aborting Association");
        if (ASC_abortAssociation(assoc).bad())
            teardownFailed(DCM_ERR_ABORT_ASSOC, std::string(kOp) + "Association Abort Failed 3");
    }

    cond = ASC_destroyAssociation(&assoc);
    assoc = nullptr;
    if (cond.bad())
        teardownFailed(DCM_ERR_DESTROY_ASSOC,
                       std::string(kOp) + "destroyAssociation failed, " + cond.text());
    cond = ASC_dropNetwork(&net);
    net = nullptr;
    if (cond.bad())
        teardownFailed(DCM_ERR_DROP_NETWORK, std::string(kOp) + "dropNetwork failed, " + cond.text());
    return result;
}

OFCondition CDcmStoreScu::addStoragePresentationContexts(T_ASC_Parameters* params,
                                                         OFList<OFString>& sopClasses)
{
    // The preferred syntax follows the host's byte order, the other two follow.
    OFString preferredTransferSyntax;
    if (m_networkTransferSyntax == EXS_Unknown) {
        preferredTransferSyntax = (gLocalByteOrder == EBO_LittleEndian)
            ? UID_LittleEndianExplicitTransferSyntax
            : UID_BigEndianExplicitTransferSyntax;
    } else {
        preferredTransferSyntax = DcmXfer(m_networkTransferSyntax).getXferID();
    }

    OFList<OFString> fallbackSyntaxes;
    fallbackSyntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    fallbackSyntaxes.push_back(UID_BigEndianExplicitTransferSyntax);
    fallbackSyntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    fallbackSyntaxes.remove(preferredTransferSyntax);

    OFList<OFString> sopClassList(sopClasses);
    if (!m_proposeOnlyRequiredPresentationContexts) {
        for (int i = 0; i < numberOfDcmShortSCUStorageSOPClassUIDs; ++i)
            sopClassList.push_back(dcmShortSCUStorageSOPClassUIDs[i]);
    }

    // Each class once, at its first place.
    OFList<OFString> uniqueSopClasses;
    for (OFListIterator(OFString) s = sopClassList.begin(); s != sopClassList.end(); ++s) {
        bool seen = false;
        for (OFListIterator(OFString) u = uniqueSopClasses.begin(); u != uniqueSopClasses.end(); ++u)
            if (*u == *s)
                seen = true;
        if (!seen)
            uniqueSopClasses.push_back(*s);
    }

    auto addContext = [&](int pid, const OFString& abstractSyntax,
                          const OFList<OFString>& syntaxes) -> OFCondition {
        if (pid > 255) {
            debugLogError("CDcmStoreScu::addStoragePresentationContexts() Too many presentation contexts");
            return ASC_BADPRESENTATIONCONTEXTID;
        }
        const char* list[3] = {};
        int count = 0;
        for (OFListConstIterator(OFString) t = syntaxes.begin(); t != syntaxes.end() && count < 3; ++t)
            list[count++] = t->c_str();
        return ASC_addPresentationContext(params, static_cast<T_ASC_PresentationContextID>(pid),
                                          abstractSyntax.c_str(), list, count);
    };

    OFList<OFString> preferredOnly;
    preferredOnly.push_back(preferredTransferSyntax);
    OFList<OFString> combined(preferredOnly);
    for (OFListIterator(OFString) t = fallbackSyntaxes.begin(); t != fallbackSyntaxes.end(); ++t)
        combined.push_back(*t);

    OFCondition cond = EC_Normal;
    int pid = 1;
    for (OFListIterator(OFString) s = uniqueSopClasses.begin();
         s != uniqueSopClasses.end() && cond.good(); ++s) {
        if (m_combineProposedTransferSyntaxes) {
            cond = addContext(pid, *s, combined);
            pid += 2;
        } else {
            cond = addContext(pid, *s, preferredOnly);
            pid += 2;
            if (cond.good()) {
                cond = addContext(pid, *s, fallbackSyntaxes);
                pid += 2;
            }
        }
    }
    return cond;
}

OFCondition CDcmStoreScu::storeScu(T_ASC_Association* assoc, const OFString& fname)
{
    const std::string path(fname.c_str());
    const DIC_US msgId = assoc->nextMsgID++;
    m_unsuccessfulStoreEncountered = true;
    m_storeFailureCode = DCM_ERR_STORE_FAILED;

    DcmFileFormat dcmff;
    OFCondition cond = dcmff.loadFile(OFFilename(fname.c_str()), EXS_Unknown, EGL_noChange, 4096,
                                      m_readMode);
    if (cond.bad()) {
        debugLogError("CDcmStoreScu::storeScu() Bad DICOM file: " + path);
        m_storeFailureCode = DCM_ERR_OPEN_FILE;
        return cond;
    }

    DIC_UI sopClass = {};
    DIC_UI sopInstance = {};
    if (!DU_findSOPClassAndInstanceInDataSet(dcmff.getDataset(), sopClass, sizeof(sopClass),
                                             sopInstance, sizeof(sopInstance), m_correctUidPadding)) {
        debugLogError("CDcmStoreScu::storeScu() No SOP Class or Instance UID in file: " + path);
        m_storeFailureCode = DCM_ERR_OPEN_FILE;
        return DIMSE_BADDATA;
    }

    DcmXfer fileXfer(dcmff.getDataset()->getOriginalXfer());
    T_ASC_PresentationContextID presId;
    if (fileXfer.getXfer() != EXS_Unknown)
        presId = ASC_findAcceptedPresentationContextID(assoc, sopClass, fileXfer.getXferID());
    else
        presId = ASC_findAcceptedPresentationContextID(assoc, sopClass);
    if (presId == 0) {
        debugLogError("CDcmStoreScu::storeScu() No presentation context");
        m_storeFailureCode = DCM_ERR_NO_ACCEPTED_CONTEXT;
        return DIMSE_NOVALIDPRESENTATIONCONTEXTID;
    }
    T_ASC_PresentationContext pc;
    ASC_findAcceptedPresentationContext(assoc->params, presId, &pc);

    T_DIMSE_C_StoreRQ req;
    std::memset(&req, 0, sizeof(req));
    req.MessageID = msgId;
    OFStandard::strlcpy(req.AffectedSOPClassUID, sopClass, sizeof(req.AffectedSOPClassUID));
    OFStandard::strlcpy(req.AffectedSOPInstanceUID, sopInstance, sizeof(req.AffectedSOPInstanceUID));
    req.DataSetType = DIMSE_DATASET_PRESENT;
    req.Priority = DIMSE_PRIORITY_LOW;
    debugLog(2, "CDcmStoreScu::storeScu() Sending Store Request: MsgID=" + uintToStdString(msgId));

    T_DIMSE_C_StoreRSP rsp;
    std::memset(&rsp, 0, sizeof(rsp));
    DcmDataset* statusDetail = nullptr;
    cond = DIMSE_storeUser(assoc, presId, &req, nullptr, dcmff.getDataset(), nullptr, nullptr,
                           m_blockMode, m_dimseTimeout, &rsp, &statusDetail, nullptr,
                           static_cast<long>(OFStandard::getFileSize(OFFilename(fname.c_str()))));

    if (cond.good()) {
        if (isStoredStatus(rsp.DimseStatus)) {
            m_unsuccessfulStoreEncountered = false;
            debugLog(2, "CDcmStoreScu::storeScu() ECG successfully stored !");
        } else {
            m_storeFailureCode = DCM_ERR_STORE_REFUSED;
        }
        m_lastStatusCode = rsp.DimseStatus;
    } else {
        debugLogError("CDcmStoreScu::storeScu() Store Failed, file: " + path);
    }

    if (statusDetail) {
        std::ostringstream detail;
        statusDetail->print(detail);
        debugLog(2, "CDcmStoreScu::storeScu() Status Detail: " + detail.str());
        delete statusDetail;
    }
    return cond;
}
