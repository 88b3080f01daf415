#ifndef MALVORANT_TONEPLAYER_H
#define MALVORANT_TONEPLAYER_H

#include <QObject>
#include <QString>

class QSoundEffect;

// The short tone of one heart beat. A source that cannot be loaded makes
// play() do nothing.
class CTonePlayer : public QObject
{
    Q_OBJECT

public:
    CTonePlayer();
    ~CTonePlayer() override;

    CTonePlayer(const CTonePlayer&) = delete;
    CTonePlayer& operator=(const CTonePlayer&) = delete;

    void setSource(const QString& url);
    void play();
    // Tones started since construction (tests count them; silent machines too).
    int playCount() const { return m_playCount; }
    // Calls of play(), loaded or not.
    int requestCount() const { return m_requests; }
    bool isLoaded() const;

private:
    QSoundEffect* m_effect = nullptr;
    QString m_source;
    int m_playCount = 0;
    int m_requests = 0;
};

#endif
