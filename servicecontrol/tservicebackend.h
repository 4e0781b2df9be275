#pragma once

#include "tserviceresult.h"

#include <QString>

#include <functional>
#include <memory>

namespace Veltrix {
namespace Server {

// What QtServiceController needs of a service manager. The platform backends
// (Windows service manager, systemd) implement it; tests install a fake.
class TServiceBackend
{
public:
    virtual ~TServiceBackend() = default;

    virtual bool isInstalled(const QString &name) = 0;
    virtual bool isRunning(const QString &name) = 0;
    // The requests; a refusal carries the service manager's reason.
    virtual TServiceResult start(const QString &name) = 0;
    virtual TServiceResult stop(const QString &name) = 0;
    virtual TServiceResult install(const QString &name, const QString &executable, const QString &account,
                                   const QString &password) = 0;
    virtual TServiceResult uninstall(const QString &name) = 0;
};

// The backend every QtServiceController of the process talks to. Created on
// first use from the platform's default unless one was set.
TServiceBackend &serviceBackend();

// Replaces the process-wide backend (the old one is destroyed). Passing null
// goes back to the platform default on the next use.
void setServiceBackend(std::unique_ptr<TServiceBackend> backend);

// The platform's own backend.
std::unique_ptr<TServiceBackend> createPlatformServiceBackend();

} // namespace Server
} // namespace Veltrix
