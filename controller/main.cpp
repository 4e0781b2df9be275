// Entry point of the Veltrix Server Controller.

#include "commandline.h"
#include "mainwindow.h"
#include "terminationsignals.h"
#ifdef VX_SYSTEMD_BACKEND
#include "settingslocation.h"
#include "tsystemdservicebackend.h"
#endif

#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace Veltrix::Server::Controller;

    int exitCode = 0;
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (handleCommandLine(argc, argv, out, err, &exitCode))
        return exitCode;

    QApplication app(argc, argv);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        QMessageBox::critical(nullptr, QObject::tr("Systray"),
                              QObject::tr("I couldn't detect any system tray on this system."),
                              QMessageBox::Ok);
        return 1;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
    quitOnTerminationSignals();
#ifdef VX_SYSTEMD_BACKEND
    // Install writes the service's unit file beside the server's settings,
    // in the folder the package sets up for the group that manages it.
    Veltrix::Server::setServiceBackend(
        std::make_unique<Veltrix::Server::TSystemdServiceBackend>(Veltrix::Server::settingsFolder()));
#endif

    MainWindow window;
    window.show();
    return app.exec();
}
