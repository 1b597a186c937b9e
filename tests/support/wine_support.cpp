#include "support/wine_support.h"

#include <stdlib.h>
#include <sddl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include "install/install_lock.h"
#include "install/install_record.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"

std::wstring HostPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::wstring HostPathFromEnv(const char* variable)
{
    const char* value = getenv(variable);
    return value ? HostPath(value) : std::wstring();
}

bool Is64BitPrefix()
{
    return GetNativeBits() == 64;
}

std::wstring NativeSystemDir()
{
    return HostPathFromEnv("WINEPREFIX") + L"\\drive_c\\windows\\system32";
}

std::wstring Wow64SystemDir()
{
    return HostPathFromEnv("WINEPREFIX") + L"\\drive_c\\windows\\syswow64";
}

std::vector<SystemDirectory> MonitorSystemDirectories()
{
    wchar_t named[MAX_PATH] = {};
    GetSystemDirectoryW(named, MAX_PATH);
    std::vector<SystemDirectory> folders = {{NativeSystemDir(), named}};
    if (Is64BitPrefix()) {
        GetSystemWow64DirectoryW(named, MAX_PATH);
        folders.insert(folders.begin(), {Wow64SystemDir(), named});
    }
    return folders;
}

HeldOlderMonitors::HeldOlderMonitors(const std::string& bytes, DWORD sharing)
{
    for (const SystemDirectory& folder : MonitorSystemDirectories()) {
        const std::wstring path = folder.host + L"\\" + kMonitorDllName;
        if (WriteFileBytes(path, bytes))
            files_.push_back(CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr));
        else
            files_.push_back(INVALID_HANDLE_VALUE);
    }
}

HeldOlderMonitors::~HeldOlderMonitors()
{
    Release();
}

bool HeldOlderMonitors::held() const
{
    for (HANDLE file : files_) {
        if (file == INVALID_HANDLE_VALUE)
            return false;
    }
    return !files_.empty();
}

void HeldOlderMonitors::Release()
{
    for (HANDLE file : files_) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    files_.clear();
}

bool RecordRelease(const wchar_t* release)
{
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProductKey, L"Version", REG_SZ, release,
                           static_cast<DWORD>((wcslen(release) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring PrinterComment(const wchar_t* name, const wchar_t* newComment, const wchar_t* newPort)
{
    std::wstring comment = L"<no printer>";
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(name), &printer, &defaults))
        return comment;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + 16);
    if (GetPrinterW(printer, 2, buffer.data(), needed, &needed)) {
        PRINTER_INFO_2W* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
        if (newComment) {
            info->pComment = const_cast<wchar_t*>(newComment);
            if (newPort)
                info->pPortName = const_cast<wchar_t*>(newPort);
            SetPrinterW(printer, 2, buffer.data(), 0);
        }
        comment = info->pComment ? info->pComment : L"";
    }
    ClosePrinter(printer);
    return comment;
}

bool SetKeyDacl(const std::wstring& key, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    HKEY handle = nullptr;
    const bool set =
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr) &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, WRITE_DAC, &handle) == ERROR_SUCCESS &&
        RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    if (handle)
        RegCloseKey(handle);
    LocalFree(descriptor);
    return set;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    // Also a file the installation holds open for writing, as it does its private copy.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool CopyInto(const std::wstring& source, const std::wstring& folder, const std::wstring& name)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    return CopyFileW(source.c_str(), (folder + L"\\" + name).c_str(), FALSE) != 0;
}

std::wstring TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

Started StartProgram(const std::wstring& exe, const std::wstring& arguments, const STARTUPINFOW* startup)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOW info = {};
    info.cb = sizeof(info);
    if (startup)
        info = *startup;
    PROCESS_INFORMATION process = {};
    Started started;
    if (CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &info, &process)) {
        CloseHandle(process.hThread);
        started.process = process.hProcess;
        started.processId = process.dwProcessId;
    }
    return started;
}

long WaitForExit(Started& started, DWORD milliseconds)
{
    if (!started.process)
        return -1;
    if (WaitForSingleObject(started.process, milliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(started.process, 99);
        WaitForSingleObject(started.process, 5000);
        CloseHandle(started.process);
        started.process = nullptr;
        return -2;
    }
    DWORD code = 0;
    GetExitCodeProcess(started.process, &code);
    CloseHandle(started.process);
    started.process = nullptr;
    return static_cast<long>(code);
}

long RunProgram(const std::wstring& exe, const std::wstring& arguments, DWORD milliseconds)
{
    Started started = StartProgram(exe, arguments);
    return WaitForExit(started, milliseconds);
}

// Moves what the pipe holds now into the output, without waiting for more.
static void TakeWaitingOutput(HANDLE readEnd, std::string& output)
{
    char chunk[512];
    DWORD available = 0, read = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ReadFile(readEnd, chunk, sizeof(chunk) < available ? sizeof(chunk) : available, &read, nullptr) && read > 0)
        output.append(chunk, read);
}

std::string RunAndCapture(const std::wstring& exe, const std::wstring& arguments, long* exitCode,
                          DWORD milliseconds)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOW info = {};
    info.cb = sizeof(info);
    info.dwFlags = STARTF_USESTDHANDLES;
    info.hStdOutput = writeEnd;
    info.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::string output;
    *exitCode = -1;
    if (CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &info, &process)) {
        CloseHandle(writeEnd);
        writeEnd = nullptr;
        CloseHandle(process.hThread);
        // The pipe is emptied while the child runs, so a child with much to say never blocks;
        // a child that has not ended in time is ended and the test fails.
        const DWORD started = GetTickCount();
        bool ended = false;
        while (!ended && GetTickCount() - started < milliseconds) {
            TakeWaitingOutput(readEnd, output);
            ended = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
        }
        TakeWaitingOutput(readEnd, output);
        if (ended) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            *exitCode = static_cast<long>(code);
        } else {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
            *exitCode = -2;
            ADD_FAILURE() << "ended after " << milliseconds / 1000 << " s: \"" << exe << "\" " << arguments;
        }
        CloseHandle(process.hProcess);
    }
    if (writeEnd)
        CloseHandle(writeEnd);
    CloseHandle(readEnd);
    return output;
}

struct WindowSearch {
    DWORD processId;
    bool dialogsOnly;
    HWND found;
};

// The first visible top-level window of the process (a dialog is visible once it has been
// initialised and shown), or of its dialogs only.
static BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM context)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (search->dialogsOnly && lstrcmpW(className, L"#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND VisibleWindowOf(DWORD processId, bool dialogsOnly)
{
    WindowSearch search = {processId, dialogsOnly, nullptr};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

long WaitForExitWatchingWindows(Started& started, DWORD milliseconds, bool* sawWindow)
{
    *sawWindow = false;
    for (DWORD waited = 0; started.process && waited < milliseconds; waited += 20) {
        *sawWindow = *sawWindow || VisibleWindowOf(started.processId, false);
        if (WaitForSingleObject(started.process, 20) == WAIT_OBJECT_0)
            break;
    }
    return WaitForExit(started, 0);
}

HWND WaitForDialogOf(DWORD processId, DWORD milliseconds)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        if (HWND dialog = VisibleWindowOf(processId, true))
            return dialog;
        Sleep(100);
    }
    return nullptr;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = {};
    // WM_GETTEXT crosses processes; GetWindowTextW would not ask the other program's control.
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

static BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM parameter)
{
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(parameter);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window) &&
        lstrcmpW(className, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::vector<SeenBox> AnswerBoxesOf(HWND owner, DWORD quietMilliseconds)
{
    std::vector<SeenBox> boxes;
    for (DWORD waited = 0; waited < quietMilliseconds; waited += 100) {
        OwnedSearch search = {owner, nullptr};
        EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) {
            Sleep(100);
            continue;
        }
        const bool okAndCancel = GetDlgItem(search.found, IDOK) && GetDlgItem(search.found, IDCANCEL);
        boxes.push_back({TextOf(search.found), TextOf(GetDlgItem(search.found, 0xFFFF)), owner, okAndCancel});
        PostMessageW(search.found, WM_COMMAND, IDOK, 0);
        while (IsWindow(search.found) && IsWindowVisible(search.found))
            Sleep(50);
        if (boxes.back().caption == L"SUCCESS")
            break;
        waited = 0;
    }
    return boxes;
}

// The sample package's monitor pair: SETUP holds the i686 builds, SETUP64 the x86_64 ones.
static std::wstring PackageMonitorDll(const wchar_t* setupFolder, const wchar_t* name)
{
    return HostPathFromEnv("DI_DIST") + L"\\" + setupFolder + L"\\" + name;
}

void PlaceMonitorDlls()
{
    const wchar_t* names[] = {kMonitorDllName, kMonitorUiDllName};
    for (const wchar_t* name : names) {
        if (Is64BitPrefix()) {
            CopyInto(PackageMonitorDll(L"SETUP64", name), NativeSystemDir(), name);
            CopyInto(PackageMonitorDll(L"SETUP", name), Wow64SystemDir(), name);
        } else {
            CopyInto(PackageMonitorDll(L"SETUP", name), NativeSystemDir(), name);
        }
    }
}

static bool BothPresent(const std::wstring& folder)
{
    return FileExists(folder + L"\\" + kMonitorDllName) && FileExists(folder + L"\\" + kMonitorUiDllName);
}

bool MonitorDllsInNativeSystemDir()
{
    return BothPresent(NativeSystemDir());
}

bool MonitorDllsIn32BitSystemDir()
{
    return BothPresent(Is64BitPrefix() ? Wow64SystemDir() : NativeSystemDir());
}

bool AddFixtureMonitorAndPort()
{
    return RunProgram(HostPathFromEnv("DI_HELPER"), L"--add-usb-monitor") == 0;
}

bool MonitorKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\USB Printer Monitor",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool MonitorRegistered(const wchar_t* name)
{
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 16);
    if (!EnumMonitorsW(nullptr, 1, buffer.data(), needed, &needed, &count))
        return false;
    const MONITOR_INFO_1W* monitors = reinterpret_cast<const MONITOR_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (lstrcmpW(monitors[i].pName, name) == 0)
            return true;
    }
    return false;
}

static bool RegisterSeedDriverFor(const wchar_t* name, const wchar_t* environment)
{
    wchar_t directory[MAX_PATH] = {};
    DWORD needed = 0;
    if (GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                                   sizeof(directory), &needed)) {
        const wchar_t* files[] = {L"UNIDRV.DLL", L"UNIDRVUI.DLL", L"UNIDRV.HLP", L"UNIRES.DLL", L"STDNAMES.GPD"};
        for (const wchar_t* file : files) {
            std::wstring path = std::wstring(directory) + L"\\" + file;
            HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            if (handle != INVALID_HANDLE_VALUE)
                CloseHandle(handle);
        }
    }
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(name);
    driver.pEnvironment = const_cast<wchar_t*>(environment);
    driver.pDriverPath = const_cast<wchar_t*>(L"UNIDRV.DLL");
    driver.pDataFile = const_cast<wchar_t*>(L"STDNAMES.GPD");
    driver.pConfigFile = const_cast<wchar_t*>(L"UNIDRVUI.DLL");
    driver.pHelpFile = const_cast<wchar_t*>(L"UNIDRV.HLP");
    driver.pDependentFiles = const_cast<wchar_t*>(L"UNIRES.DLL\0");
    driver.pDefaultDataType = const_cast<wchar_t*>(L"RAW");
    return AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver)) != 0;
}

bool RegisterSeedDriver(const wchar_t* name)
{
    bool registered = RegisterSeedDriverFor(name, L"Windows NT x86");
    if (Is64BitPrefix())
        registered = RegisterSeedDriverFor(name, L"Windows x64") && registered;
    return registered;
}

bool DriverRegistered(const wchar_t* name, const wchar_t* environment)
{
    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(environment), 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 16);
    if (!EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(environment), 1, buffer.data(), needed, &needed, &count))
        return false;
    const DRIVER_INFO_1W* drivers = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (lstrcmpiW(drivers[i].pName, name) == 0)
            return true;
    }
    return false;
}

bool AddSeedPrinter(const wchar_t* printerName, const wchar_t* driverName, const wchar_t* port)
{
    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<wchar_t*>(printerName);
    printer.pDriverName = const_cast<wchar_t*>(driverName);
    printer.pPortName = const_cast<wchar_t*>(port);
    printer.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
    printer.pDatatype = const_cast<wchar_t*>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE handle = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (!handle)
        return false;
    ClosePrinter(handle);
    return true;
}

std::vector<std::wstring> PrinterNames()
{
    std::vector<std::wstring> names;
    DWORD needed = 0, count = 0;
    wchar_t empty[] = L"";
    EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, empty, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 16);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, empty, 2, buffer.data(), needed, &needed,
                       &count))
        return names;
    const PRINTER_INFO_2W* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        names.push_back(printers[i].pPrinterName);
    return names;
}

bool PrinterExists(const wchar_t* name)
{
    for (const std::wstring& printer : PrinterNames()) {
        if (printer == name)
            return true;
    }
    return false;
}

void DeleteAllPrinters()
{
    for (const std::wstring& name : PrinterNames()) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        if (OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, &defaults)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
    }
}

// Calls visit(name, isFolder) for each entry of a folder but "." and "..".
template <typename Visit>
static void ForEachEntry(const std::wstring& folder, Visit visit)
{
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

static void DeleteTree(const std::wstring& folder)
{
    ForEachEntry(folder, [&](const std::wstring& name, bool isFolder) {
        const std::wstring path = folder + L"\\" + name;
        if (isFolder)
            DeleteTree(path);
        else
            DeleteFileW(path.c_str());
    });
    RemoveDirectoryW(folder.c_str());
}

static void CopyTree(const std::wstring& from, const std::wstring& to)
{
    CreateDirectoryW(to.c_str(), nullptr);
    ForEachEntry(from, [&](const std::wstring& name, bool isFolder) {
        if (isFolder)
            CopyTree(from + L"\\" + name, to + L"\\" + name);
        else
            CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
    });
}

void RestorePackageBesideProgram()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    *wcsrchr(program, L'\\') = 0;
    for (const wchar_t* folder : {L"SETUP", L"SETUP64"}) {
        const std::wstring beside = std::wstring(program) + L"\\" + folder;
        DeleteTree(beside);
        CopyTree(HostPathFromEnv("DI_DIST") + L"\\" + folder, beside);
    }
}

static void ReadTree(const std::wstring& folder, const std::wstring& relative,
                     std::map<std::wstring, std::string>* files)
{
    ForEachEntry(folder, [&](const std::wstring& name, bool isFolder) {
        if (isFolder)
            ReadTree(folder + L"\\" + name, relative + name + L"\\", files);
        else
            (*files)[relative + name] = ReadFileBytes(folder + L"\\" + name);
    });
}

std::map<std::wstring, std::string> FilesUnder(const std::wstring& folder)
{
    std::map<std::wstring, std::string> files;
    ReadTree(folder, L"", &files);
    return files;
}

std::vector<std::wstring> StagingFoldersLeft()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> left;
    ForEachEntry(temp, [&](const std::wstring& name, bool) {
        if (name.rfind(L"DriverInstall-", 0) == 0)
            left.push_back(name);
    });
    return left;
}

std::string GeneratedText(const std::string& templateText, bool gpd)
{
    std::string text = templateText.substr(0, templateText.find('\0'));
    if (!gpd) {
        // The INI is read in text mode: CR LF as LF, and nothing after a 0x1A byte.
        text = text.substr(0, text.find('\x1a'));
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
    }
    for (size_t at = text.find("80Normal"); at != std::string::npos; at = text.find("80Normal", at + 6)) {
        text.replace(at, 8, "KR-620");
        if (!gpd)
            break;
    }
    std::string written;
    for (char c : text)
        written += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return written;
}

std::wstring ShippedProgramBesideThis()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path = program;
    path = path.substr(0, path.find_last_of(L'\\')) + L"\\DriverInstall.exe";
    return CopyFileW(HostPathFromEnv("DI_EXE").c_str(), path.c_str(), FALSE) ? path : std::wstring();
}

std::wstring DriverDirectory()
{
    const wchar_t* environment = Is64BitPrefix() ? L"Windows x64" : L"Windows NT x86";
    wchar_t directory[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                               sizeof(directory), &needed);
    return directory;
}

std::vector<std::wstring> OutputLines(const std::string& utf8)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos)
            end = utf8.size();
        std::string line = utf8.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty()) {
            std::wstring wide(line.size() + 1, L'\0');
            const int units = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &wide[0],
                                                  static_cast<int>(wide.size()));
            wide.resize(static_cast<size_t>(units));
            lines.push_back(wide);
        }
        start = end + 1;
    }
    return lines;
}

static UNICODE_STRING Counted(std::wstring& text)
{
    UNICODE_STRING counted;
    counted.Buffer = &text[0];
    counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    counted.MaximumLength = counted.Length;
    return counted;
}

HANDLE LinkLockNameToNowhere()
{
    typedef LONG(NTAPI * CreateLink)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, UNICODE_STRING*);
    const CreateLink create = reinterpret_cast<CreateLink>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSymbolicLinkObject")));
    // "Global\" names an object in \BaseNamedObjects.
    std::wstring name = std::wstring(L"\\BaseNamedObjects\\") + (wcschr(kInstallLockName, L'\\') + 1);
    std::wstring target = L"\\BaseNamedObjects\\NoSuchFolder\\Lock";
    UNICODE_STRING countedName = Counted(name), countedTarget = Counted(target);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &countedName, 0, nullptr, nullptr);
    HANDLE link = nullptr;
    // SYMBOLIC_LINK_ALL_ACCESS
    if (!create || create(&link, 0xF0001, &attributes, &countedTarget) != 0)
        return nullptr;
    return link;
}

static const wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
static const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

std::vector<std::pair<std::wstring, std::wstring>> PendingRenames()
{
    std::vector<std::pair<std::wstring, std::wstring>> renames;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenames, RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                     &bytes) != ERROR_SUCCESS)
        return renames;
    std::vector<wchar_t> texts(bytes / sizeof(wchar_t) + 1, L'\0');
    RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenames, RRF_RT_REG_MULTI_SZ, nullptr, texts.data(),
                 &bytes);
    for (const wchar_t* from = texts.data(); *from;) {
        const wchar_t* to = from + wcslen(from) + 1;
        renames.push_back({from, to});
        from = to + wcslen(to) + 1;
    }
    return renames;
}

void ForgetPendingRenames()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kPendingRenames);
        RegCloseKey(key);
    }
}

RenamesRefused::RenamesRefused()
{
    DWORD bytes = sizeof(original_);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS ||
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_, &bytes) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR denied = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &denied,
                                                             nullptr)) {
        refused_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, denied) == ERROR_SUCCESS;
        LocalFree(denied);
    }
}

RenamesRefused::~RenamesRefused()
{
    if (refused_)
        RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_);
    if (key_)
        RegCloseKey(key_);
}
