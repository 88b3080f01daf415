#include "memorytrim.h"

#include "largeblocks.h"

MemoryTrim::MemoryTrim(int settleMs, QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(settleMs);
    connect(&m_timer, &QTimer::timeout, this, [] { platform::returnFreedMemoryToSystem(); });
}

void MemoryTrim::schedule()
{
    m_timer.start();
}
