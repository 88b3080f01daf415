#ifndef MALVORANT_TESTS_SOUNDSERVERSTANDIN_H
#define MALVORANT_TESTS_SOUNDSERVERSTANDIN_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

// A sound server's socket at `path` (the folder is made) that takes every
// connection and closes it at once: the program finds a sound output there,
// and the sound system gives up on it without waiting.
class SoundServerStandIn
{
public:
    explicit SoundServerStandIn(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        if (std::size_t(name.size()) >= sizeof(address.sun_path))
            return;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0
            || ::listen(m_fd, 8) != 0) {
            close();
            return;
        }
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int client = ::accept(m_fd, nullptr, nullptr);
                if (client < 0)
                    break;
                ::close(client);
            }
        });
    }

    ~SoundServerStandIn()
    {
        m_stop = true;
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        close();
    }

    SoundServerStandIn(const SoundServerStandIn&) = delete;
    SoundServerStandIn& operator=(const SoundServerStandIn&) = delete;

    bool isListening() const { return m_fd >= 0; }

private:
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

#endif
