// The model's data files, generated from the template's: copies made with the platform's
// file copy, their GPD and INI text rewritten through the C runtime's streams, whose text
// mode gives the generated files their line ends.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "install/install_job.h"
#include "install/stream_io.h"
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

// A path in the ANSI code page for the C runtime's streams. 0 when it does not fit, and 0
// with ERROR_NO_UNICODE_TRANSLATION when the code page lacks one of its characters: the
// default character in its place would name another file.
static int ToAnsiPath(const wchar_t* path, char* ansi)
{
    memset(ansi, 0, kAnsiNameBytes);
    BOOL usedDefault = FALSE;
    int needed = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || static_cast<size_t>(needed) > kAnsiNameBytes) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (usedDefault) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, needed, nullptr, nullptr) > 0;
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

int CInstallJob::replaceTemplateNames(const char* text, int replaceAll, char* result, size_t resultCapacity) const
{
    char templateName[kAnsiNameBytes];
    char newName[kAnsiNameBytes];
    if (!ToAnsiName(kTemplateName, templateName) || !ToAnsiName(driverName, newName))
        return 0;
    return ReplaceTemplateNames(text, strlen(text), templateName, strlen(templateName), newName, strlen(newName),
                                replaceAll, result, resultCapacity);
}

int CInstallJob::replaceAllTemplateNames(const char* text, char* result, size_t resultCapacity) const
{
    return replaceTemplateNames(text, 1, result, resultCapacity);
}

int CInstallJob::replaceFirstTemplateName(const char* text, char* result, size_t resultCapacity) const
{
    return replaceTemplateNames(text, 0, result, resultCapacity);
}

// Where the C runtime failed without a platform cause, the given one stands in.
static int FailWith(DWORD cause)
{
    if (GetLastError() == ERROR_SUCCESS)
        SetLastError(cause);
    return 0;
}

// The rewritten text, in a new zero-filled buffer sized for it: each replacement grows the
// text by the driver name's length less the template name's, so a long driver name is given
// the room it needs. Null with ERROR_NOT_FOUND when the text holds no template name.
char* CInstallJob::rewrittenText(const char* text, int replaceAll, size_t* length) const
{
    char templateName[kAnsiNameBytes];
    char newName[kAnsiNameBytes];
    if (!ToAnsiName(kTemplateName, templateName) || !ToAnsiName(driverName, newName))
        return nullptr;
    const size_t textLength = strlen(text);
    size_t occurrences = CountTemplateNames(text, textLength, templateName, strlen(templateName));
    if (occurrences == 0) {
        SetLastError(ERROR_NOT_FOUND);
        return nullptr;
    }
    if (!replaceAll)
        occurrences = 1;
    int fits = 0;
    size_t resultLength = ReplacedTextLength(textLength, occurrences, strlen(templateName), strlen(newName), &fits);
    if (!fits) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return nullptr;
    }
    char* result = static_cast<char*>(calloc(resultLength + 1, 1));
    if (!result) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    if (!(replaceAll ? replaceAllTemplateNames(text, result, resultLength + 1)
                     : replaceFirstTemplateName(text, result, resultLength + 1))) {
        free(result);
        SetLastError(ERROR_NOT_FOUND);
        return nullptr;
    }
    *length = resultLength;
    return result;
}

int CInstallJob::rewriteFile(const char* ansiPath, int replaceAll) const
{
    // The GPD is read raw; the INI through text mode, which turns its CR LF into LF and ends
    // at a 0x1A byte. Both are written back through text mode, which puts out LF as CR LF.
    SetLastError(ERROR_SUCCESS);
    FILE* file = fopen(ansiPath, replaceAll ? "rb" : "r+");
    if (!file)
        return FailWith(ERROR_OPEN_FAILED);
    int result = 0;
    char* text = nullptr;
    char* rewritten = nullptr;
    size_t rewrittenLength = 0;
    long long size = getFileSize(file);
    if (size < 0) {
        FailWith(ERROR_SEEK);
    } else if (static_cast<unsigned long long>(size) >= static_cast<size_t>(-1)) {
        SetLastError(ERROR_FILE_TOO_LARGE);
    } else if (!(text = static_cast<char*>(calloc(static_cast<size_t>(size) + 1, 1)))) {
        SetLastError(ERROR_OUTOFMEMORY);
    } else if (replaceAll ? !readFileInChunks(text, static_cast<int>(size), file)
                          : !readWholeTextFile(text, static_cast<size_t>(size), file)) {
        FailWith(ERROR_READ_FAULT);
    } else if (!text[0]) {
        // An empty text holds no template name; the copy stands as it is.
        SetLastError(ERROR_NOT_FOUND);
    } else if ((rewritten = rewrittenText(text, replaceAll, &rewrittenLength)) != nullptr) {
        fclose(file);
        SetLastError(ERROR_SUCCESS);
        file = fopen(ansiPath, "w+");
        if (!file)
            FailWith(ERROR_OPEN_FAILED);
        else if (fwrite(rewritten, 1, rewrittenLength, file) == rewrittenLength)
            result = 1;
        else
            FailWith(ERROR_WRITE_FAULT);
    }
    DWORD cause = GetLastError();
    if (file && fclose(file) != 0 && result) {
        result = 0;
        cause = ERROR_WRITE_FAULT;
    }
    free(text);
    free(rewritten);
    SetLastError(result ? ERROR_SUCCESS : cause);
    return result;
}

int CInstallJob::rewriteGpdFile(const char* ansiPath) const
{
    return rewriteFile(ansiPath, 1);
}

int CInstallJob::rewriteIniFile(const char* ansiPath) const
{
    return rewriteFile(ansiPath, 0);
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
                   CopyFileW(templatePath, generatedPath, FALSE);
        if (done && kind < 2) {
            char ansiPath[kAnsiNameBytes];
            done = ToAnsiPath(generatedPath, ansiPath) &&
                   (kind == 0 ? rewriteGpdFile(ansiPath) : rewriteIniFile(ansiPath));
            // A text without the template name is left as copied: the copy is the file.
            if (!done && GetLastError() == ERROR_NOT_FOUND)
                done = 1;
        }
        if (!done && firstError == ERROR_SUCCESS)
            firstError = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    }
    if (firstError != ERROR_SUCCESS) {
        SetLastError(firstError);
        return 0;
    }
    return 1;
}
