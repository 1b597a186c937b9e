#include "system/user_report.h"

#include <windows.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "system/report_log.h"

HWND mainWindow;

void ReportToUser(const wchar_t* text, const wchar_t* caption)
{
    if (CReportLog* log = ActiveReportLog()) {
        log->Line(caption, text);
        return;
    }
    MessageBoxW(mainWindow, text, caption, MB_OKCANCEL);
}

int ReportsAreLines()
{
    return ActiveReportLog() ? 1 : 0;
}

void ReportLine(const wchar_t* level, const char* key, const wchar_t* value)
{
    CReportLog* log = ActiveReportLog();
    if (!log)
        return;
    // Called between a platform call and the look at its cause: the cause is kept.
    const DWORD error = GetLastError();
    wchar_t line[1024] = {};
    GetLocalizedText(key, line, 520);
    // A value too long for the line is cut: the report says what happened, the spooler and
    // the file system hold the full names.
    StringCchCatW(line, 1024, L" ");
    StringCchCatW(line, 1024, value ? value : L"");
    log->Line(level, line);
    SetLastError(error);
}

void ReportProgress(const char* key, const wchar_t* value)
{
    ReportLine(L"INFO", key, value);
}

void ReportInfo(const wchar_t* text)
{
    if (CReportLog* log = ActiveReportLog())
        log->Line(L"INFO", text);
}

void ShowNotice(const wchar_t* text, const wchar_t* caption)
{
    MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
}
