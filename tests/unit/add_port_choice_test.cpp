// Which monitors the Add Port dialog offers, and where the dialog goes on the screen.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "ui/add_port_dialog.h"

namespace {

// Level-2 records naming the given monitors; the strings live in the caller's vector.
std::vector<MONITOR_INFO_2W> Records(std::vector<std::wstring>& names)
{
    std::vector<MONITOR_INFO_2W> records;
    for (std::wstring& name : names)
        records.push_back({&name[0], const_cast<wchar_t*>(L"Windows NT x86"), const_cast<wchar_t*>(L"some.dll")});
    return records;
}

std::vector<std::wstring> Offered(std::vector<std::wstring> names, MonitorChoiceList* list)
{
    std::vector<MONITOR_INFO_2W> records = Records(names);
    ChooseMonitors(records.data(), static_cast<DWORD>(records.size()), list);
    std::vector<std::wstring> offered;
    for (int i = 0; i < list->count; ++i)
        offered.push_back(list->names[i]);
    return offered;
}

std::vector<std::wstring> Offered(std::vector<std::wstring> names)
{
    MonitorChoiceList list = {};
    return Offered(std::move(names), &list);
}

}  // namespace

TEST(AddPortChoice, OffersTcpIpAndUsbPrinterMonitorsInTheSpoolersOrder)
{
    EXPECT_EQ((std::vector<std::wstring>{L"Standard TCP/IP Port", L"USB Printer Monitor"}),
              Offered({L"Local Port", L"Standard TCP/IP Port", L"USB Monitor", L"USB Printer Monitor"}));
    EXPECT_EQ((std::vector<std::wstring>{L"USB Printer Monitor", L"Acme TCP/IP"}),
              Offered({L"USB Printer Monitor", L"Local Port", L"Acme TCP/IP"}));
    // A part of a longer name is enough.
    EXPECT_EQ((std::vector<std::wstring>{L"Acme USB Printer Monitor v2"}), Offered({L"Acme USB Printer Monitor v2"}));
}

TEST(AddPortChoice, MatchesCaseSensitively)
{
    EXPECT_TRUE(Offered({L"Standard tcp/ip Port", L"Tcp/Ip", L"usb printer monitor", L"USB printer Monitor"}).empty());
}

TEST(AddPortChoice, OffersTheFirstEightOfTenInOrder)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < 10; ++i)
        names.push_back(L"TCP/IP " + std::to_wstring(i));
    const std::vector<std::wstring> offered = Offered(names);
    EXPECT_EQ(std::vector<std::wstring>(names.begin(), names.begin() + 8), offered);
}

TEST(AddPortChoice, SkipsNamesThatDoNotFitAnEntryWithoutWritingPastIt)
{
    const std::wstring longest = std::wstring(253, L'x') + L"TCP/IP";  // 259 characters
    const std::wstring tooLong = std::wstring(254, L'x') + L"TCP/IP";  // 260
    const std::wstring farTooLong = std::wstring(294, L'y') + L"TCP/IP";  // 300
    MonitorChoiceList list;
    memset(&list, 0xAB, sizeof(list));
    list.count = 0;

    const std::vector<std::wstring> offered = Offered({tooLong, farTooLong, longest, L"USB Printer Monitor"}, &list);

    // The skipped names take no place, and the 259-character name is offered whole.
    EXPECT_EQ((std::vector<std::wstring>{longest, L"USB Printer Monitor"}), offered);
    EXPECT_EQ(0xABABu, static_cast<unsigned>(list.names[2][0]));
}

TEST(AddPortPlacement, CentresOverTheOwnerInsideTheWorkArea)
{
    const RECT workArea = {0, 0, 1024, 768};
    POINT at = CentredPosition({200, 100}, RECT{100, 100, 500, 400}, workArea);
    EXPECT_EQ(200, at.x);
    EXPECT_EQ(200, at.y);

    // An owner near an edge: the dialog is moved back inside.
    at = CentredPosition({200, 100}, RECT{900, 700, 1100, 800}, workArea);
    EXPECT_EQ(824, at.x);
    EXPECT_EQ(668, at.y);
    at = CentredPosition({200, 100}, RECT{-150, -80, 50, 20}, workArea);
    EXPECT_EQ(0, at.x);
    EXPECT_EQ(0, at.y);
}

TEST(AddPortPlacement, KeepsTheTopLeftCornerInAWorkAreaThatDoesNotStartAtZero)
{
    // A work area below a task bar at the top, and a window larger than it.
    const RECT workArea = {0, 40, 800, 600};
    const POINT at = CentredPosition({1000, 700}, workArea, workArea);
    EXPECT_EQ(0, at.x);
    EXPECT_EQ(40, at.y);
    const POINT centred = CentredPosition({200, 100}, workArea, workArea);
    EXPECT_EQ(300, centred.x);
    EXPECT_EQ(270, centred.y);
}
