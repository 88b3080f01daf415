#ifndef MALVORANT_TONEPLAYER_H
#define MALVORANT_TONEPLAYER_H

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QQmlEngine;

// The short tone of one heart beat. The sound library and the audio system
// behind it are loaded through the engine's QML import when a tone is first
// wanted, so a session with the tone off never loads them. A source that
// cannot be loaded makes play() do nothing.
class CTonePlayer : public QObject
{
    Q_OBJECT

public:
    // The engine is asked for when the tone is first made: the screens
    // may not be loaded before.
    using EngineSource = std::function<QQmlEngine*()>;
    explicit CTonePlayer(EngineSource engine);
    ~CTonePlayer() override;

    CTonePlayer(const CTonePlayer&) = delete;
    CTonePlayer& operator=(const CTonePlayer&) = delete;

    void setSource(const QString& url);
    // The tone is switched on: with a sound output at hand it is loaded now,
    // so the next beat is heard.
    void prepare();
    void play();
    // Tones started since construction (tests count them; silent machines too).
    int playCount() const { return m_playCount; }
    // Calls of play(), loaded or not.
    int requestCount() const { return m_requests; }
    bool isLoaded() const;
    // The sound effect has been made (the sound library is loaded).
    bool isMade() const { return m_effect != nullptr; }

private:
    void make();

    EngineSource m_engine;
    QPointer<QObject> m_effect;
    QString m_source;
    bool m_makeFailed = false;
    int m_playCount = 0;
    int m_requests = 0;
};

#endif
