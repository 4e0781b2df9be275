#include "tfakeservicebackend.h"

namespace Veltrix {
namespace Server {

bool TFakeServiceBackend::isInstalled(const QString &)
{
    calls << QStringLiteral("isInstalled");
    return installed;
}

bool TFakeServiceBackend::isRunning(const QString &)
{
    calls << QStringLiteral("isRunning");
    return installed && running;
}

bool TFakeServiceBackend::start(const QString &)
{
    calls << QStringLiteral("start");
    if (!installed || !startSucceeds)
        return false;
    running = true;
    return true;
}

bool TFakeServiceBackend::stop(const QString &)
{
    calls << QStringLiteral("stop");
    if (!installed || !stopSucceeds)
        return false;
    if (!stopHangs)
        running = false;
    return true;
}

bool TFakeServiceBackend::install(const QString &name, const QString &executable, const QString &account,
                                  const QString &password)
{
    calls << QStringLiteral("install:%1:%2:%3:%4").arg(name, executable, account, password);
    if (installed || !installSucceeds)
        return false;
    installed = true;
    running = false;
    installedExecutable = executable;
    return true;
}

bool TFakeServiceBackend::uninstall(const QString &)
{
    calls << QStringLiteral("uninstall");
    if (!installed || !uninstallSucceeds)
        return false;
    installed = false;
    running = false;
    return true;
}

QStringList TFakeServiceBackend::actions() const
{
    QStringList result;
    for (const QString &call : calls) {
        if (call != QLatin1String("isInstalled") && call != QLatin1String("isRunning"))
            result << call;
    }
    return result;
}

} // namespace Server
} // namespace Veltrix
