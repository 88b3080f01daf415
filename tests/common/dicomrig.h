#ifndef MALVORANT_TESTS_DICOMRIG_H
#define MALVORANT_TESTS_DICOMRIG_H

// Real DICOM peers on loopback for tests: DCMTK's storescp, dcmqrscp and
// wlmscpfs as child processes, a silent TCP listener and a small storage peer
// of our own that answers C-STORE with a chosen status. Every peer takes a
// free port of its own and is listening when start() returns true, so tests
// may run in parallel. Destructors stop what is still running.

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmnet/assoc.h>
#include <dcmtk/dcmnet/dcmlayer.h>
#include <dcmtk/dcmnet/dimse.h>

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dicomrig {

// A TCP port that was free on 127.0.0.1 at the time of the call, outside the
// range of the system's outgoing connections.
quint16 freePort();

// Waits until something accepts TCP connections on 127.0.0.1:port.
bool waitForListening(quint16 port, int timeoutMs);

// Runs a program to its end (at most timeoutMs); gives its exit code, -1 when
// it did not start or end in time, with stdout and stderr in *output.
int runTool(const QString& program, const QStringList& args, QString* output = nullptr,
            int timeoutMs = 30000);

// Writes a small General ECG Waveform object (or the given SOP class) with a
// meta header: two channels of ten 16-bit samples. Gives the SOP instance UID,
// empty on failure.
QString writeEcgFile(const QString& path, const char* sopClassUid = UID_GeneralECGWaveformStorage,
                     E_TransferSyntax xfer = EXS_LittleEndianExplicit);

// dcmdump's full print of a file's data set, meta header, lengths and sequence
// delimiters left out (they depend on the encoding only); empty
// when the file can't be read.
QString dumpDataset(const QString& path);

// One DCMTK tool listening on its own port, its output in a log file of its
// work folder. Every start* creates what the tool needs inside workDir.
class ToolPeer
{
public:
    ToolPeer() = default;
    ~ToolPeer();
    ToolPeer(const ToolPeer&) = delete;
    ToolPeer& operator=(const ToolPeer&) = delete;

    // storescp writing received objects into workDir/incoming. options are
    // storescp options, such as --refuse or --abort-after.
    bool startStoreScp(const QString& workDir, const QStringList& options = {},
                       const QString& aeTitle = "STORESCP");

    // storescp negotiating with an association profile: contexts maps each SOP
    // class UID it accepts to a list of transfer syntax UIDs.
    struct Context
    {
        QString sopClassUid;
        QStringList transferSyntaxUids;
    };
    bool startStoreScpWithProfile(const QString& workDir, const QList<Context>& contexts,
                                  const QStringList& options = {},
                                  const QString& aeTitle = "STORESCP");

    // dcmqrscp with a generated configuration: one archive AE title, storage
    // in workDir/storage/<aeTitle>. peers are the AE titles and ports (on
    // 127.0.0.1) it knows, as C-MOVE destinations; anyPeer lets any calling
    // AE title in, otherwise only those peers.
    struct QrPeer
    {
        QString aeTitle;
        quint16 port = 0;
    };
    bool startQrScp(const QString& workDir, const QString& aeTitle, const QList<QrPeer>& peers = {},
                    bool anyPeer = true);

    // wlmscpfs serving workDir/worklist/<aeTitle>; add items with
    // addWorklistItem before or after the start. With "-v" in options its
    // log holds each request's identifiers.
    bool startWorklistScp(const QString& workDir, const QString& aeTitle = "WLMSCP",
                          const QStringList& options = {});
    QString worklistFolder() const { return m_worklistFolder; }

    // Orthanc (Debian's /usr/sbin/Orthanc) with its DICOM port only: any
    // calling AE title may echo, find, move and store; modalities are the
    // move destinations it knows; worklist files (*.wl) are served from
    // worklistFolder() by its modality worklist plug-in.
    bool startOrthanc(const QString& workDir, const QString& aeTitle = "ORTHANC",
                      const QList<QrPeer>& modalities = {});
    static bool orthancInstalled();

    void stop();
    // Starts the last tool again, as it was and on the port it had (after
    // stop(): a server that comes back). port() is 0 while stopped; the
    // port it will come back on is lastPort().
    bool restart();
    quint16 lastPort() const { return m_lastPort; }
    bool isRunning() const;
    quint16 port() const { return m_port; }
    QString aeTitle() const { return m_aeTitle; }
    QString incomingFolder() const { return m_incomingFolder; }
    QString storageFolder() const { return m_storageFolder; }
    QString output() const;

private:
    // Starts program with args in which "%PORT%" stands for the port; tries
    // new ports while the tool cannot bind.
    bool launch(const QString& program, const QStringList& args, const QString& workDir,
                const std::function<bool(quint16)>& prepare = {});

    QProcess m_process;
    quint16 m_port = 0;
    // The last launch, for restart(); a fixed port while restarting.
    QString m_program;
    QStringList m_args;
    QString m_workDir;
    std::function<bool(quint16)> m_prepare;
    quint16 m_fixedPort = 0;
    quint16 m_lastPort = 0;
    QString m_aeTitle;
    QString m_logPath;
    QString m_incomingFolder;
    QString m_storageFolder;
    QString m_worklistFolder;
};

// Writes one worklist item file (DICOM, no meta header) into folder.
bool addWorklistItem(const QString& folder, const QString& fileName, const QString& patientName,
                     const QString& patientId, const QString& accessionNumber,
                     const QString& studyUid, const QString& scheduledAeTitle);

// Writes one data set file (no meta header) made of keys in DCMTK's
// override-key form, "(gggg,eeee)[0].Keyword=value" or "Keyword=value". Texts
// are encoded by the Specific Character Set among the keys: UTF-8 for
// "ISO_IR 192", Latin-1 otherwise.
bool writeKeysFile(const QString& path, const QStringList& keys);

// Accepts TCP connections on 127.0.0.1 and never answers; reads and drops.
class SilentListener
{
public:
    SilentListener() = default;
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    bool start();
    void stop();
    quint16 port() const { return m_port; }
    int connectionCount() const { return m_connections.load(); }

private:
    void run();

    int m_listenFd = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
};

// What the DICOM peers of our own share: a DCMTK acceptor network on a port
// of its own and the thread that serves it. A peer stops in its own
// destructor, before the members its thread uses are gone.
class AcceptorPeer
{
public:
    quint16 port() const { return m_port; }
    QString aeTitle() const { return m_aeTitle; }

protected:
    AcceptorPeer() = default;
    ~AcceptorPeer() = default;
    AcceptorPeer(const AcceptorPeer&) = delete;
    AcceptorPeer& operator=(const AcceptorPeer&) = delete;

    // The network on a free port, or on fixedPort (retried while an old
    // listener lets go); false when none would open.
    bool openAcceptor(const QString& aeTitle, quint16 fixedPort);
    // Runs body on the peer's thread.
    void startThread(std::function<void()> body);
    // Ends the thread and drops the network.
    void closeAcceptor();
    // Until stopped: takes each association, lets accept() choose its
    // contexts, answers as the peer's AE title and hands it to serve().
    void acceptLoop(const std::function<void(T_ASC_Parameters*)>& accept,
                    const std::function<void(T_ASC_Association*)>& serve);

    T_ASC_Network* m_net = nullptr;
    std::atomic<bool> m_stop{false};

private:
    quint16 m_port = 0;
    QString m_aeTitle;
    std::thread m_thread;
};

// A storage peer of our own, in a thread of the test process, for what the
// tools cannot script: a chosen C-STORE status, a status detail, a release
// left unanswered, a release request in place of the response.
class StorePeer : public AcceptorPeer
{
public:
    enum class Mode {
        Answer,                  // C-STORE-RSP with the chosen status
        IgnoreRelease,           // answers the store, never the release request
        ReleaseInsteadOfAnswer,  // reads the data set, then requests a release
        SilentAfterAssociation   // accepts the association, then reads and answers nothing
    };

    StorePeer() = default;
    ~StorePeer();

    void setStatus(unsigned short status) { m_status = status; }
    void setStatusDetail(const QString& errorComment) { m_errorComment = errorComment; }
    void setMode(Mode mode) { m_mode = mode; }

    // port 0: a free port of its own; otherwise that port (to come back on
    // the port a stopped peer had).
    bool start(const QString& aeTitle = "STOREPEER", quint16 port = 0);
    void stop();
    // SOP instance UIDs of the data sets received so far.
    QStringList received() const;
    // Data sets with this Patient ID are answered with refusedStatus instead.
    void refusePatientId(const QString& patientId, unsigned short refusedStatus);
    // Patient IDs of the data sets answered with the chosen status, in order.
    QStringList storedPatientIds() const;

private:
    void run();
    void serve(T_ASC_Association* assoc);
    static void storeCallback(void* data, T_DIMSE_StoreProgress* progress, T_DIMSE_C_StoreRQ* req,
                              char* imageFileName, DcmDataset** imageDataSet,
                              T_DIMSE_C_StoreRSP* rsp, DcmDataset** statusDetail);

    unsigned short m_status = 0;
    QString m_errorComment;
    Mode m_mode = Mode::Answer;
    DcmDataset* m_statusDetail = nullptr; // used by the peer's thread only
    mutable std::mutex m_mutex;
    QStringList m_received;
    QString m_refusedPatientId;
    unsigned short m_refusedStatus = 0;
    QStringList m_storedPatientIds;
};

// A query peer of our own for answers no real server gives: it accepts any
// calling AE title for the worklist and study-root C-FIND and answers each
// C-FIND-RQ by its mode.
class FindPeer : public AcceptorPeer
{
public:
    enum class Mode {
        Answer,      // `count` pending responses from the filler, then success
        Oversized,   // one pending response holding a value of `oversizeBytes`
        Malformed,   // a pending response whose data set breaks off mid-element
        HugeLength,  // a P-DATA-TF PDU announcing 2 GB, then silence
        Endless,     // pending responses until the requestor goes away
        Silent,      // reads the request and never answers
        FailStatus   // one pending response, then the final one with C000H
    };
    using Filler = std::function<void(int index, DcmDataset& identifiers)>;

    FindPeer() = default;
    ~FindPeer();

    void setMode(Mode mode) { m_mode = mode; }
    void setAnswers(int count, Filler filler)
    {
        m_count = count;
        m_filler = std::move(filler);
    }
    void setOversizeBytes(int bytes) { m_oversizeBytes = bytes; }

    bool start(const QString& aeTitle = "FINDPEER");
    void stop();
    // Requests served and the identifiers of the last one (dcmdump form).
    int requestCount() const { return m_requests.load(); }
    QString lastRequest() const;
    // Pending responses sent in the last association.
    int sentCount() const { return m_sent.load(); }

private:
    void run();
    void serve(T_ASC_Association* assoc);
    void answer(T_ASC_Association* assoc, T_ASC_PresentationContextID presId,
                T_DIMSE_C_FindRQ& request);
    bool sendRaw(const std::vector<unsigned char>& bytes);
    bool sendPdv(T_ASC_PresentationContextID presId, bool command, const std::vector<unsigned char>& data);

    DcmTransportLayer* m_layer = nullptr;
    Mode m_mode = Mode::Answer;
    int m_count = 0;
    Filler m_filler;
    int m_oversizeBytes = 4 * 1024 * 1024;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_sent{0};
    mutable std::mutex m_mutex;
    QString m_lastRequest;
};

// A PACS stand-in for C-MOVE: answers a Study Root C-MOVE by storing its
// files into the move destination with DCMTK's storescu (calling AE title:
// its own), or never answers.
class MovePeer : public AcceptorPeer
{
public:
    // Store: stores the files, then answers; Silent: never answers;
    // AbortAfterStore: stores the files, then aborts instead of answering.
    enum class Mode { Store, Silent, AbortAfterStore };

    MovePeer() = default;
    ~MovePeer();

    void setMode(Mode mode) { m_mode = mode; }
    // Where the destination AE title lives, and what to send there.
    void setDestination(const QString& aeTitle, quint16 port, const QStringList& files)
    {
        m_destAe = aeTitle;
        m_destPort = port;
        m_files = files;
    }
    // Runs on the peer's thread after the C-MOVE-RQ arrived, before storing.
    void setDuringMove(std::function<void()> hook) { m_duringMove = std::move(hook); }

    bool start(const QString& aeTitle = "MOVEPEER");
    void stop();
    QString storeOutput() const;

private:
    void run();
    void serve(T_ASC_Association* assoc);

    Mode m_mode = Mode::Store;
    QString m_destAe;
    quint16 m_destPort = 0;
    QStringList m_files;
    std::function<void()> m_duringMove;
    mutable std::mutex m_mutex;
    QString m_storeOutput;
};

} // namespace dicomrig

#endif
