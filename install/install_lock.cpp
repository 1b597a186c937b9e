#include "install/install_lock.h"

#include <strsafe.h>

#include "i18n/catalogue.h"
#include "system/user_report.h"

const wchar_t kInstallLockName[] = L"Global\\DriverInstall.KR-620.Install";

LockOutcome DecideLock(const LockFacts& facts, DWORD* cause)
{
    *cause = facts.error;
    // An object of another kind under the name, or one that refuses to be waited on by an
    // administrator or the system account (ours never does), is not our lock.
    if (facts.error == ERROR_INVALID_HANDLE || facts.error == ERROR_ACCESS_DENIED)
        return kLockNotHonoured;
    if (facts.error)
        return kLockFailed;
    if (!facts.existed)
        return kLockHeld;
    if (facts.ownerError) {
        *cause = facts.ownerError;
        return kLockFailed;
    }
    // Any user may make the name first; only an administrator's or the system's object is a
    // lock that may keep this run waiting.
    return IsTrustedOwner(facts.owner, 0) ? kLockHeld : kLockNotHonoured;
}

// Owned by the Administrators group, so that every run of an administrator or the system
// account knows it for ours whatever owner its token would give (Wine gives a group of the
// user's, Windows XP the user when set to "object creator"). A run that may not name that
// owner (ERROR_INVALID_OWNER: no administrator) makes it with its token's owner: it can
// install nothing, and the others will not honour its lock.
static HANDLE CreateLock()
{
    static const unsigned kOwners[] = {kOwnedByAdministrators, 0};
    HANDLE mutex = nullptr;
    for (const unsigned flags : kOwners) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!MakePrivateDescriptor(flags, &descriptor))
            return nullptr;
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        mutex = CreateMutexW(&attributes, FALSE, kInstallLockName);
        const DWORD error = GetLastError();
        LocalFree(descriptor);
        SetLastError(error);
        if (mutex || error != ERROR_INVALID_OWNER)
            break;
    }
    return mutex;
}

CInstallLock::~CInstallLock()
{
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_)
        CloseHandle(mutex_);
}

LockOutcome CInstallLock::Find(DWORD* cause)
{
    LockFacts facts = {};
    // An existing lock is opened to wait on, to release and to read its owner; no more.
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL, FALSE, kInstallLockName);
    if (mutex) {
        facts.existed = 1;
    } else if (GetLastError() == ERROR_FILE_NOT_FOUND) {
        mutex = CreateLock();
        // Made by another run since the open: opened with full access instead.
        facts.existed = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    if (!mutex)
        facts.error = GetLastError();
    else if (facts.existed && !QueryOwnerClass(mutex, &facts.owner))
        facts.ownerError = GetLastError();
    const LockOutcome outcome = DecideLock(facts, cause);
    if (outcome == kLockHeld)
        mutex_ = mutex;
    else if (mutex)
        CloseHandle(mutex);
    return outcome;
}

LockOutcome CInstallLock::Take(DWORD milliseconds)
{
    if (held_)
        return kLockHeld;
    if (!mutex_) {
        DWORD cause = 0;
        const LockOutcome found = Find(&cause);
        if (found != kLockHeld) {
            SetLastError(cause);
            return found;
        }
    }
    const DWORD waited = WaitForSingleObject(mutex_, milliseconds);
    // An abandoned lock belonged to a run that ended without letting go: it is free now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_ = 1;
        return kLockHeld;
    }
    if (waited == WAIT_TIMEOUT) {
        SetLastError(ERROR_INSTALL_ALREADY_RUNNING);
        return kLockBusy;
    }
    return kLockFailed;
}

const char* DescribeLockProblem(LockOutcome outcome, DWORD cause, wchar_t* value, size_t units)
{
    // The name is short and fixed; the value always fits the callers' buffers.
    if (cause)
        StringCchPrintfW(value, units, L"%s (%lu)", kInstallLockName, cause);
    else
        StringCchCopyW(value, units, kInstallLockName);
    return outcome == kLockNotHonoured ? "PO_GSTR_LOCK_NOT_HONOURED" : "PO_GSTR_LOCK_FAILED";
}

LockOutcome TakeInstallLock(CInstallLock& lock)
{
    const LockOutcome outcome = lock.Take(0);
    const DWORD cause = GetLastError();
    wchar_t text[1024] = {};
    if (outcome == kLockBusy) {
        ReportToUser(GetLocalizedText("PO_GSTR_BUSY", text, 520), L"ERROR");
    } else if (outcome != kLockHeld) {
        wchar_t value[MAX_PATH] = {};
        GetLocalizedText(DescribeLockProblem(outcome, cause, value, ARRAYSIZE(value)), text, 520);
        StringCchCatW(text, ARRAYSIZE(text), L" ");
        StringCchCatW(text, ARRAYSIZE(text), value);
        ReportToUser(text, outcome == kLockFailed ? L"ERROR" : L"WARNING");
    }
    SetLastError(cause);
    return outcome;
}

void TakeUninstallLock(CInstallLock& lock, DWORD milliseconds)
{
    const LockOutcome outcome = lock.Take(milliseconds);
    const DWORD cause = GetLastError();
    wchar_t value[MAX_PATH] = {};
    if (outcome == kLockBusy) {
        StringCchPrintfW(value, ARRAYSIZE(value), L"%lu", milliseconds / 1000);
        ReportLine(L"WARNING", "PO_GSTR_LOCK_WAIT_OVER", value);
    } else if (outcome != kLockHeld) {
        ReportLine(L"WARNING", DescribeLockProblem(outcome, cause, value, ARRAYSIZE(value)), value);
    }
}
