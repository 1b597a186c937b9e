#include "app/command_line.h"

#include <wchar.h>

int IsUninstallCommandLine(const wchar_t* commandLine)
{
    return commandLine && wcsstr(commandLine, L"uninstall") ? 1 : 0;
}
