#include "dialoglaunchers.h"

#include "tvxscserverconfigform.h"

namespace Veltrix {
namespace Server {
namespace Controller {

void runServerConfigDialog()
{
    TVXSCServerConfigForm form(nullptr);
    form.exec();
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
