#pragma once

#include "tservicebackend.h"

#include <QCoreApplication>

namespace Veltrix {
namespace Server {

// Services as systemd units "<name>.service", reached through systemd's D-Bus
// interface on the system bus (DBUS_SYSTEM_BUS_ADDRESS, as for every client).
// Every call allows interactive authorization, so that polkit can ask the
// desktop user for a password instead of refusing at once; installing and
// uninstalling go through systemd too (link, enable, disable, reload), so
// polkit decides on them like on starting and stopping.
// Where systemd is not running (containers, CI) every service reads as not
// installed and every request fails. A refusal carries systemd's own message
// ("Access denied", ...).
class TSystemdServiceBackend : public TServiceBackend
{
    Q_DECLARE_TR_FUNCTIONS(TSystemdServiceBackend)
public:
    // unitFolder holds the unit file that install writes and systemd links
    // into its configuration; without one nothing can be installed.
    explicit TSystemdServiceBackend(const QString &unitFolder = QString());

    bool isInstalled(const QString &name) override;
    bool isRunning(const QString &name) override;
    TServiceResult start(const QString &name) override;
    TServiceResult stop(const QString &name) override;
    TServiceResult install(const QString &name, const QString &executable, const QString &account,
                           const QString &password) override;
    TServiceResult uninstall(const QString &name) override;

private:
    // Accepted when requests about name can go to systemd.
    static TServiceResult reachable(const QString &name);
    // Accepted when systemd knows a unit file for name.
    static TServiceResult unitFileKnown(const QString &name);

    QString m_unitFolder;
};

// The unit file that runs executable as the service; empty when the path
// cannot be written into a unit (relative, or holding a line break).
QString systemdUnitText(const QString &executable, const QString &account);

// True when systemd answers on the system bus (it is the init system).
bool systemdReachable();

} // namespace Server
} // namespace Veltrix
