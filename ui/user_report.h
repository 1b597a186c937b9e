#pragma once

// Tells the user one thing: a message box with OK and Cancel, owned by the main window,
// whose answer is not examined. Every report of an installation goes through here.
void ReportToUser(const wchar_t* text, const wchar_t* caption);
