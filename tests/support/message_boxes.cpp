#include "support/message_boxes.h"

#include <gtest/gtest.h>

#include "system/user_report.h"

static MessageBoxWatch* activeWatch;
static std::vector<HWND> seenWindows;
static std::vector<HWND> pendingDialogs;
// A dialog that is still hidden this long after its activation is closed, failing the test,
// rather than keeping the test in its modal loop.
static const DWORD kShowWait = 10000;
static DWORD firstPendingSince;

static BOOL CALLBACK FindOtherControl(HWND child, LPARAM found)
{
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (lstrcmpiW(className, L"Static") != 0 && lstrcmpiW(className, L"Button") != 0) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

// A message box is a dialog with its text in the static control 0xFFFF and nothing but
// static texts and buttons; other dialogs (Wine's COM settings) label fields with 0xFFFF too.
static bool IsMessageBox(HWND window)
{
    HWND text = GetDlgItem(window, 0xFFFF);
    wchar_t className[16] = {};
    if (!text || !GetClassNameW(text, className, 16) || lstrcmpiW(className, L"Static") != 0)
        return false;
    bool other = false;
    EnumChildWindows(window, FindOtherControl, reinterpret_cast<LPARAM>(&other));
    return !other;
}

// Runs from the dialog's own modal loop, after the activation that announced it is over.
static void CALLBACK DrivePendingDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (!activeWatch || pendingDialogs.empty())
        return;
    HWND dialog = pendingDialogs.front();
    const bool hidden = IsWindow(dialog) && !IsWindowVisible(dialog);
    // A modal loop shows its dialog only when it finds its queue empty: ask again shortly.
    if (hidden && GetTickCount() - firstPendingSince < kShowWait) {
        SetTimer(nullptr, 0, 10, DrivePendingDialog);
        return;
    }
    pendingDialogs.erase(pendingDialogs.begin());
    firstPendingSince = GetTickCount();
    if (!IsWindow(dialog))
        return;
    if (hidden)
        ADD_FAILURE() << "a dialog was still hidden after " << kShowWait / 1000 << " s; closed with Cancel";
    if (activeWatch->onDialog && !hidden)
        activeWatch->onDialog(dialog);
    else
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Records a message box and answers it, or hands any other owned dialog to the test; each
// window once.
static void TakeWindow(HWND window)
{
    for (HWND known : seenWindows) {
        if (known == window)
            return;
    }
    seenWindows.push_back(window);
    if (IsMessageBox(window)) {
        wchar_t caption[1024] = {};
        wchar_t text[4096] = {};
        GetWindowTextW(window, caption, 1024);
        GetDlgItemTextW(window, 0xFFFF, text, 4096);
        bool okAndCancel = GetDlgItem(window, IDOK) && GetDlgItem(window, IDCANCEL);
        activeWatch->boxes.push_back({caption, text, GetWindow(window, GW_OWNER), okAndCancel});
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    } else if (GetWindow(window, GW_OWNER)) {
        // An ownerless dialog is the main dialog itself, which the test drives.
        activeWatch->dialogs.push_back(window);
        if (pendingDialogs.empty())
            firstPendingSince = GetTickCount();
        pendingDialogs.push_back(window);
        SetTimer(nullptr, 0, 0, DrivePendingDialog);
    }
}

static std::vector<HWND> createdDialogs;

// Runs from the modal loop of a dialog made since: one that was never activated (under
// load, with other programs' windows on the same display, the activation may not come) is
// taken now, its controls made.
static void CALLBACK TakeCreatedDialogs(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    std::vector<HWND> created;
    created.swap(createdDialogs);
    for (HWND window : created) {
        if (activeWatch && IsWindow(window))
            TakeWindow(window);
    }
}

static LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    if ((code == HCBT_ACTIVATE || code == HCBT_CREATEWND) && activeWatch) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (lstrcmpW(className, L"#32770") == 0) {
            if (code == HCBT_ACTIVATE) {
                TakeWindow(window);
            } else {
                createdDialogs.push_back(window);
                SetTimer(nullptr, 0, 0, TakeCreatedDialogs);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

MessageBoxWatch::MessageBoxWatch()
{
    activeWatch = this;
    seenWindows.clear();
    pendingDialogs.clear();
    createdDialogs.clear();
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
