#include "system/object_security.h"

#include <sddl.h>
#include <stdlib.h>
#include <strsafe.h>

namespace {

// The process token's user; a SID is at most SECURITY_MAX_SID_SIZE bytes.
struct AccountSid {
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    };
};

int QueryRunningAccount(AccountSid* account)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, account->bytes, sizeof(account->bytes), &size);
    const DWORD error = GetLastError();
    CloseHandle(token);
    SetLastError(error);
    return read != FALSE;
}

// NT SERVICE\TrustedInstaller: S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
const struct {
    BYTE revision;
    BYTE subAuthorityCount;
    SID_IDENTIFIER_AUTHORITY authority;
    DWORD subAuthority[6];
} kTrustedInstallerSid = {SID_REVISION, 6, SECURITY_NT_AUTHORITY,
                          {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}};

} // namespace

int MakePrivateDescriptor(unsigned flags, PSECURITY_DESCRIPTOR* descriptor)
{
    *descriptor = nullptr;
    // Protected: nothing inherited from a folder widens the access.
    wchar_t sddl[512] = {};
    StringCchCopyW(sddl, ARRAYSIZE(sddl), (flags & kOwnedByAdministrators) ? L"O:BA" : L"");
    const wchar_t* inheritance = (flags & kInheritedByContents) ? L"OICI" : L"";
    wchar_t entries[64] = {};
    StringCchPrintfW(entries, ARRAYSIZE(entries), L"D:P(A;%s;GA;;;SY)(A;%s;GA;;;BA)", inheritance, inheritance);
    StringCchCatW(sddl, ARRAYSIZE(sddl), entries);
    if (flags & kGrantRunningAccount) {
        AccountSid account;
        wchar_t* sid = nullptr;
        if (!QueryRunningAccount(&account) || !ConvertSidToStringSidW(account.user.User.Sid, &sid))
            return 0;
        // A SID string is at most about 190 characters: the text always fits.
        StringCchCatW(sddl, ARRAYSIZE(sddl), L"(A;");
        StringCchCatW(sddl, ARRAYSIZE(sddl), inheritance);
        StringCchCatW(sddl, ARRAYSIZE(sddl), L";GA;;;");
        StringCchCatW(sddl, ARRAYSIZE(sddl), sid);
        StringCchCatW(sddl, ARRAYSIZE(sddl), L")");
        LocalFree(sid);
    }
    // Known to the descriptor parser only where the platform has labels.
    if (flags & kHighIntegrityLabel)
        StringCchCatW(sddl, ARRAYSIZE(sddl),
                      (flags & kInheritedByContents) ? L"S:(ML;OICI;NW;;;HI)" : L"S:(ML;;NW;;;HI)");
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor, nullptr) != FALSE;
}

unsigned PrivateFolderFlags(int elevatedOrSystem, int hasLabels)
{
    if (!elevatedOrSystem)
        return kGrantRunningAccount | kInheritedByContents;
    const unsigned label = hasLabels ? static_cast<unsigned>(kHighIntegrityLabel) : 0u;
    return kOwnedByAdministrators | kInheritedByContents | label;
}

int IsElevatedOrSystem()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    // Asked by its number: XP knows no elevation and fails the question.
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const int elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) && elevation.TokenIsElevated;
    CloseHandle(token);
    AccountSid account;
    return elevated || (QueryRunningAccount(&account) && IsWellKnownSid(account.user.User.Sid, WinLocalSystemSid));
}

int HasIntegrityLabels()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    union {
        TOKEN_MANDATORY_LABEL label;
        BYTE bytes[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    } level;
    DWORD size = 0;
    const int labelled =
        GetTokenInformation(token, TokenIntegrityLevel, level.bytes, sizeof(level.bytes), &size) != FALSE;
    CloseHandle(token);
    return labelled;
}

int QueryOwnerClass(HANDLE object, OwnerClass* owner)
{
    DWORD needed = 0;
    if (GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    PSECURITY_DESCRIPTOR descriptor = malloc(needed);
    if (!descriptor) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    AccountSid account;
    PSID sid = nullptr;
    BOOL defaulted = FALSE;
    if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor, needed, &needed) ||
        !GetSecurityDescriptorOwner(descriptor, &sid, &defaulted) || !QueryRunningAccount(&account)) {
        const DWORD error = GetLastError();
        free(descriptor);
        SetLastError(error);
        return 0;
    }
    // An object made without a descriptor may have no owner at all (seen under Wine).
    if (!sid)
        *owner = kOwnerOther;
    else if (IsWellKnownSid(sid, WinLocalSystemSid))
        *owner = kOwnerSystem;
    else if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
        *owner = kOwnerAdministrators;
    else if (EqualSid(sid, const_cast<PSID>(static_cast<const void*>(&kTrustedInstallerSid))))
        *owner = kOwnerTrustedInstaller;
    else if (EqualSid(sid, account.user.User.Sid))
        *owner = kOwnerRunningAccount;
    else
        *owner = kOwnerOther;
    free(descriptor);
    return 1;
}

int IsTrustedOwner(OwnerClass owner, int trustRunningAccount)
{
    return owner == kOwnerSystem || owner == kOwnerAdministrators || owner == kOwnerTrustedInstaller ||
           (trustRunningAccount && owner == kOwnerRunningAccount);
}
