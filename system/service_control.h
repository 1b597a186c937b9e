#pragma once
#include <windows.h>

// A service as the service control manager describes it, and starting one that may start.

struct ServiceFacts {
    // 0 when the service control manager could not be asked (a restricted account on XP
    // may not connect): nothing else is known then.
    int asked;
    DWORD state;     // SERVICE_RUNNING, SERVICE_STOPPED, ...
    DWORD startType; // SERVICE_AUTO_START, SERVICE_DEMAND_START, SERVICE_DISABLED, ...
};

// The facts of the service of that name. Always fills facts; asked says whether they hold.
void QueryServiceFacts(const wchar_t* name, ServiceFacts* facts);

// Starts the service and waits until it runs, at most timeoutMs. 1 when it runs; 0 with the
// cause (ERROR_SERVICE_REQUEST_TIMEOUT when it did not run in time). The service's start
// type is never changed.
int StartServiceAndWait(const wchar_t* name, DWORD timeoutMs);
