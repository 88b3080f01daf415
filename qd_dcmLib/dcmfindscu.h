#ifndef MALVORANT_DCMFINDSCU_H
#define MALVORANT_DCMFINDSCU_H

#include "dcmerrors.h"
#include "dcmfailure.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dfindscu.h>
#include <dcmtk/ofstd/oflist.h>
#include <dcmtk/ofstd/ofstring.h>

#include <cstdint>
#include <string>

class CDcmJobCancel;

namespace NsCDcmFindScu {

// One C-FIND answer as the result tables take it; texts in UTF-8, empty when
// the answer lacks the attribute.
struct TResponseRecord
{
    std::string patientName;
    std::string patientId;
    std::string accessionNumber;
    std::string studyInstanceUid;
    std::string studyDateTime;   // YYYYMMDDHHMMSS
    std::string ownerFirst;
    std::string ownerLast;
    std::string species;
    std::string breed;
    std::string sex;
    std::string sexNeutered;
    std::string birthDate;
    std::string weight;
    std::string spare;
};

// The part of a person name after its first caret, the whole name when it
// has none or ends with it; and the part before it, empty in those cases.
std::string nameAfterCaret(const std::string& name);
std::string nameBeforeCaret(const std::string& name);

// Whether a stored Patient's Name is one a search by the animal's name alone
// means: the name after a caret starts with it, or a name without owner part
// does. `*` and `?` in the search are wildcards; case is not told apart, so
// nothing a case-blind peer found is dropped.
bool nameMatchesSearch(const std::string& storedName, const std::string& search);

// True for a DICOM UID: 1 to 64 characters, numeric components without
// leading zeros, separated by single dots.
bool isValidUid(const std::string& text);

}

// Turns each pending C-FIND response into a record of the process-wide
// response list, keeping at most `maxResponses` (0: no limit).
class CDcmFindSCUCallback : public DcmFindSCUDefaultCallback
{
public:
    explicit CDcmFindSCUCallback(int maxResponses);
    ~CDcmFindSCUCallback() override;

    void callback(T_DIMSE_C_FindRQ* request, int& responseCount, T_DIMSE_C_FindRSP* rsp,
                  DcmDataset* responseIdentifiers) override;

    // A study answer whose Modalities in Study lack this modality is dropped:
    // a peer that ignores the matching key lists studies of every kind.
    // Empty (the default) keeps every answer.
    void setStudyModality(const std::string& modality) { m_studyModality = modality; }

    // A search by the animal's name alone is sent wide enough to find names
    // with and without owner part; answers whose name it does not mean
    // (nameMatchesSearch) are dropped. Empty (the default) keeps every answer.
    void setNameSearch(const std::string& name) { m_nameSearch = name; }

    // Why the callback broke the query off (an answer it could not take),
    // empty while it did not.
    const std::string& refusal() const { return m_refusal; }
    void clearRefusal() { m_refusal.clear(); }

    // Longest text a record field takes; a longer value is no answer to a
    // query for patients and studies.
    static constexpr size_t kMaxValueBytes = 1024;

    // Builds the record of one response data set (its texts converted to
    // UTF-8 from the character set it names).
    static void makeRecord(DcmDataset* dataset, NsCDcmFindScu::TResponseRecord& record);

    // The response list shared by every find client.
    struct SornhapCallback
    {
        static void ResetIndex();
    };

private:
    bool m_extractResponses = true;
    int m_cancelAfterNResponses = -1;
    int m_maxResponses;
    std::string m_studyModality;
    std::string m_nameSearch;
    std::string m_refusal;
};

// Worklist and PACS study queries by C-FIND. One object per query: construct,
// query once, read the records, delete.
class CDcmFindScu
{
public:
    CDcmFindScu(int maxResponses, int applicationType);
    ~CDcmFindScu();

    CDcmFindScu(const CDcmFindScu&) = delete;
    CDcmFindScu& operator=(const CDcmFindScu&) = delete;

    int getWorklist(std::string peer, int port, std::string aeScp, std::string aeScu,
                    std::string patId, std::string patientName, std::string ownerFirst,
                    std::string ownerLast);
    int getPacsEcgList(std::string peer, int port, std::string aeScp, std::string aeScu,
                       std::string patId, std::string patientName, std::string ownerFirst,
                       std::string ownerLast);

    std::string getLastError() const { return m_errorText; }
    // Why the last query failed, in terms the caller can act on.
    DcmFailure failure() const { return m_failure; }

    bool firstResponse();
    bool nextResponse(NsCDcmFindScu::TResponseRecord* record);
    // Records in the response list.
    static int responseCount();

    // Bounds of the waits: acseSeconds the connection attempt, association
    // set-up and release; dimseSeconds each wait for a message; totalSeconds
    // and maxBytes the whole query. Values of 0 or below are ignored.
    void setTimeouts(int acseSeconds, int dimseSeconds);
    void setLimits(int totalSeconds, std::int64_t maxBytes);

    // Connections of later queries register in cancel, which may end their
    // waits at once from another thread (at exit). Not owned.
    void setCancel(CDcmJobCancel* cancel) { m_cancel = cancel; }

    // The keys of the last query, in DCMTK's override-key form.
    const OFList<OFString>& queryKeys() const { return m_overrideKeys; }

    static constexpr int kDefaultAcseTimeout = 30;
    static constexpr int kDefaultDimseTimeout = 60;
    static constexpr int kDefaultTotalSeconds = 600;
    static constexpr std::int64_t kDefaultMaxBytes = 256LL * 1024 * 1024;
    static constexpr unsigned int kMaxKeyLength = 1999;

private:
    int query(const char* name, bool worklist, const std::string& peer, int port,
              const std::string& aeScp, const std::string& aeScu, const std::string& patId,
              const std::string& patientName, const std::string& ownerFirst,
              const std::string& ownerLast);
    void addMatchingKeys(const std::string& patId, const std::string& patientName,
                         const std::string& ownerFirst, const std::string& ownerLast);
    int fail(int code, const std::string& text);

    OFList<OFString> m_overrideKeys;
    OFList<OFString> m_fileNameList;
    size_t m_readPosition = 0;
    std::string m_errorText;
    DcmFailure m_failure;
    int m_applicationType;
    int m_maxResponses;
    OFString m_abstractSyntax;

    int m_acseTimeout = kDefaultAcseTimeout;
    E_TransferSyntax m_networkTransferSyntax = EXS_Unknown;
    T_DIMSE_BlockingMode m_blockMode = DIMSE_NONBLOCKING;
    int m_dimseTimeout = kDefaultDimseTimeout;
    Uint32 m_maxReceivePDULength = 16384;
    bool m_secureConnection = false;
    bool m_abortAssociation = false;
    unsigned int m_repeatCount = 1;
    int m_cancelAfterNResponses = -1;
    int m_totalSeconds = kDefaultTotalSeconds;
    std::int64_t m_maxBytes = kDefaultMaxBytes;

    CDcmFindSCUCallback* m_callback;
    CDcmJobCancel* m_cancel = nullptr;
};

#endif
