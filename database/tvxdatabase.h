#pragma once

#include "torvsqlbase.h"
#include "torvsqlresult.h"
#include "torvsqlsettings.h"

#include <QCoreApplication>
#include <QString>
#include <QVariant>

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

// An Info value as a whole number from 0 up, or -1 when it is none: NULL,
// a real number such as 6.7, a text that is no number, or too large for an int.
int wholeNumber(const QVariant &value);

// What one read of a database's Info row found.
struct TVXInfoRow
{
    // Why the database cannot be judged (locked, damaged, not a Veltrix
    // Server database, a version that is no whole number); empty when it can.
    QString problem;
    bool empty = false;      // no table at all: a new database, built by an upgrade
    int version = -1;        // dbVersion (at least 1 when there is no problem and not empty)
    int minimum = -1;        // dbSoftwareMinimum; -1 before version 5
    bool restricted = false; // restrictUtility
};

// The verdict on a readable Info row as the command line and the upgrade
// judge it: VersionVerdict()'s rule, except that a database that demands a
// newer software (a minimum above what this software accepts) is
// NotCompatible whatever its version: this software neither uses nor
// upgrades it.
eVersionVerdict strictVersionVerdict(int version, int minimum);

// Why `path` cannot be the SQLite database of the command line, or empty: it
// must be an absolute path to a plain file, or to a file that does not exist
// yet in an existing folder (an upgrade builds it there). ":memory:", "file:"
// URIs, relative paths, folders, FIFOs and devices are refused.
QString sqliteDatabasePathProblem(const QString &path);

// Outcome of the copy made before an upgrade.
struct TVXBackupOutcome
{
    bool ok = false;     // the upgrade may go ahead
    bool copied = false; // a copy was written (SQLite only)
    QString path;        // where the copy is
    QString message;     // what happened, for the administrator
};

// One stage of an upgrade, reported as it starts.
struct TVXUpgradeProgress
{
    enum class Stage
    {
        WaitingForLock, // another upgrade of the same database runs; message: who
        Copying,        // the copy before the upgrade is being written
        Copied,         // message: the copy's outcome, or why none was needed
        Step            // a version step, in its transaction
    };
    Stage stage = Stage::Step;
    int toVersion = 0; // Step: the version it reaches (1: an empty database is built)
    int number = 0;    // Step: its place among the steps of this run, from 1
    int count = 0;     // Step: how many steps this run goes through
    QString message;
    QString path; // Copied: the copy
};

// The stage as a short phrase: "Copying the database", "Upgrading to version
// 8 (2 of 6)", "Waiting for another upgrade of this database (...)", or the
// copy's outcome.
QString upgradeStageText(const TVXUpgradeProgress &progress);

// Why BackupAndUpgrade() stopped; nothing was changed except after StepFailed.
enum class eUpgradeStop
{
    None,          // upgraded, or nothing to do
    Busy,          // another upgrade of the database holds its lock file
    Unreadable,    // the database cannot be read (locked, damaged, ...)
    NotCompatible, // it demands a newer software
    NoCopy,        // the copy before the upgrade could not be written
    StepFailed     // a version step failed; the earlier steps stay
};

struct TVXUpgradeOutcome
{
    eUpgradeStop stop = eUpgradeStop::None;
    TORVSQLResult result;    // the upgrade's result; when it stopped, error says why
    TVXBackupOutcome backup; // the copy, when one was asked for
    int versionBefore = -1;  // -1: the database was empty
};

// How long an upgrade waits for another upgrade of the same database.
constexpr int upgradeLockWaitMs = 30000;

// The application database: one SQL handle chosen by the connection's type,
// version queries, the compatibility rule and the step-by-step upgrade.
class TVXDatabase
{
    Q_DECLARE_TR_FUNCTIONS(TVXDatabase)

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

    // Reads the Info row once and says whether the database can be judged
    // at all. A locked database fails after the driver's busy timeout.
    TVXInfoRow ReadInfoRow();

    // Copies (when copyFirst) and upgrades the database, exclusively: for an
    // SQLite file a lock file beside it keeps a second upgrade of the same
    // file waiting (up to lockWaitMs) until the first one is done. The copy
    // of an SQLite database is written next to its file
    // (<file>.v<version>-<yyyyMMdd-HHmmss>.bak, "-2"... added when taken)
    // under a temporary name, and renamed into place only once it is
    // complete and reads back; none is made when there is nothing to keep
    // (an empty database, one at version 12 or newer), and none can be made
    // of a SQL Server database. A database that cannot be read, or that
    // demands a newer software, is left alone.
    TVXUpgradeOutcome BackupAndUpgrade(bool copyFirst, int lockWaitMs = upgradeLockWaitMs);

    // Called as each stage of BackupAndUpgrade(), CreateOrUpgrade() and
    // UpgradeTo() starts (a step: inside its transaction), on the thread
    // that runs them.
    void SetProgressObserver(std::function<void(const TVXUpgradeProgress &)> observer);

private:
    TORVSQLResult reopenExisting();
    // Build and steps of a run from version `from` (0: empty) to `target`.
    TORVSQLResult buildVersionOne(int target);
    TORVSQLResult runStep(const Schema::TSchemaStep &step, int from, int target);
    void reportStep(int toVersion, int from, int target) const;
    void report(const TVXUpgradeProgress &progress) const;
    TVXBackupOutcome writeCopy(const TVXInfoRow &info);
    TORVSQLResult runOperation(const Schema::TSchemaOperation &operation);

    std::unique_ptr<TORVSQLBase> m_sql;
    std::function<void(const TVXUpgradeProgress &)> m_progressObserver;
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
