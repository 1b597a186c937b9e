#include "ui/user_report.h"

#include <windows.h>

#include "ui/main_window.h"

void ReportToUser(const wchar_t* text, const wchar_t* caption)
{
    MessageBoxW(mainWindow, text, caption, MB_OKCANCEL);
}
