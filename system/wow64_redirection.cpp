#include "system/wow64_redirection.h"

#include <windows.h>

#include "system/system_library.h"

int RunWithoutFsRedirection(void (*work)(void* context), void* context)
{
    typedef BOOL(WINAPI * DisableFn)(PVOID*);
    typedef BOOL(WINAPI * RevertFn)(PVOID);
    HMODULE kernel = LoadSystemLibrary(L"Kernel32.dll");
    if (!kernel)
        return 0;
    DisableFn disable = reinterpret_cast<DisableFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    RevertFn revert = reinterpret_cast<RevertFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
    int ran = 0;
    PVOID previous = nullptr;
    // Without a way back, redirection is never switched off.
    if (disable && revert && disable(&previous)) {
        work(context);
        revert(previous);
        ran = 1;
    }
    FreeLibrary(kernel);
    return ran;
}
