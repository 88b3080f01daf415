#ifndef MALVORANT_CLOUDSTORECALLBACKINTERFACE_H
#define MALVORANT_CLOUDSTORECALLBACKINTERFACE_H

#include <QJsonArray>
#include <QString>

// Answers of the cloud file store. An empty error text means success;
// otherwise it is the transfer's error text or the store's refusal.
class CCloudStoreCallbackInterface
{
public:
    virtual void cloudRespSendFile(QString errorText, int fileId) = 0;
    virtual void cloudRespLoadList(QString errorText, int entryCount) = 0;
    virtual void cloudRespLoadFile(QString errorText) = 0;
    virtual void cloudRespDeleteFile(QString errorText, int fileId) = 0;
    virtual void cloudRespDeleteFileList(QString errorText, QJsonArray fileIds) = 0;

protected:
    // Implementers are never deleted through this base.
    ~CCloudStoreCallbackInterface() = default;
};

#endif
