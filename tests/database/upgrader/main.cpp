#include "tvxdatabase.h"

#include <QCoreApplication>

#include <cstdio>

// Usage: vx_test_upgrader <database file>
// Prints "step N" before each version step and "done" or "failed: ..." at the end.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = "upgrader";
    settings.databaseName = app.arguments().value(1);

    Veltrix::Database::TVXDatabase db(settings);
    db.SetStepObserver([](int version) {
        std::printf("step %d\n", version);
        std::fflush(stdout);
    });
    const TORVSQLResult result = db.CreateOrUpgrade();
    if (!result.ok) {
        std::printf("failed: %s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("done\n");
    return 0;
}
