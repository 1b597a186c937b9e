#include "system/file_copy.h"

#include <stdlib.h>
#include <string.h>

static const DWORD kPieceBytes = 64 * 1024;

static int Rewind(HANDLE file)
{
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

int CopyFromHandle(HANDLE source, const wchar_t* target, DWORD disposition, HANDLE* kept)
{
    if (kept)
        *kept = INVALID_HANDLE_VALUE;
    if (!Rewind(source))
        return 0;
    BYTE* buffer = static_cast<BYTE*>(malloc(kPieceBytes));
    if (!buffer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    HANDLE out = CreateFileW(target, kept ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE, kept ? FILE_SHARE_READ : 0,
                             nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    int copied = out != INVALID_HANDLE_VALUE;
    const int made = copied;
    while (copied) {
        DWORD read = 0;
        DWORD written = 0;
        if (!ReadFile(source, buffer, kPieceBytes, &read, nullptr))
            copied = 0;
        else if (read == 0)
            break;
        else if (!WriteFile(out, buffer, read, &written, nullptr))
            copied = 0;
        else if (written != read) {
            SetLastError(ERROR_WRITE_FAULT);
            copied = 0;
        }
    }
    const DWORD cause = GetLastError();
    free(buffer);
    if (copied && kept) {
        *kept = out;
        return 1;
    }
    if (made && !CloseHandle(out) && copied)
        return 0;
    if (copied)
        return 1;
    // Half a file would be taken for the whole one.
    if (made)
        DeleteFileW(target);
    SetLastError(cause);
    return 0;
}

int FileMatchesHandle(HANDLE source, const wchar_t* path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    BYTE* buffers = static_cast<BYTE*>(malloc(2 * kPieceBytes));
    LARGE_INTEGER sizes[2] = {};
    int same = buffers && file != INVALID_HANDLE_VALUE && Rewind(source) && GetFileSizeEx(source, &sizes[0]) &&
               GetFileSizeEx(file, &sizes[1]) && sizes[0].QuadPart == sizes[1].QuadPart;
    while (same) {
        DWORD read[2] = {};
        same = ReadFile(source, buffers, kPieceBytes, &read[0], nullptr) &&
               ReadFile(file, buffers + kPieceBytes, kPieceBytes, &read[1], nullptr) && read[0] == read[1] &&
               memcmp(buffers, buffers + kPieceBytes, read[0]) == 0;
        if (read[0] == 0)
            break;
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    free(buffers);
    return same;
}
