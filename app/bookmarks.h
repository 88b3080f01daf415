#ifndef MALVORANT_BOOKMARKS_H
#define MALVORANT_BOOKMARKS_H

#include <QDateTime>
#include <QList>

// The bookmarks of the shown recording, in the order they were set
// (duplicates allowed): the chart marks them, the PDF report prints them.
// Showing another recording empties the list.
class Bookmarks
{
public:
    struct Mark {
        int entry = 0;
        QDateTime time;
    };

    void add(int entry, const QDateTime& time) { m_marks.append({entry, time}); }
    void clear() { m_marks.clear(); }
    const QList<Mark>& marks() const { return m_marks; }
    bool isEmpty() const { return m_marks.isEmpty(); }

private:
    QList<Mark> m_marks;
};

#endif
