#pragma once
#include <windows.h>

#include "system/object_security.h"

// The machine-wide name of the lock: a deployment tool installs from session 0 while a user
// may have the dialog open in another session.
extern const wchar_t kInstallLockName[];

enum LockOutcome {
    kLockHeld,        // this run holds the lock
    kLockBusy,        // another run held it for the whole wait (ERROR_INSTALL_ALREADY_RUNNING)
    kLockNotHonoured, // the name is taken by an object that is not our lock: the run goes on without one
    kLockFailed,      // the lock cannot be made or opened: the cause in the last error
};

// What the making or opening of the lock met. error: the code of the last call that gave no
// handle (OpenMutexW, then CreateMutexW when nothing was there), 0 when one did. existed:
// the handle is to an object another run made. ownerError and owner: the reading of that
// object's owner.
struct LockFacts {
    DWORD error;
    int existed;
    DWORD ownerError;
    OwnerClass owner;
};

// Whether the object under the name is a lock to wait on: kLockHeld (use it), kLockNotHonoured
// or kLockFailed, with the cause in *cause (0 for a lock of another owner).
LockOutcome DecideLock(const LockFacts& facts, DWORD* cause);

// One installation or uninstall at a time on the machine, across sessions: a named mutex
// that every install (from the dialog or unattended) and the uninstall run hold while they
// change the system. Made with a descriptor that only the system account and the
// Administrators group may open, owned by the Administrators group; an existing one is
// honoured only when one of them owns it. Released when the object ends.
class CInstallLock {
public:
    CInstallLock() = default;
    ~CInstallLock();
    CInstallLock(const CInstallLock&) = delete;
    CInstallLock& operator=(const CInstallLock&) = delete;

    // Waits up to milliseconds for the lock. kLockBusy, kLockNotHonoured and kLockFailed
    // leave their cause in the last error.
    LockOutcome Take(DWORD milliseconds);

private:
    LockOutcome Find(DWORD* cause);

    HANDLE mutex_ = nullptr;
    int held_ = 0;
};

// Takes the lock for an installation without waiting and reports what stands in its way:
// another run (the busy text, "ERROR"), a lock that cannot be made (its cause, "ERROR"), or
// an object under the name that is not our lock ("WARNING"; the installation goes on
// without it).
LockOutcome TakeInstallLock(CInstallLock& lock);

// How long an uninstall waits for a running installation before it goes on: ten minutes.
const DWORD kUninstallLockWait = 10 * 60 * 1000;

// Takes the lock for an uninstall, waiting up to milliseconds for an installation in
// progress to finish, and goes on whatever it finds: one that outlasts the wait, or a lock
// that cannot be had, is a "WARNING" line where a report log is active, nothing elsewhere.
void TakeUninstallLock(CInstallLock& lock, DWORD milliseconds);

// The report of a lock not held for any cause but a busy one: its catalogue key, and the
// lock's name with the cause as value.
const char* DescribeLockProblem(LockOutcome outcome, DWORD cause, wchar_t* value, size_t units);
