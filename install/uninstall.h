#pragma once
#include <windows.h>

// What an uninstall could only leave to the next start of the system, or not remove at all,
// of the files it deletes (the monitor's DLL pair).
struct UninstallOutcome {
    // A monitor DLL in use, deleted when the system restarts.
    int restartNeeded;
    // The first monitor DLL that could neither be deleted nor scheduled for deletion; empty
    // when none.
    wchar_t fileLeft[MAX_PATH];
};

// The whole of an uninstall run: deletes the model's printers, then the USB port monitor,
// then the installations' record of their release and last run. Each step is a line of the
// report where a report log is active ("INFO" for what was removed, "WARNING" with the cause
// for what was not; system/user_report.h) and nothing in any other run: no window, no box.
// The result is removeUsbMonitor's.
int UninstallPackage(UninstallOutcome* outcome = nullptr);

// Takes back the work the last install recorded as its own, and nothing else: when runId is
// empty, or names that install, its printer (while it still uses the model's driver), its
// driver registration, its network port, its port and its monitor, each reported like the
// uninstall's steps; then the record goes. 1 when nothing recorded is left (or nothing was
// recorded), else 0.
int UndoLastRun(const wchar_t* runId, UninstallOutcome* outcome);

// Deletes every local printer whose driver is the model's driver, and removes this user's
// connections to such printers of other machines; the shared printers themselves stay.
// Reports each printer removed or left.
void deleteModelPrinters();

// 1 when an enumerated printer is a connection to a printer of another machine, as the
// spooler marks one: network, with the name of the server that has it; 0 for a printer of
// this machine, whatever its port.
int isPrinterConnection(DWORD attributes, const wchar_t* serverName);

// 1 when the session manager's pending file operations (REG_MULTI_SZ pairs of a source and
// a destination, "\??\" before each path, "!" before a destination that may replace a file,
// an empty destination for a deletion; units long) end with a file renamed to path, so that
// it comes back at the next start; 0 when none does or a later one deletes or moves it.
int IsRenamePendingTo(const wchar_t* operations, size_t units, const wchar_t* path);

// 1 when the driver name equals the model's, the letters A to Z compared without regard
// to case; 0 otherwise and for a null name.
int isModelDriverName(const wchar_t* driverName);

// Removes the monitor from the spooler, its registry key and its DLL pair from the system
// directory (on a 64-bit system from the 32-bit and the native one), and reports each of
// them; a DLL in use is deleted when the system restarts, and so is one that a replacement
// waits to put back then. 1 when the spooler removed it and its key was there; 0 otherwise,
// with the cause in the last error. With no key the DLLs are deleted only for a caller that
// gives outcome (which learns what was left): the bare uninstall word leaves them.
int removeUsbMonitor(const wchar_t* monitorName, UninstallOutcome* outcome = nullptr);
