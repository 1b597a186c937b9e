// The sample driver package as the build lays it out beside the program.
#include <gtest/gtest.h>

#include <string>

#include "support/wine_support.h"

namespace {

struct SetupKind {
    const wchar_t* folder;
    WORD machine;
};
const SetupKind kSetups[] = {{L"SETUP", IMAGE_FILE_MACHINE_I386}, {L"SETUP64", IMAGE_FILE_MACHINE_AMD64}};
const wchar_t* const kTags[] = {L"CHN", L"ENG"};

std::wstring SetupFolder(const SetupKind& setup)
{
    return HostPathFromEnv("DI_DIST") + L"\\" + setup.folder;
}

std::wstring LanguageFolder(const SetupKind& setup, const std::wstring& tag)
{
    return SetupFolder(setup) + L"\\80Normal\\" + tag;
}

// The machine field of a PE image's file header, 0 when the file is no PE image.
WORD MachineOf(const std::wstring& path)
{
    std::string image = ReadFileBytes(path);
    if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0)
        return 0;
    DWORD peOffset = *reinterpret_cast<const DWORD*>(image.data() + 0x3C);
    if (image.size() < peOffset + 6 || image.compare(peOffset, 4, std::string("PE\0\0", 4)) != 0)
        return 0;
    return *reinterpret_cast<const WORD*>(image.data() + peOffset + 4);
}

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

// Every line, the last included, ends in CR LF, and no CR or LF stands alone.
bool OnlyCrLfLineEnds(const std::string& text)
{
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

}  // namespace

TEST(PackageLayout, EveryFolderHoldsItsFilesBuiltForItsArchitecture)
{
    for (const SetupKind& setup : kSetups) {
        for (const wchar_t* name : {L"ZelvokUSBMon.dll", L"ZelvokUSBMonUI.dll"})
            EXPECT_EQ(setup.machine, MachineOf(SetupFolder(setup) + L"\\" + name)) << Narrow(setup.folder) << " " << Narrow(name);
        for (std::wstring tag : kTags) {
            const std::wstring files[] = {L"UNIRES.dll", L"unidrv.hlp", L"UNIDRVUI.dll", L"UNIDRV.dll",
                                          L"STDNAMES.GPD", L"80Normal" + tag + L".GPD", L"80Normal" + tag + L".INI"};
            for (const std::wstring& name : files)
                EXPECT_TRUE(FileExists(LanguageFolder(setup, tag) + L"\\" + name)) << Narrow(setup.folder) << " " << Narrow(name);
            for (std::wstring part : {L"RC", L"UI"}) {
                std::wstring dll = LanguageFolder(setup, tag) + L"\\80Normal" + part + tag + L".dll";
                EXPECT_EQ(setup.machine, MachineOf(dll)) << Narrow(dll);
            }
        }
    }
}

TEST(PackageLayout, ResourceDllsLoadAsDataFilesWithTheirStrings)
{
    // The GPD's *rcNameID 100 is in the RC DLL; the UI DLL's texts start at 1.
    for (const SetupKind& setup : kSetups) {
        for (std::wstring tag : kTags) {
            for (std::wstring part : {L"RC", L"UI"}) {
                std::wstring dll = LanguageFolder(setup, tag) + L"\\80Normal" + part + tag + L".dll";
                HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
                ASSERT_NE(nullptr, module) << Narrow(dll) << " error " << GetLastError();
                wchar_t text[64] = {};
                EXPECT_GT(LoadStringW(module, part == L"RC" ? 100 : 1, text, 64), 0) << Narrow(dll);
                FreeLibrary(module);
            }
        }
    }
}

TEST(PackageLayout, TemplatesNameTheTemplateAndTheirOwnFilesWithCrLfLineEnds)
{
    for (const SetupKind& setup : kSetups) {
        for (std::wstring tag : kTags) {
            std::string narrowTag = Narrow(tag);
            std::string gpd = ReadFileBytes(LanguageFolder(setup, tag) + L"\\80Normal" + tag + L".GPD");
            EXPECT_GE(Occurrences(gpd, "80Normal"), 3u) << narrowTag;
            EXPECT_TRUE(OnlyCrLfLineEnds(gpd)) << narrowTag;
            EXPECT_NE(std::string::npos, gpd.find("*GPDFileName: \"80Normal" + narrowTag + ".GPD\"")) << narrowTag;
            EXPECT_NE(std::string::npos, gpd.find("*ResourceDLL: \"80NormalRC" + narrowTag + ".dll\"")) << narrowTag;

            // Only the INI's first template name is renamed for a model: it must be the plug-in's.
            std::string ini = ReadFileBytes(LanguageFolder(setup, tag) + L"\\80Normal" + tag + L".INI");
            EXPECT_GE(Occurrences(ini, "80Normal"), 2u) << narrowTag;
            EXPECT_TRUE(OnlyCrLfLineEnds(ini)) << narrowTag;
            const std::string key = "OEMConfigFile1=";
            size_t plugin = ini.find(key + "80NormalUI" + narrowTag + ".dll");
            ASSERT_NE(std::string::npos, plugin) << narrowTag;
            EXPECT_EQ(plugin + key.size(), ini.find("80Normal")) << narrowTag;
        }
    }
}

TEST(PackageLayout, ChineseGpdTextsAreInCodePage936)
{
    std::string gpd = ReadFileBytes(LanguageFolder(kSetups[0], L"CHN") + L"\\80NormalCHN.GPD");
    int length = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gpd.data(), static_cast<int>(gpd.size()), nullptr, 0);
    ASSERT_GT(length, 0);
    std::wstring text(length, L'\0');
    MultiByteToWideChar(936, 0, gpd.data(), static_cast<int>(gpd.size()), &text[0], length);
    EXPECT_NE(std::wstring::npos, text.find(L"*Name: \"\x5207\x7EB8\""));  // "Paper cut"
}
