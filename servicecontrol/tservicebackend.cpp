#include "tservicebackend.h"

namespace Veltrix {
namespace Server {

namespace {
std::unique_ptr<TServiceBackend> &currentBackend()
{
    static std::unique_ptr<TServiceBackend> backend;
    return backend;
}
} // namespace

TServiceBackend &serviceBackend()
{
    auto &backend = currentBackend();
    if (!backend)
        backend = createPlatformServiceBackend();
    return *backend;
}

void setServiceBackend(std::unique_ptr<TServiceBackend> backend)
{
    currentBackend() = std::move(backend);
}

} // namespace Server
} // namespace Veltrix
