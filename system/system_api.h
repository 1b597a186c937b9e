#pragma once
#include <windows.h>

// The version, processor, language and window-station questions the probes put to the
// platform, the report log's writes to its file and the memory the command line is read
// into. Tests replace a member to give an answer Wine cannot (Windows 95, a server product,
// an IA64 processor, a system without GetNativeSystemInfo, a user language other than the
// system's, a full disk, a window station that cannot be asked, no memory, another process
// at the package's private copy, an account that is no administrator); everything else
// calls the platform directly.
struct SystemApi {
    BOOL(WINAPI* getVersionEx)(OSVERSIONINFOW* info);
    void(WINAPI* getSystemInfo)(SYSTEM_INFO* info);
    // Null when the running system has no GetNativeSystemInfo.
    void(WINAPI* (*findGetNativeSystemInfo)())(SYSTEM_INFO* info);
    int(WINAPI* getSystemMetrics)(int index);
    int (*getNtVersionNumbers)(DWORD* major, DWORD* minor, DWORD* build);
    LANGID(WINAPI* getSystemDefaultLangID)();
    BOOL(WINAPI* writeLogFile)(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
    // UOI_FLAGS of the process's window station; FALSE with the last error when it cannot
    // be asked.
    BOOL (*getWindowStationFlags)(USEROBJECTFLAGS* flags);
    // malloc; the memory is released with free().
    void* (*allocate)(size_t bytes);
    // Called once an installation's private copy of the package is checked, before anything
    // reads it; does nothing. A test changes or renames the copy there, as another process
    // could.
    void (*packageStaged)(const wchar_t* folder);
    // Whether the process token is an enabled member of the Administrators group; FALSE with
    // the last error when it cannot be asked. Wine runs every process as an administrator.
    BOOL (*isAdministrator)(BOOL* member);
};

// The calls in force; a test may overwrite members and restore them with RealSystemApi().
SystemApi& System();
const SystemApi& RealSystemApi();
