// The Windows service manager behind QtServiceController.

#include "tservicebackend.h"
#include "winservicecontrol.h"

namespace Veltrix {
namespace Server {

namespace {

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

class TWinServiceBackend : public TServiceBackend
{
public:
    bool isInstalled(const QString &name) override { return vxwin::isInstalled(wide(name)); }
    bool isRunning(const QString &name) override { return vxwin::isRunning(wide(name)); }
    bool start(const QString &name) override { return vxwin::start(wide(name)); }
    bool stop(const QString &name) override { return vxwin::stop(wide(name)); }
    bool install(const QString &name, const QString &executable, const QString &account,
                 const QString &password) override
    {
        return vxwin::install(wide(name), wide(executable), wide(account), wide(password));
    }
    bool uninstall(const QString &name) override { return vxwin::uninstall(wide(name)); }
};

} // namespace

std::unique_ptr<TServiceBackend> createPlatformServiceBackend()
{
    return std::make_unique<TWinServiceBackend>();
}

} // namespace Server
} // namespace Veltrix
