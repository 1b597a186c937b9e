// The main dialog's port list, filled from port lists the spooler seam answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spooler/spooler.h"
#include "support/message_boxes.h"
#include "ui/main_dialog.h"

namespace {

std::vector<std::wstring> spoolerPorts;

BOOL WINAPI AnsweredPorts(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    EXPECT_EQ(nullptr, server);
    EXPECT_EQ(2u, level);
    DWORD bytes = 0;
    for (const std::wstring& name : spoolerPorts)
        bytes += sizeof(PORT_INFO_2W) + (name.size() + 1) * sizeof(wchar_t);
    *needed = bytes;
    *returned = 0;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    PORT_INFO_2W* records = reinterpret_cast<PORT_INFO_2W*>(buffer);
    wchar_t* strings = reinterpret_cast<wchar_t*>(records + spoolerPorts.size());
    for (size_t i = 0; i < spoolerPorts.size(); ++i) {
        records[i] = PORT_INFO_2W{};
        records[i].pPortName = strings;
        memcpy(strings, spoolerPorts[i].c_str(), (spoolerPorts[i].size() + 1) * sizeof(wchar_t));
        strings += spoolerPorts[i].size() + 1;
    }
    *returned = static_cast<DWORD>(spoolerPorts.size());
    return TRUE;
}

class PortList : public ::testing::Test {
protected:
    void SetUp() override { Spooler().enumPorts = AnsweredPorts; }
    void TearDown() override
    {
        if (dialog_.m_hWnd)
            DestroyWindow(dialog_.m_hWnd);
        Spooler() = RealSpooler();
    }

    void Open(std::vector<std::wstring> ports)
    {
        spoolerPorts = std::move(ports);
        ASSERT_NE(nullptr, dialog_.Create(nullptr));
    }
    void Refill(std::vector<std::wstring> ports)
    {
        spoolerPorts = std::move(ports);
        dialog_.FillPortList();
    }
    HWND List() { return GetDlgItem(dialog_.m_hWnd, IDC_PORT_LIST); }
    std::vector<std::wstring> Entries()
    {
        std::vector<std::wstring> entries;
        const LRESULT count = SendMessageW(List(), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            const LRESULT length = SendMessageW(List(), CB_GETLBTEXTLEN, i, 0);
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            SendMessageW(List(), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
            text.resize(static_cast<size_t>(length));
            entries.push_back(text);
        }
        return entries;
    }
    std::wstring Shown()
    {
        wchar_t text[1024] = {};
        GetWindowTextW(List(), text, 1024);
        return text;
    }
    void Choose(const wchar_t* port)
    {
        SendMessageW(List(), CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(port));
        SendMessageW(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(List()));
    }

    CMainDlg dialog_;
};

TEST_F(PortList, IsSortedWithUsbPortAddedAndSelectedWhateverTheSpoolersOrder)
{
    Open({L"LPT1:", L"COM1:", L"FILE:"});
    EXPECT_EQ((std::vector<std::wstring>{L"COM1:", L"FILE:", L"LPT1:", L"USB PORT:"}), Entries());
    EXPECT_EQ(L"USB PORT:", Shown());
    EXPECT_EQ(3u, dialog_.PortCount());
}

TEST_F(PortList, ASpoolerUsbPortInLowerCaseIsNeitherDoubledNorMissed)
{
    Open({L"COM1:", L"usb port:"});
    EXPECT_EQ((std::vector<std::wstring>{L"COM1:", L"usb port:"}), Entries());
    EXPECT_EQ(L"usb port:", Shown());
}

TEST_F(PortList, ARefillWithTheSamePortsKeepsTheUsersChoice)
{
    Open({L"COM1:", L"FILE:", L"LPT1:"});
    Choose(L"LPT1:");
    EXPECT_EQ(std::wstring(L"LPT1:"), dialog_.SelectedPort());
    Refill({L"COM1:", L"FILE:", L"LPT1:"});
    EXPECT_EQ(L"LPT1:", Shown());
    EXPECT_EQ(4u, Entries().size());
}

TEST_F(PortList, ARefillSelectsTheRememberedPortByItsWholeNameIgnoringCase)
{
    const std::vector<std::wstring> twoAddresses = {L"192.168.1.100", L"192.168.1.10"};
    const struct {
        std::vector<std::wstring> ports;
        const wchar_t* chosen; // null: none, "USB PORT:" is remembered from the start
        std::vector<std::wstring> refilled;
        const wchar_t* selected;
        LRESULT index;
    } rows[] = {
        // The chosen name begins the next one; a search by prefix from entry 0 took that.
        {twoAddresses, L"192.168.1.10", twoAddresses, L"192.168.1.10", 0},
        {{L"10.0.0.1", L"192.168.1.100", L"192.168.1.10"}, L"192.168.1.10",
         {L"10.0.0.1", L"192.168.1.100", L"192.168.1.10"}, L"192.168.1.10", 1},
        {twoAddresses, L"192.168.1.100", twoAddresses, L"192.168.1.100", 1},
        // The chosen port is gone; the one whose name begins with it is another port.
        {twoAddresses, L"192.168.1.10", {L"192.168.1.100"}, L"", CB_ERR},
        {{L"COM1:", L"usb port:"}, nullptr, {L"COM1:", L"usb port:"}, L"usb port:", 1},
    };
    for (const auto& row : rows) {
        if (dialog_.m_hWnd)
            DestroyWindow(dialog_.m_hWnd);
        Open(row.ports);
        if (row.chosen)
            Choose(row.chosen);
        Refill(row.refilled);
        EXPECT_EQ(row.selected, Shown()) << testing::PrintToString(row.refilled);
        EXPECT_EQ(row.index, SendMessageW(List(), CB_GETCURSEL, 0, 0)) << testing::PrintToString(row.refilled);
    }
}

TEST_F(PortList, AnAddedPortIsSelectedAtTheEndOrInTheMiddleOfTheSpoolersOrder)
{
    Open({L"COM1:", L"FILE:", L"LPT1:"});
    Refill({L"COM1:", L"FILE:", L"LPT1:", L"IP_10.0.0.7"});
    EXPECT_EQ(L"IP_10.0.0.7", Shown());
    Refill({L"COM1:", L"AAA:", L"FILE:", L"LPT1:", L"IP_10.0.0.7"});
    EXPECT_EQ(L"AAA:", Shown());
    EXPECT_EQ(5u, dialog_.PortCount());
}

TEST_F(PortList, AnEmptyRefillKeepsTheLastEnumerationAndOnlyUsbPortIsListed)
{
    Open({L"COM1:", L"LPT1:"});
    Choose(L"LPT1:");
    Refill({});
    EXPECT_EQ(std::vector<std::wstring>{L"USB PORT:"}, Entries());
    // The remembered choice is not in the list: nothing is selected.
    EXPECT_EQ(L"", Shown());
    EXPECT_EQ(2u, dialog_.PortCount());
}

TEST_F(PortList, PortNamesTooLongToInstallAreNotOfferedAndNotSelected)
{
    const std::wstring longName(300, L'P');
    const std::wstring longest(258, L'Q');
    Open({L"COM1:", longest});
    EXPECT_EQ((std::vector<std::wstring>{L"COM1:", longest, L"USB PORT:"}), Entries());
    Refill({L"COM1:", longest, longName});
    EXPECT_EQ((std::vector<std::wstring>{L"COM1:", longest, L"USB PORT:"}), Entries());
    EXPECT_EQ(L"USB PORT:", Shown());
    EXPECT_EQ(3u, dialog_.PortCount());
}

TEST_F(PortList, PortsThatNeedNoConfigurationSaySo)
{
    Open({L"COM1:", L"FILE:", L"LPT1:"});
    for (const wchar_t* port : {L"USB PORT:", L"FILE:"}) {
        Choose(port);
        MessageBoxWatch watch;
        SendMessageW(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_CONFIGURE_PORT, BN_CLICKED), 0);
        ASSERT_EQ(1u, watch.boxes.size()) << testing::PrintToString(port);
        EXPECT_EQ(L"No need configuration", watch.boxes[0].text);
        EXPECT_EQ(L"ERROR", watch.boxes[0].caption);
        EXPECT_EQ(dialog_.m_hWnd, watch.boxes[0].owner);
        EXPECT_TRUE(watch.boxes[0].okAndCancel);
    }
}

} // namespace
