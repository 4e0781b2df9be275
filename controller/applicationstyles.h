#pragma once

namespace Veltrix {
namespace Server {
namespace Controller {

// Registers the application's fonts and sets its style sheet from the
// compiled-in resources. Calling it again replaces the earlier registration.
void applyFontsAndStyles();

} // namespace Controller
} // namespace Server
} // namespace Veltrix
