// The message catalogue as the program meets it: a helper copied into a folder of the test's
// choosing, with a Lang folder beside it, looks a key up in a process of its own.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <map>
#include <string>

#include "support/mo_writer.h"
#include "support/wine_support.h"

namespace {

struct Lookup {
    long exitCode = -1;
    unsigned codePage = 0;
    std::wstring text;
    bool terminated = false;
    bool guardsWhole = false;
};

std::string Field(const std::string& output, const std::string& name)
{
    size_t at = output.find(name + "=");
    if (at == std::string::npos)
        return std::string();
    at += name.size() + 1;
    return output.substr(at, output.find_first_of("\r\n", at) - at);
}

Lookup Parse(const std::string& output, long exitCode)
{
    Lookup lookup;
    lookup.exitCode = exitCode;
    lookup.codePage = strtoul(Field(output, "acp").c_str(), nullptr, 10);
    std::string hex = Field(output, "text");
    for (size_t at = 0; at + 4 <= hex.size(); at += 4)
        lookup.text += static_cast<wchar_t>(strtoul(hex.substr(at, 4).c_str(), nullptr, 16));
    lookup.terminated = Field(output, "terminated") == "1";
    lookup.guardsWhole = Field(output, "guard") == "1";
    return lookup;
}

std::wstring Repeat(const std::wstring& text, int times)
{
    std::wstring result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder_ = TempFolder(L"catalogue-" + std::wstring(name, name + strlen(name)));
        ASSERT_TRUE(CopyInto(HostPathFromEnv("DI_HELPER"), folder_, L"test_helper.exe"));
    }

    static std::wstring MoPath(const std::wstring& folder, const std::wstring& locale)
    {
        const std::wstring lang = folder + L"\\Lang", own = lang + L"\\" + locale, messages = own + L"\\LC_MESSAGES";
        for (const std::wstring& made : {lang, own, messages})
            CreateDirectoryW(made.c_str(), nullptr);
        return messages + L"\\PrinterDriver.mo";
    }

    static std::string Shipped(const wchar_t* locale)
    {
        return ReadFileBytes(HostPathFromEnv("DI_DIST") + L"\\Lang\\" + locale + L"\\LC_MESSAGES\\PrinterDriver.mo");
    }

    void Put(const std::wstring& locale, const std::string& bytes, const std::wstring& folder = std::wstring())
    {
        ASSERT_TRUE(WriteFileBytes(MoPath(folder.empty() ? folder_ : folder, locale), bytes));
    }

    Lookup LookUp(const char* key, size_t units = 520, const std::wstring& exe = std::wstring())
    {
        long exitCode = -1;
        std::wstring arguments = L"--lookup " + std::wstring(key, key + strlen(key)) + L" " + std::to_wstring(units);
        std::string output = RunAndCapture(exe.empty() ? folder_ + L"\\test_helper.exe" : exe, arguments, &exitCode);
        return Parse(output, exitCode);
    }

    std::wstring folder_;
};

// The English catalogue as the user's language (en_US) finds it.
const wchar_t kEnglish[] = L"en";

TEST_F(Catalogue, WithoutCataloguesTheBuiltInTextsShow)
{
    EXPECT_EQ(L"Exit", LookUp("PO_GSTR_CANCEL").text);
    CreateDirectoryW((folder_ + L"\\Lang").c_str(), nullptr);
    Lookup exit = LookUp("PO_GSTR_CANCEL");
    EXPECT_EQ(0, exit.exitCode);
    EXPECT_EQ(L"Exit", exit.text);
    EXPECT_EQ(L"CANCEL", LookUp("PO_GSTR_LPT_CANCEL").text);
}

TEST_F(Catalogue, TheShippedEnglishCatalogueAnswers)
{
    Put(kEnglish, Shipped(kEnglish));
    EXPECT_EQ(L"The printer has been installed", LookUp("PO_GSTR_INSTALL_SUCCESS").text);
    EXPECT_EQ(L"Close", LookUp("PO_GSTR_CANCEL").text);
    // One English text in the built-in table, two in the catalogue.
    EXPECT_EQ(L"Add a Port", LookUp("PO_IDD_ADD_PORT_DIALOG").text);
    EXPECT_EQ(L"Add Port...", LookUp("PO_IDC_BUTTON_ADD_PORT").text);
}

TEST_F(Catalogue, AKeyTranslatedToItselfCountsAsUntranslated)
{
    Put(kEnglish, mo::Build({{"PO_GSTR_OK", "PO_GSTR_OK"}, {"PO_GSTR_CANCEL", "Leave"}}));
    EXPECT_EQ(L"Install", LookUp("PO_GSTR_OK").text);
    EXPECT_EQ(L"Leave", LookUp("PO_GSTR_CANCEL").text);
}

TEST_F(Catalogue, AKeyInNeitherLeavesTheBufferAsItWas)
{
    Put(kEnglish, mo::Build({{"PO_GSTR_CANCEL", "Leave"}}));
    Lookup lookup = LookUp("PO_GSTR_NOT_A_KEY");
    EXPECT_EQ(L"previous", lookup.text);
    EXPECT_TRUE(lookup.guardsWhole);
}

TEST_F(Catalogue, ALongTranslationIsCutToTheWorkingBuffer)
{
    Put(kEnglish, mo::Build({{"PO_GSTR_OK", std::string(2000, 'A')}}));
    for (size_t units : {1024u, 520u}) {
        Lookup lookup = LookUp("PO_GSTR_OK", units);
        EXPECT_EQ(0, lookup.exitCode);
        EXPECT_EQ(std::wstring(519, L'A'), lookup.text) << units;
        EXPECT_TRUE(lookup.terminated);
        EXPECT_TRUE(lookup.guardsWhole);
    }
}

TEST_F(Catalogue, ASmallBufferGetsWhatFitsAndItsTerminator)
{
    Put(kEnglish, mo::Build({{"PO_GSTR_CANCEL", "Leave the installer"}}));
    for (size_t units : {260u, 6u, 1u}) {
        Lookup lookup = LookUp("PO_GSTR_CANCEL", units);
        EXPECT_EQ(std::wstring(L"Leave the installer").substr(0, units - 1), lookup.text) << units;
        EXPECT_TRUE(lookup.terminated) << units;
        EXPECT_TRUE(lookup.guardsWhole) << units;
    }
    Lookup builtIn = LookUp("PO_GSTR_DRIVER_NAME_ERROR", 7);
    EXPECT_EQ(L"Please", builtIn.text);
    EXPECT_TRUE(builtIn.terminated);
    EXPECT_TRUE(builtIn.guardsWhole);
}

TEST_F(Catalogue, SpoiltCataloguesGiveTheBuiltInTexts)
{
    const std::string shipped = Shipped(kEnglish);
    ASSERT_GT(shipped.size(), 1000u);
    std::string wild = mo::Build({{"PO_GSTR_CANCEL", "Leave"}});
    mo::PutWord(wild, mo::kOriginals, 0x7FFFFFF0);
    std::string endless = mo::Build({{"PO_GSTR_CANCEL", "Leave"}});
    for (uint32_t i = 0; i < mo::GetWord(endless, mo::kHashSize); ++i)
        mo::PutWord(endless, mo::GetWord(endless, mo::kHashTable) + 4 * i, 1);
    std::string slotPastTheStrings = mo::Build({{"PO_GSTR_CANCEL", "Leave"}});
    mo::PutWord(slotPastTheStrings, mo::GetWord(slotPastTheStrings, mo::kHashTable), 0x10000);
    const std::map<std::string, std::string> spoilt = {
        {"half", shipped.substr(0, shipped.size() / 2)},
        {"header only", shipped.substr(0, 40)},
        {"one byte short", shipped.substr(0, shipped.size() - 1)},
        {"wild table offset", wild},
        {"hash table without an empty slot", endless},
        {"hash slot naming no string", slotPastTheStrings},
        // The keys looked up are found, so libintl would answer from it rather than loop.
        {"hash table size not prime", mo::Build({{"PO_GSTR_CANCEL", "Leave"}}, 8)},
        {"not a catalogue", std::string(600, '\x5A')},
        {"empty", std::string()},
    };
    for (const auto& entry : spoilt) {
        Put(kEnglish, entry.second);
        Lookup lookup = LookUp("PO_GSTR_CANCEL");
        EXPECT_EQ(0, lookup.exitCode) << entry.first;
        EXPECT_EQ(L"Exit", lookup.text) << entry.first;
    }
}

TEST_F(Catalogue, ASpoiltCatalogueOfAnotherLanguageKeepsAllOfThemUnbound)
{
    // libintl picks the file by its own rules, so every catalogue it might open is checked,
    // and one that is spoilt keeps the binding from being made at all.
    Put(kEnglish, mo::Build({{"PO_GSTR_CANCEL", "Leave"}}));
    EXPECT_EQ(L"Leave", LookUp("PO_GSTR_CANCEL").text);
    Put(L"fr", Shipped(kEnglish).substr(0, 100));
    EXPECT_EQ(L"Exit", LookUp("PO_GSTR_CANCEL").text);
}

// A folder below the temporary one whose ANSI path, with its backslash, has `length` bytes.
std::wstring FolderOfLength(const std::wstring& base, size_t length)
{
    std::wstring folder = base;
    CreateDirectoryW(folder.c_str(), nullptr);
    while (folder.size() + 2 < length) {
        size_t part = std::min<size_t>(100, length - folder.size() - 2);
        folder += L"\\" + std::wstring(part, L'd');
        CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    }
    return folder;
}

TEST_F(Catalogue, AProgramFolderTooDeepForLangGivesTheBuiltInTexts)
{
    const std::string catalogue = mo::Build({{"PO_GSTR_CANCEL", "Leave"}});
    Put(kEnglish, catalogue);
    ASSERT_EQ(L"Leave", LookUp("PO_GSTR_CANCEL").text);

    // The program's path fits the 259 bytes (a short name leaves it room), but its folder
    // with "Lang\" needs 260.
    std::wstring deep = FolderOfLength(folder_, 255);
    ASSERT_EQ(254u, deep.size());
    ASSERT_TRUE(CopyFileW(HostPathFromEnv("DI_HELPER").c_str(), (L"\\\\?\\" + deep + L"\\t.x").c_str(), FALSE));
    Put(kEnglish, catalogue, L"\\\\?\\" + deep);
    Lookup lookup = LookUp("PO_GSTR_CANCEL", 520, deep + L"\\t.x");
    EXPECT_EQ(0, lookup.exitCode);
    EXPECT_EQ(L"Exit", lookup.text);

    // One byte less, and the catalogue is found (Wine opens it past MAX_PATH; Windows would not).
    std::wstring shallower = FolderOfLength(folder_ + L"\\s", 254);
    ASSERT_TRUE(CopyFileW(HostPathFromEnv("DI_HELPER").c_str(), (L"\\\\?\\" + shallower + L"\\t.x").c_str(), FALSE));
    Put(kEnglish, catalogue, L"\\\\?\\" + shallower);
    EXPECT_EQ(L"Leave", LookUp("PO_GSTR_CANCEL", 520, shallower + L"\\t.x").text);
}

// Under zh_CN.UTF-8 (LANG and LC_ALL both set).
class CatalogueChinese : public Catalogue {};

const wchar_t kChinese[] = L"zh_CN";

TEST_F(CatalogueChinese, TheShippedCatalogueShowsInCodePage936)
{
    Put(kChinese, Shipped(kChinese));
    Lookup exit = LookUp("PO_GSTR_CANCEL");
    EXPECT_EQ(936u, exit.codePage);
    EXPECT_EQ(L"\u9000\u51FA", exit.text); // 退出
    EXPECT_EQ(L"\u6253\u5370\u673A\u5B89\u88C5\u6210\u529F", LookUp("PO_GSTR_INSTALL_SUCCESS").text); // 打印机安装成功
}

// Under LANG=zh_CN.UTF-8 alone. Wine takes a process's code page from the host environment
// that its Wine process inherited, not from the Windows environment block a parent passes,
// so this needs a test run of its own.
class CatalogueLangOnly : public Catalogue {};

TEST_F(CatalogueLangOnly, TheCodePageLacksTheChineseCharacters)
{
    ASSERT_EQ(0u, GetEnvironmentVariableW(L"LC_ALL", nullptr, 0));
    Put(kChinese, Shipped(kChinese));
    Lookup exit = LookUp("PO_GSTR_CANCEL");
    EXPECT_EQ(1252u, exit.codePage);
    // The catalogue is still the Chinese one; each character becomes the default character.
    EXPECT_EQ(L"??", exit.text);
    EXPECT_EQ(L"???????", LookUp("PO_GSTR_INSTALL_SUCCESS").text);
}

TEST_F(CatalogueChinese, ALongTranslationIsCutBetweenCharacters)
{
    // 1,000 characters of two bytes each in code page 936: 519 bytes would end in a lead byte.
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "\xE4\xB8\xAD"; // 中
    Put(kChinese, mo::Build({{"PO_GSTR_OK", text}}));
    Lookup lookup = LookUp("PO_GSTR_OK", 1024);
    EXPECT_EQ(Repeat(L"\u4E2D", 259), lookup.text);
    EXPECT_TRUE(lookup.guardsWhole);
}

} // namespace
