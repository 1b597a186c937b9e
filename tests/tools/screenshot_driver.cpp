// Takes the README's pictures of the installer's three dialogs from outside the program.
//   screenshot_driver PROGRAM OUTDIR
// Run inside Wine's virtual desktop (which draws the title bars), it starts PROGRAM as its
// child on that desktop and saves OUTDIR\main.bmp, lpt.bmp and add-port.bmp, each cropped
// to the dialog (with the main dialog behind a secondary one) and a small margin. Before
// that it gives the prefix what the pictures need: the LPT timeout value (90) and the
// sample's "USB Printer Monitor", whose DLLs it copies from PROGRAM's SETUP folder.
// Progress and failures go to OUTDIR\driver.log; the exit code is 0 when all three were
// saved (the virtual desktop does not hand it on, so the log is what the script reads).
#include <windows.h>
#include <winspool.h>

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "spooler/spooler_names.h"
#include "ui/main_dialog_ids.h"

static FILE* logFile = stderr;

static void Log(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vfwprintf(logFile, format, arguments);
    va_end(arguments);
    fputwc(L'\n', logFile);
    fflush(logFile);
}

static std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

static bool SetLptTimeout()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t value[] = L"90";
    LONG result = RegSetValueExW(key, L"TransmissionRetryTimeout", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value), sizeof(value));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

static bool AddSampleMonitor(const std::wstring& program)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const wchar_t* names[] = {kMonitorDllName, kMonitorUiDllName};
    for (const wchar_t* name : names) {
        std::wstring from = FolderOf(program) + L"\\SETUP\\" + name;
        std::wstring to = std::wstring(system) + L"\\" + name;
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            Log(L"cannot copy %ls: %lu", from.c_str(), GetLastError());
            return false;
        }
    }
    MONITOR_INFO_2W monitor = {const_cast<wchar_t*>(kUsbMonitorName), const_cast<wchar_t*>(L"Windows NT x86"),
                               const_cast<wchar_t*>(kMonitorDllName)};
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&monitor)) && GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
        Log(L"AddMonitorW: %lu", GetLastError());
        return false;
    }
    return true;
}

struct WindowSearch {
    DWORD processId;
    HWND except;
    const wchar_t* titleEnd;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || window == search->except || !IsWindowVisible(window))
        return TRUE;
    wchar_t title[520] = {};
    GetWindowTextW(window, title, 520);
    size_t length = wcslen(title), endLength = wcslen(search->titleEnd);
    if (length < endLength || wcscmp(title + length - endLength, search->titleEnd) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window of the process whose title ends with titleEnd (any title for
// ""), other than except; null when none came within the time.
static HWND WaitForWindow(DWORD processId, const wchar_t* titleEnd, HWND except, DWORD milliseconds)
{
    for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
        WindowSearch search = {processId, except, titleEnd, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    }
    return nullptr;
}

static bool WaitUntilGone(HWND window, DWORD milliseconds)
{
    for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
        if (!IsWindow(window) || !IsWindowVisible(window))
            return true;
        Sleep(50);
    }
    return false;
}

// The screen's pixels in a rectangle, as the rows of a bottom-up 24-bit DIB.
static std::vector<BYTE> Grab(const RECT& area)
{
    int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<BYTE> pixels;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        size_t size = size_t((width * 3 + 3) & ~3) * height;
        pixels.assign(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + size);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

static bool WriteBmp(const std::wstring& path, const RECT& area, const std::vector<BYTE>& pixels)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = area.right - area.left;
    header.biHeight = area.bottom - area.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return false;
    bool written = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1 &&
                   fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return fclose(out) == 0 && written;
}

// Saves the windows' joint rectangle once two grabs in a row agree, so that a picture is
// never taken halfway through painting.
static bool Shoot(const std::wstring& path, HWND first, HWND second)
{
    const int kMargin = 12;
    RECT area = {}, other = {};
    GetWindowRect(first, &area);
    if (second && GetWindowRect(second, &other))
        UnionRect(&area, &area, &other);
    InflateRect(&area, kMargin, kMargin);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    std::vector<BYTE> previous;
    for (int attempt = 0; attempt < 50; ++attempt) {
        Sleep(200);
        std::vector<BYTE> pixels = Grab(area);
        if (!pixels.empty() && pixels == previous) {
            bool written = WriteBmp(path, area, pixels);
            Log(L"%ls %ls (%ldx%ld)", written ? L"saved" : L"could not save", path.c_str(), area.right - area.left,
                area.bottom - area.top);
            return written;
        }
        previous.swap(pixels);
    }
    Log(L"the screen did not settle for %ls", path.c_str());
    return false;
}

// In Wine's virtual desktop under Xvfb the dialog is the active window but draws its
// title bar as an inactive one; WM_NCACTIVATE has it drawn as it is.
static void ShowActive(HWND window)
{
    SetForegroundWindow(window);
    SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
}

static void Command(HWND dialog, int control, int notification)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(control, notification),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

static bool SelectPort(HWND dialog, const wchar_t* name)
{
    HWND list = GetDlgItem(dialog, IDC_PORT_LIST);
    LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
    if (index == CB_ERR || SendMessageW(list, CB_SETCURSEL, index, 0) == CB_ERR) {
        Log(L"%ls is not in the port list", name);
        return false;
    }
    Command(dialog, IDC_PORT_LIST, CBN_SELCHANGE);
    return true;
}

// Opens a secondary dialog with a command to the main one, pictures it and cancels it.
static bool ShootSecondary(DWORD processId, HWND dialog, int control, const std::wstring& path)
{
    Command(dialog, control, BN_CLICKED);
    HWND secondary = WaitForWindow(processId, L"", dialog, 20000);
    if (!secondary) {
        Log(L"no dialog came after command %d", control);
        return false;
    }
    ShowActive(secondary);
    bool shot = Shoot(path, dialog, secondary);
    PostMessageW(secondary, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!WaitUntilGone(secondary, 20000)) {
        Log(L"the dialog of command %d stayed", control);
        return false;
    }
    return shot;
}

static bool TakePictures(const std::wstring& program, const std::wstring& out)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        FolderOf(program).c_str(), &startup, &process)) {
        Log(L"cannot start %ls: %lu", program.c_str(), GetLastError());
        return false;
    }
    // The title is the runtime one once the dialog's texts are in place.
    HWND dialog = WaitForWindow(process.dwProcessId, L" v2.29E", nullptr, 60000);
    bool shot = false;
    if (!dialog) {
        Log(L"the main dialog did not appear with its runtime title");
    } else {
        ShowActive(dialog);
        shot = Shoot(out + L"\\main.bmp", dialog, nullptr) && SelectPort(dialog, L"LPT1:") &&
               ShootSecondary(process.dwProcessId, dialog, IDC_CONFIGURE_PORT, out + L"\\lpt.bmp") &&
               ShootSecondary(process.dwProcessId, dialog, IDC_ADD_PORT, out + L"\\add-port.bmp");
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
        Log(L"the program did not end; ending it");
        TerminateProcess(process.hProcess, 1);
        shot = false;
    } else if (GetExitCodeProcess(process.hProcess, &exitCode) && exitCode != 2) {
        Log(L"the program ended with %lu, not 2", exitCode);
        shot = false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return shot;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fwprintf(stderr, L"usage: screenshot_driver PROGRAM OUTDIR\n");
        return 64;
    }
    const std::wstring program = argv[1], out = argv[2];
    CreateDirectoryW(out.c_str(), nullptr);
    FILE* file = _wfopen((out + L"\\driver.log").c_str(), L"w");
    if (file)
        logFile = file;
    bool ok = true;
    if (!SetLptTimeout()) {
        Log(L"cannot set the LPT timeout value: %lu", GetLastError());
        ok = false;
    }
    ok = ok && AddSampleMonitor(program) && TakePictures(program, out);
    Log(ok ? L"done" : L"failed");
    if (file)
        fclose(file);
    return ok ? 0 : 1;
}
