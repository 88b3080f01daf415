#ifndef MALVORANT_RAWSTREAM_H
#define MALVORANT_RAWSTREAM_H

#include "datcodec.h"
#include "ecgrecords.h"

#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcDeviceLink)

// One discovered Bluetooth device: its name and its address as twelve
// lower-case hexadecimal digits in pairs separated by ":".
struct BtDeviceEntry {
    QString name;
    QString address;
};

// Discovery, connection and disconnection events of an acquisition stream.
class CRawStreamCallbackInterface
{
public:
    virtual ~CRawStreamCallbackInterface() = default;
    virtual void rawStreamRespReserved1(QString a, QString b) = 0;
    virtual void rawStreamRespReserved2(QString a) = 0;
    // kind 1: a device was added to the table; kind 0: the search ended.
    // text is empty, or says why the search failed ("No Bluetooth adapter").
    virtual void rawStreamRespDiscoverBt(int kind, QString text, int count, BtDeviceEntry table[5]) = 0;
    // error 0: connected to the device named by text; 1: not possible, text the reason.
    virtual void rawStreamRespConnectBt(int error, QString text) = 0;
    // The stream lost its connection (or gave up on a connection attempt).
    virtual void onConnectRetry() = 0;
};

// Events of the Bluetooth socket layer; the owner relays them to the stream.
class CWinbluezCallbackInterface
{
public:
    virtual ~CWinbluezCallbackInterface() = default;
    virtual void winbluezAddDevice(QString name, quint64 address) = 0;
    virtual void winbluezDisconnected() = 0;
};

// Base of the acquisition streams: owns the decoder, keeps the device and
// input types, builds framed device commands. Every base operation is a stub
// that only logs; the Bluetooth stream implements the ones it supports.
class CRawStream : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxDevices = 5;

    CRawStream(QObject* parent, CRawStreamCallbackInterface* streamCallback, CWinbluezCallbackInterface* socketCallback);
    ~CRawStream() override;

    virtual QString deviceName();
    virtual std::string deviceNameUtf8();
    virtual void setOptionFlag(bool flag);
    virtual void setRetrievalMs(int ms);
    virtual bool getData(EcgStreamSample* out);
    virtual void startStop(bool doStart);
    virtual void refreshDeviceType();
    virtual void recordStartStop(bool doStart);
    virtual bool stopDiscover();
    virtual bool btDiscover();
    virtual bool btSelectDevice(QString name, QString address);
    virtual bool hubCheckUser(QString a, QString b, QString c);
    virtual bool hubDiscover(QString a, QString b, QString c);
    virtual bool hubConnectPull(QString a, QString b, QString c);
    virtual void putUartChar(unsigned char byte);

    bool isBatteryLow() const { return m_decoder.isBatteryLow(); }
    void setDeviceType(int type);
    void sendCommand(int cmd, QString payload);
    void putEscapedByte(unsigned char byte);

    int deviceType() const { return m_deviceType; }
    int inputType() const { return m_inputType; }
    QString selectedDeviceName() const { return m_selectedDeviceName; }
    bool optionFlag() const { return m_optionFlag != 0; }
    CDatCodec& decoder() { return m_decoder; }

public slots:
    virtual void httpsReplyFinished();
    virtual void stConnected();
    virtual void stDisconnected();
    virtual void stReadSocket();
    virtual void stConnectionTimeout();
    virtual void btAddDevice(QString name, quint64 address);
    virtual void btDevDiscFinished();
    virtual void btServDiscFinished2();
    virtual void btConnected();
    virtual void btReadSocket();
    virtual void btDisconnected();
    virtual void btSocketStateChanged();

protected:
    static void stub(const char* name);
    static void errorStub(const char* name);

    CDatCodec m_decoder;
    CRawStreamCallbackInterface* m_streamCallback;
    CWinbluezCallbackInterface* m_socketCallback;
    QString m_deviceName;
    QString m_selectedDeviceName = QStringLiteral("unknown");
    int m_deviceType = 0;
    int m_inputType = 0;
    unsigned char m_optionFlag = 0;
};

#endif
