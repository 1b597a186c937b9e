#pragma once
#include <windows.h>

#include <stddef.h>

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
    // opens logPath for appending when it is not null. 0 when the log cannot be opened,
    // with the cause in the last error; the output still gets every line.
    int Open(const wchar_t* logPath);
    void Line(const wchar_t* level, const wchar_t* text);
    // 1 when there is a console or a standard output to write to.
    int HasOutput() const { return output_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE output_ = INVALID_HANDLE_VALUE;
    int outputIsConsole_ = 0;
};

// The log the reports go to while a run without a window lasts; null (the dialog run)
// means message boxes.
void SetReportLog(CReportLog* log);
CReportLog* ActiveReportLog();

// One line of the log in UTF-8: "YYYY-MM-DD HH:MM:SS LEVEL: text" and CR LF, line breaks
// inside the text turned into blanks so that a report stays one line. Returns the bytes
// written into out (at most outBytes, no terminator); 0 when the line does not fit.
size_t FormatLogLine(const SYSTEMTIME& time, const wchar_t* level, const wchar_t* text, char* out, size_t outBytes);
