#pragma once
#include <windows.h>

// The reports of an installation, below the engine that makes them and the dialog or the
// window-less run that shows them.

// The main dialog's window, set when it initialises and never cleared; it owns every
// message box and secondary dialog of the program. Null in a run without a window.
extern HWND mainWindow;

// Tells the user one thing: a message box with OK and Cancel, owned by the main window,
// whose answer is not examined. Every report of an installation goes through here. In a
// run without a window (a report log is active, system/report_log.h) it becomes a line of
// the report instead, with the caption as its level.
void ReportToUser(const wchar_t* text, const wchar_t* caption);

// 1 in a run without a window, whose reports are lines of a report log; 0 in the dialog
// run. A step the dialog run passes over in silence (a file the system holds, to be replaced
// at its next start) is taken only where a line can say so.
int ReportsAreLines();

// A line of the report at this level that the dialog run passes in silence: the catalogue
// text of key, a blank and the value; nothing in the dialog run.
void ReportLine(const wchar_t* level, const char* key, const wchar_t* value);

// A step of an installation: ReportLine at the "INFO" level.
void ReportProgress(const char* key, const wchar_t* value);

// A line of the report at the "INFO" level; nothing in the dialog run.
void ReportInfo(const wchar_t* text);

// A notice of the program's own, not of an installation: a message box with OK and no
// owner (the usage, when no console is there to show it).
void ShowNotice(const wchar_t* text, const wchar_t* caption);
