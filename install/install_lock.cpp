#include "install/install_lock.h"

// Global: a deployment tool installs from session 0 while a user may have the dialog open
// in another session.
static const wchar_t kGlobalName[] = L"Global\\DriverInstall.KR-620.Install";
static const wchar_t kLocalName[] = L"Local\\DriverInstall.KR-620.Install";

CInstallLock::~CInstallLock()
{
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_)
        CloseHandle(mutex_);
}

int CInstallLock::Take(DWORD milliseconds)
{
    if (held_)
        return 1;
    if (!mutex_) {
        mutex_ = CreateMutexW(nullptr, FALSE, kGlobalName);
        // A user without the right to make global objects still keeps out the runs of
        // their own session.
        if (!mutex_)
            mutex_ = CreateMutexW(nullptr, FALSE, kLocalName);
        if (!mutex_)
            return 0;
    }
    const DWORD waited = WaitForSingleObject(mutex_, milliseconds);
    // An abandoned lock belonged to a run that ended without letting go: it is free now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_ = 1;
        return 1;
    }
    SetLastError(waited == WAIT_TIMEOUT ? ERROR_INSTALL_ALREADY_RUNNING : GetLastError());
    return 0;
}

int CInstallLock::TryAcquire()
{
    return Take(0);
}

int CInstallLock::Acquire()
{
    return Take(INFINITE);
}
