#pragma once

#include "torvsqltable.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace Veltrix {
namespace Database {
namespace Schema {

// The application database as data. A new database is built from the
// version-1 tables and the Info row, then every step below is applied in
// order; the procedure that runs them lives in TVXDatabase.

// First version a new database is built as.
constexpr int firstVersion = 1;
// Highest dbSoftwareMinimum this software accepts.
constexpr int highestAcceptedSoftwareMinimum = 12;

// One operation of a version step.
struct TSchemaOperation
{
    enum class Kind
    {
        CreateTable,       // definition
        RenameTable,       // table -> newName
        AddColumn,         // table, column, foreignKey (invalid when none)
        DropTable,         // table
        Statement,         // sql, on every back end
        SqlServerStatement // sql, only on Microsoft SQL Server connections
    };

    Kind kind = Kind::Statement;
    QString table;
    QString newName;
    TORVSQLTable definition;
    TORVSQLColumn column;
    TORVSQLForeignKey foreignKey;
    QString sql;

    // One line describing the operation, for progress output.
    QString describe() const;
};

// The operations that bring a database from version - 1 to version. The
// procedure writes Info.dbVersion as the last operation of each step.
struct TSchemaStep
{
    int version = 0;
    QList<TSchemaOperation> operations;
};

// The eleven version-1 tables, in the order they are created.
QList<TORVSQLTable> versionOneTables();

// The statement that writes the single Info row of a new database.
QString infoRowInsert(const QDateTime &now);

// The table created at version 12.
TORVSQLTable notificationConfigTable();

// Steps 2 to 12, in order. Defaults that depend on the machine (offset from
// UTC, time zone name) are taken when this is called.
QList<TSchemaStep> upgradeSteps();

// The parts of the steps that depend on the machine running the upgrade.
QString machineUtcOffsetDefault();
QString machineTimeZoneDefault();

} // namespace Schema
} // namespace Database
} // namespace Veltrix
