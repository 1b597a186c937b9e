#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(PrinterConnection, IsANetworkPrinterOfAServer)
{
    const struct {
        DWORD attributes;
        const wchar_t* server;
        int connection;
    } rows[] = {
        {PRINTER_ATTRIBUTE_NETWORK, L"\\\\till", 1},
        {PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_ENABLE_BIDI, L"\\\\till", 1},
        {PRINTER_ATTRIBUTE_LOCAL, nullptr, 0},
        {PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED, nullptr, 0},
        // A printer of this machine whose port is another machine's share.
        {PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_NETWORK, nullptr, 0},
        // Marked neither way, as some spoolers list a printer of this machine: no server has it.
        {0, nullptr, 0},
        {PRINTER_ATTRIBUTE_NETWORK, L"", 0},
        // A connection the spooler marks local as well is still another machine's printer.
        {PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_LOCAL, L"\\\\till", 1},
        {PRINTER_ATTRIBUTE_SHARED, nullptr, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.connection, isPrinterConnection(row.attributes, row.server)) << std::hex << row.attributes;
}

TEST(PendingRename, IsTheLastOperationOnThePathAndCountsOnlyWholePairs)
{
    const wchar_t dll[] = L"C:\\windows\\system32\\ZelvokUSBMon.dll";
    const std::wstring temporary = L"\\??\\C:\\windows\\system32\\Zel1.tmp";
    const std::wstring replace = L"!\\??\\c:\\WINDOWS\\system32\\ZelvokUSBMon.dll";
    const std::wstring file = L"\\??\\C:\\windows\\system32\\ZelvokUSBMon.dll";
    const std::wstring other = L"!\\??\\C:\\windows\\system32\\ZelvokUSBMonUI.dll";
    const struct {
        const char* what;
        std::vector<std::wstring> names;
        int pending;
    } rows[] = {
        {"a rename over the file", {temporary, replace}, 1},
        {"then its deletion", {temporary, replace, file, L""}, 0},
        {"then a move elsewhere", {temporary, replace, file, L"\\??\\C:\\old.dll"}, 0},
        {"another file's rename", {temporary, other}, 0},
        {"a deletion only", {file, L""}, 0},
        {"an empty list", {}, 0},
    };
    for (const auto& row : rows) {
        // Each name with its terminator, and the empty name that ends the list.
        std::wstring operations;
        for (const std::wstring& name : row.names)
            operations += name + L'\0';
        operations += L'\0';
        EXPECT_EQ(row.pending, IsRenamePendingTo(operations.data(), operations.size(), dll)) << row.what;
    }
    // Cut before the destination's terminator: no whole pair names the file.
    const std::wstring cut = temporary + L'\0' + replace;
    EXPECT_EQ(0, IsRenamePendingTo(cut.data(), cut.size(), dll));
}
