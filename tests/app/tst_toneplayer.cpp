// The beat tone: the sound library is not loaded until the tone is switched
// on; then, where a sound output exists, it is loaded at once, so the next
// beat is heard; where none exists nothing is opened, and nothing warns,
// until a tone is asked for.

#include "soundoutput.h"
#include "soundserverstandin.h"
#include "toneplayer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QQmlEngine>
#include <QTemporaryDir>

#include <memory>
#include <QtTest>

namespace {

QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << text;
}

// The sound library is mapped into this process.
bool soundLibraryLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia");
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
    QQmlEngine m_engine;

    CTonePlayer::EngineSource engine()
    {
        return [this] { return &m_engine; };
    }

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
        CTonePlayer tone(engine());
        tone.setSource(QStringLiteral("qrc:/beep.wav"));
        tone.prepare();
        QTest::qWait(200);
        qInstallMessageHandler(nullptr);
        QVERIFY(!tone.isMade());
        QVERIFY(!tone.isLoaded());
        QVERIFY(!soundLibraryLoaded());
        QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
    }

    // With a sound output, the source alone loads nothing (the tone is off
    // by default); switching the tone on loads it before the next beat, so
    // that beat sounds.
    void loadedWhenSwitchedOnSoNextBeatSounds()
    {
        SoundServerStandIn server(m_runtime.filePath(QStringLiteral("pulse/native")));
        QVERIFY(server.isListening());
        QVERIFY(platform::soundOutputAvailable());
        CTonePlayer tone(engine());
        tone.setSource(QStringLiteral("qrc:/beep.wav"));
        QTest::qWait(100);
        QVERIFY(!tone.isMade());
        QVERIFY2(!soundLibraryLoaded(), "the sound library was loaded before a tone was wanted");

        tone.prepare();
        QVERIFY(tone.isMade());
        QVERIFY(soundLibraryLoaded());
        QVERIFY(waitFor([&] { return tone.isLoaded(); }, 10000));
        QCOMPARE(tone.requestCount(), 0);
        tone.play();
        QCOMPARE(tone.playCount(), 1);
        tone.prepare();
        tone.play();
        QCOMPARE(tone.playCount(), 2);
    }

    // Without an engine yet (the screens not loaded) nothing is made, and a
    // later call, with the engine there, makes it.
    void madeOnceTheEngineIsThere()
    {
        SoundServerStandIn server(m_runtime.filePath(QStringLiteral("pulse/native")));
        QQmlEngine* available = nullptr;
        CTonePlayer tone([&] { return available; });
        tone.setSource(QStringLiteral("qrc:/beep.wav"));
        tone.prepare();
        tone.play();
        QVERIFY(!tone.isMade());
        QCOMPARE(tone.playCount(), 0);
        available = &m_engine;
        tone.prepare();
        QVERIFY(tone.isMade());
        QVERIFY(waitFor([&] { return tone.isLoaded(); }, 10000));
    }

    // The engine goes first (as in a test harness): the effect goes with it.
    void engineGoesFirst()
    {
        SoundServerStandIn server(m_runtime.filePath(QStringLiteral("pulse/native")));
        auto own = std::make_unique<QQmlEngine>();
        CTonePlayer tone([&] { return own.get(); });
        tone.setSource(QStringLiteral("qrc:/beep.wav"));
        tone.prepare();
        QVERIFY(tone.isMade());
        own.reset();
        QVERIFY(!tone.isMade());
        tone.play();
        QCOMPARE(tone.playCount(), 0);
    }
};

QTEST_MAIN(TstTonePlayer)
#include "tst_toneplayer.moc"
