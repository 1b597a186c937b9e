#pragma once
#include <windows.h>

#include <stddef.h>

// 1 when the command line (without the program's own name) holds "uninstall" anywhere,
// matched case-sensitively: "/uninstall", "-uninstall" and longer words count, "Uninstall"
// does not. A null command line counts as empty.
int IsUninstallCommandLine(const wchar_t* commandLine);

// The next argument from *cursor, split and unquoted as CommandLineToArgvW does for every
// argument after the program's name: blanks and tabs separate, quotes group, 2n backslashes
// before a quote give n and the quote groups, 2n+1 give n and a quote, "" inside quotes is
// a quote. out must hold the whole rest of the line (its length + 1 units). 0 at the end.
int NextArgument(const wchar_t** cursor, wchar_t* out);

enum UnattendedAction {
    kNotUnattended, // the dialog or the uninstall, as the first argument is no switch of ours
    kUnattendedInstall,
    kUnattendedStatus,
    kUnattendedUninstall,
    kUnattendedTestPage, // /testpage without /install
    kUnattendedUsage,
    // Switches of ours without /install, /status, /uninstall or /testpage, or a line that
    // could not be read; the problem says which.
    kUnattendedNoAction,
};

enum ArgumentProblem {
    kArgumentsGood,
    kUnknownSwitch,  // offending: the argument
    kMissingValue,   // offending: the switch
    kEmptyName,
    kNameTooLong,    // over 258 characters: refused, not cut
    kValueTooLong,   // a port or log path that no buffer holds; offending: the switch
    kBadName,        // a backslash or a comma, which the spooler refuses; offending: the name
    kLogNotFullPath, // offending: the path
    kNoAction,
    kTwoActions,     // two of /install, /status and /uninstall; offending: the second
    kOutOfMemory,
};

// Room for a run name of up to 64 characters.
inline constexpr size_t kRunIdUnits = 65;

// What an unattended command line asks for. Switches are case-insensitive and may begin
// with '/' or '-'; a switch given twice counts with its last value.
struct UnattendedRequest {
    UnattendedAction action;
    ArgumentProblem problem;
    wchar_t offending[64];
    wchar_t printerName[260];
    wchar_t portName[260];
    // 1 when /port was given: only then is a printer kept over an installation moved.
    int portGiven;
    wchar_t logPath[MAX_PATH];
    // /uninstall /undo: only what the last install recorded as its own work.
    int undo;
    // /run: the name an installer gives one install and its undo, so that the undo takes
    // back that install's work and never another's; empty when not given.
    wchar_t runId[kRunIdUnits];
    // /testpage: a raw test receipt on the printer of /name, after an /install on the
    // printer it installed.
    int testPage;
};

// Fills request from the command line. A first argument /install, /status, /uninstall,
// /name, /port, /log, /undo, /run or /testpage makes the line ours: /install [/name N]
// [/port P] [/log F] [/run ID] [/testpage], /status [/log F], /uninstall [/log F],
// /uninstall /undo [/run ID] [/log F] or /testpage [/name N] [/log F] in any order. /? as
// the first argument asks for the usage. Anything else is kNotUnattended.
// The name and port start as the given defaults. A line that cannot be read for want of
// memory is kUnattendedNoAction with kOutOfMemory: it may have been ours.
UnattendedAction ParseUnattendedCommandLine(const wchar_t* commandLine, const wchar_t* defaultName,
                                            const wchar_t* defaultPort, UnattendedRequest* request);
