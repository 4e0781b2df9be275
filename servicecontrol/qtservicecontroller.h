#pragma once

#include "tserviceresult.h"

#include <QString>

namespace Veltrix {
namespace Server {

// The name of the Veltrix Server's service: a Windows service of that name,
// the systemd unit "<name>.service" on Linux.
constexpr char veltrixServiceName[] = "VeltrixServer";

} // namespace Server
} // namespace Veltrix

// Controls one installed system service by name: the Windows service manager
// on Windows, systemd on Linux. The queries answer with a plain bool; the
// requests with a TServiceResult that carries the manager's reason for a
// refusal. A failure never throws and never blocks for long.
class QtServiceController
{
public:
    explicit QtServiceController(const QString &name);
    ~QtServiceController();

    QtServiceController(const QtServiceController &) = delete;
    QtServiceController &operator=(const QtServiceController &) = delete;

    QString serviceName() const;

    // True when the service is registered with the service manager.
    bool isInstalled() const;
    // True when the service is running (or on its way to stopping).
    bool isRunning() const;

    // Ask the service manager to start or stop the service.
    Veltrix::Server::TServiceResult start();
    Veltrix::Server::TServiceResult stop();

    // Registers serviceFilePath as the service veltrixServiceName, started
    // automatically, under the manager's default account when account is
    // empty.
    static Veltrix::Server::TServiceResult install(const QString &serviceFilePath,
                                                   const QString &account = QString(),
                                                   const QString &password = QString());
    // Stops the service when it runs, then removes its registration.
    Veltrix::Server::TServiceResult uninstall();

private:
    QString m_name;
};
