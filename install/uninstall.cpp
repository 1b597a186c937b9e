#include "install/uninstall.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/install_record.h"
#include "install/install_status.h"
#include "install/model_names.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "spooler/tcp_port.h"
#include "system/probes.h"
#include "system/user_report.h"
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

int isPrinterConnection(DWORD attributes, const wchar_t* serverName)
{
    return (attributes & PRINTER_ATTRIBUTE_NETWORK) && serverName && serverName[0] ? 1 : 0;
}

// The path of a pending operation's source or destination, without its marks.
static const wchar_t* OperationPath(const wchar_t* text)
{
    if (text[0] == L'!')
        ++text;
    return wcsncmp(text, L"\\??\\", 4) == 0 ? text + 4 : text;
}

int IsRenamePendingTo(const wchar_t* operations, size_t units, const wchar_t* path)
{
    int pending = 0;
    size_t at = 0;
    // Only whole pairs inside the buffer count; a value without its last terminator ends there.
    for (;;) {
        const size_t sourceLength = at < units ? wcsnlen(operations + at, units - at) : 0;
        if (sourceLength == 0 || at + sourceLength >= units)
            break;
        const wchar_t* source = operations + at;
        at += sourceLength + 1;
        const size_t targetLength = wcsnlen(operations + at, units - at);
        if (at + targetLength >= units)
            break;
        const wchar_t* target = operations + at;
        at += targetLength + 1;
        if (targetLength && lstrcmpiW(OperationPath(target), path) == 0)
            pending = 1;
        else if (lstrcmpiW(OperationPath(source), path) == 0)
            pending = 0;
    }
    return pending;
}

// Whether a rename to path waits for the next start of the system. A list that cannot be
// read counts as none.
static int RenamePendingTo(const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0;
    DWORD bytes = 0;
    int pending = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ && bytes >= sizeof(wchar_t)) {
        wchar_t* operations = static_cast<wchar_t*>(malloc(bytes));
        if (operations &&
            RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(operations),
                             &bytes) == ERROR_SUCCESS)
            pending = IsRenamePendingTo(operations, bytes / sizeof(wchar_t), path);
        free(operations);
    }
    RegCloseKey(key);
    return pending;
}

// Something of ours that a step left in place: a "WARNING" line with its name and the cause.
static void ReportNotRemoved(const wchar_t* what, DWORD cause)
{
    wchar_t value[MAX_PATH + 32] = {};
    // A name too long for the line is cut there only; the spooler and the registry hold it.
    StringCchPrintfW(value, ARRAYSIZE(value), L"%s (%lu)", what, cause);
    ReportLine(L"WARNING", "PO_GSTR_LOG_NOT_REMOVED", value);
}

// A printer of this machine, deleted through a handle that may administer it. 1 when the
// spooler took the deletion; 0 with the cause in the last error.
static int DeleteLocalPrinter(wchar_t* name)
{
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!Spooler().openPrinter(name, &printer, &defaults))
        return 0;
    const int deleted = Spooler().deletePrinter(printer) ? 1 : 0;
    const DWORD cause = GetLastError();
    Spooler().closePrinter(printer);
    SetLastError(cause);
    return deleted;
}

void deleteModelPrinters()
{
    PRINTER_INFO_2W* printers = nullptr;
    DWORD count = 0;
    if (!listPrinters(&printers, &count))
        return;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t* name = printers[i].pPrinterName;
        if (!isModelDriverName(printers[i].pDriverName) || !name)
            continue;
        // Deleting through a handle would ask the print server to delete its shared printer
        // for everyone; only this user's connection to it is ours to remove.
        const int removed = isPrinterConnection(printers[i].Attributes, printers[i].pServerName)
                                ? Spooler().deletePrinterConnection(name) != 0
                                : DeleteLocalPrinter(name);
        if (removed)
            ReportProgress("PO_GSTR_LOG_PRINTER_REMOVED", name);
        else
            ReportNotRemoved(name, GetLastError());
    }
    free(printers);
}

struct MonitorDllPass {
    // Under WOW64 with redirection on: the system directory's path reaches the 32-bit one.
    int redirected;
    UninstallOutcome* outcome;
};

// The monitor DLL pair, addressed through the system directory's path; under WOW64 that
// path reaches the 32-bit directory unless redirection is off. A file that is not there is
// passed over in silence.
static void DeleteMonitorDlls(void* context)
{
    const MonitorDllPass* pass = static_cast<const MonitorDllPass*>(context);
    wchar_t directory[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    // The system carries a deletion or rename at its start out by the path as recorded, and
    // the report names the directory the deletion reached: the 32-bit one by its own name.
    wchar_t named[MAX_PATH] = {};
    length = pass->redirected ? GetSystemWow64DirectoryW(named, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH)
        StringCchCopyW(named, MAX_PATH, directory);
    const wchar_t* names[] = {kMonitorDllName, kMonitorUiDllName};
    for (const wchar_t* name : names) {
        wchar_t path[MAX_PATH] = {};
        wchar_t recorded[MAX_PATH] = {};
        // A path that does not fit names no file of ours; nothing is deleted by a cut name.
        if (FAILED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", directory, name)) ||
            FAILED(StringCchPrintfW(recorded, MAX_PATH, L"%s\\%s", named, name)))
            continue;
        const int deleted = DeleteFileW(path) != FALSE;
        DWORD cause = deleted ? ERROR_SUCCESS : GetLastError();
        if (deleted)
            ReportProgress("PO_GSTR_LOG_FILE_DELETED", recorded);
        const int gone = deleted || cause == ERROR_FILE_NOT_FOUND;
        // A replacement an install scheduled would put the DLL back at the restart with no
        // monitor to run it: a deletion recorded after it wins.
        if (gone && !RenamePendingTo(recorded))
            continue;
        // The spooler keeps a monitor it ran loaded until the system restarts: the file goes
        // then, and a replacement scheduled before for the same start is undone by it.
        if (MoveFileExW(recorded, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            wchar_t value[MAX_PATH + 32] = {};
            StringCchPrintfW(value, ARRAYSIZE(value), L"%s (%lu)", recorded, cause);
            ReportLine(L"WARNING", gone ? "PO_GSTR_LOG_REPLACEMENT_CANCELLED" : "PO_GSTR_LOG_DELETED_AT_RESTART",
                       gone ? recorded : value);
            if (pass->outcome)
                pass->outcome->restartNeeded = 1;
            continue;
        }
        if (gone)
            cause = GetLastError();
        ReportNotRemoved(recorded, cause);
        if (pass->outcome && !pass->outcome->fileLeft[0])
            StringCchCopyW(pass->outcome->fileLeft, MAX_PATH, recorded);
    }
}

// The monitor's registry key with its sub-keys, each outcome reported.
static void RemoveMonitorKey(const wchar_t* monitorKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, monitorKey, 0, kMonitorKeyAccess, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Driver");
        RegCloseKey(key);
    }
    HKEY monitors = nullptr;
    LSTATUS keyRemoved = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorsKey, 0, kMonitorKeyAccess, &monitors);
    if (keyRemoved == ERROR_SUCCESS) {
        // With its sub-keys (a monitor keeps its ports there), which RegDeleteKeyW refuses.
        keyRemoved = SHDeleteKeyW(monitors, kUsbMonitorName);
        RegCloseKey(monitors);
    }
    // Fixed names, far shorter than the buffer.
    wchar_t keyName[MAX_PATH] = {};
    StringCchPrintfW(keyName, MAX_PATH, L"HKEY_LOCAL_MACHINE\\%s", monitorKey);
    // The spooler's DeleteMonitor may have taken the key already.
    if (keyRemoved == ERROR_SUCCESS || keyRemoved == ERROR_FILE_NOT_FOUND)
        ReportProgress("PO_GSTR_LOG_KEY_REMOVED", keyName);
    else
        ReportNotRemoved(keyName, static_cast<DWORD>(keyRemoved));
}

int removeUsbMonitor(const wchar_t* monitorName, UninstallOutcome* outcome)
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
    if (Spooler().deleteMonitor(nullptr, environment, const_cast<wchar_t*>(monitorName))) {
        ReportProgress("PO_GSTR_LOG_MONITOR_REMOVED", monitorName);
    } else {
        result = 0;
        cause = GetLastError();
        // The spooler knows no monitor of the name: there was none to remove.
        if (cause == ERROR_UNKNOWN_PRINT_MONITOR)
            ReportProgress("PO_GSTR_LOG_MONITOR_ABSENT", monitorName);
        else
            ReportNotRemoved(monitorName, cause);
    }

    // The bare uninstall word has always stopped here. A run that reports its verdict also
    // deletes the DLLs an install left when its monitor could not be added.
    if (keyStatus != ERROR_SUCCESS && !outcome) {
        SetLastError(static_cast<DWORD>(keyStatus));
        return 0;
    }
    if (keyStatus == ERROR_SUCCESS)
        RemoveMonitorKey(monitorKey);

    MonitorDllPass pass = {is64, outcome};
    DeleteMonitorDlls(&pass);
    if (is64) {
        pass.redirected = 0;
        RunWithoutFsRedirection(DeleteMonitorDlls, &pass);
    }

    SetLastError(keyStatus != ERROR_SUCCESS ? static_cast<DWORD>(keyStatus) : cause);
    return keyStatus == ERROR_SUCCESS ? result : 0;
}

int UninstallPackage(UninstallOutcome* outcome)
{
    deleteModelPrinters();
    const int removed = removeUsbMonitor(kUsbMonitorName, outcome);
    const DWORD cause = GetLastError();
    RemoveProductRecord();
    SetLastError(cause);
    return removed;
}

// A line with a catalogue text and no value.
static void ReportText(const char* key)
{
    wchar_t text[520] = {};
    ReportInfo(GetLocalizedText(key, text, 520));
}

// The recorded printer, while a printer of that name still uses the model's driver: one
// of another driver under the name is not the printer the run made. 1 when none is left.
static int UndoPrinter(const wchar_t* name)
{
    PRINTER_INFO_2W* printers = nullptr;
    DWORD count = 0;
    if (!listPrinters(&printers, &count) && GetLastError() != ERROR_NO_DATA) {
        ReportNotRemoved(name, GetLastError());
        return 0;
    }
    int undone = 1;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t* listed = printers[i].pPrinterName;
        if (!listed || lstrcmpiW(listed, name) != 0 || !isModelDriverName(printers[i].pDriverName))
            continue;
        undone = DeleteLocalPrinter(listed);
        if (undone)
            ReportProgress("PO_GSTR_LOG_PRINTER_REMOVED", listed);
        else
            ReportNotRemoved(listed, GetLastError());
    }
    free(printers);
    return undone;
}

// The recorded driver registration for the system's environment; a driver the spooler
// no longer knows is gone already. With it goes the record of the release its files were.
static int UndoDriver(const wchar_t* name)
{
    wchar_t* environment = const_cast<wchar_t*>(GetPrintEnvironment(GetNativeBits() == 64));
    wchar_t shown[kRecordedNameUnits + 64] = {};
    // Only the report's name may be cut.
    StringCchPrintfW(shown, ARRAYSIZE(shown), L"%s (%s)", name, environment);
    if (Spooler().deletePrinterDriver(nullptr, environment, const_cast<wchar_t*>(name))) {
        ReportProgress("PO_GSTR_LOG_DRIVER_REMOVED", shown);
        RemoveProductRecord();
        return 1;
    }
    const DWORD cause = GetLastError();
    if (cause == ERROR_UNKNOWN_PRINTER_DRIVER || cause == ERROR_FILE_NOT_FOUND)
        return 1;
    ReportNotRemoved(shown, cause);
    return 0;
}

static int DeleteUsbPort(const wchar_t* name)
{
    return Spooler().deletePort(nullptr, nullptr, const_cast<wchar_t*>(name));
}

// The recorded port, through its monitor; one that is gone already is no failure.
static int UndoPort(const wchar_t* name, int (*deletePort)(const wchar_t*))
{
    if (deletePort(name)) {
        ReportProgress("PO_GSTR_LOG_PORT_REMOVED", name);
        return 1;
    }
    const DWORD cause = GetLastError();
    if (cause == ERROR_UNKNOWN_PORT)
        return 1;
    ReportNotRemoved(name, cause);
    return 0;
}

int UndoLastRun(const wchar_t* runId, UninstallOutcome* outcome)
{
    RunRecord record;
    if (!ReadRunRecord(&record)) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            ReportNotRemoved(kProductKey, GetLastError());
            return 0;
        }
        ReportText("PO_GSTR_LOG_NOTHING_TO_UNDO");
        return 1;
    }
    // Another run's record: its work is not this run's to take back.
    if (runId[0] && wcscmp(record.runId, runId) != 0) {
        ReportText("PO_GSTR_LOG_NOTHING_TO_UNDO");
        return 1;
    }
    int undone = 1;
    // The printer first: neither its driver nor its port goes while it uses them.
    if (record.names[kRecordedPrinter][0])
        undone = UndoPrinter(record.names[kRecordedPrinter]) && undone;
    if (record.names[kRecordedDriver][0])
        undone = UndoDriver(record.names[kRecordedDriver]) && undone;
    if (record.names[kRecordedNetworkPort][0])
        undone = UndoPort(record.names[kRecordedNetworkPort], DeleteTcpPort) && undone;
    // A monitor made by the run takes its ports with it.
    if (record.names[kRecordedPort][0] && !record.names[kRecordedMonitor][0])
        undone = UndoPort(record.names[kRecordedPort], DeleteUsbPort) && undone;
    if (record.names[kRecordedMonitor][0]) {
        removeUsbMonitor(kUsbMonitorName, outcome);
        // The spooler says whether it is gone: removeUsbMonitor's result also counts a key
        // or a registration that was already gone.
        int registered = 1;
        IsUsbMonitorRegistered(&registered);
        undone = !registered && undone;
    }
    // A record kept after a part could not be taken back lets a second undo try again.
    if (undone)
        ClearRunRecord();
    return undone;
}
