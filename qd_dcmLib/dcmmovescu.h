#ifndef MALVORANT_DCMMOVESCU_H
#define MALVORANT_DCMMOVESCU_H

#include "dcmerrors.h"
#include "dcmfailure.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmnet/assoc.h>
#include <dcmtk/dcmnet/dimse.h>

#include <cstdint>
#include <string>
#include <vector>

class DcmDataset;
class DcmFileFormat;
class CDcmJobCancel;
class CDcmNetGuard;

// Fetches one study from a PACS: a Study Root C-MOVE whose destination is the
// program's own AE title, with a storage receiver on the local port that
// takes the PACS's sub-associations while the C-MOVE runs. One object per
// fetch, used by one thread.
class CDcmMoveScu
{
public:
    CDcmMoveScu();
    ~CDcmMoveScu();

    CDcmMoveScu(const CDcmMoveScu&) = delete;
    CDcmMoveScu& operator=(const CDcmMoveScu&) = delete;

    // 0 when the exchange ended normally (whether a file arrived shows in
    // the output folder), otherwise the DcmErrorCode of the failing step with
    // its text in getLastError(). Every received object is written under a
    // name of its own; the first one of a waveform class ends up as
    // outDir/outFileName, the others are removed.
    int getFile(std::string outFileName, std::string peer, unsigned int peerPort,
                std::string aeScp, std::string aeScu, int localPort, std::string outDir,
                std::string studyUid);

    std::string getLastError() const { return m_errorText; }

    // Bounds of the waits: acseSeconds the connection attempt, association
    // set-up and release; dimseSeconds the longest silence of the PACS;
    // totalSeconds and maxBytes the whole fetch. Values of 0 or below are
    // ignored.
    void setTimeouts(int acseSeconds, int dimseSeconds);
    void setLimits(int totalSeconds, std::int64_t maxBytes);

    // Objects the receiver took in the last fetch, and those it refused.
    int receivedCount() const { return m_receivedCount; }
    int refusedAssociations() const { return m_refusedAssociations; }
    // What went wrong in the last fetch, also when it returned 0: a failure
    // status of the C-MOVE, a storing association refused for its AE title.
    DcmFailure failure() const { return m_failure; }

    static constexpr int kDefaultAcseTimeout = 30;
    static constexpr int kDefaultDimseTimeout = 60;
    static constexpr int kDefaultTotalSeconds = 600;
    static constexpr std::int64_t kDefaultMaxBytes = 1024LL * 1024 * 1024;
    static constexpr unsigned int kMaxUidLength = 250;
    static constexpr unsigned int kMaxFileNameLength = 2047;

    // Connections of later fetches register in cancel, which may end their
    // waits at once from another thread (at exit). Not owned.
    void setCancel(CDcmJobCancel* cancel) { m_cancel = cancel; }

    void addOverrideKey(const std::string& key);

    // True for the SOP classes of the waveform family, the ones the import takes.
    static bool isWaveformClass(const std::string& sopClassUid);

private:
    struct Received
    {
        std::string path;
        std::string sopClass;
        bool accepted = false;
    };
    struct StoreContext;

    int fail(int code, const std::string& text);
    OFCondition addPresentationContext(T_ASC_Parameters* params, T_ASC_PresentationContextID pid,
                                       const char* abstractSyntax);
    OFCondition cmove(T_ASC_Association* assoc);
    OFCondition moveSCU(T_ASC_Association* assoc);
    void keepFirstWaveform();

    static void moveCallback(void* callbackData, T_DIMSE_C_MoveRQ* request, int responseCount,
                             T_DIMSE_C_MoveRSP* response);
    static void subOpCallback(void* subOpCallbackData, T_ASC_Network* net,
                              T_ASC_Association** subAssoc);
    OFCondition acceptSubAssoc(T_ASC_Network* net, T_ASC_Association** assoc);
    OFCondition subOpSCP(T_ASC_Association** subAssoc);
    OFCondition storeSCP(T_ASC_Association* assoc, T_DIMSE_Message* msg,
                         T_ASC_PresentationContextID presId);
    static void storeSCPCallback(void* callbackData, T_DIMSE_StoreProgress* progress,
                                 T_DIMSE_C_StoreRQ* req, char* imageFileName,
                                 DcmDataset** imageDataSet, T_DIMSE_C_StoreRSP* rsp,
                                 DcmDataset** statusDetail);
    OFCondition echoSCP(T_ASC_Association* assoc, T_DIMSE_Message* msg,
                        T_ASC_PresentationContextID presId);

    Uint32 m_maxPDU = 16384;
    int m_retrievePort = 104;
    int m_acseTimeout = kDefaultAcseTimeout;
    E_TransferSyntax m_outNetworkTransferSyntax = EXS_Unknown;
    E_TransferSyntax m_inNetworkTransferSyntax = EXS_Unknown;
    bool m_acceptAllXfers = false;
    E_TransferSyntax m_writeTransferSyntax = EXS_Unknown;
    bool m_useMetaheader = true;
    E_GrpLenEncoding m_groupLength = EGL_recalcGL;
    E_EncodingType m_sequenceType = EET_ExplicitLength;
    E_PaddingEncoding m_paddingType = EPD_withoutPadding;
    bool m_correctUidPadding = false;
    bool m_abortAssociation = false;
    T_DIMSE_BlockingMode m_blockMode = DIMSE_NONBLOCKING;
    int m_dimseTimeout = kDefaultDimseTimeout;
    bool m_ignorePendingDatasets = true;
    int m_repeatCount = 1;
    int m_cancelAfterNResponses = -1;
    int m_totalSeconds = kDefaultTotalSeconds;
    std::int64_t m_maxBytes = kDefaultMaxBytes;

    std::string m_outputDirectory;
    std::string m_outputFileName;
    std::string m_pacsAeTitle;
    std::string m_errorText;
    DcmFailure m_failure;
    T_ASC_Network* m_net = nullptr;
    DcmDataset* m_overrideKeys = nullptr;
    std::vector<Received> m_received;
    int m_receivedCount = 0;
    int m_refusedAssociations = 0;
    CDcmJobCancel* m_cancel = nullptr;
};

#endif
