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

DWORD LogFileRefusal(const LogFileFacts& facts)
{
    if (facts.type == FILE_TYPE_DISK) {
        // A link leads wherever its maker chose.
        if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return ERROR_CANT_RESOLVE_FILENAME;
        // The same file under another name, perhaps one the run would never write to.
        if (facts.links > 1)
            return ERROR_TOO_MANY_LINKS;
    }
    // Made first by another account, which could read, change or swap what the run writes.
    return IsTrustedOwner(facts.owner, 1) ? 0 : ERROR_INVALID_OWNER;
}

// The facts of a log file that was there already, asked through its handle; 0 when it may
// be appended to, else the cause.
static DWORD ExistingLogRefusal(HANDLE file)
{
    LogFileFacts facts = {};
    facts.type = GetFileType(file);
    if (facts.type == FILE_TYPE_DISK) {
        BY_HANDLE_FILE_INFORMATION information = {};
        if (!GetFileInformationByHandle(file, &information))
            return GetLastError();
        facts.attributes = information.dwFileAttributes;
        facts.links = information.nNumberOfLinks;
    }
    if (!QueryOwnerClass(file, &facts.owner))
        return GetLastError();
    return LogFileRefusal(facts);
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
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!MakePrivateDescriptor(kGrantRunningAccount, &descriptor))
        return 0;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    // Appended whole lines, shared with any reader and with another run's log. A link at the
    // path is opened as itself and refused, never followed to the file it names.
    HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD error = GetLastError();
    LocalFree(descriptor);
    if (file != INVALID_HANDLE_VALUE && error == ERROR_ALREADY_EXISTS) {
        error = ExistingLogRefusal(file);
        if (error) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    file_ = file;
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
