#include "torvsqltable.h"

TORVSQLColumn::TORVSQLColumn(const QString &name, TORVSQLDataType type, TORVSQLColumnFlags flags,
                             quint32 size, const QString &defaultValue, const QString &extra)
    : name(name), type(type), size(size), flags(flags), extra(extra), defaultValue(defaultValue),
      valid(!name.isEmpty() && qint32(type) >= qint32(TORVSQLDataType::Integer) &&
            qint32(type) < qint32(TORVSQLDataType::Invalid) &&
            (type != TORVSQLDataType::Varchar || size != 0))
{}

TORVSQLForeignKey::TORVSQLForeignKey(const QString &column, const QString &referencedTable,
                                     const QString &referencedColumn, TORVSQLForeignKeyAction onDelete,
                                     TORVSQLForeignKeyAction onUpdate)
    : column(column), referencedTable(referencedTable), referencedColumn(referencedColumn),
      onDelete(onDelete), onUpdate(onUpdate),
      valid(!column.isEmpty() && !referencedTable.isEmpty() && !referencedColumn.isEmpty())
{}
