#ifndef MALVORANT_SQLUTIL_H
#define MALVORANT_SQLUTIL_H

#include <QSqlDatabase>
#include <QString>

// The escaping step for a text value that must go between single quotes in a
// statement and cannot be bound. Backslash escapes are kept by SQLite as
// written; only the doubled single quote is undone. Prefer bound values.
QString escapeSqlLiteral(const QString& text);

// Nesting-aware transaction guard. Only the outermost guard of a connection
// (counted per connection name on the calling thread) begins and commits; inner
// guards join it. A guard destroyed without commit() rolls back: an inner one
// dooms the outer transaction, whose commit() then rolls back and fails.
class CDbTransaction
{
public:
    explicit CDbTransaction(const QSqlDatabase& db);
    ~CDbTransaction();

    CDbTransaction(const CDbTransaction&) = delete;
    CDbTransaction& operator=(const CDbTransaction&) = delete;

    // False when the outermost begin failed; nothing may be written then.
    bool isActive() const { return m_active; }
    bool isOutermost() const { return m_outermost; }
    // True when the work is (or, for an inner guard, may still be) committed.
    bool commit();
    void rollback();

    // Open guards on the connection in this thread (0 = no transaction).
    static int depth(const QSqlDatabase& db);

private:
    void finish(bool commitWanted);

    QSqlDatabase m_db;
    bool m_active = false;
    bool m_outermost = false;
    bool m_done = false;
    bool m_committed = false;
};

#endif
