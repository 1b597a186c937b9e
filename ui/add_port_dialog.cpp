#include "ui/add_port_dialog.h"

#include <commctrl.h>
#include <stdlib.h>
#include <strsafe.h>
#include <wchar.h>

#include "i18n/catalogue.h"
#include "spooler/spooler.h"
#include "system/user_report.h"
#include "ui/main_dialog.h"

MonitorChoiceList monitorChoiceList;

static const int kChoiceCapacity = ARRAYSIZE(monitorChoiceList.names);
static const size_t kNameUnits = ARRAYSIZE(monitorChoiceList.names[0]);

void ChooseMonitors(const MONITOR_INFO_2W* records, DWORD count, MonitorChoiceList* list)
{
    for (DWORD i = 0; i < count && list->count < kChoiceCapacity; ++i) {
        const wchar_t* name = records[i].pName;
        if (!name || (!wcsstr(name, L"TCP/IP") && !wcsstr(name, L"USB Printer Monitor")))
            continue;
        // A name that does not fit would be offered cut, and a cut name names no monitor
        // that AddPortW could find: such a monitor is not offered.
        if (FAILED(StringCchLengthW(name, kNameUnits, nullptr)))
            continue;
        StringCchCopyW(list->names[list->count], kNameUnits, name);
        ++list->count;
    }
}

int FillMonitorChoiceList(MonitorChoiceList* list)
{
    DWORD count = 0;
    BYTE* buffer = FetchSpoolerRecords(
        [](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumMonitors(nullptr, 2, records, size, needed, returned);
        },
        &count);
    if (!buffer)
        return 0;
    ChooseMonitors(reinterpret_cast<const MONITOR_INFO_2W*>(buffer), count, list);
    free(buffer);
    return 1;
}

POINT CentredPosition(SIZE window, const RECT& over, const RECT& workArea)
{
    LONG x = over.left + ((over.right - over.left) - window.cx) / 2;
    LONG y = over.top + ((over.bottom - over.top) - window.cy) / 2;
    if (x + window.cx > workArea.right)
        x = workArea.right - window.cx;
    if (y + window.cy > workArea.bottom)
        y = workArea.bottom - window.cy;
    // Larger than the work area: its top left corner stays inside.
    if (x < workArea.left)
        x = workArea.left;
    if (y < workArea.top)
        y = workArea.top;
    return {x, y};
}

void CMainDlg::OnAddPort()
{
    ZeroMemory(&monitorChoiceList, sizeof(monitorChoiceList));
    if (!FillMonitorChoiceList(&monitorChoiceList))
        return;
    // The entry registers the bar classes only, and comctl32 version 6 registers a class
    // only when InitCommonControlsEx names it: without this, template 202 cannot be made.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CAddPortDlg dialog;
    dialog.DoModal(GetActiveWindow());
    FillPortList();
}

BOOL CAddPortDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_INITDIALOG:
        *result = OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            *result = OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            *result = OnCancel();
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CAddPortDlg::OnInitDialog()
{
    CentreOverOwner();
    wchar_t text[260] = {};
    SetWindowTextW(m_hWnd, GetLocalizedText("PO_IDD_ADD_PORT_DIALOG", text, ARRAYSIZE(text)));
    SetDlgItemTextW(m_hWnd, IDOK, GetLocalizedText("PO_GSTR_LPT_OK", text, ARRAYSIZE(text)));
    SetDlgItemTextW(m_hWnd, IDCANCEL, GetLocalizedText("PO_GSTR_LPT_CANCEL", text, ARRAYSIZE(text)));
    InitMonitorListView();
    return TRUE;
}

// Over the owner while the user can see it, else on the nearest monitor's work area.
void CAddPortDlg::CentreOverOwner()
{
    RECT window = {};
    GetWindowRect(m_hWnd, &window);
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    const bool overOwner = owner && IsWindowVisible(owner) && !IsIconic(owner);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(overOwner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    RECT over = monitor.rcWork;
    if (overOwner)
        GetWindowRect(owner, &over);
    const SIZE size = {window.right - window.left, window.bottom - window.top};
    const POINT at = CentredPosition(size, over, monitor.rcWork);
    SetWindowPos(m_hWnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CAddPortDlg::InitMonitorListView()
{
    monitorListView = GetDlgItem(m_hWnd, IDC_MONITOR_LIST);
    if (!monitorListView)
        return 0;
    // A single-selection report view, without the template's border and tab stop; the
    // frame is recomputed so that the border goes at once.
    SetWindowLongW(monitorListView, GWL_STYLE, WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL);
    SetWindowPos(monitorListView, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // An empty mask applies the whole value: every other extended style is cleared.
    SendMessageW(monitorListView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FLATSB | LVS_EX_FULLROWSELECT | LVS_EX_TRACKSELECT);

    wchar_t heading[260] = {};
    GetLocalizedText("PO_GSTR_ADD_PORT_TYPE", heading, ARRAYSIZE(heading));
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = static_cast<int>(SendMessageW(monitorListView, LVM_GETSTRINGWIDTHW, 0,
                                              reinterpret_cast<LPARAM>(heading))) + 15;
    column.pszText = heading;
    column.iSubItem = 0;
    SendMessageW(monitorListView, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    // The only column: it fills the view's width.
    SendMessageW(monitorListView, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));

    for (int i = 0; i < monitorChoiceList.count; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = monitorChoiceList.names[i];
        SendMessageW(monitorListView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    return 1;
}

int CAddPortDlg::SelectedIndex()
{
    return static_cast<int>(SendMessageW(monitorListView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

int CAddPortDlg::IsSelectionValid()
{
    const int index = SelectedIndex();
    const int items = static_cast<int>(SendMessageW(monitorListView, LVM_GETITEMCOUNT, 0, 0));
    return index >= 0 && index < items;
}

LRESULT CAddPortDlg::OnOK()
{
    if (!IsSelectionValid()) {
        wchar_t text[520] = {};
        ReportToUser(GetLocalizedText("PO_GSTR_MONITOR_SELECT_ERROR", text, ARRAYSIZE(text)), L"ERROR");
        return 0;
    }
    const int index = SelectedIndex();
    EndDialog(m_hWnd, IDOK);
    // The monitor's own interface runs before the modal loop ends; whether it made a port
    // shows in the refill that follows, so its result is not looked at.
    Spooler().addPort(nullptr, mainWindow, monitorChoiceList.names[index]);
    return 0;
}

LRESULT CAddPortDlg::OnCancel()
{
    EndDialog(m_hWnd, IDCANCEL);
    return 0;
}
