#include "install/package_staging.h"

#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "install/package_manifest.h"
#include "spooler/spooler_names.h"
#include "system/crypto.h"
#include "system/private_folder.h"
#include "system/user_report.h"

static const DWORD kCopyPiece = 64 * 1024;
static const wchar_t kStagePrefix[] = L"DriverInstall-";
static const int kRemoveAttempts = 3;
static const DWORD kRemoveRetryMs = 200;

static int AddPath(wchar_t (*paths)[MAX_PATH], size_t* count, const wchar_t* folder, const wchar_t* name)
{
    if (!name || !name[0])
        return 1;
    if (*count >= kMaxStagedFiles || !JoinPath(paths[*count], folder, name)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    ++*count;
    return 1;
}

int ListStagedFiles(const CInstallJob& job, wchar_t (*paths)[MAX_PATH], size_t* count)
{
    *count = 0;
    // A program path without a folder gives the package's paths relative to the program's.
    wchar_t setup[MAX_PATH] = {};
    wchar_t language[MAX_PATH] = {};
    if (!ComposePackagePaths(L"", job.is64, job.packageFolder, job.isChinese, setup, language))
        return 0;
    const PrinterModelInfo* model = job.model;
    if (model && model->hasExtraFiles &&
        (!AddPath(paths, count, language, model->extraFile1) || !AddPath(paths, count, language, model->extraFile2)))
        return 0;
    for (const wchar_t* name : kUnidrvFiles) {
        if (!AddPath(paths, count, language, name))
            return 0;
    }
    // Generated data files are made from the template's; a model whose files the package
    // holds reads its own.
    const wchar_t* base = wcscmp(job.templateKey, kTemplateName) != 0 ? kTemplateName : job.driverName;
    const wchar_t* const parts[] = {L".GPD", L".INI", L"RC", L"UI"};
    for (int kind = 0; kind < 4; ++kind) {
        wchar_t name[MAX_PATH] = {};
        if (!FormatGeneratedName(kind, base, parts[kind], LanguageTag(job.isChinese), name) ||
            !AddPath(paths, count, language, name))
            return 0;
    }
    if (!AddPath(paths, count, setup, kMonitorUiDllName) || !AddPath(paths, count, setup, kMonitorDllName))
        return 0;
    // The restore client lies beside the program: its path has no folder.
    StringCchCopyW(paths[(*count)++], MAX_PATH, kRestoreClientName);
    return 1;
}

int PackageSourceOfDriverFile(const CInstallJob& job, const wchar_t* fileName, wchar_t* relative)
{
    relative[0] = 0;
    wchar_t paths[kMaxStagedFiles][MAX_PATH] = {};
    size_t count = 0;
    if (!ListStagedFiles(job, paths, &count))
        return 0;
    // Only the language folder holds driver files; the monitor pair and the restore client
    // go elsewhere.
    wchar_t setup[MAX_PATH] = {};
    wchar_t language[MAX_PATH] = {};
    if (!ComposePackagePaths(L"", job.is64, job.packageFolder, job.isChinese, setup, language))
        return 0;
    const size_t folderLength = wcslen(language);
    const int generated = wcscmp(job.templateKey, kTemplateName) != 0;
    const wchar_t* const parts[] = {L".GPD", L".INI", L"RC", L"UI"};
    const wchar_t* tag = LanguageTag(job.isChinese);
    for (size_t i = 0; i < count; ++i) {
        if (_wcsnicmp(paths[i], language, folderLength) != 0 || paths[i][folderLength] != L'\\')
            continue;
        const wchar_t* base = paths[i] + folderLength + 1;
        wchar_t installed[MAX_PATH] = {};
        StringCchCopyW(installed, MAX_PATH, base);
        int rewritten = 0;
        for (int kind = 0; generated && kind < 4; ++kind) {
            wchar_t templateName[MAX_PATH] = {};
            if (!FormatGeneratedName(kind, kTemplateName, parts[kind], tag, templateName) ||
                lstrcmpiW(templateName, base) != 0)
                continue;
            rewritten = kind < 2;
            FormatGeneratedName(kind, job.driverName, parts[kind], tag, installed);
        }
        if (!rewritten && lstrcmpiW(installed, fileName) == 0)
            return SUCCEEDED(StringCchCopyW(relative, MAX_PATH, paths[i]));
    }
    return 0;
}

DWORD CheckFileAgainstEntry(const wchar_t* path, const ManifestEntry& entry)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    BYTE* buffer = static_cast<BYTE*>(malloc(kCopyPiece));
    CSha256 hash;
    DWORD fault = ERROR_SUCCESS;
    if (!buffer)
        fault = ERROR_NOT_ENOUGH_MEMORY;
    else if (!hash.Begin())
        fault = GetLastError();
    unsigned long long size = 0;
    while (fault == ERROR_SUCCESS) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, kCopyPiece, &read, nullptr) || (read && !hash.Add(buffer, read))) {
            fault = GetLastError();
        } else if (read == 0) {
            break;
        } else if ((size += read) > entry.size) {
            // Past the listed size the bytes cannot be the listed ones.
            fault = ERROR_INVALID_DATA;
        }
    }
    BYTE digest[kSha256Bytes] = {};
    if (fault == ERROR_SUCCESS && !hash.Finish(digest))
        fault = GetLastError();
    else if (fault == ERROR_SUCCESS && (size != entry.size || memcmp(digest, entry.sha256, kSha256Bytes) != 0))
        fault = ERROR_INVALID_DATA;
    free(buffer);
    CloseHandle(file);
    return fault;
}

// 1 for the name of a folder the staging makes: "DriverInstall-" and 32 hexadecimal digits.
static int IsStageFolderName(const wchar_t* name)
{
    const size_t prefixLength = ARRAYSIZE(kStagePrefix) - 1;
    if (_wcsnicmp(name, kStagePrefix, prefixLength) != 0)
        return 0;
    const wchar_t* digits = name + prefixLength;
    size_t count = 0;
    for (wchar_t c; (c = digits[count]) != 0 && ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') ||
                                                 (c >= L'A' && c <= L'F'));
         ++count) {
    }
    return count == 32 && digits[count] == 0;
}

// The copies that runs stopped before their end left in the temporary folder. A link under
// such a name is no copy of ours and is never followed.
static void RemoveStaleStages(const wchar_t* temp)
{
    wchar_t pattern[MAX_PATH] = {};
    if (FAILED(StringCchPrintfW(pattern, MAX_PATH, L"%s%s*", temp, kStagePrefix)))
        return;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        wchar_t path[MAX_PATH] = {};
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsStageFolderName(found.cFileName) &&
            SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s%s", temp, found.cFileName)))
            RemoveFolderTree(path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A folder of the copy, held open without delete sharing so that it cannot be renamed away
// and another put in its place.
int CPackageStage::HoldFolder(const wchar_t* path)
{
    if (folderCount_ >= ARRAYSIZE(folders_)) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return 0;
    }
    HANDLE folder = CreateFileW(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return 0;
    Held& held = folders_[folderCount_++];
    StringCchCopyW(held.path, MAX_PATH, path);
    held.handle = folder;
    return 1;
}

// The folders of a relative path made inside the copy (the file's own name excepted). One
// that is there already must be one this copy made and holds.
int CPackageStage::MakeFolders(const wchar_t* relative)
{
    for (const wchar_t* slash = wcschr(relative, L'\\'); slash; slash = wcschr(slash + 1, L'\\')) {
        wchar_t folder[MAX_PATH] = {};
        if (FAILED(StringCchPrintfW(folder, MAX_PATH, L"%s\\%.*s", folder_, static_cast<int>(slash - relative),
                                    relative))) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        if (CreateDirectoryW(folder, nullptr)) {
            if (!HoldFolder(folder))
                return 0;
            continue;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
        int ours = 0;
        for (size_t i = 0; i < folderCount_ && !ours; ++i)
            ours = lstrcmpiW(folders_[i].path, folder) == 0;
        if (!ours) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return 0;
        }
    }
    return 1;
}

// source into target, a new file of the copy, piece by piece through buffer, each piece
// hashed when a hash is given; a source that grows past limit is refused there. On success
// the target is handed back open, shared for reading only: the bytes hashed are the bytes
// nobody else can change. 0 with the cause; *sourceFault says whether the source could not
// be read or was too large.
static int CopyHashing(const wchar_t* source, const wchar_t* target, BYTE* buffer, CSha256* hash,
                       unsigned long long limit, HANDLE* kept, int* sourceFault)
{
    *kept = INVALID_HANDLE_VALUE;
    *sourceFault = 1;
    // Another process may hold the file open for writing, as an editor or a second copy does:
    // it is read all the same, and what was read is what is checked and installed.
    HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return 0;
    *sourceFault = 0;
    HANDLE out = CreateFileW(target, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    int copied = out != INVALID_HANDLE_VALUE;
    unsigned long long size = 0;
    while (copied) {
        DWORD read = 0, written = 0;
        if (!ReadFile(in, buffer, kCopyPiece, &read, nullptr)) {
            *sourceFault = 1;
            copied = 0;
        } else if (read == 0) {
            break;
        } else if ((size += read) > limit) {
            // Past the listed size the bytes cannot be the listed ones: no more of them is
            // copied into the temporary folder.
            *sourceFault = 1;
            SetLastError(ERROR_INVALID_DATA);
            copied = 0;
        } else if ((hash && !hash->Add(buffer, read)) || !WriteFile(out, buffer, read, &written, nullptr) ||
                   written != read) {
            copied = 0;
        }
    }
    const DWORD error = GetLastError();
    CloseHandle(in);
    if (copied) {
        *kept = out;
        return 1;
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    SetLastError(error);
    return 0;
}

CPackageStage::~CPackageStage()
{
    Remove();
}

HANDLE CPackageStage::Find(const wchar_t* path) const
{
    for (size_t i = 0; i < fileCount_; ++i) {
        if (lstrcmpiW(files_[i].path, path) == 0)
            return files_[i].handle;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

int CPackageStage::Keep(const wchar_t* path, HANDLE file)
{
    if (fileCount_ >= ARRAYSIZE(files_) || FAILED(StringCchCopyW(files_[fileCount_].path, MAX_PATH, path))) {
        CloseHandle(file);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return 0;
    }
    files_[fileCount_++].handle = file;
    return 1;
}

void CPackageStage::Release()
{
    for (size_t i = 0; i < fileCount_; ++i)
        CloseHandle(files_[i].handle);
    fileCount_ = 0;
    for (size_t i = 0; i < folderCount_; ++i)
        CloseHandle(folders_[i].handle);
    folderCount_ = 0;
}

void CPackageStage::Remove()
{
    Release();
    if (!folder_[0])
        return;
    const DWORD error = GetLastError();
    // A scanner or an indexer may hold a file of it for a moment.
    int removed = RemoveFolderTree(folder_);
    for (int attempt = 1; attempt < kRemoveAttempts && !removed; ++attempt) {
        Sleep(kRemoveRetryMs);
        removed = RemoveFolderTree(folder_);
    }
    if (!removed) {
        const DWORD cause = GetLastError();
        RemoveFolderTreeAtRestart(folder_);
        wchar_t value[MAX_PATH + 16] = {};
        // Only the report's line: the folder's path is far shorter.
        StringCchPrintfW(value, ARRAYSIZE(value), L"%s (%lu)", folder_, cause);
        ReportLine(L"WARNING", "PO_GSTR_LOG_FOLDER_LEFT", value);
    }
    folder_[0] = 0;
    SetLastError(error);
}

int CPackageStage::Stage(const CInstallJob& job, const char* manifest, size_t manifestLength, wchar_t* refused)
{
    refused[0] = 0;
    Remove();
    wchar_t paths[kMaxStagedFiles][MAX_PATH] = {};
    size_t count = 0;
    if (!ListStagedFiles(job, paths, &count))
        return 0;
    wchar_t temp[MAX_PATH] = {};
    const DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    if (tempLength == 0 || tempLength >= MAX_PATH) {
        if (tempLength)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    RemoveStaleStages(temp);
    if (!CreatePrivateFolder(temp, kStagePrefix, folder_))
        return 0;
    if (!HoldFolder(folder_))
        return 0;
    BYTE* buffer = static_cast<BYTE*>(malloc(kCopyPiece));
    if (!buffer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    CSha256 hash;
    int staged = 1;
    for (size_t i = 0; i < count && staged; ++i) {
        ManifestEntry listed = {};
        if (manifest && !FindManifestEntry(manifest, manifestLength, paths[i], &listed))
            continue;
        wchar_t source[MAX_PATH] = {};
        wchar_t target[MAX_PATH] = {};
        if (!JoinPath(source, job.packageDir, paths[i]) || !JoinPath(target, folder_, paths[i]) ||
            !MakeFolders(paths[i])) {
            staged = 0;
            break;
        }
        if (manifest && !hash.Begin()) {
            staged = 0;
            break;
        }
        HANDLE copy = INVALID_HANDLE_VALUE;
        int sourceFault = 0;
        if (!CopyHashing(source, target, buffer, manifest ? &hash : nullptr, manifest ? listed.size : ~0ull, &copy,
                         &sourceFault)) {
            const DWORD error = GetLastError();
            // Without a manifest a file that is not there is left to the steps that need it.
            if (!manifest && sourceFault && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
                continue;
            if (sourceFault)
                StringCchCopyW(refused, MAX_PATH, paths[i]);
            staged = 0;
            break;
        }
        if (!Keep(target, copy)) {
            staged = 0;
            break;
        }
        if (!manifest)
            continue;
        LARGE_INTEGER size = {};
        BYTE digest[kSha256Bytes] = {};
        if (!hash.Finish(digest) || !GetFileSizeEx(copy, &size)) {
            staged = 0;
        } else if (static_cast<unsigned long long>(size.QuadPart) != listed.size ||
                   memcmp(digest, listed.sha256, kSha256Bytes) != 0) {
            StringCchCopyW(refused, MAX_PATH, paths[i]);
            SetLastError(ERROR_INVALID_DATA);
            staged = 0;
        }
    }
    const DWORD error = GetLastError();
    free(buffer);
    SetLastError(staged ? ERROR_SUCCESS : error);
    return staged;
}
