#include "app/run.h"

#include <windows.h>

#include "app/app_module.h"
#include "app/command_line.h"
#include "app/message_loop.h"
#include "install/uninstall.h"
#include "ui/main_dialog.h"

static int RunInteractive(int showCommand)
{
    CMessageLoop loop;
    // Without a registered loop the dialog could not take part in it.
    if (!appModule.AddMessageLoop(&loop))
        return 0;
    int result = 0;
    {
        CMainDlg dialog;
        if (dialog.Create(nullptr, 0)) {
            ShowWindow(dialog.m_hWnd, showCommand);
            result = loop.Run();
        }
        appModule.RemoveMessageLoop();
    }
    return result;
}

int Run(const wchar_t* commandLine, int showCommand)
{
    if (IsUninstallCommandLine(commandLine)) {
        UninstallPackage();
        return 0;
    }
    return RunInteractive(showCommand);
}
