// The Add Port dialog from template 202, opened from a real main dialog: the monitors it
// offers (through the spooler seam), its texts and styles, and with the sample monitor
// installed in Wine, a port created through the monitor's own dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "support/message_boxes.h"
#include "support/wine_support.h"
#include "ui/add_port_dialog.h"
#include "ui/main_dialog.h"

namespace {

// The edit of the sample monitor's own dialog that takes the new port's name.
const int kMonitorPortNameEdit = 100;

std::vector<std::wstring> spoolerMonitors;

BOOL WINAPI AnsweredMonitors(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    EXPECT_EQ(nullptr, server);
    EXPECT_EQ(2u, level);
    DWORD bytes = 0;
    for (const std::wstring& name : spoolerMonitors)
        bytes += sizeof(MONITOR_INFO_2W) + (name.size() + 1) * sizeof(wchar_t);
    *needed = bytes;
    *returned = 0;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    MONITOR_INFO_2W* records = reinterpret_cast<MONITOR_INFO_2W*>(buffer);
    wchar_t* strings = reinterpret_cast<wchar_t*>(records + spoolerMonitors.size());
    for (size_t i = 0; i < spoolerMonitors.size(); ++i) {
        records[i] = MONITOR_INFO_2W{};
        records[i].pName = strings;
        memcpy(strings, spoolerMonitors[i].c_str(), (spoolerMonitors[i].size() + 1) * sizeof(wchar_t));
        strings += spoolerMonitors[i].size() + 1;
    }
    *returned = static_cast<DWORD>(spoolerMonitors.size());
    return TRUE;
}

BOOL WINAPI NoMonitorData(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    *needed = 0;
    *returned = 0;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
}

int portQueries;

BOOL WINAPI CountedPorts(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    ++portQueries;
    return RealSpooler().enumPorts(server, level, buffer, size, needed, returned);
}

struct AddPortCall {
    LPWSTR server;
    HWND owner;
    std::wstring monitor;
    bool addPortDialogStillOpen;
};
std::vector<AddPortCall> addPortCalls;
HWND addPortDialog;

BOOL WINAPI RecordedAddPort(LPWSTR server, HWND owner, LPWSTR monitor)
{
    addPortCalls.push_back({server, owner, monitor, IsWindow(addPortDialog) != FALSE});
    SetLastError(ERROR_CANCELLED);
    return FALSE;
}

HWND MonitorList(HWND dialog)
{
    return GetDlgItem(dialog, IDC_MONITOR_LIST);
}

bool IsAddPortDialog(HWND dialog)
{
    return MonitorList(dialog) != nullptr;
}

std::vector<std::wstring> Items(HWND dialog)
{
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(MonitorList(dialog), LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[1024] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = 1024;
        SendMessageW(MonitorList(dialog), LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        items.push_back(text);
    }
    return items;
}

void Select(HWND dialog, const wchar_t* monitor)
{
    const std::vector<std::wstring> items = Items(dialog);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] != monitor)
            continue;
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(MonitorList(dialog), LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
        return;
    }
    ADD_FAILURE() << "not offered: " << testing::PrintToString(std::wstring(monitor));
}

class AddPortDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        addPortCalls.clear();
        addPortDialog = nullptr;
        portQueries = 0;
        ASSERT_NE(nullptr, main_.Create(nullptr));
        SetForegroundWindow(main_.m_hWnd);
    }
    void TearDown() override
    {
        if (main_.m_hWnd)
            DestroyWindow(main_.m_hWnd);
        Spooler() = RealSpooler();
    }

    void PressAddPort()
    {
        SendMessageW(main_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_ADD_PORT, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(main_.m_hWnd, IDC_ADD_PORT)));
    }
    // The monitors the dialog offers when the spooler lists these.
    std::vector<std::wstring> OfferedFor(std::vector<std::wstring> monitors)
    {
        spoolerMonitors = std::move(monitors);
        Spooler().enumMonitors = AnsweredMonitors;
        std::vector<std::wstring> offered;
        MessageBoxWatch watch;
        watch.onDialog = [&](HWND dialog) {
            offered = Items(dialog);
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        };
        PressAddPort();
        EXPECT_EQ(1u, watch.dialogs.size());
        return offered;
    }
    std::wstring PortShown() { return TextOf(GetDlgItem(main_.m_hWnd, IDC_PORT_LIST)); }
    void ChoosePort(const wchar_t* port)
    {
        HWND list = GetDlgItem(main_.m_hWnd, IDC_PORT_LIST);
        SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(port));
        SendMessageW(main_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }

    CMainDlg main_;
};

TEST_F(AddPortDialog, OffersOnlyTcpIpAndUsbPrinterMonitorsAtMostEightInTheSpoolersOrder)
{
    EXPECT_EQ((std::vector<std::wstring>{L"Standard TCP/IP Port", L"USB Printer Monitor"}),
              OfferedFor({L"Local Port", L"Standard TCP/IP Port", L"USB Monitor", L"USB Printer Monitor"}));

    std::vector<std::wstring> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back(L"Acme TCP/IP " + std::to_wstring(i));
    EXPECT_EQ(std::vector<std::wstring>(ten.begin(), ten.begin() + 8), OfferedFor(ten));

    const std::wstring tooLong = std::wstring(294, L'T') + L"TCP/IP";
    EXPECT_EQ(std::vector<std::wstring>{L"USB Printer Monitor"},
              OfferedFor({L"Standard tcp/ip Port", tooLong, L"USB Printer Monitor"}));
}

TEST_F(AddPortDialog, WhenTheSpoolerGivesNoSizeNoDialogOpensAndThePortsAreNotRead)
{
    Spooler().enumMonitors = NoMonitorData;
    Spooler().enumPorts = CountedPorts;
    MessageBoxWatch watch;
    PressAddPort();
    EXPECT_TRUE(watch.dialogs.empty());
    EXPECT_TRUE(watch.boxes.empty());
    EXPECT_EQ(0, portQueries);
}

TEST_F(AddPortDialog, OpensOverTheMainDialogWithItsTextsAndASingleSelectionReportView)
{
    SetWindowPos(main_.m_hWnd, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    spoolerMonitors = {L"Standard TCP/IP Port"};
    Spooler().enumMonitors = AnsweredMonitors;
    MessageBoxWatch watch;
    watch.onDialog = [&](HWND dialog) {
        EXPECT_EQ(main_.m_hWnd, GetWindow(dialog, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(main_.m_hWnd));
        EXPECT_EQ(L"Add Port", TextOf(dialog));
        EXPECT_EQ(L"OK", TextOf(GetDlgItem(dialog, IDOK)));
        EXPECT_EQ(L"CANCEL", TextOf(GetDlgItem(dialog, IDCANCEL)));

        RECT owner = {}, window = {};
        GetWindowRect(main_.m_hWnd, &owner);
        GetWindowRect(dialog, &window);
        EXPECT_NEAR((owner.left + owner.right) / 2, (window.left + window.right) / 2, 1);
        EXPECT_NEAR((owner.top + owner.bottom) / 2, (window.top + window.bottom) / 2, 1);

        HWND list = MonitorList(dialog);
        EXPECT_EQ(0x50000005u, static_cast<DWORD>(GetWindowLongW(list, GWL_STYLE)));
        EXPECT_EQ(0x128u, static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)));
        wchar_t heading[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_FMT;
        column.pszText = heading;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(std::wstring(L"Available port types"), heading);
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
        EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column)));
        // The only column spans the view.
        RECT client = {};
        GetClientRect(list, &client);
        EXPECT_EQ(client.right, SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
        EXPECT_EQ(std::vector<std::wstring>{L"Standard TCP/IP Port"}, Items(dialog));
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    PressAddPort();
    EXPECT_EQ(1u, watch.dialogs.size());
}

TEST_F(AddPortDialog, OkWithoutASelectionAsksForOneInABoxOfTheMainDialogAndStaysOpen)
{
    spoolerMonitors = {L"Standard TCP/IP Port", L"USB Printer Monitor"};
    Spooler().enumMonitors = AnsweredMonitors;
    Spooler().addPort = RecordedAddPort;
    MessageBoxWatch watch;
    watch.onDialog = [&](HWND dialog) {
        // The watch may come before the modal loop first shows the dialog; ending it would
        // hide it again.
        ShowWindow(dialog, SW_SHOW);
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindowVisible(dialog));
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    PressAddPort();
    ASSERT_EQ(1u, watch.boxes.size());
    EXPECT_EQ(L"Please select a port type", watch.boxes[0].text);
    EXPECT_EQ(L"ERROR", watch.boxes[0].caption);
    EXPECT_EQ(main_.m_hWnd, watch.boxes[0].owner);
    EXPECT_TRUE(watch.boxes[0].okAndCancel);
    EXPECT_TRUE(addPortCalls.empty());
}

TEST_F(AddPortDialog, OkHandsTheChosenMonitorToAddPortOwnedByTheMainDialogAndEndsWithOne)
{
    spoolerMonitors = {L"Standard TCP/IP Port", L"Local Port", L"USB Printer Monitor"};
    Spooler().enumMonitors = AnsweredMonitors;
    Spooler().addPort = RecordedAddPort;
    MonitorChoiceList& list = monitorChoiceList;
    ZeroMemory(&list, sizeof(list));
    ASSERT_EQ(1, FillMonitorChoiceList(&list));
    MessageBoxWatch watch;
    watch.onDialog = [&](HWND dialog) {
        addPortDialog = dialog;
        Select(dialog, L"USB Printer Monitor");
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    };
    CAddPortDlg dialog;
    EXPECT_EQ(1, dialog.DoModal(main_.m_hWnd));
    ASSERT_EQ(1u, addPortCalls.size());
    EXPECT_EQ(nullptr, addPortCalls[0].server);
    EXPECT_EQ(main_.m_hWnd, addPortCalls[0].owner);
    EXPECT_EQ(L"USB Printer Monitor", addPortCalls[0].monitor);
    // The monitor's interface runs while the dialog's modal loop has not yet ended.
    EXPECT_TRUE(addPortCalls[0].addPortDialogStillOpen);
    EXPECT_TRUE(watch.boxes.empty());
}

TEST_F(AddPortDialog, CancelEscapeAndTheCloseBoxEndWithTwo)
{
    spoolerMonitors = {L"USB Printer Monitor"};
    Spooler().enumMonitors = AnsweredMonitors;
    Spooler().addPort = RecordedAddPort;
    ZeroMemory(&monitorChoiceList, sizeof(monitorChoiceList));
    ASSERT_EQ(1, FillMonitorChoiceList(&monitorChoiceList));
    for (UINT message : {WM_COMMAND, WM_CLOSE}) {
        MessageBoxWatch watch;
        watch.onDialog = [&](HWND dialog) {
            Select(dialog, L"USB Printer Monitor");
            if (message == WM_COMMAND)
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            else
                SendMessageW(dialog, WM_CLOSE, 0, 0);
        };
        CAddPortDlg dialog;
        EXPECT_EQ(2, dialog.DoModal(main_.m_hWnd));
    }
    EXPECT_TRUE(addPortCalls.empty());
}

// With the sample monitor pair installed in this prefix, Wine's AddPortW shows the monitor's
// own dialog, which creates the port the refill then finds.
class AddPortOnWine : public AddPortDialog {
protected:
    static void SetUpTestSuite()
    {
        if (MonitorRegistered(kUsbMonitorName))
            return;
        PlaceMonitorDlls();
        ASSERT_TRUE(AddFixtureMonitorAndPort());
    }
    std::vector<std::wstring> SpoolerPorts()
    {
        std::vector<std::wstring> names;
        DWORD needed = 0, count = 0;
        EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed + 16);
        if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count))
            return names;
        for (DWORD i = 0; i < count; ++i)
            names.push_back(reinterpret_cast<const PORT_INFO_1W*>(buffer.data())[i].pName);
        return names;
    }
};

TEST_F(AddPortOnWine, TheMonitorsDialogCreatesAPortThatIsListedAndSelected)
{
    HWND monitorDialogOwner = nullptr;
    std::vector<std::wstring> offered;
    MessageBoxWatch watch;
    watch.onDialog = [&](HWND dialog) {
        if (IsAddPortDialog(dialog)) {
            offered = Items(dialog);
            Select(dialog, kUsbMonitorName);
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        } else {
            monitorDialogOwner = GetWindow(dialog, GW_OWNER);
            SetDlgItemTextW(dialog, kMonitorPortNameEdit, L"USB002");
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
    };
    PressAddPort();

    // Wine lists "Local Port" and the sample monitor; only the latter is offered.
    EXPECT_EQ(std::vector<std::wstring>{kUsbMonitorName}, offered);
    ASSERT_EQ(2u, watch.dialogs.size());
    EXPECT_EQ(main_.m_hWnd, monitorDialogOwner);
    EXPECT_TRUE(watch.boxes.empty());
    const std::vector<std::wstring> ports = SpoolerPorts();
    EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), L"USB002"));
    EXPECT_EQ(L"USB002", PortShown());
    EXPECT_EQ(std::wstring(L"USB002"), main_.SelectedPort());
    EXPECT_EQ(ports.size(), main_.PortCount());
}

TEST_F(AddPortOnWine, CancelInEitherDialogAddsNoPortAndKeepsTheChosenPort)
{
    ChoosePort(L"LPT1:");
    const std::vector<std::wstring> before = SpoolerPorts();
    for (bool inMonitorsDialog : {false, true}) {
        Spooler().enumPorts = CountedPorts;
        portQueries = 0;
        MessageBoxWatch watch;
        watch.onDialog = [&](HWND dialog) {
            if (IsAddPortDialog(dialog) && inMonitorsDialog) {
                Select(dialog, kUsbMonitorName);
                SendMessageW(dialog, WM_COMMAND, IDOK, 0);
            } else {
                // A name typed into the monitor's dialog, then cancelled.
                if (!IsAddPortDialog(dialog))
                    SetDlgItemTextW(dialog, kMonitorPortNameEdit, L"USB009");
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        };
        PressAddPort();
        EXPECT_EQ(inMonitorsDialog ? 2u : 1u, watch.dialogs.size());
        EXPECT_TRUE(watch.boxes.empty());
        // Refilled, with the same ports and the user's choice.
        EXPECT_LT(0, portQueries);
        EXPECT_EQ(before, SpoolerPorts());
        EXPECT_EQ(L"LPT1:", PortShown());
        EXPECT_EQ(std::wstring(L"LPT1:"), main_.SelectedPort());
    }
}

}  // namespace
