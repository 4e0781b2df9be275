#include "mainwindow.h"

#include "applicationstyles.h"
#include "dialoglaunchers.h"
#include "settingslocation.h"
#include "settingstable.h"
#include "vxresources.h"
#include "windowseventfilter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QUrl>

#include <iterator>

namespace Veltrix {
namespace Server {
namespace Controller {

namespace {

const char instanceKey[] = "VeltrixServerControllerInstance";
constexpr int pollIntervalMs = 1000;
constexpr int restartWaitMs = 5000;

// The text of a failure balloon: the failure, and on a second line the
// service manager's reason when it gave one.
QString failureText(const QString &failure, const TServiceResult &result)
{
    return result.reason.isEmpty() ? failure : failure + QLatin1Char('\n') + result.reason;
}

} // namespace

MainWindow::MainWindow()
    : QMainWindow(nullptr), trayIcon(nullptr), serviceController(QString::fromLatin1(veltrixServiceName)),
      updateTimer(nullptr), messageTimeout(3000), instanceGuard(QString::fromLatin1(instanceKey), this)
{
    vxInitResources();
    const QStringList arguments = QCoreApplication::arguments();

    serverSettings = new QSettings(settingsFilePath(), QSettings::IniFormat);
    readRawTextAsUtf8(*serverSettings);

    trayIcon.setContextMenu(createTrayMenu());
    connect(&trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::IconActivated);

    UpdateTimerUp();
    trayIcon.setVisible(true);

    connect(&updateTimer, &QTimer::timeout, this, &MainWindow::UpdateTimerUp);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::Exiting);
    updateTimer.setInterval(pollIntervalMs);
    updateTimer.start();

    hide();

    nativeFilter = new WindowsEventFilter(trayIcon.contextMenu());
    nativeFilter->enabled = true;
    QCoreApplication::instance()->installNativeEventFilter(nativeFilter);

    applyFontsAndStyles();

    const QString title = tr("Veltrix Server Controller");
    if (instanceGuard.isAlreadyRunning()) {
        showBalloon(title, tr("Already running in System Tray"), QSystemTrayIcon::Information);
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    } else if (arguments.contains(QStringLiteral("-ShowMessage"), Qt::CaseInsensitive)) {
        showBalloon(title, tr("Now running in System Tray"), QSystemTrayIcon::Information);
    }
}

MainWindow::~MainWindow()
{
    // The filter stays installed until the process ends (a late native
    // message may still reach it), so it is not deleted here; it no longer
    // ends anything once the window is gone.
    if (nativeFilter) {
        nativeFilter->enabled = false;
        nativeFilter->trayMenu = nullptr;
    }
    delete serverSettings;
}

void MainWindow::setVisible(bool)
{
    QMainWindow::setVisible(false);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

QAction *MainWindow::makeAction(const QString &text, QObject *receiver, const char *slot)
{
    auto *action = new QAction(text, this);
    connect(action, SIGNAL(triggered(bool)), receiver, slot);
    return action;
}

QMenu *MainWindow::createTrayMenu()
{
    auto *menu = new QMenu(this);
    menu->addAction(makeAction(tr("VX Server Localhost"), this, SLOT(OpenLocalhost())));
    menu->addAction(makeAction(tr("Manage Database"), this, SLOT(OpenManageDatabaseForm())));
    menu->addAction(makeAction(tr("Server Configuration"), this, SLOT(OpenServerConfigForm())));
    menu->addSeparator();
    startAction = makeAction(tr("Start Service"), this, SLOT(StartServer()));
    restartAction = makeAction(tr("Restart Service"), this, SLOT(RestartServer()));
    stopAction = makeAction(tr("Stop Service"), this, SLOT(StopServer()));
    installAction = makeAction(tr("Install Service"), this, SLOT(InstallServer()));
    uninstallAction = makeAction(tr("Uninstall Service"), this, SLOT(UninstallServer()));
    menu->addAction(startAction);
    menu->addAction(restartAction);
    menu->addAction(stopAction);
    menu->addAction(installAction);
    menu->addAction(uninstallAction);
    if (!readSetting(*serverSettings, eSetting::AllowInstalling).toBool()) {
        installAction->setVisible(false);
        uninstallAction->setVisible(false);
    }
    menu->addSeparator();
    menu->addAction(makeAction(tr("Quit"), qApp, SLOT(quit())));
    return menu;
}

QIcon MainWindow::iconForState(eServiceState state)
{
    static const char *const files[] = {
        ":/resources/VXS_Uninstalled.png",
        ":/resources/VXS_Stopped.png",
        ":/resources/VXS_Starting.png",
        ":/resources/VXS_Running.png",
    };
    QIcon icon;
    const int index = static_cast<int>(state);
    if (index >= 0 && index < int(std::size(files)))
        icon.addFile(QString::fromLatin1(files[index]), QSize(), QIcon::Normal, QIcon::Off);
    return icon;
}

QString MainWindow::toolTipForState(eServiceState state)
{
    switch (state) {
    case Uninstalled:
        return tr("Veltrix Server: Not installed");
    case Stopped:
        return tr("Veltrix Server: Stopped");
    case Starting:
        return tr("Veltrix Server: Starting");
    case Running:
        return tr("Veltrix Server: Running");
    }
    return tr("Veltrix Server");
}

eServiceState MainWindow::queryServiceState()
{
    if (!serviceController.isInstalled())
        return Uninstalled;
    return serviceController.isRunning() ? Running : Stopped;
}

void MainWindow::updateActions(eServiceState state)
{
    startAction->setEnabled(state == Stopped);
    restartAction->setEnabled(state == Running);
    stopAction->setEnabled(state == Running);
    installAction->setEnabled(state == Uninstalled);
    uninstallAction->setEnabled(state == Stopped || state == Running);
}

void MainWindow::UpdateTrayIconFromState(QSystemTrayIcon &icon, eServiceState state)
{
    icon.setIcon(iconForState(state));
    icon.setToolTip(toolTipForState(state));
}

void MainWindow::UpdateTimerUp()
{
    const eServiceState previous = currentState;
    currentState = queryServiceState();
    if (m_polled && previous == Running && currentState != Running) {
        if (m_stopRequested)
            m_stopRequested = false;
        else
            showBalloon(tr("Veltrix Server"), tr("Veltrix Server has stopped"), QSystemTrayIcon::Warning);
    }
    m_polled = true;
    UpdateTrayIconFromState(trayIcon, currentState);
    updateActions(currentState);
}

void MainWindow::showBalloon(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon)
{
    trayIcon.showMessage(title, text, icon, messageTimeout);
    m_lastMessage = {title, text, icon};
    emit messageShown(title, text, icon);
}

void MainWindow::noteStopRequested(bool accepted)
{
    // A stop this controller asked for is not reported as an unexpected one.
    m_stopRequested = accepted;
}

void MainWindow::IconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        OpenLocalhost();
}

void MainWindow::OpenLocalhost()
{
    currentState = queryServiceState();
    if (currentState != Running)
        return;
    // Built from the port number, never from the stored text, so that the
    // address cannot name another host.
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("localhost"));
    url.setPort(readSetting(*serverSettings, eSetting::TrayWebServerPort).toInt());
    url.setPath(QStringLiteral("/"));
    if (!QDesktopServices::openUrl(url)) {
        QMessageBox::critical(this, tr("Veltrix Web Page"),
                              tr("Unable to connect to the Veltrix Server using the default browser."),
                              QMessageBox::Ok);
    }
}

void MainWindow::OpenManageDatabaseForm()
{
    if (dbManagerOpen)
        return;
    dbManagerOpen = true;
    nativeFilter->enabled = false;
    const bool connectionChanged = runDatabaseManager();
    if (connectionChanged) {
        QMessageBox::information(this, tr("Restart Required"),
                                 tr("The server database connection has changed.\nThe server will need to be "
                                    "restarted in order for any changes to take effect."),
                                 QMessageBox::Ok);
    }
    dbManagerOpen = false;
    nativeFilter->enabled = !serverConfigOpen;
}

void MainWindow::OpenServerConfigForm()
{
    if (serverConfigOpen)
        return;
    serverConfigOpen = true;
    nativeFilter->enabled = false;
    runServerConfigDialog();
    serverConfigOpen = false;
    nativeFilter->enabled = !dbManagerOpen;
}

void MainWindow::Exiting()
{
    trayIcon.setVisible(false);
}

void MainWindow::StartServer()
{
    switch (currentState) {
    case Stopped:
        UpdateTimerUp();
        if (const TServiceResult started = serviceController.start(); !started.ok)
            showBalloon(tr("Start Server"),
                        failureText(tr("Failed to start Veltrix Server as a service"), started),
                        QSystemTrayIcon::Critical);
        break;
    case Running:
        showBalloon(tr("Start Server"), tr("Veltrix Server is already running as a service"),
                    QSystemTrayIcon::Warning);
        break;
    default:
        showBalloon(tr("Start Server"), tr("Veltrix Server is not installed as a service"),
                    QSystemTrayIcon::Warning);
        break;
    }
    UpdateTimerUp();
}

void MainWindow::StopServer()
{
    if (currentState == Running) {
        const TServiceResult stopped = serviceController.stop();
        noteStopRequested(stopped.ok);
        if (!stopped.ok)
            showBalloon(tr("Stop Server"), failureText(tr("Failed to stop Veltrix Server"), stopped),
                        QSystemTrayIcon::Critical);
    } else {
        showBalloon(tr("Stop Server"), tr("Veltrix Server is not running"), QSystemTrayIcon::Warning);
    }
    UpdateTimerUp();
}

void MainWindow::RestartServer()
{
    // The wait below runs the event loop; a second restart chosen meanwhile
    // would only start a second wait on the same stop.
    if (m_restarting)
        return;
    m_restarting = true;
    StopServer();
    QElapsedTimer elapsed;
    elapsed.start();
    // Wakes the wait below regularly so the deadline is seen even when no
    // other event arrives; the poll timer updates currentState meanwhile.
    QTimer wake;
    wake.start(50);
    while (currentState != Stopped) {
        if (elapsed.elapsed() > restartWaitMs) {
            showBalloon(tr("Restart Server"), tr("Veltrix Server failed to restart"),
                        QSystemTrayIcon::Warning);
            m_restarting = false;
            return;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    wake.stop();
    m_restarting = false;
    StartServer();
}

void MainWindow::InstallServer()
{
    if (currentState == Uninstalled) {
        const QString startPath = readSetting(*serverSettings, eSetting::ServiceFilePath).toString();
#ifdef Q_OS_WIN
        const QString filter = tr("Executables (*.exe)");
#else
        const QString filter = tr("Executables (*)");
#endif
        const QString path =
            QFileDialog::getOpenFileName(this, tr("Get Service Executable"), startPath, filter);
        if (!path.isEmpty()) {
            const TServiceResult installed = QtServiceController::install(path, QString(), QString());
            if (installed.ok) {
                writeSetting(*serverSettings, eSetting::ServiceFilePath, path);
                serverSettings->sync();
            } else {
                showBalloon(tr("Install Server"),
                            failureText(tr("Failed to Install Veltrix Server"), installed),
                            QSystemTrayIcon::Critical);
            }
        }
    } else {
        showBalloon(tr("Install Server"), tr("Veltrix Server is already Installed"),
                    QSystemTrayIcon::Information);
    }
    UpdateTimerUp();
}

void MainWindow::UninstallServer()
{
    if (currentState == Uninstalled) {
        showBalloon(tr("Uninstall Server"), tr("Veltrix Server is not Installed"), QSystemTrayIcon::Warning);
    } else {
        bool stopAccepted = false;
        if (currentState == Running)
            stopAccepted = serviceController.stop().ok;
        const TServiceResult removed = serviceController.uninstall();
        // The service goes away at this controller's request.
        if (currentState == Running)
            noteStopRequested(stopAccepted || removed.ok);
        if (!removed.ok)
            showBalloon(tr("Uninstall Server"),
                        failureText(tr("Failed to Uninstall Veltrix Server"), removed),
                        QSystemTrayIcon::Critical);
    }
    UpdateTimerUp();
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
