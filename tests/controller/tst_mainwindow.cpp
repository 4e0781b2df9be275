// The tray window against a fake service manager, on the offscreen platform.
// The settings folder is pointed into a temporary ".../ProgramData" through
// XDG_CONFIG_DIRS, as an administrator's machine would name it.

#include "mainwindow.h"
#include "modalanswerer.h"
#include "settingslocation.h"
#include "tfakeservicebackend.h"
#include "vxresources.h"
#include "windowseventfilter.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

using namespace Veltrix::Server;
using namespace Veltrix::Server::Controller;

Q_DECLARE_METATYPE(QSystemTrayIcon::MessageIcon)

namespace {

// The application's argument vector; tests add "-ShowMessage" to it.
int appArgc = 0;
char *appArgv[32];
int baseArgc = 0;

void setExtraArgument(const char *argument)
{
    appArgc = baseArgc;
    if (argument)
        appArgv[appArgc++] = const_cast<char *>(argument);
    appArgv[appArgc] = nullptr;
}

// Records the addresses QDesktopServices is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

QString describe(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon)
{
    const char *names[] = {"N", "I", "W", "C"};
    return title + QLatin1Char('|') + text + QLatin1Char('|') + QLatin1String(names[icon]);
}

// Every balloon the window shows, as "title|text|I/W/C".
class BalloonLog : public QObject
{
public:
    explicit BalloonLog(MainWindow &window)
    {
        connect(&window, &MainWindow::messageShown, this,
                [this](const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon) {
                    entries << describe(title, text, icon);
                });
    }
    QStringList entries;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingsFileIsUnderProgramData();
    void menuEntriesInOrder_data();
    void menuEntriesInOrder();
    void iconToolTipAndEnablingPerState_data();
    void iconToolTipAndEnablingPerState();
    void startingStateDisablesEveryAction();
    void iconOutsideTheTableIsEmpty();
    void serviceActions_data();
    void serviceActions();
    void restartGivesUpAfterFiveSeconds();
    void unexpectedStopIsReportedOnce();
    void installCancelledChangesNothing();
    void installStoresThePath();
    void installFailureKeepsThePath();
    void webPageAddress_data();
    void webPageAddress();
    void webPageNotOpenedUnlessRunning();
    void webPageBrowserFailureIsReported();
    void showMessageOptionInAnyCase_data();
    void showMessageOptionInAnyCase();
    void exitingHidesTheIcon();
    void dialogSlotsKeepTheirFlags();
    void closeEventIsIgnoredAndWindowStaysHidden();
    void secondWindowReportsAlreadyRunning();

private:
    std::unique_ptr<MainWindow> makeWindow();
    QAction *action(MainWindow &window, const QString &text);
    void writeSetting(const QString &key, const QVariant &value);
    QVariant readSetting(const QString &key);

    QTemporaryDir m_root;
    QString m_iniPath;
    TFakeServiceBackend *m_fake = nullptr;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_root.isValid());
    // Lower case on purpose: the word is matched without regard to case.
    const QString programData = m_root.filePath(QStringLiteral("programdata"));
    QVERIFY(QDir().mkpath(programData + QStringLiteral("/VeltrixServer")));
    qputenv("XDG_CONFIG_HOME", m_root.filePath(QStringLiteral("home-config")).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", programData.toLocal8Bit());
    m_iniPath = programData + QStringLiteral("/VeltrixServer/VeltrixServer.ini");
    QCOMPARE(settingsFilePath(), m_iniPath);
    vxInitResources();
}

void TestMainWindow::init()
{
    QFile::remove(m_iniPath);
    auto fake = std::make_unique<TFakeServiceBackend>();
    m_fake = fake.get();
    setServiceBackend(std::move(fake));
    setExtraArgument(nullptr);
}

void TestMainWindow::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    setServiceBackend(nullptr);
    m_fake = nullptr;
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    m_fake->calls.clear();
    return window;
}

QAction *TestMainWindow::action(MainWindow &window, const QString &text)
{
    const QList<QAction *> actions = window.systemTrayIcon().contextMenu()->actions();
    for (QAction *a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

void TestMainWindow::writeSetting(const QString &key, const QVariant &value)
{
    QSettings settings(m_iniPath, QSettings::IniFormat);
    settings.setValue(key, value);
}

QVariant TestMainWindow::readSetting(const QString &key)
{
    QSettings settings(m_iniPath, QSettings::IniFormat);
    return settings.value(key);
}

void TestMainWindow::settingsFileIsUnderProgramData()
{
    writeSetting(QStringLiteral("webServerPort"), QStringLiteral("8123"));
    auto window = makeWindow();
    // The window reads its keys from the shared file found through the
    // configuration locations.
    auto recorder = std::make_unique<UrlRecorder>();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), recorder.get(), "open");
    m_fake->installed = m_fake->running = true;
    window->OpenLocalhost();
    QCOMPARE(recorder->opened, QList<QUrl>{QUrl(QStringLiteral("http://localhost:8123/"))});
}

void TestMainWindow::menuEntriesInOrder_data()
{
    QTest::addColumn<QVariant>("allowInstalling");
    QTest::addColumn<bool>("installVisible");
    QTest::newRow("absent") << QVariant() << false;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("true") << QVariant(true) << true;
}

void TestMainWindow::menuEntriesInOrder()
{
    QFETCH(QVariant, allowInstalling);
    QFETCH(bool, installVisible);
    if (allowInstalling.isValid())
        writeSetting(QStringLiteral("allowInstalling"), allowInstalling);
    auto window = makeWindow();

    QMenu *menu = window->systemTrayIcon().contextMenu();
    QVERIFY(menu);
    QStringList entries;
    for (QAction *a : menu->actions())
        entries << (a->isSeparator() ? QStringLiteral("---") : a->text());
    QCOMPARE(entries, (QStringList{"VX Server Localhost", "Manage Database", "Server Configuration", "---",
                                   "Start Service", "Restart Service", "Stop Service", "Install Service",
                                   "Uninstall Service", "---", "Quit"}));
    QCOMPARE(action(*window, "Install Service")->isVisible(), installVisible);
    QCOMPARE(action(*window, "Uninstall Service")->isVisible(), installVisible);
    for (const char *visible : {"Start Service", "Restart Service", "Stop Service", "Quit"})
        QVERIFY(action(*window, visible)->isVisible());
}

void TestMainWindow::iconToolTipAndEnablingPerState_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("iconFile");
    QTest::addColumn<QString>("toolTip");
    // Start, Restart, Stop, Install, Uninstall
    QTest::addColumn<QString>("enabled");
    QTest::newRow("not installed") << false << false << int(Uninstalled) << "VXS_Uninstalled.png"
                                   << "Veltrix Server: Not installed"
                                   << "00010";
    QTest::newRow("stopped") << true << false << int(Stopped) << "VXS_Stopped.png"
                             << "Veltrix Server: Stopped"
                             << "10001";
    QTest::newRow("running") << true << true << int(Running) << "VXS_Running.png"
                             << "Veltrix Server: Running"
                             << "01101";
}

void TestMainWindow::iconToolTipAndEnablingPerState()
{
    QFETCH(bool, installed);
    QFETCH(bool, running);
    QFETCH(int, state);
    QFETCH(QString, iconFile);
    QFETCH(QString, toolTip);
    QFETCH(QString, enabled);
    writeSetting(QStringLiteral("allowInstalling"), true);
    m_fake->installed = installed;
    m_fake->running = running;
    auto window = makeWindow();

    QCOMPARE(int(window->serviceState()), state);
    QCOMPARE(window->systemTrayIcon().toolTip(), toolTip);
    const QImage expected = QImage(QStringLiteral(":/resources/") + iconFile)
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QVERIFY(!expected.isNull());
    const QImage shown = window->systemTrayIcon()
                             .icon()
                             .pixmap(expected.size())
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(shown, expected);

    QString actual;
    for (const char *text :
         {"Start Service", "Restart Service", "Stop Service", "Install Service", "Uninstall Service"})
        actual += action(*window, text)->isEnabled() ? '1' : '0';
    QCOMPARE(actual, enabled);

    // The poll follows the service.
    m_fake->installed = !installed;
    window->UpdateTimerUp();
    QVERIFY(int(window->serviceState()) != state);
}

void TestMainWindow::startingStateDisablesEveryAction()
{
    m_fake->installed = m_fake->running = true;
    auto window = makeWindow();
    window->updateActions(Starting);
    for (const char *text :
         {"Start Service", "Restart Service", "Stop Service", "Install Service", "Uninstall Service"})
        QVERIFY2(!action(*window, text)->isEnabled(), text);
    QVERIFY(!MainWindow::iconForState(Starting).isNull());
}

void TestMainWindow::iconOutsideTheTableIsEmpty()
{
    QVERIFY(MainWindow::iconForState(static_cast<eServiceState>(4)).isNull());
    QVERIFY(MainWindow::iconForState(static_cast<eServiceState>(-1)).isNull());
    // Each state has its own picture.
    QSet<QByteArray> pictures;
    for (int s = 0; s < 4; ++s) {
        const QImage image = MainWindow::iconForState(static_cast<eServiceState>(s)).pixmap(32).toImage();
        pictures << QByteArray(reinterpret_cast<const char *>(image.constBits()), int(image.sizeInBytes()));
    }
    QCOMPARE(pictures.size(), 4);
}

void TestMainWindow::serviceActions_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("failing"); // which request of the fake fails
    QTest::addColumn<QStringList>("balloons");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("finalState");

    const QString notInstalled = "Start Server|Veltrix Server is not installed as a service|W";
    const QString notRunning = "Stop Server|Veltrix Server is not running|W";
    const QString restartFailed = "Restart Server|Veltrix Server failed to restart|W";

    QTest::newRow("start stopped") << "StartServer" << true << false << "" << QStringList()
                                   << QStringList{"start"} << int(Running);
    QTest::newRow("start refused")
        << "StartServer" << true << false << "start"
        << QStringList{"Start Server|Failed to start Veltrix Server as a service|C"} << QStringList{"start"}
        << int(Stopped);
    QTest::newRow("start running")
        << "StartServer" << true << true << ""
        << QStringList{"Start Server|Veltrix Server is already running as a service|W"} << QStringList()
        << int(Running);
    QTest::newRow("start not installed") << "StartServer" << false << false << "" << QStringList{notInstalled}
                                         << QStringList() << int(Uninstalled);

    QTest::newRow("stop running") << "StopServer" << true << true << "" << QStringList()
                                  << QStringList{"stop"} << int(Stopped);
    QTest::newRow("stop refused") << "StopServer" << true << true << "stop"
                                  << QStringList{"Stop Server|Failed to stop Veltrix Server|C"}
                                  << QStringList{"stop"} << int(Running);
    QTest::newRow("stop stopped") << "StopServer" << true << false << "" << QStringList{notRunning}
                                  << QStringList() << int(Stopped);
    QTest::newRow("stop not installed") << "StopServer" << false << false << "" << QStringList{notRunning}
                                        << QStringList() << int(Uninstalled);

    QTest::newRow("restart running") << "RestartServer" << true << true << "" << QStringList()
                                     << QStringList{"stop", "start"} << int(Running);
    QTest::newRow("restart stopped") << "RestartServer" << true << false << "" << QStringList{notRunning}
                                     << QStringList{"start"} << int(Running);
    QTest::newRow("restart not installed")
        << "RestartServer" << false << false << "" << QStringList{notRunning, restartFailed} << QStringList()
        << int(Uninstalled);

    QTest::newRow("install stopped") << "InstallServer" << true << false << ""
                                     << QStringList{"Install Server|Veltrix Server is already Installed|I"}
                                     << QStringList() << int(Stopped);
    QTest::newRow("install installed") << "InstallServer" << true << true << ""
                                       << QStringList{"Install Server|Veltrix Server is already Installed|I"}
                                       << QStringList() << int(Running);

    QTest::newRow("uninstall not installed")
        << "UninstallServer" << false << false << ""
        << QStringList{"Uninstall Server|Veltrix Server is not Installed|W"} << QStringList()
        << int(Uninstalled);
    QTest::newRow("uninstall stopped") << "UninstallServer" << true << false << "" << QStringList()
                                       << QStringList{"uninstall"} << int(Uninstalled);
    QTest::newRow("uninstall running") << "UninstallServer" << true << true << "" << QStringList()
                                       << QStringList{"stop", "uninstall"} << int(Uninstalled);
    QTest::newRow("uninstall refused") << "UninstallServer" << true << false << "uninstall"
                                       << QStringList{"Uninstall Server|Failed to Uninstall Veltrix Server|C"}
                                       << QStringList{"uninstall"} << int(Stopped);
    QTest::newRow("uninstall running, stop refused")
        << "UninstallServer" << true << true << "stop" << QStringList() << QStringList{"stop", "uninstall"}
        << int(Uninstalled);
}

void TestMainWindow::serviceActions()
{
    QFETCH(QString, slot);
    QFETCH(bool, installed);
    QFETCH(bool, running);
    QFETCH(QString, failing);
    QFETCH(QStringList, balloons);
    QFETCH(QStringList, requests);
    QFETCH(int, finalState);

    m_fake->installed = installed;
    m_fake->running = running;
    m_fake->startSucceeds = failing != "start";
    m_fake->stopSucceeds = failing != "stop";
    m_fake->uninstallSucceeds = failing != "uninstall";
    auto window = makeWindow();
    BalloonLog log(*window);

    QVERIFY(QMetaObject::invokeMethod(window.get(), slot.toLatin1().constData(), Qt::DirectConnection));

    QCOMPARE(log.entries, balloons);
    QCOMPARE(m_fake->actions(), requests);
    QCOMPARE(int(window->serviceState()), finalState);
    QCOMPARE(window->lastMessage().title.isEmpty(), balloons.isEmpty());
}

void TestMainWindow::restartGivesUpAfterFiveSeconds()
{
    m_fake->installed = m_fake->running = true;
    m_fake->stopHangs = true; // accepted, but the service never stops
    auto window = makeWindow();
    BalloonLog log(*window);

    QElapsedTimer elapsed;
    elapsed.start();
    window->RestartServer();
    const qint64 waited = elapsed.elapsed();

    QVERIFY2(waited >= 5000 && waited < 8000, qPrintable(QString::number(waited)));
    QCOMPARE(log.entries, QStringList{"Restart Server|Veltrix Server failed to restart|W"});
    QCOMPARE(m_fake->actions(), QStringList{"stop"}); // never started
    // The poll kept running during the wait.
    QVERIFY(m_fake->calls.count("isInstalled") >= 4);
}

void TestMainWindow::unexpectedStopIsReportedOnce()
{
    m_fake->installed = m_fake->running = true;
    auto window = makeWindow();
    BalloonLog log(*window);

    window->UpdateTimerUp();
    QVERIFY(log.entries.isEmpty());
    m_fake->running = false; // stopped behind the controller's back
    window->UpdateTimerUp();
    window->UpdateTimerUp();
    QCOMPARE(log.entries, QStringList{"Veltrix Server|Veltrix Server has stopped|W"});

    // A stop asked for here is not reported.
    log.entries.clear();
    m_fake->running = true;
    window->UpdateTimerUp();
    window->StopServer();
    window->UpdateTimerUp();
    QVERIFY(log.entries.isEmpty());

    // Nor is an uninstall of the running service.
    m_fake->running = true;
    window->UpdateTimerUp();
    window->UninstallServer();
    window->UpdateTimerUp();
    QVERIFY(log.entries.isEmpty());
    QCOMPARE(int(window->serviceState()), int(Uninstalled));

    // The timer does the polling by itself.
    m_fake->installed = m_fake->running = true;
    QTRY_COMPARE_WITH_TIMEOUT(int(window->serviceState()), int(Running), 3000);
    m_fake->installed = false;
    QTRY_COMPARE_WITH_TIMEOUT(log.entries.size(), 1, 3000);
    QCOMPARE(log.entries.constFirst(), "Veltrix Server|Veltrix Server has stopped|W");
}

void TestMainWindow::installCancelledChangesNothing()
{
    writeSetting(QStringLiteral("serviceFilePath"), QStringLiteral("/opt/old/VeltrixServer.exe"));
    auto window = makeWindow();
    BalloonLog log(*window);
    ModalAnswerer answerer;
    answerer.answerFile(QString()); // cancel

    window->InstallServer();

    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().constFirst().className, "QFileDialog");
    QCOMPARE(answerer.seen().constFirst().title, "Get Service Executable");
    QVERIFY(log.entries.isEmpty());
    QVERIFY(m_fake->actions().isEmpty());
    QCOMPARE(readSetting("serviceFilePath").toString(), "/opt/old/VeltrixServer.exe");
    QCOMPARE(int(window->serviceState()), int(Uninstalled));
}

void TestMainWindow::installStoresThePath()
{
    const QString executable = m_root.filePath(QStringLiteral("Veltrix Server.exe"));
    QFile file(executable);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    auto window = makeWindow();
    BalloonLog log(*window);
    ModalAnswerer answerer;
    answerer.answerFile(executable);

    window->InstallServer();

    QCOMPARE(answerer.seen().size(), 1);
    QVERIFY(log.entries.isEmpty());
    // Registered under the service's name, with the default account.
    QCOMPARE(m_fake->actions(), QStringList{"install:VeltrixServer:" + executable + "::"});
    QCOMPARE(readSetting("serviceFilePath").toString(), executable);
    QCOMPARE(int(window->serviceState()), int(Stopped));
}

void TestMainWindow::installFailureKeepsThePath()
{
    writeSetting(QStringLiteral("serviceFilePath"), QStringLiteral("/opt/old/VeltrixServer.exe"));
    m_fake->installSucceeds = false;
    const QString executable = m_root.filePath(QStringLiteral("other.exe"));
    QFile file(executable);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    auto window = makeWindow();
    BalloonLog log(*window);
    ModalAnswerer answerer;
    answerer.answerFile(executable);

    window->InstallServer();

    QCOMPARE(log.entries, QStringList{"Install Server|Failed to Install Veltrix Server|C"});
    QCOMPARE(readSetting("serviceFilePath").toString(), "/opt/old/VeltrixServer.exe");
    QCOMPARE(int(window->serviceState()), int(Uninstalled));
}

void TestMainWindow::webPageAddress_data()
{
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<QString>("url");
    QTest::newRow("absent") << QVariant() << "http://localhost:80/";
    QTest::newRow("8080") << QVariant("8080") << "http://localhost:8080/";
}

void TestMainWindow::webPageAddress()
{
    QFETCH(QVariant, port);
    QFETCH(QString, url);
    if (port.isValid())
        writeSetting(QStringLiteral("webServerPort"), port);
    m_fake->installed = m_fake->running = true;
    auto window = makeWindow();
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");

    window->OpenLocalhost();
    window->IconActivated(QSystemTrayIcon::DoubleClick);
    window->IconActivated(QSystemTrayIcon::Trigger); // ignored
    window->IconActivated(QSystemTrayIcon::Context); // ignored

    QCOMPARE(recorder.opened, (QList<QUrl>{QUrl(url), QUrl(url)}));
}

void TestMainWindow::webPageNotOpenedUnlessRunning()
{
    m_fake->installed = true;
    auto window = makeWindow();
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    ModalAnswerer answerer;
    BalloonLog log(*window);

    window->OpenLocalhost();
    window->IconActivated(QSystemTrayIcon::DoubleClick);
    m_fake->installed = false;
    window->IconActivated(QSystemTrayIcon::DoubleClick);
    QTest::qWait(50);

    QVERIFY(recorder.opened.isEmpty());
    QVERIFY(answerer.seen().isEmpty());
    QVERIFY(log.entries.isEmpty());
}

void TestMainWindow::webPageBrowserFailureIsReported()
{
    m_fake->installed = m_fake->running = true;
    auto window = makeWindow();
    // No handler and no desktop to hand the address to: opening fails.
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ModalAnswerer answerer;

    window->OpenLocalhost();

    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().constFirst().title, "Veltrix Web Page");
    QCOMPARE(answerer.seen().constFirst().text,
             "Unable to connect to the Veltrix Server using the default browser.");
}

void TestMainWindow::showMessageOptionInAnyCase_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("balloon");
    QTest::newRow("none") << ""
                          << "||N";
    QTest::newRow("exact") << "-ShowMessage"
                           << "Veltrix Server Controller|Now running in System Tray|I";
    QTest::newRow("lower") << "-showmessage"
                           << "Veltrix Server Controller|Now running in System Tray|I";
    QTest::newRow("mixed") << "-sHOWmESSAGE"
                           << "Veltrix Server Controller|Now running in System Tray|I";
    QTest::newRow("other") << "-ShowMessages"
                           << "||N";
}

void TestMainWindow::showMessageOptionInAnyCase()
{
    QFETCH(QString, argument);
    QFETCH(QString, balloon);
    const QByteArray arg = argument.toLatin1();
    setExtraArgument(argument.isEmpty() ? nullptr : arg.constData());
    auto window = makeWindow();
    setExtraArgument(nullptr);
    const TTrayMessage shown = window->lastMessage();
    QCOMPARE(describe(shown.title, shown.text, shown.icon), balloon);
}

void TestMainWindow::exitingHidesTheIcon()
{
    auto window = makeWindow();
    QVERIFY(window->systemTrayIcon().isVisible());
    window->Exiting();
    QVERIFY(!window->systemTrayIcon().isVisible());
}

void TestMainWindow::dialogSlotsKeepTheirFlags()
{
    auto window = makeWindow();
    WindowsEventFilter *filter = window->windowsEventFilter();
    QVERIFY(filter);
    QVERIFY(filter->enabled);
    QCOMPARE(filter->trayMenu, window->systemTrayIcon().contextMenu());

    // Message boxes a dialog might raise on its own are answered.
    ModalAnswerer answerer;
    QStringList observed;
    bool configSeen = false;
    bool managerSeen = false;

    auto topDialog = [](const char *className) -> QDialog * {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible() &&
            QByteArray(dialog->metaObject()->className()).endsWith(className))
            return dialog;
        return nullptr;
    };
    auto flags = [&]() {
        return QStringLiteral("config=%1 manager=%2 filter=%3")
            .arg(window->isServerConfigOpen())
            .arg(window->isDbManagerOpen())
            .arg(filter->enabled);
    };

    QTimer managerPoll;
    managerPoll.setInterval(20);
    connect(&managerPoll, &QTimer::timeout, [&]() {
        if (QDialog *manager = topDialog("TVXSDBManagerForm")) {
            managerPoll.stop();
            managerSeen = true;
            observed << "manager open: " + flags();
            // A second request while it is up does nothing.
            window->OpenManageDatabaseForm();
            manager->reject();
        }
    });

    QTimer configPoll;
    configPoll.setInterval(20);
    connect(&configPoll, &QTimer::timeout, [&]() {
        if (QDialog *config = topDialog("TVXSCServerConfigForm")) {
            configPoll.stop();
            configSeen = true;
            observed << "config open: " + flags();
            window->OpenServerConfigForm(); // already open: returns at once
            observed << "config again: " + flags();
            managerPoll.start();
            window->OpenManageDatabaseForm(); // both open at the same time
            observed << "manager closed: " + flags();
            config->reject();
        }
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, [&]() {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    giveUp.start(20000);

    configPoll.start();
    window->OpenServerConfigForm();
    observed << "config closed: " + flags();

    QVERIFY2(configSeen, "the server configuration dialog did not open");
    QVERIFY2(managerSeen, "the database manager did not open");
    QCOMPARE(observed, (QStringList{"config open: config=1 manager=0 filter=0",
                                    "config again: config=1 manager=0 filter=0",
                                    "manager open: config=1 manager=1 filter=0",
                                    "manager closed: config=1 manager=0 filter=0",
                                    "config closed: config=0 manager=0 filter=1"}));

    // And the other way round: the manager alone.
    observed.clear();
    managerSeen = false;
    managerPoll.start();
    window->OpenManageDatabaseForm();
    observed << "manager closed: " + flags();
    QVERIFY2(managerSeen, "the database manager did not open");
    QCOMPARE(observed, (QStringList{"manager open: config=0 manager=1 filter=0",
                                    "manager closed: config=0 manager=0 filter=1"}));
}

void TestMainWindow::closeEventIsIgnoredAndWindowStaysHidden()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(!window->isVisible());
    QVERIFY(!window->close());
}

// Last: the second window queues the application's quit.
void TestMainWindow::secondWindowReportsAlreadyRunning()
{
    auto first = makeWindow();
    QCOMPARE(first->lastMessage().title, QString());
    auto second = std::make_unique<MainWindow>();
    const TTrayMessage shown = second->lastMessage();
    QCOMPARE(describe(shown.title, shown.text, shown.icon),
             "Veltrix Server Controller|Already running in System Tray|I");
    second.reset();
    // The first still holds the instance.
    auto third = std::make_unique<MainWindow>();
    QCOMPARE(third->lastMessage().text, "Already running in System Tray");
}

int main(int argc, char *argv[])
{
    baseArgc = 0;
    for (int i = 0; i < argc && i < 16; ++i)
        appArgv[baseArgc++] = argv[i];
    appArgc = baseArgc;
    appArgv[appArgc] = nullptr;
    QApplication app(appArgc, appArgv);
    baseArgc = appArgc; // Qt may have taken its own options out
    QTEST_DISABLE_KEYPAD_NAVIGATION
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
