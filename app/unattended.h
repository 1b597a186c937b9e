#pragma once

#include "app/command_line.h"

// Process exit codes of the runs without a window, as deployment tools read them.
enum UnattendedExitCode {
    kExitDone = 0,
    kExitNotInstalled = 1,         // /status: no printer of the model
    kExitBadArguments = 87,        // ERROR_INVALID_PARAMETER
    kExitInstallFailed = 1603,     // ERROR_INSTALL_FAILURE (/uninstall: something of the model left)
    kExitAnotherInstall = 1618,    // ERROR_INSTALL_ALREADY_RUNNING
    kExitRestartRequired = 3010,   // ERROR_SUCCESS_REBOOT_REQUIRED: done, complete after a restart
};

// The exit code of an install that ran: 1603 when the printer was not created, whatever
// else happened; 3010 when it was and a file takes effect only after a restart; else 0.
int InstallExitCode(int printerCreated, int restartNeeded);

// /install, /status, /uninstall or /? with no window: the reports go to the log and the
// console instead of message boxes (the usage goes to a message box when no console is there
// and a user sees the window station). A line with a problem ends with 87 before anything
// on the system changes. The process's exit code.
int RunUnattended(const UnattendedRequest& request);

// The unattended install of arguments found good, after the log is set up: the port
// checked, then the lock, then the dialog's install sequence, and with /testpage a test
// receipt on the printer it created or kept (1603 when that fails).
int UnattendedInstall(const UnattendedRequest& request);

// The uninstall of the word "uninstall" with the same wait for the lock, its steps reported,
// then the spooler asked what is left: 0 when no printer uses the model's driver and the
// monitor is gone with its DLLs, 3010 when a DLL in use goes at the next restart, else 1603
// with an "ERROR" for each thing left. With /undo only the last install's own work is taken
// back (when /run names it), and its own steps decide.
int UnattendedUninstall(const UnattendedRequest& request);

// The dialog's command line in a process whose window station no user sees (a service, a
// deployment agent in session 0): no window, the usage on the output, and 87.
int RefuseUnseenDialog();
