#include "qvltestenv.h"

#include "dbman.h"
#include "debuglog.h"
#include "settingsman.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QDirIterator>
#include <QFile>
#include <QSqlQuery>

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QDeadlineTimer deadline(timeoutMs);
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

void AnswerLog::push(const QString& line)
{
    answers << line;
    if (onAnswer)
        onAnswer(line);
}

void AnswerLog::qvlRespCheckNetwork(bool net, bool err, bool clock)
{
    push(QStringLiteral("checkNetwork(%1,%2,%3)").arg(int(net)).arg(int(err)).arg(int(clock)));
}

void AnswerLog::qvlRespCheckUser(bool net, bool err, bool verified)
{
    push(QStringLiteral("checkUser(%1,%2,%3)").arg(int(net)).arg(int(err)).arg(int(verified)));
}

void AnswerLog::qvlRespInitiateCase(bool net, bool err, int fileId, QString caseId)
{
    push(QStringLiteral("initiateCase(%1,%2,%3,%4)")
             .arg(int(net)).arg(int(err)).arg(fileId).arg(caseId));
}

void AnswerLog::qvlRespAddFile(bool net, bool err, int fileId, QString caseId)
{
    push(QStringLiteral("addFile(%1,%2,%3,%4)").arg(int(net)).arg(int(err)).arg(fileId).arg(caseId));
}

void AnswerLog::qvlRespGetCaseUrl(bool net, bool err, int fileId, QString url)
{
    push(QStringLiteral("getCaseUrl(%1,%2,%3,%4)").arg(int(net)).arg(int(err)).arg(fileId).arg(url));
}

void AnswerLog::qvlRespGetModifiedServices1(bool net, bool err, QString token)
{
    push(QStringLiteral("modified1(%1,%2,%3)").arg(int(net)).arg(int(err)).arg(token));
}

void AnswerLog::qvlRespGetModifiedServices2(QString caseId, QString status)
{
    push(QStringLiteral("modified2(%1,%2)").arg(caseId, status));
}

void AnswerLog::qvlRespGetModifiedServicesDone()
{
    push(QStringLiteral("modifiedDone"));
}

void AnswerLog::qvlRespFileChanged()
{
    push(QStringLiteral("fileChanged"));
}

void AnswerLog::qvlRespCaseState(bool net, bool err, int fileId, QString caseId, QString status)
{
    push(QStringLiteral("caseState(%1,%2,%3,%4,%5)")
             .arg(int(net)).arg(int(err)).arg(fileId).arg(caseId, status));
}

QvlTestEnv::QvlTestEnv() = default;

QvlTestEnv::~QvlTestEnv()
{
    delete settings;
    delete db;
    CDebugLog* log = g_pDebugLog;
    g_pDebugLog = nullptr;
    delete log;
}

QString QvlTestEnv::dataFolder() const
{
    return root() + QStringLiteral("/MalvorantData/");
}

QString QvlTestEnv::logFolder() const
{
    return root() + QStringLiteral("/logs");
}

bool QvlTestEnv::setUp(QString& error, const QString& root)
{
    m_root = root;
    if ((root.isEmpty() && !m_dir.isValid()) || !QDir().mkpath(dataFolder())
        || !QDir().mkpath(logFolder())) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    g_pDebugLog = new CDebugLog(4, false, logFolder().toStdString(), "malvorantlog");
    int from = -1;
    int to = -1;
    db = new CDbMan(dataFolder(), from, to);
    if (!db->isOk()) {
        error = db->errorText();
        return false;
    }
    settings = new CSettingsMan(QStringLiteral("MalvorantQml"), db->database(), from, to);
    if (!settings->isOk()) {
        error = QStringLiteral("settings rows could not be written");
        return false;
    }
    return true;
}

QByteArray QvlTestEnv::logText() const
{
    QByteArray all;
    QDirIterator it(logFolder(), QDir::Files);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

int QvlTestEnv::addPatient(const QVariantMap& values)
{
    static const char* const columns[] = {"patientName", "ownerFirst", "ownerLast", "extId",
                                          "species", "sex", "birthdate", "breed", "weight",
                                          "weightUnit"};
    QStringList names;
    QStringList marks;
    QVariantList bound;
    for (const char* c : columns) {
        const QString name = QLatin1String(c);
        QVariant v = values.value(name);
        if (!v.isValid()) {
            if (name == QLatin1String("patientName") || name.startsWith(QLatin1String("owner")))
                v = QString(QLatin1String(""));
            else
                continue;
        }
        names << name;
        marks << QStringLiteral("?");
        bound << v;
    }
    QSqlQuery q(*db->database());
    q.prepare(QStringLiteral("insert into patientTable (%1) values (%2)")
                  .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (const QVariant& v : bound)
        q.addBindValue(v);
    if (!q.exec())
        return -1;
    return q.lastInsertId().toInt();
}

int QvlTestEnv::addRecording(int patientId, const QString& fileName, const QByteArray& content)
{
    QSqlQuery q(*db->database());
    q.prepare(QStringLiteral("insert into ecgTable (patientId, fileName) values (?, ?)"));
    q.addBindValue(patientId);
    q.addBindValue(fileName);
    if (!q.exec())
        return -1;
    if (!content.isNull()) {
        QFile f(dataFolder() + fileName);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return -1;
    }
    return q.lastInsertId().toInt();
}
