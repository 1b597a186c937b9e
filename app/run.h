#pragma once

// Dispatches on the command line: the silent uninstall (exit code 0), or the main dialog
// and the message loop until it quits (its quit code; 0 when the dialog cannot be made).
int Run(const wchar_t* commandLine, int showCommand);
