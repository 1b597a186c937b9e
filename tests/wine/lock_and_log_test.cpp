// The install lock against Wine's objects: what our lock is made of, what a run opens of
// another run's lock, objects that others put under its name, and the uninstall's wait.
// The report log's new file and a write to it that fails.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "app/run.h"
#include "install/install_lock.h"
#include "support/wine_support.h"
#include "system/report_log.h"
#include "system/system_api.h"

namespace {

// Takes the lock on a thread of its own, as another run would, and holds it while the
// object lives (or, with holdOn false, lets go at once); outcome is what its Take gave.
class LockOnAnotherThread {
public:
    explicit LockOnAnotherThread(bool holdOn = true) : holdOn_(holdOn)
    {
        thread_ = CreateThread(nullptr, 0, Hold, this, 0, nullptr);
        WaitForSingleObject(taken_, 10000);
    }
    ~LockOnAnotherThread()
    {
        SetEvent(release_);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(taken_);
        CloseHandle(release_);
    }
    LockOutcome outcome = kLockFailed;

private:
    static DWORD WINAPI Hold(void* parameter)
    {
        LockOnAnotherThread* self = static_cast<LockOnAnotherThread*>(parameter);
        CInstallLock lock;
        self->outcome = lock.Take(0);
        SetEvent(self->taken_);
        // Let go after a minute at most: a run that waits for ever then fails, not hangs.
        if (self->holdOn_)
            WaitForSingleObject(self->release_, 60000);
        return 0;
    }
    bool holdOn_;
    HANDLE taken_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread_ = nullptr;
};

std::wstring DescriptorOf(HANDLE object, SE_OBJECT_TYPE type = SE_KERNEL_OBJECT)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"unreadable";
    wchar_t* sddl = nullptr;
    std::wstring text = L"unconvertible";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
        text = sddl;
        LocalFree(sddl);
    }
    LocalFree(descriptor);
    return text;
}

TEST(Lock, OursIsTheAdministratorsAndTheNextRunWaitsOnItAndReleasesItWithWhatItOpens)
{
    std::unique_ptr<LockOnAnotherThread> first(new LockOnAnotherThread);
    ASSERT_EQ(kLockHeld, first->outcome);
    HANDLE made = OpenMutexW(READ_CONTROL, FALSE, kInstallLockName);
    ASSERT_NE(nullptr, made);
    // Owned by the Administrators group (Wine's token would give a group of the user's), and
    // nobody but them and the system account may open it.
    EXPECT_EQ(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", DescriptorOf(made));
    CloseHandle(made);
    {
        CInstallLock next;
        EXPECT_EQ(kLockBusy, next.Take(0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING), GetLastError());
        // Its handle, opened for no more than waiting, releasing and reading the owner, takes
        // the lock once the first run lets go...
        first.reset();
        EXPECT_EQ(kLockHeld, next.Take(0));
        EXPECT_EQ(kLockBusy, LockOnAnotherThread(false).outcome);
    }
    // ...and lets go of it again: a third run finds it free.
    EXPECT_EQ(kLockHeld, LockOnAnotherThread(false).outcome);
}

TEST(Lock, ANameTakenByAnObjectNotOursIsNotWaitedOn)
{
    const struct Row {
        const char* what;
        const wchar_t* sddl; // a mutex with this descriptor; null: an event
        LockOutcome outcome;
        DWORD cause;
    } rows[] = {
        {"an event", nullptr, kLockNotHonoured, ERROR_INVALID_HANDLE},
        {"another account's mutex", L"O:S-1-5-21-1-2-3-4000D:(A;;GA;;;WD)", kLockNotHonoured, 0},
        {"a mutex that refuses everybody", L"O:SYD:P", kLockNotHonoured, ERROR_ACCESS_DENIED},
        {"the Administrators' mutex", L"O:BAD:(A;;GA;;;WD)", kLockHeld, 0},
        {"the system account's mutex", L"O:SYD:(A;;GA;;;BA)", kLockHeld, 0},
        {"TrustedInstaller's mutex", L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;GA;;;WD)",
         kLockHeld, 0},
    };
    for (const Row& row : rows) {
        HANDLE squatter = nullptr;
        if (!row.sddl) {
            squatter = CreateEventW(nullptr, TRUE, FALSE, kInstallLockName);
        } else {
            SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl, SDDL_REVISION_1,
                                                                             &attributes.lpSecurityDescriptor, nullptr));
            // Held by the thread that made it: a lock that waited on it would be busy.
            squatter = CreateMutexW(&attributes, TRUE, kInstallLockName);
            LocalFree(attributes.lpSecurityDescriptor);
        }
        ASSERT_NE(nullptr, squatter) << row.what;
        LockOnAnotherThread other(false);
        EXPECT_EQ(row.outcome == kLockHeld ? kLockBusy : row.outcome, other.outcome) << row.what;
        if (row.sddl)
            ReleaseMutex(squatter);
        CInstallLock lock;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(row.outcome, lock.Take(0)) << row.what;
        if (row.outcome != kLockHeld) {
            EXPECT_EQ(row.cause, GetLastError()) << row.what;
        }
        CloseHandle(squatter);
    }
}

TEST(Lock, TheUninstallGoesOnWhenAnInstallationHoldsItPastTheWait)
{
    ASSERT_TRUE(RegisterSeedDriver(L"KR-620"));
    ASSERT_TRUE(AddSeedPrinter(L"Front desk", L"KR-620", L"LPT1:"));
    const std::wstring path = TempFolder(L"lock") + L"\\uninstall.log";
    DeleteFileW(path.c_str());
    {
        LockOnAnotherThread installation;
        ASSERT_EQ(kLockHeld, installation.outcome);
        CReportLog log;
        ASSERT_EQ(1, log.Open(path.c_str()));
        SetReportLog(&log);
        EXPECT_EQ(0, RunUninstall(1000));
        SetReportLog(nullptr);
    }
    EXPECT_FALSE(PrinterExists(L"Front desk"));
    // Before the uninstall's own steps.
    const std::vector<std::wstring> lines = OutputLines(ReadFileBytes(path));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(L"WARNING: Another installation still holds the lock; the uninstall goes on after waiting (seconds): 1",
              lines[0].substr(20));
    EXPECT_EQ(L"INFO: Printer removed: Front desk", lines[1].substr(20));
}

DWORD logWrites;
BOOL WINAPI DiskFull(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED)
{
    ++logWrites;
    *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST(ReportLog, ANewLogIsTheAccountsAloneAndAFailedWriteIsSaidOnceOnTheOutput)
{
    const std::wstring folder = TempFolder(L"report-log");
    const std::wstring path = folder + L"\\install.log", outputPath = folder + L"\\output.txt";
    DeleteFileW(path.c_str());
    HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, output);
    HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    {
        CReportLog log;
        const int opened = log.Open(path.c_str());
        SetStdHandle(STD_OUTPUT_HANDLE, given);
        ASSERT_EQ(1, opened);
        // Wine keeps a file's access as its mode bits: others get no entry at all.
        HANDLE file = CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(std::wstring::npos, DescriptorOf(file, SE_FILE_OBJECT).find(L";WD)"));
        CloseHandle(file);

        logWrites = 0;
        System().writeLogFile = DiskFull;
        log.Line(L"INFO", L"first");
        log.Line(L"SUCCESS", L"second");
        System() = RealSystemApi();
        EXPECT_EQ(1u, logWrites);
    }
    CloseHandle(output);
    const std::vector<std::wstring> expected = {
        L"ERROR: The log file cannot be written: " + path + L" (112)", L"INFO: first", L"SUCCESS: second"};
    EXPECT_EQ(expected, OutputLines(ReadFileBytes(outputPath)));
    EXPECT_EQ("", ReadFileBytes(path));
}

TEST(ReportLog, APipeIsRefusedBeforeItsServerSeesTheRunAndAnExtendedPathIsOpened)
{
    const wchar_t* const pipeName = L"\\\\.\\pipe\\kr620-log";
    HANDLE pipe = CreateNamedPipeW(pipeName, PIPE_ACCESS_INBOUND, PIPE_NOWAIT, 1, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    CReportLog piped;
    EXPECT_EQ(0, piped.Open(pipeName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_FILE_TYPE), GetLastError());
    // Still listening: no client came, so there was nobody to impersonate.
    EXPECT_FALSE(ConnectNamedPipe(pipe, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PIPE_LISTENING), GetLastError());
    CloseHandle(pipe);

    CReportLog log;
    EXPECT_EQ(1, log.Open((L"\\\\?\\" + TempFolder(L"extended") + L"\\install.log").c_str()));
}

} // namespace
