#pragma once
#include <windows.h>

// The whole of an uninstall run: deletes the model's printers, then the USB port monitor.
// Each step is a line of the report where a report log is active ("INFO" for what was
// removed, "WARNING" with the cause for what was not; system/user_report.h) and nothing in
// any other run: no window, no box. The result is removeUsbMonitor's.
int UninstallPackage();

// Deletes every local printer whose driver is the model's driver, and removes this user's
// connections to such printers of other machines; the shared printers themselves stay.
// Reports each printer removed or left.
void deleteModelPrinters();

// 1 when the spooler's attributes of an enumerated printer mark a connection to a printer
// of another machine (network, not local); 0 for a printer of this machine, whatever its
// port.
int isPrinterConnection(DWORD attributes);

// 1 when the driver name equals the model's, the letters A to Z compared without regard
// to case; 0 otherwise and for a null name.
int isModelDriverName(const wchar_t* driverName);

// Removes the monitor from the spooler, its registry key and its DLL pair from the system
// directory (on a 64-bit system from the 32-bit and the native one), and reports each of
// them. 1 when the spooler removed it and its key was there; 0 otherwise, with the cause in
// the last error. With no key nothing is deleted.
int removeUsbMonitor(const wchar_t* monitorName);
