// Times the installer's start against that of a minimal program showing the same template, in
// one prefix and one run: from the start of the process (just before CreateProcessW) to its
// dialog being visible with its final title, and the process's peak working set read at that
// moment. Runs the two in turn, one unmeasured run each first, then RUNS measured ones, and
// prints the medians and the ratios.
//   startup_bench INSTALLER MINIMAL [RUNS]
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

struct Subject {
    const wchar_t* name;
    std::wstring exe;
    // The window counts once its title ends with this: the installer sets its title with
    // the rest of its texts, after the template's "DriverInstall", which the minimal
    // program keeps.
    const wchar_t* titleEnd;
    std::vector<double> milliseconds;
    std::vector<double> peakKb;
};

struct WindowSearch {
    DWORD processId;
    const wchar_t* titleEnd;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t title[520] = {};
    GetWindowTextW(window, title, 520);
    size_t length = wcslen(title), endLength = wcslen(search->titleEnd);
    if (length < endLength || wcscmp(title + length - endLength, search->titleEnd) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

static double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

static std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// One start: 1 with the time and the peak working set, 0 when the dialog did not appear.
static int MeasureOnce(Subject& subject, bool keep)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + subject.exe + L"\"";
    LARGE_INTEGER start, visible;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(subject.exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        FolderOf(subject.exe).c_str(), &startup, &process)) {
        fwprintf(stderr, L"cannot start %ls: %lu\n", subject.exe.c_str(), GetLastError());
        return 0;
    }
    WindowSearch search = {process.dwProcessId, subject.titleEnd, nullptr};
    for (int polls = 0; !search.found && polls < 60000; ++polls) {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            Sleep(1);
    }
    QueryPerformanceCounter(&visible);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    int measured = search.found && GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters));
    if (search.found)
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    else
        fwprintf(stderr, L"%ls: no dialog appeared\n", subject.name);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (measured && keep) {
        subject.milliseconds.push_back(Milliseconds(start, visible));
        subject.peakKb.push_back(double(counters.PeakWorkingSetSize) / 1024.0);
    }
    return measured;
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fwprintf(stderr, L"usage: startup_bench INSTALLER MINIMAL [RUNS]\n");
        return 64;
    }
    int runs = argc > 3 ? _wtoi(argv[3]) : 9;
    Subject installer = {L"installer", argv[1], L" v2.29E", {}, {}};
    Subject minimal = {L"minimal program (template 129)", argv[2], L"DriverInstall", {}, {}};
    for (int run = 0; run <= runs; ++run) {
        // Run 0 warms the prefix's caches for both and is not counted.
        if (!MeasureOnce(installer, run > 0) || !MeasureOnce(minimal, run > 0))
            return 1;
    }
    // Markdown rows for docs/benchmarks.md. A run starts the two one after the other, so the ratio
    // within a run is less disturbed by the changing load of a shared machine.
    wprintf(L"start to visible dialog and peak working set, %d runs each (median; min to max)\n", runs);
    wprintf(L"| program | start to visible dialog | peak working set |\n|---|---|---|\n");
    Subject* subjects[] = {&minimal, &installer};
    for (Subject* subject : subjects) {
        const std::vector<double>& ms = subject->milliseconds;
        const std::vector<double>& kb = subject->peakKb;
        wprintf(L"| %ls | %.1f ms (%.1f to %.1f) | %.1f MB (%.1f to %.1f) |\n", subject->name, Median(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()), Median(kb) / 1024,
                *std::min_element(kb.begin(), kb.end()) / 1024, *std::max_element(kb.begin(), kb.end()) / 1024);
    }
    std::vector<double> timeRatios, memoryRatios;
    for (size_t run = 0; run < installer.milliseconds.size(); ++run) {
        timeRatios.push_back(installer.milliseconds[run] / minimal.milliseconds[run]);
        memoryRatios.push_back(installer.peakKb[run] / minimal.peakKb[run]);
    }
    wprintf(L"| ratio (of the medians; median of the runs' ratios) | %.2f; %.2f | %.2f; %.2f |\n",
            Median(installer.milliseconds) / Median(minimal.milliseconds), Median(timeRatios),
            Median(installer.peakKb) / Median(minimal.peakKb), Median(memoryRatios));
    wprintf(L"goal: at most 1.2 on both\n");
    return 0;
}
