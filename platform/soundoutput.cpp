#include "soundoutput.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QtGlobal>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

// True when a server listens on the Unix socket at path.
bool listening(const QByteArray& path)
{
    sockaddr_un address{};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool soundOutputAvailable()
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return true;
    // Where the PulseAudio client looks for its server (PipeWire serves the same socket).
    QList<QByteArray> sockets;
    if (!qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
        sockets << qgetenv("PULSE_RUNTIME_PATH") + "/native";
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        sockets << qgetenv("XDG_RUNTIME_DIR") + "/pulse/native";
    else
        sockets << "/run/user/" + QByteArray::number(::getuid()) + "/pulse/native";
    sockets << "/run/pulse/native" << "/var/run/pulse/native";
    for (const QByteArray& path : sockets) {
        if (QFile::exists(QFile::decodeName(path)) && listening(path))
            return true;
    }
    return false;
}

} // namespace platform
