#include "filesafety.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::FILE* openOwnerOnly(const std::string& path, int flags, const char* mode)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, S_IRUSR | S_IWUSR);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    // An existing file keeps its mode through open(); it is narrowed here.
    // Devices and other special files are never touched.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return f;
}

} // namespace

std::FILE* createOwnerOnlyFile(const std::string& path)
{
    return openOwnerOnly(path, O_RDWR | O_CREAT | O_TRUNC, "w+b");
}

std::FILE* appendOwnerOnlyFile(const std::string& path)
{
    return openOwnerOnly(path, O_WRONLY | O_CREAT | O_APPEND, "a");
}

bool isRegularFile(std::FILE* f)
{
    struct stat st {};
    return f && ::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

bool setOwnerOnly(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
        return false;
    // A shared folder (sticky, as /tmp) is never the program's own.
    if (S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        return false;
    const mode_t mode = S_ISDIR(st.st_mode) ? S_IRWXU : (S_IRUSR | S_IWUSR);
    return ::chmod(path.c_str(), mode) == 0;
}

bool syncFile(std::FILE* f)
{
    if (!f || std::fflush(f) != 0)
        return false;
    int rc;
    do {
        rc = ::fsync(::fileno(f));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
}

bool syncFolderOf(const std::string& filePath)
{
    const std::size_t slash = filePath.find_last_of('/');
    if (slash == std::string::npos)
        return syncFolder(".");
    return syncFolder(slash == 0 ? std::string("/") : filePath.substr(0, slash));
}

bool truncateFile(std::FILE* f, std::int64_t length)
{
    if (!f || length < 0)
        return false;
    std::fflush(f);
    return ::ftruncate(::fileno(f), static_cast<off_t>(length)) == 0;
}

} // namespace platform
