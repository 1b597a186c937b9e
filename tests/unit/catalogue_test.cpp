#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <algorithm>

#include <string>

#include "i18n/catalogue.h"
#include "i18n/catalogue_text.h"
#include "i18n/mo_check.h"
#include "../support/mo_writer.h"

namespace {

const unsigned char kSingleByte[] = {0, 0};
const unsigned char kGbkLeadBytes[] = {0x81, 0xFE, 0, 0};
const unsigned char kTwoRanges[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0}; // as Shift-JIS has

TEST(Fallback, EveryKeyHasItsRowInScanOrder)
{
    const FallbackRow expected[] = {
        {"PO_GSTR_INSTALL_DRIVER_ERROR", L"Fail installing Driver"},
        {"PO_GSTR_ADD_PRINTER_ERROR", L"Fail adding printer"},
        {"PO_GSTR_INSTALL_SUCCESS", L"Printer installed"},
        {"PO_GSTR_CONFIG_PORT_ERROR", L"Can't configure port"},
        {"PO_GSTR_CONFIG_LPT", L"Configure LPT Port"},
        {"PO_GSTR_TIMEOUT", L"Timeout(seconds)"},
        {"PO_GSTR_RETRY", L"Transmission Retry"},
        {"PO_GSTR_LPT_OK", L"OK"},
        {"PO_GSTR_LPT_CANCEL", L"CANCEL"},
        {"PO_GSTR_CANNOT_CONFIG_PORT", L"No need configuration"},
        {"PO_GSTR_DRIVER_PORT_ERROR", L"Please select port for printer"},
        {"PO_GSTR_DRIVER_NAME_ERROR", L"Please input printer name"},
        {"PO_GSTR_DLG_ZELVOK_CAPTION", L"Zelvok Printer Driver install program"},
        {"PO_GSTR_DLG_CAPTION", L"Ketrin Printer Driver install program"},
        {"PO_GSTR_OS_TYPE", L"System Type:"},
        {"PO_GSTR_PRINTER_TYPE", L"Printer Type"},
        {"PO_GSTR_POS", L"POS Printer"},
        {"PO_GSTR_LAPTOP", L"Portable Printer"},
        {"PO_GSTR_MICRO_PRINTER", L"Thermal Receipt Printer"},
        {"PO_GSTR_PIN_PRINTER", L"Impact Printer"},
        {"PO_GSTR_PRINTER_DETAIL", L"Printer Model"},
        {"PO_GSTR_PRINTER_PORT", L"Printer Port"},
        {"PO_GSTR_OK", L"Install"},
        {"PO_GSTR_CANCEL", L"Exit"},
        {"PO_GSTR_PT_CONFIG_NAME", L"Printer Name:"},
        {"PO_GSTR_PT_CONFIG_PORT", L"Configure Port"},
        {"PO_GSTR_PORT_STATIC", L"Port:"},
        {"PO_GSTR_ADD_PORT_TYPE", L"Available port types"},
        {"PO_IDD_ADD_PORT_DIALOG", L"Add Port"},
        {"PO_GSTR_MONITOR_SELECT_ERROR", L"Please select a port type"},
        {"PO_IDC_BUTTON_ADD_PORT", L"Add Port"},
    };
    size_t rows = 0;
    const FallbackRow* table = FallbackTable(&rows);
    // The dialog's 31 texts first, then the 95 of the runs without a window, the lock, the
    // preflight and the test receipt.
    ASSERT_EQ(126u, rows);
    for (size_t i = 0; i < sizeof(expected) / sizeof(expected[0]); ++i) {
        EXPECT_STREQ(expected[i].key, table[i].key) << "row " << i + 1;
        EXPECT_STREQ(expected[i].text, FindFallbackText(expected[i].key)) << expected[i].key;
    }
}

TEST(Fallback, KeysWithTheSameTextStaySeparateAndUnknownKeysHaveNoRow)
{
    EXPECT_STREQ(L"Add Port", FindFallbackText("PO_IDD_ADD_PORT_DIALOG"));
    EXPECT_STREQ(L"Add Port", FindFallbackText("PO_IDC_BUTTON_ADD_PORT"));
    for (const char* unknown : {"po_gstr_ok", "PO_GSTR_OK ", "PO_GSTR_O", "PO_GSTR_NOT_THERE", "", "Add Port"})
        EXPECT_EQ(nullptr, FindFallbackText(unknown)) << unknown;
    EXPECT_EQ(nullptr, FindFallbackText(nullptr));
}

TEST(AnsiCut, KeepsWholeCharacters)
{
    EXPECT_EQ(519u, AnsiFitLength(std::string(2000, 'a').c_str(), 2000, 519, kSingleByte));
    EXPECT_EQ(3u, AnsiFitLength("abc", 3, 519, kSingleByte));
    // Under a single-byte code page, bytes that would be lead bytes elsewhere are characters.
    EXPECT_EQ(3u, AnsiFitLength("\xD6\xD0\xD6", 3, 3, kSingleByte));
    // "中中" in GBK is D6 D0 D6 D0: its trail byte D0 lies in the lead range too, so only a
    // walk from the start knows that the cut after three bytes parts a character.
    EXPECT_EQ(2u, AnsiFitLength("\xD6\xD0\xD6\xD0", 4, 3, kGbkLeadBytes));
    EXPECT_EQ(4u, AnsiFitLength("\xD6\xD0\xD6\xD0", 4, 4, kGbkLeadBytes));
    EXPECT_EQ(3u, AnsiFitLength("a\xD6\xD0\xD6\xD0", 5, 4, kGbkLeadBytes));
    std::string chinese;
    for (int i = 0; i < 700; ++i)
        chinese += "\xD6\xD0";
    EXPECT_EQ(518u, AnsiFitLength(chinese.c_str(), chinese.size(), 519, kGbkLeadBytes));
    // A lead byte with nothing behind it stands alone.
    EXPECT_EQ(2u, AnsiFitLength("a\xD6", 2, 519, kGbkLeadBytes));
    // A byte between two lead ranges is a character of its own.
    EXPECT_EQ(1u, AnsiFitLength("\xA0\xE0\x40", 3, 2, kTwoRanges));
    EXPECT_EQ(3u, AnsiFitLength("\xE0\x40\xA0", 3, 3, kTwoRanges));
    EXPECT_EQ(0u, AnsiFitLength("\xD6\xD0", 2, 1, kGbkLeadBytes));
}

TEST(AnsiCut, FolderEndsAtTheLastRealBackslash)
{
    EXPECT_EQ(7u, AnsiFolderLength("C:\\app\\setup.exe", kSingleByte));
    EXPECT_EQ(0u, AnsiFolderLength("setup.exe", kSingleByte));
    EXPECT_EQ(3u, AnsiFolderLength("C:\\", kSingleByte));
    // 0x81 0x5C is one GBK character whose trail byte is a backslash's.
    EXPECT_EQ(3u, AnsiFolderLength("C:\\d\x81\\x.exe", kGbkLeadBytes));
    EXPECT_EQ(6u, AnsiFolderLength("C:\\d\x81\\x.exe", kSingleByte));
}

// What GetModuleFileNameA(NULL, path, 259) returns: the length, or 259 for a path it cut.
std::string Folder(const std::string& path, size_t returned, const unsigned char* leadBytes = kSingleByte)
{
    char folder[260];
    memset(folder, '#', sizeof(folder));
    if (!CatalogueFolderFor(path.c_str(), returned, 259, leadBytes, folder, sizeof(folder)))
        return folder[0] == '#' ? "refused" : "refused, but written";
    return folder;
}

TEST(CatalogueFolder, IsTheProgramsFolderWithLangOrNothing)
{
    EXPECT_EQ("C:\\app\\Lang\\", Folder("C:\\app\\setup.exe", 16));
    EXPECT_EQ("Lang\\", Folder("setup.exe", 9));
    EXPECT_EQ("refused", Folder("", 0));
    EXPECT_EQ("C:\\d\x81\\Lang\\", Folder("C:\\d\x81\\x.exe", 10, kSingleByte));
    EXPECT_EQ("C:\\Lang\\", Folder("C:\\d\x81\\x.exe", 10, kGbkLeadBytes));

    // A folder of 254 bytes with its backslash takes "Lang\" and the terminator exactly; one
    // byte more does not fit.
    const std::string fits = "C:\\" + std::string(250, 'd') + "\\";
    ASSERT_EQ(254u, fits.size());
    EXPECT_EQ(fits + "Lang\\", Folder(fits + "t.x", 257));
    EXPECT_EQ("refused", Folder("C:\\" + std::string(251, 'd') + "\\t.x", 258));
    // A path that filled the buffer was cut.
    const std::string full = "C:\\a\\" + std::string(253, 'x');
    EXPECT_EQ("refused", Folder(full.substr(0, 259), 259));
    EXPECT_EQ("C:\\a\\Lang\\", Folder(full.substr(0, 258), 258));
}

TEST(Utf16Cut, KeepsSurrogatePairsWhole)
{
    const wchar_t text[] = L"ab\xD83D\xDE00" L"c";
    EXPECT_EQ(5u, Utf16FitLength(text, 5, 5));
    EXPECT_EQ(4u, Utf16FitLength(text, 5, 4));
    EXPECT_EQ(2u, Utf16FitLength(text, 5, 3));
    EXPECT_EQ(0u, Utf16FitLength(text, 5, 0));
}

// Without a bound catalogue the built-in texts show; the caller's buffer is cut with its
// terminator and nothing behind it is touched.
TEST(Lookup, FallbackIntoTheCallersBuffer)
{
    wchar_t buffer[16];
    wmemset(buffer, L'#', 16);
    GetLocalizedText("PO_GSTR_DRIVER_NAME_ERROR", buffer, 8);
    EXPECT_STREQ(L"Please ", buffer);
    EXPECT_EQ(std::wstring(8, L'#'), std::wstring(buffer + 8, 8));

    GetLocalizedText("PO_GSTR_OK", buffer, 1);
    EXPECT_EQ(L'\0', buffer[0]);
    EXPECT_EQ(L'l', buffer[1]) << "the previous text behind a one-unit buffer";

    wcscpy(buffer, L"previous");
    GetLocalizedText("PO_GSTR_NOT_THERE", buffer, 16);
    EXPECT_STREQ(L"previous", buffer);
    GetLocalizedText("PO_GSTR_OK", buffer, 0);
    EXPECT_STREQ(L"previous", buffer);
    GetLocalizedText("PO_GSTR_CANCEL", buffer, 16);
    EXPECT_STREQ(L"Exit", buffer);
}

TEST(Utf8ToAnsi, ConvertsAndReportsWhatItCannot)
{
    char* ascii = Utf8ToAnsi("Install");
    ASSERT_NE(nullptr, ascii);
    EXPECT_STREQ("Install", ascii);
    free(ascii);
    // Code page 1252 has the accented letter but no Chinese; its default character stands in.
    char* latin = Utf8ToAnsi("caf\xC3\xA9 \xE4\xB8\xAD");
    ASSERT_NE(nullptr, latin);
    EXPECT_STREQ("caf\xE9 ?", latin);
    free(latin);
    char* empty = Utf8ToAnsi("");
    ASSERT_NE(nullptr, empty);
    EXPECT_STREQ("", empty);
    free(empty);
    SetLastError(0);
    EXPECT_EQ(nullptr, Utf8ToAnsi(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

class CatalogueCheck : public ::testing::Test {
protected:
    std::string good_ = mo::Build({{"PO_GSTR_OK", "Go"}, {"PO_GSTR_CANCEL", "Leave"}, {"PO_GSTR_POS", "Till"}});

    static int Sound(const std::string& bytes)
    {
        return IsSoundCatalogue(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
    std::string With(size_t at, uint32_t value) const
    {
        std::string spoiled = good_;
        mo::PutWord(spoiled, at, value);
        return spoiled;
    }
};

TEST_F(CatalogueCheck, AcceptsWhatMsgfmtWrites)
{
    EXPECT_EQ(1, Sound(good_));
    EXPECT_EQ(1, Sound(mo::Build({})));
    // Without a hash table libintl searches the sorted keys.
    EXPECT_EQ(1, Sound(With(mo::kHashSize, 0)));
    // Written on a big-endian machine.
    std::string swapped = good_;
    const size_t words = mo::GetWord(good_, mo::kHashTable) + 4 * mo::GetWord(good_, mo::kHashSize);
    for (size_t at = 0; at < words; at += 4)
        std::reverse(swapped.begin() + at, swapped.begin() + at + 4);
    EXPECT_EQ(1, Sound(swapped));
}

TEST_F(CatalogueCheck, RefusesEveryTruncation)
{
    for (size_t size = 0; size < good_.size(); ++size)
        EXPECT_EQ(0, Sound(good_.substr(0, size))) << size << " bytes";
    EXPECT_EQ(0, IsSoundCatalogue(nullptr, 100));
}

TEST_F(CatalogueCheck, RefusesOffsetsAndCountsOutsideTheFile)
{
    const size_t firstOriginal = mo::GetWord(good_, mo::kOriginals);
    EXPECT_EQ(0, Sound(With(0, 0x12345678))) << "magic";
    EXPECT_EQ(0, Sound(With(4, 0x00010000))) << "revision";
    EXPECT_EQ(0, Sound(With(4, 0x00000001))) << "system-dependent strings";
    EXPECT_EQ(0, Sound(With(mo::kStrings, 0x10000000))) << "count";
    EXPECT_EQ(0, Sound(With(mo::kOriginals, 0xFFFFFFF0))) << "original table";
    EXPECT_EQ(0, Sound(With(mo::kTranslations, static_cast<uint32_t>(good_.size() - 8)))) << "translation table";
    EXPECT_EQ(0, Sound(With(firstOriginal + 4, 0xFFFFFFFF))) << "string offset";
    EXPECT_EQ(0, Sound(With(firstOriginal, 0xFFFFFFFF))) << "string length wraps";
    EXPECT_EQ(0, Sound(With(firstOriginal, static_cast<uint32_t>(good_.size())))) << "string length";
    // A string whose terminator is not where its length says.
    EXPECT_EQ(0, Sound(With(firstOriginal, mo::GetWord(good_, firstOriginal) + 1))) << "terminator";
}

TEST_F(CatalogueCheck, RefusesHashTablesThatLibintlWouldMisread)
{
    const uint32_t hashSize = mo::GetWord(good_, mo::kHashSize);
    const size_t hashTable = mo::GetWord(good_, mo::kHashTable);
    EXPECT_EQ(0, Sound(With(mo::kHashTable, static_cast<uint32_t>(good_.size() - 4)))) << "outside";
    EXPECT_EQ(0, Sound(With(hashTable, 5))) << "a slot naming a string that does not exist";
    std::string full = good_;
    for (uint32_t i = 0; i < hashSize; ++i)
        mo::PutWord(full, hashTable + 4 * i, 1);
    EXPECT_EQ(0, Sound(full)) << "no empty slot: the probe would never end";
    // Sound but for its size: with eight slots a step of 2, 4 or 6 visits only some of them,
    // and the probe for a missing key can circle among full ones for ever.
    EXPECT_EQ(0, Sound(mo::Build({{"PO_GSTR_OK", "Go"}, {"PO_GSTR_CANCEL", "Leave"}, {"PO_GSTR_POS", "Till"}}, 8)))
        << "size not prime";
    EXPECT_EQ(1, Sound(With(mo::kHashSize, 2))) << "too small to be used";
}

} // namespace
