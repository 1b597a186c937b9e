#include "app/command_line.h"

#include <stdlib.h>
#include <strsafe.h>
#include <wchar.h>

#include "system/system_api.h"

int IsUninstallCommandLine(const wchar_t* commandLine)
{
    return commandLine && wcsstr(commandLine, L"uninstall") ? 1 : 0;
}

static int IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

int NextArgument(const wchar_t** cursor, wchar_t* out)
{
    const wchar_t* at = *cursor;
    while (IsBlank(*at))
        ++at;
    if (*at == L'\0') {
        *cursor = at;
        return 0;
    }
    size_t used = 0;
    int quoted = 0;
    while (*at && (quoted || !IsBlank(*at))) {
        if (*at == L'\\') {
            size_t slashes = 0;
            while (*at == L'\\') {
                ++slashes;
                ++at;
            }
            if (*at == L'"') {
                for (size_t i = 0; i < slashes / 2; ++i)
                    out[used++] = L'\\';
                if (slashes % 2) {
                    out[used++] = L'"';
                    ++at;
                }
            } else {
                for (size_t i = 0; i < slashes; ++i)
                    out[used++] = L'\\';
            }
        } else if (*at == L'"') {
            if (quoted && at[1] == L'"') {
                out[used++] = L'"';
                at += 2;
            } else {
                quoted = !quoted;
                ++at;
            }
        } else {
            out[used++] = *at++;
        }
    }
    out[used] = L'\0';
    *cursor = at;
    return 1;
}

// The switch's name without its '/' or '-', or null for an argument that is no switch.
static const wchar_t* SwitchName(const wchar_t* argument)
{
    return (argument[0] == L'/' || argument[0] == L'-') ? argument + 1 : nullptr;
}

static int IsSwitch(const wchar_t* argument, const wchar_t* name)
{
    const wchar_t* given = SwitchName(argument);
    return given && _wcsicmp(given, name) == 0;
}

static int IsKnownSwitch(const wchar_t* argument)
{
    const wchar_t* const known[] = {L"install", L"status", L"uninstall", L"?",   L"name",
                                    L"port",    L"log",    L"undo",      L"run", L"testpage"};
    for (const wchar_t* name : known) {
        if (IsSwitch(argument, name))
            return 1;
    }
    return 0;
}

static void Refuse(UnattendedRequest* request, ArgumentProblem problem, const wchar_t* offending)
{
    request->problem = problem;
    // What the line shows of a long unknown argument: its start is enough to find it.
    StringCchCopyW(request->offending, ARRAYSIZE(request->offending), offending ? offending : L"");
}

static int IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// "X:\" with a drive letter.
static int IsDrivePath(const wchar_t* path)
{
    const wchar_t drive = path[0];
    return ((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')) && path[1] == L':' &&
           IsSeparator(path[2]);
}

// "server\share\" after the two separators that begin a share's path.
static int IsSharePath(const wchar_t* path)
{
    for (int part = 0; part < 2; ++part) {
        if (*path == L'\0' || IsSeparator(*path))
            return 0;
        while (*path && !IsSeparator(*path))
            ++path;
        if (!IsSeparator(*path))
            return 0;
        ++path;
    }
    return 1;
}

// A path that names the same file whatever the current drive and folder: "C:\...",
// "\\server\share\...", or either behind "\\?\" ("\\?\C:\...", "\\?\UNC\server\share\...").
// The rest hang on the current drive or folder, which for the system account is the system
// directory; "\\.\" names a device (a port, a pipe, a disk), no log file.
static int IsFullPath(const wchar_t* path)
{
    if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        if (path[2] == L'.' && IsSeparator(path[3]))
            return 0;
        if (path[2] == L'?' && IsSeparator(path[3])) {
            path += 4;
            if (_wcsnicmp(path, L"UNC", 3) == 0 && IsSeparator(path[3]))
                return IsSharePath(path + 4);
            return IsDrivePath(path);
        }
        return IsSharePath(path + 2);
    }
    return IsDrivePath(path);
}

// The line's switches from its first argument on: the action, each value into its field,
// the first problem kept.
static void ParseSwitches(const wchar_t* cursor, wchar_t* argument, UnattendedRequest* request)
{
    // The /name or /port given before /status or /uninstall, which take neither.
    wchar_t installOnly[16] = {};
    while (request->problem == kArgumentsGood && NextArgument(&cursor, argument)) {
        const UnattendedAction action = IsSwitch(argument, L"install")     ? kUnattendedInstall
                                        : IsSwitch(argument, L"status")    ? kUnattendedStatus
                                        : IsSwitch(argument, L"uninstall") ? kUnattendedUninstall
                                                                           : kNotUnattended;
        if (action != kNotUnattended) {
            // Taking one would answer a deployment tool for what was not meant: an install
            // where a detection rule only asked, a status for an install never run, or an
            // uninstall where an install was asked for.
            if (request->action != kNotUnattended && request->action != action) {
                Refuse(request, kTwoActions, argument);
                return;
            }
            request->action = action;
            if (action != kUnattendedInstall && installOnly[0])
                Refuse(request, kUnknownSwitch, installOnly);
            continue;
        }
        if (IsSwitch(argument, L"undo")) {
            request->undo = 1;
            continue;
        }
        if (IsSwitch(argument, L"testpage")) {
            request->testPage = 1;
            continue;
        }
        wchar_t* field = nullptr;
        size_t units = 0;
        if (IsSwitch(argument, L"run")) {
            field = request->runId;
            units = ARRAYSIZE(request->runId);
        } else if (IsSwitch(argument, L"name")) {
            field = request->printerName;
            units = ARRAYSIZE(request->printerName);
        } else if (IsSwitch(argument, L"port")) {
            field = request->portName;
            units = ARRAYSIZE(request->portName);
        } else if (IsSwitch(argument, L"log")) {
            field = request->logPath;
            units = ARRAYSIZE(request->logPath);
        } else {
            Refuse(request, kUnknownSwitch, argument);
            return;
        }
        if (field == request->printerName || field == request->portName) {
            if (request->action != kNotUnattended && request->action != kUnattendedInstall) {
                Refuse(request, kUnknownSwitch, argument);
                return;
            }
            if (!installOnly[0])
                StringCchCopyW(installOnly, ARRAYSIZE(installOnly), argument);
        }
        wchar_t switchName[16] = {};
        StringCchCopyW(switchName, ARRAYSIZE(switchName), argument);
        // A switch followed by one of ours has no value: "/name /port P" is an empty
        // variable in a script, not a printer named "/port".
        if (!NextArgument(&cursor, argument) || IsKnownSwitch(argument)) {
            Refuse(request, kMissingValue, switchName);
            return;
        }
        size_t length = wcslen(argument);
        if (field == request->runId && length == 0) {
            Refuse(request, kMissingValue, switchName);
            return;
        }
        if (field == request->printerName && length == 0) {
            Refuse(request, kEmptyName, nullptr);
            return;
        }
        // Install reads at most 258 characters from the dialog too.
        if (field == request->printerName && length > 258) {
            Refuse(request, kNameTooLong, nullptr);
            return;
        }
        // The spooler refuses these only at AddPrinterW, after the files, the monitor and
        // the driver are in place.
        if (field == request->printerName && wcspbrk(argument, L"\\,")) {
            Refuse(request, kBadName, argument);
            return;
        }
        if (length >= units) {
            Refuse(request, kValueTooLong, switchName);
            return;
        }
        if (field == request->logPath && !IsFullPath(argument)) {
            Refuse(request, kLogNotFullPath, argument);
            return;
        }
        StringCchCopyW(field, units, argument);
        if (field == request->portName)
            request->portGiven = 1;
    }
    if (request->testPage && request->action == kNotUnattended)
        request->action = kUnattendedTestPage;
    // /undo belongs to the uninstall alone, and a run's name to an install or its undo:
    // anywhere else either would be taken for a scope it does not have. /testpage alone
    // prints on a printer as it is: a port given would move nothing.
    if (request->problem != kArgumentsGood || request->action == kNotUnattended)
        return;
    const int undo = request->action == kUnattendedUninstall && request->undo;
    if (request->undo && !undo)
        Refuse(request, kUnknownSwitch, L"/undo");
    else if (request->runId[0] && request->action != kUnattendedInstall && !undo)
        Refuse(request, kUnknownSwitch, L"/run");
    else if (request->testPage && request->action != kUnattendedInstall && request->action != kUnattendedTestPage)
        Refuse(request, kUnknownSwitch, L"/testpage");
    else if (request->action == kUnattendedTestPage && request->portGiven)
        Refuse(request, kUnknownSwitch, L"/port");
}

UnattendedAction ParseUnattendedCommandLine(const wchar_t* commandLine, const wchar_t* defaultName,
                                            const wchar_t* defaultPort, UnattendedRequest* request)
{
    ZeroMemory(request, sizeof(*request));
    StringCchCopyW(request->printerName, ARRAYSIZE(request->printerName), defaultName);
    StringCchCopyW(request->portName, ARRAYSIZE(request->portName), defaultPort);
    if (!commandLine)
        return kNotUnattended;
    wchar_t* argument = static_cast<wchar_t*>(System().allocate((wcslen(commandLine) + 1) * sizeof(wchar_t)));
    // Unread, the line may hold our switches with the word uninstall in a value: neither
    // the dialog nor the uninstall may run on a guess.
    if (!argument) {
        request->action = kUnattendedNoAction;
        Refuse(request, kOutOfMemory, nullptr);
        return request->action;
    }
    const wchar_t* cursor = commandLine;
    if (NextArgument(&cursor, argument)) {
        if (IsSwitch(argument, L"?")) {
            request->action = kUnattendedUsage;
        } else if (IsKnownSwitch(argument)) {
            ParseSwitches(commandLine, argument, request);
            if (request->action == kNotUnattended) {
                request->action = kUnattendedNoAction;
                if (request->problem == kArgumentsGood)
                    Refuse(request, kNoAction, nullptr);
            }
        }
    }
    free(argument);
    return request->action;
}
