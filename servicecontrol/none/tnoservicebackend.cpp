// Systems without a supported service manager: nothing is installed and
// every request fails.

#include "tservicebackend.h"

#include <QCoreApplication>

namespace Veltrix {
namespace Server {

namespace {
class TNoServiceBackend : public TServiceBackend
{
public:
    bool isInstalled(const QString &) override { return false; }
    bool isRunning(const QString &) override { return false; }
    TServiceResult start(const QString &) override { return refused(); }
    TServiceResult stop(const QString &) override { return refused(); }
    TServiceResult install(const QString &, const QString &, const QString &, const QString &) override
    {
        return refused();
    }
    TServiceResult uninstall(const QString &) override { return refused(); }

private:
    static TServiceResult refused()
    {
        return TServiceResult::failure(
            QCoreApplication::translate("TNoServiceBackend", "No supported service manager on this system"));
    }
};
} // namespace

std::unique_ptr<TServiceBackend> createPlatformServiceBackend()
{
    return std::make_unique<TNoServiceBackend>();
}

} // namespace Server
} // namespace Veltrix
