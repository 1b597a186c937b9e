#include "system/report_log.h"

#include <stdlib.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "system/system_api.h"

static CReportLog* activeLog;

void SetReportLog(CReportLog* log)
{
    activeLog = log;
}

CReportLog* ActiveReportLog()
{
    return activeLog;
}

// The text with its trailing line breaks dropped and inner ones made blanks.
static void AppendOneLine(const wchar_t* text, wchar_t* out, size_t units)
{
    size_t length = 0;
    StringCchLengthW(text, STRSAFE_MAX_CCH, &length);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n'))
        --length;
    size_t used = 0;
    StringCchLengthW(out, units, &used);
    for (size_t i = 0; i < length && used + 1 < units; ++i)
        out[used++] = (text[i] == L'\r' || text[i] == L'\n') ? L' ' : text[i];
    out[used] = L'\0';
}

size_t FormatLogLine(const SYSTEMTIME& time, const wchar_t* level, const wchar_t* text, char* out, size_t outBytes)
{
    wchar_t line[2048] = {};
    StringCchPrintfW(line, 2048, L"%04u-%02u-%02u %02u:%02u:%02u %ls: ", time.wYear, time.wMonth, time.wDay, time.wHour,
                     time.wMinute, time.wSecond, level ? level : L"INFO");
    AppendOneLine(text ? text : L"", line, 2046);
    StringCchCatW(line, 2048, L"\r\n");
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    // The count includes the terminator, which the log does not get.
    if (bytes <= 1 || static_cast<size_t>(bytes - 1) > outBytes)
        return 0;
    char* converted = static_cast<char*>(malloc(static_cast<size_t>(bytes)));
    if (!converted)
        return 0;
    WideCharToMultiByte(CP_UTF8, 0, line, -1, converted, bytes, nullptr, nullptr);
    memcpy(out, converted, static_cast<size_t>(bytes - 1));
    free(converted);
    return static_cast<size_t>(bytes - 1);
}

DWORD LogFolderRefusal(const LogFileFacts& facts)
{
    // A pipe's server could act as the run, a device holds no file; the name says neither.
    if (facts.type != FILE_TYPE_DISK)
        return ERROR_BAD_FILE_TYPE;
    // A link leads wherever its maker chose: a junction for the folder, into the system's own.
    if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ERROR_CANT_RESOLVE_FILENAME;
    // The server's permissions decide there: what the system account makes on a share is
    // owned by the computer's account, which is no account of this computer's.
    if (facts.remote)
        return 0;
    // Made first by another account, which could read, change or swap what the run writes.
    // The running account's own folder is trusted: run as the system account, it is that
    // account, and Wine gives every file and folder to the running user.
    return IsTrustedOwner(facts.owner, 1) ? 0 : ERROR_INVALID_OWNER;
}

DWORD LogFileRefusal(const LogFileFacts& facts)
{
    if (const DWORD refusal = LogFolderRefusal(facts))
        return refusal;
    // The same file under another name, perhaps one the run would never write to. A folder's
    // count is not asked: under Wine it counts the sub-folders.
    return facts.links > 1 ? ERROR_TOO_MANY_LINKS : 0;
}

static int IsPathSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

int LogPlaceOf(const wchar_t* path, wchar_t* folder, size_t units, int* share, wchar_t* drive)
{
    *share = 0;
    *drive = 0;
    const wchar_t* rest = path;
    if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        if (path[2] == L'?' && IsPathSeparator(path[3])) {
            rest = path + 4;
            *share = _wcsnicmp(rest, L"UNC", 3) == 0 && IsPathSeparator(rest[3]);
        } else {
            // "\\.\" names a device.
            *share = path[2] != L'.' || !IsPathSeparator(path[3]);
        }
    }
    if (!*share && rest[0] && rest[1] == L':')
        *drive = rest[0];
    const wchar_t* last = nullptr;
    for (const wchar_t* at = path; *at; ++at) {
        if (IsPathSeparator(*at))
            last = at;
    }
    if (!last || StringCchCopyNW(folder, units, path, static_cast<size_t>(last - path) + 1) != S_OK) {
        SetLastError(ERROR_BAD_PATHNAME);
        return 0;
    }
    return 1;
}

// The facts of the log's file or folder, asked through a handle that opened it as itself.
// 0 with the cause in the last error.
static int QueryLogFacts(HANDLE object, int remote, LogFileFacts* facts)
{
    *facts = {};
    facts->type = GetFileType(object);
    facts->remote = remote;
    if (facts->type != FILE_TYPE_DISK)
        return 1;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(object, &information) || !QueryOwnerClass(object, &facts->owner))
        return 0;
    facts->attributes = information.dwFileAttributes;
    facts->links = information.nNumberOfLinks;
    return 1;
}

// A pipe's server that a log path leads to may learn who the run is, but never act as it.
static const DWORD kIdentifyOnly = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// The log file, opened for appending in a folder the caller holds: a new one gets the
// private descriptor. INVALID_HANDLE_VALUE with the cause in the last error.
static HANDLE OpenLogFile(const wchar_t* logPath, int remote)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!MakePrivateDescriptor(kGrantRunningAccount, &descriptor))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    // Appended whole lines, shared with any reader and with another run's log. A link at the
    // path is opened as itself and refused, never followed to the file it names.
    HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | kIdentifyOnly, nullptr);
    const DWORD openError = GetLastError();
    LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE) {
        SetLastError(openError);
        return file;
    }
    // A file just made is asked as well: OPEN_ALWAYS "makes" a device or a pipe too.
    LogFileFacts facts = {};
    const DWORD refusal = QueryLogFacts(file, remote, &facts) ? LogFileRefusal(facts) : GetLastError();
    if (refusal) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    SetLastError(refusal);
    return file;
}

CReportLog::~CReportLog()
{
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
    if (outputIsConsole_ && output_ != INVALID_HANDLE_VALUE)
        CloseHandle(output_);
}

int CReportLog::Open(const wchar_t* logPath)
{
    // A handle the program was given (a pipe or file of the tool that started it) comes
    // first; else the console of the parent, when it has one.
    HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (given && given != INVALID_HANDLE_VALUE && GetFileType(given) != FILE_TYPE_UNKNOWN &&
        !GetConsoleMode(given, &mode)) {
        output_ = given;
    } else if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        output_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        outputIsConsole_ = output_ != INVALID_HANDLE_VALUE;
    }
    if (!logPath)
        return 1;
    // Only the report of a failed write names it: a longer path is cut there.
    StringCchCopyW(path_, ARRAYSIZE(path_), logPath);
    wchar_t folderPath[MAX_PATH] = {};
    int share = 0;
    wchar_t drive = 0;
    if (!LogPlaceOf(logPath, folderPath, ARRAYSIZE(folderPath), &share, &drive))
        return 0;
    const wchar_t root[] = {drive, L':', L'\\', L'\0'};
    const int remote = share || (drive && GetDriveTypeW(root) == DRIVE_REMOTE);
    // FILE_FLAG_OPEN_REPARSE_POINT guards the file's last component only: the folder is opened
    // as itself and checked apart, and held without FILE_SHARE_DELETE until the file is open,
    // so that nobody renames it or puts another in its place meanwhile. A handle without
    // FILE_TRAVERSE would hold nothing: attribute access takes no part in sharing.
    HANDLE folder = CreateFileW(folderPath, READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | kIdentifyOnly, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        // A missing folder is a path that is not there, as the file's own open would say.
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    LogFileFacts facts = {};
    DWORD error = QueryLogFacts(folder, remote, &facts) ? LogFolderRefusal(facts) : GetLastError();
    if (!error) {
        file_ = OpenLogFile(logPath, remote);
        error = GetLastError();
    }
    CloseHandle(folder);
    SetLastError(error);
    return file_ != INVALID_HANDLE_VALUE;
}

void CReportLog::WriteOutput(const char* line, size_t bytes)
{
    if (output_ == INVALID_HANDLE_VALUE)
        return;
    // The console and the output get the line without its time stamp (20 ASCII bytes).
    const size_t stamp = 20;
    DWORD written = 0;
    if (!outputIsConsole_) {
        WriteFile(output_, line + stamp, static_cast<DWORD>(bytes - stamp), &written, nullptr);
        return;
    }
    wchar_t wide[2048] = {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, line + stamp, static_cast<int>(bytes - stamp), wide, 2047);
    WriteConsoleW(output_, wide, static_cast<DWORD>(units), &written, nullptr);
}

void CReportLog::DropLog(DWORD cause)
{
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    wchar_t text[1024] = {};
    GetLocalizedText("PO_GSTR_LOG_UNWRITABLE", text, 520);
    wchar_t where[MAX_PATH + 16] = {};
    StringCchPrintfW(where, ARRAYSIZE(where), L" %s (%lu)", path_, cause);
    StringCchCatW(text, ARRAYSIZE(text), where);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char line[8192];
    const size_t bytes = FormatLogLine(now, L"ERROR", text, line, sizeof(line));
    if (bytes)
        WriteOutput(line, bytes);
}

void CReportLog::Line(const wchar_t* level, const wchar_t* text)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char line[8192];
    const size_t bytes = FormatLogLine(now, level, text, line, sizeof(line));
    if (bytes == 0)
        return;
    DWORD written = 0;
    // Said once, where the output shows it; the log stops there.
    if (file_ != INVALID_HANDLE_VALUE &&
        !System().writeLogFile(file_, line, static_cast<DWORD>(bytes), &written, nullptr))
        DropLog(GetLastError());
    WriteOutput(line, bytes);
}
