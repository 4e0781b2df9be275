#include "commandline.h"

#include <QtGlobal>

namespace Veltrix {
namespace Server {
namespace Controller {

bool handleCommandLine(int argc, char *argv[], int *exitCode)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(exitCode);
    return false;
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
