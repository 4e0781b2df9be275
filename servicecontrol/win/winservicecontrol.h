#pragma once

// Service control through the Windows service manager. Plain Win32 and the
// standard library only, so that it builds with the mingw-w64 cross compiler
// and can be tested under Wine without Qt.

#include <string>

namespace vxwin {

// The outcome of a request: accepted, or refused with the Win32 error code.
struct Result
{
    unsigned long error = 0;
    bool ok() const { return error == 0; }
};

// True when the service is registered and not marked for deletion.
bool isInstalled(const std::wstring &name);
// True when the service runs or is on its way to stopping (or pausing).
bool isRunning(const std::wstring &name);
// Requests a start. Accepted when the service started, or was already running
// or starting.
Result start(const std::wstring &name);
// Requests a stop. Accepted when the service stops, or was already stopping.
Result stop(const std::wstring &name);
// Registers executable as an auto-start service of its own process, under the
// manager's default account (LocalSystem) when account is empty.
Result install(const std::wstring &name, const std::wstring &executable, const std::wstring &account,
               const std::wstring &password);
// Stops a running service (waiting up to waitMs for it to stop), then deletes
// its registration.
Result uninstall(const std::wstring &name, unsigned waitMs = 10000);

// The system's message for a Win32 error code, without its line break.
std::wstring errorMessage(unsigned long error);

} // namespace vxwin
