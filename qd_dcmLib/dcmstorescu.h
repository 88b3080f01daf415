#ifndef MALVORANT_DCMSTORESCU_H
#define MALVORANT_DCMSTORESCU_H

#include "dcmerrors.h"
#include "dcmfailure.h"

class CDcmJobCancel;

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmnet/assoc.h>
#include <dcmtk/dcmnet/dimse.h>
#include <dcmtk/ofstd/oflist.h>
#include <dcmtk/ofstd/ofstring.h>

#include <string>

// Sends one DICOM file to a PACS by C-STORE: one call is one complete exchange
// on a fresh network and association. Made per send, used by one thread.
class CDcmStoreScu
{
public:
    CDcmStoreScu();
    virtual ~CDcmStoreScu();

    CDcmStoreScu(const CDcmStoreScu&) = delete;
    CDcmStoreScu& operator=(const CDcmStoreScu&) = delete;

    // 0 when the peer stored the file (success or warning status), otherwise
    // the DcmErrorCode of the failing step with its text in getLastError().
    int sornhapStoreScu(std::string fname, std::string peer, unsigned int peerPort,
                        std::string aeScp, std::string aeScu);

    std::string getLastError() const { return m_errorText; }

    // The DIMSE status of the last C-STORE response (0 before any).
    unsigned int lastStatusCode() const { return m_lastStatusCode; }
    // Why the last send failed, in terms the caller can act on.
    DcmFailure failure() const { return m_failure; }

    // Bounds of the waits. acseSeconds (default 30) limits the connection
    // attempt, association set-up and release; dimseSeconds 0 (default) waits
    // for the C-STORE response in blocking mode, bounded by the socket
    // time-outs, a positive value limits that wait too. Values out of range
    // are ignored.
    void setTimeouts(int acseSeconds, int dimseSeconds);

    // Connections of later sends register in cancel, which may end their
    // waits from another thread; null (the default) for none. Not owned.
    void setCancel(CDcmJobCancel* cancel) { m_cancel = cancel; }

    static constexpr int kDefaultAcseTimeout = 30;
    static constexpr unsigned int kMaxAeTitleLength = 16;
    static constexpr unsigned int kMaxHostNameLength = 128;

    OFCondition addStoragePresentationContexts(T_ASC_Parameters* params,
                                               OFList<OFString>& sopClasses);
    OFCondition storeScu(T_ASC_Association* assoc, const OFString& fname);

private:
    int fail(int code, const std::string& text);
    static bool isStoredStatus(unsigned int status);

    bool m_abortAssociation = false;
    Uint32 m_maxReceivePDULength = 16384;
    E_TransferSyntax m_networkTransferSyntax = EXS_Unknown;
    E_FileReadMode m_readMode = ERM_autoDetect;
    bool m_haltOnUnsuccessfulStore = true;
    bool m_unsuccessfulStoreEncountered = false;
    unsigned int m_lastStatusCode = 0;
    bool m_proposeOnlyRequiredPresentationContexts = false;
    bool m_combineProposedTransferSyntaxes = false;
    int m_repeatCount = 1;
    bool m_correctUidPadding = false;
    bool m_secureConnection = false;
    T_DIMSE_BlockingMode m_blockMode = DIMSE_BLOCKING;
    int m_dimseTimeout = 0;
    int m_acseTimeout = kDefaultAcseTimeout;
    std::string m_errorText;
    DcmFailure m_failure;
    CDcmJobCancel* m_cancel = nullptr;

    // The result a store that was not successful gives the operation.
    int m_storeFailureCode = DCM_ERR_STORE_FAILED;
};

#endif
