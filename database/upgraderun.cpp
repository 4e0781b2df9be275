// The upgrade as one exclusive run: the lock file beside an SQLite database,
// the Info row read once with a true verdict, the copy written under a
// temporary name, and the progress reported as each stage starts.

#include "tvxdatabase.h"

#include "schema.h"
#include "torvsqldialects.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QVariant>

#include <climits>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Veltrix {
namespace Database {

namespace {

// Gives the texts of this file the database's context for translators.
struct TUpgradeText
{
    Q_DECLARE_TR_FUNCTIONS(TVXDatabase)
};

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A copy under way is written as <copy>.partial and renamed when complete.
const QLatin1String partialSuffix(".partial");
const QLatin1String journalSuffix("-journal");

QString lockFilePath(const QString &databaseFile)
{
    return databaseFile + QStringLiteral(".upgrade.lock");
}

// A run killed between creating the lock file and writing who holds it
// leaves an empty file that no process holds and that QLockFile, with no
// holder to ask about, would never call stale. A holder writes its name right
// after creating the file, so an unnamed lock older than a few seconds is
// such a leftover.
bool isOrphanedLock(QLockFile &lock, const QString &path)
{
    constexpr qint64 writingHolderMs = 5000;
    qint64 pid = 0;
    QString host, application;
    const QFileInfo file(path);
    return !lock.getLockInfo(&pid, &host, &application) && file.exists() &&
           qAbs(file.lastModified().msecsTo(QDateTime::currentDateTime())) > writingHolderMs;
}

// Waits up to waitMs for the lock, taking over the lock of a run killed while it took it.
void takeLock(QLockFile &lock, const QString &path, int waitMs)
{
    constexpr int pollMs = 250;
    QDeadlineTimer deadline(waitMs);
    do {
        if (isOrphanedLock(lock, path))
            lock.removeStaleLockFile();
        if (lock.tryLock(int(qMin<qint64>(pollMs, deadline.remainingTime()))))
            return;
    } while (lock.error() == QLockFile::LockFailedError && !deadline.hasExpired());
}

// Only an upgrade that holds the lock writes copies, so while this run holds
// it, a partial copy of this database was left by a run that was killed.
void removeLeftoversOfKilledRuns(const QString &databaseFile)
{
    const QFileInfo info(databaseFile);
    QDir folder = info.absoluteDir();
    const QString stem = info.fileName() + QStringLiteral(".v");
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (name.startsWith(stem) &&
            (name.endsWith(partialSuffix) || name.endsWith(partialSuffix + journalSuffix)))
            folder.remove(name);
    }
}

// Forces a written file to the disk; SQLite does not sync what VACUUM INTO writes.
bool syncToDisk(const QString &path)
{
#ifdef Q_OS_WIN
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(shown(path).utf16()), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle);
    CloseHandle(handle);
    return flushed;
#else
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0;
#endif
}

TORVSQLSettings sqliteFile(const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = QStringLiteral("copy check");
    settings.databaseName = path;
    return settings;
}

} // namespace

int wholeNumber(const QVariant &value)
{
    bool ok = false;
    qlonglong number = -1;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        number = value.toLongLong(&ok);
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        number = value.toString().toLongLong(&ok);
        break;
    default: // a real number ("6.7") or anything else
        break;
    }
    return ok && number >= 0 && number <= INT_MAX ? int(number) : -1;
}

eVersionVerdict strictVersionVerdict(int version, int minimum)
{
    if (minimum > Schema::highestAcceptedSoftwareMinimum)
        return eVersionVerdict::NotCompatible;
    if (version == softwareLibraryVersion)
        return eVersionVerdict::Current;
    return version > softwareLibraryVersion ? eVersionVerdict::CanUpgrade : eVersionVerdict::MustUpgrade;
}

QString sqliteDatabasePathProblem(const QString &path)
{
    if (!TORVSQLite::namesFile(path))
        return TUpgradeText::tr(
                   "The database \"%1\" is not a file on disk: in-memory databases and \"file:\" addresses "
                   "are not accepted.")
            .arg(path);
    if (QDir::isRelativePath(path))
        return TUpgradeText::tr("The database path %1 is relative: give the full path of the database file.")
            .arg(shown(path));
    const QFileInfo info(path);
    if (info.exists())
        return info.isFile() ? QString() : TUpgradeText::tr("%1 is not a plain file.").arg(shown(path));
    if (info.isSymLink())
        return TUpgradeText::tr("%1 is a link to nothing.").arg(shown(path));
    if (!info.absoluteDir().exists())
        return TUpgradeText::tr("The folder of the database file does not exist: %1")
            .arg(shown(info.absolutePath()));
    return QString();
}

QString upgradeStageText(const TVXUpgradeProgress &progress)
{
    using Stage = TVXUpgradeProgress::Stage;
    switch (progress.stage) {
    case Stage::WaitingForLock:
        return TUpgradeText::tr("Waiting for another upgrade of this database (%1)").arg(progress.message);
    case Stage::Copying:
        return TUpgradeText::tr("Copying the database");
    case Stage::Copied:
        return progress.message;
    case Stage::Step:
        break;
    }
    const QString text = progress.toVersion == Schema::firstVersion
                             ? TUpgradeText::tr("Building version %1 (%2 of %3)")
                             : TUpgradeText::tr("Upgrading to version %1 (%2 of %3)");
    return text.arg(progress.toVersion).arg(progress.number).arg(progress.count);
}

TVXInfoRow TVXDatabase::ReadInfoRow()
{
    TVXInfoRow row;
    if (!m_sql->isOpen()) {
        row.problem = TUpgradeText::tr("The database is not open.");
        return row;
    }
    // The catalog first: it fails with the true reason (locked, not a
    // database, malformed) where a missing Info table could not be told apart.
    const bool sqlServer = m_sql->settings().type == TORVSQLSettings::MSSqlServer;
    const TORVSQLResult tables =
        m_sql->selectFirst(sqlServer ? QStringLiteral("SELECT count(*) AS n FROM INFORMATION_SCHEMA.TABLES")
                                     : QStringLiteral("SELECT count(*) AS n FROM sqlite_master"));
    if (!tables.ok) {
        row.problem = tables.error;
        return row;
    }
    const TORVSQLResult info = m_sql->selectFirst(QStringLiteral("SELECT * FROM Info"));
    if (!info.ok) {
        row.empty = tables.record.value(0).toInt() == 0;
        if (!row.empty)
            row.problem =
                TUpgradeText::tr("The database has tables but no readable Info table: ") + info.error;
        return row;
    }
    if (!info.value) {
        row.problem = TUpgradeText::tr("The Info table of the database has no row.");
        return row;
    }
    const QVariant version = info.record.value(QStringLiteral("dbVersion"));
    row.version = wholeNumber(version);
    if (row.version < Schema::firstVersion) {
        row.problem = TUpgradeText::tr("Info.dbVersion holds \"%1\", which is no schema version.")
                          .arg(version.toString());
        return row;
    }
    const QVariant minimum = info.record.value(QStringLiteral("dbSoftwareMinimum"));
    row.minimum = wholeNumber(minimum);
    if (!minimum.isNull() && row.minimum < 0)
        row.problem = TUpgradeText::tr("Info.dbSoftwareMinimum holds \"%1\", which is no version.")
                          .arg(minimum.toString());
    row.restricted = info.record.value(QStringLiteral("restrictUtility")).toBool();
    return row;
}

TVXUpgradeOutcome TVXDatabase::BackupAndUpgrade(bool copyFirst, int lockWaitMs)
{
    TVXUpgradeOutcome outcome;
    const auto stop = [&outcome](eUpgradeStop why, const QString &text) {
        outcome.stop = why;
        outcome.result = TORVSQLResult::failure(text);
        return outcome;
    };

    if (!m_sql->isOpen())
        return stop(eUpgradeStop::Unreadable,
                    TUpgradeText::tr("The database is not open, so it was not changed."));
    const TORVSQLSettings settings = m_sql->settings();
    std::unique_ptr<QLockFile> lock;
    if (settings.type == TORVSQLSettings::SQLite && TORVSQLite::namesFile(settings.databaseName)) {
        const QString lockPath = lockFilePath(settings.databaseName);
        lock = std::make_unique<QLockFile>(lockPath);
        lock->setStaleLockTime(0); // an upgrade may take long; only a dead holder's lock is stale
        QString holder;
        if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
            qint64 pid = 0;
            QString host, application;
            holder = lock->getLockInfo(&pid, &host, &application)
                         ? TUpgradeText::tr("process %1, %2, on %3").arg(pid).arg(application, host)
                         : TUpgradeText::tr("holder unknown");
            TVXUpgradeProgress waiting;
            waiting.stage = TVXUpgradeProgress::Stage::WaitingForLock;
            waiting.message = holder;
            report(waiting);
            takeLock(*lock, lockPath, lockWaitMs);
        }
        if (lock->error() == QLockFile::LockFailedError)
            return stop(eUpgradeStop::Busy,
                        TUpgradeText::tr("Another upgrade of this database is running (%1), so it was "
                                         "not changed. Try again once that one has finished.")
                            .arg(holder));
        if (!lock->isLocked())
            return stop(
                eUpgradeStop::Busy,
                TUpgradeText::tr("The lock file %1 cannot be created, so the database was not changed.")
                    .arg(shown(lockPath)));
        removeLeftoversOfKilledRuns(settings.databaseName);
    }

    const TVXInfoRow info = ReadInfoRow();
    if (!info.problem.isEmpty())
        return stop(eUpgradeStop::Unreadable,
                    TUpgradeText::tr("The database cannot be read, so it was not changed: ") + info.problem);
    outcome.versionBefore = info.version;
    if (!info.empty && strictVersionVerdict(info.version, info.minimum) == eVersionVerdict::NotCompatible)
        return stop(eUpgradeStop::NotCompatible,
                    TUpgradeText::tr(
                        "The database asks for Veltrix software of version %1 or newer; this software is "
                        "version %2. The database was not changed.")
                        .arg(info.minimum)
                        .arg(softwareLibraryVersion));
    if (copyFirst) {
        outcome.backup = writeCopy(info);
        if (!outcome.backup.ok)
            return stop(eUpgradeStop::NoCopy, outcome.backup.message);
    }
    outcome.result = CreateOrUpgrade();
    if (!outcome.result.ok)
        outcome.stop = eUpgradeStop::StepFailed;
    return outcome;
}

TVXBackupOutcome TVXDatabase::writeCopy(const TVXInfoRow &info)
{
    TVXBackupOutcome outcome;
    const TORVSQLSettings settings = m_sql->settings();
    const QString file = settings.databaseName;
    // Reported like a copy that was written, so that the reasons appear in order.
    const auto noCopy = [this, &outcome](const QString &message) {
        outcome.ok = true;
        outcome.message = message;
        TVXUpgradeProgress progress;
        progress.stage = TVXUpgradeProgress::Stage::Copied;
        progress.message = message;
        report(progress);
        return outcome;
    };
    if (settings.type == TORVSQLSettings::MSSqlServer)
        return noCopy(
            TUpgradeText::tr("No copy of a Microsoft SQL Server database can be made from here. Back the "
                             "database up on its server before upgrading it."));
    if (!TORVSQLite::namesFile(file))
        return noCopy(TUpgradeText::tr("The database has no file to copy."));
    if (info.empty)
        return noCopy(TUpgradeText::tr("The database is empty: no copy needed."));
    if (info.version >= softwareLibraryVersion)
        return noCopy(TUpgradeText::tr("The database is at version %1: nothing to upgrade, no copy made.")
                          .arg(info.version));

    TVXUpgradeProgress progress;
    progress.stage = TVXUpgradeProgress::Stage::Copying;
    report(progress);

    // The version in the name is the one the message names.
    const QString stem = file + QStringLiteral(".v") + QString::number(info.version) + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = stem + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo::exists(path + partialSuffix) ||
                    QFileInfo::exists(path + partialSuffix + journalSuffix);
         ++n)
        path = stem + QLatin1Char('-') + QString::number(n) + QStringLiteral(".bak");
    const QString partial = path + partialSuffix;

    // A consistent copy, even while the service has the file open.
    const TORVSQLResult copy =
        m_sql->exec(QStringLiteral("VACUUM INTO ") + sqlTextLiteral(partial) + QLatin1Char(';'));
    QString problem = copy.error;
    if (copy.ok) {
        const TVXInfoRow copied = TVXDatabase(sqliteFile(partial)).ReadInfoRow();
        if (!copied.problem.isEmpty() || copied.version != info.version)
            problem = TUpgradeText::tr("the copy does not read back as version %1: %2")
                          .arg(info.version)
                          .arg(copied.problem);
        else if (!syncToDisk(partial))
            problem = TUpgradeText::tr("the copy could not be written to the disk");
        else if (!QFile::rename(partial, path))
            problem = TUpgradeText::tr("the copy could not be renamed to its final name");
    }
    if (!problem.isEmpty()) {
        // Both names were free before this run wrote them.
        QFile::remove(partial);
        QFile::remove(partial + journalSuffix);
        outcome.path = path;
        outcome.message =
            TUpgradeText::tr("No copy of the database could be written to %1, so it was not upgraded: %2")
                .arg(shown(path), problem);
        return outcome;
    }
    outcome.ok = true;
    outcome.copied = true;
    outcome.path = path;
    outcome.message = TUpgradeText::tr("A copy of the database at version %1 was written to %2.")
                          .arg(info.version)
                          .arg(shown(path));
    progress.stage = TVXUpgradeProgress::Stage::Copied;
    progress.message = outcome.message;
    progress.path = path;
    report(progress);
    return outcome;
}

void TVXDatabase::SetProgressObserver(std::function<void(const TVXUpgradeProgress &)> observer)
{
    m_progressObserver = std::move(observer);
}

void TVXDatabase::report(const TVXUpgradeProgress &progress) const
{
    if (m_progressObserver)
        m_progressObserver(progress);
}

} // namespace Database
} // namespace Veltrix
