// Systems without a supported service manager: nothing is installed and
// every request fails.

#include "tservicebackend.h"

namespace Veltrix {
namespace Server {

namespace {
class TNoServiceBackend : public TServiceBackend
{
public:
    bool isInstalled(const QString &) override { return false; }
    bool isRunning(const QString &) override { return false; }
    bool start(const QString &) override { return false; }
    bool stop(const QString &) override { return false; }
    bool install(const QString &, const QString &, const QString &, const QString &) override
    {
        return false;
    }
    bool uninstall(const QString &) override { return false; }
};
} // namespace

std::unique_ptr<TServiceBackend> createPlatformServiceBackend()
{
    return std::make_unique<TNoServiceBackend>();
}

} // namespace Server
} // namespace Veltrix
