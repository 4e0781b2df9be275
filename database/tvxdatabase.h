#pragma once

#include "torvsqlbase.h"
#include "torvsqlresult.h"
#include "torvsqlsettings.h"

#include <QString>

#include <functional>
#include <memory>

namespace Veltrix {
namespace Database {

namespace Schema {
struct TSchemaOperation;
struct TSchemaStep;
} // namespace Schema

// The schema version this software writes and expects.
constexpr int softwareLibraryVersion = 12;

// How a database's schema fits this software.
enum class eVersionVerdict
{
    Current,      // dbVersion is softwareLibraryVersion
    CanUpgrade,   // newer, and still accepted (CheckVersion() succeeds)
    MustUpgrade,  // older (or unreadable): usable only after an upgrade
    NotCompatible // only a newer software may use it
};

// "Database Version <version>, Software Library Version 12."
QString versionText(int version);
// versionText(version) followed by the verdict's sentence (none for Current),
// as the database manager and the command line show it.
QString verdictText(int version, eVersionVerdict verdict);

// Outcome of the copy made before an upgrade.
struct TVXBackupOutcome
{
    bool ok = false;     // the upgrade may go ahead
    bool copied = false; // a copy was written (SQLite only)
    QString path;        // where the copy is
    QString message;     // what happened, for the administrator
};

// The application database: one SQL handle chosen by the connection's type,
// version queries, the compatibility rule and the step-by-step upgrade.
class TVXDatabase
{
public:
    explicit TVXDatabase(const TORVSQLSettings &settings = TORVSQLSettings());
    virtual ~TVXDatabase();

    TVXDatabase(const TVXDatabase &) = delete;
    TVXDatabase &operator=(const TVXDatabase &) = delete;

    TORVSQLResult Connect(const TORVSQLSettings &settings);
    TORVSQLResult EnsureConnection();
    bool IsOpen() const;
    virtual void Close();
    TORVSQLBase *Sql() const;

    int DbVersion();
    int DbSoftwareMinimum();
    bool NeedsUpgrade();
    bool IsCurrentVersion();
    TORVSQLResult CheckVersion();
    bool IsUnrestricted();
    // The compatibility rule applied: Current, else CanUpgrade when
    // CheckVersion() succeeds, else MustUpgrade when NeedsUpgrade(), else
    // NotCompatible. The restriction flag is not part of it.
    eVersionVerdict VersionVerdict();
    TORVSQLResult CreateOrUpgrade();
    TORVSQLResult SetDbVersion(int version);

    // Builds an empty database and runs the version steps up to and
    // including targetVersion (at most softwareLibraryVersion), one
    // transaction per step. CreateOrUpgrade() is UpgradeTo(12) followed by
    // CheckVersion(); a lower target succeeds once the database is there.
    TORVSQLResult UpgradeTo(int targetVersion);

    // Writes a consistent copy of an SQLite database next to its file
    // (<file>.v<version>-<yyyyMMdd-HHmmss>.bak, "-2"... added when taken)
    // before an upgrade. ok without a copy when there is nothing to keep (an
    // empty database, one at version 12 or newer) and for SQL Server, whose
    // outcome says that no copy can be made from here. ok false: the copy
    // failed and the database must not be upgraded; the message says why.
    TVXBackupOutcome BackupBeforeUpgrade();

    // Called before each version step runs (toVersion = the version it
    // reaches; 1 when an empty database is built), inside the step's
    // transaction.
    void SetStepObserver(std::function<void(int toVersion)> observer);

private:
    TORVSQLResult reopenExisting();
    TORVSQLResult buildVersionOne();
    TORVSQLResult runStep(const Schema::TSchemaStep &step);
    TORVSQLResult runOperation(const Schema::TSchemaOperation &operation);

    std::unique_ptr<TORVSQLBase> m_sql;
    std::function<void(int)> m_stepObserver;
};

// The server's variant; the database manager's server form creates it.
class TVXSDatabase : public TVXDatabase
{
public:
    using TVXDatabase::TVXDatabase;
    ~TVXSDatabase() override;
};

} // namespace Database
} // namespace Veltrix
