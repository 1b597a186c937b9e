#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/app_module.h"
#include "app/run.h"
#include "system/system_library.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    // Before anything is loaded: no DLL from the program's folder or the current one.
    RestrictDllSearchToSystemDirectory();

    CoInitialize(nullptr);
    DefWindowProcW(nullptr, WM_NULL, 0, 0);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    // Without the loop map no window could be routed; end before any is made.
    if (SUCCEEDED(appModule.Init(instance))) {
        LoadSystemLibrary(L"RICHED20.DLL");
        exitCode = Run(commandLine, showCommand);
    }
    appModule.Term();
    CoUninitialize();
    return exitCode;
}
