#include "i18n/catalogue.h"

#include <windows.h>

#include <locale.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <libintl.h>

#include "i18n/catalogue_text.h"
#include "i18n/mo_check.h"

namespace {

const char kDomain[] = "PrinterDriver";
const size_t kWorkingBytes = 520;
// Far above any catalogue of ours; a bigger file counts as unsound rather than being read
// whole into memory.
const DWORD kLargestCatalogue = 16 * 1024 * 1024;

// Set once the catalogue folder is bound; until then every lookup shows the built-in text,
// rather than whatever libintl's compiled-in default folder might hold.
bool catalogueBound = false;

void AnsiLeadBytes(unsigned char ranges[MAX_LEADBYTES])
{
    CPINFO info = {};
    if (GetCPInfo(CP_ACP, &info))
        memcpy(ranges, info.LeadByte, MAX_LEADBYTES);
    else
        memset(ranges, 0, MAX_LEADBYTES);
}

// Copies `length` units into the caller's buffer of `units`, cut to fit with its terminator.
void CopyCut(wchar_t* buffer, size_t units, const wchar_t* text, size_t length)
{
    size_t kept = Utf16FitLength(text, length, units - 1);
    memcpy(buffer, text, kept * sizeof(wchar_t));
    buffer[kept] = 0;
}

// Whether a file error means that nothing is there to be opened, by us or by libintl.
bool NothingThere(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILENAME_EXCED_RANGE;
}

int FileIsSoundCatalogue(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return NothingThere(GetLastError());
    int sound = 0;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size != INVALID_FILE_SIZE && high == 0 && size <= kLargestCatalogue) {
        unsigned char* data = static_cast<unsigned char*>(malloc(size ? size : 1));
        DWORD read = 0;
        if (data && ReadFile(file, data, size, &read, nullptr) && read == size)
            sound = IsSoundCatalogue(data, size);
        free(data);
    }
    CloseHandle(file);
    return sound;
}

// Every catalogue of the domain that libintl could open below the folder
// (<folder><locale>\LC_MESSAGES\PrinterDriver.mo) is sound. One that cannot be checked
// counts as unsound: libintl is then pointed at none of them.
int CataloguesAreSound(const char* langFolder)
{
    // A folder and a found name (each under MAX_PATH) with the rest always fit: these paths are
    // never cut. One past MAX_PATH is still tried, since where the platform opens it, so does
    // libintl.
    char pattern[2 * MAX_PATH + 64];
    if (FAILED(StringCchPrintfA(pattern, ARRAYSIZE(pattern), "%s*", langFolder)))
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return NothingThere(GetLastError());
    int sound = 1;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || strcmp(found.cFileName, ".") == 0 ||
            strcmp(found.cFileName, "..") == 0)
            continue;
        char path[2 * MAX_PATH + 64];
        sound = SUCCEEDED(StringCchPrintfA(path, ARRAYSIZE(path), "%s%s\\LC_MESSAGES\\%s.mo", langFolder,
                                           found.cFileName, kDomain)) &&
                FileIsSoundCatalogue(path);
    } while (sound && FindNextFileA(search, &found));
    FindClose(search);
    return sound;
}

// The UTF-16 text in the ANSI code page, in memory released with free(); null with the
// cause in the last error.
char* WideToAnsi(const wchar_t* wide)
{
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return nullptr;
    char* ansi = static_cast<char*>(calloc(static_cast<size_t>(bytes) + 1, 1));
    if (!ansi) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, bytes, nullptr, nullptr) > 0)
        return ansi;
    DWORD error = GetLastError();
    free(ansi);
    SetLastError(error);
    return nullptr;
}

// The catalogue's text for the key into the caller's buffer; 0 when there is none.
int TranslateInto(const char* key, wchar_t* buffer, size_t bufferUnits)
{
    char* ansi = Utf8ToAnsi(gettext(key));
    if (!ansi)
        return 0;
    unsigned char leadBytes[MAX_LEADBYTES];
    AnsiLeadBytes(leadBytes);
    char working[kWorkingBytes];
    // A longer translation is cut to the working buffer, at a character boundary.
    size_t length = AnsiFitLength(ansi, strlen(ansi), kWorkingBytes - 1, leadBytes);
    memcpy(working, ansi, length);
    working[length] = 0;
    free(ansi);
    if (strcmp(working, key) == 0)
        return 0;
    // Each ANSI byte gives at most one UTF-16 unit.
    wchar_t wide[kWorkingBytes];
    int units = length ? MultiByteToWideChar(CP_ACP, 0, working, static_cast<int>(length), wide, kWorkingBytes) : 0;
    CopyCut(buffer, bufferUnits, wide, units > 0 ? static_cast<size_t>(units) : 0);
    return 1;
}

} // namespace

void BindMessageCatalogue()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    unsigned char leadBytes[MAX_LEADBYTES];
    AnsiLeadBytes(leadBytes);
    char folder[MAX_PATH];
    // Without a folder that is surely the program's, nothing is bound and the built-in texts show.
    if (!CatalogueFolderFor(path, length, MAX_PATH - 1, leadBytes, folder, MAX_PATH))
        return;
    if (!CataloguesAreSound(folder))
        return;
    setlocale(LC_ALL, "");
    bindtextdomain(kDomain, folder);
    textdomain(kDomain);
    bind_textdomain_codeset(kDomain, "utf-8");
    catalogueBound = true;
}

wchar_t* GetLocalizedText(const char* key, wchar_t* buffer, size_t bufferUnits)
{
    if (!key || !buffer || bufferUnits == 0)
        return buffer;
    if (catalogueBound && TranslateInto(key, buffer, bufferUnits))
        return buffer;
    const wchar_t* text = FindFallbackText(key);
    if (text)
        CopyCut(buffer, bufferUnits, text, wcslen(text));
    return buffer;
}

char* Utf8ToAnsi(const char* text)
{
    if (!text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return nullptr;
    wchar_t* wide = static_cast<wchar_t*>(calloc(static_cast<size_t>(units) + 1, sizeof(wchar_t)));
    if (!wide) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    char* ansi = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) > 0 ? WideToAnsi(wide) : nullptr;
    DWORD error = GetLastError();
    free(wide);
    if (!ansi)
        SetLastError(error);
    return ansi;
}
