#ifndef MALVORANT_TESTS_NARROWEDFONTS_H
#define MALVORANT_TESTS_NARROWEDFONTS_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Narrows the system's fonts this process and its children see to one set
// of font folders, named by MALVORANT_TEST_FONTS: "dejavu" (DejaVu alone) or
// "urw" (the URW fonts alone, where fontconfig answers "Arial" with Nimbus
// Sans). A fontconfig file of its own, with the system's rules but only those
// folders, is written and named in FONTCONFIG_FILE; make one before the
// application object. Unset, nothing changes. tools/install-deps installs
// both sets.
class NarrowedFonts
{
public:
    NarrowedFonts()
    {
        m_name = QString::fromLocal8Bit(qgetenv("MALVORANT_TEST_FONTS"));
        if (m_name.isEmpty())
            return;
        QStringList candidates;
        if (m_name == QLatin1String("dejavu")) {
            candidates << "/usr/share/fonts/truetype/dejavu";
            m_present = QStringLiteral("DejaVu Sans");
            m_absent = QStringLiteral("Nimbus Sans");
        } else if (m_name == QLatin1String("urw")) {
            candidates << "/usr/share/fonts/opentype/urw-base35" << "/usr/share/fonts/type1/urw-base35";
            m_present = QStringLiteral("Nimbus Sans");
            m_absent = QStringLiteral("DejaVu Sans");
        } else {
            m_error = QStringLiteral("MALVORANT_TEST_FONTS names no set of fonts: ") + m_name;
            return;
        }
        QString dirs;
        for (const QString& c : candidates) {
            if (QDir(c).exists())
                dirs += QStringLiteral("  <dir>%1</dir>\n").arg(c);
        }
        if (dirs.isEmpty()) {
            m_error = QStringLiteral("no folder of the %1 fonts (%2); tools/install-deps installs them")
                          .arg(m_name, candidates.join(", "));
            return;
        }
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder for the fontconfig file");
            return;
        }
        const QString conf = m_dir.filePath("fonts.conf");
        QFile f(conf);
        const QString text = QStringLiteral("<?xml version=\"1.0\"?>\n"
                                            "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                                            "<fontconfig>\n%1"
                                            "  <cachedir>%2</cachedir>\n"
                                            "  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n"
                                            "</fontconfig>\n")
                                 .arg(dirs, m_dir.filePath("cache"));
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0 || !f.flush()) {
            m_error = QStringLiteral("the fontconfig file could not be written: ") + conf;
            return;
        }
        qputenv("FONTCONFIG_FILE", QFile::encodeName(conf));
    }

    // True when nothing is narrowed or the narrowing is in place.
    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    bool isNarrowed() const { return !m_name.isEmpty() && m_error.isEmpty(); }
    QString name() const { return m_name; }
    // A family the narrowed fonts have, and one of the system's they lack.
    QString presentFamily() const { return m_present; }
    QString absentFamily() const { return m_absent; }

private:
    QTemporaryDir m_dir;
    QString m_name;
    QString m_error;
    QString m_present;
    QString m_absent;
};

#endif
