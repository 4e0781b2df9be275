#include "tsystemdservicebackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace Veltrix {
namespace Server {

namespace {

// A poll runs every second on the GUI thread: never wait long for systemd.
constexpr int callTimeoutMs = 2000;
// A request waits for systemd to queue the job (not for the job), and for the
// user to answer polkit's password prompt when one is shown.
constexpr int requestTimeoutMs = 120000;

const char systemdService[] = "org.freedesktop.systemd1";
const char systemdPath[] = "/org/freedesktop/systemd1";
const char managerInterface[] = "org.freedesktop.systemd1.Manager";

QString unitName(const QString &name)
{
    return name + QStringLiteral(".service");
}

bool validName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') ||
              c == QLatin1Char('.') || c == QLatin1Char('@')))
            return false;
    }
    return true;
}

// Every call may be authorized interactively: systemd then lets polkit ask
// the desktop's authentication agent instead of refusing outright.
QDBusMessage callSystemBus(QDBusMessage call, int timeoutMs)
{
    call.setInteractiveAuthorizationAllowed(true);
    return QDBusConnection::systemBus().call(call, QDBus::Block, timeoutMs);
}

QDBusMessage callManager(const QString &method, const QVariantList &args, int timeoutMs = callTimeoutMs)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(systemdService), QLatin1String(systemdPath), QLatin1String(managerInterface), method);
    call.setArguments(args);
    return callSystemBus(call, timeoutMs);
}

// The requests that change unit files: (unit names or paths, runtime, force).
QDBusMessage callUnitFiles(const QString &method, const QString &unitOrPath)
{
    QVariantList args{QStringList{unitOrPath}, false};
    if (method != QLatin1String("DisableUnitFiles"))
        args << true; // replace a stale link of the same name, never a real file
    return callManager(method, args, requestTimeoutMs);
}

bool succeeded(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

TServiceResult replyResult(const QDBusMessage &reply)
{
    return succeeded(reply) ? TServiceResult::success() : TServiceResult::failure(reply.errorMessage());
}

QString escapeForExec(const QString &path)
{
    QString escaped;
    for (const QChar c : path) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            escaped += QLatin1Char('\\');
        else if (c == QLatin1Char('%'))
            escaped += QLatin1Char('%');
        else if (c == QLatin1Char('$'))
            escaped += QLatin1Char('$');
        escaped += c;
    }
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

bool systemdReachable()
{
    // systemd owns its name on the system bus whenever it is the init
    // system; a machine without it (a container) has no owner or no bus.
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call.setArguments({QLatin1String(systemdService)});
    const QDBusMessage reply = callSystemBus(call, callTimeoutMs);
    return succeeded(reply) && !reply.arguments().isEmpty() && reply.arguments().constFirst().toBool();
}

QString systemdUnitText(const QString &executable, const QString &account)
{
    if (executable.isEmpty() || !QDir::isAbsolutePath(executable) || executable.contains(QLatin1Char('\n')) ||
        executable.contains(QLatin1Char('\r')) || account.contains(QLatin1Char('\n')) ||
        account.contains(QLatin1Char('\r')))
        return QString();
    QString text;
    text += QStringLiteral("[Unit]\n"
                           "Description=Veltrix Server\n"
                           "After=network-online.target\n"
                           "Wants=network-online.target\n"
                           "\n"
                           "[Service]\n"
                           "Type=simple\n");
    text += QStringLiteral("ExecStart=%1\n").arg(escapeForExec(executable));
    if (!account.isEmpty())
        text += QStringLiteral("User=%1\n").arg(account);
    text += QStringLiteral("Restart=on-failure\n"
                           "\n"
                           "[Install]\n"
                           "WantedBy=multi-user.target\n");
    return text;
}

TSystemdServiceBackend::TSystemdServiceBackend(const QString &unitFolder) : m_unitFolder(unitFolder)
{}

TServiceResult TSystemdServiceBackend::reachable(const QString &name)
{
    if (!validName(name))
        return TServiceResult::failure(tr("\"%1\" is not a valid service name").arg(name));
    if (!systemdReachable())
        return TServiceResult::failure(tr("systemd does not answer on the system bus"));
    return TServiceResult::success();
}

TServiceResult TSystemdServiceBackend::unitFileKnown(const QString &name)
{
    const TServiceResult ready = reachable(name);
    if (!ready.ok)
        return ready;
    // Without a unit file of that name systemd answers with a bare "No such
    // file or directory"; say which file is missing.
    const QDBusMessage reply = callManager(QStringLiteral("GetUnitFileState"), {unitName(name)});
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.FileNotFound"))
        return TServiceResult::failure(tr("Unit %1 not found").arg(unitName(name)));
    return replyResult(reply);
}

bool TSystemdServiceBackend::isInstalled(const QString &name)
{
    return unitFileKnown(name).ok;
}

bool TSystemdServiceBackend::isRunning(const QString &name)
{
    if (!reachable(name).ok)
        return false;
    // A unit that is not loaded is not running.
    const QDBusMessage unit = callManager(QStringLiteral("GetUnit"), {unitName(name)});
    if (!succeeded(unit) || unit.arguments().isEmpty())
        return false;
    const QDBusObjectPath path = unit.arguments().constFirst().value<QDBusObjectPath>();
    QDBusMessage get = QDBusMessage::createMethodCall(QLatin1String(systemdService), path.path(),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get.setArguments({QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState")});
    const QDBusMessage reply = callSystemBus(get, callTimeoutMs);
    if (!succeeded(reply) || reply.arguments().isEmpty())
        return false;
    const QString state = reply.arguments().constFirst().value<QDBusVariant>().variant().toString();
    return state == QLatin1String("active") || state == QLatin1String("reloading") ||
           state == QLatin1String("deactivating");
}

TServiceResult TSystemdServiceBackend::start(const QString &name)
{
    const TServiceResult known = unitFileKnown(name);
    if (!known.ok)
        return known;
    return replyResult(callManager(QStringLiteral("StartUnit"), {unitName(name), QStringLiteral("replace")},
                                   requestTimeoutMs));
}

TServiceResult TSystemdServiceBackend::stop(const QString &name)
{
    const TServiceResult known = unitFileKnown(name);
    if (!known.ok)
        return known;
    return replyResult(callManager(QStringLiteral("StopUnit"), {unitName(name), QStringLiteral("replace")},
                                   requestTimeoutMs));
}

TServiceResult TSystemdServiceBackend::install(const QString &name, const QString &executable,
                                               const QString &account, const QString &)
{
    const TServiceResult ready = reachable(name);
    if (!ready.ok)
        return ready;
    if (isInstalled(name))
        return TServiceResult::failure(tr("Unit %1 is already installed").arg(unitName(name)));
    const QString text = systemdUnitText(executable, account);
    if (text.isEmpty())
        return TServiceResult::failure(tr("The service executable must be an absolute path on one line"));
    if (m_unitFolder.isEmpty())
        return TServiceResult::failure(tr("No folder for the unit file of %1").arg(unitName(name)));
    // systemd does not know the unit (asked above), so a file of that name in
    // the server's own folder is a leftover of an earlier attempt.
    QDir().mkpath(m_unitFolder);
    const QString file = QDir(m_unitFolder).absoluteFilePath(unitName(name));
    QSaveFile unitFile(file);
    if (!unitFile.open(QIODevice::WriteOnly) || unitFile.write(text.toUtf8()) < 0 || !unitFile.commit())
        return TServiceResult::failure(tr("Cannot write %1: %2").arg(file, unitFile.errorString()));

    QDBusMessage reply = callUnitFiles(QStringLiteral("LinkUnitFiles"), file);
    const bool linked = succeeded(reply);
    if (linked)
        reply = callUnitFiles(QStringLiteral("EnableUnitFiles"), unitName(name));
    if (succeeded(reply))
        reply = callManager(QStringLiteral("Reload"), {}, requestTimeoutMs);
    if (succeeded(reply))
        return TServiceResult::success();
    // Take back what was done; disabling also removes the link.
    if (linked)
        callUnitFiles(QStringLiteral("DisableUnitFiles"), unitName(name));
    QFile::remove(file);
    return replyResult(reply);
}

TServiceResult TSystemdServiceBackend::uninstall(const QString &name)
{
    const TServiceResult known = unitFileKnown(name);
    if (!known.ok)
        return known;
    callManager(QStringLiteral("StopUnit"), {unitName(name), QStringLiteral("replace")}, requestTimeoutMs);
    // Disabling removes the enablement and the link; the file stays while
    // systemd still points at it.
    const QDBusMessage disabled = callUnitFiles(QStringLiteral("DisableUnitFiles"), unitName(name));
    if (!succeeded(disabled))
        return replyResult(disabled);
    QFile unitFile(QDir(m_unitFolder).filePath(unitName(name)));
    const bool removed = m_unitFolder.isEmpty() || !unitFile.exists() || unitFile.remove();
    const QDBusMessage reloaded = callManager(QStringLiteral("Reload"), {}, requestTimeoutMs);
    if (!removed)
        return TServiceResult::failure(
            tr("Cannot remove %1: %2").arg(unitFile.fileName(), unitFile.errorString()));
    return replyResult(reloaded);
}

std::unique_ptr<TServiceBackend> createPlatformServiceBackend()
{
    return std::make_unique<TSystemdServiceBackend>();
}

} // namespace Server
} // namespace Veltrix
