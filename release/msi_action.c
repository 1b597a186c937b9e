// The custom actions of the MSI (release/DriverInstall.wxs). The installed program does the
// work; these actions make its command lines from the properties, run it as the system
// account with what it prints in the MSI log, and pass its 3010 on to Windows Installer.
//   PrepareInstall, PrepareRemoval (immediate): decide the values, give the deferred actions
//     their command lines, each value quoted so that none adds a switch.
//   RunInstall (deferred), UndoInstall (rollback), RunRemoval (deferred): run the program.
//   RequestRestart (immediate, after InstallFinalize): a deferred action may not call
//     MsiSetMode, so a run that got 3010 leaves a mark that this action reads.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>
#include <strsafe.h>

// This DLL is 32-bit, so HKEY_LOCAL_MACHINE\SOFTWARE is the 32-bit view, where the
// package's Registry and RegistrySearch rows point too.
static const wchar_t kProductKey[] = L"SOFTWARE\\Ketrin\\DriverInstall";
// The id of the run whose program answered 3010, for RequestRestart.
static const wchar_t kRestartValue[] = L"RestartRun";
static const wchar_t kRunProperty[] = L"DRIVERINSTALLRUN";
// The program's default name, stored like a name given: the name is what a later install
// finds the printer by. The port has no default here: without one the program puts a new
// printer on "USB PORT:" and leaves a kept one where its user put it.
static const wchar_t kDefaultPrinterName[] = L"KR-620";
// A program that has not ended by then is ended, and the install fails.
static const DWORD kTimeLimit = 15 * 60 * 1000;

enum {
    kValueUnits = 1024,
    kCommandLineUnits = 8192,
    // A GUID in braces, as StringFromGUID2 writes it; CustomActionData begins with it.
    kRunIdLength = 38,
    kLineBytes = 4096,
};

// One line into the installation's log (msiexec /l*v). The text is the record's template,
// with [ ] { } escaped, so that a printer name holding them is written as it is and not read
// as a property or a field.
static void Log(MSIHANDLE install, const wchar_t* text)
{
    size_t length = 0, specials = 0;
    for (const wchar_t* c = text; *c; ++c, ++length) {
        if (*c == L'[' || *c == L']' || *c == L'{' || *c == L'}')
            ++specials;
    }
    wchar_t* escaped = HeapAlloc(GetProcessHeap(), 0, (length + 3 * specials + 1) * sizeof(wchar_t));
    if (!escaped)
        return;
    wchar_t* out = escaped;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c == L'[' || *c == L']' || *c == L'{' || *c == L'}') {
            *out++ = L'[';
            *out++ = L'\\';
            *out++ = *c;
            *out++ = L']';
        } else {
            *out++ = *c;
        }
    }
    *out = L'\0';
    MSIHANDLE record = MsiCreateRecord(0);
    if (record) {
        MsiRecordSetStringW(record, 0, escaped);
        MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
        MsiCloseHandle(record);
    }
    HeapFree(GetProcessHeap(), 0, escaped);
}

static void LogFormat(MSIHANDLE install, const wchar_t* format, ...)
{
    static wchar_t text[kCommandLineUnits + 256];
    va_list arguments;
    va_start(arguments, format);
    // A command line longer than the line is cut in the log only.
    StringCchVPrintfW(text, ARRAYSIZE(text), format, arguments);
    va_end(arguments);
    Log(install, text);
}

// A property's value; 0 when it cannot be read whole.
static int ReadProperty(MSIHANDLE install, const wchar_t* name, wchar_t* value, DWORD units)
{
    DWORD size = units;
    const UINT read = MsiGetPropertyW(install, name, value, &size);
    if (read == ERROR_SUCCESS)
        return 1;
    if (read == ERROR_MORE_DATA)
        LogFormat(install, L"DriverInstall: %s is longer than %lu characters; refused", name, units - 1);
    else
        LogFormat(install, L"DriverInstall: %s cannot be read (%u)", name, read);
    return 0;
}

// A formatted text such as "[#DriverInstall.exe]"; 0 when it is empty or does not fit.
static int Formatted(MSIHANDLE install, const wchar_t* text, wchar_t* value, DWORD units)
{
    MSIHANDLE record = MsiCreateRecord(0);
    UINT result = ERROR_OUTOFMEMORY;
    DWORD size = units;
    if (record) {
        MsiRecordSetStringW(record, 0, text);
        result = MsiFormatRecordW(install, record, value, &size);
        MsiCloseHandle(record);
    }
    if (result == ERROR_SUCCESS && value[0] != L'\0')
        return 1;
    LogFormat(install, L"DriverInstall: %s gives no path (%u)", text, result);
    return 0;
}

// The form a value is stored in: %, " and a leading # as %25, %22 and %23. A Registry row's
// value that begins with # is stored as a number, AppSearch doubles a leading #, and Wine's
// AppSearch cuts a text at its second quote.
static int StoredForm(const wchar_t* value, wchar_t* stored, size_t units)
{
    stored[0] = L'\0';
    for (const wchar_t* c = value; *c; ++c) {
        const int coded = *c == L'%' || *c == L'"' || (*c == L'#' && c == value);
        wchar_t piece[4] = {*c, L'\0'};
        if (coded)
            StringCchPrintfW(piece, ARRAYSIZE(piece), L"%%%02X", (unsigned)*c);
        if (FAILED(StringCchCatW(stored, units, piece)))
            return 0;
    }
    return 1;
}

static int HexDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
}

// Back from the stored form, in place.
static void FromStoredForm(wchar_t* value)
{
    wchar_t* out = value;
    for (const wchar_t* c = value; *c; ++c) {
        if (*c == L'%' && HexDigit(c[1]) >= 0 && HexDigit(c[2]) >= 0) {
            *out++ = (wchar_t)(HexDigit(c[1]) * 16 + HexDigit(c[2]));
            c += 2;
        } else {
            *out++ = *c;
        }
    }
    *out = L'\0';
}

// The value a property is given, else the one the last install stored, else the default
// (fallback; none when null). Sets the property to it, and storedProperty to its stored form
// for the Registry row.
static int ChooseValue(MSIHANDLE install, const wchar_t* property, const wchar_t* savedProperty,
                       const wchar_t* fallback, const wchar_t* storedProperty, wchar_t* value)
{
    if (!ReadProperty(install, property, value, kValueUnits))
        return 0;
    if (value[0] == L'\0') {
        if (!ReadProperty(install, savedProperty, value, kValueUnits))
            return 0;
        FromStoredForm(value);
        if (value[0] == L'\0' && fallback)
            StringCchCopyW(value, kValueUnits, fallback);
    }
    static wchar_t stored[3 * kValueUnits];
    if (!StoredForm(value, stored, ARRAYSIZE(stored))) {
        LogFormat(install, L"DriverInstall: %s cannot be stored; refused", property);
        return 0;
    }
    return MsiSetPropertyW(install, property, value) == ERROR_SUCCESS &&
           MsiSetPropertyW(install, storedProperty, stored) == ERROR_SUCCESS;
}

// A command line made in a fixed buffer; a piece that does not fit spoils the whole line,
// which is then refused, never run cut.
struct Line {
    wchar_t text[kCommandLineUnits];
    int fits;
};

static void Append(struct Line* line, const wchar_t* text, size_t count)
{
    if (line->fits && FAILED(StringCchCatNW(line->text, ARRAYSIZE(line->text), text, count)))
        line->fits = 0;
}

static void AppendBackslashes(struct Line* line, size_t count)
{
    for (; count > 0; --count)
        Append(line, L"\\", 1);
}

// A blank and the value as one argument that CommandLineToArgvW gives back exactly: in
// quotes, each quote as \", and the backslashes before a quote or before the closing quote
// doubled (2n before a quote give n). Other backslashes stay as they are.
static void AppendArgument(struct Line* line, const wchar_t* value)
{
    Append(line, L" \"", 2);
    for (const wchar_t* c = value;; ++c) {
        size_t backslashes = 0;
        for (; *c == L'\\'; ++c)
            ++backslashes;
        if (*c == L'\0') {
            AppendBackslashes(line, 2 * backslashes);
            break;
        }
        if (*c == L'"') {
            AppendBackslashes(line, 2 * backslashes);
            Append(line, L"\\\"", 2);
        } else {
            AppendBackslashes(line, backslashes);
            Append(line, c, 1);
        }
    }
    Append(line, L"\"", 1);
}

// The program in quotes (its path holds no quote), then the switches.
static void StartLine(struct Line* line, const wchar_t* program, const wchar_t* switches)
{
    line->text[0] = L'\0';
    line->fits = 1;
    Append(line, L"\"", 1);
    Append(line, program, lstrlenW(program));
    Append(line, L"\" ", 2);
    Append(line, switches, lstrlenW(switches));
}

// A log file in the log folder, as an argument.
static void AppendLogFile(struct Line* line, const wchar_t* folder, const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    if (FAILED(StringCchPrintfW(path, ARRAYSIZE(path), L"%s%s", folder, name)))
        line->fits = 0;
    else
        AppendArgument(line, path);
}

// A deferred action's CustomActionData: the run's id, then the command line.
static int SetActionData(MSIHANDLE install, const wchar_t* action, const wchar_t* run, const struct Line* line)
{
    static wchar_t data[kRunIdLength + kCommandLineUnits];
    if (!line->fits) {
        LogFormat(install, L"DriverInstall: the command line for %s is longer than %d characters; refused", action,
                  kCommandLineUnits - 1);
        return 0;
    }
    StringCchPrintfW(data, ARRAYSIZE(data), L"%s%s", run, line->text);
    return MsiSetPropertyW(install, action, data) == ERROR_SUCCESS;
}

// A new id for this run of the MSI, which the program records with what it creates.
static int NewRunId(MSIHANDLE install, wchar_t* run)
{
    GUID guid;
    const HRESULT made = CoCreateGuid(&guid);
    if (SUCCEEDED(made) && StringFromGUID2(&guid, run, kRunIdLength + 1) == kRunIdLength + 1)
        return MsiSetPropertyW(install, kRunProperty, run) == ERROR_SUCCESS;
    LogFormat(install, L"DriverInstall: no id for the run (0x%08lX)", (unsigned long)made);
    return 0;
}

// Immediate, on install, repair and upgrade.
UINT __stdcall PrepareInstall(MSIHANDLE install)
{
    static wchar_t name[kValueUnits], port[kValueUnits];
    static struct Line line;
    wchar_t program[MAX_PATH], logs[MAX_PATH], run[kRunIdLength + 1];
    if (!ChooseValue(install, L"PRINTERNAME", L"SAVEDPRINTERNAME", kDefaultPrinterName, L"STOREDPRINTERNAME", name) ||
        !ChooseValue(install, L"PORTNAME", L"SAVEDPORTNAME", NULL, L"STOREDPORTNAME", port) ||
        !Formatted(install, L"[#DriverInstall.exe]", program, MAX_PATH) ||
        !Formatted(install, L"[LOGDIR]", logs, MAX_PATH) || !NewRunId(install, run))
        return ERROR_INSTALL_FAILURE;

    StartLine(&line, program, L"/install /name");
    AppendArgument(&line, name);
    if (port[0] != L'\0') {
        Append(&line, L" /port", 6);
        AppendArgument(&line, port);
    }
    Append(&line, L" /log", 5);
    AppendLogFile(&line, logs, L"install.log");
    Append(&line, L" /run ", 6);
    Append(&line, run, kRunIdLength);
    if (!SetActionData(install, L"InstallPrinter", run, &line))
        return ERROR_INSTALL_FAILURE;

    StartLine(&line, program, L"/uninstall /undo /run ");
    Append(&line, run, kRunIdLength);
    Append(&line, L" /log", 5);
    AppendLogFile(&line, logs, L"uninstall.log");
    return SetActionData(install, L"RollbackPrinter", run, &line) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Immediate, on removal (not the removal of an upgrade). Whatever fails, the removal goes on.
UINT __stdcall PrepareRemoval(MSIHANDLE install)
{
    static struct Line line;
    wchar_t program[MAX_PATH], logs[MAX_PATH], run[kRunIdLength + 1];
    if (Formatted(install, L"[#DriverInstall.exe]", program, MAX_PATH) &&
        Formatted(install, L"[LOGDIR]", logs, MAX_PATH) && NewRunId(install, run)) {
        StartLine(&line, program, L"/uninstall /log");
        AppendLogFile(&line, logs, L"uninstall.log");
        SetActionData(install, L"UninstallPrinter", run, &line);
    }
    return ERROR_SUCCESS;
}

// The program's output, gathered into lines.
struct Output {
    MSIHANDLE install;
    size_t used;
    char bytes[kLineBytes];
};

static void LogOutputLine(struct Output* output, size_t count)
{
    static wchar_t text[kLineBytes + 16];
    if (count > 0 && output->bytes[count - 1] == '\r')
        --count;
    if (count == 0)
        return;
    StringCchCopyW(text, ARRAYSIZE(text), L"DriverInstall: ");
    const int prefix = lstrlenW(text);
    // At most one UTF-16 unit a byte.
    const int units = MultiByteToWideChar(CP_UTF8, 0, output->bytes, (int)count, text + prefix, kLineBytes);
    text[prefix + units] = L'\0';
    Log(output->install, text);
}

static void TakeByte(struct Output* output, char byte)
{
    if (byte == '\n') {
        LogOutputLine(output, output->used);
        output->used = 0;
        return;
    }
    if (output->used == sizeof(output->bytes)) {
        // A line longer than the buffer goes in pieces, each ending on a whole character.
        size_t cut = output->used;
        if ((byte & 0xC0) == 0x80) {
            while (cut > 1 && (output->bytes[cut - 1] & 0xC0) == 0x80)
                --cut;
            --cut;
        }
        if (cut == 0)
            cut = output->used;
        LogOutputLine(output, cut);
        MoveMemory(output->bytes, output->bytes + cut, output->used - cut);
        output->used -= cut;
    }
    output->bytes[output->used++] = byte;
}

// Passes what the program prints into the log until it has ended and the pipe holds no more;
// 0 when the time limit came first. Polled, since a read of an anonymous pipe cannot wait
// with a limit, and the program's children may hold the pipe open after it ends.
static int RelayOutput(struct Output* output, HANDLE pipe, HANDLE process, DWORD limit)
{
    const DWORD start = GetTickCount();
    for (;;) {
        // Asked before the pipe is: what it wrote before it ended is in the pipe by then.
        const int ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL))
            available = 0;
        char bytes[512];
        DWORD read = 0;
        if (available > 0 &&
            ReadFile(pipe, bytes, available < sizeof(bytes) ? available : sizeof(bytes), &read, NULL)) {
            for (DWORD i = 0; i < read; ++i)
                TakeByte(output, bytes[i]);
        } else if (ended) {
            return 1;
        }
        if (GetTickCount() - start >= limit)
            return ended;
        if (read == 0)
            WaitForSingleObject(process, 50);
    }
}

// Runs a command line with its standard output and error into the log; 1 with the exit code
// when the program ended, 0 when it could not start or was ended at the time limit.
static int RunProgram(MSIHANDLE install, wchar_t* commandLine, DWORD* exitCode)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), NULL, TRUE};
    HANDLE pipe = NULL, programEnd = NULL;
    if (!CreatePipe(&pipe, &programEnd, &inheritable, 0)) {
        LogFormat(install, L"DriverInstall: no pipe for the output (%lu)", GetLastError());
        return 0;
    }
    // Only the program's end goes to it.
    SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = programEnd;
    startup.hStdError = programEnd;
    PROCESS_INFORMATION process;
    const BOOL started =
        CreateProcessW(NULL, commandLine, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process);
    const DWORD cause = GetLastError();
    CloseHandle(programEnd);
    if (!started) {
        CloseHandle(pipe);
        LogFormat(install, L"DriverInstall: could not start (%lu): %s", cause, commandLine);
        return 0;
    }
    CloseHandle(process.hThread);

    struct Output output;
    output.install = install;
    output.used = 0;
    const int ended = RelayOutput(&output, pipe, process.hProcess, kTimeLimit);
    if (!ended) {
        TerminateProcess(process.hProcess, ERROR_TIMEOUT);
        WaitForSingleObject(process.hProcess, 10000);
        RelayOutput(&output, pipe, process.hProcess, 10000);
    }
    LogOutputLine(&output, output.used);
    CloseHandle(pipe);
    *exitCode = ERROR_INSTALL_FAILURE;
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hProcess);
    if (ended)
        LogFormat(install, L"DriverInstall: exit code %lu: %s", *exitCode, commandLine);
    else
        LogFormat(install, L"DriverInstall: not ended after %lu minutes, so ended: %s", kTimeLimit / 60000,
                  commandLine);
    return ended;
}

// Deferred and rollback: runs the command line of CustomActionData. 1 with the exit code
// when it ran to its end; run receives the run's id.
static int RunActionData(MSIHANDLE install, wchar_t* run, DWORD* exitCode)
{
    static wchar_t data[kRunIdLength + kCommandLineUnits];
    if (!ReadProperty(install, L"CustomActionData", data, ARRAYSIZE(data)))
        return 0;
    if (lstrlenW(data) <= kRunIdLength) {
        Log(install, L"DriverInstall: no command line to run");
        return 0;
    }
    StringCchCopyNW(run, kRunIdLength + 1, data, kRunIdLength);
    return RunProgram(install, data + kRunIdLength, exitCode);
}

// Leaves the mark that RequestRestart reads after InstallFinalize.
static void MarkRestart(MSIHANDLE install, const wchar_t* run)
{
    HKEY key = NULL;
    LSTATUS result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, kRestartValue, 0, REG_SZ, (const BYTE*)run, (kRunIdLength + 1) * sizeof(wchar_t));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS)
        LogFormat(install, L"DriverInstall: the restart cannot be passed on to Windows Installer (%ld)", (long)result);
}

// Deferred: 0 and 3010 pass (the printer is installed; with 3010 a monitor DLL is replaced at
// the next restart), everything else fails the install.
UINT __stdcall RunInstall(MSIHANDLE install)
{
    wchar_t run[kRunIdLength + 1];
    DWORD exitCode = ERROR_INSTALL_FAILURE;
    if (!RunActionData(install, run, &exitCode))
        return ERROR_INSTALL_FAILURE;
    if (exitCode == ERROR_SUCCESS_REBOOT_REQUIRED)
        MarkRestart(install, run);
    return exitCode == ERROR_SUCCESS || exitCode == ERROR_SUCCESS_REBOOT_REQUIRED ? ERROR_SUCCESS
                                                                                   : ERROR_INSTALL_FAILURE;
}

// Rollback: the program undoes what this run created; its log and the MSI log tell the rest.
UINT __stdcall UndoInstall(MSIHANDLE install)
{
    wchar_t run[kRunIdLength + 1];
    DWORD exitCode = 0;
    RunActionData(install, run, &exitCode);
    return ERROR_SUCCESS;
}

// Deferred, on removal: whatever the program answers, the product goes; a printer or the
// monitor that stays is named in uninstall.log and above in the MSI log.
UINT __stdcall RunRemoval(MSIHANDLE install)
{
    wchar_t run[kRunIdLength + 1];
    DWORD exitCode = 0;
    const int ended = RunActionData(install, run, &exitCode);
    if (ended && exitCode == ERROR_SUCCESS_REBOOT_REQUIRED)
        MarkRestart(install, run);
    else if (!ended || exitCode != ERROR_SUCCESS)
        Log(install, L"DriverInstall: /uninstall did not finish; the removal goes on");
    return ERROR_SUCCESS;
}

// Immediate, after InstallFinalize: a restart at the end when this run's program asked for
// one. A mark of another run is stale (that run failed after leaving it) and goes too.
UINT __stdcall RequestRestart(MSIHANDLE install)
{
    wchar_t run[kRunIdLength + 1];
    DWORD size = ARRAYSIZE(run);
    if (MsiGetPropertyW(install, kRunProperty, run, &size) != ERROR_SUCCESS || run[0] == L'\0')
        return ERROR_SUCCESS;
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return ERROR_SUCCESS;
    wchar_t marked[kRunIdLength + 2] = {0};
    DWORD type = REG_NONE;
    DWORD bytes = sizeof(marked) - sizeof(wchar_t);
    const LSTATUS read = RegQueryValueExW(key, kRestartValue, NULL, &type, (BYTE*)marked, &bytes);
    RegCloseKey(key);
    if (read == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (read == ERROR_SUCCESS && type == REG_SZ && lstrcmpiW(marked, run) == 0) {
        MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
        Log(install, L"DriverInstall: the program asked for a restart (3010)");
    }
    // Apart: this action runs as the user, who may read the key but not write it; the id
    // keeps a mark left behind from counting for a later run.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, kRestartValue);
        RegCloseKey(key);
    }
    return ERROR_SUCCESS;
}
