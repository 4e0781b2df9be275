#pragma once

#include "titembase.h"
#include "torvsqlresult.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class TORVSQLBase;

// Reading and writing the rows of the record classes through an SQL handle.
// Every function accepts a null handle and then finds nothing or refuses to
// write.

namespace Veltrix {
namespace Database {

// A record's key and name, as its listSql() lists them.
using TKeyName = QPair<qint64, QString>;

// Every row of `sql` (run on `handle`) as a row map with lower-cased column
// names; empty when the statement fails or there is no handle.
QList<TItemMap> selectRows(TORVSQLBase *handle, const QString &sql);

// The (key, name) pairs of a record's listSql().
QList<TKeyName> selectKeyNames(TORVSQLBase *handle, const TItemBase &record);

// Fills `record` from the row with the key `id`; false when there is no such row.
bool selectRecordById(TORVSQLBase *handle, qint64 id, TItemBase &record);

// The record with the key `id`, or a default record when there is no such row.
template <typename Record> Record recordByIdOrDefault(TORVSQLBase *handle, qint64 id)
{
    Record record;
    if (!selectRecordById(handle, id, record))
        record = Record();
    return record;
}

// How many device configs refer to the row of `record`'s table whose key is
// `id` (through the column of that key, e.g. LocationID or EmailConfigID);
// the database deletes them with that row. -1 when they cannot be counted.
int countDeviceConfigsUsing(TORVSQLBase *handle, const TItemBase &record, qint64 id);

// Runs `write` inside one transaction of `handle`: a failed start is returned
// at once without writing; otherwise the write's result ends the transaction
// (commit on success, roll back on failure). Returns the error text of the
// outcome, empty on success.
QString writeInTransaction(TORVSQLBase *handle, const std::function<TORVSQLResult(TORVSQLBase &)> &write);

// Stores `record` (TORVSQLBase::save() on its table, key column and id)
// inside one transaction; `insertKey` as for save(). The error text, empty
// on success.
QString saveInTransaction(TORVSQLBase *handle, const TItemBase &record, bool insertKey);

// Deletes the row of `table` whose `keyColumn` is `key`, inside one transaction.
QString deleteInTransaction(TORVSQLBase *handle, const QString &table, const QString &keyColumn, qint64 key);

} // namespace Database
} // namespace Veltrix
