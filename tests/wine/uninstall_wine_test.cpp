// The uninstall run against Wine's real spooler, registry and file system, in a 32-bit
// and a 64-bit prefix.
#include <gtest/gtest.h>

#include "install/uninstall.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "support/wine_support.h"

namespace {

const wchar_t kOtherDriver[] = L"Generic Text Only";

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteAllPrinters();
        DeleteMonitorW(nullptr, nullptr, const_cast<wchar_t*>(kUsbMonitorName));
        ASSERT_TRUE(RegisterSeedDriver(L"KR-620"));
        ASSERT_TRUE(RegisterSeedDriver(kOtherDriver));
        PlaceMonitorDlls();
        ASSERT_TRUE(MonitorDllsInNativeSystemDir());
        ASSERT_TRUE(MonitorDllsIn32BitSystemDir());
    }

    void TearDown() override { Spooler() = RealSpooler(); }

    static void SeedPrinters()
    {
        ASSERT_TRUE(AddSeedPrinter(L"Front desk", L"KR-620", L"LPT1:"));
        ASSERT_TRUE(AddSeedPrinter(L"KR-620(1)", L"KR-620", L"LPT1:"));
        // The spooler keeps the driver name of a printer as it was given.
        ASSERT_TRUE(AddSeedPrinter(L"Back office", L"kr-620", L"FILE:"));
        ASSERT_TRUE(AddSeedPrinter(L"Kitchen", L"Kr-620", L"FILE:"));
        // Named like the model but driven by another driver: it stays.
        ASSERT_TRUE(AddSeedPrinter(L"KR-620", kOtherDriver, L"LPT1:"));
        ASSERT_TRUE(AddSeedPrinter(L"Office laser", kOtherDriver, L"FILE:"));
    }

    std::wstring exe_ = HostPathFromEnv("DI_EXE");
};

TEST_F(Uninstall, RemovesTheModelsPrintersTheMonitorItsKeyAndBothDllCopies)
{
    SeedPrinters();
    ASSERT_TRUE(AddFixtureMonitorAndPort());
    ASSERT_TRUE(MonitorKeyExists());

    EXPECT_EQ(0, RunProgram(exe_, L"uninstall"));

    EXPECT_FALSE(PrinterExists(L"Front desk"));
    EXPECT_FALSE(PrinterExists(L"KR-620(1)"));
    EXPECT_FALSE(PrinterExists(L"Back office"));
    EXPECT_FALSE(PrinterExists(L"Kitchen"));
    EXPECT_TRUE(PrinterExists(L"KR-620"));
    EXPECT_TRUE(PrinterExists(L"Office laser"));

    EXPECT_FALSE(MonitorRegistered(kUsbMonitorName));
    EXPECT_FALSE(MonitorKeyExists());
    EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorDllName));
    EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorUiDllName));
    if (Is64BitPrefix()) {
        EXPECT_FALSE(FileExists(Wow64SystemDir() + L"\\" + kMonitorDllName));
        EXPECT_FALSE(FileExists(Wow64SystemDir() + L"\\" + kMonitorUiDllName));
    }

    // The driver and its files are not the uninstaller's to remove.
    EXPECT_TRUE(DriverRegistered(L"KR-620", L"Windows NT x86"));
    if (Is64BitPrefix()) {
        EXPECT_TRUE(DriverRegistered(L"KR-620", L"Windows x64"));
    }
    wchar_t directory[MAX_PATH] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory),
                                           sizeof(directory), &needed));
    EXPECT_TRUE(FileExists(std::wstring(directory) + L"\\UNIDRV.DLL"));
    EXPECT_TRUE(FileExists(std::wstring(directory) + L"\\3\\UNIDRV.DLL"));

    // A second run finds nothing of ours and still ends with 0.
    EXPECT_EQ(0, RunProgram(exe_, L"uninstall"));
    EXPECT_TRUE(PrinterExists(L"KR-620"));
    EXPECT_TRUE(PrinterExists(L"Office laser"));
    EXPECT_TRUE(DriverRegistered(L"KR-620", L"Windows NT x86"));
}

TEST_F(Uninstall, WithoutTheMonitorKeyDeletesPrintersButNoDllFile)
{
    ASSERT_TRUE(AddSeedPrinter(L"Front desk", L"KR-620", L"LPT1:"));
    ASSERT_FALSE(MonitorKeyExists());

    EXPECT_EQ(0, RunProgram(exe_, L"uninstall"));

    EXPECT_FALSE(PrinterExists(L"Front desk"));
    EXPECT_TRUE(MonitorDllsInNativeSystemDir());
    EXPECT_TRUE(MonitorDllsIn32BitSystemDir());

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, removeUsbMonitor(kUsbMonitorName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_TRUE(MonitorDllsInNativeSystemDir());
}

TEST_F(Uninstall, WithNoModelPrinterStillRemovesTheMonitor)
{
    ASSERT_TRUE(AddSeedPrinter(L"Office laser", kOtherDriver, L"FILE:"));
    ASSERT_TRUE(AddFixtureMonitorAndPort());

    EXPECT_EQ(1, UninstallPackage());

    EXPECT_TRUE(PrinterExists(L"Office laser"));
    EXPECT_FALSE(MonitorRegistered(kUsbMonitorName));
    EXPECT_FALSE(MonitorKeyExists());
    EXPECT_FALSE(MonitorDllsInNativeSystemDir());
}

BOOL WINAPI RefuseDeleteMonitor(LPWSTR, LPWSTR, LPWSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(Uninstall, WhenTheSpoolerRefusesTheKeyAndDllsStillGoAndTheResultIsZero)
{
    ASSERT_TRUE(AddFixtureMonitorAndPort());
    Spooler().deleteMonitor = RefuseDeleteMonitor;

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, removeUsbMonitor(kUsbMonitorName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    // The key goes with its port sub-keys.
    EXPECT_FALSE(MonitorKeyExists());
    EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorDllName));
    EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorUiDllName));
    if (Is64BitPrefix()) {
        EXPECT_FALSE(FileExists(Wow64SystemDir() + L"\\" + kMonitorDllName));
    }
}

TEST_F(Uninstall, SucceedsWhenTheSpoolerRemovesTheKeyItself)
{
    // Wine's DeleteMonitor takes the monitor's key away; the DLLs must go all the same.
    ASSERT_TRUE(AddFixtureMonitorAndPort());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(1, removeUsbMonitor(kUsbMonitorName));
    EXPECT_FALSE(MonitorKeyExists());
    EXPECT_FALSE(MonitorDllsInNativeSystemDir());
    EXPECT_FALSE(MonitorDllsIn32BitSystemDir());
}

} // namespace
