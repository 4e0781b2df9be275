// The systemd backend against a stand-in for systemd's D-Bus interface, on a
// private message bus that the test starts and names as the system bus
// (DBUS_SYSTEM_BUS_ADDRESS). The stand-in keeps the unit's state and the
// calls it received; the unit file goes to a temporary folder.

#include "tsystemdservicebackend.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
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
    QString unitFile; // where the backend must write the unit
    QString linked;   // the file LinkUnitFiles put into the configuration
    bool enabled = false;
    bool active = false;
    QString refused;       // the method that answers "Access denied"
    QStringList calls;     // the requests, in order
    int uninteractive = 0; // calls that did not allow interactive authorization
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
        if (!accepted(QString()) || !known(unit))
            return fail("org.freedesktop.DBus.Error.FileNotFound", "No such file or directory").path();
        return m_state.enabled ? QStringLiteral("enabled") : QStringLiteral("linked");
    }
    QDBusObjectPath GetUnit(const QString &unit)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        return accepted(QString()) && known(unit) && m_state.active ? QDBusObjectPath(unitPath) : fail();
    }
    QDBusObjectPath StartUnit(const QString &unit, const QString &mode)
    {
        return job(QStringLiteral("StartUnit %1 %2").arg(unit, mode), unit, true);
    }
    QDBusObjectPath StopUnit(const QString &unit, const QString &mode)
    {
        return job(QStringLiteral("StopUnit %1 %2").arg(unit, mode), unit, false);
    }
    void Reload()
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        accepted(QStringLiteral("Reload"));
    }
    void LinkUnitFiles(const QStringList &files, bool runtime, bool force)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (accepted(QStringLiteral("LinkUnitFiles %1 %2 %3").arg(files.join(',')).arg(runtime).arg(force)))
            m_state.linked = files.value(0);
    }
    bool EnableUnitFiles(const QStringList &units, bool runtime, bool force)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (accepted(QStringLiteral("EnableUnitFiles %1 %2 %3").arg(units.join(',')).arg(runtime).arg(force)))
            m_state.enabled = known(units.value(0));
        return false;
    }
    void DisableUnitFiles(const QStringList &units, bool runtime)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (accepted(QStringLiteral("DisableUnitFiles %1 %2").arg(units.join(',')).arg(runtime))) {
            m_state.linked.clear();
            m_state.enabled = false;
        }
    }

private:
    // Notes a call (empty for a query); a refused request gets systemd's
    // access-denied error.
    bool accepted(const QString &call)
    {
        if (!message().isInteractiveAuthorizationAllowed())
            ++m_state.uninteractive;
        if (call.isEmpty())
            return true;
        m_state.calls << call;
        if (call.section(QLatin1Char(' '), 0, 0) != m_state.refused)
            return true;
        fail("org.freedesktop.DBus.Error.AccessDenied", "Access denied");
        return false;
    }
    QDBusObjectPath job(const QString &call, const QString &unit, bool start)
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (!accepted(call))
            return QDBusObjectPath();
        if (!known(unit))
            return fail();
        m_state.active = start;
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1"));
    }
    bool known(const QString &unit) const
    {
        return unit == QLatin1String("VeltrixServer.service") && m_state.linked == m_state.unitFile &&
               QFile::exists(m_state.unitFile);
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
        m_state.refused.clear();
    }
    void cleanup()
    {
        int uninteractive = 0;
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            std::swap(uninteractive, m_state.uninteractive);
            QFile::remove(m_state.unitFile);
            m_state.linked.clear();
            m_state.enabled = m_state.active = false;
        }
        QCOMPARE(uninteractive, 0); // every call lets polkit ask for a password
    }
    void notInstalledAtFirst()
    {
        QVERIFY(!m_backend->isInstalled(m_name));
        QVERIFY(!m_backend->isRunning(m_name));
        QCOMPARE(m_backend->start(m_name).reason, "Unit VeltrixServer.service not found");
        QVERIFY(!m_backend->stop(m_name).ok);
        QVERIFY(!m_backend->uninstall(m_name).ok);
        // Names that are not unit names, and executables that cannot go into
        // a unit, are refused before anything is asked.
        QVERIFY(!m_backend->isInstalled(QStringLiteral("../etc/passwd")));
        QVERIFY(
            !m_backend->install(QStringLiteral("a b"), QStringLiteral("/bin/true"), QString(), QString()).ok);
        QVERIFY(!m_backend->install(m_name, QStringLiteral("relative/vx"), QString(), QString()).ok);
        std::lock_guard<std::mutex> lock(m_state.mutex);
        QVERIFY(m_state.calls.isEmpty());
    }
    void installStartStopUninstall()
    {
        QVERIFY(m_backend->install(m_name, QStringLiteral("/opt/veltrix/VeltrixServer"), QString(), QString())
                    .ok);
        QFile file(m_state.unitFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("ExecStart=\"/opt/veltrix/VeltrixServer\"\n"));
        QVERIFY(!m_backend->isRunning(m_name));
        QVERIFY(m_backend->start(m_name).ok);
        QVERIFY(m_backend->isRunning(m_name));
        QVERIFY(m_backend->stop(m_name).ok);
        QVERIFY(!m_backend->isRunning(m_name));
        QVERIFY(m_backend->start(m_name).ok);
        QVERIFY(m_backend->uninstall(m_name).ok); // stops it first
        QVERIFY(!m_backend->isRunning(m_name));
        QVERIFY(!m_backend->isInstalled(m_name));
    }
    void requests_data()
    {
        QTest::addColumn<bool>("installedBefore");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("refused"); // the method systemd says no to
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("installedAfter"); // and the unit file exists exactly then
        const QString link = QStringLiteral("LinkUnitFiles %1 0 1").arg(m_state.unitFile);
        const QString enable = QStringLiteral("EnableUnitFiles VeltrixServer.service 0 1");
        const QString disable = QStringLiteral("DisableUnitFiles VeltrixServer.service 0");
        const QString stop = QStringLiteral("StopUnit VeltrixServer.service replace");
        const QString reload = QStringLiteral("Reload"), denied = QStringLiteral("Access denied");
        auto row = [](const char *name, bool before, const char *request, const char *refused,
                      const QStringList &calls, const QString &reason, bool after) {
            QTest::newRow(name) << before << QString::fromLatin1(request) << QString::fromLatin1(refused)
                                << calls << reason << after;
        };
        row("install", false, "install", "", {link, enable, reload}, "", true);
        row("install, link refused", false, "install", "LinkUnitFiles", {link}, denied, false);
        row("install, enable refused", false, "install", "EnableUnitFiles", {link, enable, disable}, denied,
            false);
        row("install, reload refused", false, "install", "Reload", {link, enable, reload, disable}, denied,
            false);
        row("install again", true, "install", "", {}, "Unit VeltrixServer.service is already installed",
            true);
        row("uninstall", true, "uninstall", "", {stop, disable, reload}, "", false);
        row("uninstall, disable refused", true, "uninstall", "DisableUnitFiles", {stop, disable}, denied,
            true);
        row("uninstall, reload refused", true, "uninstall", "Reload", {stop, disable, reload}, denied, false);
        row("start refused", true, "start", "StartUnit", {"StartUnit VeltrixServer.service replace"}, denied,
            true);
    }
    void requests()
    {
        QFETCH(bool, installedBefore);
        QFETCH(QString, request);
        QFETCH(QString, refused);
        QFETCH(QStringList, calls);
        QFETCH(QString, reason);
        QFETCH(bool, installedAfter);

        const QString executable = QStringLiteral("/opt/veltrix/VeltrixServer");
        if (installedBefore)
            QVERIFY(m_backend->install(m_name, executable, QString(), QString()).ok);
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            m_state.calls.clear();
            m_state.refused = refused;
        }
        const TServiceResult result = request == QLatin1String("install")
                                          ? m_backend->install(m_name, executable, QString(), QString())
                                      : request == QLatin1String("uninstall") ? m_backend->uninstall(m_name)
                                                                              : m_backend->start(m_name);
        QCOMPARE(result.reason, reason); // systemd's own message for a refusal
        QCOMPARE(result.ok, reason.isEmpty());
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            QCOMPARE(m_state.calls, calls);
            m_state.refused.clear();
        }
        QCOMPARE(m_backend->isInstalled(m_name), installedAfter);
        QCOMPARE(QFile::exists(m_state.unitFile), installedAfter);
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
