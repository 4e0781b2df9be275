#include "commandline.h"

#include "schema.h"
#include "settingslocation.h"
#include "torvsqlsettings.h"
#include "tvxdatabase.h"
#include "tvxssettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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

using Veltrix::Database::eUpgradeStop;
using Veltrix::Database::eVersionVerdict;
using Veltrix::Database::softwareLibraryVersion;
using Veltrix::Database::TVXSDatabase;
using Veltrix::Database::TVXUpgradeProgress;
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
     QT_TRANSLATE_NOOP("CommandLine", "upgraded, built, or nothing to do")},
    {ExitUpgradable, QT_TRANSLATE_NOOP("CommandLine", "it is usable and can be upgraded"), nullptr},
    {ExitMustUpgrade, QT_TRANSLATE_NOOP("CommandLine", "it must be upgraded, or does not exist yet"),
     nullptr},
    {ExitNotCompatible, QT_TRANSLATE_NOOP("CommandLine", "it is not compatible"),
     QT_TRANSLATE_NOOP("CommandLine", "it is not compatible (nothing was changed)")},
    {ExitNoConnection,
     QT_TRANSLATE_NOOP(
         "CommandLine",
         "no connection, or the database cannot be read (locked, damaged; the reason is printed)"),
     QT_TRANSLATE_NOOP("CommandLine", "no connection, or the database cannot be read (nothing was changed)")},
    {ExitNoBackup, nullptr,
     QT_TRANSLATE_NOOP(
         "CommandLine",
         "no copy could be written, or another upgrade of the database did not finish in time (nothing was "
         "changed)")},
    {ExitUpgradeFailed, nullptr,
     QT_TRANSLATE_NOOP("CommandLine",
                       "the upgrade failed (the database stays at the last version it reached)")},
};

eExitCode exitCodeOf(eUpgradeStop stop)
{
    switch (stop) {
    case eUpgradeStop::None:
        return ExitCurrent;
    case eUpgradeStop::Unreadable:
        return ExitNoConnection;
    case eUpgradeStop::NotCompatible:
        return ExitNotCompatible;
    case eUpgradeStop::Busy:
    case eUpgradeStop::NoCopy:
        return ExitNoBackup;
    case eUpgradeStop::StepFailed:
        break;
    }
    return ExitUpgradeFailed;
}

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
                "Veltrix Server Controller. Without options it starts in the system tray.\n\n%1\n%2\n"
                "Wrong options: %3, with this text.")
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
        for (const QString &name : names()) {
            if (typedName(name) == typed)
                return true;
        }
        return false;
    }

    // Whether `argument` is one of the long options written with one dash
    // ("-upgrade-database"), which is refused rather than guessed at.
    bool isSingleDashSpelling(const QString &argument) const
    {
        if (!argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1String("--")))
            return false;
        const QString name = argument.mid(1).section(QLatin1Char('='), 0, 0);
        return name.size() > 1 && names().contains(name);
    }

    // Whether the command line, not the tray, answers these arguments: one of
    // the options, any other "--" argument, or a one-dash spelling of ours.
    // Everything else ("-ShowMessage", Qt's own "-platform", "-style") is
    // left to the tray.
    bool takesOver(const QString &argument) const
    {
        return isOption(argument) || argument.startsWith(QLatin1String("--")) ||
               isSingleDashSpelling(argument);
    }

private:
    QStringList names() const
    {
        // addHelpOption() adds this one beside the option it returns.
        QStringList all{QStringLiteral("help-all")};
        for (const QCommandLineOption &option : {help, version, status, upgrade, connection, noBackup})
            all += option.names();
        return all;
    }

    // "Exit codes of <option>: 0 <meaning>, 1 <meaning>, ..."
    static QString exitCodesText(const QCommandLineOption &option, const char *TExitCodeMeaning::*meaning)
    {
        QStringList codes;
        for (const TExitCodeMeaning &row : exitCodeMeanings) {
            if (row.*meaning)
                codes << QStringLiteral("  %1  ").arg(row.code) +
                             QCoreApplication::translate("CommandLine", row.*meaning) + QLatin1Char('\n');
        }
        return TCommandLineText::tr("Exit codes of %1:\n%2").arg(typedName(option), codes.join(QString()));
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
// Output sent to a file or a pipe ("> status.txt", "| findstr") by the caller.
bool redirected(DWORD stdHandle)
{
    const DWORD type = GetFileType(GetStdHandle(stdHandle));
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

// The controller is a GUI program; write to the console it was started from,
// except where the output was redirected: that stays where the caller sent it.
void attachParentConsole()
{
    const bool outRedirected = redirected(STD_OUTPUT_HANDLE);
    const bool errRedirected = redirected(STD_ERROR_HANDLE);
    if ((outRedirected && errRedirected) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE *stream = nullptr;
    if (!outRedirected)
        freopen_s(&stream, "CONOUT$", "w", stdout);
    if (!errRedirected)
        freopen_s(&stream, "CONOUT$", "w", stderr);
}
#endif

// The connection the administrator asked for: the named entry of "dbList",
// or the server's own connection (group "db"). Without a settings file (the
// server never ran here) the connections are those a new file holds: an
// upgrade writes that file, as the tray would, and a status query writes
// nothing; *noSettingsFile then tells it so.
bool chooseConnection(TConsole &console, const QString &connectionName, bool nameGiven, bool writeMissingFile,
                      TORVSQLSettings *chosen, bool *noSettingsFile)
{
    const QString iniPath = settingsFilePath();
    if (iniPath.isEmpty()) {
        console.printError(TCommandLineText::tr("No folder for the settings file was found."));
        return false;
    }
    TORVSQLSettingsList list;
    *noSettingsFile = !QFileInfo::exists(iniPath);
    if (!*noSettingsFile) {
        // Read only: a status query must not write the shared file.
        const std::unique_ptr<const TVXSSettings> settings = TVXSSettings::openReadOnly(iniPath);
        list = settings->dbList();
        *chosen = settings->serverDatabase();
    } else if (writeMissingFile) {
        TVXSSettings settings(iniPath); // writes every default
        if (!settings.writeToDisk()) {
            console.printError(TCommandLineText::tr("The settings file %1 could not be written.")
                                   .arg(QDir::toNativeSeparators(iniPath)));
            return false;
        }
        console.printLine(TCommandLineText::tr("Wrote the default settings file %1")
                              .arg(QDir::toNativeSeparators(iniPath)));
        list = settings.dbList();
        *chosen = settings.serverDatabase();
        *noSettingsFile = false;
    } else {
        console.printLine(
            TCommandLineText::tr("The settings file %1 does not exist yet; its default connection is used.")
                .arg(QDir::toNativeSeparators(iniPath)));
        *chosen = TVXSSettings::defaultServerDatabase(TVXSSettings::defaultSettingsPath(iniPath));
        list = {*chosen};
    }

    if (nameGiven) {
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
    } else if (!chosen->isValid()) {
        console.printError(
            TCommandLineText::tr("The settings file %1 names no usable database connection for the server.")
                .arg(QDir::toNativeSeparators(iniPath)));
        return false;
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

// Why an SQLite database cannot be used; the same rule for both options.
bool pathAccepted(TConsole &console, const TORVSQLSettings &settings)
{
    if (settings.type != TORVSQLSettings::SQLite)
        return true;
    const QString problem = Veltrix::Database::sqliteDatabasePathProblem(settings.databaseName);
    if (!problem.isEmpty())
        console.printError(problem);
    return problem.isEmpty();
}

int databaseStatus(TConsole &console, const TORVSQLSettings &settings, bool noSettingsFile,
                   const QString &upgradeOption)
{
    // SQLite would create a missing file; a status query must not. Without a
    // settings file its folder may be missing too: the upgrade creates both.
    if (settings.type == TORVSQLSettings::SQLite && !QFileInfo::exists(settings.databaseName) &&
        (noSettingsFile || Veltrix::Database::sqliteDatabasePathProblem(settings.databaseName).isEmpty())) {
        console.printLine(TCommandLineText::tr("The database %1 does not exist yet. %2 creates it.")
                              .arg(QDir::toNativeSeparators(settings.databaseName), upgradeOption));
        return ExitMustUpgrade;
    }
    TVXSDatabase db;
    if (!pathAccepted(console, settings) || !openDatabase(console, db, settings))
        return ExitNoConnection;

    const Veltrix::Database::TVXInfoRow info = db.ReadInfoRow();
    if (!info.problem.isEmpty()) {
        console.printError(TCommandLineText::tr("The database cannot be read: %1").arg(info.problem));
        return ExitNoConnection;
    }
    if (info.empty) {
        console.printLine(TCommandLineText::tr("The database is empty. %1 builds it.").arg(upgradeOption));
        return ExitMustUpgrade;
    }
    console.printLine(TCommandLineText::tr("Database version: %1").arg(info.version));
    console.printLine(
        TCommandLineText::tr("Minimum software version: %1").arg(valueOrUnreadable(info.minimum)));
    // Judged as the server's database manager does: a restriction is
    // reported and does not change the verdict.
    if (info.restricted)
        console.printLine(TCommandLineText::tr(
            "Restricted: yes. This database is restricted for use with Veltrix Server."));
    else
        console.printLine(TCommandLineText::tr("Restricted: no"));

    const eVersionVerdict verdict = Veltrix::Database::strictVersionVerdict(info.version, info.minimum);
    console.printLine(verdictText(info.version, verdict));
    return exitCodeOf(verdict);
}

// A stage as the upgrade prints it; a version step with what it does.
QString stageLine(const TVXUpgradeProgress &progress)
{
    using Stage = TVXUpgradeProgress::Stage;
    const QString text = Veltrix::Database::upgradeStageText(progress);
    if (progress.stage == Stage::Copied)
        return text;
    if (progress.stage != Stage::Step)
        return TCommandLineText::tr("%1 ...").arg(text);
    if (progress.toVersion == Veltrix::Database::Schema::firstVersion)
        return TCommandLineText::tr("%1: the eleven first tables and the Info row").arg(text);
    for (const auto &step : Veltrix::Database::Schema::upgradeSteps()) {
        if (step.version != progress.toVersion)
            continue;
        QStringList operations;
        for (const auto &operation : step.operations)
            operations << operation.describe();
        return TCommandLineText::tr("%1: %2").arg(text, operations.join(QStringLiteral("; ")));
    }
    return text;
}

int upgradeDatabase(TConsole &console, const TORVSQLSettings &settings, bool backup,
                    const QString &noBackupOption)
{
    TVXSDatabase db;
    if (!pathAccepted(console, settings) || !openDatabase(console, db, settings))
        return ExitNoConnection;
    if (!backup)
        console.printLine(TCommandLineText::tr("No copy of the database is made (%1).").arg(noBackupOption));

    // Each stage as it starts, with the time since the upgrade began.
    QElapsedTimer clock;
    clock.start();
    const auto timed = [&clock](const QString &text) {
        return TCommandLineText::tr("[%1 s] %2").arg(clock.elapsed() / 1000.0, 0, 'f', 1).arg(text);
    };
    db.SetProgressObserver([&console, &timed](const TVXUpgradeProgress &progress) {
        console.printLine(timed(stageLine(progress)));
    });
    const Veltrix::Database::TVXUpgradeOutcome outcome = db.BackupAndUpgrade(backup);
    db.SetProgressObserver({});

    if (outcome.stop != eUpgradeStop::StepFailed && !outcome.result.ok) {
        console.printError(outcome.result.error);
        return exitCodeOf(outcome.stop);
    }
    const int after = db.DbVersion();
    if (!outcome.result.ok) {
        console.printError(TCommandLineText::tr("Database Upgrade Failed.\n%1").arg(outcome.result.error));
        if (!outcome.result.query.isEmpty())
            console.printError(TCommandLineText::tr("Statement: %1").arg(outcome.result.query));
        console.printError(
            TCommandLineText::tr("The database is at version %1.").arg(valueOrUnreadable(after)));
        if (outcome.backup.copied)
            console.printError(TCommandLineText::tr("The copy made before the upgrade is %1")
                                   .arg(QDir::toNativeSeparators(outcome.backup.path)));
        return ExitUpgradeFailed;
    }
    console.printLine(
        timed((after == outcome.versionBefore ? TCommandLineText::tr("%1 Nothing to upgrade.")
                                              : TCommandLineText::tr("%1 The database was upgraded."))
                  .arg(versionText(after))));
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
    const auto usageError = [&console, &parser](const QString &text) {
        console.printError(text + QLatin1Char('\n'));
        console.printError(parser.helpText());
        return ExitUsage;
    };
    for (const QString &argument : arguments.mid(1)) {
        if (options.isSingleDashSpelling(argument))
            return usageError(TCommandLineText::tr("Options are written with two dashes: -%1").arg(argument));
    }
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
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
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            TCommandLineText::tr("Unexpected argument: %1").arg(parser.positionalArguments().first()));

    const bool status = parser.isSet(options.status);
    const bool upgrade = parser.isSet(options.upgrade);
    if (status == upgrade)
        return usageError(TCommandLineText::tr("Give one of %1 and %2.")
                              .arg(typedName(options.status), typedName(options.upgrade)));
    if (status && parser.isSet(options.noBackup))
        return usageError(TCommandLineText::tr("%1 goes with %2.")
                              .arg(typedName(options.noBackup), typedName(options.upgrade)));

    TORVSQLSettings settings;
    bool noSettingsFile = false;
    if (!chooseConnection(console, parser.value(options.connection), parser.isSet(options.connection),
                          upgrade, &settings, &noSettingsFile))
        return ExitNoConnection;
    return status ? databaseStatus(console, settings, noSettingsFile, typedName(options.upgrade))
                  : upgradeDatabase(console, settings, !parser.isSet(options.noBackup),
                                    typedName(options.noBackup));
}

} // namespace

bool handleCommandLine(int argc, char *argv[], QTextStream &out, QTextStream &err, int *exitCode)
{
    TOptions options;
    bool ours = false;
    for (int i = 1; i < argc && !ours; ++i)
        ours = options.takesOver(QString::fromLocal8Bit(argv[i]));
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
