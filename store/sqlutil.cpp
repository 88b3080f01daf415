#include "sqlutil.h"

#include "debuglog.h"

#include <QHash>
#include <QSqlError>

QString escapeSqlLiteral(const QString& text)
{
    QString out = text;
    // Backslashes first, so the ones added below stay single.
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    out.replace(QChar(0x1A), QLatin1String("\\Z"));
    return out;
}

namespace {
struct TransactionState
{
    int depth = 0;
    bool doomed = false;
};

// A connection is used by one thread only, so the count lives per thread.
QHash<QString, TransactionState>& states()
{
    thread_local QHash<QString, TransactionState> s;
    return s;
}
}

CDbTransaction::CDbTransaction(const QSqlDatabase& db)
    : m_db(db)
{
    TransactionState& st = states()[m_db.connectionName()];
    if (st.depth == 0) {
        if (!m_db.transaction()) {
            debugLogError("CDbTransaction() unable to begin transaction, error="
                          + m_db.lastError().text().toStdString());
            states().remove(m_db.connectionName());
            m_done = true;
            return;
        }
        st.doomed = false;
        m_outermost = true;
    }
    ++st.depth;
    m_active = true;
}

CDbTransaction::~CDbTransaction()
{
    if (!m_done)
        finish(false);
}

bool CDbTransaction::commit()
{
    if (m_done)
        return false;
    TransactionState& st = states()[m_db.connectionName()];
    const bool doomed = st.doomed;
    finish(true);
    if (!m_outermost)
        return !doomed;
    return m_committed;
}

void CDbTransaction::rollback()
{
    if (!m_done)
        finish(false);
}

void CDbTransaction::finish(bool commitWanted)
{
    m_done = true;
    const QString name = m_db.connectionName();
    TransactionState& st = states()[name];
    if (!commitWanted)
        st.doomed = true;
    if (--st.depth > 0)
        return;
    const bool doomed = st.doomed;
    states().remove(name);
    if (!doomed && m_db.commit()) {
        m_committed = true;
        return;
    }
    if (!doomed)
        debugLogError("CDbTransaction::commit() failed, error=" + m_db.lastError().text().toStdString());
    if (!m_db.rollback())
        debugLogError("CDbTransaction rollback failed, error=" + m_db.lastError().text().toStdString());
}

int CDbTransaction::depth(const QSqlDatabase& db)
{
    auto it = states().constFind(db.connectionName());
    return it == states().constEnd() ? 0 : it->depth;
}
