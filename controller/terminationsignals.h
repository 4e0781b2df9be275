#pragma once

namespace Veltrix {
namespace Server {
namespace Controller {

// Ends the event loop through QCoreApplication::quit() when the process gets
// SIGTERM or SIGINT, so that the tray icon is removed as on Quit. Needs the
// application object; does nothing on Windows.
void quitOnTerminationSignals();

} // namespace Controller
} // namespace Server
} // namespace Veltrix
