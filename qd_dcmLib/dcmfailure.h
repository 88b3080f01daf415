#ifndef MALVORANT_DCMFAILURE_H
#define MALVORANT_DCMFAILURE_H

#include <dcmtk/config/osconfig.h>
#include <dcmtk/ofstd/ofcond.h>

#include <string>

// Why a DICOM job failed, told apart by what the user or the queue can do
// about it; the numbered result code and the log text stay beside it.
enum class DcmFailureKind
{
    None,
    Settings,        // refused before connecting: a setting can't be used
    Rejected,        // the peer rejected the association (an AE title it does not know)
    Refused,         // nothing accepts connections at the address and port
    NoAnswer,        // the peer did not answer in time, or the host is unknown
    BrokeOff,        // the exchange broke off after it had begun
    PeerBusy,        // the peer answered "out of resources"
    PeerRefused,     // the peer refused the request with another failure status
    ObjectRefused,   // the peer refused the object for its content
    WrongPeerTitle,  // a fetch: the study came from another AE title than the configured one
    NothingReceived, // a fetch ended without a recording
    LocalFolder,     // a folder of this computer can't be written
    Recording,       // the recording (its file or its row) can't be read or converted
    NotMarked,       // sent, but the recording could not be marked as sent
    Other
};

// Who rejected an association and why, where the peer said so.
enum class DcmRejectReason
{
    Unknown,
    CalledTitle,  // the peer does not know the AE title it was called by
    CallingTitle  // the peer does not know this station's AE title
};

struct DcmFailure
{
    DcmFailureKind kind = DcmFailureKind::None;
    DcmRejectReason rejectReason = DcmRejectReason::Unknown;
    // The DIMSE status the peer answered with, 0 for none.
    unsigned status = 0;
    // The AE titles involved: called (the peer as configured), calling (this
    // station), and for WrongPeerTitle the title the peer really used.
    std::string calledTitle;
    std::string callingTitle;
    std::string peerTitle;
    // Recording: why the import refused the object, in words for the user.
    std::string reason;

    bool failed() const { return kind != DcmFailureKind::None; }
};

// The kind of a failed association request or exchange, from DCMTK's
// condition: rejected, refused, no answer, otherwise BrokeOff.
DcmFailureKind dcmConditionKind(const OFCondition& cond);
// The reason of an A-ASSOCIATE-RJ (its source and reason fields).
DcmRejectReason dcmRejectReasonOf(unsigned source, unsigned reason);

// A C-STORE failure status as a kind: out of resources is the peer's
// passing state, a content refusal the object's, the rest the peer's.
DcmFailureKind dcmStoreStatusKind(unsigned status);

// Whether a failed send belongs to the recording itself (its file, its
// conversion, its content, its mark): such a recording is set aside. Every
// other failure is shared by all recordings and passes by itself.
bool dcmFailureIsRecordings(DcmFailureKind kind);

// A short name of the kind for log lines.
const char* dcmFailureKindName(DcmFailureKind kind);

#endif
