#include "dicomrig.h"
#include "toolrun.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcpath.h>
#include <dcmtk/dcmnet/diutil.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <sstream>
#include <vector>

namespace dicomrig {

namespace {
const int kStartTimeoutMs = 10000;
const int kStartAttempts = 5;
}

// Drawn below the range the system hands out to outgoing connections: a
// port from that range can be taken, before the test binds it, by any client
// connection of a test running alongside (or of this one). A random start
// keeps parallel tests apart.
quint16 freePort()
{
    static std::mt19937 pick(std::random_device{}() ^ quint32(::getpid()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = quint16(20000 + pick() % 12000);
        QTcpServer server;
        if (server.listen(QHostAddress::LocalHost, port)) {
            server.close();
            return port;
        }
    }
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

bool waitForListening(quint16 port, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

int runTool(const QString& program, const QStringList& args, QString* output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString writeEcgFile(const QString& path, const char* sopClassUid, E_TransferSyntax xfer)
{
    char instanceUid[100];
    char studyUid[100];
    char seriesUid[100];
    dcmGenerateUniqueIdentifier(instanceUid, SITE_INSTANCE_UID_ROOT);
    dcmGenerateUniqueIdentifier(studyUid, SITE_STUDY_UID_ROOT);
    dcmGenerateUniqueIdentifier(seriesUid, SITE_SERIES_UID_ROOT);

    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    ds->putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 100");
    ds->putAndInsertString(DCM_SOPClassUID, sopClassUid);
    ds->putAndInsertString(DCM_SOPInstanceUID, instanceUid);
    ds->putAndInsertString(DCM_StudyDate, "20260115");
    ds->putAndInsertString(DCM_StudyTime, "101530");
    ds->putAndInsertString(DCM_AccessionNumber, "ACC0001");
    ds->putAndInsertString(DCM_Modality, "ECG");
    ds->putAndInsertString(DCM_Manufacturer, "Malvorant test");
    ds->putAndInsertString(DCM_PatientName, "Rex^Miller");
    ds->putAndInsertString(DCM_PatientID, "P-0042");
    ds->putAndInsertString(DCM_PatientBirthDate, "20190301");
    ds->putAndInsertString(DCM_PatientSex, "M");
    ds->putAndInsertString(DCM_StudyInstanceUID, studyUid);
    ds->putAndInsertString(DCM_SeriesInstanceUID, seriesUid);
    ds->putAndInsertString(DCM_StudyID, "1");
    ds->putAndInsertString(DCM_SeriesNumber, "1");
    ds->putAndInsertString(DCM_InstanceNumber, "1");
    ds->putAndInsertString(DCM_ContentDate, "20260115");
    ds->putAndInsertString(DCM_ContentTime, "101530");
    ds->putAndInsertString(DCM_AcquisitionDateTime, "20260115101530");

    const Uint16 channels = 2;
    const Uint32 samples = 10;
    DcmItem* group = nullptr;
    if (ds->findOrCreateSequenceItem(DCM_WaveformSequence, group, -2).bad() || !group)
        return {};
    group->putAndInsertString(DCM_MultiplexGroupTimeOffset, "0");
    group->putAndInsertString(DCM_WaveformOriginality, "ORIGINAL");
    group->putAndInsertUint16(DCM_NumberOfWaveformChannels, channels);
    group->putAndInsertUint32(DCM_NumberOfWaveformSamples, samples);
    group->putAndInsertString(DCM_SamplingFrequency, "500");
    group->putAndInsertString(DCM_MultiplexGroupLabel, "RHYTHM");
    static const char* const leads[2] = {"Lead I", "Lead II"};
    for (int c = 0; c < channels; ++c) {
        DcmItem* channel = nullptr;
        if (group->findOrCreateSequenceItem(DCM_ChannelDefinitionSequence, channel, -2).bad() || !channel)
            return {};
        channel->putAndInsertString(DCM_ChannelLabel, leads[c]);
        channel->putAndInsertString(DCM_ChannelSensitivity, "1");
        channel->putAndInsertString(DCM_ChannelSensitivityCorrectionFactor, "1");
        channel->putAndInsertString(DCM_ChannelBaseline, "0");
        channel->putAndInsertString(DCM_ChannelSampleSkew, "0");
        channel->putAndInsertUint16(DCM_WaveformBitsStored, 16);
    }
    group->putAndInsertUint16(DCM_WaveformBitsAllocated, 16);
    group->putAndInsertString(DCM_WaveformSampleInterpretation, "SS");
    std::vector<Uint16> data(channels * samples);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<Uint16>(static_cast<Sint16>((i % 7) * 40 - 120));
    group->putAndInsertUint16Array(DCM_WaveformData, data.data(), static_cast<unsigned long>(data.size()));

    if (file.saveFile(QFile::encodeName(path).constData(), xfer).bad())
        return {};
    return QString::fromLatin1(instanceUid);
}

QString dumpDataset(const QString& path)
{
    QString out;
    if (runTool("dcmdump", {"+L", "-q", path}, &out) != 0)
        return {};
    const int start = out.indexOf("# Dicom-Data-Set");
    if (start < 0)
        return {};
    // Sequences and items may travel with defined or undefined lengths: the
    // same content either way, so lengths and delimiters are left out.
    static const QRegularExpression encoding(R"(\((Sequence|Item) with (explicit|undefined) length )");
    static const QRegularExpression length(R"(#\s*(u/l|\d+), )");
    QStringList lines;
    for (QString line : out.mid(start).split('\n')) {
        if (line.contains("(fffe,e00d)") || line.contains("(fffe,e0dd)"))
            continue;
        line.replace(encoding, "(").replace(length, "# ");
        lines << line.simplified();
    }
    return lines.join('\n');
}

// ---------------------------------------------------------------- ToolPeer

ToolPeer::~ToolPeer()
{
    stop();
}

bool ToolPeer::launch(const QString& program, const QStringList& args, const QString& workDir,
                      const std::function<bool(quint16)>& prepare)
{
    stop();
    m_program = program;
    m_args = args;
    m_workDir = workDir;
    m_prepare = prepare;
    m_logPath = QDir(workDir).filePath(QFileInfo(program).fileName() + ".log");
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (m_fixedPort != 0 && attempt > 0)
            QThread::msleep(500); // the old listener lets go
        const quint16 port = m_fixedPort != 0 ? m_fixedPort : freePort();
        if (port == 0)
            continue;
        if (prepare && !prepare(port))
            return false;
        QStringList filled;
        for (const QString& a : args)
            filled << QString(a).replace("%PORT%", QString::number(port));
        m_process.setWorkingDirectory(workDir);
        m_process.setStandardOutputFile(m_logPath, QIODevice::Append);
        m_process.setStandardErrorFile(m_logPath, QIODevice::Append);
        // A test that crashes or is killed takes its peers with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(program, filled);
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kStartTimeoutMs && m_process.state() == QProcess::Running) {
            if (waitForListening(port, 200)) {
                // Another program may have taken the port between the probe
                // and the tool's bind; then the tool has ended by now.
                if (!m_process.waitForFinished(100)) {
                    m_port = port;
                    m_lastPort = port;
                    return true;
                }
            }
        }
        stop();
    }
    return false;
}

bool ToolPeer::restart()
{
    if (m_program.isEmpty() || m_lastPort == 0)
        return false;
    m_fixedPort = m_lastPort;
    const bool ok = launch(m_program, m_args, m_workDir, m_prepare);
    m_fixedPort = 0;
    return ok;
}

void ToolPeer::stop()
{
    toolrun::endProcess(m_process, 5000, 5000);
    m_port = 0;
}

bool ToolPeer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString ToolPeer::output() const
{
    QFile f(m_logPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll());
}

bool ToolPeer::startStoreScp(const QString& workDir, const QStringList& options, const QString& aeTitle)
{
    m_aeTitle = aeTitle;
    m_incomingFolder = QDir(workDir).filePath("incoming");
    if (!QDir().mkpath(m_incomingFolder))
        return false;
    QStringList args{"--single-process", "-dhl", "-aet", aeTitle, "-od", m_incomingFolder};
    args << options << "%PORT%";
    return launch("storescp", args, workDir);
}

bool ToolPeer::startStoreScpWithProfile(const QString& workDir, const QList<Context>& contexts,
                                        const QStringList& options, const QString& aeTitle)
{
    QString cfg = "[[TransferSyntaxes]]\n";
    for (int i = 0; i < contexts.size(); ++i) {
        cfg += QString("[TS%1]\n").arg(i);
        for (int t = 0; t < contexts[i].transferSyntaxUids.size(); ++t)
            cfg += QString("TransferSyntax%1 = %2\n").arg(t + 1).arg(contexts[i].transferSyntaxUids[t]);
    }
    cfg += "\n[[PresentationContexts]]\n[RIGCONTEXTS]\n";
    for (int i = 0; i < contexts.size(); ++i)
        cfg += QString("PresentationContext%1 = %2\\TS%3\n").arg(i + 1).arg(contexts[i].sopClassUid).arg(i);
    cfg += "\n[[Profiles]]\n[RIGPROFILE]\nPresentationContexts = RIGCONTEXTS\n";

    const QString cfgPath = QDir(workDir).filePath("storescp-profile.cfg");
    QFile f(cfgPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(cfg.toLatin1()) < 0)
        return false;
    f.close();
    return startStoreScp(workDir, QStringList{"-xf", cfgPath, "RIGPROFILE"} + options, aeTitle);
}

bool ToolPeer::startQrScp(const QString& workDir, const QString& aeTitle, const QList<QrPeer>& peers,
                          bool anyPeer)
{
    m_aeTitle = aeTitle;
    m_storageFolder = QDir(workDir).filePath("storage/" + aeTitle);
    if (!QDir().mkpath(m_storageFolder))
        return false;
    const QString cfgPath = QDir(workDir).filePath("dcmqrscp.cfg");
    auto writeConfig = [=](quint16 port) {
        QString cfg;
        cfg += QString("NetworkTCPPort  = %1\nMaxPDUSize      = 16384\nMaxAssociations = 16\n\n").arg(port);
        cfg += "HostTable BEGIN\n";
        QStringList names;
        for (int i = 0; i < peers.size(); ++i) {
            const QString name = QString("rigpeer%1").arg(i);
            cfg += QString("%1 = (%2, 127.0.0.1, %3)\n").arg(name, peers[i].aeTitle).arg(peers[i].port);
            names << name;
        }
        if (!names.isEmpty())
            cfg += "rigpeers = " + names.join(", ") + "\n";
        cfg += "HostTable END\n\nVendorTable BEGIN\nVendorTable END\n\nAETable BEGIN\n";
        cfg += QString("%1 %2 RW (200, 1024mb) %3\n")
                   .arg(aeTitle, m_storageFolder, anyPeer || names.isEmpty() ? QString("ANY") : QString("rigpeers"));
        cfg += "AETable END\n";
        QFile f(cfgPath);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(cfg.toLatin1()) >= 0;
    };
    // Its single-process mode ends after one association: let it fork.
    return launch("dcmqrscp", {"-dhl", "-c", cfgPath, "%PORT%"}, workDir, writeConfig);
}

bool ToolPeer::startWorklistScp(const QString& workDir, const QString& aeTitle,
                                const QStringList& options)
{
    m_aeTitle = aeTitle;
    const QString root = QDir(workDir).filePath("worklist");
    m_worklistFolder = QDir(root).filePath(aeTitle);
    if (!QDir().mkpath(m_worklistFolder))
        return false;
    // wlmscpfs refuses a worklist folder without its lock file.
    QFile lock(QDir(m_worklistFolder).filePath("lockfile"));
    if (!lock.open(QIODevice::WriteOnly))
        return false;
    lock.close();
    // Forks per association like the archive, so each query starts clean.
    return launch("wlmscpfs", QStringList{"-dhl", "-dfp", root} + options + QStringList{"%PORT%"},
                  workDir);
}

bool ToolPeer::orthancInstalled()
{
    return QFileInfo::exists("/usr/sbin/Orthanc")
        && QFileInfo::exists("/usr/share/orthanc/plugins/libModalityWorklists.so");
}

bool ToolPeer::startOrthanc(const QString& workDir, const QString& aeTitle,
                            const QList<QrPeer>& modalities)
{
    m_aeTitle = aeTitle;
    m_storageFolder = QDir(workDir).filePath("orthanc-storage");
    m_worklistFolder = QDir(workDir).filePath("orthanc-worklists");
    if (!QDir().mkpath(m_storageFolder) || !QDir().mkpath(m_worklistFolder))
        return false;
    const QString cfgPath = QDir(workDir).filePath("orthanc.json");
    auto writeConfig = [=](quint16 port) {
        QStringList known;
        for (int i = 0; i < modalities.size(); ++i)
            known << QString("\"rig%1\" : [ \"%2\", \"127.0.0.1\", %3 ]")
                         .arg(i)
                         .arg(modalities[i].aeTitle)
                         .arg(modalities[i].port);
        const QString cfg = QString("{\n"
                                    "  \"Name\" : \"rig\",\n"
                                    "  \"StorageDirectory\" : \"%1\",\n"
                                    "  \"IndexDirectory\" : \"%1\",\n"
                                    "  \"DicomAet\" : \"%2\",\n"
                                    "  \"DicomPort\" : %3,\n"
                                    "  \"HttpServerEnabled\" : false,\n"
                                    "  \"DicomCheckCalledAet\" : false,\n"
                                    "  \"DicomAlwaysAllowEcho\" : true,\n"
                                    "  \"DicomAlwaysAllowFind\" : true,\n"
                                    "  \"DicomAlwaysAllowMove\" : true,\n"
                                    "  \"DicomAlwaysAllowStore\" : true,\n"
                                    "  \"DicomModalities\" : { %4 },\n"
                                    "  \"Plugins\" : [ \"/usr/share/orthanc/plugins/libModalityWorklists.so\" ],\n"
                                    "  \"Worklists\" : { \"Enable\" : true, \"Database\" : \"%5\" }\n"
                                    "}\n")
                                .arg(m_storageFolder, aeTitle)
                                .arg(port)
                                .arg(known.join(", "), m_worklistFolder);
        QFile f(cfgPath);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(cfg.toUtf8()) >= 0;
    };
    return launch("/usr/sbin/Orthanc", {cfgPath}, workDir, writeConfig);
}

bool addWorklistItem(const QString& folder, const QString& fileName, const QString& patientName,
                     const QString& patientId, const QString& accessionNumber,
                     const QString& studyUid, const QString& scheduledAeTitle)
{
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    ds->putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 100");
    ds->putAndInsertString(DCM_AccessionNumber, accessionNumber.toLatin1().constData());
    ds->putAndInsertString(DCM_PatientName, patientName.toLatin1().constData());
    ds->putAndInsertString(DCM_PatientID, patientId.toLatin1().constData());
    ds->putAndInsertString(DCM_PatientBirthDate, "20190301");
    ds->putAndInsertString(DCM_PatientSex, "M");
    ds->putAndInsertString(DCM_StudyInstanceUID, studyUid.toLatin1().constData());
    ds->putAndInsertString(DCM_RequestingPhysician, "Vet^Anna");
    ds->putAndInsertString(DCM_RequestedProcedureDescription, "Resting ECG");
    ds->putAndInsertString(DCM_RequestedProcedureID, "RP1");
    ds->putAndInsertString(DCM_RequestedProcedurePriority, "ROUTINE");
    DcmItem* step = nullptr;
    if (ds->findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step, -2).bad() || !step)
        return false;
    step->putAndInsertString(DCM_Modality, "ECG");
    step->putAndInsertString(DCM_ScheduledStationAETitle, scheduledAeTitle.toLatin1().constData());
    step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, "20260115");
    step->putAndInsertString(DCM_ScheduledProcedureStepStartTime, "101500");
    step->putAndInsertString(DCM_ScheduledPerformingPhysicianName, "Vet^Anna");
    step->putAndInsertString(DCM_ScheduledProcedureStepDescription, "Resting ECG");
    step->putAndInsertString(DCM_ScheduledProcedureStepID, "SPS1");
    step->putAndInsertString(DCM_ScheduledStationName, "ECGROOM");
    step->putAndInsertString(DCM_ScheduledProcedureStepLocation, "Room 1");
    const QString path = QDir(folder).filePath(fileName);
    return file.saveFile(QFile::encodeName(path).constData(), EXS_LittleEndianExplicit).good();
}

bool writeKeysFile(const QString& path, const QStringList& keys)
{
    const bool utf8 = keys.contains("(0008,0005)=ISO_IR 192") || keys.contains("SpecificCharacterSet=ISO_IR 192");
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    DcmPathProcessor proc;
    proc.setItemWildcardSupport(OFFalse);
    proc.checkPrivateReservations(OFFalse);
    for (const QString& key : keys) {
        const QByteArray bytes = utf8 ? key.toUtf8() : key.toLatin1();
        if (proc.applyPathWithValue(ds, OFString(bytes.constData(), bytes.size())).bad())
            return false;
    }
    return file.saveFile(QFile::encodeName(path).constData(), EXS_LittleEndianExplicit,
                         EET_ExplicitLength, EGL_recalcGL, EPD_noChange, 0, 0, EWM_dataset)
        .good();
}

// ----------------------------------------------------------- SilentListener

SilentListener::~SilentListener()
{
    stop();
}

bool SilentListener::start()
{
    stop();
    m_listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listenFd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0
        || ::listen(m_listenFd, 8) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    m_port = ntohs(addr.sin_port);
    m_stop = false;
    m_thread = std::thread(&SilentListener::run, this);
    return true;
}

void SilentListener::run()
{
    std::vector<pollfd> fds{{m_listenFd, POLLIN, 0}};
    char buffer[4096];
    while (!m_stop) {
        if (::poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (i == 0) {
                const int fd = ::accept(m_listenFd, nullptr, nullptr);
                if (fd >= 0) {
                    fds.push_back({fd, POLLIN, 0});
                    ++m_connections;
                }
            } else if (::read(fds[i].fd, buffer, sizeof(buffer)) <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1; // poll ignores it from now on
            }
        }
    }
    for (size_t i = 1; i < fds.size(); ++i)
        if (fds[i].fd >= 0)
            ::close(fds[i].fd);
}

void SilentListener::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
    m_port = 0;
}

// ------------------------------------------------------ peers of our own

bool AcceptorPeer::openAcceptor(const QString& aeTitle, quint16 fixedPort)
{
    m_aeTitle = aeTitle;
    // The network binds at once, so the peer listens when start() returns.
    for (int attempt = 0; attempt < kStartAttempts && !m_net; ++attempt) {
        if (fixedPort != 0 && attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const quint16 port = fixedPort != 0 ? fixedPort : freePort();
        if (port != 0 && ASC_initializeNetwork(NET_ACCEPTOR, port, 5, &m_net).good())
            m_port = port;
        else
            m_net = nullptr;
    }
    return m_net != nullptr;
}

void AcceptorPeer::startThread(std::function<void()> body)
{
    m_stop = false;
    m_thread = std::thread(std::move(body));
}

void AcceptorPeer::closeAcceptor()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_net)
        ASC_dropNetwork(&m_net);
    m_net = nullptr;
    m_port = 0;
}

void AcceptorPeer::acceptLoop(const std::function<void(T_ASC_Parameters*)>& accept,
                              const std::function<void(T_ASC_Association*)>& serve)
{
    while (!m_stop) {
        T_ASC_Association* assoc = nullptr;
        OFCondition cond = ASC_receiveAssociation(m_net, &assoc, ASC_DEFAULTMAXPDU, nullptr, nullptr,
                                                  OFFalse, DUL_NOBLOCK, 1);
        if (cond.bad()) {
            if (assoc)
                ASC_destroyAssociation(&assoc);
            continue;
        }
        accept(assoc->params);
        ASC_setAPTitles(assoc->params, nullptr, nullptr, m_aeTitle.toLatin1().constData());
        if (ASC_acknowledgeAssociation(assoc).good())
            serve(assoc);
        ASC_dropSCPAssociation(assoc);
        ASC_destroyAssociation(&assoc);
    }
}

// ---------------------------------------------------------------- StorePeer

StorePeer::~StorePeer()
{
    stop();
}

bool StorePeer::start(const QString& aeTitle, quint16 fixedPort)
{
    stop();
    if (!openAcceptor(aeTitle, fixedPort))
        return false;
    startThread([this] { run(); });
    return true;
}

void StorePeer::stop()
{
    closeAcceptor();
}

QStringList StorePeer::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void StorePeer::refusePatientId(const QString& patientId, unsigned short refusedStatus)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusedPatientId = patientId;
    m_refusedStatus = refusedStatus;
}

QStringList StorePeer::storedPatientIds() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_storedPatientIds;
}

void StorePeer::run()
{
    static const char* xfers[] = {UID_LittleEndianExplicitTransferSyntax,
                                  UID_BigEndianExplicitTransferSyntax,
                                  UID_LittleEndianImplicitTransferSyntax};
    static const char* verification[] = {UID_VerificationSOPClass};
    acceptLoop(
        [](T_ASC_Parameters* params) {
            ASC_acceptContextsWithPreferredTransferSyntaxes(params, dcmAllStorageSOPClassUIDs,
                                                            numberOfDcmAllStorageSOPClassUIDs, xfers, 3);
            ASC_acceptContextsWithPreferredTransferSyntaxes(params, verification, 1, xfers, 3);
        },
        [this](T_ASC_Association* assoc) { serve(assoc); });
}

void StorePeer::serve(T_ASC_Association* assoc)
{
    if (m_mode == Mode::SilentAfterAssociation) {
        while (!m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASC_abortAssociation(assoc);
        return;
    }
    while (!m_stop) {
        T_DIMSE_Message msg;
        T_ASC_PresentationContextID presId = 0;
        OFCondition cond = DIMSE_receiveCommand(assoc, DIMSE_NONBLOCKING, 1, &presId, &msg, nullptr);
        if (cond == DIMSE_NODATAAVAILABLE)
            continue;
        if (cond == DUL_PEERREQUESTEDRELEASE) {
            if (m_mode == Mode::IgnoreRelease) {
                // Leave the requestor waiting until it gives up and hangs up.
                while (!m_stop)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ASC_abortAssociation(assoc);
            } else {
                ASC_acknowledgeRelease(assoc);
            }
            return;
        }
        if (cond.bad())
            return;
        if (msg.CommandField == DIMSE_C_ECHO_RQ) {
            DIMSE_sendEchoResponse(assoc, presId, &msg.msg.CEchoRQ, STATUS_Success, nullptr);
        } else if (msg.CommandField == DIMSE_C_STORE_RQ) {
            DcmDataset* dataset = nullptr;
            if (m_mode == Mode::ReleaseInsteadOfAnswer) {
                T_ASC_PresentationContextID dataPresId = 0;
                DIMSE_receiveDataSetInMemory(assoc, DIMSE_BLOCKING, 0, &dataPresId, &dataset, nullptr, nullptr);
                delete dataset;
                ASC_releaseAssociation(assoc);
                return;
            }
            cond = DIMSE_storeProvider(assoc, presId, &msg.msg.CStoreRQ, nullptr, OFTrue, &dataset,
                                       &StorePeer::storeCallback, this, DIMSE_BLOCKING, 0);
            delete dataset;
            // DCMTK sends the status detail but leaves it to its maker.
            delete m_statusDetail;
            m_statusDetail = nullptr;
            if (cond.bad())
                return;
        } else {
            ASC_abortAssociation(assoc);
            return;
        }
    }
}

void StorePeer::storeCallback(void* data, T_DIMSE_StoreProgress* progress, T_DIMSE_C_StoreRQ* req,
                              char*, DcmDataset** imageDataSet, T_DIMSE_C_StoreRSP* rsp,
                              DcmDataset** statusDetail)
{
    auto* self = static_cast<StorePeer*>(data);
    if (progress->state != DIMSE_StoreEnd)
        return;
    OFString patientId;
    if (imageDataSet && *imageDataSet)
        (*imageDataSet)->findAndGetOFString(DCM_PatientID, patientId);
    rsp->DimseStatus = self->m_status;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_received << QString::fromLatin1(req->AffectedSOPInstanceUID);
        const QString id = QString::fromLatin1(patientId.c_str());
        if (!self->m_refusedPatientId.isEmpty() && id == self->m_refusedPatientId)
            rsp->DimseStatus = self->m_refusedStatus;
        else
            self->m_storedPatientIds << id;
    }
    if (!self->m_errorComment.isEmpty() && statusDetail) {
        delete self->m_statusDetail;
        self->m_statusDetail = new DcmDataset;
        self->m_statusDetail->putAndInsertString(DCM_ErrorComment, self->m_errorComment.toLatin1().constData());
        *statusDetail = self->m_statusDetail;
    }
}

} // namespace dicomrig
