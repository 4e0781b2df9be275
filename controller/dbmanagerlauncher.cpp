#include "dialoglaunchers.h"

namespace Veltrix {
namespace Server {
namespace Controller {

bool runDatabaseManager()
{
    return false;
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
