#ifndef MALVORANT_TESTS_LOGWINDOW_H
#define MALVORANT_TESTS_LOGWINDOW_H

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

// What the logger wrote to one of its files since the window was opened, so
// a test checks the lines of one call only.
class LogWindow
{
public:
    explicit LogWindow(const QString& path) : m_path(path) { m_mark = QFileInfo(path).size(); }

    QString text() const
    {
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly) || !f.seek(m_mark))
            return {};
        return QString::fromUtf8(f.readAll());
    }

    // True when a line's text (after the time stamp) is exactly this.
    bool hasLine(const QString& line) const
    {
        for (const QString& l : text().split('\n'))
            if (l.endsWith("] " + line) && l.startsWith('['))
                return true;
        return false;
    }

private:
    QString m_path;
    qint64 m_mark = 0;
};

#endif
