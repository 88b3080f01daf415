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
// LANG=de_DE.UTF-8. The locale is compiled with localedef into a temporary
// folder named by LOCPATH, so nothing outside the test changes and no
// installed locale is needed. isActive() tells whether the switch happened;
// error() says why not.
class CommaLocale
{
public:
    CommaLocale()
    {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_saved = old ? old : "C";
        m_hadLocPath = qEnvironmentVariableIsSet("LOCPATH");
        m_oldLocPath = qgetenv("LOCPATH");
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return;
        }
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                         QStringLiteral("UTF-8"), m_dir.filePath(QStringLiteral("de_DE.UTF-8"))});
        if (!localedef.waitForFinished(120000) || localedef.exitStatus() != QProcess::NormalExit
            || localedef.exitCode() != 0) {
            m_error = QStringLiteral("localedef failed: ") + localedef.errorString() + QLatin1Char(' ')
                + QString::fromLocal8Bit(localedef.readAllStandardError());
            return;
        }
        qputenv("LOCPATH", QFile::encodeName(m_dir.path()));
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
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
    void restore()
    {
        std::setlocale(LC_ALL, m_saved.c_str());
        if (m_hadLocPath)
            qputenv("LOCPATH", m_oldLocPath);
        else
            qunsetenv("LOCPATH");
        m_active = false;
    }

    QTemporaryDir m_dir;
    std::string m_saved;
    QByteArray m_oldLocPath;
    bool m_hadLocPath = false;
    bool m_active = false;
    QString m_error;
};

#endif
