// Entry point of the Veltrix Server Controller.

#include "commandline.h"
#include "mainwindow.h"
#include "terminationsignals.h"

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

    MainWindow window;
    window.show();
    return app.exec();
}
