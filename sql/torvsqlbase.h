#pragma once

#include "torvsqlresult.h"
#include "torvsqlsettings.h"
#include "torvsqltable.h"

#include <QCoreApplication>
#include <QMap>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

class QThread;

using TORVSQLRowMap = QMap<QString, QString>;

// A string as an SQL text literal: single quotes around it, quotes inside doubled.
QString sqlTextLiteral(const QString &text);

// The texts that stand in for SQL when a table definition cannot be built:
// "Invalid column: <name>" and "Invalid foreign key: <column>".
QString invalidColumnText(const QString &column);
QString invalidForeignKeyText(const QString &column);
// Whether `text` (from createTableSql()) is one of those instead of SQL.
bool isInvalidDefinitionText(const QString &text);

// The database-neutral handle. Owns one Qt SQL connection (registered under
// its own name, removed on destruction), builds SQL from the table model,
// runs statements with bound values and reports every outcome as a
// TORVSQLResult. Dialects override the virtual operations.
//
// One object is used by one thread at a time. A connection opened on a worker
// thread must be handed over with moveConnectionToThread() before another
// thread uses it.
class TORVSQLBase
{
    Q_DECLARE_TR_FUNCTIONS(TORVSQLBase)

public:
    virtual ~TORVSQLBase();

    TORVSQLBase(const TORVSQLBase &) = delete;
    TORVSQLBase &operator=(const TORVSQLBase &) = delete;

    // --- dialect operations ---------------------------------------------
    virtual TORVSQLResult setForeignKeys(bool enable);
    virtual TORVSQLResult beginTransaction();
    virtual TORVSQLResult commitTransaction();
    // Commits when `result` is ok, otherwise rolls back. A failed `result` is
    // returned as it was (the rollback's own failure text appended after a
    // newline), so a failed write is never reported as a success. A commit
    // that fails is rolled back too and its failure returned.
    virtual TORVSQLResult endTransaction(const TORVSQLResult &result);
    virtual TORVSQLResult rollbackTransaction();
    virtual int rowCount(QSqlQuery &query);
    virtual TORVSQLResult recordExists(const QString &table, const QString &column, const QString &value);
    virtual TORVSQLResult copyTable(const QString &source, const QString &target);
    virtual QString limitClause(int limit, int offset) const; // negative = not given
    virtual TORVSQLResult renameTable(const QString &oldName, const QString &newName);
    virtual TORVSQLResult renameColumn(const QString &table, const QString &oldName, const QString &newName);
    // SQL text, or an invalid-definition text (isInvalidDefinitionText()).
    virtual QString createTableSql(const TORVSQLTable &table) const = 0;
    virtual QString typeName(TORVSQLDataType type, quint32 size) const = 0;
    virtual QString foreignKeyActionName(TORVSQLForeignKeyAction action) const;
    // Whether addColumn() must rewrite existing rows to give them a new
    // column's default (true where ALTER TABLE ... DEFAULT leaves them NULL).
    virtual bool addColumnNeedsBackfill() const;

    // --- connection ---------------------------------------------------------
    TORVSQLResult applySettings(const TORVSQLSettings &settings);
    TORVSQLResult open();
    TORVSQLResult reopen();
    bool isOpen() const;
    void close();
    TORVSQLSettings settings() const;
    QString qtConnectionName() const;
    // Runs "SELECT 1"; "Database Connection is inactive" when that fails or
    // when what the connection points at is gone (see storageReachable()).
    TORVSQLResult checkConnection();
    // Moves the driver to `thread`. Call it from the thread the connection
    // currently belongs to (the worker that opened it).
    void moveConnectionToThread(QThread *thread);

    // --- statements ---------------------------------------------------------
    QSqlQuery prepare(const QString &sql);
    TORVSQLResult run(QSqlQuery &query);      // statement rule
    TORVSQLResult runFirst(QSqlQuery &query); // first-row rule
    TORVSQLResult selectFirst(const QString &sql, const QVariantList &values = QVariantList());
    TORVSQLResult exec(const QString &sql, const QVariantList &values = QVariantList());
    static TORVSQLRowMap recordToMap(const QSqlRecord &record);
    TORVSQLResult save(const QString &table, const TORVSQLRowMap &fields, const QString &keyColumn,
                       const QString &keyValue, bool insertKey);
    TORVSQLResult dropTable(const QString &table);
    TORVSQLResult addColumn(const QString &table, const TORVSQLColumn &column,
                            const TORVSQLForeignKey &foreignKey = TORVSQLForeignKey());

protected:
    TORVSQLBase();
    // Registers and fills the Qt connection for `settings` under `connectionName`.
    virtual void configureConnection(QSqlDatabase &database, const TORVSQLSettings &settings,
                                     const QString &connectionName);
    QSqlDatabase &database();
    // Whether what the connection points at is still there (the SQLite dialect
    // checks that its file was not deleted under an open connection).
    virtual bool storageReachable() const;
    // Runs on every connection right after the driver opened it (open() and
    // reopen()); a failure closes the connection again and is the failure of
    // the open.
    virtual TORVSQLResult prepareOpenedConnection();
    // The shared shape of CREATE TABLE: "CREATE TABLE name (", the columns
    // (words of one column from `columnWords`, told whether the column is the
    // table's single-column key), a composite key clause, the foreign keys, ");".
    using ColumnWords = std::function<QString(const TORVSQLColumn &column, bool singleKey)>;
    QString buildCreateTableSql(const TORVSQLTable &table, const ColumnWords &columnWords) const;
    // Row count of an executed select by moving to its last row and back; 0 without rows.
    static int countByLastRow(QSqlQuery &query);

private:
    void releaseConnection();
    TORVSQLResult statementFailure(const QSqlQuery &query) const;
    // The connection's last error; error texts never show the password.
    QString driverError() const;
    QString withoutPassword(const QString &text) const;

    std::shared_ptr<QSqlDatabase> m_database;
    QString m_qtConnectionName;
    TORVSQLSettings m_settings;
    mutable QMutex m_lock;
    QString m_settingsError; // why the last applySettings() configured no connection
};
