// The release: the version resource of the shipped program, and the MSI that
// tests/release/release_test.sh made (DI_RELEASE) under Wine's msiexec in a fresh 32-bit
// prefix: the printer, the files under Program Files and the product's registration, the
// public properties, the removal, an install that fails, an upgrade and a monitor in use.
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "install/model_names.h"
#include "product_version.h"
#include "spooler/spooler_names.h"
#include "support/wine_support.h"

namespace {

std::wstring QueryString(const std::vector<BYTE>& info, const wchar_t* name)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return L"<none>";
    return value;
}

TEST(VersionResource, TheShippedProgramCarriesTheVersionOfTheBuild)
{
    const std::wstring exe = HostPathFromEnv("DI_EXE");
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(DI_VERSION_MINOR, DI_VERSION_MAJOR)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, DI_VERSION_PATCH)), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    EXPECT_EQ(L"" DI_VERSION_TEXT, QueryString(info, L"FileVersion"));
    EXPECT_EQ(L"" DI_VERSION_TEXT, QueryString(info, L"ProductVersion"));
    EXPECT_EQ(L"DriverInstall.exe", QueryString(info, L"OriginalFilename"));
    EXPECT_EQ(L"Ketrin Printer Driver Setup", QueryString(info, L"ProductName"));
    EXPECT_EQ(L"Ketrin Printer Driver Setup", QueryString(info, L"FileDescription"));
}

const wchar_t kInstallDir[] = L"C:\\Program Files\\DriverInstall";

std::wstring MsiProperty(const std::wstring& msi, const wchar_t* name)
{
    std::wstring value;
    MSIHANDLE database = 0, view = 0, record = 0;
    const std::wstring query = std::wstring(L"SELECT `Value` FROM `Property` WHERE `Property` = '") + name + L"'";
    if (MsiOpenDatabaseW(msi.c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewW(database, query.c_str(), &view) == ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        wchar_t buffer[256] = {};
        DWORD size = ARRAYSIZE(buffer);
        if (MsiRecordGetStringW(record, 1, buffer, &size) == ERROR_SUCCESS)
            value = buffer;
    }
    for (MSIHANDLE handle : {record, view, database}) {
        if (handle)
            MsiCloseHandle(handle);
    }
    return value;
}

std::vector<std::wstring> ProductsOfUpgradeCode(const std::wstring& upgradeCode)
{
    std::vector<std::wstring> products;
    wchar_t product[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, product) == ERROR_SUCCESS; ++i)
        products.push_back(product);
    return products;
}

// The printers of the model, each with its port.
std::vector<std::wstring> ModelPrinters()
{
    std::vector<std::wstring> found;
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 16);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
        return found;
    const PRINTER_INFO_2W* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (lstrcmpiW(printers[i].pDriverName, kModelDriverName) == 0)
            found.push_back(std::wstring(printers[i].pPrinterName) + L" on " + printers[i].pPortName);
    }
    return found;
}

// What is in the install folder, its logs apart (the program writes them; they stay to tell
// what happened).
std::set<std::wstring> InstalledFiles()
{
    std::set<std::wstring> names;
    for (const auto& file : FilesUnder(kInstallDir)) {
        const std::wstring& name = file.first;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".log") != 0)
            names.insert(name);
    }
    return names;
}

class Msi : public testing::Test {
protected:
    static std::wstring Release(const std::wstring& name) { return HostPathFromEnv("DI_RELEASE") + L"\\" + name; }

    // msiexec with no user interface and a verbose log; its exit code.
    static long Msiexec(const std::wstring& arguments)
    {
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        return RunProgram(std::wstring(system) + L"\\msiexec.exe", arguments + L" /qn /l*v C:\\msiexec.log", 50000);
    }

    static std::string InstallLog() { return ReadFileBytes(std::wstring(kInstallDir) + L"\\install.log"); }

    // Nothing of the product left: no printer of the model, no monitor, no files, not registered.
    void ExpectNothingLeft(const std::wstring& productCode)
    {
        EXPECT_EQ(std::vector<std::wstring>(), ModelPrinters());
        EXPECT_FALSE(MonitorRegistered(kUsbMonitorName));
        EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorDllName));
        EXPECT_EQ(std::set<std::wstring>(), InstalledFiles());
        EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(productCode.c_str()));
    }

    const std::wstring msi_ = Release(L"DriverInstall-" DI_VERSION_TEXT L".msi");
    const std::wstring productCode_ = MsiProperty(msi_, L"ProductCode");
};

TEST_F(Msi, InstallsThePrinterAndTheFolderAndRemovesThemAgain)
{
    ASSERT_EQ(38u, productCode_.size());
    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\""));
    EXPECT_EQ(std::vector<std::wstring>{L"KR-620 on USB PORT:"}, ModelPrinters());
    EXPECT_TRUE(MonitorRegistered(kUsbMonitorName));
    std::set<std::wstring> shipped;
    for (const auto& file : FilesUnder(HostPathFromEnv("DI_DIST")))
        shipped.insert(file.first);
    EXPECT_EQ(shipped, InstalledFiles());
    EXPECT_EQ(INSTALLSTATE_DEFAULT, MsiQueryProductStateW(productCode_.c_str()));

    EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    ExpectNothingLeft(productCode_);
}

TEST_F(Msi, PutsThePrinterNamedOnThePortNamed)
{
    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" PRINTERNAME=\"Front desk\" PORTNAME=LPT1:"));
    EXPECT_EQ(std::vector<std::wstring>{L"Front desk on LPT1:"}, ModelPrinters());

    EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    ExpectNothingLeft(productCode_);
}

TEST_F(Msi, APortTheSpoolerDoesNotKnowFailsTheInstallAndLeavesNothing)
{
    EXPECT_EQ(ERROR_INSTALL_FAILURE, Msiexec(L"/i \"" + msi_ + L"\" PORTNAME=NOPE:"));
    EXPECT_NE(std::string::npos, InstallLog().find("Exit code: 87"));
    ExpectNothingLeft(productCode_);
}

// The program answers 3010 when a monitor DLL the system holds is replaced at the next start.
TEST_F(Msi, AMonitorDllInUseDoesNotFailTheInstall)
{
    HeldOlderMonitors held;
    ASSERT_TRUE(held.held());
    const long code = Msiexec(L"/i \"" + msi_ + L"\"");
    held.Release();
    EXPECT_EQ(0, code);
    EXPECT_NE(std::string::npos, InstallLog().find("Exit code: 3010"));
    EXPECT_EQ(INSTALLSTATE_DEFAULT, MsiQueryProductStateW(productCode_.c_str()));

    EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    EXPECT_EQ(std::vector<std::wstring>(), ModelPrinters());
}

TEST_F(Msi, ANewerVersionReplacesTheOlderAndThePrinterStays)
{
    const std::wstring next = Release(L"next\\DriverInstall-" + std::to_wstring(DI_VERSION_MAJOR) + L"." +
                                      std::to_wstring(DI_VERSION_MINOR) + L"." + std::to_wstring(DI_VERSION_PATCH + 1) + L".msi");
    const std::wstring nextCode = MsiProperty(next, L"ProductCode");
    const std::wstring upgradeCode = MsiProperty(msi_, L"UpgradeCode");
    ASSERT_EQ(38u, nextCode.size());
    ASSERT_NE(productCode_, nextCode);
    ASSERT_EQ(upgradeCode, MsiProperty(next, L"UpgradeCode"));

    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\""));
    ASSERT_EQ(0, Msiexec(L"/i \"" + next + L"\""));
    EXPECT_EQ(std::vector<std::wstring>{nextCode}, ProductsOfUpgradeCode(upgradeCode));
    EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(productCode_.c_str()));
    EXPECT_EQ(std::vector<std::wstring>{L"KR-620 on USB PORT:"}, ModelPrinters());
    EXPECT_TRUE(FileExists(std::wstring(kInstallDir) + L"\\DriverInstall.exe"));

    EXPECT_EQ(0, Msiexec(L"/x \"" + next + L"\""));
    ExpectNothingLeft(nextCode);
}

}  // namespace
