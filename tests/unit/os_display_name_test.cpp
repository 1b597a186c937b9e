#include <gtest/gtest.h>

#include <string>

#include "system/os_display_name.h"

namespace {

OsVersionFacts Facts(DWORD major, DWORD minor, BYTE productType = VER_NT_WORKSTATION)
{
    OsVersionFacts facts = {};
    facts.major = major;
    facts.minor = minor;
    facts.platformId = VER_PLATFORM_WIN32_NT;
    facts.productType = productType;
    facts.processorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    return facts;
}

std::wstring Name(const OsVersionFacts& facts)
{
    const wchar_t* name = SelectOSDisplayName(facts);
    return name ? name : L"(nothing)";
}

TEST(OsDisplayName, Nt4AndWindows9x)
{
    OsVersionFacts facts = Facts(4, 0);
    EXPECT_EQ(L"Microsoft Windows NT 4.0", Name(facts));
    facts.platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(L"Microsoft Windows 95", Name(facts));
    facts.platformId = VER_PLATFORM_WIN32s;
    EXPECT_EQ(L"(nothing)", Name(facts));
    EXPECT_EQ(L"Microsoft Windows 98", Name(Facts(4, 10)));
    EXPECT_EQ(L"Microsoft Windows Me", Name(Facts(4, 90)));
    EXPECT_EQ(L"(nothing)", Name(Facts(4, 1)));
}

TEST(OsDisplayName, Nt5)
{
    EXPECT_EQ(L"Microsoft Windows 2000", Name(Facts(5, 0)));
    EXPECT_EQ(L"Microsoft Windows XP", Name(Facts(5, 1)));

    OsVersionFacts xp64 = Facts(5, 2);
    xp64.processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    EXPECT_EQ(L"Microsoft Windows XP Professional x64 Edition", Name(xp64));

    // A workstation 5.2 on an x86 processor, or any server, is a Server 2003.
    EXPECT_EQ(L"Microsoft Windows Server 2003", Name(Facts(5, 2)));
    OsVersionFacts server = Facts(5, 2, VER_NT_SERVER);
    server.processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    EXPECT_EQ(L"Microsoft Windows Server 2003", Name(server));
    server.serverR2 = 1;
    EXPECT_EQ(L"Microsoft Windows Server 2003 R2", Name(server));
    EXPECT_EQ(L"(nothing)", Name(Facts(5, 3)));
}

TEST(OsDisplayName, Nt6)
{
    EXPECT_EQ(L"Microsoft Windows Vista", Name(Facts(6, 0)));
    EXPECT_EQ(L"Microsoft Windows Server 2008", Name(Facts(6, 0, VER_NT_SERVER)));
    EXPECT_EQ(L"Microsoft Windows Server 2008", Name(Facts(6, 0, VER_NT_DOMAIN_CONTROLLER)));
    EXPECT_EQ(L"Microsoft Windows 7", Name(Facts(6, 1)));
    EXPECT_EQ(L"Microsoft Windows Server 2008 R2", Name(Facts(6, 1, VER_NT_SERVER)));
    EXPECT_EQ(L"(nothing)", Name(Facts(6, 3)));
    EXPECT_EQ(L"(nothing)", Name(Facts(6, 4)));
}

TEST(OsDisplayName, Reported62IsToldApartByTheRealVersion)
{
    OsVersionFacts facts = Facts(6, 2);
    EXPECT_EQ(L"Microsoft Windows 8", Name(facts)); // real version unknown
    facts.ntVersionKnown = 1;
    facts.ntMajor = 10;
    EXPECT_EQ(L"Microsoft Windows 10", Name(facts));
    facts.ntMajor = 6;
    facts.ntMinor = 3;
    EXPECT_EQ(L"Microsoft Windows 8", Name(facts));
    facts.ntMajor = 11;
    EXPECT_EQ(L"Microsoft Windows 8", Name(facts));

    OsVersionFacts server = Facts(6, 2, VER_NT_SERVER);
    EXPECT_EQ(L"Microsoft Windows Server 2012", Name(server));
    server.ntVersionKnown = 1;
    server.ntMajor = 6;
    server.ntMinor = 3;
    EXPECT_EQ(L"Microsoft Windows Server 2012 R2", Name(server));
    server.ntMajor = 10;
    server.ntMinor = 0;
    EXPECT_EQ(L"Microsoft Windows Server", Name(server));
}

TEST(OsDisplayName, OtherMajorVersionsAreUnknown)
{
    EXPECT_EQ(L"Unknow OS", Name(Facts(3, 51)));
    EXPECT_EQ(L"Unknow OS", Name(Facts(7, 0)));
    EXPECT_EQ(L"Unknow OS", Name(Facts(10, 0)));
    EXPECT_EQ(L"Unknow OS", Name(Facts(0, 0)));
}

TEST(OsDisplayName, EveryNameFitsFortyFiveCharacters)
{
    for (DWORD major = 0; major < 12; ++major) {
        for (DWORD minor : {0u, 1u, 2u, 3u, 10u, 90u}) {
            for (BYTE type : {VER_NT_WORKSTATION, VER_NT_SERVER}) {
                OsVersionFacts facts = Facts(major, minor, type);
                facts.processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
                facts.ntVersionKnown = 1;
                facts.ntMajor = 10;
                const wchar_t* name = SelectOSDisplayName(facts);
                if (name) {
                    EXPECT_LE(wcslen(name), 45u) << name;
                }
            }
        }
    }
}

} // namespace
