/* The yardstick of the start-up benchmark: a program that shows the installer's main
 * template, 129, and does nothing else (no catalogue, no spooler, no probes). Built with the
 * installer's compilers, static linking and its application manifest (common controls 6),
 * so the difference is what the installer adds. */
#include <windows.h>

#include "ui/main_dialog_ids.h"

static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand)
{
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    return (int)DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), NULL, DialogProc, 0);
}
