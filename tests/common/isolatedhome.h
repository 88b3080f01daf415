#ifndef MALVORANT_TESTS_ISOLATEDHOME_H
#define MALVORANT_TESTS_ISOLATEDHOME_H

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// Points HOME and the XDG per-user folders (cache, config, data, runtime) into a
// temporary folder, for this process and for the children it starts, so that
// nothing Qt writes on the user's behalf (QML cache, runtime folder) lands
// outside the test's own folders. Make one before the application object.
class IsolatedHome
{
public:
    IsolatedHome()
    {
        static const char* const names[][2] = {{"HOME", "home"},
                                              {"XDG_CACHE_HOME", "cache"},
                                              {"XDG_CONFIG_HOME", "config"},
                                              {"XDG_DATA_HOME", "data"},
                                              {"XDG_RUNTIME_DIR", "runtime"}};
        for (const auto& n : names) {
            const QString folder = m_dir.filePath(QLatin1String(n[1]));
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv(n[0], QFile::encodeName(folder));
        }
    }

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

#endif
