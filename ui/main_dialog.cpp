#include "ui/main_dialog.h"

#include <strsafe.h>

#include "app/app_module.h"
#include "i18n/catalogue.h"
#include "install/install_lock.h"
#include "install/preflight.h"
#include "system/probes.h"
#include "system/user_report.h"

static const int kIconResource = 128;
static const wchar_t kVersionSuffix[] = L" v2.29E";

// The control texts set at initialisation, in the order they are set.
static const struct {
    int id;
    const char* key;
} kControlTexts[] = {
    {IDT_OS_TYPE, "PO_GSTR_OS_TYPE"},
    {IDR_CATEGORY, "PO_GSTR_MICRO_PRINTER"},
    {IDG_PRINTER_MODEL, "PO_GSTR_PRINTER_DETAIL"},
    {IDG_PRINTER_PORT, "PO_GSTR_PRINTER_PORT"},
    {IDOK, "PO_GSTR_OK"},
    {IDCANCEL, "PO_GSTR_CANCEL"},
    {IDT_PRINTER_NAME, "PO_GSTR_PT_CONFIG_NAME"},
    {IDC_CONFIGURE_PORT, "PO_GSTR_PT_CONFIG_PORT"},
    {IDT_PORT, "PO_GSTR_PORT_STATIC"},
    {IDC_ADD_PORT, "PO_IDC_BUTTON_ADD_PORT"},
};

CMainDlg::~CMainDlg()
{
    // The window is normally gone by now; a dialog that never got its WM_DESTROY still
    // gives its port array back.
    ReleasePorts();
}

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
        break;
    default:
        return FALSE;
    }

    const WORD id = LOWORD(wParam);
    const WORD notification = HIWORD(wParam);
    *result = 0;
    switch (id) {
    case IDOK:
        *result = OnOK();
        return TRUE;
    case IDCANCEL:
        *result = OnCancel(id);
        return TRUE;
    case IDC_CONFIGURE_PORT:
        OnConfigurePort();
        return TRUE;
    case IDR_CATEGORY:
        if (notification != BN_CLICKED)
            return FALSE;
        ResetPrinterNameToSelectedModel();
        return TRUE;
    case IDC_MODEL_LIST:
        if (notification != CBN_SELCHANGE)
            return FALSE;
        ResetPrinterNameToSelectedModel();
        return TRUE;
    case IDC_ADD_PORT:
        if (notification != BN_CLICKED)
            return FALSE;
        OnAddPort();
        return TRUE;
    case IDC_PORT_LIST:
        if (notification != CBN_SELCHANGE)
            return FALSE;
        OnPortChanged();
        return TRUE;
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
    portCount = 0;
    ports = nullptr;
    ZeroMemory(selectedPort, sizeof(selectedPort));
    BindMessageCatalogue();
    InitCaptions();
    ShowOsName();
    FillModelList();
    FillPortList();
    // The focus goes to the first tab stop.
    return TRUE;
}

LRESULT CMainDlg::OnDestroy()
{
    ReleasePorts();
    ReleaseIcons();
    if (CMessageLoop* loop = appModule.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    return 0;
}

LRESULT CMainDlg::OnOK()
{
    if (!ValidateInput())
        return 0;
    StartInstall();
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
    bigIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                            LR_DEFAULTCOLOR));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                              LR_DEFAULTCOLOR));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

void CMainDlg::ReleaseIcons()
{
    if (bigIcon)
        DestroyIcon(bigIcon);
    if (smallIcon)
        DestroyIcon(smallIcon);
    bigIcon = nullptr;
    smallIcon = nullptr;
}

void CMainDlg::InitCaptions()
{
    wchar_t text[520] = {};
    GetLocalizedText("PO_GSTR_DLG_CAPTION", text, 520);
    // A translated caption too long for the buffer loses the end of the version, not more.
    StringCchCatW(text, 520, kVersionSuffix);
    SetWindowTextW(m_hWnd, text);
    for (const auto& control : kControlTexts) {
        GetLocalizedText(control.key, text, 520);
        SetDlgItemTextW(m_hWnd, control.id, text);
    }
    osNameLabel = GetDlgItem(m_hWnd, IDT_OS_NAME);
    SetDefaultPrinterName(kModelTable[0].displayName);
    categoryButton = GetDlgItem(m_hWnd, IDR_CATEGORY);
    SendMessageW(categoryButton, BM_SETCHECK, BST_CHECKED, 0);
    modelList = GetDlgItem(m_hWnd, IDC_MODEL_LIST);
    portList = GetDlgItem(m_hWnd, IDC_PORT_LIST);
}

void CMainDlg::ShowOsName()
{
    wchar_t name[256] = {};
    // A failed version query keeps the template's text; a version without a name empties it.
    if (GetOSDisplayName(name))
        SetDlgItemTextW(m_hWnd, IDT_OS_NAME, name);
}

void CMainDlg::FillModelList()
{
    for (size_t row = 0; row < kModelCount; ++row)
        SendMessageW(modelList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kModelTable[row].displayName));
    SendMessageW(modelList, CB_SETCURSEL, 0, 0);
}

void CMainDlg::SetDefaultPrinterName(const wchar_t* displayName)
{
    SetDlgItemTextW(m_hWnd, IDE_PRINTER_NAME, displayName);
}

void CMainDlg::ResetPrinterNameToSelectedModel()
{
    const LRESULT row = SendMessageW(modelList, CB_GETCURSEL, 0, 0);
    // A list without a selection names no row; the field keeps what the user typed.
    if (row < 0 || static_cast<size_t>(row) >= kModelCount)
        return;
    SetDefaultPrinterName(kModelTable[row].displayName);
}

int CMainDlg::ValidateInput()
{
    wchar_t text[1024] = {};
    // The last enumeration decides, whatever the list shows: "USB PORT:" is always listed.
    if (portCount == 0) {
        ReportToUser(GetLocalizedText("PO_GSTR_DRIVER_PORT_ERROR", text, 1024), L"ERROR");
        return 0;
    }
    // 259 units: at most 258 characters, the rest of a longer name is not used.
    GetDlgItemTextW(m_hWnd, IDE_PRINTER_NAME, printerNameBuffer, 259);
    if (printerNameBuffer[0] == L'\0') {
        ReportToUser(GetLocalizedText("PO_GSTR_DRIVER_NAME_ERROR", text, 1024), L"ERROR");
        return 0;
    }
    GetWindowTextW(portList, portNameBuffer, 259);
    return 1;
}

const PrinterModelInfo* CMainDlg::GetSelectedModel()
{
    if (SendMessageW(categoryButton, BM_GETCHECK, 0, 0) == BST_UNCHECKED)
        return nullptr;
    const LRESULT row = SendMessageW(modelList, CB_GETCURSEL, 0, 0);
    if (row < 0 || static_cast<size_t>(row) >= kModelCount)
        return nullptr;
    return &kModelTable[row];
}

void CMainDlg::StartInstall()
{
    // A machine that cannot take the driver is said in one box before anything changes.
    if (!RunPreflight())
        return;
    // One installation at a time on the machine: an unattended one may be running. A name
    // taken by another account's object is said in a box, and the install goes on without it.
    CInstallLock lock;
    const LockOutcome outcome = TakeInstallLock(lock);
    if (outcome == kLockBusy || outcome == kLockFailed)
        return;
    // Without a row the sequence refuses the job (ERROR_INVALID_PARAMETER) and says nothing;
    // the category button cannot be cleared, so a row is always chosen.
    CInstallJob job(GetSelectedModel(), printerNameBuffer, portNameBuffer);
    job.RunInstall();
}

void CMainDlg::ReleasePorts()
{
    free(ports);
    ports = nullptr;
    portCount = 0;
}
