#include "torvsqldialects.h"

#include <QFileInfo>

namespace {
// How long a statement waits for a lock held by another connection (the
// service) before it fails with "database is locked".
const int busyTimeoutMs = 5000;
} // namespace

TORVSQLite::TORVSQLite(const TORVSQLSettings &settings)
{
    applySettings(settings);
}

void TORVSQLite::configureConnection(QSqlDatabase &database, const TORVSQLSettings &settings,
                                     const QString &connectionName)
{
    database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    database.setDatabaseName(settings.databaseName);
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
}

bool TORVSQLite::namesFile(const QString &databaseName)
{
    return !databaseName.isEmpty() && databaseName != QLatin1String(":memory:") &&
           !databaseName.startsWith(QLatin1String("file:"));
}

bool TORVSQLite::storageReachable() const
{
    // An open connection keeps working on a file that was deleted meanwhile;
    // whatever it writes then is lost.
    const QString path = settings().databaseName;
    return !namesFile(path) || QFileInfo::exists(path);
}

TORVSQLResult TORVSQLite::prepareOpenedConnection()
{
    TORVSQLResult result = setForeignKeys(true);
    if (result.ok) {
        result = selectFirst(QStringLiteral("PRAGMA foreign_keys;"));
        if (result.ok && result.record.value(0).toInt() != 1)
            result = TORVSQLResult::failure(TORVSQLBase::tr("The database does not enforce foreign keys."));
    }
    result.setErrorIfFailed(TORVSQLBase::tr("Foreign keys could not be switched on: ") + result.error);
    return result;
}

TORVSQLResult TORVSQLite::setForeignKeys(bool enable)
{
    return exec(QStringLiteral("PRAGMA foreign_keys = ") +
                (enable ? QStringLiteral("ON;") : QStringLiteral("OFF;")));
}

TORVSQLResult TORVSQLite::beginTransaction()
{
    TORVSQLResult result = exec(QStringLiteral("BEGIN EXCLUSIVE TRANSACTION;"));
    result.setErrorIfFailed(TORVSQLBase::tr("Failed to begin transaction: ") + result.error);
    return result;
}

TORVSQLResult TORVSQLite::commitTransaction()
{
    TORVSQLResult result = exec(QStringLiteral("COMMIT TRANSACTION;"));
    result.setErrorIfFailed(TORVSQLBase::tr("Failed to commit transaction: ") + result.error);
    return result;
}

int TORVSQLite::rowCount(QSqlQuery &query)
{
    return countByLastRow(query);
}

TORVSQLResult TORVSQLite::recordExists(const QString &table, const QString &column, const QString &value)
{
    return selectFirst(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM ") + table +
                       QStringLiteral("  WHERE ") + column + QLatin1Char('=') + sqlTextLiteral(value) +
                       QStringLiteral("  LIMIT 1;"));
}

TORVSQLResult TORVSQLite::copyTable(const QString &source, const QString &target)
{
    return exec(QStringLiteral("CREATE TABLE ") + target + QStringLiteral(" AS SELECT * FROM ") + source +
                QStringLiteral(";"));
}

QString TORVSQLite::limitClause(int limit, int offset) const
{
    const QString offsetText =
        offset >= 0 ? QStringLiteral(" OFFSET ") + QString::number(offset) + QLatin1Char(' ') : QString();
    if (limit >= 0)
        return QStringLiteral(" LIMIT ") + QString::number(limit) + QLatin1Char(' ') + offsetText;
    if (offset >= 0)
        return QStringLiteral(" LIMIT 999999 ") + offsetText;
    return QString();
}

QString TORVSQLite::createTableSql(const TORVSQLTable &table) const
{
    return buildCreateTableSql(table, [this](const TORVSQLColumn &column, bool singleKey) {
        QString words =
            column.name + QLatin1Char(' ') + typeName(column.type, column.size) + QLatin1Char(' ');
        if (column.flags.testFlag(TORVSQLColumnFlag::NotNull))
            words += QStringLiteral("NOT NULL ");
        if (column.flags.testFlag(TORVSQLColumnFlag::Unique))
            words += QStringLiteral("UNIQUE ");
        if (!column.defaultValue.isEmpty())
            words += QStringLiteral(" DEFAULT ") + column.defaultValue + QLatin1Char(' ');
        words += QLatin1Char(' ') + column.extra + QLatin1Char(' ');
        if (singleKey)
            words += QStringLiteral("PRIMARY KEY ");
        if (column.flags.testFlag(TORVSQLColumnFlag::AutoIncrement))
            words += QStringLiteral("AUTOINCREMENT ");
        return words;
    });
}

QString TORVSQLite::typeName(TORVSQLDataType type, quint32 size) const
{
    switch (type) {
    case TORVSQLDataType::Integer:
    case TORVSQLDataType::BigInteger:
        return QStringLiteral("INTEGER");
    case TORVSQLDataType::Boolean:
        return QStringLiteral("BOOLEAN");
    case TORVSQLDataType::Real:
        return QStringLiteral("REAL");
    case TORVSQLDataType::Text:
        return QStringLiteral("TEXT");
    case TORVSQLDataType::Varchar:
        return size == 0 ? QStringLiteral("VARCHAR(MAX)") : QStringLiteral("VARCHAR(%1)").arg(size);
    case TORVSQLDataType::Blob:
        return QStringLiteral("BLOB");
    case TORVSQLDataType::Date:
        return QStringLiteral("DATE");
    case TORVSQLDataType::Time:
        return QStringLiteral("TIME");
    case TORVSQLDataType::DateTime:
        return QStringLiteral("DATETIME");
    case TORVSQLDataType::Invalid:
        break;
    }
    return QStringLiteral("****UNKNOWN DATA TYPE****");
}

bool TORVSQLite::addColumnNeedsBackfill() const
{
    // ALTER TABLE ... ADD gives existing rows the new column's default already.
    return false;
}
