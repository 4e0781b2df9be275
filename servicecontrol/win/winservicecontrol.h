#pragma once

// Service control through the Windows service manager. Plain Win32 and the
// standard library only, so that it builds with the mingw-w64 cross compiler
// and can be tested under Wine without Qt.

#include <string>

namespace vxwin {

// True when the service is registered and not marked for deletion.
bool isInstalled(const std::wstring &name);
// True when the service runs or is on its way to stopping (or pausing).
bool isRunning(const std::wstring &name);
// Requests a start. True when the request was accepted or the service was
// already running or starting.
bool start(const std::wstring &name);
// Requests a stop. True when the request was accepted or the service was
// already stopping.
bool stop(const std::wstring &name);
// Registers executable as an auto-start service of its own process, under the
// manager's default account (LocalSystem) when account is empty.
bool install(const std::wstring &name, const std::wstring &executable, const std::wstring &account,
             const std::wstring &password);
// Stops a running service (waiting up to waitMs for it to stop), then deletes
// its registration.
bool uninstall(const std::wstring &name, unsigned waitMs = 10000);

// The last Win32 error of the calls above in this thread, for test output.
unsigned long lastError();

} // namespace vxwin
