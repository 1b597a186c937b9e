// Probe and spooler answers that Wine cannot be made to give, through the seams.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "spooler/spooler.h"
#include "system/probes.h"
#include "system/system_api.h"

namespace {

class Seams : public ::testing::Test {
protected:
    void TearDown() override
    {
        System() = RealSystemApi();
        Spooler() = RealSpooler();
    }
};

WORD fakeArchitecture;
DWORD fakeMajor, fakeMinor, fakePlatform;
BYTE fakeProductType;

void WINAPI FakeSystemInfo(SYSTEM_INFO* info)
{
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = fakeArchitecture;
}
void(WINAPI* NoNativeSystemInfo())(SYSTEM_INFO*)
{
    return nullptr;
}
void(WINAPI* FakeNativeSystemInfo())(SYSTEM_INFO*)
{
    return FakeSystemInfo;
}
BOOL WINAPI FakeVersion(OSVERSIONINFOW* info)
{
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))
        return FALSE;
    OSVERSIONINFOEXW* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
    ex->dwMajorVersion = fakeMajor;
    ex->dwMinorVersion = fakeMinor;
    ex->dwPlatformId = fakePlatform;
    ex->wProductType = fakeProductType;
    return TRUE;
}
BOOL WINAPI FailingVersion(OSVERSIONINFOW*)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
int NoNtVersion(DWORD*, DWORD*, DWORD*)
{
    return 0;
}

TEST_F(Seams, NativeBitsUseTheNativeArchitectureWhereThereIsOne)
{
    System().findGetNativeSystemInfo = FakeNativeSystemInfo;
    fakeArchitecture = PROCESSOR_ARCHITECTURE_IA64;
    EXPECT_EQ(64, GetNativeBits());
    fakeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    EXPECT_EQ(64, GetNativeBits());
    fakeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    EXPECT_EQ(32, GetNativeBits());
    fakeArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
    EXPECT_EQ(32, GetNativeBits());

    // Without GetNativeSystemInfo the architecture this process sees decides.
    System().findGetNativeSystemInfo = NoNativeSystemInfo;
    System().getSystemInfo = FakeSystemInfo;
    fakeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    EXPECT_EQ(64, GetNativeBits());
    fakeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    EXPECT_EQ(32, GetNativeBits());
}

LANGID fakeSystemLanguage;
LANGID WINAPI FakeSystemLanguage()
{
    return fakeSystemLanguage;
}

TEST_F(Seams, TheSystemLanguageNotTheUsersSelectsChinese)
{
    // Run in an English and in a Chinese prefix: in one of them the user's language is the
    // other one of the pair, which a probe asking the user's language would answer with.
    System().getSystemDefaultLangID = FakeSystemLanguage;
    fakeSystemLanguage = 0x0804;
    EXPECT_EQ(1, IsChineseSystem());
    fakeSystemLanguage = 0x0409;
    EXPECT_EQ(0, IsChineseSystem());
    // Chinese as used in Taiwan is another language.
    fakeSystemLanguage = 0x0404;
    EXPECT_EQ(0, IsChineseSystem());
}

TEST_F(Seams, DisplayNameReportsOnlyANullBufferAndAFailedQuery)
{
    EXPECT_EQ(0, GetOSDisplayName(nullptr));

    wchar_t buffer[256] = L"unchanged";
    System().getVersionEx = FailingVersion;
    EXPECT_EQ(0, GetOSDisplayName(buffer));
    EXPECT_STREQ(L"unchanged", buffer);

    // A version without a name: success, and the zero-filled buffer stays empty.
    System().getVersionEx = FakeVersion;
    fakeMajor = 6;
    fakeMinor = 3;
    fakeProductType = VER_NT_WORKSTATION;
    wchar_t empty[256] = {};
    EXPECT_EQ(1, GetOSDisplayName(empty));
    EXPECT_STREQ(L"", empty);
}

TEST_F(Seams, DisplayNameOfVersionsWineCannotReport)
{
    System().getVersionEx = FakeVersion;
    System().getNtVersionNumbers = NoNtVersion;
    wchar_t buffer[256] = {};

    fakeMajor = 4, fakeMinor = 0, fakePlatform = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(1, GetOSDisplayName(buffer));
    EXPECT_STREQ(L"Microsoft Windows 95", buffer);

    fakePlatform = VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(1, GetOSDisplayName(buffer));
    EXPECT_STREQ(L"Microsoft Windows NT 4.0", buffer);

    // Without the real version numbers a reported 6.2 is taken for 8.
    fakeMajor = 6, fakeMinor = 2, fakeProductType = VER_NT_WORKSTATION;
    EXPECT_EQ(1, GetOSDisplayName(buffer));
    EXPECT_STREQ(L"Microsoft Windows 8", buffer);

    fakeMinor = 1, fakeProductType = VER_NT_SERVER;
    EXPECT_EQ(1, GetOSDisplayName(buffer));
    EXPECT_STREQ(L"Microsoft Windows Server 2008 R2", buffer);
}

DWORD sizeToReport;
DWORD fetchError;
int driverDirectoryCalls;

BOOL WINAPI FakeDriverDirectory(LPWSTR, LPWSTR, DWORD, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    ++driverDirectoryCalls;
    if (!buffer) {
        *needed = sizeToReport;
        SetLastError(sizeToReport ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    if (fetchError) {
        SetLastError(fetchError);
        return FALSE;
    }
    const wchar_t text[] = L"C:\\drivers";
    memcpy(buffer, text, size < sizeof(text) ? size : sizeof(text));
    return TRUE;
}

TEST_F(Seams, DriverDirectorySizeQueryThenFetch)
{
    Spooler().getPrinterDriverDirectory = FakeDriverDirectory;

    // No size: null with the spooler's code, and no second call.
    sizeToReport = 0;
    fetchError = 0;
    driverDirectoryCalls = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, getPrinterDriverDir(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
    EXPECT_EQ(1, driverDirectoryCalls);

    // The fetch fails: null, and its code survives the release of the buffer.
    sizeToReport = sizeof(L"C:\\drivers");
    fetchError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(nullptr, getPrinterDriverDir(1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    // An exact size gives the text, terminated.
    fetchError = 0;
    wchar_t* directory = getPrinterDriverDir(1);
    ASSERT_NE(nullptr, directory);
    EXPECT_STREQ(L"C:\\drivers", directory);
    free(directory);

    // A size that leaves out the terminator still gives a terminated text.
    sizeToReport = sizeof(L"C:\\drivers") - sizeof(wchar_t);
    directory = getPrinterDriverDir(1);
    ASSERT_NE(nullptr, directory);
    EXPECT_STREQ(L"C:\\drivers", directory);
    free(directory);
}

int enumCalls;
BOOL WINAPI GrowingPrinterList(DWORD, LPWSTR, DWORD, LPBYTE buffer, DWORD, LPDWORD needed, LPDWORD returned)
{
    ++enumCalls;
    // The list grew between the size query and the fetch.
    *needed = buffer ? 4096 : 512;
    *returned = buffer ? 7 : 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
}
BOOL WINAPI EmptyPrinterList(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    ++enumCalls;
    *needed = 0;
    *returned = 0;
    return TRUE;
}

TEST_F(Seams, PrinterListsThatFailOrAreEmpty)
{
    PRINTER_INFO_2W* list = reinterpret_cast<PRINTER_INFO_2W*>(1);
    DWORD count = 99;

    Spooler().enumPrinters = EmptyPrinterList;
    enumCalls = 0;
    EXPECT_EQ(0, listPrinters(&list, &count));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_DATA), GetLastError());
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(1, enumCalls);

    // A list that keeps growing is asked for three times, then given as no answer, which is
    // not an empty list: a caller that counts what is left must not take it for one.
    Spooler().enumPrinters = GrowingPrinterList;
    enumCalls = 0;
    EXPECT_EQ(0, listPrinters(&list, &count));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(6, enumCalls);
}

} // namespace
