// The tray window against a fake service manager, on the offscreen platform.
// The settings folder is pointed into a temporary ".../ProgramData" through
// XDG_CONFIG_DIRS, as an administrator's machine would name it.

#include "mainwindow.h"
#include "modalanswerer.h"
#include "settingslocation.h"
#include "tfakeservicebackend.h"
#include "tvxssettings.h"
#include "vxresources.h"
#include "windowseventfilter.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

using namespace Veltrix::Server;
using namespace Veltrix::Server::Controller;

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
    void initTestCase()
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
    void init()
    {
        QFile::remove(m_iniPath);
        auto fake = std::make_unique<TFakeServiceBackend>();
        m_fake = fake.get();
        setServiceBackend(std::move(fake));
        setExtraArgument(nullptr);
    }
    void cleanup()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        setServiceBackend(nullptr);
        m_fake = nullptr;
    }

    void menuEntriesInOrder_data()
    {
        QTest::addColumn<QVariant>("allowInstalling");
        QTest::addColumn<bool>("installVisible");
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("yes, as the server reads it") << QVariant("yes") << true;
    }
    void menuEntriesInOrder()
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
        QCOMPARE(entries, (QStringList{"VX Server Localhost", "Manage Database", "Server Configuration",
                                       "---", "Start Service", "Restart Service", "Stop Service",
                                       "Install Service", "Uninstall Service", "---", "Quit"}));
        QCOMPARE(action(*window, "Install Service")->isVisible(), installVisible);
        QCOMPARE(action(*window, "Uninstall Service")->isVisible(), installVisible);
        for (const char *visible : {"Start Service", "Restart Service", "Stop Service", "Quit"})
            QVERIFY(action(*window, visible)->isVisible());
    }
    void iconToolTipAndEnablingPerState_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("toolTip"); // empty: not checked
        QTest::addColumn<QString>("enabled"); // Start, Restart, Stop, Install, Uninstall
        const auto row = [](const char *name, bool installed, bool running, eServiceState state,
                            const char *toolTip, const char *enabled) {
            QTest::newRow(name) << installed << running << int(state) << toolTip << enabled;
        };
        row("not installed", false, false, Uninstalled, "Veltrix Server: Not installed", "00010");
        row("stopped", true, false, Stopped, "Veltrix Server: Stopped", "10001");
        row("running", true, true, Running, "Veltrix Server: Running", "01101");
        // Never polled, only set while an action runs.
        row("starting", true, true, Starting, "", "00000");
    }
    void iconToolTipAndEnablingPerState()
    {
        QFETCH(bool, installed);
        QFETCH(bool, running);
        QFETCH(int, state);
        QFETCH(QString, toolTip);
        QFETCH(QString, enabled);
        writeSetting(QStringLiteral("allowInstalling"), true);
        m_fake->installed = installed;
        m_fake->running = running;
        auto window = makeWindow();
        if (state == Starting)
            window->updateActions(Starting);
        else
            QCOMPARE(int(window->serviceState()), state);
        if (!toolTip.isEmpty())
            QCOMPARE(window->systemTrayIcon().toolTip(), toolTip);

        const char *files[] = {"VXS_Uninstalled.png", "VXS_Stopped.png", "VXS_Starting.png",
                               "VXS_Running.png"};
        const QImage expected = QImage(QStringLiteral(":/resources/") + QLatin1String(files[state]));
        QVERIFY(!expected.isNull());
        const QIcon icon =
            state == Starting ? MainWindow::iconForState(Starting) : window->systemTrayIcon().icon();
        const QImage shown = icon.pixmap(expected.size()).toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));

        QString actual;
        for (const char *text :
             {"Start Service", "Restart Service", "Stop Service", "Install Service", "Uninstall Service"})
            actual += action(*window, text)->isEnabled() ? '1' : '0';
        QCOMPARE(actual, enabled);

        // The poll follows the service; states outside the table have no icon.
        m_fake->installed = !installed;
        window->UpdateTimerUp();
        QVERIFY(int(window->serviceState()) != state);
        QVERIFY(MainWindow::iconForState(static_cast<eServiceState>(4)).isNull());
        QVERIFY(MainWindow::iconForState(static_cast<eServiceState>(-1)).isNull());
    }
    void serviceActions_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("refused"); // the request the fake refuses, and its reason
        QTest::addColumn<QStringList>("balloons");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<int>("finalState");

        const auto row = [](const char *name, const char *slot, bool installed, bool running,
                            const QStringList &refused, const QStringList &balloons,
                            const QStringList &requests, eServiceState state) {
            QTest::newRow(name) << slot << installed << running << refused << balloons << requests
                                << int(state);
        };
        const QString notRunning = "Stop Server|Veltrix Server is not running|W";
        const QString alreadyInstalled = "Install Server|Veltrix Server is already Installed|I";

        row("start stopped", "StartServer", true, false, {}, {}, {"start"}, Running);
        row("start refused", "StartServer", true, false, {"start", "Access denied"},
            {"Start Server|Failed to start Veltrix Server as a service\nAccess denied|C"}, {"start"},
            Stopped);
        row("start running", "StartServer", true, true, {},
            {"Start Server|Veltrix Server is already running as a service|W"}, {}, Running);
        row("start not installed", "StartServer", false, false, {},
            {"Start Server|Veltrix Server is not installed as a service|W"}, {}, Uninstalled);

        row("stop running", "StopServer", true, true, {}, {}, {"stop"}, Stopped);
        row("stop refused, no reason", "StopServer", true, true, {"stop"},
            {"Stop Server|Failed to stop Veltrix Server|C"}, {"stop"}, Running);
        row("stop stopped", "StopServer", true, false, {}, {notRunning}, {}, Stopped);
        row("stop not installed", "StopServer", false, false, {}, {notRunning}, {}, Uninstalled);

        row("restart running", "RestartServer", true, true, {}, {}, {"stop", "start"}, Running);
        row("restart stopped", "RestartServer", true, false, {}, {notRunning}, {"start"}, Running);
        row("restart not installed", "RestartServer", false, false, {},
            {notRunning, "Restart Server|Veltrix Server failed to restart|W"}, {}, Uninstalled);

        row("install stopped", "InstallServer", true, false, {}, {alreadyInstalled}, {}, Stopped);
        row("install running", "InstallServer", true, true, {}, {alreadyInstalled}, {}, Running);

        row("uninstall not installed", "UninstallServer", false, false, {},
            {"Uninstall Server|Veltrix Server is not Installed|W"}, {}, Uninstalled);
        row("uninstall stopped", "UninstallServer", true, false, {}, {}, {"uninstall"}, Uninstalled);
        row("uninstall running", "UninstallServer", true, true, {}, {}, {"stop", "uninstall"}, Uninstalled);
        row("uninstall refused", "UninstallServer", true, false, {"uninstall", "Access denied"},
            {"Uninstall Server|Failed to Uninstall Veltrix Server\nAccess denied|C"}, {"uninstall"}, Stopped);
        row("uninstall running, stop refused", "UninstallServer", true, true, {"stop", "Access denied"}, {},
            {"stop", "uninstall"}, Uninstalled);
    }
    void serviceActions()
    {
        QFETCH(QString, slot);
        QFETCH(bool, installed);
        QFETCH(bool, running);
        QFETCH(QStringList, refused);
        QFETCH(QStringList, balloons);
        QFETCH(QStringList, requests);
        QFETCH(int, finalState);

        m_fake->installed = installed;
        m_fake->running = running;
        if (!refused.isEmpty())
            m_fake->refusals.insert(refused.value(0), refused.value(1));
        auto window = makeWindow();
        BalloonLog log(*window);

        QVERIFY(QMetaObject::invokeMethod(window.get(), slot.toLatin1().constData(), Qt::DirectConnection));

        QCOMPARE(log.entries, balloons);
        QCOMPARE(m_fake->actions(), requests);
        QCOMPARE(int(window->serviceState()), finalState);
        QCOMPARE(window->lastMessage().title.isEmpty(), balloons.isEmpty());
    }
    void restartGivesUpAfterFiveSeconds()
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
    void unexpectedStopIsReportedOnce()
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

        // Neither a stop nor an uninstall asked for here is reported.
        for (const char *slot : {"StopServer", "UninstallServer"}) {
            log.entries.clear();
            m_fake->running = true;
            window->UpdateTimerUp();
            QVERIFY(QMetaObject::invokeMethod(window.get(), slot, Qt::DirectConnection));
            window->UpdateTimerUp();
            QVERIFY2(log.entries.isEmpty(), slot);
        }
        QCOMPARE(int(window->serviceState()), int(Uninstalled));

        // The timer does the polling by itself.
        m_fake->installed = m_fake->running = true;
        QTRY_COMPARE_WITH_TIMEOUT(int(window->serviceState()), int(Running), 3000);
        m_fake->installed = false;
        QTRY_COMPARE_WITH_TIMEOUT(log.entries.size(), 1, 3000);
        QCOMPARE(log.entries.constFirst(), "Veltrix Server|Veltrix Server has stopped|W");
    }
    void install_data()
    {
        QTest::addColumn<QString>("picked");  // empty: the file dialog is cancelled
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<QStringList>("balloons");
        QTest::addColumn<bool>("pathStored");
        QTest::addColumn<int>("state");
        QTest::newRow("cancelled") << "" << QString() << QStringList() << false << int(Uninstalled);
        // Registered under the service's name, with the default account.
        QTest::newRow("installed") << "Veltrix Server.exe" << QString() << QStringList() << true
                                   << int(Stopped);
        QTest::newRow("refused")
            << "other.exe" << QStringLiteral("Access denied")
            << QStringList{"Install Server|Failed to Install Veltrix Server\nAccess denied|C"} << false
            << int(Uninstalled);
    }
    void install()
    {
        QFETCH(QString, picked);
        QFETCH(QString, refusal);
        QFETCH(QStringList, balloons);
        QFETCH(bool, pathStored);
        QFETCH(int, state);
        const QString oldPath = QStringLiteral("/opt/old/VeltrixServer.exe");
        writeSetting(QStringLiteral("serviceFilePath"), oldPath);
        const QString executable = picked.isEmpty() ? QString() : m_root.filePath(picked);
        if (!executable.isEmpty()) {
            QFile file(executable);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        if (!refusal.isEmpty())
            m_fake->refusals.insert(QStringLiteral("install"), refusal);
        auto window = makeWindow();
        BalloonLog log(*window);
        ModalAnswerer answerer;
        answerer.answerFile(executable);

        window->InstallServer();

        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen().constFirst().className, "QFileDialog");
        QCOMPARE(answerer.seen().constFirst().title, "Get Service Executable");
        QCOMPARE(log.entries, balloons);
        QCOMPARE(m_fake->actions(), executable.isEmpty()
                                        ? QStringList()
                                        : QStringList{"install:VeltrixServer:" + executable + "::"});
        QCOMPARE(readSetting("serviceFilePath").toString(), pathStored ? executable : oldPath);
        QCOMPARE(int(window->serviceState()), state);
    }
    void webPageAddress_data()
    {
        QTest::addColumn<QVariant>("port");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("url"); // empty: nothing opened, nothing said
        QTest::newRow("absent") << QVariant() << true << "http://localhost:80/";
        QTest::newRow("8080") << QVariant("8080") << true << "http://localhost:8080/";
        QTest::newRow("another host after the port")
            << QVariant("80@evil.example") << true << "http://localhost:80/";
        QTest::newRow("above 16 bits, as the store reads it")
            << QVariant("70000") << true << "http://localhost:4464/";
        QTest::newRow("not running") << QVariant("8080") << false << "";
    }
    void webPageAddress()
    {
        QFETCH(QVariant, port);
        QFETCH(bool, running);
        QFETCH(QString, url);
        if (port.isValid())
            writeSetting(QStringLiteral("webServerPort"), port);
        m_fake->installed = true;
        m_fake->running = running;
        auto window = makeWindow();
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
        ModalAnswerer answerer;
        BalloonLog log(*window);

        window->OpenLocalhost();
        window->IconActivated(QSystemTrayIcon::DoubleClick);
        window->IconActivated(QSystemTrayIcon::Trigger); // ignored
        window->IconActivated(QSystemTrayIcon::Context); // ignored
        QTest::qWait(50);

        QCOMPARE(recorder.opened, url.isEmpty() ? QList<QUrl>() : (QList<QUrl>{QUrl(url), QUrl(url)}));
        QVERIFY(answerer.seen().isEmpty());
        QVERIFY(log.entries.isEmpty());
    }
    // The window and the dialogs it opens share Qt's parsed copy of the file,
    // so a hand-edited file in UTF-8 must be read as UTF-8 by the window too.
    void handEditedUtf8File()
    {
        QFile file(m_iniPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nallowInstalling=true\nserviceFilePath=/opt/kass\xc3\xa9/VeltrixServer\n");
        file.close();
        auto window = makeWindow();
        QCOMPARE(TVXSSettings(m_iniPath).value("serviceFilePath").toString(),
                 QStringLiteral("/opt/kass\u00e9/VeltrixServer"));
    }
    void webPageBrowserFailureIsReported()
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
    void showMessageOptionInAnyCase_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("balloon");
        const QString shown = "Veltrix Server Controller|Now running in System Tray|I";
        for (const char *argument : {"-ShowMessage", "-showmessage", "-sHOWmESSAGE"})
            QTest::newRow(argument) << argument << shown;
        QTest::newRow("none") << ""
                              << "||N";
        QTest::newRow("other") << "-ShowMessages"
                               << "||N";
    }
    void showMessageOptionInAnyCase()
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
    void quitHidesTheIconAndCloseIsIgnored()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(!window->isVisible());
        QVERIFY(!window->close());
        QVERIFY(window->systemTrayIcon().isVisible());
        window->Exiting();
        QVERIFY(!window->systemTrayIcon().isVisible());
    }
    void dialogSlotsKeepTheirFlags()
    {
        auto window = makeWindow();
        WindowsEventFilter *filter = window->windowsEventFilter();
        QVERIFY(filter);
        QVERIFY(filter->enabled);
        QCOMPARE(filter->trayMenu, window->systemTrayIcon().contextMenu());

        // Message boxes a dialog might raise on its own are answered.
        ModalAnswerer answerer;
        QStringList observed;
        const auto note = [&](const char *when) {
            observed << QStringLiteral("%1: config=%2 manager=%3 filter=%4")
                            .arg(QLatin1String(when))
                            .arg(window->isServerConfigOpen())
                            .arg(window->isDbManagerOpen())
                            .arg(filter->enabled);
        };
        // Answers the dialog of that class once it is up. A timer does not fire
        // again while its slot runs, so each dialog gets its own.
        const auto watch = [](QTimer &timer, const char *className,
                              const std::function<void(QDialog *)> &handle) {
            timer.setInterval(20);
            QObject::connect(&timer, &QTimer::timeout, [&timer, className, handle]() {
                auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (dialog && dialog->isVisible() &&
                    QByteArray(dialog->metaObject()->className()).endsWith(className)) {
                    timer.stop();
                    handle(dialog);
                }
            });
        };
        QTimer managerPoll, configPoll;
        watch(managerPoll, "TVXSDBManagerForm", [&](QDialog *manager) {
            note("manager open");
            window->OpenManageDatabaseForm(); // a second request while it is up does nothing
            manager->reject();
        });
        watch(configPoll, "TVXSCServerConfigForm", [&](QDialog *config) {
            note("config open");
            window->OpenServerConfigForm(); // already open: returns at once
            note("config again");
            managerPoll.start();
            window->OpenManageDatabaseForm(); // both open at the same time
            note("manager closed");
            config->reject();
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
        note("config closed");
        QCOMPARE(observed, (QStringList{"config open: config=1 manager=0 filter=0",
                                        "config again: config=1 manager=0 filter=0",
                                        "manager open: config=1 manager=1 filter=0",
                                        "manager closed: config=1 manager=0 filter=0",
                                        "config closed: config=0 manager=0 filter=1"}));

        // And the other way round: the manager alone.
        observed.clear();
        managerPoll.start();
        window->OpenManageDatabaseForm();
        note("manager closed");
        QCOMPARE(observed, (QStringList{"manager open: config=0 manager=1 filter=0",
                                        "manager closed: config=0 manager=0 filter=1"}));
    }
    // Last: the second window queues the application's quit.
    void secondWindowReportsAlreadyRunning()
    {
        auto first = makeWindow();
        QCOMPARE(first->lastMessage().title, QString());
        auto second = std::make_unique<MainWindow>();
        const TTrayMessage shown = second->lastMessage();
        QCOMPARE(describe(shown.title, shown.text, shown.icon),
                 "Veltrix Server Controller|Already running in System Tray|I");
    }

private:
    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>();
        m_fake->calls.clear();
        return window;
    }
    static QAction *action(MainWindow &window, const QString &text)
    {
        for (QAction *a : window.systemTrayIcon().contextMenu()->actions()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }
    void writeSetting(const QString &key, const QVariant &value)
    {
        QSettings(m_iniPath, QSettings::IniFormat).setValue(key, value);
    }
    QVariant readSetting(const QString &key) { return QSettings(m_iniPath, QSettings::IniFormat).value(key); }

    QTemporaryDir m_root;
    QString m_iniPath;
    TFakeServiceBackend *m_fake = nullptr;
};

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
