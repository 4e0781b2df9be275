// Tests the Windows service backend against a real service manager (Wine in
// CI): install, start, stop and uninstall a small test service, and the
// requests that must fail. Prints "N passed, M failed"; exit code 0 when all
// passed.

#include "winservicecontrol.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <functional>
#include <string>

namespace {

int passed = 0;
int failed = 0;

// result is the request checked, if any: its message is shown on failure.
void check(bool ok, const char *what, const vxwin::Result &result = {})
{
    if (ok) {
        ++passed;
        std::printf("PASS   : %s\n", what);
    } else {
        ++failed;
        std::printf("FAIL!  : %s", what);
        if (!result.ok())
            std::printf(" (error %lu: %ls)", result.error, vxwin::errorMessage(result.error).c_str());
        std::printf("\n");
    }
    std::fflush(stdout);
}

void accepted(const vxwin::Result &result, const char *what)
{
    check(result.ok(), what, result);
}

// Refused with the expected error code.
void refused(const vxwin::Result &result, unsigned long error, const char *what)
{
    check(result.error == error, what, result);
}

// Polls until condition holds or timeoutMs passed.
bool waitFor(const std::function<bool()> &condition, unsigned timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= until)
            return false;
        Sleep(100);
    }
    return true;
}

std::wstring siblingPath(const wchar_t *file)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    const auto slash = path.find_last_of(L"\\/");
    return path.substr(0, slash + 1) + file;
}

} // namespace

int wmain()
{
    const std::wstring name = L"VeltrixBackendTest";
    const std::wstring missing = L"VeltrixNoSuchService";
    const std::wstring executable = siblingPath(L"vxtestservice.exe");

    // A leftover of an interrupted run would spoil the first checks.
    if (vxwin::isInstalled(name))
        vxwin::uninstall(name);

    check(!vxwin::isInstalled(missing), "a missing service is not installed");
    check(!vxwin::isRunning(missing), "a missing service is not running");
    const std::wstring message = vxwin::errorMessage(ERROR_SERVICE_DOES_NOT_EXIST);
    check(!message.empty() && message != L"Windows error 1060" && !iswspace(message.back()),
          "the system's message for an error, without its line break");
    refused(vxwin::start(missing), ERROR_SERVICE_DOES_NOT_EXIST, "starting a missing service fails");
    refused(vxwin::stop(missing), ERROR_SERVICE_DOES_NOT_EXIST, "stopping a missing service fails");
    refused(vxwin::uninstall(missing), ERROR_SERVICE_DOES_NOT_EXIST, "uninstalling a missing service fails");

    accepted(vxwin::install(name, executable, L"", L""), "install");
    refused(vxwin::install(name, executable, L"", L""), ERROR_SERVICE_EXISTS, "installing twice fails");
    check(vxwin::isInstalled(name), "installed after install");
    check(!vxwin::isRunning(name), "not running after install");
    refused(vxwin::stop(name), ERROR_SERVICE_NOT_ACTIVE, "stopping a stopped service fails");

    accepted(vxwin::start(name), "start");
    check(waitFor([&] { return vxwin::isRunning(name); }, 15000), "running after start");
    accepted(vxwin::start(name), "starting a running service is accepted");

    accepted(vxwin::stop(name), "stop");
    check(waitFor([&] { return !vxwin::isRunning(name); }, 15000), "stopped after stop");
    check(vxwin::isInstalled(name), "still installed after stop");

    accepted(vxwin::start(name), "start again");
    check(waitFor([&] { return vxwin::isRunning(name); }, 15000), "running again");
    accepted(vxwin::uninstall(name), "uninstall of the running service");
    check(waitFor([&] { return !vxwin::isInstalled(name); }, 15000), "gone after uninstall");
    check(!vxwin::isRunning(name), "not running after uninstall");
    refused(vxwin::uninstall(name), ERROR_SERVICE_DOES_NOT_EXIST, "uninstalling twice fails");

    // A service deleted while someone still holds a handle to it stays,
    // marked for deletion, until the handle is closed: it reads as gone.
    accepted(vxwin::install(name, executable, L"", L""), "install again");
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE held = manager ? OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
    check(held != nullptr, "a handle to the service");
    accepted(vxwin::uninstall(name), "uninstall while a handle is held");
    check(!vxwin::isInstalled(name), "marked for deletion reads as not installed");
    refused(vxwin::start(name), ERROR_SERVICE_MARKED_FOR_DELETE,
            "a service marked for deletion does not start");
    if (held)
        CloseServiceHandle(held);
    if (manager)
        CloseServiceHandle(manager);
    check(waitFor([&] { return !vxwin::isInstalled(name); }, 15000), "gone once the handle is closed");
    refused(vxwin::install(L"", executable, L"", L""), ERROR_INVALID_PARAMETER,
            "install without a name fails");

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
