#pragma once
#include <windows.h>
#include <winspool.h>

#include "app/dialog_impl.h"
#include "ui/add_port_dialog_ids.h"

// The monitors the Add Port dialog offers, in the spooler's order; the dialog's item index
// is the entry index.
struct MonitorChoiceList {
    wchar_t names[8][260];
    int count;
};

// Cleared and filled at every press of Add Port, read by the dialog.
extern MonitorChoiceList monitorChoiceList;

// Appends to the list, in order, each record whose name contains "TCP/IP" or else
// "USB Printer Monitor" (case-sensitive), until the list holds 8.
void ChooseMonitors(const MONITOR_INFO_2W* records, DWORD count, MonitorChoiceList* list);

// Asks the spooler for its monitors and chooses among them. 0 when the spooler reports no
// size (ERROR_NO_DATA) or memory runs out; the list is then untouched.
int FillMonitorChoiceList(MonitorChoiceList* list);

// Where a window of this size goes: centred over the given rectangle, then moved to lie
// inside the work area where it can.
POINT CentredPosition(SIZE window, const RECT& over, const RECT& workArea);

// Template 202: the user picks one of the offered monitors, whose own add-port interface
// then runs, owned by the main window.
class CAddPortDlg : public CDialogImpl<CAddPortDlg> {
public:
    enum { IDD = IDD_ADD_PORT_DIALOG };

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    int InitMonitorListView();
    int IsSelectionValid();

private:
    LRESULT OnInitDialog();
    LRESULT OnOK();
    LRESULT OnCancel();
    void CentreOverOwner();
    int SelectedIndex();

    HWND monitorListView = nullptr;
};
