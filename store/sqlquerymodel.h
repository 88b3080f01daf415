#ifndef MALVORANT_SQLQUERYMODEL_H
#define MALVORANT_SQLQUERYMODEL_H

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QVariantList>

// Read-only list model behind the QML lists. Column i of the current result
// is role 257 + i, named after the column. QML keeps the role table of the
// first query it saw, so the queries one list switches between must keep their
// columns in the same positions (the views are laid out that way).
class CSqlQueryModel : public QSqlQueryModel
{
    Q_OBJECT
public:
    explicit CSqlQueryModel(QObject* parent = nullptr);
    ~CSqlQueryModel() override;

    Q_INVOKABLE QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Q_INVOKABLE QHash<int, QByteArray> roleNames() const override;

public slots:
    void setQuery(const QString& query, const QSqlDatabase& db);
    void setQuery(const QString& query);
    void setQuery(QSqlQuery query);
    // The query with "?" placeholders and the values bound to them in order,
    // so that text typed by the user (a search filter) is never part of the SQL.
    void setBoundQuery(const QString& query, const QVariantList& values);

private:
    void releaseQuery();
    void rebuildRoles();

    QHash<int, QByteArray> m_roles;
};

#endif
