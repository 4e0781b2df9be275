#include "torvsqldialects.h"

#include <mutex>

namespace {

// Outside Windows the driver "SQL SERVER" is FreeTDS. Left to choose the
// protocol, FreeTDS falls back from TDS 7.4 to the Sybase protocol 5.0 when a
// server does not answer, and then waits with no timeout at all, so the login
// timeout below would not bound open(). SQL Server speaks TDS 7.x; a TDSVER
// set by the user is kept.
void pinFreeTdsProtocol()
{
#ifndef Q_OS_WIN
    static std::once_flag once;
    std::call_once(once, [] {
        if (qEnvironmentVariableIsEmpty("TDSVER"))
            qputenv("TDSVER", "7.4");
    });
#endif
}

} // namespace

TORVSQLMS::TORVSQLMS(const TORVSQLSettings &settings)
{
    applySettings(settings);
}

namespace {

// An ODBC attribute value as the standard quotes it: in braces, with every
// closing brace doubled, so that ";", "=" and "}" inside it stay text.
QString odbcValue(const QString &value)
{
    QString braced = value;
    braced.replace(QLatin1Char('}'), QLatin1String("}}"));
    return QLatin1Char('{') + braced + QLatin1Char('}');
}

} // namespace

QString TORVSQLMS::connectionString(const TORVSQLSettings &settings)
{
    const QString port =
        settings.port != 0 ? QStringLiteral(",") + QString::number(settings.port) : QString();
    QString text = QStringLiteral("DRIVER={SQL SERVER};SERVER=") + odbcValue(settings.address + port) +
                   QStringLiteral(";DATABASE=") + odbcValue(settings.databaseName) + QLatin1Char(';');
    // Given to Qt apart, they would be appended without braces.
    if (!settings.userName.isEmpty())
        text += QStringLiteral("UID=") + odbcValue(settings.userName) + QLatin1Char(';');
    if (!settings.password.isEmpty())
        text += QStringLiteral("PWD=") + odbcValue(settings.password) + QLatin1Char(';');
    return text;
}

void TORVSQLMS::configureConnection(QSqlDatabase &database, const TORVSQLSettings &settings,
                                    const QString &connectionName)
{
    database = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connectionName);
    database.setDatabaseName(connectionString(settings));
    // Without it, a server that accepts the connection and never answers
    // keeps open() waiting forever.
    database.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=10"));
    pinFreeTdsProtocol();
}

TORVSQLResult TORVSQLMS::setForeignKeys(bool enable)
{
    return exec(QStringLiteral("EXEC sp_msforeachtable \"") +
                (enable ? QStringLiteral("ALTER TABLE ? WITH CHECK CHECK CONSTRAINT all")
                        : QStringLiteral("ALTER TABLE ? NOCHECK CONSTRAINT all")) +
                QLatin1Char('"'));
}

int TORVSQLMS::rowCount(QSqlQuery &query)
{
    return countByLastRow(query);
}

TORVSQLResult TORVSQLMS::recordExists(const QString &table, const QString &column, const QString &value)
{
    return selectFirst(QStringLiteral("SELECT TOP 1 ") + column + QStringLiteral(" FROM ") + table +
                       QStringLiteral("  WHERE ") + column + QLatin1Char('=') + sqlTextLiteral(value) +
                       QStringLiteral(";"));
}

QString TORVSQLMS::limitClause(int limit, int offset) const
{
    const QString fetchText =
        limit >= 0 ? QStringLiteral(" FETCH NEXT ") + QString::number(limit) + QStringLiteral(" ROWS ONLY ")
                   : QString();
    if (offset >= 0)
        return QStringLiteral(" OFFSET ") + QString::number(offset) + QStringLiteral(" ROWS ") + fetchText;
    if (limit >= 0)
        return QStringLiteral(" OFFSET 0 ROWS ") + fetchText;
    return QString();
}

TORVSQLResult TORVSQLMS::renameTable(const QString &oldName, const QString &newName)
{
    return exec(QStringLiteral("sp_rename '") + oldName + QStringLiteral("', '") + newName +
                QStringLiteral("';"));
}

TORVSQLResult TORVSQLMS::renameColumn(const QString &table, const QString &oldName, const QString &newName)
{
    return exec(QStringLiteral("sp_rename '") + table + QLatin1Char('.') + oldName + QStringLiteral("','") +
                newName + QStringLiteral("','COLUMN';"));
}

QString TORVSQLMS::createTableSql(const TORVSQLTable &table) const
{
    return buildCreateTableSql(table, [this](const TORVSQLColumn &column, bool singleKey) {
        QString words =
            column.name + QLatin1Char(' ') + typeName(column.type, column.size) + QLatin1Char(' ');
        if (column.flags.testFlag(TORVSQLColumnFlag::NotNull))
            words += QStringLiteral("NOT NULL ");
        if (column.flags.testFlag(TORVSQLColumnFlag::Unique))
            words += QStringLiteral("UNIQUE ");
        if (column.flags.testFlag(TORVSQLColumnFlag::AutoIncrement))
            words += QStringLiteral("IDENTITY(1,1) ");
        if (singleKey)
            words += QStringLiteral("PRIMARY KEY ");
        if (!column.defaultValue.isEmpty())
            words += QStringLiteral(" DEFAULT ") + column.defaultValue + QLatin1Char(' ');
        words += QLatin1Char(' ') + column.extra + QLatin1Char(' ');
        return words;
    });
}

QString TORVSQLMS::typeName(TORVSQLDataType type, quint32 size) const
{
    switch (type) {
    case TORVSQLDataType::Integer:
        return QStringLiteral("INT");
    case TORVSQLDataType::BigInteger:
        return QStringLiteral("BIGINT");
    case TORVSQLDataType::Boolean:
        return QStringLiteral("BIT");
    case TORVSQLDataType::Real:
        return QStringLiteral("REAL");
    case TORVSQLDataType::Text:
        return QStringLiteral("VARCHAR(MAX)");
    case TORVSQLDataType::Varchar:
        return size == 0 ? QStringLiteral("VARCHAR(MAX)") : QStringLiteral("VARCHAR(%1)").arg(size);
    case TORVSQLDataType::Blob:
        return QStringLiteral("VARBINARY(MAX)");
    case TORVSQLDataType::Date:
        return QStringLiteral("DATE");
    case TORVSQLDataType::Time:
        return QStringLiteral("TIME");
    case TORVSQLDataType::DateTime:
        return QStringLiteral("DATETIMEOFFSET");
    case TORVSQLDataType::Invalid:
        break;
    }
    return QStringLiteral("****UNKNOWN DATA TYPE****");
}

QString TORVSQLMS::foreignKeyActionName(TORVSQLForeignKeyAction action) const
{
    if (action == TORVSQLForeignKeyAction::Restrict)
        return QStringLiteral("No Action");
    return TORVSQLBase::foreignKeyActionName(action);
}

bool TORVSQLMS::addColumnNeedsBackfill() const
{
    // A nullable column added with a default leaves existing rows NULL.
    return true;
}
