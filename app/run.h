#pragma once
#include <windows.h>

// Dispatches on the command line: a run without a window (app/unattended.h), the silent
// uninstall (exit code 0), or the main dialog and the message loop until it quits (its
// quit code; 0 when the dialog cannot be made).
int Run(const wchar_t* commandLine, int showCommand);

// The silent uninstall: waits up to lockWait milliseconds for the install lock, goes on
// without it after that (a "WARNING" line where a report log is active) and returns 0.
int RunUninstall(DWORD lockWait);
