// The custom action that runs the installed program for Windows Installer. An executable
// custom action fails the installation on every exit code but 0, yet the program's 3010 means
// the printer was installed and a monitor DLL is replaced at the next restart, so the MSI runs
// it through this DLL, which lets 0 and 3010 pass and fails on everything else.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <strsafe.h>

// A line in the installation's log (msiexec /l*v).
static void LogLine(MSIHANDLE install, const wchar_t* format, DWORD value, const wchar_t* text)
{
    wchar_t line[512];
    // A command line longer than the line is cut in the log only.
    StringCchPrintfW(line, ARRAYSIZE(line), format, value, text);
    MSIHANDLE record = MsiCreateRecord(1);
    if (!record)
        return;
    MsiRecordSetStringW(record, 0, line);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// Deferred: CustomActionData holds the whole command line, formatted when the action was
// scheduled.
UINT __stdcall RunInstalledProgram(MSIHANDLE install)
{
    static wchar_t commandLine[8192];
    DWORD size = ARRAYSIZE(commandLine);
    // A longer command line (ERROR_MORE_DATA) is refused rather than run cut.
    UINT read = MsiGetPropertyW(install, L"CustomActionData", commandLine, &size);
    if (read != ERROR_SUCCESS || commandLine[0] == L'\0') {
        LogLine(install, L"DriverInstall: no command line to run (%lu)%s", read, L"");
        return ERROR_INSTALL_FAILURE;
    }

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        LogLine(install, L"DriverInstall: could not start (%lu): %s", GetLastError(), commandLine);
        return ERROR_INSTALL_FAILURE;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = ERROR_INSTALL_FAILURE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    LogLine(install, L"DriverInstall: exit code %lu: %s", exitCode, commandLine);
    return exitCode == ERROR_SUCCESS || exitCode == ERROR_SUCCESS_REBOOT_REQUIRED ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}
