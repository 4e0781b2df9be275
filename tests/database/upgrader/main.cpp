#include "tvxdatabase.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Veltrix::Database;

// Usage: vx_test_upgrader <database file>
// Copies and upgrades the database as the command line does. Prints "copied
// <path>" once a copy is in place, "step N" before each version
// step, and "done" or "failed: ..." at the end.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = "upgrader";
    settings.databaseName = app.arguments().value(1);

    TVXDatabase db(settings);
    db.SetProgressObserver([](const TVXUpgradeProgress &progress) {
        if (progress.stage == TVXUpgradeProgress::Stage::Copied && !progress.path.isEmpty())
            std::printf("copied %s\n", qPrintable(progress.path));
        else if (progress.stage == TVXUpgradeProgress::Stage::Step)
            std::printf("step %d\n", progress.toVersion);
        std::fflush(stdout);
    });
    const TVXUpgradeOutcome outcome = db.BackupAndUpgrade(true);
    if (!outcome.result.ok) {
        std::printf("failed: %s\n", qPrintable(outcome.result.error));
        return 1;
    }
    std::printf("done\n");
    return 0;
}
