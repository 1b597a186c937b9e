// Where the installer's start goes: each step of the entry and of the main dialog's
// initialisation timed in one process, with the bare template 129 (all that the start-up
// benchmark's minimal program shows) for comparison, and what each step's first run added to
// the working set. The medians of RUNS rounds; the first round, which loads the DLLs, is
// printed apart.
//   startup_steps [RUNS]   (run beside the catalogues, as the program is)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

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
    // What its first run added to the working set.
    double addedKb;
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

double WorkingSetKb()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return double(counters.WorkingSetSize) / 1024.0;
}

template <typename Work> void Time(Step& step, Work work)
{
    const double before = step.milliseconds.empty() ? WorkingSetKb() : 0;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    work();
    step.milliseconds.push_back(Since(start));
    if (step.milliseconds.size() == 1)
        step.addedKb = WorkingSetKb() - before;
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
    Step once[] = {{L"CoInitialize", {}, 0}, {L"InitCommonControlsEx", {}, 0}, {L"RICHED20.DLL", {}, 0},
                   {L"first BindMessageCatalogue", {}, 0}, {L"first EnumeratePorts", {}, 0}};
    wprintf(L"working set at entry: %.0f KB\n", WorkingSetKb());
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
    wprintf(L"once, in the order the program runs them (time, working set added):\n");
    for (const Step& step : once)
        wprintf(L"  %-28ls %7.2f ms %+7.0f KB\n", step.name, step.milliseconds[0], step.addedKb);

    // The bare template first: what the main dialog adds to it the first time shows apart.
    Step steps[] = {{L"bare template 129", {}, 0}, {L"main dialog, created", {}, 0}, {L"main dialog, shown", {}, 0},
                    {L"BindMessageCatalogue", {}, 0}, {L"EnumeratePorts", {}, 0}};
    for (int run = 0; run < runs; ++run) {
        HWND bare = nullptr;
        Time(steps[0], [&] { bare = CreateBare(); });
        DestroyWindow(bare);
        CMainDlg dialog;
        Time(steps[1], [&] { dialog.Create(nullptr); });
        Time(steps[2], [&] { UpdateWindow(dialog.m_hWnd); });
        DestroyWindow(dialog.m_hWnd);
        Time(steps[3], [] { BindMessageCatalogue(); });
        Time(steps[4], [] {
            DWORD count = 0;
            free(EnumeratePorts(&count));
        });
    }
    wprintf(L"each time, median of %d (working set added the first time):\n", runs);
    for (const Step& step : steps)
        wprintf(L"  %-28ls %7.2f ms %+7.0f KB\n", step.name, Median(step.milliseconds), step.addedKb);
    CoUninitialize();
    return 0;
}
