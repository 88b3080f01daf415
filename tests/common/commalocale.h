#ifndef MALVORANT_TESTS_COMMALOCALE_H
#define MALVORANT_TESTS_COMMALOCALE_H

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <clocale>

// Switches the C library of this process to a German locale (decimal comma)
// for the life of the object, as QCoreApplication does for a German user
// (setlocale(LC_ALL, "")). A machine that has no such locale installed gets
// one built once per process by localedef into a temporary folder, so the
// check runs everywhere the locale sources are (Debian package "locales").
class CommaLocale
{
public:
    CommaLocale()
    {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_saved = old ? QByteArray(old) : QByteArray("C");
        m_active = switchTo();
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_saved.constData()); }

    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // True when the process now formats 1.5 as "1,5".
    bool isActive() const { return m_active; }
    QString why() const { return m_why; }

private:
    static constexpr const char* kName = "de_DE.UTF-8";

    static bool decimalComma()
    {
        const std::lconv* c = std::localeconv();
        return c && c->decimal_point && c->decimal_point[0] == ',';
    }

    bool switchTo()
    {
        if (std::setlocale(LC_ALL, kName) && decimalComma())
            return true;
        const QString folder = builtFolder(&m_why);
        if (folder.isEmpty())
            return false;
        // Only for this one look-up: the saved locale is found where it always is.
        const QByteArray previous = qgetenv("LOCPATH");
        qputenv("LOCPATH", QFile::encodeName(folder));
        const bool ok = std::setlocale(LC_ALL, kName) && decimalComma();
        if (previous.isEmpty())
            qunsetenv("LOCPATH");
        else
            qputenv("LOCPATH", previous);
        if (!ok)
            m_why = QStringLiteral("the built locale did not load");
        return ok;
    }

    static QString builtFolder(QString* why)
    {
        static QTemporaryDir dir;
        static QString result;
        static QString failure;
        static bool tried = false;
        if (!tried) {
            tried = true;
            const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
            if (localedef.isEmpty()) {
                failure = QStringLiteral("localedef not found");
            } else if (!dir.isValid()) {
                failure = QStringLiteral("no temporary folder");
            } else {
                QProcess p;
                p.start(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                    QStringLiteral("UTF-8"), dir.filePath(QLatin1String(kName))});
                // localedef warns (exit code 1) about some sources yet writes the locale.
                if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() <= 1)
                    result = dir.path();
                else
                    failure = QStringLiteral("localedef failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
            }
        }
        if (why)
            *why = failure;
        return result;
    }

    QByteArray m_saved;
    bool m_active = false;
    QString m_why;
};

#endif
