#pragma once
#include <windows.h>
#include <stddef.h>

// Configure Port: a COM port through the platform's communications settings dialog, an LPT
// port through the Configure LPT Port dialog (template 201), which edits the system-wide
// transmission retry timeout of the parallel ports.

// 1 when the name begins with "COM" (or "LPT"), ignoring case, and ends with ':'; else 0.
int IsComPort(const wchar_t* portName);
int IsLptPort(const wchar_t* portName);

// The port's device name: the name without its trailing ':' (the whole name when it has
// none). 0 with ERROR_FILENAME_EXCED_RANGE and an empty device when it does not fit in
// deviceUnits; a longer name is never cut, since the cut could name another device.
int ComDeviceName(const wchar_t* portName, wchar_t* device, size_t deviceUnits);

// The platform's settings dialog for the port, owned by mainWindow, then its settings
// stored as the port's default (unchanged when the user cancels). 1 on success; 0 after
// the "Can't configure port" report, with the cause in the last error.
int ConfigureComPort(const wchar_t* portName);

// The number the last LPT configuration read from the registry, shown by the dialog.
extern int lptTimeout;

// Reads the timeout and shows the Configure LPT Port dialog modally, owned by mainWindow.
// The port name plays no part: the value is shared by all parallel ports. 1 when the
// dialog was shown; 0 after the "Can't configure port" report, with the cause in the last
// error.
int ConfigureLptPort(const wchar_t* portName);

// The REG_SZ value under HKEY_LOCAL_MACHINE\keyPath into buffer, which holds at least 260
// units and is zero-filled by the caller; a value that is missing, of another type or
// longer than 259 characters leaves it empty. 1 when the key opened (with KEY_READ |
// KEY_WRITE, the access the dialog's OK needs as well), else 0 with the cause in the last
// error.
int ReadRegistryString(const wchar_t* keyPath, const wchar_t* valueName, wchar_t* buffer);

// Stores text as a REG_SZ value; 1 when written, else 0 with the cause in the last error.
int WriteRegistryString(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* text);

// What is left in buffer (units long) after a RegQueryValueExW that returned status with
// the type and byte count it reported: the text when it is a REG_SZ that fits with its
// terminator (one is added when the value lacks it and there is room), else the buffer is
// cleared. 1 when the text was kept.
int KeepStringValue(LONG status, DWORD type, DWORD bytes, wchar_t* buffer, size_t units);

// The text as a decimal number: leading blanks skipped, an optional sign, then digits up
// to the first other character. No digits give 0; beyond the 32-bit range, the limit.
int ParseDecimal(const wchar_t* text);

// The timeout field's range: the unsigned reading of the field, taken as signed, from 1 to
// 999999.
int IsAcceptedTimeout(UINT fieldValue);

// The dialog procedure of template 201.
INT_PTR CALLBACK ConfigureLptDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
