// The three kinds of job of CDcmThread: send a recording, query the worklist
// or the PACS, fetch a study. Each runs on the worker thread and gives a
// result code with its text in m_errorText.
#include "dcmthread.h"

#include "dbman.h"
#include "dcmdataset.h"
#include "dcmerrors.h"
#include "dcmexportpatient.h"
#include "dcmmovescu.h"
#include "dcmnetconfig.h"
#include "dcmquerytable.h"
#include "dcmstorescu.h"
#include "dcmwvforv.h"
#include "debuglog.h"

#include <dcmtk/dcmdata/dcfilefo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUuid>

#include <cmath>
#include <memory>

namespace {
std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

// A weight is sent only as a positive number in the C locale's form; none, 0
// or an unreadable text leaves the attribute empty (never "0 kg").
QString weightText(const QString& weight)
{
    bool ok = false;
    const double value = weight.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0.0)
        return {};
    return weight.trimmed();
}

const char* const kStopped = "CDcmThread::run() stopped: the program is closing";
} // namespace

int CDcmThread::sendPacsFile()
{
    const int check = checkPeer(m_config.pacsIp, m_config.pacsPort, m_config.pacsAeTitle, "PACS");
    if (check != DCM_OK)
        return check;

    // Each job converts into a file of its own in the data folder's "tmp", so
    // a foreground and a background send of one recording never meet, and the
    // recording itself is never written or removed whatever its name.
    const QString tmpFolder = QFileInfo(m_ecgPath).absolutePath() + QStringLiteral("/tmp");
    QDir().mkpath(tmpFolder);
    QTemporaryFile dcmFile(tmpFolder + QStringLiteral("/send_XXXXXX.dce"));
    if (!dcmFile.open())
        return setError(DCM_ERR_SAVE_FILE, DcmFailureKind::LocalFolder,
                        QStringLiteral("cannot create a temporary DICOM file in ")
                                               + tmpFolder + QStringLiteral(": ")
                                               + dcmFile.errorString());
    const QString dcmPath = dcmFile.fileName();
    dcmFile.close();

    {
        // The object names the recording's own patient as it is now; breed
        // and weight come with the request.
        DcmExportPatient patient;
        if (!loadExportPatient(CDbMan::threadDatabase(), QFileInfo(m_ecgPath).fileName(), patient))
            return setError(DCM_ERR_OPEN_FILE, QStringLiteral("the patient of ") + m_ecgPath
                                                   + QStringLiteral(" could not be read"));
        TWaveformParams params = patient.params(m_studyUid);
        params.breedDescription = utf8(m_breed);
        params.weight = utf8(weightText(m_weight));

        auto plugin = std::make_unique<CDcmWvfPluginOrv>(m_applicationType,
                                                         utf8(m_config.institutionName),
                                                         utf8(m_version));
        auto waveform = std::make_unique<CDcmWvfOrv>();
        // Whatever stops the conversion is the recording's own.
        int code = waveform->convertOrv2Dcm(plugin.get(), utf8(m_ecgPath), std::move(params));
        // Nothing goes to the PACS for a file that is no recording.
        m_failure.reason = waveform->getRefusalReason();
        if (code != DCM_OK)
            return setError(code, DcmFailureKind::Recording,
                            QStringLiteral("ecgToDicomConversion1 returned err=")
                                      + QString::number(code) + QStringLiteral(", errText=")
                                      + fromUtf8(waveform->getLastError()));
        debugLog(2, "dcm file=" + utf8(dcmPath));
        code = waveform->saveDcmFile(utf8(dcmPath));
        if (code != DCM_OK)
            return setError(code,
                            code == DCM_ERR_SAVE_FILE ? DcmFailureKind::LocalFolder
                                                      : DcmFailureKind::Recording,
                            QStringLiteral("ecgToDicomConversion2 returned err=")
                                      + QString::number(code) + QStringLiteral(", errText=")
                                      + fromUtf8(waveform->getLastError()));
        debugLog(2, "dcm conversion completed successfully");
    }

    if (stopRequested())
        return setError(DCM_ERR_INIT_NETWORK, QLatin1String(kStopped));

    CDcmStoreScu store;
    const int timeout = DcmNetConfig::timeoutSeconds();
    // Association, data transfer and the wait for the answer: each bounded.
    store.setTimeouts(timeout, timeout);
    store.setCancel(&m_cancel);
    const int result = store.sornhapStoreScu(utf8(dcmPath), utf8(m_config.pacsIp),
                                             unsigned(m_config.pacsPort), utf8(m_config.pacsAeTitle),
                                             utf8(m_config.localAeTitle));
    m_failure = store.failure();
    if (result > 0)
        setError(result, QStringLiteral("storeScu(fName=") + dcmPath + QStringLiteral(", remoteIp=")
                             + m_config.pacsIp + QStringLiteral(", remotePort=")
                             + QString::number(m_config.pacsPort) + QStringLiteral(", remoteAeTitle=")
                             + m_config.pacsAeTitle + QStringLiteral(", localAeTitle=")
                             + m_config.localAeTitle + QStringLiteral(") returned ")
                             + fromUtf8(store.getLastError()));
    QFile::remove(dcmPath);
    return result;
}

int CDcmThread::loadList(bool worklist)
{
    const QString& host = worklist ? m_config.mwlIp : m_config.pacsIp;
    const int port = worklist ? m_config.mwlPort : m_config.pacsPort;
    const QString& aeTitle = worklist ? m_config.mwlAeTitle : m_config.pacsAeTitle;
    const int check = checkPeer(host, port, aeTitle, worklist ? "worklist" : "PACS");
    if (check != DCM_OK)
        return check;

    // The table is rewritten on this thread's own connection.
    const QSqlDatabase db = CDbMan::threadDatabase();
    if (!db.isValid() || !db.isOpen())
        return setError(kDcmErrResultTable, DcmFailureKind::Other,
                        QStringLiteral("CDcmThread::run() no database connection for the result table"));

    DcmQueryRequest request;
    request.worklist = worklist;
    request.host = utf8(host);
    request.port = port;
    request.calledAeTitle = utf8(aeTitle);
    request.callingAeTitle = utf8(m_config.localAeTitle);
    request.patientId = utf8(m_queryPatientId);
    request.patientName = utf8(m_queryPatientName);
    request.ownerFirst = utf8(m_queryOwnerFirst);
    request.ownerLast = utf8(m_queryOwnerLast);
    request.applicationType = m_applicationType;
    const int timeout = DcmNetConfig::timeoutSeconds();
    request.acseTimeout = timeout;
    request.dimseTimeout = timeout;
    request.cancel = &m_cancel;
    std::string text;
    const int result = runDcmQueryJob(request, db, text, nullptr, &m_failure);
    if (result != DCM_OK)
        return setError(result, fromUtf8(text));
    return DCM_OK;
}

int CDcmThread::loadFromPacs()
{
    const int check = checkPeer(m_config.pacsIp, m_config.pacsPort, m_config.pacsAeTitle, "PACS");
    if (check != DCM_OK)
        return check;
    if (m_config.localPort < 1 || m_config.localPort > 65535)
        return setError(DCM_ERR_INIT_NETWORK, DcmFailureKind::Settings,
                        QStringLiteral("The local port %1 is not a port number (1 to 65535)")
                            .arg(m_config.localPort));

    // A name no other fetch or recording uses.
    const QString name = QStringLiteral("dcm_") + QUuid::createUuid().toString(QUuid::Id128);

    int result = DCM_OK;
    {
        CDcmMoveScu move;
        const int timeout = DcmNetConfig::timeoutSeconds();
        move.setTimeouts(timeout, timeout);
        move.setCancel(&m_cancel);
        result = move.getFile(utf8(name), utf8(m_config.pacsIp), unsigned(m_config.pacsPort),
                              utf8(m_config.pacsAeTitle), utf8(m_config.localAeTitle),
                              m_config.localPort, utf8(m_outDir), utf8(m_studyUid));
        // Also after a fetch that ended normally: why nothing may have come.
        m_failure = move.failure();
        if (result >= 1)
            return setError(result, QStringLiteral("dcm_getpacsfile (fName=") + name
                                        + QStringLiteral(", remoteIp=") + m_config.pacsIp
                                        + QStringLiteral(", remotePort=")
                                        + QString::number(m_config.pacsPort)
                                        + QStringLiteral(", remoteAeTitle") + m_config.pacsAeTitle
                                        + QStringLiteral(", localAeTitle=") + m_config.localAeTitle
                                        + QStringLiteral(", localPort")
                                        + QString::number(m_config.localPort)
                                        + QStringLiteral(", fPath=") + m_outDir
                                        + QStringLiteral(", uuid=") + m_studyUid
                                        + QStringLiteral(") returned ")
                                        + fromUtf8(move.getLastError()));
    }

    const QString fetched = m_outDir + name;
    debugLog(2, "dcm_getpacsfile loadFile(fName=" + utf8(fetched));
    // The fetched file goes whatever happens after the fetch.
    struct Remover
    {
        QString path;
        ~Remover() { QFile::remove(path); }
    } remover{fetched};

    if (stopRequested())
        return setError(-1, QLatin1String(kStopped));

    DcmFileFormat fileFormat(new CDcmDataset, false);
    OFCondition cond = fileFormat.loadFile(OFFilename(utf8(fetched).c_str()), EXS_Unknown,
                                           EGL_noChange, 4096, ERM_autoDetect);
    if (cond.bad()) {
        // The fetch ended without a file: the move's own story, if it has one.
        if (!m_failure.failed())
            m_failure.kind = DcmFailureKind::NothingReceived;
        return setError(cond.code() != 0 ? int(cond.code()) : -1,
                        QStringLiteral("Error loading DICOM file ") + fetched + QStringLiteral(": ")
                            + QString::fromLatin1(cond.text()));
    }
    // A file came: what the move said about other objects no longer matters.
    m_failure = DcmFailure();

    auto* dataset = dynamic_cast<CDcmDataset*>(fileFormat.getDataset());
    if (!dataset)
        return setError(-1, DcmFailureKind::Recording, QStringLiteral("Error loading DICOM file ") + fetched
                                + QStringLiteral(": no data set"));
    TWaveformParams params;
    dataset->getWaveformParams(params);

    auto plugin = std::make_unique<CDcmWvfPluginOrv>(0, "dummyInstitution", "0.0.0");
    auto waveform = std::make_unique<CDcmWvfOrv>();
    const OFCondition readCond = waveform->read(dataset);
    if (readCond.bad())
        setError(DCM_OK, QStringLiteral("Error initializing waveform: ")
                             + QString::fromLatin1(readCond.text()));
    const int code = waveform->convertDcm2Orv(plugin.get(), utf8(m_outDir + m_fileName), &params);
    if (code != DCM_OK) {
        m_failure.reason = waveform->getRefusalReason();
        return setError(code, DcmFailureKind::Recording, QStringLiteral("Conversion error for file '") + m_fileName
                                  + QStringLiteral("': code=") + QString::number(code)
                                  + QStringLiteral(": msg=") + QString::fromLatin1(readCond.text())
                                  + QStringLiteral(", ") + fromUtf8(waveform->getLastError()));
    }
    return DCM_OK;
}
