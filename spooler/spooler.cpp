#include "spooler/spooler.h"

#include <stdlib.h>

#include "spooler/spooler_names.h"
#include "system/system_library.h"

// The cause every unavailable call reports: the loader's code when winspool.drv did not
// load, ERROR_PROC_NOT_FOUND when it lacks the export.
static DWORD unavailableError = ERROR_PROC_NOT_FOUND;

static BOOL WINAPI FailDriverDirectory(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD)
{
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailLevelCall(LPWSTR, DWORD, LPBYTE)
{
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailAddDriver(LPWSTR, DWORD, LPBYTE, DWORD)
{
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailGetPrinter(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD needed)
{
    if (needed)
        *needed = 0;
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailSetPrinter(HANDLE, DWORD, LPBYTE, DWORD)
{
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailNamesCall(LPWSTR, LPWSTR, LPWSTR)
{
    SetLastError(unavailableError);
    return FALSE;
}
static HANDLE WINAPI FailAddPrinter(LPWSTR, DWORD, LPBYTE)
{
    SetLastError(unavailableError);
    return nullptr;
}
static BOOL WINAPI FailOpenPrinter(LPWSTR, LPHANDLE printer, LPPRINTER_DEFAULTSW)
{
    if (printer)
        *printer = nullptr;
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailHandleCall(HANDLE)
{
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailNameCall(LPWSTR)
{
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailEnumPrinters(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    if (needed)
        *needed = 0;
    if (returned)
        *returned = 0;
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailEnumServerList(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    if (needed)
        *needed = 0;
    if (returned)
        *returned = 0;
    SetLastError(unavailableError);
    return FALSE;
}
static BOOL WINAPI FailPortCall(LPWSTR, HWND, LPWSTR)
{
    SetLastError(unavailableError);
    return FALSE;
}

static DWORD WINAPI FailStartDoc(HANDLE, DWORD, LPBYTE)
{
    SetLastError(unavailableError);
    return 0;
}

static BOOL WINAPI FailWritePrinter(HANDLE, LPVOID, DWORD, LPDWORD written)
{
    if (written)
        *written = 0;
    SetLastError(unavailableError);
    return FALSE;
}

static BOOL WINAPI FailEnumDrivers(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    return FailEnumServerList(nullptr, 0, nullptr, 0, needed, returned);
}

static BOOL WINAPI FailXcvData(HANDLE, PCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD needed, PDWORD)
{
    if (needed)
        *needed = 0;
    SetLastError(unavailableError);
    return FALSE;
}

static HMODULE winspool;

static AddPortExAFn FindAddPortExA()
{
    if (!winspool) {
        SetLastError(unavailableError);
        return nullptr;
    }
    FARPROC address = GetProcAddress(winspool, "AddPortExA");
    if (!address)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<AddPortExAFn>(reinterpret_cast<void*>(address));
}

template <typename Fn> static void Bind(const char* name, Fn& slot)
{
    FARPROC address = GetProcAddress(winspool, name);
    if (address)
        slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

static SpoolerApi LoadRealSpooler()
{
    SpoolerApi api = {
        FailDriverDirectory, FailLevelCall,  FailNamesCall,  FailAddDriver,      FailNamesCall,
        FailAddPrinter,      FailOpenPrinter, FailHandleCall,    FailGetPrinter,     FailSetPrinter,
        FailHandleCall,      FailNameCall,   FailEnumPrinters,   FailEnumServerList, FailEnumServerList,
        FailPortCall,         FailPortCall,    FailEnumDrivers,    FailXcvData,        FindAddPortExA,
        FailStartDoc,         FailWritePrinter, FailHandleCall,    FailHandleCall,
    };
    winspool = LoadSystemLibrary(L"winspool.drv");
    if (!winspool) {
        unavailableError = GetLastError();
        return api;
    }
    Bind("GetPrinterDriverDirectoryW", api.getPrinterDriverDirectory);
    Bind("AddMonitorW", api.addMonitor);
    Bind("DeleteMonitorW", api.deleteMonitor);
    Bind("AddPrinterDriverExW", api.addPrinterDriverEx);
    Bind("DeletePrinterDriverW", api.deletePrinterDriver);
    Bind("AddPrinterW", api.addPrinter);
    Bind("OpenPrinterW", api.openPrinter);
    Bind("DeletePrinter", api.deletePrinter);
    Bind("GetPrinterW", api.getPrinter);
    Bind("SetPrinterW", api.setPrinter);
    Bind("ClosePrinter", api.closePrinter);
    Bind("DeletePrinterConnectionW", api.deletePrinterConnection);
    Bind("EnumPrintersW", api.enumPrinters);
    Bind("EnumPortsW", api.enumPorts);
    Bind("EnumMonitorsW", api.enumMonitors);
    Bind("AddPortW", api.addPort);
    Bind("DeletePortW", api.deletePort);
    Bind("EnumPrinterDriversW", api.enumPrinterDrivers);
    Bind("XcvDataW", api.xcvData);
    Bind("StartDocPrinterW", api.startDocPrinter);
    Bind("WritePrinter", api.writePrinter);
    Bind("EndDocPrinter", api.endDocPrinter);
    Bind("AbortPrinter", api.abortPrinter);
    return api;
}

const SpoolerApi& RealSpooler()
{
    static const SpoolerApi real = LoadRealSpooler();
    return real;
}

SpoolerApi& Spooler()
{
    static SpoolerApi current = RealSpooler();
    return current;
}

int listPrinters(PRINTER_INFO_2W** list, DWORD* count)
{
    wchar_t emptyName[] = L"";
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    BYTE* buffer = FetchSpoolerRecords(
        [&](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumPrinters(flags, emptyName, 2, records, size, needed, returned);
        },
        count);
    *list = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
    return buffer ? 1 : 0;
}

PORT_INFO_2W* EnumeratePorts(DWORD* count)
{
    BYTE* buffer = FetchSpoolerRecords(
        [](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumPorts(nullptr, 2, records, size, needed, returned);
        },
        count);
    if (*count == 0) {
        free(buffer);
        return nullptr;
    }
    return reinterpret_cast<PORT_INFO_2W*>(buffer);
}

int ListsUsbPort(const PORT_INFO_2W* records, DWORD count)
{
    for (DWORD index = 0; records && index < count; ++index) {
        if (records[index].pPortName && lstrcmpiW(records[index].pPortName, kUsbPortName) == 0)
            return 1;
    }
    return 0;
}
