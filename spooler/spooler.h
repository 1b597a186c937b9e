#pragma once
#include <windows.h>
#include <winspool.h>

#include <stdlib.h>

// MinGW-w64's headers do not declare it; winspool.drv exports it.
typedef BOOL(WINAPI* AddPortExAFn)(LPSTR serverName, DWORD level, LPBYTE portInfo, LPSTR monitorName);

// The spooler operations the program uses, all on the local machine. The real table is
// resolved from winspool.drv in the system directory, never by a search that would reach
// the program's own folder. A test replaces a member to make one call fail with a chosen
// last-error code, and restores it from RealSpooler().
struct SpoolerApi {
    BOOL(WINAPI* getPrinterDriverDirectory)(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer,
                                            DWORD size, LPDWORD needed);
    BOOL(WINAPI* addMonitor)(LPWSTR server, DWORD level, LPBYTE monitor);
    BOOL(WINAPI* deleteMonitor)(LPWSTR server, LPWSTR environment, LPWSTR monitorName);
    // Every file copied into the driver's folder, as AddPrinterDriverExW does with
    // APD_COPY_ALL_FILES: the files of a new release take effect even where they are no newer.
    BOOL(WINAPI* addPrinterDriverEx)(LPWSTR server, DWORD level, LPBYTE driver, DWORD copyFlags);
    BOOL(WINAPI* deletePrinterDriver)(LPWSTR server, LPWSTR environment, LPWSTR driverName);
    HANDLE(WINAPI* addPrinter)(LPWSTR server, DWORD level, LPBYTE printer);
    BOOL(WINAPI* openPrinter)(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
    BOOL(WINAPI* deletePrinter)(HANDLE printer);
    BOOL(WINAPI* getPrinter)(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
    BOOL(WINAPI* setPrinter)(HANDLE printer, DWORD level, LPBYTE record, DWORD command);
    BOOL(WINAPI* closePrinter)(HANDLE printer);
    BOOL(WINAPI* deletePrinterConnection)(LPWSTR name);
    BOOL(WINAPI* enumPrinters)(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                               LPDWORD returned);
    BOOL(WINAPI* enumPorts)(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                            LPDWORD returned);
    BOOL(WINAPI* enumMonitors)(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                               LPDWORD returned);
    BOOL(WINAPI* addPort)(LPWSTR server, HWND owner, LPWSTR monitorName);
    BOOL(WINAPI* deletePort)(LPWSTR server, HWND owner, LPWSTR portName);
    BOOL(WINAPI* enumPrinterDrivers)(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                     LPDWORD needed, LPDWORD returned);
    BOOL(WINAPI* xcvData)(HANDLE xcv, PCWSTR command, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                          PDWORD needed, PDWORD status);
    // Null when winspool.drv cannot be loaded (ERROR_MOD_NOT_FOUND or the loader's code)
    // or lacks the export (ERROR_PROC_NOT_FOUND).
    AddPortExAFn (*findAddPortExA)();
    // A raw job: its id from startDocPrinter, 0 when refused.
    DWORD(WINAPI* startDocPrinter)(HANDLE printer, DWORD level, LPBYTE docInfo);
    BOOL(WINAPI* writePrinter)(HANDLE printer, LPVOID bytes, DWORD size, LPDWORD written);
    BOOL(WINAPI* endDocPrinter)(HANDLE printer);
    BOOL(WINAPI* abortPrinter)(HANDLE printer);
};

// The calls in force. When winspool.drv cannot be loaded every member fails with the
// loader's last-error code.
SpoolerApi& Spooler();
const SpoolerApi& RealSpooler();

// The records of one spooler enumeration: the size asked for first, then the records
// fetched into a new buffer the caller releases with free(). enumerate(buffer, size,
// needed, returned) makes the call. A list that grew between the two calls is asked for
// again. Null with a count of 0 for an empty list (ERROR_NO_DATA) and for a list the spooler
// did not give: the cause of its refusal (a stopped spooler's RPC_S_SERVER_UNAVAILABLE), or
// ERROR_OUTOFMEMORY. A caller that must not take silence for an empty list looks at the
// last error.
template <typename Enumerate> BYTE* FetchSpoolerRecords(Enumerate enumerate, DWORD* count)
{
    *count = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        DWORD returned = 0;
        SetLastError(ERROR_SUCCESS);
        const BOOL sized = enumerate(nullptr, 0, &needed, &returned);
        const DWORD cause = GetLastError();
        if (!sized && cause != ERROR_INSUFFICIENT_BUFFER) {
            SetLastError(cause ? cause : ERROR_GEN_FAILURE);
            return nullptr;
        }
        if (needed == 0) {
            SetLastError(ERROR_NO_DATA);
            return nullptr;
        }
        BYTE* buffer = static_cast<BYTE*>(calloc(needed, 1));
        if (!buffer) {
            SetLastError(ERROR_OUTOFMEMORY);
            return nullptr;
        }
        returned = 0;
        SetLastError(ERROR_SUCCESS);
        if (enumerate(buffer, needed, &needed, &returned)) {
            *count = returned;
            return buffer;
        }
        const DWORD fetchCause = GetLastError();
        free(buffer);
        if (fetchCause != ERROR_INSUFFICIENT_BUFFER) {
            SetLastError(fetchCause ? fetchCause : ERROR_GEN_FAILURE);
            return nullptr;
        }
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nullptr;
}

// Level-2 records of the local printers and connections, in a new buffer the caller
// releases with free(). 0 for no printer (ERROR_NO_DATA) and when the spooler gave no list
// (its cause); the count is then 0.
int listPrinters(PRINTER_INFO_2W** list, DWORD* count);

// The spooler's level-2 port records in a new buffer the caller releases with free(), or
// null when it reports none (count 0). Enumeration failures are not examined: the size and
// the count decide.
PORT_INFO_2W* EnumeratePorts(DWORD* count);

// 1 when a record is named "USB PORT:", ignoring case (the spooler's port names do), as a
// whole name; 0 for none or a null list.
int ListsUsbPort(const PORT_INFO_2W* records, DWORD count);
