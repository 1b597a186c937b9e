// What the install lock and the log decide on the facts of an object found under their
// name: Wine cannot make another account's objects, so the decisions are shown on data.
#include <gtest/gtest.h>

#include "install/install_lock.h"
#include "system/report_log.h"

namespace {

TEST(LockDecision, OnlyAnAdministratorsOrTheSystemsMutexIsWaitedOn)
{
    const struct Row {
        const char* what;
        LockFacts facts;
        LockOutcome outcome;
        DWORD cause;
    } rows[] = {
        {"made by this run", {0, 0, 0, kOwnerOther}, kLockHeld, 0},
        {"another run's as the system account", {0, 1, 0, kOwnerSystem}, kLockHeld, 0},
        {"another run's as an administrator", {0, 1, 0, kOwnerAdministrators}, kLockHeld, 0},
        // Any user may make the name first, the running one too when it is no administrator.
        {"owned by the running account", {0, 1, 0, kOwnerRunningAccount}, kLockNotHonoured, 0},
        {"owned by another account", {0, 1, 0, kOwnerOther}, kLockNotHonoured, 0},
        {"an event under the name", {ERROR_INVALID_HANDLE, 0, 0, kOwnerOther}, kLockNotHonoured, ERROR_INVALID_HANDLE},
        {"refusing an administrator", {ERROR_ACCESS_DENIED, 0, 0, kOwnerOther}, kLockNotHonoured, ERROR_ACCESS_DENIED},
        {"owner unreadable", {0, 1, ERROR_NOT_ENOUGH_MEMORY, kOwnerSystem}, kLockFailed, ERROR_NOT_ENOUGH_MEMORY},
        {"a name leading nowhere", {ERROR_PATH_NOT_FOUND, 0, 0, kOwnerOther}, kLockFailed, ERROR_PATH_NOT_FOUND},
        {"no descriptor made", {ERROR_NOT_ENOUGH_MEMORY, 0, 0, kOwnerOther}, kLockFailed, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Row& row : rows) {
        DWORD cause = 0xDEADBEEF;
        EXPECT_EQ(row.outcome, DecideLock(row.facts, &cause)) << row.what;
        EXPECT_EQ(row.cause, cause) << row.what;
    }
}

TEST(LogFileDecision, AnExistingLogIsAppendedToOnlyWhenItIsOneFileOfATrustedOwner)
{
    const DWORD disk = FILE_TYPE_DISK, normal = FILE_ATTRIBUTE_ARCHIVE;
    const struct Row {
        const char* what;
        LogFileFacts facts;
        DWORD refusal;
    } rows[] = {
        {"the running account's", {disk, normal, 1, kOwnerRunningAccount}, 0},
        {"the system account's", {disk, normal, 1, kOwnerSystem}, 0},
        {"the Administrators group's", {disk, normal, 1, kOwnerAdministrators}, 0},
        {"another account's", {disk, normal, 1, kOwnerOther}, ERROR_INVALID_OWNER},
        {"a link", {disk, normal | FILE_ATTRIBUTE_REPARSE_POINT, 1, kOwnerRunningAccount}, ERROR_CANT_RESOLVE_FILENAME},
        {"a file of two names", {disk, normal, 2, kOwnerSystem}, ERROR_TOO_MANY_LINKS},
        // A device has no links and no file information: only its owner counts.
        {"a device", {FILE_TYPE_CHAR, 0, 0, kOwnerRunningAccount}, 0},
        {"another account's device", {FILE_TYPE_CHAR, 0, 0, kOwnerOther}, ERROR_INVALID_OWNER},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.refusal, LogFileRefusal(row.facts)) << row.what;
}

} // namespace
