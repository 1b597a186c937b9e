/* The yardstick of the start-up benchmark: a program that shows one dialog from its
 * template and does nothing else. Built with the installer's toolchain and static linking. */
#include <windows.h>

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
    return (int)DialogBoxParamW(instance, MAKEINTRESOURCEW(100), NULL, DialogProc, 0);
}
