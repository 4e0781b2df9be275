// A minimal Windows service for the backend test: comes up, runs until it is
// asked to stop, and takes a moment each way so that the pending states show.

#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, 0, 0, NO_ERROR, 0, 0, 0};

void report(DWORD state)
{
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 2000;
    status.dwCheckPoint = status.dwWaitHint ? status.dwCheckPoint + 1 : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, LPVOID, LPVOID)
{
    if (code == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, LPWSTR *argv)
{
    if (!(statusHandle = RegisterServiceCtrlHandlerExW(argv && argv[0] ? argv[0] : L"", control, nullptr)))
        return;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    report(SERVICE_START_PENDING);
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
