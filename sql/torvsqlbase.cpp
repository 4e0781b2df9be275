#include "torvsqlbase.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QThread>

#include <utility>

namespace {

const char *const notImplementedText = "Base class function does nothing";
const char *const notOpenText = "Database is not open";

bool driverReady(const QSqlQuery &query)
{
    const QSqlDriver *driver = query.driver();
    return driver && driver->isOpen() && !driver->isOpenError();
}

QString driverText(const QSqlDatabase &database)
{
    const QString text = database.lastError().text().trimmed();
    return text.isEmpty() ? QString::fromLatin1(notOpenText) : text;
}

} // namespace

QString sqlTextLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

namespace {

const QLatin1String invalidColumnPrefix("Invalid column: ");
const QLatin1String invalidForeignKeyPrefix("Invalid foreign key: ");

} // namespace

QString invalidColumnText(const QString &column)
{
    return invalidColumnPrefix + column;
}

QString invalidForeignKeyText(const QString &column)
{
    return invalidForeignKeyPrefix + column;
}

bool isInvalidDefinitionText(const QString &text)
{
    return text.startsWith(invalidColumnPrefix) || text.startsWith(invalidForeignKeyPrefix);
}

TORVSQLBase::TORVSQLBase() : m_database(std::make_shared<QSqlDatabase>())
{}

TORVSQLBase::~TORVSQLBase()
{
    releaseConnection();
}

void TORVSQLBase::releaseConnection()
{
    // Qt keeps the connection registered until removeDatabase(); it warns
    // when a QSqlDatabase copy is still alive then, so ours goes first.
    const bool registered =
        m_database && !m_qtConnectionName.isEmpty() && m_database->connectionName() == m_qtConnectionName;
    if (m_database && m_database->isOpen())
        m_database->close();
    m_database.reset();
    if (registered)
        QSqlDatabase::removeDatabase(m_qtConnectionName);
}

// --- dialect operations --------------------------------------------------------

TORVSQLResult TORVSQLBase::setForeignKeys(bool)
{
    return TORVSQLResult::failure(QString::fromLatin1(notImplementedText));
}

TORVSQLResult TORVSQLBase::beginTransaction()
{
    if (m_database->transaction())
        return TORVSQLResult::success(true);
    return TORVSQLResult::failure(TORVSQLBase::tr("Failed to begin transaction: ") +
                                  TORVSQLResult::deduplicate(driverError()));
}

TORVSQLResult TORVSQLBase::commitTransaction()
{
    if (m_database->commit())
        return TORVSQLResult::success(true);
    return TORVSQLResult::failure(TORVSQLBase::tr("Failed to commit transaction: ") +
                                  TORVSQLResult::deduplicate(driverError()));
}

TORVSQLResult TORVSQLBase::endTransaction(const TORVSQLResult &result)
{
    TORVSQLResult outcome = result;
    if (result.ok) {
        outcome = commitTransaction();
        if (outcome.ok)
            return outcome;
        // A commit that failed leaves the transaction (and, for SQLite, the
        // exclusive lock on the file) open: give it up.
    }
    const TORVSQLResult rollback = rollbackTransaction();
    if (!rollback.ok)
        outcome.error =
            outcome.error.isEmpty() ? rollback.error : outcome.error + QLatin1Char('\n') + rollback.error;
    return outcome;
}

TORVSQLResult TORVSQLBase::rollbackTransaction()
{
    if (m_database->rollback())
        return TORVSQLResult::success(true);
    return TORVSQLResult::failure(TORVSQLBase::tr("Failed to roll back transaction: ") +
                                  TORVSQLResult::deduplicate(driverError()));
}

int TORVSQLBase::rowCount(QSqlQuery &query)
{
    return query.size();
}

TORVSQLResult TORVSQLBase::recordExists(const QString &, const QString &, const QString &)
{
    return TORVSQLResult::failure(QString::fromLatin1(notImplementedText));
}

TORVSQLResult TORVSQLBase::copyTable(const QString &source, const QString &target)
{
    return exec(QStringLiteral("SELECT * INTO ") + target + QStringLiteral(" FROM ") + source +
                QStringLiteral(";"));
}

QString TORVSQLBase::limitClause(int, int) const
{
    return QString();
}

TORVSQLResult TORVSQLBase::renameTable(const QString &oldName, const QString &newName)
{
    return exec(QStringLiteral("ALTER TABLE ") + oldName + QStringLiteral(" RENAME TO ") + newName +
                QStringLiteral(";"));
}

TORVSQLResult TORVSQLBase::renameColumn(const QString &table, const QString &oldName, const QString &newName)
{
    return exec(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" RENAME COLUMN ") + oldName +
                QStringLiteral(" TO ") + newName + QStringLiteral(";"));
}

QString TORVSQLBase::foreignKeyActionName(TORVSQLForeignKeyAction action) const
{
    switch (action) {
    case TORVSQLForeignKeyAction::Restrict:
        return QStringLiteral("RESTRICT");
    case TORVSQLForeignKeyAction::SetNull:
        return QStringLiteral("SET NULL");
    case TORVSQLForeignKeyAction::SetDefault:
        return QStringLiteral("SET DEFAULT");
    case TORVSQLForeignKeyAction::Cascade:
        return QStringLiteral("CASCADE");
    }
    return QString();
}

bool TORVSQLBase::addColumnNeedsBackfill() const
{
    return true;
}

void TORVSQLBase::configureConnection(QSqlDatabase &, const TORVSQLSettings &, const QString &)
{}

bool TORVSQLBase::storageReachable() const
{
    return true;
}

TORVSQLResult TORVSQLBase::prepareOpenedConnection()
{
    return TORVSQLResult::success(true);
}

// --- connection ------------------------------------------------------------------

TORVSQLResult TORVSQLBase::applySettings(const TORVSQLSettings &settings)
{
    QMutexLocker locker(&m_lock);
    m_settings = settings;
    releaseConnection();
    m_database = std::make_shared<QSqlDatabase>();
    m_qtConnectionName = TORVSQLSettings::nextQtConnectionName(settings.connectionName);

    if (settings.type == TORVSQLSettings::Unknown)
        m_settingsError = TORVSQLBase::tr("No database selected");
    else if (settings.databaseName.isEmpty())
        m_settingsError = TORVSQLBase::tr("Database name cannot be empty");
    else
        m_settingsError.clear();
    if (!m_settingsError.isEmpty())
        return TORVSQLResult::failure(m_settingsError);

    configureConnection(*m_database, settings, m_qtConnectionName);
    return TORVSQLResult::success(true);
}

TORVSQLResult TORVSQLBase::open()
{
    if (m_database->isOpen())
        return TORVSQLResult::success(true);
    return reopen();
}

TORVSQLResult TORVSQLBase::reopen()
{
    if (!m_database->isValid() && !m_settingsError.isEmpty())
        return TORVSQLResult::failure(m_settingsError);
    if (!m_database->open())
        return TORVSQLResult::driverFailure(driverError());
    const TORVSQLResult prepared = prepareOpenedConnection();
    if (!prepared.ok)
        m_database->close();
    return prepared;
}

bool TORVSQLBase::isOpen() const
{
    return m_database->isOpen();
}

void TORVSQLBase::close()
{
    m_database->close();
}

TORVSQLSettings TORVSQLBase::settings() const
{
    QMutexLocker locker(&m_lock);
    return m_settings;
}

QString TORVSQLBase::qtConnectionName() const
{
    QMutexLocker locker(&m_lock);
    return m_qtConnectionName;
}

TORVSQLResult TORVSQLBase::checkConnection()
{
    TORVSQLResult result = exec(QStringLiteral("SELECT 1"));
    if (result.ok && storageReachable())
        return result;
    return TORVSQLResult::failure(QStringLiteral("Database Connection is inactive"));
}

void TORVSQLBase::moveConnectionToThread(QThread *thread)
{
    // A handle whose record was refused never registered a connection: it
    // holds Qt's shared null driver, which belongs to no one and must stay put.
    if (m_qtConnectionName.isEmpty() || !QSqlDatabase::contains(m_qtConnectionName))
        return;
    QSqlDriver *driver = m_database->driver();
    if (!thread || !driver || driver->thread() == thread)
        return;
    driver->moveToThread(thread);
}

QSqlDatabase &TORVSQLBase::database()
{
    return *m_database;
}

// --- statements ------------------------------------------------------------------

QSqlQuery TORVSQLBase::prepare(const QString &sql)
{
    QSqlQuery query(*m_database);
    // Qt warns (and does nothing) when preparing on a closed connection; run()
    // reports that case as a failure instead.
    if (driverReady(query))
        query.prepare(sql);
    return query;
}

TORVSQLResult TORVSQLBase::statementFailure(const QSqlQuery &query) const
{
    const QString executed = query.executedQuery().isEmpty() ? query.lastQuery() : query.executedQuery();
    return TORVSQLResult::driverFailure(withoutPassword(query.lastError().text().trimmed()), executed);
}

QString TORVSQLBase::driverError() const
{
    return withoutPassword(driverText(*m_database));
}

QString TORVSQLBase::withoutPassword(const QString &text) const
{
    // A driver may repeat the connection string it was given in its message.
    QString shown = text;
    if (!m_settings.password.isEmpty())
        shown.replace(m_settings.password, QStringLiteral("****"));
    return shown;
}

TORVSQLResult TORVSQLBase::run(QSqlQuery &query)
{
    if (!driverReady(query))
        return TORVSQLResult::failure(QString::fromLatin1(notOpenText), query.lastQuery());
    // A statement the driver refused to prepare is reported as it is, not
    // executed: executing it would replace the reason by a misleading one.
    if (!query.isActive() && query.lastError().isValid())
        return statementFailure(query);

    TORVSQLResult result;
    if (query.isValid() || query.exec())
        result = TORVSQLResult::success(true);
    if (query.lastError().type() != QSqlError::NoError)
        result = statementFailure(query);
    return result;
}

TORVSQLResult TORVSQLBase::runFirst(QSqlQuery &query)
{
    if (!driverReady(query))
        return TORVSQLResult::failure(QString::fromLatin1(notOpenText), query.lastQuery());
    if (!query.isActive() && query.lastError().isValid())
        return statementFailure(query);

    TORVSQLResult result;
    if (query.isValid() || query.exec()) {
        if (query.first())
            result = TORVSQLResult::withRecord(query.record(), true);
        else
            result = TORVSQLResult::withRecord(query.record(), false);
    }
    if (query.lastError().type() != QSqlError::NoError)
        result = statementFailure(query);
    return result;
}

TORVSQLResult TORVSQLBase::selectFirst(const QString &sql, const QVariantList &values)
{
    if (!m_database->isOpen())
        return TORVSQLResult::failure(QString::fromLatin1(notOpenText), sql);
    QSqlQuery query = prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return runFirst(query);
}

TORVSQLResult TORVSQLBase::exec(const QString &sql, const QVariantList &values)
{
    if (!m_database->isOpen())
        return TORVSQLResult::failure(QString::fromLatin1(notOpenText), sql);
    QSqlQuery query = prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return run(query);
}

TORVSQLRowMap TORVSQLBase::recordToMap(const QSqlRecord &record)
{
    TORVSQLRowMap map;
    for (int i = 0; i < record.count(); ++i)
        map.insert(record.fieldName(i).toLower(), record.value(i).toString());
    return map;
}

TORVSQLResult TORVSQLBase::save(const QString &table, const TORVSQLRowMap &fields, const QString &keyColumn,
                                const QString &keyValue, bool insertKey)
{
    if (table.isEmpty() || fields.isEmpty())
        return TORVSQLResult();

    QList<std::pair<QString, QString>> pairs;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (it.key() != keyColumn)
            pairs.append({it.key(), it.value()});
    }

    const TORVSQLResult exists = recordExists(table, keyColumn, keyValue);
    if (!exists.ok)
        return exists;

    QString sql;
    if (exists.value) {
        QStringList assignments;
        for (const auto &pair : qAsConst(pairs))
            assignments << pair.first + QStringLiteral("=:") + pair.first;
        sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") +
              assignments.join(QLatin1Char(',')) + QStringLiteral(" WHERE ") + keyColumn + QLatin1Char('=') +
              sqlTextLiteral(keyValue) + QStringLiteral(";");
    } else {
        if (insertKey)
            pairs.prepend({keyColumn, keyValue});
        QStringList names;
        QStringList placeholders;
        for (const auto &pair : qAsConst(pairs)) {
            names << pair.first;
            placeholders << QLatin1Char(':') + pair.first;
        }
        sql = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + names.join(QLatin1Char(',')) +
              QStringLiteral(") VALUES (") + placeholders.join(QLatin1Char(',')) + QStringLiteral(");");
    }
    if (pairs.isEmpty()) // nothing to write besides the key
        return exists.value ? TORVSQLResult::success(true) : exec(sql);

    if (!m_database->isOpen())
        return TORVSQLResult::failure(QString::fromLatin1(notOpenText), sql);
    QSqlQuery query = prepare(sql);
    for (const auto &pair : qAsConst(pairs)) {
        const QVariant value = pair.second.isEmpty() ? QVariant(QVariant::String) : QVariant(pair.second);
        query.bindValue(QLatin1Char(':') + pair.first, value);
    }
    return run(query);
}

TORVSQLResult TORVSQLBase::dropTable(const QString &table)
{
    return exec(QStringLiteral("DROP TABLE ") + table + QStringLiteral(";"));
}

TORVSQLResult TORVSQLBase::addColumn(const QString &table, const TORVSQLColumn &column,
                                     const TORVSQLForeignKey &foreignKey)
{
    if (!column.valid)
        return TORVSQLResult::failure(invalidColumnText(column.name));

    QString sql = QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD ") + column.name +
                  QLatin1Char(' ') + typeName(column.type, column.size) + QLatin1Char(' ');
    if (!column.defaultValue.isEmpty())
        sql += QStringLiteral("DEFAULT ") + column.defaultValue + QLatin1Char(' ');
    if (foreignKey.valid)
        sql += QStringLiteral(" REFERENCES ") + foreignKey.referencedTable + QStringLiteral(" (") +
               foreignKey.referencedColumn + QStringLiteral(") ON DELETE ") +
               foreignKeyActionName(foreignKey.onDelete) + QStringLiteral(" ON UPDATE ") +
               foreignKeyActionName(foreignKey.onUpdate) + QLatin1Char(' ');
    sql += QLatin1Char(';');

    const TORVSQLResult added = exec(sql);
    if (!added.ok || column.defaultValue.isEmpty() || !addColumnNeedsBackfill())
        return added;
    return exec(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + column.name +
                QStringLiteral(" = ") + column.defaultValue + QStringLiteral(";"));
}

// --- helpers for the dialects --------------------------------------------------

QString TORVSQLBase::buildCreateTableSql(const TORVSQLTable &table, const ColumnWords &columnWords) const
{
    QString sql = QStringLiteral("CREATE TABLE ") + table.name + QStringLiteral(" (");
    const bool singleKey = table.primaryKey.size() == 1;
    for (int i = 0; i < table.columns.size(); ++i) {
        const TORVSQLColumn &column = table.columns.at(i);
        if (!column.valid)
            return invalidColumnText(column.name);
        const bool isKey =
            singleKey && table.primaryKey.first().compare(column.name, Qt::CaseInsensitive) == 0;
        sql += columnWords(column, isKey);
        if (i + 1 < table.columns.size())
            sql += QLatin1Char(',');
    }
    if (table.primaryKey.size() >= 2)
        sql += QStringLiteral(", PRIMARY KEY (") + table.primaryKey.join(QStringLiteral(", ")) +
               QStringLiteral(") ");
    for (const TORVSQLForeignKey &key : table.foreignKeys) {
        sql += QLatin1Char(',');
        if (!key.valid)
            return invalidForeignKeyText(key.column);
        sql += QStringLiteral("FOREIGN KEY (") + key.column + QStringLiteral(") REFERENCES ") +
               key.referencedTable + QStringLiteral(" (") + key.referencedColumn +
               QStringLiteral(") ON DELETE ") + foreignKeyActionName(key.onDelete) +
               QStringLiteral(" ON UPDATE ") + foreignKeyActionName(key.onUpdate) + QLatin1Char(' ');
    }
    sql += QStringLiteral(");");
    return sql;
}

int TORVSQLBase::countByLastRow(QSqlQuery &query)
{
    if (!query.isActive() || !query.isSelect())
        return 0;
    const int position = query.at();
    if (!query.last())
        return 0;
    const int last = query.at();
    query.seek(position);
    return last + 1;
}
