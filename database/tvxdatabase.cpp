#include "tvxdatabase.h"

#include "schema.h"
#include "torvsqldialects.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

namespace Veltrix {
namespace Database {

namespace {

std::unique_ptr<TORVSQLBase> makeHandle(const TORVSQLSettings &settings)
{
    switch (settings.type) {
    case TORVSQLSettings::SQLite:
        return std::make_unique<TORVSQLite>(settings);
    case TORVSQLSettings::MSSqlServer:
        return std::make_unique<TORVSQLMS>(settings);
    default:
        return std::make_unique<TORVSQLDummy>(settings);
    }
}

// Why the SQLite file at `path` cannot be opened as a database, or empty.
// SQLite itself would create a missing file without complaint, and would
// accept any other file until the first statement fails.
QString sqliteFileProblem(const QString &path)
{
    if (!TORVSQLite::namesFile(path))
        return QString();
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return TVXDatabase::tr("The folder of the database file does not exist: %1")
            .arg(QDir::toNativeSeparators(info.absolutePath()));
    if (!info.exists())
        return QString();
    if (info.isDir())
        return TVXDatabase::tr("%1 is a folder, not a database file.").arg(QDir::toNativeSeparators(path));
    // Opening a FIFO would wait for a writer for ever.
    if (!info.isFile())
        return TVXDatabase::tr("%1 is not a plain file.").arg(QDir::toNativeSeparators(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TVXDatabase::tr("The database file %1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(path), file.errorString());
    const QByteArray header = file.read(16);
    static const QByteArray sqliteHeader("SQLite format 3\0", 16);
    if (!header.isEmpty() && header != sqliteHeader)
        return TVXDatabase::tr("The file %1 is not an SQLite database.").arg(QDir::toNativeSeparators(path));
    return QString();
}

// Reads one integer column of the Info row; -1 when it cannot be read or
// holds no whole number.
int readInfoInteger(TORVSQLBase *sql, const QString &column)
{
    if (!sql)
        return -1;
    const TORVSQLResult result = sql->selectFirst(QStringLiteral("SELECT %1 FROM Info").arg(column));
    if (!result.ok || !result.value)
        return -1;
    return wholeNumber(result.record.value(column));
}

} // namespace

TVXDatabase::TVXDatabase(const TORVSQLSettings &settings)
{
    Connect(settings);
}

TVXDatabase::~TVXDatabase() = default;

TVXSDatabase::~TVXSDatabase() = default;

TORVSQLResult TVXDatabase::Connect(const TORVSQLSettings &settings)
{
    std::unique_ptr<TORVSQLBase> old = std::move(m_sql);
    m_sql = makeHandle(settings);
    old.reset();

    if (m_sql->settings().type == TORVSQLSettings::SQLite) {
        const QString problem = sqliteFileProblem(m_sql->settings().databaseName);
        if (!problem.isEmpty())
            return TORVSQLResult::failure(problem);
    }

    // The SQLite handle switches foreign keys on at every open and reopen.
    return m_sql->open();
}

TORVSQLResult TVXDatabase::EnsureConnection()
{
    if (m_sql->isOpen()) {
        TORVSQLResult result = m_sql->checkConnection();
        if (result.ok)
            return result;
        m_sql->close();
        result = reopenExisting();
        if (!result.ok)
            result.setErrorIfFailed(QStringLiteral("Lost Connection, failed to reopen: ") + result.error);
        return result;
    }
    TORVSQLResult result = reopenExisting();
    if (!result.ok)
        result.setErrorIfFailed(TVXDatabase::tr("Failed to open: ") + result.error);
    return result;
}

TORVSQLResult TVXDatabase::reopenExisting()
{
    // Reopening must not quietly create an empty database where the file
    // was deleted or moved away: the editors would then work on nothing.
    if (m_sql->settings().type == TORVSQLSettings::SQLite) {
        const QString path = m_sql->settings().databaseName;
        QString problem = sqliteFileProblem(path);
        if (problem.isEmpty() && TORVSQLite::namesFile(path) && !QFileInfo::exists(path))
            problem =
                TVXDatabase::tr("The database file no longer exists: %1").arg(QDir::toNativeSeparators(path));
        if (!problem.isEmpty())
            return TORVSQLResult::failure(problem);
    }
    return m_sql->reopen();
}

bool TVXDatabase::IsOpen() const
{
    return m_sql && m_sql->isOpen();
}

void TVXDatabase::Close()
{
    if (m_sql)
        m_sql->close();
}

TORVSQLBase *TVXDatabase::Sql() const
{
    return m_sql.get();
}

int TVXDatabase::DbVersion()
{
    return readInfoInteger(m_sql.get(), QStringLiteral("dbVersion"));
}

int TVXDatabase::DbSoftwareMinimum()
{
    return readInfoInteger(m_sql.get(), QStringLiteral("dbSoftwareMinimum"));
}

bool TVXDatabase::NeedsUpgrade()
{
    return DbVersion() < softwareLibraryVersion;
}

bool TVXDatabase::IsCurrentVersion()
{
    return DbVersion() == softwareLibraryVersion;
}

TORVSQLResult TVXDatabase::CheckVersion()
{
    const int version = DbVersion();
    const int minimum = DbSoftwareMinimum();
    if (minimum <= Schema::highestAcceptedSoftwareMinimum && version >= softwareLibraryVersion)
        return TORVSQLResult::success(true);
    return TORVSQLResult::failure(QStringLiteral("VX Database version mismatch. Expected version ") +
                                  QString::number(softwareLibraryVersion) +
                                  QStringLiteral(" but actual version is ") + QString::number(version));
}

eVersionVerdict TVXDatabase::VersionVerdict()
{
    if (IsCurrentVersion())
        return eVersionVerdict::Current;
    if (CheckVersion().ok)
        return eVersionVerdict::CanUpgrade;
    if (NeedsUpgrade())
        return eVersionVerdict::MustUpgrade;
    return eVersionVerdict::NotCompatible;
}

QString versionText(int version)
{
    return QCoreApplication::translate("TVXDatabase", "Database Version %1, Software Library Version %2.")
        .arg(version)
        .arg(softwareLibraryVersion);
}

QString verdictText(int version, eVersionVerdict verdict)
{
    const QString text = versionText(version);
    switch (verdict) {
    case eVersionVerdict::Current:
        return text;
    case eVersionVerdict::CanUpgrade:
        return text + QCoreApplication::translate("TVXDatabase", " This database can be upgraded.");
    case eVersionVerdict::MustUpgrade:
        return text + QCoreApplication::translate("TVXDatabase",
                                                  " This database must be upgraded before continuing.");
    case eVersionVerdict::NotCompatible:
        break;
    }
    return text + QCoreApplication::translate("TVXDatabase", " This database is not compatible.");
}

bool TVXDatabase::IsUnrestricted()
{
    if (!m_sql)
        return false;
    const TORVSQLResult result = m_sql->selectFirst(QStringLiteral("SELECT restrictUtility FROM Info"));
    if (!result.ok || !result.value)
        return false;
    return !result.record.value(QStringLiteral("restrictUtility")).toBool();
}

TORVSQLResult TVXDatabase::SetDbVersion(int version)
{
    return m_sql->exec(QStringLiteral("UPDATE Info SET dbVersion='") + QString::number(version) +
                       QStringLiteral("';"));
}

TORVSQLResult TVXDatabase::CreateOrUpgrade()
{
    const TORVSQLResult result = UpgradeTo(softwareLibraryVersion);
    if (!result.ok)
        return result;
    return CheckVersion();
}

TORVSQLResult TVXDatabase::UpgradeTo(int targetVersion)
{
    const int target = qMin(targetVersion, softwareLibraryVersion);
    const int version = DbVersion();
    const int from = qMax(version, 0);

    // Outside any transaction: SQLite ignores this pragma inside one.
    m_sql->setForeignKeys(false);

    TORVSQLResult result = version <= 0 ? buildVersionOne(target) : TORVSQLResult::success(true);
    if (result.ok) {
        const QList<Schema::TSchemaStep> steps = Schema::upgradeSteps();
        for (const Schema::TSchemaStep &step : steps) {
            if (step.version > target)
                break;
            if (DbVersion() >= step.version)
                continue;
            result = runStep(step, from, target);
            if (!result.ok)
                break;
        }
    }

    m_sql->setForeignKeys(true);
    return result;
}

TORVSQLResult TVXDatabase::buildVersionOne(int target)
{
    TORVSQLResult result = m_sql->beginTransaction();
    if (!result.ok)
        return result;
    // Another program may have built it while this one waited for the lock.
    if (DbVersion() > 0)
        return m_sql->endTransaction(TORVSQLResult::success(true));
    reportStep(Schema::firstVersion, 0, target);

    for (const TORVSQLTable &table : Schema::versionOneTables()) {
        Schema::TSchemaOperation create;
        create.kind = Schema::TSchemaOperation::Kind::CreateTable;
        create.definition = table;
        result = runOperation(create);
        if (!result.ok)
            break;
    }
    if (result.ok)
        result = m_sql->exec(Schema::infoRowInsert(QDateTime::currentDateTime()));
    return m_sql->endTransaction(result);
}

TORVSQLResult TVXDatabase::runStep(const Schema::TSchemaStep &step, int from, int target)
{
    TORVSQLResult result = m_sql->beginTransaction();
    if (!result.ok)
        return result;
    // Another program may have run this step while this one waited for the lock.
    if (DbVersion() >= step.version)
        return m_sql->endTransaction(TORVSQLResult::success(true));
    reportStep(step.version, from, target);

    for (const Schema::TSchemaOperation &operation : step.operations) {
        result = runOperation(operation);
        if (!result.ok)
            break;
    }
    if (result.ok)
        result = SetDbVersion(step.version);
    return m_sql->endTransaction(result);
}

TORVSQLResult TVXDatabase::runOperation(const Schema::TSchemaOperation &operation)
{
    using Kind = Schema::TSchemaOperation::Kind;
    switch (operation.kind) {
    case Kind::CreateTable: {
        const QString sql = m_sql->createTableSql(operation.definition);
        if (sql.isEmpty())
            return TORVSQLResult::failure(TVXDatabase::tr("No table can be created on this connection: %1")
                                              .arg(operation.definition.name));
        if (isInvalidDefinitionText(sql))
            return TORVSQLResult::failure(sql);
        return m_sql->exec(sql);
    }
    case Kind::RenameTable:
        return m_sql->renameTable(operation.table, operation.newName);
    case Kind::AddColumn:
        return m_sql->addColumn(operation.table, operation.column, operation.foreignKey);
    case Kind::DropTable:
        return m_sql->dropTable(operation.table);
    case Kind::Statement:
        return m_sql->exec(operation.sql);
    case Kind::SqlServerStatement:
        if (m_sql->settings().type == TORVSQLSettings::MSSqlServer)
            return m_sql->exec(operation.sql);
        return TORVSQLResult::success(true);
    }
    return TORVSQLResult::failure(TVXDatabase::tr("Unknown schema operation"));
}

void TVXDatabase::reportStep(int toVersion, int from, int target) const
{
    TVXUpgradeProgress progress;
    progress.toVersion = toVersion;
    progress.number = toVersion - from;
    progress.count = target - from;
    report(progress);
}

} // namespace Database
} // namespace Veltrix
