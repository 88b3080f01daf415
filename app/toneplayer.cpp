#include "toneplayer.h"

#include "debuglog.h"
#include "soundoutput.h"

#include <QSoundEffect>
#include <QUrl>
#include <QtDebug>

CTonePlayer::CTonePlayer()
{
    debugLog(4, "entering CTonePlayer constructor");
}

CTonePlayer::~CTonePlayer()
{
    delete m_effect;
}

void CTonePlayer::setSource(const QString& url)
{
    m_source = url;
    // Loading takes a while: with a sound output at hand the tone is loaded
    // now, so the first beat is heard too.
    if (!m_effect && platform::soundOutputAvailable())
        m_effect = new QSoundEffect();
    if (m_effect)
        m_effect->setSource(QUrl(url));
}

bool CTonePlayer::isLoaded() const
{
    return m_effect && m_effect->isLoaded();
}

void CTonePlayer::play()
{
    ++m_requests;
    // Without a sound output at start the effect is made on the first beat
    // that asks for a tone (an output may have come since), so a machine
    // without sound hears of it only when the tone is switched on.
    if (!m_effect) {
        m_effect = new QSoundEffect();
        m_effect->setSource(QUrl(m_source));
    }
    if (!m_effect->isLoaded())
        return;
    qDebug().noquote() << "CTonePlayer::play() " + m_effect->source().toString();
    m_effect->setMuted(false);
    m_effect->setVolume(1.0f);
    m_effect->play();
    ++m_playCount;
}
