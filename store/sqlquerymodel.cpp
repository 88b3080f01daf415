#include "sqlquerymodel.h"

#include "debuglog.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {
const int kFirstColumnRole = Qt::UserRole + 1; // 257; Qt::UserRole itself stays free
}

CSqlQueryModel::CSqlQueryModel(QObject* parent)
    : QSqlQueryModel(parent)
{
}

CSqlQueryModel::~CSqlQueryModel() = default;

// The previous result may still hold an unfinished statement; finishing it
// first lets the new query see what other connections committed since.
void CSqlQueryModel::releaseQuery()
{
    QSqlQueryModel::clear();
}

void CSqlQueryModel::setQuery(const QString& query, const QSqlDatabase& db)
{
    releaseQuery();
    QSqlQueryModel::setQuery(query, db);
    rebuildRoles();
}

void CSqlQueryModel::setQuery(const QString& query)
{
    setQuery(query, QSqlDatabase());
}

void CSqlQueryModel::setQuery(QSqlQuery query)
{
    QSqlQueryModel::setQuery(std::move(query));
    rebuildRoles();
}

void CSqlQueryModel::setBoundQuery(const QString& query, const QVariantList& values)
{
    releaseQuery();
    QSqlQuery q(QSqlDatabase::database());
    if (!q.prepare(query)) {
        debugLogError("CSqlQueryModel::setBoundQuery() " + q.lastError().text().toStdString());
    } else {
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            debugLogError("CSqlQueryModel::setBoundQuery() " + q.lastError().text().toStdString());
    }
    QSqlQueryModel::setQuery(std::move(q));
    rebuildRoles();
}

void CSqlQueryModel::rebuildRoles()
{
    m_roles.clear();
    for (int i = 0; i < record().count(); ++i)
        m_roles.insert(kFirstColumnRole + i, record().fieldName(i).toUtf8());
}

QVariant CSqlQueryModel::data(const QModelIndex& index, int role) const
{
    if (role > Qt::UserRole - 1) {
        const int column = role - kFirstColumnRole;
        if (column < 0 || column >= record().count())
            return {};
        return QSqlQueryModel::data(this->index(index.row(), column, QModelIndex()), Qt::DisplayRole);
    }
    return QSqlQueryModel::data(index, role);
}

QHash<int, QByteArray> CSqlQueryModel::roleNames() const
{
    return m_roles;
}
