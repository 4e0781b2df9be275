#include "commandline.h"

#include "schema.h"
#include "settingslocation.h"
#include "torvsqlsettings.h"
#include "tvxdatabase.h"
#include "tvxssettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>
#endif

namespace Veltrix {
namespace Server {
namespace Controller {

namespace {

using Veltrix::Database::eVersionVerdict;
using Veltrix::Database::softwareLibraryVersion;
using Veltrix::Database::TVXSDatabase;
using Veltrix::Database::verdictText;
using Veltrix::Database::versionText;

// Gives the command line's texts their context for translators.
struct TCommandLineText
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

enum eExitCode : int
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

// What each exit code means after --database-status and after
// --upgrade-database (null: that run does not end with it). The help text is
// made from this table.
struct TExitCodeMeaning
{
    eExitCode code;
    const char *afterStatus;
    const char *afterUpgrade;
};

constexpr TExitCodeMeaning exitCodeMeanings[] = {
    {ExitCurrent, QT_TRANSLATE_NOOP("CommandLine", "the database is current"),
     QT_TRANSLATE_NOOP("CommandLine", "upgraded (or nothing to do)")},
    {ExitUpgradable, QT_TRANSLATE_NOOP("CommandLine", "it is usable and can be upgraded"), nullptr},
    {ExitMustUpgrade, QT_TRANSLATE_NOOP("CommandLine", "it must be upgraded"), nullptr},
    {ExitNotCompatible, QT_TRANSLATE_NOOP("CommandLine", "it is not compatible"), nullptr},
    {ExitNoConnection, QT_TRANSLATE_NOOP("CommandLine", "no connection"),
     QT_TRANSLATE_NOOP("CommandLine", "no connection")},
    {ExitNoBackup, nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "no copy could be written (nothing was changed)")},
    {ExitUpgradeFailed, nullptr,
     QT_TRANSLATE_NOOP("CommandLine",
                       "the upgrade failed (the database stays at the last version it reached)")},
};

eExitCode exitCodeOf(eVersionVerdict verdict)
{
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

// An option as it is typed: "-h" for a one-letter name, "--help" else.
QString typedName(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The option as the texts name it: its longest name, typed.
QString typedName(const QCommandLineOption &option)
{
    QString longest;
    for (const QString &name : option.names()) {
        if (name.size() > longest.size())
            longest = name;
    }
    return typedName(longest);
}

// Every option of the command line, in a parser. Each name is stated here
// only: the help text, the messages and the test whether an argument belongs
// to the command line all come from these options.
struct TOptions
{
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption connection{
        QStringLiteral("connection"),
        TCommandLineText::tr("Use the connection NAME of the database list instead."),
        QStringLiteral("NAME")};
    const QCommandLineOption noBackup{QStringLiteral("no-backup"),
                                      TCommandLineText::tr("Upgrade without writing a copy first.")};
    const QCommandLineOption status{
        QStringLiteral("database-status"),
        TCommandLineText::tr("Print the version and the verdict of the server's database (or of %1).")
            .arg(typedName(connection))};
    const QCommandLineOption upgrade{
        QStringLiteral("upgrade-database"),
        TCommandLineText::tr("Copy (SQLite) and upgrade the server's database (or %1) to version %2.")
            .arg(typedName(connection))
            .arg(softwareLibraryVersion)};

    TOptions()
    {
        parser.setApplicationDescription(
            TCommandLineText::tr(
                "Veltrix Server Controller. Without options it starts in the system tray.\n\n%1\n%2\nWrong "
                "options: %3.")
                .arg(exitCodesText(status, &TExitCodeMeaning::afterStatus),
                     exitCodesText(upgrade, &TExitCodeMeaning::afterUpgrade))
                .arg(ExitUsage));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({status, upgrade, connection, noBackup});
    }

    // Whether `argument` ("--connection=x" included) names one of the options.
    bool isOption(const QString &argument) const
    {
        const QString typed = argument.section(QLatin1Char('='), 0, 0);
        // addHelpOption() adds this one beside the option it returns.
        QStringList names{QStringLiteral("help-all")};
        for (const QCommandLineOption &option : {help, version, status, upgrade, connection, noBackup})
            names += option.names();
        for (const QString &name : qAsConst(names)) {
            if (typedName(name) == typed)
                return true;
        }
        return false;
    }

private:
    // "Exit codes of <option>: 0 <meaning>, 1 <meaning>, ..."
    static QString exitCodesText(const QCommandLineOption &option, const char *TExitCodeMeaning::*meaning)
    {
        QStringList codes;
        for (const TExitCodeMeaning &row : exitCodeMeanings) {
            if (row.*meaning)
                codes << QString::number(row.code) + QLatin1Char(' ') +
                             QCoreApplication::translate("CommandLine", row.*meaning);
        }
        return TCommandLineText::tr("Exit codes of %1: %2.")
            .arg(typedName(option), codes.join(QStringLiteral(", ")));
    }
};

// Where the command line writes: its report and its error messages, a line
// at a time, each flushed at once (an upgrade reports its steps as it goes).
class TConsole
{
public:
    TConsole(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    void printLine(const QString &text) { m_out << text << Qt::endl; }
    void printError(const QString &text) { m_err << text << Qt::endl; }

private:
    QTextStream &m_out;
    QTextStream &m_err;
};

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
bool chooseConnection(TConsole &console, const QString &connectionName, bool nameGiven,
                      TORVSQLSettings *chosen)
{
    const QString iniPath = settingsFilePath();
    if (iniPath.isEmpty() || !QFileInfo::exists(iniPath)) {
        console.printError(TCommandLineText::tr("The settings file was not found: %1")
                               .arg(QDir::toNativeSeparators(iniPath)));
        return false;
    }
    // Read only: a status query must not write the shared file.
    const std::unique_ptr<const TVXSSettings> settings = TVXSSettings::openReadOnly(iniPath);
    if (nameGiven) {
        const TORVSQLSettingsList list = settings->dbList();
        const int index = TORVSQLSettings::indexOfName(list, connectionName);
        if (index < 0) {
            QStringList names;
            for (const TORVSQLSettings &entry : list)
                names << entry.connectionName;
            console.printError(
                TCommandLineText::tr("No connection named \"%1\" in %2. Known connections: %3")
                    .arg(connectionName, QDir::toNativeSeparators(iniPath),
                         names.isEmpty() ? TCommandLineText::tr("none") : names.join(QStringLiteral(", "))));
            return false;
        }
        *chosen = list.at(index);
    } else {
        *chosen = settings->serverDatabase();
        if (!chosen->isValid()) {
            console.printError(TCommandLineText::tr(
                                   "The settings file %1 names no usable database connection for the server.")
                                   .arg(QDir::toNativeSeparators(iniPath)));
            return false;
        }
    }
    QString where = chosen->databaseName;
    if (chosen->type == TORVSQLSettings::MSSqlServer)
        where = TCommandLineText::tr("%1 on %2")
                    .arg(chosen->databaseName,
                         chosen->address +
                             (chosen->port ? QLatin1Char(',') + QString::number(chosen->port) : QString()));
    console.printLine(TCommandLineText::tr("Connection: %1, %2").arg(chosen->displayName(), where));
    return true;
}

// Connects `db` to `settings`; reports why when it cannot.
bool openDatabase(TConsole &console, TVXSDatabase &db, const TORVSQLSettings &settings)
{
    const TORVSQLResult result = db.Connect(settings);
    if (!result.ok) {
        console.printError(TCommandLineText::tr("Cannot connect to the database: %1").arg(result.error));
        return false;
    }
    return true;
}

QString valueOrUnreadable(int value)
{
    return value < 0 ? TCommandLineText::tr("unreadable") : QString::number(value);
}

int databaseStatus(TConsole &console, const TORVSQLSettings &settings)
{
    // SQLite would create a missing file; a status query must not.
    if (settings.type == TORVSQLSettings::SQLite && !QFileInfo::exists(settings.databaseName)) {
        console.printError(TCommandLineText::tr("The database file does not exist: %1")
                               .arg(QDir::toNativeSeparators(settings.databaseName)));
        return ExitNoConnection;
    }
    TVXSDatabase db;
    if (!openDatabase(console, db, settings))
        return ExitNoConnection;

    const int version = db.DbVersion();
    console.printLine(TCommandLineText::tr("Database version: %1").arg(valueOrUnreadable(version)));
    console.printLine(
        TCommandLineText::tr("Minimum software version: %1").arg(valueOrUnreadable(db.DbSoftwareMinimum())));
    // Judged as the server's database manager does: a restriction is
    // reported and does not change the verdict.
    if (db.IsUnrestricted())
        console.printLine(TCommandLineText::tr("Restricted: no"));
    else
        console.printLine(TCommandLineText::tr(
            "Restricted: yes. This database is restricted for use with Veltrix Server."));

    const eVersionVerdict verdict = db.VersionVerdict();
    console.printLine(verdictText(version, verdict));
    return exitCodeOf(verdict);
}

QString stepDescription(int toVersion)
{
    if (toVersion == Veltrix::Database::Schema::firstVersion)
        return TCommandLineText::tr("Building version 1: the eleven first tables and the Info row");
    for (const auto &step : Veltrix::Database::Schema::upgradeSteps()) {
        if (step.version != toVersion)
            continue;
        QStringList operations;
        for (const auto &operation : step.operations)
            operations << operation.describe();
        return TCommandLineText::tr("Upgrading to version %1: %2")
            .arg(toVersion)
            .arg(operations.join(QStringLiteral("; ")));
    }
    return TCommandLineText::tr("Upgrading to version %1").arg(toVersion);
}

int upgradeDatabase(TConsole &console, const TORVSQLSettings &settings, bool backup,
                    const QString &noBackupOption)
{
    TVXSDatabase db;
    if (!openDatabase(console, db, settings))
        return ExitNoConnection;

    const int before = db.DbVersion();
    console.printLine(
        TCommandLineText::tr("Database version before the upgrade: %1").arg(valueOrUnreadable(before)));

    if (backup) {
        const Veltrix::Database::TVXBackupOutcome outcome = db.BackupBeforeUpgrade();
        if (!outcome.ok) {
            console.printError(outcome.message);
            return ExitNoBackup;
        }
        console.printLine(outcome.message);
    } else {
        console.printLine(TCommandLineText::tr("No copy of the database was made (%1).").arg(noBackupOption));
    }

    db.SetStepObserver([&console](int toVersion) { console.printLine(stepDescription(toVersion)); });
    const TORVSQLResult result = db.CreateOrUpgrade();
    const int after = db.DbVersion();
    if (!result.ok) {
        console.printError(TCommandLineText::tr("Database Upgrade Failed.\n%1").arg(result.error));
        if (!result.query.isEmpty())
            console.printError(TCommandLineText::tr("Statement: %1").arg(result.query));
        console.printError(
            TCommandLineText::tr("The database is at version %1.").arg(valueOrUnreadable(after)));
        return ExitUpgradeFailed;
    }
    if (after == before)
        console.printLine(TCommandLineText::tr("%1 Nothing to upgrade.").arg(versionText(after)));
    else
        console.printLine(TCommandLineText::tr("%1 The database was upgraded.").arg(versionText(after)));
    return ExitCurrent;
}

int run(TConsole &console, TOptions &options, int argc, char *argv[])
{
    // "-ShowMessage" belongs to the tray; it is dropped before parsing.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i == 0 || arg.compare(QLatin1String("-ShowMessage"), Qt::CaseInsensitive) != 0)
            arguments << arg;
    }

    QCommandLineParser &parser = options.parser;
    const QString tryHelp = TCommandLineText::tr("Try %1.").arg(typedName(options.help));
    if (!parser.parse(arguments)) {
        console.printError(parser.errorText());
        console.printError(tryHelp);
        return ExitUsage;
    }
    if (parser.isSet(options.help)) {
        console.printLine(parser.helpText());
        return 0;
    }
    if (parser.isSet(options.version)) {
        console.printLine(
            TCommandLineText::tr("%1 %2 (database schema version %3)")
                .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion())
                .arg(softwareLibraryVersion));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        console.printError(
            TCommandLineText::tr("Unexpected argument: %1").arg(parser.positionalArguments().first()));
        return ExitUsage;
    }

    const bool status = parser.isSet(options.status);
    const bool upgrade = parser.isSet(options.upgrade);
    if (status == upgrade) {
        console.printError(TCommandLineText::tr("Give one of %1 and %2. %3")
                               .arg(typedName(options.status), typedName(options.upgrade), tryHelp));
        return ExitUsage;
    }
    if (status && parser.isSet(options.noBackup)) {
        console.printError(TCommandLineText::tr("%1 goes with %2.")
                               .arg(typedName(options.noBackup), typedName(options.upgrade)));
        return ExitUsage;
    }

    TORVSQLSettings settings;
    if (!chooseConnection(console, parser.value(options.connection), parser.isSet(options.connection),
                          &settings))
        return ExitNoConnection;
    return status ? databaseStatus(console, settings)
                  : upgradeDatabase(console, settings, !parser.isSet(options.noBackup),
                                    typedName(options.noBackup));
}

} // namespace

bool handleCommandLine(int argc, char *argv[], QTextStream &out, QTextStream &err, int *exitCode)
{
    // Only these options make the command line take over; anything else (the
    // tray's own "-ShowMessage") starts the tray as before.
    TOptions options;
    bool ours = false;
    for (int i = 1; i < argc && !ours; ++i)
        ours = options.isOption(QString::fromLocal8Bit(argv[i]));
    if (!ours)
        return false;
#ifdef Q_OS_WIN
    attachParentConsole();
#endif
    int appArgc = argc;
    QCoreApplication app(appArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VeltrixServerController"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VX_CONTROLLER_VERSION));
    TConsole console(out, err);
    const int code = run(console, options, argc, argv);
    if (exitCode)
        *exitCode = code;
    return true;
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
