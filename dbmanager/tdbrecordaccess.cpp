#include "tdbrecordaccess.h"

#include "torvsqlbase.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QSqlRecord>

namespace Veltrix {

QString NoConnectionText()
{
    return QCoreApplication::translate("TEditorBaseForm", "There is no open database connection.");
}

QList<Database::TItemMap> SelectRows(TORVSQLBase *handle, const QString &sql)
{
    QList<Database::TItemMap> rows;
    if (!handle)
        return rows;
    QSqlQuery query = handle->prepare(sql);
    query.setForwardOnly(true);
    if (!handle->run(query).ok)
        return rows;
    while (query.next())
        rows.append(TORVSQLBase::recordToMap(query.record()));
    return rows;
}

QList<TDBKeyName> SelectKeyNames(TORVSQLBase *handle, const Database::TItemBase &record)
{
    QList<TDBKeyName> pairs;
    const QString idKey = record.idColumn().toLower();
    const QString nameKey = record.nameColumn().toLower();
    const QList<Database::TItemMap> rows = SelectRows(handle, record.listSql());
    for (const Database::TItemMap &row : rows) {
        bool ok = false;
        const qint64 id = row.value(idKey).toLongLong(&ok);
        if (ok)
            pairs.append(TDBKeyName(id, row.value(nameKey)));
    }
    return pairs;
}

bool SelectRecordById(TORVSQLBase *handle, qint64 id, Database::TItemBase &record)
{
    if (!handle || id < 0)
        return false;
    const TORVSQLResult result = handle->selectFirst(record.selectByIdSql(id));
    if (!result.ok || !result.value)
        return false;
    record.fromMap(TORVSQLBase::recordToMap(result.record));
    return true;
}

QString WriteInTransaction(TORVSQLBase *handle, const std::function<TORVSQLResult(TORVSQLBase &)> &write)
{
    if (!handle)
        return NoConnectionText();
    const TORVSQLResult begin = handle->beginTransaction();
    if (!begin.ok)
        return begin.error;
    const TORVSQLResult outcome = handle->endTransaction(write(*handle));
    if (outcome.ok)
        return QString();
    // A failure must never read as a success, even without a driver text.
    return outcome.error.isEmpty()
               ? QCoreApplication::translate("TEditorBaseForm", "The database refused the change.")
               : outcome.error;
}

QString DeleteInTransaction(TORVSQLBase *handle, const QString &table, const QString &keyColumn, qint64 key)
{
    return WriteInTransaction(handle, [&](TORVSQLBase &sql) {
        return sql.exec(QStringLiteral("delete from ") + table + QStringLiteral(" WHERE ") + keyColumn +
                            QStringLiteral(" = ?;"),
                        QVariantList{QVariant(key)});
    });
}

} // namespace Veltrix
