#pragma once

class QTextStream;

namespace Veltrix {
namespace Server {
namespace Controller {

// Handles the administrator's command-line options that need no GUI
// (database status and upgrade, --help, --version) before any QApplication
// exists, writing its report to `out` and its error messages to `err`.
// Returns true when the options were handled; *exitCode then holds the
// process exit code. Returns false when the tray controller should start.
bool handleCommandLine(int argc, char *argv[], QTextStream &out, QTextStream &err, int *exitCode);

} // namespace Controller
} // namespace Server
} // namespace Veltrix
