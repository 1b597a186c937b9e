// DLLs planted beside the program under system names are never loaded.
#include <gtest/gtest.h>

#include <string>

#include "support/wine_support.h"

namespace {

const wchar_t* const kPlantedNames[] = {L"RICHED20.DLL", L"winspool.drv", L"ntdll.dll", L"Kernel32.dll",
                                        L"localspl.dll"};

class DllPlanting : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Wine prefers its own builtin DLLs to a file beside the program; told to prefer the
        // file, as Windows does, it loads whatever a search finds first.
        HKEY overrides = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, &overrides, nullptr));
        const wchar_t order[] = L"native,builtin";
        for (const wchar_t* dll : {L"riched20", L"winspool", L"winspool.drv", L"localspl"})
            RegSetValueExW(overrides, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
        RegCloseKey(overrides);
        folder_ = TempFolder(L"downloads");
        for (const wchar_t* name : kPlantedNames) {
            ASSERT_TRUE(CopyInto(HostPathFromEnv("DI_PLANTED"), folder_, name));
            DeleteFileW(Marker(name).c_str());
        }
        ASSERT_TRUE(CopyInto(HostPathFromEnv("DI_EXE"), folder_, L"DriverInstall.exe"));
        ASSERT_TRUE(CopyInto(HostPathFromEnv("DI_HELPER"), folder_, L"test_helper.exe"));
    }

    std::wstring Marker(const wchar_t* name) const { return folder_ + L"\\" + name + L".loaded"; }

    std::wstring folder_;
};

TEST_F(DllPlanting, ASearchByBareNameWouldLoadThePlantedDll)
{
    // The control: Wine, like Windows, looks in the program's folder first.
    EXPECT_EQ(0, RunProgram(folder_ + L"\\test_helper.exe", L"--load RICHED20.DLL"));
    EXPECT_TRUE(FileExists(Marker(L"RICHED20.DLL")));
}

TEST_F(DllPlanting, ASpoolerCallWouldLoadThePlantedBackend)
{
    // Wine's winspool.drv loads its backend localspl.dll by bare name on first use, long
    // after start-up: only the process's search order keeps the planted one out.
    EXPECT_EQ(0, RunProgram(folder_ + L"\\test_helper.exe", L"--list-ports"));
    EXPECT_TRUE(FileExists(Marker(L"localspl.dll")));
}

TEST_F(DllPlanting, TheInstallerLoadsNoneOfThem)
{
    EXPECT_EQ(0, RunProgram(folder_ + L"\\DriverInstall.exe", L"uninstall"));

    Started interactive = StartProgram(folder_ + L"\\DriverInstall.exe", L"");
    HWND dialog = WaitForDialogOf(interactive.processId, 30000);
    ASSERT_NE(nullptr, dialog);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(2, WaitForExit(interactive, 30000));

    for (const wchar_t* name : kPlantedNames)
        EXPECT_FALSE(FileExists(Marker(name))) << "loaded the planted " << std::string(name, name + wcslen(name));
}

} // namespace
