#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

// Dialect-neutral table definitions; the dialects turn them into SQL.

enum class TORVSQLDataType : qint32 {
    Integer = 0,
    BigInteger = 1,
    Boolean = 2,
    Real = 3,
    Text = 4,
    Varchar = 5,
    Blob = 6,
    Date = 7,
    Time = 8,
    DateTime = 9,
    Invalid = 10
};

enum class TORVSQLColumnFlag : quint32 { NotNull = 1, Unique = 2, AutoIncrement = 4 };
Q_DECLARE_FLAGS(TORVSQLColumnFlags, TORVSQLColumnFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TORVSQLColumnFlags)

enum class TORVSQLForeignKeyAction : qint32 { Restrict = 0, SetNull = 1, SetDefault = 2, Cascade = 3 };

struct TORVSQLColumn
{
    QString name;
    TORVSQLDataType type = TORVSQLDataType::Invalid;
    quint32 size = 0; // 0 = unbounded; only Varchar uses it
    TORVSQLColumnFlags flags;
    QString extra;        // free SQL text placed after the column's type/default
    QString defaultValue; // SQL literal text, e.g. "'0.05'" or "-1"
    bool valid = false;

    TORVSQLColumn() = default;
    TORVSQLColumn(const QString &name, TORVSQLDataType type, TORVSQLColumnFlags flags = {},
                  quint32 size = 0, const QString &defaultValue = QString(), const QString &extra = QString());
};

struct TORVSQLForeignKey
{
    QString column;
    QString referencedTable;
    QString referencedColumn;
    TORVSQLForeignKeyAction onDelete = TORVSQLForeignKeyAction::Restrict;
    TORVSQLForeignKeyAction onUpdate = TORVSQLForeignKeyAction::Restrict;
    bool valid = false;

    TORVSQLForeignKey() = default;
    TORVSQLForeignKey(const QString &column, const QString &referencedTable, const QString &referencedColumn,
                      TORVSQLForeignKeyAction onDelete = TORVSQLForeignKeyAction::Restrict,
                      TORVSQLForeignKeyAction onUpdate = TORVSQLForeignKeyAction::Restrict);
};

struct TORVSQLTable
{
    QString name;
    QList<TORVSQLColumn> columns;
    QList<TORVSQLForeignKey> foreignKeys;
    QStringList primaryKey;

    TORVSQLTable() = default;
    explicit TORVSQLTable(const QString &name) : name(name) {}
};
