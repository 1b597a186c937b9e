#pragma once
#include <windows.h>

// One installation or uninstall at a time on the machine, across sessions: a named mutex
// that every install (from the dialog or unattended) and the uninstall run hold while they
// change the system. Released when the object ends.
class CInstallLock {
public:
    CInstallLock() = default;
    ~CInstallLock();
    CInstallLock(const CInstallLock&) = delete;
    CInstallLock& operator=(const CInstallLock&) = delete;

    // 1 when this run holds the lock now; 0 when another run holds it
    // (ERROR_INSTALL_ALREADY_RUNNING) or the mutex cannot be made (its cause).
    int TryAcquire();
    // Waits until the other run has let go. 1 when held; 0 when the mutex cannot be made.
    int Acquire();

private:
    int Take(DWORD milliseconds);

    HANDLE mutex_ = nullptr;
    int held_ = 0;
};
