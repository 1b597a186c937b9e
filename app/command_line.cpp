#include "app/command_line.h"

#include <stdlib.h>
#include <strsafe.h>
#include <wchar.h>

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
    const wchar_t* const known[] = {L"install", L"status", L"?", L"name", L"port", L"log"};
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

// The switches after the first: each value into its field, the first problem kept.
static void ParseSwitches(const wchar_t* cursor, wchar_t* argument, int allowNameAndPort, UnattendedRequest* request)
{
    while (request->problem == kArgumentsGood && NextArgument(&cursor, argument)) {
        wchar_t* field = nullptr;
        size_t units = 0;
        if (allowNameAndPort && IsSwitch(argument, L"name")) {
            field = request->printerName;
            units = ARRAYSIZE(request->printerName);
        } else if (allowNameAndPort && IsSwitch(argument, L"port")) {
            field = request->portName;
            units = ARRAYSIZE(request->portName);
        } else if (IsSwitch(argument, L"log")) {
            field = request->logPath;
            units = ARRAYSIZE(request->logPath);
        } else {
            Refuse(request, kUnknownSwitch, argument);
            return;
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
        if (field == request->printerName && length == 0) {
            Refuse(request, kEmptyName, nullptr);
            return;
        }
        // Install reads at most 258 characters from the dialog too.
        if (field == request->printerName && length > 258) {
            Refuse(request, kNameTooLong, nullptr);
            return;
        }
        if (length >= units) {
            Refuse(request, kValueTooLong, switchName);
            return;
        }
        StringCchCopyW(field, units, argument);
    }
}

UnattendedAction ParseUnattendedCommandLine(const wchar_t* commandLine, const wchar_t* defaultName,
                                            const wchar_t* defaultPort, UnattendedRequest* request)
{
    ZeroMemory(request, sizeof(*request));
    StringCchCopyW(request->printerName, ARRAYSIZE(request->printerName), defaultName);
    StringCchCopyW(request->portName, ARRAYSIZE(request->portName), defaultPort);
    if (!commandLine)
        return kNotUnattended;
    wchar_t* argument = static_cast<wchar_t*>(malloc((wcslen(commandLine) + 1) * sizeof(wchar_t)));
    if (!argument) {
        Refuse(request, kValueTooLong, nullptr);
        return kNotUnattended;
    }
    const wchar_t* cursor = commandLine;
    if (NextArgument(&cursor, argument)) {
        if (IsSwitch(argument, L"install"))
            request->action = kUnattendedInstall;
        else if (IsSwitch(argument, L"status"))
            request->action = kUnattendedStatus;
        else if (IsSwitch(argument, L"?"))
            request->action = kUnattendedUsage;
    }
    if (request->action == kUnattendedInstall || request->action == kUnattendedStatus)
        ParseSwitches(cursor, argument, request->action == kUnattendedInstall, request);
    free(argument);
    return request->action;
}
