// The service-control layer: the calls go to the process-wide backend, and
// the systemd backend's unit file and its behaviour without systemd.

#include "qtservicecontroller.h"
#include "tfakeservicebackend.h"
#include "tsystemdservicebackend.h"

#include <QTest>

using namespace Veltrix::Server;

class TestServiceControl : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { setServiceBackend(nullptr); }
    void callsReachTheBackend()
    {
        auto owned = std::make_unique<TFakeServiceBackend>();
        TFakeServiceBackend *fake = owned.get();
        setServiceBackend(std::move(owned));

        QVERIFY(!QtServiceController::install(QString()).ok); // refused before the backend is asked
        QtServiceController controller(QString::fromLatin1(veltrixServiceName));
        QVERIFY(!controller.isInstalled());
        QCOMPARE(controller.start().reason, "not installed"); // the backend's reason
        QVERIFY(QtServiceController::install(QStringLiteral("/opt/veltrix/server"), QString(), QString()).ok);
        QCOMPARE(QtServiceController::install(QStringLiteral("/opt/veltrix/server")).reason,
                 "already installed");
        QVERIFY(controller.isInstalled());
        QVERIFY(!controller.isRunning());
        QVERIFY(controller.start().ok);
        QVERIFY(controller.isRunning());
        QVERIFY(controller.stop().ok);
        QVERIFY(!controller.isRunning());
        QVERIFY(controller.uninstall().ok);
        QVERIFY(!controller.isInstalled());
        QVERIFY(!controller.uninstall().ok);
        QCOMPARE(fake->actions(), (QStringList{"start", "install:VeltrixServer:/opt/veltrix/server::",
                                               "install:VeltrixServer:/opt/veltrix/server::", "start", "stop",
                                               "uninstall", "uninstall"}));
    }
    void unitFile_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("execStart"); // empty: refused
        QTest::addColumn<QString>("user");
        const auto row = [](const char *name, const char *executable, const char *account,
                            const char *execStart, const char *user) {
            QTest::newRow(name) << executable << account << execStart << user;
        };
        row("plain", "/opt/veltrix/VeltrixServer", "", "ExecStart=\"/opt/veltrix/VeltrixServer\"", "");
        row("spaces", "/opt/Veltrix Server/run server", "", "ExecStart=\"/opt/Veltrix Server/run server\"",
            "");
        row("specials", "/opt/a\"b\\c%d$e", "", "ExecStart=\"/opt/a\\\"b\\\\c%%d$$e\"", "");
        row("account", "/usr/bin/vx", "veltrix", "ExecStart=\"/usr/bin/vx\"", "User=veltrix");
        row("relative", "bin/vx", "", "", "");
        row("line break", "/opt/vx\nExecStartPre=/bin/rm", "", "", "");
        row("account with line break", "/usr/bin/vx", "a\nb", "", "");
        row("empty", "", "", "", "");
    }
    void unitFile()
    {
        QFETCH(QString, executable);
        QFETCH(QString, account);
        QFETCH(QString, execStart);
        QFETCH(QString, user);

        const QString text = systemdUnitText(executable, account);
        if (execStart.isEmpty()) {
            QVERIFY(text.isEmpty());
            return;
        }
        const QStringList lines = text.split(QLatin1Char('\n'));
        QVERIFY(lines.contains(execStart));
        QCOMPARE(lines.filter(QStringLiteral("ExecStart=")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("User=")), user.isEmpty() ? QStringList() : QStringList{user});
        QVERIFY(lines.contains(QStringLiteral("[Install]")));
        QVERIFY(lines.contains(QStringLiteral("WantedBy=multi-user.target")));
    }
    void withoutSystemdNothingIsInstalled()
    {
        if (systemdReachable())
            QSKIP("systemd runs on this machine");
        TSystemdServiceBackend backend(QDir::tempPath());
        const QString name = QStringLiteral("VeltrixServerTest");
        QVERIFY(!backend.isInstalled(name));
        QVERIFY(!backend.isRunning(name));
        QVERIFY(!backend.start(name).ok);
        QVERIFY(!backend.stop(name).ok);
        QVERIFY(!backend.install(name, QStringLiteral("/bin/true"), QString(), QString()).ok);
        QVERIFY(!backend.uninstall(name).ok);
        QVERIFY(!QFileInfo::exists(QDir::temp().filePath(name + QStringLiteral(".service"))));
    }
};

QTEST_GUILESS_MAIN(TestServiceControl)
#include "tst_servicecontrol.moc"
