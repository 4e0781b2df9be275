// The tray window against a fake service manager, on the offscreen platform,
// with a settings folder of its own.

#include "mainwindow.h"
#include "modalanswerer.h"
#include "settingsfolder.h"
#include "tfakeservicebackend.h"
#include "tsingleinstanceguard.h"
#include "tvxssettings.h"
#include "windowseventfilter.h"

#include <QtTest>
#include <QtWidgets>

using namespace Veltrix::Server;
using namespace Veltrix::Server::Controller;

namespace {

// The application's arguments; a test adds one ("-ShowMessage") after them.
int appArgc = 0, baseArgc = 0;
char *appArgv[32];

QString describe(const TTrayMessage &message)
{
    return message.text + '|' + "NIWC"[message.icon]; // the titles are fixed
}

// A menu entry chosen in a state, and what follows.
struct Action
{
    QString slot; // or "DoubleClick" on the tray icon
    eServiceState before;
    QStringList refused;  // the request refused, and its reason; "open": no browser; "hang": stops never end
    QStringList happened; // the dialogs shown, then the log; %1: the executable picked
    eServiceState after;
    QString picked = {}; // in Install's file dialog; empty: cancelled
    QVariant port = {};  // "webServerPort"
};

} // namespace

Q_DECLARE_METATYPE(Action)

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QDir().mkpath(ownSettingsFolder(m_root.path()))); }
    void init()
    {
        QFile::remove(settingsFilePath());
        setServiceBackend(std::unique_ptr<TServiceBackend>(m_fake = new TFakeServiceBackend));
    }
    void cleanup()
    {
        QDesktopServices::unsetUrlHandler("http");
        setServiceBackend(nullptr);
    }
    void actions_data()
    {
        QTest::addColumn<Action>("action");
        const auto row = [](const char *name, const char *slot, eServiceState before,
                            const QStringList &refused, const QStringList &happened, eServiceState after,
                            const char *picked = "", const QVariant &port = QVariant()) {
            QTest::newRow(name) << Action{slot, before, refused, happened, after, picked, port};
        };
        const QString notRunning = "Veltrix Server is not running|W", denied = "Access denied";
        const QString install = "install:VeltrixServer:%1::", pick = "Get Service Executable|";
        row("start stopped", "StartServer", Stopped, {}, {"start"}, Running);
        row("start refused", "StartServer", Stopped, {"start", denied},
            {"start", "Failed to start Veltrix Server as a service\nAccess denied|C"}, Stopped);
        row("start running", "StartServer", Running, {}, {"Veltrix Server is already running as a service|W"},
            Running);
        row("start not installed", "StartServer", Uninstalled, {},
            {"Veltrix Server is not installed as a service|W"}, Uninstalled);
        row("stop running", "StopServer", Running, {}, {"stop"}, Stopped);
        row("stop refused, no reason", "StopServer", Running, {"stop"},
            {"stop", "Failed to stop Veltrix Server|C"}, Running);
        row("stop stopped", "StopServer", Stopped, {}, {notRunning}, Stopped);
        row("restart running", "RestartServer", Running, {}, {"stop", "start"}, Running);
        row("restart stopped", "RestartServer", Stopped, {}, {notRunning, "start"}, Running);
        row("restart, never stops", "RestartServer", Running, {"hang"},
            {"stop", "Veltrix Server failed to restart|W"}, Running);
        // Registered under the service's name, with the default account.
        row("install", "InstallServer", Uninstalled, {}, {pick, install}, Stopped, "Veltrix Server");
        row("install cancelled", "InstallServer", Uninstalled, {}, {pick}, Uninstalled);
        row("install refused", "InstallServer", Uninstalled, {"install", denied},
            {pick, install, "Failed to Install Veltrix Server\nAccess denied|C"}, Uninstalled, "other");
        row("install running", "InstallServer", Running, {}, {"Veltrix Server is already Installed|I"},
            Running);
        row("uninstall not installed", "UninstallServer", Uninstalled, {},
            {"Veltrix Server is not Installed|W"}, Uninstalled);
        row("uninstall stopped", "UninstallServer", Stopped, {}, {"uninstall"}, Uninstalled);
        row("uninstall running", "UninstallServer", Running, {}, {"stop", "uninstall"}, Uninstalled);
        row("uninstall refused", "UninstallServer", Stopped, {"uninstall", denied},
            {"uninstall", "Failed to Uninstall Veltrix Server\nAccess denied|C"}, Stopped);
        row("uninstall running, stop refused", "UninstallServer", Running, {"stop", denied},
            {"stop", "uninstall"}, Uninstalled);
        // The web page, on the local machine at the port number, while the service runs.
        row("page, port absent", "DoubleClick", Running, {}, {"open http://localhost:80/"}, Running);
        row("page, port 8080", "OpenLocalhost", Running, {}, {"open http://localhost:8080/"}, Running, "",
            "8080");
        row("page, another host after the port", "OpenLocalhost", Running, {}, {"open http://localhost:80/"},
            Running, "", "80@evil.example");
        row("page, not running", "DoubleClick", Stopped, {}, {}, Stopped, "", "8080");
        row("page, no browser", "OpenLocalhost", Running, {"open"},
            {"Veltrix Web Page|Unable to connect to the Veltrix Server using the default browser."}, Running);
    }
    // What each entry of the menu does, deciding on the state of the last poll.
    // A stop or an uninstall asked for here is not reported as an unexpected
    // stop; Install stores the executable once installed.
    void actions()
    {
        QFETCH(Action, action);
        const auto [slot, before, refused, happened, after, picked, port] = action;
        m_fake->installed = before != Uninstalled;
        m_fake->running = before == Running;
        m_fake->stopHangs = refused.value(0) == "hang";
        if (!refused.isEmpty())
            m_fake->refusals.insert(refused.value(0), refused.value(1));
        setting("serviceFilePath", m_root.path()); // an earlier choice
        setting("webServerPort", port);
        setting("allowInstalling", true);
        const QString executable = picked.isEmpty() ? QString() : m_root.filePath(picked);
        QVERIFY(picked.isEmpty() || QFile(executable).open(QIODevice::WriteOnly));
        auto window = makeWindow();
        ModalAnswerer answerer;
        answerer.answerFile(executable);
        if (refused.value(0) != "open")
            QDesktopServices::setUrlHandler("http", this, "open");
        QElapsedTimer elapsed;
        elapsed.start();
        if (slot != "DoubleClick")
            QVERIFY(QMetaObject::invokeMethod(window.get(), slot.toLatin1(), Qt::DirectConnection));
        // A restart gives up after 5 s, the poll timer running meanwhile.
        QVERIFY(elapsed.elapsed() < 8000 && (elapsed.elapsed() >= 5000) == m_fake->stopHangs);
        QVERIFY(!m_fake->stopHangs || m_fake->polls >= 4);
        for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick})
            window->IconActivated(slot == "DoubleClick" ? reason : QSystemTrayIcon::Trigger);
        QStringList seen;
        for (const ModalAnswerer::Seen &box : answerer.seen())
            seen << box.title + '|' + box.text;
        QCOMPARE(seen + m_fake->calls, QStringList(happened).replaceInStrings("%1", executable));
        QCOMPARE(int(window->serviceState()), after);
        const bool installed = slot == "InstallServer" && before == Uninstalled && after == Stopped;
        QCOMPARE(setting("serviceFilePath").toString(), installed ? executable : m_root.path());
        // The icon, the tool tip and the service entries follow the state.
        const char *states[][3] = {{"Uninstalled", "Not installed", "00010"},
                                   {"Stopped", "Stopped", "10001"},
                                   {"Starting", "Starting", "00000"},
                                   {"Running", "Running", "01101"}};
        const QImage icon(QString(":/resources/VXS_%1.png").arg(states[after][0]));
        const auto format = QImage::Format_ARGB32_Premultiplied;
        QCOMPARE(window->systemTrayIcon().icon().pixmap(icon.size()).toImage().convertToFormat(format),
                 icon.convertToFormat(format));
        QCOMPARE(window->systemTrayIcon().toolTip(), QString("Veltrix Server: ") + states[after][1]);
        QCOMPARE(serviceEntries(*window), states[after][2]);
    }
    // The window never shows and ignores close. Each dialog runs once at a
    // time, both at once; Windows' close and quit messages end the program
    // unless a dialog is open or the tray menu's torn-off copy is shown.
    void dialogsAndWindowsMessages()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(!window->isVisible() && !window->close());
        QVERIFY(!windowsMessageEndsProgram(0x0012, true, true) &&
                !windowsMessageEndsProgram(0x0011, true, false));
        ModalAnswerer answerer; // message boxes a dialog raises on its own
        QStringList observed; // configuration open, manager open, a close and a quit message end the program
        const auto note = [&] {
            const bool enabled = window->windowsEventFilter()->enabled;
            observed << QString("%1%2%3%4")
                            .arg(window->isServerConfigOpen())
                            .arg(window->isDbManagerOpen())
                            .arg(windowsMessageEndsProgram(0x0010, enabled, false))
                            .arg(windowsMessageEndsProgram(0x0012, enabled, false));
        };
        // Runs `step` in the dialog of that class once it is up, then closes it
        // (a timer each: a timer does not fire again while its slot runs).
        const auto inDialog = [this](const char *className, const std::function<void()> &step) {
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, [=] {
                auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (dialog && dialog->isVisible() && dialog->inherits(className)) {
                    delete timer;
                    step();
                    dialog->reject();
                }
            });
            timer->start(20);
        };
        inDialog("Veltrix::Server::Controller::TVXSCServerConfigForm", [&] {
            note();
            window->OpenServerConfigForm(); // already open: returns at once
            inDialog("Veltrix::Database::TVXSDBManagerForm", [&] {
                note();
                window->OpenManageDatabaseForm(); // already open: returns at once
            });
            window->OpenManageDatabaseForm();
            note();
        });
        window->OpenServerConfigForm();
        note();
        QCOMPARE(observed, (QStringList{"1000", "1100", "1000", "0011"}));
        window->Exiting(); // on the application's aboutToQuit
        QVERIFY(!window->systemTrayIcon().isVisible());
    }
    // A new window: the balloon ("-ShowMessage" in any case, unless another
    // controller holds the instance), and the menu (Install and Uninstall only
    // with "allowInstalling"). The window and the dialogs share Qt's
    // parsed copy of the file, so the window reads a hand-edited file as
    // UTF-8 too. A stop behind the controller's back is reported once. Last:
    // a second controller queues the application's quit.
    void start_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("allowInstalling"); // as written in the file; empty: absent
        QTest::addColumn<QString>(
            "shown"); // the balloon, and Start, Restart, Stop, Install, Uninstall: 1, 0, -
        const auto row = [](const char *name, const char *holder, const char *argument, const char *allow,
                            const QString &shown) {
            QTest::newRow(name) << holder << argument << allow << shown;
        };
        const QString now = "Now running in System Tray|I ";
        row("no option", "", "", "", "|N 011--");
        row("-sHOWmESSAGE", "", "-sHOWmESSAGE", "false", now + "011--");
        row("a killed controller's segment, yes as the server reads it", "killed", "-showmessage", "yes",
            now + "01101");
        row("another process", "process", "-ShowMessage", "", "Already running in System Tray|I 011--");
    }
    void start()
    {
        QFETCH(QString, holder);
        QFETCH(QString, argument);
        QFETCH(QString, allowInstalling);
        QFETCH(QString, shown);
        QFile file(settingsFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nserviceFilePath=/opt/kass\xc3\xa9\n");
        file.write(allowInstalling.isEmpty() ? "" : qPrintable("allowInstalling=" + allowInstalling));
        file.close();
        m_fake->installed = m_fake->running = true;
        QProcess process; // a controller elsewhere
        if (!holder.isEmpty()) {
            process.start(QCoreApplication::applicationFilePath(), {"--hold-instance"},
                          QIODevice::ReadOnly | QIODevice::Text); // "\r\n" on Windows
            QVERIFY(process.waitForReadyRead(10000) && process.readAll() == "holding\n");
        }
        if (holder == "killed") {
            process.kill(); // its segment stays behind and must not block a new start
            QVERIFY(process.waitForFinished(10000));
        }
        QByteArray arg = argument.toLatin1();
        appArgv[baseArgc] = arg.isEmpty() ? nullptr : arg.data();
        appArgc = baseArgc + (arg.isEmpty() ? 0 : 1);
        auto window = makeWindow();
        appArgc = baseArgc;
        QCOMPARE(describe(window->lastMessage()) + ' ' + serviceEntries(*window), shown);
        QCOMPARE(TVXSSettings(settingsFilePath()).value("serviceFilePath").toString(), "/opt/kass\u00e9");
        // A state outside the icon table has no icon.
        QVERIFY(MainWindow::iconForState(eServiceState(4)).isNull() &&
                MainWindow::iconForState(eServiceState(-1)).isNull());
        m_fake->running = false; // the poll timer notices
        QTRY_COMPARE_WITH_TIMEOUT(int(window->serviceState()), int(Stopped), 3000);
        window->UpdateTimerUp();
        QCOMPARE(m_fake->calls, QStringList{"Veltrix Server has stopped|W"});
        process.kill();
        process.waitForFinished();
    }

public:
    // The browser, as QDesktopServices reaches it.
    Q_INVOKABLE void open(const QUrl &url) { m_fake->calls << "open " + url.toString(); }

private:
    // A window whose balloons go to the fake's log as "text|N/I/W/C", so
    // that one list holds what the window did, in order.
    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>();
        connect(window.get(), &MainWindow::messageShown, this,
                [this](QString title, QString text, QSystemTrayIcon::MessageIcon icon) {
                    m_fake->calls << describe({title, text, icon});
                });
        m_fake->calls.clear();
        m_fake->polls = 0;
        return window;
    }
    static QString serviceEntries(const MainWindow &window)
    {
        QString entries;
        for (QAction *a : window.systemTrayIcon().contextMenu()->actions().mid(4, 5))
            entries += !a->isVisible() ? '-' : a->isEnabled() ? '1' : '0';
        return entries;
    }
    // Writes the key when a value is given; the key's stored value.
    QVariant setting(const QString &key, const QVariant &value = QVariant())
    {
        QSettings settings(settingsFilePath(), QSettings::IniFormat);
        if (value.isValid())
            settings.setValue(key, value);
        return settings.value(key);
    }

    QTemporaryDir m_root;
    TFakeServiceBackend *m_fake = nullptr;
};

int main(int argc, char *argv[])
{
    if (argc > 1 && QByteArray(argv[1]) == "--hold-instance") { // a controller elsewhere
        TSingleInstanceGuard guard("VeltrixServerControllerInstance", nullptr);
        std::puts(guard.isAlreadyRunning() ? "refused" : "holding");
        std::fflush(stdout);
        QThread::sleep(60);
        return 0;
    }
    for (baseArgc = 0; baseArgc < argc && baseArgc < 16; ++baseArgc)
        appArgv[baseArgc] = argv[baseArgc];
    // On Windows Qt reads the command line again unless argv differs from it at
    // the start: with an option Qt takes out, an argument added later counts.
    char platform[] = "-platform", offscreen[] = "offscreen";
    appArgv[baseArgc++] = platform, appArgv[baseArgc++] = offscreen;
    appArgc = baseArgc;
    QApplication app(appArgc, appArgv);
    baseArgc = appArgc; // Qt may have taken its own options out
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
