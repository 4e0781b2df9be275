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
    QString unitDirectory;
    bool enabled = false;
    QString activeState = QStringLiteral("inactive");
    bool startFails = false;
    QStringList calls;

    bool unitFileExists()
    {
        return QFile::exists(QDir(unitDirectory).filePath(QStringLiteral("VeltrixServer.service")));
    }
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
        return m_state.activeState;
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
        if (!known(unit)) {
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"),
                           QStringLiteral("No such file"));
            return QString();
        }
        return m_state.enabled ? QStringLiteral("enabled") : QStringLiteral("disabled");
    }
    QDBusObjectPath GetUnit(const QString &unit)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (!known(unit) || m_state.activeState == QLatin1String("inactive")) {
            sendErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                           QStringLiteral("not loaded"));
            return QDBusObjectPath();
        }
        return QDBusObjectPath(unitPath);
    }
    QDBusObjectPath StartUnit(const QString &unit, const QString &mode)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls << QStringLiteral("StartUnit %1 %2").arg(unit, mode);
        if (!known(unit) || m_state.startFails) {
            sendErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"), QStringLiteral("failed"));
            return QDBusObjectPath();
        }
        m_state.activeState = QStringLiteral("active");
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1"));
    }
    QDBusObjectPath StopUnit(const QString &unit, const QString &mode)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.calls << QStringLiteral("StopUnit %1 %2").arg(unit, mode);
        if (!known(unit)) {
            sendErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"), QStringLiteral("failed"));
            return QDBusObjectPath();
        }
        m_state.activeState = QStringLiteral("inactive");
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
    bool known(const QString &unit)
    {
        return unit == QLatin1String("VeltrixServer.service") && m_state.unitFileExists();
    }
    SystemdState &m_state;
};

// Serves the stand-in from its own thread: the backend's calls block the
// test's thread until the answer comes.
class BusThread : public QThread
{
public:
    BusThread(const QString &address, SystemdState &state) : m_address(address), m_state(state) {}
    std::atomic<bool> ready{false};
    std::atomic<bool> failed{false};

protected:
    void run() override
    {
        {
            QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("fake-systemd"));
            FakeManager manager(m_state);
            FakeUnit unit(m_state);
            if (!bus.isConnected() || !bus.registerService(QStringLiteral("org.freedesktop.systemd1")) ||
                !bus.registerObject(QStringLiteral("/org/freedesktop/systemd1"), &manager,
                                    QDBusConnection::ExportAllSlots) ||
                !bus.registerObject(unitPath, &unit, QDBusConnection::ExportAllProperties)) {
                failed = true;
                ready = true;
                return;
            }
            ready = true;
            exec();
            bus.unregisterObject(unitPath);
            bus.unregisterObject(QStringLiteral("/org/freedesktop/systemd1"));
            bus.unregisterService(QStringLiteral("org.freedesktop.systemd1"));
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
    void initTestCase();
    void cleanupTestCase();
    void init();
    void notInstalledAtFirst();
    void installStartStopUninstall();
    void installRefusesAnExistingUnitAndBadPaths();
    void startFailureIsReported();

private:
    QProcess m_daemon;
    QTemporaryDir m_units;
    SystemdState m_state;
    std::unique_ptr<BusThread> m_thread;
    std::unique_ptr<TSystemdServiceBackend> m_backend;
    const QString m_name = QStringLiteral("VeltrixServer");
};

void TestSystemdBackend::initTestCase()
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
    m_state.unitDirectory = m_units.path();
    m_thread = std::make_unique<BusThread>(address, m_state);
    m_thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(m_thread->ready, 10000);
    QVERIFY(!m_thread->failed);
    QVERIFY(systemdReachable());
    m_backend = std::make_unique<TSystemdServiceBackend>(m_units.path());
}

void TestSystemdBackend::cleanupTestCase()
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

void TestSystemdBackend::init()
{
    std::lock_guard<std::mutex> lock(m_state.mutex);
    m_state.calls.clear();
    m_state.startFails = false;
}

void TestSystemdBackend::notInstalledAtFirst()
{
    QVERIFY(!m_backend->isInstalled(m_name));
    QVERIFY(!m_backend->isRunning(m_name));
    QVERIFY(!m_backend->start(m_name));
    QVERIFY(!m_backend->stop(m_name));
    QVERIFY(!m_backend->uninstall(m_name));
    // Names that are not unit names are refused before anything is asked.
    QVERIFY(!m_backend->isInstalled(QStringLiteral("../etc/passwd")));
    QVERIFY(!m_backend->install(QStringLiteral("a b"), QStringLiteral("/bin/true"), QString(), QString()));
    std::lock_guard<std::mutex> lock(m_state.mutex);
    QVERIFY(m_state.calls.isEmpty());
}

void TestSystemdBackend::installStartStopUninstall()
{
    const QString unitFile = QDir(m_units.path()).filePath(QStringLiteral("VeltrixServer.service"));
    QVERIFY(m_backend->install(m_name, QStringLiteral("/opt/veltrix/VeltrixServer"), QString(), QString()));
    QVERIFY(QFile::exists(unitFile));
    QFile file(unitFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("ExecStart=\"/opt/veltrix/VeltrixServer\"\n"));
    QVERIFY(m_backend->isInstalled(m_name));
    QVERIFY(!m_backend->isRunning(m_name));

    QVERIFY(m_backend->start(m_name));
    QVERIFY(m_backend->isRunning(m_name));
    QVERIFY(m_backend->stop(m_name));
    QVERIFY(!m_backend->isRunning(m_name));
    QVERIFY(m_backend->start(m_name));

    QVERIFY(m_backend->uninstall(m_name)); // stops it first
    QVERIFY(!QFile::exists(unitFile));
    QVERIFY(!m_backend->isInstalled(m_name));
    QVERIFY(!m_backend->isRunning(m_name));

    std::lock_guard<std::mutex> lock(m_state.mutex);
    QCOMPARE(m_state.calls,
             (QStringList{"Reload", "EnableUnitFiles VeltrixServer.service 0 1",
                          "StartUnit VeltrixServer.service replace", "StopUnit VeltrixServer.service replace",
                          "StartUnit VeltrixServer.service replace", "StopUnit VeltrixServer.service replace",
                          "DisableUnitFiles VeltrixServer.service 0", "Reload"}));
}

void TestSystemdBackend::installRefusesAnExistingUnitAndBadPaths()
{
    QVERIFY(m_backend->install(m_name, QStringLiteral("/usr/bin/vx"), QString(), QString()));
    QVERIFY(!m_backend->install(m_name, QStringLiteral("/usr/bin/other"), QString(), QString()));
    QVERIFY(m_backend->uninstall(m_name));
    QVERIFY(!m_backend->install(m_name, QStringLiteral("relative/vx"), QString(), QString()));
    QVERIFY(!m_backend->install(m_name, QStringLiteral("/usr/bin/vx\nExecStartPre=/bin/false"), QString(),
                                QString()));
    QVERIFY(!m_backend->isInstalled(m_name));
}

void TestSystemdBackend::startFailureIsReported()
{
    QVERIFY(m_backend->install(m_name, QStringLiteral("/usr/bin/vx"), QString(), QString()));
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        m_state.startFails = true;
    }
    QVERIFY(!m_backend->start(m_name));
    QVERIFY(!m_backend->isRunning(m_name));
    QVERIFY(m_backend->uninstall(m_name));
}

QTEST_GUILESS_MAIN(TestSystemdBackend)
#include "tst_systemdbackend.moc"
