// Which port a refill selects, whether the spooler already lists "USB PORT:", and the port a
// printer's address is given.
#include <gtest/gtest.h>

#include <vector>

#include "spooler/tcp_port.h"
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

TEST(PortDecisions, AnAddressIsADottedQuadWithAnOptionalPortNumberAndNoLeadingZero)
{
    const struct {
        const wchar_t* text;
        PortAddressReading reading;
        DWORD port; // 0: the record zeroed
    } cases[] = {
        {L"192.168.1.50", kAddressGood, 9100}, {L"0.0.0.0:65535", kAddressGood, 65535},
        {L"255.255.255.255:1", kAddressGood, 1}, {L"192.168.1", kAddressBad, 0}, {L"1.2.3.4.5", kAddressBad, 0},
        {L"256.1.1.1", kAddressBad, 0}, {L"1.2.3.4:0", kAddressBad, 0}, {L"1.2.3.4:65536", kAddressBad, 0},
        // 2^32 + 9100, which a number read without a limit would wrap round to.
        {L"1.2.3.4:4294976396", kAddressBad, 0}, {L"1.2.3.4:", kAddressBad, 0}, {L"1.2.03.4", kAddressBad, 0},
        {L"1.2.3.4:09100", kAddressBad, 0}, {L"LPT1:", kNotAnAddress, 0}, {L"IP_192.168.1.50", kNotAnAddress, 0},
    };
    for (const auto& c : cases) {
        PORT_DATA_1 data;
        memset(&data, 0xA5, sizeof(data));
        EXPECT_EQ(c.reading, ReadPortAddress(c.text, &data)) << c.text;
        EXPECT_EQ(c.port, data.dwPortNumber) << c.text;
    }
    // Another address's port, or the value as typed, is no port of this address.
    PORT_DATA_1 data;
    ASSERT_EQ(kAddressGood, ReadPortAddress(L"10.0.0.7:515", &data));
    for (const wchar_t* listed : {L"IP_10.0.0.70", L"10.0.0.7:515", static_cast<const wchar_t*>(nullptr)})
        EXPECT_EQ(0, IsPortOfAddress(listed, &data));
}

} // namespace
