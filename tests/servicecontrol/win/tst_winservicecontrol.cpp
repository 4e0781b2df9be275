// The Windows service backend against a real service manager (Wine here):
// install, start, stop and uninstall a small test service kept in a folder
// whose name has a space, and the requests that must fail. Prints one line
// per check and "N passed, M failed"; exit code 0 when all passed.

#include "winservicecontrol.h"

#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <functional>

namespace {

int passed = 0, failed = 0;

void check(const char *what, unsigned long got, unsigned long expected)
{
    ++(got == expected ? passed : failed);
    std::printf("%s: %s (%lu, expected %lu)\n", got == expected ? "PASS" : "FAIL!", what, got, expected);
    std::fflush(stdout);
}
// A request refused with that error (0: accepted), and a condition that holds.
#define EXPECT(request, code) check(#request, (request).error, code)
#define VERIFY(condition) check(#condition, !(condition), 0)

bool waitFor(const std::function<bool()> &condition)
{
    for (const ULONGLONG until = GetTickCount64() + 15000; !condition(); Sleep(100)) {
        if (GetTickCount64() >= until)
            return false;
    }
    return true;
}

} // namespace

int wmain()
{
    const std::wstring name = L"VeltrixBackendTest", missing = L"VeltrixNoSuchService";
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    const std::wstring executable = folder + L"with space\\vxtestservice.exe";
    CreateDirectoryW((folder + L"with space").c_str(), nullptr);
    CopyFileW((folder + L"vxtestservice.exe").c_str(), executable.c_str(), FALSE);
    if (vxwin::isInstalled(name)) // left by an interrupted run
        vxwin::uninstall(name);

    VERIFY(!vxwin::isInstalled(missing) && !vxwin::isRunning(missing));
    const std::wstring message = vxwin::errorMessage(ERROR_SERVICE_DOES_NOT_EXIST);
    VERIFY(!message.empty() && message != L"Windows error 1060" && !iswspace(message.back()));
    EXPECT(vxwin::start(missing), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT(vxwin::stop(missing), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT(vxwin::uninstall(missing), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT(vxwin::install(L"", executable, L"", L""), ERROR_INVALID_PARAMETER);

    EXPECT(vxwin::install(name, executable, L"", L""), 0);
    EXPECT(vxwin::install(name, executable, L"", L""), ERROR_SERVICE_EXISTS);
    VERIFY(vxwin::isInstalled(name) && !vxwin::isRunning(name));
    EXPECT(vxwin::stop(name), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT(vxwin::start(name), 0);
    VERIFY(waitFor([&] { return vxwin::isRunning(name); }));
    EXPECT(vxwin::start(name), 0); // already running: accepted
    EXPECT(vxwin::stop(name), 0);
    VERIFY(waitFor([&] { return !vxwin::isRunning(name); }) && vxwin::isInstalled(name));
    EXPECT(vxwin::start(name), 0);
    VERIFY(waitFor([&] { return vxwin::isRunning(name); }));
    EXPECT(vxwin::uninstall(name), 0); // stops it first
    VERIFY(waitFor([&] { return !vxwin::isInstalled(name); }) && !vxwin::isRunning(name));
    EXPECT(vxwin::uninstall(name), ERROR_SERVICE_DOES_NOT_EXIST);

    // A service deleted while a handle to it is held stays, marked for
    // deletion, until the handle is closed: it reads as gone and cannot start.
    EXPECT(vxwin::install(name, executable, L"", L""), 0);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE held = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
    VERIFY(held != nullptr);
    EXPECT(vxwin::uninstall(name), 0);
    VERIFY(!vxwin::isInstalled(name));
    EXPECT(vxwin::start(name), ERROR_SERVICE_MARKED_FOR_DELETE);
    CloseServiceHandle(held);
    CloseServiceHandle(manager);
    VERIFY(waitFor([&] { return !vxwin::isInstalled(name); }));

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
