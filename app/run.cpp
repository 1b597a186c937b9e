#include "app/run.h"

#include <windows.h>

#include "app/app_module.h"
#include "app/command_line.h"
#include "app/message_loop.h"
#include "app/unattended.h"
#include "install/install_job.h"
#include "install/install_lock.h"
#include "install/uninstall.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"
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

int RunUninstall(DWORD lockWait)
{
    // An installation in progress finishes first; the uninstall then removes it whole. One
    // that outlasts the wait, or a lock that cannot be had, does not keep it from running.
    CInstallLock lock;
    TakeUninstallLock(lock, lockWait);
    UninstallPackage();
    return 0;
}

int Run(const wchar_t* commandLine, int showCommand)
{
    // A first argument of ours decides, so "/install /name "uninstall lab"" installs.
    UnattendedRequest request;
    if (ParseUnattendedCommandLine(commandLine, kModelTable[0].displayName, kUsbPortName, &request) !=
        kNotUnattended)
        return RunUnattended(request);
    if (IsUninstallCommandLine(commandLine))
        return RunUninstall(kUninstallLockWait);
    // Nobody could see the dialog there, nor close it: the caller would wait for ever.
    if (!IsWindowStationVisible())
        return RefuseUnseenDialog();
    return RunInteractive(showCommand);
}
