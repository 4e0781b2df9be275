// The Windows service manager behind QtServiceController.

#include "tservicebackend.h"
#include "winservicecontrol.h"

#include <QDir>

namespace Veltrix {
namespace Server {

namespace {

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

// A refusal carries the system's message for its error code.
TServiceResult fromWin(const vxwin::Result &result)
{
    if (result.ok())
        return TServiceResult::success();
    return TServiceResult::failure(QString::fromStdWString(vxwin::errorMessage(result.error)));
}

class TWinServiceBackend : public TServiceBackend
{
public:
    bool isInstalled(const QString &name) override { return vxwin::isInstalled(wide(name)); }
    bool isRunning(const QString &name) override { return vxwin::isRunning(wide(name)); }
    TServiceResult start(const QString &name) override { return fromWin(vxwin::start(wide(name))); }
    TServiceResult stop(const QString &name) override { return fromWin(vxwin::stop(wide(name))); }
    TServiceResult install(const QString &name, const QString &executable, const QString &account,
                           const QString &password) override
    {
        // The path comes from Qt (a file dialog, the settings) with forward
        // slashes; the service manager shows the image path as written, so it
        // gets Windows' backslashes.
        return fromWin(vxwin::install(wide(name), wide(QDir::toNativeSeparators(executable)), wide(account),
                                      wide(password)));
    }
    TServiceResult uninstall(const QString &name) override { return fromWin(vxwin::uninstall(wide(name))); }
};

} // namespace

std::unique_ptr<TServiceBackend> createPlatformServiceBackend()
{
    return std::make_unique<TWinServiceBackend>();
}

} // namespace Server
} // namespace Veltrix
