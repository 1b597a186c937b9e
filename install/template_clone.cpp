// The model's data files, generated from the template's: the GPD and INI read whole and
// written once, byte for byte as a rewrite through the C runtime's text-mode streams made
// them (the line ends of every generated file so far), the two DLLs copied.
#include <stdlib.h>
#include <string.h>

#include "install/install_job.h"
#include "install/template_text.h"

static const size_t kAnsiNameBytes = 260;

// The UTF-16 text in the ANSI code page, in full, into 260 zero-filled bytes. 0 with
// ERROR_FILENAME_EXCED_RANGE when it would not fit; a cut name would match other text.
static int ToAnsiName(const wchar_t* text, char* ansi)
{
    memset(ansi, 0, kAnsiNameBytes);
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > kAnsiNameBytes) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, needed, nullptr, nullptr) > 0;
}

int CInstallJob::makeClonePath(int kind, const wchar_t* base, const wchar_t* extensionOrPart, const wchar_t* tag,
                               wchar_t* path) const
{
    wchar_t name[MAX_PATH] = {};
    if (!FormatGeneratedName(kind, base, extensionOrPart, tag, name)) {
        path[0] = 0;
        return 0;
    }
    return JoinPath(path, sourceDir, name);
}

// The whole file in a new buffer of its size (one byte at least), its length in *length.
// Null with the cause when it cannot be opened, read or held.
static char* ReadWholeFile(const wchar_t* path, size_t* length)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    char* bytes = nullptr;
    DWORD cause = ERROR_SUCCESS;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        cause = GetLastError();
    } else if (static_cast<ULONGLONG>(size.QuadPart) >= MAXDWORD) {
        // One read asks for a DWORD's count, and a 32-bit process could not hold more anyway.
        cause = ERROR_FILE_TOO_LARGE;
    } else if (!(bytes = static_cast<char*>(malloc(size.QuadPart ? static_cast<size_t>(size.QuadPart) : 1)))) {
        cause = ERROR_OUTOFMEMORY;
    } else {
        const DWORD wanted = static_cast<DWORD>(size.QuadPart);
        DWORD total = 0, got = 0;
        // A file that got shorter since its size was asked gives what it still holds.
        while (total < wanted) {
            if (!ReadFile(file, bytes + total, wanted - total, &got, nullptr)) {
                cause = GetLastError();
                free(bytes);
                bytes = nullptr;
                break;
            }
            if (!got)
                break;
            total += got;
        }
        *length = total;
    }
    CloseHandle(file);
    if (!bytes)
        SetLastError(cause);
    return bytes;
}

// length bytes as the whole of the file at path, which is made or emptied first.
static int WriteWholeFile(const wchar_t* path, const char* bytes, size_t length)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    int result = WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) && written == length;
    DWORD cause = result ? ERROR_SUCCESS : GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    CloseHandle(file);
    SetLastError(cause);
    return result;
}

// The generated file of a GPD (replaceAll: every template name replaced) or an INI (only the
// first), with the bytes the C runtime's text-mode streams gave it: the INI as a text-mode
// read delivers it, the text up to its first zero byte, the names replaced, and the whole put
// out as a text-mode write does, each LF as CR LF. A text without the template name leaves
// the template's bytes as they are.
static int CloneTextFile(const wchar_t* templatePath, const wchar_t* generatedPath, const wchar_t* driverName,
                         int replaceAll)
{
    char name[kAnsiNameBytes];
    char replacement[kAnsiNameBytes];
    if (!ToAnsiName(kTemplateName, name) || !ToAnsiName(driverName, replacement))
        return 0;
    const size_t nameLength = strlen(name), replacementLength = strlen(replacement);
    size_t rawLength = 0;
    char* raw = ReadWholeFile(templatePath, &rawLength);
    if (!raw)
        return 0;
    // The INI's text apart from its raw bytes, which are the generated file when it holds no name.
    char* text = replaceAll ? raw : static_cast<char*>(malloc(rawLength ? rawLength : 1));
    char* generated = nullptr;
    int result = 0;
    if (!text) {
        SetLastError(ERROR_OUTOFMEMORY);
    } else {
        const size_t textLength = TextLength(text, replaceAll ? rawLength : TextModeRead(raw, rawLength, text));
        size_t names = CountTemplateNames(text, textLength, name, nameLength);
        if (!names) {
            result = WriteWholeFile(generatedPath, raw, rawLength);
        } else {
            if (text != raw) {
                free(raw);
                raw = nullptr;
            }
            if (!replaceAll)
                names = 1;
            int fits = 0;
            const size_t replacedLength = ReplacedTextLength(textLength, names, nameLength, replacementLength, &fits);
            const size_t generatedLength =
                fits ? WrittenReplacedTextLength(text, textLength, names, name, nameLength, replacement,
                                                 replacementLength, &fits)
                     : 0;
            // The names are replaced into a buffer sized for the written text, whose line ends
            // then grow in place.
            if (!fits) {
                SetLastError(ERROR_ARITHMETIC_OVERFLOW);
            } else if (!(generated = static_cast<char*>(malloc(generatedLength + 1)))) {
                SetLastError(ERROR_OUTOFMEMORY);
            } else if (!ReplaceTemplateNames(text, textLength, name, nameLength, replacement, replacementLength,
                                             replaceAll, generated, generatedLength + 1) ||
                       !TextModeWrite(generated, replacedLength, generatedLength)) {
                // Each refuses a text that would not fit the buffer sized above.
                SetLastError(ERROR_ARITHMETIC_OVERFLOW);
            } else {
                result = WriteWholeFile(generatedPath, generated, generatedLength);
            }
        }
    }
    DWORD cause = GetLastError();
    if (text != raw)
        free(text);
    free(raw);
    free(generated);
    SetLastError(cause);
    return result;
}

int CInstallJob::modifyFiles()
{
    const wchar_t* tag = LanguageTag(isChinese);
    const wchar_t* const parts[] = {L".GPD", L".INI", L"RC", L"UI"};
    DWORD firstError = ERROR_SUCCESS;
    for (int kind = 0; kind < 4; ++kind) {
        wchar_t templatePath[MAX_PATH] = {};
        wchar_t generatedPath[MAX_PATH] = {};
        int done = makeClonePath(kind, kTemplateName, parts[kind], tag, templatePath) &&
                   makeClonePath(kind, driverName, parts[kind], tag, generatedPath) &&
                   (kind < 2 ? CloneTextFile(templatePath, generatedPath, driverName, kind == 0)
                             : CopyFileW(templatePath, generatedPath, FALSE));
        if (!done && firstError == ERROR_SUCCESS)
            firstError = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    }
    if (firstError != ERROR_SUCCESS) {
        SetLastError(firstError);
        return 0;
    }
    return 1;
}
