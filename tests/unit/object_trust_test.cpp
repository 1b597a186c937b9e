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

TEST(LogFileDecision, ALogIsAppendedToOnlyWhenItIsOneFileOnDiskOfATrustedOwnerOrOnAShare)
{
    const DWORD disk = FILE_TYPE_DISK, normal = FILE_ATTRIBUTE_ARCHIVE;
    const struct Row {
        const char* what;
        LogFileFacts facts;
        DWORD refusal;
    } rows[] = {
        {"the running account's", {disk, normal, 1, kOwnerRunningAccount, 0}, 0},
        {"the system account's", {disk, normal, 1, kOwnerSystem, 0}, 0},
        {"the Administrators group's", {disk, normal, 1, kOwnerAdministrators, 0}, 0},
        {"TrustedInstaller's", {disk, normal, 1, kOwnerTrustedInstaller, 0}, 0},
        // The same refuses a folder: C:\Logs that another account made first.
        {"another account's", {disk, normal, 1, kOwnerOther, 0}, ERROR_INVALID_OWNER},
        {"a link", {disk, normal | FILE_ATTRIBUTE_REPARSE_POINT, 1, kOwnerRunningAccount, 0}, ERROR_CANT_RESOLVE_FILENAME},
        {"a file of two names", {disk, normal, 2, kOwnerSystem, 0}, ERROR_TOO_MANY_LINKS},
        // A device has no links and no file information: it is no file to append to.
        {"a device", {FILE_TYPE_CHAR, 0, 0, kOwnerRunningAccount, 0}, ERROR_BAD_FILE_TYPE},
        // What the system account makes on a share is the computer account's.
        {"another account's on a share", {disk, normal, 1, kOwnerOther, 1}, 0},
        {"a link on a share", {disk, normal | FILE_ATTRIBUTE_REPARSE_POINT, 1, kOwnerOther, 1}, ERROR_CANT_RESOLVE_FILENAME},
        {"a pipe on another computer", {FILE_TYPE_PIPE, 0, 0, kOwnerOther, 1}, ERROR_BAD_FILE_TYPE},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.refusal, LogFileRefusal(row.facts)) << row.what;
}

TEST(LogPlace, TheFolderKeepsItsLastSeparatorAndAShareIsKnownByItsName)
{
    const struct Row {
        const wchar_t* path;
        const wchar_t* folder;
        int share;
        wchar_t drive;
    } rows[] = {
        {L"\\\\?\\c:\\Windows\\Logs\\kr620.log", L"\\\\?\\c:\\Windows\\Logs\\", 0, L'c'},
        {L"//server/share/Logs/kr620.log", L"//server/share/Logs/", 1, 0},
        {L"\\\\?\\UNC\\server\\share\\kr620.log", L"\\\\?\\UNC\\server\\share\\", 1, 0},
    };
    for (const Row& row : rows) {
        wchar_t folder[MAX_PATH] = {}, drive = L'?';
        int share = -1;
        EXPECT_EQ(1, LogPlaceOf(row.path, folder, MAX_PATH, &share, &drive));
        EXPECT_STREQ(row.folder, folder);
        EXPECT_EQ(row.share, share);
        EXPECT_EQ(row.drive, drive);
    }
}

} // namespace
