#include "ui/main_dialog.h"

#include "app/app_module.h"
#include "ui/main_window.h"

HWND mainWindow;

static const int kIconResource = 128;

BOOL CMainDlg::PreTranslateMessage(MSG* message)
{
    // Gives the modeless dialog its Tab, Enter and Escape handling.
    return IsDialogMessageW(m_hWnd, message);
}

BOOL CMainDlg::OnIdle()
{
    // No control changes its state on idle.
    return FALSE;
}

BOOL CMainDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_INITDIALOG:
        *result = OnInitDialog();
        return TRUE;
    case WM_DESTROY:
        *result = OnDestroy();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            *result = OnCancel(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CMainDlg::OnInitDialog()
{
    CentreOnWorkArea();
    SetIcons();
    if (CMessageLoop* loop = appModule.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    mainWindow = m_hWnd;
    // The focus goes to the first tab stop.
    return TRUE;
}

LRESULT CMainDlg::OnDestroy()
{
    if (CMessageLoop* loop = appModule.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    return 0;
}

LRESULT CMainDlg::OnCancel(WORD commandId)
{
    DestroyWindow(m_hWnd);
    PostQuitMessage(commandId);
    return 0;
}

// Centred on the work area of the nearest monitor, and kept inside it: the dialog has no
// owner to be centred over.
void CMainDlg::CentreOnWorkArea()
{
    RECT window = {};
    GetWindowRect(m_hWnd, &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& area = monitor.rcWork;
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    LONG x = area.left + ((area.right - area.left) - width) / 2;
    LONG y = area.top + ((area.bottom - area.top) - height) / 2;
    if (x + width > area.right)
        x = area.right - width;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (x < area.left)
        x = area.left;
    if (y < area.top)
        y = area.top;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainDlg::SetIcons()
{
    HINSTANCE instance = appModule.GetResourceInstance();
    HANDLE bigIcon = LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                            GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR);
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    HANDLE smallIcon = LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                              GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}
