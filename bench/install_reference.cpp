// The yardstick of the unattended install: only the work no installation of the sample
// package can skip, on an English 32-bit system, with the package in SETUP beside this
// program. The package files and the model's four data files (the template files copied
// under the generated names; the installer's differ only by its rewrite of the name) go into
// the spooler's driver directory, the monitor pair into the system directory; then the
// monitor, the port, the driver and the printer "KR-620" are added with the records the
// installer uses. Each package file is first read once and hashed (SHA-256 through the
// installer's provider), the check no installation from a share may skip. No catalogue, no
// log, no other checks: exit code 0 when the printer was created, else the failing step's
// number.
//   install_reference
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <strsafe.h>
#include <wchar.h>

#include "system/crypto.h"

typedef BOOL(WINAPI* AddPortExAFn)(LPSTR serverName, DWORD level, LPBYTE portInfo, LPSTR monitorName);

static const wchar_t kEnvironment[] = L"Windows NT x86";

struct FileCopy {
    const wchar_t* source;
    const wchar_t* target;
};

// Package folder names, then driver directory names.
static const FileCopy kDriverFiles[] = {
    {L"UNIRES.dll", L"UNIRES.dll"},
    {L"unidrv.hlp", L"unidrv.hlp"},
    {L"UNIDRVUI.dll", L"UNIDRVUI.dll"},
    {L"UNIDRV.dll", L"UNIDRV.dll"},
    {L"STDNAMES.GPD", L"STDNAMES.GPD"},
    {L"80NormalENG.GPD", L"KR-620ENG.GPD"},
    {L"80NormalENG.INI", L"KR-620ENG.INI"},
    {L"80NormalRCENG.dll", L"KR-620RCENG.dll"},
    {L"80NormalUIENG.dll", L"KR-620UIENG.dll"},
};
static const wchar_t* const kMonitorFiles[] = {L"ZelvokUSBMonUI.dll", L"ZelvokUSBMon.dll"};

static int Fail(int step)
{
    fwprintf(stderr, L"install_reference: step %d failed with %lu\n", step, GetLastError());
    return step;
}

// A path that does not fit is not copied: cut, it would name another file.
static int CopyInto(const wchar_t* fromFolder, const wchar_t* fromName, const wchar_t* toFolder,
                    const wchar_t* toName)
{
    wchar_t source[MAX_PATH];
    wchar_t target[MAX_PATH];
    return SUCCEEDED(StringCchPrintfW(source, MAX_PATH, L"%s\\%s", fromFolder, fromName)) &&
           SUCCEEDED(StringCchPrintfW(target, MAX_PATH, L"%s\\%s", toFolder, toName)) &&
           CopyFileW(source, target, FALSE);
}

// The file read once through a buffer and hashed with hash, whose provider serves every file
// as the installer's does; the digest is not compared with anything.
static int HashFile(CSha256& hash, const wchar_t* folder, const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    if (FAILED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", folder, name)))
        return 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    static BYTE buffer[64 * 1024];
    int hashed = hash.Begin();
    DWORD read = 0;
    while (hashed && (hashed = ReadFile(file, buffer, sizeof(buffer), &read, nullptr)) && read)
        hashed = hash.Add(buffer, read);
    BYTE digest[kSha256Bytes];
    hashed = hashed && hash.Finish(digest);
    CloseHandle(file);
    return hashed;
}

int wmain()
{
    wchar_t setupDir[MAX_PATH];
    wchar_t sourceDir[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, setupDir, MAX_PATH);
    wchar_t* slash = wcsrchr(setupDir, L'\\');
    if (length == 0 || length >= MAX_PATH || !slash)
        return Fail(1);
    *slash = 0;
    if (FAILED(StringCchCatW(setupDir, MAX_PATH, L"\\SETUP")) ||
        FAILED(StringCchPrintfW(sourceDir, MAX_PATH, L"%s\\80Normal\\ENG", setupDir)))
        return Fail(1);

    wchar_t driverDir[MAX_PATH];
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(driverDir), sizeof(driverDir),
                                    &needed))
        return Fail(2);
    CSha256 hash;
    for (const FileCopy& file : kDriverFiles) {
        if (!HashFile(hash, sourceDir, file.source))
            return Fail(3);
    }
    for (const wchar_t* file : kMonitorFiles) {
        if (!HashFile(hash, setupDir, file))
            return Fail(3);
    }
    for (const FileCopy& file : kDriverFiles) {
        if (!CopyInto(sourceDir, file.source, driverDir, file.target))
            return Fail(3);
    }
    wchar_t systemDir[MAX_PATH];
    length = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return Fail(4);
    for (const wchar_t* file : kMonitorFiles) {
        if (!CopyInto(setupDir, file, systemDir, file))
            return Fail(4);
    }

    MONITOR_INFO_2W monitor = {};
    monitor.pName = const_cast<wchar_t*>(L"USB Printer Monitor");
    monitor.pEnvironment = const_cast<wchar_t*>(kEnvironment);
    monitor.pDLLName = const_cast<wchar_t*>(L"ZelvokUSBMon.dll");
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&monitor)))
        return Fail(5);

    FARPROC address = GetProcAddress(GetModuleHandleW(L"winspool.drv"), "AddPortExA");
    AddPortExAFn addPortExA = reinterpret_cast<AddPortExAFn>(reinterpret_cast<void*>(address));
    PORT_INFO_1A port = {const_cast<char*>("USB PORT:")};
    char monitorName[] = "USB Printer Monitor";
    if (!addPortExA || !addPortExA(nullptr, 1, reinterpret_cast<BYTE*>(&port), monitorName))
        return Fail(6);

    // The dependent files as the installer lists them, each ended, the list closed by an
    // empty name.
    wchar_t dependentFiles[] = L"UNIRES.DLL\0STDNAMES.GPD\0UNIDRVUI.DLL\0KR-620RCENG.dll\0KR-620UIENG.dll\0"
                               L"KR-620ENG.INI\0";
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(L"KR-620");
    driver.pEnvironment = const_cast<wchar_t*>(kEnvironment);
    driver.pDriverPath = const_cast<wchar_t*>(L"UNIDRV.DLL");
    driver.pDataFile = const_cast<wchar_t*>(L"KR-620ENG.GPD");
    driver.pConfigFile = const_cast<wchar_t*>(L"UNIDRVUI.DLL");
    driver.pHelpFile = const_cast<wchar_t*>(L"UNIDRV.HLP");
    driver.pDependentFiles = dependentFiles;
    driver.pDefaultDataType = const_cast<wchar_t*>(L"Raw");
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver)))
        return Fail(7);

    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<wchar_t*>(L"KR-620");
    printer.pPortName = const_cast<wchar_t*>(L"USB PORT:");
    printer.pDriverName = const_cast<wchar_t*>(L"KR-620");
    printer.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
    printer.pDatatype = const_cast<wchar_t*>(L"Raw");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE handle = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (!handle)
        return Fail(8);
    ClosePrinter(handle);
    return 0;
}
