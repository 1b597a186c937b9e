// Times one installation in the prefix it runs in, which must be fresh: the program given
// is copied beside this one (which stands beside the package), started with the arguments
// given, with no console to attach to, and timed from just before CreateProcessW to its
// exit. One unmeasured start of this program itself first, so that the prefix's first
// process start is charged to neither subject. Prints "milliseconds=<t> exit=<code>
// printer=<0|1> idle=<t>": printer 1 when afterwards a printer of that name uses the driver
// "KR-620" on "USB PORT:", idle the time of the unmeasured start (a process that does
// nothing). Exit code 0 when the subject exited 0 and the printer is there.
//   install_bench PROGRAM PRINTER-NAME [ARGUMENTS...]
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

static std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

static std::wstring NameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Quoted when it holds a blank, as CommandLineToArgvW reads it back; the arguments here
// hold no quotes.
static std::wstring Quoted(const std::wstring& text)
{
    return text.find(L' ') == std::wstring::npos ? text : L"\"" + text + L"\"";
}

// Runs a command line to its end: 1 with the exit code and the time, 0 when it did not start.
static int RunToExit(const std::wstring& exe, std::wstring commandLine, DWORD* exitCode, double* milliseconds)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        FolderOf(exe).c_str(), &startup, &process)) {
        fwprintf(stderr, L"cannot start %ls: %lu\n", exe.c_str(), GetLastError());
        return 0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    *milliseconds = 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    return 1;
}

static int PrinterInstalled(const wchar_t* name)
{
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0)
        return 0;
    BYTE* buffer = static_cast<BYTE*>(malloc(needed));
    int found = 0;
    if (buffer && EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, needed, &needed, &count)) {
        const PRINTER_INFO_2W* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer);
        for (DWORD i = 0; i < count && !found; ++i) {
            const PRINTER_INFO_2W& printer = printers[i];
            found = printer.pPrinterName && printer.pDriverName && printer.pPortName &&
                    wcscmp(printer.pPrinterName, name) == 0 && wcscmp(printer.pDriverName, L"KR-620") == 0 &&
                    wcscmp(printer.pPortName, L"USB PORT:") == 0;
        }
    }
    free(buffer);
    return found;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && wcscmp(argv[1], L"--idle") == 0)
        return 0;
    if (argc < 3) {
        fwprintf(stderr, L"usage: install_bench PROGRAM PRINTER-NAME [ARGUMENTS...]\n");
        return 64;
    }
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    const std::wstring subject = FolderOf(self) + L"\\" + NameOf(argv[1]);
    if (!CopyFileW(argv[1], subject.c_str(), FALSE)) {
        fwprintf(stderr, L"cannot copy %ls beside the package: %lu\n", argv[1], GetLastError());
        return 1;
    }
    // Like a deployment tool's service: no console the subject could attach to. The results
    // still go to the standard output this program was given.
    FreeConsole();
    DWORD exitCode = 0;
    double idleMilliseconds = 0, milliseconds = 0;
    if (!RunToExit(self, Quoted(self) + L" --idle", &exitCode, &idleMilliseconds))
        return 1;

    std::wstring commandLine = Quoted(subject);
    for (int i = 3; i < argc; ++i)
        commandLine += L" " + Quoted(argv[i]);
    if (!RunToExit(subject, commandLine, &exitCode, &milliseconds))
        return 1;
    int installed = PrinterInstalled(argv[2]);
    wprintf(L"milliseconds=%.1f exit=%lu printer=%d idle=%.1f\n", milliseconds, exitCode, installed,
            idleMilliseconds);
    return exitCode == 0 && installed ? 0 : 1;
}
