// How long the database manager's window stops processing events while it
// copies and upgrades a large version-6 database: a 10 ms heartbeat timer
// runs on the GUI thread, and the longest gap between two of its ticks while
// the copy and the upgrade run is reported.
//
// Usage: vx_bench_upgrade_gui [--rows N] [--runs N] [--dir PATH]
// (the offscreen platform is used unless QT_QPA_PLATFORM says otherwise)

#include "tdbmanagerform.h"
#include "tvxssettings.h"
#include "v6database.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

using Veltrix::Database::TVXSDBManagerForm;

namespace {

struct Figures
{
    double upgradeMs = 0;  // from answering Yes until the outcome box
    double longestGap = 0; // between two heartbeats, during that time
    QString outcome;       // the outcome box's text
};

// Opens the manager on `database`, clicks Upgrade, answers Yes and measures
// until the outcome box appears, which is then closed with the manager.
Figures upgradeFromManager(const QString &database, const QString &iniPath)
{
    Veltrix::Server::TVXSSettings settings(iniPath);
    settings.setServerDatabase(sqliteFile(database));
    settings.setDbList({sqliteFile(database)});
    TVXSDBManagerForm form(nullptr, &settings);

    QElapsedTimer clock;
    clock.start();
    QVector<qint64> beats; // ns
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&]() { beats << clock.nsecsElapsed(); });
    heartbeat.start();

    Figures figures;
    qint64 start = -1, end = -1;
    bool clicked = false;
    QTimer driver;
    driver.setInterval(5);
    QObject::connect(&driver, &QTimer::timeout, [&]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (start < 0) { // the question
                start = clock.nsecsElapsed();
                box->button(QMessageBox::Yes)->click();
            } else if (end < 0) {
                end = clock.nsecsElapsed();
                figures.outcome = box->text();
                box->button(QMessageBox::Ok)->click();
                form.done(0);
            }
            return;
        }
        auto *status = form.findChild<QLabel *>(QStringLiteral("lConnectionStatus"));
        if (!clicked && form.isVisible() && status &&
            status->text().startsWith(QStringLiteral("Connected"))) {
            clicked = true;
            // Queued: a timer does not fire again while its own slot runs the
            // nested loops of the question and the outcome boxes.
            QMetaObject::invokeMethod(form.findChild<QPushButton *>(QStringLiteral("pbUpgrade")), "click",
                                      Qt::QueuedConnection);
        }
    });
    driver.start();
    form.exec();

    figures.upgradeMs = (end - start) / 1e6;
    for (int i = 1; i < beats.size(); ++i) {
        if (beats.at(i) > start && beats.at(i - 1) < end)
            figures.longestGap = qMax(figures.longestGap, (beats.at(i) - beats.at(i - 1)) / 1e6);
    }
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    TBenchSetup setup;
    setup.addOptions(parser);
    parser.process(app);
    if (!setup.buildTemplate(parser))
        return 1;
    const QDir &dir = setup.dir;
    const QString &templatePath = setup.templatePath;
    const int runs = setup.runs;

    QList<double> gaps;
    for (int run = 1; run <= runs; ++run) {
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(run));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const QString database = folder + QStringLiteral("/vxs.db");
        QFile::copy(templatePath, database);
        const Figures figures = upgradeFromManager(database, folder + QStringLiteral("/VeltrixServer.ini"));
        if (!figures.outcome.startsWith(QStringLiteral("The database was upgraded."))) {
            say(QStringLiteral("upgrade failed: ") + figures.outcome);
            return 1;
        }
        gaps << figures.longestGap;
        say(QStringLiteral("run %1: copy and upgrade %2 ms, longest time without events %3 ms")
                .arg(run)
                .arg(figures.upgradeMs, 0, 'f', 0)
                .arg(figures.longestGap, 0, 'f', 1));
        QDir(folder).removeRecursively();
    }
    QFile::remove(templatePath);
    std::sort(gaps.begin(), gaps.end());
    say(QStringLiteral("longest time without events over %1 runs: median %2 ms, worst %3 ms (goal < 100 ms)")
            .arg(runs)
            .arg(gaps.at(gaps.size() / 2), 0, 'f', 1)
            .arg(gaps.last(), 0, 'f', 1));
    return 0;
}
