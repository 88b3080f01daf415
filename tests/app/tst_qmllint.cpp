// Every QML file of the program passes qmllint. The one warning let through
// is the unqualified use of the bridge and of the two list models, context
// properties that main publishes and that no type information can describe.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

class TstQmlLint : public QObject
{
    Q_OBJECT

    static QString qmllint()
    {
        for (const QString& path : {QStringLiteral("/usr/lib/qt6/bin/qmllint"),
                                    QStringLiteral("/usr/bin/qmllint6"), QStringLiteral("/usr/bin/qmllint")}) {
            if (QFile::exists(path))
                return path;
        }
        return QString();
    }

private slots:
    void everyFilePasses_data()
    {
        QTest::addColumn<QString>("file");
        QDirIterator it(QStringLiteral(MALVORANT_SOURCE_DIR "/qml/win"), {"*.qml"}, QDir::Files,
                        QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext())
            files << it.next();
        files.sort();
        QVERIFY(files.size() >= 15);
        for (const QString& f : files)
            QTest::newRow(qPrintable(QFileInfo(f).fileName())) << f;
    }

    void everyFilePasses()
    {
        QFETCH(QString, file);
        const QString lint = qmllint();
        if (lint.isEmpty())
            QFAIL("qmllint is missing (package qt6-declarative-dev-tools)");

        QProcess p;
        p.setWorkingDirectory(QFileInfo(file).absolutePath());
        p.start(lint, {"--json", "-", QFileInfo(file).fileName()});
        QVERIFY(p.waitForFinished(60000));
        const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
        QVERIFY2(doc.isObject(), qPrintable(p.readAllStandardError()));

        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(source.readAll());

        QStringList faults;
        for (const QJsonValue& f : doc.object().value("files").toArray()) {
            for (const QJsonValue& w : f.toObject().value("warnings").toArray()) {
                const QJsonObject o = w.toObject();
                if (o.value("type").toString() != "warning" && o.value("type").toString() != "critical")
                    continue;
                const QString name = text.mid(o.value("charOffset").toInt(), o.value("length").toInt());
                if (o.value("message").toString() == "Unqualified access"
                    && (name == "cQmlInterface" || name == "dataModel1" || name == "dataModel2"))
                    continue;
                faults << QStringLiteral("%1:%2: %3 (%4)")
                              .arg(o.value("line").toInt())
                              .arg(o.value("column").toInt())
                              .arg(o.value("message").toString(), name);
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
};

QTEST_MAIN(TstQmlLint)
#include "tst_qmllint.moc"
