// The release: the version resource of the shipped program, and the MSI that
// tests/release/release_test.sh made (DI_RELEASE) under Wine's msiexec in a fresh 32-bit
// prefix: the printer, the files under Program Files and the product's registration, the
// public properties and what is stored of them, repair, the removal, an install and a removal
// that fail, upgrades and a monitor in use.
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
const std::wstring kLogDir = L"C:\\windows\\Logs\\DriverInstall";
const wchar_t kProductKey[] = L"SOFTWARE\\Ketrin\\DriverInstall";

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

// A text value of HKEY_LOCAL_MACHINE (the 32-bit view, as this program is); "<none>" when
// there is none.
std::wstring MachineText(const std::wstring& key, const wchar_t* name)
{
    wchar_t value[512] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<none>";
    return value;
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

    std::wstring ProductInfo(const wchar_t* property) const
    {
        wchar_t value[MAX_PATH] = {};
        DWORD size = ARRAYSIZE(value);
        return MsiGetProductInfoW(productCode_.c_str(), property, value, &size) == ERROR_SUCCESS ? value : L"<none>";
    }

    static std::string InstallLog() { return ReadFileBytes(kLogDir + L"\\install.log"); }
    static std::string MsiLog() { return ReadFileBytes(L"C:\\msiexec.log"); }

    // Nothing of the product left: no printer of the model, no monitor, no install folder, no
    // values stored, not registered.
    void ExpectNothingLeft(const std::wstring& productCode)
    {
        EXPECT_EQ(std::vector<std::wstring>(), ModelPrinters());
        EXPECT_FALSE(MonitorRegistered(kUsbMonitorName));
        EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorDllName));
        EXPECT_FALSE(FileExists(kInstallDir));
        EXPECT_EQ(L"<none>", MachineText(kProductKey, L"PrinterName"));
        EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(productCode.c_str()));
    }

    const std::wstring msi_ = Release(L"DriverInstall-" DI_VERSION_TEXT L".msi");
    const std::wstring productCode_ = MsiProperty(msi_, L"ProductCode");
};

TEST_F(Msi, InstallsThePrinterAndTheFolderAndRemovesThemAgain)
{
    ASSERT_EQ(38u, productCode_.size());
    // A restart asked for by a run that failed afterwards counts for no later run.
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"RestartRun", REG_SZ,
                                             L"{00000000-0000-0000-0000-000000000000}", 78));
    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\""));
    EXPECT_EQ(std::vector<std::wstring>{L"KR-620 on USB PORT:"}, ModelPrinters());
    EXPECT_TRUE(MonitorRegistered(kUsbMonitorName));
    std::set<std::wstring> shipped, installed;
    for (const auto& file : FilesUnder(HostPathFromEnv("DI_DIST")))
        shipped.insert(file.first);
    for (const auto& file : FilesUnder(kInstallDir))
        installed.insert(file.first);
    EXPECT_EQ(shipped, installed);
    EXPECT_EQ(INSTALLSTATE_DEFAULT, MsiQueryProductStateW(productCode_.c_str()));
    // The default name is stored as a name given would be; no port was given, so a repair
    // leaves the printer on the port its user moved it to.
    EXPECT_EQ(L"KR-620", MachineText(kProductKey, L"PrinterName"));
    ASSERT_EQ(L"By the till", PrinterComment(L"KR-620", L"By the till", L"LPT1:"));
    EXPECT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" REINSTALL=ALL REINSTALLMODE=omus"));
    EXPECT_EQ(std::vector<std::wstring>{L"KR-620 on LPT1:"}, ModelPrinters());
    // Add/Remove Programs: the folder, the publisher, the printer's icon, no Modify.
    EXPECT_EQ(std::wstring(kInstallDir) + L"\\", ProductInfo(INSTALLPROPERTY_INSTALLLOCATION));
    EXPECT_EQ(L"Ketrin", ProductInfo(INSTALLPROPERTY_PUBLISHER));
    EXPECT_TRUE(FileExists(ProductInfo(INSTALLPROPERTY_PRODUCTICON)));
    const std::wstring arp = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode_;
    DWORD noModify = 0, size = sizeof(noModify);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, arp.c_str(), L"NoModify", RRF_RT_REG_DWORD, nullptr,
                                          &noModify, &size));
    EXPECT_EQ(1u, noModify);

    EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    ExpectNothingLeft(productCode_);
    EXPECT_NE(std::string::npos, ReadFileBytes(kLogDir + L"\\uninstall.log").find("Exit code: 0"));
}

TEST_F(Msi, PutsThePrinterNamedOnThePortNamedAndARepairKeepsBoth)
{
    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" PRINTERNAME=\"Front desk\" PORTNAME=LPT1:"));
    EXPECT_EQ(std::vector<std::wstring>{L"Front desk on LPT1:"}, ModelPrinters());

    // A repair with no properties, the printer deleted by hand and then there: the stored
    // values are used, the printer comes back, is not made twice and keeps its settings.
    DeleteAllPrinters();
    EXPECT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" REINSTALL=ALL REINSTALLMODE=omus"));
    EXPECT_EQ(std::vector<std::wstring>{L"Front desk on LPT1:"}, ModelPrinters());
    ASSERT_EQ(L"By the till", PrinterComment(L"Front desk", L"By the till"));
    EXPECT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" REINSTALL=ALL REINSTALLMODE=omus"));
    EXPECT_EQ(std::vector<std::wstring>{L"Front desk on LPT1:"}, ModelPrinters());
    EXPECT_EQ(L"By the till", PrinterComment(L"Front desk"));

    EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    ExpectNothingLeft(productCode_);
}

// Values that would split into switches or lose characters on a command line quoted by
// hand, each arriving as given. Through MsiInstallProductW: Wine's msiexec drops the quotes
// in a property value.
TEST_F(Msi, ThePropertiesReachTheProgramAsGiven)
{
    const struct {
        const wchar_t* properties;
        const wchar_t* printer;
        const char* logged; // as the MSI log must show it
    } rows[] = {
        {L"PRINTERNAME=\"Till \"\"1\"\" /port \"\"FILE:\"", L"Till \"1\" /port \"FILE: on USB PORT:",
         "Printer created: Till \"1\" /port \"FILE:"},
        {L"PRINTERNAME=\"#2 Caf\u00e9 \u6536\u94f6 [ProductCode]{x}\"",
         L"#2 Caf\u00e9 \u6536\u94f6 [ProductCode]{x} on USB PORT:", " [ProductCode]{x}"},
    };
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE | INSTALLLOGMODE_INFO, L"C:\\msiexec.log", 0);
    for (const auto& row : rows) {
        ASSERT_EQ(ERROR_SUCCESS, MsiInstallProductW(msi_.c_str(), row.properties));
        EXPECT_EQ(std::vector<std::wstring>{row.printer}, ModelPrinters());
        EXPECT_NE(std::string::npos, MsiLog().find(row.logged)) << row.logged;
        // Stored as text, and read back whole by a repair.
        EXPECT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" REINSTALL=ALL REINSTALLMODE=omus"));
        EXPECT_EQ(std::vector<std::wstring>{row.printer}, ModelPrinters());
        EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    }
}

TEST_F(Msi, APortTheSpoolerDoesNotKnowFailsTheInstallAndLeavesNothing)
{
    // Its last backslash does not take the quote after it: the port arrives whole, and so
    // does /log after it.
    EXPECT_EQ(ERROR_INSTALL_FAILURE, Msiexec(L"/i \"" + msi_ + L"\" PORTNAME=NOPE\\"));
    EXPECT_NE(std::string::npos, InstallLog().find("Exit code: 87"));
    EXPECT_NE(std::string::npos, MsiLog().find("DriverInstall: ERROR: This port does not exist: NOPE\\\n"));
    ExpectNothingLeft(productCode_);
}

// The program answers 3010 when a monitor DLL the system holds is replaced, or deleted, at the
// next start, and when a removal cancels such a replacement.
TEST_F(Msi, AMonitorDllInUseAsksForARestart)
{
    HeldOlderMonitors held;
    ASSERT_TRUE(held.held());
    const long code = Msiexec(L"/i \"" + msi_ + L"\"");
    held.Release();
    EXPECT_EQ(ERROR_SUCCESS_REBOOT_REQUIRED, code);
    EXPECT_NE(std::string::npos, InstallLog().find("Exit code: 3010"));
    EXPECT_EQ(INSTALLSTATE_DEFAULT, MsiQueryProductStateW(productCode_.c_str()));
    // Removed before that restart: the replacement is cancelled, which the restart carries out.
    EXPECT_EQ(ERROR_SUCCESS_REBOOT_REQUIRED, Msiexec(L"/x \"" + msi_ + L"\""));
    EXPECT_EQ(std::vector<std::wstring>(), ModelPrinters());

    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\""));
    HeldOlderMonitors heldAtRemoval;
    ASSERT_TRUE(heldAtRemoval.held());
    EXPECT_EQ(ERROR_SUCCESS_REBOOT_REQUIRED, Msiexec(L"/x \"" + msi_ + L"\""));
    EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(productCode_.c_str()));
}

// /uninstall fails (1603) on a printer of the model it cannot delete: Wine's DeletePrinter
// deletes the printer's key with its sub-keys, which a sub-key that refuses to be read stops.
TEST_F(Msi, ARemovalWhoseUninstallFailsStillRemovesTheProduct)
{
    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\""));
    const std::wstring locked = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KR-620\\Locked";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, locked.c_str(), nullptr, REG_SZ, L"", 2));
    ASSERT_TRUE(SetKeyDacl(locked, L"D:(D;;KR;;;WD)(A;;KA;;;WD)"));
    EXPECT_EQ(0, Msiexec(L"/x \"" + msi_ + L"\""));
    EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(productCode_.c_str()));
    EXPECT_FALSE(FileExists(kInstallDir));
    EXPECT_NE(std::string::npos, ReadFileBytes(kLogDir + L"\\uninstall.log").find("Exit code: 1603"));
    EXPECT_NE(std::string::npos, MsiLog().find("DriverInstall: exit code 1603"));
    SetKeyDacl(locked, L"D:(A;;KA;;;WD)");
}

std::wstring NextVersion()
{
    return std::to_wstring(DI_VERSION_MAJOR) + L"." + std::to_wstring(DI_VERSION_MINOR) + L"." +
           std::to_wstring(DI_VERSION_PATCH + 1);
}

// Wine's RemoveExistingProducts removes the older product without UPGRADINGPRODUCTCODE, so
// its /uninstall runs and the newer product's /install makes the printer again from the
// stored values (see the Wine notes); the removal Windows runs is shown on its own at the end.
TEST_F(Msi, ABuildOfTheSameVersionIsTheSameProductAndANewerVersionReplacesItKeepingItsValues)
{
    const std::wstring same = Release(L"same\\DriverInstall-" DI_VERSION_TEXT L".msi");
    const std::wstring next = Release(L"next\\DriverInstall-" + NextVersion() + L".msi");
    const std::wstring sameCode = MsiProperty(same, L"ProductCode"), nextCode = MsiProperty(next, L"ProductCode");
    const std::wstring upgradeCode = MsiProperty(msi_, L"UpgradeCode");
    // The product code comes from the version: a release rebuilt from its commit is the same
    // product, the next version another.
    ASSERT_EQ(38u, nextCode.size());
    EXPECT_EQ(productCode_, sameCode);
    ASSERT_NE(productCode_, nextCode);

    ASSERT_EQ(0, Msiexec(L"/i \"" + msi_ + L"\" PRINTERNAME=\"Front desk\" PORTNAME=LPT1:"));
    EXPECT_EQ(0, Msiexec(L"/i \"" + same + L"\""));
    EXPECT_EQ(std::vector<std::wstring>{productCode_}, ProductsOfUpgradeCode(upgradeCode));
    // A driver file of an older version, which the newer one's install replaces.
    const std::wstring gpd = DriverDirectory() + L"\\KR-620ENG.GPD";
    const std::string shipped = ReadFileBytes(gpd);
    ASSERT_TRUE(WriteFileBytes(gpd, "*% older\r\n"));

    ASSERT_EQ(0, Msiexec(L"/i \"" + next + L"\""));
    EXPECT_EQ(std::vector<std::wstring>{nextCode}, ProductsOfUpgradeCode(upgradeCode));
    EXPECT_EQ(std::vector<std::wstring>{L"Front desk on LPT1:"}, ModelPrinters());
    EXPECT_EQ(shipped, ReadFileBytes(gpd));
    EXPECT_TRUE(FileExists(std::wstring(kInstallDir) + L"\\DriverInstall.exe"));

    // The older product's removal as a newer product's RemoveExistingProducts runs it on
    // Windows: the printer stays, with its settings, for the newer product's /install.
    ASSERT_EQ(L"By the till", PrinterComment(L"Front desk", L"By the till"));
    EXPECT_EQ(0, Msiexec(L"/x \"" + next + L"\" UPGRADINGPRODUCTCODE=" + productCode_));
    EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(nextCode.c_str()));
    EXPECT_EQ(L"By the till", PrinterComment(L"Front desk"));
    EXPECT_TRUE(MonitorRegistered(kUsbMonitorName));
}

}  // namespace
