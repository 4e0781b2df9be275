#include "winservicecontrol.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace vxwin {

namespace {

// Closes a service handle at scope end.
class Handle
{
public:
    explicit Handle(SC_HANDLE handle = nullptr) : m_handle(handle) {}
    ~Handle()
    {
        if (m_handle)
            CloseServiceHandle(m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    SC_HANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    SC_HANDLE m_handle;
};

// The refusal of the call that just failed.
Result failed(DWORD error = GetLastError())
{
    return {error != ERROR_SUCCESS ? error : DWORD(ERROR_GEN_FAILURE)};
}

SC_HANDLE openManager(DWORD access)
{
    return OpenSCManagerW(nullptr, nullptr, access);
}

bool queryState(SC_HANDLE service, DWORD *state)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service, &status))
        return false;
    *state = status.dwCurrentState;
    return true;
}

bool waitForState(SC_HANDLE service, DWORD wanted, unsigned waitMs)
{
    const ULONGLONG until = GetTickCount64() + waitMs;
    DWORD state = 0;
    while (queryState(service, &state)) {
        if (state == wanted)
            return true;
        if (GetTickCount64() >= until)
            return false;
        Sleep(100);
    }
    return false;
}

// A deleted service lingers, marked for deletion, until the last handle to
// it is closed (and, if it runs, until it stops).
bool markedForDeletion(SC_HANDLE manager, const std::wstring &name)
{
    // Windows flags it in the registry: a read-only look.
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    DWORD flag = 0;
    DWORD size = sizeof flag;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DeleteFlag", RRF_RT_REG_DWORD, nullptr, &flag,
                     &size) == ERROR_SUCCESS &&
        flag != 0)
        return true;
    // Not every service manager keeps that flag (Wine does not); all of them
    // refuse a reconfiguration, even one that changes nothing, of such a
    // service.
    Handle service(OpenServiceW(manager, name.c_str(), SERVICE_CHANGE_CONFIG));
    if (!service)
        return GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    if (ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return false;
    return GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

} // namespace

std::wstring errorMessage(unsigned long error)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring message = buffer ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty())
        message = L"Windows error " + std::to_wstring(error);
    return message;
}

bool isInstalled(const std::wstring &name)
{
    Handle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return false;
    Handle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!service)
        return false;
    return !markedForDeletion(manager.get(), name);
}

bool isRunning(const std::wstring &name)
{
    Handle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return false;
    Handle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!service)
        return false;
    DWORD state = 0;
    if (!queryState(service.get(), &state))
        return false;
    switch (state) {
    case SERVICE_RUNNING:
    case SERVICE_STOP_PENDING:
    case SERVICE_PAUSE_PENDING:
    case SERVICE_PAUSED:
    case SERVICE_CONTINUE_PENDING:
        return true;
    default: // SERVICE_STOPPED, SERVICE_START_PENDING
        return false;
    }
}

Result start(const std::wstring &name)
{
    Handle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return failed();
    Handle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service)
        return failed();
    if (markedForDeletion(manager.get(), name))
        return failed(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (StartServiceW(service.get(), 0, nullptr))
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING)
        return {};
    return failed(error);
}

Result stop(const std::wstring &name)
{
    Handle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return failed();
    Handle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service)
        return failed();
    SERVICE_STATUS status = {};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
        DWORD state = 0;
        if (queryState(service.get(), &state) && state == SERVICE_STOP_PENDING)
            return {};
    }
    return failed(error);
}

Result install(const std::wstring &name, const std::wstring &executable, const std::wstring &account,
               const std::wstring &password)
{
    if (name.empty() || executable.empty())
        return failed(ERROR_INVALID_PARAMETER);
    Handle manager(openManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager)
        return failed();
    // The image path is quoted so that a path with spaces is not misread.
    const std::wstring imagePath = L"\"" + executable + L"\"";
    Handle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                  imagePath.c_str(), nullptr, nullptr, nullptr,
                                  account.empty() ? nullptr : account.c_str(),
                                  account.empty() || password.empty() ? nullptr : password.c_str()));
    if (!service)
        return failed();
    return {};
}

Result uninstall(const std::wstring &name, unsigned waitMs)
{
    Handle manager(openManager(SC_MANAGER_CONNECT));
    if (!manager)
        return failed();
    Handle service(OpenServiceW(manager.get(), name.c_str(), DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service)
        return failed();
    DWORD state = 0;
    if (queryState(service.get(), &state) && state != SERVICE_STOPPED) {
        SERVICE_STATUS status = {};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        waitForState(service.get(), SERVICE_STOPPED, waitMs);
    }
    if (!DeleteService(service.get()))
        return failed();
    return {};
}

} // namespace vxwin
