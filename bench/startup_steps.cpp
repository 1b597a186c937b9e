// Where the installer's start goes: each step of the entry and of the main dialog's
// initialisation timed in one process, with the bare template 129 (all that the start-up
// benchmark's minimal program shows) for comparison. The medians of RUNS rounds; the first
// round, which loads the DLLs, is printed apart.
//   startup_steps [RUNS]   (run beside the catalogues, as the program is)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "app/app_module.h"
#include "i18n/catalogue.h"
#include "system/probes.h"
#include "system/system_library.h"
#include "ui/main_dialog.h"
#include "spooler/spooler.h"

namespace {

struct Step {
    const wchar_t* name;
    std::vector<double> milliseconds;
};

LARGE_INTEGER frequency;

double Since(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

INT_PTR CALLBACK BareDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

HWND CreateBare()
{
    return CreateDialogParamW(appModule.GetResourceInstance(), MAKEINTRESOURCEW(IDD_MAIN_DIALOG), nullptr,
                              BareDialogProc, 0);
}

template <typename Work> void Time(Step& step, Work work)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    work();
    step.milliseconds.push_back(Since(start));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int runs = argc > 1 ? _wtoi(argv[1]) : 9;
    QueryPerformanceFrequency(&frequency);
    // The entry's own steps, once: what they load stays loaded.
    Step once[] = {{L"CoInitialize", {}}, {L"InitCommonControlsEx", {}}, {L"RICHED20.DLL", {}},
                   {L"first BindMessageCatalogue", {}}, {L"first EnumeratePorts", {}}};
    RestrictDllSearchToSystemDirectory();
    Time(once[0], [] { CoInitialize(nullptr); });
    Time(once[1], [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
    });
    appModule.Init(GetModuleHandleW(nullptr));
    Time(once[2], [] { LoadSystemLibrary(L"RICHED20.DLL"); });
    Time(once[3], [] { BindMessageCatalogue(); });
    Time(once[4], [] {
        DWORD count = 0;
        free(EnumeratePorts(&count));
    });
    wprintf(L"once, in the order the program runs them:\n");
    for (const Step& step : once)
        wprintf(L"  %-28ls %7.2f ms\n", step.name, step.milliseconds[0]);

    Step steps[] = {{L"main dialog, created", {}}, {L"main dialog, shown", {}}, {L"bare template 129", {}},
                    {L"BindMessageCatalogue", {}}, {L"EnumeratePorts", {}}};
    for (int run = 0; run < runs; ++run) {
        CMainDlg dialog;
        Time(steps[0], [&] { dialog.Create(nullptr); });
        Time(steps[1], [&] { UpdateWindow(dialog.m_hWnd); });
        DestroyWindow(dialog.m_hWnd);
        HWND bare = nullptr;
        Time(steps[2], [&] { bare = CreateBare(); });
        DestroyWindow(bare);
        Time(steps[3], [] { BindMessageCatalogue(); });
        Time(steps[4], [] {
            DWORD count = 0;
            free(EnumeratePorts(&count));
        });
    }
    wprintf(L"each time, median of %d:\n", runs);
    for (const Step& step : steps)
        wprintf(L"  %-28ls %7.2f ms\n", step.name, Median(step.milliseconds));
    CoUninitialize();
    return 0;
}
