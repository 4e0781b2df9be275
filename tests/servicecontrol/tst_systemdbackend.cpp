// The service controller over the systemd backend, against a stand-in for
// systemd on a private message bus named as the system bus; the unit file
// goes to a temporary folder.

#include "qtservicecontroller.h"
#include "tsystemdservicebackend.h"

#include <QtDBus>
#include <QtTest>

using namespace Veltrix::Server;

namespace {

// Answers from its own thread: the backend's calls block the test's thread
// until the answer comes, which also hands the fields over.
class FakeSystemd : public QDBusVirtualObject
{
public:
    QString unitFile;      // where the backend must write the unit
    QString linked;        // the file LinkUnitFiles put into the configuration
    bool active = false;   // the unit runs
    QString refused;       // the method that answers "Access denied"
    QStringList calls;     // the requests (not the queries), in order
    int uninteractive = 0; // calls that did not allow interactive authorization

    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override
    {
        uninteractive += message.isInteractiveAuthorizationAllowed() ? 0 : 1;
        const QString method = message.member();
        const QVariantList args = message.arguments();
        const bool known =
            linked == unitFile && QFile::exists(unitFile) && args.value(0) == "VeltrixServer.service";
        QDBusMessage reply = message.createReply();
        if (!method.startsWith("Get")) {
            QStringList call{method};
            for (const QVariant &argument : args) // a list of names as "a,b"
                call << (argument.type() == QVariant::Bool ? argument.toString()
                                                           : argument.toStringList().join(','));
            calls << call.join(' ');
        }
        if (method == refused)
            reply = message.createErrorReply("org.freedesktop.DBus.Error.AccessDenied", "Access denied");
        else if (method == "GetUnitFileState" && !known)
            reply = message.createErrorReply("org.freedesktop.DBus.Error.FileNotFound",
                                             "No such file or directory");
        else if (method.endsWith("Unit") && !(known && (active || method != "GetUnit")))
            reply = message.createErrorReply("org.freedesktop.systemd1.NoSuchUnit",
                                             "Unit VeltrixServer.service not found.");
        else if (method == "GetUnit")
            reply = message.createReply(QVariant::fromValue(QDBusObjectPath("/unit")));
        else if (method == "Get")
            reply = message.createReply(QVariant::fromValue(QDBusVariant(active ? "active" : "inactive")));
        else if (method.endsWith("Unit"))
            active = method == "StartUnit";
        else if (method == "LinkUnitFiles")
            linked = args.value(0).toStringList().value(0);
        else if (method == "DisableUnitFiles")
            linked.clear();
        return bus.send(reply);
    }
};

} // namespace

class TestSystemdBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        QVERIFY2(!daemon.isEmpty(), "dbus-daemon is not installed (scripts/setup.sh installs it)");
        m_daemon.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QVERIFY(m_daemon.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8()); // before the first use of the system bus
        setServiceBackend(std::make_unique<TSystemdServiceBackend>(m_units.path()));

        // A bus without systemd (a container): nothing is installed, every request fails.
        QVERIFY(!m_service.isInstalled() && !m_service.isRunning());
        QCOMPARE(m_service.start().reason, "systemd does not answer on the system bus");
        QVERIFY(!QtServiceController::install("/bin/true").ok);
        QVERIFY(QDir(m_units.path()).isEmpty());

        m_fake.unitFile = QDir(m_units.path()).filePath("VeltrixServer.service");
        m_thread.start();
        m_fake.moveToThread(&m_thread);
        QDBusConnection bus = QDBusConnection::connectToBus(address, "fake-systemd");
        QVERIFY(bus.registerService("org.freedesktop.systemd1"));
        QVERIFY(bus.registerVirtualObject("/org/freedesktop/systemd1", &m_fake));
        QVERIFY(bus.registerVirtualObject("/unit", &m_fake));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus("fake-systemd");
        m_thread.quit();
        m_thread.wait();
        m_daemon.kill();
        m_daemon.waitForFinished();
        QCOMPARE(m_fake.uninteractive, 0); // every call lets polkit ask for a password
    }
    void requests_data()
    {
        QTest::addColumn<QString>("before");  // "", "installed" or "running"
        QTest::addColumn<QString>("request"); // start, stop, uninstall, install:<executable>
        QTest::addColumn<QString>("refused"); // the method systemd says no to
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("after"); // and the unit file exists exactly while installed
        const QString unit = " VeltrixServer.service", denied = "Access denied", reload = "Reload";
        const QString link = "LinkUnitFiles " + m_fake.unitFile + " false true";
        const QString enable = "EnableUnitFiles" + unit + " false true",
                      disable = "DisableUnitFiles" + unit + " false";
        const QString start = "StartUnit" + unit + " replace", stop = "StopUnit" + unit + " replace";
        const QString missing = "Unit" + unit + " not found", path = "install:/opt/vx";
        const QString badPath = "The service executable must be an absolute path on one line";
        const auto row = [](const char *name, const char *before, const QString &request, const char *refused,
                            const QStringList &calls, const QString &reason, const char *after) {
            QTest::newRow(name) << before << request << refused << calls << reason << after;
        };
        row("start, not installed", "", "start", "", {}, missing, "");
        row("uninstall, not installed", "", "uninstall", "", {}, missing, "");
        row("install", "", path, "", {link, enable, reload}, "", "installed");
        row("install, no path", "", "install:", "", {}, "No service executable given", "");
        row("install, relative path", "", "install:bin/vx", "", {}, badPath, "");
        row("install, line break", "", "install:/opt/vx\nExecStartPre=/bin/rm", "", {}, badPath, "");
        row("install, link refused", "", path, "LinkUnitFiles", {link}, denied, "");
        row("install, enable refused", "", path, "EnableUnitFiles", {link, enable, disable}, denied, "");
        row("install, reload refused", "", path, "Reload", {link, enable, reload, disable}, denied, "");
        row("install again", "installed", path, "", {}, "Unit VeltrixServer.service is already installed",
            "installed");
        row("start", "installed", "start", "", {start}, "", "running");
        row("start refused", "installed", "start", "StartUnit", {start}, denied, "installed");
        row("stop", "running", "stop", "", {stop}, "", "installed");
        row("uninstall, running", "running", "uninstall", "", {stop, disable, reload}, "", "");
        row("uninstall, disable refused", "installed", "uninstall", "DisableUnitFiles", {stop, disable},
            denied, "installed");
        row("uninstall, reload refused", "installed", "uninstall", "Reload", {stop, disable, reload}, denied,
            "");
    }
    void requests()
    {
        QFETCH(QString, before);
        QFETCH(QString, request);
        QFETCH(QString, refused);
        QFETCH(QStringList, calls);
        QFETCH(QString, reason);
        QFETCH(QString, after);
        if (!before.isEmpty())
            QVERIFY(QtServiceController::install("/opt/vx").ok);
        if (before == "running")
            QVERIFY(m_service.start().ok);
        m_fake.calls.clear();
        m_fake.refused = refused;
        const TServiceResult result = request == "start"       ? m_service.start()
                                      : request == "stop"      ? m_service.stop()
                                      : request == "uninstall" ? m_service.uninstall()
                                                               : QtServiceController::install(request.mid(8));
        QCOMPARE(result.reason, reason); // systemd's own message for a refusal
        QCOMPARE(result.ok, reason.isEmpty());
        m_fake.refused.clear();
        QCOMPARE(m_fake.calls, calls);
        QCOMPARE(m_service.isInstalled(), !after.isEmpty());
        QCOMPARE(QFile::exists(m_fake.unitFile), !after.isEmpty());
        QCOMPARE(m_service.isRunning(), after == "running");
        if (!after.isEmpty())
            QVERIFY(m_service.uninstall().ok);
    }
    void unitFile()
    {
        const QStringList lines = systemdUnitText("/opt/Veltrix Server/a\"b\\c%d$e", "veltrix").split('\n');
        QCOMPARE(lines.filter(QRegularExpression("^(ExecStart|User|WantedBy)=")),
                 (QStringList{"ExecStart=\"/opt/Veltrix Server/a\\\"b\\\\c%%d$$e\"", "User=veltrix",
                              "WantedBy=multi-user.target"}));
        for (const char *account : {"a\nb", "a\rb"})
            QVERIFY(systemdUnitText("/usr/bin/vx", account).isEmpty());
        QCOMPARE(QtServiceController("a b").start().reason, "\"a b\" is not a valid service name");
    }

private:
    QProcess m_daemon;
    QTemporaryDir m_units;
    QThread m_thread;
    FakeSystemd m_fake;
    QtServiceController m_service{QString::fromLatin1(veltrixServiceName)};
};

QTEST_GUILESS_MAIN(TestSystemdBackend)
#include "tst_systemdbackend.moc"
