/* A program that imports a function Windows XP lacks (GetTickCount64), one it has
   (GetTickCount) and one from a DLL without an export list (winspool.drv). */
#include <windows.h>
#include <winspool.h>

int main(void)
{
    wchar_t name[64];
    DWORD size = 64;
    GetDefaultPrinterW(name, &size);
    return (int)(GetTickCount64() + GetTickCount());
}
