#pragma once
#include <windows.h>

// The main dialog's window, set when it initialises and never cleared; it owns every
// message box and secondary dialog of the program.
extern HWND mainWindow;
