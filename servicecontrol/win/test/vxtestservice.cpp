// A minimal Windows service for the backend test: reports running, and
// stops when asked.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
SERVICE_STATUS status = {};

void report(DWORD state, DWORD waitHint = 0)
{
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwWaitHint = waitHint;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
        ++status.dwCheckPoint;
    else
        status.dwCheckPoint = 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, LPVOID, LPVOID)
{
    if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN) {
        report(SERVICE_STOP_PENDING, 2000);
        SetEvent(stopEvent);
        return NO_ERROR;
    }
    if (code == SERVICE_CONTROL_INTERROGATE)
        return NO_ERROR;
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD, LPWSTR *argv)
{
    statusHandle = RegisterServiceCtrlHandlerExW(argv && argv[0] ? argv[0] : L"", control, nullptr);
    if (!statusHandle)
        return;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Like a real server, take a moment to come up and to go down, so that
    // the pending states are seen.
    report(SERVICE_START_PENDING, 2000);
    Sleep(300);
    report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, INFINITE);
    Sleep(300);
    report(SERVICE_STOPPED);
}

} // namespace

int wmain()
{
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
