#ifndef MALVORANT_MEMORYTRIM_H
#define MALVORANT_MEMORYTRIM_H

#include <QObject>
#include <QTimer>

// Gives the memory a burst of work freed back to the system once things have
// settled. The start-up and each stream start build views and shaders whose
// temporaries would otherwise stay resident for the whole examination.
class MemoryTrim : public QObject
{
public:
    explicit MemoryTrim(int settleMs = 10000, QObject* parent = nullptr);

    // (Re)starts the wait; the memory goes back when it ends.
    void schedule();

private:
    QTimer m_timer;
};

#endif
