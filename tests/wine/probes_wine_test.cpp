// The system probes asked for real: bitness, environment, driver directory, language and
// version, in 32-bit and 64-bit prefixes and under the locales the tests are started with.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "support/wine_support.h"
#include "system/probes.h"

namespace {

bool Expect64()
{
    const char* arch = getenv("DI_ARCH");
    return arch && std::string(arch) == "win64";
}

TEST(Probes, BitnessAndEnvironmentFollowTheNativeSystem)
{
    EXPECT_EQ(Expect64() ? 64 : 32, GetNativeBits());
    if (Expect64()) {
        // This 32-bit process is shown an x86 processor; the native answer decides.
        SYSTEM_INFO emulated = {};
        GetSystemInfo(&emulated);
        EXPECT_EQ(PROCESSOR_ARCHITECTURE_INTEL, emulated.wProcessorArchitecture);
    }
    EXPECT_STREQ(Expect64() ? L"Windows x64" : L"Windows NT x86", GetPrintEnvironment(GetNativeBits() == 64));
}

TEST(Probes, DriverDirectoryOfTheJobsEnvironment)
{
    wchar_t* directory = getPrinterDriverDir(Expect64() ? 1 : 0);
    ASSERT_NE(nullptr, directory);
    std::wstring text = directory;
    free(directory);
    const std::wstring tail = Expect64() ? L"\\spool\\drivers\\x64" : L"\\spool\\drivers\\w32x86";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(0, _wcsicmp(tail.c_str(), text.c_str() + text.size() - tail.size())) << text;
}

TEST(Probes, DriverDirectoryOfAnUnknownEnvironmentIsRefusedWithTheSpoolersCode)
{
    // Asked through the spooler with an environment it does not know, the size query gives
    // nothing and the spooler's own code stays for the caller to report.
    wchar_t environment[] = L"Windows 64";
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, environment, 1, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
}

TEST(Probes, PrivilegesAreEnabledOnlyWhenTheTokenHoldsThem)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token));
    EXPECT_EQ(1, EnableTokenPrivilege(token, L"SeDebugPrivilege"));
    EXPECT_EQ(0, EnableTokenPrivilege(token, L"SeNoSuchPrivilege"));

    // A token without the privilege: AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED.
    LUID_AND_ATTRIBUTES debug = {};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &debug.Luid));
    HANDLE restricted = nullptr;
    ASSERT_TRUE(CreateRestrictedToken(token, 0, 0, nullptr, 1, &debug, 0, nullptr, &restricted));
    EXPECT_EQ(0, EnableTokenPrivilege(restricted, L"SeDebugPrivilege"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), GetLastError());
    CloseHandle(restricted);
    CloseHandle(token);
}

std::string ProbeWithVersion(const wchar_t* version)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine", 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    long exitCode = -1;
    std::string report = RunAndCapture(HostPathFromEnv("DI_HELPER"), L"", &exitCode);
    EXPECT_EQ(0, exitCode);
    return report;
}

std::string Line(const std::string& report, const std::string& name)
{
    const std::string lines = "\n" + report;
    size_t at = lines.find("\n" + name + "=");
    if (at == std::string::npos)
        return "";
    at += name.size() + 2;
    size_t end = lines.find_first_of("\r\n", at);
    return lines.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

TEST(Probes, DisplayNamesOfTheVersionsWineCanReport)
{
    struct Row {
        const wchar_t* version;
        const char* name32;
        const char* name64;
    };
    const Row rows[] = {
        // Without a compatibility manifest 10 and 8.1 report 6.2; the real number decides.
        {L"win10", "Microsoft Windows 10", "Microsoft Windows 10"},
        {L"win81", "Microsoft Windows 8", "Microsoft Windows 8"},
        {L"win8", "Microsoft Windows 8", "Microsoft Windows 8"},
        {L"winxp", "Microsoft Windows XP", "Microsoft Windows XP"},
        // XP x64 reports 5.2; this 32-bit process is shown an x86 processor, yet the
        // native one names the edition.
        {L"winxp64", nullptr, "Microsoft Windows XP Professional x64 Edition"},
        {L"win2k", "Microsoft Windows 2000", nullptr},
    };
    for (const Row& row : rows) {
        const char* expected = Expect64() ? row.name64 : row.name32;
        if (!expected)
            continue;
        std::string report = ProbeWithVersion(row.version);
        EXPECT_EQ(std::string("1:") + expected, Line(report, "osname")) << report;
    }
    // Wine 8 reports its win7 as a server product (type 3), so the name follows the type.
    std::string win7 = ProbeWithVersion(L"win7");
    EXPECT_EQ("6.1", Line(win7, "reported"));
    EXPECT_EQ(Line(win7, "product") == "1" ? "1:Microsoft Windows 7" : "1:Microsoft Windows Server 2008 R2",
              Line(win7, "osname"));

    std::string report = ProbeWithVersion(L"win10");
    EXPECT_EQ("6.2", Line(report, "reported"));
    EXPECT_EQ(0u, Line(report, "nt").find("1:10.0."));
}

// The language Wine gives for the host locale of a category, taken as glibc takes it:
// LC_ALL, else the category's own variable, else LANG.
LANGID LanguageOfHostLocale(const char* category)
{
    std::string locale;
    for (const char* variable : {"LC_ALL", category, "LANG"}) {
        const char* value = getenv(variable);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    if (locale.rfind("zh_CN", 0) == 0)
        return 2052;
    if (locale.rfind("zh_TW", 0) == 0)
        return 1028;
    return 1033;
}

TEST(ProbesLanguage, ChineseOnlyForTheSimplifiedChineseSystemLanguage)
{
    // The system's language comes from LC_CTYPE, the user's from LC_MESSAGES: a run that
    // sets them apart shows which of the two the probe asks.
    const LANGID system = LanguageOfHostLocale("LC_CTYPE");
    ASSERT_EQ(system, GetSystemDefaultLangID());
    ASSERT_EQ(LanguageOfHostLocale("LC_MESSAGES"), GetUserDefaultLangID());
    if (system == 2052) {
        EXPECT_EQ(936u, GetACP());
    }
    EXPECT_EQ(system == 2052 ? 1 : 0, IsChineseSystem());
}

} // namespace
