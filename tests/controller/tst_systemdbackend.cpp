// The systemd backend against a stand-in for systemd's D-Bus interface, on a
// private message bus that the test starts and names as the system bus
// (DBUS_SYSTEM_BUS_ADDRESS). The stand-in keeps the unit's state and the
// calls it received; the unit file goes to a temporary folder.

#include "tsystemdservicebackend.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>

using namespace Veltrix::Server;

namespace {

const QString unitPath = QStringLiteral("/org/freedesktop/systemd1/unit/VeltrixServer_2eservice");

// What the stand-in knows; read by the test, written by the bus thread.
struct SystemdState
{
    std::mutex mutex;
    QString unitFile;
    bool enabled = false;
    bool active = false;
    bool startFails = false;
    QStringList calls;
};

class FakeUnit : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.systemd1.Unit")
    Q_PROPERTY(QString ActiveState READ activeState)
public:
    explicit FakeUnit(SystemdState &state) : m_state(state) {}
    QString activeState() const
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        return m_state.active ? QStringLiteral("active") : QStringLiteral("inactive");
    }

private:
    SystemdState &m_state;
};

class FakeManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.systemd1.Manager")
public:
    explicit FakeManager(SystemdState &state) : m_state(state) {}

public slots:
    QString GetUnitFileState(const QString &unit)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (!known(unit))
            return fail("org.freedesktop.DBus.Error.FileNotFound", "No such file or directory").path();
        return m_state.enabled ? QStringLiteral("enabled") : QStringLiteral("disabled");
    }
    QDBusObjectPath GetUnit(const QString &unit)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        return known(unit) && m_state.active ? QDBusObjectPath(unitPath) : fail();
    }
    QDBusObjectPath StartUnit(const QString &unit, const QString &mode)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls << QStringLiteral("StartUnit %1 %2").arg(unit, mode);
        if (!known(unit))
            return fail();
        if (m_state.startFails)
            return fail("org.freedesktop.DBus.Error.AccessDenied", "Access denied");
        m_state.active = true;
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1"));
    }
    QDBusObjectPath StopUnit(const QString &unit, const QString &mode)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls << QStringLiteral("StopUnit %1 %2").arg(unit, mode);
        if (!known(unit))
            return fail();
        m_state.active = false;
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/2"));
    }
    void Reload()
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls << QStringLiteral("Reload");
    }
    bool EnableUnitFiles(const QStringList &units, bool runtime, bool force)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls
            << QStringLiteral("EnableUnitFiles %1 %2 %3").arg(units.join(',')).arg(runtime).arg(force);
        m_state.enabled = true;
        return false;
    }
    void DisableUnitFiles(const QStringList &units, bool runtime)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls << QStringLiteral("DisableUnitFiles %1 %2").arg(units.join(',')).arg(runtime);
        m_state.enabled = false;
    }

private:
    bool known(const QString &unit) const
    {
        return unit == QLatin1String("VeltrixServer.service") && QFile::exists(m_state.unitFile);
    }
    QDBusObjectPath fail(const char *error = "org.freedesktop.systemd1.NoSuchUnit",
                         const char *message = "Unit VeltrixServer.service not found.")
    {
        sendErrorReply(QLatin1String(error), QLatin1String(message));
        return QDBusObjectPath();
    }
    SystemdState &m_state;
};

// Serves the stand-in from its own thread: the backend's calls block the
// test's thread until the answer comes.
class BusThread : public QThread
{
public:
    BusThread(const QString &address, SystemdState &state) : m_address(address), m_state(state) {}
    std::atomic<int> status{0}; // 1 serving, -1 failed

protected:
    void run() override
    {
        {
            QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("fake-systemd"));
            FakeManager manager(m_state);
            FakeUnit unit(m_state);
            const bool serving = bus.registerService(QStringLiteral("org.freedesktop.systemd1")) &&
                                 bus.registerObject(QStringLiteral("/org/freedesktop/systemd1"), &manager,
                                                    QDBusConnection::ExportAllSlots) &&
                                 bus.registerObject(unitPath, &unit, QDBusConnection::ExportAllProperties);
            status = serving ? 1 : -1;
            if (serving)
                exec();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-systemd"));
    }

private:
    QString m_address;
    SystemdState &m_state;
};

} // namespace

class TestSystemdBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        QVERIFY(m_daemon.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!address.isEmpty());
        // Before the first use of the system bus in this process.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());

        QVERIFY(m_units.isValid());
        m_state.unitFile = QDir(m_units.path()).filePath(QStringLiteral("VeltrixServer.service"));
        m_thread = std::make_unique<BusThread>(address, m_state);
        m_thread->start();
        QTRY_VERIFY_WITH_TIMEOUT(m_thread->status != 0, 10000);
        QCOMPARE(int(m_thread->status), 1);
        QVERIFY(systemdReachable());
        m_backend = std::make_unique<TSystemdServiceBackend>(m_units.path());
    }
    void cleanupTestCase()
    {
        if (m_thread) {
            m_thread->quit();
            m_thread->wait(10000);
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished(5000);
        }
    }
    void init()
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls.clear();
        m_state.startFails = false;
    }
    void notInstalledAtFirst()
    {
        QVERIFY(!m_backend->isInstalled(m_name));
        QVERIFY(!m_backend->isRunning(m_name));
        QCOMPARE(m_backend->start(m_name).reason, "Unit VeltrixServer.service not found");
        QVERIFY(!m_backend->stop(m_name).ok);
        QVERIFY(!m_backend->uninstall(m_name).ok);
        // Names that are not unit names are refused before anything is asked.
        QVERIFY(!m_backend->isInstalled(QStringLiteral("../etc/passwd")));
        QVERIFY(
            !m_backend->install(QStringLiteral("a b"), QStringLiteral("/bin/true"), QString(), QString()).ok);
        std::lock_guard<std::mutex> lock(m_state.mutex);
        QVERIFY(m_state.calls.isEmpty());
    }
    void installStartStopUninstall()
    {
        const QString unitFile = m_state.unitFile;
        QVERIFY(m_backend->install(m_name, QStringLiteral("/opt/veltrix/VeltrixServer"), QString(), QString())
                    .ok);
        QVERIFY(QFile::exists(unitFile));
        QFile file(unitFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("ExecStart=\"/opt/veltrix/VeltrixServer\"\n"));
        QVERIFY(m_backend->isInstalled(m_name));
        QVERIFY(!m_backend->isRunning(m_name));

        QVERIFY(m_backend->start(m_name).ok);
        QVERIFY(m_backend->isRunning(m_name));
        QVERIFY(m_backend->stop(m_name).ok);
        QVERIFY(!m_backend->isRunning(m_name));
        QVERIFY(m_backend->start(m_name).ok);

        QVERIFY(m_backend->uninstall(m_name).ok); // stops it first
        QVERIFY(!QFile::exists(unitFile));
        QVERIFY(!m_backend->isInstalled(m_name));
        QVERIFY(!m_backend->isRunning(m_name));

        std::lock_guard<std::mutex> lock(m_state.mutex);
        QCOMPARE(
            m_state.calls,
            (QStringList{"Reload", "EnableUnitFiles VeltrixServer.service 0 1",
                         "StartUnit VeltrixServer.service replace", "StopUnit VeltrixServer.service replace",
                         "StartUnit VeltrixServer.service replace", "StopUnit VeltrixServer.service replace",
                         "DisableUnitFiles VeltrixServer.service 0", "Reload"}));
    }
    void refusals()
    {
        QVERIFY(m_backend->install(m_name, QStringLiteral("/usr/bin/vx"), QString(), QString()).ok);
        QVERIFY(!m_backend->install(m_name, QStringLiteral("/usr/bin/other"), QString(), QString()).ok);
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            m_state.startFails = true;
        }
        QCOMPARE(m_backend->start(m_name).reason, "Access denied"); // systemd's own message
        QVERIFY(!m_backend->isRunning(m_name));
        QVERIFY(m_backend->uninstall(m_name).ok);
        QVERIFY(!m_backend->install(m_name, QStringLiteral("relative/vx"), QString(), QString()).ok);
        QVERIFY(!m_backend->isInstalled(m_name));
    }

private:
    QProcess m_daemon;
    QTemporaryDir m_units;
    SystemdState m_state;
    std::unique_ptr<BusThread> m_thread;
    std::unique_ptr<TSystemdServiceBackend> m_backend;
    const QString m_name = QStringLiteral("VeltrixServer");
};

QTEST_GUILESS_MAIN(TestSystemdBackend)
#include "tst_systemdbackend.moc"
