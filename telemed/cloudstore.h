#ifndef MALVORANT_CLOUDSTORE_H
#define MALVORANT_CLOUDSTORE_H

#include <QObject>
#include <QString>

#include <array>

class CCloudStoreCallbackInterface;
class QNetworkReply;

// One recording file kept in the cloud store, with its patient's data.
struct CloudFileEntry
{
    int fileId = 0;
    QString patientName;
    QString ownerFirstName;
    QString ownerLastName;
    QString extPatientId;
    QString species;
    int sex = 0;
    qint64 birthDate = 0; // Unix seconds
    QString breed;
    int weight = 0;
    int weightUnit = 0;
    qint64 creationTime = 0; // Unix seconds
    qint64 uploadTime = 0;   // Unix seconds
};

// The reply side of the cloud file store client: each handler takes the
// finished reply of its kind of request (upload, list, download, delete one,
// delete several), reads its JSON, keeps the list of stored files and tells
// the answer interface. A handler releases the reply (deferred) when done.
// GUI thread only.
class CCloudStore : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxEntries = 1000;

    explicit CCloudStore(CCloudStoreCallbackInterface* callback = nullptr,
                         QObject* parent = nullptr);

    void setCallback(CCloudStoreCallbackInterface* callback) { m_callback = callback; }
    // Where the next download is written: the folder and the name joined as
    // they are. False, and nothing changed, for a name that is empty or holds
    // "/", "\" or "..".
    bool setDownloadTarget(const QString& folder, const QString& fileName);
    QString downloadFolder() const { return m_downloadFolder; }
    QString downloadFileName() const { return m_downloadFileName; }

    int entryCount() const { return m_entryCount; }
    // The entry at index; an empty entry for an index outside the list.
    const CloudFileEntry& entry(int index) const;

    static bool isAcceptableFileName(const QString& fileName);

public slots:
    void httpsSendFileFinished(QNetworkReply* reply);
    void httpsLoadListFinished(QNetworkReply* reply);
    void httpsLoadFileFinished(QNetworkReply* reply);
    void httpsDeleteFileFinished(QNetworkReply* reply);
    void httpsDeleteFileListFinished(QNetworkReply* reply);

private:
    void removeFirst(int fileId);

    CCloudStoreCallbackInterface* m_callback = nullptr;
    QString m_downloadFolder;
    QString m_downloadFileName;
    int m_entryCount = 0;
    std::array<CloudFileEntry, kMaxEntries> m_entries;
};

#endif
