// What one poll of the service state costs: the controller asks
// isInstalled() and isRunning() every second. Compares the service-control
// layer of this platform with asking systemctl (two process starts a poll).

#include "qtservicecontroller.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds(int who)
{
    rusage usage = {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int polls = 200;

    const QString serviceName = QString::fromLatin1(Veltrix::Server::veltrixServiceName);
    QtServiceController controller(serviceName);
    QElapsedTimer wall;
    double cpu = cpuSeconds(RUSAGE_SELF);
    wall.start();
    int installed = 0;
    for (int i = 0; i < polls; ++i) {
        if (controller.isInstalled()) {
            ++installed;
            controller.isRunning();
        }
    }
    const double layerWallUs = double(wall.nsecsElapsed()) / 1e3 / polls;
    const double layerCpuUs = (cpuSeconds(RUSAGE_SELF) - cpu) * 1e6 / polls;
    std::printf("service-control layer: %.1f us wall, %.1f us CPU per poll (%s)\n", layerWallUs, layerCpuUs,
                installed ? "service installed" : "service not installed");
    std::printf("  at one poll a second: %.4f %% of one core\n", layerCpuUs / 1e6 * 100.0);

    const QString systemctl = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (systemctl.isEmpty()) {
        std::printf("systemctl: not found, not compared\n");
        return 0;
    }
    const int spawnPolls = 40;
    cpu = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
    wall.restart();
    for (int i = 0; i < spawnPolls; ++i) {
        for (const char *verb : {"is-enabled", "is-active"}) {
            QProcess process;
            process.start(systemctl, {QString::fromLatin1(verb), QStringLiteral("--quiet"),
                                      serviceName + QStringLiteral(".service")});
            process.waitForFinished(5000);
        }
    }
    const double spawnWallUs = double(wall.nsecsElapsed()) / 1e3 / spawnPolls;
    const double spawnCpuUs =
        (cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - cpu) * 1e6 / spawnPolls;
    std::printf("systemctl (two runs a poll): %.1f us wall, %.1f us CPU per poll\n", spawnWallUs, spawnCpuUs);
    std::printf("  at one poll a second: %.4f %% of one core\n", spawnCpuUs / 1e6 * 100.0);
    return 0;
}
