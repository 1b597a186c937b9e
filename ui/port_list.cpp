#include "ui/port_list.h"

#include <stdlib.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "system/user_report.h"
#include "ui/main_dialog.h"
#include "ui/port_config.h"

static const wchar_t* NameOf(const PORT_INFO_2W& record)
{
    return record.pPortName ? record.pPortName : L"";
}

long FindAddedPortIndex(const PORT_INFO_2W* previous, DWORD previousCount, const PORT_INFO_2W* current,
                        DWORD currentCount)
{
    for (DWORD index = 0; index < currentCount; ++index) {
        if (index >= previousCount || lstrcmpW(NameOf(current[index]), NameOf(previous[index])) != 0)
            return static_cast<long>(index);
    }
    return -1;
}

static int FitsTheList(const wchar_t* name)
{
    size_t length = 0;
    return SUCCEEDED(StringCchLengthW(name, kLongestUsablePortName + 1, &length));
}

void CMainDlg::FillPortList()
{
    DWORD count = 0;
    PORT_INFO_2W* fresh = EnumeratePorts(&count);
    ClearPortList();
    if (!HasUsbPort(fresh, count))
        SendMessageW(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kUsbPortName));
    for (DWORD index = 0; index < count; ++index) {
        // A name longer than Install can read would be installed under a cut, wrong name.
        if (FitsTheList(NameOf(fresh[index])))
            SendMessageW(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(NameOf(fresh[index])));
    }
    if (!ports)
        StringCchCopyW(selectedPort, 260, kUsbPortName);
    if (fresh) {
        if (ports) {
            FindAddedPort(fresh, count);
            free(ports);
        }
        ports = fresh;
        portCount = count;
    }
    // The whole name, ignoring case as the list does: a search by prefix would take
    // "192.168.1.100" for "192.168.1.10". A name not listed leaves no selection.
    const LRESULT entry =
        SendMessageW(portList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(selectedPort));
    SendMessageW(portList, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
}

void CMainDlg::ClearPortList()
{
    const LRESULT entries = SendMessageW(portList, CB_GETCOUNT, 0, 0);
    for (LRESULT entry = 0; entry < entries; ++entry)
        SendMessageW(portList, CB_DELETESTRING, 0, 0);
}

int CMainDlg::HasUsbPort(const PORT_INFO_2W* records, DWORD count)
{
    return ListsUsbPort(records, count);
}

void CMainDlg::FindAddedPort(const PORT_INFO_2W* records, DWORD count)
{
    const long added = FindAddedPortIndex(ports, portCount, records, count);
    // A port the list does not offer cannot be selected; the previous choice stays.
    if (added >= 0 && FitsTheList(NameOf(records[added])))
        StringCchCopyW(selectedPort, 260, NameOf(records[added]));
}

void CMainDlg::OnPortChanged()
{
    GetWindowTextW(portList, selectedPort, 260);
}

void CMainDlg::OnConfigurePort()
{
    if (!ports || portCount == 0)
        return;
    wchar_t port[260] = {};
    GetWindowTextW(portList, port, 260);
    if (IsComPort(port)) {
        ConfigureComPort(port);
    } else if (IsLptPort(port)) {
        ConfigureLptPort(port);
    } else {
        wchar_t text[520] = {};
        ReportToUser(GetLocalizedText("PO_GSTR_CANNOT_CONFIG_PORT", text, 520), L"ERROR");
    }
}
