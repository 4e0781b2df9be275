#pragma once

#include "tservicebackend.h"

#include <QHash>
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

    // The requests refused whatever the state ("start", "stop", "install",
    // "uninstall"), each with the reason it gives (may be empty). Any other
    // request succeeds when the state allows it and changes the state.
    QHash<QString, QString> refusals;
    // An accepted stop leaves the service running (hangs while stopping).
    bool stopHangs = false;

    QStringList calls; // "isInstalled", "start", "install:<name>:<path>:<account>:<password>", ...

    bool isInstalled(const QString &name) override;
    bool isRunning(const QString &name) override;
    TServiceResult start(const QString &name) override;
    TServiceResult stop(const QString &name) override;
    TServiceResult install(const QString &name, const QString &executable, const QString &account,
                           const QString &password) override;
    TServiceResult uninstall(const QString &name) override;

    // The calls other than the state queries.
    QStringList actions() const;

private:
    // Logs request; refuses it when the test says so or the state does not fit.
    TServiceResult answer(const QString &request, bool fits, const char *misfit);
};

} // namespace Server
} // namespace Veltrix
