#include "rawstream.h"

#include "debuglog.h"

#include <QDebug>

#include <ctime>

Q_LOGGING_CATEGORY(lcDeviceLink, "malvorant.devicelink")

CRawStream::CRawStream(QObject* parent, CRawStreamCallbackInterface* streamCallback,
                       CWinbluezCallbackInterface* socketCallback)
    : QObject(parent), m_streamCallback(streamCallback), m_socketCallback(socketCallback)
{
}

CRawStream::~CRawStream() = default;

void CRawStream::stub(const char* name)
{
    debugLog(2, std::string("entering CRawStream::") + name + "() not implemented in this instance");
}

void CRawStream::errorStub(const char* name)
{
    debugLogError(std::string("CRawStream::") + name + "() not implemented in this instance");
}

QString CRawStream::deviceName() { return m_deviceName; }
std::string CRawStream::deviceNameUtf8() { return m_deviceName.toStdString(); }
void CRawStream::setOptionFlag(bool flag) { m_optionFlag = flag ? 1 : 0; }
void CRawStream::setRetrievalMs(int) { errorStub("setRetrievalMs"); }

bool CRawStream::getData(EcgStreamSample*)
{
    errorStub("getData");
    return false;
}

void CRawStream::startStop(bool doStart)
{
    debugLog(4, "CRawStream::startStop() doStart=" + toStdString(doStart));
}

void CRawStream::refreshDeviceType() { errorStub("refreshDeviceType"); }
void CRawStream::recordStartStop(bool) { stub("startStop"); }

bool CRawStream::stopDiscover()
{
    stub("stopDiscover");
    return false;
}

bool CRawStream::btDiscover()
{
    stub("btDiscover");
    return false;
}

bool CRawStream::btSelectDevice(QString, QString)
{
    stub("btSelectDevice");
    return false;
}

bool CRawStream::hubCheckUser(QString, QString, QString)
{
    stub("hubCheckUser");
    return false;
}

bool CRawStream::hubDiscover(QString, QString, QString)
{
    stub("hubDiscover");
    return false;
}

bool CRawStream::hubConnectPull(QString, QString, QString)
{
    stub("hubConnectPull");
    return false;
}

void CRawStream::putUartChar(unsigned char)
{
    qCDebug(lcDeviceLink) << "CRawStream::putUartChar() not implemented in this instance";
}

void CRawStream::httpsReplyFinished() { stub("httpsReplyFinished"); }
void CRawStream::stConnected() { stub("stConnected"); }
void CRawStream::stDisconnected() { stub("stDisconnected"); }
void CRawStream::stReadSocket() { stub("stReadSocket"); }
void CRawStream::stConnectionTimeout() { stub("stConnectionTimeout"); }
void CRawStream::btAddDevice(QString, quint64) { stub("btAddDevice"); }
void CRawStream::btDevDiscFinished() { stub("btDevDiscFinished"); }
void CRawStream::btServDiscFinished2() { stub("btServDiscFinished2"); }
void CRawStream::btConnected() { stub("btConnected"); }
void CRawStream::btReadSocket() { stub("btReadSocket"); }
void CRawStream::btDisconnected() { stub("btDisconnected"); }
void CRawStream::btSocketStateChanged() { stub("btSocketStateChanged"); }

void CRawStream::setDeviceType(int type)
{
    m_deviceType = type;
    m_decoder.setDeviceType(type);
}

void CRawStream::putEscapedByte(unsigned char byte)
{
    QByteArray escaped;
    CDatCodec::appendEscaped(escaped, byte);
    for (char c : escaped)
        putUartChar(static_cast<unsigned char>(c));
}

void CRawStream::sendCommand(int cmd, QString payload)
{
    const QString fields = QStringLiteral("cmd=%1, add Payload=%2, inputType=%3, deviceType=%4")
                               .arg(cmd).arg(payload).arg(m_inputType).arg(m_deviceType);
    const bool allowed = (m_inputType == 0 && m_deviceType == 2) ||
                         (m_inputType == 1 && m_deviceType == 2 &&
                          (cmd == 1 || cmd == 5 || cmd == 6 || cmd == 8 || cmd == 9));
    if (!allowed) {
        qCDebug(lcDeviceLink).noquote() << "CRawStream::SKIPPING sendCommand " + fields;
        return;
    }
    qCDebug(lcDeviceLink).noquote() << "CRawStream::sendCommand " + fields;

    QByteArray time;
    if (cmd == 2 || cmd == 4) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char buf[20];
        std::strftime(buf, sizeof(buf), "%Y%m%d%H%M%S", &local);
        time = QByteArray(buf).left(16);
        qCDebug(lcDeviceLink).noquote() << "CRawStream::sendCommand timeBuffer=" + QString::fromLatin1(time);
    }
    QByteArray body;
    if (cmd == 2) {
        body = time;
    } else if (cmd == 3 || cmd == 4) {
        const QByteArray name = payload.toUtf8().left(16);
        qCDebug(lcDeviceLink).noquote() << "CRawStream::sendCommand patientName=" + QString::fromUtf8(name);
        if (cmd == 4)
            body = time + QByteArray(16 - time.size(), '\0');
        body += name;
    }
    const QByteArray frame = CDatCodec::buildCommandFrame(cmd, body);
    for (char c : frame)
        putUartChar(static_cast<unsigned char>(c));
}
