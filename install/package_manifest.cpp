#include "install/package_manifest.h"

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static wchar_t AsciiLower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// The line [line, end) as an entry with its path; 0 when it is not one.
static int ParseLine(const char* line, const char* end, ManifestEntry* entry, const char** path, size_t* pathLength)
{
    if (end - line < 2 * static_cast<long>(kSha256Bytes) + 3)
        return 0;
    for (size_t i = 0; i < kSha256Bytes; ++i) {
        const int high = HexDigit(line[2 * i]), low = HexDigit(line[2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        entry->sha256[i] = static_cast<BYTE>(high * 16 + low);
    }
    const char* p = line + 2 * kSha256Bytes;
    if (*p++ != ' ' || *p < '0' || *p > '9')
        return 0;
    unsigned long long size = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (size > (~0ULL - digit) / 10)
            return 0;
        size = size * 10 + digit;
    }
    if (p >= end || *p++ != ' ' || p == end)
        return 0;
    entry->size = size;
    *path = p;
    *pathLength = static_cast<size_t>(end - p);
    return 1;
}

static int SamePath(const char* listed, size_t listedLength, const wchar_t* wanted)
{
    size_t i = 0;
    for (; i < listedLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(listed[i]);
        if (c >= 0x80 || wanted[i] == 0 || AsciiLower(static_cast<wchar_t>(c)) != AsciiLower(wanted[i]))
            return 0;
    }
    return wanted[i] == 0;
}

int FindManifestEntry(const char* text, size_t length, const wchar_t* relativePath, ManifestEntry* entry)
{
    const char* const end = text + length;
    for (const char* line = text; line < end;) {
        const char* lineEnd = line;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        const char* next = lineEnd < end ? lineEnd + 1 : end;
        if (lineEnd > line && lineEnd[-1] == '\r')
            --lineEnd;
        ManifestEntry parsed = {};
        const char* path = nullptr;
        size_t pathLength = 0;
        if (ParseLine(line, lineEnd, &parsed, &path, &pathLength) && SamePath(path, pathLength, relativePath)) {
            *entry = parsed;
            return 1;
        }
        line = next;
    }
    return 0;
}

// The resource's name and type, as the build writes them into the program's resources.
static const wchar_t kManifestResource[] = L"PACKAGE_MANIFEST";

int LoadPackageManifest(const char** text, size_t* length)
{
    *text = nullptr;
    *length = 0;
    HMODULE program = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(program, kManifestResource, RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return 0;
    *text = static_cast<const char*>(bytes);
    *length = SizeofResource(program, found);
    return 1;
}
