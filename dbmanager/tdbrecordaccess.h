#pragma once

#include "titembase.h"
#include "torvsqlresult.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class TORVSQLBase;

namespace Veltrix {

using TDBKeyName = QPair<qint64, QString>;

// Every row of `sql` (run on `handle`) as a row map with lower-cased column
// names; empty when the statement fails or there is no handle.
QList<Database::TItemMap> SelectRows(TORVSQLBase *handle, const QString &sql);

// The (key, name) pairs of a record's listSql().
QList<TDBKeyName> SelectKeyNames(TORVSQLBase *handle, const Database::TItemBase &record);

// Fills `record` from the row with the key `id`; false when there is no such row.
bool SelectRecordById(TORVSQLBase *handle, qint64 id, Database::TItemBase &record);

// The record with the key `id`, or a default record when there is no such row.
template <typename Record> Record RecordByIdOrDefault(TORVSQLBase *handle, qint64 id)
{
    Record record;
    if (!SelectRecordById(handle, id, record))
        record = Record();
    return record;
}

// Runs `write` inside one transaction of `handle`: a failed start is returned
// at once without writing; otherwise the write's result ends the transaction
// (commit on success, roll back on failure). Returns the error text of the
// outcome, empty on success.
QString WriteInTransaction(TORVSQLBase *handle, const std::function<TORVSQLResult(TORVSQLBase &)> &write);

// Deletes the row of `table` whose `keyColumn` is `key`, inside one transaction.
QString DeleteInTransaction(TORVSQLBase *handle, const QString &table, const QString &keyColumn, qint64 key);

// The text returned when an editor has no database handle.
QString NoConnectionText();

} // namespace Veltrix
