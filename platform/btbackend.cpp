#include "btbackend.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include <QStringList>

bool btParseAddress(const QString& text, quint64* address)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() != 6)
        return false;
    quint64 a = 0;
    for (const QString& p : parts) {
        bool ok = false;
        const uint v = p.toUInt(&ok, 16);
        if (!ok || p.isEmpty() || p.size() > 2)
            return false;
        a = a << 8 | v;
    }
    *address = a;
    return true;
}

QString btAddressText(quint64 address)
{
    QString text;
    for (int i = 5; i >= 0; --i) {
        if (i != 5)
            text += QLatin1Char(':');
        text += QStringLiteral("%1").arg((address >> (8 * i)) & 0xFF, 2, 16, QLatin1Char('0'));
    }
    return text;
}

CBtBackend::~CBtBackend() = default;

long CBtBackend::receive(int handle, char* buffer, long size, int* error)
{
    const ssize_t n = ::recv(handle, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    *error = n < 0 ? errno : 0;
    return static_cast<long>(n);
}

long CBtBackend::send(int handle, const char* buffer, long length, int* error)
{
    // A peer that went away must give an error, not kill the process.
    const ssize_t n = ::send(handle, buffer, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    *error = n < 0 ? errno : 0;
    return static_cast<long>(n);
}

bool CBtBackend::sendDisconnect(int handle, int* error)
{
    const int r = ::shutdown(handle, SHUT_WR);
    *error = r < 0 ? errno : 0;
    return r == 0;
}

bool CBtBackend::shutdownBoth(int handle, int* error)
{
    const int r = ::shutdown(handle, SHUT_RDWR);
    *error = r < 0 ? errno : 0;
    return r == 0;
}

bool CBtBackend::closeHandle(int handle, int* error)
{
    const int r = ::close(handle);
    *error = r < 0 ? errno : 0;
    return r == 0;
}

bool CBtBackend::isWouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EALREADY;
}

bool CBtBackend::isNotConnected(int error)
{
    return error == ENOTCONN;
}

bool CBtBackend::isInProgress(int error)
{
    return error == EINPROGRESS || error == EAGAIN || error == EWOULDBLOCK;
}
