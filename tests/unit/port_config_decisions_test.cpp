// What port configuration decides on data alone: which ports are configured how, the COM
// device name, the registry text kept, the timeout's parse and its range.
#include <gtest/gtest.h>

#include <limits.h>

#include <string>

#include "ui/port_config.h"

namespace {

TEST(PortConfigNames, NeedThePrefixInAnyCaseAndATrailingColon)
{
    for (const wchar_t* name : {L"COM1:", L"com1:", L"CoM10:", L"COM:", L"COM1 and more:"})
        EXPECT_EQ(1, IsComPort(name)) << name;
    for (const wchar_t* name : {L"COM1", L"FILE:", L"USB PORT:", L"USB001", L"LPT1:", L"CO:", L"C", L"", L"XCOM1:"})
        EXPECT_EQ(0, IsComPort(name)) << name;

    for (const wchar_t* name : {L"LPT1:", L"lpt3:", L"LPT:"})
        EXPECT_EQ(1, IsLptPort(name)) << name;
    for (const wchar_t* name : {L"LPT1", L"COM1:", L"LP:", L"L", L""})
        EXPECT_EQ(0, IsLptPort(name)) << name;
}

TEST(PortConfigDeviceName, DropsOneTrailingColonAndRefusesWhatDoesNotFit)
{
    wchar_t device[32];
    ASSERT_EQ(1, ComDeviceName(L"com3:", device, 32));
    EXPECT_STREQ(L"com3", device);
    ASSERT_EQ(1, ComDeviceName(L"COM1", device, 32));
    EXPECT_STREQ(L"COM1", device);
    ASSERT_EQ(1, ComDeviceName(L"COM1::", device, 32));
    EXPECT_STREQ(L"COM1:", device);

    // 31 characters fit beside the terminator, 32 do not, colon or no colon.
    std::wstring longest = L"COM" + std::wstring(28, L'7');
    ASSERT_EQ(1, ComDeviceName((longest + L":").c_str(), device, 32));
    EXPECT_EQ(longest, device);
    for (const std::wstring& name : {longest + L"7:", longest + L"7", std::wstring(300, L'C') + L":"}) {
        wchar_t guarded[34];
        wmemset(guarded, L'#', 34);
        SetLastError(0);
        EXPECT_EQ(0, ComDeviceName(name.c_str(), guarded + 1, 32));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
        EXPECT_STREQ(L"", guarded + 1);
        EXPECT_EQ(L'#', guarded[0]);
        EXPECT_EQ(L'#', guarded[33]);
    }
}

// A buffer as RegQueryValueExW would leave it: the bytes of data, then what was there.
struct Queried {
    wchar_t buffer[10];
    explicit Queried(const wchar_t* data)
    {
        wmemset(buffer, L'x', 10);
        wmemcpy(buffer, data, wcslen(data));
    }
};

TEST(PortConfigRegistryText, KeepsAStringThatFitsAndNothingElse)
{
    Queried terminated(L"90");
    terminated.buffer[2] = L'\0';
    EXPECT_EQ(1, KeepStringValue(ERROR_SUCCESS, REG_SZ, 6, terminated.buffer, 10));
    EXPECT_STREQ(L"90", terminated.buffer);

    // Stored without its terminator: one is added after the data, not after what followed.
    Queried bare(L"90");
    EXPECT_EQ(1, KeepStringValue(ERROR_SUCCESS, REG_SZ, 4, bare.buffer, 10));
    EXPECT_STREQ(L"90", bare.buffer);
    Queried odd(L"905");
    EXPECT_EQ(1, KeepStringValue(ERROR_SUCCESS, REG_SZ, 5, odd.buffer, 10));
    EXPECT_STREQ(L"90", odd.buffer);
    Queried nine(L"123456789");
    EXPECT_EQ(1, KeepStringValue(ERROR_SUCCESS, REG_SZ, 18, nine.buffer, 10));
    EXPECT_STREQ(L"123456789", nine.buffer);

    Queried empty(L"");
    EXPECT_EQ(1, KeepStringValue(ERROR_SUCCESS, REG_SZ, 0, empty.buffer, 10));
    EXPECT_STREQ(L"", empty.buffer);

    struct Case {
        LONG status;
        DWORD type;
        DWORD bytes;
    } refused[] = {
        {ERROR_SUCCESS, REG_SZ, 20},          // fills the buffer, no room for a terminator
        {ERROR_MORE_DATA, REG_SZ, 4000},      // longer than the buffer
        {ERROR_SUCCESS, REG_DWORD, 4},
        {ERROR_SUCCESS, REG_EXPAND_SZ, 6},
        {ERROR_SUCCESS, REG_BINARY, 6},
        {ERROR_FILE_NOT_FOUND, REG_NONE, 20}, // missing
        {ERROR_SUCCESS, REG_SZ, 4000},        // a count past the buffer is not believed
    };
    for (const Case& c : refused) {
        Queried queried(L"123456789");
        queried.buffer[9] = L'7';
        EXPECT_EQ(0, KeepStringValue(c.status, c.type, c.bytes, queried.buffer, 10)) << c.type << " " << c.bytes;
        for (wchar_t unit : queried.buffer)
            EXPECT_EQ(L'\0', unit);
    }
}

TEST(PortConfigTimeoutText, ReadsLikeADecimalNumberWithLimits)
{
    struct Case {
        const wchar_t* text;
        int value;
    } cases[] = {
        {L"90", 90},
        {L"045", 45},
        {L"", 0},
        {L"   ", 0},
        {L"abc", 0},
        {L"-", 0},
        {L"+", 0},
        {L" \t\r\n\v\f12", 12},
        {L"12 34", 12},
        {L"120s", 120},
        {L"+7", 7},
        {L"-5", -5},
        {L"--5", 0},
        {L"- 5", 0},
        {L"2147483647", INT_MAX},
        {L"2147483648", INT_MAX},
        {L"99999999999999999999999999", INT_MAX},
        {L"-2147483648", INT_MIN},
        {L"-2147483649", INT_MIN},
        {L"-99999999999999999999999999", INT_MIN},
        {L"00000000000000000000000000042", 42},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, ParseDecimal(c.text)) << c.text;
}

TEST(PortConfigTimeoutRange, AcceptsOneTo999999)
{
    for (UINT value : {1u, 90u, 999999u})
        EXPECT_EQ(1, IsAcceptedTimeout(value)) << value;
    // Too large, and too large to be positive when taken as signed.
    for (UINT value : {0u, 1000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(0, IsAcceptedTimeout(value)) << value;
}

} // namespace
