#include "dialoglaunchers.h"

namespace Veltrix {
namespace Server {
namespace Controller {

void runServerConfigDialog()
{
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
