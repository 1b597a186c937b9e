// Which port a refill selects, and whether the spooler already lists "USB PORT:".
#include <gtest/gtest.h>

#include <vector>

#include "ui/main_dialog.h"
#include "ui/port_list.h"

namespace {

std::vector<PORT_INFO_2W> Records(std::vector<const wchar_t*> names)
{
    std::vector<PORT_INFO_2W> records;
    for (const wchar_t* name : names) {
        PORT_INFO_2W record = {};
        record.pPortName = const_cast<wchar_t*>(name);
        records.push_back(record);
    }
    return records;
}

TEST(PortDecisions, TheAddedPortIsTheFirstPositionThatDiffers)
{
    auto before = Records({L"COM1:", L"FILE:", L"LPT1:"});
    EXPECT_EQ(-1, FindAddedPortIndex(before.data(), 3, before.data(), 3));
    auto atEnd = Records({L"COM1:", L"FILE:", L"LPT1:", L"IP_1"});
    EXPECT_EQ(3, FindAddedPortIndex(before.data(), 3, atEnd.data(), 4));
    auto inMiddle = Records({L"COM1:", L"COM2:", L"FILE:", L"LPT1:"});
    EXPECT_EQ(1, FindAddedPortIndex(before.data(), 3, inMiddle.data(), 4));
    // The comparison minds case: a renamed port counts as new.
    auto renamed = Records({L"com1:", L"FILE:", L"LPT1:"});
    EXPECT_EQ(0, FindAddedPortIndex(before.data(), 3, renamed.data(), 3));
    // A shorter list that agrees as far as it goes adds nothing.
    EXPECT_EQ(-1, FindAddedPortIndex(before.data(), 3, before.data(), 2));
    EXPECT_EQ(0, FindAddedPortIndex(nullptr, 0, before.data(), 3));
}

TEST(PortDecisions, UsbPortIsFoundIgnoringCaseAsAWholeName)
{
    auto lower = Records({L"COM1:", L"usb port:"});
    EXPECT_EQ(1, CMainDlg::HasUsbPort(lower.data(), 2));
    auto longer = Records({L"USB PORT:2", L"USB PORT"});
    EXPECT_EQ(0, CMainDlg::HasUsbPort(longer.data(), 2));
    EXPECT_EQ(0, CMainDlg::HasUsbPort(nullptr, 5));
    auto unnamed = Records({nullptr});
    EXPECT_EQ(0, CMainDlg::HasUsbPort(unnamed.data(), 1));
}

} // namespace
