#include "dicomrig.h"

// The stand-ins of the rig: peers of our own for what DCMTK's tools and
// Orthanc never send.

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/ofstd/ofstd.h>

#include <QString>

#include <cstring>
#include <sstream>
#include <vector>

namespace dicomrig {

// ----------------------------------------------------------------- FindPeer

namespace {

// Makes plain TCP connections and remembers the last one, so the peer can
// write bytes that DCMTK would never send.
class RecordingLayer : public DcmTransportLayer
{
public:
    DcmTransportConnection* createConnection(DcmNativeSocketType socket, OFBool secure) override
    {
        if (secure)
            return nullptr;
        last = new DcmTCPConnection(socket);
        return last;
    }
    DcmTransportConnection* last = nullptr;
};

void put16(std::vector<unsigned char>& out, unsigned v)
{
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<unsigned char>& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((v >> (8 * i)) & 0xFF);
}

void putBigEndian32(std::vector<unsigned char>& out, quint32 v)
{
    for (int i = 3; i >= 0; --i)
        out.push_back((v >> (8 * i)) & 0xFF);
}

// One element in implicit VR little endian.
void element(std::vector<unsigned char>& out, unsigned group, unsigned elem, const std::string& value)
{
    std::string v = value;
    if (v.size() % 2)
        v.push_back('\0');
    put16(out, group);
    put16(out, elem);
    put32(out, static_cast<quint32>(v.size()));
    out.insert(out.end(), v.begin(), v.end());
}

void element16(std::vector<unsigned char>& out, unsigned group, unsigned elem, unsigned value)
{
    put16(out, group);
    put16(out, elem);
    put32(out, 2);
    put16(out, value);
}

}

FindPeer::~FindPeer()
{
    stop();
}

bool FindPeer::start(const QString& aeTitle)
{
    stop();
    if (!openAcceptor(aeTitle, 0))
        return false;
    m_layer = new RecordingLayer;
    ASC_setTransportLayer(m_net, m_layer, 0);
    startThread([this] { run(); });
    return true;
}

void FindPeer::stop()
{
    closeAcceptor();
    delete m_layer;
    m_layer = nullptr;
}

QString FindPeer::lastRequest() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastRequest;
}

void FindPeer::run()
{
    static const char* xfers[] = {UID_LittleEndianImplicitTransferSyntax};
    static const char* models[] = {UID_FINDModalityWorklistInformationModel,
                                   UID_FINDStudyRootQueryRetrieveInformationModel};
    acceptLoop(
        [this](T_ASC_Parameters* params) {
            m_sent = 0;
            ASC_acceptContextsWithPreferredTransferSyntaxes(params, models, 2, xfers, 1);
        },
        [this](T_ASC_Association* assoc) { serve(assoc); });
}

void FindPeer::serve(T_ASC_Association* assoc)
{
    while (!m_stop) {
        T_DIMSE_Message msg;
        T_ASC_PresentationContextID presId = 0;
        OFCondition cond = DIMSE_receiveCommand(assoc, DIMSE_NONBLOCKING, 1, &presId, &msg, nullptr);
        if (cond == DIMSE_NODATAAVAILABLE)
            continue;
        if (cond == DUL_PEERREQUESTEDRELEASE) {
            ASC_acknowledgeRelease(assoc);
            return;
        }
        if (cond.bad())
            return;
        if (msg.CommandField == DIMSE_C_FIND_RQ) {
            DcmDataset* identifiers = nullptr;
            T_ASC_PresentationContextID dataPresId = 0;
            if (DIMSE_receiveDataSetInMemory(assoc, DIMSE_BLOCKING, 0, &dataPresId, &identifiers,
                                             nullptr, nullptr).bad())
                return;
            std::ostringstream dump;
            identifiers->print(dump);
            delete identifiers;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lastRequest = QString::fromStdString(dump.str());
            }
            ++m_requests;
            answer(assoc, presId, msg.msg.CFindRQ);
            if (m_mode != Mode::Answer && m_mode != Mode::Oversized
                && m_mode != Mode::FailStatus) {
                // Wait for the requestor to give up, then hang up.
                while (!m_stop && !ASC_dataWaiting(assoc, 1))
                    ;
                ASC_abortAssociation(assoc);
                return;
            }
        } else if (msg.CommandField != DIMSE_C_CANCEL_RQ) {
            ASC_abortAssociation(assoc);
            return;
        }
    }
}

bool FindPeer::sendRaw(const std::vector<unsigned char>& bytes)
{
    auto* layer = static_cast<RecordingLayer*>(m_layer);
    if (!layer->last)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = layer->last->write(const_cast<unsigned char*>(bytes.data()) + done,
                                             bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool FindPeer::sendPdv(T_ASC_PresentationContextID presId, bool command,
                       const std::vector<unsigned char>& data)
{
    std::vector<unsigned char> pdu{0x04, 0x00};
    putBigEndian32(pdu, static_cast<quint32>(data.size() + 6));
    putBigEndian32(pdu, static_cast<quint32>(data.size() + 2));
    pdu.push_back(presId);
    pdu.push_back(command ? 0x03 : 0x02); // last fragment
    pdu.insert(pdu.end(), data.begin(), data.end());
    return sendRaw(pdu);
}

void FindPeer::answer(T_ASC_Association* assoc, T_ASC_PresentationContextID presId,
                      T_DIMSE_C_FindRQ& request)
{
    auto pending = [&](DcmDataset* identifiers, unsigned short finalStatus = STATUS_Success) {
        T_DIMSE_C_FindRSP rsp;
        std::memset(&rsp, 0, sizeof(rsp));
        rsp.MessageIDBeingRespondedTo = request.MessageID;
        OFStandard::strlcpy(rsp.AffectedSOPClassUID, request.AffectedSOPClassUID,
                            sizeof(rsp.AffectedSOPClassUID));
        rsp.opts = O_FIND_AFFECTEDSOPCLASSUID;
        rsp.DimseStatus = identifiers ? STATUS_Pending : finalStatus;
        rsp.DataSetType = identifiers ? DIMSE_DATASET_PRESENT : DIMSE_DATASET_NULL;
        const bool ok = DIMSE_sendFindResponse(assoc, presId, &request, &rsp, identifiers, nullptr).good();
        if (ok && identifiers)
            ++m_sent;
        return ok;
    };
    auto simple = [&](int i) {
        DcmDataset ds;
        ds.putAndInsertString(DCM_PatientName, QString("Endless^Pet%1").arg(i).toLatin1().constData());
        ds.putAndInsertString(DCM_PatientID, QString("E%1").arg(i).toLatin1().constData());
        return pending(&ds);
    };

    switch (m_mode) {
    case Mode::Answer:
        for (int i = 0; i < m_count && !m_stop; ++i) {
            DcmDataset ds;
            if (m_filler)
                m_filler(i, ds);
            if (!pending(&ds))
                return;
        }
        pending(nullptr);
        return;
    case Mode::Oversized: {
        DcmDataset ds;
        const std::string big(static_cast<size_t>(m_oversizeBytes), 'A');
        ds.putAndInsertString(DCM_PatientName, ("Huge^" + big).c_str());
        if (pending(&ds))
            pending(nullptr);
        return;
    }
    case Mode::Endless:
        for (int i = 0; !m_stop && simple(i); ++i)
            ;
        return;
    case Mode::Silent:
        return;
    case Mode::FailStatus:
        if (simple(0))
            pending(nullptr, 0xC000);
        return;
    case Mode::Malformed:
    case Mode::HugeLength: {
        // A pending C-FIND-RSP command that announces a data set.
        std::vector<unsigned char> body;
        element(body, 0x0000, 0x0002, request.AffectedSOPClassUID);
        element16(body, 0x0000, 0x0100, DIMSE_C_FIND_RSP);
        element16(body, 0x0000, 0x0120, request.MessageID);
        element16(body, 0x0000, 0x0800, 0x0000);
        element16(body, 0x0000, 0x0900, STATUS_Pending);
        std::vector<unsigned char> cmd;
        put16(cmd, 0x0000);
        put16(cmd, 0x0000);
        put32(cmd, 4);
        put32(cmd, static_cast<quint32>(body.size()));
        cmd.insert(cmd.end(), body.begin(), body.end());
        if (!sendPdv(presId, true, cmd))
            return;
        if (m_mode == Mode::HugeLength) {
            std::vector<unsigned char> pdu{0x04, 0x00, 0x7F, 0xFF, 0xFF, 0xF0, 0x00, 0x00};
            sendRaw(pdu);
            return;
        }
        // Patient ID fine, then a name announced far longer than what follows.
        std::vector<unsigned char> data;
        element(data, 0x0010, 0x0020, "P1");
        put16(data, 0x0010);
        put16(data, 0x0010);
        put32(data, 0x7FFFFFF0u);
        for (char c : std::string("Trunc^Ated"))
            data.push_back(static_cast<unsigned char>(c));
        sendPdv(presId, false, data);
        return;
    }
    }
}

// ----------------------------------------------------------------- MovePeer

MovePeer::~MovePeer()
{
    stop();
}

bool MovePeer::start(const QString& aeTitle)
{
    stop();
    if (!openAcceptor(aeTitle, 0))
        return false;
    startThread([this] { run(); });
    return true;
}

void MovePeer::stop()
{
    closeAcceptor();
}

QString MovePeer::storeOutput() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_storeOutput;
}

void MovePeer::run()
{
    static const char* xfers[] = {UID_LittleEndianExplicitTransferSyntax,
                                  UID_LittleEndianImplicitTransferSyntax};
    static const char* models[] = {UID_FINDStudyRootQueryRetrieveInformationModel,
                                   UID_MOVEStudyRootQueryRetrieveInformationModel};
    acceptLoop(
        [](T_ASC_Parameters* params) {
            ASC_acceptContextsWithPreferredTransferSyntaxes(params, models, 2, xfers, 2);
        },
        [this](T_ASC_Association* assoc) { serve(assoc); });
}

void MovePeer::serve(T_ASC_Association* assoc)
{
    while (!m_stop) {
        T_DIMSE_Message msg;
        T_ASC_PresentationContextID presId = 0;
        OFCondition cond = DIMSE_receiveCommand(assoc, DIMSE_NONBLOCKING, 1, &presId, &msg, nullptr);
        if (cond == DIMSE_NODATAAVAILABLE)
            continue;
        if (cond == DUL_PEERREQUESTEDRELEASE) {
            ASC_acknowledgeRelease(assoc);
            return;
        }
        if (cond.bad() || msg.CommandField != DIMSE_C_MOVE_RQ) {
            ASC_abortAssociation(assoc);
            return;
        }
        DcmDataset* identifiers = nullptr;
        T_ASC_PresentationContextID dataPresId = 0;
        if (DIMSE_receiveDataSetInMemory(assoc, DIMSE_BLOCKING, 0, &dataPresId, &identifiers,
                                         nullptr, nullptr).bad())
            return;
        delete identifiers;
        if (m_mode == Mode::Silent) {
            while (!m_stop && !ASC_dataWaiting(assoc, 1))
                ;
            ASC_abortAssociation(assoc);
            return;
        }
        if (m_duringMove)
            m_duringMove();
        QString out;
        int failed = 0;
        if (!m_files.isEmpty()) {
            QStringList args{"-aet", aeTitle(), "-aec", m_destAe, "127.0.0.1",
                             QString::number(m_destPort)};
            if (runTool("storescu", args + m_files, &out) != 0)
                failed = m_files.size();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_storeOutput = out;
        }
        if (m_mode == Mode::AbortAfterStore) {
            ASC_abortAssociation(assoc);
            return;
        }
        T_DIMSE_C_MoveRSP rsp;
        std::memset(&rsp, 0, sizeof(rsp));
        rsp.DimseStatus = failed ? STATUS_MOVE_Warning_SubOperationsCompleteOneOrMoreFailures
                                 : STATUS_Success;
        rsp.NumberOfCompletedSubOperations = static_cast<DIC_US>(m_files.size() - failed);
        rsp.NumberOfFailedSubOperations = static_cast<DIC_US>(failed);
        DIMSE_sendMoveResponse(assoc, presId, &msg.msg.CMoveRQ, &rsp, nullptr, nullptr);
    }
}

} // namespace dicomrig
