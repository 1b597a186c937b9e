#include "system/system_library.h"

#include <strsafe.h>

void RestrictDllSearchToSystemDirectory()
{
    // Looked up at run time: Windows before 8 (without its 2533623 update) lacks it, and
    // there every system DLL is still loaded by full path.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
        return;
    SetDefaultDllDirectoriesFn setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    // An empty DLL directory takes the current folder out of the search of older systems.
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCWSTR);
    SetDllDirectoryFn setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    if (setDllDirectory)
        setDllDirectory(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0)
        return nullptr;
    if (length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    // A system DLL whose full path does not fit is refused rather than loaded by search.
    if (FAILED(StringCchCatW(path, MAX_PATH, L"\\")) || FAILED(StringCchCatW(path, MAX_PATH, name))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return LoadLibraryW(path);
}
