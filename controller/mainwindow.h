#pragma once

#include "qtservicecontroller.h"
#include "tsingleinstanceguard.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>

class QAction;
class QMenu;
class QSettings;

namespace Veltrix {
namespace Server {
namespace Controller {

class WindowsEventFilter;

enum eServiceState
{
    Uninstalled = 0,
    Stopped = 1,
    Starting = 2,
    Running = 3
};

// A tray balloon as shown.
struct TTrayMessage
{
    QString title;
    QString text;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
};

// The controller's hidden window: owns the tray icon and its menu, polls the
// service every second and runs the service actions and dialogs.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    void setVisible(bool visible) override;

    eServiceState queryServiceState();
    void updateActions(eServiceState state);
    QMenu *createTrayMenu();
    static QIcon iconForState(eServiceState state);
    QAction *makeAction(const QString &text, QObject *receiver, const char *slot);

    // The state of the last poll.
    eServiceState serviceState() const { return currentState; }
    const QSystemTrayIcon &systemTrayIcon() const { return trayIcon; }
    WindowsEventFilter *windowsEventFilter() const { return nativeFilter; }
    bool isDbManagerOpen() const { return dbManagerOpen; }
    bool isServerConfigOpen() const { return serverConfigOpen; }
    // The last balloon shown (also the ones of the constructor).
    TTrayMessage lastMessage() const { return m_lastMessage; }
    // The tooltip of the tray icon for a state.
    static QString toolTipForState(eServiceState state);

signals:
    // Emitted with every tray balloon the window shows.
    void messageShown(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon);

public slots:
    void UpdateTrayIconFromState(QSystemTrayIcon &trayIcon, eServiceState currentState);
    void IconActivated(QSystemTrayIcon::ActivationReason reason);
    void OpenLocalhost();
    void OpenManageDatabaseForm();
    void OpenServerConfigForm();
    void UpdateTimerUp();
    void Exiting();
    void StartServer();
    void RestartServer();
    void StopServer();
    void InstallServer();
    void UninstallServer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showBalloon(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon);
    void noteStopRequested(bool accepted);

    QSystemTrayIcon trayIcon;
    QtServiceController serviceController;
    eServiceState currentState = Uninstalled;
    QTimer updateTimer;
    QSettings *serverSettings = nullptr;
    QAction *startAction = nullptr;
    QAction *stopAction = nullptr;
    QAction *restartAction = nullptr;
    QAction *installAction = nullptr;
    QAction *uninstallAction = nullptr;
    WindowsEventFilter *nativeFilter = nullptr;
    int messageTimeout = 3000;
    TSingleInstanceGuard instanceGuard;
    bool dbManagerOpen = false;
    bool serverConfigOpen = false;

    // For the "has stopped" warning: whether a state was read yet, and
    // whether this controller asked the service to stop.
    bool m_polled = false;
    bool m_stopRequested = false;
    bool m_restarting = false;
    TTrayMessage m_lastMessage;
};

} // namespace Controller
} // namespace Server
} // namespace Veltrix
