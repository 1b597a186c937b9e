#include "system/service_control.h"

#include <stdlib.h>

static const DWORD kPollMs = 250;

void QueryServiceFacts(const wchar_t* name, ServiceFacts* facts)
{
    *facts = {};
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return;
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    SERVICE_STATUS status = {};
    DWORD needed = 0;
    if (service && QueryServiceStatus(service, &status) &&
        !QueryServiceConfigW(service, nullptr, 0, &needed) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        QUERY_SERVICE_CONFIGW* config = static_cast<QUERY_SERVICE_CONFIGW*>(malloc(needed));
        if (config && QueryServiceConfigW(service, config, needed, &needed)) {
            facts->asked = 1;
            facts->state = status.dwCurrentState;
            facts->startType = config->dwStartType;
        }
        free(config);
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

int StartServiceAndWait(const wchar_t* name, DWORD timeoutMs)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return 0;
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_START | SERVICE_QUERY_STATUS);
    int running = 0;
    DWORD cause = ERROR_SUCCESS;
    // A start another program asked for already is waited on like ours.
    if (!service || (!StartServiceW(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)) {
        cause = GetLastError();
    } else {
        const DWORD started = GetTickCount();
        SERVICE_STATUS status = {};
        for (;;) {
            if (!QueryServiceStatus(service, &status)) {
                cause = GetLastError();
                break;
            }
            if (status.dwCurrentState == SERVICE_RUNNING) {
                running = 1;
                break;
            }
            // A service that stopped again will not run by waiting.
            if (status.dwCurrentState == SERVICE_STOPPED || GetTickCount() - started >= timeoutMs) {
                cause = status.dwWin32ExitCode && status.dwCurrentState == SERVICE_STOPPED
                            ? status.dwWin32ExitCode
                            : ERROR_SERVICE_REQUEST_TIMEOUT;
                break;
            }
            Sleep(kPollMs);
        }
    }
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    SetLastError(cause);
    return running;
}
