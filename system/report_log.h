#pragma once
#include <windows.h>

#include <stddef.h>

#include "system/object_security.h"

// Where the reports of a run without a window go: a log file (UTF-8, appended, one line a
// report with the local time, CR LF) and the console the program was started from, or the
// standard output it was given. Either may be missing; then the line goes where it can.
class CReportLog {
public:
    CReportLog() = default;
    ~CReportLog();
    CReportLog(const CReportLog&) = delete;
    CReportLog& operator=(const CReportLog&) = delete;

    // Finds the output (a handle the program was given, else the parent's console) and
    // opens logPath for appending when it is not null: only in a folder LogFolderRefusal
    // finds nothing against, held until the file is open, and only a file LogFileRefusal
    // finds nothing against (a new one only the system account, the Administrators group and
    // the running account may open). 0 when the log cannot be opened or is refused, with the
    // cause in the last error; the output still gets every line.
    int Open(const wchar_t* logPath);
    // The line goes to the log and the output. A log that cannot be written to is said once
    // on the output ("ERROR"), and the lines after go to the output alone.
    void Line(const wchar_t* level, const wchar_t* text);
    // 1 when there is a console or a standard output to write to.
    int HasOutput() const { return output_ != INVALID_HANDLE_VALUE; }

private:
    void WriteOutput(const char* line, size_t bytes);
    void DropLog(DWORD cause);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    int outputIsConsole_ = 0;
    wchar_t path_[MAX_PATH] = {};
};

// What a log file or its folder is, as far as writing the log goes: its type (GetFileType);
// for one on disk its attributes, number of hard links and owner; whether it lies on another
// computer (a share, or a drive letter mapped to one).
struct LogFileFacts {
    DWORD type;
    DWORD attributes;
    DWORD links;
    OwnerClass owner;
    int remote;
};

// 0 when a log may go into the folder; else the cause: no folder on disk (ERROR_BAD_FILE_TYPE),
// a link opened as itself, not followed (ERROR_CANT_RESOLVE_FILENAME), or, off a share, one
// that neither the system account, the Administrators group, TrustedInstaller nor the running
// account owns (ERROR_INVALID_OWNER).
DWORD LogFolderRefusal(const LogFileFacts& folder);

// 0 when the log file may be appended to; else the cause: one a folder would be refused for,
// or a file with another name elsewhere (ERROR_TOO_MANY_LINKS).
DWORD LogFileRefusal(const LogFileFacts& file);

// Where a full log path leads: its folder is the path up to and with its last separator
// ("C:\Windows\Logs\", "\\server\share\"), which opens a root as well; share is 1 for
// "\\server\share\..." and "\\?\UNC\server\share\...", drive the letter of "C:\..." or
// "\\?\C:\..." (else 0). 0 when the path has no separator or its folder does not fit.
int LogPlaceOf(const wchar_t* path, wchar_t* folder, size_t units, int* share, wchar_t* drive);

// The log the reports go to while a run without a window lasts; null (the dialog run)
// means message boxes.
void SetReportLog(CReportLog* log);
CReportLog* ActiveReportLog();

// One line of the log in UTF-8: "YYYY-MM-DD HH:MM:SS LEVEL: text" and CR LF, line breaks
// inside the text turned into blanks so that a report stays one line. Returns the bytes
// written into out (at most outBytes, no terminator); 0 when the line does not fit.
size_t FormatLogLine(const SYSTEMTIME& time, const wchar_t* level, const wchar_t* text, char* out, size_t outBytes);
