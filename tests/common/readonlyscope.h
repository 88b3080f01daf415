#ifndef MALVORANT_TESTS_READONLYSCOPE_H
#define MALVORANT_TESTS_READONLYSCOPE_H

// Makes permission bits bite for the length of a scope. Tests often run as
// root, where a 0555 folder or a 0444 file is still writable; then the scope
// takes the effective user id of "nobody" and gives root back at its end.
// works() tells whether writes to the protected paths now really fail, so a
// test never passes silently where the protection did not hold.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

class ReadOnlyScope
{
public:
    // Protects folder (mode 0555) and file (mode 0444); either may be empty.
    // The folders above them must be searchable by others (mode 0755).
    ReadOnlyScope(const QString& folder, const QString& file)
        : m_folder(folder), m_file(file)
    {
        if (!m_folder.isEmpty())
            ::chmod(QFile::encodeName(m_folder).constData(), 0555);
        if (!m_file.isEmpty())
            ::chmod(QFile::encodeName(m_file).constData(), 0444);
        if (::geteuid() == 0 && ::seteuid(kNobody) == 0)
            m_droppedRoot = true;
        m_works = probe();
    }
    ~ReadOnlyScope()
    {
        if (m_droppedRoot)
            (void)::seteuid(0);
        if (!m_folder.isEmpty())
            ::chmod(QFile::encodeName(m_folder).constData(), 0755);
        if (!m_file.isEmpty())
            ::chmod(QFile::encodeName(m_file).constData(), 0644);
    }
    ReadOnlyScope(const ReadOnlyScope&) = delete;
    ReadOnlyScope& operator=(const ReadOnlyScope&) = delete;

    bool works() const { return m_works; }
    bool droppedRoot() const { return m_droppedRoot; }

private:
    static constexpr uid_t kNobody = 65534;

    bool probe() const
    {
        if (!m_folder.isEmpty()) {
            const QByteArray p = QFile::encodeName(m_folder + "/.probe");
            if (std::FILE* f = std::fopen(p.constData(), "wb")) {
                std::fclose(f);
                std::remove(p.constData());
                return false;
            }
        }
        if (!m_file.isEmpty()) {
            if (std::FILE* f = std::fopen(QFile::encodeName(m_file).constData(), "r+b")) {
                std::fclose(f);
                return false;
            }
        }
        return true;
    }

    QString m_folder;
    QString m_file;
    bool m_droppedRoot = false;
    bool m_works = false;
};

#endif
