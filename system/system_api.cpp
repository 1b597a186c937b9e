#include "system/system_api.h"

#include <stdlib.h>

#include "system/system_library.h"

static void(WINAPI* FindGetNativeSystemInfo())(SYSTEM_INFO*)
{
    // kernel32 is always loaded; nothing is loaded to ask.
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel)
        return nullptr;
    return reinterpret_cast<void(WINAPI*)(SYSTEM_INFO*)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
}

static int AskNtVersionNumbers(DWORD* major, DWORD* minor, DWORD* build)
{
    HMODULE ntdll = LoadSystemLibrary(L"ntdll.dll");
    if (!ntdll)
        return 0;
    typedef void(WINAPI * RtlGetNtVersionNumbersFn)(DWORD*, DWORD*, DWORD*);
    RtlGetNtVersionNumbersFn get = reinterpret_cast<RtlGetNtVersionNumbersFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
    int result = 0;
    if (get) {
        get(major, minor, build);
        // The high bits of the build carry checked/free flags, not the build.
        *build &= 0xFFFF;
        result = 1;
    }
    FreeLibrary(ntdll);
    return result;
}

static BOOL AskWindowStationFlags(USEROBJECTFLAGS* flags)
{
    // The process's own handle, which is not closed.
    HWINSTA station = GetProcessWindowStation();
    if (!station)
        return FALSE;
    DWORD needed = 0;
    return GetUserObjectInformationW(station, UOI_FLAGS, flags, sizeof(*flags), &needed);
}

static void* Allocate(size_t bytes)
{
    return malloc(bytes);
}

static void PackageStaged(const wchar_t*) {}

static BOOL IsAdministrator(BOOL* member)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return FALSE;
    // Deny-only in a filtered token (an administrator's process that is not elevated).
    const BOOL asked = CheckTokenMembership(nullptr, administrators, member);
    const DWORD error = GetLastError();
    FreeSid(administrators);
    SetLastError(error);
    return asked;
}

static const SystemApi realApi = {
    GetVersionExW,          GetSystemInfo, FindGetNativeSystemInfo, GetSystemMetrics, AskNtVersionNumbers,
    GetSystemDefaultLangID, WriteFile,     AskWindowStationFlags,   Allocate,         PackageStaged,
    IsAdministrator,
};

static SystemApi currentApi = realApi;

SystemApi& System()
{
    return currentApi;
}

const SystemApi& RealSystemApi()
{
    return realApi;
}
