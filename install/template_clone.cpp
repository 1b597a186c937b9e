// The model's data files, generated from the template's: the GPD and INI streamed through a
// pair of buffers, read once and written once, byte for byte as a rewrite through the C
// runtime's text-mode streams made them (the line ends of every generated file so far), the
// two DLLs copied.
#include <stdlib.h>
#include <string.h>

#include "install/install_job.h"
#include "install/template_text.h"
#include "system/file_copy.h"

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

// The buffers the GPD and the INI stream through: a piece read, and the room its generated
// bytes need, which for a driver name longer than the template name shortens the piece.
struct CloneBuffers {
    char* in;
    char* out;
    size_t pieceLength;
};

// A whole piece's room when the driver name is no longer than the template's: each byte
// twice, and the start of a name carried in.
static const size_t kCloneOutBytes = 2 * kClonePieceBytes + 2 * kAnsiNameBytes;

// length bytes at the file's end; a short write fails with ERROR_WRITE_FAULT.
static int WriteAll(HANDLE file, const char* bytes, size_t length)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr))
        return 0;
    if (written != length) {
        SetLastError(ERROR_WRITE_FAULT);
        return 0;
    }
    return 1;
}

// The template streamed into the generated file, piece by piece, to the template's end. 0
// with the cause of the first read or write that failed.
static int StreamTextFile(HANDLE source, HANDLE generated, TemplateStream* stream, const CloneBuffers& buffers)
{
    size_t length = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffers.in, static_cast<DWORD>(buffers.pieceLength), &got, nullptr))
            return 0;
        if (!got)
            break;
        if (!TemplateStreamFeed(stream, buffers.in, got, buffers.out, kCloneOutBytes, &length) ||
            !WriteAll(generated, buffers.out, length))
            return 0;
    }
    return TemplateStreamFinish(stream, buffers.out, kCloneOutBytes, &length) &&
           WriteAll(generated, buffers.out, length);
}

// The generated file of a GPD (replaceAll: every template name replaced) or an INI (only the
// first, its template read in text mode), with the bytes the C runtime's text-mode streams
// gave it: the INI as a text-mode read delivers it, the text up to its first zero byte, the
// names replaced, and the whole put out as a text-mode write does, each LF as CR LF. A text
// without the template name leaves the template's bytes as they are.
static int CloneTextFile(const CInstallJob& job, const wchar_t* templatePath, const wchar_t* generatedPath,
                         const char* name, const char* replacement, int replaceAll, const CloneBuffers& buffers)
{
    CPackageFile source(job, templatePath);
    if (source.Handle() == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(source.Handle(), start, nullptr, FILE_BEGIN))
        return 0;
    // Shared for reading only: what is written here is what the driver directory gets.
    HANDLE generated = CreateFileW(generatedPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (generated == INVALID_HANDLE_VALUE)
        return 0;
    TemplateStream stream;
    TemplateStreamStart(&stream, name, strlen(name), replacement, strlen(replacement), replaceAll, !replaceAll);
    int result = StreamTextFile(source.Handle(), generated, &stream, buffers);
    const DWORD cause = result ? ERROR_SUCCESS : GetLastError();
    if (!result) {
        CloseHandle(generated);
        SetLastError(cause);
        return 0;
    }
    if (stream.replaced)
        return job.keepGenerated(generatedPath, generated);
    // Rare and small: a template without the name, whose text went out with other line ends.
    CloseHandle(generated);
    HANDLE copy = INVALID_HANDLE_VALUE;
    return CopyFromHandle(source.Handle(), generatedPath, CREATE_ALWAYS, &copy) &&
           job.keepGenerated(generatedPath, copy);
}

// The template's RC or UI DLL under the model's name, kept like the generated texts.
static int CopyGeneratedDll(const CInstallJob& job, const wchar_t* templatePath, const wchar_t* generatedPath)
{
    HANDLE copy = INVALID_HANDLE_VALUE;
    return job.copyPackageFile(templatePath, generatedPath, CREATE_ALWAYS, &copy) &&
           job.keepGenerated(generatedPath, copy);
}

int CInstallJob::modifyFiles()
{
    const wchar_t* tag = LanguageTag(isChinese);
    const wchar_t* const parts[] = {L".GPD", L".INI", L"RC", L"UI"};
    DWORD firstError = ERROR_SUCCESS;
    char name[kAnsiNameBytes];
    char replacement[kAnsiNameBytes];
    CloneBuffers buffers = {};
    // Without the names or the buffers the two texts fail, and the DLLs are still copied.
    if (!ToAnsiName(kTemplateName, name) || !ToAnsiName(driverName, replacement)) {
        firstError = GetLastError();
    } else if (!(buffers.in = static_cast<char*>(malloc(kClonePieceBytes + kCloneOutBytes)))) {
        firstError = ERROR_OUTOFMEMORY;
    } else {
        buffers.out = buffers.in + kClonePieceBytes;
        // Names of 259 bytes at most leave room for a piece of hundreds of bytes at least.
        buffers.pieceLength =
            TemplateStreamPieceLength(kClonePieceBytes, kCloneOutBytes, strlen(name), strlen(replacement));
    }
    for (int kind = 0; kind < 4; ++kind) {
        if (kind < 2 && !buffers.in)
            continue;
        wchar_t templatePath[MAX_PATH] = {};
        wchar_t generatedPath[MAX_PATH] = {};
        int done = makeClonePath(kind, kTemplateName, parts[kind], tag, templatePath) &&
                   makeClonePath(kind, driverName, parts[kind], tag, generatedPath) &&
                   (kind < 2 ? CloneTextFile(*this, templatePath, generatedPath, name, replacement, kind == 0, buffers)
                             : CopyGeneratedDll(*this, templatePath, generatedPath));
        if (!done && firstError == ERROR_SUCCESS)
            firstError = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    }
    free(buffers.in);
    if (firstError != ERROR_SUCCESS) {
        SetLastError(firstError);
        return 0;
    }
    return 1;
}
