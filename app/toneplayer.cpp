#include "toneplayer.h"

#include "debuglog.h"

#include <QSoundEffect>
#include <QUrl>
#include <QtDebug>

CTonePlayer::CTonePlayer()
{
    debugLog(4, "entering CTonePlayer constructor");
    m_effect = new QSoundEffect();
}

CTonePlayer::~CTonePlayer()
{
    delete m_effect;
}

void CTonePlayer::setSource(const QString& url)
{
    m_effect->setSource(QUrl(url));
}

bool CTonePlayer::isLoaded() const
{
    return m_effect->isLoaded();
}

void CTonePlayer::play()
{
    ++m_requests;
    if (!m_effect->isLoaded())
        return;
    qDebug().noquote() << "CTonePlayer::play() " + m_effect->source().toString();
    m_effect->setMuted(false);
    m_effect->setVolume(1.0f);
    m_effect->play();
    ++m_playCount;
}
