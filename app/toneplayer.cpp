#include "toneplayer.h"

#include "debuglog.h"

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
    // The sound output is opened on the first beat that asks for a tone, so
    // a machine without sound hears of it only when the tone is switched on.
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
