// The shipped program under repeated use, in the prefix this runs in, with the package beside
// this program (DI_EXE is copied beside it, as the tests do):
//   load_bench dialog INSTALLS   one run of the dialog through INSTALLS installs (Install
//       pressed, every box answered with OK); the process's handles, private bytes and USER
//       and GDI objects once the dialog shows and after the first, the tenth and the last
//   load_bench unattended RUNS   "/install" RUNS times, each to its exit, with no console to
//       attach to, and after each a process doing nothing (this one, "idle"); the times of
//       the first ten and the last ten
// Prints Markdown table rows. Exits 1 when an install failed.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/wine_support.h"

namespace {

typedef BOOL(WINAPI* GetProcessHandleCountFunction)(HANDLE, DWORD*);
typedef LONG(WINAPI* NtQuerySystemInformationFunction)(ULONG, void*, ULONG, ULONG*);

template <typename Function> Function Lookup(const wchar_t* module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

// The system's handle list (SystemHandleInformation): its entries of one process.
DWORD CountListedHandles(DWORD processId)
{
    struct Entry {
        USHORT processId;
        USHORT creatorBackTraceIndex;
        UCHAR objectType;
        UCHAR attributes;
        USHORT handle;
        void* object;
        ULONG access;
    };
    static const NtQuerySystemInformationFunction query =
        Lookup<NtQuerySystemInformationFunction>(L"ntdll.dll", "NtQuerySystemInformation");
    const LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<BYTE> buffer(65536);
    LONG status = kLengthMismatch;
    while (query && (status = query(16, buffer.data(), ULONG(buffer.size()), nullptr)) == kLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    DWORD owned = 0;
    for (ULONG i = 0; i < count; ++i)
        owned += entries[i].processId == USHORT(processId);
    return owned;
}

// Wine's GetProcessHandleCount answers 0, and its system handle list is asked instead.
DWORD HandleCount(const Started& program)
{
    static const GetProcessHandleCountFunction getHandleCount =
        Lookup<GetProcessHandleCountFunction>(L"kernel32.dll", "GetProcessHandleCount");
    DWORD handles = 0;
    if (getHandleCount && getHandleCount(program.process, &handles) && handles)
        return handles;
    return CountListedHandles(program.processId);
}

// A GUI count, or n/a where the platform does not report it (Wine answers 0).
void PrintGuiCount(HANDLE process, DWORD kind)
{
    const DWORD count = GetGuiResources(process, kind);
    if (count)
        wprintf(L" %lu |", count);
    else
        wprintf(L" n/a |");
}

int PrintUse(const Started& program, const wchar_t* after)
{
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    const DWORD handles = HandleCount(program);
    if (!handles ||
        !GetProcessMemoryInfo(program.process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        fwprintf(stderr, L"cannot read the program's use: %lu\n", GetLastError());
        return 0;
    }
    // Both are the commit charge; Wine leaves the first 0.
    const SIZE_T privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    wprintf(L"| %ls | %lu | %lu KB |", after, handles, static_cast<unsigned long>(privateBytes / 1024));
    PrintGuiCount(program.process, GR_USEROBJECTS);
    PrintGuiCount(program.process, GR_GDIOBJECTS);
    wprintf(L"\n");
    return 1;
}

int DriveDialog(const std::wstring& exe, int installs)
{
    Started program = StartProgram(exe, L"");
    HWND dialog = WaitForDialogOf(program.processId, 30000);
    if (!dialog) {
        fwprintf(stderr, L"no dialog appeared\n");
        WaitForExit(program, 0);
        return 1;
    }
    wprintf(L"| after install | handles | private bytes | USER objects | GDI objects |\n|---|---|---|---|---|\n");
    int ok = PrintUse(program, L"none, the dialog shown");
    for (int install = 1; ok && install <= installs; ++install) {
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        std::vector<SeenBox> boxes = AnswerBoxesOf(dialog);
        ok = !boxes.empty() && boxes.back().caption == L"SUCCESS";
        if (!ok)
            fwprintf(stderr, L"install %d did not succeed\n", install);
        // Returns once the dialog is back in its loop, the install's handler over.
        SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr);
        if (ok && (install == 1 || install == 10 || install == installs))
            ok = PrintUse(program, std::to_wstring(install).c_str());
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return WaitForExit(program, 30000) == IDCANCEL && ok ? 0 : 1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// A program run to its exit: its time in milliseconds, or -1 when it did not exit with 0.
double TimedRun(const std::wstring& exe, const wchar_t* arguments)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    Started program = StartProgram(exe, arguments);
    const long exitCode = WaitForExit(program, 60000);
    QueryPerformanceCounter(&end);
    if (exitCode != 0) {
        fwprintf(stderr, L"%ls %ls ended with %ld\n", exe.c_str(), arguments, exitCode);
        return -1;
    }
    return 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

struct Run {
    double install;
    // A process doing nothing, started right after: the machine's load at that moment.
    double idle;
};

// The installs' median, fastest and sum, and the idle processes' median.
void PrintRuns(const wchar_t* which, int first, const std::vector<Run>& runs)
{
    std::vector<double> installs, idles;
    double sum = 0;
    for (const Run& run : runs) {
        installs.push_back(run.install);
        idles.push_back(run.idle);
        sum += run.install;
    }
    wprintf(L"| %ls (%d to %d) | %.1f ms | %.1f ms | %.0f ms | %.1f ms |\n", which, first, first + int(runs.size()) - 1,
            Median(installs), *std::min_element(installs.begin(), installs.end()), sum, Median(idles));
}

int RunUnattended(const std::wstring& exe, int count)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // Like a deployment tool's service: no console the program could attach to. Wine hands
    // it this program's standard output, which points nowhere while the installs run.
    FreeConsole();
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, nowhere);
    std::vector<Run> runs;
    for (int run = 1; run <= count; ++run) {
        const Run timed = {TimedRun(exe, L"/install"), TimedRun(self, L"idle")};
        if (timed.install < 0 || timed.idle < 0)
            return 1;
        runs.push_back(timed);
    }
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    CloseHandle(nowhere);
    if (!PrinterExists(L"KR-620")) {
        fwprintf(stderr, L"no printer KR-620 after the runs\n");
        return 1;
    }
    const int group = std::min(10, count / 2);
    wprintf(L"| `/install` runs | median | fastest | sum | a process doing nothing |\n|---|---|---|---|---|\n");
    PrintRuns(L"first", 1, std::vector<Run>(runs.begin(), runs.begin() + group));
    PrintRuns(L"last", count - group + 1, std::vector<Run>(runs.end() - group, runs.end()));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && wcscmp(argv[1], L"idle") == 0)
        return 0;
    const int count = argc == 3 ? _wtoi(argv[2]) : 0;
    const bool dialog = argc == 3 && wcscmp(argv[1], L"dialog") == 0;
    if (count < (dialog ? 1 : 2) || (!dialog && wcscmp(argv[1], L"unattended") != 0)) {
        fwprintf(stderr, L"usage: load_bench dialog INSTALLS | load_bench unattended RUNS\n");
        return 64;
    }
    const std::wstring exe = ShippedProgramBesideThis();
    if (exe.empty()) {
        fwprintf(stderr, L"cannot copy DI_EXE beside this program: %lu\n", GetLastError());
        return 1;
    }
    return dialog ? DriveDialog(exe, count) : RunUnattended(exe, count);
}
