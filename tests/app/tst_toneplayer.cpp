// The beat tone: where a sound output exists it is loaded with its source at
// start, so the first beat of a session is heard; where none exists nothing
// is opened, and nothing warns, until a tone is asked for.

#include "soundoutput.h"
#include "soundserverstandin.h"
#include "toneplayer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << text;
}

template <class Done>
bool waitFor(Done done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

class TstTonePlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;

private slots:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        // The session's sound server is looked for here alone.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_RUNTIME_PATH");
    }

    void withoutSoundOutputNothingOpens()
    {
        if (platform::soundOutputAvailable())
            QSKIP("this machine has a sound server of its own");
        g_warnings.clear();
        qInstallMessageHandler(collectWarnings);
        CTonePlayer tone;
        tone.setSource(QStringLiteral("qrc:/beep.wav"));
        QTest::qWait(200);
        qInstallMessageHandler(nullptr);
        QVERIFY(!tone.isLoaded());
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
    }

    // Loaded before the first beat asks for it: that beat sounds.
    void loadedAtStartSoFirstBeatSounds()
    {
        SoundServerStandIn server(m_runtime.filePath(QStringLiteral("pulse/native")));
        QVERIFY(server.isListening());
        QVERIFY(platform::soundOutputAvailable());
        CTonePlayer tone;
        tone.setSource(QStringLiteral("qrc:/beep.wav"));
        QVERIFY(waitFor([&] { return tone.isLoaded(); }, 10000));
        QCOMPARE(tone.requestCount(), 0);
        tone.play();
        QCOMPARE(tone.playCount(), 1);
    }
};

QTEST_MAIN(TstTonePlayer)
#include "tst_toneplayer.moc"
