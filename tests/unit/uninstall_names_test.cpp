#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include "install/uninstall.h"

TEST(ModelDriverName, OnlyTheAsciiLettersFoldCase)
{
    EXPECT_EQ(1, isModelDriverName(L"KR-620"));
    EXPECT_EQ(1, isModelDriverName(L"kr-620"));
    EXPECT_EQ(1, isModelDriverName(L"Kr-620"));
    EXPECT_EQ(0, isModelDriverName(L"KR-620 "));
    EXPECT_EQ(0, isModelDriverName(L"KR-62"));
    EXPECT_EQ(0, isModelDriverName(L"KR-6200"));
    EXPECT_EQ(0, isModelDriverName(L"KR_620"));
    EXPECT_EQ(0, isModelDriverName(L""));
    EXPECT_EQ(0, isModelDriverName(nullptr));
    // Full-width letters are other characters, not other cases.
    EXPECT_EQ(0, isModelDriverName(L"\xFF2B\xFF32-620"));
    // Letters just outside A-Z and a-z, which a careless fold would confuse.
    EXPECT_EQ(0, isModelDriverName(L"K\x12-620"));
    EXPECT_EQ(0, isModelDriverName(L"kr\r620"));
}

TEST(PrinterConnection, IsANetworkPrinterThatIsNotLocal)
{
    const struct {
        DWORD attributes;
        int connection;
    } rows[] = {
        {PRINTER_ATTRIBUTE_NETWORK, 1},
        {PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_ENABLE_BIDI, 1},
        {PRINTER_ATTRIBUTE_LOCAL, 0},
        {PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED, 0},
        // A printer of this machine whose port is another machine's share.
        {PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_NETWORK, 0},
        {0, 0},
        {PRINTER_ATTRIBUTE_SHARED, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.connection, isPrinterConnection(row.attributes)) << std::hex << row.attributes;
}
