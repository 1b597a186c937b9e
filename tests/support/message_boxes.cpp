#include "support/message_boxes.h"

#include "ui/main_window.h"

static MessageBoxWatch* activeWatch;
static std::vector<HWND> seenWindows;

static LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && activeWatch) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        bool seen = false;
        for (HWND known : seenWindows)
            seen = seen || known == window;
        if (!seen && lstrcmpW(className, L"#32770") == 0) {
            seenWindows.push_back(window);
            wchar_t caption[1024] = {};
            wchar_t text[4096] = {};
            GetWindowTextW(window, caption, 1024);
            // The message box's text is the static control 0xFFFF.
            GetDlgItemTextW(window, 0xFFFF, text, 4096);
            activeWatch->boxes.push_back({caption, text, GetWindow(window, GW_OWNER)});
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

MessageBoxWatch::MessageBoxWatch()
{
    activeWatch = this;
    seenWindows.clear();
    hook_ = SetWindowsHookExW(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
}

MessageBoxWatch::~MessageBoxWatch()
{
    UnhookWindowsHookEx(hook_);
    activeWatch = nullptr;
}

StandInMainWindow::StandInMainWindow()
{
    window = CreateWindowExW(0, L"STATIC", L"Stand-in main window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    mainWindow = window;
}

StandInMainWindow::~StandInMainWindow()
{
    mainWindow = nullptr;
    DestroyWindow(window);
}
