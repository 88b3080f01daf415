#include "toneplayer.h"

#include "debuglog.h"
#include "soundoutput.h"

#include <QMetaEnum>
#include <QMetaProperty>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QUrl>
#include <QtDebug>

#include <utility>

CTonePlayer::CTonePlayer(EngineSource engine)
    : m_engine(std::move(engine))
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
        m_effect->setProperty("source", QUrl(url));
}

void CTonePlayer::prepare()
{
    if (!m_effect && platform::soundOutputAvailable())
        make();
}

void CTonePlayer::make()
{
    // Tried once: without the module every later beat would try again.
    if (m_effect || m_makeFailed)
        return;
    QQmlEngine* engine = m_engine ? m_engine() : nullptr;
    if (!engine)
        return;
    QQmlComponent component(engine);
    component.setData("import QtMultimedia\nSoundEffect {}\n", QUrl());
    QObject* effect = component.create();
    if (!effect) {
        m_makeFailed = true;
        debugLogError("CTonePlayer: the sound effect could not be made: " +
                      component.errorString().toStdString());
        return;
    }
    // Whichever goes first, the engine or this player, takes the effect with it.
    effect->setParent(engine);
    m_effect = effect;
    m_effect->setProperty("source", QUrl(m_source));
}

bool CTonePlayer::isLoaded() const
{
    if (!m_effect)
        return false;
    const QMetaObject* meta = m_effect->metaObject();
    const QMetaProperty status = meta->property(meta->indexOfProperty("status"));
    return status.isValid() && status.isEnumType()
           && status.read(m_effect).toInt() == status.enumerator().keyToValue("Ready");
}

void CTonePlayer::play()
{
    ++m_requests;
    // Without a sound output when the tone was switched on, the effect is
    // made on the first beat that asks for one (an output may have come since).
    make();
    if (!isLoaded())
        return;
    qDebug().noquote() << "CTonePlayer::play() " + m_effect->property("source").toUrl().toString();
    m_effect->setProperty("muted", false);
    m_effect->setProperty("volume", 1.0);
    QMetaObject::invokeMethod(m_effect, "play");
    ++m_playCount;
}
