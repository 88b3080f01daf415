// What the program's start does with what an abrupt end left: a recording
// file without a row is offered again as a pending recording, and a damaged
// database stops the start with a message and stays exactly as it was.
#include "dbman.h"
#include "fileecg.h"
#include "patientman.h"
#include "settingsman.h"
#include "isolatedhome.h"
#include "processlist.h"
#include "programrun.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

static IsolatedHome isolatedHome;

class TstStartRepair : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString docs() const { return m_tmp.filePath("Public"); }
    QString data() const { return docs() + "/MalvorantData"; }
    QString logs() const { return m_tmp.filePath("ProgramData") + "/Malvorant/logs"; }

    std::unique_ptr<QProcess> start(bool endsFromStartUp)
    {
        return startProgram(docs(), m_tmp.filePath("ProgramData"), QProcess::MergedChannels,
                            endsFromStartUp);
    }

    static void stop(QProcess& p) { stopProgram(p); }

    // Runs the program until the error log holds the text, then ends it.
    bool runUntilLogged(const QByteArray& text)
    {
        std::unique_ptr<QProcess> p = start(false);
        if (!p->waitForStarted())
            return false;
        QDeadlineTimer deadline(60000);
        while (!readLog().contains(text) && p->state() == QProcess::Running && !deadline.hasExpired())
            p->waitForFinished(50);
        const bool ran = p->state() == QProcess::Running && readLog().contains(text);
        stop(*p);
        return ran;
    }

    QByteArray readLog() const
    {
        QFile f(logs() + "/malvorantlog.error");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolatedHome.isValid());
        QVERIFY(m_tmp.isValid());
        QVERIFY(QFileInfo(MALVORANT_EXECUTABLE).isExecutable());
        std::vector<platform::ProcessEntry> processes;
        QVERIFY(platform::listProcesses(processes));
        for (const platform::ProcessEntry& p : processes) {
            if (isInstanceName(p.name))
                QSKIP("a copy of the program already runs on this machine");
        }
        // The store as a first start leaves it.
        QVERIFY(QDir().mkpath(data()));
        int from = -1, to = -1;
        {
            CDbMan db(data(), from, to);
            QVERIFY(db.isOk());
            CSettingsMan settings("MalvorantQml", db.database(), from, to);
            QVERIFY(settings.isOk());
            CPatientMan patients(db.database(), &settings, from, to, 1);
        }
        QVERIFY(QFileInfo::exists(data() + "/zqr.sqlite3"));
    }

    void recordingWithoutRowIsPendingAfterStart()
    {
        // Left by a run that was killed while recording.
        const QString name = "0_1_20240305_081500.ecg";
        {
            CFileEcg f;
            f.patientName = "dummy";
            QVERIFY(f.createFile((data() + "/" + name).toStdString()));
            for (int i = 0; i < 900; ++i) {
                EcgFileRecord r{};
                r.leadI = float(i);
                QVERIFY(f.addData(&r, 1));
            }
            QVERIFY(f.close());
        }
        QVERIFY(runUntilLogged(name.toLatin1() + " without a row"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(data() + "/zqr.sqlite3");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("select patientId, fileSize from ecgTable where fileName='" + name + "'"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 0);
            QCOMPARE(q.value(1).toInt(), 900);
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("check");
        QVERIFY(QFileInfo::exists(data() + "/" + name));
    }

    void damagedDatabaseStopsTheStartUntouched()
    {
        const QString path = data() + "/zqr.sqlite3";
        {
            // Some rows, in the file itself rather than a write-ahead log.
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("pragma journal_mode=delete"));
            QVERIFY(db.transaction());
            for (int i = 0; i < 300; ++i)
                QVERIFY(q.exec("insert into ecgTable (patientId, fileName) values (1, '" + QString(200, 'q')
                               + QString::number(i) + "')"));
            QVERIFY(db.commit());
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("fill");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 pages = file.size() / 4096;
        QVERIFY(file.seek((pages - 3) * 4096));
        file.write(QByteArray(4096, char(0x5a)));
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        std::unique_ptr<QProcess> p = start(true);
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 255); // -1
        const QByteArray said = p->readAll();
        QVERIFY2(said.contains("is damaged"), said.constData());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TstStartRepair)
#include "tst_startrepair.moc"
