#pragma once

#include "tservicebackend.h"

namespace Veltrix {
namespace Server {

// Services as systemd units "<name>.service", reached through systemd's D-Bus
// interface on the system bus. Where systemd is not the running init system
// (containers, CI) every service reads as not installed and every request
// fails.
class TSystemdServiceBackend : public TServiceBackend
{
public:
    explicit TSystemdServiceBackend(const QString &unitDirectory = QStringLiteral("/etc/systemd/system"));

    bool isInstalled(const QString &name) override;
    bool isRunning(const QString &name) override;
    bool start(const QString &name) override;
    bool stop(const QString &name) override;
    bool install(const QString &name, const QString &executable, const QString &account,
                 const QString &password) override;
    bool uninstall(const QString &name) override;

private:
    QString m_unitDirectory;
};

// The unit file that runs executable as the service; empty when the path
// cannot be written into a unit (relative, or holding a line break).
QString systemdUnitText(const QString &executable, const QString &account);

// True when systemd is the init system of this machine.
bool systemdBooted();

} // namespace Server
} // namespace Veltrix
