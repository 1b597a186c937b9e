#pragma once
#include <windows.h>

// Restricts the DLL search of this process to the system directory, where the platform
// allows it, so that a DLL planted beside the program or in the current folder is never
// loaded in place of a system one. Call first thing at start-up.
void RestrictDllSearchToSystemDirectory();

// Loads a system DLL by its bare name from the system directory only (the full path is
// built from GetSystemDirectoryW, so no search takes place). Null with the last error set
// when it cannot be loaded or the path would not fit.
HMODULE LoadSystemLibrary(const wchar_t* name);
