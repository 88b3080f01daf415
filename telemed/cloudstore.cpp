#include "cloudstore.h"

#include "cloudstorecallbackinterface.h"
#include "debuglog.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkReply>
#include <QSaveFile>

namespace {

std::string str(const QString& text)
{
    return text.toUtf8().toStdString();
}

const char* const kInvalidReply = "invalid reply";

// The transfer's outcome: false with the error text when it failed;
// otherwise the whole body. The reply is released once the handler is done.
bool readReply(const char* handler, QNetworkReply* reply, QByteArray& body, QString& error,
               bool logBody)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        error = reply->errorString();
        if (error.isEmpty())
            error = QStringLiteral("network error");
        debugLog(4, std::string(handler) + ":rep() err=" + str(error));
        return false;
    }
    body = reply->readAll();
    if (logBody)
        debugLog(4, std::string(handler) + ":rep() rep=" + body.toStdString());
    else
        debugLog(4, std::string(handler) + ":rep() bytes=" + toStdString(qlonglong(body.size())));
    return true;
}

// The body as JSON of the expected kind; false (error logged) when it is not
// valid JSON or not an object / array as the reply must be.
bool parseJson(const char* handler, const QByteArray& body, bool wantArray, QJsonDocument& doc)
{
    QJsonParseError parseError;
    doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError
        || (wantArray ? !doc.isArray() : !doc.isObject())) {
        debugLogError(std::string(handler) + " " + kInvalidReply + ": "
                      + str(parseError.errorString()));
        return false;
    }
    return true;
}

// The object a request on files answers with; empty, with the error set, when
// the transfer failed or the reply was no JSON object. A refusal by the peer
// (`result` not 0) sets `denied` as the error but still gives the object: it
// names the files concerned.
QJsonObject readFileReply(const char* handler, QNetworkReply* reply, bool echo,
                          const char* denied, QString& error)
{
    QByteArray body;
    if (!readReply(handler, reply, body, error, true))
        return QJsonObject();
    if (echo)
        qDebug() << (std::string(handler) + ":rep: ").c_str() << body;
    QJsonDocument doc;
    if (!parseJson(handler, body, false, doc)) {
        error = QLatin1String(kInvalidReply);
        return QJsonObject();
    }
    const QJsonObject o = doc.object();
    if (o.value(QLatin1String("result")).toInt(0) != 0)
        error = QLatin1String(denied);
    return o;
}

CloudFileEntry entryOf(const QJsonObject& o)
{
    // Numbers outside their range, or not numbers at all, read as 0.
    auto int32 = [&o](const char* key) { return o.value(QLatin1String(key)).toInt(0); };
    auto int64 = [&o](const char* key) {
        const QJsonValue v = o.value(QLatin1String(key));
        return v.isDouble() ? v.toInteger(0) : qint64(0);
    };
    auto text = [&o](const char* key) { return o.value(QLatin1String(key)).toString(); };
    CloudFileEntry e;
    e.fileId = int32("file_id");
    e.patientName = text("patient");
    e.ownerFirstName = text("owner_first_name");
    e.ownerLastName = text("owner_last_name");
    e.extPatientId = text("ext_patient_id");
    e.species = text("species");
    e.sex = int32("sex");
    e.birthDate = int64("birthdate_ts");
    e.breed = text("breed");
    e.weight = int32("weight");
    e.weightUnit = int32("weightUnit");
    e.creationTime = int64("creation_ts");
    e.uploadTime = int64("upload_ts");
    return e;
}

} // namespace

CCloudStore::CCloudStore(CCloudStoreCallbackInterface* callback, QObject* parent)
    : QObject(parent)
    , m_callback(callback)
{
    debugLog(4, "CCloudStore::constructor()");
}

bool CCloudStore::isAcceptableFileName(const QString& fileName)
{
    return !fileName.isEmpty() && !fileName.contains(QLatin1Char('/'))
        && !fileName.contains(QLatin1Char('\\')) && !fileName.contains(QLatin1String(".."));
}

bool CCloudStore::setDownloadTarget(const QString& folder, const QString& fileName)
{
    if (!isAcceptableFileName(fileName)) {
        debugLogError("CCloudStore::setDownloadTarget() refused file name " + str(fileName));
        return false;
    }
    m_downloadFolder = folder;
    m_downloadFileName = fileName;
    return true;
}

const CloudFileEntry& CCloudStore::entry(int index) const
{
    static const CloudFileEntry empty;
    if (index < 0 || index >= m_entryCount)
        return empty;
    return m_entries[size_t(index)];
}

void CCloudStore::removeFirst(int fileId)
{
    for (int i = 0; i < m_entryCount; ++i) {
        if (m_entries[size_t(i)].fileId != fileId)
            continue;
        for (int j = i; j + 1 < m_entryCount; ++j)
            m_entries[size_t(j)] = std::move(m_entries[size_t(j + 1)]);
        --m_entryCount;
        m_entries[size_t(m_entryCount)] = CloudFileEntry();
        return;
    }
}

void CCloudStore::httpsSendFileFinished(QNetworkReply* reply)
{
    const char* const name = "CCloudStore::httpsSendFileFinished";
    debugLog(4, std::string(name) + "()");
    if (!reply)
        return;
    QString error;
    const QJsonObject o = readFileReply(name, reply, true, "upload denied", error);
    const int fileId = o.value(QLatin1String("file_id")).toInt(0);
    if (m_callback)
        m_callback->cloudRespSendFile(error, fileId);
}

void CCloudStore::httpsLoadListFinished(QNetworkReply* reply)
{
    const char* const name = "CCloudStore::httpsLoadListFinished";
    debugLog(4, std::string(name) + "()");
    if (!reply)
        return;
    QByteArray body;
    QString error;
    int count = 0;
    if (readReply(name, reply, body, error, true)) {
        QJsonDocument doc;
        if (!parseJson(name, body, true, doc)) {
            error = QLatin1String(kInvalidReply);
        } else {
            const QJsonArray list = doc.array();
            for (const QJsonValue& v : list) {
                if (count >= kMaxEntries)
                    break;
                m_entries[size_t(count++)] = entryOf(v.toObject());
            }
            for (int i = count; i < m_entryCount; ++i)
                m_entries[size_t(i)] = CloudFileEntry();
            m_entryCount = count;
            if (list.size() > kMaxEntries)
                debugLog(2, std::string(name) + "() entries beyond the first "
                                + toStdString(kMaxEntries) + " ignored: "
                                + toStdString(qlonglong(list.size() - kMaxEntries)));
        }
    }
    if (m_callback)
        m_callback->cloudRespLoadList(error, count);
}

void CCloudStore::httpsLoadFileFinished(QNetworkReply* reply)
{
    const char* const name = "CCloudStore::httpsLoadFileFinished";
    debugLog(4, std::string(name) + "()");
    if (!reply)
        return;
    QByteArray body;
    QString error;
    // The file's content is data, not a log line: only its size is logged.
    if (readReply(name, reply, body, error, false)) {
        const QString path = m_downloadFolder + m_downloadFileName;
        qDebug() << "CCloudStore::storing file: " << path;
        if (!isAcceptableFileName(m_downloadFileName)) {
            error = QStringLiteral("invalid file name");
            debugLogError(std::string(name) + "() refused file name " + str(m_downloadFileName));
        } else {
            // Written aside and put in place whole: a failed write leaves no
            // partial file and keeps one that was there.
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size()
                || !file.commit()) {
                error = QStringLiteral("unable to store file ") + path;
                debugLogError(std::string(name) + "() " + str(error) + ": "
                              + str(file.errorString()));
            }
        }
    }
    if (m_callback)
        m_callback->cloudRespLoadFile(error);
}

void CCloudStore::httpsDeleteFileFinished(QNetworkReply* reply)
{
    const char* const name = "CCloudStore::httpsDeleteFileFinished";
    debugLog(4, std::string(name) + "()");
    if (!reply)
        return;
    QString error;
    const QJsonObject o = readFileReply(name, reply, true, "deletion denied", error);
    const int fileId = o.value(QLatin1String("file_id")).toInt(0);
    if (error.isEmpty())
        removeFirst(fileId);
    if (m_callback)
        m_callback->cloudRespDeleteFile(error, fileId);
}

void CCloudStore::httpsDeleteFileListFinished(QNetworkReply* reply)
{
    const char* const name = "CCloudStore::httpsDeleteFileListFinished";
    debugLog(4, std::string(name) + "()");
    if (!reply)
        return;
    QString error;
    const QJsonObject o = readFileReply(name, reply, false, "deletion denied", error);
    const QJsonArray ids = o.value(QLatin1String("file_list")).toArray();
    if (error.isEmpty()) {
        for (const QJsonValue& v : ids)
            removeFirst(v.toInt(0));
    }
    if (m_callback)
        m_callback->cloudRespDeleteFileList(error, ids);
}
