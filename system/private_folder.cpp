#include "system/private_folder.h"

#include <strsafe.h>

#include "system/crypto.h"
#include "system/object_security.h"

// Every new name is a fresh draw of 128 bits; a taken one means someone made it first.
static const int kNameDraws = 8;

int CreatePrivateFolder(const wchar_t* parent, const wchar_t* prefix, wchar_t* folder)
{
    folder[0] = 0;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!MakePrivateDescriptor(PrivateFolderFlags(IsElevatedOrSystem(), HasIntegrityLabels()), &descriptor))
        return 0;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const size_t parentLength = wcslen(parent);
    const wchar_t* separator = parentLength && parent[parentLength - 1] == L'\\' ? L"" : L"\\";
    int made = 0;
    for (int draw = 0; draw < kNameDraws && !made; ++draw) {
        BYTE random[16] = {};
        if (!GenerateRandomBytes(random, sizeof(random)))
            break;
        wchar_t digits[2 * sizeof(random) + 1] = {};
        for (size_t i = 0; i < sizeof(random); ++i)
            StringCchPrintfW(digits + 2 * i, 3, L"%02x", random[i]);
        // A path that does not fit would be cut into another folder's name.
        if (FAILED(StringCchPrintfW(folder, MAX_PATH, L"%s%s%s%s", parent, separator, prefix, digits))) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            break;
        }
        made = CreateDirectoryW(folder, &attributes) != FALSE;
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    if (!made) {
        folder[0] = 0;
        SetLastError(error);
    }
    return made;
}

// Deletes the tree now, or records each deletion for the next start of the system.
static int RemoveTree(const wchar_t* folder, int atRestart)
{
    wchar_t pattern[MAX_PATH] = {};
    if (FAILED(StringCchPrintfW(pattern, MAX_PATH, L"%s\\*", folder))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    DWORD firstError = ERROR_SUCCESS;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
                continue;
            wchar_t path[MAX_PATH] = {};
            int removed = 0;
            if (FAILED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", folder, found.cFileName)))
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
            else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                     !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                removed = RemoveTree(path, atRestart);
            else if (atRestart)
                removed = MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removed = RemoveDirectoryW(path) != FALSE;
            else
                removed = DeleteFileW(path) != FALSE;
            if (!removed && firstError == ERROR_SUCCESS)
                firstError = GetLastError();
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    const BOOL gone = atRestart ? MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) : RemoveDirectoryW(folder);
    if (!gone && firstError == ERROR_SUCCESS)
        firstError = GetLastError();
    if (firstError != ERROR_SUCCESS) {
        SetLastError(firstError);
        return 0;
    }
    return 1;
}

int RemoveFolderTree(const wchar_t* folder)
{
    return RemoveTree(folder, 0);
}

int RemoveFolderTreeAtRestart(const wchar_t* folder)
{
    return RemoveTree(folder, 1);
}
