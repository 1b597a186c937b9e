// The uninstall run against Wine's real spooler, registry and file system, in a 32-bit
// and a 64-bit prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "install/install_status.h"
#include "install/uninstall.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "support/wine_support.h"
#include "system/report_log.h"

namespace {

const wchar_t kOtherDriver[] = L"Generic Text Only";

// The "LEVEL: text" lines that work reports while a report log is active, as in a run
// without a window; their time stamps dropped.
template <typename Work> std::vector<std::wstring> Reported(Work work)
{
    const std::wstring path = TempFolder(L"reported") + L"\\uninstall.log";
    DeleteFileW(path.c_str());
    {
        CReportLog log;
        EXPECT_EQ(1, log.Open(path.c_str()));
        SetReportLog(&log);
        work();
        SetReportLog(nullptr);
    }
    std::vector<std::wstring> lines = OutputLines(ReadFileBytes(path));
    for (std::wstring& line : lines)
        line = line.size() > 20 ? line.substr(20) : std::wstring();
    return lines;
}

const wchar_t kMonitorKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\USB Printer Monitor";
// As the report names it.
const std::wstring kMonitorKeyName = L"HKEY_LOCAL_MACHINE\\" + std::wstring(kMonitorKey);

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

    const std::vector<std::wstring> lines = Reported([] {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(0, removeUsbMonitor(kUsbMonitorName));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    });
    // Each DLL where the deletion reached it: the 32-bit system directory by its own name.
    std::vector<std::wstring> expected = {L"WARNING: Not removed: USB Printer Monitor (5)",
                                          L"INFO: Registry key removed: " + kMonitorKeyName};
    for (const SystemDirectory& folder : MonitorSystemDirectories()) {
        expected.push_back(L"INFO: Deleted: " + folder.named + L"\\" + kMonitorDllName);
        expected.push_back(L"INFO: Deleted: " + folder.named + L"\\" + kMonitorUiDllName);
    }
    EXPECT_EQ(expected, lines);

    // The key goes with its port sub-keys.
    EXPECT_FALSE(MonitorKeyExists());
    EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorDllName));
    EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\" + kMonitorUiDllName));
    if (Is64BitPrefix()) {
        EXPECT_FALSE(FileExists(Wow64SystemDir() + L"\\" + kMonitorDllName));
    }
}

TEST_F(Uninstall, TheSpoolersCauseOutlivesTheDeletionsThatFailAfterIt)
{
    // A DLL held by the system goes at its next start; one that cannot even be scheduled
    // for that stays, and the uninstall says so.
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        // The monitor's key is what the deletions hang on; the spooler's answer is faked.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_READ, nullptr,
                                                 &key, nullptr));
        RegCloseKey(key);
        // Every file deletion fails with a cause of its own: the UI DLLs are gone already,
        // the monitor DLLs held by another process.
        for (const std::wstring& folder : {NativeSystemDir(), Wow64SystemDir()})
            DeleteFileW((folder + L"\\" + kMonitorUiDllName).c_str());
        HeldOlderMonitors held;
        ASSERT_TRUE(held.held());
        ForgetPendingRenames();
        Spooler().deleteMonitor = RefuseDeleteMonitor;
        UninstallOutcome outcome = {};
        std::vector<std::wstring> lines;
        {
            std::optional<RenamesRefused> renames;
            if (refused) {
                renames.emplace();
                ASSERT_TRUE(renames->refused());
            }
            lines = Reported([&] {
                SetLastError(0xDEADBEEF);
                EXPECT_EQ(0, removeUsbMonitor(kUsbMonitorName, &outcome));
                EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
            });
        }
        // A file that is not there is no news; one that stays is.
        std::vector<std::wstring> files;
        for (const std::wstring& line : lines) {
            if (line.find(L".dll") != std::wstring::npos)
                files.push_back(line);
        }
        std::vector<std::wstring> expected;
        std::vector<std::pair<std::wstring, std::wstring>> deletions;
        for (const SystemDirectory& folder : MonitorSystemDirectories()) {
            const std::wstring path = folder.named + L"\\" + kMonitorDllName;
            expected.push_back((refused ? L"WARNING: Not removed: " : L"WARNING: In use, deleted when the system restarts: ") +
                               path + L" (32)");
            if (!refused)
                deletions.push_back({L"\\??\\" + path, L""});
        }
        EXPECT_EQ(expected, files);
        EXPECT_EQ(deletions, PendingRenames());
        EXPECT_EQ(!refused, outcome.restartNeeded);
        EXPECT_EQ(refused ? MonitorSystemDirectories()[0].named + L"\\" + kMonitorDllName : L"",
                  std::wstring(outcome.fileLeft));
        Spooler() = RealSpooler();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMonitorKey);
    }
}

// A sub-key of the monitor's key that refuses to be read. Wine grants DELETE on a key
// whatever its DACL says, but SHDeleteKeyW must read a sub-key to delete it, so neither it
// nor the monitor's key can be deleted. Unlocked and removed when the test ends.
class LockedSubKey {
public:
    LockedSubKey()
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        RegCloseKey(key);
        locked_ = SetKeyDacl(path_, L"D:(D;;KR;;;WD)(A;;KA;;;WD)");
    }
    ~LockedSubKey()
    {
        SetKeyDacl(path_, L"D:(A;;KA;;;WD)");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMonitorKey);
    }
    bool locked() const { return locked_; }

private:
    const std::wstring path_ = std::wstring(kMonitorKey) + L"\\Locked";
    bool locked_ = false;
};

bool MonitorKeyHasValue(const wchar_t* name)
{
    return RegGetValueW(HKEY_LOCAL_MACHINE, kMonitorKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

TEST_F(Uninstall, AMonitorKeyThatCannotBeDeletedWholeStillLosesItsDriverValue)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                             &key, nullptr));
    RegSetValueExW(key, L"Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(kMonitorDllName),
                   static_cast<DWORD>((wcslen(kMonitorDllName) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    LockedSubKey locked;
    ASSERT_TRUE(locked.locked());
    Spooler().deleteMonitor = RefuseDeleteMonitor;

    const std::vector<std::wstring> lines = Reported([] { EXPECT_EQ(0, removeUsbMonitor(kUsbMonitorName)); });

    ASSERT_TRUE(MonitorKeyExists());
    EXPECT_FALSE(MonitorKeyHasValue(L"Driver"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(L"WARNING: Not removed: " + kMonitorKeyName + L" (5)", lines[1]);
}

struct OpenRequest {
    std::wstring name;
    DWORD access;
    bool defaultDatatype;
    bool defaultDevMode;
};
std::vector<OpenRequest> openRequests;

BOOL WINAPI RecordingOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults)
{
    OpenRequest request = {name ? name : L"", 0, true, true};
    if (defaults) {
        request.access = defaults->DesiredAccess;
        request.defaultDatatype = defaults->pDatatype == nullptr;
        request.defaultDevMode = defaults->pDevMode == nullptr;
    }
    openRequests.push_back(request);
    return RealSpooler().openPrinter(name, printer, defaults);
}

TEST_F(Uninstall, OpensEachPrinterWithTheAccessThatDeletingItNeeds)
{
    // Wine deletes a printer whatever access its handle was opened with; Windows does not.
    SeedPrinters();
    openRequests.clear();
    Spooler().openPrinter = RecordingOpenPrinter;

    deleteModelPrinters();

    ASSERT_EQ(4u, openRequests.size());
    for (const OpenRequest& request : openRequests) {
        EXPECT_EQ(static_cast<DWORD>(PRINTER_ALL_ACCESS), request.access)
            << std::string(request.name.begin(), request.name.end());
        EXPECT_TRUE(request.defaultDatatype);
        EXPECT_TRUE(request.defaultDevMode);
    }
    EXPECT_FALSE(PrinterExists(L"Front desk"));
    EXPECT_FALSE(PrinterExists(L"Kitchen"));
    EXPECT_TRUE(PrinterExists(L"KR-620"));
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

// A spooler holding local printers and connections, each listed only when the flags ask
// for its kind and marked as the spooler marks it; it records which printers are opened,
// deleted, and removed as connections. Wine cannot make a connection (AddPrinterConnectionW
// fails) and its DeletePrinterConnectionW does nothing.
class UninstallSeams : public ::testing::Test {
protected:
    void SetUp() override
    {
        opened.clear();
        deleted.clear();
        disconnected.clear();
        closed = 0;
        Spooler().enumPrinters = FakeList;
        Spooler().openPrinter = FakeOpen;
        Spooler().deletePrinter = FakeDelete;
        Spooler().closePrinter = FakeClose;
        Spooler().deletePrinterConnection = FakeDeleteConnection;
    }
    void TearDown() override { Spooler() = RealSpooler(); }

    struct Entry {
        const wchar_t* name;
        const wchar_t* driver;
        DWORD kind;
        DWORD attributes;
    };
    static constexpr Entry kEntries[] = {
        {L"Front desk", L"KR-620", PRINTER_ENUM_LOCAL, PRINTER_ATTRIBUTE_LOCAL},
        {L"\\\\till\\Receipts", L"kr-620", PRINTER_ENUM_CONNECTIONS, PRINTER_ATTRIBUTE_NETWORK},
        {L"\\\\till\\Laser", L"Generic Text Only", PRINTER_ENUM_CONNECTIONS, PRINTER_ATTRIBUTE_NETWORK},
        // A printer of this machine whose port is a share of another.
        {L"Kitchen", L"KR-620", PRINTER_ENUM_LOCAL, PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_NETWORK},
    };

    // The texts stay in kEntries; only the records go into the caller's buffer.
    static BOOL WINAPI FakeList(DWORD flags, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                                LPDWORD returned)
    {
        std::vector<PRINTER_INFO_2W> records;
        for (const Entry& entry : kEntries) {
            if (flags & entry.kind) {
                PRINTER_INFO_2W record = {};
                record.pPrinterName = const_cast<wchar_t*>(entry.name);
                record.pDriverName = const_cast<wchar_t*>(entry.driver);
                record.Attributes = entry.attributes;
                // A connection names the server that has the printer.
                if (entry.kind == PRINTER_ENUM_CONNECTIONS)
                    record.pServerName = const_cast<wchar_t*>(L"\\\\till");
                records.push_back(record);
            }
        }
        *needed = static_cast<DWORD>(records.size() * sizeof(PRINTER_INFO_2W));
        *returned = 0;
        if (level != 2 || !buffer || size < *needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        memcpy(buffer, records.data(), *needed);
        *returned = static_cast<DWORD>(records.size());
        return TRUE;
    }
    static BOOL WINAPI FakeOpen(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW)
    {
        opened.push_back(name);
        *printer = reinterpret_cast<HANDLE>(opened.size());
        return TRUE;
    }
    static BOOL WINAPI FakeDelete(HANDLE printer)
    {
        deleted.push_back(opened[reinterpret_cast<size_t>(printer) - 1]);
        return TRUE;
    }
    static BOOL WINAPI FakeClose(HANDLE)
    {
        ++closed;
        return TRUE;
    }
    static BOOL WINAPI FakeDeleteConnection(LPWSTR name)
    {
        disconnected.push_back(name);
        return TRUE;
    }

    static std::vector<std::wstring> opened, deleted, disconnected;
    static int closed;
};
std::vector<std::wstring> UninstallSeams::opened, UninstallSeams::deleted, UninstallSeams::disconnected;
int UninstallSeams::closed;

BOOL WINAPI SpoolerNotAnswering(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)
{
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
}

// Nobody can tell whether the driver is installed: not "not installed" (1) but a failure.
TEST_F(UninstallSeams, AStatusTheSpoolerDoesNotAnswerIsAFailure)
{
    Spooler().enumPrinters = SpoolerNotAnswering;
    const std::vector<std::wstring> lines = Reported([] { EXPECT_EQ(1603, ReportInstallStatus()); });
    EXPECT_EQ(L"ERROR: The spooler could not be asked whether the driver is installed: (1722)", lines.back());
}

TEST_F(UninstallSeams, ConnectionsToPrintersOfTheModelAreRemovedAndTheSharedPrintersLeftAlone)
{
    const std::vector<std::wstring> lines = Reported(deleteModelPrinters);

    const std::vector<std::wstring> local = {L"Front desk", L"Kitchen"};
    EXPECT_EQ(local, opened);
    EXPECT_EQ(local, deleted);
    EXPECT_EQ(2, closed);
    EXPECT_EQ(std::vector<std::wstring>{L"\\\\till\\Receipts"}, disconnected);
    const std::vector<std::wstring> removed = {L"INFO: Printer removed: Front desk",
                                               L"INFO: Printer removed: \\\\till\\Receipts",
                                               L"INFO: Printer removed: Kitchen"};
    EXPECT_EQ(removed, lines);
}

TEST_F(UninstallSeams, TheConnectionIsRemovedByWinspoolsOwnCall)
{
    HMODULE winspool = GetModuleHandleW(L"winspool.drv");
    ASSERT_NE(nullptr, winspool);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(winspool, "DeletePrinterConnectionW")),
              reinterpret_cast<void*>(RealSpooler().deletePrinterConnection));
}

} // namespace
