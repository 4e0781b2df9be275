#pragma once

#include "tservicebackend.h"

#include <QHash>
#include <QStringList>

#include <functional>

namespace Veltrix {
namespace Server {

// A service manager in memory for tests of the tray window: one service whose
// state and answers the test sets, and a log of the requests made.
class TFakeServiceBackend : public TServiceBackend
{
public:
    bool installed = false;
    bool running = false;
    // Requests refused whatever the state ("start", "stop", "install",
    // "uninstall"), each with its reason (may be empty). Any other request
    // succeeds when the state allows it, and changes the state.
    QHash<QString, QString> refusals;
    bool stopHangs = false; // an accepted stop leaves the service running
    QStringList calls;      // "start", "stop", "install:<name>:<path>:<account>:<password>", "uninstall"
    int polls = 0;          // state queries (isInstalled)

    bool isInstalled(const QString &) override { return ++polls > 0 && installed; }
    bool isRunning(const QString &) override { return installed && running; }
    TServiceResult start(const QString &) override
    {
        return answer(QStringLiteral("start"), installed, [this] { running = true; });
    }
    TServiceResult stop(const QString &) override
    {
        return answer(QStringLiteral("stop"), installed, [this] { running = running && stopHangs; });
    }
    TServiceResult install(const QString &name, const QString &executable, const QString &account,
                           const QString &password) override
    {
        return answer(QStringLiteral("install:%1:%2:%3:%4").arg(name, executable, account, password),
                      !installed, [this] { installed = true; });
    }
    TServiceResult uninstall(const QString &) override
    {
        return answer(QStringLiteral("uninstall"), installed, [this] { installed = running = false; });
    }

private:
    // Logs request; refuses it when the test says so or the state does not
    // fit, else changes the state.
    TServiceResult answer(const QString &request, bool fits, const std::function<void()> &change)
    {
        calls << request;
        const QString action = request.section(QLatin1Char(':'), 0, 0);
        if (refusals.contains(action))
            return TServiceResult::failure(refusals.value(action));
        if (!fits)
            return TServiceResult::failure(
                QString::fromLatin1(installed ? "already installed" : "not installed"));
        change();
        return TServiceResult::success();
    }
};

} // namespace Server
} // namespace Veltrix
