#pragma once

#include "app/command_line.h"

// Process exit codes of the runs without a window, as deployment tools read them.
enum UnattendedExitCode {
    kExitDone = 0,
    kExitNotInstalled = 1,         // /status: no printer of the model
    kExitBadArguments = 87,        // ERROR_INVALID_PARAMETER
    kExitInstallFailed = 1603,     // ERROR_INSTALL_FAILURE
    kExitAnotherInstall = 1618,    // ERROR_INSTALL_ALREADY_RUNNING
    kExitRestartRequired = 3010,   // ERROR_SUCCESS_REBOOT_REQUIRED: created, complete after a restart
};

// The exit code of an install that ran: 1603 when the printer was not created, whatever
// else happened; 3010 when it was and a file takes effect only after a restart; else 0.
int InstallExitCode(int printerCreated, int restartNeeded);

// /install, /status or /? with no window: the reports go to the log and the console
// instead of message boxes (the usage goes to a message box when no console is there).
// The process's exit code.
int RunUnattended(const UnattendedRequest& request);

// The unattended install after the log is set up: the arguments checked before anything
// on the system changes, then the lock, then the dialog's install sequence.
int UnattendedInstall(const UnattendedRequest& request);
