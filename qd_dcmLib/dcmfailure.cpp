#include "dcmfailure.h"

#include <dcmtk/dcmnet/cond.h>

#include <cerrno>
#include <cstring>

DcmFailureKind dcmConditionKind(const OFCondition& cond)
{
    if (cond.good())
        return DcmFailureKind::None;
    if (cond.module() != OFM_dcmnet)
        return DcmFailureKind::BrokeOff;
    switch (cond.code()) {
    case DULC_ASSOCIATIONREJECTED:
        return DcmFailureKind::Rejected;
    case DULC_TCPINITERROR: {
        // DCMTK puts the system's message into the text; it may be in the
        // user's language, so the system's own text for the error is asked too.
        const char* text = cond.text();
        if (text && (std::strstr(text, "Connection refused") || std::strstr(text, std::strerror(ECONNREFUSED))))
            return DcmFailureKind::Refused;
        return DcmFailureKind::NoAnswer;
    }
    case DULC_READTIMEOUT:
    case DULC_UNKNOWNHOST:
        return DcmFailureKind::NoAnswer;
    default:
        return DcmFailureKind::BrokeOff;
    }
}

DcmRejectReason dcmRejectReasonOf(unsigned source, unsigned reason)
{
    // DCMTK keeps the source in the reason's high byte; the PDU has it apart.
    if (source != 1)
        return DcmRejectReason::Unknown;
    switch (reason & 0xFFu) {
    case 3:
        return DcmRejectReason::CallingTitle;
    case 7:
        return DcmRejectReason::CalledTitle;
    default:
        return DcmRejectReason::Unknown;
    }
}

DcmFailureKind dcmStoreStatusKind(unsigned status)
{
    if ((status & 0xFF00u) == 0xA700u)
        return DcmFailureKind::PeerBusy;
    // Data set does not match the SOP class, cannot understand.
    if ((status & 0xFF00u) == 0xA900u || (status & 0xF000u) == 0xC000u)
        return DcmFailureKind::ObjectRefused;
    return DcmFailureKind::PeerRefused;
}

bool dcmFailureIsRecordings(DcmFailureKind kind)
{
    return kind == DcmFailureKind::Recording || kind == DcmFailureKind::ObjectRefused
        || kind == DcmFailureKind::NotMarked;
}

const char* dcmFailureKindName(DcmFailureKind kind)
{
    switch (kind) {
    case DcmFailureKind::None: return "none";
    case DcmFailureKind::Settings: return "settings";
    case DcmFailureKind::Rejected: return "association rejected";
    case DcmFailureKind::Refused: return "connection refused";
    case DcmFailureKind::NoAnswer: return "no answer";
    case DcmFailureKind::BrokeOff: return "connection broke off";
    case DcmFailureKind::PeerBusy: return "peer out of resources";
    case DcmFailureKind::PeerRefused: return "peer refused";
    case DcmFailureKind::ObjectRefused: return "object refused";
    case DcmFailureKind::WrongPeerTitle: return "wrong peer AE title";
    case DcmFailureKind::NothingReceived: return "nothing received";
    case DcmFailureKind::LocalFolder: return "local folder";
    case DcmFailureKind::Recording: return "recording";
    case DcmFailureKind::NotMarked: return "sent, not marked";
    case DcmFailureKind::Other: return "other";
    }
    return "other";
}
