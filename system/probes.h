#pragma once
#include <windows.h>

// 64 for an AMD64 or IA64 processor architecture, 32 for every other.
int BitsForArchitecture(WORD processorArchitecture);

// 64 on a 64-bit system (also from this 32-bit process under WOW64), else 32.
int GetNativeBits();

// "Windows x64" when is64 is nonzero, else "Windows NT x86"; constant texts.
const wchar_t* GetPrintEnvironment(int is64);

// 1 when the system's default language is 2052 (Chinese, PRC), else 0.
int IsChineseSystem();

// 1 when this process's window station is one a user sees (WSF_VISIBLE); 0 for a service's
// or a session-0 agent's, and for one that cannot be asked.
int IsWindowStationVisible();

// Writes the running system's display name (at most 45 characters) into a caller's buffer
// of at least 46 units. 0 for a null buffer or a failed version query; otherwise 1, also
// when the version has no name and nothing is written.
int GetOSDisplayName(wchar_t* buffer);

// The real version numbers, which the manifest-less GetVersionExW hides; the build number
// is cut to its low 16 bits. 1 when they were obtained.
int GetNtVersionNumbers(DWORD* major, DWORD* minor, DWORD* build);

// The spooler's printer-driver directory for the environment of is64, in a new zero-filled
// buffer the caller releases with free(); null with the last error set on failure.
wchar_t* getPrinterDriverDir(int is64);

// Enables one privilege in the token. 1 when it is enabled; 0 when the name is unknown,
// the adjustment fails or the token does not hold the privilege (ERROR_NOT_ALL_ASSIGNED).
int EnableTokenPrivilege(HANDLE token, const wchar_t* privilegeName);
