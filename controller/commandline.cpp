#include "commandline.h"

#include "schema.h"
#include "settingslocation.h"
#include "torvsqlsettings.h"
#include "tvxdatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace Veltrix {
namespace Server {
namespace Controller {

namespace {

using Veltrix::Database::eVersionVerdict;
using Veltrix::Database::SoftwareLibraryVersion;
using Veltrix::Database::TVXSDatabase;
using Veltrix::Database::verdictText;
using Veltrix::Database::versionText;

const char *const kVersion = "1.0.0";

// Exit codes.
enum : int
{
    ExitCurrent = 0,
    ExitUpgradable = 1,
    ExitMustUpgrade = 2,
    ExitNotCompatible = 3,
    ExitNoConnection = 4,
    ExitNoBackup = 5,
    ExitUpgradeFailed = 6,
    ExitUsage = 64
};

const QStringList &ourOptions()
{
    static const QStringList options{"--database-status",
                                     "--upgrade-database",
                                     "--connection",
                                     "--no-backup",
                                     "--help",
                                     "--help-all",
                                     "-h",
                                     "-?",
                                     "--version",
                                     "-v"};
    return options;
}

// Only these options make the command line take over; anything else (the
// tray's own "-ShowMessage") starts the tray as before.
bool hasOurOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        if (ourOptions().contains(name))
            return true;
    }
    return false;
}

void out(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void err(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

#ifdef Q_OS_WIN
// The controller is a GUI program; write to the console it was started from.
void attachParentConsole()
{
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        FILE *stream = nullptr;
        freopen_s(&stream, "CONOUT$", "w", stdout);
        freopen_s(&stream, "CONOUT$", "w", stderr);
    }
}
#endif

// The connection the administrator asked for: the named entry of "dbList",
// or the server's own connection (group "db").
bool chooseConnection(const QString &connectionName, bool nameGiven, TORVSQLSettings *chosen)
{
    const QString iniPath = settingsFilePath();
    if (iniPath.isEmpty() || !QFileInfo::exists(iniPath)) {
        err(QStringLiteral("The settings file was not found: %1").arg(QDir::toNativeSeparators(iniPath)));
        return false;
    }
    // Read only: a status query must not write the shared file.
    QSettings ini(iniPath, QSettings::IniFormat);
    if (nameGiven) {
        const TORVSQLSettingsList list = TORVSQLSettings::readList(ini, QStringLiteral("dbList"));
        const int index = TORVSQLSettings::indexOfName(list, connectionName);
        if (index < 0) {
            QStringList names;
            for (const TORVSQLSettings &entry : list)
                names << entry.connectionName;
            err(QStringLiteral("No connection named \"%1\" in %2. Known connections: %3")
                    .arg(connectionName, QDir::toNativeSeparators(iniPath),
                         names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))));
            return false;
        }
        *chosen = list.at(index);
    } else {
        *chosen = TORVSQLSettings::read(ini, QStringLiteral("db"));
        if (!chosen->isValid()) {
            err(QStringLiteral("The settings file %1 names no usable database connection for the server.")
                    .arg(QDir::toNativeSeparators(iniPath)));
            return false;
        }
    }
    QString where = chosen->databaseName;
    if (chosen->type == TORVSQLSettings::MSSqlServer)
        where = chosen->databaseName + QStringLiteral(" on ") + chosen->address +
                (chosen->port ? QLatin1Char(',') + QString::number(chosen->port) : QString());
    out(QStringLiteral("Connection: %1, %2").arg(chosen->displayName(), where));
    return true;
}

bool connect(TVXSDatabase &db, const TORVSQLSettings &settings)
{
    const TORVSQLResult result = db.Connect(settings);
    if (!result.ok) {
        err(QStringLiteral("Cannot connect to the database: ") + result.error);
        return false;
    }
    return true;
}

QString valueOrUnreadable(int value)
{
    return value < 0 ? QStringLiteral("unreadable") : QString::number(value);
}

int databaseStatus(const TORVSQLSettings &settings)
{
    // SQLite would create a missing file; a status query must not.
    if (settings.type == TORVSQLSettings::SQLite && !QFileInfo::exists(settings.databaseName)) {
        err(QStringLiteral("The database file does not exist: %1")
                .arg(QDir::toNativeSeparators(settings.databaseName)));
        return ExitNoConnection;
    }
    TVXSDatabase db;
    if (!connect(db, settings))
        return ExitNoConnection;

    const int version = db.DbVersion();
    out(QStringLiteral("Database version: ") + valueOrUnreadable(version));
    out(QStringLiteral("Minimum software version: ") + valueOrUnreadable(db.DbSoftwareMinimum()));
    // Judged as the server's database manager does: a restriction is
    // reported and does not change the verdict.
    if (db.IsUnrestricted())
        out(QStringLiteral("Restricted: no"));
    else
        out(QStringLiteral("Restricted: yes. This database is restricted for use with Veltrix Server."));

    const eVersionVerdict verdict = db.VersionVerdict();
    out(verdictText(version, verdict));
    switch (verdict) {
    case eVersionVerdict::Current:
        return ExitCurrent;
    case eVersionVerdict::CanUpgrade:
        return ExitUpgradable;
    case eVersionVerdict::MustUpgrade:
        return ExitMustUpgrade;
    case eVersionVerdict::NotCompatible:
        break;
    }
    return ExitNotCompatible;
}

QString stepDescription(int toVersion)
{
    if (toVersion == Veltrix::Database::Schema::FirstVersion)
        return QStringLiteral("Building version 1: the eleven first tables and the Info row");
    for (const auto &step : Veltrix::Database::Schema::upgradeSteps()) {
        if (step.version != toVersion)
            continue;
        QStringList operations;
        for (const auto &operation : step.operations)
            operations << operation.describe();
        return QStringLiteral("Upgrading to version %1: %2")
            .arg(toVersion)
            .arg(operations.join(QStringLiteral("; ")));
    }
    return QStringLiteral("Upgrading to version %1").arg(toVersion);
}

int upgradeDatabase(const TORVSQLSettings &settings, bool backup)
{
    TVXSDatabase db;
    if (!connect(db, settings))
        return ExitNoConnection;

    const int before = db.DbVersion();
    out(QStringLiteral("Database version before the upgrade: ") + valueOrUnreadable(before));

    if (backup) {
        const Veltrix::Database::TVXBackupOutcome outcome = db.BackupBeforeUpgrade();
        if (!outcome.ok) {
            err(outcome.message);
            return ExitNoBackup;
        }
        out(outcome.message);
    } else {
        out(QStringLiteral("No copy of the database was made (--no-backup)."));
    }

    db.SetStepObserver([](int toVersion) { out(stepDescription(toVersion)); });
    const TORVSQLResult result = db.CreateOrUpgrade();
    const int after = db.DbVersion();
    if (!result.ok) {
        err(QStringLiteral("Database Upgrade Failed.\n") + result.error);
        if (!result.query.isEmpty())
            err(QStringLiteral("Statement: ") + result.query);
        err(QStringLiteral("The database is at version %1.").arg(valueOrUnreadable(after)));
        return ExitUpgradeFailed;
    }
    if (after == before)
        out(versionText(after) + QStringLiteral(" Nothing to upgrade."));
    else
        out(versionText(after) + QStringLiteral(" The database was upgraded."));
    return ExitCurrent;
}

int run(int argc, char *argv[])
{
    // "-ShowMessage" belongs to the tray; it is dropped before parsing.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i == 0 || arg.compare(QLatin1String("-ShowMessage"), Qt::CaseInsensitive) != 0)
            arguments << arg;
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Veltrix Server Controller. Without options it starts in the system tray.\n\n"
        "Exit codes of --database-status: 0 the database is current, 1 it is usable and can be upgraded, "
        "2 it must be upgraded, 3 it is not compatible, 4 no connection.\n"
        "Exit codes of --upgrade-database: 0 upgraded (or nothing to do), 4 no connection, 5 no copy could "
        "be "
        "written (nothing was changed), 6 the upgrade failed (the database stays at the last version it "
        "reached).\n"
        "Wrong options: 64."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption statusOption(
        QStringLiteral("database-status"),
        QStringLiteral("Print the version and the verdict of the server's database (or of --connection)."));
    const QCommandLineOption upgradeOption(
        QStringLiteral("upgrade-database"),
        QStringLiteral("Copy (SQLite) and upgrade the server's database (or --connection) to version %1.")
            .arg(SoftwareLibraryVersion));
    const QCommandLineOption connectionOption(
        QStringLiteral("connection"), QStringLiteral("Use the connection NAME of the database list instead."),
        QStringLiteral("NAME"));
    const QCommandLineOption noBackupOption(QStringLiteral("no-backup"),
                                            QStringLiteral("Upgrade without writing a copy first."));
    parser.addOptions({statusOption, upgradeOption, connectionOption, noBackupOption});

    if (!parser.parse(arguments)) {
        err(parser.errorText());
        err(QStringLiteral("Try --help."));
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out(parser.helpText());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
            QStringLiteral(" (database schema version %1)").arg(SoftwareLibraryVersion));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err(QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first());
        return ExitUsage;
    }

    const bool status = parser.isSet(statusOption);
    const bool upgrade = parser.isSet(upgradeOption);
    if (status == upgrade) {
        err(QStringLiteral("Give one of --database-status and --upgrade-database. Try --help."));
        return ExitUsage;
    }
    if (status && parser.isSet(noBackupOption)) {
        err(QStringLiteral("--no-backup goes with --upgrade-database."));
        return ExitUsage;
    }

    TORVSQLSettings settings;
    if (!chooseConnection(parser.value(connectionOption), parser.isSet(connectionOption), &settings))
        return ExitNoConnection;
    return status ? databaseStatus(settings) : upgradeDatabase(settings, !parser.isSet(noBackupOption));
}

} // namespace

bool handleCommandLine(int argc, char *argv[], int *exitCode)
{
    if (!hasOurOption(argc, argv))
        return false;
#ifdef Q_OS_WIN
    attachParentConsole();
#endif
    int appArgc = argc;
    QCoreApplication app(appArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VeltrixServerController"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    const int code = run(argc, argv);
    if (exitCode)
        *exitCode = code;
    return true;
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
