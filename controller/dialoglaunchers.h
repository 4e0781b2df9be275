#pragma once

class QWidget;

namespace Veltrix {
namespace Server {
namespace Controller {

// Runs the server configuration dialog modally on the shared settings file.
void runServerConfigDialog();

// Runs the database manager modally on the shared settings file. Returns
// true when the server's database connection was changed (the tray window
// then asks for a restart of the service).
bool runDatabaseManager();

} // namespace Controller
} // namespace Server
} // namespace Veltrix
