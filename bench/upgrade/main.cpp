// Times the upgrade of a version-6 SQLite database with many DeviceLogs rows
// to version 12, against a baseline: the sqlite3 tool applying the same
// schema changes (the same ALTERs, drops and index creations, no row
// rewrites) to a copy of the same file.
//
// Usage: vx_bench_upgrade [--rows N] [--runs N] [--dir PATH] [--sqlite3 PATH]

#include "schema.h"
#include "tvxdatabase.h"
#include "v6database.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using Veltrix::Database::TVXDatabase;
namespace Schema = Veltrix::Database::Schema;

namespace {

// The same schema changes as steps 7 to 12 of an SQLite upgrade, for the
// sqlite3 tool: column additions, the move of the e-mail configurations, the
// drops, the indexes and the new table. No version bookkeeping, no
// transactions of its own.
QString baselineScript()
{
    return QStringLiteral(
               "ALTER TABLE Location ADD EmailConfigID INTEGER REFERENCES EmailConfig (EmailConfigID) ON "
               "DELETE "
               "RESTRICT ON UPDATE RESTRICT;\n"
               "UPDATE Location SET EmailConfigID = (SELECT LocationConfigs.EmailConfigID FROM "
               "LocationConfigs "
               "WHERE LocationConfigs.LocationID = Location.LocationID);\n"
               "DROP TABLE LocationConfigs;\n"
               "ALTER TABLE DeviceLogs ADD offsetFromUTC INTEGER DEFAULT %1;\n"
               "ALTER TABLE Location ADD Timezone VARCHAR(100) DEFAULT %2;\n"
               "ALTER TABLE Devices ADD State INTEGER DEFAULT 0;\n"
               "ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN DEFAULT 0;\n"
               "DROP TABLE Status;\n"
               "DROP TABLE Diagnostics;\n"
               "ALTER TABLE Devices ADD Status TEXT;\n"
               "ALTER TABLE Devices ADD Diagnostics TEXT;\n"
               "ALTER TABLE Devices ADD Network TEXT;\n"
               "CREATE INDEX DeviceLogs_DateTime_Index ON DeviceLogs (date, time);\n"
               "CREATE INDEX DeviceLogs_Serial_Index ON DeviceLogs (serial);\n"
               "CREATE INDEX EventLog_TimeStamp_Index ON EventLog (timeStamp);\n"
               "CREATE TABLE NotificationConfig (NotificationConfigID INTEGER NOT NULL PRIMARY KEY "
               "AUTOINCREMENT, name VARCHAR(100) UNIQUE, url VARCHAR(2048), method VARCHAR(100), headers "
               "TEXT, "
               "message TEXT, resultLimit VARCHAR(10) NOT NULL DEFAULT '0.05');\n"
               "ALTER TABLE Location ADD NotificationConfigID INTEGER REFERENCES NotificationConfig "
               "(NotificationConfigID) ON DELETE RESTRICT ON UPDATE RESTRICT;\n"
               "ALTER TABLE DeviceConfigs ADD NotificationConfigID INTEGER REFERENCES NotificationConfig "
               "(NotificationConfigID) ON DELETE RESTRICT ON UPDATE RESTRICT;\n")
        .arg(Schema::machineUtcOffsetDefault(), Schema::machineTimeZoneDefault());
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    TBenchSetup setup;
    const QCommandLineOption toolOption(QStringLiteral("sqlite3"), QStringLiteral("The sqlite3 tool."),
                                        QStringLiteral("PATH"), QStringLiteral("sqlite3"));
    setup.addOptions(parser);
    parser.addOption(toolOption);
    parser.process(app);
    if (!setup.buildTemplate(parser))
        return 1;
    const QDir &dir = setup.dir;
    const QString &templatePath = setup.templatePath;
    const int runs = setup.runs;
    say(QStringLiteral("Database size: %1 MB").arg(QFileInfo(templatePath).size() / 1e6, 0, 'f', 1));

    const QString scriptPath = dir.filePath(QStringLiteral("baseline.sql"));
    {
        QFile script(scriptPath);
        if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        script.write(baselineScript().toUtf8());
    }
    say(QStringLiteral("Baseline script: %1").arg(scriptPath));

    QList<double> ours, baseline;
    for (int run = 0; run < runs; ++run) {
        const QString oursPath = dir.filePath(QStringLiteral("ours.db"));
        const QString basePath = dir.filePath(QStringLiteral("baseline.db"));
        QFile::remove(oursPath);
        QFile::remove(basePath);
        QFile::copy(templatePath, oursPath);
        QFile::copy(templatePath, basePath);

        // Alternate the order so that neither always runs on a warmer cache.
        for (int turn = 0; turn < 2; ++turn) {
            const bool oursTurn = (turn == 0) == (run % 2 == 0);
            QElapsedTimer timer;
            if (oursTurn) {
                timer.start();
                TVXDatabase db(sqliteFile(oursPath));
                const TORVSQLResult result = db.CreateOrUpgrade();
                const double ms = timer.nsecsElapsed() / 1e6;
                if (!result.ok || db.DbVersion() != 12) {
                    say(QStringLiteral("upgrade failed: ") + result.error);
                    return 1;
                }
                ours << ms;
            } else {
                QProcess tool;
                tool.setStandardInputFile(scriptPath);
                timer.start();
                tool.start(parser.value(toolOption), {QStringLiteral("-bail"), basePath});
                if (!tool.waitForFinished(-1) || tool.exitCode() != 0) {
                    say(QStringLiteral("sqlite3 failed: ") +
                        QString::fromLocal8Bit(tool.readAllStandardError()));
                    return 1;
                }
                baseline << timer.nsecsElapsed() / 1e6;
            }
        }
        say(QStringLiteral("run %1: upgrade %2 ms, sqlite3 baseline %3 ms")
                .arg(run + 1)
                .arg(ours.last(), 0, 'f', 0)
                .arg(baseline.last(), 0, 'f', 0));
        QFile::remove(oursPath);
        QFile::remove(basePath);
    }
    QFile::remove(templatePath);

    const double o = median(ours), b = median(baseline);
    say(QStringLiteral("median of %1 runs: upgrade %2 ms, baseline %3 ms, ratio %4 (goal <= 1.20)")
            .arg(runs)
            .arg(o, 0, 'f', 0)
            .arg(b, 0, 'f', 0)
            .arg(o / b, 0, 'f', 2));
    return 0;
}
