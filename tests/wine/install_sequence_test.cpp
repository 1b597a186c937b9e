// The whole installation, its message boxes and its spooler calls: with Wine's real spooler
// where Wine answers as Windows does, and through the spooler seam for the answers Wine
// cannot give (a refusal with a chosen code, a name that exists, a 64-bit spooler).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <strsafe.h>

#include <algorithm>

#include <string>
#include <vector>

#include "app/unattended.h"
#include "i18n/catalogue.h"
#include "install/install_job.h"
#include "install/preflight.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "support/message_boxes.h"
#include "support/wine_support.h"
#include "system/probes.h"
#include "system/private_folder.h"
#include "system/report_log.h"
#include "system/system_api.h"

namespace {

using Boxes = std::vector<std::pair<std::wstring, std::wstring>>;

Boxes TextsAndCaptions(const std::vector<SeenBox>& seen)
{
    Boxes boxes;
    for (const SeenBox& box : seen)
        boxes.emplace_back(box.text, box.caption);
    return boxes;
}

// "YYYY-MM-DD HH:MM:SS LEVEL: text" lines of a UTF-8 log, as (text, level).
Boxes LogLines(const std::string& bytes)
{
    Boxes lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        EXPECT_NE(std::string::npos, end) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        const size_t colon = line.find(": ", 20);
        EXPECT_EQ(' ', line.size() > 19 ? line[19] : 0) << line;
        if (colon == std::string::npos)
            continue;
        wchar_t text[2048] = {};
        wchar_t level[32] = {};
        MultiByteToWideChar(CP_UTF8, 0, line.c_str() + colon + 2, -1, text, 2048);
        MultiByteToWideChar(CP_UTF8, 0, line.substr(20, colon - 20).c_str(), -1, level, 32);
        lines.emplace_back(text, level);
    }
    return lines;
}

const std::pair<std::wstring, std::wstring> kSuccess = {L"Printer installed", L"SUCCESS"};
const std::pair<std::wstring, std::wstring> kDriverError = {L"Fail installing Driver", L"ERROR"};
const std::pair<std::wstring, std::wstring> kPrinterError = {L"Fail adding printer", L"ERROR"};

// What the spooler stand-ins were asked, and how they answer.
struct FakeSpooler {
    DWORD driverDirectoryError = 0;
    std::wstring driverDirectory;
    DWORD monitorError = 0;
    bool hasAddPortEx = true;
    DWORD portError = 0;
    DWORD driverError = 0;
    // What EnumPrintersW lists, of no driver; empty: no data. AddPrinterW refuses these names
    // with ERROR_PRINTER_ALREADY_EXISTS, as Windows' spooler does.
    std::vector<std::wstring> listed;
    std::vector<DWORD> printerErrors; // one answer per AddPrinterW call of a free name; then success
    size_t printerErrorsUsed = 0;

    int monitorCalls = 0, portCalls = 0, driverCalls = 0, printerCalls = 0, closes = 0;
    std::wstring monitorName, monitorEnvironment, monitorDll;
    std::string portName, portMonitor;
    std::wstring driverName, driverEnvironment, driverPath, dataFile, configFile, helpFile, dataType;
    std::vector<std::wstring> dependentFiles;
    DWORD driverVersion = 0;
    std::vector<std::wstring> printerNames;
    std::wstring printerPort, printerDriver, printProcessor, printerDatatype;
    DWORD printerAttributes = 0;
};

FakeSpooler* fake;

BOOL WINAPI FakeDriverDirectory(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                LPDWORD needed)
{
    if (fake->driverDirectoryError) {
        *needed = 0;
        SetLastError(fake->driverDirectoryError);
        return FALSE;
    }
    if (fake->driverDirectory.empty())
        return RealSpooler().getPrinterDriverDirectory(server, environment, level, buffer, size, needed);
    *needed = static_cast<DWORD>((fake->driverDirectory.size() + 1) * sizeof(wchar_t));
    if (!buffer || size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, fake->driverDirectory.c_str(), *needed);
    return TRUE;
}

BOOL WINAPI FakeAddMonitor(LPWSTR, DWORD level, LPBYTE record)
{
    ++fake->monitorCalls;
    EXPECT_EQ(2u, level);
    MONITOR_INFO_2W* monitor = reinterpret_cast<MONITOR_INFO_2W*>(record);
    fake->monitorName = monitor->pName;
    fake->monitorEnvironment = monitor->pEnvironment;
    fake->monitorDll = monitor->pDLLName;
    SetLastError(fake->monitorError);
    return fake->monitorError == 0;
}

BOOL WINAPI FakeAddPortExA(LPSTR server, DWORD level, LPBYTE record, LPSTR monitor)
{
    ++fake->portCalls;
    EXPECT_EQ(nullptr, server);
    EXPECT_EQ(1u, level);
    fake->portName = reinterpret_cast<PORT_INFO_1A*>(record)->pName;
    fake->portMonitor = monitor;
    SetLastError(fake->portError);
    return fake->portError == 0;
}

AddPortExAFn FindFakeAddPortExA()
{
    if (!fake->hasAddPortEx)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return fake->hasAddPortEx ? FakeAddPortExA : nullptr;
}

BOOL WINAPI FakeAddPrinterDriver(LPWSTR, DWORD level, LPBYTE record, DWORD copyFlags)
{
    ++fake->driverCalls;
    EXPECT_EQ(3u, level);
    // A new release's files take effect even where they are no newer than the installed.
    EXPECT_EQ(static_cast<DWORD>(APD_COPY_ALL_FILES), copyFlags);
    DRIVER_INFO_3W* driver = reinterpret_cast<DRIVER_INFO_3W*>(record);
    fake->driverVersion = driver->cVersion;
    fake->driverName = driver->pName;
    fake->driverEnvironment = driver->pEnvironment;
    fake->driverPath = driver->pDriverPath;
    fake->dataFile = driver->pDataFile;
    fake->configFile = driver->pConfigFile;
    fake->helpFile = driver->pHelpFile;
    fake->dataType = driver->pDefaultDataType;
    EXPECT_EQ(nullptr, driver->pMonitorName);
    fake->dependentFiles.clear();
    for (const wchar_t* name = driver->pDependentFiles; *name; name += wcslen(name) + 1)
        fake->dependentFiles.emplace_back(name);
    SetLastError(fake->driverError);
    return fake->driverError == 0;
}

HANDLE WINAPI FakeAddPrinter(LPWSTR, DWORD level, LPBYTE record)
{
    EXPECT_EQ(2u, level);
    PRINTER_INFO_2W* printer = reinterpret_cast<PRINTER_INFO_2W*>(record);
    fake->printerNames.emplace_back(printer->pPrinterName);
    fake->printerPort = printer->pPortName;
    fake->printerDriver = printer->pDriverName;
    fake->printProcessor = printer->pPrintProcessor;
    fake->printerDatatype = printer->pDatatype;
    fake->printerAttributes = printer->Attributes;
    EXPECT_EQ(nullptr, printer->pShareName);
    ++fake->printerCalls;
    if (std::find(fake->listed.begin(), fake->listed.end(), printer->pPrinterName) != fake->listed.end()) {
        SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
        return nullptr;
    }
    const size_t call = fake->printerErrorsUsed++;
    if (call < fake->printerErrors.size() && fake->printerErrors[call]) {
        SetLastError(fake->printerErrors[call]);
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(0x1234);
}

BOOL WINAPI FakeClosePrinter(HANDLE printer)
{
    EXPECT_EQ(reinterpret_cast<HANDLE>(0x1234), printer);
    ++fake->closes;
    return TRUE;
}

BOOL WINAPI FakeEnumPrinters(DWORD flags, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                             LPDWORD returned)
{
    EXPECT_EQ(static_cast<DWORD>(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS), flags);
    EXPECT_EQ(2u, level);
    DWORD bytes = 0;
    for (const std::wstring& name : fake->listed)
        bytes += sizeof(PRINTER_INFO_2W) + (name.size() + 1) * sizeof(wchar_t);
    *needed = bytes;
    *returned = 0;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    PRINTER_INFO_2W* records = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
    wchar_t* strings = reinterpret_cast<wchar_t*>(records + fake->listed.size());
    for (size_t i = 0; i < fake->listed.size(); ++i) {
        records[i] = PRINTER_INFO_2W{};
        records[i].pPrinterName = strings;
        wcscpy(strings, fake->listed[i].c_str());
        strings += fake->listed[i].size() + 1;
    }
    *returned = static_cast<DWORD>(fake->listed.size());
    return TRUE;
}

class InstallSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        RestorePackageBesideProgram();
        fake = &fake_;
        Spooler().getPrinterDriverDirectory = FakeDriverDirectory;
        Spooler().addMonitor = FakeAddMonitor;
        Spooler().findAddPortExA = FindFakeAddPortExA;
        Spooler().addPrinterDriverEx = FakeAddPrinterDriver;
        Spooler().addPrinter = FakeAddPrinter;
        Spooler().closePrinter = FakeClosePrinter;
        Spooler().enumPrinters = FakeEnumPrinters;
    }
    void TearDown() override
    {
        Spooler() = RealSpooler();
        fake = nullptr;
    }

    // The dialog run's boxes. The same installation, from the same spooler state, is then
    // run unattended: its log must hold exactly those texts, in that order, with the
    // captions as levels, and the exit code must say what the dialog run's result says.
    Boxes Install(const wchar_t* printerName = L"Front desk", int expected = -1)
    {
        const FakeSpooler before = fake_;
        CInstallJob job(&kModelTable[0], printerName, L"LPT1:");
        MessageBoxWatch watch;
        int result = job.RunInstall();
        if (expected >= 0) {
            EXPECT_EQ(expected, result);
        }
        for (const SeenBox& box : watch.boxes)
            EXPECT_EQ(main_.window, box.owner);
        const Boxes boxes = TextsAndCaptions(watch.boxes);
        // The private copy of the package is gone, whatever the outcome.
        EXPECT_TRUE(StagingFoldersLeft().empty());

        const FakeSpooler after = fake_;
        fake_ = before;
        int code = -1;
        logged_ = InstallUnattended(printerName, &code);
        EXPECT_EQ(result ? kExitDone : kExitInstallFailed, code);
        Boxes reported;
        for (const auto& [text, level] : logged_) {
            if (level != L"INFO")
                reported.emplace_back(text, level);
        }
        Boxes expectedLines;
        for (auto [text, caption] : boxes) {
            // A report stays one line: the trailing line break of a code line is dropped.
            while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
                text.pop_back();
            expectedLines.emplace_back(text, caption);
        }
        EXPECT_EQ(expectedLines, reported);
        EXPECT_TRUE(StagingFoldersLeft().empty());
        fake_ = after;
        return boxes;
    }

    // The log's lines of an unattended install, as (text, level).
    Boxes InstallUnattended(const wchar_t* printerName, int* code)
    {
        const std::wstring path = TempFolder(L"logs") + L"\\install.log";
        DeleteFileW(path.c_str());
        UnattendedRequest request = {};
        StringCchCopyW(request.printerName, 260, printerName);
        StringCchCopyW(request.portName, 260, L"LPT1:");
        {
            CReportLog log;
            EXPECT_EQ(1, log.Open(path.c_str()));
            SetReportLog(&log);
            *code = UnattendedInstall(request);
            SetReportLog(nullptr);
        }
        return LogLines(ReadFileBytes(path));
    }

    static bool Logged(const Boxes& lines, const std::wstring& text)
    {
        return std::find(lines.begin(), lines.end(), std::make_pair(text, std::wstring(L"INFO"))) != lines.end();
    }

    std::wstring SourceFile(const std::wstring& name)
    {
        CInstallJob job(&kModelTable[0], L"p", L"LPT1:");
        job.computePaths();
        return std::wstring(job.sourceDir) + L"\\" + name;
    }

    StandInMainWindow main_;
    FakeSpooler fake_;
    Boxes logged_;
};

TEST_F(InstallSequence, HandsTheSpoolerTheModelsRecordsAndReportsSuccessOnce)
{
    EXPECT_EQ(Boxes{kSuccess}, Install(L"Front desk", 1));
    // The steps the dialog passes in silence are lines of the unattended report, in order.
    const std::vector<std::wstring> steps = {L"Driver directory: ", L"Copied: ", L"Port monitor added: USB Printer Monitor",
                                             L"Port added: USB PORT:", L"Printer driver registered: KR-620 (",
                                             L"Printer created: Front desk", L"Printer installed"};
    size_t next = 0;
    int copies = 0;
    for (const auto& line : logged_) {
        copies += line.first.rfind(L"Copied: ", 0) == 0;
        if (next < steps.size() && line.first.rfind(steps[next], 0) == 0)
            ++next;
    }
    EXPECT_EQ(steps.size(), next) << "missing from the log: " << testing::PrintToString(steps[std::min(next, steps.size() - 1)]);
    // The package's nine files and the monitor pair (twice on a 64-bit system).
    EXPECT_EQ(Is64BitPrefix() ? 13 : 11, copies);

    const std::wstring environment = Is64BitPrefix() ? L"Windows x64" : L"Windows NT x86";
    const std::wstring tag = IsChineseSystem() ? L"CHN" : L"ENG";
    EXPECT_EQ(kUsbMonitorName, fake_.monitorName);
    EXPECT_EQ(environment, fake_.monitorEnvironment);
    EXPECT_EQ(kMonitorDllName, fake_.monitorDll);
    EXPECT_EQ("USB PORT:", fake_.portName);
    EXPECT_EQ("USB Printer Monitor", fake_.portMonitor);

    EXPECT_EQ(3u, fake_.driverVersion);
    EXPECT_EQ(L"KR-620", fake_.driverName);
    EXPECT_EQ(environment, fake_.driverEnvironment);
    EXPECT_EQ(L"UNIDRV.DLL", fake_.driverPath);
    EXPECT_EQ(L"KR-620" + tag + L".GPD", fake_.dataFile);
    EXPECT_EQ(L"UNIDRVUI.DLL", fake_.configFile);
    EXPECT_EQ(L"UNIDRV.HLP", fake_.helpFile);
    EXPECT_EQ(L"Raw", fake_.dataType);
    std::vector<std::wstring> dependent = {L"UNIRES.DLL",           L"STDNAMES.GPD",
                                           L"UNIDRVUI.DLL",         L"KR-620RC" + tag + L".dll",
                                           L"KR-620UI" + tag + L".dll", L"KR-620" + tag + L".INI"};
    EXPECT_EQ(dependent, fake_.dependentFiles);

    EXPECT_EQ(std::vector<std::wstring>{L"Front desk"}, fake_.printerNames);
    EXPECT_EQ(L"LPT1:", fake_.printerPort);
    EXPECT_EQ(L"KR-620", fake_.printerDriver);
    EXPECT_EQ(L"WinPrint", fake_.printProcessor);
    EXPECT_EQ(L"Raw", fake_.printerDatatype);
    EXPECT_EQ(static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL), fake_.printerAttributes);
    EXPECT_EQ(1, fake_.closes);

    // The files the spooler is told of lie in the driver directory of that environment.
    wchar_t* directory = getPrinterDriverDir(Is64BitPrefix());
    ASSERT_NE(nullptr, directory);
    std::wstring driverDir = directory;
    free(directory);
    for (const std::wstring& name : dependent)
        EXPECT_TRUE(FileExists(driverDir + L"\\" + name));
    for (const wchar_t* name : {L"UNIDRV.DLL", L"UNIDRV.HLP"})
        EXPECT_TRUE(FileExists(driverDir + L"\\" + name));
    EXPECT_TRUE(FileExists(driverDir + L"\\" + fake_.dataFile));
    EXPECT_TRUE(MonitorDllsInNativeSystemDir());
    EXPECT_TRUE(MonitorDllsIn32BitSystemDir());
}

TEST_F(InstallSequence, WithoutADriverDirectoryReportsTheCodeAndTouchesNothing)
{
    const std::wstring generated = SourceFile(IsChineseSystem() ? L"KR-620CHN.GPD" : L"KR-620ENG.GPD");
    DeleteFileW(generated.c_str());
    fake_.driverDirectoryError = ERROR_INVALID_ENVIRONMENT;
    EXPECT_EQ((Boxes{{L"getPrinterDriverDir error_code=1805", L"ERROR"}}), Install(L"Front desk", 0));
    EXPECT_FALSE(FileExists(generated));
    EXPECT_EQ(0, fake_.monitorCalls + fake_.driverCalls + fake_.printerCalls);

    // A directory that would not fit is refused the same way.
    fake_.driverDirectoryError = 0;
    fake_.driverDirectory = L"C:\\" + std::wstring(300, L'd');
    EXPECT_EQ((Boxes{{L"getPrinterDriverDir error_code=206", L"ERROR"}}), Install(L"Front desk", 0));
    EXPECT_FALSE(FileExists(generated));
}

TEST_F(InstallSequence, AFailedFileStepReportsItsCodeAndStopsBeforeTheSpooler)
{
    const std::wstring tag = IsChineseSystem() ? L"CHN" : L"ENG";
    ASSERT_TRUE(DeleteFileW(SourceFile(L"UNIRES.dll").c_str()));
    EXPECT_EQ((Boxes{kDriverError, {L"copyFiles error_code=2", L"ERROR"}}), Install(L"Front desk", 0));

    ASSERT_TRUE(DeleteFileW(SourceFile(L"80Normal" + tag + L".INI").c_str()));
    EXPECT_EQ((Boxes{kDriverError, {L"modifyFiles error_code=2", L"ERROR"}}), Install(L"Front desk", 0));
    EXPECT_EQ(0, fake_.monitorCalls + fake_.portCalls + fake_.driverCalls + fake_.printerCalls);
}

TEST_F(InstallSequence, ADriverDirectoryThatRefusesTheFilesStopsAtTheCopy)
{
    // Wine run as root replaces read-only files; folders standing where two of the files go
    // are refused with the code a directory that may not be written gives.
    const std::wstring directory = TempFolder(L"locked-drivers");
    for (const wchar_t* name : {L"UNIRES.dll", L"UNIDRV.dll"})
        CreateDirectoryW((directory + L"\\" + name).c_str(), nullptr);
    fake_.driverDirectory = directory;
    EXPECT_EQ((Boxes{kDriverError, {L"copyFiles error_code=5", L"ERROR"}}), Install(L"Front desk", 0));
    EXPECT_EQ(0, fake_.monitorCalls + fake_.driverCalls + fake_.printerCalls);
    // The files it would take were copied all the same.
    EXPECT_TRUE(FileExists(directory + L"\\unidrv.hlp"));
}

TEST_F(InstallSequence, MonitorAndPortFailuresAreReportedAndTheInstallGoesOn)
{
    fake_.monitorError = ERROR_ACCESS_DENIED;
    EXPECT_EQ((Boxes{{L"AddMonitor Error = 5\r\n", L"ERROR"}, kSuccess}), Install(L"Front desk", 1));
    EXPECT_EQ(0, fake_.portCalls);
    EXPECT_EQ(1, fake_.driverCalls);

    // Installed before: no box, and the port is added.
    fake_.monitorError = ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
    EXPECT_EQ(Boxes{kSuccess}, Install(L"Front desk", 1));
    EXPECT_EQ(1, fake_.portCalls);

    fake_.portError = ERROR_ALREADY_EXISTS;
    EXPECT_EQ((Boxes{{L"AddPortEx Error = 183\r\n", L"ERROR"}, kSuccess}), Install(L"Front desk", 1));

    // A spooler library without AddPortExA: the port step is passed over in silence.
    fake_.hasAddPortEx = false;
    EXPECT_EQ(Boxes{kSuccess}, Install(L"Front desk", 1));
    EXPECT_EQ(2, fake_.portCalls);
}

TEST_F(InstallSequence, ARefusedDriverShowsTwoBoxesAndNoPrinterIsTried)
{
    fake_.driverError = ERROR_UNKNOWN_PRINTER_DRIVER;
    EXPECT_EQ((Boxes{kDriverError, {L"error_code=1797", L"ERROR"}}), Install(L"Front desk", 0));
    EXPECT_EQ(0, fake_.printerCalls);

    // On Windows a driver file missing from the driver directory fails with its code too.
    fake_.driverError = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ((Boxes{kDriverError, {L"error_code=2", L"ERROR"}}), Install(L"Front desk", 0));
}

TEST_F(InstallSequence, ARefusedPrinterIsReportedWithoutACode)
{
    // As Windows refuses a port that does not exist.
    fake_.printerErrors = {ERROR_UNKNOWN_PORT};
    EXPECT_EQ(Boxes{kPrinterError}, Install(L"Front desk", 0));
    EXPECT_EQ(1, fake_.printerCalls);
}

TEST_F(InstallSequence, ATakenNameIsRetriedOnceUnderTheFirstFreeNumber)
{
    fake_.listed = {L"Front desk", L"Front desk(1)", L"front desk(2)", L"Office"};
    EXPECT_EQ(Boxes{kSuccess}, Install(L"Front desk", 1));
    EXPECT_EQ((std::vector<std::wstring>{L"Front desk", L"Front desk(2)"}), fake_.printerNames);
    EXPECT_EQ(L"LPT1:", fake_.printerPort);
    EXPECT_EQ(1, fake_.closes);
    // The unattended run names the printer it made, which the success box does not.
    EXPECT_TRUE(Logged(logged_, L"Printer created: Front desk(2)"));
    EXPECT_FALSE(Logged(logged_, L"Printer created: Front desk"));

    // The numbered name refused too: no third try.
    fake_.printerNames.clear();
    fake_.printerCalls = 0;
    fake_.printerErrorsUsed = 0;
    fake_.printerErrors = {ERROR_PRINTER_ALREADY_EXISTS};
    EXPECT_EQ(Boxes{kPrinterError}, Install(L"Front desk", 0));
    EXPECT_EQ(2u, fake_.printerNames.size());

    // No list to choose from.
    fake_.printerNames.clear();
    fake_.printerCalls = 0;
    fake_.printerErrorsUsed = 0;
    fake_.listed.clear();
    EXPECT_EQ(Boxes{kPrinterError}, Install(L"Front desk", 0));
    EXPECT_EQ(1u, fake_.printerNames.size());
}

// With Wine's own spooler, in the 32-bit prefix where it acts as Windows' would.
class InstallOnWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        RestorePackageBesideProgram();
        DeleteAllPrinters();
        // The catalogue the main dialog binds, in the user's language.
        BindMessageCatalogue();
    }

    static std::wstring Text(const char* key)
    {
        wchar_t text[520] = {};
        return GetLocalizedText(key, text, 520);
    }

    Boxes Install(const wchar_t* printerName, const wchar_t* port, int* result)
    {
        CInstallJob job(&kModelTable[0], printerName, port);
        MessageBoxWatch watch;
        *result = job.RunInstall();
        for (const SeenBox& box : watch.boxes)
            EXPECT_EQ(main_.window, box.owner);
        return TextsAndCaptions(watch.boxes);
    }

    StandInMainWindow main_;
};

std::vector<std::wstring> PortNames()
{
    std::vector<std::wstring> names;
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 16);
    if (EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) {
        const PORT_INFO_1W* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            names.push_back(ports[i].pName);
    }
    return names;
}

TEST_F(InstallOnWine, InstallsTheMonitorThePortTheDriverAndThePrinter)
{
    int result = 0;
    const std::wstring success = Text("PO_GSTR_INSTALL_SUCCESS");
    if (IsChineseSystem()) {
        EXPECT_EQ(L"\x6253\x5370\x673A\x5B89\x88C5\x6210\x529F", success);
    }
    EXPECT_EQ((Boxes{{success, L"SUCCESS"}}), Install(L"Front desk", L"USB PORT:", &result));
    EXPECT_EQ(1, result);

    EXPECT_TRUE(MonitorRegistered(kUsbMonitorName));
    std::vector<std::wstring> ports = PortNames();
    EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), std::wstring(kUsbPortName)));

    const std::wstring tag = IsChineseSystem() ? L"CHN" : L"ENG";
    DWORD needed = 0, count = 0;
    wchar_t environment[] = L"Windows NT x86";
    EnumPrinterDriversW(nullptr, environment, 3, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 16);
    ASSERT_TRUE(EnumPrinterDriversW(nullptr, environment, 3, buffer.data(), needed, &needed, &count));
    const DRIVER_INFO_3W* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    const DRIVER_INFO_3W* driver = nullptr;
    for (DWORD i = 0; i < count; ++i) {
        if (wcscmp(drivers[i].pName, L"KR-620") == 0)
            driver = &drivers[i];
    }
    ASSERT_NE(nullptr, driver);
    auto fileName = [](const wchar_t* path) { return std::wstring(wcsrchr(path, L'\\') + 1); };
    EXPECT_EQ(0, _wcsicmp(L"UNIDRV.DLL", fileName(driver->pDriverPath).c_str()));
    EXPECT_EQ(0, _wcsicmp((L"KR-620" + tag + L".GPD").c_str(), fileName(driver->pDataFile).c_str()));
    EXPECT_EQ(0, _wcsicmp(L"UNIDRVUI.DLL", fileName(driver->pConfigFile).c_str()));
    EXPECT_EQ(0, _wcsicmp(L"UNIDRV.HLP", fileName(driver->pHelpFile).c_str()));
    std::vector<std::wstring> dependent;
    for (const wchar_t* name = driver->pDependentFiles; name && *name; name += wcslen(name) + 1)
        dependent.push_back(fileName(name));
    std::vector<std::wstring> expected = {L"UNIRES.DLL",           L"STDNAMES.GPD",
                                          L"UNIDRVUI.DLL",         L"KR-620RC" + tag + L".dll",
                                          L"KR-620UI" + tag + L".dll", L"KR-620" + tag + L".INI"};
    ASSERT_EQ(expected.size(), dependent.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(0, _wcsicmp(expected[i].c_str(), dependent[i].c_str())) << i;

    HANDLE printer = nullptr;
    wchar_t name[] = L"Front desk";
    ASSERT_TRUE(OpenPrinterW(name, &printer, nullptr));
    needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed + 16);
    ASSERT_TRUE(GetPrinterW(printer, 2, info.data(), needed, &needed));
    ClosePrinter(printer);
    const PRINTER_INFO_2W* created = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    EXPECT_STREQ(L"USB PORT:", created->pPortName);
    EXPECT_STREQ(L"KR-620", created->pDriverName);
    EXPECT_STREQ(L"WinPrint", created->pPrintProcessor);
    EXPECT_EQ(0, _wcsicmp(L"Raw", created->pDatatype));

    wchar_t* directory = getPrinterDriverDir(0);
    ASSERT_NE(nullptr, directory);
    const std::wstring driverDir = directory;
    free(directory);
    for (const wchar_t* file : {L"UNIRES.dll", L"unidrv.hlp", L"UNIDRVUI.dll", L"UNIDRV.dll", L"STDNAMES.GPD"})
        EXPECT_TRUE(FileExists(driverDir + L"\\" + file));
    for (const wchar_t* file : {L".GPD", L".INI"})
        EXPECT_TRUE(FileExists(driverDir + L"\\KR-620" + tag + file));
    for (const wchar_t* file : {L"RC", L"UI"})
        EXPECT_TRUE(FileExists(driverDir + L"\\KR-620" + file + tag + L".dll"));

    // Again: the monitor counts as installed, the port exists (its own box), files replaced.
    Boxes again = Install(L"Front desk", L"USB PORT:", &result);
    EXPECT_EQ(1, result);
    ASSERT_EQ(2u, again.size());
    EXPECT_EQ(0u, again[0].first.rfind(L"AddPortEx Error = ", 0));
    EXPECT_NE(L"AddPortEx Error = 0\r\n", again[0].first);
    EXPECT_EQ(L"ERROR", again[0].second);
    EXPECT_EQ((std::pair<std::wstring, std::wstring>{success, L"SUCCESS"}), again[1]);
}

// Another process at the private copy between its check and its use, through the seam
// there: it may neither change a checked file nor rename the folder, and a file it keeps
// open leaves the folder to be deleted at the next start.
struct CopyTamperer {
    static void Tamper(const wchar_t* folder)
    {
        const std::wstring root = folder;
        for (const std::wstring& file : {root + L"\\SETUP\\" + kMonitorDllName, root + L"\\" + Staged(L"UNIDRV.dll")}) {
            HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            refusals.push_back(writer == INVALID_HANDLE_VALUE ? GetLastError() : 0);
            if (writer != INVALID_HANDLE_VALUE) {
                DWORD written = 0;
                WriteFile(writer, "28 bytes of somebody else's", 28, &written, nullptr);
                SetEndOfFile(writer);
                CloseHandle(writer);
            }
        }
        refusals.push_back(MoveFileW(folder, (root + L"-moved").c_str()) ? 0 : GetLastError());
        held = CreateFileW((root + L"\\SETUP\\" + kMonitorUiDllName).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        staged = root;
    }
    static std::wstring Staged(const wchar_t* name)
    {
        return std::wstring(L"SETUP\\80Normal\\") + (IsChineseSystem() ? L"CHN\\" : L"ENG\\") + name;
    }
    static std::vector<DWORD> refusals;
    static HANDLE held;
    static std::wstring staged;
};
std::vector<DWORD> CopyTamperer::refusals;
HANDLE CopyTamperer::held = INVALID_HANDLE_VALUE;
std::wstring CopyTamperer::staged;

TEST_F(InstallOnWine, WhatAnotherProcessDoesToThePrivateCopyNeverReachesTheSystem)
{
    // Not held by Wine's spooler in this process, so that the copy writes the file anew.
    DeleteMonitorW(nullptr, nullptr, const_cast<wchar_t*>(kUsbMonitorName));
    const std::wstring systemDll = L"C:\\windows\\system32\\" + std::wstring(kMonitorDllName);
    DeleteFileW(systemDll.c_str());
    const std::wstring shipped = HostPathFromEnv("DI_DIST");
    const std::string monitor = ReadFileBytes(shipped + L"\\SETUP\\" + kMonitorDllName);
    const std::string unidrv = ReadFileBytes(shipped + L"\\" + CopyTamperer::Staged(L"UNIDRV.dll"));
    ASSERT_FALSE(monitor.empty());
    ForgetPendingRenames();
    const std::wstring logPath = TempFolder(L"tampered") + L"\\install.log";
    System().packageStaged = CopyTamperer::Tamper;
    {
        CReportLog log;
        ASSERT_EQ(1, log.Open(logPath.c_str()));
        SetReportLog(&log);
        CInstallJob job(&kModelTable[0], L"Front desk", L"USB PORT:");
        EXPECT_EQ(1, job.RunInstall());
        SetReportLog(nullptr);
    }
    System() = RealSystemApi();
    EXPECT_EQ((std::vector<DWORD>{ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}),
              CopyTamperer::refusals);
    EXPECT_EQ(monitor, ReadFileBytes(systemDll));
    wchar_t* directory = getPrinterDriverDir(0);
    ASSERT_NE(nullptr, directory);
    EXPECT_EQ(unidrv, ReadFileBytes(std::wstring(directory) + L"\\UNIDRV.dll"));
    free(directory);

    const std::vector<std::wstring> lines = OutputLines(ReadFileBytes(logPath));
    ASSERT_FALSE(lines.empty());
    const std::wstring left = L"WARNING: " + Text("PO_GSTR_LOG_FOLDER_LEFT") + L" " + CopyTamperer::staged + L" (32)";
    EXPECT_EQ(left, lines.back().substr(20));
    bool folderPending = false;
    for (const auto& pending : PendingRenames())
        folderPending = folderPending || (pending.first == L"\\??\\" + CopyTamperer::staged && pending.second.empty());
    EXPECT_TRUE(folderPending);
    CloseHandle(CopyTamperer::held);
    EXPECT_EQ(1, RemoveFolderTree(CopyTamperer::staged.c_str()));
    ForgetPendingRenames();
}

TEST_F(InstallOnWine, AnAccountThatIsNoAdministratorIsToldSoInOneBoxBeforeAnythingElse)
{
    System().isAdministrator = [](BOOL* member) -> BOOL {
        *member = FALSE;
        return TRUE;
    };
    MessageBoxWatch watch;
    EXPECT_EQ(0, RunPreflight());
    System() = RealSystemApi();
    EXPECT_EQ((Boxes{{Text("PO_GSTR_NOT_ADMINISTRATOR"), L"ERROR"}}), TextsAndCaptions(watch.boxes));
}

TEST_F(InstallOnWine, PrinterNamesAtTheEdgesGetASoundAnswer)
{
    int result = 0;
    // The longest name the dialog reads, a name beyond the ANSI code page, and blanks.
    const std::wstring names[] = {std::wstring(258, L'N'), L"\x6536\x94F6\x53F0 \x2713 \xD83D\xDDA8", L"   "};
    for (const std::wstring& name : names) {
        Boxes boxes = Install(name.c_str(), L"LPT1:", &result);
        // After the first install the port exists, and says so in a box of its own.
        ASSERT_FALSE(boxes.empty());
        const std::pair<std::wstring, std::wstring> success = {Text("PO_GSTR_INSTALL_SUCCESS"), L"SUCCESS"};
        const std::pair<std::wstring, std::wstring> failure = {Text("PO_GSTR_ADD_PRINTER_ERROR"), L"ERROR"};
        EXPECT_EQ(result ? success : failure, boxes.back());
        EXPECT_EQ(result == 1, PrinterExists(name.c_str())) << result;
    }
}

} // namespace
