#ifndef MALVORANT_TESTS_COMMALOCALE_H
#define MALVORANT_TESTS_COMMALOCALE_H

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <clocale>
#include <cstring>
#include <string>

// Makes the process's C locale a German one (decimal comma, German month
// names) for the life of the object, as QCoreApplication does under
// LANG=de_DE.UTF-8. The locale is compiled with localedef (package locales)
// once per process into a temporary folder, named by LOCPATH only while it
// is loaded, so nothing outside the test changes and no installed locale is
// needed. isActive() tells whether the switch happened; error() says why not.
class CommaLocale
{
public:
    CommaLocale()
    {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_saved = old ? old : "C";
        const QString folder = compiledFolder(&m_error);
        if (folder.isEmpty())
            return;
        const bool hadLocPath = qEnvironmentVariableIsSet("LOCPATH");
        const QByteArray oldLocPath = qgetenv("LOCPATH");
        qputenv("LOCPATH", QFile::encodeName(folder));
        const bool loaded = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        if (hadLocPath)
            qputenv("LOCPATH", oldLocPath);
        else
            qunsetenv("LOCPATH");
        if (!loaded) {
            m_error = QStringLiteral("setlocale refused the compiled locale");
            restore();
            return;
        }
        if (std::strcmp(std::localeconv()->decimal_point, ",") != 0) {
            m_error = QStringLiteral("the locale has no decimal comma");
            restore();
            return;
        }
        m_active = true;
    }

    ~CommaLocale() { restore(); }

    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool isActive() const { return m_active; }
    const QString& error() const { return m_error; }

private:
    // The folder holding de_DE.UTF-8, compiled on first use; empty on failure.
    static QString compiledFolder(QString* error)
    {
        static QTemporaryDir dir;
        static QString failure;
        static bool done = false;
        if (!done) {
            done = true;
            if (!dir.isValid()) {
                failure = QStringLiteral("no temporary folder");
            } else {
                QProcess localedef;
                localedef.start(QStringLiteral("localedef"),
                                {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                 QStringLiteral("UTF-8"), dir.filePath(QStringLiteral("de_DE.UTF-8"))});
                if (!localedef.waitForFinished(120000) || localedef.exitStatus() != QProcess::NormalExit
                    || localedef.exitCode() != 0) {
                    failure = QStringLiteral("localedef failed: ") + localedef.errorString() + QLatin1Char(' ')
                        + QString::fromLocal8Bit(localedef.readAllStandardError());
                }
            }
        }
        if (!failure.isEmpty()) {
            *error = failure;
            return QString();
        }
        return dir.path();
    }

    void restore()
    {
        std::setlocale(LC_ALL, m_saved.c_str());
        m_active = false;
    }

    std::string m_saved;
    bool m_active = false;
    QString m_error;
};

#endif
