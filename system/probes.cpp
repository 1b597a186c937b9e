#include "system/probes.h"

#include <stdlib.h>
#include <strsafe.h>

#include "spooler/spooler.h"
#include "system/os_display_name.h"
#include "system/system_api.h"

int BitsForArchitecture(WORD processorArchitecture)
{
    return processorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                   processorArchitecture == PROCESSOR_ARCHITECTURE_IA64
               ? 64
               : 32;
}

// The native architecture where the system can tell it, else the one this process sees.
static WORD NativeProcessorArchitecture()
{
    SYSTEM_INFO info = {};
    void(WINAPI * getNative)(SYSTEM_INFO*) = System().findGetNativeSystemInfo();
    if (getNative)
        getNative(&info);
    else
        System().getSystemInfo(&info);
    return info.wProcessorArchitecture;
}

int GetNativeBits()
{
    return BitsForArchitecture(NativeProcessorArchitecture());
}

const wchar_t* GetPrintEnvironment(int is64)
{
    return is64 ? L"Windows x64" : L"Windows NT x86";
}

int IsChineseSystem()
{
    return System().getSystemDefaultLangID() == 2052 ? 1 : 0;
}

int IsWindowStationVisible()
{
    USEROBJECTFLAGS flags = {};
    // A station that cannot be asked is taken for one nobody sees: there a dialog would
    // wait for ever, while a user's own desktop always answers.
    return System().getWindowStationFlags(&flags) && (flags.dwFlags & WSF_VISIBLE) ? 1 : 0;
}

int GetNtVersionNumbers(DWORD* major, DWORD* minor, DWORD* build)
{
    return System().getNtVersionNumbers(major, minor, build);
}

int GetOSDisplayName(wchar_t* buffer)
{
    if (!buffer)
        return 0;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!System().getVersionEx(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return 0;

    OsVersionFacts facts = {};
    facts.major = version.dwMajorVersion;
    facts.minor = version.dwMinorVersion;
    facts.platformId = version.dwPlatformId;
    facts.productType = version.wProductType;
    facts.processorArchitecture = NativeProcessorArchitecture();
    facts.serverR2 = System().getSystemMetrics(SM_SERVERR2);
    DWORD build = 0;
    facts.ntVersionKnown = GetNtVersionNumbers(&facts.ntMajor, &facts.ntMinor, &build);

    const wchar_t* name = SelectOSDisplayName(facts);
    // Every name is at most 45 characters; the caller's buffer is documented to hold them.
    if (name)
        StringCchCopyW(buffer, 46, name);
    return 1;
}

wchar_t* getPrinterDriverDir(int is64)
{
    wchar_t* environment = const_cast<wchar_t*>(GetPrintEnvironment(is64));
    DWORD needed = 0;
    Spooler().getPrinterDriverDirectory(nullptr, environment, 1, nullptr, 0, &needed);
    if (needed == 0)
        return nullptr;
    // One unit more than asked for, so the text is terminated whatever the spooler wrote.
    wchar_t* directory = static_cast<wchar_t*>(calloc(needed / sizeof(wchar_t) + 2, sizeof(wchar_t)));
    if (!directory) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    if (!Spooler().getPrinterDriverDirectory(nullptr, environment, 1, reinterpret_cast<BYTE*>(directory),
                                             needed, &needed)) {
        DWORD error = GetLastError();
        free(directory);
        SetLastError(error);
        return nullptr;
    }
    return directory;
}

int EnableTokenPrivilege(HANDLE token, const wchar_t* privilegeName)
{
    LUID luid = {};
    if (!LookupPrivilegeValueW(nullptr, privilegeName, &luid))
        return 0;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    SetLastError(ERROR_SUCCESS);
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr))
        return 0;
    // The call succeeds even when the token lacks the privilege; that is no success here.
    return GetLastError() == ERROR_NOT_ALL_ASSIGNED ? 0 : 1;
}
