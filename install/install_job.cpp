#include "install/install_job.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/model_names.h"
#include "install/package_staging.h"
#include "spooler/spooler_names.h"
#include "system/file_copy.h"
#include "system/probes.h"
#include "system/wow64_redirection.h"
#include "system/user_report.h"

const PrinterModelInfo kModelTable[] = {
    {kModelDriverName, kModelDriverName, kModelDriverName, kTemplateName, 0, nullptr, nullptr},
};
const size_t kModelCount = sizeof(kModelTable) / sizeof(kModelTable[0]);

const wchar_t* const kUnidrvFiles[5] = {L"UNIRES.dll", L"unidrv.hlp", L"UNIDRVUI.dll", L"UNIDRV.dll", L"STDNAMES.GPD"};

// Fixed, as the restore client has always been placed: not the Windows folder looked up.
static const wchar_t kRestoreClientFolder[] = L"C:\\WINDOWS\\system32";

static const wchar_t* EmptyIfNull(const wchar_t* text)
{
    return text ? text : L"";
}

CInstallJob::CInstallJob(const PrinterModelInfo* selected, const wchar_t* printerNameBuffer,
                         const wchar_t* portNameBuffer)
    : printerName(EmptyIfNull(printerNameBuffer)), templateKey(selected ? selected->templateKey : L""),
      driverName(selected ? selected->driverName : L""), packageFolder(selected ? selected->packageFolder : L""),
      dataFile(), driverDir(), sourceDir(), setupDir(), portName(EmptyIfNull(portNameBuffer)), is64(0), isChinese(0),
      model(selected), gpdFile(), iniFile(), rcFile(), uiFile(), restartNeeded(0), packageDir(), keepInstalled(0),
      movePrinter(0), runId(L""), networkPort(nullptr), stage(nullptr), heldMonitorDlls(), heldMonitorDllCount(0),
      placedPrinter()
{
    is64 = GetNativeBits() == 64 ? 1 : 0;
    isChinese = IsChineseSystem();
    // The registered data file is also generated as gpdFile; a name that does not fit is left
    // empty rather than cut into another file's name, and the spooler refuses it.
    if (FAILED(StringCchPrintfW(dataFile, MAX_PATH, L"%s%s.GPD", driverName, LanguageTag(isChinese))))
        dataFile[0] = 0;
}

const wchar_t* LanguageTag(int isChinese)
{
    return isChinese ? L"CHN" : L"ENG";
}

int JoinPath(wchar_t* path, const wchar_t* folder, const wchar_t* name)
{
    path[0] = 0;
    if (!folder[0] || FAILED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", folder, name))) {
        path[0] = 0;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return 1;
}

int ComposePackagePaths(const wchar_t* programPath, int is64, const wchar_t* packageFolder, int isChinese,
                        wchar_t* setupDir, wchar_t* sourceDir)
{
    setupDir[0] = 0;
    sourceDir[0] = 0;
    // The folder keeps its trailing backslash, so "SETUP" follows it directly; a path with
    // no backslash has an empty folder.
    const wchar_t* lastSlash = wcsrchr(programPath, L'\\');
    const size_t folderLength = lastSlash ? static_cast<size_t>(lastSlash - programPath) + 1 : 0;
    wchar_t setup[MAX_PATH] = {};
    wchar_t source[MAX_PATH] = {};
    if (FAILED(StringCchCopyNW(setup, MAX_PATH, programPath, folderLength)) ||
        FAILED(StringCchCatW(setup, MAX_PATH, is64 ? L"SETUP64" : L"SETUP")) ||
        FAILED(StringCchPrintfW(source, MAX_PATH, L"%s\\%s\\%s", setup, packageFolder, LanguageTag(isChinese)))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    StringCchCopyW(setupDir, MAX_PATH, setup);
    StringCchCopyW(sourceDir, MAX_PATH, source);
    return 1;
}

// The program's full path. 0 with ERROR_FILENAME_EXCED_RANGE when it filled the buffer: the
// platform then hands back a cut path, the folder of which is some other folder.
static int ProgramPath(wchar_t* path)
{
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
    if (length == 0)
        return 0;
    if (length >= MAX_PATH - 2) {
        path[0] = 0;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return 1;
}

int CInstallJob::computePaths()
{
    setupDir[0] = 0;
    sourceDir[0] = 0;
    packageDir[0] = 0;
    wchar_t program[MAX_PATH] = {};
    if (!ProgramPath(program))
        return 0;
    wchar_t* lastSlash = wcsrchr(program, L'\\');
    if (!lastSlash) {
        SetLastError(ERROR_BAD_PATHNAME);
        return 0;
    }
    *lastSlash = 0;
    return usePackageDir(program);
}

int CInstallJob::usePackageDir(const wchar_t* folder)
{
    setupDir[0] = 0;
    sourceDir[0] = 0;
    packageDir[0] = 0;
    // The folder as a program path whose file name is empty.
    wchar_t beside[MAX_PATH] = {};
    if (FAILED(StringCchPrintfW(beside, MAX_PATH, L"%s\\", folder))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (!ComposePackagePaths(beside, is64, packageFolder, isChinese, setupDir, sourceDir))
        return 0;
    StringCchCopyW(packageDir, MAX_PATH, folder);
    return 1;
}

int CInstallJob::copyRestoreClient()
{
    if (!PathIsDirectoryW(kRestoreClientFolder))
        return 0;
    wchar_t target[MAX_PATH] = {};
    JoinPath(target, kRestoreClientFolder, kRestoreClientName);
    if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES)
        return 0;
    // From the package, never the current folder: a current folder elsewhere (a downloads
    // or shared folder) must not supply a DLL for the system directory.
    wchar_t source[MAX_PATH] = {};
    if (!JoinPath(source, packageDir, kRestoreClientName))
        return 0;
    copyPackageFile(source, target, CREATE_NEW, nullptr);
    return 1;
}

CPackageFile::CPackageFile(const CInstallJob& job, const wchar_t* path) : handle_(INVALID_HANDLE_VALUE), owned_(0)
{
    if (job.stage) {
        HANDLE held = job.stage->Find(path);
        if (held)
            handle_ = held;
        return;
    }
    handle_ = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    owned_ = handle_ != INVALID_HANDLE_VALUE;
}

CPackageFile::~CPackageFile()
{
    if (!owned_)
        return;
    const DWORD error = GetLastError();
    CloseHandle(handle_);
    SetLastError(error);
}

int CInstallJob::copyPackageFile(const wchar_t* source, const wchar_t* target, DWORD disposition, HANDLE* kept) const
{
    CPackageFile file(*this, source);
    return file.Handle() != INVALID_HANDLE_VALUE && CopyFromHandle(file.Handle(), target, disposition, kept);
}

int CInstallJob::keepGenerated(const wchar_t* path, HANDLE file) const
{
    if (stage)
        return stage->Keep(path, file);
    return CloseHandle(file) != FALSE;
}

int FormatGeneratedName(int kind, const wchar_t* base, const wchar_t* extensionOrPart, const wchar_t* tag,
                        wchar_t* name)
{
    HRESULT made = kind < 2 ? StringCchPrintfW(name, MAX_PATH, L"%s%s%s", base, tag, extensionOrPart)
                            : StringCchPrintfW(name, MAX_PATH, L"%s%s%s.dll", base, extensionOrPart, tag);
    if (FAILED(made)) {
        name[0] = 0;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return 1;
}

int CInstallJob::makeFileName(int kind, const wchar_t* base, const wchar_t* part, const wchar_t* tag)
{
    wchar_t* const fields[] = {gpdFile, iniFile, rcFile, uiFile};
    if (kind < 0 || kind > 3) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return FormatGeneratedName(kind, base, part, tag, fields[kind]);
}

int CInstallJob::copyFiles()
{
    const wchar_t* tag = LanguageTag(isChinese);
    int named = makeFileName(0, driverName, L".GPD", tag);
    named = makeFileName(1, driverName, L".INI", tag) && named;
    named = makeFileName(2, driverName, L"RC", tag) && named;
    named = makeFileName(3, driverName, L"UI", tag) && named;

    const wchar_t* list[11] = {};
    int count = 0;
    if (model && model->hasExtraFiles) {
        list[count++] = model->extraFile1;
        list[count++] = model->extraFile2;
    }
    for (const wchar_t* name : kUnidrvFiles)
        list[count++] = name;
    const wchar_t* const dataFiles[] = {gpdFile, iniFile, rcFile, uiFile};
    for (const wchar_t* name : dataFiles)
        list[count++] = name;

    DWORD firstError = named ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
    for (int i = 0; i < count; ++i) {
        wchar_t source[MAX_PATH] = {};
        wchar_t target[MAX_PATH] = {};
        BOOL copied = FALSE;
        // An extra file the model names as none, or a name that did not fit, is a missing file.
        if (!list[i] || !list[i][0])
            SetLastError(ERROR_FILE_NOT_FOUND);
        else
            copied = JoinPath(source, sourceDir, list[i]) && JoinPath(target, driverDir, list[i]) &&
                     copyPackageFile(source, target, CREATE_ALWAYS, nullptr);
        if (copied)
            ReportProgress("PO_GSTR_LOG_FILE_COPIED", target);
        if (!copied && firstError == ERROR_SUCCESS)
            firstError = GetLastError();
    }
    if (firstError != ERROR_SUCCESS) {
        SetLastError(firstError);
        return 0;
    }
    return 1;
}

int IsHeldFileError(DWORD copyError)
{
    // Windows refuses to overwrite a loaded DLL with a sharing violation, a mapped one with
    // ERROR_USER_MAPPED_FILE, and some holds with ERROR_ACCESS_DENIED.
    return copyError == ERROR_SHARING_VIOLATION || copyError == ERROR_USER_MAPPED_FILE ||
           copyError == ERROR_ACCESS_DENIED;
}

struct MonitorDllCopy {
    CInstallJob* job;
    // The pass that reaches the 32-bit system directory of a 64-bit system through
    // redirection.
    int redirected;
};

// source's bytes copied beside the file `name` of `folder` under a temporary name, and that
// copy put in the file's place at the next start of the system; target gets the file's
// path. 1 when scheduled; 0 with the cause, and no copy left behind, when not.
static int ReplaceAtNextStart(HANDLE source, const wchar_t* folder, const wchar_t* name, wchar_t* target)
{
    wchar_t temporary[MAX_PATH] = {};
    // The temporary name begins with the first three letters of the file's.
    if (!JoinPath(target, folder, name) || !GetTempFileNameW(folder, name, 0, temporary))
        return 0;
    if (CopyFromHandle(source, temporary, CREATE_ALWAYS, nullptr) &&
        MoveFileExW(temporary, target, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return 1;
    const DWORD error = GetLastError();
    DeleteFileW(temporary);
    SetLastError(error);
    return 0;
}

// A held monitor DLL: a "WARNING" line at key with the file's path and a code.
static void ReportHeldDll(const char* key, const wchar_t* target, DWORD cause)
{
    wchar_t value[MAX_PATH + 32] = {};
    // Only the report's line: the pending rename holds the full path.
    StringCchPrintfW(value, ARRAYSIZE(value), L"%s (%lu)", target, cause);
    ReportLine(L"WARNING", key, value);
}

// The pair from the package into the directory that the system directory's path reaches for
// this thread: the 32-bit one under WOW64, the native one with redirection off.
static void CopyMonitorDllPair(void* context)
{
    MonitorDllCopy* copy = static_cast<MonitorDllCopy*>(context);
    CInstallJob* job = copy->job;
    wchar_t systemDir[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const wchar_t* const names[] = {kMonitorUiDllName, kMonitorDllName};
    for (const wchar_t* name : names) {
        wchar_t source[MAX_PATH] = {};
        wchar_t target[MAX_PATH] = {};
        if (!JoinPath(source, job->setupDir, name) || !JoinPath(target, systemDir, name))
            continue;
        CPackageFile file(*job, source);
        if (file.Handle() == INVALID_HANDLE_VALUE)
            continue;
        if (CopyFromHandle(file.Handle(), target, CREATE_ALWAYS, nullptr)) {
            ReportProgress("PO_GSTR_LOG_FILE_COPIED", target);
            continue;
        }
        const DWORD cause = GetLastError();
        if (!IsHeldFileError(cause))
            continue;
        // The spooler keeps the monitor it runs loaded: a run over an installation finds the
        // package's own DLL there, which needs no replacing and no restart.
        if (FileMatchesHandle(file.Handle(), target)) {
            ReportProgress("PO_GSTR_LOG_FILE_CURRENT", target);
            continue;
        }
        if (!ReportsAreLines() || job->heldMonitorDllCount >= static_cast<int>(ARRAYSIZE(job->heldMonitorDlls)))
            continue;
        // The rename is carried out by the native system at its start, for which the
        // system directory's path is the native one: the 32-bit one is named by its own.
        CInstallJob::HeldMonitorDll& held = job->heldMonitorDlls[job->heldMonitorDllCount];
        length = copy->redirected ? GetSystemWow64DirectoryW(held.folder, MAX_PATH)
                                  : GetSystemDirectoryW(held.folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            continue;
        held.name = name;
        held.cause = cause;
        held.redirected = copy->redirected;
        ++job->heldMonitorDllCount;
    }
}

int CInstallJob::copyMonitorDlls()
{
    heldMonitorDllCount = 0;
    MonitorDllCopy copy = {this, is64};
    CopyMonitorDllPair(&copy);
    if (is64)
        copyMonitorDllsNative();
    return 1;
}

int CInstallJob::copyMonitorDllsNative()
{
    // Without the redirection switch (no Kernel32 or no WOW64 functions) the native copy is
    // skipped, as the platform then has no other system directory to reach.
    MonitorDllCopy copy = {this, 0};
    RunWithoutFsRedirection(CopyMonitorDllPair, &copy);
    return 1;
}

struct MonitorDllSchedule {
    CInstallJob* job;
    // Which of the noted DLLs this pass takes: those reached through redirection, or the rest.
    int redirected;
    DWORD firstCause;
};

// The noted DLLs of one pass, in the directory the system directory's path reaches for this
// thread, as CopyMonitorDllPair found them.
static void ScheduleMonitorDlls(void* context)
{
    MonitorDllSchedule* schedule = static_cast<MonitorDllSchedule*>(context);
    CInstallJob* job = schedule->job;
    for (int i = 0; i < job->heldMonitorDllCount; ++i) {
        const CInstallJob::HeldMonitorDll& held = job->heldMonitorDlls[i];
        if (held.redirected != schedule->redirected)
            continue;
        wchar_t source[MAX_PATH] = {};
        wchar_t target[MAX_PATH] = {};
        int scheduled = 0;
        if (JoinPath(source, job->setupDir, held.name)) {
            CPackageFile file(*job, source);
            scheduled = file.Handle() != INVALID_HANDLE_VALUE &&
                        ReplaceAtNextStart(file.Handle(), held.folder, held.name, target);
        }
        if (scheduled) {
            ReportHeldDll("PO_GSTR_LOG_REPLACED_AT_RESTART", target, held.cause);
            job->restartNeeded = 1;
            continue;
        }
        const DWORD cause = GetLastError();
        // The printer would run on the monitor the system holds.
        if (!target[0])
            StringCchPrintfW(target, MAX_PATH, L"%s\\%s", held.folder, held.name);
        ReportHeldDll("PO_GSTR_LOG_NOT_REPLACED", target, cause);
        if (schedule->firstCause == ERROR_SUCCESS)
            schedule->firstCause = cause ? cause : ERROR_GEN_FAILURE;
    }
}

int CInstallJob::scheduleMonitorReplacements()
{
    MonitorDllSchedule schedule = {this, is64, ERROR_SUCCESS};
    ScheduleMonitorDlls(&schedule);
    if (is64) {
        schedule.redirected = 0;
        RunWithoutFsRedirection(ScheduleMonitorDlls, &schedule);
    }
    heldMonitorDllCount = 0;
    SetLastError(schedule.firstCause);
    return schedule.firstCause == ERROR_SUCCESS;
}
