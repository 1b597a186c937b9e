#include "system/os_display_name.h"

static const wchar_t* SelectNt4OrWin9x(const OsVersionFacts& f)
{
    switch (f.minor) {
    case 0:
        if (f.platformId == VER_PLATFORM_WIN32_NT)
            return L"Microsoft Windows NT 4.0";
        if (f.platformId == VER_PLATFORM_WIN32_WINDOWS)
            return L"Microsoft Windows 95";
        return nullptr;
    case 10:
        return L"Microsoft Windows 98";
    case 90:
        return L"Microsoft Windows Me";
    default:
        return nullptr;
    }
}

static const wchar_t* SelectNt5(const OsVersionFacts& f)
{
    switch (f.minor) {
    case 0:
        return L"Microsoft Windows 2000";
    case 1:
        return L"Microsoft Windows XP";
    case 2:
        if (f.productType == VER_NT_WORKSTATION && f.processorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
            return L"Microsoft Windows XP Professional x64 Edition";
        return f.serverR2 ? L"Microsoft Windows Server 2003 R2" : L"Microsoft Windows Server 2003";
    default:
        return nullptr;
    }
}

// Without a compatibility manifest every later Windows reports 6.2; the real version
// from RtlGetNtVersionNumbers tells them apart.
static const wchar_t* SelectReported62(const OsVersionFacts& f)
{
    const int realTen = f.ntVersionKnown && f.ntMajor == 10;
    if (f.productType == VER_NT_WORKSTATION)
        return realTen ? L"Microsoft Windows 10" : L"Microsoft Windows 8";
    // Servers: the year of a 10.0 server cannot be told from the major version alone.
    if (realTen)
        return L"Microsoft Windows Server";
    if (f.ntVersionKnown && f.ntMajor == 6 && f.ntMinor == 3)
        return L"Microsoft Windows Server 2012 R2";
    return L"Microsoft Windows Server 2012";
}

static const wchar_t* SelectNt6(const OsVersionFacts& f)
{
    const int workstation = f.productType == VER_NT_WORKSTATION;
    switch (f.minor) {
    case 0:
        return workstation ? L"Microsoft Windows Vista" : L"Microsoft Windows Server 2008";
    case 1:
        return workstation ? L"Microsoft Windows 7" : L"Microsoft Windows Server 2008 R2";
    case 2:
        return SelectReported62(f);
    default:
        return nullptr;
    }
}

const wchar_t* SelectOSDisplayName(const OsVersionFacts& facts)
{
    switch (facts.major) {
    case 4:
        return SelectNt4OrWin9x(facts);
    case 5:
        return SelectNt5(facts);
    case 6:
        return SelectNt6(facts);
    default:
        return L"Unknow OS";
    }
}
