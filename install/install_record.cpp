#include "install/install_record.h"

#include <strsafe.h>

#include "product_version.h"

const wchar_t kProgramRelease[] = L"" DI_VERSION_TEXT;

static const wchar_t kRunKey[] = L"SOFTWARE\\Ketrin\\DriverInstall\\LastRun";
static const wchar_t kVendorKey[] = L"SOFTWARE\\Ketrin";
static const wchar_t kReleaseValue[] = L"Version";
static const wchar_t kRunValue[] = L"Run";
static const wchar_t* const kKindValues[kRecordedKinds] = {L"Monitor", L"Port", L"Driver", L"Printer",
                                                              L"NetworkPort"};

// Set once this process has begun the record it writes to.
static int recording;

// The next dot-separated part of a release as a number; *text moves past it and its dot.
static unsigned long NextReleasePart(const wchar_t** text)
{
    unsigned long part = 0;
    const wchar_t* at = *text;
    for (; *at >= L'0' && *at <= L'9'; ++at) {
        // A part beyond any real release stays at its largest rather than wrapping round.
        if (part < 100000000UL)
            part = part * 10 + static_cast<unsigned long>(*at - L'0');
    }
    while (*at && *at != L'.')
        ++at;
    if (*at == L'.')
        ++at;
    *text = at;
    return part;
}

int CompareReleases(const wchar_t* a, const wchar_t* b)
{
    a = a ? a : L"";
    b = b ? b : L"";
    while (*a || *b) {
        const unsigned long left = NextReleasePart(&a), right = NextReleasePart(&b);
        if (left != right)
            return left < right ? -1 : 1;
    }
    return 0;
}

static int SetString(HKEY key, const wchar_t* name, const wchar_t* value)
{
    const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

// A string value into text (units), terminated whatever the registry held. 0 with the
// cause; a value of another type is ERROR_INVALID_DATA, one too long ERROR_MORE_DATA.
static int GetString(HKEY key, const wchar_t* name, wchar_t* text, size_t units)
{
    text[0] = 0;
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(units * sizeof(wchar_t));
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    const size_t count = bytes / sizeof(wchar_t);
    if (status == ERROR_SUCCESS && type != REG_SZ)
        status = ERROR_INVALID_DATA;
    // A value stored without its terminator may fill the buffer to its last unit.
    else if (status == ERROR_SUCCESS && count == units && text[units - 1] != 0)
        status = ERROR_MORE_DATA;
    if (status != ERROR_SUCCESS) {
        text[0] = 0;
        SetLastError(static_cast<DWORD>(status));
        return 0;
    }
    text[count < units ? count : units - 1] = 0;
    return 1;
}

static int OpenKey(const wchar_t* path, REGSAM access, HKEY* key, int create)
{
    const LSTATUS status = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, access, nullptr, key, nullptr)
                                  : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, key);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

int WriteInstalledRelease()
{
    HKEY key = nullptr;
    if (!OpenKey(kProductKey, KEY_SET_VALUE, &key, 1))
        return 0;
    const int written = SetString(key, kReleaseValue, kProgramRelease);
    const DWORD error = GetLastError();
    RegCloseKey(key);
    SetLastError(error);
    return written;
}

int ReadInstalledRelease(wchar_t* release, size_t units)
{
    release[0] = 0;
    HKEY key = nullptr;
    if (!OpenKey(kProductKey, KEY_QUERY_VALUE, &key, 0))
        return 0;
    const int read = GetString(key, kReleaseValue, release, units);
    const DWORD error = GetLastError();
    RegCloseKey(key);
    SetLastError(error);
    return read;
}

// The key at path, when it holds no value and no sub-key: a key another product shares
// keeps what that product put there.
static void DeleteKeyIfEmpty(const wchar_t* path)
{
    HKEY key = nullptr;
    if (!OpenKey(path, KEY_QUERY_VALUE, &key, 0))
        return;
    DWORD subKeys = 1, values = 1;
    const LSTATUS status =
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && subKeys == 0 && values == 0)
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
}

void RemoveProductRecord()
{
    HKEY key = nullptr;
    if (OpenKey(kProductKey, KEY_SET_VALUE, &key, 0)) {
        RegDeleteValueW(key, kReleaseValue);
        RegCloseKey(key);
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRunKey);
    DeleteKeyIfEmpty(kProductKey);
    DeleteKeyIfEmpty(kVendorKey);
}

int BeginRunRecord(const wchar_t* runId)
{
    recording = 0;
    const LSTATUS deleted = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRunKey);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
        SetLastError(static_cast<DWORD>(deleted));
        return 0;
    }
    HKEY key = nullptr;
    if (!OpenKey(kRunKey, KEY_SET_VALUE, &key, 1))
        return 0;
    recording = SetString(key, kRunValue, runId ? runId : L"");
    const DWORD error = GetLastError();
    RegCloseKey(key);
    SetLastError(error);
    return recording;
}

int RecordCreated(RecordedKind kind, const wchar_t* name)
{
    if (!recording) {
        SetLastError(ERROR_INVALID_STATE);
        return 0;
    }
    HKEY key = nullptr;
    if (!OpenKey(kRunKey, KEY_SET_VALUE, &key, 0))
        return 0;
    const int written = SetString(key, kKindValues[kind], name);
    const DWORD error = GetLastError();
    RegCloseKey(key);
    SetLastError(error);
    return written;
}

int ReadRunRecord(RunRecord* record)
{
    ZeroMemory(record, sizeof(*record));
    HKEY key = nullptr;
    if (!OpenKey(kRunKey, KEY_QUERY_VALUE, &key, 0))
        return 0;
    int read = GetString(key, kRunValue, record->runId, ARRAYSIZE(record->runId));
    DWORD error = GetLastError();
    for (int kind = 0; read && kind < kRecordedKinds; ++kind) {
        // A kind not recorded is a thing the run found in place.
        if (!GetString(key, kKindValues[kind], record->names[kind], kRecordedNameUnits) &&
            GetLastError() != ERROR_FILE_NOT_FOUND) {
            read = 0;
            error = GetLastError();
        }
    }
    RegCloseKey(key);
    SetLastError(error);
    return read;
}

int ClearRunRecord()
{
    recording = 0;
    const LSTATUS deleted = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRunKey);
    SetLastError(static_cast<DWORD>(deleted));
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
