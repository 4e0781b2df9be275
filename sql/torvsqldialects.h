#pragma once

#include "torvsqlbase.h"

// Used when a connection record names no usable back end: every
// dialect-specific request fails with "Base class function does nothing" or
// returns an empty text.
class TORVSQLDummy : public TORVSQLBase
{
public:
    explicit TORVSQLDummy(const TORVSQLSettings &settings);
    QString createTableSql(const TORVSQLTable &table) const override;
    QString typeName(TORVSQLDataType type, quint32 size) const override;
};

// A database in one SQLite file through Qt's "QSQLITE" driver.
class TORVSQLite : public TORVSQLBase
{
public:
    explicit TORVSQLite(const TORVSQLSettings &settings);
    // Whether `databaseName` names a file on disk: not ":memory:", not a
    // "file:" URI, not empty.
    static bool namesFile(const QString &databaseName);
    TORVSQLResult setForeignKeys(bool enable) override;
    TORVSQLResult beginTransaction() override;
    TORVSQLResult commitTransaction() override;
    int rowCount(QSqlQuery &query) override;
    TORVSQLResult recordExists(const QString &table, const QString &column, const QString &value) override;
    TORVSQLResult copyTable(const QString &source, const QString &target) override;
    QString limitClause(int limit, int offset) const override;
    QString createTableSql(const TORVSQLTable &table) const override;
    QString typeName(TORVSQLDataType type, quint32 size) const override;
    bool addColumnNeedsBackfill() const override;

protected:
    void configureConnection(QSqlDatabase &database, const TORVSQLSettings &settings,
                             const QString &connectionName) override;
    bool storageReachable() const override;
    // Switches foreign keys on (SQLite starts every connection with them off)
    // and reads the setting back.
    TORVSQLResult prepareOpenedConnection() override;
};

// Microsoft SQL Server through Qt's "QODBC" driver and the ODBC driver "SQL SERVER".
class TORVSQLMS : public TORVSQLBase
{
public:
    explicit TORVSQLMS(const TORVSQLSettings &settings);
    // The ODBC connection string, user name and password included, every
    // value braced ("{...}", "}" doubled) so that no value can add keys.
    static QString connectionString(const TORVSQLSettings &settings);
    TORVSQLResult setForeignKeys(bool enable) override;
    int rowCount(QSqlQuery &query) override;
    TORVSQLResult recordExists(const QString &table, const QString &column, const QString &value) override;
    QString limitClause(int limit, int offset) const override;
    TORVSQLResult renameTable(const QString &oldName, const QString &newName) override;
    TORVSQLResult renameColumn(const QString &table, const QString &oldName, const QString &newName) override;
    QString createTableSql(const TORVSQLTable &table) const override;
    QString typeName(TORVSQLDataType type, quint32 size) const override;
    QString foreignKeyActionName(TORVSQLForeignKeyAction action) const override;
    bool addColumnNeedsBackfill() const override;

protected:
    void configureConnection(QSqlDatabase &database, const TORVSQLSettings &settings,
                             const QString &connectionName) override;
};

// sqlTextLiteral() is declared in torvsqlbase.h.
