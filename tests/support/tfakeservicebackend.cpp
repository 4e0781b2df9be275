#include "tfakeservicebackend.h"

namespace Veltrix {
namespace Server {

TServiceResult TFakeServiceBackend::answer(const QString &request, bool fits, const char *misfit)
{
    const QString action = request.section(QLatin1Char(':'), 0, 0);
    calls << request;
    if (refusals.contains(action))
        return TServiceResult::failure(refusals.value(action));
    if (!fits)
        return TServiceResult::failure(QString::fromLatin1(misfit));
    return TServiceResult::success();
}

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

TServiceResult TFakeServiceBackend::start(const QString &)
{
    const TServiceResult result = answer(QStringLiteral("start"), installed, "not installed");
    if (result.ok)
        running = true;
    return result;
}

TServiceResult TFakeServiceBackend::stop(const QString &)
{
    const TServiceResult result = answer(QStringLiteral("stop"), installed, "not installed");
    if (result.ok && !stopHangs)
        running = false;
    return result;
}

TServiceResult TFakeServiceBackend::install(const QString &name, const QString &executable,
                                            const QString &account, const QString &password)
{
    const TServiceResult result =
        answer(QStringLiteral("install:%1:%2:%3:%4").arg(name, executable, account, password), !installed,
               "already installed");
    if (result.ok) {
        installed = true;
        running = false;
    }
    return result;
}

TServiceResult TFakeServiceBackend::uninstall(const QString &)
{
    const TServiceResult result = answer(QStringLiteral("uninstall"), installed, "not installed");
    if (result.ok)
        installed = running = false;
    return result;
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
