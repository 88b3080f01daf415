#include "oneshotbody.h"

#include <cstring>

COneShotBody::COneShotBody(QByteArray data, QObject* parent)
    : QIODevice(parent), m_data(std::move(data))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool COneShotBody::seek(qint64 pos)
{
    // Forward only, or back to the start before anything went out.
    if (pos < 0 || pos > m_data.size() || (pos < m_handedOut && m_handedOut > 0)) {
        m_rewindRefused = true;
        return false;
    }
    m_handedOut = pos;
    return QIODevice::seek(pos);
}

bool COneShotBody::reset()
{
    return seek(0);
}

qint64 COneShotBody::readData(char* data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, qint64(m_data.size()) - m_handedOut);
    if (n <= 0)
        return 0;
    std::memcpy(data, m_data.constData() + m_handedOut, size_t(n));
    m_handedOut += n;
    return n;
}
