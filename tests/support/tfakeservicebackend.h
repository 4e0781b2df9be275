#pragma once

#include "tservicebackend.h"

#include <QStringList>

namespace Veltrix {
namespace Server {

// An in-memory service manager for tests of the tray window: one service
// whose state and answers the test sets, and a log of the calls made.
class TFakeServiceBackend : public TServiceBackend
{
public:
    bool installed = false;
    bool running = false;

    // Answers of the requests; a request that succeeds changes the state.
    bool startSucceeds = true;
    bool stopSucceeds = true;
    bool installSucceeds = true;
    bool uninstallSucceeds = true;
    // A successful stop leaves the service running (hangs while stopping).
    bool stopHangs = false;

    QStringList calls; // "isInstalled", "start", "install:<path>", ...
    QString installedExecutable;

    bool isInstalled(const QString &name) override;
    bool isRunning(const QString &name) override;
    bool start(const QString &name) override;
    bool stop(const QString &name) override;
    bool install(const QString &name, const QString &executable, const QString &account,
                 const QString &password) override;
    bool uninstall(const QString &name) override;

    // The calls other than the state queries.
    QStringList actions() const;
};

} // namespace Server
} // namespace Veltrix
