// vx_test_upgrader <database file>: copies and upgrades the database as the
// command line does, printing "copied: <the copy's message>", "step N" before
// each version step, and "done" or "failed: ..." at the end.
#include "../databasetest.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Veltrix::Database;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TVXDatabase db(sqliteRecord(app.arguments().value(1)));
    db.SetProgressObserver([](const TVXUpgradeProgress &progress) {
        if (progress.stage == TVXUpgradeProgress::Stage::Copied && !progress.path.isEmpty())
            std::printf("copied: %s\n", qPrintable(progress.message));
        else if (progress.stage == TVXUpgradeProgress::Stage::Step)
            std::printf("step %d\n", progress.toVersion);
        std::fflush(stdout);
    });
    const TORVSQLResult result = db.BackupAndUpgrade(true).result;
    std::printf(result.ok ? "done\n" : "failed: %s\n", qPrintable(result.error));
    return result.ok ? 0 : 1;
}
