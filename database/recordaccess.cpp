#include "recordaccess.h"

#include "tdeviceconfig.h"
#include "torvsqlbase.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QSqlRecord>

namespace Veltrix {
namespace Database {

namespace {

// The text returned when there is no database handle to write to.
QString noConnectionText()
{
    return QCoreApplication::translate("RecordAccess", "There is no open database connection.");
}

} // namespace

QList<TItemMap> selectRows(TORVSQLBase *handle, const QString &sql)
{
    QList<TItemMap> rows;
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

QList<TKeyName> selectKeyNames(TORVSQLBase *handle, const TItemBase &record)
{
    QList<TKeyName> pairs;
    const QString idKey = record.idColumn().toLower();
    const QString nameKey = record.nameColumn().toLower();
    const QList<TItemMap> rows = selectRows(handle, record.listSql());
    for (const TItemMap &row : rows) {
        bool ok = false;
        const qint64 id = row.value(idKey).toLongLong(&ok);
        if (ok)
            pairs.append(TKeyName(id, row.value(nameKey)));
    }
    return pairs;
}

bool selectRecordById(TORVSQLBase *handle, qint64 id, TItemBase &record)
{
    if (!handle || id < 0)
        return false;
    const TORVSQLResult result = handle->selectFirst(record.selectByIdSql(id));
    if (!result.ok || !result.value)
        return false;
    record.fromMap(TORVSQLBase::recordToMap(result.record));
    return true;
}

int countDeviceConfigsUsing(TORVSQLBase *handle, const TItemBase &record, qint64 id)
{
    if (!handle)
        return -1;
    const TORVSQLResult result =
        handle->selectFirst(QStringLiteral("SELECT count(*) FROM ") + TDeviceConfig().tableName() +
                                QStringLiteral(" WHERE ") + record.idColumn() + QStringLiteral(" = ?;"),
                            {QVariant(id)});
    bool ok = false;
    const int count = result.ok && result.value ? result.record.value(0).toInt(&ok) : -1;
    return ok ? count : -1;
}

QString writeInTransaction(TORVSQLBase *handle, const std::function<TORVSQLResult(TORVSQLBase &)> &write)
{
    if (!handle)
        return noConnectionText();
    const TORVSQLResult begin = handle->beginTransaction();
    if (!begin.ok)
        return begin.error;
    const TORVSQLResult outcome = handle->endTransaction(write(*handle));
    if (outcome.ok)
        return QString();
    // A failure must never read as a success, even without a driver text.
    return outcome.error.isEmpty()
               ? QCoreApplication::translate("RecordAccess", "The database refused the change.")
               : outcome.error;
}

QString saveInTransaction(TORVSQLBase *handle, const TItemBase &record, bool insertKey)
{
    return writeInTransaction(handle, [&](TORVSQLBase &sql) {
        return sql.save(record.tableName(), record.toMap(), record.idColumn(), QString::number(record.id()),
                        insertKey);
    });
}

QString deleteInTransaction(TORVSQLBase *handle, const QString &table, const QString &keyColumn, qint64 key)
{
    return writeInTransaction(handle, [&](TORVSQLBase &sql) {
        return sql.exec(QStringLiteral("delete from ") + table + QStringLiteral(" WHERE ") + keyColumn +
                            QStringLiteral(" = ?;"),
                        QVariantList{QVariant(key)});
    });
}

} // namespace Database
} // namespace Veltrix
