// tools/install-deps against a stand-in package manager: dpkg-query, apt-get,
// apt-cache and sudo on PATH are small scripts over a state folder, so the
// lock held by another install and a package that cannot be installed are
// played without touching the machine's packages.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Missing packages are listed in $STATE/missing; everything else counts as
// installed. $STATE/locked holds how many apt-get runs still meet the lock
// ("forever": all); packages in $STATE/unoffered have no candidate, those in
// $STATE/broken fail to install and spoil the transaction they are in.
const char* const kDpkgQuery = R"sh(#!/bin/sh
shift 2
missing=" $(tr '\n' ' ' < "$STATE/missing") "
rc=0
for p in "$@"; do
  case "$missing" in
    *" $p "*) echo "dpkg-query: no packages found matching $p" >&2; rc=1;;
    *) echo "ii  $p";;
  esac
done
exit $rc
)sh";

const char* const kAptGet = R"sh(#!/bin/sh
echo "apt-get $*" >> "$STATE/calls"
if [ -s "$STATE/locked" ]; then
  left=$(cat "$STATE/locked")
  if [ "$left" != forever ]; then echo $((left - 1)) > "$STATE/locked"; fi
  if [ "$left" = forever ] || [ "$left" -gt 0 ]; then
    echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
    exit 100
  fi
fi
for a in "$@"; do [ "$a" = update ] && exit 0; done
pkgs=""
for a in "$@"; do case "$a" in -*|install) ;; *) pkgs="$pkgs $a";; esac; done
for p in $pkgs; do
  if grep -qx "$p" "$STATE/broken"; then
    echo "E: Sub-process /usr/bin/dpkg returned an error code (1)" >&2
    exit 100
  fi
done
for p in $pkgs; do grep -vx "$p" "$STATE/missing" > "$STATE/m"; mv "$STATE/m" "$STATE/missing"; done
exit 0
)sh";

const char* const kAptCache = R"sh(#!/bin/sh
p="$2"
grep -qx "$p" "$STATE/unoffered" && exit 0
printf '%s:\n  Installed: (none)\n  Candidate: 1.0-1\n' "$p"
)sh";

const char* const kSudo = R"sh(#!/bin/sh
exec "$@"
)sh";

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

} // namespace

class TstInstallDeps : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString state(const QString& name) const { return m_dir.filePath("state/" + name); }

    void writeState(const QString& name, const QStringList& lines)
    {
        QFile f(state(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QString& l : lines)
            f.write((l + "\n").toUtf8());
    }

    QStringList readState(const QString& name) const
    {
        QFile f(state(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    Run run(int lockWaitSeconds = 30)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", m_dir.filePath("bin") + ":" + env.value("PATH"));
        env.insert("STATE", m_dir.filePath("state"));
        env.insert("MALVORANT_APT_LOCK_WAIT", QString::number(lockWaitSeconds));
        env.insert("MALVORANT_APT_LOCK_POLL", "0.1");
        p.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        p.start("bash", {QStringLiteral(MALVORANT_SOURCE_DIR "/tools/install-deps")});
        Run r;
        if (!p.waitForFinished(40000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.ms = timer.elapsed();
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QStringList aptCalls() const { return readState("calls"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath("bin")));
        const QList<QPair<QString, const char*>> tools{
            {"dpkg-query", kDpkgQuery}, {"apt-get", kAptGet}, {"apt-cache", kAptCache}, {"sudo", kSudo}};
        for (const auto& [name, text] : tools) {
            QFile f(m_dir.filePath("bin/" + name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
            f.close();
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
    }

    void init()
    {
        QVERIFY(QDir(m_dir.filePath("state")).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir.filePath("state")));
        for (const char* name : {"missing", "locked", "unoffered", "broken", "calls"})
            writeState(name, {});
    }

    // Everything installed: done at once, the package manager not asked.
    void completeSystemExitsAtOnce()
    {
        const Run r = run();
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.isEmpty() && r.err.isEmpty(), qPrintable(r.out + r.err));
        QVERIFY(aptCalls().isEmpty());
        QVERIFY2(r.ms < 5000, qPrintable(QString::number(r.ms)));
    }

    // Another install holds the lock for a while: the script says it waits,
    // then installs what is missing, once.
    void waitsForTheLock()
    {
        writeState("missing", {"orthanc", "dcmtk"});
        writeState("locked", {"3"});
        const Run r = run();
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(r.out.count("waiting for it (up to 30 s)"), 1);
        QVERIFY(readState("missing").isEmpty());
        const QStringList calls = aptCalls();
        QCOMPARE(calls.filter(" install ").size(), 1);
        QVERIFY(calls.filter(" install ").first().contains("dcmtk orthanc"));
        QCOMPARE(calls.filter(" update").size(), 3 + 1);
        // Run again: nothing left to do.
        writeState("calls", {});
        QCOMPARE(run().exitCode, 0);
        QVERIFY(aptCalls().isEmpty());
    }

    // A lock that is never released ends the wait with a failure that says why.
    void gaveUpOnTheLockSaysSo()
    {
        writeState("missing", {"orthanc"});
        writeState("locked", {"forever"});
        const Run r = run(1);
        QVERIFY(r.exitCode != 0);
        QVERIFY2(r.err.contains("stayed locked for 1 s"), qPrintable(r.err));
        QVERIFY(r.ms < 10000);
        QCOMPARE(readState("missing"), QStringList{"orthanc"});
    }

    // A package that can't be installed is named; the others are installed.
    void namesThePackageThatFailed_data()
    {
        QTest::addColumn<QString>("stateFile");
        QTest::addColumn<QString>("said");
        QTest::newRow("not offered") << "unoffered" << "not offered by the configured package sources: dcmtk";
        QTest::newRow("fails to install") << "broken" << "could not install: dcmtk";
    }

    void namesThePackageThatFailed()
    {
        QFETCH(QString, stateFile);
        QFETCH(QString, said);
        writeState("missing", {"orthanc", "dcmtk", "xvfb"});
        writeState(stateFile, {"dcmtk"});
        const Run r = run();
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QVERIFY2(!r.err.contains("orthanc") && !r.err.contains("xvfb"), qPrintable(r.err));
        QCOMPARE(readState("missing"), QStringList{"dcmtk"});
    }
};

QTEST_GUILESS_MAIN(TstInstallDeps)
#include "tst_installdeps.moc"
