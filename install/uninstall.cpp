#include "install/uninstall.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <strsafe.h>

#include "install/model_names.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"
#include "system/wow64_redirection.h"

static const wchar_t kMonitorsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
// KEY_READ with KEY_SET_VALUE and KEY_CREATE_SUB_KEY.
static const REGSAM kMonitorKeyAccess = 0x2001F;

int isModelDriverName(const wchar_t* driverName)
{
    if (!driverName)
        return 0;
    const wchar_t* model = kModelDriverName;
    for (;; ++driverName, ++model) {
        wchar_t a = *driverName;
        wchar_t b = *model;
        // Only A to Z fold: no locale's case rules may make another driver's name match.
        if (a >= L'a' && a <= L'z')
            a = static_cast<wchar_t>(a - L'a' + L'A');
        if (b >= L'a' && b <= L'z')
            b = static_cast<wchar_t>(b - L'a' + L'A');
        if (a != b)
            return 0;
        if (a == 0)
            return 1;
    }
}

int isPrinterConnection(DWORD attributes)
{
    return (attributes & PRINTER_ATTRIBUTE_NETWORK) && !(attributes & PRINTER_ATTRIBUTE_LOCAL) ? 1 : 0;
}

void deleteModelPrinters()
{
    PRINTER_INFO_2W* printers = nullptr;
    DWORD count = 0;
    if (!listPrinters(&printers, &count))
        return;
    for (DWORD i = 0; i < count; ++i) {
        if (!isModelDriverName(printers[i].pDriverName) || !printers[i].pPrinterName)
            continue;
        // Deleting through a handle would ask the print server to delete its shared printer
        // for everyone; only this user's connection to it is ours to remove.
        if (isPrinterConnection(printers[i].Attributes)) {
            Spooler().deletePrinterConnection(printers[i].pPrinterName);
            continue;
        }
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        if (!Spooler().openPrinter(printers[i].pPrinterName, &printer, &defaults))
            continue;
        Spooler().deletePrinter(printer);
        Spooler().closePrinter(printer);
    }
    free(printers);
}

// The monitor DLL pair, addressed through the system directory's path; under WOW64 that
// path reaches the 32-bit directory unless redirection is off.
static void DeleteMonitorDlls(void*)
{
    wchar_t directory[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const wchar_t* names[] = {kMonitorDllName, kMonitorUiDllName};
    for (const wchar_t* name : names) {
        wchar_t path[MAX_PATH] = {};
        // A path that does not fit names no file of ours; nothing is deleted by a cut name.
        if (SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", directory, name)))
            DeleteFileW(path);
    }
}

int removeUsbMonitor(const wchar_t* monitorName)
{
    const int is64 = GetNativeBits() == 64;
    wchar_t* environment = const_cast<wchar_t*>(GetPrintEnvironment(is64));

    wchar_t monitorKey[MAX_PATH] = {};
    StringCchPrintfW(monitorKey, MAX_PATH, L"%s\\%s", kMonitorsKey, kUsbMonitorName);

    // Asked before the spooler is: its DeleteMonitor may remove the key itself, and the key
    // found here is what says the monitor was installed and its files are to go.
    HKEY key = nullptr;
    LSTATUS keyStatus = RegOpenKeyExW(HKEY_LOCAL_MACHINE, monitorKey, 0, kMonitorKeyAccess, &key);
    if (keyStatus == ERROR_SUCCESS)
        RegCloseKey(key);

    int result = 1;
    DWORD cause = ERROR_SUCCESS;
    if (!Spooler().deleteMonitor(nullptr, environment, const_cast<wchar_t*>(monitorName))) {
        result = 0;
        cause = GetLastError();
    }

    if (keyStatus != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(keyStatus));
        return 0;
    }

    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, monitorKey, 0, kMonitorKeyAccess, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Driver");
        RegCloseKey(key);
    }
    HKEY monitors = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorsKey, 0, kMonitorKeyAccess, &monitors) == ERROR_SUCCESS) {
        // With its sub-keys (a monitor keeps its ports there), which RegDeleteKeyW refuses.
        SHDeleteKeyW(monitors, kUsbMonitorName);
        RegCloseKey(monitors);
    }

    DeleteMonitorDlls(nullptr);
    if (is64)
        RunWithoutFsRedirection(DeleteMonitorDlls, nullptr);

    SetLastError(cause);
    return result;
}

int UninstallPackage()
{
    deleteModelPrinters();
    return removeUsbMonitor(kUsbMonitorName);
}
